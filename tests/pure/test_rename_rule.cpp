// The "_kx_" name proposed when a recovered file's name is already taken.
#include <gtest/gtest.h>

#include <set>

#include "app/pure/rename_rule.h"

TEST(RenameRule, SuffixBeforeTheLastDotOfTheNameCountingPastTakenNames)
{
    const struct {
        const wchar_t* in;
        const wchar_t* out;
    } cases[] = {
        { L"a.b.c", L"a.b_kx_0.c" },
        { L"README", L"README_kx_0" },
        { L"D:\\a.dir\\file", L"D:\\a.dir\\file_kx_0" }, // a dot in the folder is no extension
        { L"D:\\.hidden", L"D:\\_kx_0.hidden" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(RenameCandidate(c.in, 0), CString(c.out)) << CString(c.in).GetLength();
    const std::set<CString> taken = { L"D:\\a\\b.c_kx_0.txt", L"D:\\a\\b.c_kx_1.txt" };
    EXPECT_EQ(FirstFreeRenameCandidate(L"D:\\a\\b.c.txt", [&](const CString& p) { return taken.count(p) != 0; }),
              CString(L"D:\\a\\b.c_kx_2.txt"));
    uint64_t asked = 0; // the search is bounded
    EXPECT_TRUE(FirstFreeRenameCandidate(
                    L"D:\\a.txt", [&](const CString&) { return ++asked, true; }, 50)
                    .IsEmpty());
    EXPECT_EQ(asked, 50u);
}
