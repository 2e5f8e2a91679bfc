// CSearchSession: what every search dialog (Basic, Deep, Photo, Signature, Video) is made of
// besides its own pages. One object per open search dialog; it owns the dialog's state instead of
// globals two dialogs would share.
//
// How a search plugs in:
//  1. Describe the dialog's controls in a SearchDialogLayout (its template, the ids of the drive
//     tree, the property list, the progress bar, Back, Next, Stop, the partition-search controls,
//     the icon buttons and their icons, the caption). Controls every search dialog shares (the
//     help, about and contact buttons, the links and the share icons) need no entry.
//  2. Derive the dialog from CSearchSession (or, for a file-system search, from CFsSearchSession
//     in fsrecovery/fssession.h) and pass the layout to the constructor.
//  3. Write its pages: Next reads the selection and calls MakeScanRequest, which gives the
//     ScanRequest the dialog keeps and hands to its worker; StartScanWorker runs the scan on its own thread;
//     OnScanWorkerEnded shows the results. Stop is RequestScanStop and WaitForScanWorker.
//  4. Register the dialog's runner with RegisterSearchDialog (app/searchhost.h) in a function that
//     the program's entry (app/main.cpp) calls; the launcher itself never names a search. The
//     runner constructs the dialog with the SearchHost it is handed, which the dialog and the work
//     it starts ask for the launcher's services (Host()).
//
// What the base does for every dialog: the drive tree with its three roots and pictures, the
// detail list of the selected device (DeviceDetailHost), the partition search of a selected disk,
// the dialog's look (frame, caption, icon buttons, tips, links, share row) and its small handlers,
// the key and click filter, the two widths of the progress bar, the exit question, and one scan
// worker with its stop flag and busy global.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "afxwin.h"
#include "app/colorcontrols.h"
#include "app/dialogchrome.h"
#include "app/hidecolumn.h"
#include "app/searchhost.h"
#include "app/treeclass.h"
#include "look/iconbutton.h"
#include "look/piechartwnd.h"
#include "look/rangeslider.h"
#include "look/themeapi.h"
#include "storage/pure/scan_target.h"

class CSearchSession;
// The open search dialog of a mode; null when none is open.
CSearchSession* SearchSessionOfMode(int mode);

// The controls and texts by which one search dialog differs from the others. An id of 0 is a
// control the dialog does not have.
struct SearchDialogLayout {
    struct IconButton {
        int id;
        UINT icon;
    };
    int mode = 0; // kModeBasic ... kModeSignature
    UINT templateId = 0;
    const wchar_t* caption = L"";      // drawn in the frame beside the caption icon
    // The global that tells a scan runs, for a search that others ask; null: the dialog keeps its
    // own (ScanThreadRunning).
    CWinThread** scanThread = nullptr;
    int driveTree = 0;
    int detailList = 0; // the property list of the selected device
    int progress = 0;
    int panel = 0; // the white panel the frame is painted around
    int back = 0, next = 0, refresh = 0, stop = 0;
    int morePartitions = 0, stopPartitions = 0, partitionLabel = 0, partitionProgress = 0;
    int partitionCount = 0, partitionTotal = 0; // the search's "n" and "/ total" texts
    int selectHint = 0;                         // shown while a group item is selected
    int currentGroup = 0;                       // the group box titled in bold
    int forcedOriginal = 0;                     // the check box ticked at opening
    UINT shareUp = 0, shareDown = 0;            // bitmaps of the share button
    UINT driveImages = 0;                       // the drive tree's picture strip
    int fileSystemCombo = 0;                    // the file system to search for, by name
    std::vector<IconButton> iconButtons;
    // Groups the shared services show, hide or lock as one.
    std::vector<int> modeButtons;    // locked while a partition search runs (save, logs, refresh)
    std::vector<int> resultControls; // the scan's range, counters and Stop
    std::vector<int> hintPanel;      // shown in place of the detail list for a group item
    std::vector<int> rangeControls;  // the sector-range edits, their labels and the slider
    // The range slider and the Min, Max, Start and End fields (IDC_RANGE_*) work here when the
    // dialog has them: the slider and the fields follow each other.
    bool sectorRange = false;
    const wchar_t* rangeHelpTip = L"Help for 'Sector Range'"; // tool tip of IDC_RANGE_HELP
    int shareButton = 1188;                                   // the bitmap button that opens the share dialog
    std::vector<int> glassControls;                           // besides the caption icon, what takes part in the glass
    std::vector<int> partitionLocked;                         // locked too while a partition search runs
    // Need Help first shows which drive is selected (ShowSelectedDriveInfo).
    bool driveInfoBeforeHelp = false;
    // The whole disk offered as a partition after a partition search shows no start sector in
    // its detail rows (the Start field holds it).
    bool wholeDiskStartBlank = false;
};

class CSearchSession : public CDialog, public DeviceDetailHost, public TreeNotifyHandler {
public:
    // `host` is the launcher that opens the dialog (its owner window); null for a dialog run
    // without one, which then uses none of the launcher's services.
    CSearchSession(const SearchDialogLayout& layout, SearchHost* host);
    ~CSearchSession() override;

    const SearchDialogLayout& Layout() const { return m_layout; }
    SearchHost* Host() const { return m_host; }
    // The launcher's window while it has one; null otherwise.
    CWnd* LauncherOnScreen() const;
    // The dialog's page index (0: the drive page); registered with the launcher while the dialog
    // lives (RegisterSearchPageIndex).
    int Page() const { return m_page.load(); }
    void SetPage(int page) { m_page = page; }

    // ---- DeviceDetailHost (its Mode() is the layout's, its DetailList() the property list) ----
    bool IsOnFirstPage() const override { return Page() == 0; }
    void ShowSearchHint(const CString& itemText) override;
    // The group items' hint takes the list's place: the list is hidden under it.
    void ShowDetailPanel(int showCommand) override;
    void HideHintLabels() override;
    void ShowHintPanel(int showCommand) override { ShowHintControls(showCommand); }
    void ShowSectorRangeControls(int showCommand) override;
    void SelectFileSystemCombo(const CString& fsName) override;
    void SetSectorRangeControls(uint64_t first, uint64_t last) override;
    void SetDiskSize(uint64_t sectors) override { m_diskSectors = sectors; }
    void ShowTree() override;
    // The sector count of the disk selected last in the drive tree.
    uint64_t DiskSize() const { return m_diskSectors; }

    // ---- The control groups of the layout ----
    void EnableModeButtons(bool enable);
    // The scan's result controls; a dialog with more to do when they go overrides it.
    virtual void ShowResultControls(int showCommand);
    // The hint panel in place of the detail list (SW_SHOW hides the lists it covers).
    void ShowHintControls(int showCommand);

    // ---- The drive tree ----
    CTreeClass& DriveTree() { return m_driveTree; }
    HTREEITEM PhysicalDrivesItem() const { return m_physicalRoot; }
    HTREEITEM LogicalDrivesItem() const { return m_logicalRoot; }
    // "My Computer" with "Physical Drives" and "Logical Drives" under it, expanded.
    void InsertDriveRoots();
    // Every item's picture by its text: the roots, recognised partitions, media, partitions.
    void SetDriveTreeIcons();
    // The drive tree and its detail list made again from the drives attached now (a refresh, or a
    // drive plugged in after none was found), the roots expanded and "My Computer" selected; true
    // when it lists any drive.
    bool RebuildDriveTree();
    // Empties the detail list and gives it the "Name" and "Value" columns.
    void SetPropertyColumns(int count = 8);
    // The value (column 1) of a row of the detail list; empty past its end.
    CString PropertyValue(int row);
    // The scan of what Next read (BuildScanRequest, with the launcher's drive path and the drive's
    // place on its disk). The disk it is read from (ScanDiskOf) is selected first, so that the
    // range is held to that disk and the request keeps that disk's texts; it is published
    // (PublishSelection) before it is returned. False after the End Sector message when the
    // disk holds nothing of the range (the request is then not published).
    using Selection = ScanSelection;
    bool MakeScanRequest(Selection& selection, const wchar_t* searchModeName, ScanRequest& request);
    // The selection state the drive trees and the lost-partition search read, from a request
    // (MakeScanRequest, a loaded log).
    static void PublishSelection(const ScanRequest& request);
    // The texts of the disk selected now (SelectedDiskTexts), which the request's log keeps.
    static void KeepDiskTexts(ScanRequest& request);
    // The selected tree item's kind, file system and disk number: a disk or a drive letter has
    // its disk from the tree, a partition its disk, file system and sectors from its disk's table.
    void ReadSelectedDevice(Selection& selection);
    // The scan of `selection` (read by ReadSelectedDevice, its file system as the search wants it)
    // over the Start and End the drive page checked: MakeScanRequest, and for a drive letter read
    // through its disk (`selection.physical`) the fields, counted in sectors of the volume,
    // narrowing the volume on its disk so that no field can make the range wrap or reach past it.
    // False after the End Sector message when nothing is left to scan.
    bool ApplyTypedRange(Selection& selection, uint64_t start, uint64_t end, const wchar_t* searchModeName,
                         ScanRequest& request);
    // Next with no drive selected, or one of the three group items: the select-a-drive message;
    // true when Next is refused.
    bool RefuseGroupItem(HTREEITEM item);
    // The selected drive-tree item and the item it lies under, told in a message box (nothing
    // when no item is selected).
    void ShowSelectedDriveInfo();

    // ---- The sector range (a layout with sectorRange) ----
    struct SectorRange {
        uint64_t min = 0, max = 0, start = 0, end = 0;
    };
    // The four fields as last read; ReadSectorFields takes what the user typed (a field that is
    // not a number keeps its value: typing never pops a message).
    const SectorRange& TypedSectorRange() const { return m_sectorRange; }
    void ReadSectorFields();
    CRangeSlider& RangeSlider() { return m_rangeSlider; }

    // ---- The partition search of a selected disk ----
    void OnBnClickedSearchMorePartitions();
    // "Do you want to stop searching partition?"; true on Yes.
    bool AskToStopPartitionSearch();
    // The question, then the disk's partition search stopped (it reports by itself).
    void OnBnClickedStopSearchingPartitions();
    // Stops the disk's partition search after its question; true when one was running. Quietly:
    // the search ends without its report (the program is closing).
    bool StopDiskPartitionSearch(bool quietly = false);
    // The dialog's own word for a partition search its drive-tree worker runs, which the
    // launcher's ResetScanCounters clears with its counters; null for a dialog without one.
    virtual std::atomic<int>* PartitionSearchWord() { return nullptr; }
    // The dialog's drive-tree worker (the removable-medium search) is at work on the tree.
    virtual bool DriveTreeWorkerRunning() const { return false; }
    // The drive page while a partition search runs: navigation, Search More Partitions and the
    // tree locked, the search's progress and its stop button shown; and back again.
    void ShowPartitionSearchControls(bool searching);
    bool PartitionSearchBusy() const;

    // ---- The progress bar's two widths (the narrow one while a scan runs) ----
    void GrowProgressArea();
    void ShrinkProgressArea();
    bool ProgressAreaWide() const { return m_progressWide; }
    HWND ProgressBar() const { return m_progress.GetSafeHwnd(); }

    // ---- The scan worker ----
    // Runs proc(this) on a new thread recorded in the layout's busy global; its end is reported
    // on this dialog's thread through OnScanWorkerEnded. False when it could not be started.
    bool StartScanWorker(AFX_THREADPROC proc);
    bool ScanRunning() const { return m_scanWorker.load() != nullptr; }
    // The worker's thread is set from its start until its procedure has returned (ScanRunning
    // lasts until the worker has been waited for).
    bool ScanThreadRunning() const { return ScanThread() != nullptr; }
    // That thread (null once the procedure has returned): the layout's busy global when it names
    // one, else the dialog's own.
    CWinThread* const& ScanThread() const { return const_cast<CSearchSession*>(this)->ScanThreadWord(); }
    const StopFlag& ScanStop() const { return m_scanStop; }
    bool StopRequested() const { return m_scanStop.load() != 0; }
    // Asks the worker to stop after the record or block it reads.
    void RequestScanStop();
    // The program is ending: the dialog's workers end as its own close ends them, each finishing
    // or deleting the file it writes, and are waited for.
    void EndWorkersForExit() { EndWorkers(); }
    // Waits for the worker (keeping this thread's messages flowing) and deletes it; false when
    // none was left to wait for.
    bool WaitForScanWorker();

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    void OnOK() override { }
    void OnCancel() override { }

    // A drive-tree selection fills the detail list; a derived dialog takes its other trees.
    void OnTreeSelChanged(CTreeClass* tree, NMTREEVIEWW* change, LRESULT* result) override;
    void OnTreeItemExpanding(CTreeClass*, NMTREEVIEWW*, LRESULT*) override { }

    // The scan's stop as the worker itself sets and clears it (a scan that must end by itself).
    StopFlag& MutableScanStop() { return m_scanStop; }

    // Called on the dialog's thread once the scan worker has posted its end (not while a stop
    // waits for it, which goes on by itself).
    virtual void OnScanWorkerEnded() { }
    // Ends every worker of the dialog (close and destruction); the base ends the scan.
    virtual void EndWorkers();
    // On a worker whose results could not get memory: the program's host tells the user and
    // ends the program (a host that returns lets the worker end with what it has).
    virtual void OnWorkerOutOfMemory();
    // While the window goes, after the workers have ended: controls let go of what they hold.
    virtual void OnDestroyControls() { }
    // Swallows (true) what the dialog must not see; may rewrite the message.
    virtual bool FilterInput(MSG* msg);
    // On closing, before the exit question is asked.
    virtual void BeforeExitQuestion() { }

    void OnClose();
    void OnDestroy();
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor);
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
    LRESULT OnScanWorkerEndedMsg(WPARAM, LPARAM);
    LRESULT OnRangeChanged(WPARAM, LPARAM);
    void OnEnChangeSectorField();
    void OnEnKillfocusLimitField();
    void OnBnClickedSectorRangeHelp();

    CTreeClass m_driveTree;
    CHideColumn m_detail;
    CProgressCtrl m_progress;
    CProgressCtrl m_partitionProgress;
    HTREEITEM m_physicalRoot = nullptr;
    HTREEITEM m_logicalRoot = nullptr;
    CImageList m_driveImages;
    CToolTipCtrl m_toolTip;
    HICON m_hIcon = nullptr;       // the window's icon, owned
    HICON m_captionIcon = nullptr; // shown by the hidden caption-icon control
    std::vector<std::unique_ptr<CMyBtn>> m_iconButtons;
    CBitmapButton m_shareButton;
    CMy_Link_Static m_linkWeb, m_linkMail;
    CRangeSlider m_rangeSlider;
    DwmApi m_dwm;
    // Every search dialog holds a chart; Back on the drive page empties and destroys its window
    // when one was made.
    CPieChartWnd m_pieChart;
    void ReleasePieChart();
    // Back on the drive page: the dialog's chart and the disk tables let go, the dialog hidden, the
    // launcher shown again, and the modal loop ended with `result`.
    void ReturnToLauncher(int result);

private:
    static UINT ScanWorkerEntry(LPVOID param);
    void SetupChrome();
    // The layout's global, else m_ownScanThread.
    CWinThread*& ScanThreadWord() { return m_layout.scanThread != nullptr ? *m_layout.scanThread : m_ownScanThread; }

    const SearchDialogLayout& m_layout;
    SearchHost* m_host;
    std::atomic<int> m_page{ 0 };
    CRect m_progressNarrow, m_progressWideRect;
    bool m_progressWide = true;
    bool m_painted = false; // the first paint after initialisation has run
    SectorRange m_sectorRange;
    bool m_writingSectorFields = false;
    uint64_t m_diskSectors = 0;
    int m_scrollPos = 0;
    StopFlag m_scanStop{ 0 };
    AFX_THREADPROC m_scanProc = nullptr;
    CWinThread* m_ownScanThread = nullptr;
    // The scan worker's object, owned here until WaitForScanWorker deletes it.
    std::atomic<CWinThread*> m_scanWorker{ nullptr };
    // The worker a WaitForScanWorker is waiting for right now (it is no longer in m_scanWorker).
    CWinThread* m_awaitedWorker = nullptr;

    DECLARE_MESSAGE_MAP()
};
