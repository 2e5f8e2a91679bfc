// Deep Search from Next to the results page and the first folder listed, in the real dialog, on
// an image, beside the peers of the same run:
//   dd        the host's dd reading the same range of the image (what a plain read costs), timed
//             just before and just after the search, once the range has been read through untimed,
//             so that neither side is timed against a page cache the other filled;
//   photorec  the host's photorec carving the same image (every file family, the whole space);
//   basic     Basic Search on the same image (NTFS and FAT32), through bench_basicsearch.exe beside
//             this benchmark: to its results tree, then to its listings;
// and the Deep search itself, each in a process of its own so that each peak is its own:
//   results   from the answer to Next's question until the results page is up (the carving, the
//             assembly, the tree built, "Root" selected);
//   listed    until the listing of "Root" that the results page starts, and then of the first
//             folder that has rows, have ended;
//   peak      the process's peak working set after it.
//
//   bench_deepsearch.exe image PATH ntfs|fat16|fat32 [FIRST END]   an image (default: all of it)
//   bench_deepsearch.exe synth RECORDS [PATH]   a synthesized NTFS volume of RECORDS file records
//                                               (bench/synth_volumes.h), written to PATH (default
//                                               the temporary folder), measured and deleted
//   bench_deepsearch.exe write RECORDS PATH     only writes that volume, and keeps it
// Run beside ZembrolixRecovery.exe (its dialog templates are loaded from it) with a display:
//   cd build-XX && xvfb-run -a -s "-screen 0 1280x1024x24" ./wine-run.sh ./bench_deepsearch.exe ...
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
#include "fsrecovery/deepsearch.h"
#include "fsrecovery/pure/result_tree.h"
#include "look/rangeslider.h"
#include "resources/resource.h"
#include "storage/pure/globals.h"
#include "storage/sector_source.h"

namespace {

using namespace bench;

struct Case {
    std::wstring image;
    int fs = 2; // the combo's index: 0 FAT16, 1 FAT32, 2 NTFS
    uint64_t first = 0, end = 0;

    std::wstring ResultFile() const { return image + L".deep.txt"; }
    const wchar_t* FsArgument() const { return fs == 2 ? L"ntfs" : fs == 1 ? L"fat32" : L"fat16"; }
};

int FsIndex(const char* name)
{
    return std::strcmp(name, "fat16") == 0 ? 0 : std::strcmp(name, "fat32") == 0 ? 1 : 2;
}

// ---- search: the dialog, in the child ----------------------------------------------------------

void SetNumber(CDeepSearch& dlg, int id, uint64_t value)
{
    CString text;
    text.Format(L"%llu", (unsigned long long)value);
    dlg.SetDlgItemText(id, text);
}

int RunSearch(const Case& c)
{
    BenchApp app;
    CDelvaneDlg main;
    std::unique_ptr<CDeepSearch> owned =
        OpenSearchDialog<CDeepSearch>(app, main, kModeDeep, RegisterDeepSearchDialog, IDD_DEEP_SEARCH);
    if (!owned)
        return 1;
    CDeepSearch& dlg = *owned;
    PumpUntil([] { return g_pDeepDriveTreeThread == nullptr; }, 60000);
    if (!SelectAnyDriveLetter(dlg))
        return 1;
    main.LogicalDrivePath = c.image.c_str();
    main.SelectedDriveValue = 0;
    const uint64_t sectors = ImageSectors(c.image);
    SetNumber(dlg, IDC_RANGE_MIN, 0);
    SetNumber(dlg, IDC_RANGE_MAX, sectors);
    SetNumber(dlg, IDC_RANGE_START, c.first);
    SetNumber(dlg, IDC_RANGE_END, c.end);
    dlg.SendDlgItemMessage(IDC_DS_FS_COMBO, CB_SETCURSEL, c.fs);

    NextAnsweredLogical([&] { dlg.OnBnClickedNext(); });
    const bool built = WaitForResultsPage(dlg, dlg.ScanThread(), IDC_DS_BACK, IDC_DS_NEXT);
    const auto resultsPage = Clock::now();
    PumpUntil([] { return g_pPopulateListThread == nullptr; }, 3600000);
    CTreeClass& tree = dlg.ResultTree();
    const HTREEITEM folder = FirstUserFolder(tree);
    CString folderName;
    if (folder != nullptr) {
        folderName = tree.GetItemText(folder);
        tree.SelectItem(folder);
    }
    PumpUntil([] { return g_pPopulateListThread == nullptr; }, 3600000);
    const auto listed = Clock::now();
    const double peak = PeakMiB();
    if (!EndedOnResultsPage(built))
        return 1;
    FILE* out = _wfopen(c.ResultFile().c_str(), L"w");
    if (out != nullptr) {
        std::fprintf(out, "%.6f %.6f %.1f %u %d %ls\n", Seconds(g_answered, resultsPage), Seconds(resultsPage, listed),
                     peak, unsigned(tree.GetCount()), dlg.FileList().GetItemCount(),
                     folderName.IsEmpty() ? L"-" : folderName.GetString());
        std::fclose(out);
    }
    dlg.DestroyWindow();
    SetSearchHost(nullptr);
    return 0;
}

// ---- the peers and the table, in the parent ------------------------------------------------------

std::wstring Quoted(const std::wstring& hostPath)
{
    return L"'" + hostPath + L"'";
}

// dd of the range on the host.
double DdSeconds(const Case& c)
{
    const std::wstring host = HostPath(c.image);
    if (host.empty())
        return -1;
    wchar_t range[128];
    swprintf(range, 128, L" skip=%llu count=%llu", (unsigned long long)(c.first * kSector),
             (unsigned long long)((c.end - c.first) * kSector));
    return HostSeconds(L"/usr/bin/dd if=" + Quoted(host) + L" of=/dev/null bs=512K iflag=skip_bytes,count_bytes" +
                           range,
                       c.image + L".dd");
}

// photorec on the host over the whole image, every file family, into a folder beside the image
// that is deleted afterwards (untimed).
double PhotorecSeconds(const Case& c)
{
    const std::wstring host = HostPath(c.image);
    if (host.empty() || ::GetFileAttributesW(L"Z:\\usr\\bin\\photorec") == INVALID_FILE_ATTRIBUTES)
        return -1;
    const std::wstring out = host + L".photorec";
    HostSeconds(L"rm -rf " + Quoted(out) + L"; mkdir -p " + Quoted(out), c.image + L".prep");
    const double seconds = HostSeconds(L"cd " + Quoted(out) + L" && /usr/bin/photorec /d " + Quoted(out + L"/recup") +
                                           L" /cmd " + Quoted(host) +
                                           L" partition_none,fileopt,everything,enable,wholespace,search",
                                       c.image + L".peer");
    HostSeconds(L"rm -rf " + Quoted(out), c.image + L".prep");
    return seconds;
}

struct BasicFigures {
    double tree = -1, listed = -1, peak = 0;
};

// Basic Search on the same image, by bench_basicsearch.exe's own child step.
BasicFigures BasicSearch(const Case& c)
{
    BasicFigures f;
    const std::wstring exe = ExeFolder() + L"bench_basicsearch.exe";
    if (c.fs == 0 || ::GetFileAttributesW(exe.c_str()) == INVALID_FILE_ATTRIBUTES)
        return f;
    const std::wstring result = c.image + L".result.txt";
    ::DeleteFileW(result.c_str());
    RunProcess(exe, std::wstring(L"search ") + c.FsArgument() + L" \"" + c.image + L"\"", true);
    FILE* in = _wfopen(result.c_str(), L"r");
    double read = 0;
    if (in == nullptr || std::fscanf(in, "%lf %lf %lf %lf", &read, &f.tree, &f.listed, &f.peak) != 4)
        f = BasicFigures();
    if (in != nullptr)
        std::fclose(in);
    ::DeleteFileW(result.c_str());
    return f;
}

void PrintHeader()
{
    std::printf("image                 MiB | dd s: before after | Deep: results listed  total  peak MiB | ratio to dd | "
                "photorec s | Basic: tree listed  peak | Deep/Basic | folder (rows)\n");
}

std::string Text(double value, const char* format = "%.2f")
{
    if (value < 0)
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// Measures one image: dd, the Deep search in a process of its own, dd again, photorec, Basic Search.
// The range is read once untimed first: a cold image would make the first dd pay for the disk and
// the search then read what it cached, which flatters the search. Timing dd on both sides of the
// search shows whether the cache held the range throughout (the two agree) or not (an image larger
// than the cache: then both read from the disk).
bool Measure(const Case& c, const char* name)
{
    DdSeconds(c);
    const double ddBefore = DdSeconds(c);
    ::DeleteFileW(c.ResultFile().c_str());
    wchar_t arguments[64];
    swprintf(arguments, 64, L" %ls %llu %llu", c.FsArgument(), (unsigned long long)c.first, (unsigned long long)c.end);
    RunSelf(L"search \"" + c.image + L"\"" + arguments);
    double results = 0, listed = 0, peak = 0;
    unsigned items = 0;
    int rows = 0;
    char folder[256] = {};
    FILE* in = _wfopen(c.ResultFile().c_str(), L"r");
    const bool figures = in != nullptr &&
        std::fscanf(in, "%lf %lf %lf %u %d %255[^\n]", &results, &listed, &peak, &items, &rows, folder) == 6;
    if (in != nullptr)
        std::fclose(in);
    ::DeleteFileW(c.ResultFile().c_str());
    const double ddAfter = DdSeconds(c);
    const double dd = ddBefore > 0 && ddAfter > 0 ? (ddBefore + ddAfter) / 2 : -1;
    const double photorec = PhotorecSeconds(c);
    const BasicFigures basic = BasicSearch(c);
    if (!figures) {
        std::printf("%-24s (no figures)\n", name);
        return false;
    }
    const double total = results + listed;
    const double basicTotal = basic.tree >= 0 ? basic.tree + basic.listed : -1;
    std::printf("%-20s %6.0f | %8s %6s | %7.2f %6.2f %6.2f %8.1f | %11s | %10s | %6s %6s %6s | %10s | %s (%d)\n",
                name, double(c.end - c.first) * kSector / (1 << 20), Text(ddBefore).c_str(), Text(ddAfter).c_str(),
                results, listed, total, peak,
                Text(dd > 0 ? total / dd : -1).c_str(), Text(photorec).c_str(), Text(basic.tree).c_str(),
                Text(basic.listed).c_str(), Text(basic.peak, "%.0f").c_str(),
                Text(basicTotal > 0 ? total / basicTotal : -1).c_str(), folder, rows);
    std::fflush(stdout);
    return true;
}

std::wstring Wide(const char* text)
{
    return std::wstring(text, text + std::strlen(text));
}

} // namespace

int main(int argc, char** argv)
{
    PlatformProbe();
    // search PATH FS FIRST END: the child.
    if (argc == 6 && std::strcmp(argv[1], "search") == 0) {
        Case c{ Wide(argv[2]), FsIndex(argv[3]), std::strtoull(argv[4], nullptr, 10),
                std::strtoull(argv[5], nullptr, 10) };
        return RunSearch(c);
    }
    if (argc >= 4 && std::strcmp(argv[1], "image") == 0) {
        Case c{ Wide(argv[2]), FsIndex(argv[3]), 0, ImageSectors(Wide(argv[2])) };
        if (argc == 6) {
            c.first = std::strtoull(argv[4], nullptr, 10);
            c.end = std::strtoull(argv[5], nullptr, 10);
        }
        if (c.end <= c.first) {
            std::printf("no such image or range\n");
            return 1;
        }
        PrintHeader();
        return Measure(c, argv[3]) ? 0 : 1;
    }
    if (argc >= 3 && (std::strcmp(argv[1], "synth") == 0 || std::strcmp(argv[1], "write") == 0)) {
        const uint64_t records = std::strtoull(argv[2], nullptr, 10);
        wchar_t name[64];
        swprintf(name, 64, L"zr_bench_deep_ntfs_%llu.img", (unsigned long long)records);
        const std::wstring path = argc >= 4 ? Wide(argv[3]) : TempImage(name);
        const NtfsLayout layout(records);
        const auto start = Clock::now();
        if (!WriteNtfsVolume(path, layout)) {
            std::printf("cannot write %ls\n", path.c_str());
            return 1;
        }
        std::printf("wrote %ls: %llu records, %.1f MiB, %.1f s\n", path.c_str(), (unsigned long long)layout.records,
                    double(layout.sectors) * kSector / (1 << 20), Seconds(start, Clock::now()));
        if (std::strcmp(argv[1], "write") == 0)
            return 0;
        PrintHeader();
        char label[32];
        std::snprintf(label, sizeof label, "synth %llu", (unsigned long long)records);
        const bool ok = Measure(Case{ path, 2, 0, layout.sectors }, label);
        ::DeleteFileW(path.c_str());
        return ok ? 0 : 1;
    }
    std::printf("usage: bench_deepsearch image PATH ntfs|fat16|fat32 [FIRST END] | synth RECORDS [PATH] | "
                "write RECORDS PATH\n");
    return 2;
}
