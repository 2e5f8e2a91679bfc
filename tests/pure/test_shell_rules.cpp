// Shell rules without windows: the command-line log path, which temporary files are ours, the
// start-up log check, the save-status text and progress-bar arithmetic.
#include <gtest/gtest.h>

#include "app/pure/shell_rules.h"

TEST(ShellRules, CommandLineLogPathLosesBlanksAndOneQuoteEachSide)
{
    const struct { const wchar_t* in; const wchar_t* out; } cases[] = {
        { L"   ", L"" },
        { L"  \"D:\\scan logs\\disk 1.QLX\"  ", L"D:\\scan logs\\disk 1.QLX" },   // as the association passes it
        { L"\"C:\\a.QLX", L"C:\\a.QLX" },
        { L"C:\\a.QLX\"", L"C:\\a.QLX" },
        { L"\"", L"" },
        { L"\"\"\"x\"\"\"", L"\"\"x\"\"" },   // one pair at most
        { L"a\"b", L"a\"b" },                // inner quotes stay
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseCommandLineLogPath(c.in), CString(c.out)) << CString(c.in).GetLength();
}

TEST(ShellRules, OnlyOurTemporaryFileNamesAreOurs)
{
    for (const wchar_t* ours : { L"VKD0", L"VKD3.jpg", L"VKD12345.pdf", L"VKD7.tar_gz", L"VKD9.a b" })
        EXPECT_TRUE(IsProgramTempFileName(ours)) << CString(ours).GetLength();
    for (const wchar_t* theirs : { L"VKD", L"VKD.jpg", L"VKDx1.jpg", L"myVKD2.doc", L"vkd1.jpg", L"VKD1.",
                                   L"VKD1.tar.gz", L"VKD1jpg", L"VKD1 .jpg", L"VKD1.jpg ", L"VKD-1.jpg", L"" })
        EXPECT_FALSE(IsProgramTempFileName(theirs)) << CString(theirs).GetLength();
}

TEST(ShellRules, StartupLogNeedsTheExactMarkerAndABasicOrDeepMode)
{
    EXPECT_TRUE(IsAcceptedStartupLog(L"ZembrolixWIN7SR2013", 1));
    EXPECT_TRUE(IsAcceptedStartupLog(L"ZembrolixWIN7SR2013", 2));
    for (int mode : { 0, 3, -1 })
        EXPECT_FALSE(IsAcceptedStartupLog(L"ZembrolixWIN7SR2013", mode)) << mode;
    EXPECT_FALSE(IsAcceptedStartupLog(L"zembrolixWIN7SR2013", 1));
    EXPECT_FALSE(IsAcceptedStartupLog(L"ZembrolixWIN7SR2013 ", 1));
}

TEST(ShellRules, SaveStatusTextBreaksOnlyPathsLongerThanSeventy)
{
    CString seventy = L"C:\\" + CString(L'a', 67);
    EXPECT_EQ(SaveStatusDisplayText(seventy), seventy);
    EXPECT_EQ(SaveStatusDisplayText(L"C:\\dir\\" + CString(L'b', 64)), CString(L"C: \\dir \\") + CString(L'b', 64));
}

TEST(ShellRules, ProgressPlanAndPercentAreClampedAndOverflowFree)
{
    ZrProgressPlan p = PlanProgressRange(5, 5 + 0x7FFFFFFFull, 7);
    EXPECT_FALSE(p.small);
    EXPECT_EQ(p.rangeMax, 100);
    EXPECT_EQ(p.step, 1);
    EXPECT_TRUE(PlanProgressRange(0, 0x7FFFFFFE, 1).small);
    EXPECT_TRUE(PlanProgressRange(0, 1, 5).fullAtOnce);
    EXPECT_TRUE(PlanProgressRange(1000, 1000, 1).fullAtOnce);   // empty range
    p = PlanProgressRange(10, 3, 1);   // reversed: treated as empty, never as a huge range
    EXPECT_TRUE(p.small);
    EXPECT_EQ(p.rangeMax, 0);

    EXPECT_EQ(ProgressPercent(0, 0, 0), 0);
    EXPECT_EQ(ProgressPercent(100, 200, 50), 0);      // before the start
    EXPECT_EQ(ProgressPercent(100, 200, 5000), 100);  // past the end
    EXPECT_EQ(ProgressPercent(0, UINT64_MAX, UINT64_MAX - 1), 99);
    EXPECT_EQ(ProgressPercent(0, 0x100000000ull, 0x80000000ull), 50);
}
