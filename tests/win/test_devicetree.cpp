// The drive trees on the test disks, selecting their items, and the lost-partition search on a
// disk whose table was wiped.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "afxwin.h"
#include "app/maindlg.h"
#include "app/shellservices.h"
#include "app/startup.h"
#include "app/treeclass.h"
#include "common/images.h"
#include "common/plain_dialog.h"
#include "common/ui_wait.h"
#include "app/devicetree.h"
#include "storage/pure/bootsector.h"
#include "storage/pure/partition_search.h"
#include "storage/pure/partition_table.h"
#include "storage/pure/storage_host.h"
#include "storage/sector_source.h"
#include "test_resource.h"

using zr_test::PumpPending;
using zr_test::PumpUntil;

namespace {

constexpr int kWipedDisk = 5;

std::mutex g_boxLock;
std::vector<CString> g_boxes; // the partition search's summaries, shown from its thread

int RecordBox(HWND, LPCWSTR text, LPCWSTR, UINT)
{
    std::lock_guard<std::mutex> lock(g_boxLock);
    return g_boxes.push_back(text), IDOK;
}

size_t BoxCount()
{
    std::lock_guard<std::mutex> lock(g_boxLock);
    return g_boxes.size();
}

// The dialog side of a selection, recording what it was asked.
struct RecordingHost : DeviceDetailHost {
    RecordingHost() : DeviceDetailHost(kModeDeep) { }
    int comboIndex = -1, calls = 0;
    uint64_t rangeLast = 0;
    CString detailsFs;
    int detailsIndex = -1, detailsDisk = -1;

    void SelectFileSystemCombo(const CString&) override { comboIndex = -1, ++calls; }
    void SetFileSystemComboIndex(int index) override { comboIndex = index, ++calls; }
    void SetDiskSize(uint64_t) override { ++calls; }
    void SetSectorRangeControls(uint64_t, uint64_t last) override { rangeLast = last, ++calls; }
    void FormatSelectionDetails(const CString& fs, int index, int disk) override
    {
        detailsFs = fs, detailsIndex = index, detailsDisk = disk, ++calls;
    }
};

class DeviceTreeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        wiped = zr_test::DosDeviceFile(L"physicaldrive5");
        if (!wiped.empty() && !zr_test::ImagesDir().empty()) {
            EXPECT_TRUE(zr_test::MakeWipedMbrDisk(wiped));
        }
    }
    static void TearDownTestSuite()
    {
        if (!wiped.empty())
            DeleteFileW(wiped.c_str());
    }

    void SetUp() override
    {
        if (zr_test::ImagesDir().empty())
            GTEST_SKIP() << "ZR_IMAGES not set";
        ASSERT_TRUE(zr_test::OpenPlainTestDialog(dlg));
        ASSERT_TRUE(tree.SubclassDlgItem(IDC_TEST_TREE, &dlg));
        ASSERT_TRUE(list.SubclassDlgItem(IDC_TEST_LIST, &dlg));
        host.SetDetailList(&list);
        tree.SetDetailHost(&host);
        dlg.ShowWindow(SW_SHOW);
        ActiveTree = &tree;
        const HTREEITEM computer = tree.InsertItem(L"My Computer");
        physical = tree.InsertItem(L"Physical Drives", computer);
        tree.InsertItem(L"Logical Drives", computer);
        main.SearchMode = kModeBasic;
        SetSearchHost(&main);
        InstallDriveTreeStorageHost();
        LogicalDriveKeys.RemoveAll();
        g_boxes.clear(); // no search runs between tests
        previousHook = ZrSetMessageBoxHook(RecordBox);
        PlatformProbe();
    }

    void TearDown() override
    {
        if (GetSearchHost() == nullptr)
            return;
        StopPartitionSearch();
        PumpUntil([] { return GetSearchHost()->PartitionSearchRunning == 0; }, 20000);
        ZrSetMessageBoxHook(previousHook);
        SetStorageHost(nullptr);
        ActiveTree = nullptr;
        SetSearchHost(nullptr);
        if (dlg.m_hWnd)
            ::DestroyWindow(dlg.m_hWnd);
        PumpPending();
        CWnd::DeleteTempMap();
    }

    std::vector<CString> ChildTexts(HTREEITEM parent)
    {
        std::vector<CString> texts;
        for (HTREEITEM c = tree.GetChildItem(parent); c != nullptr; c = tree.GetNextSiblingItem(c))
            texts.push_back(tree.GetItemText(c));
        return texts;
    }
    void Refresh()
    {
        main.DriveTreeRefreshBusy = 0;
        RefreshDriveTrees();
    }

    HTREEITEM DiskItem(int n) { return FindChildItemByText(n, physical); }

    // Starts an advanced search on the wiped disk; `wait`: until its summary is shown.
    void StartSearch(bool wait = true)
    {
        SmpSelMode = kSearchAdvanced;
        SelectedDiskNumber = kWipedDisk;
        PartitionSearchUsesStoredItem = 1;
        PartitionSearchDiskItem = DiskItem(kWipedDisk);
        const size_t boxes = BoxCount();
        ASSERT_TRUE(StartPartitionSearchThread());
        if (wait) {
            ASSERT_TRUE(PumpUntil([&] { return BoxCount() > boxes && main.PartitionSearchRunning == 0; }, 60000));
        }
    }

    static std::wstring wiped;
    CDelvaneDlg main;
    CWnd dlg;
    CTreeClass tree;
    CListCtrl list;
    RecordingHost host;
    HTREEITEM physical = nullptr;
    ZrMessageBoxHook previousHook = nullptr;
};
std::wstring DeviceTreeTest::wiped;

TEST_F(DeviceTreeTest, TreeListsDisksPartitionsAndDrives)
{
    PhysicalDiskInfo info;
    EXPECT_FALSE(QueryPhysicalDisk(0, info));
    EXPECT_FALSE(QueryPhysicalDisk(26, info)); // past the table of 26 disks
    Refresh();
    EXPECT_EQ(DriveTreeBuilding.load(), 0);
    EXPECT_EQ(DiskItem(0), physical);
    for (int n : { 1, 2 }) {
        const HTREEITEM disk = DiskItem(n);
        ASSERT_NE(disk, physical) << n;
        const DriveInfoRecord* record = reinterpret_cast<DriveInfoRecord*>(tree.GetItemData(disk));
        ASSERT_NE(record, nullptr);
        EXPECT_TRUE(record->physicalDeviceId == PhysicalDrivePathTable[n]);
        const uint64_t bytes = zr_test::ReadOnlyFile(zr_test::ImagePath(n == 1 ? L"gpt.img" : L"mbr.img")).Size();
        EXPECT_EQ(StrToUInt64(record->totalSectors.GetString()), bytes / 512) << n;
        EXPECT_EQ(record->capacityMiB, bytes >> 20) << n;
        DeviceSectorSource source(PhysicalDrivePathTable[n]);
        const std::vector<FoundPartition> parts =
            ReadMbrPartitions(source, 0, StrToUInt64(record->totalSectors.GetString()), 26, false);
        ASSERT_FALSE(parts.empty());
        std::vector<CString> want;
        for (size_t i = 0; i < parts.size(); ++i)
            want.push_back(PartitionItemText(int(i), parts[i].fsName));
        EXPECT_EQ(ChildTexts(disk), want) << n;
        EXPECT_EQ(DiskPartitionTable[n].partitionCount, parts.size());
    }
    EXPECT_EQ(DiskPartitionTable[2].partitionCount, 4u); // two primary, two logical
    EXPECT_EQ(DiskDescriptionList.GetSize(), INT_PTR(ChildTexts(physical).size()));

    // A second enumeration lists no drive until the busy word is cleared.
    const INT_PTR keys = LogicalDriveKeys.GetSize();
    EXPECT_GT(keys, 0);
    AddLogicalDrives(L"ALL");
    EXPECT_EQ(LogicalDriveKeys.GetSize(), keys);
    EXPECT_EQ(main.DriveTreeRefreshBusy.load(), 1);

    SelectDiskItem(2, physical);
    EXPECT_EQ(DiskTotalSectors, StrToUInt64(SelectedDriveItem->totalSectors.GetString()));
    EXPECT_EQ(GetDiskNumberFromText(SelectedDriveItem->itemText), 2);
}

// A disk that opens and tells its size but whose sector 0 cannot be read (\\.\PhysicalDrive23,
// which the image set-up links to a file every read of which fails) is listed with no partition,
// so that the whole disk can be searched; Wine's own disk 0, which has no read at all, is not.
TEST_F(DeviceTreeTest, ADiskWhoseSectorZeroCannotBeReadIsListed)
{
    constexpr int kUnreadable = 23;
    if (::GetFileAttributesW(zr_test::DosDeviceFile(L"physicaldrive23").c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no unreadable disk linked by the image set-up";
    uint8_t sector[512];
    ASSERT_EQ(0u, ReadSectorsCounted(PhysicalDrivePathTable[kUnreadable], 0, 1, sector));
    PhysicalDiskInfo info;
    EXPECT_TRUE(QueryPhysicalDisk(kUnreadable, info));
    EXPECT_FALSE(QueryPhysicalDisk(0, info));
    Refresh();
    const HTREEITEM disk = DiskItem(kUnreadable);
    ASSERT_NE(disk, physical);
    EXPECT_EQ(nullptr, tree.GetChildItem(disk));
    EXPECT_EQ(0u, DiskPartitionTable[kUnreadable].partitionCount);
    EXPECT_EQ(DiskItem(0), physical);
    // A disk without partitions waits for the automatic partition search of a Basic Search.
    EXPECT_TRUE(std::any_of(DiskSearchList.begin(), DiskSearchList.end(), [&](const smpparam& entry) {
        return entry.diskItem == disk && entry.devicePath == PhysicalDrivePathTable[kUnreadable];
    }));
}

TEST_F(DeviceTreeTest, SelectingDisksAndPartitionsShowsTheirPropertiesAndRange)
{
    Refresh();
    for (int n : { 1, 2 }) {
        const DriveInfoRecord* r = reinterpret_cast<DriveInfoRecord*>(tree.GetItemData(DiskItem(n)));
        tree.ShowDeviceItem(DiskItem(n));
        EXPECT_EQ(SelectedItemKind, CString(L"Hard Disk"));
        EXPECT_EQ(SelectedDiskNumber, StrToUInt64(r->diskNumberText));
        ASSERT_EQ(list.GetItemCount(), 13);
        EXPECT_EQ(list.GetItemText(12, 1), r->physicalDeviceId);
        EXPECT_EQ(host.rangeLast, StrToUInt64(r->totalSectors.GetString()));
        EXPECT_EQ(host.comboIndex, 3); // several partitions: the file system is not guessed
    }
    // The same disk twice rebuilds nothing; after a group item it is shown again.
    const HTREEITEM mbr = DiskItem(2);
    const int calls = host.calls;
    tree.ShowDeviceItem(mbr);
    EXPECT_EQ(host.calls, calls);
    tree.ShowDeviceItem(physical);
    EXPECT_EQ(SelectedItemKind, CString(L"Physical Drives"));
    tree.ShowDeviceItem(mbr);
    EXPECT_GT(host.calls, calls);

    // A partition names its slot, and its disk is selected with it.
    main.SelectedDriveValue = 77;
    tree.ShowDeviceItem(tree.GetNextSiblingItem(tree.GetChildItem(mbr)));
    EXPECT_EQ(SelectedItemKind, CString(L"part"));
    EXPECT_EQ(host.detailsIndex, 1);
    EXPECT_EQ(host.detailsDisk, 2);
    EXPECT_EQ(host.detailsFs, CString(L"NTFS"));
    EXPECT_EQ(main.SelectedDriveValue, reinterpret_cast<DriveInfoRecord*>(tree.GetItemData(mbr))->capacityMiB);
}

TEST_F(DeviceTreeTest, LostPartitionSearchOnAWipedDisk)
{
    ASSERT_FALSE(wiped.empty());
    Refresh();
    const HTREEITEM disk = DiskItem(kWipedDisk);
    ASSERT_NE(disk, physical);
    ASSERT_TRUE(ChildTexts(disk).empty());

    StartSearch();
    const std::vector<CString> want = { L"Partition - 1 ( FAT32 )", L"Partition - 2 ( FAT32 )",
                                        L"Partition - 3 ( NTFS )", L"Partition - 4 ( FAT16 )",
                                        L"Partition - 5 ( FAT16 )" };
    EXPECT_EQ(ChildTexts(disk), want);
    const uint64_t starts[] = { 63, 2048, 206848, 339968, 374784 };
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(DiskPartitionTable[kWipedDisk].slot[i].startSector, starts[i]);
        const CTreeClass::Color_Font* colour = tree.FindColorFont(DiskPartitionTable[kWipedDisk].slot[i].treeItem);
        ASSERT_NE(colour, nullptr) << i;
        EXPECT_EQ(colour->color, COLORREF(kFoundGreen));
    }
    EXPECT_TRUE(g_boxes.back() == FormatPartitionSearchResult(kWipedDisk, 5, true, L"Disk", CString()));
    EXPECT_EQ(g_pPartitionSearchThread, nullptr);

    // Again: everything found is listed now.
    StartSearch();
    EXPECT_EQ(ChildTexts(disk).size(), 5u);
    EXPECT_TRUE(g_boxes.back() == FormatPartitionSearchResult(kWipedDisk, 0, false, L"Disk", CString()));
}

TEST_F(DeviceTreeTest, StartAndStopCyclesEndWithTheSummary)
{
    ASSERT_FALSE(wiped.empty());
    Refresh();
    for (int cycle = 0; cycle < 20; ++cycle) {
        StartSearch(false);
        EXPECT_FALSE(StartPartitionSearchThread()); // one search at a time
        if (cycle % 2 == 1)
            PumpPending();
        StopPartitionSearch();
        ASSERT_TRUE(
            PumpUntil([&] { return BoxCount() == size_t(cycle + 1) && main.PartitionSearchRunning == 0; }, 20000))
            << cycle;
    }
    // Every partition of the disk is listed once, however the runs were cut.
    EXPECT_LE(DiskPartitionTable[kWipedDisk].partitionCount, 6u);
    EXPECT_EQ(ChildTexts(DiskItem(kWipedDisk)).size(), DiskPartitionTable[kWipedDisk].partitionCount);
}

// A data-run or cluster list that cannot get memory: the program's host shows the message and
// ends the program with exit code 0, the files written for viewing deleted first.
TEST(ProgramStorageHost, ListOutOfMemoryEndsTheProgramAfterItsMessage)
{
    static struct {
        CString text, caption;
        UINT type = 0;
        int ended = -1;
    } seen;
    const ZrMessageBoxHook oldBox = ZrSetMessageBoxHook([](HWND, LPCWSTR text, LPCWSTR caption, UINT type) {
        seen.text = text, seen.caption = caption, seen.type = type;
        return IDOK;
    });
    const ZrProcessEnder oldEnd = ZrSetProcessEnder([](int code) { seen.ended = code; });
    CDelvaneDlg main; // the launcher whose temporary folder the end cleans
    SetSearchHost(&main);
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    main.TempFolderPath = CString(temp) + L"zr_listmemory\\";
    CreateDirectoryPath(main.TempFolderPath);
    CreateEmptyFile(main.TempFolderPath + L"VKD7.txt");
    InstallDriveTreeStorageHost();

    ReportListMemoryExhausted(ListKind::ClusterChain, false);
    EXPECT_EQ(seen.text, L"Not Enough Memory.");
    EXPECT_EQ(seen.caption, L"Message");
    EXPECT_EQ(seen.type & MB_ICONMASK, UINT(MB_ICONINFORMATION));
    EXPECT_EQ(seen.ended, 0);
    EXPECT_EQ(::GetFileAttributesW(main.TempFolderPath + L"VKD7.txt"), INVALID_FILE_ATTRIBUTES);
    ReportListMemoryExhausted(ListKind::DataRuns, true);
    EXPECT_EQ(seen.text, L"Memory Allocation Error.");
    EXPECT_EQ(seen.type & MB_ICONMASK, UINT(MB_ICONERROR));

    ::RemoveDirectoryW(main.TempFolderPath);
    SetSearchHost(nullptr);
    ZrSetMessageBoxHook(oldBox);
    ZrSetProcessEnder(oldEnd);
}

} // namespace
