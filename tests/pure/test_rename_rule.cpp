// The "_kx_" name proposed when a recovered file's name is already taken.
#include <gtest/gtest.h>

#include <set>

#include "app/pure/rename_rule.h"

TEST(RenameRule, SuffixGoesBeforeTheLastDotOfTheNameOnly)
{
    const struct { const wchar_t* in; const wchar_t* out; } cases[] = {
        { L"a.txt", L"a_kx_0.txt" },
        { L"a.b.c", L"a.b_kx_0.c" },
        { L"README", L"README_kx_0" },
        { L"C:\\Out\\report.doc", L"C:\\Out\\report_kx_0.doc" },
        { L"D:\\a\\b.c.txt", L"D:\\a\\b.c_kx_0.txt" },
        { L"D:\\a.dir\\file", L"D:\\a.dir\\file_kx_0" },   // a dot in the folder is no extension
        { L"D:\\x.", L"D:\\x_kx_0." },
        { L"D:\\.hidden", L"D:\\_kx_0.hidden" },
        { L"", L"_kx_0" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(RenameCandidate(c.in, 0), CString(c.out)) << CString(c.in).GetLength();
    EXPECT_EQ(RenameCandidate(L"a.txt", 18446744073709551615ull), CString(L"a_kx_18446744073709551615.txt"));
}

TEST(RenameRule, CountsPastTakenNamesAndGivesUpAtTheLimit)
{
    std::set<CString> taken = { L"D:\\a\\b.c_kx_0.txt", L"D:\\a\\b.c_kx_1.txt" };
    auto exists = [&](const CString& p) { return taken.count(p) != 0; };
    EXPECT_EQ(FirstFreeRenameCandidate(L"D:\\a\\b.c.txt", exists), CString(L"D:\\a\\b.c_kx_2.txt"));

    uint64_t asked = 0;
    auto always = [&](const CString&) { ++asked; return true; };
    EXPECT_TRUE(FirstFreeRenameCandidate(L"D:\\a.txt", always, 50).IsEmpty());
    EXPECT_EQ(asked, 50u);
}
