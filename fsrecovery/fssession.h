// CFsSearchSession: the part Basic Search and Deep Search share once entries are found. It owns
// the found-entry store, the results tree, the file list of the selected folder and its listing
// worker, folder expansion, opening a found file and saving ticked files and folders.
//
// How a file-system search plugs in (beside the steps of app/searchsession.h):
//  1. Give FsDialogLayout the ids of the results tree, the file list (which may be the detail
//     list of the drive page), the folder-count text and the path label, and the tree's pictures.
//  2. Map the notifications of those two controls to the handlers below in the dialog's message
//     map (OnNMDblclkFileList, OnNMRClickFileList, OnNMSetfocusFileList, OnNMRClickResultTree).
//  3. Its scan fills Store(): AddVolume for each volume found (its device and geometry), then the
//     rows; a FAT volume's folders carry its cluster numbers, an NTFS volume's its record numbers.
//     BuildResultsTree then turns the folder rows into the tree (on the scan worker). Listing,
//     opening and saving read each folder's own volume from the store, so one tree may hold the
//     folders of many volumes.
//  4. Say when the search found nothing (ShowNoResultsNotice) and what the results page is
//     (Page() above 0).
#pragma once
#include <atomic>
#include <initializer_list>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <unordered_set>
#include <vector>

#include "app/searchsession.h"
#include "fsrecovery/filewriters.h"
#include "fsrecovery/pure/found_store.h"
#include "storage/driverecords.h"

class CPopulate;

// The steps of building the results tree, told to the dialog as each begins (on the scan worker).
enum class ResultsBuildStep { SearchingLost, Storing };
class CSavingFilesDlg;
struct SaveItem;

struct FsDialogLayout {
    int resultTree = 0;
    int fileList = 0;      // may be the layout's detail list
    int folderCount = 0;   // "%llu Folders, %llu Files"
    int pathLabel = 0;     // the listed folder's path
    UINT resultImages = 0; // the results tree's picture strip
    UINT stateImages = 0;  // its tick boxes
    int statusLabel = 0;   // "Please wait, ..." while a log's tree is loaded
    // The global that tells its removable-medium search runs.
    CWinThread** driveTreeThread = nullptr;
};

// The removable-medium search's messages to its dialog: a partition found (sent, LPARAM the
// partition), the search over (posted).
constexpr UINT WM_ZR_REMOVABLE_FOUND = WM_APP + 0x248;
constexpr UINT WM_ZR_REMOVABLE_ENDED = WM_APP + 0x249;

// Where Save asks for the destination folder; null restores the destination notice and the
// folder picker. An empty answer cancels the save.
using SaveFolderPicker = CString (*)(CWnd* owner);
void SetSaveFolderPicker(SaveFolderPicker picker);
// Where the popup menus of the results page get their command from; null shows the menu at the
// cursor. The result is the chosen command, 0 when none was.
using PopupMenuPicker = UINT (*)(CMenu& menu);
void SetPopupMenuPicker(PopupMenuPicker picker);

// Where Save Log and Load Log ask for the log file (`save`: the file to write); null restores the
// file dialogs. An empty answer cancels.
using ScanLogPathPicker = CString (*)(CWnd* owner, bool save);
void SetScanLogPathPicker(ScanLogPathPicker picker);
// 1 while a start-up log is handed from one search dialog to the other.
extern std::atomic<int> LogModeSwitchPending;

// The listing worker (parameter: the session) and the open worker of a results page.
UINT PopulateListThreadProc(LPVOID param);
UINT OpenFilesThreadProc(LPVOID param);

// A refusal or notice of a file-system search: caption "Message", information icon.
void Inform(CWnd* owner, const wchar_t* text);

class CFsSearchSession : public CSearchSession {
public:
    // Result of the modal loop when Back ends the dialog on the drive page.
    static constexpr INT_PTR kBackResult = 2;

    CFsSearchSession(const SearchDialogLayout& layout, const FsDialogLayout& fsLayout, SearchHost* host);
    ~CFsSearchSession() override;

    FoundStore& Store() { return m_store; }
    CTreeClass& ResultTree() { return m_resultTree; }
    CHideColumn& FileList() { return m_fileList != nullptr ? *m_fileList : m_detail; }

    // 1 when the finished scan left something to show; a listing that finds nothing then says so.
    bool ResultsPresent() const { return m_resultsPresent.load(); }
    void SetResultsPresent(bool present) { m_resultsPresent = present; }

    // ---- Results tree (on the scan worker) ----
    // Marks the orphans and builds the tree from the store's folder rows; then names a FAT
    // volume's folders from their parents' directories. `progress` shows the passes.
    void BuildResultsTree(HWND progress);

    // ---- Listing ----
    // A results-tree selection: lists the folder of `item` behind the "Populating" notice.
    void OnResultSelChanged(HTREEITEM item);
    // The listing itself (on the listing worker): subfolder rows, then the folder's files.
    void FillListedFolder();
    // "%llu Folders, %llu Files" of the counts of the current listing, and into its control.
    CString FolderCountText() const;
    void ShowFolderCountText();
    // Reads the directory of the FAT folder of `item` for its subfolders' names, unless it was
    // read before. The top item and NTFS volumes read nothing; a folder of the end-of-chain id
    // has no directory and is only marked read. True when a read ran to its end.
    bool ReadFolderOnce(HTREEITEM item);

    // ---- Opening and saving ----
    static constexpr UINT kMsgOpenFolderRow = WM_APP + 0x242;
    static constexpr UINT kMsgOpenBegin = WM_APP + 0x243;
    static constexpr UINT kMsgOpenEnded = WM_APP + 0x244;
    static constexpr UINT kMsgLoadStartupLog = WM_APP + 0x250;
    // Starts the open worker for the first selected row unless one runs already.
    void OpenSelectedRow();
    bool OpenRunning() const { return m_openWorker.load() != nullptr; }
    // The open worker while its procedure runs (it clears this as it ends); null otherwise.
    CWinThread* OpenFilesThread() const { return m_pOpenFilesThread; }
    // The number the next temporary name of an opened file starts from.
    int32_t OpenFileCounter() const { return m_openFileCounter; }
    // The results item whose folder the file list shows (set when its listing starts).
    HTREEITEM LastPopulatedItem = nullptr;
    // The open worker's part (on its thread): a folder row selects its results-tree item, whose
    // listing follows; a file row is written into the temporary folder and, only when that
    // succeeded, handed to the shell by the dialog's thread.
    void OpenFirstSelectedRow();
    // The Save button and the results tree's "Save": the ticked folders and rows, after the
    // "No item has been selected" message when nothing is ticked.
    void OnSaveSelected();
    // What the dialog's last save asked of the system.
    const SaveWork& LastSaveWork() const { return m_lastSaveWork; }
    // The file list's "Save" and "Save All" (which selects every row first): the list's
    // selection is cleared, then the ticked folders and rows are saved as by OnSaveSelected.
    void ClearFileListSelection();
    // The file behind a row of the file list; false for a folder row or a row of no file.
    bool FileOfRow(int row, FoundFileRef& file) const;
    // The same, to change: null for a folder row or a row of no file.
    FoundFileRef* ListedFileOfRow(int row);

    // Waits for the listing worker (asking it to stop first when `stop`), removes the notice and
    // enables the dialog again; nothing to do when no listing runs.
    void EndListing(bool stop);

    // ---- Removable media (fsremovable.cpp) ----
    // While the drive page is up, a worker searches each removable medium that "Physical Drives"
    // lists without partitions for FAT16, FAT32 and NTFS boot sectors, cylinder by cylinder, and
    // adds what it finds in green under the medium. Starts it; false when none started.
    bool StartRemovableMediaSearch();
    // Searches one medium and adds each new partition under its item; on the worker.
    void SearchRemovableMediumPartitions(const smpparam& medium);
    // A stop asked of the removable-medium search, by the dialog or through the worker's thread.
    bool RemovableStopAsked() const;
    // The removable-medium search is at a medium (Next waits for it).
    bool RemovableMediumListing() const { return m_removableWorker.load() != nullptr && m_removableListing != 0; }
    void ClearPartitionSearchFlag() { m_removableListing = 0; }
    std::atomic<int>* PartitionSearchWord() override { return &m_removableListing; }
    bool DriveTreeWorkerRunning() const override { return m_removableWorker.load() != nullptr; }
    // Stop Searching Partitions: after its question, the disk's search or the removable-medium
    // search ends, keeping what it found.
    void OnBnClickedStopSearchingPartitions();

    // ---- Buttons both searches answer alike (fspages.cpp) ----
    // A scan or a folder listing runs.
    bool WorkerRunning() const;
    // Save: refused on the drive page and while a worker runs; else the ticked items are saved.
    void OnBnClickedSave();
    // Back while a worker runs (a listing is ended first): the still-going-on message; true when
    // Back is refused.
    bool RefuseBackWhileBusy();
    // Refresh Tree after a scan was started, or while a worker or a log load runs: its message;
    // true when the refresh is refused.
    bool RefuseRefresh();
    // The scan's result controls (ShowResultControls, which a dialog with more to do overrides).
    void ShowScanResultControls(int showCommand);
    // Stop: the worker is asked to end its reading and waited for (it runs its own finishing
    // steps, once); `waitText` asks to wait meanwhile. True when a running worker has now ended
    // and the caller shows its results; false when none ran or a stop waits already.
    bool StopScanAndWait(CWnd& waitText);
    // Back on the results page: the record tables and the results emptied under the wait dialog,
    // the results new, a log named on the command line dealt with.
    void EmptyResultsForDrivePage();
    // Refresh Tree's rebuild under the wait dialog, navigation locked meanwhile, then the drive
    // page; false after the no-device dialog when no drive is attached.
    bool RebuildDriveTreeWaiting();
    // The file list's columns on a results page: Name, Type, Size, Date, Time shown, then the
    // hidden ones; the rows get tick boxes.
    void SetFileColumns(std::initializer_list<const wchar_t*> hidden);

    // ---- Scan logs (fslog.cpp) ----
    // Save Log: refused before a scan and while one runs; else the log is written.
    void OnBnClickedSaveLog();
    // Load Log: refused after a scan was started and while one runs; else the log named on the
    // command line, or one the user picks, is loaded.
    void OnBnClickedLoadLog();
    // Asks for the file and writes the results into it; true when the log was written whole.
    bool SaveScanLog();
    // Writes the results into `path`; a write that fails removes the part written and says so.
    bool SaveScanLogTo(const CString& path);
    // Reads the log, checks that its medium is attached (or asks about one that stands in for it)
    // and shows its results as a finished scan would. `fromCommandLine`: the start-up log.
    void LoadScanLog(const CString& path, bool fromCommandLine);
    // The results were written into a log since they were found or loaded.
    bool LogSaved() const { return m_logSaved.load() != 0; }
    bool LogLoading() const { return m_logLoading; }
    // Where the launcher keeps this dialog's log loader while it reads a log; null without a
    // launcher.
    CWinThread** LogLoadThreadSlot() const { return Host() != nullptr ? Host()->LogLoadThreadSlot(Mode()) : nullptr; }

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    bool FilterInput(MSG* msg) override;
    void EndWorkers() override;
    void OnDestroyControls() override;
    void OnWorkerOutOfMemory() override;
    void OnTreeSelChanged(CTreeClass* tree, NMTREEVIEWW* change, LRESULT* result) override;
    void OnTreeItemExpanding(CTreeClass* tree, NMTREEVIEWW* change, LRESULT* result) override;
    // Notes the file list's tick changes (the rows' state images) on their way to the handlers.
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

    // After a listing that ran to its end, when the scan found nothing to show.
    virtual void ShowNoResultsNotice() = 0;
    // A step of BuildResultsTree begins (on the thread that builds); a dialog that says what it
    // does overrides it.
    virtual void OnResultsBuildStep(ResultsBuildStep /*step*/) { }
    // The notice state of this search (0 or 1: the notice may show; 2: it was shown).
    virtual std::atomic<int32_t>& NoticeState() = 0;
    // What the root's file rows of a FAT volume show in their cell 9 (a search that lists many
    // volumes under "Root" tells them apart there); -1: nothing.
    virtual int VolumeColumnOf(uint32_t /*volume*/) const { return -1; }

    // ---- Scan logs: what a search dialog adds ----
    // The results page after a log was loaded (its state as after a finished scan), or the
    // drive page again after a load was refused; the shared controls are done by then.
    // `throughDisk`: a drive letter's results read through its disk.
    virtual void ShowLoadedResults(bool /*throughDisk*/) { }
    virtual void ShowDrivePageAfterLog() { }
    // Whether the results were read from a drive letter through its disk.
    virtual bool ScannedThroughDisk() const { return false; }
    // Before the exit question: results whose log was not saved offer to save it, once.
    void BeforeExitQuestion() override;
    // The results are new (a scan ended, or Back): they have not been saved or asked about.
    void ForgetLogSaved();

    // Empties the results: the tree with its folder records, the file list and the store.
    void ClearResults();
    // Asks a running open to stop and waits for it; nothing is opened.
    void StopOpenWorker();

    void OnNMDblclkFileList(NMHDR* header, LRESULT* result);
    void OnNMRClickFileList(NMHDR* header, LRESULT* result);
    void OnNMSetfocusFileList(NMHDR* header, LRESULT* result);
    void OnNMRClickResultTree(NMHDR* header, LRESULT* result);
    LRESULT OnListingEnded(WPARAM finished, LPARAM);
    LRESULT OnOpenFolderRow(WPARAM row, LPARAM);
    LRESULT OnOpenBegin(WPARAM, LPARAM file);
    LRESULT OnOpenEnded(WPARAM, LPARAM);
    LRESULT OnLoadStartupLog(WPARAM, LPARAM);
    LRESULT OnRemovablePartitionFound(WPARAM, LPARAM);
    LRESULT OnRemovableSearchEnded(WPARAM, LPARAM);
    // Ends the removable-medium search: asks the worker to stop when `stop`, waits for it, gives
    // the controls back and, when `report`, shows the medium's details and the summary. The
    // first caller does the work; nothing to do when no search runs.
    void EndRemovableSearch(bool stop, bool report);

    CTreeClass m_resultTree;
    CImageList m_resultImages, m_stateImages;
    CColorStatic m_currentFolder; // the folder count line, link-blue
    StopFlag m_listingStop{ 0 };

private:
    friend UINT PopulateListThreadProc(LPVOID param);
    friend UINT RemovableMediaThreadProc(LPVOID param);
    friend UINT OpenFilesThreadProc(LPVOID param);
    friend class FileListWriter;

    // Waits for the open worker, deletes it and ends the "opening" state; returns the path of
    // the file it wrote (empty when none). Nothing to do when no open worker was started.
    CString EndOpenWorker();
    bool NothingTicked();
    // Ctrl+A with the focus in the file list after a scan: selects every row (true: handled).
    bool SelectAllOnCtrlA(const MSG* msg);
    // The files of the folder of `item` (every volume's root for the top item), to a sink.
    void ListFilesOf(HTREEITEM item, class FileSink& sink);
    // The save items of the subtrees from `first` (its following siblings too when `siblings`)
    // whose folders `take` accepts, each folder with its own files.
    template <class Take> void AddFolders(HTREEITEM first, bool siblings, Take take, std::vector<SaveItem>& items);
    std::vector<CString> FolderPathOf(HTREEITEM item);
    // The results-tree item a folder row of the file list stands for: its "TreeItem" cell must
    // name a child of `listed`, the folder the list shows. Null when it names none.
    HTREEITEM FolderRowItem(HTREEITEM listed, int row);
    // The children of the folder listed last (m_listedFoldersOf), so that a folder row's cell is
    // checked in one look-up: a walk over the siblings per row made leaving a folder of many
    // subfolders cost folders x rows.
    std::unordered_set<HTREEITEM> m_listedFolders;
    HTREEITEM m_listedFoldersOf = nullptr;
    bool ListingStopped();

    // The ticked rows of every folder listed so far, so that a tick stays when another folder is
    // shown: a folder row by its results item, a file row by its file.
    struct TickedRow {
        HTREEITEM folder = nullptr;
        FoundFileRef file;
        bool operator<(const TickedRow& o) const;
    };
    bool RowKey(HTREEITEM listed, int row, TickedRow& key);
    // The ticks of the rows shown now into the folder's set (rows not shown keep theirs).
    void KeepRowTicks();
    // The rows shown now ticked as they were when their folder was listed last.
    void RestoreRowTicks();
    std::map<HTREEITEM, std::set<TickedRow>> m_rowTicks;
    // A row of the file list was ticked or unticked since its folder was listed (the list tells
    // its owner): without that, leaving a folder reads none of its rows.
    bool m_rowTickChanged = false;

    const FsDialogLayout& m_fsLayout;
    FoundStore m_store;
    std::unique_ptr<CHideColumn> m_fileList; // when the file list is not the detail list
    std::atomic<bool> m_resultsPresent{ false };
    std::atomic<uint64_t> m_folderCount{ 0 }, m_fileCount{ 0 };
    // The files the file list shows, by the rows' item data (index + 1).
    std::vector<FoundFileRef> m_listedFiles;
    std::unique_ptr<CPopulate> m_populateDlg;
    bool m_endingListing = false; // EndListing waits for the listing worker
    bool m_stopping = false;      // StopScanAndWait waits for the scan worker
    // What the removable-medium search works on: filled before its worker starts, written by the
    // worker alone while it runs, read again after it ended. Its object (deleted by
    // EndRemovableSearch) and its stop flag.
    std::atomic<int> m_removableListing{ 0 };
    struct RemovableSearch {
        std::vector<smpparam> media;    // the physical-drive list as it was at the start
        HTREEITEM lastMedium = nullptr; // the medium searched last and its disk number
        int lastDisk = -1;
    } m_removable;
    std::atomic<CWinThread*> m_removableWorker{ nullptr };
    std::atomic<bool> m_removableStop{ false };
    CWinThread* m_listingWorker = nullptr;
    // The open worker's object (deleted by EndOpenWorker), its notice and the file it wrote.
    std::atomic<CWinThread*> m_openWorker{ nullptr };
    // Set as the open worker starts, cleared by its procedure as it ends: a second open waits for
    // both this and m_openWorker.
    CWinThread* m_pOpenFilesThread = nullptr;
    std::unique_ptr<CSavingFilesDlg> m_openNotice;
    // The open's stop (set by Stop and the notice's Cancel) and the number of the next temporary
    // name: every open of this dialog gets a fresh one.
    WriteState m_openWrite;
    int32_t m_openFileCounter = 0;
    SaveWork m_lastSaveWork;
    CString m_openedPath;
    bool m_openBusy = false;
    HCURSOR m_cursorBeforeOpen = nullptr;
    // Scan logs: written since the results were made; the save-log question asked; a save or a
    // load under way on this dialog's thread.
    std::atomic<int> m_logSaved{ 0 };
    bool m_logQuestionAsked = false;
    bool m_savingLog = false;
    bool m_logLoading = false;
    struct LoadedLog;
    void ReadLogOnWorker(const CString& path, LoadedLog& loaded);
    void RefuseLog(const CString& keptKind, bool fromCommandLine, bool mediumRefused, bool hideFileList);
    bool RebuildFromLog(LoadedLog& loaded, const CString& devicePath);
    friend UINT ReadScanLogThreadProc(LPVOID param);

    DECLARE_MESSAGE_MAP()
};
