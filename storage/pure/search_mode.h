// The five searches by the number the launcher and the scan log keep, and their names as the
// drive records and summaries show them.
#pragma once
#include "cstring.h"

enum : int { kModeNone = 0, kModeBasic = 1, kModeDeep = 2, kModePhoto = 3, kModeVideo = 4, kModeSignature = 5 };

// "Basic Search" ... "Signature Search"; "" for no mode.
inline CString SearchModeName(int searchMode)
{
    static const wchar_t* const kNames[] = {
        L"", L"Basic Search", L"Deep Search", L"Photo Search", L"Video Search", L"Signature Search"
    };
    return searchMode >= 0 && searchMode <= kModeSignature ? kNames[searchMode] : L"";
}
