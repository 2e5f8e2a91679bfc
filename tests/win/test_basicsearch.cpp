// The Basic Search dialog on the test drives: the drive page lists them, Next refuses what it
// must refuse without touching the selection state, a scan of X: (fat32.img) runs to its end,
// and stopping a scan at random moments never hangs and leaves Back and Next working.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "afxwin.h"
#include "app/basicsearch.h"
#include "app/maindlg.h"
#include "app/waitdialogs.h"
#include "common/basic_search_fixture.h"
#include "common/dialog_script.h"
#include "common/images.h"
#include "common/ui_wait.h"
#include "resources/resource.h"
#include "storage/driverecords.h"
#include "storage/sectorreader.h"
#include "storage/pure/storage_host.h"
#include "storage/pure/globals.h"

using zr_test::PumpUntil;

namespace {

using namespace zr_test;

// A scan that runs until it is told to stop (or for `g_scanMs` at most).
std::atomic<int> g_scanMs{ 0 };
std::atomic<int> g_scansRun{ 0 };
UINT SlowScan(LPVOID param)
{
    auto* dlg = static_cast<CBasicSearch*>(param);
    ++g_scansRun;
    for (int ms = 0; ms < g_scanMs && !dlg->StopRequested(); ++ms)
        ::Sleep(1);
    return 0;
}

TEST_F(BasicSearchTest, DrivePageListsTheTestDrivesAndDisks)
{
    EXPECT_NE(nullptr, ChildStartingWith(dlg.LogicalDrivesItem(), L"X:"));
    EXPECT_NE(nullptr, dlg.DriveTree().GetChildItem(dlg.PhysicalDrivesItem()));
    EXPECT_EQ(0, BasicSearchPage.load());
}

// A refused Next leaves the selection state and the volume geometry alone.
TEST_F(BasicSearchTest, RefusedNextChangesNothing)
{
    VolumeGeometry.sectorsPerCluster = 8;
    FatVolumeParams.sectorsPerCluster = 8;

    dlg.DriveTree().SelectItem(dlg.DriveTree().GetRootItem());
    dlg.OnBnClickedNext();
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_GE(g_boxes[0].Find(L"select Physical or Logical Drive"), 0);

    // An end at or below the start, as the property list might show it for a broken record.
    SelectDrive(L"X:");
    dlg.DetailList()->SetItemText(1, 1, L"0");
    NextAnswering(IDC_LOG_LOGICAL);
    ASSERT_EQ(2u, g_boxes.size());
    EXPECT_GE(g_boxes[1].Find(L"End Sector"), 0);

    // The question cancelled.
    NextAnswering(IDC_LOG_CANCEL);
    EXPECT_EQ(2u, g_boxes.size());

    EXPECT_EQ(0, BasicSearchPage.load());
    EXPECT_EQ(8u, VolumeGeometry.sectorsPerCluster);
    EXPECT_EQ(8u, FatVolumeParams.sectorsPerCluster);
    EXPECT_TRUE(dlg.DriveTree().IsWindowVisible());
}

TEST_F(BasicSearchTest, ScanOfDriveXRunsToResultsAndSecondNextWaitsForBack)
{
    SelectDrive(L"X:");
    NextAnswering(IDC_LOG_LOGICAL);
    ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 20000));
    EXPECT_EQ(CString(L"\\\\.\\X:"), CurrentDevicePath);
    EXPECT_EQ(CString(L"FAT32"), SelectedVolumeInfo.fsName);
    EXPECT_EQ(0u, SelectedVolumeInfo.startSector);
    EXPECT_EQ(imageSectors, SelectedVolumeInfo.endSector);
    EXPECT_EQ(CString(L"Basic Search"), SelectedVolumeInfo.searchModeName);
    EXPECT_TRUE(g_boxes.empty()) << (g_boxes.empty() ? "" : ToUtf8(g_boxes[0]));
    EXPECT_EQ(CString(L"FAT32"), FatVolumeParams.partitionType);
    EXPECT_EQ(8u, FatVolumeParams.sectorsPerCluster);

    // A second Next is refused before anything is reset: the geometry the savers divide by stays.
    const uint32_t spc = VolumeGeometry.sectorsPerCluster;
    FatVolumeParams.sectorsPerCluster = 4;
    dlg.OnBnClickedNext();
    EXPECT_EQ(spc, VolumeGeometry.sectorsPerCluster);
    EXPECT_EQ(4u, FatVolumeParams.sectorsPerCluster);
    EXPECT_EQ(1, BasicSearchPage.load());

    dlg.OnBnClickedBack();
    EXPECT_EQ(0, BasicSearchPage.load());
    EXPECT_TRUE(dlg.DriveTree().IsWindowVisible());
    EXPECT_FALSE(dlg.ResultTree().IsWindowVisible());
    EXPECT_TRUE(Enabled(IDC_BS_NEXT));
}

// Each scan ends with the volume's folders, deleted ones included, under "Root" (or under the
// catch-all folder when their parent is lost).
TEST_F(BasicSearchTest, ScanShowsEveryFolderOfTheVolume)
{
    struct Drive { const wchar_t* letter; const wchar_t* image; const wchar_t* fs; };
    for (const Drive& d : { Drive{ L"X:", L"fat32.img", L"FAT32" }, Drive{ L"Y:", L"ntfs.img", L"NTFS" } }) {
        SCOPED_TRACE(zr_test::Narrow(d.image));
        ScanDrive(d.letter, d.image, d.fs);
        EXPECT_TRUE(g_boxes.empty()) << (g_boxes.empty() ? "" : ToUtf8(g_boxes[0]));
        const std::set<std::string> all = AllFolders();
        std::string found;
        for (const std::string& f : all)
            found += f + " ";
        int folders = 0;
        for (const TruthRow& e : LoadTruthRows(d.image)) {
            if (e.path.empty() || e.path.back() != '/' || (e.state != "live" && e.state != "deleted"))
                continue;
            ++folders;
            bool shown = false;
            for (const std::string& o : all)
                shown = shown || SamePath(o, "/Root" + e.path) ||
                        (o.find("/KXR_Miscellaneous/") != std::string::npos && EndsWithFolder(o, e.path));
            EXPECT_TRUE(shown) << e.path << " not in: " << found;
        }
        EXPECT_GE(folders, 10);
        dlg.OnBnClickedBack();
        g_boxes.clear();
    }
}

CString g_saveFolder;
CString PickSaveFolder(CWnd*) { return g_saveFolder; }

// Ticking the deleted folder and saving writes every intact file below it, byte for byte, in
// its own folder below the destination.
TEST_F(BasicSearchTest, SaveOfATickedDeletedFolderGivesTheTruthBytes)
{
    ScanDrive(L"X:");
    CTreeClass& tree = dlg.ResultTree();
    HTREEITEM old = ResultChild(tree.GetRootItem(), "OLDSTUFF");
    ASSERT_NE(nullptr, old);
    tree.SetCheckRecursive(old, 2);

    const CString folder = NewTempFolder(L"zr_save");
    g_saveFolder = folder;
    SetSaveFolderPicker(PickSaveFolder);
    dlg.OnBnClickedSave();
    SetSaveFolderPicker(nullptr);

    std::map<std::string, std::string> saved;
    TakeSavedFiles(std::wstring(folder.GetString()), "", saved);
    int intact = 0;
    for (const TruthRow& e : LoadTruthRows(L"fat32.img")) {
        if (e.state != "deleted" || e.path.rfind("/OLDSTUFF/", 0) != 0 || e.path.back() == '/')
            continue;
        ++intact;
        auto found = saved.find(e.sha256);
        ASSERT_NE(saved.end(), found) << e.path;
        const std::string dir = found->second.substr(0, found->second.rfind('/') + 1);
        EXPECT_TRUE(SamePath(dir, e.path.substr(0, e.path.rfind('/') + 1))) << found->second << " for " << e.path;
    }
    EXPECT_GE(intact, 3);
}

// Selecting a deleted folder of the results lists its files, deleted ones included, with the
// names and sizes the volume holds, and counts them.
TEST_F(BasicSearchTest, SelectingADeletedFolderListsItsFiles)
{
    ScanDrive(L"X:");
    const HTREEITEM sub = ResultChild(ResultChild(dlg.ResultTree().GetRootItem(), "OLDSTUFF"), "Sub");
    ASSERT_NE(nullptr, sub);
    ListFolder(sub);
    EXPECT_EQ(nullptr, g_pPopulateDlg);

    std::map<std::string, std::string> listed; // name -> size digits
    CListCtrl& list = *dlg.DetailList();
    for (int row = 0; row < list.GetItemCount(); ++row) {
        std::string size;
        for (char ch : zr_test::Narrow(std::wstring(list.GetItemText(row, 2).GetString())))
            if (ch >= '0' && ch <= '9')
                size += ch;
        listed[zr_test::Narrow(std::wstring(list.GetItemText(row, 0).GetString()))] = size;
    }
    const std::string folder = "/OLDSTUFF/Sub/";
    size_t files = 0;
    for (const TruthRow& e : LoadTruthRows(L"fat32.img")) {
        if (e.path.rfind(folder, 0) != 0 || e.path.back() == '/' || (e.state != "live" && e.state != "deleted"))
            continue;
        ++files;
        const std::string name = e.path.substr(folder.size());
        auto found = listed.begin();
        // A deleted file without a long name shows its short name, in capitals.
        while (found != listed.end() && !SameName(Lower(found->first), Lower(name)))
            ++found;
        ASSERT_NE(listed.end(), found) << name;
        EXPECT_EQ(e.size, found->second) << name;
    }
    EXPECT_GE(files, 3u);
    EXPECT_EQ(files, listed.size());
    CString counts;
    counts.Format(L"0 Folders, %llu Files", (unsigned long long)files);
    CString shown;
    dlg.GetDlgItemText(IDC_BS_CURRENT_FOLDER, shown);
    EXPECT_EQ(counts, shown);
}

TEST_F(BasicSearchTest, StopAtRandomMomentsNeverHangsAndBackAndNextWorkAfter)
{
    SetBasicScanProc(SlowScan);
    g_scanMs = 60000;
    g_scansRun = 0;
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        SelectDrive(L"X:");
        NextAnswering(IDC_LOG_LOGICAL);
        ASSERT_EQ(1, BasicSearchPage.load()) << round;
        const DWORD until = ::GetTickCount() + random() % 40;
        PumpUntil([&] { return ::GetTickCount() >= until; }, 100);
        // Back is refused while the scan runs.
        const size_t boxes = g_boxes.size();
        dlg.OnBnClickedBack();
        EXPECT_EQ(boxes + 1, g_boxes.size());
        dlg.OnBnClickedStop();
        dlg.OnBnClickedStop();   // a second Stop finds nothing to stop
        ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 10000)) << round;
        EXPECT_TRUE(dlg.ResultTree().IsWindowVisible());
        dlg.OnBnClickedBack();
        ASSERT_EQ(0, BasicSearchPage.load()) << round;
    }
    EXPECT_EQ(20, g_scansRun.load());
}

// Narrowing and widening switch between two fixed widths however often they are repeated.
TEST_F(BasicSearchTest, ProgressAreaSwitchesBetweenTwoWidths)
{
    auto width = [&] {
        CRect r;
        dlg.GetDlgItem(IDC_BS_PROGRESS)->GetWindowRect(&r);
        return r.Width();
    };
    const int wide = width();
    dlg.ShrinkProgressArea();
    dlg.ShrinkProgressArea();
    EXPECT_EQ(wide - 75, width());
    dlg.GrowProgressArea();
    dlg.GrowProgressArea();
    EXPECT_EQ(wide, width());
}

TEST(BasicSearchModal, BackOnTheDrivePageEndsTheDialogWithTwo)
{
    CDelvaneDlg main;
    main.SearchMode = kModeBasic;
    g_pMainDlg = &main;
    RegisterBasicSearchDialog();
    CBasicSearch dlg;
    EXPECT_EQ(CBasicSearch::kBackResult, zr_test::RunScripted(dlg, { zr_test::Click(IDC_BS_BACK) }));
    EXPECT_EQ(nullptr, g_pBasicSearchDlg);
    g_pMainDlg = nullptr;
    CWnd::DeleteTempMap();
}

} // namespace
