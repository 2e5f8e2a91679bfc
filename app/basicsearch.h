// CBasicSearch: the Basic Search screen. One window with two pages: the drive page (drive tree
// and the property list of the selected disk, partition or drive letter) and the results page
// (scan progress, then the results tree and the file list of the selected folder).
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

#include "afxwin.h"
#include "app/colorcontrols.h"
#include "app/hidecolumn.h"
#include "app/treeclass.h"

// Scans started since the last Back; 0 while the drive page is shown.
extern std::atomic<int> BasicSearchPage;
// The running scan worker (also the scan-running flag), the drive-tree worker of a removable
// medium and the open worker; null when none runs.
extern CWinThread* g_pBasicScanThread;
extern CWinThread* g_pBasicDriveTreeThread;
extern CWinThread* g_pOpenFilesThread;
// The results item whose folder the file list shows (set when its listing starts).
extern HTREEITEM LastPopulatedItem;
// Lists the folders and files of LastPopulatedItem into the dialog's file list (parameter: the
// dialog), then asks the dialog to end the listing state.
UINT PopulateListThreadProc(LPVOID param);
// 1 when a drive letter is scanned through its physical disk.
extern std::atomic<int> ScanAsPhysicalDisk;

// The scan itself runs this procedure on its own thread with the dialog as parameter; it polls
// CBasicSearch::StopRequested and runs its own finishing steps before it returns. Without one
// installed the file-system scan runs and the results tree is built from what it found.
void SetBasicScanProc(AFX_THREADPROC proc);

// Where Save asks for the destination folder; null restores the destination notice and the
// folder picker. An empty answer cancels the save.
using SaveFolderPicker = CString (*)(CWnd* owner);
void SetSaveFolderPicker(SaveFolderPicker picker);

// What Next reads from the property list and the tree item, before anything is changed.
struct BasicScanRequest {
    CString kind;          // SelectedItemKind at the time of Next
    CString fsName;        // normalised: "FAT16", "FAT32", "NTFS", "Unknown" ...
    uint16_t diskNumber = 0;
    uint64_t startSector = 0;
    uint64_t endSector = 0;
    bool physical = false; // a drive letter scanned through its disk
};

class CPopulate;

class CBasicSearch : public CDialog, public DeviceDetailHost {
public:
    enum { IDD = 129 };
    // Result of the modal loop when Back ends the dialog on the drive page.
    static constexpr INT_PTR kBackResult = 2;

    explicit CBasicSearch(CWnd* parent = nullptr);
    ~CBasicSearch() override;

    // ---- DeviceDetailHost ----
    int Mode() const override;
    CListCtrl* DetailList() override { return &m_list; }
    bool IsOnFirstPage() const override { return BasicSearchPage == 0; }
    void ShowSearchHint(const CString& itemText) override;
    void HideHintLabels() override;

    // The scan progress bar is widened while the stop runs and narrowed for the scan; both
    // switch between two rectangles taken at initialisation, so repeating either changes nothing.
    void GrowProgressArea();
    void ShrinkProgressArea();
    bool ProgressAreaWide() const { return m_progressWide; }

    void SetFileListColumns();
    void SetPropertyColumns(int count = 8);
    void SetDriveTreeIcons();
    void RefreshDriveTree();

    // Button handlers (public so that the launcher's keyboard filter and tests can reach them).
    void OnBnClickedNext();
    void OnBnClickedBack();
    void OnBnClickedStop();
    void OnBnClickedRefresh();
    void OnBnClickedSave();
    void OnBnClickedStopSearchingPartitions();

    // Read by the scan worker before each record or block.
    bool StopRequested() const { return m_stopFlag != 0; }
    const volatile uint32_t* StopFlag() const { return &m_stopFlag; }
    HWND ProgressBar() const { return m_progress.GetSafeHwnd(); }
    // What the scan ended with, shown once the results page is up (empty: nothing to say).
    void SetScanMessage(const CString& text) { m_scanMessage = text; }
    CTreeClass& DriveTree() { return m_driveTree; }
    CTreeClass& ResultTree() { return m_resultTree; }
    HTREEITEM PhysicalDrivesItem() const { return m_physicalRoot; }
    HTREEITEM LogicalDrivesItem() const { return m_logicalRoot; }

    // Reads the selection for a scan; false (after its message, or silently for a second
    // scan) when Next must be refused. Changes no global state.
    bool ReadScanRequest(HTREEITEM item, BasicScanRequest& request);

    // A results-tree selection: lists the folder of `item` behind the "Populating" notice.
    void OnResultSelChanged(HTREEITEM item);
    // The listing itself (on the listing worker): subfolder rows, then the folder's files.
    void FillListedFolder();

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    void OnOK() override {}
    void OnCancel() override {}

    void OnClose();
    void OnDestroy();
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor);
    LRESULT OnScanEnded(WPARAM, LPARAM);
    LRESULT OnListingEnded(WPARAM, LPARAM);
    // Waits for the listing worker (asking it to stop first when `stop`), removes the notice and
    // enables the dialog again; nothing to do when no listing runs.
    void EndListing(bool stop);

    void InsertDriveRoots();
    // Applies an accepted request to the selection globals and the device path.
    void ApplyScanRequest(const BasicScanRequest& request);
    void ShowResultsPage();
    void StartScanWorker();
    // Takes the ended (or stopping) worker, waits for it and shows the results state; the first
    // caller does the work, later callers find nothing to do.
    void FinishScan();
    // Waits for the scan worker and deletes it; false when none was left to wait for.
    bool WaitForScanWorker();
    // Results tree and file list shown, "Root" selected, Back enabled and Next disabled.
    void ShowResultsState();
    void ShowRange(uint64_t start, uint64_t end);
    CString PropertyValue(int row);
    bool WorkerRunning() const;

    CTreeClass m_driveTree;
    CTreeClass m_resultTree;
    CHideColumn m_list;
    CProgressCtrl m_progress;
    CProgressCtrl m_partitionProgress;
    CColorStatic m_path, m_scanned, m_current, m_range, m_status;
    CImageList m_driveImages, m_resultImages, m_stateImages;
    HTREEITEM m_physicalRoot = nullptr;
    HTREEITEM m_logicalRoot = nullptr;
    CRect m_progressNarrow, m_progressWideRect;
    bool m_progressWide = true;
    volatile uint32_t m_stopFlag = 0;
    CString m_scanMessage;
    std::atomic<int> m_removableListing{ 0 };
    std::atomic<int> m_logSaved{ 0 };
    // The scan worker's object, owned here until FinishScan deletes it.
    std::atomic<CWinThread*> m_scanWorker{ nullptr };
    bool m_stopping = false;
    int m_lastAnswer = 0;
    CString m_pathText;
    std::unique_ptr<CPopulate> m_populateDlg;

    DECLARE_MESSAGE_MAP()
};

// Registers the dialog's runner with the launcher and its drive-tree target.
void RegisterBasicSearchDialog();
