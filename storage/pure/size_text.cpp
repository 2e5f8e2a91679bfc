#include "storage/pure/size_text.h"

CString FormatSize(uint64_t byteCount)
{
    CString s;
    if (byteCount < 1024) {
        s.Format(L"%u Byte", static_cast<unsigned>(byteCount));
        return s;
    }
    static const char kUnits[] = "KMGTPEZY";
    uint64_t value = byteCount;
    int divisions = 0;
    while (value >= 0x100000) {
        // value / 1024 rounded to nearest, written so that it cannot overflow near 2^64.
        value = (value >> 10) + ((value & 0x3FF) >= 512 ? 1 : 0);
        ++divisions;
    }
    s.Format(L"%6.2f %cB", static_cast<double>(value) / 1024.0, static_cast<wchar_t>(kUnits[divisions]));
    return s;
}
