// The drive page and the results page of Basic Search around a scan: the drive tree refreshed or
// retried as the drives are now, a partition search that gives the tree back, the file list drawn
// the same way every time, a whole disk read as the volume it holds, and ticks kept until Save.

#include <algorithm>
#include <set>

#include "app/devicetree.h"
#include "app/notices.h"
#include "app/searchcontrols.h"
#include "app/sortclass.h"
#include "app/waitdialogs.h"
#include "common/basic_search_fixture.h"
#include "common/images.h"
#include "common/ui_wait.h"
#include "fsrecovery/pure/save_names.h"
#include "resources/resource.h"
#include "storage/pure/globals.h"

namespace {

using namespace zr_test;

int Children(CTreeClass& tree, HTREEITEM item)
{
    int n = 0;
    for (HTREEITEM c = tree.GetChildItem(item); c != nullptr; c = tree.GetNextSiblingItem(c))
        ++n;
    return n;
}

void DeleteChildren(CTreeClass& tree, HTREEITEM item)
{
    while (HTREEITEM c = tree.GetChildItem(item))
        tree.DeleteItem(c);
}

// Refresh Tree and the no-device notice's Retry both list what is attached now: the logical
// drives too, though they were listed once already.
TEST_F(BasicSearchTest, RefreshAndRetryListTheDrivesAttachedNow)
{
    CTreeClass& tree = dlg.DriveTree();
    const int disks = Children(tree, dlg.PhysicalDrivesItem()), drives = Children(tree, dlg.LogicalDrivesItem());
    ASSERT_GT(disks, 0);
    ASSERT_GT(drives, 0);

    dlg.OnBnClickedRefresh();
    EXPECT_EQ(disks, Children(tree, dlg.PhysicalDrivesItem()));
    EXPECT_EQ(drives, Children(tree, dlg.LogicalDrivesItem()));
    ASSERT_NE(nullptr, main.WaitDialog); // shown while the tree was rebuilt, hidden after
    EXPECT_FALSE(main.WaitDialog->IsWindowVisible());
    EXPECT_TRUE(dlg.IsWindowEnabled());

    // As if nothing had been attached when the dialog opened: Retry finds the drives.
    DeleteChildren(tree, dlg.PhysicalDrivesItem());
    DeleteChildren(tree, dlg.LogicalDrivesItem());
    int result = 0;
    {
        DialogAnswerer retry(IDC_ND_RETRY, IDC_ND_RETRY);
        result = ShowNoDeviceDialog();
        EXPECT_EQ(1, retry.Count());
    }
    EXPECT_EQ(1, result);
    EXPECT_EQ(0, NoDeviceVisible.load());
    EXPECT_EQ(disks, Children(tree, dlg.PhysicalDrivesItem()));
    EXPECT_EQ(drives, Children(tree, dlg.LogicalDrivesItem()));
    EXPECT_TRUE(dlg.IsWindowEnabled());
}

// The hint panel gives its place back to the drive page's list, never to the results page's.
TEST_F(BasicSearchTest, HidingTheHintShowsTheListOnTheDrivePageOnly)
{
    CListCtrl& list = *dlg.DetailList();
    main.ShowHintPanel(SW_SHOW);
    EXPECT_FALSE(list.IsWindowVisible());
    EXPECT_TRUE(dlg.GetDlgItem(IDC_BS_SELECT_HINT)->IsWindowVisible());
    main.ShowHintPanel(SW_HIDE);
    EXPECT_TRUE(list.IsWindowVisible());
    EXPECT_FALSE(dlg.GetDlgItem(IDC_BS_SELECT_HINT)->IsWindowVisible());

    ScanDrive(L"X:");
    list.ShowWindow(SW_HIDE);
    main.ShowHintPanel(SW_HIDE);
    EXPECT_FALSE(list.IsWindowVisible());
}

// What a user sees of the drive page: the tree's texts, which buttons and labels show and take
// clicks, and whether the hint or the list has the right side.
struct DrivePageLook {
    std::vector<CString> items; // the drive tree's texts down to the drives
    std::vector<int> shown, enabled;
    bool operator==(const DrivePageLook& o) const
    {
        return items == o.items && shown == o.shown && enabled == o.enabled;
    }
};

DrivePageLook DrivePage(CBasicSearch& dlg)
{
    DrivePageLook look;
    CTreeClass& tree = dlg.DriveTree();
    for (HTREEITEM top = tree.GetRootItem(); top != nullptr; top = tree.GetNextSiblingItem(top)) {
        look.items.push_back(tree.GetItemText(top));
        for (HTREEITEM group = tree.GetChildItem(top); group != nullptr; group = tree.GetNextSiblingItem(group)) {
            look.items.push_back(tree.GetItemText(group));
            for (HTREEITEM c = tree.GetChildItem(group); c != nullptr; c = tree.GetNextSiblingItem(c))
                look.items.push_back(tree.GetItemText(c));
        }
    }
    for (int id : { IDC_BS_REFRESH, IDC_BS_MORE_PARTITIONS, IDC_BS_STOP_PARTITIONS, IDC_BS_BACK, IDC_BS_NEXT,
                    IDC_BS_DRIVE_TREE, IDC_BS_RESULT_TREE, IDC_BS_OF_TOTAL, IDC_BS_SECTORS, IDC_BS_PS_PROGRESS,
                    IDC_BS_PS_LABEL }) {
        if (dlg.GetDlgItem(id)->IsWindowVisible())
            look.shown.push_back(id);
        if (dlg.GetDlgItem(id)->IsWindowEnabled())
            look.enabled.push_back(id);
    }
    return look;
}

std::string Describe(const DrivePageLook& look)
{
    std::string text;
    for (const CString& item : look.items)
        text += Narrow(std::wstring(item.GetString())) + " | ";
    text += "shown:";
    for (int id : look.shown)
        text += " " + std::to_string(id);
    text += " enabled:";
    for (int id : look.enabled)
        text += " " + std::to_string(id);
    return text;
}

// The hint and the list never share the right side: one of them shows.
void ExpectHintOrList(CBasicSearch& dlg, const char* where)
{
    SCOPED_TRACE(where);
    const bool hint = dlg.GetDlgItem(IDC_BS_SELECT_HINT)->IsWindowVisible() != FALSE;
    const bool list = dlg.DetailList()->IsWindowVisible() != FALSE;
    EXPECT_NE(hint, list) << "hint shown: " << hint << ", list shown: " << list;
}

// Back after a scan of either file system gives the drive page back as it was, and Next with
// nothing picked asks for a drive; Refresh Tree and a finished partition search leave it as it
// was too, with no scan counters left over.
TEST_F(BasicSearchTest, BackRefreshAndAPartitionSearchLeaveTheDrivePageAsItWas)
{
    // The removable media are searched for partitions once the dialog opens.
    ASSERT_TRUE(PumpUntil([] { return g_pBasicDriveTreeThread == nullptr; }, 30000));
    PumpPending();
    const DrivePageLook before = DrivePage(dlg);
    ASSERT_FALSE(before.items.empty());
    EXPECT_EQ(CString(L"My Computer"), before.items[0]);
    ExpectHintOrList(dlg, "opened");

    const Medium media[] = { { L"gpt.img", nullptr, L"NTFS", L"(Disk1 ", L"Partition - 2", "2:" },
                             { L"ntfs.img", L"Y:", L"NTFS" },
                             { L"mbr.img", nullptr, L"FAT32", L"(Disk2 ", L"Partition - 1", "1:" } };
    for (const Medium& m : media) {
        SCOPED_TRACE(Narrow(m.fs));
        ScanMedium(m);
        dlg.OnBnClickedBack();
        PumpPending();
        const DrivePageLook after = DrivePage(dlg);
        EXPECT_TRUE(after == before) << Describe(before) << "\n" << Describe(after);
        ExpectHintOrList(dlg, "Back");
        g_boxes.clear();
        dlg.DriveTree().SelectItem(dlg.DriveTree().GetRootItem());
        PumpPending();
        dlg.OnBnClickedNext();
        ASSERT_EQ(1u, g_boxes.size());
        EXPECT_EQ(0, g_boxes[0].Find(L"First you need to select Physical or Logical Drive"));
    }

    dlg.OnBnClickedRefresh();
    ASSERT_TRUE(PumpUntil([] { return g_pBasicDriveTreeThread == nullptr; }, 30000));
    PumpPending();
    EXPECT_TRUE(DrivePage(dlg) == before) << Describe(before) << "\n" << Describe(DrivePage(dlg));
    ExpectHintOrList(dlg, "Refresh Tree");

    CTreeClass& tree = dlg.DriveTree();
    HTREEITEM disk = tree.GetChildItem(dlg.PhysicalDrivesItem());
    ASSERT_NE(nullptr, disk);
    for (int run = 0; run < 2; ++run) {
        tree.SelectItem(disk);
        PumpPending();
        {
            DialogAnswerer standard(IDC_SMP_CONTINUE, IDC_SMP_CONTINUE);
            dlg.OnBnClickedSearchMorePartitions();
            EXPECT_EQ(1, standard.Count()) << "run " << run;
        }
        ASSERT_TRUE(PumpUntil(
            [&] { return g_pPartitionSearchThread == nullptr && main.PartitionSearchRunning == 0; }, 60000));
        PumpPending();
        const DrivePageLook after = DrivePage(dlg);
        EXPECT_EQ(before.shown, after.shown) << "run " << run << ": " << Describe(after);
        EXPECT_EQ(before.enabled, after.enabled) << "run " << run << ": " << Describe(after);
        dlg.OnBnClickedRefresh();
        ASSERT_TRUE(PumpUntil([] { return g_pBasicDriveTreeThread == nullptr; }, 30000));
        PumpPending();
        ExpectHintOrList(dlg, "Refresh Tree after a partition search");
        disk = tree.GetChildItem(dlg.PhysicalDrivesItem());
        EXPECT_EQ(before.shown, DrivePage(dlg).shown) << "after Refresh Tree";
    }
}

class PagesTest : public BasicSearchTest {
protected:
    HTREEITEM Disk(int number)
    {
        CTreeClass& tree = dlg.DriveTree();
        CString tag;
        tag.Format(L"(Disk%d ", number);
        for (HTREEITEM c = tree.GetChildItem(dlg.PhysicalDrivesItem()); c != nullptr; c = tree.GetNextSiblingItem(c))
            if (tree.GetItemText(c).Find(tag) >= 0)
                return c;
        return nullptr;
    }

    // Refresh Tree, then the disk searched as a single partition, until its results page.
    void ScanWholeDisk(int number)
    {
        dlg.OnBnClickedRefresh();
        ASSERT_NE(nullptr, Disk(number));
        dlg.DriveTree().SelectItem(Disk(number));
        PumpPending();
        NextAnswering(IDOK); // "Search Entire Drive as a single Partition"
        ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 60000));
    }

    // Every live folder at the top of the image's truth is a folder of the results' root.
    void ExpectTopFoldersOf(const wchar_t* image)
    {
        std::set<std::string> folders;
        for (HTREEITEM c = dlg.ResultTree().GetChildItem(dlg.ResultTree().GetRootItem()); c != nullptr;
             c = dlg.ResultTree().GetNextSiblingItem(c))
            folders.insert(Narrow(std::wstring(dlg.ResultTree().GetItemText(c).GetString())));
        for (const TruthLine& e : LoadTruth(image)) {
            if (e.isDir() && e.state == "live" && std::count(e.path.begin(), e.path.end(), '/') == 2) {
                EXPECT_EQ(1u, folders.count(e.path.substr(1, e.path.size() - 2))) << e.path;
            }
        }
    }

    // How the file list draws the rows of the root just listed.
    struct Look {
        bool checkBoxes = false, systemIcons = false, folderIcons = true;
        int uncheckedRows = 0;
        bool operator==(const Look& o) const
        {
            return checkBoxes == o.checkBoxes && systemIcons == o.systemIcons && folderIcons == o.folderIcons &&
                uncheckedRows == o.uncheckedRows;
        }
    };
    Look FileListLook()
    {
        CListCtrl& list = *dlg.DetailList();
        Look look;
        const HIMAGELIST states = (HIMAGELIST)list.SendMessage(LVM_GETIMAGELIST, LVSIL_STATE, 0);
        look.checkBoxes = (list.GetExtendedStyle() & LVS_EX_CHECKBOXES) != 0 && states != nullptr &&
            ImageList_GetImageCount(states) >= 2;
        look.systemIcons = main.SmallImageList != nullptr &&
            (HIMAGELIST)list.SendMessage(LVM_GETIMAGELIST, LVSIL_SMALL, 0) == main.SmallImageList->m_hImageList;
        const int folderIcon = GetFolderIconIndex();
        for (int row = 0; row < list.GetItemCount(); ++row) {
            LVITEMW item{};
            item.mask = LVIF_IMAGE;
            item.iItem = row;
            list.GetItem(&item);
            if (list.GetItemText(row, 1) == L"FOLDER" && item.iImage != folderIcon)
                look.folderIcons = false;
            look.uncheckedRows += (list.GetItemState(row, LVIS_STATEIMAGEMASK) >> 12) == 1;
        }
        return look;
    }
};

// After a partition search the drive tree takes clicks and keys again; the disk list and the
// partition rows it fills carry their values and pictures; the next scan's file list is drawn
// as the first one's.
TEST_F(PagesTest, PartitionSearchGivesTheTreeBackAndTheFileListStaysAsItWas)
{
    CTreeClass& tree = dlg.DriveTree();
    tree.SelectItem(dlg.PhysicalDrivesItem());
    PumpPending();
    CListCtrl& list = *dlg.DetailList();
    ASSERT_GT(list.GetItemCount(), 0);
    for (int row = 0; row < list.GetItemCount(); ++row) {
        const CString value = list.GetItemText(row, 3);
        EXPECT_FALSE(value.IsEmpty()) << row;
        EXPECT_TRUE(value.Find(L"B") > 0) << ToUtf8(value); // its capacity, in bytes, KB, MB ...
    }

    ScanDrive(L"X:");
    const Look first = FileListLook();
    EXPECT_TRUE(first.checkBoxes && first.systemIcons && first.folderIcons);
    EXPECT_EQ(dlg.DetailList()->GetItemCount(), first.uncheckedRows);
    dlg.OnBnClickedBack();

    const HTREEITEM wiped = Disk(4); // its table was wiped: the search lists its partitions
    ASSERT_NE(nullptr, wiped);
    tree.SelectItem(wiped);
    PumpPending();
    {
        DialogAnswerer standard(IDC_SMP_CONTINUE, IDC_SMP_CONTINUE);
        dlg.OnBnClickedSearchMorePartitions();
        EXPECT_EQ(1, standard.Count());
    }
    ASSERT_TRUE(
        PumpUntil([&] { return g_pPartitionSearchThread == nullptr && main.PartitionSearchRunning == 0; }, 60000));
    PumpPending();
    EXPECT_TRUE(tree.IsWindowEnabled());
    EXPECT_TRUE(Enabled(IDC_BS_NEXT) && Enabled(IDC_BS_BACK) && Enabled(IDC_BS_MORE_PARTITIONS));
    ASSERT_GT(Children(tree, wiped), 0);
    // The partition it selected shows its seven rows, each with the property picture.
    ASSERT_EQ(7, list.GetItemCount());
    for (int row = 0; row < 7; ++row) {
        LVITEMW item{};
        item.mask = LVIF_IMAGE;
        item.iItem = row;
        list.GetItem(&item);
        EXPECT_EQ(10, item.iImage) << row;
    }

    g_boxes.clear();
    ScanDrive(L"X:");
    EXPECT_TRUE(FileListLook() == first);
}

// Ticks on file and folder rows stay with their folder while others are listed, and Save takes
// each ticked thing once: a folder row with everything below it.
TEST_F(PagesTest, TicksOfEveryListedFolderAreSavedOnce)
{
    ScanDrive(L"X:");
    CTreeClass& tree = dlg.ResultTree();
    CListCtrl& list = *dlg.DetailList();
    const HTREEITEM root = tree.GetRootItem(), photos = ResultChild(root, "PHOTOS"), docs = ResultChild(root, "DOCS");
    ASSERT_TRUE(photos != nullptr && docs != nullptr);
    auto tick = [&](const wchar_t* name) {
        for (int row = 0; row < list.GetItemCount(); ++row)
            if (list.GetItemText(row, 0).CompareNoCase(name) == 0)
                return list.SetCheck(row, TRUE), true;
        return false;
    };
    ListFolder(photos);
    ASSERT_TRUE(tick(L"Album") && tick(L"logo.png") && tick(L"spinner.gif"));
    ListFolder(docs);
    ASSERT_TRUE(tick(L"Meeting notes.txt") && tick(L"small note.txt") && tick(L"cluster.bin"));
    ASSERT_TRUE(tick(L"Reports"));
    ListFolder(photos);
    int ticked = 0;
    for (int row = 0; row < list.GetItemCount(); ++row)
        ticked += (list.GetItemState(row, LVIS_STATEIMAGEMASK) >> 12) == 2;
    EXPECT_EQ(3, ticked); // as they were left
    ListFolder(root);

    std::multiset<std::string> wanted;
    for (const TruthLine& e : LoadTruth(L"fat32.img"))
        if (!e.isDir() && e.state == "live" &&
            (e.path.rfind("/PHOTOS/Album/", 0) == 0 || e.path.rfind("/DOCS/Reports/", 0) == 0 ||
             e.path == "/PHOTOS/logo.png" || e.path == "/PHOTOS/spinner.gif" || e.path == "/DOCS/Meeting notes.txt" ||
             e.path == "/DOCS/small note.txt" || e.path == "/DOCS/cluster.bin"))
            wanted.insert(e.sha256);
    g_boxes.clear();
    const std::map<std::string, std::string> saved =
        SaveWith(NewTempFolder(L"zr_ticks"), [&] { dlg.OnBnClickedSave(); });
    for (const std::string& sha : wanted)
        EXPECT_EQ(1u, saved.count(sha)) << sha;
    // Deleted files below a ticked folder row come along with it; nothing else does.
    EXPECT_GE(saved.size(), std::set<std::string>(wanted.begin(), wanted.end()).size());
    EXPECT_LE(saved.size(), wanted.size() + 1);
    ASSERT_FALSE(g_boxes.empty());
    const uint64_t count = StrToUInt64(g_boxes.back().GetString());
    EXPECT_GE(count, wanted.size()) << ToUtf8(g_boxes.back());
}

// A disk without a partition table whose volume begins at its first sector: its boot sector says
// what it holds, whatever the disk's size would suggest (here NTFS for 100 GB).
TEST_F(PagesTest, AWholeDiskIsReadAsTheVolumeItsFirstSectorHolds)
{
    DiskFile disk(11, L"fat32.img", uint64_t(100) << 30);
    ASSERT_TRUE(disk.Made());
    ScanWholeDisk(11);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_TRUE(g_boxes.empty()) << ToUtf8(g_boxes.front());
    const HTREEITEM root = dlg.ResultTree().GetRootItem();
    EXPECT_NE(nullptr, ResultChild(root, "PHOTOS"));
    EXPECT_NE(nullptr, ResultChild(root, "DOCS"));
    const SelectedVolumeRecord& volume = dlg.Request().SelectedVolumeInfo;
    EXPECT_EQ(CString(L"FAT32"), volume.fsName);
    EXPECT_EQ(0u, volume.startSector);
    // The volume's own count of sectors, not the disk's.
    EXPECT_EQ(Le32At(ReadAt(ImagePath(L"fat32.img"), 0, 512).data() + 0x20), volume.endSector);
    dlg.OnBnClickedBack();
}

// Counts the times a window is shown, however it is shown.
WNDPROC g_watchedProc = nullptr;
int g_timesShown = 0;
LRESULT CALLBACK CountShowing(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SHOWWINDOW && wParam != 0)
        ++g_timesShown;
    return ::CallWindowProcW(g_watchedProc, wnd, message, wParam, lParam);
}

// A whole disk that is NTFS by its size but has no NTFS boot sector where the scan looks: the
// check starts the partition search, the scan waits for it and reads the volume it found.
TEST_F(PagesTest, AWholeDiskScanWaitsForThePartitionSearchItsCheckStarted)
{
    constexpr uint64_t kCylinder1 = 255 * 63; // where the search's standard mode looks
    DiskFile disk(13, L"ntfs.img", uint64_t(40) << 30, kCylinder1);
    ASSERT_TRUE(disk.Made());
    dlg.OnBnClickedRefresh();
    ASSERT_NE(nullptr, Disk(13));
    ASSERT_EQ(nullptr, dlg.DriveTree().GetChildItem(Disk(13)));
    dlg.DriveTree().SelectItem(Disk(13));
    PumpPending();
    SmpSelMode = 5; // the mode the user chose for partition searches
    AutoPartitionSearch = 0;
    // The search the scan started keeps its progress bar hidden: the bar is a search the user
    // started.
    const HWND bar = dlg.GetDlgItem(IDC_BS_PS_PROGRESS)->GetSafeHwnd();
    g_timesShown = 0;
    g_watchedProc = (WNDPROC)::SetWindowLongPtrW(bar, GWLP_WNDPROC, (LONG_PTR)CountShowing);
    NextAnswering(IDOK);
    ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 120000));
    ::SetWindowLongPtrW(bar, GWLP_WNDPROC, (LONG_PTR)g_watchedProc);
    EXPECT_EQ(0, g_timesShown);
    EXPECT_EQ(1u, AutoPartitionSearch);
    EXPECT_EQ(CString(L"NTFS"), dlg.Request().SelectedVolumeInfo.fsName);
    EXPECT_EQ(kCylinder1, dlg.Request().SelectedVolumeInfo.startSector);
    ExpectTopFoldersOf(L"ntfs.img");
    for (const CString& box : g_boxes) // the search's own summary only
        EXPECT_TRUE(box.Find(L"partitions") >= 0) << ToUtf8(box);
    dlg.OnBnClickedBack();
    EXPECT_EQ(0u, AutoPartitionSearch);
}

// An NTFS volume whose boot sector and its backup give no index-record size (the field is 0)
// is scanned as any other: that size is only kept for the scan log.
TEST_F(PagesTest, AnNtfsVolumeWithoutAnIndexRecordSizeIsScanned)
{
    DiskFile disk(18, L"ntfs.img", 0);
    ASSERT_TRUE(disk.Made());
    // The backup boot sector is the sector after the volume's count.
    const uint64_t backup = Le64At(ReadAt(ImagePath(L"ntfs.img"), 0, 512).data() + 0x28);
    for (uint64_t sector : { uint64_t(0), backup })
        ASSERT_TRUE(disk.Patch(sector * 512 + 0x44, { 0, 0, 0, 0 }));
    ScanWholeDisk(18);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_TRUE(g_boxes.empty()) << ToUtf8(g_boxes.front());
    EXPECT_EQ(CString(L"NTFS"), dlg.Request().SelectedVolumeInfo.fsName);
    EXPECT_EQ(0u, dlg.Request().target.geometry.sectorsPerIndexRecord);
    EXPECT_NE(0u, dlg.Request().target.geometry.sectorsPerFileRecord);
    ExpectTopFoldersOf(L"ntfs.img");
    dlg.OnBnClickedBack();
}

// What an NTFS listing read of its files' records is kept: the same folder listed again shows
// every file, name, size and date alike, though the disk has gone since.
TEST_F(PagesTest, AnNtfsFolderListedAgainReadsNothing)
{
    DiskFile disk(12, L"ntfs.img", 0);
    ASSERT_TRUE(disk.Made());
    dlg.OnBnClickedRefresh();
    ASSERT_NE(nullptr, Disk(12));
    dlg.DriveTree().SelectItem(Disk(12));
    PumpPending();
    NextAnswering(IDOK);
    ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 60000));
    CTreeClass& tree = dlg.ResultTree();
    const HTREEITEM root = tree.GetRootItem();
    HTREEITEM folder = nullptr;
    CListCtrl& list = *dlg.DetailList();
    auto rows = [&] {
        std::vector<std::vector<CString>> cells;
        for (int row = 0; row < list.GetItemCount(); ++row)
            if (list.GetItemText(row, 1) != L"FOLDER")
                cells.push_back({ list.GetItemText(row, 0), list.GetItemText(row, 2), list.GetItemText(row, 3),
                                  list.GetItemText(row, 4) });
        return cells;
    };
    // The first folder of the root that holds files.
    for (HTREEITEM c = tree.GetChildItem(root); c != nullptr && folder == nullptr; c = tree.GetNextSiblingItem(c)) {
        ListFolder(c);
        if (!rows().empty())
            folder = c;
    }
    ASSERT_NE(nullptr, folder);
    const auto first = rows();
    disk.Remove();
    ListFolder(root);
    ListFolder(folder);
    EXPECT_EQ(first, rows());
    dlg.OnBnClickedBack();
}

// The README's first pick: "Partition - 1" of the demo disk that scripts/run.sh attaches, then
// Next, shows the deleted photos, which save with their own bytes.
TEST_F(PagesTest, TheReadmesFirstPickOfTheDemoDiskShowsItsDeletedPhotos)
{
    const HTREEITEM disk = Disk(16);
    ASSERT_NE(nullptr, disk) << "the demo disk is not attached";
    const HTREEITEM first = ChildStartingWith(disk, L"Partition - 1");
    ASSERT_NE(nullptr, first);
    dlg.DriveTree().SelectItem(first);
    PumpPending();
    dlg.OnBnClickedNext();
    ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 60000));
    EXPECT_TRUE(g_boxes.empty()) << ToUtf8(g_boxes.front());
    const HTREEITEM camera = ResultChild(ResultChild(dlg.ResultTree().GetRootItem(), "DCIM"), "100CAMERA");
    ASSERT_NE(nullptr, camera);
    ListFolder(camera);
    std::map<std::string, std::string> deleted; // name -> sha256
    for (const TruthLine& e : LoadTruth(L"demo\\demo.img"))
        if (e.state == "deleted" && e.path.rfind("1:/DCIM/100CAMERA/", 0) == 0)
            deleted[Lower(e.path.substr(18))] = e.sha256;
    ASSERT_EQ(3u, deleted.size());
    CListCtrl& list = *dlg.DetailList();
    int shown = 0;
    for (int row = 0; row < list.GetItemCount(); ++row)
        for (const auto& d : deleted)
            if (SameName(Lower(Narrow(std::wstring(list.GetItemText(row, 0).GetString()))), d.first)) {
                ++shown;
                list.SetCheck(row, TRUE);
            }
    EXPECT_EQ(3, shown);
    const std::map<std::string, std::string> saved =
        SaveWith(NewTempFolder(L"zr_demo"), [&] { dlg.ClearFileListSelection(); });
    for (const auto& d : deleted)
        EXPECT_EQ(1u, saved.count(d.second)) << d.first;
}

} // namespace
