// Date, time, size and progress texts, and the name and label helpers of the search dialogs.
#include <gtest/gtest.h>

#include <cstdint>

#include "app/pure/textservices.h"

namespace {

uint16_t FatDate(unsigned year, unsigned month, unsigned day) {
    return static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}

TEST(TextServicesFat, DatesWithOutOfRangeMonthsAndUnlimitedTimes) {
    struct Case { uint16_t word; const wchar_t* text; } cases[] = {
        {FatDate(2013, 3, 5), L"05-MAR-2013"}, {FatDate(1999, 12, 31), L"31-DEC-1999"},
        {FatDate(2013, 0, 5), L"05-ERR-2013"}, {FatDate(2013, 13, 5), L"05-ERR-2013"},
        {0, L"00-ERR-1980"},                   {0xFFFF, L"31-ERR-2107"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatFatDate(c.word), c.text) << c.word;
    EXPECT_EQ(FormatFatTime(static_cast<uint16_t>((9 << 11) | (5 << 5) | 29)), L"09:05:58");
    EXPECT_EQ(FormatFatTime(0xFFFF), L"31:63:62");
}

TEST(TextServicesNtfs, StampsAreShownInUtc) {
    constexpr uint64_t kSecond = 10000000, kUnixEpoch = 116444736000000000ull;
    struct Case { uint64_t stamp; const wchar_t* date; const wchar_t* time; } cases[] = {
        {0, L"01-JAN-1601", L"00:00:00"},
        {kUnixEpoch + 1352901234ull * kSecond + 9999999, L"14-NOV-2012", L"13:53:54"},
        {kUnixEpoch + 951868799ull * kSecond, L"29-FEB-2000", L"23:59:59"},   // leap day
        {kUnixEpoch + 4107542400ull * kSecond, L"01-MAR-2100", L"00:00:00"},  // 2100 not leap
        {0x7FFFFFFFFFFFFFFFull, L"14-SEP-30828", L"02:48:05"},                // the last convertible stamp
    };
    for (const Case& c : cases) {
        CString date, time;
        EXPECT_EQ(FormatFileTime(c.stamp, date, time), c.time) << c.stamp;
        EXPECT_EQ(date, c.date) << c.stamp;
        EXPECT_EQ(time, c.time) << c.stamp;
    }
    CString date = L"old", time = L"old";
    EXPECT_EQ(FormatFileTime(0x8000000000000000ull, date, time), L"00:00:00");
    EXPECT_EQ(date, L"00-ERR-0000");
    EXPECT_EQ(FormatFileTime(UINT64_MAX, date, time), L"00:00:00");
}

TEST(TextServicesSize, UnitsRoundingAndTheTop) {
    struct Case { uint64_t bytes; const wchar_t* text; } cases[] = {
        {1023, L"1023 Byte"},
        {1536, L"  1.50 KB"},
        {1048575, L"1024.00 KB"},  // no division yet: 1023.999 shown rounded
        {1048576, L"  1.00 MB"},
        {1099511627776ull * 2, L"  2.00 TB"},
        {1ull << 60, L"  1.00 EB"},
        {UINT64_MAX, L" 16.00 EB"},  // rounding must not wrap to 0
        {512 * 1953525168ull, L"931.51 GB"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatSize(c.bytes), c.text) << c.bytes;
}

TEST(TextServicesCounts, ProgressIsClamped) {
    EXPECT_EQ(FormatProgress(7, 5), L"5 / 5");
    EXPECT_EQ(FormatProgress(UINT64_MAX, UINT64_MAX), L"18446744073709551615 / 18446744073709551615");
    EXPECT_EQ(FormatByteCount(UINT64_MAX, 0), L"0 / 18446744073709551615 Bytes");
}

TEST(TextServicesNames, ValidFileNamesAndLabels) {
    for (const wchar_t* good : {L"", L"Report 2013.v2.doc", L"\u0416\u0443\u043a.txt", L"~$tmp#1"})
        EXPECT_TRUE(IsValidFileName(good)) << good;
    for (const wchar_t* bad : {L"a:b", L"a|b", L"caf\u00e9", L"tab\there", L"\x1f", L"\x80", L"q?", L"<x>", L"a\\b"})
        EXPECT_FALSE(IsValidFileName(bad)) << bad;
    EXPECT_FALSE(IsValidFileName(CString(L"ok\0\x01", 4)));  // the whole length is checked

    EXPECT_EQ(PadLeftZeros(L"7", 3), L"007");
    EXPECT_EQ(PadLeftZeros(L"5", -1), L"5");
    EXPECT_EQ(GetTextInParentheses(L"Data (  D:  )"), L"D:");
    EXPECT_EQ(GetTextInParentheses(L"open (only"), L"");
    EXPECT_EQ(GetTextInParentheses(L"a) before (b) c"), L"b");
    EXPECT_EQ(GetTextInParentheses(L"close) only"), L"close");
}

}  // namespace
