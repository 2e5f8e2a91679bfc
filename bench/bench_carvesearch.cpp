// Photo Search and Signature Search through their real dialogs, on the image of bench_carve with
// planted files (2 GiB and 500 files by default): from the options step's Next to the end of the
// scan (both passes, every find saved and listed, Photo's thumbnails made on their own thread),
// against a plain read of the same image in the same run. Each search runs in a process of its own,
// so that each peak working set is its own:
//   scan    MB/s of the image from Next until the scan thread has ended, and its ratio to the read;
//   thumbs  Photo Search: seconds from Next until the last thumbnail is shown;
//   finds   the files found (and listed);
//   peak    the process's peak working set.
//
//   bench_carvesearch.exe [folder] [MiB] [files]
//
// Run beside ZembrolixRecovery.exe (the dialog templates and the signature files are taken from
// there) with a display:
//   cd build-XX && xvfb-run -a -s "-screen 0 1280x1024x24" ./wine-run.sh ./bench_carvesearch.exe
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
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
#include "storage/sectorreader.h"

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

// One search in this process: the figures go to `result`.
int RunSearch(bool photo, const std::wstring& image, const std::wstring& folder, const std::wstring& result)
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
    main.SearchMode = photo ? kModePhoto : kModeSignature;
    g_pMainDlg = &main;
    InstallDriveTreeStorageHost();
    PlatformProbe();
    ZrSetMessageBoxHook(RecordBox);
    std::unique_ptr<CCarveSession> dlg;
    if (photo)
        dlg = std::make_unique<OnImage<CRawSearch>>(image);
    else
        dlg = std::make_unique<OnImage<CSigDuplicate>>(image, CarveSearchKind::Signature);
    // The templates' range slider is found by its class under the module the templates come from.
    WNDCLASSEXW slider{ sizeof slider };
    if (::GetClassInfoExW(::GetModuleHandleW(nullptr), CRangeSlider::kClassName, &slider)) {
        slider.hInstance = app.m_hInstance;
        ::RegisterClassExW(&slider);
    }
    if (!dlg->Create(photo ? IDD_PHOTO_SEARCH : IDD_SIGNATURE_SEARCH, nullptr)) {
        std::printf("the dialog cannot be created\n");
        return 1;
    }
    dlg->ShowWindow(SW_SHOW);
    PumpUntil([] { return false; }, 100);

    // Any disk will do: the range is the image's.
    CTreeClass& tree = dlg->DriveTree();
    const HTREEITEM disk = tree.GetChildItem(dlg->PhysicalDrivesItem());
    if (disk == nullptr) {
        std::printf("no disk in the drive tree\n");
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
    dlg->OnBnClickedNext();
    const std::wstring dest = folder + L"\\zr_bench_carvesearch_out";
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
    g_pMainDlg = nullptr;
    RemoveTree(dest);
    return 0;
}

bool RunChild(const wchar_t* search, const std::wstring& image, const std::wstring& folder, const std::wstring& result)
{
    return RunSelf(std::wstring(search) + L" \"" + image + L"\" \"" + folder + L"\" \"" + result + L"\"");
}

} // namespace

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc == 5 && (std::wstring(argv[1]) == L"photo" || std::wstring(argv[1]) == L"signature"))
        return RunSearch(std::wstring(argv[1]) == L"photo", argv[2], argv[3], argv[4]);

    const std::wstring folder = FolderArgument(argc, argv, 1);
    const uint64_t mib = argc > 2 ? _wtoi64(argv[2]) : 2048;
    const uint64_t files = argc > 3 ? _wtoi64(argv[3]) : 500;

    // The planted files begin with the General signatures of the three searches, as in bench_carve
    // (which keeps the same image).
    std::vector<FileType1> planted;
    for (const wchar_t* name : { L"\\QORVENExt2.dll", L"\\QORVENSig.dll", L"\\QORVENVideo.dll" }) {
        std::vector<int32_t> offsets;
        AddAllEntries(ParseSignatureFile(ReadWhole(std::wstring(DataFilePath(name).GetString()))), planted, offsets);
    }
    const std::wstring image =
        folder + L"\\zr_bench_carve_" + std::to_wstring(mib) + L"_" + std::to_wstring(files) + L"files.img";
    if (ImageBytes(image) != (mib << 20)) {
        const auto t0 = Clock::now();
        if (planted.empty() || !MakePlantedImage(image, mib, files, planted)) {
            wprintf(L"cannot make %ls\n", image.c_str());
            return 1;
        }
        wprintf(L"made %ls (%llu MiB, %llu files) in %.1f s\n", image.c_str(), (unsigned long long)mib,
                (unsigned long long)files, Seconds(t0, Clock::now()));
    }
    const uint64_t bytes = mib << 20;
    SequentialRead(image, bytes);
    const double read = SequentialRead(image, bytes);
    // As in bench_carve: a plain write of the image's size (which the General passes come near,
    // since every byte after a header is saved), made before the searches so that they write into
    // memory the system has at hand.
    const double write = SequentialWrite(folder, bytes);
    wprintf(L"%llu MiB, %llu planted files; sequential read: %.0f MB/s, sequential write: %.0f MB/s\n",
            (unsigned long long)mib, (unsigned long long)files, read, write);
    wprintf(L"%-18ls %-9ls %18ls %8ls %12ls %8ls %8ls\n", L"search", L"pass", L"scan", L"finds", L"thumbnails",
            L"shown", L"peak");
    for (const wchar_t* search : { L"photo", L"signature" }) {
        const std::wstring result = image + L"." + search + L".txt";
        double general = 0, thorough = 0, thumbs = 0, peak = 0;
        unsigned long long generalFinds = 0, thoroughFinds = 0;
        int shown = 0;
        FILE* in = nullptr;
        if (!RunChild(search, image, folder, result) || (in = _wfopen(result.c_str(), L"r")) == nullptr ||
            std::fscanf(in, "%lf %lf %lf %lf %llu %llu %d", &general, &thorough, &thumbs, &peak, &generalFinds,
                        &thoroughFinds, &shown) != 7) {
            wprintf(L"%-18ls failed\n", search);
            if (in != nullptr)
                std::fclose(in);
            continue;
        }
        std::fclose(in);
        ::DeleteFileW(result.c_str());
        const bool photo = std::wstring(search) == L"photo";
        const wchar_t* name = photo ? L"Photo Search" : L"Signature Search";
        const double rates[2] = { double(bytes) / (1 << 20) / general, double(bytes) / (1 << 20) / thorough };
        for (int pass = 0; pass < 2; ++pass) {
            CString thumbnails = L"-";
            if (photo && pass == 1)
                thumbnails.Format(L"%.2f s", thumbs);
            CString shownText = L"-";
            if (photo && pass == 1)
                shownText.Format(L"%d", shown);
            wprintf(L"%-18ls %-9ls %7.0f MB/s (%.2f) %8llu %12ls %8ls %6.0f MiB\n", name,
                    pass == 0 ? L"General" : L"Thorough", rates[pass], rates[pass] / read,
                    pass == 0 ? generalFinds : thoroughFinds, thumbnails.GetString(), shownText.GetString(), peak);
        }
    }
    return 0;
}
