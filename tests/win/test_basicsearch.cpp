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

std::vector<CString> g_boxes;

int RecordBox(HWND, LPCWSTR text, LPCWSTR, UINT)
{
    g_boxes.push_back(text);
    return IDNO;
}

// Answers the next dialog of this thread that has button `id` by clicking it (from a timer,
// which the dialog's own modal loop dispatches).
int g_answerButton = 0;
BOOL CALLBACK ClickAnswer(HWND wnd, LPARAM)
{
    HWND button = ::GetDlgItem(wnd, g_answerButton);
    if (button == nullptr || !::IsWindowVisible(wnd) || !::IsWindowEnabled(wnd))
        return TRUE;
    ::PostMessageW(wnd, WM_COMMAND, MAKEWPARAM(g_answerButton, BN_CLICKED), LPARAM(button));
    return FALSE;
}
void CALLBACK AnswerTimer(HWND, UINT, UINT_PTR, DWORD)
{
    ::EnumThreadWindows(::GetCurrentThreadId(), ClickAnswer, 0);
}

struct TruthRow {
    std::string state, path, size, sha256;
};
// The rows of IMAGE.truth.tsv (state, path, size, sha256, note).
std::vector<TruthRow> LoadTruthRows(const std::wstring& image)
{
    std::vector<TruthRow> rows;
    const std::vector<uint8_t> bytes = zr_test::ReadAt(zr_test::ImagePath(image + L".truth.tsv"), 0, 1 << 20);
    std::string line;
    for (size_t i = 0; i <= bytes.size(); ++i) {
        if (i < bytes.size() && bytes[i] != '\n') {
            line += char(bytes[i]);
            continue;
        }
        std::vector<std::string> cells(1);
        for (char c : line)
            if (c == '\t')
                cells.emplace_back();
            else
                cells.back().push_back(c);
        if (!line.empty() && line[0] != '#' && cells.size() >= 4)
            rows.push_back({ cells[0], cells[1], cells[2], cells[3] });
        line.clear();
    }
    return rows;
}

std::vector<std::string> Components(const std::string& path)
{
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c != '/')
            part += c;
        else if (!part.empty())
            parts.push_back(part), part.clear();
    }
    return parts;
}

// A shown folder name matches the truth's, or is it with the first letter lost to deletion
// (a FAT short name shows its deleted mark as "_").
bool SameName(const std::string& shown, const std::string& truth)
{
    return shown == truth || (!truth.empty() && shown == "_" + truth.substr(1));
}

bool SamePath(const std::string& shown, const std::string& truth)
{
    const std::vector<std::string> a = Components(shown), b = Components(truth);
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!SameName(a[i], b[i]))
            return false;
    return true;
}

// The last folder of `shown` is the last folder of `truth` (an orphan keeps its own name).
bool EndsWithFolder(const std::string& shown, const std::string& truth)
{
    const std::vector<std::string> a = Components(shown), b = Components(truth);
    return !a.empty() && !b.empty() && SameName(a.back(), b.back());
}

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

class BasicSearchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (zr_test::ImagesDir().empty())
            GTEST_SKIP() << "ZR_IMAGES not set";
        ZrInitCommonControls();
        main.SearchMode = kModeBasic;
        g_pMainDlg = &main;
        InstallDriveTreeStorageHost();
        PlatformProbe();
        RegisterBasicSearchDialog();
        SetBasicScanProc(nullptr);
        g_boxes.clear();
        previousHook = ZrSetMessageBoxHook(RecordBox);
        ASSERT_TRUE(dlg.Create(IDD_BASIC_SEARCH, nullptr));
        dlg.ShowWindow(SW_SHOW);
    }

    void TearDown() override
    {
        if (g_pMainDlg == nullptr)
            return;
        if (dlg.GetSafeHwnd() != nullptr)
            dlg.DestroyWindow();
        zr_test::PumpPending();
        SetBasicScanProc(nullptr);
        ZrSetMessageBoxHook(previousHook);
        SetStorageHost(nullptr);
        g_pMainDlg = nullptr;
        BasicSearchPage = 0;
        CWnd::DeleteTempMap();
    }

    HTREEITEM ChildStartingWith(HTREEITEM parent, const wchar_t* prefix)
    {
        CTreeClass& tree = dlg.DriveTree();
        for (HTREEITEM c = tree.GetChildItem(parent); c != nullptr; c = tree.GetNextSiblingItem(c))
            if (tree.GetItemText(c).Find(prefix) == 0)
                return c;
        return nullptr;
    }

    void SelectDrive(const wchar_t* letter, const wchar_t* image = L"fat32.img", const wchar_t* fs = L"FAT32")
    {
        HTREEITEM drive = ChildStartingWith(dlg.LogicalDrivesItem(), letter);
        ASSERT_NE(nullptr, drive);
        dlg.DriveTree().SelectItem(drive);
        zr_test::PumpPending();
        ASSERT_GE(dlg.DetailList()->GetItemCount(), 3);
        // Wine answers the volume queries of a drive letter from the folder behind it, not from
        // the image: the rows are set to what the image holds.
        WIN32_FILE_ATTRIBUTE_DATA data{};
        ASSERT_TRUE(::GetFileAttributesExW(zr_test::ImagePath(image).c_str(), GetFileExInfoStandard, &data));
        imageSectors = ((uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow) / 512;
        CString end;
        end.Format(L"%llu", (unsigned long long)imageSectors);
        dlg.DetailList()->SetItemText(1, 1, end);
        dlg.DetailList()->SetItemText(2, 1, fs);
    }

    // Next with the logical-or-physical question answered by `button`.
    void NextAnswering(int button)
    {
        g_answerButton = button;
        const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, AnswerTimer);
        dlg.OnBnClickedNext();
        ::KillTimer(nullptr, timer);
    }

    // Every folder path of the results tree ("/A/B/"), from below its top items.
    void CollectFolders(HTREEITEM parent, const std::string& path, std::set<std::string>& out)
    {
        CTreeClass& tree = dlg.ResultTree();
        for (HTREEITEM c = tree.GetChildItem(parent); c != nullptr; c = tree.GetNextSiblingItem(c)) {
            const std::string child = path + zr_test::Narrow(std::wstring(tree.GetItemText(c).GetString())) + "/";
            out.insert(child);
            CollectFolders(c, child, out);
        }
    }

    bool Enabled(int id) { return dlg.GetDlgItem(id)->IsWindowEnabled() != FALSE; }

    bool OnResultsPage()
    {
        return BasicSearchPage == 1 && g_pBasicScanThread == nullptr && g_pPopulateListThread == nullptr && Enabled(IDC_BS_BACK) &&
               !Enabled(IDC_BS_NEXT) && dlg.ResultTree().GetRootItem() != nullptr;
    }

    CDelvaneDlg main;
    CBasicSearch dlg;
    uint64_t imageSectors = 0;
    ZrMessageBoxHook previousHook = nullptr;
};

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
        SelectDrive(d.letter, d.image, d.fs);
        NextAnswering(IDC_LOG_LOGICAL);
        ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 30000));
        EXPECT_TRUE(g_boxes.empty()) << (g_boxes.empty() ? "" : ToUtf8(g_boxes[0]));
        CTreeClass& tree = dlg.ResultTree();
        std::set<std::string> all;
        for (HTREEITEM top = tree.GetRootItem(); top != nullptr; top = tree.GetNextSiblingItem(top)) {
            const std::string path = "/" + zr_test::Narrow(std::wstring(tree.GetItemText(top).GetString())) + "/";
            all.insert(path);
            CollectFolders(top, path, all);
        }
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

// Saved files below `folder` by their sha256, each with its path relative to the destination;
// the files and folders are removed once read.
void TakeSavedFiles(const std::wstring& folder, const std::string& relative, std::map<std::string, std::string>& out)
{
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const std::string path = relative + "/" + zr_test::Narrow(name);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            TakeSavedFiles(folder + L"\\" + name, path, out);
        else
            out[zr_test::Sha256Hex(zr_test::ReadAt(folder + L"\\" + name, 0, 64u << 20))] = path;
        ::DeleteFileW((folder + L"\\" + name).c_str());
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    ::RemoveDirectoryW(folder.c_str());
}

// Ticking the deleted folder and saving writes every intact file below it, byte for byte, in
// its own folder below the destination.
TEST_F(BasicSearchTest, SaveOfATickedDeletedFolderGivesTheTruthBytes)
{
    SelectDrive(L"X:");
    NextAnswering(IDC_LOG_LOGICAL);
    ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 30000));
    CTreeClass& tree = dlg.ResultTree();
    HTREEITEM old = nullptr;
    for (HTREEITEM c = tree.GetChildItem(tree.GetRootItem()); c != nullptr; c = tree.GetNextSiblingItem(c))
        if (SameName(zr_test::Narrow(std::wstring(tree.GetItemText(c).GetString())), "OLDSTUFF"))
            old = c;
    ASSERT_NE(nullptr, old);
    tree.SetCheckRecursive(old, 2);

    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    CString folder;
    folder.Format(L"%lszr_save_%lu", temp, (unsigned long)::GetTickCount());
    ASSERT_TRUE(::CreateDirectoryW(folder, nullptr));
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

std::string Lower(std::string text)
{
    for (char& ch : text)
        ch = (ch >= 'A' && ch <= 'Z') ? char(ch - 'A' + 'a') : ch;
    return text;
}

// Selecting a deleted folder of the results lists its files, deleted ones included, with the
// names and sizes the volume holds, and counts them.
TEST_F(BasicSearchTest, SelectingADeletedFolderListsItsFiles)
{
    SelectDrive(L"X:");
    NextAnswering(IDC_LOG_LOGICAL);
    ASSERT_TRUE(PumpUntil([&] { return OnResultsPage(); }, 30000));
    CTreeClass& tree = dlg.ResultTree();
    auto child = [&](HTREEITEM parent, const char* name) -> HTREEITEM {
        for (HTREEITEM c = parent ? tree.GetChildItem(parent) : nullptr; c != nullptr; c = tree.GetNextSiblingItem(c))
            if (SameName(zr_test::Narrow(std::wstring(tree.GetItemText(c).GetString())), name))
                return c;
        return nullptr;
    };
    const HTREEITEM sub = child(child(tree.GetRootItem(), "OLDSTUFF"), "Sub");
    ASSERT_NE(nullptr, sub);
    tree.SelectItem(sub);
    ASSERT_TRUE(PumpUntil([] { return g_pPopulateListThread == nullptr; }, 30000));
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
