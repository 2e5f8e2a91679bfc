// Date, time, size and progress texts, and the name and label helpers of the search dialogs.
#include <gtest/gtest.h>

#include <cstdint>

#include "app/pure/textservices.h"

namespace {

TEST(TextServices, FatDatesWithBadMonthsAndNtfsStampsInUtc)
{
    EXPECT_EQ(FormatFatDate(static_cast<uint16_t>((33 << 9) | (3 << 5) | 5)), L"05-MAR-2013");
    EXPECT_EQ(FormatFatDate(static_cast<uint16_t>((33 << 9) | (13 << 5) | 5)), L"05-ERR-2013");
    EXPECT_EQ(FormatFatDate(0), L"00-ERR-1980");
    EXPECT_EQ(FormatFatTime(0xFFFF), L"31:63:62");
    constexpr uint64_t kSecond = 10000000, kUnixEpoch = 116444736000000000ull;
    const struct {
        uint64_t stamp;
        const wchar_t* date;
        const wchar_t* time;
    } cases[] = {
        { kUnixEpoch + 951868799ull * kSecond, L"29-FEB-2000", L"23:59:59" },  // leap day
        { kUnixEpoch + 4107542400ull * kSecond, L"01-MAR-2100", L"00:00:00" }, // 2100 not leap
        { 0x7FFFFFFFFFFFFFFFull, L"14-SEP-30828", L"02:48:05" },               // the last convertible stamp
        { 0x8000000000000000ull, L"00-ERR-0000", L"00:00:00" },
    };
    for (const auto& c : cases) {
        CString date, time;
        EXPECT_EQ(FormatFileTime(c.stamp, date, time), c.time) << c.stamp;
        EXPECT_EQ(date, c.date) << c.stamp;
    }
}

TEST(TextServices, SizesRoundWithoutWrappingAndProgressIsClamped)
{
    const struct {
        uint64_t bytes;
        const wchar_t* text;
    } cases[] = {
        { 1023, L"1023 Byte" },       { 1536, L"  1.50 KB" },
        { 1048575, L"1024.00 KB" },   { 512 * 1953525168ull, L"931.51 GB" },
        { UINT64_MAX, L" 16.00 EB" }, // rounding must not wrap to 0
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatSize(c.bytes), c.text) << c.bytes;
    EXPECT_EQ(FormatProgress(7, 5), L"5 / 5");
    EXPECT_EQ(FormatByteCount(UINT64_MAX, 0), L"0 / 18446744073709551615 Bytes");
}

TEST(TextServices, ValidFileNamesAndLabels)
{
    for (const wchar_t* good : { L"", L"Report 2013.v2.doc", L"~$tmp#1" })
        EXPECT_TRUE(IsValidFileName(good)) << good;
    for (const wchar_t* bad : { L"a:b", L"caf\u00e9", L"tab\there", L"\x80", L"<x>", L"a\\b" })
        EXPECT_FALSE(IsValidFileName(bad)) << bad;
    EXPECT_FALSE(IsValidFileName(CString(L"ok\0\x01", 4))); // the whole length is checked
    EXPECT_EQ(GetTextInParentheses(L"Data (  D:  )"), L"D:");
    EXPECT_EQ(GetTextInParentheses(L"open (only"), L"");
    EXPECT_EQ(GetTextInParentheses(L"a) before (b) c"), L"b");
}

} // namespace

// A sector field takes a number only when all of it is one: what is half typed or too large for
// 64 bits leaves the value as it was.
TEST(TextServices, SectorFieldsReadOnlyWholeNumbers)
{
    uint64_t value = 77;
    EXPECT_TRUE(ParseSectorNumber(L" 4096 ", &value));
    EXPECT_EQ(4096u, value);
    EXPECT_TRUE(ParseSectorNumber(L"18446744073709551615", &value));
    EXPECT_EQ(UINT64_MAX, value);
    for (const wchar_t* text : { L"", L"   ", L"12x", L"-1", L"+5", L"1 2", L"18446744073709551616", L"0x10" }) {
        value = 77;
        EXPECT_FALSE(ParseSectorNumber(text, &value)) << ToUtf8(CString(text));
        EXPECT_EQ(77u, value);
    }
}
