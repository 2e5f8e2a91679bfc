#include "cstring.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <ostream>

namespace {

size_t SafeLen(const wchar_t* s)
{
    return s ? std::wcslen(s) : 0;
}

bool InSet(wchar_t ch, const wchar_t* set)
{
    if (!set)
        return false;
    for (; *set; ++set)
        if (*set == ch)
            return true;
    return false;
}

// The C locale's notion of a blank, which is what _wtoi and Trim treat as blank.
bool IsBlank(wchar_t ch)
{
    return ch == L' ' || (ch >= L'\t' && ch <= L'\r');
}

int Clamp(int v, int lo, int hi)
{
    return v < lo ? lo : (v > hi ? hi : v);
}

// The bits of an integer argument, whichever of its signed or unsigned forms it was stored as.
uint64_t IntBits(const zr::FormatArg& a)
{
    return a.kind == zr::FormatArg::Signed ? static_cast<uint64_t>(a.i) : a.u;
}

// Order by unsigned code unit, like wcscmp on Windows.
int CompareUnits(const wchar_t* a, size_t na, const wchar_t* b, size_t nb)
{
    size_t n = std::min(na, nb);
    for (size_t i = 0; i < n; ++i) {
        uint32_t x = static_cast<uint32_t>(a[i]), y = static_cast<uint32_t>(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return na == nb ? 0 : (na < nb ? -1 : 1);
}

} // namespace

int HexDigit(wchar_t ch)
{
    if (ch >= L'0' && ch <= L'9')
        return ch - L'0';
    if (ch >= L'A' && ch <= L'F')
        return ch - L'A' + 10;
    if (ch >= L'a' && ch <= L'f')
        return ch - L'a' + 10;
    return -1;
}

// ---------------------------------------------------------------------------------------------
// Case mapping

wchar_t CharToUpper(wchar_t ch)
{
    uint32_t c = static_cast<uint32_t>(ch);
    if (c < 0x80)
        return (c >= 'a' && c <= 'z') ? wchar_t(c - 32) : ch;
    if (c < 0x100) {
        if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
            return wchar_t(c - 32);
        if (c == 0xFF)
            return wchar_t(0x178);
        return ch;
    }
    if (c < 0x180) {
        if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
            return (c & 1) ? wchar_t(c - 1) : ch;
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
            return (c & 1) ? ch : wchar_t(c - 1);
        return ch;
    }
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2)
        return wchar_t(c - 32);
    if (c == 0x3C2)
        return wchar_t(0x3A3); // final sigma
    if (c == 0x3AC)
        return wchar_t(0x386);
    if (c >= 0x3AD && c <= 0x3AF)
        return wchar_t(c - 37);
    if (c == 0x3CC)
        return wchar_t(0x38C);
    if (c == 0x3CD || c == 0x3CE)
        return wchar_t(c - 63);
    if (c >= 0x430 && c <= 0x44F)
        return wchar_t(c - 32);
    if (c >= 0x450 && c <= 0x45F)
        return wchar_t(c - 80);
    if (((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF)) && (c & 1))
        return wchar_t(c - 1);
    return ch;
}

wchar_t CharToLower(wchar_t ch)
{
    uint32_t c = static_cast<uint32_t>(ch);
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? wchar_t(c + 32) : ch;
    if (c < 0x100)
        return (c >= 0xC0 && c <= 0xDE && c != 0xD7) ? wchar_t(c + 32) : ch;
    if (c < 0x180) {
        if (c == 0x178)
            return wchar_t(0xFF);
        if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
            return (c & 1) ? ch : wchar_t(c + 1);
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
            return (c & 1) ? wchar_t(c + 1) : ch;
        return ch;
    }
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2)
        return wchar_t(c + 32);
    if (c == 0x386)
        return wchar_t(0x3AC);
    if (c >= 0x388 && c <= 0x38A)
        return wchar_t(c + 37);
    if (c == 0x38C)
        return wchar_t(0x3CC);
    if (c == 0x38E || c == 0x38F)
        return wchar_t(c + 63);
    if (c >= 0x410 && c <= 0x42F)
        return wchar_t(c + 32);
    if (c >= 0x400 && c <= 0x40F)
        return wchar_t(c + 80);
    if (((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF)) && !(c & 1))
        return wchar_t(c + 1);
    return ch;
}

// ---------------------------------------------------------------------------------------------
// Construction and access

CString::CString(const wchar_t* text) : m_str(text ? text : L"") { }

CString::CString(const wchar_t* text, int length)
{
    if (text && length > 0)
        m_str.assign(text, static_cast<size_t>(length));
}

CString::CString(wchar_t ch, int repeat)
{
    if (repeat > 0)
        m_str.assign(static_cast<size_t>(repeat), ch);
}

CString::CString(const char* text)
{
    *this = text;
}

CString& CString::operator=(const wchar_t* text)
{
    // The source may point into this string.
    std::wstring copy(text ? text : L"");
    m_str.swap(copy);
    return *this;
}

CString& CString::operator=(const char* text)
{
    m_str.clear();
    if (text)
        for (; *text; ++text)
            m_str += static_cast<wchar_t>(static_cast<unsigned char>(*text));
    return *this;
}

CString& CString::operator=(wchar_t ch)
{
    m_str.assign(1, ch);
    return *this;
}

wchar_t CString::GetAt(int index) const
{
    if (index < 0 || index >= GetLength())
        return 0;
    return m_str[static_cast<size_t>(index)];
}

void CString::SetAt(int index, wchar_t ch)
{
    if (index >= 0 && index < GetLength())
        m_str[static_cast<size_t>(index)] = ch;
}

wchar_t* CString::GetBuffer()
{
    return GetBuffer(0);
}

wchar_t* CString::GetBuffer(int minLength)
{
    // The length only grows when more room is asked for, so GetBuffer() used just to get a
    // writable pointer leaves the string as it was even without ReleaseBuffer. The new slots
    // are NUL, and the slot past them is the terminator a callee may write its NUL into.
    size_t n = static_cast<size_t>(std::max(minLength, 0));
    if (n > m_str.size())
        m_str.resize(n);
    return &m_str[0];
}

wchar_t* CString::GetBufferSetLength(int length)
{
    m_str.resize(static_cast<size_t>(std::max(length, 0)));
    return &m_str[0];
}

void CString::ReleaseBuffer(int newLength)
{
    size_t n;
    if (newLength < 0) {
        n = 0;
        while (n < m_str.size() && m_str[n] != 0)
            ++n;
    } else {
        n = std::min(static_cast<size_t>(newLength), m_str.size());
    }
    m_str.resize(n);
}

void CString::Preallocate(int length)
{
    if (length > 0)
        m_str.reserve(static_cast<size_t>(length));
}

CString& CString::operator+=(const wchar_t* s)
{
    if (s) {
        std::wstring copy(s); // s may point into this string
        m_str += copy;
    }
    return *this;
}

void CString::Append(const wchar_t* s, int length)
{
    if (s && length > 0) {
        std::wstring copy(s, static_cast<size_t>(length));
        m_str += copy;
    }
}

CString operator+(const CString& a, const CString& b)
{
    CString r(a);
    r += b;
    return r;
}
CString operator+(const CString& a, const wchar_t* b)
{
    CString r(a);
    r += b;
    return r;
}
CString operator+(const wchar_t* a, const CString& b)
{
    CString r(a);
    r += b;
    return r;
}
CString operator+(const CString& a, wchar_t b)
{
    CString r(a);
    r += b;
    return r;
}
CString operator+(wchar_t a, const CString& b)
{
    CString r(a, 1);
    r += b;
    return r;
}

bool operator==(const CString& a, const wchar_t* b)
{
    return a.Compare(b) == 0;
}

int CString::Compare(const wchar_t* s) const
{
    return CompareUnits(m_str.data(), m_str.size(), s ? s : L"", SafeLen(s));
}

int CString::CompareNoCase(const wchar_t* s) const
{
    if (!s)
        s = L"";
    size_t ns = std::wcslen(s), n = std::min(ns, m_str.size());
    for (size_t i = 0; i < n; ++i) {
        uint32_t x = static_cast<uint32_t>(CharToLower(m_str[i]));
        uint32_t y = static_cast<uint32_t>(CharToLower(s[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return m_str.size() == ns ? 0 : (m_str.size() < ns ? -1 : 1);
}

// ---------------------------------------------------------------------------------------------
// Transformations

CString& CString::MakeUpper()
{
    for (auto& c : m_str)
        c = CharToUpper(c);
    return *this;
}

CString& CString::MakeLower()
{
    for (auto& c : m_str)
        c = CharToLower(c);
    return *this;
}

CString& CString::MakeReverse()
{
    std::reverse(m_str.begin(), m_str.end());
    // With 16-bit units a surrogate pair is one character: put its halves back in order.
    if (sizeof(wchar_t) == 2) {
        for (size_t i = 0; i + 1 < m_str.size(); ++i) {
            uint32_t a = static_cast<uint32_t>(m_str[i]), b = static_cast<uint32_t>(m_str[i + 1]);
            if (a >= 0xDC00 && a <= 0xDFFF && b >= 0xD800 && b <= 0xDBFF) {
                std::swap(m_str[i], m_str[i + 1]);
                ++i;
            }
        }
    }
    return *this;
}

CString& CString::TrimLeft()
{
    size_t i = 0;
    while (i < m_str.size() && IsBlank(m_str[i]))
        ++i;
    m_str.erase(0, i);
    return *this;
}

CString& CString::TrimRight()
{
    size_t n = m_str.size();
    while (n > 0 && IsBlank(m_str[n - 1]))
        --n;
    m_str.resize(n);
    return *this;
}

CString& CString::Trim()
{
    return TrimRight().TrimLeft();
}

CString& CString::TrimLeft(wchar_t ch)
{
    size_t i = 0;
    while (i < m_str.size() && m_str[i] == ch)
        ++i;
    m_str.erase(0, i);
    return *this;
}

CString& CString::TrimRight(wchar_t ch)
{
    size_t n = m_str.size();
    while (n > 0 && m_str[n - 1] == ch)
        --n;
    m_str.resize(n);
    return *this;
}

CString& CString::Trim(wchar_t ch)
{
    return TrimRight(ch).TrimLeft(ch);
}

CString& CString::TrimLeft(const wchar_t* set)
{
    size_t i = 0;
    while (i < m_str.size() && InSet(m_str[i], set))
        ++i;
    m_str.erase(0, i);
    return *this;
}

CString& CString::TrimRight(const wchar_t* set)
{
    size_t n = m_str.size();
    while (n > 0 && InSet(m_str[n - 1], set))
        --n;
    m_str.resize(n);
    return *this;
}

CString& CString::Trim(const wchar_t* set)
{
    return TrimRight(set).TrimLeft(set);
}

CString CString::Left(int count) const
{
    count = Clamp(count, 0, GetLength());
    return CString(m_str.data(), count);
}

CString CString::Mid(int first) const
{
    return Mid(first, INT_MAX);
}

CString CString::Mid(int first, int count) const
{
    first = Clamp(first, 0, GetLength());
    count = Clamp(count, 0, GetLength() - first);
    return CString(m_str.data() + first, count);
}

CString CString::Right(int count) const
{
    count = Clamp(count, 0, GetLength());
    return CString(m_str.data() + (GetLength() - count), count);
}

int CString::Find(wchar_t ch, int start) const
{
    if (start < 0 || start >= GetLength())
        return -1;
    size_t pos = m_str.find(ch, static_cast<size_t>(start));
    return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

int CString::Find(const wchar_t* sub, int start) const
{
    if (!sub || start < 0 || start > GetLength())
        return -1;
    size_t pos = m_str.find(sub, static_cast<size_t>(start));
    return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

int CString::ReverseFind(wchar_t ch) const
{
    size_t pos = m_str.rfind(ch);
    return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

int CString::FindOneOf(const wchar_t* set) const
{
    for (size_t i = 0; i < m_str.size(); ++i)
        if (InSet(m_str[i], set))
            return static_cast<int>(i);
    return -1;
}

int CString::Replace(wchar_t oldCh, wchar_t newCh)
{
    int n = 0;
    for (auto& c : m_str)
        if (c == oldCh) {
            c = newCh;
            ++n;
        }
    return n;
}

int CString::Replace(const wchar_t* oldText, const wchar_t* newText)
{
    size_t oldLen = SafeLen(oldText);
    if (oldLen == 0)
        return 0;
    std::wstring from(oldText), to(newText ? newText : L""); // either may point into this string
    std::wstring out;
    int n = 0;
    size_t pos = 0;
    for (;;) {
        size_t hit = m_str.find(from, pos);
        if (hit == std::wstring::npos)
            break;
        out.append(m_str, pos, hit - pos);
        out += to;
        pos = hit + oldLen;
        ++n;
    }
    if (n) {
        out.append(m_str, pos, std::wstring::npos);
        m_str.swap(out);
    }
    return n;
}

int CString::Remove(wchar_t ch)
{
    size_t before = m_str.size();
    m_str.erase(std::remove(m_str.begin(), m_str.end(), ch), m_str.end());
    return static_cast<int>(before - m_str.size());
}

int CString::Insert(int index, wchar_t ch)
{
    index = Clamp(index, 0, GetLength());
    m_str.insert(static_cast<size_t>(index), 1, ch);
    return GetLength();
}

int CString::Insert(int index, const wchar_t* text)
{
    index = Clamp(index, 0, GetLength());
    if (text) {
        std::wstring copy(text);
        m_str.insert(static_cast<size_t>(index), copy);
    }
    return GetLength();
}

int CString::Delete(int index, int count)
{
    index = Clamp(index, 0, GetLength());
    count = Clamp(count, 0, GetLength() - index);
    m_str.erase(static_cast<size_t>(index), static_cast<size_t>(count));
    return GetLength();
}

CString CString::SpanIncluding(const wchar_t* set) const
{
    size_t i = 0;
    while (i < m_str.size() && InSet(m_str[i], set))
        ++i;
    return CString(m_str.data(), static_cast<int>(i));
}

CString CString::SpanExcluding(const wchar_t* set) const
{
    size_t i = 0;
    while (i < m_str.size() && !InSet(m_str[i], set))
        ++i;
    return CString(m_str.data(), static_cast<int>(i));
}

CString CString::Tokenize(const wchar_t* delimiters, int& start) const
{
    if (start >= 0 && start < GetLength()) {
        if (!delimiters || !*delimiters) {
            // No delimiters: the rest is one token, and the next call ends the loop.
            CString rest = Mid(start);
            start = GetLength();
            return rest;
        }
        size_t i = static_cast<size_t>(start);
        while (i < m_str.size() && InSet(m_str[i], delimiters))
            ++i;
        if (i < m_str.size()) {
            size_t j = i;
            while (j < m_str.size() && !InSet(m_str[j], delimiters))
                ++j;
            start = static_cast<int>(j) + 1;
            return CString(m_str.data() + i, static_cast<int>(j - i));
        }
    }
    start = -1;
    return CString();
}

// ---------------------------------------------------------------------------------------------
// Numbers

namespace {

// Reads [blanks][sign]digits; sets 'neg' and returns the magnitude, saturated at 'limit'.
uint64_t ParseMagnitude(const wchar_t* s, bool& neg, uint64_t limit)
{
    neg = false;
    if (!s)
        return 0;
    while (IsBlank(*s))
        ++s;
    if (*s == L'+' || *s == L'-')
        neg = (*s++ == L'-');
    uint64_t v = 0;
    for (; *s >= L'0' && *s <= L'9'; ++s) {
        unsigned d = static_cast<unsigned>(*s - L'0');
        if (v > (limit - d) / 10) {
            v = limit;
            // keep consuming: the digits are still part of the number
        } else {
            v = v * 10 + d;
        }
    }
    return v;
}

} // namespace

int32_t StrToInt32(const wchar_t* text)
{
    bool neg;
    uint64_t m = ParseMagnitude(text, neg, uint64_t(INT32_MAX) + 1);
    if (neg)
        return m > uint64_t(INT32_MAX) ? INT32_MIN : -static_cast<int32_t>(m);
    return m > uint64_t(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(m);
}

int64_t StrToInt64(const wchar_t* text)
{
    bool neg;
    uint64_t m = ParseMagnitude(text, neg, uint64_t(INT64_MAX) + 1);
    if (neg)
        return m > uint64_t(INT64_MAX) ? INT64_MIN : -static_cast<int64_t>(m);
    return m > uint64_t(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(m);
}

uint64_t StrToUInt64(const wchar_t* text)
{
    bool neg;
    uint64_t m = ParseMagnitude(text, neg, UINT64_MAX);
    return neg ? 0 : m;
}

CString DecimalText(uint64_t value)
{
    CString text;
    text.Format(L"%llu", static_cast<unsigned long long>(value));
    return text;
}

// ---------------------------------------------------------------------------------------------
// UTF-8

std::string ToUtf8(const CString& text)
{
    std::string out;
    const wchar_t* s = text.GetString();
    int n = text.GetLength();
    for (int i = 0; i < n; ++i) {
        uint32_t c = static_cast<uint32_t>(s[i]);
        if (sizeof(wchar_t) == 2)
            c &= 0xFFFF;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n) {
            uint32_t d = static_cast<uint32_t>(s[i + 1]) & (sizeof(wchar_t) == 2 ? 0xFFFF : 0xFFFFFFFF);
            if (d >= 0xDC00 && d <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (d - 0xDC00);
                ++i;
            }
        }
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
            c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

CString FromUtf8(const char* text, size_t length)
{
    CString out;
    if (!text)
        return out;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    size_t i = 0;
    while (i < length) {
        uint32_t c = s[i];
        size_t extra = 0;
        uint32_t min = 0;
        if (c < 0x80) {
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1, c &= 0x1F, min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, c &= 0x0F, min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, c &= 0x07, min = 0x10000;
        } else {
            c = 0xFFFD, extra = 0;
        }
        size_t j = 1;
        bool ok = true;
        for (; j <= extra; ++j) {
            if (i + j >= length || (s[i + j] & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            c = (c << 6) | (s[i + j] & 0x3F);
        }
        if (!ok || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            c = 0xFFFD;
            if (!ok)
                extra = j - 1;
        }
        i += 1 + extra;
        if (c >= 0x10000 && sizeof(wchar_t) == 2) {
            out += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<wchar_t>(c);
        }
    }
    return out;
}

void PrintTo(const CString& s, std::ostream* os)
{
    *os << "L\"" << ToUtf8(s) << "\"";
}

// ---------------------------------------------------------------------------------------------
// Formatting

namespace {

// Widths and precisions beyond this are taken as this: they only come from bad formats.
constexpr int kMaxField = 1 << 16;

struct Conversion {
    bool left = false, plus = false, space = false, zero = false, alt = false;
    int width = 0;
    int precision = -1;
    int bits = 32;    // how many bits an integer conversion reads
    int charSize = 0; // 1 narrow, 2 wide, 0 the conversion's default
    wchar_t conv = 0;
};

void Pad(std::wstring& out, size_t n, wchar_t ch)
{
    out.append(n, ch);
}

// Lays out prefix (sign, 0x) and body in the field; zeros go between prefix and body.
void Emit(std::wstring& out, const Conversion& sp, const std::wstring& prefix, const std::wstring& body, bool zeroPad)
{
    size_t len = prefix.size() + body.size();
    size_t fill = sp.width > 0 && static_cast<size_t>(sp.width) > len ? static_cast<size_t>(sp.width) - len : 0;
    if (sp.left) {
        out += prefix;
        out += body;
        Pad(out, fill, L' ');
    } else if (zeroPad) {
        out += prefix;
        Pad(out, fill, L'0');
        out += body;
    } else {
        Pad(out, fill, L' ');
        out += prefix;
        out += body;
    }
}

std::wstring Widen(const char* s, size_t n)
{
    std::wstring w;
    w.reserve(n);
    for (size_t i = 0; i < n; ++i)
        w += static_cast<wchar_t>(static_cast<unsigned char>(s[i]));
    return w;
}

void FormatInteger(std::wstring& out, const Conversion& sp, const zr::FormatArg& a)
{
    uint64_t raw;
    if (a.kind == zr::FormatArg::Signed || a.kind == zr::FormatArg::Unsigned) {
        raw = IntBits(a);
    } else if (a.kind == zr::FormatArg::Double) {
        double d = a.d;
        if (std::isnan(d))
            raw = 0;
        else if (d >= 9223372036854775807.0)
            raw = uint64_t(INT64_MAX);
        else if (d <= -9223372036854775808.0)
            raw = uint64_t(INT64_MIN);
        else
            raw = static_cast<uint64_t>(static_cast<int64_t>(d));
    } else {
        return; // a string or pointer where a number was expected: print nothing
    }
    uint64_t mask = sp.bits >= 64 ? ~uint64_t(0) : ((uint64_t(1) << sp.bits) - 1);
    uint64_t v = raw & mask;
    bool neg = false;
    bool isSigned = sp.conv == L'd' || sp.conv == L'i';
    if (isSigned && sp.bits < 64 && (v >> (sp.bits - 1)) & 1) {
        neg = true;
        v = (~v + 1) & mask; // magnitude of the two's-complement value
    } else if (isSigned && sp.bits >= 64 && (v >> 63)) {
        neg = true;
        v = ~v + 1;
    }
    unsigned base = 10;
    const char* digitSet = "0123456789abcdef";
    if (sp.conv == L'x' || sp.conv == L'p')
        base = 16;
    if (sp.conv == L'X')
        base = 16, digitSet = "0123456789ABCDEF";
    if (sp.conv == L'o')
        base = 8;

    std::wstring body;
    for (uint64_t t = v; t; t /= base)
        body += static_cast<wchar_t>(digitSet[t % base]);
    std::reverse(body.begin(), body.end());
    if (sp.precision >= 0) {
        if (static_cast<int>(body.size()) < sp.precision)
            body.insert(0, static_cast<size_t>(sp.precision) - body.size(), L'0');
    } else if (body.empty()) {
        body = L"0";
    }
    std::wstring prefix;
    if (neg)
        prefix = L"-";
    else if (isSigned && sp.plus)
        prefix = L"+";
    else if (isSigned && sp.space)
        prefix = L" ";
    if (sp.alt) {
        if (sp.conv == L'o' && (body.empty() || body[0] != L'0'))
            body.insert(0, 1, L'0');
        if (sp.conv == L'x' && v)
            prefix += L"0x";
        if (sp.conv == L'X' && v)
            prefix += L"0X";
    }
    Emit(out, sp, prefix, body, sp.zero && !sp.left && sp.precision < 0);
}

void FormatPointer(std::wstring& out, const Conversion& sp, const zr::FormatArg& a)
{
    uint64_t v;
    if (a.kind == zr::FormatArg::Pointer)
        v = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(a.p));
    else if (a.kind == zr::FormatArg::Wide)
        v = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(a.ws));
    else if (a.kind == zr::FormatArg::Narrow)
        v = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(a.ns));
    else if (a.kind == zr::FormatArg::Signed || a.kind == zr::FormatArg::Unsigned)
        v = IntBits(a);
    else
        return;
    const int digits = static_cast<int>(sizeof(void*) * 2);
    if (digits < 16)
        v &= (uint64_t(1) << (digits * 4)) - 1;
    std::wstring body(static_cast<size_t>(digits), L'0');
    for (int i = digits - 1; i >= 0; --i, v >>= 4)
        body[static_cast<size_t>(i)] = L"0123456789ABCDEF"[v & 15];
    Emit(out, sp, L"", body, false);
}

void FormatChar(std::wstring& out, const Conversion& sp, const zr::FormatArg& a)
{
    if (a.kind != zr::FormatArg::Signed && a.kind != zr::FormatArg::Unsigned)
        return;
    bool narrow = sp.charSize == 1 || (sp.charSize == 0 && sp.conv == L'C');
    uint32_t v = static_cast<uint32_t>(IntBits(a));
    wchar_t ch;
    if (narrow)
        ch = static_cast<wchar_t>(v & 0xFF);
    else if (sizeof(wchar_t) == 2 || v > 0x10FFFF)
        ch = static_cast<wchar_t>(v & 0xFFFF);
    else
        ch = static_cast<wchar_t>(v);
    Emit(out, sp, L"", std::wstring(1, ch), false);
}

void FormatStringArg(std::wstring& out, const Conversion& sp, const zr::FormatArg& a)
{
    std::wstring body;
    size_t limit = sp.precision >= 0 ? static_cast<size_t>(sp.precision) : static_cast<size_t>(-1);
    // The argument's real type decides how it is read: a narrow string passed to %s is still
    // shown correctly instead of as garbage.
    if (a.kind == zr::FormatArg::Wide && a.ws) {
        size_t n = 0;
        while (n < limit && a.ws[n])
            ++n;
        body.assign(a.ws, n);
    } else if (a.kind == zr::FormatArg::Narrow && a.ns) {
        size_t n = 0;
        while (n < limit && a.ns[n])
            ++n;
        body = Widen(a.ns, n);
    } else if (a.kind == zr::FormatArg::Wide || a.kind == zr::FormatArg::Narrow ||
               (a.kind == zr::FormatArg::Pointer && !a.p)) {
        body = std::wstring(L"(null)").substr(0, limit);
    } else {
        return;
    }
    Emit(out, sp, L"", body, false);
}

void FormatFloat(std::wstring& out, const Conversion& sp, const zr::FormatArg& a)
{
    double d;
    if (a.kind == zr::FormatArg::Double)
        d = a.d;
    else if (a.kind == zr::FormatArg::Signed)
        d = static_cast<double>(a.i);
    else if (a.kind == zr::FormatArg::Unsigned)
        d = static_cast<double>(a.u);
    else
        return;

    const wchar_t c = sp.conv;
    const bool upper = c == L'F' || c == L'E' || c == L'G';
    std::wstring prefix;
    if (std::signbit(d))
        prefix = L"-";
    else if (sp.plus)
        prefix = L"+";
    else if (sp.space)
        prefix = L" ";
    if (!std::isfinite(d)) {
        std::wstring body = std::isnan(d) ? L"nan" : L"inf";
        if (upper)
            for (auto& ch : body)
                ch = CharToUpper(ch);
        Emit(out, sp, prefix, body, false);
        return;
    }
    d = std::fabs(d);
    int prec = sp.precision < 0 ? 6 : sp.precision;

    // std::to_chars gives the exactly rounded decimal (ties to even on the binary value), the
    // same answer as a correct C runtime, without depending on which runtime we run on.
    std::string buf(static_cast<size_t>(prec) + 400, '\0');
    auto conv = [&](std::chars_format f, int p) {
        auto r = std::to_chars(&buf[0], &buf[0] + buf.size(), d, f, p);
        return std::string(&buf[0], r.ptr);
    };
    std::string s;
    if (c == L'f' || c == L'F') {
        s = conv(std::chars_format::fixed, prec);
        if (sp.alt && prec == 0)
            s += '.';
    } else if (c == L'e' || c == L'E') {
        s = conv(std::chars_format::scientific, prec);
        if (sp.alt && prec == 0)
            s.insert(1, 1, '.');
    } else { // g, G
        int p = prec == 0 ? 1 : prec;
        std::string e = conv(std::chars_format::scientific, p - 1);
        int x = std::atoi(e.c_str() + e.find('e') + 1);
        bool fixed = x >= -4 && x < p;
        s = fixed ? conv(std::chars_format::fixed, p - 1 - x) : e;
        if (sp.alt) {
            if (s.find('.') == std::string::npos)
                s.insert(fixed ? s.size() : 1, 1, '.');
        } else {
            size_t ePos = fixed ? s.size() : s.find('e');
            size_t dot = s.find('.');
            if (dot != std::string::npos && dot < ePos) {
                size_t end = ePos;
                while (end > dot + 1 && s[end - 1] == '0')
                    --end;
                if (end == dot + 1)
                    end = dot;
                s.erase(end, ePos - end);
            }
        }
    }
    std::wstring body = Widen(s.data(), s.size());
    if (upper)
        for (auto& ch : body)
            ch = CharToUpper(ch);
    Emit(out, sp, prefix, body, sp.zero && !sp.left);
}

// The arguments of one Format call, taken in order; a missing one reads as an empty argument.
class FormatArgs {
public:
    FormatArgs(const zr::FormatArg* args, size_t count) : m_args(args), m_count(count) { }
    const zr::FormatArg& TakeArg() { return m_next < m_count ? m_args[m_next++] : m_missing; }
    // A '*' width or precision: false (the argument is still taken) when it is no integer.
    bool TakeIntArg(int& v)
    {
        const zr::FormatArg& a = TakeArg();
        if (a.kind != zr::FormatArg::Signed && a.kind != zr::FormatArg::Unsigned)
            return false;
        v = static_cast<int32_t>(static_cast<uint32_t>(IntBits(a)));
        return true;
    }

private:
    const zr::FormatArg* m_args;
    size_t m_count;
    size_t m_next = 0;
    const zr::FormatArg m_missing;
};

void ParseFlags(const wchar_t*& p, Conversion& sp)
{
    for (;; ++p) {
        if (*p == L'-')
            sp.left = true;
        else if (*p == L'+')
            sp.plus = true;
        else if (*p == L' ')
            sp.space = true;
        else if (*p == L'0')
            sp.zero = true;
        else if (*p == L'#')
            sp.alt = true;
        else
            return;
    }
}

// A negative '*' width means left-aligned.
void ParseWidth(const wchar_t*& p, Conversion& sp, FormatArgs& args)
{
    if (*p == L'*') {
        ++p;
        int w;
        if (args.TakeIntArg(w)) {
            if (w < 0) {
                sp.left = true;
                w = w == INT_MIN ? INT_MAX : -w;
            }
            sp.width = std::min(w, kMaxField);
        }
    } else {
        while (*p >= L'0' && *p <= L'9')
            sp.width = std::min(sp.width * 10 + (*p++ - L'0'), kMaxField);
    }
}

// A negative '*' precision means none.
void ParsePrecision(const wchar_t*& p, Conversion& sp, FormatArgs& args)
{
    if (*p != L'.')
        return;
    ++p;
    sp.precision = 0;
    if (*p == L'*') {
        ++p;
        int v;
        if (!args.TakeIntArg(v) || v < 0)
            sp.precision = -1;
        else
            sp.precision = std::min(v, kMaxField);
    } else {
        while (*p >= L'0' && *p <= L'9')
            sp.precision = std::min(sp.precision * 10 + (*p++ - L'0'), kMaxField);
    }
}

// Length modifiers, in the meaning of the Windows C runtime (long is 32 bits).
void ParseLength(const wchar_t*& p, Conversion& sp)
{
    if (p[0] == L'h' && p[1] == L'h')
        sp.bits = 8, sp.charSize = 1, p += 2;
    else if (p[0] == L'h')
        sp.bits = 16, sp.charSize = 1, p += 1;
    else if (p[0] == L'l' && p[1] == L'l')
        sp.bits = 64, sp.charSize = 2, p += 2;
    else if (p[0] == L'l' || p[0] == L'w')
        sp.bits = 32, sp.charSize = 2, p += 1;
    else if (p[0] == L'I' && p[1] == L'6' && p[2] == L'4')
        sp.bits = 64, p += 3;
    else if (p[0] == L'I' && p[1] == L'3' && p[2] == L'2')
        sp.bits = 32, p += 3;
    else if (p[0] == L'I' || p[0] == L'z' || p[0] == L't')
        sp.bits = int(sizeof(void*) * 8), p += 1;
    else if (p[0] == L'j' || p[0] == L'q')
        sp.bits = 64, p += 1;
    else if (p[0] == L'L')
        p += 1;
}

// Reads one conversion from just after its '%' up to and past its letter. False when the format
// ends before the letter.
bool ParseConversion(const wchar_t*& p, Conversion& sp, FormatArgs& args)
{
    ParseFlags(p, sp);
    ParseWidth(p, sp, args);
    ParsePrecision(p, sp, args);
    ParseLength(p, sp);
    sp.conv = *p;
    if (!sp.conv)
        return false;
    ++p;
    return true;
}

// Writes one parsed conversion; `written` is its text in the format, shown as is when the
// letter is unknown.
void EmitConversion(std::wstring& out, Conversion& sp, FormatArgs& args, const wchar_t* written, size_t writtenLength)
{
    switch (sp.conv) {
    case L'%':
        out += L'%';
        break;
    case L'd':
    case L'i':
    case L'u':
    case L'x':
    case L'X':
    case L'o':
        FormatInteger(out, sp, args.TakeArg());
        break;
    case L'c':
    case L'C':
        FormatChar(out, sp, args.TakeArg());
        break;
    case L's':
    case L'S':
        if (sp.charSize == 0 && sp.conv == L'S')
            sp.charSize = 1;
        FormatStringArg(out, sp, args.TakeArg());
        break;
    case L'f':
    case L'F':
    case L'e':
    case L'E':
    case L'g':
    case L'G':
        FormatFloat(out, sp, args.TakeArg());
        break;
    case L'p':
        FormatPointer(out, sp, args.TakeArg());
        break;
    case L'n':
        args.TakeArg();
        break; // never writes through a pointer
    default:
        out.append(written, writtenLength);
        break;
    }
}

} // namespace

void CString::FormatCaptured(const wchar_t* format, const zr::FormatArg* args, size_t count, bool append)
{
    std::wstring out;
    if (append)
        out = m_str;
    FormatArgs taken(args, count);
    const wchar_t* p = format ? format : L"";
    while (*p) {
        if (*p != L'%') {
            const wchar_t* q = p;
            while (*q && *q != L'%')
                ++q;
            out.append(p, static_cast<size_t>(q - p));
            p = q;
            continue;
        }
        const wchar_t* convStart = p++;
        Conversion sp;
        if (!ParseConversion(p, sp, taken))
            break; // a lone '%' at the end prints nothing
        EmitConversion(out, sp, taken, convStart, static_cast<size_t>(p - convStart));
    }
    m_str.swap(out);
}

// ---------------------------------------------------------------------------------------------
// CStringArray

void CStringArray::SetSize(int size)
{
    if (size < 0)
        AfxThrowInvalidArgException();
    m_items.resize(static_cast<size_t>(size));
}

const CString& CStringArray::GetAt(int index) const
{
    if (index < 0 || index >= GetSize())
        AfxThrowInvalidArgException();
    return m_items[static_cast<size_t>(index)];
}

CString& CStringArray::ElementAt(int index)
{
    if (index < 0 || index >= GetSize())
        AfxThrowInvalidArgException();
    return m_items[static_cast<size_t>(index)];
}

void CStringArray::SetAt(int index, const CString& value)
{
    ElementAt(index) = value;
}

void CStringArray::SetAtGrow(int index, const CString& value)
{
    if (index < 0)
        AfxThrowInvalidArgException();
    if (index >= GetSize())
        m_items.resize(static_cast<size_t>(index) + 1);
    m_items[static_cast<size_t>(index)] = value;
}

int CStringArray::Add(const CString& value)
{
    m_items.push_back(value);
    return GetSize() - 1;
}

int CStringArray::Append(const CStringArray& other)
{
    int old = GetSize();
    std::vector<CString> copy(other.m_items); // other may be *this
    m_items.insert(m_items.end(), copy.begin(), copy.end());
    return old;
}

void CStringArray::InsertAt(int index, const CString& value, int count)
{
    if (index < 0 || count < 0)
        AfxThrowInvalidArgException();
    if (index > GetSize())
        m_items.resize(static_cast<size_t>(index));
    CString copy(value); // value may be an element of this array
    m_items.insert(m_items.begin() + index, static_cast<size_t>(count), copy);
}

void CStringArray::RemoveAt(int index, int count)
{
    if (index < 0 || count < 0 || index > GetSize() || count > GetSize() - index)
        AfxThrowInvalidArgException();
    m_items.erase(m_items.begin() + index, m_items.begin() + index + count);
}
