// CString, its formatter, the number readers and CStringArray. Runs natively (32-bit wchar_t,
// sanitizers) and under Wine (16-bit wchar_t): every expectation must hold on both.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>

#include "cstring.h"
#include "exceptions.h"

namespace {

TEST(CStringBasics, ConstructionForms) {
    EXPECT_TRUE(CString(static_cast<const wchar_t*>(nullptr)).IsEmpty());
    CString withNul(L"ab\0cd", 5);
    EXPECT_EQ(withNul.GetLength(), 5);
    EXPECT_EQ(withNul[3], L'c');
    EXPECT_EQ(CString(L"abc", -1), L"");
    EXPECT_EQ(CString(L'x', 3), L"xxx");
    EXPECT_EQ(CString(L'x', 0), L"");
    EXPECT_EQ(CString("caf\xe9"), L"caf\u00e9");  // narrow text is Latin-1, byte for byte

    CString a(L"moved");
    CString b(std::move(a));
    EXPECT_EQ(b, L"moved");
    a = L"reused";  // a moved-from string is still usable
    EXPECT_EQ(a, L"reused");
    a = b;
    EXPECT_EQ(a, L"moved");
    a = L'z';
    EXPECT_EQ(a, L"z");
}

TEST(CStringBasics, OutOfRangeAccessIsHarmless) {
    CString s(L"abc");
    EXPECT_EQ(s.GetAt(-1), 0);
    EXPECT_EQ(s.GetAt(3), 0);
    EXPECT_EQ(s[size_t(1)], L'b');
    EXPECT_EQ(s[10L], 0);
    EXPECT_EQ(s[-5], 0);
    s.SetAt(1, L'X');
    s.SetAt(3, L'Y');
    s.SetAt(-1, L'Y');
    EXPECT_EQ(s, L"aXc");
    s.Empty();
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_STREQ(s.GetString(), L"");
}

TEST(CStringBasics, BufferProtocol) {
    CString s(L"abc");
    wchar_t* p = s.GetBuffer(10);
    EXPECT_EQ(p[0], L'a');  // the old text is kept
    // A callee fills up to 10 characters plus its terminator.
    const wchar_t* text = L"0123456789";
    for (int i = 0; i <= 10; ++i) p[i] = text[i];
    s.ReleaseBuffer();
    EXPECT_EQ(s, L"0123456789");

    p = s.GetBuffer(4);  // smaller than the text: the text stays whole
    p[2] = 0;
    s.ReleaseBuffer();
    EXPECT_EQ(s, L"01");

    p = s.GetBufferSetLength(3);
    p[0] = L'x', p[1] = L'y', p[2] = L'z';
    s.ReleaseBuffer(2);
    EXPECT_EQ(s, L"xy");
    s.ReleaseBuffer(99);  // longer than the buffer: clamped
    EXPECT_EQ(s, L"xy");

    // Taking a writable pointer without asking for room changes nothing, released or not.
    s.GetBuffer()[0] = L'X';
    EXPECT_EQ(s, L"Xy");
    s.GetBuffer(1);
    EXPECT_EQ(s.GetLength(), 2);
    s.ReleaseBuffer();
    EXPECT_EQ(s, L"Xy");
    CString empty;
    EXPECT_EQ(*empty.GetBuffer(), 0);
    empty.ReleaseBuffer();
    EXPECT_TRUE(empty.IsEmpty());
}

TEST(CStringBasics, ConcatenationAndSelfReference) {
    CString s(L"ab");
    EXPECT_EQ(s + L"c", L"abc");
    EXPECT_EQ(L"c" + s, L"cab");
    EXPECT_EQ(s + L'!', L"ab!");
    EXPECT_EQ(L'!' + s, L"!ab");
    EXPECT_EQ(s + CString(L"de"), L"abde");
    s += s;
    EXPECT_EQ(s, L"abab");
    s += s.GetString() + 1;  // appending a pointer into itself
    EXPECT_EQ(s, L"ababbab");
    s = s.GetString() + 2;
    EXPECT_EQ(s, L"abbab");
    s.Append(L"xyz", 2);
    EXPECT_EQ(s, L"abbabxy");
}

TEST(CStringBasics, ComparisonOrdersByUnitAndFoldsCase) {
    CString s(L"abc");
    EXPECT_TRUE(s == L"abc");
    EXPECT_TRUE(L"abc" == s);
    EXPECT_TRUE(s != L"abd");
    EXPECT_LT(s.Compare(L"abd"), 0);
    EXPECT_GT(s.Compare(L"ab"), 0);
    EXPECT_EQ(s.Compare(nullptr) > 0, true);
    EXPECT_TRUE(CString(L"z") < CString(L"\u00e9"));  // unsigned unit order, not signed
    EXPECT_TRUE(CString(L"a") < L"b");
    EXPECT_TRUE(L"a" < CString(L"b"));
    EXPECT_EQ(CString(L"\u00c9COLE").CompareNoCase(L"\u00e9cole"), 0);
    EXPECT_EQ(CString(L"README.TXT").CompareNoCase(L"readme.txt"), 0);
    EXPECT_LT(CString(L"apple").CompareNoCase(L"BANANA"), 0);
    EXPECT_GT(CString(L"abcd").CompareNoCase(L"ABC"), 0);
}

TEST(CStringTransform, CaseMappingCoversLatinGreekCyrillic) {
    CString s(L"Hello, \u00e9t\u00e9 \u00ff \u00df \u00f7 \u0105 \u03b1\u03c2 \u0436\u0451");
    s.MakeUpper();
    EXPECT_EQ(s, L"HELLO, \u00c9T\u00c9 \u0178 \u00df \u00f7 \u0104 \u0391\u03a3 \u0416\u0401");
    s.MakeLower();
    EXPECT_EQ(s, L"hello, \u00e9t\u00e9 \u00ff \u00df \u00f7 \u0105 \u03b1\u03c3 \u0436\u0451");
    EXPECT_EQ(CharToUpper(L'\u00d7'), L'\u00d7');  // multiplication sign has no case
    EXPECT_EQ(CharToLower(L'\u0141'), L'\u0142');  // odd-upper range of Latin Extended-A
    EXPECT_EQ(CharToUpper(L'\u0142'), L'\u0141');
}

TEST(CStringTransform, ReverseKeepsSurrogatePairsTogether) {
    CString s(L"ab\U0001F600c");
    s.MakeReverse();
    EXPECT_EQ(s, L"c\U0001F600ba");
    EXPECT_EQ(CString().MakeReverse(), L"");
}

TEST(CStringTransform, Trim) {
    EXPECT_EQ(CString(L" \t\r\n x y \n").Trim(), L"x y");
    EXPECT_EQ(CString(L"  x ").TrimLeft(), L"x ");
    EXPECT_EQ(CString(L"  x ").TrimRight(), L"  x");
    EXPECT_EQ(CString(L"xxaxx").Trim(L'x'), L"a");
    EXPECT_EQ(CString(L"xxaxx").TrimLeft(L'x'), L"axx");
    EXPECT_EQ(CString(L"-=a=-").Trim(L"=-"), L"a");
    EXPECT_EQ(CString(L"-=a=-").TrimRight(L"=-"), L"-=a");
    EXPECT_EQ(CString(L"   ").Trim(), L"");
    EXPECT_EQ(CString(L"\u00a0x").Trim(), L"\u00a0x");  // only C-locale blanks are trimmed
}

TEST(CStringTransform, ExtractionClampsLikeTheClassLibrary) {
    CString s(L"abcdef");
    EXPECT_EQ(s.Left(2), L"ab");
    EXPECT_EQ(s.Left(-1), L"");
    EXPECT_EQ(s.Left(100), L"abcdef");
    EXPECT_EQ(s.Right(2), L"ef");
    EXPECT_EQ(s.Right(100), L"abcdef");
    EXPECT_EQ(s.Right(-3), L"");
    EXPECT_EQ(s.Mid(2), L"cdef");
    EXPECT_EQ(s.Mid(2, 2), L"cd");
    EXPECT_EQ(s.Mid(-3, 2), L"ab");
    EXPECT_EQ(s.Mid(5, 100), L"f");
    EXPECT_EQ(s.Mid(6), L"");
    EXPECT_EQ(s.Mid(100, 1), L"");
    EXPECT_EQ(s.Mid(1, -1), L"");
    EXPECT_EQ(s.Mid(INT_MAX, INT_MAX), L"");
}

TEST(CStringSearch, FindFamily) {
    CString s(L"a.b.c");
    EXPECT_EQ(s.Find(L'.'), 1);
    EXPECT_EQ(s.Find(L'.', 2), 3);
    EXPECT_EQ(s.Find(L'.', 4), -1);
    EXPECT_EQ(s.Find(L'.', 99), -1);
    EXPECT_EQ(s.Find(L'.', -1), -1);
    EXPECT_EQ(s.Find(L"b.c"), 2);
    EXPECT_EQ(s.Find(L"b.c", 3), -1);
    EXPECT_EQ(s.Find(L""), 0);
    EXPECT_EQ(s.Find(L"", 5), 5);
    EXPECT_EQ(s.Find(L"", 6), -1);
    EXPECT_EQ(s.Find(static_cast<const wchar_t*>(nullptr)), -1);
    EXPECT_EQ(s.ReverseFind(L'.'), 3);
    EXPECT_EQ(s.ReverseFind(L'x'), -1);
    EXPECT_EQ(s.FindOneOf(L"cb"), 2);
    EXPECT_EQ(s.FindOneOf(L"xyz"), -1);
    EXPECT_EQ(s.FindOneOf(L""), -1);
}

TEST(CStringEdit, ReplaceRemoveInsertDelete) {
    CString s(L"aaa");
    EXPECT_EQ(s.Replace(L"a", L"aa"), 3);  // replacements are not rescanned
    EXPECT_EQ(s, L"aaaaaa");
    EXPECT_EQ(s.Replace(L"aa", L""), 3);
    EXPECT_EQ(s, L"");
    s = L"C:/dir/file";
    EXPECT_EQ(s.Replace(L'/', L'\\'), 2);
    EXPECT_EQ(s, L"C:\\dir\\file");
    EXPECT_EQ(s.Replace(L"", L"x"), 0);
    EXPECT_EQ(s.Replace(L"dir", s.GetString()), 1);  // replacement text taken from itself
    EXPECT_EQ(s, L"C:\\C:\\dir\\file\\file");
    EXPECT_EQ(s.Remove(L'\\'), 4);
    EXPECT_EQ(s, L"C:C:dirfilefile");

    s = L"ace";
    EXPECT_EQ(s.Insert(1, L'b'), 4);
    EXPECT_EQ(s.Insert(3, L"d"), 5);
    EXPECT_EQ(s, L"abcde");
    s.Insert(99, L"!");  // past the end appends
    s.Insert(-5, L'>');
    EXPECT_EQ(s, L">abcde!");
    EXPECT_EQ(s.Delete(0), 6);
    EXPECT_EQ(s.Delete(3, 100), 3);
    EXPECT_EQ(s, L"abc");
    s.Delete(-2, 1);
    s.Delete(10, 1);
    EXPECT_EQ(s, L"bc");
}

TEST(CStringSearch, SpanAndTokenize) {
    CString s(L"123abc456");
    EXPECT_EQ(s.SpanIncluding(L"0123456789"), L"123");
    EXPECT_EQ(s.SpanExcluding(L"abc"), L"123");
    EXPECT_EQ(s.SpanIncluding(L"x"), L"");

    CString list(L";;alpha,beta;;gamma;");
    CStringArray tokens;
    int pos = 0;
    for (CString t = list.Tokenize(L",;", pos); pos != -1; t = list.Tokenize(L",;", pos)) tokens.Add(t);
    ASSERT_EQ(tokens.GetSize(), 3);
    EXPECT_EQ(tokens[0], L"alpha");
    EXPECT_EQ(tokens[1], L"beta");
    EXPECT_EQ(tokens[2], L"gamma");

    pos = 0;
    EXPECT_EQ(CString(L";;;").Tokenize(L";", pos), L"");
    EXPECT_EQ(pos, -1);
    pos = 1;
    CString whole(L"abc");
    EXPECT_EQ(whole.Tokenize(L"", pos), L"bc");  // no delimiters: the rest, then the end
    EXPECT_EQ(whole.Tokenize(L"", pos), L"");
    EXPECT_EQ(pos, -1);
    pos = -4;
    EXPECT_EQ(whole.Tokenize(L",", pos), L"");
    EXPECT_EQ(pos, -1);
}

TEST(StringToNumber, Int32FollowsWtoi) {
    EXPECT_EQ(StrToInt32(L"42"), 42);
    EXPECT_EQ(StrToInt32(L" \t\n-42xyz"), -42);
    EXPECT_EQ(StrToInt32(L"+7"), 7);
    EXPECT_EQ(StrToInt32(L"abc"), 0);
    EXPECT_EQ(StrToInt32(L"- 5"), 0);
    EXPECT_EQ(StrToInt32(L"--5"), 0);
    EXPECT_EQ(StrToInt32(L""), 0);
    EXPECT_EQ(StrToInt32(nullptr), 0);
    EXPECT_EQ(StrToInt32(L"0x1F"), 0);
    EXPECT_EQ(StrToInt32(L"2147483647"), INT32_MAX);
    EXPECT_EQ(StrToInt32(L"2147483648"), INT32_MAX);
    EXPECT_EQ(StrToInt32(L"-2147483648"), INT32_MIN);
    EXPECT_EQ(StrToInt32(L"-2147483649"), INT32_MIN);
    EXPECT_EQ(StrToInt32(L"99999999999999999999999999"), INT32_MAX);
    EXPECT_EQ(StrToInt32(L"000000000000000000000012"), 12);
}

TEST(StringToNumber, SixtyFourBit) {
    EXPECT_EQ(StrToInt64(L"9223372036854775807"), INT64_MAX);
    EXPECT_EQ(StrToInt64(L"9223372036854775808"), INT64_MAX);
    EXPECT_EQ(StrToInt64(L"-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(StrToInt64(L"-99999999999999999999"), INT64_MIN);
    EXPECT_EQ(StrToInt64(L"  1099511627776 bytes"), int64_t(1) << 40);
    EXPECT_EQ(StrToInt64(L"x"), 0);
    EXPECT_EQ(StrToUInt64(L"18446744073709551615"), UINT64_MAX);
    EXPECT_EQ(StrToUInt64(L"18446744073709551616"), UINT64_MAX);
    EXPECT_EQ(StrToUInt64(L"+12"), 12u);
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
    const char cut[] = "\xe2\x82";
    EXPECT_EQ(FromUtf8(cut, 2), L"\ufffd");
}

// --- Format ---------------------------------------------------------------------------------

template <class... A> CString Fmt(const wchar_t* f, const A&... a) {
    CString s;
    s.Format(f, a...);
    return s;
}

TEST(CStringFormat, FormatsTheProgramUses) {
    EXPECT_EQ(Fmt(L"%llu", UINT64_MAX), L"18446744073709551615");
    EXPECT_EQ(Fmt(L"%llu", uint64_t(1234567890123)), L"1234567890123");
    EXPECT_EQ(Fmt(L"%lu", uint32_t(4294967295u)), L"4294967295");
    EXPECT_EQ(Fmt(L"%lu", (uint64_t(1) << 32) + 5), L"5");  // long is 32 bits, as on Windows
    EXPECT_EQ(Fmt(L"%d", INT32_MIN), L"-2147483648");
    EXPECT_EQ(Fmt(L"%d", int64_t(0x1FFFFFFFF)), L"-1");     // read as 32 bits
    EXPECT_EQ(Fmt(L"%X", 0xDEADBEEFu), L"DEADBEEF");
    EXPECT_EQ(Fmt(L"%6.2f", 3.14159), L"  3.14");
    EXPECT_EQ(Fmt(L"%6.2f", 1234.5), L"1234.50");
    EXPECT_EQ(Fmt(L"%6.2f", -0.004), L" -0.00");
    EXPECT_EQ(Fmt(L"%6.2f", 123456.789), L"123456.79");
    EXPECT_EQ(Fmt(L"%c", L'K'), L"K");
    EXPECT_EQ(Fmt(L"%s", CString(L"disk")), L"disk");
    EXPECT_EQ(Fmt(L"%s", L"lit"), L"lit");
    EXPECT_EQ(Fmt(L"%02x", 5), L"05");
    EXPECT_EQ(Fmt(L"%02x", 255), L"ff");
    EXPECT_EQ(Fmt(L"%02x", 0x1AB), L"1ab");
    EXPECT_EQ(Fmt(L"%02x", uint8_t(0xE9)), L"e9");
    EXPECT_EQ(Fmt(L"%u", -1), L"4294967295");
    EXPECT_EQ(Fmt(L"%u", 7u), L"7");
    EXPECT_EQ(Fmt(L"%I64d", INT64_MIN), L"-9223372036854775808");
    EXPECT_EQ(Fmt(L"%I64d", int64_t(1) << 40), L"1099511627776");
    EXPECT_EQ(Fmt(L"%ld", -5), L"-5");
    EXPECT_EQ(Fmt(L"%ld", int64_t(1) << 32), L"0");
    EXPECT_EQ(Fmt(L"%08X", 0xABu), L"000000AB");
    EXPECT_EQ(Fmt(L"%08X", -1), L"FFFFFFFF");
    EXPECT_EQ(Fmt(L"%6.2f %cB", 1.005, L'K'), L"  1.00 KB");  // 1.005 is just below 1.005
    EXPECT_EQ(Fmt(L"Sector %I64d of %llu (%d%%)", int64_t(63), uint64_t(2048), 3),
              L"Sector 63 of 2048 (3%)");
}

TEST(CStringFormat, FloatRoundingIsExactAndTiesGoToEven) {
    EXPECT_EQ(Fmt(L"%.0f", 0.5), L"0");
    EXPECT_EQ(Fmt(L"%.0f", 1.5), L"2");
    EXPECT_EQ(Fmt(L"%.0f", 2.5), L"2");
    EXPECT_EQ(Fmt(L"%.0f", -2.5), L"-2");
    EXPECT_EQ(Fmt(L"%.2f", 0.125), L"0.12");
    EXPECT_EQ(Fmt(L"%.2f", 0.375), L"0.38");
    EXPECT_EQ(Fmt(L"%.1f", 0.25), L"0.2");
    EXPECT_EQ(Fmt(L"%.2f", 2.675), L"2.67");  // binary value is below the tie
    EXPECT_EQ(Fmt(L"%.20f", 0.1), L"0.10000000000000000555");
    EXPECT_EQ(Fmt(L"%.0f", 1e20), L"100000000000000000000");
    EXPECT_EQ(Fmt(L"%f", 0.0), L"0.000000");
    EXPECT_EQ(Fmt(L"%f", -0.0), L"-0.000000");
    EXPECT_EQ(Fmt(L"%.3f", 5e-324), L"0.000");
    EXPECT_EQ(Fmt(L"%.2f", 999.995), L"1000.00");  // 999.995 is stored slightly above the tie
}

TEST(CStringFormat, ScientificAndGeneral) {
    EXPECT_EQ(Fmt(L"%e", 12345.678), L"1.234568e+04");
    EXPECT_EQ(Fmt(L"%E", 0.000123), L"1.230000E-04");
    EXPECT_EQ(Fmt(L"%.0e", 25.0), L"2e+01");
    EXPECT_EQ(Fmt(L"%#.0e", 25.0), L"2.e+01");
    EXPECT_EQ(Fmt(L"%e", 1e300), L"1.000000e+300");
    EXPECT_EQ(Fmt(L"%g", 0.0001), L"0.0001");
    EXPECT_EQ(Fmt(L"%g", 0.00001), L"1e-05");
    EXPECT_EQ(Fmt(L"%g", 123456.0), L"123456");
    EXPECT_EQ(Fmt(L"%g", 1234567.0), L"1.23457e+06");
    EXPECT_EQ(Fmt(L"%g", 100.0), L"100");
    EXPECT_EQ(Fmt(L"%g", 0.0), L"0");
    EXPECT_EQ(Fmt(L"%g", 2.5), L"2.5");
    EXPECT_EQ(Fmt(L"%.3g", 99950.0), L"1e+05");
    EXPECT_EQ(Fmt(L"%#g", 1.0), L"1.00000");
    EXPECT_EQ(Fmt(L"%#.3g", 100.0), L"100.");
    EXPECT_EQ(Fmt(L"%G", 1e-10), L"1E-10");
    EXPECT_EQ(Fmt(L"%.0g", 7.0), L"7");
}

TEST(CStringFormat, SpecialFloatValuesAndPadding) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(Fmt(L"%f", inf), L"inf");
    EXPECT_EQ(Fmt(L"%F", -inf), L"-INF");
    EXPECT_EQ(Fmt(L"%05f", inf), L"  inf");  // zero padding never applies to inf/nan
    EXPECT_EQ(Fmt(L"%e", std::nan("")), L"nan");
    EXPECT_EQ(Fmt(L"%010.3f", -3.14159), L"-00003.142");
    EXPECT_EQ(Fmt(L"%-8.1f|", 2.0), L"2.0     |");
    EXPECT_EQ(Fmt(L"%+.1f", 2.0), L"+2.0");
    EXPECT_EQ(Fmt(L"% .1f", 2.0), L" 2.0");
    EXPECT_EQ(Fmt(L"%#.0f", 3.0), L"3.");
    EXPECT_EQ(Fmt(L"%.2f", 3), L"3.00");           // an integer where a double is expected
    EXPECT_EQ(Fmt(L"%.1f", float(0.5f)), L"0.5");
    EXPECT_EQ(Fmt(L"%d", 2.9), L"2");              // a double where an integer is expected
}

TEST(CStringFormat, IntegerFlagsWidthPrecisionAndModifiers) {
    EXPECT_EQ(Fmt(L"[%5d]", 42), L"[   42]");
    EXPECT_EQ(Fmt(L"[%-5d]", 42), L"[42   ]");
    EXPECT_EQ(Fmt(L"[%05d]", -42), L"[-0042]");
    EXPECT_EQ(Fmt(L"[%+d|% d|%+d]", 5, 5, -5), L"[+5| 5|-5]");
    EXPECT_EQ(Fmt(L"[%+u]", 5u), L"[5]");  // sign flags only for signed conversions
    EXPECT_EQ(Fmt(L"%#x %#X %#x", 31, 31, 0), L"0x1f 0X1F 0");
    EXPECT_EQ(Fmt(L"%o %#o %#o", 8, 8, 0), L"10 010 0");
    EXPECT_EQ(Fmt(L"%.3d", 7), L"007");
    EXPECT_EQ(Fmt(L"[%.0d]", 0), L"[]");
    EXPECT_EQ(Fmt(L"[%06.3d]", 7), L"[   007]");  // precision turns zero padding off
    EXPECT_EQ(Fmt(L"[%*d]", 4, 1), L"[   1]");
    EXPECT_EQ(Fmt(L"[%-*d]", 4, 1), L"[1   ]");
    EXPECT_EQ(Fmt(L"[%*d]", -4, 1), L"[1   ]");
    EXPECT_EQ(Fmt(L"[%.*d]", -1, 5), L"[5]");
    EXPECT_EQ(Fmt(L"[%.*s]", 2, L"abcdef"), L"[ab]");
    EXPECT_EQ(Fmt(L"%hd", 65535), L"-1");
    EXPECT_EQ(Fmt(L"%hu", 70000), L"4464");
    EXPECT_EQ(Fmt(L"%hhu", 257), L"1");
    EXPECT_EQ(Fmt(L"%hhd", 255), L"-1");
    EXPECT_EQ(Fmt(L"%lld", -1), L"-1");                       // widened from the real type
    EXPECT_EQ(Fmt(L"%llu", -1), L"18446744073709551615");
    EXPECT_EQ(Fmt(L"%I64x", uint64_t(0xFEDCBA9876543210)), L"fedcba9876543210");
    EXPECT_EQ(Fmt(L"%I64u", uint64_t(1) << 63), L"9223372036854775808");
    EXPECT_EQ(Fmt(L"%I32d", int64_t(-1)), L"-1");
    EXPECT_EQ(Fmt(L"%zu %Iu", size_t(12), size_t(34)), L"12 34");
    EXPECT_EQ(Fmt(L"%d %d", true, '\x41'), L"1 65");
}

TEST(CStringFormat, CharactersAndStrings) {
    EXPECT_EQ(Fmt(L"%c%c", L'\u00e9', 0x20AC), L"\u00e9\u20ac");
    EXPECT_EQ(Fmt(L"[%3c|%-3c]", L'a', L'b'), L"[  a|b  ]");
    EXPECT_EQ(Fmt(L"%C%hc", 'A', 0x1E9), L"A\u00e9");   // narrow: one byte, Latin-1
    EXPECT_EQ(Fmt(L"%S|%hs|%ls|%ws", "abc", "d\xe9", L"w", L"x"), L"abc|d\u00e9|w|x");
    EXPECT_EQ(Fmt(L"%s", std::string("narrow to %s")), L"narrow to %s");
    EXPECT_EQ(Fmt(L"%s", std::wstring(L"wide")), L"wide");
    EXPECT_EQ(Fmt(L"[%6s|%-6s]", L"ab", L"cd"), L"[    ab|cd    ]");
    EXPECT_EQ(Fmt(L"%s|%S", static_cast<const wchar_t*>(nullptr), static_cast<const char*>(nullptr)),
              L"(null)|(null)");
    wchar_t buf[] = L"mutable";
    EXPECT_EQ(Fmt(L"%s", buf), L"mutable");
    EXPECT_EQ(Fmt(L"%s", CString(L"\U0001F600")), L"\U0001F600");
}

TEST(CStringFormat, MismatchedAndMissingArgumentsAreSafe) {
    EXPECT_EQ(Fmt(L"[%d][%s][%f][%c]"), L"[][][][]");
    EXPECT_EQ(Fmt(L"[%d]", L"text"), L"[]");   // a string where a number is expected
    EXPECT_EQ(Fmt(L"[%s]", 42), L"[]");         // a number where a string is expected
    EXPECT_EQ(Fmt(L"[%c]", 1.5), L"[]");
    EXPECT_EQ(Fmt(L"[%d]", nullptr), L"[]");
    EXPECT_EQ(Fmt(L"[%*d]", L"w", 3), L"[3]");  // a bad width argument is skipped over
    EXPECT_EQ(Fmt(L"%d %d", 1, 2, 3), L"1 2");
    EXPECT_EQ(Fmt(L"100%% sure%"), L"100% sure");
    EXPECT_EQ(Fmt(L"%y%d", 5), L"%y5");         // unknown conversions show as written
    int n = 0;
    EXPECT_EQ(Fmt(L"a%nb%d", &n, 7), L"ab7");  // %n consumes its argument, writes nothing
    EXPECT_EQ(n, 0);
    EXPECT_EQ(Fmt(static_cast<const wchar_t*>(nullptr), 1), L"");
    EXPECT_EQ(Fmt(L"%99999999999d|", 1).GetLength(), (1 << 16) + 1);  // absurd width capped

    int x = 0;
    CString p = Fmt(L"%p", &x);
    EXPECT_EQ(p.GetLength(), int(sizeof(void*) * 2));
    EXPECT_EQ(Fmt(L"%p", nullptr), CString(L'0', int(sizeof(void*) * 2)));
}

enum class Color : uint8_t { Red = 2 };

TEST(CStringFormat, SelfReferenceEnumsAndAppend) {
    CString s(L"disk");
    s.Format(L"%s %s!", s, s.GetString());  // reads the old text while writing the new
    EXPECT_EQ(s, L"disk disk!");
    s.AppendFormat(L" %d/%d", 1, 2);
    EXPECT_EQ(s, L"disk disk! 1/2");
    s.AppendFormat(L" %s", s);
    EXPECT_EQ(s, L"disk disk! 1/2 disk disk! 1/2");
    EXPECT_EQ(Fmt(L"%d", Color::Red), L"2");
    CString fmt(L"<%d>");
    EXPECT_EQ(Fmt(fmt, 9), L"<9>");  // a CString as the format
}

// --- CStringArray ---------------------------------------------------------------------------

template <class F> bool ThrowsInvalidArg(F f) {
    try {
        f();
    } catch (CException* e) {
        bool ok = dynamic_cast<CInvalidArgException*>(e) != nullptr;
        e->Delete();
        return ok;
    }
    return false;
}

TEST(CStringArrayTest, AddInsertRemove) {
    CStringArray a;
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_EQ(a.Add(L"b"), 0);
    EXPECT_EQ(a.Add(L"d"), 1);
    a.InsertAt(0, L"a");
    a.InsertAt(2, L"c");
    ASSERT_EQ(a.GetCount(), 4);
    EXPECT_EQ(a.GetUpperBound(), 3);
    EXPECT_EQ(a[0] + a[1] + a[2] + a[3], L"abcd");
    a.InsertAt(6, L"g");  // past the end: grows with empty strings
    ASSERT_EQ(a.GetSize(), 7);
    EXPECT_EQ(a[4], L"");
    EXPECT_EQ(a[6], L"g");
    a.InsertAt(0, a[6], 2);  // inserting one of its own elements
    EXPECT_EQ(a[0] + a[1] + a[2], L"gga");
    a.RemoveAt(0, 2);
    a.RemoveAt(4, 3);
    ASSERT_EQ(a.GetSize(), 4);
    a.SetAt(3, L"D");
    a[2] = L"C";
    EXPECT_EQ(a.GetAt(2) + a.GetAt(3), L"CD");
    EXPECT_EQ(a.Append(a), 4);  // appending itself
    EXPECT_EQ(a.GetSize(), 8);
    EXPECT_EQ(a[7], L"D");
    a.SetAtGrow(9, L"j");
    EXPECT_EQ(a.GetSize(), 10);
    CStringArray b;
    b.Copy(a);
    a.RemoveAll();
    EXPECT_EQ(a.GetSize(), 0);
    EXPECT_EQ(b.GetSize(), 10);
}

TEST(CStringArrayTest, BadIndicesThrowInvalidArg) {
    CStringArray a;
    a.Add(L"only");
    const CStringArray& c = a;
    EXPECT_TRUE(ThrowsInvalidArg([&] { (void)c.GetAt(1); }));
    EXPECT_TRUE(ThrowsInvalidArg([&] { (void)c[-1]; }));
    EXPECT_TRUE(ThrowsInvalidArg([&] { a[1] = L"x"; }));
    EXPECT_TRUE(ThrowsInvalidArg([&] { a.SetAt(5, L"x"); }));
    EXPECT_TRUE(ThrowsInvalidArg([&] { a.RemoveAt(0, 2); }));
    EXPECT_TRUE(ThrowsInvalidArg([&] { a.RemoveAt(-1); }));
    EXPECT_TRUE(ThrowsInvalidArg([&] { a.InsertAt(-1, L"x"); }));
    EXPECT_TRUE(ThrowsInvalidArg([&] { a.SetSize(-1); }));
    EXPECT_EQ(a.GetSize(), 1);
    EXPECT_EQ(a[0], L"only");
}

}  // namespace
