// SearchHost: what the search dialogs, their workers and the writers of found files need of the
// launcher. The launcher (app/maindlg.h) implements it and hands it to each search dialog it opens
// (ZrSearchDialogRunner); a search dialog passes it on to the work it starts. Code
// that serves no one dialog (the drive trees, the lost-partition search, the box owner, the notices)
// finds the launcher as the installed host, as storage finds its StorageHost. Nothing here names a
// search or the launcher's own window class.
//
// The host keeps the state the searches share across their threads, under the names the program
// has always used for it, and offers the services every search dialog uses: progress bars, the
// wait dialog, the status line of a save, the control groups of the active search dialog, the
// record table of recognised partitions, the temporary files and the end of the program.
#pragma once
#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "afxwin.h"
#include "app/pure/record_table.h"
#include "storage/pure/search_mode.h"

class CImageList;

class SearchHost {
public:
    // `window` is the launcher's window: the owner of the search dialogs.
    explicit SearchHost(CWnd* window) : m_window(window) { }
    SearchHost(const SearchHost&) = delete;
    SearchHost& operator=(const SearchHost&) = delete;
    virtual ~SearchHost();

    // ---- What the launcher keeps for the searches ----------------------------------------------
    // The search that runs (kModeBasic ... kModeSignature; kModeNone while none does): it selects
    // the dialog the shared routines act on and is written into the scan log.
    std::atomic<int> SearchMode{ kModeNone };
    // 1 once the search dialog has come up.
    std::atomic<int> SearchDialogReady{ 0 };
    // The selected drive's value as its detail rows give it (capacity in MiB, a partition's start
    // sector); 0 when none is selected or a listing starts.
    uint64_t SelectedDriveValue = 0;
    // "\\.\" and the letter of the logical drive selected last.
    CString LogicalDrivePath;
    // 1 once the logical drives are listed; a refresh clears it.
    std::atomic<int> DriveTreeRefreshBusy{ 0 };
    // The lost-partition search: runs, is still to end, and how many partitions it found.
    std::atomic<int> PartitionSearchRunning{ 0 };
    std::atomic<int> PartitionSearchPending{ 0 };
    std::atomic<int> FoundPartitionCount{ 0 };
    // The user's temporary folder (ending in "\"), and the files opened found files were written to
    // there; leaving a search dialog and the exit delete the program's files there.
    CString TempFolderPath;
    std::vector<CString> TempFileNames;
    // Forgets TempFileNames and deletes the program's files in TempFolderPath (DeleteTempFiles).
    void CleanTempFolder();
    // The "Saving Files..." dialog while a save of found files shows it; null otherwise. Set by
    // the save, which owns the dialog.
    CWnd* SavingFilesDlg = nullptr;
    // The shell's small icons, shown in every list of files and folders while a search runs.
    CImageList* SmallImageList = nullptr;
    // The partitions recognised in the drive tree's items, filled from any thread.
    ZrRecordTable RecognisedPartitionTable;
    // The scan-log loaders of Basic and Deep Search while they read a log: they keep the Go
    // buttons idle.
    CWinThread* BasicLogLoadThread = nullptr;
    CWinThread* DeepLogLoadThread = nullptr;
    // Where the loader of `mode` is kept (Basic or Deep; null for any other), the loader itself,
    // and whether either runs.
    CWinThread** LogLoadThreadSlot(int mode);
    CWinThread* LogLoaderOf(int mode) const;
    bool LogLoaderRunning() const { return BasicLogLoadThread != nullptr || DeepLogLoadThread != nullptr; }
    // 1 while a scan log is handed from one search dialog to the other (the one that read it runs the
    // other's dialog with it as its start-up log): the dialog that takes it leaves the splash alone.
    std::atomic<int> LogModeSwitchPending{ 0 };

    // Zeroes the partition-search words and the active Basic or Deep dialog's own word for a
    // partition search (RegisterOpenSearchDialog).
    void ResetScanCounters();

    // ---- Progress bars (any thread) --------------------------------------------------------------
    // Forgets the last percentage and sets the bar to 0: a range below 0x7FFFFFFF becomes 0 to
    // end - start with `step` (a step larger than the range fills the bar at once), a larger one
    // 0 to 100 in percent.
    void SetProgressRange64(HWND bar, uint64_t start, uint64_t end, int32_t step);
    // A small range steps the bar by one step; a large one sets the percentage when it is above
    // the last one set.
    void UpdateProgress(HWND bar, uint64_t start, uint64_t end, uint64_t position);
    // Puts the bar of a range set by SetProgressRange64 at `position` at once: a small range at
    // position - start, a large one at its percent (forward only, as UpdateProgress). For work
    // reported now and then rather than step by step.
    void SetProgressPosition64(HWND bar, uint64_t start, uint64_t end, uint64_t position);

    // ---- The launcher's window and the search dialogs --------------------------------------------
    // The launcher's window: the owner of the search dialogs, hidden while one is on screen.
    CWnd* LauncherWindow() const { return m_window; }
    // The open dialog of SearchMode (OpenSearchDialog), which owns the notices and message boxes
    // of a search; null when none is open.
    CDialog* ActiveSearchDialog() const;
    // Called by a search dialog's initialisation, on any thread: the loading dialog closes.
    virtual void SearchDialogStarted() = 0;
    // Takes the shell's small icons again (SmallImageList) for the lists of a search dialog.
    virtual void KeepSystemImageList() = 0;
    // Empties the record tables (RecognisedPartitionTable).
    virtual void EmptyRecordTables() = 0;

    // ---- Wait and status (any thread) -------------------------------------------------------------
    // Disables `owner` (the launcher when null) and shows the input-less wait dialog over it,
    // centred on it when `centre` is TRUE; CloseWaitDialog hides it and enables the owner again.
    virtual void ShowWaitDialog(CWnd* owner, BOOL centre) = 0;
    virtual void CloseWaitDialog(CWnd* owner) = 0;
    // The path line of the "Saving Files..." dialog, when one is on screen.
    virtual void SetSaveStatusText(const CString& text) = 0;

    // ---- Control groups of the active search dialog -----------------------------------------------
    // The seven property rows of a partition of DiskPartitionTable in the active dialog's list,
    // then that dialog's hint panel hidden and (Deep, Photo, Video, Signature) its range controls
    // shown. A disk or partition number out of range shows nothing.
    virtual void FormatSelectionDetails(const CString& typeText, int partitionIndex, int diskNumber) = 0;
    virtual void EnableModeButtons() = 0;
    virtual void DisableModeButtons() = 0;
    virtual void ShowSectorRangeControls(int showCommand, CWnd* dialog) = 0;
    virtual void ShowHintPanel(int showCommand) = 0;
    virtual void SelectFileSystemCombo(const CString& fileSystem) = 0;

    // ---- The end of the program --------------------------------------------------------------------
    // Ends the program, but while found files are being saved on this thread the save is cancelled
    // first and ends the program when it is over (SaveEnded).
    virtual void EndProgramAfterSave() = 0;
    // Told by a save of found files that it has ended: ends the program when that was asked for
    // meanwhile (true), else false.
    virtual bool SaveEnded() = 0;

private:
    CWnd* const m_window;
    std::atomic<int> m_lastProgressPercent{ 0 };
};

// The installed host, or null: the launcher installs itself when its window is made, tests their
// own. For the code that serves no one search dialog; a dialog's own code asks the host it was
// handed.
SearchHost* GetSearchHost();
void SetSearchHost(SearchHost* host);
// The installed host's search mode; kModeNone without one.
int InstalledSearchMode();
// The window the user is looking at, which every message box and small dialog is shown over:
// `requested` (its top-level window) when it can take input, else the window in front of it,
// else the installed host's active search dialog, else the launcher; `requested` when none can.
// A window that closes by itself never owns a box, which would go with it: in its place stands
// the window it keeps disabled, or the first of its owners that does not close by itself (none
// when every one does).
// The program's box owner (ZrSetOwnerPicker).
HWND PickBoxOwner(HWND requested);
// Marks a window that closes by itself, whatever the user does (the wait dialogs, the splash,
// the progress windows), so that PickBoxOwner passes it over. Called when its window is made.
void MarkClosesByItself(HWND wnd);
bool ClosesByItself(HWND wnd);

// The open search dialog of each mode, registered by the dialog from its initialisation until its
// window goes, with its own word for a partition search its workers run (null: none); null when
// none is open.
void RegisterOpenSearchDialog(int searchMode, CDialog* dialog, std::atomic<int>* partitionSearchWord = nullptr);
// Removes `dialog` when it is the one registered for the mode.
void ForgetOpenSearchDialog(int searchMode, const CDialog* dialog);
CDialog* OpenSearchDialog(int searchMode);

// ---- How a search plugs into the launcher ------------------------------------------------------

// Runs a mode's search dialog modally on the calling thread (constructed on its stack), handing it
// the host that opened it (null: none).
typedef void (*ZrSearchDialogRunner)(SearchHost* host);
// Each search dialog registers its runner once before the launcher runs (mode 1 to 5; null
// removes it). The launcher runs nothing for a mode without one.
void RegisterSearchDialog(int searchMode, ZrSearchDialogRunner runner);
ZrSearchDialogRunner GetSearchDialogRunner(int searchMode);
// Runs the registered dialog of Basic or Deep Search on this thread, handed `host` (a scan log of
// the other search hands itself over so).
void RunBasicSearchDialog(SearchHost* host);
void RunDeepSearchDialog(SearchHost* host);
// The page index of a mode's open dialog (0 on its drive page), registered by the dialog while it
// lives, so that Go starts Basic and Deep Search on their first pages; null removes it.
void RegisterSearchPageIndex(int searchMode, std::atomic<int>* page);
// Removes `page` when it is the one registered for the mode.
void UnregisterSearchPageIndex(int searchMode, const std::atomic<int>* page);
// Sets the registered page of each mode of `modes` to 0.
void ResetSearchPages(std::initializer_list<int> modes);

// Every worker the exit path asks to stop, by the variable that holds it. Workers add theirs once
// (at start-up or when first started).
void RegisterWorkerGlobal(CWinThread** global);
// Asks each registered worker that runs to stop; returns them for the exit to wait for.
std::vector<CWinThread*> RequestRegisteredWorkersStop();

// ---- What the search dialogs say -----------------------------------------------------------------

// The hints the search dialogs show in their path line and hint labels: what to do on the drive
// page, after a scan, after a carving search, while saving and while a scan runs.
extern const wchar_t* const HintSelectDrive;
extern const wchar_t* const HintSelectFiles;
extern const wchar_t* const HintViewRecovered;
extern const wchar_t* const HintStopRecovery;
extern const wchar_t* const HintStopSearching;
// The message of a scan log that cannot be used.
extern const wchar_t* const kInvalidLogText;
