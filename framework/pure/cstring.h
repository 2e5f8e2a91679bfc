// CString: the program's string class, with the interface our dialog and scan code expect
// (lengths and indices are int, text is wchar_t: UTF-16 on Windows, one code point per unit
// natively). Formatting is our own and type-safe, so the output is the same on every C runtime.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

class CString;

namespace zr {

// One captured argument of CString::Format. Integers keep the value of their real type
// (sign- or zero-extended); the conversion then reads as many bits as its length modifier names.
struct FormatArg {
    enum Kind : unsigned char { None, Signed, Unsigned, Double, Wide, Narrow, Pointer };
    Kind kind = None;
    union {
        int64_t i;
        uint64_t u;
        double d;
        const wchar_t* ws;
        const char* ns;
        const void* p;
    };
    FormatArg() : u(0) { }
};

template <class T> FormatArg MakeFormatArg(const T& value);

} // namespace zr

class CString {
public:
    CString() = default;
    CString(const CString&) = default;
    CString(CString&&) noexcept = default;
    CString(const wchar_t* text);             // null reads as empty
    CString(const wchar_t* text, int length); // may hold embedded NULs
    explicit CString(wchar_t ch, int repeat = 1);
    CString(const char* text); // each byte is one character (Latin-1)
    explicit CString(const std::wstring& text) : m_str(text) { }

    CString& operator=(const CString&) = default;
    CString& operator=(CString&&) noexcept = default;
    CString& operator=(const wchar_t* text);
    CString& operator=(const char* text);
    CString& operator=(wchar_t ch);

    int GetLength() const { return static_cast<int>(m_str.size()); }
    bool IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }

    // Out-of-range reads give 0 and out-of-range writes are ignored, never a crash.
    wchar_t GetAt(int index) const;
    void SetAt(int index, wchar_t ch);
    template <class I, class = std::enable_if_t<std::is_integral_v<I>>> wchar_t operator[](I index) const
    {
        return (index < 0 || static_cast<uint64_t>(index) >= m_str.size()) ? wchar_t(0)
                                                                           : m_str[static_cast<size_t>(index)];
    }

    operator const wchar_t*() const { return m_str.c_str(); }
    const wchar_t* GetString() const { return m_str.c_str(); }
    const std::wstring& Str() const { return m_str; }

    // GetBuffer(n) gives room for n characters plus a terminator; ReleaseBuffer(-1) takes the
    // length up to the first NUL. Other members must not be used in between (GetLength may
    // count the room given).
    wchar_t* GetBuffer();
    wchar_t* GetBuffer(int minLength);
    wchar_t* GetBufferSetLength(int length);
    void ReleaseBuffer(int newLength = -1);
    void Preallocate(int length);

    CString& operator+=(const CString& s)
    {
        m_str += s.m_str;
        return *this;
    }
    CString& operator+=(const wchar_t* s);
    CString& operator+=(wchar_t ch)
    {
        m_str += ch;
        return *this;
    }
    void Append(const wchar_t* s, int length);
    void AppendChar(wchar_t ch) { m_str += ch; }

    int Compare(const wchar_t* s) const;
    int CompareNoCase(const wchar_t* s) const;

    CString& MakeUpper();
    CString& MakeLower();
    CString& MakeReverse();

    CString& Trim();
    CString& TrimLeft();
    CString& TrimRight();
    CString& Trim(wchar_t ch);
    CString& TrimLeft(wchar_t ch);
    CString& TrimRight(wchar_t ch);
    CString& Trim(const wchar_t* set);
    CString& TrimLeft(const wchar_t* set);
    CString& TrimRight(const wchar_t* set);

    // Counts and positions are clamped to the string, as the class library we follow does.
    CString Left(int count) const;
    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Right(int count) const;

    int Find(wchar_t ch, int start = 0) const;
    int Find(const wchar_t* sub, int start = 0) const;
    int ReverseFind(wchar_t ch) const;
    int FindOneOf(const wchar_t* set) const;

    int Replace(wchar_t oldCh, wchar_t newCh);
    int Replace(const wchar_t* oldText, const wchar_t* newText);
    int Remove(wchar_t ch);
    int Insert(int index, wchar_t ch);
    int Insert(int index, const wchar_t* text);
    int Delete(int index, int count = 1);

    CString SpanIncluding(const wchar_t* set) const;
    CString SpanExcluding(const wchar_t* set) const;
    // Skips leading delimiters and returns the next token; at the end returns "" and sets
    // start to -1.
    CString Tokenize(const wchar_t* delimiters, int& start) const;

    // printf-style, with Windows' wide meaning of %s (wide string) and %S / %hs (narrow).
    // Arguments are captured with their types, so a CString can be passed as is, and a
    // missing or mismatched argument prints nothing instead of reading garbage.
    template <class... A> void Format(const wchar_t* format, const A&... args)
    {
        const zr::FormatArg captured[] = { zr::MakeFormatArg(args)..., zr::FormatArg() };
        FormatCaptured(format, captured, sizeof...(A), false);
    }
    template <class... A> void AppendFormat(const wchar_t* format, const A&... args)
    {
        const zr::FormatArg captured[] = { zr::MakeFormatArg(args)..., zr::FormatArg() };
        FormatCaptured(format, captured, sizeof...(A), true);
    }
    void FormatCaptured(const wchar_t* format, const zr::FormatArg* args, size_t count, bool append);

    friend bool operator==(const CString& a, const CString& b) { return a.m_str == b.m_str; }
    friend bool operator<(const CString& a, const CString& b) { return a.m_str < b.m_str; }

private:
    std::wstring m_str;
};

CString operator+(const CString& a, const CString& b);
CString operator+(const CString& a, const wchar_t* b);
CString operator+(const wchar_t* a, const CString& b);
CString operator+(const CString& a, wchar_t b);
CString operator+(wchar_t a, const CString& b);

bool operator==(const CString& a, const wchar_t* b);
inline bool operator==(const wchar_t* a, const CString& b)
{
    return b == a;
}
inline bool operator!=(const CString& a, const CString& b)
{
    return !(a == b);
}
inline bool operator!=(const CString& a, const wchar_t* b)
{
    return !(a == b);
}
inline bool operator!=(const wchar_t* a, const CString& b)
{
    return !(b == a);
}
inline bool operator>(const CString& a, const CString& b)
{
    return b < a;
}
inline bool operator<=(const CString& a, const CString& b)
{
    return !(b < a);
}
inline bool operator>=(const CString& a, const CString& b)
{
    return !(a < b);
}
inline bool operator<(const CString& a, const wchar_t* b)
{
    return a.Compare(b) < 0;
}
inline bool operator<(const wchar_t* a, const CString& b)
{
    return b.Compare(a) > 0;
}
inline bool operator>(const CString& a, const wchar_t* b)
{
    return a.Compare(b) > 0;
}
inline bool operator>(const wchar_t* a, const CString& b)
{
    return b.Compare(a) < 0;
}

// Case mapping shared by MakeUpper/MakeLower/CompareNoCase: ASCII, Latin-1, Latin Extended-A,
// Greek and Cyrillic, the same on every platform (the C runtime's answer depends on its locale).
wchar_t CharToUpper(wchar_t ch);
wchar_t CharToLower(wchar_t ch);

// The value of a hexadecimal digit ('0'-'9', 'a'-'f', 'A'-'F'); -1 for any other character.
int HexDigit(wchar_t ch);

// Text to number as _wtoi / _wtoi64 read it: leading blanks, an optional sign, decimal digits,
// anything else ends the number; no digits reads as 0, out-of-range values clamp.
int32_t StrToInt32(const wchar_t* text);
int64_t StrToInt64(const wchar_t* text);
// Like StrToInt64 for the unsigned range; a negative number clamps to 0.
uint64_t StrToUInt64(const wchar_t* text);
// The value as unsigned decimal digits ("%llu").
CString DecimalText(uint64_t value);

// UTF-8 conversions for logs and test output. Invalid input becomes U+FFFD.
std::string ToUtf8(const CString& text);
CString FromUtf8(const char* text, size_t length);

// Lets test frameworks print a CString readably (found by argument-dependent lookup).
void PrintTo(const CString& s, std::ostream* os);

[[noreturn]] void AfxThrowInvalidArgException();

class CStringArray {
public:
    int GetSize() const { return static_cast<int>(m_items.size()); }
    int GetCount() const { return GetSize(); }
    int GetUpperBound() const { return GetSize() - 1; }
    bool IsEmpty() const { return m_items.empty(); }
    void SetSize(int size);
    void RemoveAll() { m_items.clear(); }

    // Invalid indices throw CInvalidArgException (by pointer), as the class library does.
    const CString& GetAt(int index) const;
    CString& ElementAt(int index);
    void SetAt(int index, const CString& value);
    void SetAtGrow(int index, const CString& value);
    const CString& operator[](int index) const { return GetAt(index); }
    CString& operator[](int index) { return ElementAt(index); }

    int Add(const CString& value);
    int Append(const CStringArray& other);
    void Copy(const CStringArray& other) { m_items = other.m_items; }
    // An index past the end grows the array with empty strings first.
    void InsertAt(int index, const CString& value, int count = 1);
    void RemoveAt(int index, int count = 1);

    const CString* GetData() const { return m_items.data(); }
    CString* GetData() { return m_items.data(); }

private:
    std::vector<CString> m_items;
};

namespace zr {

template <class> inline constexpr bool kAlwaysFalse = false;

template <class T> FormatArg MakeFormatArg(const T& value)
{
    using D = std::remove_cv_t<T>;
    FormatArg a;
    if constexpr (std::is_same_v<D, CString>) {
        a.kind = FormatArg::Wide;
        a.ws = value.GetString();
    } else if constexpr (std::is_same_v<D, std::wstring>) {
        a.kind = FormatArg::Wide;
        a.ws = value.c_str();
    } else if constexpr (std::is_same_v<D, std::string>) {
        a.kind = FormatArg::Narrow;
        a.ns = value.c_str();
    } else if constexpr (std::is_array_v<D> || std::is_pointer_v<D>) {
        using E = std::remove_cv_t<std::remove_pointer_t<std::decay_t<D>>>;
        const E* ptr = value;
        if constexpr (std::is_same_v<E, wchar_t>) {
            a.kind = FormatArg::Wide;
            a.ws = ptr;
        } else if constexpr (std::is_same_v<E, char> || std::is_same_v<E, signed char> ||
                             std::is_same_v<E, unsigned char>) {
            a.kind = FormatArg::Narrow;
            a.ns = reinterpret_cast<const char*>(ptr);
        } else {
            a.kind = FormatArg::Pointer;
            a.p = reinterpret_cast<const void*>(ptr);
        }
    } else if constexpr (std::is_null_pointer_v<D>) {
        a.kind = FormatArg::Pointer;
        a.p = nullptr;
    } else if constexpr (std::is_same_v<D, bool>) {
        a.kind = FormatArg::Unsigned;
        a.u = value ? 1 : 0;
    } else if constexpr (std::is_same_v<D, wchar_t> || std::is_same_v<D, char16_t> || std::is_same_v<D, char32_t>) {
        a.kind = FormatArg::Unsigned;
        a.u = static_cast<uint64_t>(static_cast<std::make_unsigned_t<D>>(value));
    } else if constexpr (std::is_enum_v<D>) {
        return MakeFormatArg(static_cast<std::underlying_type_t<D>>(value));
    } else if constexpr (std::is_integral_v<D> && std::is_signed_v<D>) {
        a.kind = FormatArg::Signed;
        a.i = static_cast<int64_t>(value);
    } else if constexpr (std::is_integral_v<D>) {
        a.kind = FormatArg::Unsigned;
        a.u = static_cast<uint64_t>(value);
    } else if constexpr (std::is_floating_point_v<D>) {
        a.kind = FormatArg::Double;
        a.d = static_cast<double>(value);
    } else {
        static_assert(kAlwaysFalse<T>, "this type cannot be passed to CString::Format");
    }
    return a;
}

} // namespace zr
