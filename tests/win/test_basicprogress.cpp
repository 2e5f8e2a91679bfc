// What a user sees while a Basic Search runs on a real image: where the scan is, what it does
// after the last sector, and the texts and controls of each page around it.

#include <algorithm>
#include <functional>

#include "app/notices.h"
#include "app/startup.h"
#include "app/waitdialogs.h"
#include "common/basic_search_fixture.h"
#include "common/images.h"
#include "common/ui_wait.h"
#include "resources/resource.h"
#include "storage/pure/globals.h"

namespace {

using namespace zr_test;

// One look at the status controls after a report of the scan.
struct Sample {
    CString scanned, current, status, probeDone, probeTotal;
    bool statusShown = false, probeShown = false, scannedShown = false;
    int rangeMax = 0, position = 0;
};

// Every report the scan sent, as it was sent, and a look at the controls once the dialog has
// taken each (the worker waits for it meanwhile).
std::vector<ScanStatusSnapshot> g_reports;
HWND g_dialog = nullptr;
std::function<void()> g_lookAfterReport;
LRESULT CALLBACK RecordStatusReports(int code, WPARAM w, LPARAM l)
{
    const CWPSTRUCT* sent = reinterpret_cast<const CWPSTRUCT*>(l);
    if (code == HC_ACTION && sent->hwnd == g_dialog && sent->message == WM_ZR_BASIC_SCAN_STATUS && sent->lParam != 0)
        g_reports.push_back(*reinterpret_cast<const ScanStatusSnapshot*>(sent->lParam));
    return ::CallNextHookEx(nullptr, code, w, l);
}
LRESULT CALLBACK LookAfterReport(int code, WPARAM w, LPARAM l)
{
    const CWPRETSTRUCT* sent = reinterpret_cast<const CWPRETSTRUCT*>(l);
    if (code == HC_ACTION && sent->hwnd == g_dialog && sent->message == WM_ZR_BASIC_SCAN_STATUS && g_lookAfterReport)
        g_lookAfterReport();
    return ::CallNextHookEx(nullptr, code, w, l);
}

class ScanViewTest : public BasicSearchTest {
protected:
    CString Text(int id)
    {
        CString text;
        dlg.GetDlgItemText(id, text);
        return text;
    }
    bool Shown(int id) { return dlg.GetDlgItem(id)->IsWindowVisible() != FALSE; }
    int RangeMax() { return (int)dlg.SendDlgItemMessage(IDC_BS_PROGRESS, PBM_GETRANGE, FALSE, 0); }

    // Lets the scan go one report at a time (each report waits until this thread takes it) and
    // looks at the controls after each, until the scan's worker has ended.
    std::vector<Sample> WatchScan()
    {
        g_dialog = dlg.GetSafeHwnd();
        g_reports.clear();
        std::vector<Sample> samples;
        g_lookAfterReport = [&] {
            Sample s;
            s.scanned = Text(IDC_BS_SCANNED);
            s.current = Text(IDC_BS_CURRENT);
            s.status = Text(IDC_BS_STATUS);
            s.probeDone = Text(IDC_BS_PROBE_DONE);
            s.probeTotal = Text(IDC_BS_PROBE_TOTAL);
            s.statusShown = Shown(IDC_BS_STATUS);
            s.probeShown = Shown(IDC_BS_PROBE_LABEL) && Shown(IDC_BS_PROBE_DONE) && Shown(IDC_BS_PROBE_TOTAL);
            s.scannedShown = Shown(IDC_BS_SCANNED) && Shown(IDC_BS_CURRENT);
            s.rangeMax = RangeMax();
            s.position = (int)dlg.SendDlgItemMessage(IDC_BS_PROGRESS, PBM_GETPOS, 0, 0);
            samples.push_back(s);
        };
        HHOOK hook = ::SetWindowsHookExW(WH_CALLWNDPROC, RecordStatusReports, nullptr, ::GetCurrentThreadId());
        HHOOK after = ::SetWindowsHookExW(WH_CALLWNDPROCRET, LookAfterReport, nullptr, ::GetCurrentThreadId());
        const DWORD start = ::GetTickCount();
        while (dlg.ScanThread() != nullptr && ::GetTickCount() - start < 120000) {
            ::MsgWaitForMultipleObjectsEx(0, nullptr, 20, QS_SENDMESSAGE, 0);
            MSG msg;
            ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
        ::UnhookWindowsHookEx(after);
        ::UnhookWindowsHookEx(hook);
        g_lookAfterReport = nullptr;
        EXPECT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 30000));
        return samples;
    }

    // Next on a drive letter; the page as Next leaves it, before the scan has told anything.
    void StartScan(const wchar_t* letter, const wchar_t* image, const wchar_t* fs)
    {
        SelectDrive(letter, image, fs);
        dlg.SetDlgItemText(IDC_BS_CURRENT_FOLDER, L"3 Folders, 9 Files");
        NextAnswering(IDC_LOG_LOGICAL);
        ASSERT_NE(nullptr, dlg.ScanThread());
        EXPECT_EQ(CString(L"Validating Partition ..."), Text(IDC_BS_SCANNED));
        EXPECT_TRUE(Text(IDC_BS_CURRENT).IsEmpty());
        EXPECT_TRUE(Text(IDC_BS_CURRENT_FOLDER).IsEmpty());
        EXPECT_EQ(CString(HintStopSearching), Text(IDC_BS_PATH));
        // The bar counts the selected range's sectors, a block of 512 a step.
        EXPECT_EQ(int(imageSectors), RangeMax());
        EXPECT_EQ(512, (int)dlg.SendDlgItemMessage(IDC_BS_PROGRESS, PBM_GETSTEP, 0, 0));
        EXPECT_TRUE(Shown(IDC_BS_STOP) && Shown(IDC_BS_SCANNED) && Shown(IDC_BS_RANGE));
        EXPECT_FALSE(dlg.ProgressAreaWide());
    }

    // The results page once the scan is over: its running texts gone, the hint for saving.
    void ExpectFinished()
    {
        EXPECT_EQ(CString(HintSelectFiles), Text(IDC_BS_PATH));
        // The bar took its full width again when the scan's counters went.
        EXPECT_TRUE(dlg.ProgressAreaWide());
        for (int id : { IDC_BS_STATUS, IDC_BS_PROBE_LABEL, IDC_BS_PROBE_DONE, IDC_BS_PROBE_TOTAL, IDC_BS_STOP,
                        IDC_BS_SCANNED, IDC_BS_CURRENT, IDC_BS_PROGRESS })
            EXPECT_FALSE(Shown(id)) << id;
    }

    // The finishing steps were on screen, in order, and the scan told no more than a few hundred
    // reports for its many thousand blocks or records.
    void ExpectFinishingSteps(const std::vector<Sample>& samples, int phases)
    {
        size_t lost = samples.size(), storing = samples.size();
        for (size_t i = 0; i < samples.size(); ++i) {
            if (samples[i].statusShown && samples[i].status == L"Searching Lost Directories. Please wait..." &&
                lost == samples.size())
                lost = i;
            if (samples[i].statusShown && samples[i].status == L"Storing Directory Information. Please wait...")
                storing = std::min(storing, i);
        }
        EXPECT_LT(lost, samples.size());
        EXPECT_LT(storing, samples.size());
        EXPECT_LT(lost, storing);
        EXPECT_LE(g_reports.size(), size_t(phases) * (ProgressThrottle::kSteps + 2) + 2);
    }
};

uint64_t Number(const CString& text)
{
    return StrToUInt64(text.GetString());
}

TEST_F(ScanViewTest, FatScanShowsTheSectorItReachesAndThenItsFinishingSteps)
{
    StartScan(L"X:", L"fat32.img", L"FAT32");
    const std::vector<Sample> samples = WatchScan();
    const VolumeGeometryRecord& geometry = dlg.Target().geometry;
    const uint64_t first = geometry.cluster0Start + 2ull * geometry.sectorsPerCluster;
    CString total;
    total.Format(L"sectors scanned of total %llu", (unsigned long long)imageSectors);
    uint64_t last = 0;
    int seen = 0;
    for (const Sample& s : samples) {
        if (s.scanned != total || s.current.IsEmpty())
            continue;
        ++seen;
        EXPECT_TRUE(s.scannedShown);
        const uint64_t at = Number(s.current);
        EXPECT_GE(at, last);
        EXPECT_TRUE(at >= first && at < imageSectors) << at;
        EXPECT_EQ(int(imageSectors - first), s.rangeMax);
        EXPECT_NEAR(double(at - first), double(s.position), 512.0);
        last = at;
    }
    // A volume of 655,360 sectors is read in 1,280 blocks: the counter moves many times.
    EXPECT_GE(seen, 20);
    ExpectFinishingSteps(samples, 4);
    ExpectFinished();
}

TEST_F(ScanViewTest, NtfsScanCountsTheRecordSectorsOfItsMft)
{
    StartScan(L"Y:", L"ntfs.img", L"NTFS");
    const std::vector<Sample> samples = WatchScan();
    uint64_t total = 0, last = 0;
    for (const Sample& s : samples) {
        if (s.scanned.Find(L"sectors scanned of total ") != 0 || s.current.IsEmpty())
            continue;
        total = Number(s.scanned.Mid(25));
        const uint64_t read = Number(s.current);
        EXPECT_GE(read, last);
        EXPECT_EQ(0u, read % 2);
        EXPECT_EQ(int(total), s.rangeMax);
        EXPECT_EQ(int(read), s.position);
        last = read;
    }
    ASSERT_GT(total, 0u);
    // The last report of the records ends on the last sector of the $MFT's runs.
    const auto records = std::find_if(g_reports.rbegin(), g_reports.rend(),
                                      [](const ScanStatusSnapshot& r) { return r.phase == BasicScanPhase::NtfsScan; });
    ASSERT_NE(g_reports.rend(), records);
    EXPECT_EQ(total, records->end);
    EXPECT_EQ(total, records->done);
    ExpectFinishingSteps(samples, 4);
    ExpectFinished();
}

TEST_F(ScanViewTest, GeometryProbeShowsItsOwnCounterInPlaceOfTheScans)
{
    StartScan(L"S:", L"fatzero.img", L"FAT16");
    const std::vector<Sample> samples = WatchScan();
    CString total;
    total.Format(L"/ %llu", (unsigned long long)imageSectors);
    int probing = 0;
    for (const Sample& s : samples) {
        if (!s.probeShown)
            continue;
        ++probing;
        EXPECT_FALSE(s.scannedShown);
        EXPECT_FALSE(s.statusShown);
        EXPECT_EQ(total, s.probeTotal);
        EXPECT_LE(Number(s.probeDone), imageSectors);
        EXPECT_EQ(int(imageSectors), s.rangeMax);
    }
    EXPECT_GE(probing, 1);
    ExpectFinished();
}

// Back on the results page: the wait dialog while the results go, the path line and the
// folder labels of the results page reset, a log named at start-up forgotten.
TEST_F(ScanViewTest, PathLabelNamesTheListedFolderAndBackResetsThePage)
{
    ScanDrive(L"X:");
    CTreeClass& tree = dlg.ResultTree();
    const HTREEITEM root = tree.GetRootItem(), photos = ResultChild(root, "PHOTOS");
    const HTREEITEM album = ResultChild(photos, "Album");
    ASSERT_TRUE(photos != nullptr && album != nullptr);
    ListFolder(album);
    EXPECT_TRUE(Shown(IDC_BS_PS_NOTE));
    EXPECT_EQ(tree.GetItemText(photos) + L"\\" + tree.GetItemText(album), Text(IDC_BS_PS_NOTE));

    // "Root" brings the tree back to its top.
    tree.EnsureVisible(album);
    tree.SendMessage(WM_VSCROLL, SB_BOTTOM, 0);
    ListFolder(root);
    EXPECT_EQ(CString(L"Root"), Text(IDC_BS_PS_NOTE));
    EXPECT_EQ(root, tree.GetFirstVisibleItem());

    // While a partition search runs, a folder selected is not listed.
    main.PartitionSearchRunning = 1;
    tree.SelectItem(photos);
    PumpPending();
    EXPECT_EQ(nullptr, g_pPopulateListThread);
    EXPECT_EQ(root, dlg.Listing().LastPopulatedItem);
    main.PartitionSearchRunning = 0;

    SetCommandLineLogPath(L"C:\\some.qlx");
    dlg.OnBnClickedBack();
    EXPECT_EQ(0, dlg.Page());
    EXPECT_TRUE(CommandLineLogPath.IsEmpty());
    ASSERT_NE(nullptr, main.WaitDialog); // it was shown, and is hidden again
    EXPECT_FALSE(main.WaitDialog->IsWindowVisible());
    EXPECT_TRUE(dlg.IsWindowEnabled());
    EXPECT_TRUE(Text(IDC_BS_PS_NOTE).IsEmpty());
    for (int id : { IDC_BS_PS_NOTE, IDC_BS_CURRENT_GROUP, IDC_BS_CURRENT_FOLDER })
        EXPECT_FALSE(Shown(id)) << id;
    EXPECT_EQ(CString(HintSelectDrive), Text(IDC_BS_PATH));
}

} // namespace
