// Basic Search from Next to the finished results tree on the synthesized volumes
// (synth_volumes.h): NTFS with 100,000 files, FAT32 with 50,000 files, and each at a tenth of
// the size. Each volume is measured in two processes of its own, so that each peak is its own:
//   search  the real Basic Search dialog on the image: the drive's property rows are set to the
//           image, Next is answered "logical", and the clock runs from that answer until the
//           results page is up (scan, finishing steps, tree built, a folder selected) and then
//           until the folder listing that the results page starts has ended; the process's peak
//           working set after it.
//   phases  the same dialog, with a scan procedure that makes the worker's calls in its order
//           and times them one by one: a plain read of what the scan reads, the scan with its
//           table filling, the orphan pass with its two sorts, the tree built into the dialog's
//           tree.
//
//   bench_basicsearch.exe [ntfs|fat32 FILES]
// Run beside ZembrolixRecovery.exe (its dialog templates are loaded from it) with a display:
//   cd build-XX && xvfb-run -a -s "-screen 0 1280x1024x24" ./wine-run.sh ./bench_basicsearch.exe
#include <windows.h>

#include <cstdlib>

#include "afxwin.h"
#include "fsrecovery/basicsearch.h"
#include "app/maindlg.h"
#include "app/treeclass.h"
#include "app/waitdialogs.h"
#include "bench/synth_volumes.h"
#include "fsrecovery/basicscan.h"
#include "fsrecovery/fsglobals.h"
#include "fsrecovery/pure/basic_scan.h"
#include "fsrecovery/resultbuild.h"
#include "resources/resource.h"
#include "app/devicetree.h"
#include "storage/pure/globals.h"
#include "storage/sectorreader.h"

namespace {

using namespace bench;

struct Case {
    bool ntfs = true;
    uint64_t files = 0;

    const wchar_t* Fs() const { return ntfs ? L"NTFS" : L"FAT32"; }
    uint64_t Sectors() const { return ntfs ? NtfsLayout(files).sectors : Fat32Layout(files).sectors; }
    // The sectors the scan reads: the $MFT, or the FAT data area.
    void ScannedRange(uint64_t& first, uint64_t& count) const
    {
        if (ntfs) {
            const NtfsLayout v(files);
            first = v.MftSector(), count = v.MftSectors();
        } else {
            const Fat32Layout v(files);
            first = v.cluster0 + 2ull * Fat32Layout::kSpc, count = v.sectors - first;
        }
    }
    std::wstring Image() const
    {
        wchar_t name[64];
        swprintf(name, 64, L"zr_bench_search_%ls_%llu.img", Fs(), (unsigned long long)files);
        return TempImage(name);
    }
    std::wstring ResultFile(const char* mode) const
    {
        wchar_t suffix[16];
        swprintf(suffix, 16, L".%hs.txt", mode);
        return Image() + suffix;
    }
};

std::wstring ExeFolder()
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

template <class Pred> bool PumpUntil(Pred done, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (done())
            return true;
        if (::GetTickCount() - start > timeoutMs)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
    }
}

void WriteResult(const Case& c, const char* mode, const std::vector<double>& values)
{
    FILE* f = _wfopen(c.ResultFile(mode).c_str(), L"w");
    if (f == nullptr)
        return;
    for (double v : values)
        std::fprintf(f, "%.6f ", v);
    std::fclose(f);
}

std::vector<double> ReadResult(const Case& c, const char* mode)
{
    std::vector<double> values;
    FILE* f = _wfopen(c.ResultFile(mode).c_str(), L"r");
    if (f == nullptr)
        return values;
    double v = 0;
    while (std::fscanf(f, "%lf", &v) == 1)
        values.push_back(v);
    std::fclose(f);
    ::DeleteFileW(c.ResultFile(mode).c_str());
    return values;
}

// ---- search: the dialog ------------------------------------------------------------------------

class BenchApp : public CWinApp {
public:
    BenchApp() : CWinApp(L"Zembrolix Recovery (Premium)") { }
};

std::vector<CString> g_boxes;
int RecordBox(HWND, LPCWSTR text, LPCWSTR, UINT)
{
    g_boxes.push_back(text);
    return IDNO;
}

// Clicks "logical" in the question that Next asks, and notes when: the search starts there.
Clock::time_point g_answered;
BOOL CALLBACK ClickLogical(HWND wnd, LPARAM)
{
    HWND button = ::GetDlgItem(wnd, IDC_LOG_LOGICAL);
    if (button == nullptr || !::IsWindowVisible(wnd) || !::IsWindowEnabled(wnd))
        return TRUE;
    g_answered = Clock::now();
    ::PostMessageW(wnd, WM_COMMAND, MAKEWPARAM(IDC_LOG_LOGICAL, BN_CLICKED), LPARAM(button));
    return FALSE;
}
void CALLBACK AnswerTimer(HWND, UINT, UINT_PTR, DWORD)
{
    ::EnumThreadWindows(::GetCurrentThreadId(), ClickLogical, 0);
}

// The worker's steps in its order, on its thread with the dialog's bar and tree, timed one by
// one; a plain read of what the scan reads comes first.
Case g_case;
std::vector<double> g_phases;
UINT TimedScanAndBuildTree(LPVOID param)
{
    CBasicSearch* dlg = static_cast<CBasicSearch*>(param);
    // What one message to the dialog's thread costs: the tree and the bar are reached by them.
    constexpr int kProbes = 200;
    const auto p0 = Clock::now();
    for (int i = 0; i < kProbes; ++i)
        ::SendMessageW(dlg->ProgressBar(), PBM_GETPOS, 0, 0);
    const double perMessage = Seconds(p0, Clock::now()) / kProbes;
    const auto t0 = Clock::now();
    {
        uint64_t first = 0, count = 0;
        g_case.ScannedRange(first, count);
        KeptHandleSectorSource device(CurrentDevicePath);
        std::vector<uint8_t> block(size_t(kFatScanBlockSectors) * kSector);
        for (uint64_t s = 0; s < count; s += kFatScanBlockSectors)
            device.Read(first + s, uint32_t(std::min<uint64_t>(kFatScanBlockSectors, count - s)), block.data());
    }
    const auto t1 = Clock::now();
    if (RunBasicScan(dlg->Target(), dlg->Store(), &dlg->ScanStop(), dlg->ProgressBar()) != BasicScanStatus::Done)
        return 0;
    const auto t2 = Clock::now();
    MarkOrphansShowing(dlg->Store(), dlg->ProgressBar());
    const auto t3 = Clock::now();
    BuildFoundTree(dlg->Store(), &dlg->ResultTree(), dlg->ProgressBar(), nullptr);
    const auto t4 = Clock::now();
    g_phases = { Seconds(t0, t1), Seconds(t1, t2), Seconds(t2, t3), Seconds(t3, t4), perMessage * 1e3 };
    return 0;
}

int RunSearch(const Case& c, bool phases)
{
    BenchApp app;
    // The dialog templates are the program's.
    app.m_hInstance =
        ::LoadLibraryExW((ExeFolder() + L"ZembrolixRecovery.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (app.m_hInstance == nullptr) {
        std::printf("ZembrolixRecovery.exe must lie beside the benchmark\n");
        return 1;
    }
    ZrInitCommonControls();
    CDelvaneDlg main;
    main.SearchMode = kModeBasic;
    g_pMainDlg = &main;
    InstallDriveTreeStorageHost();
    RegisterBasicSearchDialog();
    ZrSetMessageBoxHook(RecordBox);
    g_case = c;
    if (phases)
        SetBasicScanProc(TimedScanAndBuildTree);
    CBasicSearch dlg;
    if (!dlg.Create(IDD_BASIC_SEARCH, nullptr)) {
        std::printf("the Basic Search dialog cannot be created\n");
        return 1;
    }
    dlg.ShowWindow(SW_SHOW);
    PumpUntil([] { return false; }, 100);

    // Any drive letter will do: its rows are made to say what the image holds, and its path
    // is the image's.
    CTreeClass& drives = dlg.DriveTree();
    const HTREEITEM drive = drives.GetChildItem(dlg.LogicalDrivesItem());
    if (drive == nullptr) {
        std::printf("no drive letter in the drive tree\n");
        return 1;
    }
    drives.SelectItem(drive);
    PumpUntil([] { return false; }, 50);
    CString end;
    end.Format(L"%llu", (unsigned long long)c.Sectors());
    dlg.DetailList()->SetItemText(1, 1, end);
    dlg.DetailList()->SetItemText(2, 1, c.Fs());
    main.LogicalDrivePath = c.Image().c_str();
    main.SelectedDriveValue = 0;

    const UINT_PTR timer = ::SetTimer(nullptr, 0, 10, AnswerTimer);
    dlg.OnBnClickedNext();
    ::KillTimer(nullptr, timer);
    auto enabled = [&](int id) { return dlg.GetDlgItem(id)->IsWindowEnabled() != FALSE; };
    const bool built = PumpUntil(
        [&] {
            return BasicSearchPage == 1 && g_pBasicScanThread == nullptr && enabled(IDC_BS_BACK) &&
                !enabled(IDC_BS_NEXT) && dlg.ResultTree().GetRootItem() != nullptr;
        },
        600000);
    const auto treeDone = Clock::now();
    PumpUntil([] { return g_pPopulateListThread == nullptr; }, 600000);
    const auto listed = Clock::now();
    const double peak = PeakMiB();
    if (!built || !g_boxes.empty()) {
        std::printf("the search did not end on the results page%ls%ls\n", g_boxes.empty() ? L"" : L": ",
                    g_boxes.empty() ? L"" : g_boxes.front().GetString());
        return 1;
    }
    if (phases)
        WriteResult(c, "phases", g_phases);
    else
        WriteResult(c, "search",
                    { Seconds(g_answered, treeDone), Seconds(g_answered, listed), double(dlg.ResultTree().GetCount()),
                      double(dlg.DetailList()->GetItemCount()), peak });
    dlg.DestroyWindow();
    g_pMainDlg = nullptr;
    return 0;
}

// ---- the table ---------------------------------------------------------------------------------

bool RunChild(const char* mode, const Case& c)
{
    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    wchar_t command[2 * MAX_PATH];
    swprintf(command, 2 * MAX_PATH, L"\"%ls\" %hs %ls %llu", exe, mode, c.ntfs ? L"ntfs" : L"fat32",
             (unsigned long long)c.files);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(exe, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
        return false;
    ::WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 1;
    ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return code == 0;
}

void Measure(const Case& c)
{
    const std::wstring image = c.Image();
    const bool written =
        c.ntfs ? WriteNtfsVolume(image, NtfsLayout(c.files)) : WriteFat32Volume(image, Fat32Layout(c.files));
    if (!written) {
        std::printf("cannot write %ls\n", image.c_str());
        return;
    }
    RunChild("search", c);
    RunChild("phases", c);
    ::DeleteFileW(image.c_str());
    const std::vector<double> s = ReadResult(c, "search"), p = ReadResult(c, "phases");
    if (s.size() < 5 || p.size() < 5) {
        std::printf("%-6ls %7llu  (no figures)\n", c.Fs(), (unsigned long long)c.files);
        return;
    }
    std::printf("%-6ls %7llu %7.1f | %8.2f %8.2f %8.1f | %6.2f %8.2f %8.2f %8.2f %6.3f | %6.0f %7.0f\n", c.Fs(),
                (unsigned long long)c.files, double(c.Sectors()) * kSector / (1 << 20), s[0], s[1], s[4], p[0], p[1],
                p[2], p[3], p[4], s[2], s[3]);
}

} // namespace

int main(int argc, char** argv)
{
    PlatformProbe();
    Case one;
    if (argc >= 3) {
        one.ntfs = std::strcmp(argv[argc - 2], "ntfs") == 0;
        one.files = std::strtoull(argv[argc - 1], nullptr, 10);
    }
    if (argc == 4 && (std::strcmp(argv[1], "search") == 0 || std::strcmp(argv[1], "phases") == 0))
        return RunSearch(one, argv[1][0] == 'p');

    std::printf("                       | Next to (s):                | the worker's steps (s)                   |\n");
    std::printf("fs       files  image  |     tree   listed  peak MiB | read   scan+tbl  orphans  tree   msg ms  | "
                "items  listed\n");
    std::printf("                 MiB   |                             |                                          | "
                "(tree) (list)\n");
    if (argc == 3) {
        Measure(one);
        return 0;
    }
    for (const Case& c : { Case{ true, 10000 }, Case{ true, 100000 }, Case{ false, 5000 }, Case{ false, 50000 } })
        Measure(c);
    return 0;
}
