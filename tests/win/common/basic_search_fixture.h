// A Basic Search dialog on the test drives: message boxes recorded (answered No), notices closed
// and counted, and the truth files of the images to check results against.
#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "afxwin.h"
#include "fsrecovery/basicsearch.h"
#include "app/maindlg.h"
#include "tests/pure/fs_image_walk.h"

namespace zr_test {

using fs_walk::Lower;
using fs_walk::TruthLine;

// Message boxes since the set-up, in order, each answered g_boxAnswer (IDNO unless changed).
extern std::vector<CString> g_boxes;
// The boxes whose owner was missing, hidden or disabled when they opened (each fails the test).
extern std::vector<CString> g_boxesWithoutOwner;
extern int g_boxAnswer;
int RecordBox(HWND, LPCWSTR text, LPCWSTR, UINT);

// A test medium as the drive page offers it: a drive letter, or a partition of a disk.
struct Medium {
    const wchar_t* image;
    const wchar_t* letter; // or null: `partition` of the disk whose text holds `disk`
    const wchar_t* fs;
    const wchar_t* disk = nullptr;
    const wchar_t* partition = nullptr;
    std::string truthPrefix; // "N:" on disks
};

std::vector<TruthLine> LoadTruth(const std::wstring& image);
// The files of partition 1 of a disk image that can be had back (live, or deleted and intact),
// without the partition's "1:".
std::vector<TruthLine> PartitionOneFiles(const std::wstring& image);
// The files of ntfscomp.img (\\.\PhysicalDrive25: an NTFS partition whose compressed folder keeps
// its files in LZNT1 units, beside plain and fragmented files); none where the images were made
// without FUSE.
std::vector<TruthLine> CompressedDiskFiles();
// ntfsext.img (\\.\PhysicalDrive17): an NTFS partition whose files and folder lie in several
// records each; none where the images were made without FUSE.
const Medium& ExtensionDisk();
// The files of ExtensionDisk() but the fillers of its /Fill folder.
std::vector<TruthLine> WithoutFillers(std::vector<TruthLine> files);
// Each of `files` is among those a save wrote (sha256 -> path) at its own path, and the save's
// summary, the last message box, says that none failed.
void ExpectSavedWhole(const std::vector<TruthLine>& files, const std::map<std::string, std::string>& saved);

// A shown name is the truth's, or it with the first letter lost to deletion (shown as "_").
bool SameName(const std::string& shown, const std::string& truth);
// The same, folder by folder, for two "/A/B/" paths.
bool SamePath(const std::string& shown, const std::string& truth);
// The last folder of `shown` is the last folder of `truth` (an orphan keeps its own name).
bool EndsWithFolder(const std::string& shown, const std::string& truth);

// Moves the files below `folder` into `out` (sha256 -> relative path), removing them all.
void TakeSavedFiles(const std::wstring& folder, const std::string& relative, std::map<std::string, std::string>& out);
CString NewTempFolder(const wchar_t* prefix);
// The scan of `dlg` has ended, or its counters ("sectors scanned of total N" and the sector reached)
// say it has read `share` of its range.
bool ScanPassed(CSearchSession& dlg, int scannedId, int currentId, double share);
std::string FileSha(const CString& path);
// "%llu Folders, %llu Files" of the rows a file list shows (its "FOLDER" rows and the others).
CString CountsOfList(CListCtrl& list);

// While alive, clicks `button` once in each dialog of this thread having control `marker` (but
// `except`), from a thread timer that modal loops dispatch, and counts them. A `firstClick` (a
// choice on the dialog) is clicked just before.
class DialogAnswerer {
public:
    DialogAnswerer(int marker, int button, HWND except = nullptr, int firstClick = 0);
    ~DialogAnswerer();
    DialogAnswerer(const DialogAnswerer&) = delete;
    DialogAnswerer& operator=(const DialogAnswerer&) = delete;
    int Count() const { return m_count; }
    // The owner of the dialog answered last.
    HWND LastOwner() const { return m_lastOwner; }

private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
    static BOOL CALLBACK Answer(HWND wnd, LPARAM self);
    int m_marker, m_button, m_count = 0;
    HWND m_lastOwner = nullptr;
    HWND m_except;
    int m_firstClick;
    UINT_PTR m_timer;
};

// A search dialog under test, around its creation: the launcher in `mode` with the test drives
// and message boxes recorded; after the dialog was made, its notices answered and it shown; at
// the end, the dialog destroyed and everything undone, its page index back to 0.
void BeginSearchDialogTest(CDelvaneDlg& main, int mode, ZrMessageBoxHook& previousHook);
void ShowSearchDialogUnderTest(CDialog& dlg, std::unique_ptr<DialogAnswerer>& notices);
void EndSearchDialogTest(CSearchSession& dlg, std::unique_ptr<DialogAnswerer>& notices, ZrMessageBoxHook previousHook);

class BasicSearchTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    HTREEITEM ChildStartingWith(HTREEITEM parent, const wchar_t* prefix);
    // Selects the drive letter and makes its property rows say what the image holds.
    void SelectDrive(const wchar_t* letter, const wchar_t* image = L"fat32.img", const wchar_t* fs = L"FAT32");
    // Makes the drive letter's record say it lies on `disk` as that disk's partition `index` (Wine
    // tells no drive letter's place on a disk); the partition's range is returned.
    void PlaceDriveOnDisk(const wchar_t* letter, int disk, int index, uint64_t& first, uint64_t& end);
    // Selects the disk item whose text holds the disk's tag, as a click on it does.
    void ClickDisk(int disk);
    // Next with the logical-or-physical question answered by `button`.
    void NextAnswering(int button);
    // Selects the drive, runs a logical scan and waits for the results page.
    void ScanDrive(const wchar_t* letter, const wchar_t* image = L"fat32.img", const wchar_t* fs = L"FAT32");
    // Selects the medium, scans it and waits for the results page.
    void ScanMedium(const Medium& m);
    // Ticks everything but `skip` (the root's own files stay ticked) and saves into `destination`.
    std::map<std::string, std::string> SaveEverything(const CString& destination, HTREEITEM skip = nullptr);
    // The child of `parent` in the results tree whose name matches (SameName), or null.
    HTREEITEM ResultChild(HTREEITEM parent, const char* name);
    // Selects a results folder and waits for its listing to end.
    void ListFolder(HTREEITEM item);
    // Runs `press` with `destination` as the picked folder; what it saved there, taken out.
    std::map<std::string, std::string> SaveWith(const CString& destination, const std::function<void()>& press);
    bool Enabled(int id);
    bool OnResultsPage();
    // Notices (the windows with an OK button besides the search dialog) closed so far.
    int Notices() const { return notices ? notices->Count() : 0; }

    CDelvaneDlg main;
    CBasicSearch dlg{ &main };
    uint64_t imageSectors = 0;
    ZrMessageBoxHook previousHook = nullptr;
    std::unique_ptr<DialogAnswerer> notices;
};

} // namespace zr_test
