// Scan logs through the Basic Search dialog: a scan saved and loaded again, in a fresh dialog and
// as the start-up log, gives the same tree, volume and file lists and saves the truth's bytes;
// moved media are asked about; bad logs end with their message, never a crash or a hang.
#include <cstdlib>
#include <random>

#include "app/startup.h"
#include "app/waitdialogs.h"
#include "common/basic_search_fixture.h"
#include "common/images.h"
#include "common/real_boxes.h"
#include "common/spill_disks.h"
#include "common/ui_wait.h"
#include "fsrecovery/deepsearch.h"
#include "fsrecovery/pure/scan_log_results.h"
#include "resources/resource.h"
#include "storage/pure/globals.h"

namespace {

using namespace zr_test;

CString g_logPath;
CString PickLog(CWnd*, bool)
{
    return g_logPath;
}

// One results item as a person sees it, with its folder record.
struct Item {
    int depth;
    CString text;
    bool hasNode;
    uint32_t own, parent, deleted;
    uint64_t date, time;
    bool operator==(const Item& o) const
    {
        return depth == o.depth && text == o.text && hasNode == o.hasNode && own == o.own && parent == o.parent &&
            deleted == o.deleted && date == o.date && time == o.time;
    }
};

struct Volume {
    SelectedVolumeRecord volume;
    VolumeGeometryRecord geometry;
    FatVolumeParamsRecord params;
};

bool SameVolume(const Volume& a, const Volume& b)
{
    auto same = [](const VolumeGeometryRecord& x, const VolumeGeometryRecord& y) {
        return x.sectorsPerFat == y.sectorsPerFat && x.sectorsPerCluster == y.sectorsPerCluster &&
            x.rootDirSectors == y.rootDirSectors && x.rootStart == y.rootStart &&
            x.reservedSectors == y.reservedSectors && x.cluster0Start == y.cluster0Start &&
            x.firstFatSector == y.firstFatSector && x.secondFatSector == y.secondFatSector &&
            x.mftSector == y.mftSector && x.mftMirrSector == y.mftMirrSector &&
            x.sectorsPerFileRecord == y.sectorsPerFileRecord && x.sectorsPerIndexRecord == y.sectorsPerIndexRecord;
    };
    const SelectedVolumeRecord &v = a.volume, &w = b.volume;
    return v.diskNumber == w.diskNumber && v.fsName == w.fsName && v.startSector == w.startSector &&
        v.endSector == w.endSector && v.sizeSectors == w.sizeSectors && v.sizeBytes == w.sizeBytes &&
        same(a.geometry, b.geometry) && same(a.params, b.params) && a.params.partitionType == b.params.partitionType;
}

class ScanLogTest : public BasicSearchTest {
protected:
    void SetUp() override
    {
        BasicSearchTest::SetUp();
        SetScanLogPathPicker(PickLog);
    }
    void TearDown() override
    {
        SetScanLogPathPicker(nullptr);
        ClearCommandLineLogPath();
        SplashMayClose = 0;
        BasicSearchTest::TearDown();
    }

    static CString TempLog(const wchar_t* name)
    {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        return CString(temp) + name;
    }

    // Under Wine a drive letter reports the size of the folder behind it; the drive list is made
    // to tell the image's size, as the system would for a real drive.
    void ListDriveAs(const wchar_t* letter, uint64_t sectors, const wchar_t* as = nullptr)
    {
        const CString path = CString(L"\\\\.\\") + letter;
        CString key;
        key.Format(L"%ls|%llu", (as ? CString(L"\\\\.\\") + as : path).GetString(), (unsigned long long)sectors);
        for (int i = 0; i < LogicalDriveKeys.GetSize(); ++i)
            if (LogicalDriveKeys[i].Find(path + L"|") == 0) {
                LogicalDriveKeys.RemoveAt(i);
                break;
            }
        LogicalDriveKeys.Add(key);
    }

    std::vector<Item> Tree()
    {
        std::vector<Item> items;
        Walk(dlg.ResultTree().GetRootItem(), 0, items);
        return items;
    }
    void Walk(HTREEITEM item, int depth, std::vector<Item>& out)
    {
        CTreeClass& tree = dlg.ResultTree();
        for (; item != nullptr; item = tree.GetNextSiblingItem(item)) {
            const FolderNode* node = (const FolderNode*)tree.GetItemData(item);
            out.push_back({ depth, tree.GetItemText(item), node != nullptr, node ? node->ownId : 0,
                            node ? node->parentId : 0, node ? node->deleted : 0, node ? node->date : 0,
                            node ? node->time : 0 });
            Walk(tree.GetChildItem(item), depth + 1, out);
        }
    }

    // The rows the file list shows now: name, type, size, date and time, in name order.
    std::vector<CString> ListedRows()
    {
        std::vector<CString> rows;
        CListCtrl& list = *dlg.DetailList();
        for (int row = 0; row < list.GetItemCount(); ++row) {
            CString line;
            for (int column = 0; column < 5; ++column)
                line += list.GetItemText(row, column) + L"\t";
            rows.push_back(line);
        }
        std::sort(rows.begin(), rows.end(), [](const CString& a, const CString& b) { return a < b; });
        return rows;
    }

    // The rows of every folder's listing: name, type, size, date and time.
    std::vector<std::vector<CString>> Listings()
    {
        std::vector<std::vector<CString>> all;
        std::vector<HTREEITEM> items;
        CTreeClass& tree = dlg.ResultTree();
        std::function<void(HTREEITEM)> collect = [&](HTREEITEM item) {
            for (; item != nullptr; item = tree.GetNextSiblingItem(item)) {
                items.push_back(item);
                collect(tree.GetChildItem(item));
            }
        };
        collect(tree.GetRootItem());
        for (HTREEITEM item : items) {
            tree.SelectItem(nullptr);
            ListFolder(item);
            all.push_back(ListedRows());
        }
        return all;
    }

    // The selected volume, its geometry and its parameters as a save would write them now.
    Volume CurrentVolume()
    {
        ScanLogData data;
        data.header.mode = uint32_t(dlg.Mode());
        AddRequestToLog(dlg.Request(), dlg.Store(), data);
        return { data.volume, data.geometry, data.params };
    }

    // The dialog closed and made again, as a later run of the program would show it.
    void Reopen(const CString& commandLineLog = CString())
    {
        notices.reset();
        dlg.DestroyWindow();
        PumpPending();
        dlg.SetPage(0);
        SetCommandLineLogPath(commandLineLog);
        ASSERT_TRUE(dlg.Create(IDD_BASIC_SEARCH, nullptr));
        notices = std::make_unique<DialogAnswerer>(IDC_MS_OK, IDC_MS_OK, dlg.GetSafeHwnd());
        dlg.ShowWindow(SW_SHOW);
    }

    bool Loaded() { return dlg.Page() == 10 && g_pPopulateListThread == nullptr && !dlg.LogLoading(); }

    void Load(const CString& path)
    {
        g_logPath = path;
        dlg.OnBnClickedLoadLog();
        PumpUntil([] { return g_pPopulateListThread == nullptr; }, 30000);
    }

    bool Said(const wchar_t* part)
    {
        for (const CString& box : g_boxes)
            if (box.Find(part) >= 0)
                return true;
        return false;
    }

    bool OnDrivePage()
    {
        return dlg.Page() == 0 && dlg.DriveTree().IsWindowVisible() && !dlg.ResultTree().IsWindowVisible() &&
            Enabled(IDC_BS_BACK) && Enabled(IDC_BS_NEXT) && !dlg.LogLoading();
    }

    // After a log that failed part way: what was read of it in the results tree, shown and
    // disabled, on the first page, where Load Log may be pressed again.
    bool FailedPartWay()
    {
        return dlg.Page() == 0 && dlg.ResultTree().IsWindowVisible() && !dlg.ResultTree().IsWindowEnabled() &&
            !dlg.DriveTree().IsWindowVisible() && Enabled(IDC_BS_BACK) && Enabled(IDC_BS_NEXT) && !dlg.LogLoading();
    }

    // Scans the medium and saves its log; the drive list then tells the image's size.
    void ScanAndSave(const Medium& m, const CString& path)
    {
        ScanMedium(m);
        ASSERT_FALSE(HasFatalFailure());
        g_boxes.clear();
        g_logPath = path;
        dlg.OnBnClickedSaveLog();
        ASSERT_EQ(1u, g_boxes.size());
        EXPECT_GE(g_boxes[0].Find(L"saved successfully"), 0);
        EXPECT_TRUE(dlg.LogSaved());
        g_boxes.clear();
    }

    // The table cases below, each run over a part of its table by a case of its own.
    void ExpectResultsComeBackFromTheLog(const std::vector<Medium>& media);
    void ExpectNoBootSectorsClaimReachesPastItsPartition(PartitionKind kind);
};

const Medium kFat32{ L"fat32.img", L"X:", L"FAT32" };

// A scan saved into a log and loaded again, in a fresh dialog and as the start-up log, gives the
// same tree, volume and folder listings, and the files saved from the loaded results are the
// truth's, byte for byte.
void ScanLogTest::ExpectResultsComeBackFromTheLog(const std::vector<Medium>& media)
{
    for (const Medium& m : media) {
        SCOPED_TRACE(Narrow(m.image));
        if (CString(m.image) == ExtensionDisk().image && PartitionOneFiles(m.image).empty())
            continue; // made without a FUSE mount: it holds no files
        const CString path = TempLog(L"zr_roundtrip.QLX");
        ScanAndSave(m, path);
        if (HasFatalFailure())
            return;
        const uint64_t sectors = imageSectors;
        const std::vector<Item> tree = Tree();
        const Volume volume = CurrentVolume();
        const std::vector<std::vector<CString>> listings = Listings();
        ASSERT_GE(tree.size(), 5u);

        for (bool startUp : { false, true }) {
            SCOPED_TRACE(startUp ? "start-up log" : "Load Log");
            dlg.Request() = ScanRequest();
            Reopen(startUp ? path : CString());
            if (HasFatalFailure())
                return;
            if (m.letter != nullptr)
                ListDriveAs(m.letter, sectors);
            g_boxes.clear();
            if (startUp) {
                EXPECT_EQ(1, SplashMayClose.load()); // the dialog has taken the log over
                ASSERT_TRUE(PumpUntil([&] { return Loaded(); }, 30000));
                EXPECT_TRUE(CommandLineLogPath.IsEmpty());
            } else {
                Load(path);
                ASSERT_TRUE(Loaded());
            }
            ASSERT_EQ(1u, g_boxes.size()) << ToUtf8(g_boxes[0]);
            EXPECT_GE(g_boxes[0].Find(L"loaded successfully"), 0);
            EXPECT_EQ(dlg.ResultTree().GetRootItem(), dlg.ResultTree().GetSelectedItem());
            EXPECT_TRUE(Enabled(IDC_BS_BACK));
            EXPECT_FALSE(Enabled(IDC_BS_NEXT));
            EXPECT_TRUE(Tree() == tree);
            EXPECT_TRUE(SameVolume(volume, CurrentVolume()));
            EXPECT_TRUE(Listings() == listings);
            // Nothing new to save: leaving asks only whether to exit.
            EXPECT_TRUE(dlg.LogSaved());
        }

        // Files saved from the loaded results are the truth's, byte for byte (but for a folder of
        // many plain files, which the save passes over).
        const std::string bulk = CString(m.image) == ExtensionDisk().image ? "Fill" : "BULK";
        const std::map<std::string, std::string> saved =
            SaveEverything(NewTempFolder(L"zr_logsave"), ResultChild(dlg.ResultTree().GetRootItem(), bulk.c_str()));
        int checked = 0;
        for (TruthLine e : LoadTruth(m.image)) {
            if (e.path.compare(0, m.truthPrefix.size(), m.truthPrefix) != 0 || e.isDir() ||
                (e.state != "live" && e.state != "deleted") ||
                e.notes.find("parent-overwritten") != std::string::npos ||
                e.path.find("/" + bulk + "/") != std::string::npos)
                continue;
            ++checked;
            EXPECT_EQ(1u, saved.count(e.sha256)) << e.path;
        }
        EXPECT_GE(checked, 5);
        dlg.OnBnClickedBack();
        g_boxes.clear();
        ::DeleteFileW(path);
    }
}

TEST_F(ScanLogTest, ResultsOfADriveLetterComeBackFromTheLogInAFreshDialogAndAtStartUp)
{
    ExpectResultsComeBackFromTheLog({
        { L"fat16.img", L"W:", L"FAT16" },
        kFat32,
        { L"ntfs.img", L"Y:", L"NTFS" },
    });
}

TEST_F(ScanLogTest, ResultsOfADiskPartitionComeBackFromTheLogInAFreshDialogAndAtStartUp)
{
    ExpectResultsComeBackFromTheLog({
        { L"mbr.img", nullptr, L"FAT32", L"(Disk2 ", L"Partition - 1", "1:" },
        ExtensionDisk(), // files and a folder in several records each, deleted files among them
    });
}

// The results page shows the frame "Current Folder" with the listed folder's counts in it, above
// the results tree and the file list, after a scan and after a log load alike; neither shows while
// the scan runs nor after Back, where the list has its drive-page place again and nothing of the
// scan (its range, counters, Stop, progress bar) is left.
TEST_F(ScanLogTest, TheResultsPageShowsTheFolderCountsAfterAScanAndAfterALoad)
{
    const auto shown = [&](int id) { return dlg.GetDlgItem(id)->IsWindowVisible() != FALSE; };
    const auto rect = [&](HWND control) {
        CRect r;
        ::GetWindowRect(control, &r);
        dlg.ScreenToClient(&r);
        return r;
    };
    // By handle: the group box has no object of its own, and what GetDlgItem lends for it is gone
    // once the scan's loops went idle; its counts are kept alike.
    const HWND frame = ::GetDlgItem(dlg, IDC_BS_CURRENT_GROUP);
    const HWND counts = ::GetDlgItem(dlg, IDC_BS_CURRENT_FOLDER);
    CListCtrl& list = *dlg.DetailList();
    const CRect drivePageList = rect(list);
    const auto resultsPageShown = [&](const char* when) {
        SCOPED_TRACE(when);
        EXPECT_TRUE(shown(IDC_BS_CURRENT_GROUP));
        EXPECT_TRUE(shown(IDC_BS_CURRENT_FOLDER));
        EXPECT_EQ(CountsOfList(list), dlg.GetDlgItemText(IDC_BS_CURRENT_FOLDER));
        EXPECT_TRUE(list.IsWindowVisible());
        CRect both;
        EXPECT_TRUE(both.IntersectRect(rect(frame), rect(counts)) && both == rect(counts)) << "counts outside the frame";
        for (CWnd* below : { static_cast<CWnd*>(&list), static_cast<CWnd*>(&dlg.ResultTree()) })
            EXPECT_FALSE(both.IntersectRect(rect(frame), rect(*below))) << "the frame lies over " << below->GetDlgCtrlID();
        EXPECT_EQ(rect(dlg.ResultTree()).top, rect(list).top);
        EXPECT_EQ(rect(dlg.ResultTree()).bottom, rect(list).bottom);
    };
    const auto drivePageShown = [&](const char* when) {
        SCOPED_TRACE(when);
        EXPECT_FALSE(shown(IDC_BS_CURRENT_GROUP));
        EXPECT_FALSE(shown(IDC_BS_CURRENT_FOLDER));
        EXPECT_EQ(drivePageList, rect(list));
        EXPECT_FALSE(shown(IDC_BS_PROGRESS));
        for (int id : dlg.Layout().resultControls)
            EXPECT_FALSE(shown(id)) << id;
    };

    SelectDrive(L"X:");
    NextAnswering(IDC_LOG_LOGICAL);
    ASSERT_NE(nullptr, dlg.ScanThread());
    EXPECT_FALSE(shown(IDC_BS_CURRENT_GROUP));
    EXPECT_FALSE(shown(IDC_BS_CURRENT_FOLDER));
    ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 30000));
    ASSERT_GT(list.GetItemCount(), 0);
    resultsPageShown("after the scan");
    const CString path = TempLog(L"zr_pagecounts.QLX");
    g_logPath = path;
    dlg.OnBnClickedSaveLog();
    ASSERT_TRUE(dlg.LogSaved());
    const uint64_t sectors = imageSectors;
    dlg.OnBnClickedBack();
    drivePageShown("Back after the scan");

    ListDriveAs(L"X:", sectors);
    g_boxes.clear();
    Load(path);
    ASSERT_TRUE(Loaded()) << (g_boxes.empty() ? "" : ToUtf8(g_boxes[0]));
    ASSERT_GT(list.GetItemCount(), 0);
    resultsPageShown("after a load");
    dlg.OnBnClickedBack();
    drivePageShown("Back after a load");
    ::DeleteFileW(path);
}

TEST_F(ScanLogTest, AMovedMediumIsOfferedAndAMissingOneRefused)
{
    const CString path = TempLog(L"zr_moved.QLX");
    ScanAndSave(kFat32, path);
    ASSERT_FALSE(HasFatalFailure());
    const uint64_t sectors = imageSectors;
    dlg.OnBnClickedBack();

    // The drive is gone: refused, and the drive page is as it was.
    ListDriveAs(L"X:", sectors + 1);
    g_boxes.clear();
    Load(path);
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_EQ(0, g_boxes[0].Find(L"Original Media has been moved or removed."));
    EXPECT_TRUE(OnDrivePage());

    // The same size under another letter: asked with both letters; No refuses, Yes reads there.
    ListDriveAs(L"X:", sectors, L"Q:");
    for (int answer : { IDNO, IDYES }) {
        g_boxes.clear();
        g_boxAnswer = answer;
        Load(path);
        ASSERT_GE(g_boxes.size(), 1u);
        EXPECT_GE(g_boxes[0].Find(L"Drive letter 'X:' has been replaced with media of drive letter 'Q:'"), 0);
        if (answer == IDNO) {
            EXPECT_EQ(1u, g_boxes.size());
            EXPECT_TRUE(OnDrivePage());
        } else {
            EXPECT_TRUE(Said(L"loaded successfully"));
            EXPECT_EQ(CString(L"\\\\.\\Q:"), CurrentDevicePath);
            EXPECT_EQ(CString(L"\\\\.\\Q:"), dlg.Store().Volume(0).devicePath);
        }
    }
    g_boxAnswer = IDNO;
    ::DeleteFileW(path);
}

TEST_F(ScanLogTest, ADiskUnderAnotherNumberIsOffered)
{
    const CString path = TempLog(L"zr_disk.QLX");
    ScanAndSave({ L"mbr.img", nullptr, L"FAT32", L"(Disk2 ", L"Partition - 1", "1:" }, path);
    ASSERT_FALSE(HasFatalFailure());
    dlg.OnBnClickedBack();
    for (int i = 0; i < DiskDescriptionList.GetSize(); ++i) {
        CString& entry = DiskDescriptionList[i];
        // Under Wine the disks have no model: another disk of the same size would be offered first.
        if (entry.Right(3) == L"||2")
            entry = entry.Left(entry.GetLength() - 1) + L"7";
        else
            entry = L"Another disk" + entry;
    }
    g_boxAnswer = IDYES;
    Load(path);
    g_boxAnswer = IDNO;
    ASSERT_GE(g_boxes.size(), 1u);
    EXPECT_GE(g_boxes[0].Find(L"Disk number '2' has been replaced with media of disk number '7'"), 0);
    EXPECT_EQ(CString(L"\\\\.\\PhysicalDrive7"), CurrentDevicePath);
    EXPECT_EQ(7, SelectedDiskNumber);
    ::DeleteFileW(path);
}

// A drive letter read through the disk it lies on is logged with that disk, not with the disk
// clicked before: the log loads on that disk, and without any disk clicked it loads at all.
TEST_F(ScanLogTest, ADriveLetterReadThroughItsDiskIsLoggedWithThatDisk)
{
    for (bool clickedBefore : { true, false }) {
        SCOPED_TRACE(clickedBefore ? "Disk1 clicked before" : "no disk clicked before");
        Reopen();
        ASSERT_FALSE(HasFatalFailure());
        if (clickedBefore)
            ClickDisk(1);
        else
            SelectedDiskTexts[0] = SelectedDiskTexts[2] = CString();
        SelectDrive(L"X:");
        uint64_t first = 0, end = 0;
        PlaceDriveOnDisk(L"X:", 2, 0, first, end);
        ASSERT_FALSE(HasFatalFailure());
        NextAnswering(IDC_LOG_PHYSICAL);
        ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 60000));
        EXPECT_EQ(CString(L"\\\\.\\PhysicalDrive2"), dlg.Request().target.devicePath);
        EXPECT_EQ(CString(L"||2"), dlg.Request().diskDescription.Right(3));
        const std::vector<Item> tree = Tree();

        const CString path = TempLog(L"zr_physical.QLX");
        g_logPath = path;
        g_boxes.clear();
        dlg.OnBnClickedSaveLog();
        dlg.OnBnClickedBack();
        g_boxes.clear();
        Load(path);
        ASSERT_TRUE(Loaded()) << (g_boxes.empty() ? "" : ToUtf8(g_boxes[0]));
        EXPECT_TRUE(Said(L"loaded successfully"));
        EXPECT_EQ(CString(L"\\\\.\\PhysicalDrive2"), CurrentDevicePath);
        EXPECT_EQ(CString(L"\\\\.\\PhysicalDrive2"), dlg.Store().Volume(0).devicePath);
        EXPECT_TRUE(Tree() == tree);
        ::DeleteFileW(path);
    }
}

// A scan that found no volume (a FAT drive scanned as NTFS) still saves a log that loads: the
// log keeps the selected file system, not an empty one.
TEST_F(ScanLogTest, AScanThatFoundNoVolumeSavesALogThatLoads)
{
    const CString path = TempLog(L"zr_novolume.QLX");
    ScanAndSave({ L"fat32.img", L"X:", L"NTFS" }, path);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(0u, dlg.Store().VolumeCount());
    const uint64_t sectors = imageSectors;
    dlg.OnBnClickedBack();
    ListDriveAs(L"X:", sectors);
    Load(path);
    ASSERT_TRUE(Loaded()) << (g_boxes.empty() ? "" : ToUtf8(g_boxes[0]));
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_GE(g_boxes[0].Find(L"loaded successfully"), 0) << ToUtf8(g_boxes[0]);
    EXPECT_EQ(CString(L"NTFS"), CurrentVolume().params.partitionType);
    ::DeleteFileW(path);
}

// Counts the listings started on this thread while alive: each shows the "Populating" notice.
class ListingCounter {
public:
    ListingCounter() { s_hook = ::SetWindowsHookExW(WH_CALLWNDPROC, Note, nullptr, ::GetCurrentThreadId()); }
    ~ListingCounter() { ::UnhookWindowsHookEx(s_hook); }
    int Count() const { return s_count; }

private:
    static LRESULT CALLBACK Note(int code, WPARAM wParam, LPARAM lParam)
    {
        const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (code == HC_ACTION && sent->message == WM_SETTEXT && sent->lParam != 0 &&
            CString(reinterpret_cast<const wchar_t*>(sent->lParam)) == L"Populating List Items, Please wait....")
            ++s_count;
        return ::CallNextHookEx(s_hook, code, wParam, lParam);
    }
    static inline HHOOK s_hook = nullptr;
    static inline int s_count = 0;
};

// Message boxes shown for real, as a user meets them (the dialog loses its focus to the box and
// gets it back), each answered OK as soon as it is up.
HHOOK g_boxHook = nullptr;
LRESULT CALLBACK AnswerWhenUp(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE)
        ::PostMessageW(HWND(wParam), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return ::CallNextHookEx(g_boxHook, code, wParam, lParam);
}
int ShowAndAnswerAtOnce(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    g_boxes.push_back(text);
    g_boxHook = ::SetWindowsHookExW(WH_CBT, AnswerWhenUp, nullptr, ::GetCurrentThreadId());
    const int answer = ::MessageBoxW(owner, text, caption, type);
    ::UnhookWindowsHookEx(g_boxHook);
    return answer;
}

// A loaded log shows its top folder's list, listed once and whole, however soon the "loaded
// successfully" box is answered: the rows a listing of it showed after the scan.
TEST_F(ScanLogTest, ALoadedLogListsItsTopFolderOnceAndWhole)
{
    const Medium media[] = { { L"ntfs.img", L"Y:", L"NTFS" }, kFat32 };
    for (const Medium& m : media) {
        SCOPED_TRACE(Narrow(m.image));
        const CString path = TempLog(L"zr_toplisted.QLX");
        ScanAndSave(m, path);
        if (HasFatalFailure())
            return;
        const uint64_t sectors = imageSectors;
        dlg.ResultTree().SelectItem(nullptr);
        ListFolder(dlg.ResultTree().GetRootItem());
        const std::vector<CString> topRows = ListedRows();
        ASSERT_GE(topRows.size(), 3u);
        dlg.OnBnClickedBack();
        ListDriveAs(m.letter, sectors);

        const ListingCounter listings;
        const int before = listings.Count();
        g_boxes.clear();
        // Load Log pressed in the dialog, which has the focus.
        dlg.SetForegroundWindow();
        dlg.GetDlgItem(IDC_BS_LOAD_LOG)->SetFocus();
        const ZrMessageBoxHook recording = ZrSetMessageBoxHook(ShowAndAnswerAtOnce);
        Load(path);
        ZrSetMessageBoxHook(recording);
        ASSERT_TRUE(Loaded());
        ASSERT_EQ(1u, g_boxes.size());
        EXPECT_GE(g_boxes[0].Find(L"loaded successfully"), 0);
        EXPECT_EQ(dlg.ResultTree().GetRootItem(), dlg.ResultTree().GetSelectedItem());
        EXPECT_EQ(1, listings.Count() - before);
        EXPECT_TRUE(ListedRows() == topRows) << ListedRows().size() << " rows of " << topRows.size();
        dlg.OnBnClickedBack();
        ::DeleteFileW(path);
    }
}

// Answers the save-log question with `saveAnswer` and the exit question No, recording both.
int g_saveAnswer = IDNO;
int AnswerClose(HWND, LPCWSTR text, LPCWSTR, UINT)
{
    g_boxes.push_back(text);
    return CString(text).Find(L"Do you want to save the Recovery scanning Log") == 0 ? g_saveAnswer : IDNO;
}

TEST_F(ScanLogTest, LeavingAsksOnceToSaveResultsNotSavedYet)
{
    // Before a scan: nothing to save, only the exit question.
    ZrSetMessageBoxHook(AnswerClose);
    dlg.SendMessage(WM_CLOSE);
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_GE(g_boxes[0].Find(L"Do you want to exit"), 0);

    ScanDrive(L"X:");
    const auto closeAnswered = [&](size_t boxes) {
        g_boxes.clear();
        dlg.SendMessage(WM_CLOSE);
        EXPECT_EQ(boxes, g_boxes.size());
        return g_boxes.size() == 2 && g_boxes[0].Find(L"Do you want to save the Recovery scanning Log") == 0;
    };
    EXPECT_TRUE(closeAnswered(2));
    EXPECT_FALSE(closeAnswered(1)); // asked once

    // New results are asked about again; Yes writes the log, which is not asked about again.
    dlg.OnBnClickedBack();
    ScanDrive(L"X:");
    g_saveAnswer = IDYES;
    g_logPath = TempLog(L"zr_leaving.QLX");
    ::DeleteFileW(g_logPath);
    g_boxes.clear();
    dlg.SendMessage(WM_CLOSE);
    g_saveAnswer = IDNO;
    ASSERT_EQ(3u, g_boxes.size());
    EXPECT_GE(g_boxes[1].Find(L"saved successfully"), 0);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(g_logPath));
    EXPECT_TRUE(dlg.LogSaved());
    EXPECT_FALSE(closeAnswered(1));
    ::DeleteFileW(g_logPath);

    // Save Log and Load Log refuse what does not fit the page.
    g_boxes.clear();
    dlg.OnBnClickedLoadLog();
    dlg.OnBnClickedBack();
    dlg.OnBnClickedSaveLog();
    ASSERT_EQ(2u, g_boxes.size());
    EXPECT_EQ(0, g_boxes[0].Find(L"Recovery log cannot be loaded at this stage."));
    EXPECT_EQ(0, g_boxes[1].Find(L"To save the Log"));
}

// A Save Log whose writing the system refuses part way (run by test_scanlog_filesize under a
// file-size limit far below the log's size): the half-written file is deleted, the log is not
// counted as saved, so that leaving still offers to save it, and the message says so.
TEST_F(ScanLogTest, ASaveLogUnderAFileSizeLimitLeavesNoFileAndIsNotCountedAsSaved)
{
    if (std::getenv("ZR_FILE_SIZE_LIMIT") == nullptr)
        GTEST_SKIP() << "runs under test_scanlog_filesize";
    ScanDrive(L"Y:", L"ntfs.img", L"NTFS");
    g_logPath = TempLog(L"zr_refused.QLX");
    ::DeleteFileW(g_logPath);
    g_boxes.clear();
    dlg.OnBnClickedSaveLog();
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_GE(g_boxes[0].Find(L"has not been saved"), 0) << ToUtf8(g_boxes[0]);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(g_logPath));
    EXPECT_FALSE(dlg.LogSaved());
    EXPECT_TRUE(dlg.IsWindowEnabled());
    EXPECT_TRUE(Enabled(IDC_BS_BACK));

    // Leaving asks to save it; Yes tries again and fails the same way, and the exit question follows.
    g_boxes.clear();
    ZrSetMessageBoxHook(AnswerClose);
    g_saveAnswer = IDYES;
    dlg.SendMessage(WM_CLOSE);
    g_saveAnswer = IDNO;
    ASSERT_EQ(3u, g_boxes.size());
    EXPECT_EQ(0, g_boxes[0].Find(L"Do you want to save the Recovery scanning Log"));
    EXPECT_GE(g_boxes[1].Find(L"has not been saved"), 0);
    EXPECT_GE(g_boxes[2].Find(L"Do you want to exit"), 0);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(g_logPath));
    EXPECT_FALSE(dlg.LogSaved());
}

std::vector<uint8_t> ReadWhole(const CString& path)
{
    return ReadAt(std::wstring(path.GetString()), 0, 1u << 24);
}

void WriteWhole(const CString& path, const std::vector<uint8_t>& bytes)
{
    CFile file(path, CFile::modeCreate | CFile::modeWrite);
    if (!bytes.empty())
        file.Write(bytes.data(), UINT(bytes.size()));
}

int g_deepRuns = 0;
CString g_deepLogSeen;
void RecordDeepDialog(SearchHost* host)
{
    ++g_deepRuns;
    g_deepLogSeen = host != nullptr && host->LogModeSwitchPending.load() == 1 ? CommandLineLogPath : CString();
}

// What the Basic dialog that took over a log from Deep Search showed.
struct HandedOver {
    std::function<void()> run; // opens the dialog and loads the log
    int noDeviceDialogs = -1;
    int disks = 0, drives = 0, drivesAfterRefresh = 0;
    bool loaded = false;
};
HandedOver g_handedOver;

int DriveChildren(CTreeClass& tree, HTREEITEM group)
{
    int n = 0;
    for (HTREEITEM c = tree.GetChildItem(group); c != nullptr; c = tree.GetNextSiblingItem(c))
        ++n;
    return n;
}

// A Basic log opened in Deep Search and handed over: the Basic dialog lists the drives, loads the
// log from its drive without ever saying that no disk is connected, and after Back its Refresh
// Tree lists them again.
TEST_F(ScanLogTest, ALogHandedToTheOtherSearchFindsTheDrives)
{
    const CString path = TempLog(L"zr_handed.QLX");
    ScanAndSave(kFat32, path);
    ASSERT_FALSE(HasFatalFailure());
    const uint64_t sectors = imageSectors;
    dlg.OnBnClickedBack();
    notices.reset();
    dlg.DestroyWindow();
    PumpPending();

    // Deep Search, as the launcher opens it.
    main.SearchMode = kModeDeep;
    RegisterDeepSearchDialog();
    CDeepSearch deep{ &main };
    ASSERT_TRUE(deep.Create(IDD_DEEP_SEARCH, nullptr));
    auto deepNotices = std::make_unique<DialogAnswerer>(IDC_MS_OK, IDC_MS_OK, deep.GetSafeHwnd());
    deep.ShowWindow(SW_SHOW);
    ASSERT_TRUE(PumpUntil([] { return g_pDeepDriveTreeThread == nullptr; }, 20000));

    g_handedOver = HandedOver();
    g_handedOver.run = [&] {
        DialogAnswerer noDevice(IDC_ND_RETRY, IDC_ND_RETRY);
        EXPECT_EQ(kModeBasic, main.SearchMode.load());
        if (!dlg.Create(IDD_BASIC_SEARCH, nullptr))
            return;
        ListDriveAs(L"X:", sectors);
        dlg.ShowWindow(SW_SHOW);
        dlg.UpdateWindow();
        g_handedOver.loaded = PumpUntil([&] { return Loaded(); }, 30000);
        g_handedOver.disks = DriveChildren(dlg.DriveTree(), dlg.PhysicalDrivesItem());
        g_handedOver.drives = DriveChildren(dlg.DriveTree(), dlg.LogicalDrivesItem());
        dlg.OnBnClickedBack();
        dlg.OnBnClickedRefresh();
        g_handedOver.drivesAfterRefresh = DriveChildren(dlg.DriveTree(), dlg.LogicalDrivesItem());
        g_handedOver.noDeviceDialogs = noDevice.Count();
        dlg.DestroyWindow();
    };
    RegisterSearchDialog(kModeBasic, [](SearchHost*) { g_handedOver.run(); });
    g_logPath = path;
    g_boxAnswer = IDYES;
    g_boxes.clear();
    deep.OnBnClickedLoadLog();
    g_boxAnswer = IDNO;
    RegisterBasicSearchDialog();
    EXPECT_EQ(kModeDeep, main.SearchMode.load());
    deepNotices.reset();
    if (deep.GetSafeHwnd() != nullptr)
        deep.DestroyWindow();
    PumpPending();

    EXPECT_TRUE(Said(L"saved in basic Recovery mode"));
    EXPECT_TRUE(g_handedOver.loaded);
    EXPECT_TRUE(Said(L"loaded successfully"));
    EXPECT_FALSE(Said(L"could not find any Disk"));
    EXPECT_EQ(0, g_handedOver.noDeviceDialogs);
    EXPECT_GT(g_handedOver.disks, 0);
    EXPECT_GT(g_handedOver.drives, 0);
    EXPECT_EQ(g_handedOver.drives, g_handedOver.drivesAfterRefresh);
    g_handedOver = HandedOver();
    ::DeleteFileW(path);
}

// A load's message comes first, over the dialog, and stays until it is answered; only then is the
// results tree enabled and its top folder listed (the listing's "Populating" notice goes by
// itself, and a box it owned would go with it). A log that fails part way says so and leaves
// what was read on the first page, where Load Log may be pressed again. By Load Log and as the
// start-up log, whole and damaged.
TEST_F(ScanLogTest, ALoadsMessageComesFirstAndStaysUntilAnswered)
{
    const CString good = TempLog(L"zr_boxgood.QLX"), bad = TempLog(L"zr_boxbad.QLX");
    ScanAndSave(kFat32, good);
    ASSERT_FALSE(HasFatalFailure());
    const uint64_t sectors = imageSectors;
    // Damaged part way: cut inside the tree.
    const std::vector<uint8_t> bytes = ReadWhole(good);
    WriteWhole(bad, std::vector<uint8_t>(bytes.begin(), bytes.begin() + bytes.size() * 3 / 4));
    ExpectEveryLoadSaidFirst(
        dlg, good, bad,
        [&](const CString& startUpLog) {
            Reopen(startUpLog);
            ListDriveAs(L"X:", sectors);
        },
        [](const CString& log) { g_logPath = log; });
    ::DeleteFileW(good);
    ::DeleteFileW(bad);
}

// Damage in a log's head or its drive block is said as damage: never as a medium moved or
// removed, nor as a question whether a drive letter was replaced, by itself.
TEST_F(ScanLogTest, DamageBeforeTheResultsIsSaidAsDamageNotAsAMediumMoved)
{
    const CString good = TempLog(L"zr_headgood.QLX"), bad = TempLog(L"zr_headbad.QLX");
    ScanAndSave({ L"ntfs.img", L"Y:", L"NTFS" }, good);
    ASSERT_FALSE(HasFatalFailure());
    const uint64_t sectors = imageSectors;
    dlg.OnBnClickedBack();
    ListDriveAs(L"Y:", sectors);
    const std::vector<uint8_t> bytes = ReadWhole(good);
    std::vector<uint8_t> path;
    for (wchar_t c : std::wstring(L"\\\\.\\Y:"))
        path.insert(path.end(), { uint8_t(c), uint8_t(c >> 8) });
    const size_t pathAt = size_t(std::search(bytes.begin(), bytes.end(), path.begin(), path.end()) - bytes.begin());
    ASSERT_LT(pathAt, bytes.size());
    const size_t deviceEnd = pathAt + path.size() + 8; // the drive's size follows its path

    auto refusedAsDamage = [&](const std::vector<uint8_t>& log, bool withBrowseText) {
        WriteWhole(bad, log);
        g_boxes.clear();
        Load(bad);
        return g_boxes.size() == 1 && g_boxes[0].Find(L"is invalid or corrupted") >= 0 &&
            (!withBrowseText || g_boxes[0].Find(L"Please browse the valid Log file") >= 0) && OnDrivePage();
    };
    // Six bytes inserted anywhere from the start to the end of the drive block.
    const uint8_t inserted[] = { 0x01, 0x00, 0x00, 0x00, 0x31, 0x00 };
    for (size_t at = 0; at <= deviceEnd; ++at) {
        std::vector<uint8_t> log = bytes;
        log.insert(log.begin() + at, std::begin(inserted), std::end(inserted));
        ASSERT_TRUE(refusedAsDamage(log, false)) << at << ": " << (g_boxes.empty() ? "" : ToUtf8(g_boxes[0]));
    }
    // The drive path damaged where its letter is left.
    for (size_t unit = 0; unit < 4; ++unit) {
        std::vector<uint8_t> log = bytes;
        log[pathAt + 2 * unit] ^= 0x02;
        ASSERT_TRUE(refusedAsDamage(log, true)) << unit << ": " << (g_boxes.empty() ? "" : ToUtf8(g_boxes[0]));
    }
    // The log itself still loads.
    g_boxes.clear();
    Load(good);
    EXPECT_TRUE(Said(L"loaded successfully"));
    ::DeleteFileW(good);
    ::DeleteFileW(bad);
}

TEST_F(ScanLogTest, BadLogsEndWithTheirMessageAndLeaveTheDialogUsable)
{
    const CString good = TempLog(L"zr_good.QLX"), bad = TempLog(L"zr_bad.QLX");
    ScanAndSave(kFat32, good);
    ASSERT_FALSE(HasFatalFailure());
    const uint64_t sectors = imageSectors;
    dlg.OnBnClickedBack();
    ListDriveAs(L"X:", sectors);
    const std::vector<uint8_t> bytes = ReadWhole(good);
    ASSERT_GT(bytes.size(), 200u);

    // The archive's texts: the kind, then the marker (after its 4-byte head and the kind).
    std::vector<uint8_t> marker = bytes;
    const size_t kindUnits = marker[3];
    marker[4 + 2 * kindUnits + 4] ^= 1;
    std::vector<uint8_t> mode3 = bytes, deep = bytes;
    // The mode word follows the marker and the disk identity.
    size_t at = 4 + 2 * kindUnits;
    at += 4 + 2 * size_t(bytes[at + 3]);
    at += 4 + 2 * size_t(bytes[at + 3]);
    mode3[at] = 3;
    deep[at] = 2;

    const struct {
        const char* name;
        std::vector<uint8_t> data;
        const wchar_t* said;
    } cases[] = {
        { "marker", marker, L"Please select the correct drive from tree" },
        { "mode 3", mode3, L"Please browse the valid Log file or Scan the disk again." },
        { "cut in the head", std::vector<uint8_t>(bytes.begin(), bytes.begin() + 30),
          L"Please browse the valid Log file or Scan the disk again." },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteWhole(bad, c.data);
        g_boxes.clear();
        Load(bad);
        ASSERT_EQ(1u, g_boxes.size());
        EXPECT_GE(g_boxes[0].Find(c.said), 0) << ToUtf8(g_boxes[0]);
        EXPECT_TRUE(OnDrivePage());
    }

    // A Deep log: the question; No stays, Yes hands the file to the Deep dialog.
    RegisterSearchDialog(kModeDeep, RecordDeepDialog);
    WriteWhole(bad, deep);
    g_boxes.clear();
    Load(bad);
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_GE(g_boxes[0].Find(L"saved in deep Recovery mode"), 0);
    EXPECT_TRUE(OnDrivePage());
    EXPECT_EQ(0, g_deepRuns);
    g_boxAnswer = IDYES;
    Load(bad);
    g_boxAnswer = IDNO;
    EXPECT_EQ(1, g_deepRuns);
    EXPECT_EQ(bad, g_deepLogSeen);
    EXPECT_EQ(0, main.LogModeSwitchPending.load());
    RegisterSearchDialog(kModeDeep, nullptr);
    // The dialog that handed the log over went with the other one.
    EXPECT_TRUE(PumpUntil([&] { return dlg.GetSafeHwnd() == nullptr || !dlg.IsWindowVisible(); }));
    Reopen();
    ListDriveAs(L"X:", sectors);

    // Cut inside the tree: what was read whole stays, with the message, in the disabled results
    // tree, on the first page.
    WriteWhole(bad, std::vector<uint8_t>(bytes.begin(), bytes.begin() + bytes.size() * 3 / 4));
    g_boxes.clear();
    Load(bad);
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_GE(g_boxes[0].Find(L"Please browse the valid Log file or Scan the disk again."), 0);
    EXPECT_GE(dlg.ResultTree().GetCount(), 2u);
    EXPECT_TRUE(FailedPartWay());

    // A tree no scan makes (a folder placed twice, a folder moved out from under its parent):
    // damage, said as such, and only the folders before it stay.
    const auto withTree = [&](const std::function<void(std::vector<ScanLogTreeItem>&)>& change) {
        CMemFile in(bytes.data(), bytes.size());
        CArchive reading(&in, CArchive::load);
        ScanLogData data;
        EXPECT_EQ(ScanLogStatus::Ok, ReadScanLog(reading, kScanLogModeBasic, data).status);
        change(data.tree);
        CMemFile out;
        CArchive writing(&out, CArchive::store);
        WriteScanLog(writing, data);
        writing.Close();
        return out.Detach();
    };
    const struct {
        const char* what;
        std::function<void(std::vector<ScanLogTreeItem>&)> change;
    } trees[] = {
        { "placed twice", [](std::vector<ScanLogTreeItem>& tree) { tree.push_back(tree.back()); } },
        { "moved up a level",
          [](std::vector<ScanLogTreeItem>& tree) {
              for (ScanLogTreeItem& item : tree)
                  if (item.depth == 2) {
                      item.depth = 1;
                      return;
                  }
              ADD_FAILURE() << "no folder in a folder";
          } },
    };
    for (const auto& t : trees) {
        SCOPED_TRACE(t.what);
        WriteWhole(bad, withTree(t.change));
        g_boxes.clear();
        Load(bad);
        ASSERT_EQ(1u, g_boxes.size());
        EXPECT_GE(g_boxes[0].Find(L"Please browse the valid Log file or Scan the disk again."), 0);
        EXPECT_TRUE(FailedPartWay());
    }

    // Random damage: every load ends, on one page or the other, with at most its messages (the
    // pure tests put many more logs through the same reading and rebuilding).
    std::mt19937 random(14);
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> mutated = bytes;
        const int flips = 1 + int(random() % 8);
        for (int f = 0; f < flips; ++f)
            mutated[random() % mutated.size()] = uint8_t(random());
        if (random() % 4 == 0)
            mutated.resize(random() % mutated.size());
        WriteWhole(bad, mutated);
        g_boxes.clear();
        Load(bad);
        ASSERT_LE(g_boxes.size(), 2u) << round;
        ASSERT_FALSE(dlg.LogLoading()) << round;
        if (dlg.Page() != 0)
            dlg.OnBnClickedBack();
        ASSERT_TRUE(OnDrivePage() || FailedPartWay()) << round;
    }
    ::DeleteFileW(good);
    ::DeleteFileW(bad);
}

// A volume ends no later than the partition it lies in, whatever its boot sector claims: on a disk
// whose FAT16, FAT32 and NTFS volumes are MBR primary, logical or GPT partitions (`kind`; a GPT
// table gives a partition's last sector), each boot sector claiming one sector more than its
// partition or more than a cluster more, Basic Search saves the file that runs past the partition
// with the partition's whole clusters of it (none of the marker sectors after it, not without its
// last cluster), every other file as it is; and so does a save after its log is loaded.
void ScanLogTest::ExpectNoBootSectorsClaimReachesPastItsPartition(PartitionKind kind)
{
    SpillDisk disk(22, kind);
    ASSERT_TRUE(disk.Made());
    dlg.OnBnClickedRefresh();
    ASSERT_TRUE(PumpUntil([] { return g_pBasicDriveTreeThread == nullptr; }, 30000));
    for (size_t k = 0; k < disk.Volumes().size(); ++k) {
        const SpillVolume& v = disk.Volumes()[k];
        for (const uint64_t more : { uint64_t(1), v.sectorsPerCluster + uint64_t(1) }) {
            SCOPED_TRACE(testing::Message()
                         << "table " << int(kind) << ", " << Narrow(v.fs) << " claiming " << more << " more");
            ASSERT_TRUE(disk.Claim(k, { true, more }));
            const std::wstring partition = L"Partition - " + std::to_wstring(k + 1);
            const CString path = TempLog(L"zr_claim.QLX");
            ScanAndSave({ L"spilldisk.img", nullptr, v.fs.c_str(), L"(Disk22 ", partition.c_str() }, path);
            ASSERT_FALSE(HasFatalFailure());
            ExpectSavedAsThePartitionHoldsIt(disk, k, SaveEverything(NewTempFolder(L"zr_claim")));
            dlg.OnBnClickedBack();
            g_boxes.clear();
            Load(path);
            ASSERT_TRUE(Loaded()) << (g_boxes.empty() ? "" : ToUtf8(g_boxes[0]));
            ExpectSavedAsThePartitionHoldsIt(disk, k, SaveEverything(NewTempFolder(L"zr_claimload")));
            dlg.OnBnClickedBack();
            ASSERT_EQ(0, dlg.Page());
            ::DeleteFileW(path);
        }
    }
}

TEST_F(ScanLogTest, NoBootSectorsClaimReachesPastItsPrimaryPartition)
{
    ExpectNoBootSectorsClaimReachesPastItsPartition(PartitionKind::Primary);
}

TEST_F(ScanLogTest, NoBootSectorsClaimReachesPastItsLogicalPartition)
{
    ExpectNoBootSectorsClaimReachesPastItsPartition(PartitionKind::Logical);
}

TEST_F(ScanLogTest, NoBootSectorsClaimReachesPastItsGptPartition)
{
    ExpectNoBootSectorsClaimReachesPastItsPartition(PartitionKind::Gpt);
}

} // namespace
