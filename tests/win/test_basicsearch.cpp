// The Basic Search dialog on the test drives: the drive page lists them, Next refuses what it
// must refuse without touching the selection state, stopping a scan at random moments never
// hangs and leaves Back and Next working; on every kind of medium (FAT16, FAT32, NTFS drive
// letters, partitions of the MBR and GPT disks) the results hold the truth's files and saving
// them gives the truth's bytes; broken volumes and hostile names neither hang nor escape.
#include <gtest/gtest.h>

#include <algorithm>
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
    dlg.SetForegroundWindow();
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
    // The results open on "Root", whatever takes the focus when Stop goes away.
    EXPECT_EQ(dlg.ResultTree().GetRootItem(), dlg.ResultTree().GetSelectedItem());
    EXPECT_EQ(dlg.ResultTree().GetRootItem(), LastPopulatedItem);

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

CString g_saveFolder;
CString PickSaveFolder(CWnd*) { return g_saveFolder; }

// A test medium as the drive page offers it: a drive letter, or a partition of a disk.
struct Medium {
    const wchar_t* image;
    const wchar_t* letter;     // or null: "Partition - N" of "(DiskD - ..."
    const wchar_t* disk;
    const wchar_t* partition;
    const wchar_t* fs;
    std::string truthPrefix;   // "N:" on disks
};

// What a listed folder holds: file name -> size digits, and the folder/file counts shown.
struct Listing {
    std::map<std::string, std::string> files;
    int folders = 0;
};

class MediaTest : public BasicSearchTest {
protected:
    void ScanMedium(const Medium& m)
    {
        if (m.letter != nullptr) {
            ScanDrive(m.letter, m.image, m.fs);
            return;
        }
        CTreeClass& tree = dlg.DriveTree();
        HTREEITEM disk = tree.GetChildItem(dlg.PhysicalDrivesItem());
        while (disk != nullptr && tree.GetItemText(disk).Find(m.disk) < 0)
            disk = tree.GetNextSiblingItem(disk);
        ASSERT_NE(nullptr, disk);
        const HTREEITEM part = ChildStartingWith(disk, m.partition);
        ASSERT_NE(nullptr, part);
        tree.SelectItem(part);
        PumpPending();
        dlg.OnBnClickedNext();
        ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 30000));
    }

    // Every folder of the results tree by its path below the top items ("/Root/A/").
    void MapFolders(HTREEITEM parent, const std::string& path, std::map<std::string, HTREEITEM>& out)
    {
        CTreeClass& tree = dlg.ResultTree();
        for (HTREEITEM c = parent ? tree.GetChildItem(parent) : tree.GetRootItem(); c; c = tree.GetNextSiblingItem(c)) {
            const std::string child = path + Narrow(std::wstring(tree.GetItemText(c).GetString())) + "/";
            out[child] = c;
            MapFolders(c, child, out);
        }
    }

    // The item showing the truth's folder: under "Root", or under the catch-all folder when its
    // parent was lost.
    HTREEITEM FolderItem(const std::map<std::string, HTREEITEM>& folders, const std::string& truth)
    {
        for (const auto& f : folders)
            if (SamePath(f.first, "/Root" + truth))
                return f.second;
        for (const auto& f : folders)
            if (truth != "/" && f.first.find("/KXR_Miscellaneous/") != std::string::npos &&
                EndsWithFolder(f.first, truth))
                return f.second;
        return nullptr;
    }

    void TickEverything()
    {
        CTreeClass& results = dlg.ResultTree();
        for (HTREEITEM top = results.GetRootItem(); top; top = results.GetNextSiblingItem(top))
            results.SetCheckRecursive(top, 2);
    }

    // Save, with `destination` as the folder chosen; the saved files (sha256 -> path below it,
    // "/A/b.txt"), taken out of it.
    std::map<std::string, std::string> SaveInto(const CString& destination)
    {
        g_saveFolder = destination;
        SetSaveFolderPicker(PickSaveFolder);
        dlg.OnBnClickedSave();
        SetSaveFolderPicker(nullptr);
        std::map<std::string, std::string> saved;
        TakeSavedFiles(std::wstring(destination.GetString()), "", saved);
        return saved;
    }

    Listing List(HTREEITEM item)
    {
        // Reselecting a folder lists it again; the root only after another folder.
        dlg.ResultTree().SelectItem(nullptr);
        ListFolder(item);
        Listing listing;
        CListCtrl& list = *dlg.DetailList();
        for (int row = 0; row < list.GetItemCount(); ++row) {
            if (list.GetItemText(row, 1) == L"FOLDER") {
                ++listing.folders;
                continue;
            }
            std::string size;
            for (char ch : Narrow(std::wstring(list.GetItemText(row, 2).GetString())))
                if (ch >= '0' && ch <= '9')
                    size += ch;
            listing.files[Lower(Narrow(std::wstring(list.GetItemText(row, 0).GetString())))] = size;
        }
        return listing;
    }
};

// On every kind of medium, drive letters and partitions of MBR and GPT disks alike: every folder
// and file that the volume still holds intact, deleted ones included, is in the results tree
// and its folder's list with its name and size, and ticking everything and saving gives the
// truth's bytes below the destination in the file's own folder.
TEST_F(MediaTest, EveryIntactFileIsListedAndSavedByteExact)
{
    const Medium media[] = {
        { L"fat16.img", L"W:", nullptr, nullptr, L"FAT16", "" },
        { L"fat32.img", L"X:", nullptr, nullptr, L"FAT32", "" },
        { L"ntfs.img", L"Y:", nullptr, nullptr, L"NTFS", "" },
        { L"mbr.img", nullptr, L"(Disk2 ", L"Partition - 1", L"FAT32", "1:" },
        { L"gpt.img", nullptr, L"(Disk1 ", L"Partition - 2", L"NTFS", "2:" },
    };
    for (const Medium& m : media) {
        SCOPED_TRACE(Narrow(m.image) + " " + m.truthPrefix);
        ScanMedium(m);
        if (HasFatalFailure())
            return;
        EXPECT_TRUE(g_boxes.empty()) << (g_boxes.empty() ? "" : ToUtf8(g_boxes[0]));
        std::map<std::string, HTREEITEM> folders;
        MapFolders(nullptr, "/", folders);

        // The truth's intact folders and files of this volume, files by folder.
        std::map<std::string, std::vector<TruthRow>> byFolder;
        std::map<std::string, int> shaCount;
        int deleted = 0;
        for (TruthRow e : LoadTruthRows(m.image)) {
            if (e.path.compare(0, m.truthPrefix.size(), m.truthPrefix) != 0 ||
                (e.state != "live" && e.state != "deleted") || e.note.find("parent-overwritten") != std::string::npos)
                continue;
            e.path.erase(0, m.truthPrefix.size());
            const bool isFolder = e.path.back() == '/';
            const std::string folder = isFolder ? e.path : e.path.substr(0, e.path.rfind('/') + 1);
            std::vector<TruthRow>& files = byFolder[folder];
            if (!isFolder) {
                files.push_back(e);
                ++shaCount[e.sha256];
                deleted += e.state == "deleted";
            }
        }
        EXPECT_GE(byFolder.size(), 10u);
        EXPECT_GE(deleted, 3);

        for (const auto& entry : byFolder) {
            const HTREEITEM item = FolderItem(folders, entry.first);
            EXPECT_NE(nullptr, item) << entry.first;
            if (item == nullptr)
                continue;
            const Listing listing = List(item);
            for (const TruthRow& e : entry.second) {
                const std::string name = Lower(e.path.substr(entry.first.size()));
                auto shown = listing.files.begin();
                while (shown != listing.files.end() && !SameName(shown->first, name))
                    ++shown;
                EXPECT_NE(listing.files.end(), shown) << e.path;
                if (shown != listing.files.end()) {
                    EXPECT_EQ(e.size, shown->second) << e.path;
                }
            }
            CString counts, text;
            counts.Format(L"%d Folders, %d Files", listing.folders, int(listing.files.size()));
            dlg.GetDlgItemText(IDC_BS_CURRENT_FOLDER, text);
            EXPECT_EQ(counts, text) << entry.first;
        }

        TickEverything();
        CTreeClass& results = dlg.ResultTree();
        // The big files of /BULK only cost time here: the writers' large copies are measured
        // by the benchmark.
        const char kBulk[] = "/BULK/";
        if (const HTREEITEM bulk = ResultChild(results.GetRootItem(), "BULK")) {
            results.SetCheckRecursive(bulk, 1);
            results.SetCheckState(results.GetRootItem(), 2);   // the root's own files stay ticked
        }
        const std::map<std::string, std::string> saved = SaveInto(NewTempFolder(L"zr_media"));
        for (const auto& entry : byFolder) {
            for (const TruthRow& e : entry.second) {
                if (entry.first == kBulk)
                    continue;
                const auto found = saved.find(e.sha256);
                EXPECT_NE(saved.end(), found) << e.path;
                if (found == saved.end() || shaCount[e.sha256] > 1)
                    continue;
                const std::string dir = found->second.substr(0, found->second.rfind('/') + 1);
                EXPECT_TRUE(SamePath(dir, entry.first) || (entry.first != "/" && EndsWithFolder(dir, entry.first)))
                    << found->second << " for " << e.path;
            }
        }
        dlg.OnBnClickedBack();
        g_boxes.clear();
    }
}

// While alive, closes the "recovery is not possible" notice whenever this thread shows it,
// and counts it.
class NoticeCloser {
public:
    NoticeCloser() : m_timer(::SetTimer(nullptr, 0, 50, OnTimer)) { s_count = 0; }
    ~NoticeCloser() { ::KillTimer(nullptr, m_timer); }
    static int Count() { return s_count; }

private:
    static BOOL CALLBACK Close(HWND wnd, LPARAM)
    {
        const HWND ok = ::GetDlgItem(wnd, IDC_MS_OK);
        if (ok == nullptr || ::GetDlgItem(wnd, IDC_MS_HEADLINE) == nullptr || !::IsWindowVisible(wnd))
            return TRUE;
        ++s_count;
        ::PostMessageW(wnd, WM_COMMAND, MAKEWPARAM(IDC_MS_OK, BN_CLICKED), LPARAM(ok));
        return FALSE;
    }
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) { ::EnumThreadWindows(::GetCurrentThreadId(), Close, 0); }
    UINT_PTR m_timer;
    static int s_count;
};
int NoticeCloser::s_count = 0;

// Volumes broken on purpose (a looping folder chain and file chain, zero sectors per cluster,
// NTFS records whose attributes run past their end): the scan ends with a message or with what
// it could read, every folder's listing ends and lists each entry once, saving everything ends,
// and the files the damage left alone come out exact.
TEST_F(MediaTest, BrokenVolumesEndWithAMessageOrAPartialResult)
{
    const Medium media[] = {
        { L"fatloop.img", L"R:", nullptr, nullptr, L"FAT16", "" },
        { L"fatzero.img", L"S:", nullptr, nullptr, L"FAT16", "" },
        { L"ntfsbad.img", L"T:", nullptr, nullptr, L"NTFS", "" },
    };
    for (const Medium& m : media) {
        SCOPED_TRACE(Narrow(m.image));
        NoticeCloser notices;
        ScanMedium(m);
        if (HasFatalFailure())
            return;
        std::map<std::string, HTREEITEM> folders;
        MapFolders(nullptr, "/", folders);
        for (const auto& f : folders) {
            const Listing listing = List(f.second);
            EXPECT_EQ(dlg.DetailList()->GetItemCount(), listing.folders + int(listing.files.size())) << f.first;
        }
        const bool told = !g_boxes.empty() || NoticeCloser::Count() > 0;

        TickEverything();
        const std::map<std::string, std::string> saved = SaveInto(NewTempFolder(L"zr_broken"));
        int intact = 0;
        for (const TruthRow& e : LoadTruthRows(m.image)) {
            if (e.path.back() == '/' || !e.note.empty() || told)
                continue;
            ++intact;
            EXPECT_EQ(1u, saved.count(e.sha256)) << e.path;
        }
        EXPECT_TRUE(told || intact >= 2);
        dlg.OnBnClickedBack();
        g_boxes.clear();
    }
}

// Names holding "..", "\", ":" and control characters (FAT long names of files, a deleted file
// and a folder; an NTFS file name): every such file is saved, below the destination and
// nowhere else, as deep as on the volume and under plain names.
TEST_F(MediaTest, HostileNamesAreSavedInsideTheDestination)
{
    struct Case {
        Medium medium;
        int hostile;
    } cases[] = {
        { { L"fatnames.img", L"U:", nullptr, nullptr, L"FAT16", "" }, 6 },
        { { L"ntfsbad.img", L"T:", nullptr, nullptr, L"NTFS", "" }, 1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.medium.image));
        ScanMedium(c.medium);
        if (HasFatalFailure())
            return;
        TickEverything();
        const CString outer = NewTempFolder(L"zr_names");
        const CString destination = outer + L"\\dest";
        ASSERT_TRUE(::CreateDirectoryW(destination, nullptr));
        const std::map<std::string, std::string> saved = SaveInto(destination);
        int hostile = 0;
        for (const TruthRow& e : LoadTruthRows(c.medium.image)) {
            if (e.path.back() == '/' || e.note.rfind("name=", 0) != 0)
                continue;
            ++hostile;
            const auto found = saved.find(e.sha256);
            ASSERT_NE(saved.end(), found) << e.path;
            const std::string& path = found->second;
            EXPECT_EQ(std::count(e.path.begin(), e.path.end(), '/'), std::count(path.begin(), path.end(), '/')) << path;
            std::string step;
            for (size_t i = 1; i <= path.size(); ++i) {
                const char ch = i < path.size() ? path[i] : '/';
                if (ch != '/') {
                    EXPECT_TRUE(ch != ':' && ch != '\\' && (unsigned char)ch >= 0x20) << path;
                    step += ch;
                    continue;
                }
                EXPECT_TRUE(step != "." && step != ".." && !step.empty()) << path;
                step.clear();
            }
        }
        EXPECT_EQ(c.hostile, hostile);
        // Nothing landed beside the destination.
        EXPECT_TRUE(::RemoveDirectoryW(outer)) << "the folder around the destination is not empty";
        dlg.OnBnClickedBack();
        g_boxes.clear();
    }
}

TEST_F(BasicSearchTest, StopAtRandomMomentsNeverHangsAndBackAndNextWorkAfter)
{
    // A scan that finds nothing ends with the notice that Basic Search cannot recover the volume.
    NoticeCloser notices;
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
