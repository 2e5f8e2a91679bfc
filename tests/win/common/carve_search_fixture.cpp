#include "common/carve_search_fixture.h"

#include <algorithm>

#include "sigrecovery/sigfiles.h"

namespace zr_test {

std::vector<CString> g_opened;
void RecordOpen(int, const CString& target, CWnd*)
{
    g_opened.push_back(target);
}

void PrepareDataFiles()
{
    static bool done = false;
    if (done)
        return;
    std::string here = __FILE__; // <repo>/tests/win/common/this file
    for (int up = 0; up < 4; ++up)
        here = here.substr(0, here.find_last_of("/\\"));
    for (const wchar_t* name : { L"QORVENExt2.dll", L"QORVENExt2Adv.dll", L"QORVENSig.dll", L"QORVENSigAdv.dll",
                                 L"QORVENVideo.dll", L"QORVENVideoAdv.dll" }) {
        std::wstring from = L"Z:" + Widen(here) + L"/resources/signatures/" + name;
        std::replace(from.begin(), from.end(), L'/', L'\\');
        ::CopyFileW(from.c_str(), DataFilePath(CString(L"\\") + name), FALSE);
    }
    LoadFileTypeList(L"\\QORVENExt2.dll", L"General");
    LoadFileTypeList(L"\\QORVENExt2Adv.dll", L"Advance");
    done = true;
}

} // namespace zr_test
