// Opening and saving from the Basic Search results page: a file row opens a fresh copy in the
// temporary folder with the shell, a folder row opens its folder in the results tree, a row
// that cannot be written is never handed to the shell, and the menus of the file list and the
// results tree save what they name.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "afxwin.h"
#include "app/basicsearch.h"
#include "app/maindlg.h"
#include "app/shellservices.h"
#include "app/waitdialogs.h"
#include "common/basic_search_fixture.h"
#include "common/images.h"
#include "common/ui_wait.h"
#include "fsrecovery/filewriters.h"
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
std::vector<std::string> g_menuItems;   // "id:text" per entry, "0:" for a separator
UINT PickCommand(CMenu& menu)
{
    g_menuItems.clear();
    for (int i = 0; i < menu.GetMenuItemCount(); ++i) {
        CString text;
        menu.GetMenuString(UINT(i), text, MF_BYPOSITION);
        g_menuItems.push_back(std::to_string(menu.GetMenuItemID(i)) + ":" + Narrow(std::wstring(text.GetString())));
    }
    return g_menuChoice;
}

CString g_saveFolder;
CString PickSaveFolder(CWnd*) { return g_saveFolder; }

std::string TruthSha(const wchar_t* image, const std::string& path)
{
    for (const TruthRow& row : LoadTruthRows(image))
        if (row.path == path)
            return row.sha256;
    return std::string();
}

std::string FileSha(const CString& path)
{
    return Sha256Hex(ReadAt(std::wstring(path.GetString()), 0, 64u << 20));
}

class BasicOpenTest : public BasicSearchTest {
protected:
    void SetUp() override
    {
        BasicSearchTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        keptTempPath = TempFolderPath;
        tempFolder = NewTempFolder(L"zr_open");
        TempFolderPath = tempFolder + L"\\";
        g_shellTargets.clear();
        g_menuItems.clear();
        previousShell = SetShellOpenHook(RecordShell);
        SetPopupMenuPicker(PickCommand);
        SetSaveFolderPicker(PickSaveFolder);
    }
    void TearDown() override
    {
        if (!tempFolder.IsEmpty()) {
            SetShellOpenHook(previousShell);
            SetPopupMenuPicker(nullptr);
            SetSaveFolderPicker(nullptr);
            TempFolderPath = keptTempPath;
        }
        BasicSearchTest::TearDown();
        std::map<std::string, std::string> leftOver;
        if (!tempFolder.IsEmpty())
            TakeSavedFiles(std::wstring(tempFolder.GetString()), "", leftOver);
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
        NMHDR header{};
        header.hwndFrom = dlg.GetDlgItem(id)->GetSafeHwnd();
        header.idFrom = UINT_PTR(id);
        header.code = code;
        dlg.SendMessage(WM_NOTIFY, WPARAM(id), LPARAM(&header));
    }
    // Double-clicks the row and waits until the open, and a listing it set off, have ended.
    void Open(int row)
    {
        Select({ row });
        Notify(IDC_BS_FILE_LIST, NM_DBLCLK);
        ASSERT_TRUE(PumpUntil([&] { return !dlg.OpenRunning() && g_pPopulateListThread == nullptr; }, 30000));
        EXPECT_EQ(nullptr, g_pOpenFilesThread);
        EXPECT_TRUE(dlg.IsWindowEnabled());
    }
    std::map<std::string, std::string> SaveThroughMenu(int id, UINT command)
    {
        g_saveFolder = NewTempFolder(L"zr_menusave");
        g_menuChoice = command;
        Notify(id, NM_RCLICK);
        std::map<std::string, std::string> saved;
        TakeSavedFiles(std::wstring(g_saveFolder.GetString()), "", saved);
        return saved;
    }

    CString tempFolder, keptTempPath;
    ShellOpenHook previousShell = nullptr;
};

// Each open writes the row's bytes under a new "VKD<n>" name in the temporary folder, records
// it for clean-up and hands exactly that file to the shell.
TEST_F(BasicOpenTest, FileRowsOpenAsFreshTemporaryCopiesWithTheTruthBytes)
{
    ScanDrive(L"X:");
    ListFolder(ResultChild(dlg.ResultTree().GetRootItem(), "DOCS"));
    const struct { const char* name; const char* truth; } files[] = {
        { "small note.txt", "/DOCS/small note.txt" },
        { "Meeting notes.txt", "/DOCS/Meeting notes.txt" },
        { "tiny.txt", "/DOCS/tiny.txt" },                // deleted
        { "small note.txt", "/DOCS/small note.txt" },    // again: a second copy
    };
    std::vector<CString> paths;
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        const int row = Row(f.name);
        ASSERT_GE(row, 0);
        const int32_t counter = OpenFileCounter;
        Open(row);
        ASSERT_EQ(paths.size() + 1, g_shellTargets.size());
        const CString path = g_shellTargets.back();
        CString expected;
        expected.Format(L"%ls\\VKD%d.txt", tempFolder.GetString(), int(counter));
        EXPECT_EQ(0, path.CompareNoCase(expected)) << ToUtf8(path);
        EXPECT_EQ(TruthSha(L"fat32.img", f.truth), FileSha(path));
        bool recorded = false;
        for (const CString& name : main.TempFileNames)
            recorded = recorded || name == path;
        EXPECT_TRUE(recorded);
        for (const CString& earlier : paths)
            EXPECT_NE(earlier, path);
        paths.push_back(path);
    }
    EXPECT_TRUE(g_boxes.empty());
}

// A folder row writes nothing: its folder is selected in the results tree and listed. A row
// whose tree-item cell names no child of the listed folder selects nothing.
TEST_F(BasicOpenTest, FolderRowSelectsItsFolderWhichIsThenListed)
{
    ScanDrive(L"X:");
    CTreeClass& tree = dlg.ResultTree();
    const HTREEITEM root = tree.GetRootItem();
    const int docs = Row("DOCS");
    ASSERT_GE(docs, 0);
    Open(docs);
    EXPECT_EQ(ResultChild(root, "DOCS"), tree.GetSelectedItem());
    EXPECT_GE(Row("small note.txt"), 0);
    EXPECT_TRUE(g_shellTargets.empty());

    ListFolder(root);
    const int photos = Row("PHOTOS");
    ASSERT_GE(photos, 0);
    List().SetItemText(photos, 7, L"12345");
    Open(photos);
    EXPECT_EQ(root, tree.GetSelectedItem());
    EXPECT_TRUE(g_shellTargets.empty());
}

// On NTFS a row opens through its file record; pointed at a sector that holds no record, the
// write fails and nothing reaches the shell.
TEST_F(BasicOpenTest, NtfsRowOpensAndAnUnwritableRowNeverReachesTheShell)
{
    ScanDrive(L"Y:", L"ntfs.img", L"NTFS");
    const int readme = Row("README.TXT");
    ASSERT_GE(readme, 0);
    Open(readme);
    ASSERT_EQ(1u, g_shellTargets.size());
    EXPECT_EQ(TruthSha(L"ntfs.img", "/README.TXT"), FileSha(g_shellTargets[0]));

    const size_t recorded = main.TempFileNames.size();
    List().SetItemText(readme, 5, L"0");   // the boot sector
    Open(readme);
    EXPECT_EQ(1u, g_shellTargets.size());
    EXPECT_EQ(recorded, main.TempFileNames.size());
    EXPECT_TRUE(g_boxes.empty());
}

// "Save" writes the selected rows, a folder row with everything below it; "Save All" every row
// of the list. Both leave no row selected.
TEST_F(BasicOpenTest, FileListSaveAndSaveAllWriteTheTruthBytes)
{
    ScanDrive(L"X:");
    ListFolder(ResultChild(dlg.ResultTree().GetRootItem(), "DOCS"));
    const int note = Row("small note.txt"), reports = Row("Reports");
    ASSERT_GE(note, 0);
    ASSERT_GE(reports, 0);
    Select({ note, reports });
    std::map<std::string, std::string> saved = SaveThroughMenu(IDC_BS_FILE_LIST, 3);
    EXPECT_EQ((std::vector<std::string>{ "1:Open", "0:", "3:Save", "4:Save All" }), g_menuItems);
    EXPECT_EQ(0u, List().GetSelectedCount());

    auto expectSaved = [&](const std::string& prefix, bool exact) {
        int files = 0;
        for (const TruthRow& e : LoadTruthRows(L"fat32.img")) {
            const bool wanted = exact ? e.path == prefix : e.path.rfind(prefix, 0) == 0;
            if (!wanted || e.path.back() == '/' || (e.state != "live" && e.state != "deleted"))
                continue;
            ++files;
            auto found = saved.find(e.sha256);
            if (found == saved.end()) {
                ADD_FAILURE() << e.path << " not saved";
                continue;
            }
            const std::string dir = found->second.substr(0, found->second.rfind('/') + 1);
            EXPECT_TRUE(SamePath(dir, e.path.substr(0, e.path.rfind('/') + 1))) << found->second;
        }
        EXPECT_GE(files, 1) << prefix;
        return files;
    };
    int expected = expectSaved("/DOCS/small note.txt", true) + expectSaved("/DOCS/Reports/", false);
    EXPECT_EQ(size_t(expected), saved.size());

    Select({ 0 });
    saved = SaveThroughMenu(IDC_BS_FILE_LIST, 4);
    // Overwritten files are listed and saved too, with whatever their clusters now hold.
    expected = expectSaved("/DOCS/", false);
    EXPECT_GE(saved.size(), size_t(expected));
    EXPECT_EQ(0u, List().GetSelectedCount());
}

// The results tree's "Save" (the Save button's path) says so when nothing is ticked.
TEST_F(BasicOpenTest, ResultTreeSaveWithNothingTickedSaysSo)
{
    ScanDrive(L"X:");
    const std::map<std::string, std::string> saved = SaveThroughMenu(IDC_BS_RESULT_TREE, 1);
    EXPECT_EQ((std::vector<std::string>{ "1:Save" }), g_menuItems);
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_EQ(CString(L"No item has been selected. Please select the item you want to save from left panel."),
              g_boxes[0]);
    EXPECT_TRUE(saved.empty());
}

} // namespace
