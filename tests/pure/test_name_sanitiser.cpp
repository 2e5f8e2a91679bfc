// Recovered names made safe for paths, and paths kept inside the chosen folder.
#include <gtest/gtest.h>

#include "storage/pure/namesanitiser.h"

namespace {

TEST(StorageNameSanitiser, CleansNames)
{
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        { L"Ünïcödé – résumé.txt", L"Ünïcödé – résumé.txt" },
        { L"a\\b/c:d*e?f\"g<h>i|j", L"abcdefghij" },
        { L"tab\there\x01\x1F\x7F.txt", L"tabhere.txt" },
        { L"\x85next", L"next" },
        { L"trailing. . .", L"trailing" },
        { L"  leading blanks stay", L"  leading blanks stay" },
        { L"", L"unnamed" },
        { L".", L"unnamed" },
        { L"..", L"unnamed" },
        { L" . ", L"unnamed" },
        { L"\\/:*?", L"unnamed" },
        { L"..\\..\\evil", L"....evil" },
        { L"CON", L"_CON" },
        { L"Nul.txt", L"_Nul.txt" },
        { L"aux .log", L"_aux .log" },
        { L"PRN.", L"_PRN" },
        { L"COM1", L"_COM1" },
        { L"lpt9.doc", L"_lpt9.doc" },
        { L"COM0", L"COM0" },
        { L"COM10", L"COM10" },
        { L"CONSOLE", L"CONSOLE" },
        // A surrogate alone is removed; a pair is one character and stays.
        { L"lone\xD800high.txt", L"lonehigh.txt" },
        { L"lone\xDC00low.txt", L"lonelow.txt" },
        { L"end\xDBFF", L"end" },
        { L"pair\xD83D\xDE00.txt", L"pair\xD83D\xDE00.txt" },
        { L"\xDE00\xD83D", L"unnamed" },
        { L"\xD800\xD83D\xDE00", L"\xD83D\xDE00" },
    };
    for (const auto& c : cases)
        EXPECT_TRUE(SanitiseFileName(c.first) == c.second) << "case " << (&c - cases);
}

TEST(StorageNameSanitiser, JoinsOnlyInsideTheFolder)
{
    CString path;
    ASSERT_TRUE(JoinUnderFolder(L"C:\\Recovered", L"photo.jpg", &path));
    EXPECT_TRUE(path == L"C:\\Recovered\\photo.jpg");
    ASSERT_TRUE(JoinUnderFolder(L"C:\\Recovered\\", L"..", &path));
    EXPECT_TRUE(path == L"C:\\Recovered\\unnamed");
    ASSERT_TRUE(JoinUnderFolder(L"D:\\", std::vector<CString>{ L"DOCS", L"..", L"a:b.txt" }, &path));
    EXPECT_TRUE(path == L"D:\\DOCS\\unnamed\\ab.txt");
    ASSERT_TRUE(JoinUnderFolder(L"\\\\server\\share\\out", L"x", &path));
    EXPECT_TRUE(path == L"\\\\server\\share\\out\\x");

    path = L"unchanged";
    EXPECT_FALSE(JoinUnderFolder(L"", L"x", &path));
    EXPECT_FALSE(JoinUnderFolder(L"relative\\dir", L"x", &path));
    EXPECT_FALSE(JoinUnderFolder(L"C:\\out", std::vector<CString>{}, &path));
    EXPECT_TRUE(path == L"unchanged");
}

TEST(StorageNameSanitiser, PathIsInsideFolder)
{
    struct Case {
        const wchar_t* folder;
        const wchar_t* path;
        bool inside;
    };
    const Case cases[] = {
        { L"C:\\out", L"C:\\out\\a.txt", true },
        { L"C:\\out\\", L"c:/OUT/sub/a.txt", true },
        { L"C:\\out", L"C:\\out\\sub\\..\\a", true },
        { L"C:\\out", L"C:\\out\\..\\a", false },
        { L"C:\\out", L"C:\\outside\\a", false },
        { L"C:\\out", L"D:\\out\\a", false },
        { L"C:\\out", L"C:\\..\\..\\out\\a", false },
        { L"C:\\a\\..\\out", L"C:\\out\\x", true },
        { L"", L"C:\\x", false },
    };
    for (const Case& c : cases)
        EXPECT_EQ(PathIsInsideFolder(c.folder, c.path), c.inside) << "case " << (&c - cases);
}

} // namespace
