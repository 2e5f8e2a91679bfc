// CString, its formatter, the number readers and CStringArray. Runs natively (32-bit wchar_t,
// sanitizers) and under Wine (16-bit wchar_t): every expectation must hold on both.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <utility>

#include "cstring.h"
#include "exceptions.h"

namespace {

TEST(CStringBasics, ConstructionBoundsSelfReferenceAndOrder) {
    EXPECT_TRUE(CString(static_cast<const wchar_t*>(nullptr)).IsEmpty());
    CString withNul(L"ab\0cd", 5);
    EXPECT_EQ(withNul.GetLength(), 5);
    EXPECT_EQ(CString(L"abc", -1), L"");
    EXPECT_EQ(CString("caf\xe9"), L"caf\u00e9");  // narrow text is Latin-1, byte for byte
    CString a(L"moved");
    CString b(std::move(a));
    a = L"reused";  // a moved-from string is still usable
    EXPECT_EQ(a + b, L"reusedmoved");
    CString s(L"abc");
    EXPECT_EQ(s.GetAt(-1), 0);
    EXPECT_EQ(s.GetAt(3), 0);
    EXPECT_EQ(s[10L], 0);
    s.SetAt(3, L'Y');
    s.SetAt(-1, L'Y');
    EXPECT_EQ(s, L"abc");
    s = L"ab";
    s += s;
    s += s.GetString() + 1;  // appending a pointer into itself
    EXPECT_EQ(s, L"ababbab");
    s = s.GetString() + 2;
    EXPECT_EQ(s, L"abbab");
    EXPECT_TRUE(CString(L"z") < CString(L"\u00e9"));  // unsigned unit order, not signed
    EXPECT_GT(s.Compare(nullptr), 0);
    EXPECT_EQ(CString(L"\u00c9COLE").CompareNoCase(L"\u00e9cole"), 0);
    EXPECT_LT(CString(L"apple").CompareNoCase(L"BANANA"), 0);
}

TEST(CStringBasics, BufferProtocol) {
    CString s(L"abc");
    wchar_t* p = s.GetBuffer(10);
    EXPECT_EQ(p[0], L'a');  // the old text is kept
    for (int i = 0; i <= 10; ++i) p[i] = L"0123456789"[i];  // the callee may fill all 10 + NUL
    s.ReleaseBuffer();
    EXPECT_EQ(s, L"0123456789");
    p = s.GetBuffer(4);  // smaller than the text: the text stays whole
    p[2] = 0;
    s.ReleaseBuffer();
    EXPECT_EQ(s, L"01");
    s.ReleaseBuffer(99);  // longer than the buffer: clamped
    EXPECT_EQ(s, L"01");
    CString empty;
    EXPECT_EQ(*empty.GetBuffer(), 0);
    empty.ReleaseBuffer();
    EXPECT_TRUE(empty.IsEmpty());
}

TEST(CStringTransform, CaseReverseAndTrim) {
    CString s(L"Hello, \u00e9t\u00e9 \u00ff \u00df \u00f7 \u0105 \u03b1\u03c2 \u0436\u0451");
    s.MakeUpper();
    EXPECT_EQ(s, L"HELLO, \u00c9T\u00c9 \u0178 \u00df \u00f7 \u0104 \u0391\u03a3 \u0416\u0401");
    s.MakeLower();
    EXPECT_EQ(s, L"hello, \u00e9t\u00e9 \u00ff \u00df \u00f7 \u0105 \u03b1\u03c3 \u0436\u0451");
    EXPECT_EQ(CharToUpper(L'\u00d7'), L'\u00d7');  // multiplication sign has no case
    EXPECT_EQ(CharToLower(L'\u0141'), L'\u0142');  // odd-upper range of Latin Extended-A
    EXPECT_EQ(CString(L"ab\U0001F600c").MakeReverse(), L"c\U0001F600ba");  // pairs stay together
    EXPECT_EQ(CString(L" \t\r\n x y \n").Trim(), L"x y");
    EXPECT_EQ(CString(L"-=a=-").TrimRight(L"=-"), L"-=a");
    EXPECT_EQ(CString(L"   ").Trim(), L"");
    EXPECT_EQ(CString(L"\u00a0x").Trim(), L"\u00a0x");  // only C-locale blanks are trimmed
}

TEST(CStringSearch, ExtractionAndFindClampTheirBounds) {
    const CString s(L"abcdef"), d(L"a.b.c");
    const std::pair<CString, const wchar_t*> parts[] = {{s.Left(-1), L""},   {s.Right(100), L"abcdef"},
                                                        {s.Mid(-3, 2), L"ab"}, {s.Mid(5, 100), L"f"},
                                                        {s.Mid(1, -1), L""},  {s.Mid(INT_MAX, INT_MAX), L""}};
    for (const auto& p : parts) EXPECT_EQ(p.first, p.second) << "case " << &p - parts;
    const std::pair<int, int> found[] = {{d.Find(L'.', 2), 3},  {d.Find(L'.', 99), -1}, {d.Find(L'.', -1), -1},
                                         {d.Find(L"", 5), 5},   {d.Find(L"", 6), -1},   {d.FindOneOf(L""), -1},
                                         {d.Find(static_cast<const wchar_t*>(nullptr)), -1}};
    for (const auto& f : found) EXPECT_EQ(f.first, f.second) << "case " << &f - found;
}

TEST(CStringEdit, ReplaceInsertDeleteTokenize) {
    CString s(L"aaa");
    EXPECT_EQ(s.Replace(L"a", L"aa"), 3);  // replacements are not rescanned
    EXPECT_EQ(s, L"aaaaaa");
    s = L"C:\\dir\\file";
    EXPECT_EQ(s.Replace(L"", L"x"), 0);
    EXPECT_EQ(s.Replace(L"dir", s.GetString()), 1);  // replacement text taken from itself
    EXPECT_EQ(s, L"C:\\C:\\dir\\file\\file");
    EXPECT_EQ(s.Remove(L'\\'), 4);
    s = L"bc";
    s.Insert(99, L"!");  // past the end appends
    s.Insert(-5, L'a');
    EXPECT_EQ(s, L"abc!");
    EXPECT_EQ(s.Delete(3, 100), 3);
    s.Delete(-2, 1);
    s.Delete(10, 1);
    EXPECT_EQ(s, L"bc");

    CString list(L";;alpha,beta;;gamma;");
    CString joined;
    int pos = 0;
    for (CString t = list.Tokenize(L",;", pos); pos != -1; t = list.Tokenize(L",;", pos)) joined += t + L"|";
    EXPECT_EQ(joined, L"alpha|beta|gamma|");
    pos = 1;
    EXPECT_EQ(CString(L"abc").Tokenize(L"", pos), L"bc");  // no delimiters: the rest, then the end
    EXPECT_EQ(CString(L"abc").Tokenize(L"", pos), L"");
    EXPECT_EQ(pos, -1);
    pos = -4;
    EXPECT_EQ(CString(L"abc").Tokenize(L",", pos), L"");
    EXPECT_EQ(pos, -1);
}

TEST(StringToNumber, FollowsWtoiAndClamps) {
    const struct { const wchar_t* text; int32_t value; } ints[] = {
        {L" \t\n-42xyz", -42}, {L"+7", 7}, {L"abc", 0}, {L"- 5", 0}, {L"--5", 0}, {L"", 0}, {nullptr, 0},
        {L"0x1F", 0}, {L"2147483648", INT32_MAX}, {L"-2147483648", INT32_MIN}, {L"-2147483649", INT32_MIN},
        {L"99999999999999999999999999", INT32_MAX}, {L"000000000000000000000012", 12}};
    for (const auto& c : ints) EXPECT_EQ(StrToInt32(c.text), c.value) << (c.text ? ToUtf8(c.text) : "null");
    EXPECT_EQ(StrToInt64(L"9223372036854775808"), INT64_MAX);
    EXPECT_EQ(StrToInt64(L"-99999999999999999999"), INT64_MIN);
    EXPECT_EQ(StrToInt64(L"  1099511627776 bytes"), int64_t(1) << 40);
    EXPECT_EQ(StrToUInt64(L"18446744073709551616"), UINT64_MAX);
    EXPECT_EQ(StrToUInt64(L"-1"), 0u);
    EXPECT_EQ(StrToUInt64(nullptr), 0u);
}

TEST(StringUtf8, RoundTripAndInvalidInput) {
    CString s(L"a\u00e9\u20ac\U0001F600");
    std::string u = ToUtf8(s);
    EXPECT_EQ(u, "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80");
    EXPECT_EQ(FromUtf8(u.data(), u.size()), s);
    const char bad[] = "x\xc3" "y\xff\xed\xa0\x80z";  // cut sequence, invalid byte, surrogate
    EXPECT_EQ(FromUtf8(bad, sizeof bad - 1), L"x\ufffdy\ufffd\ufffdz");
    EXPECT_EQ(FromUtf8("\xe2\x82", 2), L"\ufffd");
}

// --- Format ---------------------------------------------------------------------------------

template <class... A> CString Fmt(const wchar_t* f, const A&... a) {
    CString s;
    s.Format(f, a...);
    return s;
}

TEST(CStringFormat, FormatsTheProgramUses) {
    EXPECT_EQ(Fmt(L"%llu|%05llu", UINT64_MAX, uint64_t(42)), L"18446744073709551615|00042");
    EXPECT_EQ(Fmt(L"%lu", uint32_t(4294967295u)), L"4294967295");
    EXPECT_EQ(Fmt(L"%d", INT32_MIN), L"-2147483648");
    EXPECT_EQ(Fmt(L"%X", 0xDEADBEEFu), L"DEADBEEF");
    EXPECT_EQ(Fmt(L"%6.2f|%6.2f|%6.2f", 3.14159, -0.004, 123456.789), L"  3.14| -0.00|123456.79");
    EXPECT_EQ(Fmt(L"%6.2f %cB", 1.005, L'K'), L"  1.00 KB");  // 1.005 is stored just below
    EXPECT_EQ(Fmt(L"%s|%s", CString(L"disk"), L"lit"), L"disk|lit");
    EXPECT_EQ(Fmt(L"%02x|%02x|%02x", 5, 0x1AB, uint8_t(0xE9)), L"05|1ab|e9");
    EXPECT_EQ(Fmt(L"%u|%02u", -1, 7u), L"4294967295|07");
    EXPECT_EQ(Fmt(L"%I64d", INT64_MIN), L"-9223372036854775808");
    EXPECT_EQ(Fmt(L"%ld", -5), L"-5");
    EXPECT_EQ(Fmt(L"%08X|%08X", 0xABu, -1), L"000000AB|FFFFFFFF");
    EXPECT_EQ(Fmt(L"Sector %I64d of %llu (%d%%)", int64_t(63), uint64_t(2048), 3), L"Sector 63 of 2048 (3%)");
}

TEST(CStringFormat, LengthModifierTruncatesOrWidens) {
    EXPECT_EQ(Fmt(L"%lu", (uint64_t(1) << 32) + 5), L"5");  // long is 32 bits, as on Windows
    EXPECT_EQ(Fmt(L"%ld", int64_t(1) << 32), L"0");
    EXPECT_EQ(Fmt(L"%d", int64_t(0x1FFFFFFFF)), L"-1");
    EXPECT_EQ(Fmt(L"%I32d", int64_t(-1)), L"-1");
    EXPECT_EQ(Fmt(L"%hd|%hu|%hhu|%hhd", 65535, 70000, 257, 255), L"-1|4464|1|-1");
    EXPECT_EQ(Fmt(L"%lld|%llu", -1, -1), L"-1|18446744073709551615");  // widened from the real type
    EXPECT_EQ(Fmt(L"%I64x", uint64_t(0xFEDCBA9876543210)), L"fedcba9876543210");
    EXPECT_EQ(Fmt(L"%zu %Iu", size_t(12), size_t(34)), L"12 34");
}

TEST(CStringFormat, FloatsRoundExactlyWithTiesToEven) {
    EXPECT_EQ(Fmt(L"%.0f|%.0f|%.0f", 0.5, 1.5, -2.5), L"0|2|-2");
    EXPECT_EQ(Fmt(L"%.2f|%.2f", 0.125, 0.375), L"0.12|0.38");
    EXPECT_EQ(Fmt(L"%.2f|%.2f", 2.675, 999.995), L"2.67|1000.00");  // below / above the tie
    EXPECT_EQ(Fmt(L"%.20f", 0.1), L"0.10000000000000000555");
    EXPECT_EQ(Fmt(L"%.0f", 1e20), L"100000000000000000000");
    EXPECT_EQ(Fmt(L"%f|%.3f", -0.0, 5e-324), L"-0.000000|0.000");
    EXPECT_EQ(Fmt(L"%e|%g|%g|%.3g", 1e300, 0.00001, 1234567.0, 99950.0), L"1.000000e+300|1e-05|1.23457e+06|1e+05");
    EXPECT_EQ(Fmt(L"%05f|%F", std::numeric_limits<double>::infinity(), -HUGE_VAL), L"  inf|-INF");
    EXPECT_EQ(Fmt(L"%e", std::nan("")), L"nan");
    EXPECT_EQ(Fmt(L"%010.3f|%-5.1f|%+.1f", -3.14159, 2.0, 2.0), L"-00003.142|2.0  |+2.0");
    EXPECT_EQ(Fmt(L"%.2f|%d", 3, 2.9), L"3.00|2");  // an int where a double is expected and back
}

TEST(CStringFormat, FlagsWidthsCharactersAndStrings) {
    EXPECT_EQ(Fmt(L"[%-5d|%05d|%+u]", 42, -42, 5u), L"[42   |-0042|5]");
    EXPECT_EQ(Fmt(L"[%.0d|%06.3d]", 0, 7), L"[|   007]");  // precision turns zero padding off
    EXPECT_EQ(Fmt(L"[%*d|%*d|%.*d]", 4, 1, -4, 1, -1, 5), L"[   1|1   |5]");
    EXPECT_EQ(Fmt(L"[%.*s|%-4s]", 2, L"abcdef", L"cd"), L"[ab|cd  ]");
    EXPECT_EQ(Fmt(L"%c%c%C%hc", L'\u00e9', 0x20AC, 'A', 0x1E9), L"\u00e9\u20acA\u00e9");  // narrow: Latin-1
    EXPECT_EQ(Fmt(L"%S|%hs|%s", "d\xe9", "x", std::string("to %s")), L"d\u00e9|x|to %s");
    EXPECT_EQ(Fmt(L"%s|%S", static_cast<const wchar_t*>(nullptr), static_cast<const char*>(nullptr)),
              L"(null)|(null)");
    EXPECT_EQ(Fmt(L"%s", CString(L"\U0001F600")), L"\U0001F600");
}

TEST(CStringFormat, MismatchedAndMissingArgumentsAreSafe) {
    EXPECT_EQ(Fmt(L"[%d][%s][%f][%c]"), L"[][][][]");
    EXPECT_EQ(Fmt(L"[%d]", L"text"), L"[]");  // a string where a number is expected
    EXPECT_EQ(Fmt(L"[%s]", 42), L"[]");        // a number where a string is expected
    EXPECT_EQ(Fmt(L"[%c]", 1.5), L"[]");
    EXPECT_EQ(Fmt(L"[%d]", nullptr), L"[]");
    EXPECT_EQ(Fmt(L"[%*d]", L"w", 3), L"[3]");  // a bad width argument is skipped over
    EXPECT_EQ(Fmt(L"%d %d", 1, 2, 3), L"1 2");
    EXPECT_EQ(Fmt(L"100%% sure%"), L"100% sure");
    EXPECT_EQ(Fmt(L"%y%d", 5), L"%y5");  // unknown conversions show as written
    int n = 0;
    EXPECT_EQ(Fmt(L"a%nb%d", &n, 7), L"ab7");  // %n consumes its argument, writes nothing
    EXPECT_EQ(n, 0);
    EXPECT_EQ(Fmt(static_cast<const wchar_t*>(nullptr), 1), L"");
    EXPECT_EQ(Fmt(L"%99999999999d|", 1).GetLength(), (1 << 16) + 1);  // absurd width capped
    EXPECT_EQ(Fmt(L"%p", nullptr), CString(L'0', int(sizeof(void*) * 2)));
}

enum class Color : uint8_t { Red = 2 };

TEST(CStringFormat, SelfReferenceEnumsAndAppend) {
    CString s(L"disk");
    s.Format(L"%s %s!", s, s.GetString());  // reads the old text while writing the new
    EXPECT_EQ(s, L"disk disk!");
    s.AppendFormat(L" %s", s);
    EXPECT_EQ(s, L"disk disk! disk disk!");
    EXPECT_EQ(Fmt(CString(L"<%d>"), Color::Red), L"<2>");
}

// --- CStringArray ---------------------------------------------------------------------------

TEST(CStringArrayTest, GrowsAndCopiesFromItself) {
    CStringArray a;
    a.Add(L"a");
    a.InsertAt(3, L"d");  // past the end: grows with empty strings
    ASSERT_EQ(a.GetSize(), 4);
    EXPECT_EQ(a[1], L"");
    a.InsertAt(0, a[3], 2);  // inserting one of its own elements
    EXPECT_EQ(a[0] + a[1] + a[2], L"dda");
    a.RemoveAt(0, 2);
    EXPECT_EQ(a.Append(a), 4);  // appending itself
    EXPECT_EQ(a.GetSize(), 8);
    EXPECT_EQ(a[7], L"d");
    a.SetAtGrow(9, L"j");
    EXPECT_EQ(a.GetSize(), 10);
}

TEST(CStringArrayTest, BadIndicesThrowInvalidArg) {
    CStringArray a;
    a.Add(L"only");
    const CStringArray& c = a;
    const std::function<void()> bad[] = {
        [&] { (void)c.GetAt(1); }, [&] { (void)c[-1]; },      [&] { a[1] = L"x"; },
        [&] { a.SetAt(5, L"x"); }, [&] { a.RemoveAt(0, 2); }, [&] { a.RemoveAt(-1); },
        [&] { a.InsertAt(-1, L"x"); }, [&] { a.SetSize(-1); }};
    for (const auto& f : bad) {
        try {
            f();
            ADD_FAILURE() << "case " << &f - bad << " did not throw";
        } catch (CException* e) {
            EXPECT_NE(dynamic_cast<CInvalidArgException*>(e), nullptr) << "case " << &f - bad;
            e->Delete();
        }
    }
    EXPECT_EQ(a.GetSize(), 1);
    EXPECT_EQ(a[0], L"only");
}

}  // namespace
