#include "app/basicsearch.h"

#include <shlobj.h>

#include "app/basicsave.h"
#include "app/maindlg.h"
#include "app/notices.h"
#include "app/questions.h"
#include "app/resultbrowse.h"
#include "app/sortclass.h"
#include "app/startup.h"
#include "app/waitdialogs.h"
#include "fsrecovery/basicscan.h"
#include "fsrecovery/folderlist.h"
#include "fsrecovery/fsglobals.h"
#include "fsrecovery/resultbuild.h"
#include "fsrecovery/savefiles.h"
#include "resources/resource.h"
#include "app/devicetree.h"
#include "storage/partitions.h"
#include "storage/pure/bootsector.h"
#include "storage/pure/drive_texts.h"
#include "storage/pure/globals.h"

std::atomic<int> BasicSearchPage{ 0 };
CWinThread* g_pBasicScanThread = nullptr;
CWinThread* g_pBasicDriveTreeThread = nullptr;
CWinThread* g_pOpenFilesThread = nullptr;
std::atomic<int> ScanAsPhysicalDisk{ 0 };
HTREEITEM LastPopulatedItem = nullptr;

namespace {

constexpr UINT WM_ZR_BASIC_SCAN_ENDED = WM_APP + 0x240;
constexpr UINT WM_ZR_BASIC_LISTING_ENDED = WM_APP + 0x241;
// The id of a FAT folder whose first cluster is an end-of-chain mark: it has nothing to read.
constexpr uint32_t kFatEndOfChain = 0x0FFFFFFF;
// Column 1 of a subfolder row of the file list.
const wchar_t kFolderType[] = L"FOLDER";
constexpr int kProgressGrowPixels = 75;

const wchar_t kMyComputer[] = L"My Computer";
const wchar_t kPhysicalDrives[] = L"Physical Drives";
const wchar_t kLogicalDrives[] = L"Logical Drives";

const wchar_t kSelectDriveText[] =
    L"First you need to select Physical or Logical Drive from the Tree, which you want to recover.";
const wchar_t kEndBeforeStartText[] = L"The value of \x2018"
                                      L"End Sector\x2019 cannot be less than or equal to the \x2018"
                                      L"Start Sector\x2019 of the Drive.";
const wchar_t kStillScanningText[] =
    L"Disk scanning process is still going on.\n\nPlease allow the scanning process to be completed or you "
    L"can also cancel the scanning by clicking on \x2018Stop\x2019 button.";
const wchar_t kRefreshRefusedText[] =
    L"Disk scanning process is in progress.\n\nYou can refresh the list of Drives only before starting the "
    L"scanning process.";
const wchar_t kSaveTooEarlyText[] =
    L"Saving function is not available at this step.\n\nTo save recovered data, first you need to scan the "
    L"drive and recover the lost data.\n\nSelect the Drive from tree and click next to continue.";
const wchar_t kSaveWhileScanningText[] =
    L"Disk scanning process is still going on.\n\nTo save recovered data, please allow the scanning process "
    L"to be completed.";

std::atomic<AFX_THREADPROC> g_scanProc{ nullptr };
// The selection handler that was in place before the dialog opened (the results tree's).
CTreeClass::NotifyHandler g_previousSelChanged = nullptr;
CTreeClass::NotifyHandler g_previousItemExpanding = nullptr;

// A drive-tree selection fills the property list; other trees keep their own handler.
void OnTreeSelChanged(CTreeClass* tree, NMHDR* header, LRESULT* result)
{
    CBasicSearch* dlg = static_cast<CBasicSearch*>(g_pBasicSearchDlg);
    if (dlg != nullptr && tree == &dlg->DriveTree()) {
        tree->ShowDeviceItem(reinterpret_cast<NMTREEVIEWW*>(header)->itemNew.hItem);
        return;
    }
    if (dlg != nullptr && tree == &dlg->ResultTree()) {
        dlg->OnResultSelChanged(reinterpret_cast<NMTREEVIEWW*>(header)->itemNew.hItem);
        *result = 0;
        return;
    }
    if (g_previousSelChanged != nullptr)
        g_previousSelChanged(tree, header, result);
}

// Expanding or collapsing a results folder; the drive tree keeps the control's own behaviour.
void OnTreeItemExpanding(CTreeClass* tree, NMHDR* header, LRESULT* result)
{
    CBasicSearch* dlg = static_cast<CBasicSearch*>(g_pBasicSearchDlg);
    if (dlg != nullptr && tree == &dlg->ResultTree()) {
        OnResultItemExpanding(tree, reinterpret_cast<NMTREEVIEWW*>(header), BasicSearchPage > 0);
        return;
    }
    if (g_previousItemExpanding != nullptr)
        g_previousItemExpanding(tree, header, result);
}

void Inform(CWnd* owner, const wchar_t* text)
{
    ZrMessageBox(owner ? owner->GetSafeHwnd() : nullptr, text, L"Message", MB_OK | MB_ICONINFORMATION);
}

// The scan of the selected volume and its finishing steps: the rows whose parent was not found
// go under the catch-all folder, then the results tree is built. A stopped scan finishes on
// the rows found so far.
UINT ScanAndBuildTree(LPVOID param)
{
    CBasicSearch* dlg = static_cast<CBasicSearch*>(param);
    const BasicScanStatus status = RunBasicScan(dlg->StopFlag(), dlg->ProgressBar());
    dlg->SetScanMessage(BasicScanStatusMessage(status));
    if ((status != BasicScanStatus::Done && status != BasicScanStatus::Stopped) || g_pMainDlg == nullptr)
        return 0;
    ZrRecordTable& table = g_pMainDlg->FoundEntryTable;
    CTreeClass* tree = &dlg->ResultTree();
    const HWND progress = dlg->ProgressBar();
    const bool ntfs = FatVolumeParams.partitionType == L"NTFS";
    // Besides the catch-all row, the scan found a folder (FAT) or a file (NTFS).
    ResultsPresent = (ntfs ? g_pMainDlg->NtfsFileTable : table).GetItemCount() >= 2 ? 1 : 0;
    g_pMainDlg->SortFoundEntriesBySelf();
    if (ntfs)
        MarkOrphansNtfs(table, progress);
    else
        MarkOrphansFat(table, progress);
    g_pMainDlg->SortFoundEntriesByParent();
    tree->EnsureRootItem();
    if (ntfs)
        BuildResultTree(table, tree, progress);
    else
        BuildFatTree(table, tree, progress);
    return 0;
}

// Runs the installed scan, then tells the dialog it has ended.
UINT BasicScanWorker(LPVOID param)
{
    CBasicSearch* dlg = static_cast<CBasicSearch*>(param);
    AFX_THREADPROC proc = g_scanProc.load();
    (proc ? proc : ScanAndBuildTree)(param);
    g_pBasicScanThread = nullptr;
    ::PostMessageW(dlg->GetSafeHwnd(), WM_ZR_BASIC_SCAN_ENDED, 0, 0);
    return 0;
}

uint64_t ParseSectors(const CString& text)
{
    CString trimmed = text;
    trimmed.Trim();
    return StrToUInt64(trimmed);
}

void RunBasicSearch()
{
    CBasicSearch dlg(g_pMainDlg);
    dlg.DoModal();
}

bool BasicDriveTreeTarget(DriveTreeTarget& target)
{
    CBasicSearch* dlg = static_cast<CBasicSearch*>(g_pBasicSearchDlg);
    if (dlg == nullptr || !dlg->DriveTree().IsWindow())
        return false;
    target.dialog = dlg;
    target.tree = &dlg->DriveTree();
    target.physicalRoot = dlg->PhysicalDrivesItem();
    target.logicalRoot = dlg->LogicalDrivesItem();
    target.fileList = dlg->DetailList()->GetSafeHwnd();
    target.onFirstPage = BasicSearchPage == 0;
    target.scanCounted = BasicSearchPage != 0;
    return true;
}

} // namespace

void SetBasicScanProc(AFX_THREADPROC proc)
{
    g_scanProc = proc;
}

void RegisterBasicSearchDialog()
{
    RegisterSearchDialog(kModeBasic, RunBasicSearch);
    RegisterDriveTreeTarget(kModeBasic, BasicDriveTreeTarget);
}

BEGIN_MESSAGE_MAP(CBasicSearch, CDialog)
    ON_WM_CLOSE()
    ON_WM_DESTROY()
    ON_WM_CTLCOLOR()
    ON_BN_CLICKED(IDC_BS_BACK, &CBasicSearch::OnBnClickedBack)
    ON_BN_CLICKED(IDC_BS_NEXT, &CBasicSearch::OnBnClickedNext)
    ON_BN_CLICKED(IDC_BS_STOP, &CBasicSearch::OnBnClickedStop)
    ON_BN_CLICKED(IDC_BS_REFRESH, &CBasicSearch::OnBnClickedRefresh)
    ON_BN_CLICKED(IDC_BS_SAVE, &CBasicSearch::OnBnClickedSave)
    ON_BN_CLICKED(IDC_BS_STOP_PARTITIONS, &CBasicSearch::OnBnClickedStopSearchingPartitions)
    ON_BN_CLICKED(IDC_BS_MORE_PARTITIONS, &CBasicSearch::OnBnClickedSearchMorePartitions)
    ON_BN_CLICKED(IDC_BS_NEED_HELP, &CBasicSearch::OnBnClickedNeedHelp)
    ON_BN_CLICKED(IDC_BS_ABOUT, &CBasicSearch::OnBnClickedAboutUs)
    ON_BN_CLICKED(IDC_BS_CONTACT, &CBasicSearch::OnBnClickedContactUs)
    ON_BN_CLICKED(IDC_SHARE_BUTTON, &CBasicSearch::OnBnClickedShareOnSocialMedia)
    ON_STN_CLICKED(IDC_LINK_MAIL, &CBasicSearch::OnStnClickedLink)
    ON_STN_CLICKED(IDC_LINK_WEB, &CBasicSearch::OnStnClickedLink2)
    ON_CONTROL_RANGE(STN_CLICKED, IDC_SHARE_1, IDC_SHARE_4, &CBasicSearch::OnShareLink)
    ON_WM_ERASEBKGND()
    ON_WM_PAINT()
    ON_WM_SETCURSOR()
    ON_WM_SYSCOMMAND()
    ON_WM_VSCROLL()
    ON_MESSAGE(WM_HELP, &CBasicSearch::OnHelpKey)
    ON_MESSAGE(WM_ZR_BASIC_SCAN_ENDED, &CBasicSearch::OnScanEnded)
    ON_MESSAGE(WM_ZR_BASIC_LISTING_ENDED, &CBasicSearch::OnListingEnded)
    ON_MESSAGE(WM_ZR_REMOVABLE_FOUND, &CBasicSearch::OnRemovablePartitionFound)
    ON_MESSAGE(WM_ZR_REMOVABLE_ENDED, &CBasicSearch::OnRemovableSearchEnded)
    ON_NOTIFY(NM_DBLCLK, IDC_BS_FILE_LIST, &CBasicSearch::OnNMDblclkFileList)
    ON_NOTIFY(NM_RCLICK, IDC_BS_FILE_LIST, &CBasicSearch::OnNMRClickFileList)
    ON_NOTIFY(NM_SETFOCUS, IDC_BS_FILE_LIST, &CBasicSearch::OnNMSetfocusFileList)
    ON_NOTIFY(NM_RCLICK, IDC_BS_RESULT_TREE, &CBasicSearch::OnNMRClickResultTree)
    ON_MESSAGE(CBasicSearch::kMsgOpenFolderRow, &CBasicSearch::OnOpenFolderRow)
    ON_MESSAGE(CBasicSearch::kMsgOpenBegin, &CBasicSearch::OnOpenBegin)
    ON_MESSAGE(CBasicSearch::kMsgOpenEnded, &CBasicSearch::OnOpenEnded)
END_MESSAGE_MAP()

CBasicSearch::CBasicSearch(CWnd* parent) : CDialog(IDD_BASIC_SEARCH, parent)
{
    m_hIcon = LoadIconImage(IDR_MAINFRAME, 32);
}

CBasicSearch::~CBasicSearch()
{
    // A worker still running holds a pointer to this dialog: it is asked to stop and waited for.
    m_stopFlag = 1;
    if (CWinThread* worker = m_scanWorker.exchange(nullptr)) {
        worker->RequestStop();
        ::WaitForSingleObject(worker->m_hThread, INFINITE);
        delete worker;
    }
    if (g_pBasicSearchDlg == this)
        g_pBasicSearchDlg = nullptr;
    if (m_hIcon != nullptr)
        ::DestroyIcon(m_hIcon);
}

int CBasicSearch::Mode() const
{
    return kModeBasic;
}

void CBasicSearch::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_BS_DRIVE_TREE, m_driveTree);
    DDX_Control(pDX, IDC_BS_RESULT_TREE, m_resultTree);
    DDX_Control(pDX, IDC_BS_FILE_LIST, m_list);
    DDX_Control(pDX, IDC_BS_PROGRESS, m_progress);
    DDX_Control(pDX, IDC_BS_PS_PROGRESS, m_partitionProgress);
    DDX_Control(pDX, IDC_BS_PATH, m_path);
    DDX_Control(pDX, IDC_BS_SCANNED, m_scanned);
    DDX_Control(pDX, IDC_BS_CURRENT, m_current);
    DDX_Control(pDX, IDC_BS_RANGE, m_range);
    DDX_Control(pDX, IDC_BS_STATUS, m_status);
}

BOOL CBasicSearch::OnInitDialog()
{
    CDialog::OnInitDialog();
    AutoSearchValidation = 0;
    g_pBasicSearchDlg = this;
    SetupChrome();

    ActiveTree = &m_driveTree;
    BasicSearchPage = 0;
    m_driveTree.SetDetailHost(this);
    if (CTreeClass::s_selChangedHandler != OnTreeSelChanged) {
        g_previousSelChanged = CTreeClass::s_selChangedHandler;
        CTreeClass::s_selChangedHandler = OnTreeSelChanged;
    }
    if (CTreeClass::s_itemExpandingHandler != OnTreeItemExpanding) {
        g_previousItemExpanding = CTreeClass::s_itemExpandingHandler;
        CTreeClass::s_itemExpandingHandler = OnTreeItemExpanding;
    }
    SetPropertyColumns(8);
    m_list.SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);

    m_removableListing = 0;
    m_logSaved = 0;
    m_stopFlag = 0;

    const COLORREF white = RGB(255, 255, 255);
    for (CColorStatic* s : { &m_scanned, &m_current, &m_range, &m_status })
        s->SetBkColor(white);
    m_path.SetBkColor(RGB(255, 252, 223));
    m_resultTree.SetItemHeight(SHORT(m_resultTree.GetItemHeight() * 11 / 10));

    // The two widths of the progress bar: as laid out (wide, while a stop runs) and 75 pixels
    // narrower (while a scan runs).
    m_progress.GetWindowRect(&m_progressWideRect);
    ScreenToClient(&m_progressWideRect);
    m_progressNarrow = m_progressWideRect;
    m_progressNarrow.right -= kProgressGrowPixels;
    m_progressWide = true;

    if (g_pMainDlg != nullptr) {
        g_pMainDlg->DriveTreeRefreshBusy = 0;
        g_pMainDlg->FoundPartitionCount = 0;
    }
    InsertDriveRoots();
    if (g_pMainDlg != nullptr)
        g_pMainDlg->SearchDialogReady = 1;
    CheckDlgButton(IDC_BS_FORCED, BST_CHECKED);

    RefreshDriveTrees();
    m_driveTree.Expand(m_physicalRoot, TVE_EXPAND);
    m_driveTree.Expand(m_logicalRoot, TVE_EXPAND);
    SetDriveTreeIcons();

    m_list.ShowWindow(SW_HIDE);
    m_driveTree.Invalidate();
    m_driveTree.Select(m_driveTree.GetRootItem(), TVGN_CARET);
    m_driveTree.SetFocus();
    m_pathText = L"Select drive to start recovery...";
    m_path.SetWindowText(m_pathText);
    if (g_pMainDlg != nullptr && g_pMainDlg->GetSafeHwnd() != nullptr) {
        g_pMainDlg->ShowWindow(SW_HIDE);
        g_pMainDlg->SearchDialogStarted();
    }
    if (CommandLineLogPath.IsEmpty())
        StartRemovableMediaSearch();
    return TRUE;
}

void CBasicSearch::InsertDriveRoots()
{
    const HTREEITEM computer = m_driveTree.InsertItem(kMyComputer, 0, 0, TVI_ROOT, TVI_LAST);
    m_physicalRoot = m_driveTree.InsertItem(kPhysicalDrives, 3, 3, computer, TVI_LAST);
    m_logicalRoot = m_driveTree.InsertItem(kLogicalDrives, 1, 1, computer, TVI_LAST);
    m_driveTree.Expand(computer, TVE_EXPAND);
}

BOOL CBasicSearch::PreTranslateMessage(MSG* pMsg)
{
    if (FilterInput(pMsg))
        return TRUE;
    if (pMsg->message == WM_KEYDOWN && (pMsg->wParam == VK_RETURN || pMsg->wParam == VK_ESCAPE))
        return TRUE;
    if (SelectAllOnCtrlA(pMsg))
        return TRUE;
    return CDialog::PreTranslateMessage(pMsg);
}

HBRUSH CBasicSearch::OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor)
{
    if (ctlColor == CTLCOLOR_STATIC || ctlColor == CTLCOLOR_DLG) {
        dc->SetBkColor(RGB(255, 255, 255));
        return (HBRUSH)::GetStockObject(WHITE_BRUSH);
    }
    return CDialog::OnCtlColor(dc, wnd, ctlColor);
}

// ---- Columns, icons, hints --------------------------------------------------------------------

void CBasicSearch::SetPropertyColumns(int count)
{
    m_list.DeleteAllItems();
    CHeaderCtrl* header = m_list.GetHeaderCtrl();
    const int columns = header != nullptr ? header->GetItemCount() : count;
    for (int c = columns - 1; c >= 0; --c)
        m_list.DeleteColumn(c);
    m_list.SetExtendedStyle(m_list.GetExtendedStyle() & ~DWORD(LVS_EX_CHECKBOXES));
    m_list.InsertColumn(0, L"Name", LVCFMT_LEFT, 160);
    m_list.InsertColumn(1, L"Value", LVCFMT_LEFT, 325);
}

void CBasicSearch::SetFileListColumns()
{
    m_list.DeleteAllItems();
    m_list.ShowWindow(SW_SHOW);
    CHeaderCtrl* header = m_list.GetHeaderCtrl();
    for (int c = (header != nullptr ? header->GetItemCount() : 0) - 1; c >= 0; --c)
        m_list.DeleteColumn(c);
    static const struct {
        const wchar_t* name;
        int width;
    } kColumns[] = {
        { L"Name", 145 },
        { L"Type", 60 },
        { L"Size", 60 },
        { L"Date", 60 },
        { L"Time", 60 },
        { L"SelfCluster-Debug Info 1", 0 },
        { L"ParentCluster-Debug Info 2", 0 },
        { L"TreeItem-Debug Info 3", 0 },
        { L"SFN", 0 },
    };
    int index = 0;
    for (const auto& column : kColumns)
        m_list.InsertColumn(index++, column.name, LVCFMT_LEFT, column.width);
    for (int c = 5; c < index; ++c)
        m_list.ShowColumn(c, FALSE);
    m_list.SetExtendedStyle(m_list.GetExtendedStyle() | LVS_EX_CHECKBOXES);
}

void CBasicSearch::SetDriveTreeIcons()
{
    // Depth-first over the whole tree; the walk is bounded by the items the tree holds.
    HTREEITEM item = m_driveTree.GetRootItem();
    while (item != nullptr) {
        const CString text = m_driveTree.GetItemText(item);
        int image = -1;
        if (text == kMyComputer)
            image = 0;
        else if (text == kLogicalDrives)
            image = 1;
        else if (text == kPhysicalDrives)
            image = 3;
        else if (text.Find(L"Recognised") >= 0)
            image = 0;
        else if (text.Find(L"Media (") >= 0)
            image = 3;
        else if (text.Find(L"Partition") >= 0 || m_driveTree.GetParentItem(item) == m_logicalRoot)
            image = 2;
        if (image >= 0)
            m_driveTree.SetItemImage(item, image, image);

        HTREEITEM next = m_driveTree.GetChildItem(item);
        for (HTREEITEM up = item; next == nullptr && up != nullptr; up = m_driveTree.GetParentItem(up))
            next = m_driveTree.GetNextSiblingItem(up);
        item = next;
    }
}

void CBasicSearch::ShowSearchHint(const CString& itemText)
{
    const bool group = itemText == kMyComputer || itemText == kPhysicalDrives || itemText == kLogicalDrives;
    if (CWnd* hint = GetDlgItem(IDC_BS_SELECT_HINT))
        hint->ShowWindow(group ? SW_SHOW : SW_HIDE);
}

void CBasicSearch::HideHintLabels()
{
    if (CWnd* hint = GetDlgItem(IDC_BS_SELECT_HINT))
        hint->ShowWindow(SW_HIDE);
}

// ---- Progress area ---------------------------------------------------------------------------

void CBasicSearch::GrowProgressArea()
{
    if (m_progressWide)
        return;
    m_progress.MoveWindow(&m_progressWideRect);
    m_progressWide = true;
}

void CBasicSearch::ShrinkProgressArea()
{
    if (!m_progressWide)
        return;
    m_progress.MoveWindow(&m_progressNarrow);
    m_progressWide = false;
}

// ---- Refresh ---------------------------------------------------------------------------------

bool CBasicSearch::WorkerRunning() const
{
    return m_scanWorker.load() != nullptr || g_pPopulateListThread != nullptr;
}

void CBasicSearch::OnBnClickedRefresh()
{
    if (BasicSearchPage != 0 || WorkerRunning() || g_pBasicLogLoadThread != nullptr ||
        g_pDeepLogLoadThread != nullptr) {
        Inform(this, kRefreshRefusedText);
        return;
    }
    RefreshDriveTree();
}

void CBasicSearch::RefreshDriveTree()
{
    // A medium being searched is an item of the tree about to be rebuilt.
    EndRemovableSearch(true, false);
    for (int id : { IDC_BS_REFRESH, IDC_BS_BACK, IDC_BS_NEXT })
        GetDlgItem(id)->EnableWindow(FALSE);
    m_driveTree.DeleteAllItems();
    m_resultTree.DeleteAllResults();
    m_driveTree.ForgetShownDetails();
    SetPropertyColumns(4);
    InsertDriveRoots();
    RefreshDriveTrees();
    m_driveTree.Expand(m_physicalRoot, TVE_EXPAND);
    m_driveTree.Expand(m_logicalRoot, TVE_EXPAND);
    for (int id : { IDC_BS_REFRESH, IDC_BS_BACK, IDC_BS_NEXT })
        GetDlgItem(id)->EnableWindow(TRUE);
    BasicSearchPage = 0;
    m_driveTree.Select(m_driveTree.GetRootItem(), TVGN_CARET);
    m_driveTree.SetFocus();
    if (IsWindowVisible() && NoDeviceVisible == 0)
        StartRemovableMediaSearch();
    SetDriveTreeIcons();
}

// ---- Next ------------------------------------------------------------------------------------

CString CBasicSearch::PropertyValue(int row)
{
    return row < m_list.GetItemCount() ? m_list.GetItemText(row, 1) : CString();
}

bool CBasicSearch::ReadScanRequest(HTREEITEM item, BasicScanRequest& request)
{
    // A second scan waits for Back; nothing of the first one's state is touched.
    if (BasicSearchPage != 0)
        return false;
    const CString text = item != nullptr ? m_driveTree.GetItemText(item) : CString();
    if (item == nullptr || text == kMyComputer || text == kPhysicalDrives || text == kLogicalDrives) {
        Inform(this, kSelectDriveText);
        return false;
    }
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
    request.kind = SelectedItemKind;
    request.fsName = NormaliseFsName(PropertyValue(2));
    if (request.kind == L"Hard Disk" || request.kind == L"Logical") {
        request.diskNumber = SelectedDiskNumber;
    } else {
        const int32_t disk = StrToInt32(PropertyValue(0));
        request.diskNumber = uint16_t(disk >= 0 && disk < kMaxDisks ? disk : 0);
    }
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
        request.startSector = ParseSectors(PropertyValue(4));
        request.endSector = ParseSectors(PropertyValue(5));
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

void CBasicSearch::ApplyScanRequest(const BasicScanRequest& request)
{
    SelectedDiskNumber = request.diskNumber;
    SelectedVolumeInfo = SelectedVolumeRecord();
    SelectedVolumeInfo.diskNumber = request.diskNumber;
    SelectedVolumeInfo.fsName = request.fsName;
    VolumeGeometry = VolumeGeometryRecord();
    FatVolumeParams = FatVolumeParamsRecord();
    ScanAsPhysicalDisk = 0;
    StopFolderRead = 0;

    uint64_t start = request.startSector;
    uint64_t end = request.endSector;
    if (request.kind == L"Logical")
        CurrentDevicePath = g_pMainDlg != nullptr ? g_pMainDlg->LogicalDrivePath : CString();
    else
        CurrentDevicePath = PhysicalDrivePathTable[request.diskNumber < kMaxDisks ? request.diskNumber : 0];

    if (request.physical) {
        LoadSelectedDriveItem();
        if (SelectedItemVolumeEnd > SelectedItemVolumeStart && SelectedItemDiskNumber < uint32_t(kMaxDisks)) {
            CurrentDevicePath.Format(L"\\\\.\\PhysicalDrive%d", int(SelectedItemDiskNumber));
            start = SelectedItemVolumeStart;
            end = SelectedItemVolumeEnd;
            SelectedDiskNumber = uint16_t(SelectedItemDiskNumber);
            SelectedVolumeInfo.diskNumber = SelectedDiskNumber;
            ScanAsPhysicalDisk = 1;
        }
    }
    if (g_pMainDlg != nullptr && g_pMainDlg->SelectedDriveValue != 0 && DiskTotalSectors != 0 &&
        end - start > DiskTotalSectors)
        end = DiskTotalSectors;

    SelectedVolumeInfo.startSector = start;
    SelectedVolumeInfo.endSector = end;
    SelectedVolumeInfo.startSectorCopy = start;
    SelectedVolumeInfo.sizeSectors = end;
    SelectedVolumeInfo.sizeBytes = end * 512;
    SelectedVolumeInfo.searchModeName = L"Basic Search";
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
    m_resultTree.ShowWindow(SW_SHOW);
    m_driveTree.ShowWindow(SW_HIDE);
    ActiveTree = &m_resultTree;
    ShrinkProgressArea();
    m_progress.ShowWindow(SW_SHOW);
    for (int id : { IDC_BS_RANGE, IDC_BS_RANGE_LABEL, IDC_BS_STOP, IDC_BS_CURRENT, IDC_BS_SCANNED })
        GetDlgItem(id)->ShowWindow(SW_SHOW);
    GetDlgItem(IDC_BS_BACK)->EnableWindow(FALSE);
    GetDlgItem(IDC_BS_NEXT)->EnableWindow(FALSE);
    ShowRange(SelectedVolumeInfo.startSector, SelectedVolumeInfo.endSector);
    m_current.SetWindowText(L"");
    m_progress.SetRange32(0, 1000);
    m_progress.SetPos(0);
    m_scanned.SetWindowText(L"Validating Partition ...");
}

void CBasicSearch::OnBnClickedNext()
{
    if (m_scanWorker.load() != nullptr || g_pPartitionSearchThread != nullptr ||
        (g_pBasicDriveTreeThread != nullptr && m_removableListing != 0))
        return;
    BasicScanRequest request;
    if (!ReadScanRequest(m_driveTree.GetSelectedItem(), request))
        return;
    // A folder listing still reads with the old volume settings: end it before they change.
    EndListing(true);
    ApplyScanRequest(request);
    ResultsPresent = 0;
    BasicNoticeState = 0;
    DeepNoticeState = 0;
    ShowResultsPage();
    m_resultTree.DeleteAllResults();
    if (g_pMainDlg != nullptr)
        g_pMainDlg->ResetScanCounters();
    ++BasicSearchPage;
    GetDlgItem(IDC_BS_STOP)->SetFocus();
    StartScanWorker();
}

void CBasicSearch::StartScanWorker()
{
    m_stopFlag = 0;
    m_stopping = false;
    m_scanMessage.Empty();
    CWinThread* worker = ZrBeginThreadInto(g_pBasicScanThread, BasicScanWorker, this);
    m_scanWorker = worker;
    if (worker == nullptr)
        ShowResultsState();
}

// ---- The end of a scan -----------------------------------------------------------------------

LRESULT CBasicSearch::OnScanEnded(WPARAM, LPARAM)
{
    // During a stop the stop path finishes; it is waiting for the worker right now.
    if (!m_stopping)
        FinishScan();
    return 0;
}

bool CBasicSearch::WaitForScanWorker()
{
    CWinThread* worker = m_scanWorker.exchange(nullptr);
    if (worker == nullptr)
        return false;
    ZrWaitForThreadPumping(worker, INFINITE);
    delete worker;
    g_pBasicScanThread = nullptr;
    return true;
}

void CBasicSearch::FinishScan()
{
    if (!WaitForScanWorker())
        return;
    ShowResultsState();
}

void CBasicSearch::ShowResultsState()
{
    if (!m_scanMessage.IsEmpty()) {
        const CString text = m_scanMessage;
        m_scanMessage.Empty();
        Inform(this, text);
    }
    m_list.ShowWindow(SW_SHOW);
    m_resultTree.ShowWindow(SW_SHOW);
    m_resultTree.EnableWindow(TRUE);
    if (m_resultTree.GetRootItem() == nullptr)
        m_resultTree.EnsureRootItem();
    m_resultTree.Select(nullptr, TVGN_CARET);
    m_resultTree.Select(m_resultTree.GetRootItem(), TVGN_CARET);
    // Only now may the focused Stop button go: the focus then passes to a tree that already has
    // its selection, instead of one that picks (and lists) its first visible folder.
    m_progress.ShowWindow(SW_HIDE);
    // The scan's own running texts ("Validating Partition ...", the sector counter) are over.
    m_scanned.SetWindowText(L"");
    m_current.SetWindowText(L"");
    for (int id : { IDC_BS_STATUS, IDC_BS_PROBE_LABEL, IDC_BS_PROBE_DONE, IDC_BS_PROBE_TOTAL, IDC_BS_STOP,
                    IDC_BS_SCANNED, IDC_BS_CURRENT })
        GetDlgItem(id)->ShowWindow(SW_HIDE);
    GetDlgItem(IDC_BS_BACK)->EnableWindow(TRUE);
    GetDlgItem(IDC_BS_NEXT)->EnableWindow(FALSE);
}

void CBasicSearch::OnBnClickedStop()
{
    if (m_stopping || m_scanWorker.load() == nullptr)
        return;
    m_stopping = true;
    GrowProgressArea();
    m_resultTree.EnableWindow(FALSE);
    m_status.SetWindowText(L"It may take a while, Please wait...");
    m_status.ShowWindow(SW_SHOW);
    m_stopFlag = 1;
    if (CWinThread* worker = m_scanWorker.load())
        worker->RequestStop();
    // The worker ends after the record or block it reads and runs its own finishing steps;
    // messages keep flowing meanwhile, since it updates this dialog's controls.
    FinishScan();
    ShrinkProgressArea();
    m_stopping = false;
}

// ---- Back, Save, Close -----------------------------------------------------------------------

void CBasicSearch::OnBnClickedBack()
{
    StopOpenWorker();
    EndListing(true);
    if (WorkerRunning()) {
        Inform(this, kStillScanningText);
        return;
    }
    if (BasicSearchPage == 0) {
        if (m_pieChart.GetSafeHwnd()) {
            m_pieChart.RemoveAll();
            m_pieChart.DestroyWindow();
        }
        ActiveTree = &m_driveTree;
        ResetDiskTable();
        ShowWindow(SW_HIDE);
        if (g_pMainDlg != nullptr && g_pMainDlg->GetSafeHwnd() != nullptr) {
            g_pMainDlg->ShowWindow(SW_RESTORE);
            g_pMainDlg->EnableWindow(TRUE);
            ::SetActiveWindow(g_pMainDlg->GetSafeHwnd());
        }
        EndDialog(kBackResult);
        g_pBasicSearchDlg = nullptr;
        return;
    }
    if (g_pMainDlg != nullptr)
        g_pMainDlg->EmptyRecordTables();
    m_resultTree.DeleteAllResults();
    LastPopulatedItem = nullptr;
    m_list.DeleteAllItems();
    m_logSaved = 0;
    m_list.ShowWindow(SW_HIDE);
    BasicSearchPage = 0;
    m_driveTree.ShowWindow(SW_SHOW);
    m_resultTree.ShowWindow(SW_HIDE);
    GetDlgItem(IDC_BS_CURRENT_FOLDER)->ShowWindow(SW_HIDE);
    ActiveTree = &m_driveTree;
    AutoPartitionSearch = 0;
    m_driveTree.ForgetShownDetails();
    SetPropertyColumns(8);
    for (int id : { IDC_BS_REFRESH, IDC_BS_BACK, IDC_BS_NEXT, IDC_BS_MORE_PARTITIONS }) {
        GetDlgItem(id)->ShowWindow(SW_SHOW);
        GetDlgItem(id)->EnableWindow(TRUE);
    }
    m_path.SetWindowText(m_pathText);
    GrowProgressArea();
    m_progress.ShowWindow(SW_SHOW);
    m_progress.SetPos(0);
    ScanAsPhysicalDisk = 0;
    m_driveTree.Select(nullptr, TVGN_CARET);
    m_driveTree.Select(m_driveTree.GetRootItem(), TVGN_CARET);
    m_driveTree.SetFocus();
    SetDriveTreeIcons();
}

void CBasicSearch::OnBnClickedSave()
{
    if (BasicSearchPage == 0) {
        Inform(this, kSaveTooEarlyText);
        return;
    }
    EndListing(false);
    if (WorkerRunning()) {
        Inform(this, kSaveWhileScanningText);
        return;
    }
    OnSaveSelected();
}

void CBasicSearch::OnClose()
{
    ShowWindow(SW_RESTORE);
    CString question = L"Do you want to exit from ";
    question += AfxGetApp() != nullptr && AfxGetApp()->m_pszAppName != nullptr ? AfxGetApp()->m_pszAppName
                                                                               : L"Zembrolix Recovery (Premium)";
    question += L"?";
    if (ZrMessageBox(GetSafeHwnd(), question, L"Message", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return;
    // The scan is asked to stop and waited for instead of being killed.
    m_stopFlag = 1;
    if (CWinThread* worker = m_scanWorker.load())
        worker->RequestStop();
    m_stopping = true;
    WaitForScanWorker();
    if (g_pMainDlg != nullptr && g_pMainDlg->GetSafeHwnd() != nullptr)
        g_pMainDlg->EndProgram();
    else
        EndDialog(IDCANCEL);
}

void CBasicSearch::OnDestroy()
{
    EndRemovableSearch(true, false);
    // The tick boxes are the dialog's own list: a tree with check boxes may free its state list.
    m_resultTree.SendMessage(TVM_SETIMAGELIST, TVSIL_STATE, 0);
    StopOpenWorker();
    EndListing(true);
    m_stopFlag = 1;
    if (CWinThread* worker = m_scanWorker.load())
        worker->RequestStop();
    m_stopping = true;
    WaitForScanWorker();
    m_driveTree.SetDetailHost(nullptr);
    if (CTreeClass::s_selChangedHandler == OnTreeSelChanged)
        CTreeClass::s_selChangedHandler = g_previousSelChanged;
    if (CTreeClass::s_itemExpandingHandler == OnTreeItemExpanding)
        CTreeClass::s_itemExpandingHandler = g_previousItemExpanding;
    if (ActiveTree == &m_driveTree || ActiveTree == &m_resultTree)
        ActiveTree = nullptr;
    CDialog::OnDestroy();
}

// ---- Listing the selected results folder -----------------------------------------------------

void CBasicSearch::OnResultSelChanged(HTREEITEM item)
{
    if (g_pPopulateListThread != nullptr || BasicSearchPage == 0 || item == nullptr)
        return;
    if (m_scanWorker.load() != nullptr) {
        // The tree is still being built: nothing is listed and the selection is taken back.
        m_resultTree.Select(nullptr, TVGN_CARET);
        return;
    }
    SelectedTreeItem = item;
    const bool isRoot = item == m_resultTree.GetRootItem();
    // The root is not listed twice in a row; any other folder is listed again when reselected.
    if (isRoot && item == LastPopulatedItem)
        return;
    LastPopulatedItem = item;

    auto wait = std::make_unique<CPopulate>();
    if (!wait->Create(this))
        return;
    m_populateDlg = std::move(wait);
    g_pPopulateDlg = m_populateDlg.get();
    EnableWindow(FALSE);
    m_populateDlg->CenterWindow(this);
    m_populateDlg->SetWindowText(L"Populating List Items, Please wait....");
    m_populateDlg->ShowWindow(SW_SHOW);
    m_populateDlg->SetForegroundWindow();

    m_list.DeleteAllItems();
    // The listing gives the system image list back before its first row.
    m_list.SetImageList(nullptr, LVSIL_SMALL);
    StopFolderRead = 0;
    if (ZrBeginThreadInto(g_pPopulateListThread, PopulateListThreadProc, this) == nullptr)
        EndListing(false);
}

void CBasicSearch::FillListedFolder()
{
    FoundFolderCount = 0;
    FoundFileCount = 0;
    ShowFolderCountText();
    const HTREEITEM item = LastPopulatedItem;
    if (item == nullptr)
        return;
    CString path;
    for (const CString& folder : FolderPathOf(m_resultTree, item))
        path += (path.IsEmpty() ? L"" : L"\\") + folder;
    m_path.SetWindowText(path.IsEmpty() ? CString(L"Root") : path);

    const bool ntfs = FatVolumeParams.partitionType == L"NTFS";
    const FolderNode* folder = (const FolderNode*)m_resultTree.GetItemData(item);
    const uint32_t id = folder ? folder->ownId : (ntfs ? 5 : 0);
    const uint32_t deleted = folder ? folder->deleted : 0;
    // A scan that left nothing has nothing to list; the end of the listing says so.
    if (FolderNodeList.head == nullptr && ResultsPresent == 0)
        return;
    if (CSystemImageList::GetSmallList())
        m_list.SetImageList(CSystemImageList::GetSmallList(), LVSIL_SMALL);
    // The subfolders' names come from the folder's own directory: read it if no one has yet.
    if (!ntfs && StopFolderRead == 0)
        ReadFolderOnce(&m_resultTree, item);

    // The folder rows are made on the list's own thread in one go, with its drawing held back:
    // row by row from here, every cell would be a message to that thread and every row a redraw.
    int row = 0;
    const int folderIcon = GetFolderIconIndex();
    ZrRunOnWindowThread(&m_list, [&] {
        m_list.SetRedraw(FALSE);
        for (HTREEITEM child = m_resultTree.GetChildItem(item); child != nullptr && StopFolderRead == 0;
             child = m_resultTree.GetNextSiblingItem(child)) {
            FolderNode* node = (FolderNode*)m_resultTree.GetItemData(child);
            if (node == nullptr)
                continue;
            // A folder inside a deleted folder is deleted too.
            if (deleted)
                node->deleted = 1;
            ++FoundFolderCount;
            const int at = m_list.InsertItem(row, m_resultTree.GetItemText(child), folderIcon);
            if (at < 0)
                continue;
            CString cell;
            m_list.SetItemText(at, 1, kFolderType);
            cell.Format(L"%u", node->ownId);
            m_list.SetItemText(at, 5, cell);
            cell.Format(L"%u", node->parentId);
            m_list.SetItemText(at, 6, cell);
            cell.Format(L"%llu", (unsigned long long)(intptr_t)child);
            m_list.SetItemText(at, 7, cell);
            SetFolderRowStamp(m_list, at, *node, ntfs);
            ++row;
        }
        m_list.SetRedraw(TRUE);
        m_list.Invalidate();
    });
    ShowFolderCountText();
    if (StopFolderRead != 0)
        return;
    if (ntfs)
        FillFileListNtfs(&m_list, (uint64_t)row, id);
    else if (id != kFatEndOfChain)
        FillFileListFat(&m_list, (uint64_t)row, id, deleted, 0);
    // Files in a FAT root are results too, though the scan's table holds folders only.
    if (!ntfs && folder == nullptr && FoundFileCount > 0)
        ResultsPresent = 1;
}

UINT PopulateListThreadProc(LPVOID param)
{
    auto* dlg = static_cast<CBasicSearch*>(param);
    dlg->FillListedFolder();
    // The notice and the disabled dialog belong to the dialog's thread; it ends the listing state.
    const WPARAM finished = StopFolderRead == 0 ? 1 : 0;
    ::PostMessageW(dlg->GetSafeHwnd(), WM_ZR_BASIC_LISTING_ENDED, finished, 0);
    return 0;
}

LRESULT CBasicSearch::OnListingEnded(WPARAM finished, LPARAM)
{
    // Only a listing that ran to its end and that no one is ending right now (Back, Next and
    // close wait for it themselves) may go on to say that the scan found nothing.
    const bool ranToItsEnd = finished != 0 && !m_endingListing && g_pPopulateListThread != nullptr;
    EndListing(false);
    if (ranToItsEnd && BasicSearchPage > 0)
        OfferNoResultsNotice(this, m_resultTree, BasicSearchPage, BasicNoticeState, ShowMsgStandDialog);
    return 0;
}

void CBasicSearch::EndListing(bool stop)
{
    // The wait below dispatches messages, among them the worker's own "ended" message: that
    // nested call must leave the worker to this one, which deletes it.
    if (m_endingListing) {
        if (stop)
            StopFolderRead = 1;
        return;
    }
    m_endingListing = true;
    if (CWinThread* worker = g_pPopulateListThread) {
        if (stop)
            StopFolderRead = 1;
        ZrWaitForThreadPumping(worker, INFINITE);
        delete worker;
        g_pPopulateListThread = nullptr;
    }
    if (m_populateDlg) {
        if (g_pPopulateDlg == m_populateDlg.get())
            g_pPopulateDlg = nullptr;
        if (m_populateDlg->GetSafeHwnd() != nullptr)
            m_populateDlg->DestroyWindow();
        m_populateDlg.reset();
        EnableWindow(TRUE);
        m_resultTree.EnableWindow(TRUE);
    }
    StopFolderRead = 0;
    m_endingListing = false;
}
