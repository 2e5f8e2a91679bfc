#include "fsrecovery/basicsearch.h"

#include <algorithm>

#include "app/searchhost.h"
#include "app/notices.h"
#include "app/questions.h"
#include "app/searchcontrols.h"
#include "app/startup.h"
#include "app/waitdialogs.h"
#include "fsrecovery/basic_scan.h"
#include "resources/resource.h"
#include "app/devicetree.h"
#include "storage/pure/bootsector.h"
#include "storage/pure/drive_texts.h"
#include "storage/pure/globals.h"

CWinThread* g_pBasicDriveTreeThread = nullptr;

namespace {

const wchar_t kEndBeforeStartText[] = L"The value of \x2018"
                                      L"End Sector\x2019 cannot be less than or equal to the \x2018"
                                      L"Start Sector\x2019 of the Drive.";

std::atomic<AFX_THREADPROC> g_scanProc{ nullptr };

const SearchDialogLayout& BasicLayout()
{
    static const SearchDialogLayout layout = [] {
        SearchDialogLayout l;
        l.mode = kModeBasic;
        l.templateId = IDD_BASIC_SEARCH;
        l.caption = L"Basic Search";
        l.driveTree = IDC_BS_DRIVE_TREE;
        l.detailList = IDC_BS_FILE_LIST;
        l.progress = IDC_BS_PROGRESS;
        l.panel = IDC_BS_PANEL;
        l.back = IDC_BS_BACK;
        l.next = IDC_BS_NEXT;
        l.refresh = IDC_BS_REFRESH;
        l.stop = IDC_BS_STOP;
        l.morePartitions = IDC_BS_MORE_PARTITIONS;
        l.stopPartitions = IDC_BS_STOP_PARTITIONS;
        l.partitionLabel = IDC_BS_PS_LABEL;
        l.partitionProgress = IDC_BS_PS_PROGRESS;
        l.partitionCount = IDC_BS_SECTORS;
        l.partitionTotal = IDC_BS_OF_TOTAL;
        l.selectHint = IDC_BS_SELECT_HINT;
        l.currentGroup = IDC_BS_CURRENT_GROUP;
        l.forcedOriginal = IDC_BS_FORCED;
        l.shareUp = IDB_BS_SHARE_UP;
        l.shareDown = IDB_BS_SHARE_DOWN;
        l.driveImages = IDB_DRIVE_TREE_IMAGES;
        l.modeButtons = { IDC_BS_SAVE, IDC_BS_LOAD_LOG, IDC_BS_SAVE_LOG, IDC_BS_REFRESH };
        l.resultControls = { IDC_BS_RANGE, IDC_BS_RANGE_LABEL, IDC_BS_STOP, IDC_BS_CURRENT, IDC_BS_SCANNED };
        l.hintPanel = { IDC_BS_SELECT_HINT };
        l.iconButtons = {
            { IDC_BS_CONTACT, IDI_CONTACT },
            { IDC_BS_ABOUT, IDI_ABOUT },
            { IDC_BS_NEED_HELP, IDI_HELP },
            { IDC_BS_REFRESH, IDI_REFRESH },
            { IDC_BS_STOP, IDI_STOP },
            { IDC_BS_BACK, IDI_BACK },
            { IDC_BS_SAVE, IDI_SAVE },
            { IDC_BS_SAVE_LOG, IDI_SAVE_LOG },
            { IDC_BS_NEXT, IDI_NEXT },
            { IDC_BS_LOAD_LOG, IDI_LOAD_LOG },
            { IDC_BS_MORE_PARTITIONS, IDI_ENTIRE_DRIVE },
            { IDC_BS_STOP_PARTITIONS, IDI_STOP },
        };
        return l;
    }();
    return layout;
}

const FsDialogLayout& BasicFsLayout()
{
    static const FsDialogLayout layout = [] {
        FsDialogLayout l;
        l.resultTree = IDC_BS_RESULT_TREE;
        l.fileList = IDC_BS_FILE_LIST;
        l.folderCount = IDC_BS_CURRENT_FOLDER;
        l.pathLabel = IDC_BS_PS_NOTE;
        l.resultImages = IDB_RESULT_TREE_IMAGES;
        l.stateImages = IDB_TREE_STATE_IMAGES;
        l.statusLabel = IDC_BS_STATUS;
        l.driveTreeThread = &g_pBasicDriveTreeThread;
        return l;
    }();
    return layout;
}

// Tells the dialog the scan's status from the scan's own thread: each phase as it begins, its
// progress only when the display moves by a step. Each report waits until it is on screen, so the
// controls show where the scan is, never where it was.
class ScanStatusReporter {
public:
    explicit ScanStatusReporter(HWND dialog) : m_dialog(dialog) { }

    BasicScanObserver Observer()
    {
        BasicScanObserver observer;
        observer.phase = [this](BasicScanPhase phase, uint64_t first, uint64_t end) {
            m_status = ScanStatusSnapshot{ phase, first, end, 0 };
            m_throttle.Restart();
            m_throttle.Due(0, end - first);
            Send();
        };
        observer.progress = [this](uint64_t done, uint64_t total) {
            if (!m_throttle.Due(done, total))
                return;
            m_status.done = done;
            Send();
        };
        return observer;
    }

private:
    void Send() { ::SendMessageW(m_dialog, WM_ZR_BASIC_SCAN_STATUS, 0, LPARAM(&m_status)); }

    HWND m_dialog;
    ScanStatusSnapshot m_status;
    ProgressThrottle m_throttle;
};

// The scan of the selected volume and its finishing steps: the rows whose parent was not found
// go under the catch-all folder, then the results tree is built. A stopped scan finishes on
// the rows found so far.
UINT ScanAndBuildTree(LPVOID param)
{
    CBasicSearch* dlg = static_cast<CBasicSearch*>(param);
    ScanStatusReporter reporter(dlg->GetSafeHwnd());
    // The dialog leaves its request alone while the worker runs.
    ScanTarget target = dlg->Request().target;
    const BasicScanStatus status = RunBasicScan(target, dlg->Store(), &dlg->ScanStop(), reporter.Observer());
    dlg->SetScannedTarget(target);
    dlg->SetScanMessage(BasicScanStatusMessage(status));
    if (status != BasicScanStatus::Done && status != BasicScanStatus::Stopped)
        return 0;
    dlg->BuildResultsTree(dlg->ProgressBar());
    return 0;
}

// The installed scan, or the file-system scan.
UINT BasicScanWorker(LPVOID param)
{
    AFX_THREADPROC proc = g_scanProc.load();
    return (proc ? proc : ScanAndBuildTree)(param);
}

uint64_t ParseSectors(const CString& text)
{
    CString trimmed = text;
    trimmed.Trim();
    return StrToUInt64(trimmed);
}

void RunBasicSearch(SearchHost* host)
{
    CBasicSearch dlg(host);
    dlg.DoModal();
}

} // namespace

void SetBasicScanProc(AFX_THREADPROC proc)
{
    g_scanProc = proc;
}

void RegisterBasicSearchDialog()
{
    RegisterSearchDialog(kModeBasic, RunBasicSearch);
}

BEGIN_MESSAGE_MAP(CBasicSearch, CFsSearchSession)
    ON_BN_CLICKED(IDC_BS_BACK, &CBasicSearch::OnBnClickedBack)
    ON_BN_CLICKED(IDC_BS_NEXT, &CBasicSearch::OnBnClickedNext)
    ON_BN_CLICKED(IDC_BS_STOP, &CBasicSearch::OnBnClickedStop)
    ON_BN_CLICKED(IDC_BS_REFRESH, &CBasicSearch::OnBnClickedRefresh)
    ON_BN_CLICKED(IDC_BS_SAVE, &CBasicSearch::OnBnClickedSave)
    ON_BN_CLICKED(IDC_BS_SAVE_LOG, &CBasicSearch::OnBnClickedSaveLog)
    ON_BN_CLICKED(IDC_BS_LOAD_LOG, &CBasicSearch::OnBnClickedLoadLog)
    ON_BN_CLICKED(IDC_BS_STOP_PARTITIONS, &CBasicSearch::OnBnClickedStopSearchingPartitions)
    ON_BN_CLICKED(IDC_BS_MORE_PARTITIONS, &CBasicSearch::OnBnClickedSearchMorePartitions)
    ON_MESSAGE(WM_ZR_BASIC_SCAN_STATUS, &CBasicSearch::OnScanStatus)
    ON_WM_TIMER()
    ON_NOTIFY(NM_DBLCLK, IDC_BS_FILE_LIST, &CBasicSearch::OnNMDblclkFileList)
    ON_NOTIFY(NM_RCLICK, IDC_BS_FILE_LIST, &CBasicSearch::OnNMRClickFileList)
    ON_NOTIFY(NM_SETFOCUS, IDC_BS_FILE_LIST, &CBasicSearch::OnNMSetfocusFileList)
    ON_NOTIFY(NM_RCLICK, IDC_BS_RESULT_TREE, &CBasicSearch::OnNMRClickResultTree)
END_MESSAGE_MAP()

namespace {
constexpr UINT_PTR kCountsTimerId = 0x5A43;
}

CBasicSearch::CBasicSearch(SearchHost* host)
    : CFsSearchSession(BasicLayout(), BasicFsLayout(), host), m_counts(kCountsTimerId)
{ }

CBasicSearch::~CBasicSearch() = default;

void CBasicSearch::DoDataExchange(CDataExchange* pDX)
{
    CFsSearchSession::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_BS_PATH, m_path);
    DDX_Control(pDX, IDC_BS_SCANNED, m_scanned);
    DDX_Control(pDX, IDC_BS_CURRENT, m_current);
    DDX_Control(pDX, IDC_BS_RANGE, m_range);
    DDX_Control(pDX, IDC_BS_STATUS, m_status);
    DDX_Control(pDX, IDC_BS_PROBE_DONE, m_probeDone);
    DDX_Control(pDX, IDC_BS_PROBE_TOTAL, m_probeTotal);
    DDX_Control(pDX, IDC_BS_PS_NOTE, m_note);
}

BOOL CBasicSearch::OnInitDialog()
{
    ForgetAutoSearchResult();
    ClearPartitionSearchFlag();
    CFsSearchSession::OnInitDialog();

    const COLORREF white = RGB(255, 255, 255);
    for (CColorStatic* s : { &m_scanned, &m_current, &m_range, &m_status, &m_probeDone, &m_probeTotal, &m_note })
        s->SetBkColor(white);
    m_path.SetBkColor(RGB(255, 252, 223));
    m_path.SetWindowText(HintSelectDrive);
    if (CommandLineLogPath.IsEmpty())
        StartRemovableMediaSearch();
    return TRUE;
}

void CBasicSearch::ShowNoResultsNotice()
{
    ShowMsgStandDialog(this);
}

std::atomic<int32_t>& CBasicSearch::NoticeState()
{
    return BasicNoticeState;
}

// ---- What the scan shows while it runs -------------------------------------------------------

void CBasicSearch::OnResultsBuildStep(ResultsBuildStep step)
{
    ScanStatusSnapshot status;
    status.phase = step == ResultsBuildStep::SearchingLost ? BasicScanPhase::SearchingLost : BasicScanPhase::Storing;
    ::SendMessageW(GetSafeHwnd(), WM_ZR_BASIC_SCAN_STATUS, 0, LPARAM(&status));
}

LRESULT CBasicSearch::OnScanStatus(WPARAM, LPARAM status)
{
    if (status == 0)
        return 0;
    const ScanStatusSnapshot& report = *reinterpret_cast<const ScanStatusSnapshot*>(status);
    // A static control paints itself the moment its text is set: two counters a report, a few
    // hundred reports a phase, cost more than the scan. Their texts follow every report; the
    // screen shows a phase's first and last figures at once and the counts between them as the
    // pacer allows.
    const bool between =
        report.phase == m_shownPhase && report.done != 0 && report.done < report.end - report.first;
    m_counts.BeginReport(between);
    ShowScanStatus(report);
    m_counts.EndReport(*this);
    return 0;
}

void CBasicSearch::OnTimer(UINT_PTR id)
{
    if (id == m_counts.TimerId())
        m_counts.Paint(*this);
    else
        CFsSearchSession::OnTimer(id);
}

void CBasicSearch::ShowScanStatus(const ScanStatusSnapshot& status)
{
    const ScanStatusTexts texts = ScanStatusTextsOf(status);
    const bool entering = status.phase != m_shownPhase;
    m_shownPhase = status.phase;
    const HWND bar = ProgressBar();
    auto showControls = [this](std::initializer_list<int> ids, int show) {
        for (int id : ids)
            GetDlgItem(id)->ShowWindow(show);
    };
    switch (status.phase) {
    case BasicScanPhase::Validating:
        m_scanned.SetWindowText(texts.scanned);
        return;
    case BasicScanPhase::Probing:
        if (entering) {
            showControls({ IDC_BS_CURRENT, IDC_BS_SCANNED, IDC_BS_STATUS }, SW_HIDE);
            showControls({ IDC_BS_PROBE_LABEL, IDC_BS_PROBE_DONE, IDC_BS_PROBE_TOTAL }, SW_SHOW);
            if (Host() != nullptr)
                Host()->SetProgressRange64(bar, status.first, status.end, 1);
        }
        m_counts.SetText(*this, m_probeDone, texts.probeDone);
        m_counts.SetText(*this, m_probeTotal, texts.probeTotal);
        break;
    case BasicScanPhase::FatScan:
    case BasicScanPhase::NtfsScan:
        if (entering) {
            showControls({ IDC_BS_STATUS, IDC_BS_PROBE_LABEL, IDC_BS_PROBE_DONE, IDC_BS_PROBE_TOTAL }, SW_HIDE);
            showControls({ IDC_BS_CURRENT, IDC_BS_SCANNED }, SW_SHOW);
            // A FAT block is 512 sectors, an NTFS record 2.
            if (Host() != nullptr)
                Host()->SetProgressRange64(bar, status.first, status.end,
                                           status.phase == BasicScanPhase::FatScan ? 512 : 2);
        }
        m_counts.SetText(*this, m_scanned, texts.scanned);
        m_counts.SetText(*this, m_current, texts.current);
        break;
    case BasicScanPhase::SearchingLost:
        // The scan is over: its counters and Stop go, the line says what is done now.
        m_resultTree.EnableWindow(FALSE);
        ShowScanResultControls(SW_HIDE);
        m_current.SetWindowText(L"");
        m_status.SetWindowText(texts.status);
        m_status.ShowWindow(SW_SHOW);
        m_progress.SetPos(0);
        m_progress.ShowWindow(SW_SHOW);
        return;
    case BasicScanPhase::Storing:
        m_status.SetWindowText(texts.status);
        m_status.ShowWindow(SW_SHOW);
        return;
    }
    if (Host() == nullptr)
        return;
    Host()->SetProgressPosition64(bar, status.first, status.end, status.first + status.done);
    // The bar, too, paints the counts between a phase's first and last as the pacer allows.
    m_counts.BarMoved(*this, bar);
}

void CBasicSearch::ShowResultControls(int showCommand)
{
    if (showCommand == SW_HIDE && m_progress.IsWindowVisible())
        GrowProgressArea();
    CFsSearchSession::ShowResultControls(showCommand);
}

// ---- Columns -------------------------------------------------------------------------------------

void CBasicSearch::SetFileListColumns()
{
    FileList().ShowWindow(SW_SHOW);
    SetFileColumns({ L"SelfCluster-Debug Info 1", L"ParentCluster-Debug Info 2", L"TreeItem-Debug Info 3", L"SFN" });
}

// ---- Refresh ---------------------------------------------------------------------------------

void CBasicSearch::OnBnClickedRefresh()
{
    if (!RefuseRefresh())
        RefreshDriveTree();
}

void CBasicSearch::RefreshDriveTree()
{
    // A medium being searched is an item of the tree about to be rebuilt.
    EndRemovableSearch(true, false);
    if (RebuildDriveTreeWaiting() && IsWindowVisible() && NoDeviceVisible == 0)
        StartRemovableMediaSearch();
}

// ---- Next ------------------------------------------------------------------------------------

bool CBasicSearch::ReadScanRequest(HTREEITEM item, Selection& request)
{
    // A second scan waits for Back; nothing of the first one's state is touched.
    if (Page() != 0)
        return false;
    if (RefuseGroupItem(item))
        return false;
    const HTREEITEM parent = m_driveTree.GetParentItem(item);
    if (parent == m_physicalRoot) {
        CRem_Media_Scan question(this);
        if (question.DoModal() == IDCANCEL)
            return false;
    } else if (parent == m_logicalRoot) {
        m_lastAnswer = int(ShowLogicalDialog(this));
        if (m_lastAnswer != 1 && m_lastAnswer != 2)
            return false;
        request.physical = m_lastAnswer == 2;
    }
    ReadSelectedDevice(request);
    if (request.kind == L"Logical") {
        request.startSector = 0;
        request.endSector = ParseSectors(PropertyValue(1));
    } else if (request.kind == L"Hard Disk") {
        request.startSector = 63;
        request.endSector = ParseSectors(PropertyValue(6));
        CString childFs;
        if (m_driveTree.GetChildCount(item) == 1) {
            childFs = m_driveTree.GetItemText(m_driveTree.GetChildItem(item));
            childFs = NormaliseFsName(childFs.Trim());
        } else {
            childFs = m_driveTree.GetChildrenFsName(item);
        }
        request.fsName = !childFs.IsEmpty() ? childFs : GuessFsBySize(request.startSector, request.endSector);
    } else {
        request.startSector = request.partitionStart;
        request.endSector = request.partitionEnd;
    }

    if (request.endSector <= request.startSector) {
        Inform(this, kEndBeforeStartText);
        return false;
    }
    if (request.fsName != L"NTFS" && request.fsName != L"FAT16" && request.fsName != L"FAT32") {
        ShowMsgStandDialog(this);
        return false;
    }
    return true;
}

void CBasicSearch::ShowRange(uint64_t start, uint64_t end)
{
    CString text;
    text.Format(L"%llu to %llu", (unsigned long long)start, (unsigned long long)end);
    m_range.SetWindowText(text);
}

void CBasicSearch::ShowResultsPage()
{
    GetDlgItem(IDC_BS_REFRESH)->ShowWindow(SW_HIDE);
    GetDlgItem(IDC_BS_MORE_PARTITIONS)->ShowWindow(SW_HIDE);
    SetFileListColumns();
    PlaceFileList(true);
    m_resultTree.ShowWindow(SW_SHOW);
    m_driveTree.ShowWindow(SW_HIDE);
    ActiveTree = &m_resultTree;
    ShrinkProgressArea();
    m_progress.ShowWindow(SW_SHOW);
    ShowScanResultControls(SW_SHOW);
    GetDlgItem(IDC_BS_BACK)->EnableWindow(FALSE);
    GetDlgItem(IDC_BS_NEXT)->EnableWindow(FALSE);
    const ScanTarget& target = m_request.target;
    ShowRange(target.firstSector, target.endSector);
    m_current.SetWindowText(L"");
    if (Host() != nullptr)
        Host()->SetProgressRange64(ProgressBar(), target.firstSector, target.endSector, 512);
    m_path.SetWindowText(HintStopSearching);
    m_shownPhase = BasicScanPhase::Validating;
    m_scanned.SetWindowText(ScanStatusTextsOf(ScanStatusSnapshot{}).scanned);
}

void CBasicSearch::OnBnClickedNext()
{
    if (ScanRunning() || g_pPartitionSearchThread != nullptr ||
        RemovableMediumListing())
        return;
    Selection request;
    if (!ReadScanRequest(m_driveTree.GetSelectedItem(), request))
        return;
    ScanRequest scan;
    if (!MakeScanRequest(request, L"Basic Search", scan))
        return;
    // A folder listing still reads the results about to be emptied: end it first.
    Listing().EndListing(true);
    m_request = scan;
    m_scannedTarget = m_request.target;
    BasicNoticeState = 0;
    DeepNoticeState = 0;
    ClearResults();
    SetDlgItemText(IDC_BS_CURRENT_FOLDER, L"");
    ForgetLogSaved();
    ShowResultsPage();
    if (Host() != nullptr)
        Host()->ResetScanCounters();
    SetPage(Page() + 1);
    GetDlgItem(IDC_BS_STOP)->SetFocus();
    m_scanMessage.Empty();
    if (!StartScanWorker(BasicScanWorker))
        ShowResultsState();
}

// ---- The end of a scan -----------------------------------------------------------------------

void CBasicSearch::OnScanWorkerEnded()
{
    KeepScannedVolume();
    ShowResultsState();
}

void CBasicSearch::KeepScannedVolume()
{
    // The volume may lie elsewhere than selected: a whole disk's own volume, a lost partition the
    // check's search found (which selected a partition of the disk).
    m_request.target = m_scannedTarget;
    m_request.itemKind = SelectedItemKind;
    m_request.SelectedVolumeInfo.fsName = FsKindName(m_scannedTarget.kind);
    SetSelectedRange(m_request.SelectedVolumeInfo, m_scannedTarget.firstSector, m_scannedTarget.endSector);
}

void CBasicSearch::ShowLoadedResults(bool)
{
    m_scanMessage.Empty();
    GetDlgItem(IDC_BS_REFRESH)->ShowWindow(SW_HIDE);
    GetDlgItem(IDC_BS_MORE_PARTITIONS)->ShowWindow(SW_HIDE);
    for (int id : { IDC_BS_RANGE, IDC_BS_RANGE_LABEL })
        GetDlgItem(id)->ShowWindow(SW_HIDE);
    SetFileListColumns();
    PlaceFileList(true);
    SetPage(10);
    ShowResultsState(false);
}

void CBasicSearch::ShowResultsState(bool openTree)
{
    if (!m_scanMessage.IsEmpty()) {
        const CString text = m_scanMessage;
        m_scanMessage.Empty();
        // The message says why there is nothing to show: the "not possible" notice would not add
        // to it.
        BasicNoticeState = 2;
        Inform(this, text);
    }
    FileList().ShowWindow(SW_SHOW);
    m_resultTree.ShowWindow(SW_SHOW);
    ActiveTree = &m_resultTree;
    if (m_resultTree.GetRootItem() == nullptr)
        InsertTreeRoot();
    if (openTree) {
        m_resultTree.EnableWindow(TRUE);
        m_resultTree.Select(nullptr, TVGN_CARET);
        m_resultTree.Select(m_resultTree.GetRootItem(), TVGN_CARET);
    }
    // Only now may the focused Stop button go: the focus then passes to a tree that already has
    // its selection, instead of one that picks (and lists) its first visible folder.
    ShowScanResultControls(SW_HIDE);
    m_progress.ShowWindow(SW_HIDE);
    // The scan's own running texts ("Validating Partition ...", the sector counter) are over.
    m_current.SetWindowText(L"");
    for (int id : { IDC_BS_STATUS, IDC_BS_PROBE_LABEL, IDC_BS_PROBE_DONE, IDC_BS_PROBE_TOTAL })
        GetDlgItem(id)->ShowWindow(SW_HIDE);
    m_path.SetWindowText(HintSelectFiles);
    ShowFolderFrame(SW_SHOW);
    GetDlgItem(IDC_BS_BACK)->EnableWindow(TRUE);
    GetDlgItem(IDC_BS_NEXT)->EnableWindow(FALSE);
}

void CBasicSearch::OnBnClickedStop()
{
    if (StopScanAndWait(m_status)) {
        KeepScannedVolume();
        ShowResultsState();
    }
}

// ---- Back ------------------------------------------------------------------------------

void CBasicSearch::OnBnClickedBack()
{
    if (RefuseBackWhileBusy())
        return;
    if (Page() == 0) {
        ReturnToLauncher(kBackResult);
        return;
    }
    EmptyResultsForDrivePage();
    FileList().ShowWindow(SW_HIDE);
    PlaceFileList(false);
    SetPage(0);
    m_driveTree.ShowWindow(SW_SHOW);
    m_resultTree.ShowWindow(SW_HIDE);
    ActiveTree = &m_driveTree;
    AutoPartitionSearch = 0;
    m_driveTree.ForgetShownDetails();
    SetPropertyColumns(8);
    for (int id : { IDC_BS_REFRESH, IDC_BS_BACK, IDC_BS_NEXT, IDC_BS_MORE_PARTITIONS }) {
        GetDlgItem(id)->ShowWindow(SW_SHOW);
        GetDlgItem(id)->EnableWindow(TRUE);
    }
    m_path.SetWindowText(HintSelectDrive);
    // Nothing of a scan shows on the drive page, as when the dialog opened.
    GrowProgressArea();
    m_progress.ShowWindow(SW_HIDE);
    m_progress.SetPos(0);
    m_driveTree.Expand(m_driveTree.GetRootItem(), TVE_EXPAND);
    m_note.SetWindowText(L"");
    GetDlgItem(IDC_BS_PS_NOTE)->ShowWindow(SW_HIDE);
    ShowFolderFrame(SW_HIDE);
    m_request.ScanAsPhysicalDisk = false;
    m_driveTree.Select(nullptr, TVGN_CARET);
    m_driveTree.Select(m_driveTree.GetRootItem(), TVGN_CARET);
    m_driveTree.SetFocus();
    SetDriveTreeIcons();
}
