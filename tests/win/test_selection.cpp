// Selecting device-tree items built from the test media: the property rows, the range and
// file-system choices handed to the dialog, and the selection state each kind of item sets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "afxwin.h"
#include "app/maindlg.h"
#include "app/pure/textservices.h"
#include "app/treeclass.h"
#include "common/images.h"
#include "common/plain_dialog.h"
#include "common/ui_wait.h"
#include "storage/driverecords.h"
#include "storage/pure/drive_texts.h"
#include "test_resource.h"

namespace {

// The dialog side, recording what the selection asked of it.
struct RecordingHost : DeviceDetailHost {
    int mode = kModeDeep;
    CListCtrl* list = nullptr;
    CString comboName;
    int comboIndex = -1;
    uint64_t diskSize = 0, rangeFirst = 1, rangeLast = 0;
    int calls = 0;
    CString detailsFs;
    int detailsIndex = -1, detailsDisk = -1;

    int Mode() const override { return mode; }
    CListCtrl* DetailList() override { return list; }
    void SelectFileSystemCombo(const CString& fs) override { comboName = fs; comboIndex = -1; ++calls; }
    void SetFileSystemComboIndex(int index) override { comboIndex = index; comboName.Empty(); ++calls; }
    void SetDiskSize(uint64_t sectors) override { diskSize = sectors; ++calls; }
    void SetSectorRangeControls(uint64_t first, uint64_t last) override { rangeFirst = first; rangeLast = last; ++calls; }
    void FormatSelectionDetails(const CString& fs, int index, int disk) override
    {
        detailsFs = fs;
        detailsIndex = index;
        detailsDisk = disk;
        ++calls;
    }
};

class SelectionTest : public ::testing::Test {
protected:
    CWnd dlg;
    CTreeClass tree;
    CListCtrl list;
    CDelvaneDlg mainDlg;   // only its selection members are used; it never gets a window
    RecordingHost host;
    std::vector<DriveInfoRecord*> records;
    HTREEITEM physical = nullptr, logical = nullptr;

    void SetUp() override
    {
        ASSERT_TRUE(zr_test::OpenPlainTestDialog(dlg));
        ASSERT_TRUE(tree.SubclassDlgItem(IDC_TEST_TREE, &dlg));
        ASSERT_TRUE(list.SubclassDlgItem(IDC_TEST_LIST, &dlg));
        g_pMainDlg = &mainDlg;
        host.list = &list;
        tree.SetDetailHost(&host);
        ActiveTree = &tree;
        ResetDiskTable();
        HTREEITEM top = tree.InsertItem(L"My Computer");
        physical = tree.InsertItem(L"Physical Drives", top);
        logical = tree.InsertItem(L"Logical Drives", top);
    }

    void TearDown() override
    {
        g_pMainDlg = nullptr;
        ActiveTree = nullptr;
        ResetDiskTable();
        if (dlg.m_hWnd)
            ::DestroyWindow(dlg.m_hWnd);
        zr_test::PumpPending();
        CWnd::DeleteTempMap();
        for (DriveInfoRecord* r : records)
            delete r;
    }

    DriveInfoRecord* NewRecord()
    {
        records.push_back(new DriveInfoRecord);
        return records.back();
    }

    // A disk item for \\.\PhysicalDriveN with its partitions from the image's layout file.
    HTREEITEM AddDisk(int n, const wchar_t* image)
    {
        CString path;
        path.Format(L"\\\\.\\PhysicalDrive%d", n);
        zr_test::ReadOnlyFile device(path.GetString());
        if (!device.IsOpen())
            return nullptr;
        const uint64_t bytes = device.Size();
        DriveInfoRecord* r = NewRecord();
        r->model = L"Test disk";
        r->capacity = FormatSize(bytes);
        r->totalSectors.Format(L"%llu", bytes / 512);
        r->diskNumberText.Format(L"%d", n);
        r->diskName.Format(L"Disk%d", n);
        r->physicalDeviceId = path;
        r->capacityMiB = bytes >> 20;
        r->itemText = DiskItemText(n, L"Fixed hard disk media", r->capacity);
        HTREEITEM disk = tree.InsertItem(TVIF_TEXT | TVIF_PARAM, r->itemText, 0, 0, 0, 0, (LPARAM)r, physical, TVI_LAST);
        int number = 1;
        for (const zr_test::LayoutEntry& e : zr_test::LoadLayout(image)) {
            if (e.fs == "extended")
                continue;
            CString fs = zr_test::Widen(e.fs).c_str();
            fs.MakeUpper();
            CString text;
            text.Format(L"Partition %d (%s)", number++, fs.GetString());
            const int slot = AddPartitionToDisk(DiskPartitionTable[n], fs, e.start, e.start + e.count);
            DiskPartitionTable[n].slot[slot].treeItem = tree.InsertItem(text, disk);
        }
        tree.Expand(physical, TVE_EXPAND);
        EXPECT_EQ(tree.GetChildCount(disk), number - 1);
        EXPECT_GE(number, 3) << "the layout lists several partitions";
        return disk;
    }

    HTREEITEM AddDriveX()
    {
        zr_test::ReadOnlyFile device(L"\\\\.\\X:");
        if (!device.IsOpen())
            return nullptr;
        DriveInfoRecord* r = NewRecord();
        r->endSectorText.Format(L"%llu", device.Size() / 512);
        r->partitionType = L"FAT32";
        r->volume = L"X:";
        r->searchModeName = L"Deep Search";
        r->startSector = 0;
        r->itemText = L"X:\\ (Test - FAT32)";
        return tree.InsertItem(TVIF_TEXT | TVIF_PARAM, r->itemText, 0, 0, 0, 0, (LPARAM)r, logical, TVI_LAST);
    }

    CString Value(int row) { return list.GetItemText(row, 1); }
};

} // namespace

TEST_F(SelectionTest, DiskSelectionShowsPropertiesAndPreparesTheRange)
{
    HTREEITEM gpt = AddDisk(1, L"gpt.img");
    HTREEITEM mbr = AddDisk(2, L"mbr.img");
    if (!gpt || !mbr)
        GTEST_SKIP() << "test media not linked into the prefix";

    for (HTREEITEM disk : { gpt, mbr }) {
        const DriveInfoRecord* r = reinterpret_cast<DriveInfoRecord*>(tree.GetItemData(disk));
        const uint64_t sectors = StrToUInt64(r->totalSectors);
        tree.ShowDeviceItem(disk);
        EXPECT_EQ(SelectedItemKind, CString(L"Hard Disk"));
        EXPECT_EQ(SelectedDiskNumber, StrToUInt64(r->diskNumberText));
        ASSERT_EQ(list.GetItemCount(), 13);
        EXPECT_EQ(Value(12), r->physicalDeviceId);
        EXPECT_EQ(host.rangeLast, sectors);
        EXPECT_EQ(host.comboIndex, 3);   // several partitions: the file system is not guessed
    }

    // The same disk twice rebuilds nothing; after a group item it is shown again.
    const int calls = host.calls;
    tree.ShowDeviceItem(mbr);
    EXPECT_EQ(host.calls, calls);
    tree.ShowDeviceItem(physical);
    EXPECT_EQ(SelectedItemKind, CString(L"Physical Drives"));
    tree.ShowDeviceItem(mbr);
    EXPECT_GT(host.calls, calls);
    EXPECT_EQ(list.GetItemCount(), 13);
}

TEST_F(SelectionTest, PartitionSelectionNamesItsSlot)
{
    HTREEITEM mbr = AddDisk(2, L"mbr.img");
    if (!mbr)
        GTEST_SKIP() << "test media not linked into the prefix";
    HTREEITEM ntfs = tree.GetNextSiblingItem(tree.GetChildItem(mbr));
    ASSERT_EQ(tree.GetItemText(ntfs), CString(L"Partition 2 (NTFS)"));
    mainDlg.SelectedDriveValue = 77;
    tree.ShowDeviceItem(ntfs);
    EXPECT_EQ(SelectedItemKind, CString(L"part"));
    EXPECT_EQ(host.detailsIndex, 1);
    EXPECT_EQ(host.detailsDisk, 2);
    EXPECT_EQ(host.detailsFs, CString(L"NTFS"));
    // The partition's disk is selected with it.
    EXPECT_EQ(mainDlg.SelectedDriveValue, reinterpret_cast<DriveInfoRecord*>(tree.GetItemData(mbr))->capacityMiB);
}

TEST_F(SelectionTest, LogicalDriveSelectionSetsPathAndRange)
{
    HTREEITEM x = AddDriveX();
    if (!x)
        GTEST_SKIP() << "test media not linked into the prefix";
    const DriveInfoRecord* r = reinterpret_cast<DriveInfoRecord*>(tree.GetItemData(x));
    tree.ShowDeviceItem(x);
    EXPECT_EQ(SelectedItemKind, CString(L"Logical"));
    EXPECT_EQ(SelectedDriveId, (uint16_t)L'X');
    EXPECT_EQ(mainDlg.LogicalDrivePath, CString(L"\\\\.\\X:"));
    ASSERT_EQ(list.GetItemCount(), 9);
    EXPECT_EQ(Value(1), r->endSectorText);
    EXPECT_EQ(host.comboName, CString(L"FAT32"));
    EXPECT_EQ(host.rangeLast, StrToUInt64(r->endSectorText));
    EXPECT_EQ(SelectedDriveItem, r);

    // Selected again: nothing is rebuilt; after "Logical Drives" it is.
    list.DeleteAllItems();
    tree.ShowDeviceItem(x);
    EXPECT_EQ(list.GetItemCount(), 0);
    tree.ShowDeviceItem(logical);
    EXPECT_EQ(SelectedItemKind, CString(L"Logical Drives"));
    tree.ShowDeviceItem(x);
    EXPECT_EQ(list.GetItemCount(), 9);
}
