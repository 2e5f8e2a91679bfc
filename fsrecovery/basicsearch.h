// CBasicSearch: the Basic Search screen, a file-system search session. One window with two
// pages: the drive page (drive tree and the property list of the selected disk, partition or
// drive letter) and the results page (scan progress, then the results tree and the file list of
// the selected folder). Its own parts are Next (the selection read from the property list), the
// scan of one volume, Stop, Back and the partition search of removable media.
#pragma once
#include <atomic>
#include <cstdint>
#include <vector>

#include "afxwin.h"
#include "app/scanprogress.h"
#include "fsrecovery/fssession.h"
#include "fsrecovery/pure/scan_status.h"
#include "storage/driverecords.h"

// The drive-tree worker of a removable medium; null when none runs.
extern CWinThread* g_pBasicDriveTreeThread;

// The scan itself runs this procedure on its own thread with the dialog as parameter; it polls
// CBasicSearch::StopRequested and runs its own finishing steps before it returns. Without one
// installed the file-system scan of a copy of the dialog's request runs (SetScannedTarget
// hands back what it found of the volume) and the results tree is built from what it found.
void SetBasicScanProc(AFX_THREADPROC proc);

// Sent by the scan worker when its status is due on screen (LPARAM: a ScanStatusSnapshot).
constexpr UINT WM_ZR_BASIC_SCAN_STATUS = WM_APP + 0x24A;

class CBasicSearch : public CFsSearchSession {
public:
    enum { IDD = 129 };

    // The page (Page()) counts the scans started since the last Back; 0 while the drive page is
    // shown.
    explicit CBasicSearch(SearchHost* host = nullptr);
    ~CBasicSearch() override;

    void SetFileListColumns();
    void RefreshDriveTree();

    // Button handlers (public so that the launcher's keyboard filter and tests can reach them).
    void OnBnClickedNext();
    void OnBnClickedBack();
    void OnBnClickedStop();
    void OnBnClickedRefresh();

    // What the scan ended with, shown once the results page is up (empty: nothing to say).
    void SetScanMessage(const CString& text) { m_scanMessage = text; }
    // From the scan worker as it ends: the target as the scan found it (its volume may lie
    // elsewhere than selected, with the geometry found); the request takes it once the worker
    // has ended.
    void SetScannedTarget(const ScanTarget& target) { m_scannedTarget = target; }
    // The scan's status on its controls: the texts of the phase, the progress bar's range when a
    // phase begins and its position. On the dialog's thread.
    void ShowScanStatus(const ScanStatusSnapshot& status);
    // Hides (or shows) the scan's range, counters and Stop; the progress bar takes its full
    // width when they go while it shows.
    void ShowResultControls(int showCommand) override;
    // Reads the selection for a scan; false (after its message, or silently for a second
    // scan) when Next must be refused. Changes no global state.
    bool ReadScanRequest(HTREEITEM item, Selection& request);

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnScanWorkerEnded() override;
    void ShowNoResultsNotice() override;
    std::atomic<int32_t>& NoticeState() override;
    void OnResultsBuildStep(ResultsBuildStep step) override;
    LRESULT OnScanStatus(WPARAM, LPARAM status);
    void OnTimer(UINT_PTR id);

    void ShowResultsPage();
    // Results tree and file list shown, Back enabled and Next disabled; the tree enabled with
    // "Root" selected unless not `openTree` (a loaded log's, once its message was answered).
    void ShowResultsState(bool openTree = true);
    // The request's volume as the scan found it (on the dialog's thread, once the scan ended).
    void KeepScannedVolume();
    void ShowLoadedResults(bool throughDisk) override;
    void ShowRange(uint64_t start, uint64_t end);

    CColorStatic m_path, m_scanned, m_current, m_range, m_status, m_probeDone, m_probeTotal, m_note;
    // The phase whose controls are on screen.
    BasicScanPhase m_shownPhase = BasicScanPhase::Validating;
    // The counts within a phase, kept current on every report and painted as paced.
    PacedCounts m_counts;
    ScanTarget m_scannedTarget; // written by the scan worker alone while it runs
    CString m_scanMessage;
    int m_lastAnswer = 0;

    DECLARE_MESSAGE_MAP()
};

// Registers the dialog's runner with the launcher.
void RegisterBasicSearchDialog();
