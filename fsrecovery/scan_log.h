// ScanLogs: the scan logs of a file-system search as a person meets them: Save Log, Load Log, the
// start-up log and the save-log question on leaving. The format and its checks are
// fsrecovery/pure/scan_log.*; turning the results into its rows and back is
// fsrecovery/pure/scan_log_results.*. A file-system search dialog holds one beside its listing;
// it reaches the dialog through what every search dialog offers (CSearchSession) and the hooks
// the dialog gives it.
#pragma once
#include <atomic>
#include <functional>
#include <memory>

#include "app/searchsession.h"
#include "fsrecovery/folder_listing.h"
#include "fsrecovery/pure/found_store.h"

// Where Save Log and Load Log ask for the log file (`save`: the file to write); null restores the
// file dialogs. An empty answer cancels.
using ScanLogPathPicker = CString (*)(CWnd* owner, bool save);
void SetScanLogPathPicker(ScanLogPathPicker picker);

class ScanLogs {
public:
    // What the scan logs ask of their dialog.
    struct Hooks {
        // Empties the results: the tree with its folder records, the file list and the store.
        std::function<void()> clearResults;
        // The results page after a log was loaded (its state as after a finished scan, but for
        // the results tree, which the load enables and selects in after its message), or the
        // drive page again after a load was refused; the shared controls are done by then.
        // `throughDisk`: a drive letter's results read through its disk.
        std::function<void(bool throughDisk)> showLoadedResults;
        std::function<void()> showDrivePage;
    };
    // `progress`: the dialog's bar, which shows the tree being built; `resultsPresent`: the
    // dialog's word that the results hold something to show. `statusLabel`: "Please wait, ..."
    // while a log's tree is loaded; `pathLabel`: the hint line.
    // `request`: the dialog's scan request, from which a log is written and which a loaded log
    // replaces.
    ScanLogs(CSearchSession& dialog, FolderListing& listing, CTreeClass& resultTree, FoundStore& store,
             ScanRequest& request, CProgressCtrl& progress, std::atomic<bool>& resultsPresent, Hooks hooks, int statusLabel,
             int pathLabel);
    ~ScanLogs();
    ScanLogs(const ScanLogs&) = delete;
    ScanLogs& operator=(const ScanLogs&) = delete;

    // ---- Save ----
    // Save Log: refused before a scan and while one runs; else the log is written.
    void OnSaveLog();
    // Asks for the file and writes the results into it; true when the log was written whole.
    bool Save();
    // Writes the results into `path`; a write that fails removes the part written and says so.
    bool SaveTo(const CString& path);
    // Before the exit question: results whose log was not saved offer to save it, once.
    void OfferSaveBeforeExit();
    // The results are new (a scan ended, or Back): they have not been saved or asked about.
    void ForgetSaved();
    // The results were written into a log since they were found or loaded.
    bool Saved() const { return m_saved.load() != 0; }

    // ---- Load ----
    // Load Log: refused after a scan was started and while one runs; else the log named on the
    // command line, or one the user picks. False when there is nothing to load.
    bool ChooseLogToLoad(CString& path, bool& fromCommandLine);
    // What became of a load: shown, refused (the drive page again), or a log of the other search
    // (its mode in `otherMode`), which the dialog hands over to that search.
    struct LoadOutcome {
        enum class Kind { Loaded, Refused, OtherSearch } kind = Kind::Refused;
        uint32_t otherMode = 0;
    };
    // Reads the log, checks that its medium is attached (or asks about one that stands in for it)
    // and shows its results as a finished scan would. `fromCommandLine`: the start-up log.
    LoadOutcome Load(const CString& path, bool fromCommandLine);
    bool Loading() const { return m_loading; }
    // Where the launcher keeps this dialog's log loader while it reads a log; null without a
    // launcher.
    CWinThread** LoadThreadSlot() const;

private:
    struct LoadJob;
    friend UINT ReadScanLogThreadProc(LPVOID param);
    void ReadLogOnWorker(LoadJob& job);
    // The steps of a load: the page prepared; the log read whole enough, its medium found (false:
    // refused, said and the drive page shown); the search asked to take a log of the other mode;
    // the results rebuilt and shown (false: the log failed part way, see FailLoad).
    void BeginLoad(LoadJob& job);
    bool CheckLogRead(LoadJob& job);
    bool CheckMedium(LoadJob& job);
    LoadOutcome ChooseOtherSearch(LoadJob& job);
    bool ShowLog(LoadJob& job);
    // A log that failed part way: its damage said, what was read before it left in the disabled
    // results tree, the dialog on its first page again (Load Log, Next and Back work).
    void FailLoad(const CString& why);
    // The drive page again after a refusal, `text` said first (none: null).
    void Refuse(LoadJob& job, const wchar_t* text, bool mediumRefused, bool hideFileList);
    void RefuseLog(const CString& keptKind, bool fromCommandLine, bool mediumRefused, bool hideFileList);
    void SayCorrupt(const CString& why);
    // The results of the log in the store and the tree, the page as during a scan's tree build
    // meanwhile, the tree left disabled; true when every folder of the log found its place.
    bool RebuildFromLog(LoadJob& job, const CString& devicePath);
    size_t InsertLogTree(LoadJob& job);
    void ShowTreeLoading();
    void EndTreeLoading();

    CSearchSession& m_dialog;
    FolderListing& m_listing;
    CTreeClass& m_resultTree;
    FoundStore& m_store;
    ScanRequest& m_request;
    CProgressCtrl& m_progress;
    std::atomic<bool>& m_resultsPresent;
    const Hooks m_hooks;
    const int m_statusLabel, m_pathLabel;
    // Written since the results were made; the save-log question asked; a save or a load under
    // way on the dialog's thread.
    std::atomic<int> m_saved{ 0 };
    bool m_questionAsked = false;
    bool m_saving = false;
    bool m_loading = false;
};
