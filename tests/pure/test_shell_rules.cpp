// Shell rules without windows: the command-line log path, the association command, which
// temporary files are ours, the start-up log check and progress-bar arithmetic.
#include <gtest/gtest.h>

#include "app/pure/shell_rules.h"

TEST(ShellRules, CommandLineLogPathLosesBlanksAndOneQuoteEachSide)
{
    const struct { const wchar_t* in; const wchar_t* out; } cases[] = {
        { L"", L"" },
        { L"   ", L"" },
        { L"\"C:\\My Logs\\a.QLX\"", L"C:\\My Logs\\a.QLX" },
        { L"  \"C:\\a.QLX\"  ", L"C:\\a.QLX" },
        { L"\"C:\\a.QLX", L"C:\\a.QLX" },
        { L"C:\\a.QLX\"", L"C:\\a.QLX" },
        { L"\"", L"" },
        { L"\"\"\"x\"\"\"", L"\"\"x\"\"" },   // one pair at most
        { L"C:\\plain.QLX", L"C:\\plain.QLX" },
        { L"a\"b", L"a\"b" },                // inner quotes stay
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseCommandLineLogPath(c.in), CString(c.out)) << CString(c.in).GetLength();
}

TEST(ShellRules, AssociationCommandRoundTripsThroughTheCommandLineParser)
{
    const CString program = L"C:\\Program Files\\Zembrolix\\ZembrolixRecovery.exe";
    EXPECT_EQ(BuildLogOpenCommand(program),
              CString(L"\"C:\\Program Files\\Zembrolix\\ZembrolixRecovery.exe\" \"%1\""));
    // The shell passes the argument part, "<log path>" with its quotes: start-up must get the
    // bare path back, blanks included.
    EXPECT_EQ(ParseCommandLineLogPath(L"\"D:\\scan logs\\disk 1.QLX\""), CString(L"D:\\scan logs\\disk 1.QLX"));
}

TEST(ShellRules, OnlyOurTemporaryFileNamesAreOurs)
{
    for (const wchar_t* ours : { L"VKD0", L"VKD3.jpg", L"VKD12345.pdf", L"VKD7.tar_gz", L"VKD9.a b" })
        EXPECT_TRUE(IsProgramTempFileName(ours)) << CString(ours).GetLength();
    for (const wchar_t* theirs : { L"VKD", L"VKD.jpg", L"VKDx1.jpg", L"xVKD1.jpg", L"myVKD2.doc",
                                   L"vkd1.jpg", L"VKD1.", L"VKD1.tar.gz", L"VKD1jpg", L"VKD1 .jpg",
                                   L"VKD1. jpg", L"VKD1.jpg ", L"VKD-1.jpg", L"~VKD1.tmp", L"" })
        EXPECT_FALSE(IsProgramTempFileName(theirs)) << CString(theirs).GetLength();
}

TEST(ShellRules, StartupLogNeedsTheMarkerAndABasicOrDeepMode)
{
    EXPECT_TRUE(IsAcceptedStartupLog(L"ZembrolixWIN7SR2013", 1));
    EXPECT_TRUE(IsAcceptedStartupLog(L"ZembrolixWIN7SR2013", 2));
    for (int mode : { 0, 3, 4, 5, -1 })
        EXPECT_FALSE(IsAcceptedStartupLog(L"ZembrolixWIN7SR2013", mode)) << mode;
    EXPECT_FALSE(IsAcceptedStartupLog(L"zembrolixWIN7SR2013", 1));
    EXPECT_FALSE(IsAcceptedStartupLog(L"ZembrolixWIN7SR2013 ", 1));
    EXPECT_FALSE(IsAcceptedStartupLog(L"", 1));
}

TEST(ShellRules, SmallTexts)
{
    EXPECT_EQ(ExitQuestionText(), CString(L"Do you want to exit from Zembrolix Recovery (Premium)?"));
    EXPECT_EQ(GlowingCaption(L"Zembrolix Recovery (Premium)"), CString(L"Zembrolix Recovery (Premium)"));
    EXPECT_EQ(GlowingCaption(L"Basic Search"), CString(L"Zembrolix Recovery (Premium) - Basic Search"));
    EXPECT_FALSE(IsNotSingleChar(L"\\", L'\\'));
    EXPECT_TRUE(IsNotSingleChar(L"", L'\\'));
    EXPECT_TRUE(IsNotSingleChar(L"\\\\", L'\\'));
    EXPECT_TRUE(IsNotSingleChar(L"/", L'\\'));

    CString seventy = L"C:\\" + CString(L'a', 67);
    ASSERT_EQ(seventy.GetLength(), 70);
    EXPECT_EQ(SaveStatusDisplayText(seventy), seventy);
    CString longer = L"C:\\dir\\" + CString(L'b', 64);
    ASSERT_EQ(longer.GetLength(), 71);
    EXPECT_EQ(SaveStatusDisplayText(longer), CString(L"C: \\dir \\") + CString(L'b', 64));
}

TEST(ShellRules, ProgressPlanSmallLargeAndOversizedStep)
{
    ZrProgressPlan p = PlanProgressRange(0, 100, 2);
    EXPECT_TRUE(p.small);
    EXPECT_EQ(p.rangeMax, 100);
    EXPECT_EQ(p.step, 2);
    EXPECT_FALSE(p.fullAtOnce);

    EXPECT_TRUE(PlanProgressRange(0, 1, 5).fullAtOnce);
    EXPECT_TRUE(PlanProgressRange(1000, 1000, 1).fullAtOnce);   // empty range

    p = PlanProgressRange(0, 0x7FFFFFFE, 1);
    EXPECT_TRUE(p.small);
    EXPECT_EQ(p.rangeMax, 0x7FFFFFFE);
    p = PlanProgressRange(5, 5 + 0x7FFFFFFFull, 7);
    EXPECT_FALSE(p.small);
    EXPECT_EQ(p.rangeMax, 100);
    EXPECT_EQ(p.step, 1);
    p = PlanProgressRange(10, 3, 1);   // reversed: treated as empty, never as a huge range
    EXPECT_TRUE(p.small);
    EXPECT_EQ(p.rangeMax, 0);
}

TEST(ShellRules, ProgressPercentIsClampedAndOverflowFree)
{
    EXPECT_EQ(ProgressPercent(0, 0, 0), 0);
    EXPECT_EQ(ProgressPercent(100, 200, 50), 0);     // before the start
    EXPECT_EQ(ProgressPercent(100, 200, 150), 50);
    EXPECT_EQ(ProgressPercent(100, 200, 200), 100);
    EXPECT_EQ(ProgressPercent(100, 200, 5000), 100); // past the end: clamped
    EXPECT_EQ(ProgressPercent(0, UINT64_MAX, UINT64_MAX / 2), 49);
    EXPECT_EQ(ProgressPercent(0, UINT64_MAX, UINT64_MAX - 1), 99);
    EXPECT_EQ(ProgressPercent(0, 0x100000000ull, 0x80000000ull), 50);
}
