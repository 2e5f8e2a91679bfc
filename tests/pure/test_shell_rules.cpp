// Shell rules without windows: the command-line log path, which temporary files are ours and
// the progress-bar arithmetic.
#include <gtest/gtest.h>

#include "app/pure/shell_rules.h"

TEST(ShellRules, CommandLineLogPathLosesBlanksAndOneQuoteEachSide)
{
    const struct {
        const wchar_t* in;
        const wchar_t* out;
    } cases[] = {
        { L"  \"D:\\scan logs\\disk 1.QLX\"  ", L"D:\\scan logs\\disk 1.QLX" }, // as the association passes it
        { L"\"C:\\a.QLX", L"C:\\a.QLX" },
        { L"\"", L"" },
        { L"\"\"\"x\"\"\"", L"\"\"x\"\"" },
        { L"a\"b", L"a\"b" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseCommandLineLogPath(c.in), CString(c.out)) << CString(c.in).GetLength();
}

// Clean-up deletes what this accepts: anything else must be refused.
TEST(ShellRules, OnlyOurTemporaryFileNamesAreOurs)
{
    for (const wchar_t* ours : { L"VKD0", L"VKD3.jpg", L"VKD7.tar_gz" })
        EXPECT_TRUE(IsProgramTempFileName(ours)) << CString(ours).GetLength();
    for (const wchar_t* theirs : { L"VKD", L"VKD.jpg", L"VKDx1.jpg", L"myVKD2.doc", L"vkd1.jpg", L"VKD1.",
                                   L"VKD1.tar.gz", L"VKD1jpg", L"VKD1 .jpg", L"VKD-1.jpg", L"" })
        EXPECT_FALSE(IsProgramTempFileName(theirs)) << CString(theirs).GetLength();
}

TEST(ShellRules, ProgressPlanAndPercentAreClampedAndOverflowFree)
{
    const ZrProgressPlan p = PlanProgressRange(5, 5 + 0x7FFFFFFFull, 7);
    EXPECT_FALSE(p.small);
    EXPECT_EQ(p.rangeMax, 100);
    EXPECT_TRUE(PlanProgressRange(1000, 1000, 1).fullAtOnce);
    EXPECT_EQ(PlanProgressRange(10, 3, 1).rangeMax, 0); // reversed: empty, never huge
    EXPECT_EQ(ProgressPercent(100, 200, 50), 0);
    EXPECT_EQ(ProgressPercent(100, 200, 5000), 100);
    EXPECT_EQ(ProgressPercent(0, UINT64_MAX, UINT64_MAX - 1), 99);
}
