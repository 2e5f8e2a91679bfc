// CString, its formatter, the number readers and CStringArray. Runs natively (32-bit wchar_t,
// sanitizers) and under Wine (16-bit wchar_t): every expectation must hold on both.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <utility>

#include "cstring.h"
#include "exceptions.h"

namespace {

TEST(CStringBasics, BoundsSelfReferenceAndBuffer)
{
    EXPECT_TRUE(CString(static_cast<const wchar_t*>(nullptr)).IsEmpty());
    EXPECT_EQ(CString(L"abc", -1), L"");
    CString s(L"abc");
    EXPECT_EQ(s.GetAt(3), 0);
    EXPECT_EQ(s[10L], 0);
    s.SetAt(-1, L'Y');
    EXPECT_EQ(s, L"abc");
    s = L"ab";
    s += s;
    s += s.GetString() + 1; // appending a pointer into itself
    EXPECT_EQ(s, L"ababbab");
    EXPECT_TRUE(CString(L"z") < CString(L"\u00e9")); // unsigned unit order
    wchar_t* p = s.GetBuffer(10);
    for (int i = 0; i <= 10; ++i)
        p[i] = L"0123456789"[i]; // the callee may fill all 10 + NUL
    s.ReleaseBuffer();
    EXPECT_EQ(s, L"0123456789");
    s.ReleaseBuffer(99); // longer than the buffer: clamped
    EXPECT_EQ(s, L"0123456789");
}

TEST(CStringEdit, ExtractionFindReplaceAndTokenizeClampTheirBounds)
{
    const CString s(L"abcdef"), d(L"a.b.c");
    EXPECT_EQ(s.Mid(-3, 2), L"ab");
    EXPECT_EQ(s.Mid(INT_MAX, INT_MAX), L"");
    EXPECT_EQ(s.Right(100), L"abcdef");
    EXPECT_EQ(d.Find(L'.', 99), -1);
    EXPECT_EQ(d.Find(L"", 6), -1);
    EXPECT_EQ(d.Find(static_cast<const wchar_t*>(nullptr)), -1);
    CString r(L"aaa");
    EXPECT_EQ(r.Replace(L"a", L"aa"), 3); // replacements are not rescanned
    EXPECT_EQ(r.Replace(L"", L"x"), 0);
    r = L"C:\\dir\\file";
    EXPECT_EQ(r.Replace(L"dir", r.GetString()), 1); // replacement text taken from itself
    EXPECT_EQ(r, L"C:\\C:\\dir\\file\\file");
    r = L"bc";
    r.Insert(99, L"!");
    r.Delete(-2, 1);
    EXPECT_EQ(r, L"c!"); // a negative index counts from 0

    CString joined;
    int pos = 0;
    const CString list(L";;alpha,beta;;gamma;");
    for (CString t = list.Tokenize(L",;", pos); pos != -1; t = list.Tokenize(L",;", pos))
        joined += t + L"|";
    EXPECT_EQ(joined, L"alpha|beta|gamma|");
    pos = 1; // no delimiters: the rest, then the end, never a loop
    EXPECT_EQ(CString(L"abc").Tokenize(L"", pos), L"bc");
    EXPECT_EQ(CString(L"abc").Tokenize(L"", pos), L"");
    EXPECT_EQ(pos, -1);
}

TEST(StringConversions, NumbersFollowWtoiAndClampUtf8ReplacesBadBytes)
{
    const struct {
        const wchar_t* text;
        int32_t value;
    } ints[] = { { L" \t\n-42xyz", -42 },
                 { L"abc", 0 },
                 { L"--5", 0 },
                 { nullptr, 0 },
                 { L"0x1F", 0 },
                 { L"2147483648", INT32_MAX },
                 { L"-2147483649", INT32_MIN },
                 { L"99999999999999999999999999", INT32_MAX } };
    for (const auto& c : ints)
        EXPECT_EQ(StrToInt32(c.text), c.value) << (c.text ? ToUtf8(c.text) : "null");
    EXPECT_EQ(StrToInt64(L"-99999999999999999999"), INT64_MIN);
    EXPECT_EQ(StrToUInt64(L"18446744073709551616"), UINT64_MAX);
    const char bad[] = "x\xc3"
                       "y\xff\xed\xa0\x80z"; // UTF-8: cut sequence, invalid byte, surrogate
    EXPECT_EQ(FromUtf8(bad, sizeof bad - 1), L"x\ufffdy\ufffd\ufffdz");
    EXPECT_EQ(FromUtf8("\xe2\x82", 2), L"\ufffd"); // cut at the end: nothing read past it
}

template <class... A> CString Fmt(const wchar_t* f, const A&... a)
{
    CString s;
    s.Format(f, a...);
    return s;
}

TEST(CStringFormat, FormatsTheProgramUses)
{
    EXPECT_EQ(Fmt(L"%llu|%05llu", UINT64_MAX, uint64_t(42)), L"18446744073709551615|00042");
    EXPECT_EQ(Fmt(L"%lu|%d|%X", uint32_t(4294967295u), INT32_MIN, 0xDEADBEEFu), L"4294967295|-2147483648|DEADBEEF");
    EXPECT_EQ(Fmt(L"%6.2f|%6.2f %cB", -0.004, 1.005, L'K'), L" -0.00|  1.00 KB"); // 1.005 is stored just below
    EXPECT_EQ(Fmt(L"%.2f|%.0f|%.0f", 2.675, 0.5, 1.5), L"2.67|0|2");              // exact, ties to even
    EXPECT_EQ(Fmt(L"%s|%s", CString(L"disk"), L"lit"), L"disk|lit");
    EXPECT_EQ(Fmt(L"%02x|%u|%08X", uint8_t(0xE9), -1, -1), L"e9|4294967295|FFFFFFFF");
    EXPECT_EQ(Fmt(L"%I64d|%ld", INT64_MIN, -5), L"-9223372036854775808|-5");
    EXPECT_EQ(Fmt(L"%lu|%lld", (uint64_t(1) << 32) + 5, -1), L"5|-1"); // long is 32 bits, as on Windows
    EXPECT_EQ(Fmt(L"Sector %I64d of %llu (%d%%)", int64_t(63), uint64_t(2048), 3), L"Sector 63 of 2048 (3%)");
    CString self(L"disk");
    self.Format(L"%s %s!", self, self.GetString()); // reads the old text while writing the new
    EXPECT_EQ(self, L"disk disk!");
}

TEST(CStringFormat, MismatchedAndMissingArgumentsAreSafe)
{
    EXPECT_EQ(Fmt(L"[%d][%s][%f][%c]"), L"[][][][]");
    EXPECT_EQ(Fmt(L"[%d]", L"text"), L"[]");
    EXPECT_EQ(Fmt(L"[%s]", 42), L"[]");
    EXPECT_EQ(Fmt(L"[%*d]", L"w", 3), L"[3]"); // a bad width argument is skipped over
    EXPECT_EQ(Fmt(L"%s|%S", static_cast<const wchar_t*>(nullptr), static_cast<const char*>(nullptr)), L"(null)|(null)");
    EXPECT_EQ(Fmt(L"100%% sure%"), L"100% sure");
    int n = 0;
    EXPECT_EQ(Fmt(L"a%nb%d", &n, 7), L"ab7"); // %n consumes its argument, writes nothing
    EXPECT_EQ(n, 0);
    EXPECT_EQ(Fmt(static_cast<const wchar_t*>(nullptr), 1), L"");
    EXPECT_EQ(Fmt(L"%99999999999d|", 1).GetLength(), (1 << 16) + 1); // absurd width capped
}

// Each part of a conversion read in its turn: a negative '*' width left-aligns, a negative '*'
// precision is none, length modifiers in the Windows runtime's meaning, and an unknown letter is
// shown as written without taking an argument.
TEST(CStringFormat, FlagsStarArgumentsAndLengthModifiers)
{
    EXPECT_EQ(Fmt(L"%*d|%-+5d|%.*s|%.*d", -4, 7, 3, 2, L"abcdef", -1, 5), L"7   |+3   |ab|5");
    EXPECT_EQ(Fmt(L"%#x|%#o|%hhu|%hd|%I32d|%zu|%jd", 255, 8, 0x1FF, 0x18000, -1, size_t(7), int64_t(-2)),
              L"0xff|010|255|-32768|-1|7|-2");
    EXPECT_EQ(Fmt(L"%k%d|%5%|%ls|%hs", 5, L"w", "n"), L"%k5|%|w|n");
}

TEST(CStringArrayTest, GrowsCopiesFromItselfAndThrowsOnBadIndices)
{
    CStringArray a;
    a.Add(L"a");
    a.InsertAt(3, L"d");    // past the end: grows with empty strings
    a.InsertAt(0, a[3], 2); // inserting one of its own elements
    EXPECT_EQ(a[0] + a[1] + a[2], L"dda");
    EXPECT_EQ(a.Append(a), 6); // appending itself
    EXPECT_EQ(a.GetSize(), 12);
    const std::function<void()> bad[] = { [&] { (void)a[-1]; }, [&] { a.SetAt(12, L"x"); }, [&] { a.RemoveAt(11, 2); },
                                          [&] { a.SetSize(-1); } };
    for (const auto& f : bad) {
        try {
            f();
            ADD_FAILURE() << "case " << &f - bad << " did not throw";
        } catch (CException* e) {
            EXPECT_NE(dynamic_cast<CInvalidArgException*>(e), nullptr) << "case " << &f - bad;
            e->Delete();
        }
    }
    EXPECT_EQ(a.GetSize(), 12);
}

} // namespace
