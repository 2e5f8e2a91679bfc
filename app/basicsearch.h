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
#include "look/iconbutton.h"
#include "look/piechartwnd.h"
#include "look/themeapi.h"

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

// Opens the first selected row of the file list (parameter: the dialog): a folder row selects
// its results-tree item, whose listing follows; a file row is written into the temporary folder
// and, only when that succeeded, handed to the shell. Clears g_pOpenFilesThread as it ends.
UINT BasicOpenFilesThreadProc(LPVOID param);

// Where the popup menus of the results page get their command from; null shows the menu at
// the cursor. The result is the chosen command, 0 when none was.
using PopupMenuPicker = UINT (*)(CMenu& menu);
void SetPopupMenuPicker(PopupMenuPicker picker);

// What Next reads from the property list and the tree item, before anything is changed.
struct BasicScanRequest {
    CString kind;   // SelectedItemKind at the time of Next
    CString fsName; // normalised: "FAT16", "FAT32", "NTFS", "Unknown" ...
    uint16_t diskNumber = 0;
    uint64_t startSector = 0;
    uint64_t endSector = 0;
    bool physical = false; // a drive letter scanned through its disk
};

class CPopulate;
class CSavingFilesDlg;
struct smpparam;

// The drive-tree worker: searches every removable medium listed under "Physical Drives"
// (parameter unused). Its messages to the dialog: a partition found (sent, LPARAM the
// partition), the search over (posted).
UINT BasicDriveTreeThreadProc(LPVOID);
constexpr UINT WM_ZR_REMOVABLE_FOUND = WM_APP + 0x248;
constexpr UINT WM_ZR_REMOVABLE_ENDED = WM_APP + 0x249;

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

    // ---- Removable media (basicremovable.cpp) ----
    // Starts the drive-tree worker when "Physical Drives" lists a removable medium without
    // partitions; false when none started. On the dialog's thread.
    bool StartRemovableMediaSearch();
    // Searches one medium for FAT16, FAT32 and NTFS boot sectors, cylinder by cylinder, and adds
    // each new partition under its item; on the drive-tree worker.
    void SearchRemovableMediumPartitions(const smpparam& medium);
    // The drive page while a partition search (of a disk or of removable media) runs: navigation,
    // Search More Partitions and the tree locked, the search's progress and its stop button
    // shown; and back again.
    void ShowPartitionSearchControls(bool searching);

    // Button handlers (public so that the launcher's keyboard filter and tests can reach them).
    void OnBnClickedNext();
    void OnBnClickedBack();
    void OnBnClickedStop();
    void OnBnClickedRefresh();
    void OnBnClickedSave();
    void OnBnClickedStopSearchingPartitions();
    void OnBnClickedSearchMorePartitions();

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

    // ---- Opening and saving from the results page ----
    static constexpr UINT kMsgOpenFolderRow = WM_APP + 0x242;
    static constexpr UINT kMsgOpenBegin = WM_APP + 0x243;
    static constexpr UINT kMsgOpenEnded = WM_APP + 0x244;
    // Starts the open worker for the first selected row unless one runs already.
    void OpenSelectedRow();
    // From the start of an open until the dialog has ended it (and handed the file on).
    bool OpenRunning() const { return m_openWorker.load() != nullptr; }
    // The open worker's part (on its thread); window work goes to this dialog's thread.
    void OpenFirstSelectedRow();
    // The Save button and the results tree's "Save": the ticked folders and rows, after the
    // "No item has been selected" message when nothing is ticked.
    void OnSaveSelected();
    // The file list's "Save" and "Save All" (which selects every row first): the selected rows,
    // a folder row with everything below it; the selection is cleared afterwards.
    void SaveSelectedRows(bool all);

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    void OnOK() override { }
    void OnCancel() override { }

    void OnClose();
    void OnDestroy();
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor);
    LRESULT OnScanEnded(WPARAM, LPARAM);
    LRESULT OnListingEnded(WPARAM, LPARAM);
    LRESULT OnRemovablePartitionFound(WPARAM, LPARAM);
    LRESULT OnRemovableSearchEnded(WPARAM, LPARAM);
    // Ends the removable-medium search: asks the worker to stop when `stop`, waits for it, gives
    // the controls back and, when `report`, shows the medium's details and the summary. The
    // first caller does the work; nothing to do when no search runs.
    void EndRemovableSearch(bool stop, bool report);
    friend UINT BasicDriveTreeThreadProc(LPVOID);
    // Waits for the listing worker (asking it to stop first when `stop`), removes the notice and
    // enables the dialog again; nothing to do when no listing runs.
    void EndListing(bool stop);

    void OnNMDblclkFileList(NMHDR* header, LRESULT* result);
    void OnNMRClickFileList(NMHDR* header, LRESULT* result);
    void OnNMSetfocusFileList(NMHDR* header, LRESULT* result);
    void OnNMRClickResultTree(NMHDR* header, LRESULT* result);
    LRESULT OnOpenFolderRow(WPARAM row, LPARAM);
    LRESULT OnOpenBegin(WPARAM, LPARAM file);
    LRESULT OnOpenEnded(WPARAM, LPARAM);
    // Waits for the open worker, deletes it and ends the "opening" state; returns the path of
    // the file it wrote (empty when none). Nothing to do when no open worker was started.
    CString EndOpenWorker();
    // Asks a running open to stop and waits for it; nothing is opened.
    void StopOpenWorker();
    bool NothingTicked();
    // Ctrl+A with the focus in the file list after a scan: selects every row (true: handled).
    bool SelectAllOnCtrlA(const MSG* msg);

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
    // The open worker's object (deleted by EndOpenWorker), its notice and the file it wrote.
    std::atomic<CWinThread*> m_openWorker{ nullptr };
    std::unique_ptr<CSavingFilesDlg> m_openNotice;
    CString m_openedPath;
    bool m_openBusy = false;
    HCURSOR m_cursorBeforeOpen = nullptr;

    // ---- The dialog's own look and its small handlers (basicchrome.cpp) ----
    // The look set up at initialisation: system menu, icons, tips, icon buttons, image lists,
    // colours and fonts.
    void SetupChrome();
    // Swallows (true) what the dialog must not see; may rewrite the message.
    bool FilterInput(MSG* msg);
    BOOL OnEraseBkgnd(CDC* dc);
    void OnPaint();
    BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message);
    void OnSysCommand(UINT id, LPARAM lParam);
    LRESULT OnHelpKey(WPARAM, LPARAM);
    void OnVScroll(UINT code, UINT pos, CWnd* bar);
    void OnBnClickedNeedHelp();
    void OnBnClickedAboutUs();
    void OnBnClickedContactUs();
    void OnBnClickedShareOnSocialMedia();
    void OnStnClickedLink();  // support mail
    void OnStnClickedLink2(); // web site
    void OnShareLink(UINT id);

    HICON m_hIcon = nullptr;       // the window's icon, owned
    HICON m_captionIcon = nullptr; // shown by the hidden caption-icon control
    CToolTipCtrl m_toolTip;
    CMyBtn m_iconButtons[12];
    CBitmapButton m_shareButton;
    CMy_Link_Static m_linkWeb, m_linkMail;
    CColorStatic m_currentFolder; // the folder count line, link-blue
    DwmApi m_dwm;
    // Every search dialog holds a chart; this one never creates its window.
    CPieChartWnd m_pieChart;
    bool m_painted = false; // the first paint after initialisation has run
    int m_scrollPos = 0;
    // True while EndListing waits for the listing worker.
    bool m_endingListing = false;

    DECLARE_MESSAGE_MAP()
};

// Registers the dialog's runner with the launcher and its drive-tree target.
void RegisterBasicSearchDialog();
