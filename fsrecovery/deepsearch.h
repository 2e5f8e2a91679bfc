// CDeepSearch: the Deep Search screen, a file-system search session that trusts no partition
// table, boot sector or FAT. Its drive page adds the sector range and the file system to look for;
// Next reads every sector of the range for FAT boot sectors and directory clusters or NTFS file
// records, assembles what it found into volumes and shows their folders in the results tree that
// Basic Search uses, each folder listed, opened and saved through its own volume's geometry.
#pragma once
#include <atomic>
#include <cstdint>
#include <vector>

#include "afxwin.h"
#include "fsrecovery/fssession.h"
#include "fsrecovery/pure/deep_results.h"

// Scans started since the last Back; 0 while the drive page is shown.
extern std::atomic<int> DeepSearchPage;
// The running scan worker (also the scan-running flag); null when none runs.
extern CWinThread* g_pDeepScanThread;

// Sent by the scan worker when its progress is due on screen (LPARAM: a DeepScanStatus).
constexpr UINT WM_ZR_DEEP_SCAN_STATUS = WM_APP + 0x260;

// Where a Deep scan is: carving the range, or assembling and building the results from it.
struct DeepScanStatus {
    enum Phase { Carving, Finishing } phase = Carving;
    uint64_t first = 0, end = 0, at = 0;
};

// The NTFS geometry the carved records are read with: cluster 0 at the volume's start as the
// selection gives it, sectors per cluster from a boot sector of that volume when one was found.
DeepNtfsGeometry DeepNtfsGeometryOf(const std::vector<NtfsBootHit>& boots, uint64_t volumeStart);

class CDeepSearch : public CFsSearchSession {
public:
    enum { IDD = 135 };
    // Result of the modal loop when Back ends the dialog on the drive page.
    static constexpr INT_PTR kBackResult = 2;

    explicit CDeepSearch(CWnd* parent = nullptr);
    ~CDeepSearch() override;

    // Button handlers (public so that tests can reach them).
    void OnBnClickedNext();
    void OnBnClickedBack();
    void OnBnClickedStop();
    void OnBnClickedRefresh();

    void SetFileListColumns();
    // The scan's target, set by Next before the worker starts.
    const ScanTarget& Target() const { return m_target; }
    // How many times a scan's results were finished since the dialog opened (one per scan).
    int FinishedScans() const { return m_finishedScans.load(); }

    // ---- DeviceDetailHost ----
    void SetFileSystemComboIndex(int index) override;
    void HideFoundFileSystemList() override;

    // The scan and its finishing steps, on the scan worker.
    void RunScan();

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnScanWorkerEnded() override;
    void ShowNoResultsNotice() override;
    std::atomic<int32_t>& NoticeState() override;
    void OnResultsBuildStep(ResultsBuildStep step) override;
    void ShowLoadedResults(bool throughDisk) override;
    bool ScannedThroughDisk() const override { return m_throughDisk; }
    LRESULT OnScanStatus(WPARAM, LPARAM status);

    // Reads the drive page into `selection`, the range and the file system; false (after its
    // message, or silently) when Next must be refused.
    bool ReadScanRequest(Selection& selection, uint64_t& start, uint64_t& end);
    void ShowResultsPage();
    // The scan is over: results tree and file list shown, "Root" selected, Back enabled.
    void ShowResultsState();
    // The file list over the drive page's list area (the drive page) or beside the whole results
    // tree (the results page).
    void PlaceFileList(bool resultsPage);

    CColorStatic m_hint, m_path, m_current, m_range, m_scanned, m_treeLabel, m_wait, m_rangeLabel;
    CProgressCtrl m_treeProgress;
    ScanTarget m_target;
    bool m_throughDisk = false;
    bool m_stopping = false;
    std::atomic<int> m_finishedScans{ 0 };
    CRect m_listDriveRect, m_listResultsRect;

    DECLARE_MESSAGE_MAP()
};

// Registers the dialog's runner with the launcher.
void RegisterDeepSearchDialog();
