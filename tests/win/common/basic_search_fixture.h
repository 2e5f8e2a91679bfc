// A Basic Search dialog on the test drives, for the tests that drive it: message boxes are
// recorded (and answered No), Next answers the logical-or-physical question, and the truth
// files of the images say what the results must hold.
#pragma once
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "afxwin.h"
#include "app/basicsearch.h"
#include "app/maindlg.h"

namespace zr_test {

// Message boxes shown since the fixture's set-up, in order.
extern std::vector<CString> g_boxes;
// "Nothing could be recovered" notices closed since the fixture's set-up: a scan that finds
// nothing shows one when its results are first listed.
extern int g_noResultNotices;

struct TruthRow {
    std::string state, path, size, sha256, note;
};
// The rows of IMAGE.truth.tsv (state, path, size, sha256, note).
std::vector<TruthRow> LoadTruthRows(const std::wstring& image);

// A shown folder or file name matches the truth's, or is it with the first letter lost to
// deletion (a FAT short name shows its deleted mark as "_").
bool SameName(const std::string& shown, const std::string& truth);
// The same, folder by folder, for two "/A/B/" paths.
bool SamePath(const std::string& shown, const std::string& truth);
// The last folder of `shown` is the last folder of `truth` (an orphan keeps its own name).
bool EndsWithFolder(const std::string& shown, const std::string& truth);
std::string Lower(std::string text);

// Moves the files below `folder` into `out` (sha256 -> path relative to the destination) and
// removes them and their folders.
void TakeSavedFiles(const std::wstring& folder, const std::string& relative, std::map<std::string, std::string>& out);
// A new empty folder in the temporary folder.
CString NewTempFolder(const wchar_t* prefix);

class BasicSearchTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    HTREEITEM ChildStartingWith(HTREEITEM parent, const wchar_t* prefix);
    // Selects the drive letter and makes its property rows say what the image holds.
    void SelectDrive(const wchar_t* letter, const wchar_t* image = L"fat32.img", const wchar_t* fs = L"FAT32");
    // Next with the logical-or-physical question answered by `button`.
    void NextAnswering(int button);
    // Selects the drive, runs a logical scan and waits for the results page.
    void ScanDrive(const wchar_t* letter, const wchar_t* image = L"fat32.img", const wchar_t* fs = L"FAT32");
    // Every folder path of the results tree ("/Root/A/B/"), top items included.
    std::set<std::string> AllFolders();
    // The child of `parent` in the results tree whose name matches (SameName), or null.
    HTREEITEM ResultChild(HTREEITEM parent, const char* name);
    // Selects a results folder and waits for its listing to end.
    void ListFolder(HTREEITEM item);
    bool Enabled(int id);
    bool OnResultsPage();

    CDelvaneDlg main;
    CBasicSearch dlg;
    uint64_t imageSectors = 0;
    ZrMessageBoxHook previousHook = nullptr;
    UINT_PTR noticeTimer = 0;

private:
    void CollectFolders(HTREEITEM parent, const std::string& path, std::set<std::string>& out);
};

} // namespace zr_test
