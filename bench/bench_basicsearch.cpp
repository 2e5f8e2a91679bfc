// Basic Search from Next to the finished results tree and the listing of its first folder with
// user files, in the real dialog, on synthesized volumes (synth_volumes.h) or a given image. Each volume is measured
// in a process of its own, so that each peak is its own:
//   read    a plain read of the sectors the scan reads, through the program's sector reader;
//   tree    from the answer to Next's question until the results page is up (the scan, the
//           orphan pass, the tree built, "Root" selected);
//   listed  until the listing of "Root" that the results page starts, and then of the first
//           folder under Root that holds user files (not "KXR_Miscellaneous", not NTFS's
//           $Extend), have ended; that folder's name and rows are printed;
//   peak    the process's peak working set after it.
//
//   bench_basicsearch.exe                        NTFS 100,000, 1 and 10 million records, FAT32
//                                                50,000 and 250,000 files
//   bench_basicsearch.exe ntfs|fat32 FILES       one synthesized volume
//   bench_basicsearch.exe image PATH ntfs|fat32  an image (the whole file is the volume)
//   bench_basicsearch.exe log                    NTFS 300,000 files in 20,000 folders: the search,
//                                                then Save Log and Load Log (in a process of its
//                                                own), each with its seconds and peak
//   bench_basicsearch.exe createfiles FOLDER FILES PER_FOLDER
//                                                FILES files of 4 KiB made in FOLDER, PER_FOLDER to a
//                                                folder: what the file system asks per created file
//   bench_basicsearch.exe fatfolders N [PATH]   a FAT32 volume whose every cluster is a folder, N
//                                                folders under the root (the folder walk's worst
//                                                case); with PATH only written there and kept
//   bench_basicsearch.exe save PATH ntfs|fat32 FOLDER
//                                                the search, then the whole tree saved into FOLDER
//                                                through Save: seconds, counts, what the save asked
//                                                of the system, and tsk_recover -e beside it
// Run beside ZembrolixRecovery.exe (its dialog templates are loaded from it) with a display:
//   cd build-XX && xvfb-run -a -s "-screen 0 1280x1024x24" ./wine-run.sh ./bench_basicsearch.exe
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "afxwin.h"
#include "app/devicetree.h"
#include "app/maindlg.h"
#include "app/treeclass.h"
#include "app/waitdialogs.h"
#include "bench/dialog_bench.h"
#include "bench/search_bench.h"
#include "bench/synth_volumes.h"
#include "fsrecovery/basicsearch.h"
#include "fsrecovery/pure/basic_scan.h"
#include "fsrecovery/savefiles.h"
#include "resources/resource.h"
#include "storage/pure/globals.h"
#include "storage/pure/volume_check.h"
#include "storage/sector_source.h"

namespace {

using namespace bench;

struct Case {
    bool ntfs = true;
    uint64_t files = 0; // 0: the image below
    std::wstring image;
    uint64_t folders = 0; // 0 for one folder per kFilesPerFolder files; FAT32 with no files: every cluster a folder

    const wchar_t* Fs() const { return ntfs ? L"NTFS" : L"FAT32"; }
    std::wstring Image() const
    {
        if (!image.empty())
            return image;
        wchar_t name[64];
        swprintf(name, 64, L"zr_bench_search_%ls_%llu.img", Fs(), (unsigned long long)files);
        return TempImage(name);
    }
    std::wstring ResultFile() const { return Image() + L".result.txt"; }
    std::wstring LogFile() const { return Image() + L".QLX"; }
    NtfsLayout Layout() const { return folders != 0 ? NtfsLayout(files, folders) : NtfsLayout(files); }
};

// The plain read of what the scan reads: the $MFT along its runs, or the FAT data area.
double PlainReadOfScan(const Case& c, uint64_t sectors)
{
    KeptHandleSectorSource device(CString(c.Image().c_str()));
    VolumeGeometryRecord g;
    if (!device.IsOpen() || CheckVolume(device, device, c.Fs(), 0, sectors, g) != VolumeCheck::Valid)
        return -1;
    if (!c.ntfs) {
        const uint64_t first = g.cluster0Start + 2ull * g.sectorsPerCluster;
        return PlainRead(device, first, sectors - first);
    }
    MftRunTableRecord runs;
    LoadMftRunTableFrom(device, g.cluster0Start, g.mftSector, g.mftMirrSector, g.sectorsPerCluster, runs, sectors - 1);
    double seconds = 0;
    for (size_t r = 0; r < runs.count(); ++r)
        seconds += PlainRead(device, runs.starts[r], runs.lengths[r]);
    return seconds;
}

// ---- search: the dialog ------------------------------------------------------------------------

// The growth check asks its searches to count control calls through the environment.
const wchar_t kCountCallsVariable[] = L"ZR_BENCH_COUNT_CALLS";
bool CountingCalls()
{
    return ::GetEnvironmentVariableW(kCountCallsVariable, nullptr, 0) != 0;
}

// Counts the messages that the given windows get on this thread while it lives: every call made
// on a tree or list control is one, so the count is the work of a step in control calls, which
// unlike seconds does not vary with the machine's load.
class ControlCalls {
public:
    explicit ControlCalls(std::vector<HWND> windows)
    {
        s_windows = std::move(windows);
        s_count = 0;
        m_hook = ::SetWindowsHookExW(WH_CALLWNDPROC, Hook, nullptr, ::GetCurrentThreadId());
    }
    ~ControlCalls() { Stop(); }
    ControlCalls(const ControlCalls&) = delete;
    ControlCalls& operator=(const ControlCalls&) = delete;
    uint64_t Count()
    {
        Stop();
        return s_count;
    }

private:
    void Stop()
    {
        if (m_hook != nullptr)
            ::UnhookWindowsHookEx(m_hook);
        m_hook = nullptr;
    }
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam)
    {
        if (code == HC_ACTION) {
            const HWND to = reinterpret_cast<const CWPSTRUCT*>(lParam)->hwnd;
            s_count += uint64_t(std::count(s_windows.begin(), s_windows.end(), to));
        }
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static inline std::vector<HWND> s_windows;
    static inline uint64_t s_count = 0;
    HHOOK m_hook = nullptr;
};

// The Basic Search dialog over the program's templates, or null after saying why not.
std::unique_ptr<CBasicSearch> OpenDialog(BenchApp& app, CDelvaneDlg& main)
{
    return OpenSearchDialog<CBasicSearch>(app, main, kModeBasic, RegisterBasicSearchDialog, IDD_BASIC_SEARCH);
}

// Load Log of the log the search saved, in a process of its own so that its peak is its own.
int RunLoad(const Case& c)
{
    BenchApp app;
    CDelvaneDlg main;
    std::unique_ptr<CBasicSearch> dlg = OpenDialog(app, main);
    if (!dlg)
        return 1;
    // The log names the image as its drive: the drive list tells it is attached.
    CString key;
    key.Format(L"%ls|%llu", c.Image().c_str(), (unsigned long long)ImageSectors(c.Image()));
    LogicalDriveKeys.Add(key);
    const auto start = Clock::now();
    dlg->LoadScanLog(c.LogFile().c_str(), false);
    const auto loaded = Clock::now();
    const double peak = PeakMiB();
    PumpUntil([] { return g_pPopulateListThread == nullptr; }, 3600000);
    if (dlg->Page() != 10) {
        std::printf("the log did not load%ls%ls\n", g_boxes.empty() ? L"" : L": ",
                    g_boxes.empty() ? L"" : g_boxes.front().GetString());
        return 1;
    }
    FILE* out = _wfopen((c.ResultFile() + L".load").c_str(), L"w");
    if (out != nullptr) {
        std::fprintf(out, "%.6f %.1f %u\n", Seconds(start, loaded), peak, unsigned(dlg->ResultTree().GetCount()));
        std::fclose(out);
    }
    dlg->DestroyWindow();
    SetSearchHost(nullptr);
    return 0;
}

// Where the save step writes (the save's folder question answers with it).
std::wstring g_saveFolder;
CString PickBenchSaveFolder(CWnd*)
{
    return CString(g_saveFolder.c_str());
}

// What the file system asks per created file, without the save around it: FILES files of 4 KiB
// made in FOLDER, PER_FOLDER to a folder, each by CreateFile (only if new), WriteFile and
// CloseHandle. Under Wine, looking up a name that does not exist yet reads the whole folder (names
// are matched without regard to case), so the cost of a creation grows with the folder it lands in.
int CreateFilesLoop(const std::wstring& root, uint64_t files, uint64_t perFolder)
{
    std::vector<uint8_t> data(4096, 0x5A);
    ::CreateDirectoryW(root.c_str(), nullptr);
    double create = 0, write = 0, close = 0;
    std::wstring folder;
    const auto start = Clock::now();
    for (uint64_t i = 0; i < files; ++i) {
        wchar_t name[64];
        if (i % perFolder == 0) {
            swprintf(name, 64, L"\\Folder %05llu photos", (unsigned long long)(i / perFolder));
            folder = root + name;
            ::CreateDirectoryW(folder.c_str(), nullptr);
        }
        swprintf(name, 64, L"\\Document %07llu draft.docx", (unsigned long long)i);
        const std::wstring path = folder + name;
        const auto a = Clock::now();
        const HANDLE file =
            ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        const auto b = Clock::now();
        DWORD done = 0;
        const bool written = file != INVALID_HANDLE_VALUE && ::WriteFile(file, data.data(), DWORD(data.size()), &done, nullptr);
        const auto c = Clock::now();
        if (file != INVALID_HANDLE_VALUE)
            ::CloseHandle(file);
        if (!written) {
            std::printf("cannot write %ls\n", path.c_str());
            return 1;
        }
        create += Seconds(a, b);
        write += Seconds(b, c);
        close += Seconds(c, Clock::now());
    }
    const double all = Seconds(start, Clock::now());
    std::printf("%llu files, %llu a folder: %.2f s, %.3f ms a file (create %.3f, write %.3f, close %.3f)\n",
                (unsigned long long)files, (unsigned long long)perFolder, all, all * 1000 / double(files),
                create * 1000 / double(files), write * 1000 / double(files), close * 1000 / double(files));
    return 0;
}

// The seconds Wine's xcopy takes to copy the folder `from` with all its subfolders into `to`
// (which must not exist yet); negative when xcopy is missing or failed.
double WineCopySeconds(const std::wstring& from, const std::wstring& to)
{
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring xcopy = std::wstring(system) + L"\\xcopy.exe";
    if (::GetFileAttributesW(xcopy.c_str()) == INVALID_FILE_ATTRIBUTES ||
        ::GetFileAttributesW(to.c_str()) != INVALID_FILE_ATTRIBUTES)
        return -1;
    const auto start = Clock::now();
    const int code = RunProcess(xcopy, L"\"" + from + L"\" \"" + to + L"\" /E /I /Q /Y", true);
    return code == 0 ? Seconds(start, Clock::now()) : -1;
}

int RunSearch(const Case& c, bool saveLog, const std::wstring& saveTo = std::wstring())
{
    const uint64_t sectors = ImageSectors(c.Image());
    const double read = PlainReadOfScan(c, sectors);

    BenchApp app;
    CDelvaneDlg main;
    std::unique_ptr<CBasicSearch> owned = OpenDialog(app, main);
    if (!owned)
        return 1;
    CBasicSearch& dlg = *owned;

    // Any drive letter will do: its rows are made to say what the image holds, and its path
    // is the image's.
    if (!SelectAnyDriveLetter(dlg))
        return 1;
    CString end;
    end.Format(L"%llu", (unsigned long long)sectors);
    dlg.DetailList()->SetItemText(1, 1, end);
    dlg.DetailList()->SetItemText(2, 1, c.Fs());
    main.LogicalDrivePath = c.Image().c_str();
    main.SelectedDriveValue = 0;

    NextAnsweredLogical([&] { dlg.OnBnClickedNext(); });
    const bool built = WaitForResultsPage(dlg, dlg.ScanThread(), IDC_BS_BACK, IDC_BS_NEXT);
    const auto treeDone = Clock::now();
    PumpUntil([] { return g_pPopulateListThread == nullptr; }, 3600000);
    // The first folder of the tree that holds user files listed as well: its files are read from
    // their records. Neither the catch-all folder nor NTFS's own metadata folders under the root
    // ($Extend and the like, a few rows) are what a user opens.
    CTreeClass& tree = dlg.ResultTree();
    const HTREEITEM folder = FirstUserFolder(tree);
    const auto opening = Clock::now();
    // Counted only for the growth check: the hook makes every call a round trip to the server.
    std::unique_ptr<ControlCalls> calls;
    if (CountingCalls())
        calls = std::make_unique<ControlCalls>(std::vector<HWND>{ tree.GetSafeHwnd(), dlg.FileList().GetSafeHwnd() });
    if (folder != nullptr)
        tree.SelectItem(folder);
    PumpUntil([] { return g_pPopulateListThread == nullptr; }, 3600000);
    const uint64_t openCalls = calls ? calls->Count() : 0;
    const auto listed = Clock::now();
    const double peak = PeakMiB();
    if (!EndedOnResultsPage(built))
        return 1;
    FILE* out = _wfopen(c.ResultFile().c_str(), L"w");
    if (out != nullptr) {
        // The folder's name last, to the end of the line.
        std::fprintf(out, "%.6f %.6f %.6f %.1f %u %d %llu %llu %.6f %ls\n", read, Seconds(g_answered, treeDone),
                     Seconds(treeDone, listed), peak, unsigned(tree.GetCount()), dlg.DetailList()->GetItemCount(),
                     (unsigned long long)sectors, (unsigned long long)openCalls, Seconds(opening, listed),
                     folder != nullptr ? tree.GetItemText(folder).GetString() : L"-");
        std::fclose(out);
    }
    if (!saveTo.empty()) {
        // The whole tree ticked and saved, as Save does: the summary message tells the counts.
        ::CreateDirectoryW(saveTo.c_str(), nullptr);
        g_saveFolder = saveTo;
        SetSaveFolderPicker(PickBenchSaveFolder);
        tree.SetCheckRecursive(tree.GetRootItem(), kCheckChecked);
        g_boxes.clear();
        const auto start = Clock::now();
        dlg.OnSaveSelected();
        const auto end = Clock::now();
        std::printf("save of the whole tree into %ls: %.2f s, peak %.1f MiB: %ls\n", saveTo.c_str(),
                    Seconds(start, end), PeakMiB(), g_boxes.empty() ? L"(no message)" : g_boxes.back().GetString());
        // Each should stay flat as the files grow: one open, one creation a folder, a paint at
        // most every 100 ms.
        const SaveWork work = dlg.LastSaveWork();
        std::printf("  device opens %llu, folders made %llu, dialog paints %llu\n",
                    (unsigned long long)work.deviceOpens, (unsigned long long)work.folderCreations,
                    (unsigned long long)work.viewUpdates);
        const std::wstring peerFolder = saveTo + L".peer";
        const double peer = PeerSeconds(L"tsk_recover", c.Image(), c.ntfs, peerFolder);
        if (peer >= 0)
            std::printf("peer: tsk_recover -e into %ls: %.2f s (ratio %.2f)\n", peerFolder.c_str(), peer,
                        Seconds(start, end) / peer);
        // A peer under the same Wine: Wine's own xcopy makes the same files in the same folders
        // (tsk_recover's tree copied to a fresh folder), so it pays what Wine asks per created file.
        const double copy = peer >= 0 ? WineCopySeconds(peerFolder, saveTo + L".xcopy") : -1;
        if (copy >= 0)
            std::printf("peer under Wine: xcopy /E /I of that tree into %ls.xcopy: %.2f s (ratio %.2f)\n",
                        saveTo.c_str(), copy, Seconds(start, end) / copy);
        SetSaveFolderPicker(nullptr);
    }
    if (saveLog) {
        const auto start = Clock::now();
        const bool saved = dlg.SaveScanLogTo(c.LogFile().c_str());
        const auto end = Clock::now();
        out = _wfopen((c.ResultFile() + L".save").c_str(), L"w");
        if (out != nullptr && saved)
            std::fprintf(out, "%.6f %.1f\n", Seconds(start, end), PeakMiB());
        if (out != nullptr)
            std::fclose(out);
    }
    dlg.DestroyWindow();
    SetSearchHost(nullptr);
    return 0;
}

// ---- the table ---------------------------------------------------------------------------------

bool RunChild(const Case& c, const wchar_t* step = L"search")
{
    std::wstring arguments = std::wstring(step) + L" ";
    arguments += c.ntfs ? L"ntfs " : L"fat32 ";
    arguments += c.image.empty() ? std::to_wstring(c.files) : L"\"" + c.image + L"\"";
    if (c.image.empty() && !c.ntfs && c.files == 0)
        arguments = L"fatfolders " + std::to_wstring(c.folders);
    return RunSelf(arguments);
}

struct Figures {
    double read = 0, tree = 0, list = 0, peak = 0, open = 0;
    unsigned items = 0, rows = 0;
    unsigned long long sectors = 0, openCalls = 0;
    char folder[256] = "";
};

// Runs the search on the volume in a process of its own; false when it gave no figures.
bool Measure(const Case& c, Figures& f, bool quiet = false)
{
    const std::wstring image = c.Image();
    if (c.image.empty()) {
        const bool written =
            c.ntfs ? WriteNtfsVolume(image, c.Layout()) : WriteFat32Volume(image, Fat32Layout(c.files, c.folders));
        if (!written) {
            std::printf("cannot write %ls\n", image.c_str());
            return false;
        }
    }
    RunChild(c);
    const double peer = quiet ? -1 : PeerSeconds(L"fls", image, c.ntfs);
    if (c.image.empty())
        ::DeleteFileW(image.c_str());
    FILE* in = _wfopen(c.ResultFile().c_str(), L"r");
    const bool figures = in != nullptr &&
        std::fscanf(in, "%lf %lf %lf %lf %u %u %llu %llu %lf %255[^\n]", &f.read, &f.tree, &f.list, &f.peak, &f.items,
                    &f.rows, &f.sectors, &f.openCalls, &f.open, f.folder) == 10;
    if (in != nullptr)
        std::fclose(in);
    ::DeleteFileW(c.ResultFile().c_str());
    char what[32];
    if (c.files == 0 && c.folders != 0)
        std::snprintf(what, sizeof what, "%ls %llu dirs", c.Fs(), (unsigned long long)c.folders);
    else
        std::snprintf(what, sizeof what, "%ls %llu", c.Fs(), (unsigned long long)c.files);
    if (!figures) {
        std::printf("%-16s (no figures)\n", what);
        return false;
    }
    char peerText[16] = "-";
    if (peer >= 0)
        std::snprintf(peerText, sizeof peerText, "%.2f", peer);
    if (!quiet)
        std::printf("%-16s %9.1f | %7.2f | %8.2f %8.2f | %8.1f | %7u %6u | %7s | %s\n", what,
                    double(f.sectors) * kSector / (1 << 20), f.read, f.tree, f.list, f.peak, f.items, f.rows,
                    peerText, f.folder);
    std::fflush(stdout);
    return true;
}

// Opening a folder after "Root" costs that folder's rows, not Root's: the same volume of 10,000
// files with 1,000 and with 10,000 folders under Root, the same first folder opened in both.
// Fails (exit code 1) when the control calls of that opening grow 3x or more while Root's rows
// grow 10x: a read of Root's rows grows 10x, a walk over them per row 100x. Seconds are printed
// beside.
int CheckOpeningGrowth()
{
    ::SetEnvironmentVariableW(kCountCallsVariable, L"1");
    Figures small, large;
    const Case smallCase{ true, 10000, {}, 1000 }, largeCase{ true, 10000, {}, 10000 };
    if (!Measure(smallCase, small, true) || !Measure(largeCase, large, true) || small.openCalls == 0)
        return 1;
    const double calls = double(large.openCalls) / double(small.openCalls);
    const double seconds = small.open > 0 ? large.open / small.open : 0;
    std::printf("opening a folder after Root, 1,000 / 10,000 folders: %llu / %llu control calls (%.2fx), "
                "%.3f / %.3f s (%.2fx)\n",
                small.openCalls, large.openCalls, calls, small.open, large.open, seconds);
    constexpr double kBound = 3;
    if (calls >= kBound) {
        std::printf("FAILED: opening a folder grew with Root's rows (bound %.0fx)\n", kBound);
        return 1;
    }
    return 0;
}

// The search that makes the log, then the log saved and loaded again.
void MeasureLog(const Case& c)
{
    const std::wstring image = c.Image();
    if (!WriteNtfsVolume(image, c.Layout())) {
        std::printf("cannot write %ls\n", image.c_str());
        return;
    }
    RunChild(c, L"searchlog");
    RunChild(c, L"load");
    double read = 0, tree = 0, list = 0, peak = 0, save = 0, savePeak = 0, load = 0, loadPeak = 0;
    unsigned items = 0, rows = 0, loadedItems = 0;
    unsigned long long sectors = 0;
    bool figures = true;
    auto scan = [&](const std::wstring& file, const char* format, int n, auto... values) {
        FILE* in = _wfopen(file.c_str(), L"r");
        figures = figures && in != nullptr && std::fscanf(in, format, values...) == n;
        if (in != nullptr)
            std::fclose(in);
        ::DeleteFileW(file.c_str());
    };
    scan(c.ResultFile(), "%lf %lf %lf %lf %u %u %llu", 7, &read, &tree, &list, &peak, &items, &rows, &sectors);
    scan(c.ResultFile() + L".save", "%lf %lf", 2, &save, &savePeak);
    scan(c.ResultFile() + L".load", "%lf %lf %u", 3, &load, &loadPeak, &loadedItems);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    const double logMiB = ::GetFileAttributesExW(c.LogFile().c_str(), GetFileExInfoStandard, &data)
        ? double((uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow) / (1 << 20)
        : 0;
    ::DeleteFileW(c.LogFile().c_str());
    ::DeleteFileW(image.c_str());
    if (!figures) {
        std::printf("(no figures)\n");
        return;
    }
    std::printf("NTFS %llu files, %llu folders: log %.1f MiB, tree items %u (loaded %u)\n", (unsigned long long)c.files,
                (unsigned long long)c.Layout().folders, logMiB, items, loadedItems);
    std::printf("  search: %.2f s to the tree, peak %.1f MiB\n", tree, peak);
    std::printf("  save:   %.2f s, peak %.1f MiB (the search's process)\n", save, savePeak);
    std::printf("  load:   %.2f s, peak %.1f MiB (a fresh process)\n", load, loadPeak);
}

} // namespace

int main(int argc, char** argv)
{
    PlatformProbe();
    Case one;
    if (argc >= 3) {
        one.ntfs = std::strcmp(argv[argc - 2], "ntfs") == 0;
        const char* last = argv[argc - 1];
        if (argc >= 4 && std::strcmp(argv[1], "image") == 0) {
            one.ntfs = std::strcmp(argv[3], "ntfs") == 0;
            last = argv[2];
        }
        if (std::strcmp(argv[1], "image") == 0 ||
            (argc == 4 && std::strcmp(argv[1], "search") == 0 && (last[0] < '0' || last[0] > '9')))
            one.image = std::wstring(last, last + std::strlen(last));
        else
            one.files = std::strtoull(last, nullptr, 10);
    }
    if (argc == 4 && std::strcmp(argv[1], "search") == 0)
        return RunSearch(one, false);
    // save PATH ntfs|fat32 FOLDER: the search on an image, then the whole tree saved into FOLDER.
    if (argc == 5 && std::strcmp(argv[1], "save") == 0) {
        one.ntfs = std::strcmp(argv[3], "ntfs") == 0;
        one.image = std::wstring(argv[2], argv[2] + std::strlen(argv[2]));
        return RunSearch(one, false, std::wstring(argv[4], argv[4] + std::strlen(argv[4])));
    }
    const Case logCase{ true, 300000, {}, 20000 };
    if (argc == 4 && std::strcmp(argv[1], "searchlog") == 0)
        return RunSearch(logCase, true);
    if (argc == 4 && std::strcmp(argv[1], "load") == 0)
        return RunLoad(logCase);
    if (argc == 2 && std::strcmp(argv[1], "growth") == 0)
        return CheckOpeningGrowth();
    // createfiles FOLDER FILES PER_FOLDER: the creation loop alone.
    if (argc == 5 && std::strcmp(argv[1], "createfiles") == 0)
        return CreateFilesLoop(std::wstring(argv[2], argv[2] + std::strlen(argv[2])), std::strtoull(argv[3], nullptr, 10),
                               std::max<uint64_t>(1, std::strtoull(argv[4], nullptr, 10)));
    // fatfolders N: a FAT32 volume whose every cluster is a folder, N of them under the root (the
    // parent runs the child with the same arguments).
    if (argc == 4 && std::strcmp(argv[1], "fatfolders") == 0) {
        // fatfolders N PATH: only the image, written to PATH and kept (for "image PATH fat32").
        const std::wstring path(argv[3], argv[3] + std::strlen(argv[3]));
        return WriteFat32Volume(path, Fat32Layout(0, std::strtoull(argv[2], nullptr, 10))) ? 0 : 1;
    }
    if (argc == 3 && std::strcmp(argv[1], "fatfolders") == 0) {
        const Case c{ false, 0, {}, std::strtoull(argv[2], nullptr, 10) };
        if (::GetEnvironmentVariableW(L"ZR_BENCH_CHILD", nullptr, 0) != 0)
            return RunSearch(c, false);
        ::SetEnvironmentVariableW(L"ZR_BENCH_CHILD", L"1");
        std::printf("                           | plain   | Next to (s):      |          | results        | peer     | first\n");
        std::printf("fs      files    image MiB | read s  |   tree   listed   | peak MiB | items  rows    | fls -r s | folder\n");
        Figures f;
        Measure(c, f);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "log") == 0) {
        MeasureLog(logCase);
        return 0;
    }

    std::printf("                           | plain   | Next to (s):      |          | results        | peer     | first\n");
    std::printf("fs      files    image MiB | read s  |   tree   listed   | peak MiB | items  rows    | fls -r s | folder\n");
    Figures f;
    if (argc >= 3) {
        Measure(one, f);
        return 0;
    }
    for (const Case& c : { Case{ true, 100000, {} }, Case{ true, 1000000, {} }, Case{ true, 10000000, {} },
                           Case{ false, 50000, {} }, Case{ false, 250000, {} } })
        Measure(c, f);
    return 0;
}
