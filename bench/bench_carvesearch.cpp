// Photo, Signature and Video Search through their real dialogs, on an image (1 GiB and 240 files
// by default) with valid files planted whole on junk: JPEG, PNG, PDF, RTF, AVI and MP4 made by the
// system's own tools (bench/carve_files.py: ImageMagick, ffmpeg), each search beside photorec on
// the same image in the same run, photorec looking for the families of the search's file types.
// Each search runs in a process of its own, so that each peak working set is its own. For each:
//   seconds   from the options step's Next to the end of the scan (both passes, every find saved
//             and listed, Photo's thumbnails made on their own thread), and the passes apart;
//             photorec: the whole process, timed on the host;
//   found     the files saved;
//   planted   planted files of the search's types found, out of those planted ("whole": saved
//             with every byte of the planted file, from its first on);
//   false     saved files whose start is no planted file's start;
//   written   the bytes of the saved files;
//   peak      the process's peak working set.
//
//   bench_carvesearch.exe [folder] [MiB] [files]
//
// Run beside ZembrolixRecovery.exe (the dialog templates and the signature files are taken from
// there) with a display, under Wine with python3, /usr/bin/convert, ffmpeg and photorec on the host:
//   cd build-XX && xvfb-run -a -s "-screen 0 1280x1024x24" ./wine-run.sh ./bench_carvesearch.exe 'Z:\tmp'
// The planted files and the image are kept in the folder for the next run.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>

#include "afxwin.h"
#include "app/devicetree.h"
#include "app/maindlg.h"
#include "bench/carve_images.h"
#include "bench/peak_memory.h"
#include "bench/dialog_bench.h"
#include "bench/synth_volumes.h"
#include "resources/resource.h"
#include "sigrecovery/photosearch.h"
#include "sigrecovery/sigfiles.h"
#include "sigrecovery/sigsearch.h"
#include "storage/sector_source.h"

namespace {

using namespace bench;

// The searches read the whole image instead of the disk selected in the tree.
template <class Search> class OnImage : public Search {
public:
    template <class... A>
    explicit OnImage(const std::wstring& image, A... args)
        : Search(args...), m_image(image), m_sectors(ImageBytes(image) / 512)
    { }
    CString DevicePath() override { return CString(m_image.c_str()); }
    uint64_t StartSector() override { return 0; }
    uint64_t EndSector() override { return m_sectors - 1; }
    // When each pass began (on the scan thread), to time the passes apart.
    void PassStarting(bool thorough) override
    {
        passStarts.push_back(Clock::now());
        Search::PassStarting(thorough);
    }
    std::vector<Clock::time_point> passStarts;

private:
    std::wstring m_image;
    uint64_t m_sectors;
};

// The three searches: the child's argument, the dialog, the planted types they are after and the
// photorec families of their General file types.
struct SearchKind {
    const wchar_t* argument;
    const wchar_t* name;
    CarveSearchKind kind;
    UINT templateId;
    int mode;
    std::vector<std::wstring> types;
    const wchar_t* families;
};
const std::vector<SearchKind>& Searches()
{
    static const std::vector<SearchKind> searches = {
        { L"photo", L"Photo Search", CarveSearchKind::Photo, IDD_PHOTO_SEARCH, kModePhoto, { L"jpg", L"png" },
          L"jpg,png,gif,bmp,tif" },
        { L"signature", L"Signature Search", CarveSearchKind::Signature, IDD_SIGNATURE_SEARCH, kModeSignature,
          { L"pdf", L"rtf" }, L"pdf,zip,doc,tx?,7z,rar,gz,mp3,riff,sqlite,pst" },
        { L"video", L"Video Search", CarveSearchKind::Video, IDD_VIDEO_SEARCH, kModeVideo, { L"avi", L"mp4" },
          L"riff,mov,mkv,flv,asf" },
    };
    return searches;
}

std::wstring Destination(const std::wstring& folder)
{
    return folder + L"\\zr_bench_carvesearch_out";
}

// One search in this process: the figures go to `result`, the found files stay in the destination.
int RunSearch(const SearchKind& search, const std::wstring& image, const std::wstring& folder,
              const std::wstring& result)
{
    BenchApp app;
    app.m_hInstance =
        ::LoadLibraryExW((ExeFolder() + L"ZembrolixRecovery.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (app.m_hInstance == nullptr) {
        std::printf("ZembrolixRecovery.exe must lie beside the benchmark\n");
        return 1;
    }
    ZrInitCommonControls();
    CheckDataFiles();
    LoadFileTypeList(L"\\QORVENExt2.dll", L"General");
    LoadFileTypeList(L"\\QORVENExt2Adv.dll", L"Advance");
    CDelvaneDlg main;
    main.SearchMode = search.mode;
    SetSearchHost(&main);
    InstallDriveTreeStorageHost();
    PlatformProbe();
    ZrSetMessageBoxHook(RecordBox);
    const bool photo = search.kind == CarveSearchKind::Photo;
    std::unique_ptr<CCarveSession> dlg;
    if (photo)
        dlg = std::make_unique<OnImage<CRawSearch>>(image, &main);
    else
        dlg = std::make_unique<OnImage<CSigDuplicate>>(image, search.kind, &main);
    // The templates' range slider is found by its class under the module the templates come from.
    WNDCLASSEXW slider{ sizeof slider };
    if (::GetClassInfoExW(::GetModuleHandleW(nullptr), CRangeSlider::kClassName, &slider)) {
        slider.hInstance = app.m_hInstance;
        ::RegisterClassExW(&slider);
    }
    if (!dlg->Create(search.templateId, nullptr)) {
        std::printf("the dialog cannot be created\n");
        return 1;
    }
    dlg->ShowWindow(SW_SHOW);
    PumpUntil([] { return false; }, 100);

    // Any disk or drive letter will do: the range is the image's.
    CTreeClass& tree = dlg->DriveTree();
    HTREEITEM disk = tree.GetChildItem(dlg->PhysicalDrivesItem());
    if (disk == nullptr)
        disk = tree.GetChildItem(dlg->LogicalDrivesItem());
    if (disk == nullptr) {
        std::printf("no disk or drive letter in the drive tree\n");
        return 1;
    }
    tree.SelectItem(disk);
    PumpUntil([] { return false; }, 50);
    const uint64_t sectors = ImageBytes(image) / 512;
    CString text;
    text.Format(L"%llu", 0ull);
    dlg->SetDlgItemText(IDC_RANGE_START, text);
    text.Format(L"%llu", (unsigned long long)(sectors - 1));
    dlg->SetDlgItemText(IDC_RANGE_END, text);
    // A drive letter asks whether to read it as logical or physical.
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 10, AnswerTimer);
    dlg->OnBnClickedNext();
    ::KillTimer(nullptr, timer);
    const std::wstring dest = Destination(folder);
    ::CreateDirectoryW(dest.c_str(), nullptr);
    dlg->SetDlgItemText(dlg->CarveLayout().destination, dest.c_str());

    auto* thumbs = dynamic_cast<CRawSearch*>(dlg.get());
    std::vector<Clock::time_point>& passes = photo ? static_cast<OnImage<CRawSearch>&>(*dlg).passStarts
                                                   : static_cast<OnImage<CSigDuplicate>&>(*dlg).passStarts;
    const auto start = Clock::now();
    dlg->OnBnClickedNext();
    PumpUntil([&] { return !dlg->ScanRunning(); }, 3600000);
    const auto scanned = Clock::now();
    PumpUntil([&] { return thumbs == nullptr || !thumbs->ThumbnailsPending(); }, 3600000);
    PumpUntil([] { return false; }, 50);
    const auto shown = Clock::now();
    const double peak = PeakMiB();
    if (!g_boxes.empty() || dlg->Page() != CCarveSession::kScanStep) {
        std::printf("the search did not run%ls%ls\n", g_boxes.empty() ? L"" : L": ",
                    g_boxes.empty() ? L"" : g_boxes.front().GetString());
        return 1;
    }
    FILE* out = _wfopen(result.c_str(), L"w");
    if (out != nullptr) {
        // The General pass from Next (the set-up included), the Thorough pass from its start.
        const Clock::time_point thorough = passes.size() > 1 ? passes[1] : scanned;
        std::fprintf(out, "%.6f %.6f %.6f %.1f %llu %llu %d\n", Seconds(start, thorough), Seconds(thorough, scanned),
                     Seconds(start, shown), peak, (unsigned long long)dlg->Results().FoundCount(false),
                     (unsigned long long)dlg->Results().FoundCount(true), thumbs ? thumbs->Thumbnails().Count() : 0);
        std::fclose(out);
    }
    dlg->DestroyWindow();
    SetSearchHost(nullptr);
    return 0;
}

// ---- what a tool saved, against what was planted ---------------------------------------------

struct Tally {
    uint64_t found = 0, falseFinds = 0, bytes = 0;
    size_t planted = 0, plantedFound = 0, plantedWhole = 0; // of the search's types
};

// Whether `found` holds all of `planted`'s bytes from its first on (it may go on after them).
bool HoldsWhole(const std::wstring& found, const PlantedFile& planted)
{
    const std::string a = ReadWhole(found), b = ReadWhole(planted.path);
    return b.size() == planted.size && a.size() >= b.size() && std::equal(b.begin(), b.end(), a.begin());
}

// Every file under `dir` (photorec's report.xml left out) matched against the planted files: a
// found file matches a planted one when their first bytes agree as far as both go (64 KiB at
// most), and the planted file is found whole when the found one holds all of it.
void TallyFolder(const std::wstring& dir, const std::vector<PlantedFile>& planted, std::vector<uint8_t>& matched,
                 Tally& t)
{
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = fd.cFileName, full = dir + L"\\" + name;
        if (name == L"." || name == L"..")
            continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            TallyFolder(full, planted, matched, t);
            continue;
        }
        if (name == L"report.xml")
            continue;
        const uint64_t size = (uint64_t(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
        ++t.found;
        t.bytes += size;
        std::vector<uint8_t> head(size_t(std::min<uint64_t>(size, PlantedFile::kPlantedHead)));
        HANDLE h = CreateFileW(full.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        DWORD got = 0;
        if (h == INVALID_HANDLE_VALUE || !ReadFile(h, head.data(), DWORD(head.size()), &got, nullptr))
            got = 0;
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
        head.resize(got);
        // The first planted file not matched yet that starts as this one (then any that does).
        size_t best = planted.size();
        for (size_t p = 0; p < planted.size(); ++p) {
            const size_t n = std::min(head.size(), planted[p].head.size());
            if (n == 0 || !std::equal(head.begin(), head.begin() + n, planted[p].head.begin()))
                continue;
            if (best == planted.size())
                best = p;
            if (matched[p] == 0) {
                best = p;
                break;
            }
        }
        if (best == planted.size()) {
            ++t.falseFinds;
            continue;
        }
        if (matched[best] < 2 && HoldsWhole(full, planted[best]))
            matched[best] = 2;
        else if (matched[best] == 0)
            matched[best] = 1;
    } while (FindNextFileW(find, &fd));
    FindClose(find);
}

Tally TallyFinds(const std::wstring& dir, const std::vector<PlantedFile>& planted, const SearchKind& search)
{
    Tally t;
    std::vector<uint8_t> matched(planted.size(), 0); // 1 found, 2 found whole
    TallyFolder(dir, planted, matched, t);
    for (size_t p = 0; p < planted.size(); ++p) {
        if (std::find(search.types.begin(), search.types.end(), planted[p].extension) == search.types.end())
            continue;
        ++t.planted;
        t.plantedFound += matched[p] != 0;
        t.plantedWhole += matched[p] == 2;
    }
    return t;
}

// photorec (testdisk) on the host over the whole image, looking for `families`, into `out`;
// its seconds, negative when it is missing or failed.
double Photorec(const std::wstring& image, const std::wstring& out, const wchar_t* families)
{
    const std::wstring hostImage = HostPath(image), hostOut = HostPath(out);
    if (hostImage.empty() || hostOut.empty() || ::GetFileAttributesW(L"Z:\\usr\\bin\\photorec") == INVALID_FILE_ATTRIBUTES)
        return -1;
    // Every family off, then each of `families` on.
    std::wstring options = L"partition_none,fileopt,everything,disable,";
    for (const wchar_t* f = families; *f != 0;) {
        const wchar_t* end = std::wcschr(f, L',');
        const size_t n = end != nullptr ? size_t(end - f) : std::wcslen(f);
        options += std::wstring(f, n) + L",enable,";
        f += n + (end != nullptr);
    }
    return HostSeconds(L"/usr/bin/photorec /d '" + hostOut + L"/recup' /cmd '" + hostImage + L"' '" + options +
                           L"wholespace,search'",
                       out + L".done");
}

void PrintRow(const wchar_t* name, const wchar_t* seconds, const Tally& t, const wchar_t* peak)
{
    wchar_t planted[32];
    swprintf(planted, 32, L"%zu/%zu (%zu)", t.plantedFound, t.planted, t.plantedWhole);
    wprintf(L"%-18ls %-22ls %6llu  %-14ls %6llu %12.1f  %ls\n", name, seconds, (unsigned long long)t.found, planted,
            (unsigned long long)t.falseFinds, double(t.bytes) / (1 << 20), peak);
}

bool RunChild(const wchar_t* search, const std::wstring& image, const std::wstring& folder, const std::wstring& result)
{
    return RunSelf(std::wstring(search) + L" \"" + image + L"\" \"" + folder + L"\" \"" + result + L"\"");
}

// The host path of bench/carve_files.py: beside this source file.
std::wstring ScriptPath()
{
    std::string source = __FILE__;
    source = source.substr(0, source.find_last_of("/\\") + 1) + "carve_files.py";
    return std::wstring(source.begin(), source.end());
}

} // namespace

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc == 5)
        for (const SearchKind& s : Searches())
            if (std::wstring(argv[1]) == s.argument)
                return RunSearch(s, argv[2], argv[3], argv[4]);

    const std::wstring folder = FolderArgument(argc, argv, 1);
    const uint64_t mib = argc > 2 ? _wtoi64(argv[2]) : 1024;
    const uint64_t count = argc > 3 ? _wtoi64(argv[3]) : 240;

    // The planted files, made on the host when missing; the image made again with them.
    const std::wstring files = folder + L"\\zr_bench_carve_files_" + std::to_wstring(count);
    const std::wstring image =
        folder + L"\\zr_bench_carvesearch_" + std::to_wstring(mib) + L"_" + std::to_wstring(count) + L"files.img";
    std::vector<PlantedFile> planted = ReadPlantedFiles(files);
    if (planted.size() != count) {
        ::CreateDirectoryW(files.c_str(), nullptr);
        const std::wstring hostFiles = HostPath(files);
        const double made = hostFiles.empty() ? -1
                                              : HostSeconds(L"PATH=/usr/bin:/bin /usr/bin/python3 '" + ScriptPath() + L"' '" + hostFiles + L"' " +
                                                                std::to_wstring(count),
                                                            files + L".done");
        planted = ReadPlantedFiles(files);
        if (made < 0 || planted.size() != count) {
            wprintf(L"cannot make the planted files in %ls: run bench/carve_files.py there (python3, "
                    L"/usr/bin/convert and ffmpeg on the host)\n",
                    files.c_str());
            return 1;
        }
        wprintf(L"made %llu files in %ls in %.1f s\n", (unsigned long long)count, files.c_str(), made);
        ::DeleteFileW(image.c_str());
    }
    if (ImageBytes(image) != (mib << 20)) {
        const auto t0 = Clock::now();
        if (!MakeImageOfFiles(image, mib, planted)) {
            wprintf(L"cannot make %ls (does every file fit in %llu KiB?)\n", image.c_str(),
                    (unsigned long long)((mib << 10) / count));
            return 1;
        }
        wprintf(L"made %ls in %.1f s\n", image.c_str(), Seconds(t0, Clock::now()));
    }
    uint64_t plantedBytes = 0;
    for (const PlantedFile& f : planted)
        plantedBytes += f.size;
    const uint64_t bytes = mib << 20;
    SequentialRead(image, bytes);
    const double read = SequentialRead(image, bytes);
    // A plain write of the image's size (which the General passes come near, since every byte
    // after a header is saved), made before the searches so that they write into memory the
    // system has at hand.
    const double write = SequentialWrite(folder, bytes);
    wprintf(L"%llu MiB, %llu planted files (%.1f MiB; jpg, png, pdf, rtf, avi, mp4 in turn); plain read %.2f s "
            L"(%.0f MB/s), plain write %.2f s (%.0f MB/s)\n",
            (unsigned long long)mib, (unsigned long long)count, double(plantedBytes) / (1 << 20),
            double(mib) / read, read, double(mib) / write, write);
    for (const SearchKind& search : Searches())
        wprintf(L"photorec beside %ls looks for %ls\n", search.name, search.families);
    wprintf(L"%-18ls %-22ls %6ls  %-14ls %6ls %12ls  %ls\n", L"search", L"seconds (General+Thor.)", L"found",
            L"planted(whole)", L"false", L"MiB written", L"peak MiB");
    const std::wstring dest = Destination(folder), peerOut = folder + L"\\zr_bench_photorec_out";
    for (const SearchKind& search : Searches()) {
        const std::wstring result = image + L"." + search.argument + L".txt";
        RemoveTree(dest);
        double general = 0, thorough = 0, thumbs = 0, peak = 0;
        unsigned long long generalFinds = 0, thoroughFinds = 0;
        int shown = 0;
        FILE* in = nullptr;
        if (!RunChild(search.argument, image, folder, result) || (in = _wfopen(result.c_str(), L"r")) == nullptr ||
            std::fscanf(in, "%lf %lf %lf %lf %llu %llu %d", &general, &thorough, &thumbs, &peak, &generalFinds,
                        &thoroughFinds, &shown) != 7) {
            wprintf(L"%-18ls failed\n", search.name);
        } else {
            const Tally t = TallyFinds(dest, planted, search);
            wchar_t seconds[48], peakText[16];
            swprintf(seconds, 48, L"%.2f (%.2f+%.2f)", general + thorough, general, thorough);
            swprintf(peakText, 16, L"%.0f", peak);
            PrintRow(search.name, seconds, t, peakText);
            if (generalFinds + thoroughFinds != t.found)
                wprintf(L"  (the dialog listed %llu + %llu)\n", generalFinds, thoroughFinds);
            if (search.kind == CarveSearchKind::Photo)
                wprintf(L"  %d thumbnails, the last shown %.2f s after Next\n", shown, thumbs);
        }
        if (in != nullptr)
            std::fclose(in);
        ::DeleteFileW(result.c_str());
        RemoveTree(dest);

        RemoveTree(peerOut);
        ::CreateDirectoryW(peerOut.c_str(), nullptr);
        const double peer = Photorec(image, peerOut, search.families);
        if (peer < 0) {
            wprintf(L"%-18ls -\n", L"  photorec");
        } else {
            wchar_t seconds[48];
            swprintf(seconds, 48, L"%.2f", peer);
            PrintRow(L"  photorec", seconds, TallyFinds(peerOut, planted, search), L"-");
        }
        RemoveTree(peerOut);
        std::fflush(stdout);
    }
    return 0;
}
