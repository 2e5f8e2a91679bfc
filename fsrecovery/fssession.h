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
#include "fsrecovery/file_copy.h"
#include "fsrecovery/folder_listing.h"
#include "fsrecovery/open_row.h"
#include "fsrecovery/pure/found_store.h"
#include "fsrecovery/removable_search.h"
#include "fsrecovery/row_ticks.h"
#include "fsrecovery/scan_log.h"
#include "fsrecovery/ticked_save.h"
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

// Where the popup menus of the results page get their command from; null shows the menu at the
// cursor. The result is the chosen command, 0 when none was.
using PopupMenuPicker = UINT (*)(CMenu& menu);
void SetPopupMenuPicker(PopupMenuPicker picker);

// A refusal or notice of a file-system search: caption "Message", information icon.
void Inform(CWnd* owner, const wchar_t* text);

class CFsSearchSession : public CSearchSession {
public:
    // Result of the modal loop when Back ends the dialog on the drive page.
    static constexpr INT_PTR kBackResult = 2;

    CFsSearchSession(const SearchDialogLayout& layout, const FsDialogLayout& fsLayout, SearchHost* host);
    ~CFsSearchSession() override;

    FoundStore& Store() { return m_store; }
    // The scan Next asked for last, or the one a loaded log stands for; its scan log is written
    // from it and the store's volumes.
    const ScanRequest& Request() const { return m_request; }
    ScanRequest& Request() { return m_request; }
    // What the scan reads (or read).
    const ScanTarget& Target() const { return m_request.target; }
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
    // The file list of the selected results folder, its rows and its worker.
    FolderListing& Listing() { return m_listing; }

    // ---- Opening and saving ----
    static constexpr UINT kMsgLoadStartupLog = WM_APP + 0x250;
    // Starts the open worker for the first selected row unless one runs already (RowOpener): a
    // folder row selects its results-tree item, whose listing follows; a file row is written
    // into the temporary folder and, only when that succeeded, handed to the shell.
    void OpenSelectedRow() { m_opener.OpenSelected(); }
    bool OpenRunning() const { return m_opener.Running(); }
    // The open worker while its procedure runs (it clears this as it ends); null otherwise.
    CWinThread* OpenFilesThread() const { return m_opener.Thread(); }
    // The number the next temporary name of an opened file starts from.
    int32_t OpenFileCounter() const { return m_opener.FileCounter(); }
    // The Save button and the results tree's "Save": the ticked folders and rows, after the
    // "No item has been selected" message when nothing is ticked.
    void OnSaveSelected();
    // What the dialog's last save asked of the system.
    const SaveWork& LastSaveWork() const { return m_saver.LastSaveWork(); }
    // The file list's "Save" and "Save All" (which selects every row first): the list's
    // selection is cleared, then the ticked folders and rows are saved as by OnSaveSelected.
    void ClearFileListSelection();

    // ---- Removable media (RemovableSearch) ----
    // While the drive page is up, a worker searches each removable medium that "Physical Drives"
    // lists without partitions for FAT16, FAT32 and NTFS boot sectors, cylinder by cylinder, and
    // adds what it finds in green under the medium. Starts it; false when none started.
    bool StartRemovableMediaSearch() { return m_removableSearch.Start(); }
    // The removable-medium search is at a medium (Next waits for it).
    bool RemovableMediumListing() const { return m_removableSearch.MediumListing(); }
    void ClearPartitionSearchFlag() { m_removableSearch.ClearListing(); }
    std::atomic<int>* PartitionSearchWord() override { return m_removableSearch.ListingWord(); }
    bool DriveTreeWorkerRunning() const override { return m_removableSearch.WorkerRunning(); }
    // Stop Searching Partitions: after its question, the disk's search or the removable-medium
    // search ends, keeping what it found.
    void OnBnClickedStopSearchingPartitions() { m_removableSearch.OnStopSearchingPartitions(); }

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
    // The file list over the drive page's list area (the drive page) or beside the whole results
    // tree (the results page).
    void PlaceFileList(bool resultsPage);
    // The frame "Current Folder" and the listed folder's counts in it: shown with the results
    // (after a scan, a stop or a load), hidden while a scan runs and on the drive page.
    void ShowFolderFrame(int showCommand);

    // ---- Scan logs (ScanLogs) ----
    // Save Log: refused before a scan and while one runs; else the log is written.
    void OnBnClickedSaveLog() { m_scanLogs.OnSaveLog(); }
    // Load Log: refused after a scan was started and while one runs; else the log named on the
    // command line, or one the user picks, is loaded.
    void OnBnClickedLoadLog();
    // Asks for the file and writes the results into it; true when the log was written whole.
    bool SaveScanLog() { return m_scanLogs.Save(); }
    // Writes the results into `path`; a write that fails removes the part written and says so.
    bool SaveScanLogTo(const CString& path) { return m_scanLogs.SaveTo(path); }
    // Reads the log, checks that its medium is attached (or asks about one that stands in for it)
    // and shows its results as a finished scan would; a log of the other search is handed over
    // to it. `fromCommandLine`: the start-up log.
    void LoadScanLog(const CString& path, bool fromCommandLine);
    // The results were written into a log since they were found or loaded.
    bool LogSaved() const { return m_scanLogs.Saved(); }
    bool LogLoading() const { return m_scanLogs.Loading(); }
    // Where the launcher keeps this dialog's log loader while it reads a log; null without a
    // launcher.
    CWinThread** LogLoadThreadSlot() const { return m_scanLogs.LoadThreadSlot(); }

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
    // Before the exit question: results whose log was not saved offer to save it, once.
    void BeforeExitQuestion() override { m_scanLogs.OfferSaveBeforeExit(); }
    // The results are new (a scan ended, or Back): they have not been saved or asked about.
    void ForgetLogSaved() { m_scanLogs.ForgetSaved(); }

    // Set by Next on this dialog's thread before the scan worker starts (which takes its own
    // copy), or by a log's load; the scan's end keeps what the scan found of the volume.
    ScanRequest m_request;

    // Empties the results: the tree with its folder records, the file list and the store.
    void ClearResults();
    // Asks a running open to stop and waits for it; nothing is opened.
    void StopOpenWorker() { m_opener.Stop(); }

    void OnNMDblclkFileList(NMHDR* header, LRESULT* result);
    void OnNMRClickFileList(NMHDR* header, LRESULT* result);
    void OnNMSetfocusFileList(NMHDR* header, LRESULT* result);
    void OnNMRClickResultTree(NMHDR* header, LRESULT* result);
    LRESULT OnListingEnded(WPARAM finished, LPARAM) { return m_listing.OnWorkerEnded(finished); }
    LRESULT OnOpenFolderRow(WPARAM row, LPARAM) { return m_opener.OnFolderRow(row); }
    LRESULT OnOpenBegin(WPARAM, LPARAM file) { return m_opener.OnBegin(file); }
    LRESULT OnOpenEnded(WPARAM, LPARAM) { return m_opener.OnEnded(); }
    LRESULT OnLoadStartupLog(WPARAM, LPARAM);
    LRESULT OnRemovablePartitionFound(WPARAM index, LPARAM found)
    {
        return m_removableSearch.OnPartitionFound(index, found);
    }
    LRESULT OnRemovableSearchEnded(WPARAM, LPARAM) { return m_removableSearch.OnEnded(); }
    // Ends the removable-medium search: asks the worker to stop when `stop`, waits for it, gives
    // the controls back and, when `report`, shows the medium's details and the summary. The
    // first caller does the work; nothing to do when no search runs.
    void EndRemovableSearch(bool stop, bool report) { m_removableSearch.End(stop, report); }

    CTreeClass m_resultTree;
    CImageList m_resultImages, m_stateImages;
    CColorStatic m_currentFolder; // the folder count line, link-blue

private:
    // Ctrl+A with the focus in the file list after a scan: selects every row (true: handled).
    bool SelectAllOnCtrlA(const MSG* msg);
    // What the listing and the scan logs ask of the dialog.
    FolderListing::Hooks ListingHooks();
    ScanLogs::Hooks ScanLogHooks();
    // After a listing ended: the ticks of its rows back, and when it ran to its end and the scan
    // found nothing, the notice that says so.
    void AfterListing(bool ranToItsEnd);

    const FsDialogLayout& m_fsLayout;
    FoundStore m_store;
    std::unique_ptr<CHideColumn> m_fileList; // when the file list is not the detail list
    std::atomic<bool> m_resultsPresent{ false };
    bool m_stopping = false; // StopScanAndWait waits for the scan worker
    CRect m_listDriveRect, m_listResultsRect; // the file list's place on either page
    RemovableSearch m_removableSearch;
    FolderListing m_listing;
    // The ticked rows of every folder listed so far, so that a tick stays when another folder is
    // shown.
    RowTicks m_ticks;
    TickedSave m_saver;
    RowOpener m_opener;
    // The log of the other search handed over to its dialog, run on this thread with the log as
    // its start-up log; this dialog waits hidden and goes when that one has gone.
    void HandLogToOtherSearch(const CString& path, uint32_t otherMode);
    ScanLogs m_scanLogs;

    DECLARE_MESSAGE_MAP()
};
