// Opening and saving rows from the Basic Search results page.

#include <fstream>
#include <functional>
#include <sstream>

#include "app/shellservices.h"
#include "app/waitdialogs.h"
#include "common/basic_search_fixture.h"
#include "common/images.h"
#include "common/ui_wait.h"
#include "fsrecovery/basic_scan.h"
#include "fsrecovery/file_copy.h"
#include "resources/resource.h"

namespace {

using namespace zr_test;

std::vector<CString> g_shellTargets;
void RecordShell(int mode, const CString& target, CWnd*)
{
    EXPECT_EQ(kShellOpenFile, mode);
    g_shellTargets.push_back(target);
}

UINT g_menuChoice = 0;
UINT PickCommand(CMenu&)
{
    return g_menuChoice;
}

std::string TruthSha(const wchar_t* image, const std::string& path)
{
    for (const TruthLine& row : LoadTruth(image))
        if (row.path == path)
            return row.sha256;
    return std::string();
}

class BasicOpenTest : public BasicSearchTest {
protected:
    void SetUp() override
    {
        BasicSearchTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        keptTempPath = main.TempFolderPath;
        tempFolder = NewTempFolder(L"zr_open");
        main.TempFolderPath = tempFolder + L"\\";
        g_shellTargets.clear();
        previousShell = SetShellOpenHook(RecordShell);
        SetPopupMenuPicker(PickCommand);
    }
    void TearDown() override
    {
        BasicSearchTest::TearDown();
        if (!tempFolder.IsEmpty()) {
            SetShellOpenHook(previousShell);
            SetPopupMenuPicker(nullptr);
            main.TempFolderPath = keptTempPath;
            std::map<std::string, std::string> leftOver;
            TakeSavedFiles(std::wstring(tempFolder.GetString()), "", leftOver);
        }
    }

    CListCtrl& List() { return *dlg.DetailList(); }
    int Row(const char* name)
    {
        for (int row = 0; row < List().GetItemCount(); ++row)
            if (SameName(Lower(Narrow(std::wstring(List().GetItemText(row, 0).GetString()))), Lower(name)))
                return row;
        return -1;
    }
    void Select(std::initializer_list<int> rows)
    {
        List().SetItemState(-1, 0, LVIS_SELECTED);
        for (int row : rows)
            List().SetItemState(row, LVIS_SELECTED, LVIS_SELECTED);
    }
    void Notify(int id, UINT code)
    {
        NMHDR header{ dlg.GetDlgItem(id)->GetSafeHwnd(), UINT_PTR(id), code };
        dlg.SendMessage(WM_NOTIFY, WPARAM(id), LPARAM(&header));
    }
    // Double-clicks the row and waits until the open, and a listing it set off, have ended.
    void Open(int row)
    {
        Select({ row });
        Notify(IDC_BS_FILE_LIST, NM_DBLCLK);
        ASSERT_TRUE(PumpUntil([&] { return !dlg.OpenRunning() && g_pPopulateListThread == nullptr; }, 30000));
        EXPECT_EQ(nullptr, dlg.OpenFilesThread());
        EXPECT_TRUE(dlg.IsWindowEnabled());
    }
    // The file of a folder under Root (its truth line): listed with its size, and opened with its
    // bytes.
    void ExpectListedAndOpenedWhole(const TruthLine& e)
    {
        SCOPED_TRACE(e.path);
        CTreeClass& tree = dlg.ResultTree();
        const size_t slash = e.path.rfind('/');
        tree.SelectItem(nullptr);
        ListFolder(ResultChild(tree.GetRootItem(), e.path.substr(1, slash - 1).c_str()));
        const int row = Row(e.path.substr(slash + 1).c_str());
        ASSERT_GE(row, 0);
        FoundFileRef file;
        ASSERT_TRUE(dlg.Listing().FileOfRow(row, file));
        EXPECT_EQ(uint64_t(e.size), file.size);
        const size_t opened = g_shellTargets.size();
        Open(row);
        ASSERT_EQ(opened + 1, g_shellTargets.size());
        EXPECT_EQ(e.sha256, FileSha(g_shellTargets.back()));
    }
    std::map<std::string, std::string> SaveThroughMenu(int id, UINT command)
    {
        g_menuChoice = command;
        return SaveWith(NewTempFolder(L"zr_menusave"), [&] { Notify(id, NM_RCLICK); });
    }

    CString tempFolder, keptTempPath;
    ShellOpenHook previousShell = nullptr;
};

// A folder row selects and lists its folder, writing nothing; each file row opens under a fresh
// temporary name, recorded for clean-up, holding the truth's bytes.
TEST_F(BasicOpenTest, RowsOpenTheirFolderOrAFreshTemporaryCopy)
{
    ScanDrive(L"X:");
    CTreeClass& tree = dlg.ResultTree();
    const HTREEITEM root = tree.GetRootItem();
    ASSERT_GE(Row("DOCS"), 0);
    Open(Row("DOCS"));
    EXPECT_EQ(ResultChild(root, "DOCS"), tree.GetSelectedItem());
    EXPECT_TRUE(g_shellTargets.empty());

    // tiny.txt is deleted; small note.txt is opened twice for a second copy.
    for (const char* name : { "small note.txt", "tiny.txt", "small note.txt" }) {
        SCOPED_TRACE(name);
        const int row = Row(name);
        ASSERT_GE(row, 0);
        const int32_t counter = dlg.OpenFileCounter();
        const size_t opened = g_shellTargets.size();
        Open(row);
        ASSERT_EQ(opened + 1, g_shellTargets.size());
        const CString path = g_shellTargets.back();
        CString expected;
        expected.Format(L"%ls\\VKD%d.txt", tempFolder.GetString(), int(counter));
        EXPECT_EQ(0, path.CompareNoCase(expected)) << ToUtf8(path);
        EXPECT_EQ(TruthSha(L"fat32.img", std::string("/DOCS/") + name), FileSha(path));
        EXPECT_EQ(path, main.TempFileNames.back());
        EXPECT_EQ(g_shellTargets.end() - 1, std::find(g_shellTargets.begin(), g_shellTargets.end(), path));
    }
    EXPECT_TRUE(g_boxes.empty());

    // Each dialog counts its own opens: names an earlier dialog recorded, one of them still held
    // by a viewer, are passed over.
    const int32_t next = dlg.OpenFileCounter();
    std::vector<CString> earlier;
    for (int32_t number : { next, next + 1 }) {
        earlier.emplace_back();
        earlier.back().Format(L"%ls\\VKD%d.txt", tempFolder.GetString(), int(number));
        main.TempFileNames.push_back(earlier.back());
    }
    const HANDLE viewer = ::CreateFileW(earlier[0], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, viewer);
    Open(Row("small note.txt"));
    ::CloseHandle(viewer);
    CString expected;
    expected.Format(L"%ls\\VKD%d.txt", tempFolder.GetString(), int(next + 2));
    ASSERT_FALSE(g_shellTargets.empty());
    EXPECT_EQ(0, g_shellTargets.back().CompareNoCase(expected)) << ToUtf8(g_shellTargets.back());
    EXPECT_EQ(TruthSha(L"fat32.img", "/DOCS/small note.txt"), FileSha(g_shellTargets.back()));
    EXPECT_EQ(next + 3, dlg.OpenFileCounter());

    // A tree-item cell naming no child of the listed folder is ignored.
    ListFolder(root);
    const int photos = Row("PHOTOS");
    ASSERT_GE(photos, 0);
    List().SetItemText(photos, 7, L"12345");
    Open(photos);
    EXPECT_EQ(root, tree.GetSelectedItem());
}

// The copies written to open found files go when the dialog is left, by Back on its drive page
// or by closing it, not only when the program ends; going back to the drive page keeps them.
// Files of others in the temporary folder stay, even with "VKD" in their names.
class BasicOpenLeaveTest : public BasicOpenTest {
protected:
    void OpenThenLeave(const std::function<void()>& leave)
    {
        const CString others[] = { tempFolder + L"\\notes.txt", tempFolder + L"\\VKDnotes.txt",
                                   tempFolder + L"\\myVKD1.txt" };
        for (const CString& other : others)
            CreateEmptyFile(other);
        ScanDrive(L"X:");
        ListFolder(ResultChild(dlg.ResultTree().GetRootItem(), "DOCS"));
        Open(Row("small note.txt"));
        ASSERT_EQ(1u, g_shellTargets.size());
        const CString copy = g_shellTargets[0];
        ASSERT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(copy));
        dlg.OnBnClickedBack();
        ASSERT_EQ(0, dlg.Page());
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(copy));
        leave();
        // The search dialog's modal loop ends and its window goes, as when the launcher runs it.
        EXPECT_FALSE(dlg.IsWindowVisible());
        dlg.DestroyWindow();
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(copy));
        EXPECT_TRUE(main.TempFileNames.empty());
        for (const CString& other : others)
            EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(other)) << ToUtf8(other);
    }
};

TEST_F(BasicOpenLeaveTest, BackOnTheDrivePageDeletesTheOpenedCopies)
{
    OpenThenLeave([&] { dlg.OnBnClickedBack(); });
}

TEST_F(BasicOpenLeaveTest, ClosingTheDialogDeletesTheOpenedCopies)
{
    OpenThenLeave([&] {
        g_boxAnswer = IDYES; // the exit question
        dlg.SendMessage(WM_CLOSE);
    });
}

// A row whose file cannot be written never reaches the shell.
TEST_F(BasicOpenTest, NtfsRowOpensAndAnUnwritableRowNeverReachesTheShell)
{
    ScanDrive(L"Y:", L"ntfs.img", L"NTFS");
    const int readme = Row("README.TXT");
    ASSERT_GE(readme, 0);
    Open(readme);
    ASSERT_EQ(1u, g_shellTargets.size());
    EXPECT_EQ(TruthSha(L"ntfs.img", "/README.TXT"), FileSha(g_shellTargets[0]));

    const size_t recorded = main.TempFileNames.size();
    ASSERT_NE(nullptr, dlg.Listing().ListedFileOfRow(readme));
    dlg.Listing().ListedFileOfRow(readme)->recordSector = 0; // the boot sector
    Open(readme);
    EXPECT_EQ(1u, g_shellTargets.size());
    EXPECT_EQ(recorded, main.TempFileNames.size());
    EXPECT_TRUE(g_boxes.empty());
}

// The files of a folder with the compressed attribute lie in LZNT1 units: each opens and saves
// with the bytes that were written, deleted ones too, as the plain and fragmented files beside
// them do, and none fails.
TEST_F(BasicOpenTest, CompressedFilesOpenAndSaveWithTheBytesWritten)
{
    const std::vector<TruthLine> files = CompressedDiskFiles();
    if (files.empty())
        GTEST_SKIP() << "ntfscomp.img was made without a FUSE mount: it holds no compressed files";
    ScanMedium({ L"ntfscomp.img", nullptr, L"NTFS", L"(Disk25 ", L"Partition - 1", "1:" });
    if (HasFatalFailure())
        return;
    for (const TruthLine& e : files)
        ExpectListedAndOpenedWhole(e);
    ExpectSavedWhole(files, SaveEverything(NewTempFolder(L"zr_compressed")));
}

// Files whose records no longer hold all their attributes, on a volume written full of small holes:
// the large files, in hundreds of fragments, keep their data in their base record and extension
// records and their name in another (four of them deleted: two their lists gone with them, two whose
// lists lost the entry of the extension record that holds their last extent), and a folder of 3,000
// files keeps its name in an extension record. Each opens and saves with its bytes, under its
// folder, and none fails.
TEST_F(BasicOpenTest, FilesInSeveralRecordsOpenAndSaveWithTheirBytes)
{
    const std::vector<TruthLine> files = PartitionOneFiles(ExtensionDisk().image);
    if (files.empty())
        GTEST_SKIP() << "ntfsext.img was made without a FUSE mount: it holds no files";
    ScanMedium(ExtensionDisk());
    if (HasFatalFailure())
        return;
    CTreeClass& tree = dlg.ResultTree();
    const HTREEITEM many = ResultChild(tree.GetRootItem(), "Many");
    ASSERT_NE(nullptr, many);
    ListFolder(many);
    EXPECT_EQ(3000, List().GetItemCount());
    int big = 0;
    for (const TruthLine& e : files) {
        if (e.path.rfind("/Big/", 0) == 0) {
            ++big;
            ExpectListedAndOpenedWhole(e);
        }
    }
    EXPECT_EQ(6, big);
    // The fillers around them are plain files: a save passes them over.
    ExpectSavedWhole(WithoutFillers(files),
                     SaveEverything(NewTempFolder(L"zr_extension"), ResultChild(tree.GetRootItem(), "Fill")));
}

// "Save" and "Save All" in the file list clear its selection and save what is ticked (a ticked
// folder row with everything below it), as the Save button does; "Save All" first selects every
// row, each made visible, a selection the clearing takes away again. With nothing ticked, both
// menus answer as the Save button does.
TEST_F(BasicOpenTest, MenusSaveWhatTheyName)
{
    ScanDrive(L"X:");
    ListFolder(ResultChild(dlg.ResultTree().GetRootItem(), "DOCS"));
    const int note = Row("small note.txt"), reports = Row("Reports"), tiny = Row("tiny.txt");
    ASSERT_GE(note, 0);
    ASSERT_GE(reports, 0);
    ASSERT_GT(tiny, 0);
    List().SetCheck(note, TRUE);
    List().SetCheck(reports, TRUE);
    Select({ tiny }); // selected, not ticked: not saved
    std::map<std::string, std::string> saved = SaveThroughMenu(IDC_BS_FILE_LIST, 3);
    // The selection was cleared; when the list has the focus again it selects its first row.
    EXPECT_EQ(0u, List().GetItemState(tiny, LVIS_SELECTED));
    EXPECT_LE(List().GetSelectedCount(), 1u);

    // sha256 -> folder of the truth's readable files whose path starts with `prefix`.
    auto truthFiles = [](const std::string& prefix) {
        std::map<std::string, std::string> files;
        for (const TruthLine& e : LoadTruth(L"fat32.img"))
            if (e.path.rfind(prefix, 0) == 0 && !e.isDir() && (e.state == "live" || e.state == "deleted"))
                files[e.sha256] = e.path.substr(0, e.path.rfind('/') + 1);
        return files;
    };
    auto expectSaved = [&](const std::map<std::string, std::string>& wanted) {
        EXPECT_FALSE(wanted.empty());
        for (const auto& [sha, folder] : wanted) {
            const auto found = saved.find(sha);
            ASSERT_NE(saved.end(), found) << folder;
            EXPECT_TRUE(SamePath(found->second.substr(0, found->second.rfind('/') + 1), folder)) << found->second;
        }
    };
    std::map<std::string, std::string> wanted = truthFiles("/DOCS/Reports/");
    wanted.merge(truthFiles("/DOCS/small note.txt"));
    expectSaved(wanted);
    EXPECT_EQ(wanted.size(), saved.size());

    List().EnsureVisible(0, FALSE);
    Select({ tiny });
    saved = SaveThroughMenu(IDC_BS_FILE_LIST, 4);
    expectSaved(wanted);
    EXPECT_EQ(wanted.size(), saved.size());
    EXPECT_EQ(0u, List().GetItemState(tiny, LVIS_SELECTED));
    EXPECT_LE(List().GetSelectedCount(), 1u);
    EXPECT_GE(List().GetTopIndex() + List().GetCountPerPage(), List().GetItemCount());

    List().SetCheck(note, FALSE);
    List().SetCheck(reports, FALSE);
    const std::pair<int, UINT> menus[] = { { IDC_BS_FILE_LIST, 3 },
                                           { IDC_BS_FILE_LIST, 4 },
                                           { IDC_BS_RESULT_TREE, 1 } };
    for (const auto& [id, command] : menus) {
        SCOPED_TRACE(command);
        Select({ tiny });
        const size_t boxes = g_boxes.size();
        EXPECT_TRUE(SaveThroughMenu(id, command).empty());
        ASSERT_EQ(boxes + 1, g_boxes.size());
        EXPECT_EQ(0, g_boxes.back().Find(L"No item has been selected"));
    }
}

// ---- One results tree over several volumes -----------------------------------------------------

// The FAT partitions of mbr.img (\\.\PhysicalDrive2): FAT32 with 512-byte clusters, and two
// FAT16 logical drives with 1 and 2 KiB clusters whose folders carry the same cluster numbers.
struct Partition {
    int index = 0;
    uint64_t start = 0, count = 0;
    FsKind kind = FsKind::Unknown;
};
std::vector<Partition> g_partitions;

std::vector<Partition> FatPartitionsOf(const std::wstring& image)
{
    std::vector<Partition> parts;
    std::ifstream in(Narrow(ImagePath(image + L".layout.tsv")));
    for (std::string line; std::getline(in, line);) {
        std::istringstream cells(line);
        Partition p;
        std::string type, fs;
        if (line.empty() || line[0] == '#' || !(cells >> p.index >> type >> p.start >> p.count >> fs))
            continue;
        p.kind = fs == "fat32" ? FsKind::Fat32 : fs == "fat16" ? FsKind::Fat16 : FsKind::Unknown;
        if (p.kind != FsKind::Unknown)
            parts.push_back(p);
    }
    return parts;
}

// Every partition scanned into the one store, as Deep Search fills it, then the one tree.
UINT ScanEveryPartition(LPVOID param)
{
    CBasicSearch* dlg = static_cast<CBasicSearch*>(param);
    for (const Partition& p : g_partitions) {
        ScanTarget target;
        target.devicePath = L"\\\\.\\PhysicalDrive2";
        target.firstSector = p.start;
        target.endSector = p.start + p.count;
        target.kind = p.kind;
        EXPECT_EQ(BasicScanStatus::Done, RunBasicScan(target, dlg->Store(), &dlg->ScanStop(), dlg->Host(), dlg->ProgressBar()));
    }
    dlg->BuildResultsTree(dlg->ProgressBar());
    return 0;
}

TEST_F(BasicOpenTest, FoldersOfSeveralVolumesListOpenAndSaveWithTheirOwnGeometry)
{
    g_partitions = FatPartitionsOf(L"mbr.img");
    ASSERT_EQ(3u, g_partitions.size());
    SetBasicScanProc(ScanEveryPartition);
    ScanDrive(L"X:");
    SetBasicScanProc(nullptr);
    CTreeClass& tree = dlg.ResultTree();
    const FoundStore& store = dlg.Store();
    ASSERT_EQ(3u, store.VolumeCount());

    // Each partition's folders of the truth, with the folder item of the tree on its volume.
    for (size_t v = 0; v < g_partitions.size(); ++v) {
        const Partition& p = g_partitions[v];
        SCOPED_TRACE(testing::Message() << "partition " << p.index);
        const std::string prefix = std::to_string(p.index) + ":";
        EXPECT_EQ(p.start, store.Volume(uint32_t(v)).firstSector);
        std::map<std::string, std::vector<TruthLine>> byFolder;
        for (TruthLine e : LoadTruth(L"mbr.img")) {
            if (e.path.rfind(prefix, 0) != 0 || e.isDir() || (e.state != "live" && e.state != "deleted") ||
                e.notes.find("overwritten") != std::string::npos)
                continue;
            e.path.erase(0, prefix.size());
            const std::string folder = e.path.substr(0, e.path.rfind('/') + 1);
            if (folder == "/" || folder == "/Data/" || folder == "/DOCS/")
                byFolder[folder].push_back(e);
        }
        ASSERT_FALSE(byFolder.empty());
        for (const auto& [folder, files] : byFolder) {
            SCOPED_TRACE(folder);
            // The folder of this volume: "Data" stands on both FAT16 drives.
            HTREEITEM item = tree.GetRootItem();
            if (folder != "/") {
                item = nullptr;
                const std::string name = folder.substr(1, folder.size() - 2);
                for (HTREEITEM c = tree.GetChildItem(tree.GetRootItem()); c != nullptr;
                     c = tree.GetNextSiblingItem(c)) {
                    const FolderNode* node = (const FolderNode*)tree.GetItemData(c);
                    if (node != nullptr && store.VolumeOfCluster0(node->cluster0Start) == v &&
                        SameName(Narrow(std::wstring(tree.GetItemText(c).GetString())), name))
                        item = c;
                }
            }
            ASSERT_NE(nullptr, item);
            dlg.ResultTree().SelectItem(nullptr);
            ListFolder(item);
            for (const TruthLine& e : files) {
                const int row = Row(e.path.substr(folder.size()).c_str());
                ASSERT_GE(row, 0) << e.path;
                FoundFileRef file;
                ASSERT_TRUE(dlg.Listing().FileOfRow(row, file));
                EXPECT_EQ(v, file.volume) << e.path;
                const size_t opened = g_shellTargets.size();
                Open(row);
                ASSERT_EQ(opened + 1, g_shellTargets.size()) << e.path;
                EXPECT_EQ(e.sha256, FileSha(g_shellTargets.back())) << e.path;
                dlg.ResultTree().SelectItem(nullptr);
                ListFolder(item);
            }
            if (folder == "/")
                continue;
            // The folder ticked alone and saved: every file from its own volume, in its folder.
            for (HTREEITEM top = tree.GetRootItem(); top != nullptr; top = tree.GetNextSiblingItem(top))
                tree.SetCheckRecursive(top, 1);
            tree.SetCheckRecursive(item, 2);
            tree.UpdateParentsChecked(item);
            const std::map<std::string, std::string> saved =
                SaveWith(NewTempFolder(L"zr_volumes"), [&] { dlg.OnBnClickedSave(); });
            for (const TruthLine& e : files) {
                const auto found = saved.find(e.sha256);
                ASSERT_NE(saved.end(), found) << e.path;
                EXPECT_TRUE(SamePath(Lower(found->second), Lower(e.path))) << found->second;
            }
        }
    }
    // The saves' summaries alone: nothing failed or was refused.
    for (const CString& box : g_boxes)
        EXPECT_GE(box.Find(L"file(s) saved, 0 skipped, 0 failed"), 0) << ToUtf8(box);
}

} // namespace
