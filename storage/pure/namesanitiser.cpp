#include "storage/pure/namesanitiser.h"

#include <cwctype>

const wchar_t* const kPlaceholderName = L"unnamed";

namespace {

bool IsForbidden(wchar_t ch)
{
    return ch < 0x20 || ch == 0x7F || (ch >= 0x80 && ch < 0xA0) || CString(L"\\/:*?\"<>|").Find(ch) >= 0;
}

bool IsReservedDeviceName(const CString& name)
{
    // Windows treats "CON.txt" and "con .log" as the device too: compare the part before the
    // first dot, without trailing blanks.
    CString base = name;
    const int dot = base.Find(L'.');
    if (dot >= 0)
        base = base.Left(dot);
    base.TrimRight();
    base.MakeUpper();
    if (base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL")
        return true;
    return base.GetLength() == 4 && (base.Left(3) == L"COM" || base.Left(3) == L"LPT") && base[3] >= L'1' &&
        base[3] <= L'9';
}

bool IsSeparator(wchar_t ch)
{
    return ch == L'\\' || ch == L'/';
}

// The path's components with "." dropped and ".." taking one back; false when ".." would
// climb above the first component (the drive or share).
bool Components(const CString& path, std::vector<CString>& out)
{
    out.clear();
    CString part;
    for (int i = 0; i <= path.GetLength(); ++i) {
        if (i < path.GetLength() && !IsSeparator(path[i])) {
            part += path[i];
            continue;
        }
        if (part == L"..") {
            if (out.size() <= 1)
                return false;
            out.pop_back();
        } else if (!part.IsEmpty() && part != L".") {
            part.MakeUpper();
            out.push_back(part);
        }
        part.Empty();
    }
    return true;
}

bool IsAbsolute(const CString& path)
{
    if (path.GetLength() >= 3 && path[1] == L':' && IsSeparator(path[2]))
        return std::iswalpha(path[0]) != 0;
    return path.GetLength() >= 3 && IsSeparator(path[0]) && IsSeparator(path[1]);
}

bool IsHighSurrogate(wchar_t ch)
{
    return ch >= 0xD800 && ch <= 0xDBFF;
}

bool IsLowSurrogate(wchar_t ch)
{
    return ch >= 0xDC00 && ch <= 0xDFFF;
}

} // namespace

CString SanitiseFileName(const CString& name)
{
    CString clean;
    for (int i = 0; i < name.GetLength(); ++i) {
        const wchar_t ch = name[i];
        // A surrogate stands for a character only as the first of a pair; alone (a damaged long
        // name can hold one) it is no character a file name can hold.
        if (IsHighSurrogate(ch) && i + 1 < name.GetLength() && IsLowSurrogate(name[i + 1])) {
            clean += ch;
            clean += name[++i];
        } else if (!IsForbidden(ch) && !IsHighSurrogate(ch) && !IsLowSurrogate(ch)) {
            clean += ch;
        }
    }
    clean.TrimRight(L". ");
    if (clean.IsEmpty())
        return kPlaceholderName;
    if (IsReservedDeviceName(clean))
        return L"_" + clean;
    return clean;
}

bool PathIsInsideFolder(const CString& folder, const CString& path)
{
    std::vector<CString> base, full;
    if (!Components(folder, base) || !Components(path, full) || base.empty() || full.size() < base.size())
        return false;
    for (size_t i = 0; i < base.size(); ++i)
        if (base[i] != full[i])
            return false;
    return true;
}

bool JoinUnderFolder(const CString& folder, const std::vector<CString>& names, CString* path)
{
    if (!IsAbsolute(folder))
        return false;
    CString joined = folder;
    joined.TrimRight(L"\\/");
    for (const CString& name : names)
        joined += L"\\" + SanitiseFileName(name);
    if (names.empty() || !PathIsInsideFolder(folder, joined))
        return false;
    *path = joined;
    return true;
}

bool JoinUnderFolder(const CString& folder, const CString& name, CString* path)
{
    return JoinUnderFolder(folder, std::vector<CString>{ name }, path);
}
