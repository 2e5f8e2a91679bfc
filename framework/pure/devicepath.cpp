#include "devicepath.h"

#include "cstring.h"

namespace {

bool IsSlash(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

// Case-insensitive ASCII prefix test.
bool StartsWith(const wchar_t* s, const wchar_t* prefix)
{
    for (; *prefix; ++s, ++prefix) {
        if (!*s)
            return false;
        if (IsSlash(*prefix) ? !IsSlash(*s) : CharToLower(*s) != CharToLower(*prefix))
            return false;
    }
    return true;
}

} // namespace

bool IsRawDevicePath(const wchar_t* path)
{
    if (!path)
        return false;
    if (StartsWith(path, L"\\\\.\\") || StartsWith(path, L"\\??\\"))
        return true;
    if (!StartsWith(path, L"\\\\?\\"))
        return false;
    const wchar_t* r = path + 4;
    static const wchar_t* const kDevices[] = { L"GLOBALROOT", L"PhysicalDrive", L"Harddisk", L"CdRom",
                                               L"Tape",       L"Device",        L"Floppy" };
    for (const wchar_t* d : kDevices)
        if (StartsWith(r, d))
            return true;
    // "\\?\C:" alone is the volume; "\\?\C:\..." is a path on it.
    if (((r[0] >= L'A' && r[0] <= L'Z') || (r[0] >= L'a' && r[0] <= L'z')) && r[1] == L':')
        return r[2] == 0;
    if (StartsWith(r, L"Volume{")) {
        const wchar_t* close = r;
        while (*close && *close != L'}')
            ++close;
        return !*close || !close[1];
    }
    return false;
}
