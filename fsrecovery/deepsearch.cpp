#include "fsrecovery/deepsearch.h"

#include <algorithm>

#include "app/devicetree.h"
#include "app/searchhost.h"
#include "app/notices.h"
#include "app/pure/sector_fields.h"
#include "app/questions.h"
#include "app/searchcontrols.h"
#include "app/startup.h"
#include "app/waitdialogs.h"
#include "fsrecovery/deep_scan.h"
#include "fsrecovery/pure/basic_scan.h"
#include "fsrecovery/pure/scan_log_results.h"
#include "fsrecovery/pure/scan_status.h"
#include "resources/resource.h"
#include "storage/driverecords.h"
#include "storage/pure/bootsector.h"
#include "storage/pure/drive_texts.h"
#include "storage/pure/globals.h"
#include "storage/pure/partition_table.h"
#include "storage/sector_source.h"

CWinThread* g_pDeepDriveTreeThread = nullptr;

namespace {

const wchar_t kUnknownFileSystemText[] = L"Select file system type for recovery of selected drive.";
const wchar_t* const kComboNames[] = { L"FAT16", L"FAT32", L"NTFS", L"Unknown" };

const SearchDialogLayout& DeepLayout()
{
    static const SearchDialogLayout layout = [] {
        SearchDialogLayout l;
        l.mode = kModeDeep;
        l.templateId = IDD_DEEP_SEARCH;
        l.caption = L"Deep Search";
        l.driveTree = IDC_DS_DRIVE_TREE;
        l.detailList = IDC_DS_FILE_LIST;
        l.progress = IDC_DS_PROGRESS;
        l.panel = IDC_MAIN_FRAME;
        l.back = IDC_DS_BACK;
        l.next = IDC_DS_NEXT;
        l.refresh = IDC_DS_REFRESH;
        l.stop = IDC_DS_STOP;
        l.morePartitions = IDC_DS_MORE_PARTITIONS;
        l.stopPartitions = IDC_DS_STOP_PARTITIONS;
        l.partitionLabel = IDC_DS_PS_LABEL;
        l.partitionProgress = IDC_DS_PS_PROGRESS;
        l.partitionCount = IDC_BS_SECTORS;
        l.partitionTotal = IDC_BS_OF_TOTAL;
        l.selectHint = IDC_DS_SELECT_HINT;
        l.currentGroup = IDC_DS_CURRENT_GROUP;
        l.forcedOriginal = IDC_DS_FORCED;
        l.shareUp = IDB_BS_SHARE_UP;
        l.shareDown = IDB_BS_SHARE_DOWN;
        l.driveImages = IDB_DRIVE_TREE_IMAGES;
        l.fileSystemCombo = IDC_DS_FS_COMBO;
        l.sectorRange = true;
        l.driveInfoBeforeHelp = true;
        l.modeButtons = { IDC_DS_SAVE, IDC_DS_LOAD_LOG, IDC_DS_SAVE_LOG, IDC_DS_REFRESH };
        l.resultControls = { IDC_DS_RANGE_LABEL, IDC_DS_RANGE, IDC_DS_CURRENT, IDC_DS_SCANNED, IDC_DS_STOP };
        l.hintPanel = { IDC_DS_HINT_PANEL, IDC_DS_SELECT_HINT };
        l.rangeControls = { IDC_DS_RANGE_GROUP,  IDC_RANGE_HINT,        IDC_RANGE_SLIDER,    IDC_RANGE_HELP,
                            IDC_RANGE_MIN_LABEL, IDC_RANGE_START_LABEL, IDC_RANGE_END_LABEL, IDC_RANGE_MAX_LABEL,
                            IDC_RANGE_MIN,       IDC_RANGE_START,       IDC_RANGE_END,       IDC_RANGE_MAX,
                            IDC_DS_FS_LABEL,     IDC_DS_FS_COMBO };
        l.iconButtons = {
            { IDC_CONTACT_US, IDI_CONTACT },
            { IDC_ABOUT_US, IDI_ABOUT },
            { IDC_NEED_HELP, IDI_HELP },
            { IDC_DS_REFRESH, IDI_REFRESH },
            { IDC_DS_STOP, IDI_STOP },
            { IDC_DS_BACK, IDI_BACK },
            { IDC_DS_SAVE, IDI_SAVE },
            { IDC_DS_SAVE_LOG, IDI_SAVE_LOG },
            { IDC_DS_NEXT, IDI_NEXT },
            { IDC_DS_LOAD_LOG, IDI_LOAD_LOG },
            { IDC_DS_MORE_PARTITIONS, IDI_ENTIRE_DRIVE },
            { IDC_DS_STOP_PARTITIONS, IDI_STOP },
            { IDC_RANGE_HELP, IDI_HELP },
        };
        return l;
    }();
    return layout;
}

const FsDialogLayout& DeepFsLayout()
{
    static const FsDialogLayout layout = [] {
        FsDialogLayout l;
        l.resultTree = IDC_DS_RESULT_TREE;
        l.fileList = IDC_DS_FILE_LIST;
        l.folderCount = IDC_DS_FOLDER_COUNT;
        l.pathLabel = IDC_DS_PATH;
        l.resultImages = IDB_RESULT_TREE_IMAGES;
        l.stateImages = IDB_TREE_STATE_IMAGES;
        l.statusLabel = IDC_DS_TREE_LABEL;
        l.driveTreeThread = &g_pDeepDriveTreeThread;
        return l;
    }();
    return layout;
}

// Tells the dialog where the scan is, from the scan's own thread: the carving whenever the
// display moves by a step, without waiting for the dialog (whose thread may be busy painting the
// results page), and the finishing once, which waits until it is on screen.
class DeepStatusReporter {
public:
    explicit DeepStatusReporter(CDeepSearch& dialog) : m_dialog(dialog) { }
    DeepScanObserver Observer()
    {
        DeepScanObserver observer;
        observer.progress = [this](uint64_t done, uint64_t total) {
            if (m_throttle.Due(done, total))
                m_dialog.NoteCarving(done);
        };
        observer.finishing = [this] {
            DeepScanStatus status;
            status.phase = DeepScanStatus::Finishing;
            ::SendMessageW(m_dialog.GetSafeHwnd(), WM_ZR_DEEP_SCAN_STATUS, 0, LPARAM(&status));
        };
        return observer;
    }

private:
    CDeepSearch& m_dialog;
    ProgressThrottle m_throttle;
};

UINT DeepScanWorker(LPVOID param)
{
    CDeepSearch* dlg = static_cast<CDeepSearch*>(param);
    DeepStatusReporter reporter(*dlg);
    // The dialog leaves its request alone while the worker runs.
    const ScanRequest request = dlg->Request();
    RunDeepSearchScan(request, dlg->Store(), &dlg->ScanStop(), reporter.Observer());
    dlg->BuildScanResults();
    return 0;
}

void RunDeepSearch(SearchHost* host)
{
    CDeepSearch dlg(host);
    dlg.DoModal();
}

} // namespace

void RegisterDeepSearchDialog()
{
    RegisterSearchDialog(kModeDeep, RunDeepSearch);
}

BEGIN_MESSAGE_MAP(CDeepSearch, CFsSearchSession)
    ON_BN_CLICKED(IDC_DS_BACK, &CDeepSearch::OnBnClickedBack)
    ON_BN_CLICKED(IDC_DS_NEXT, &CDeepSearch::OnBnClickedNext)
    ON_BN_CLICKED(IDC_DS_STOP, &CDeepSearch::OnBnClickedStop)
    ON_BN_CLICKED(IDC_DS_REFRESH, &CDeepSearch::OnBnClickedRefresh)
    ON_BN_CLICKED(IDC_DS_SAVE, &CDeepSearch::OnBnClickedSave)
    ON_BN_CLICKED(IDC_DS_SAVE_LOG, &CDeepSearch::OnBnClickedSaveLog)
    ON_BN_CLICKED(IDC_DS_LOAD_LOG, &CDeepSearch::OnBnClickedLoadLog)
    ON_BN_CLICKED(IDC_DS_STOP_PARTITIONS, &CDeepSearch::OnBnClickedStopSearchingPartitions)
    ON_BN_CLICKED(IDC_DS_MORE_PARTITIONS, &CDeepSearch::OnBnClickedSearchMorePartitions)
    ON_MESSAGE(WM_ZR_DEEP_SCAN_STATUS, &CDeepSearch::OnScanStatus)
    ON_WM_TIMER()
    ON_MESSAGE(WM_ZR_RECOGNISED_PROGRESS, &CDeepSearch::OnRecognisedProgress)
    ON_MESSAGE(WM_ZR_RECOGNISED_ENDED, &CDeepSearch::OnRecognisedEnded)
    ON_NOTIFY(NM_DBLCLK, IDC_DS_FILE_LIST, &CDeepSearch::OnNMDblclkFileList)
    ON_NOTIFY(NM_RCLICK, IDC_DS_FILE_LIST, &CDeepSearch::OnNMRClickFileList)
    ON_NOTIFY(NM_SETFOCUS, IDC_DS_FILE_LIST, &CDeepSearch::OnNMSetfocusFileList)
    ON_NOTIFY(NM_RCLICK, IDC_DS_RESULT_TREE, &CDeepSearch::OnNMRClickResultTree)
    ON_NOTIFY(NM_CLICK, IDC_DS_FOUND_VOLUMES, &CDeepSearch::OnNMClickFoundVolumes)
    ON_NOTIFY(NM_SETFOCUS, IDC_DS_FOUND_VOLUMES, &CDeepSearch::OnNMSetfocusFoundVolumes)
    ON_NOTIFY(NM_CUSTOMDRAW, IDC_DS_FOUND_VOLUMES, &CDeepSearch::OnNMCustomdrawFoundVolumes)
END_MESSAGE_MAP()

namespace {
constexpr UINT_PTR kCountsTimerId = 0x5A44;
}

CDeepSearch::CDeepSearch(SearchHost* host)
    : CFsSearchSession(DeepLayout(), DeepFsLayout(), host), m_counts(kCountsTimerId)
{ }

CDeepSearch::~CDeepSearch() = default;

void CDeepSearch::DoDataExchange(CDataExchange* pDX)
{
    CFsSearchSession::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_DS_HINT, m_hint);
    DDX_Control(pDX, IDC_DS_PATH, m_path);
    DDX_Control(pDX, IDC_DS_CURRENT, m_current);
    DDX_Control(pDX, IDC_DS_RANGE, m_range);
    DDX_Control(pDX, IDC_DS_SCANNED, m_scanned);
    DDX_Control(pDX, IDC_DS_TREE_LABEL, m_treeLabel);
    DDX_Control(pDX, IDC_DS_WAIT, m_wait);
    DDX_Control(pDX, IDC_DS_RANGE_LABEL, m_rangeLabel);
    DDX_Control(pDX, IDC_DS_TREE_PROGRESS, m_treeProgress);
    DDX_Control(pDX, IDC_DS_FOUND_VOLUMES, m_foundVolumes);
    DDX_Control(pDX, IDC_DS_RECOGNISED, m_recognised);
}

BOOL CDeepSearch::OnInitDialog()
{
    CFsSearchSession::OnInitDialog();
    const COLORREF white = RGB(255, 255, 255);
    for (CColorStatic* s : { &m_path, &m_current, &m_range, &m_scanned, &m_treeLabel, &m_wait, &m_rangeLabel })
        s->SetBkColor(white);
    m_hint.SetBkColor(RGB(255, 252, 223));
    m_hint.SetWindowText(HintSelectDrive);

    CComboBox* combo = static_cast<CComboBox*>(GetDlgItem(IDC_DS_FS_COMBO));
    for (const wchar_t* name : kComboNames)
        combo->AddString(name);
    combo->SetCurSel(1);

    // The volumes recognised inside drive letters: all of them in the hidden table, those of the
    // selected drive in the list shown in place of its properties.
    static const wchar_t* const kVolumeColumns[] = { L"Found File System",
                                                     L"File System Name",
                                                     L"Start Sector",
                                                     L"End Sector",
                                                     L"Size",
                                                     L"SPF",
                                                     L"SPC",
                                                     L"RootSec",
                                                     L"RootStartSec",
                                                     L"ReserveSecStart",
                                                     L"Cluster0Start",
                                                     L"firstFAT",
                                                     L"secondFAT",
                                                     L"Total Sectors",
                                                     L"partType" };
    for (CListCtrl* list : { static_cast<CListCtrl*>(&m_foundVolumes), &m_recognised })
        list->SetExtendedStyle(list->GetExtendedStyle() | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    m_recognised.InsertColumn(0, L"SNo", LVCFMT_LEFT, 75);
    for (int c = 0; c < 15; ++c) {
        m_foundVolumes.InsertColumn(c, kVolumeColumns[c], LVCFMT_LEFT, c < 5 ? 75 : 0);
        if (c >= 5)
            m_foundVolumes.ShowColumn(c, FALSE);
        m_recognised.InsertColumn(c + 1, kVolumeColumns[c], LVCFMT_LEFT, c < 5 ? 75 : 50);
    }

    if (CommandLineLogPath.IsEmpty())
        StartRemovableMediaSearch();
    return TRUE;
}

void CDeepSearch::SetFileSystemComboIndex(int index)
{
    SendDlgItemMessage(IDC_DS_FS_COMBO, CB_SETCURSEL, index);
}

void CDeepSearch::HideFoundFileSystemList()
{
    GetDlgItem(IDC_DS_FOUND_VOLUMES)->ShowWindow(SW_HIDE);
}

void CDeepSearch::ShowNoResultsNotice()
{
    ShowAdvanceDialog(this);
}

std::atomic<int32_t>& CDeepSearch::NoticeState()
{
    return DeepNoticeState;
}

void CDeepSearch::SetFileListColumns()
{
    SetFileColumns({ L"Sector-Debug Info 1", L"ParentMFT-Debug Info 2", L"SelfMFT-Debug Info 3", L"SFN", L"FILE_SYS" });
}

// ---- Refresh -----------------------------------------------------------------------------------

void CDeepSearch::OnBnClickedRefresh()
{
    if (RefuseRefresh())
        return;
    // A medium being searched is an item of the tree about to be rebuilt.
    EndRemovableSearch(true, false);
    // The volumes recognised in drive letters go with their items.
    m_recognisedRows.clear();
    m_recognised.DeleteAllItems();
    m_foundVolumes.DeleteAllItems();
    ShowSectorRangeControls(SW_HIDE);
    HideFoundFileSystemList();
    if (RebuildDriveTreeWaiting() && IsWindowVisible() && NoDeviceVisible == 0)
        StartRemovableMediaSearch();
}

// ---- Next --------------------------------------------------------------------------------------

namespace {

// Every partition the disk's table (or a partition search) gave; none without one.
std::vector<PartitionExtent> DiskPartitions(uint16_t diskNumber)
{
    return PartitionExtentsOf(DiskPartitionTable[diskNumber < kMaxDisks ? diskNumber : 0]);
}

} // namespace

bool CDeepSearch::ReadScanRequest(Selection& selection, uint64_t& start, uint64_t& end)
{
    // A second scan waits for Back; nothing of the first one's state is touched, and no question
    // is asked whose answer would be thrown away.
    if (Page() != 0)
        return false;
    const HTREEITEM item = m_driveTree.GetSelectedItem();
    if (RefuseGroupItem(item))
        return false;
    if (m_driveTree.GetParentItem(item) == LogicalDrivesItem()) {
        const INT_PTR answer = ShowLogicalDialog(this);
        if (answer != 1 && answer != 2)
            return false;
        selection.physical = answer == 2;
    }
    // The typed range is checked before anything maps it: Min <= Start < End <= Max.
    CString startText, endText;
    GetDlgItemText(IDC_RANGE_START, startText);
    GetDlgItemText(IDC_RANGE_END, endText);
    const SectorFields fields = CheckSectorFields(startText, endText, 1);
    ReadSectorFields();
    const SectorRange& typed = TypedSectorRange();
    if (fields.check != SectorFieldsCheck::Ok || fields.start < typed.min || fields.end > typed.max) {
        Inform(this, SectorFieldsRefusalText(SectorFieldsCheck::EndNotAfterStart));
        return false;
    }
    const int fs = int(SendDlgItemMessage(IDC_DS_FS_COMBO, CB_GETCURSEL));
    if (fs == 3) {
        Inform(this, kUnknownFileSystemText);
        GetDlgItem(IDC_DS_FS_COMBO)->SetFocus();
        return false;
    }
    ReadSelectedDevice(selection);
    if (selection.kind == L"Recognised" && Host() != nullptr) {
        // Read through the drive letter it was found in.
        Host()->LogicalDrivePath =
            CString(L"\\\\.\\") + m_driveTree.GetItemText(m_driveTree.GetParentItem(item)).Left(2);
    }
    if (fs >= 0 && fs < 3)
        selection.fsName = kComboNames[fs];
    if (FsKindFromName(selection.fsName) == FsKind::Unknown) {
        Inform(this, kUnknownFileSystemText);
        return false;
    }
    start = fields.start;
    end = fields.end;
    return true;
}

void CDeepSearch::OnBnClickedNext()
{
    if (ScanRunning() || g_pPartitionSearchThread != nullptr || PartitionSearchBusy() || RemovableMediumListing() ||
        RecognisedSearchRunning())
        return;
    const HTREEITEM item = m_driveTree.GetSelectedItem();
    Selection selection;
    uint64_t start = 0, end = 0;
    if (!ReadScanRequest(selection, start, end))
        return;
    // A folder listing still reads the results about to be emptied: end it first.
    Listing().EndListing(true);
    const uint64_t volumeStart = VolumeStartOf(selection);
    ScanRequest request;
    if (!ApplyTypedRange(selection, start, end, L"Deep Search", request))
        return;
    // Read through its disk, the drive letter's own place there bounds the volume.
    if (!request.ScanAsPhysicalDisk) {
        request.volumeStart = volumeStart;
        request.volumeEnd = TypedSectorRange().max;
    }
    // A drive letter read through its own volume has no partition table; anything else is read
    // through a disk, whose table holds the partitions the volumes found may lie in.
    SetRequestPartitions(request, DiskPartitions(request.diskNumber));
    // A volume with no stated size may reach past the range scanned for its structures, not past
    // the device or the drive the range lies in.
    request.volumeEnd = std::max(request.target.endSector, request.volumeEnd);
    // Its log keeps the volume beside the range, so that a load makes the volumes this scan makes.
    KeepSelectedVolumeExtent(request);
    m_request = request;
    BasicNoticeState = 0;
    DeepNoticeState = 0;
    // Every scan starts from empty tables, whatever a load or an earlier scan left.
    ClearResults();
    if (Host() != nullptr)
        Host()->EmptyRecordTables();
    KeepPartitionList(selection, m_request.diskNumber, item);
    SetDlgItemText(IDC_DS_FOLDER_COUNT, L"");
    ForgetLogSaved();
    // The page changes in one paint: each control shown or hidden would otherwise have the
    // dialog's background under it painted at once.
    SetRedraw(FALSE);
    ShowResultsPage();
    SetRedraw(TRUE);
    RedrawWindow(nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
    if (Host() != nullptr)
        Host()->ResetScanCounters();
    SetPage(Page() + 1);
    GetDlgItem(IDC_DS_STOP)->SetFocus();
    m_carving = true;
    m_carvedTo = 0;
    if (!StartScanWorker(DeepScanWorker))
        ShowResultsState();
}

uint64_t CDeepSearch::VolumeStartOf(const Selection& selection) const
{
    if (selection.kind == L"Recognised")
        return m_recognisedStart;
    if (selection.kind == L"Logical")
        return 0; // read through the drive itself (through its disk: where the drive begins there)
    if (selection.kind == L"Hard Disk") {
        const DiskPartitionRecord& disk =
            DiskPartitionTable[selection.diskNumber < kMaxDisks ? selection.diskNumber : 0];
        return disk.partitionCount > 0 ? disk.slot[0].startSector : 0;
    }
    return selection.partitionStart;
}

void CDeepSearch::KeepPartitionList(const Selection& selection, uint16_t diskNumber, HTREEITEM item)
{
    if (Host() == nullptr || item == nullptr)
        return;
    if (selection.kind == L"Recognised") {
        FillPartitionList(-1, item, selection.kind);
    } else if (selection.kind == L"Logical") {
        if (selection.physical)
            FillPartitionList(int(diskNumber), PhysicalDrivesItem(), selection.kind);
    } else {
        const HTREEITEM disk = selection.kind == L"Hard Disk" ? item : m_driveTree.GetParentItem(item);
        FillPartitionList(GetDiskNumberFromText(m_driveTree.GetItemText(disk)), PhysicalDrivesItem(), selection.kind);
    }
    // The scan log keeps the table with the results.
    const ZrRecordTable& table = Host()->RecognisedPartitionTable;
    for (int row = 0; row < table.GetItemCount(); ++row) {
        ScanLogRecognisedRow cells;
        for (int c = 0; c < 6; ++c)
            cells[size_t(c)] = table.GetItemText(row, c);
        Store().recognisedPartitions.push_back(RecognisedPartitionRowOfCells(cells));
    }
}

void CDeepSearch::ShowResultsPage()
{
    for (int id : { IDC_DS_REFRESH, IDC_DS_MORE_PARTITIONS, IDC_DS_UNUSED_BUTTON })
        GetDlgItem(id)->ShowWindow(SW_HIDE);
    ShowHintControls(SW_HIDE);
    ShowSectorRangeControls(SW_HIDE);
    HideFoundFileSystemList();
    SetFileListColumns();
    PlaceFileList(true);
    FileList().ShowWindow(SW_SHOW);
    m_driveTree.ShowWindow(SW_HIDE);
    m_resultTree.ShowWindow(SW_SHOW);
    m_resultTree.EnableWindow(FALSE);
    ActiveTree = &m_resultTree;
    ShrinkProgressArea();
    m_progress.ShowWindow(SW_SHOW);
    ShowScanResultControls(SW_SHOW);
    GetDlgItem(IDC_DS_BACK)->EnableWindow(FALSE);
    GetDlgItem(IDC_DS_NEXT)->EnableWindow(FALSE);
    const ScanTarget& target = m_request.target;
    CString range;
    range.Format(L"%llu to %llu", (unsigned long long)target.firstSector, (unsigned long long)target.endSector);
    m_range.SetWindowText(range);
    m_scanned.SetWindowText(L"");
    m_current.SetWindowText(L"Validating Partition ...");
    m_wait.SetWindowText(L"");
    if (Host() != nullptr)
        Host()->SetProgressRange64(ProgressBar(), target.firstSector, target.endSector, 512);
    m_hint.SetWindowText(HintStopSearching);
}

// ---- The scan (on its worker) ------------------------------------------------------------------

void CDeepSearch::BuildScanResults()
{
    BuildResultsTree(m_treeProgress.GetSafeHwnd());
    ++m_finishedScans;
}

void CDeepSearch::OnResultsBuildStep(ResultsBuildStep)
{
    DeepScanStatus status;
    status.phase = DeepScanStatus::Finishing;
    ::SendMessageW(GetSafeHwnd(), WM_ZR_DEEP_SCAN_STATUS, 0, LPARAM(&status));
}

void CDeepSearch::NoteCarving(uint64_t done)
{
    m_carvedTo = done;
    // One message waits at most: it shows the latest position when the dialog comes to it.
    if (!m_carvingPosted.exchange(true))
        ::PostMessageW(GetSafeHwnd(), WM_ZR_DEEP_SCAN_STATUS, kCarvingReport, 0);
}

LRESULT CDeepSearch::OnScanStatus(WPARAM kind, LPARAM param)
{
    DeepScanStatus carving;
    if (kind == kCarvingReport) {
        m_carvingPosted = false;
        // Once the finishing is on screen, the carving's counters are gone.
        if (!m_carving)
            return 0;
        carving.first = m_request.target.firstSector;
        carving.end = m_request.target.endSector;
        carving.at = carving.first + m_carvedTo.load();
        param = LPARAM(&carving);
    }
    if (param == 0)
        return 0;
    const DeepScanStatus& status = *reinterpret_cast<const DeepScanStatus*>(param);
    if (status.phase == DeepScanStatus::Finishing) {
        m_carving = false;
        m_counts.Paint(*this);
        // The carving is over: its counters and Stop go, the tree's loading shows.
        ShowScanResultControls(SW_HIDE);
        m_progress.ShowWindow(SW_HIDE);
        m_treeLabel.ShowWindow(SW_SHOW);
        return 0;
    }
    // The first and the last figures are painted at once, those between as paced.
    m_counts.BeginReport(status.at > status.first && status.at < status.end);
    m_counts.SetText(*this, m_current, DecimalText(status.at));
    CString scanned;
    scanned.Format(L"sectors scanned of total %llu", (unsigned long long)status.end);
    m_counts.SetText(*this, m_scanned, scanned);
    if (Host() != nullptr) {
        Host()->SetProgressPosition64(ProgressBar(), status.first, status.end, status.at);
        m_counts.BarMoved(*this, ProgressBar());
    }
    m_counts.EndReport(*this);
    return 0;
}

void CDeepSearch::OnTimer(UINT_PTR id)
{
    if (id == m_counts.TimerId())
        m_counts.Paint(*this);
    else
        CFsSearchSession::OnTimer(id);
}

// ---- The end of a scan -------------------------------------------------------------------------

void CDeepSearch::OnScanWorkerEnded()
{
    ShowResultsState();
}

void CDeepSearch::ShowResultsState(bool openTree)
{
    m_carving = false;
    FileList().ShowWindow(SW_SHOW);
    m_resultTree.ShowWindow(SW_SHOW);
    ActiveTree = &m_resultTree;
    if (m_resultTree.GetRootItem() == nullptr) {
        InsertTreeRoot();
        DeepNoticeState = 1;
    }
    if (openTree) {
        m_resultTree.EnableWindow(TRUE);
        m_resultTree.Select(nullptr, TVGN_CARET);
        m_resultTree.Select(m_resultTree.GetRootItem(), TVGN_CARET);
    }
    ShowScanResultControls(SW_HIDE);
    for (CWnd* control : { static_cast<CWnd*>(&m_progress), static_cast<CWnd*>(&m_treeProgress),
                           static_cast<CWnd*>(&m_treeLabel), static_cast<CWnd*>(&m_wait) })
        control->ShowWindow(SW_HIDE);
    m_current.SetWindowText(L"");
    m_hint.SetWindowText(HintSelectFiles);
    ShowFolderFrame(SW_SHOW);
    GetDlgItem(IDC_DS_BACK)->EnableWindow(TRUE);
    GetDlgItem(IDC_DS_NEXT)->EnableWindow(FALSE);
}

void CDeepSearch::OnBnClickedStop()
{
    if (StopScanAndWait(m_wait))
        ShowResultsState();
}

void CDeepSearch::ShowLoadedResults(bool)
{
    for (int id : { IDC_DS_REFRESH, IDC_DS_MORE_PARTITIONS })
        GetDlgItem(id)->ShowWindow(SW_HIDE);
    ShowSectorRangeControls(SW_HIDE);
    SetFileListColumns();
    PlaceFileList(true);
    SetPage(10);
    ShowResultsState(false);
}

// ---- Back --------------------------------------------------------------------------------------

void CDeepSearch::OnBnClickedBack()
{
    if (RefuseBackWhileBusy())
        return;
    if (Page() == 0) {
        ReturnToLauncher(kBackResult);
        return;
    }
    EmptyResultsForDrivePage();
    SetPage(0);
    m_request.ScanAsPhysicalDisk = false;
    FileList().ShowWindow(SW_HIDE);
    PlaceFileList(false);
    m_resultTree.ShowWindow(SW_HIDE);
    m_driveTree.ShowWindow(SW_SHOW);
    ActiveTree = &m_driveTree;
    m_driveTree.ForgetShownDetails();
    SetPropertyColumns(8);
    for (int id : { IDC_DS_REFRESH, IDC_DS_BACK, IDC_DS_NEXT, IDC_DS_MORE_PARTITIONS }) {
        GetDlgItem(id)->ShowWindow(SW_SHOW);
        GetDlgItem(id)->EnableWindow(TRUE);
    }
    m_hint.SetWindowText(HintSelectDrive);
    GrowProgressArea();
    ShowResultControls(SW_HIDE);
    for (int id : { IDC_DS_PROGRESS, IDC_DS_TREE_PROGRESS, IDC_DS_TREE_LABEL, IDC_DS_PATH })
        GetDlgItem(id)->ShowWindow(SW_HIDE);
    ShowFolderFrame(SW_HIDE);
    m_path.SetWindowText(L"");
    m_driveTree.Select(nullptr, TVGN_CARET);
    m_driveTree.Select(m_driveTree.GetRootItem(), TVGN_CARET);
    m_driveTree.SetFocus();
    SetDriveTreeIcons();
}

// ---- Volumes inside a drive letter ---------------------------------------------------------

namespace {

const wchar_t kSelectDriveForPartitionsText[] =
    L"Select the Physical or Logical Drive (in which you want to search Partitions) from the list of available "
    L"Drives in left Panel in order to search deleted or missing Partitions.";
const wchar_t kNoDriveAreaFormat[] =
    L"No physical storage area found in Drive(Drive - %s ).\n\nIf you have connected your storage using any usb hub "
    L"or extension, check storage connections or connect the storage media directly to your computer.";

// Keeps the sectors of the boot sectors the scan meets.
class BootSectorsFound : public DeepScanSink {
public:
    void FatBoot(const FatBootHit& hit) override { sectors.push_back(hit.sector); }
    void NtfsBoot(const NtfsBootHit& hit) override { sectors.push_back(hit.sector); }
    std::vector<uint64_t> sectors;
};

UINT RecognisedSearchWorker(LPVOID param)
{
    CDeepSearch* dlg = static_cast<CDeepSearch*>(param);
    dlg->RunRecognisedSearch();
    ::PostMessageW(dlg->GetSafeHwnd(), WM_ZR_RECOGNISED_ENDED, 0, 0);
    return 0;
}

} // namespace

void CDeepSearch::SetRecognisedRange(const CString& startText, const CString& endText, const CString& limitText,
                                     uint64_t driveSectors)
{
    m_recognisedStart = StrToUInt64(startText);
    const uint64_t limit = StrToUInt64(limitText);
    SetSectorRangeControls(0, limit != 0 ? limit : driveSectors);
    SetDlgItemText(IDC_RANGE_START, startText);
    SetDlgItemText(IDC_RANGE_END, endText);
}

void CDeepSearch::OnBnClickedSearchMorePartitions()
{
    if (RecognisedSearchRunning() || RemovableMediumListing() || PartitionSearchBusy() || DriveTreeBuilding != 0 ||
        (Host() != nullptr && Host()->LogLoaderRunning()) || g_pPopulateListThread != nullptr)
        return;
    const HTREEITEM item = m_driveTree.GetSelectedItem();
    const HTREEITEM parent = item != nullptr ? m_driveTree.GetParentItem(item) : nullptr;
    const bool diskSelected = parent == PhysicalDrivesItem() && SelectedItemKind == L"Hard Disk";
    const bool driveSelected = parent == LogicalDrivesItem() && SelectedItemKind == L"Logical";
    if (diskSelected) {
        CSearchSession::OnBnClickedSearchMorePartitions();
        return;
    }
    if (!driveSelected) {
        // Deep Search searches a disk or a drive letter.
        if (NoDeviceVisible != 0) {
            EnableWindow(FALSE);
            return;
        }
        Inform(this, kSelectDriveForPartitionsText);
        HideFoundFileSystemList();
        m_driveTree.SelectItem(PhysicalDrivesItem());
        return;
    }
    const CString drive = m_driveTree.GetItemText(item).Left(2);
    CString endText;
    GetDlgItemText(IDC_RANGE_END, endText);
    const uint64_t end = StrToUInt64(PropertyValue(1));
    if ((StrToUInt64(endText) == 0 && PropertyValue(3).IsEmpty()) || end == 0) {
        CString text;
        text.Format(kNoDriveAreaFormat, drive.GetString());
        Inform(this, text);
        return;
    }
    m_recognisedSearch = RecognisedSearch();
    m_recognisedSearch.devicePath = Host() != nullptr ? Host()->LogicalDrivePath : CString(L"\\\\.\\") + drive;
    m_recognisedSearch.key = L"Log|" + m_recognisedSearch.devicePath + L"|";
    m_recognisedSearch.driveName = drive;
    m_recognisedSearch.driveItem = item;
    m_recognisedSearch.end = end;
    for (const RecognisedVolume& row : m_recognisedRows)
        if (row.cells[0] == m_recognisedSearch.key)
            m_recognisedSearch.found.push_back(row);
    ShowSectorRangeControls(SW_HIDE);
    ShowPartitionSearchControls(true);
    CString total;
    total.Format(L" / %llu reading", (unsigned long long)end);
    SetDlgItemText(IDC_BS_OF_TOTAL, total);
    SetDlgItemText(IDC_BS_SECTORS, L"0");
    for (int id : { IDC_BS_OF_TOTAL, IDC_BS_SECTORS })
        GetDlgItem(id)->ShowWindow(SW_SHOW);
    if (Host() != nullptr)
        Host()->SetProgressRange64(m_partitionProgress.GetSafeHwnd(), 0, end, 1024);
    m_recognisedStop = 0;
    CWinThread* worker = nullptr;
    m_recognisedWorker = ZrBeginThreadInto(worker, RecognisedSearchWorker, this);
    if (m_recognisedWorker.load() == nullptr) {
        ShowPartitionSearchControls(false);
        ShowSectorRangeControls(SW_SHOW);
    }
}

void CDeepSearch::RunRecognisedSearch()
{
    RecognisedSearch& search = m_recognisedSearch;
    KeptHandleSectorSource device(search.devicePath);
    BootSectorsFound boots;
    ProgressThrottle throttle;
    DeepScanTargets targets;
    targets.fat = targets.ntfs = targets.bootSectorsOnly = true;
    RunDeepScan(device, 0, search.end, targets, boots, &m_recognisedStop, [&](uint64_t done, uint64_t total) {
        if (throttle.Due(done, total))
            ::SendMessageW(GetSafeHwnd(), WM_ZR_RECOGNISED_PROGRESS, 0, LPARAM(&done));
    });
    // Boot sectors in the order found; the number of each is its place among the drive's rows.
    for (uint64_t sector : boots.sectors) {
        uint8_t boot[kSectorSize];
        if (device.Read(sector, 1, boot) != kSectorSize)
            continue;
        int number = 1;
        for (const RecognisedVolume& row : search.found)
            number += row.cells[0] == search.key;
        RecognisedVolume volume;
        if (RecognisedVolumeOf(boot, sector, search.end, search.key, number, volume))
            AddRecognisedVolume(search.found, volume);
    }
}

LRESULT CDeepSearch::OnRecognisedProgress(WPARAM, LPARAM sector)
{
    if (sector == 0)
        return 0;
    const uint64_t at = *reinterpret_cast<const uint64_t*>(sector);
    SetDlgItemText(IDC_BS_SECTORS, DecimalText(at));
    if (Host() != nullptr)
        Host()->SetProgressPosition64(m_partitionProgress.GetSafeHwnd(), 0, m_recognisedSearch.end, at);
    return 0;
}

LRESULT CDeepSearch::OnRecognisedEnded(WPARAM, LPARAM)
{
    EndRecognisedSearch(false);
    return 0;
}

void CDeepSearch::OnBnClickedStopSearchingPartitions()
{
    if (!RecognisedSearchRunning()) {
        CFsSearchSession::OnBnClickedStopSearchingPartitions();
        return;
    }
    if (AskToStopPartitionSearch())
        EndRecognisedSearch(true);
}

void CDeepSearch::EndRecognisedSearch(bool stop)
{
    CWinThread* worker = m_recognisedWorker.exchange(nullptr);
    if (worker == nullptr)
        return;
    if (stop)
        m_recognisedStop = 1;
    ZrWaitForThreadPumping(worker, INFINITE);
    delete worker;
    if (GetSafeHwnd() == nullptr || m_closing)
        return;
    // The rows the search added after those the drive had, each with its item under the drive.
    RecognisedSearch& search = m_recognisedSearch;
    const size_t known = size_t(std::count_if(m_recognisedRows.begin(), m_recognisedRows.end(),
                                              [&](const RecognisedVolume& row) { return row.cells[0] == search.key; }));
    HTREEITEM last = nullptr;
    int added = 0;
    for (size_t k = known; k < search.found.size(); ++k) {
        const RecognisedVolume& volume = search.found[k];
        m_recognisedRows.push_back(volume);
        const int row = m_recognised.InsertItem(m_recognised.GetItemCount(), volume.cells[0]);
        for (int c = 1; c < int(volume.cells.size()); ++c)
            m_recognised.SetItemText(row, c, volume.cells[c]);
        CString text;
        text.Format(L"%s - %s - %s", volume.cells[1].GetString(), volume.cells[5].GetString(),
                    volume.fsName.GetString());
        last = m_driveTree.InsertItem(text, 0, 0, search.driveItem, TVI_LAST);
        m_driveTree.SetItemColor(last, RGB(0, 128, 0));
        ++added;
    }
    if (last != nullptr) {
        m_driveTree.Expand(search.driveItem, TVE_EXPAND);
        m_driveTree.EnsureVisible(last);
    }
    ShowPartitionSearchControls(false);
    ShowSectorRangeControls(SW_SHOW);
    if (last != nullptr) {
        m_driveTree.SelectItem(last);
        m_driveTree.SetFocus();
    }
    Inform(this, FormatPartitionSearchResult(0, added, added != 0, L"Drive", search.driveName));
    if (Host() != nullptr)
        Host()->ResetScanCounters();
}

void CDeepSearch::EndWorkers()
{
    // The dialog goes: the search ends without listing or telling anything.
    m_closing = true;
    EndRecognisedSearch(true);
    CFsSearchSession::EndWorkers();
}

// ---- The list of a drive letter's recognised volumes ----------------------------------------

void CDeepSearch::OnNMClickFoundVolumes(NMHDR*, LRESULT* result)
{
    // A row's file system is the one to look for.
    const int row = m_foundVolumes.GetNextItem(-1, LVNI_SELECTED);
    if (row >= 0)
        SelectFileSystemCombo(m_foundVolumes.GetItemText(row, 1));
    *result = 0;
}

void CDeepSearch::OnNMSetfocusFoundVolumes(NMHDR*, LRESULT* result)
{
    int mark = m_foundVolumes.GetSelectionMark();
    if (mark < 0) {
        mark = 0;
        m_foundVolumes.SetSelectionMark(mark);
    }
    m_foundVolumes.SetItemState(mark, LVIS_SELECTED, LVIS_SELECTED);
    *result = 0;
}

void CDeepSearch::OnNMCustomdrawFoundVolumes(NMHDR* header, LRESULT* result)
{
    // The volume of the selected "Recognised" item is drawn in blue.
    NMLVCUSTOMDRAW* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(header);
    *result = CDRF_DODEFAULT;
    if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) {
        *result = CDRF_NOTIFYITEMDRAW;
    } else if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
        const bool selected = m_foundVolumes.GetItemText(int(draw->nmcd.dwItemSpec), 0) == SelectedPartitionText;
        draw->clrText = selected ? RGB(0, 0, 255) : RGB(0, 0, 0);
    }
}
