#include "app/searchsession.h"

#include <algorithm>
#include <new>

#include "app/notices.h"
#include "app/pure/sector_fields.h"
#include "app/pure/shell_rules.h"
#include "app/pure/textservices.h"
#include "app/questions.h"
#include "app/searchcontrols.h"
#include "app/shellservices.h"
#include "app/startup.h"
#include "app/waitdialogs.h"
#include "resources/resource.h"
#include "app/devicetree.h"
#include "storage/pure/bootsector.h"
#include "storage/pure/drive_texts.h"
#include "storage/pure/globals.h"
#include "storage/pure/partition_table.h"
#include "storage/pure/storage_host.h"

namespace {

constexpr UINT WM_ZR_SCAN_WORKER_ENDED = WM_APP + 0x240;
constexpr int kProgressGrowPixels = 75;
constexpr COLORREF kMagenta = RGB(255, 0, 255);
constexpr COLORREF kWhite = RGB(255, 255, 255);

const wchar_t kMyComputer[] = L"My Computer";
const wchar_t kPhysicalDrives[] = L"Physical Drives";
const wchar_t kLogicalDrives[] = L"Logical Drives";

const wchar_t kNoStorageAreaFormat[] =
    L"No physical storage area found in Disk(Disk - %d).\n\nIf you have connected your storage using any usb hub "
    L"or extension, check storage connections or connect the storage media directly to your computer.";
const wchar_t kStopPartitionSearchQuestion[] = L"Do you want to stop searching partition?";
const wchar_t kSectorRangeHelpText[] =
    L"\x2018Sector Range\x2019 option provides facility to specify the range of start and end sectors of storage "
    L"media within which you want to perform searching for lost data. Please drag Left and Right edges of Slider "
    L"to enter sector range or you can also enter these values in \x2018Start Sector\x2019 and \x2018"
    L"End Sector\x2019 fields manually.";
const wchar_t kSelectPhysicalDiskText[] =
    L"Select the Physical Disk (in which you want to search Partitions) from the list of available Physical "
    L"Drives in left Panel in order to search deleted or missing Partitions.";

template <int Mode> bool LiveDriveTreeTarget(DriveTreeTarget& target)
{
    CSearchSession* session = SearchSessionOfMode(Mode);
    if (session == nullptr || !session->DriveTree().IsWindow())
        return false;
    target.dialog = session;
    target.tree = &session->DriveTree();
    target.physicalRoot = session->PhysicalDrivesItem();
    target.logicalRoot = session->LogicalDrivesItem();
    target.fileList = session->DetailList()->GetSafeHwnd();
    target.onFirstPage = session->Page() == 0;
    // A scan counts from its end: the one running now may still search its disk's partitions.
    target.scanCounted = session->Page() > (session->ScanThreadRunning() ? 1 : 0);
    target.partitionProgress = session->Layout().partitionProgress;
    target.wholeDiskStartBlank = session->Layout().wholeDiskStartBlank;
    target.rebuildTree = [](CWnd* dialog) { return static_cast<CSearchSession*>(dialog)->RebuildDriveTree(); };
    // Basic Search's drive page comes back with the search's own end steps.
    if (Mode != kModeBasic)
        target.endPartitionSearch = [](CWnd* dialog) {
            static_cast<CSearchSession*>(dialog)->ShowPartitionSearchControls(false);
        };
    return true;
}

DriveTreeTargetProvider ProviderFor(int mode)
{
    static const DriveTreeTargetProvider providers[] = { nullptr,
                                                         LiveDriveTreeTarget<kModeBasic>,
                                                         LiveDriveTreeTarget<kModeDeep>,
                                                         LiveDriveTreeTarget<kModePhoto>,
                                                         LiveDriveTreeTarget<kModeVideo>,
                                                         LiveDriveTreeTarget<kModeSignature> };
    return mode >= kModeBasic && mode <= kModeSignature ? providers[mode] : nullptr;
}

void ShowControl(CWnd& dialog, int id, int show)
{
    if (CWnd* control = id != 0 ? dialog.GetDlgItem(id) : nullptr)
        control->ShowWindow(show);
}

void EnableControl(CWnd& dialog, int id, BOOL enable)
{
    if (CWnd* control = id != 0 ? dialog.GetDlgItem(id) : nullptr)
        control->EnableWindow(enable);
}

void ShowControls(CWnd& dialog, const std::vector<int>& ids, int show)
{
    for (int id : ids)
        ShowControl(dialog, id, show);
}

} // namespace

CSearchSession* SearchSessionOfMode(int mode)
{
    return dynamic_cast<CSearchSession*>(OpenSearchDialog(mode));
}

BEGIN_MESSAGE_MAP(CSearchSession, CDialog)
    ON_WM_CLOSE()
    ON_WM_DESTROY()
    ON_WM_CTLCOLOR()
    ON_WM_ERASEBKGND()
    ON_WM_PAINT()
    ON_WM_SETCURSOR()
    ON_WM_SYSCOMMAND()
    ON_WM_VSCROLL()
    ON_MESSAGE(WM_HELP, &CSearchSession::OnHelpKey)
    ON_MESSAGE(WM_ZR_SCAN_WORKER_ENDED, &CSearchSession::OnScanWorkerEndedMsg)
    ON_BN_CLICKED(IDC_NEED_HELP, &CSearchSession::OnBnClickedNeedHelp)
    ON_BN_CLICKED(IDC_ABOUT_US, &CSearchSession::OnBnClickedAboutUs)
    ON_BN_CLICKED(IDC_CONTACT_US, &CSearchSession::OnBnClickedContactUs)
    ON_BN_CLICKED(IDC_SHARE_BUTTON, &CSearchSession::OnBnClickedShareOnSocialMedia)
    ON_STN_CLICKED(IDC_LINK_MAIL, &CSearchSession::OnStnClickedLink)
    ON_STN_CLICKED(IDC_LINK_WEB, &CSearchSession::OnStnClickedLink2)
    ON_CONTROL_RANGE(STN_CLICKED, IDC_SHARE_1, IDC_SHARE_4, &CSearchSession::OnShareLink)
    ON_REGISTERED_MESSAGE(RANGE_CHANGED, &CSearchSession::OnRangeChanged)
    ON_EN_CHANGE(IDC_RANGE_START, &CSearchSession::OnEnChangeSectorField)
    ON_EN_CHANGE(IDC_RANGE_END, &CSearchSession::OnEnChangeSectorField)
    ON_EN_KILLFOCUS(IDC_RANGE_MIN, &CSearchSession::OnEnKillfocusLimitField)
    ON_EN_KILLFOCUS(IDC_RANGE_MAX, &CSearchSession::OnEnKillfocusLimitField)
    ON_BN_CLICKED(IDC_RANGE_HELP, &CSearchSession::OnBnClickedSectorRangeHelp)
END_MESSAGE_MAP()

CSearchSession::CSearchSession(const SearchDialogLayout& layout, SearchHost* host)
    : CDialog(layout.templateId, host != nullptr ? host->LauncherWindow() : nullptr),
      DeviceDetailHost(layout.mode, &m_detail), m_layout(layout), m_host(host)
{
    m_hIcon = LoadIconImage(IDR_MAINFRAME, 32);
    RegisterSearchPageIndex(m_layout.mode, &m_page);
}

CSearchSession::~CSearchSession()
{
    // A worker still running holds a pointer to this dialog: it is asked to stop and waited for.
    RequestScanStop();
    if (CWinThread* worker = m_scanWorker.exchange(nullptr)) {
        ::WaitForSingleObject(worker->m_hThread, INFINITE);
        delete worker;
    }
    UnregisterSearchPageIndex(m_layout.mode, &m_page);
    ForgetOpenSearchDialog(m_layout.mode, this);
    if (m_hIcon != nullptr)
        ::DestroyIcon(m_hIcon);
}

CWnd* CSearchSession::LauncherOnScreen() const
{
    CWnd* launcher = m_host != nullptr ? m_host->LauncherWindow() : nullptr;
    return launcher != nullptr && launcher->GetSafeHwnd() != nullptr ? launcher : nullptr;
}

void CSearchSession::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, m_layout.driveTree, m_driveTree);
    DDX_Control(pDX, m_layout.detailList, m_detail);
    DDX_Control(pDX, m_layout.progress, m_progress);
    if (m_layout.partitionProgress != 0)
        DDX_Control(pDX, m_layout.partitionProgress, m_partitionProgress);
    if (m_layout.sectorRange)
        DDX_Control(pDX, IDC_RANGE_SLIDER, m_rangeSlider);
}

BOOL CSearchSession::OnInitDialog()
{
    CDialog::OnInitDialog();
    RegisterOpenSearchDialog(m_layout.mode, this, PartitionSearchWord());
    RegisterDriveTreeTarget(m_layout.mode, ProviderFor(m_layout.mode));
    SetupChrome();

    ActiveTree = &m_driveTree;
    SetPage(0);
    m_painted = false;
    m_driveTree.SetDetailHost(this);
    m_driveTree.SetNotifyHandler(this);
    SetPropertyColumns(8);
    m_detail.SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    m_scanStop = 0;

    // The two widths of the progress bar: as laid out (wide, while a stop runs) and 75 pixels
    // narrower (while a scan runs).
    m_progress.GetWindowRect(&m_progressWideRect);
    ScreenToClient(&m_progressWideRect);
    m_progressNarrow = m_progressWideRect;
    m_progressNarrow.right -= kProgressGrowPixels;
    m_progressWide = true;

    if (m_host != nullptr) {
        m_host->DriveTreeRefreshBusy = 0;
        m_host->FoundPartitionCount = 0;
    }
    InsertDriveRoots();
    if (m_host != nullptr) {
        m_host->SearchDialogReady = 1;
        // The lists of files and folders of this search show the shell's icons.
        m_host->KeepSystemImageList();
    }
    if (m_layout.forcedOriginal != 0)
        CheckDlgButton(m_layout.forcedOriginal, BST_CHECKED);

    RefreshDriveTrees();
    m_driveTree.Expand(m_physicalRoot, TVE_EXPAND);
    m_driveTree.Expand(m_logicalRoot, TVE_EXPAND);
    SetDriveTreeIcons();

    m_detail.ShowWindow(SW_HIDE);
    m_driveTree.Invalidate();
    m_driveTree.Select(m_driveTree.GetRootItem(), TVGN_CARET);
    m_driveTree.SetFocus();
    if (CWnd* launcher = LauncherOnScreen()) {
        launcher->ShowWindow(SW_HIDE);
        m_host->SearchDialogStarted();
    }
    return TRUE;
}

void CSearchSession::SetupChrome()
{
    AppendAboutMenuEntry(this);
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    if (m_toolTip.Create(this)) {
        AddShareTips(m_toolTip, this);
        if (CWnd* help = m_layout.sectorRange ? GetDlgItem(IDC_RANGE_HELP) : nullptr)
            m_toolTip.AddTool(help, m_layout.rangeHelpTip);
        m_toolTip.Activate(TRUE);
    }
    if (CWnd* logo = GetDlgItem(IDC_LOGO))
        m_captionIcon = (HICON)logo->SendMessage(STM_GETICON, 0, 0);

    m_iconButtons.clear();
    for (const SearchDialogLayout::IconButton& spec : m_layout.iconButtons) {
        m_iconButtons.push_back(std::make_unique<CMyBtn>());
        MakeIconButton(this, *m_iconButtons.back(), spec.id, spec.icon);
    }
    if (m_layout.shareUp != 0 &&
        (m_shareButton.GetSafeHwnd() || m_shareButton.SubclassDlgItem(m_layout.shareButton, this))) {
        m_shareButton.LoadBitmaps(m_layout.shareUp, m_layout.shareDown);
        m_shareButton.SizeToContent();
    }

    // The drive tree's pictures: 24-pixel cells on magenta.
    m_driveImages.Create(24, 24, ILC_COLOR32 | ILC_MASK, 1, 1);
    CBitmap strip;
    if (m_layout.driveImages != 0 && strip.LoadBitmap(m_layout.driveImages))
        m_driveImages.Add(&strip, kMagenta);
    m_driveTree.SetImageList(&m_driveImages, TVSIL_NORMAL);

    SetupLinkLabel(this, m_linkWeb, IDC_LINK_WEB, WebSiteLink);
    SetupLinkLabel(this, m_linkMail, IDC_LINK_MAIL, SupportMailText);
    if (CWnd* group = m_layout.currentGroup != 0 ? GetDlgItem(m_layout.currentGroup) : nullptr)
        group->SetFont(&SharedGdi.FontVerdana13Bold);
    if (CWnd* hint = m_layout.selectHint != 0 ? GetDlgItem(m_layout.selectHint) : nullptr)
        hint->SetFont(&SharedGdi.FontConsolas16Bold);

    // The white panel lies under everything placed on it. First in the template, it was on top:
    // a repaint of the panel alone (a part of it uncovered, its own invalidation) painted it over
    // the buttons, lists and texts on it. At the bottom and clipped by its siblings it cannot.
    if (CWnd* panel = m_layout.panel != 0 ? GetDlgItem(m_layout.panel) : nullptr) {
        panel->ModifyStyle(0, WS_CLIPSIBLINGS);
        ::SetWindowPos(panel->GetSafeHwnd(), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    SetupDialogGlass(this, m_dwm, m_layout.glassControls);
}

// ---- The drive tree -----------------------------------------------------------------------------

void CSearchSession::InsertDriveRoots()
{
    const HTREEITEM computer = m_driveTree.InsertItem(kMyComputer, 0, 0, TVI_ROOT, TVI_LAST);
    m_physicalRoot = m_driveTree.InsertItem(kPhysicalDrives, 3, 3, computer, TVI_LAST);
    m_logicalRoot = m_driveTree.InsertItem(kLogicalDrives, 1, 1, computer, TVI_LAST);
    m_driveTree.Expand(computer, TVE_EXPAND);
}

bool CSearchSession::RebuildDriveTree()
{
    m_driveTree.DeleteAllItems();
    m_driveTree.ForgetItemColors();
    m_driveTree.ForgetShownDetails();
    SetPropertyColumns(4);
    if (m_host != nullptr)
        m_host->FoundPartitionCount = 0;
    InsertDriveRoots();
    // The listing of logical drives runs again, whatever it listed before.
    const bool anyDrive = RefreshAfterMediaChange() != 0;
    m_driveTree.Expand(m_physicalRoot, TVE_EXPAND);
    m_driveTree.Expand(m_logicalRoot, TVE_EXPAND);
    SetDriveTreeIcons();
    // The root may still be selected from before the listing, which showed the list: selected
    // afresh, it puts its hint back in the list's place.
    m_driveTree.Select(nullptr, TVGN_CARET);
    m_driveTree.Select(m_driveTree.GetRootItem(), TVGN_CARET);
    return anyDrive;
}

void CSearchSession::SetDriveTreeIcons()
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

void CSearchSession::SetPropertyColumns(int count)
{
    m_detail.DeleteAllItems();
    CHeaderCtrl* header = m_detail.GetHeaderCtrl();
    const int columns = header != nullptr ? header->GetItemCount() : count;
    for (int c = columns - 1; c >= 0; --c)
        m_detail.DeleteColumn(c);
    m_detail.SetExtendedStyle(m_detail.GetExtendedStyle() & ~DWORD(LVS_EX_CHECKBOXES));
    m_detail.InsertColumn(0, L"Name", LVCFMT_LEFT, 160);
    m_detail.InsertColumn(1, L"Value", LVCFMT_LEFT, 325);
}

CString CSearchSession::PropertyValue(int row)
{
    return row < m_detail.GetItemCount() ? m_detail.GetItemText(row, 1) : CString();
}

void CSearchSession::ShowSearchHint(const CString& itemText)
{
    const bool group = itemText == kMyComputer || itemText == kPhysicalDrives || itemText == kLogicalDrives;
    ShowHintControls(group ? SW_SHOW : SW_HIDE);
}

void CSearchSession::ShowDetailPanel(int showCommand)
{
    m_detail.ShowWindow(showCommand);
}

void CSearchSession::HideHintLabels()
{
    ShowControls(*this, m_layout.hintPanel, SW_HIDE);
}

void CSearchSession::ShowSectorRangeControls(int showCommand)
{
    ShowControls(*this, m_layout.rangeControls, showCommand);
}

void CSearchSession::SelectFileSystemCombo(const CString& fsName)
{
    if (m_layout.fileSystemCombo == 0)
        return;
    int index = 3; // "Unknown"
    if (fsName.Find(L"FAT16") >= 0 || fsName == L"FAT")
        index = 0;
    else if (fsName.Find(L"FAT32") >= 0)
        index = 1;
    else if (fsName.Find(L"NTFS") >= 0)
        index = 2;
    SendDlgItemMessage(m_layout.fileSystemCombo, CB_SETCURSEL, index);
}

void CSearchSession::EnableModeButtons(bool enable)
{
    for (int id : m_layout.modeButtons)
        EnableControl(*this, id, enable ? TRUE : FALSE);
}

void CSearchSession::ShowResultControls(int showCommand)
{
    ShowControls(*this, m_layout.resultControls, showCommand);
}

void CSearchSession::ShowHintControls(int showCommand)
{
    ShowControls(*this, m_layout.hintPanel, showCommand);
    if (showCommand != SW_SHOW)
        return;
    for (int id : m_layout.hintPanel) {
        if (CWnd* control = GetDlgItem(id))
            control->Invalidate(TRUE);
    }
    // The panel has the list area to itself: no list of the drive page stays under it.
    m_detail.ShowWindow(SW_HIDE);
    HideFoundFileSystemList();
}

void CSearchSession::OnTreeSelChanged(CTreeClass* tree, NMTREEVIEWW* change, LRESULT*)
{
    if (tree == &m_driveTree)
        tree->ShowDeviceItem(change->itemNew.hItem);
}

void CSearchSession::ReadSelectedDevice(Selection& selection)
{
    selection.kind = SelectedItemKind;
    if (selection.kind == L"Hard Disk" || selection.kind == L"Logical") {
        selection.fsName = NormaliseFsName(PropertyValue(2));
        selection.diskNumber = SelectedDiskNumber;
        if (selection.kind == L"Logical")
            selection.driveSectors = StrToUInt64(PropertyValue(1));
        return;
    }
    if (selection.kind != L"part") {
        selection.fsName = NormaliseFsName(PropertyValue(2));
        selection.diskNumber = 0;
        if (selection.kind == L"Recognised")
            selection.driveSectors = RecognisedDriveSectors;
        return;
    }
    const HTREEITEM item = m_driveTree.GetSelectedItem();
    const int disk = m_driveTree.PartitionDiskOf(item);
    const int index = m_driveTree.PartitionIndexOf(item, disk);
    selection.diskNumber = uint16_t(disk >= 0 ? disk : 0);
    if (index < 0)
        return;
    const DiskPartitionRecord& table = DiskPartitionTable[disk];
    selection.fsName = NormaliseFsName(table.fsName[index]);
    // The partition's range ends at the sector after it, whatever table it came from.
    const PartitionExtent extent = PartitionExtentOf(table.slot[index]);
    selection.partitionStart = extent.firstSector;
    selection.partitionEnd = extent.endSector;
}

bool CSearchSession::MakeScanRequest(Selection& selection, const wchar_t* searchModeName, ScanRequest& request)
{
    ScanSource source;
    source.drivePath = m_host != nullptr ? m_host->LogicalDrivePath : CString();
    if (selection.physical)
        source.place = LoadSelectedDriveItem();
    // The disk the range is read from is selected: its size holds the range and its texts are
    // the ones the log finds it again by, never those of a disk looked at before. A drive letter
    // read through its volume is held by no disk.
    const int disk = ScanDiskOf(selection, source.place);
    if (disk >= 0 && SelectDiskItem(disk, PhysicalDrivesItem()))
        source.diskSectors = DiskTotalSectors;
    request = BuildScanRequest(selection, source, searchModeName);
    // A range the disk does not hold (a drive whose place begins past its disk's end) is empty.
    if (!IsScanRange(request.target.firstSector, request.target.endSector)) {
        ZrMessageBox(m_hWnd, SectorFieldsRefusalText(SectorFieldsCheck::EndNotAfterStart), L"Message",
                     MB_OK | MB_ICONINFORMATION);
        return false;
    }
    KeepDiskTexts(request);
    PublishSelection(request);
    return true;
}

void CSearchSession::KeepDiskTexts(ScanRequest& request)
{
    request.diskIdentity = SelectedDiskTexts[0];
    request.diskDescription = SelectedDiskTexts[2];
}

void CSearchSession::PublishSelection(const ScanRequest& request)
{
    SelectedDiskNumber = request.diskNumber;
    CurrentDevicePath = request.target.devicePath;
}

void CSearchSession::SetSectorRangeControls(uint64_t first, uint64_t last)
{
    if (!m_layout.sectorRange)
        return;
    ::SetSectorRangeControls(first, last, this);
    m_sectorRange = SectorRange{ first, last, first, last };
}

void CSearchSession::ShowTree()
{
    m_driveTree.ShowWindow(SW_SHOW);
}

// ---- The sector range ---------------------------------------------------------------------------

void CSearchSession::ReadSectorFields()
{
    struct Field {
        int id;
        uint64_t* value;
    };
    for (const Field& f :
         { Field{ IDC_RANGE_MIN, &m_sectorRange.min }, Field{ IDC_RANGE_MAX, &m_sectorRange.max },
           Field{ IDC_RANGE_START, &m_sectorRange.start }, Field{ IDC_RANGE_END, &m_sectorRange.end } }) {
        CString text;
        GetDlgItemText(f.id, text);
        ParseSectorNumber(text, f.value);
    }
}

LRESULT CSearchSession::OnRangeChanged(WPARAM, LPARAM)
{
    if (!m_layout.sectorRange || m_rangeSlider.GetSafeHwnd() == nullptr)
        return 0;
    ReadSectorFields();
    int64_t left = 0, right = 0;
    m_rangeSlider.GetRange(left, right);
    const SectorRange chosen{ m_sectorRange.min, m_sectorRange.max, uint64_t(std::max<int64_t>(left, 0)),
                              uint64_t(std::max<int64_t>(right, 0)) };
    // The fields' own change notices must not move the slider back while both are rewritten.
    m_writingSectorFields = true;
    CString text;
    text.Format(L"%llu", (unsigned long long)chosen.start);
    SetDlgItemText(IDC_RANGE_START, text);
    text.Format(L"%llu", (unsigned long long)chosen.end);
    SetDlgItemText(IDC_RANGE_END, text);
    m_writingSectorFields = false;
    m_sectorRange = chosen;
    return 0;
}

void CSearchSession::OnEnChangeSectorField()
{
    if (!m_layout.sectorRange || m_rangeSlider.GetSafeHwnd() == nullptr || m_writingSectorFields)
        return;
    ReadSectorFields();
    if (m_sectorRange.end >= m_sectorRange.start)
        m_rangeSlider.SetRange(double(m_sectorRange.start), double(m_sectorRange.end));
}

void CSearchSession::OnEnKillfocusLimitField()
{
    if (!m_layout.sectorRange || m_rangeSlider.GetSafeHwnd() == nullptr)
        return;
    const SectorRange before = m_sectorRange;
    ReadSectorFields();
    if (before.min != m_sectorRange.min || before.max != m_sectorRange.max)
        m_rangeSlider.SetMinMax(double(m_sectorRange.min), double(m_sectorRange.max));
}

void CSearchSession::OnBnClickedSectorRangeHelp()
{
    if (m_layout.sectorRange)
        ZrMessageBox(m_hWnd, kSectorRangeHelpText, L"Message", MB_OK | MB_ICONQUESTION);
}

// ---- The partition search of a selected disk ------------------------------------------------------

bool CSearchSession::PartitionSearchBusy() const
{
    return m_host != nullptr && (m_host->PartitionSearchRunning != 0 || m_host->PartitionSearchPending != 0);
}

void CSearchSession::OnBnClickedSearchMorePartitions()
{
    if (PartitionSearchBusy() || DriveTreeBuilding != 0 || (m_host != nullptr && m_host->LogLoaderRunning()) ||
        g_pPopulateListThread != nullptr)
        return;
    const HTREEITEM item = m_driveTree.GetSelectedItem();
    if (SelectedItemKind != L"Hard Disk" || item == nullptr || m_driveTree.GetParentItem(item) != m_physicalRoot) {
        if (NoDeviceVisible != 0) {
            EnableWindow(FALSE);
            return;
        }
        ZrMessageBox(m_hWnd, kSelectPhysicalDiskText, L"Message", MB_OK | MB_ICONINFORMATION);
        m_driveTree.SelectItem(m_physicalRoot);
        return;
    }
    // A disk with no readable area shows no capacity; a dialog with a sector range shows an End of
    // 0 for it too, and a disk whose range the user can still pick is searched.
    bool noArea = PropertyValue(3).IsEmpty();
    if (noArea && m_layout.sectorRange) {
        ReadSectorFields();
        noArea = TypedSectorRange().end == 0;
    }
    if (noArea) {
        CString text;
        text.Format(kNoStorageAreaFormat, GetDiskNumberFromText(m_driveTree.GetItemText(item)));
        ZrMessageBox(m_hWnd, text, L"Message", MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (ShowSmpSelDialog(this) != IDOK)
        return;

    ShowPartitionSearchControls(true);
    if (!StartPartitionSearchThread())
        ShowPartitionSearchControls(false); // nothing started: the drive page as it was
}

bool CSearchSession::StopDiskPartitionSearch(bool quietly)
{
    CWinThread* diskSearch = g_pPartitionSearchThread;
    if (diskSearch == nullptr)
        return false;
    // That search gives the controls back and reports what it found by itself (unless told to
    // end quietly: a report nobody will see must not hold up the wait); its object lives until
    // the next search starts on this thread.
    StopPartitionSearch(quietly);
    ZrWaitForThreadPumping(diskSearch, INFINITE);
    return true;
}

bool CSearchSession::AskToStopPartitionSearch()
{
    return ZrMessageBox(GetSafeHwnd(), kStopPartitionSearchQuestion, L"Message",
                        MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

void CSearchSession::OnBnClickedStopSearchingPartitions()
{
    if (DriveTreeBuilding != 0 || g_pPartitionSearchThread == nullptr)
        return;
    if (AskToStopPartitionSearch())
        StopDiskPartitionSearch();
    else
        DeleteEmptyTopChild(m_driveTree); // the search goes on
}

void CSearchSession::ShowPartitionSearchControls(bool searching)
{
    for (int id : { m_layout.partitionLabel, m_layout.partitionProgress, m_layout.stopPartitions })
        ShowControl(*this, id, searching ? SW_SHOW : SW_HIDE);
    ShowControl(*this, m_layout.morePartitions, searching ? SW_HIDE : SW_SHOW);
    for (int id : { m_layout.morePartitions, m_layout.back, m_layout.next, m_layout.driveTree })
        EnableControl(*this, id, searching ? FALSE : TRUE);
    for (int id : m_layout.partitionLocked)
        EnableControl(*this, id, searching ? FALSE : TRUE);
    if (m_host != nullptr) {
        if (searching)
            m_host->DisableModeButtons();
        else
            m_host->EnableModeButtons();
    }
    if (searching) {
        ShowControl(*this, m_layout.detailList, SW_SHOW);
        if (CWnd* stop = m_layout.stopPartitions != 0 ? GetDlgItem(m_layout.stopPartitions) : nullptr)
            stop->SetFocus();
    } else {
        ShowControl(*this, m_layout.partitionCount, SW_HIDE);
        ShowControl(*this, m_layout.partitionTotal, SW_HIDE);
    }
}

void CSearchSession::ReleasePieChart()
{
    if (m_pieChart.GetSafeHwnd()) {
        m_pieChart.RemoveAll();
        m_pieChart.DestroyWindow();
    }
}

void CSearchSession::ReturnToLauncher(int result)
{
    ReleasePieChart();
    ActiveTree = &m_driveTree;
    ResetDiskTable();
    ShowWindow(SW_HIDE);
    if (CWnd* launcher = LauncherOnScreen()) {
        launcher->ShowWindow(SW_RESTORE);
        launcher->EnableWindow(TRUE);
        launcher->CenterWindow();
        ::SetActiveWindow(launcher->GetSafeHwnd());
    }
    EndDialog(result);
}

// ---- Progress area -----------------------------------------------------------------------------

void CSearchSession::GrowProgressArea()
{
    if (m_progressWide)
        return;
    m_progress.MoveWindow(&m_progressWideRect);
    m_progressWide = true;
}

void CSearchSession::ShrinkProgressArea()
{
    if (!m_progressWide)
        return;
    m_progress.MoveWindow(&m_progressNarrow);
    m_progressWide = false;
}

// ---- The scan worker ----------------------------------------------------------------------------

bool CSearchSession::StartScanWorker(AFX_THREADPROC proc)
{
    m_scanStop = 0;
    m_scanProc = proc;
    CWinThread* worker = ZrBeginThreadInto(ScanThreadWord(), ScanWorkerEntry, this);
    m_scanWorker = worker;
    return worker != nullptr;
}

UINT CSearchSession::ScanWorkerEntry(LPVOID param)
{
    auto* session = static_cast<CSearchSession*>(param);
    try {
        session->m_scanProc(session);
    } catch (const std::bad_alloc&) {
        session->OnWorkerOutOfMemory();
    }
    session->ScanThreadWord() = nullptr;
    ::PostMessageW(session->GetSafeHwnd(), WM_ZR_SCAN_WORKER_ENDED, 0, 0);
    return 0;
}

void CSearchSession::OnWorkerOutOfMemory()
{
    ReportListMemoryExhausted(ListKind::DataRuns, false);
}

void CSearchSession::RequestScanStop()
{
    m_scanStop = 1;
    if (CWinThread* worker = m_scanWorker.load())
        worker->RequestStop();
}

bool CSearchSession::WaitForScanWorker()
{
    CWinThread* worker = m_scanWorker.exchange(nullptr);
    if (worker == nullptr)
        return false;
    m_awaitedWorker = worker;
    ZrWaitForThreadPumping(worker, INFINITE);
    m_awaitedWorker = nullptr;
    delete worker;
    ScanThreadWord() = nullptr;
    return true;
}

LRESULT CSearchSession::OnScanWorkerEndedMsg(WPARAM, LPARAM)
{
    // A stop or a close waiting for the worker right now has taken it already and goes on by
    // itself after its wait.
    if (WaitForScanWorker())
        OnScanWorkerEnded();
    return 0;
}

void CSearchSession::EndWorkers()
{
    RequestScanStop();
    // A Stop that is waiting for the worker (this call came from within its wait) still holds it:
    // the worker is waited for here as well, so that nothing ends the program in its middle.
    if (!WaitForScanWorker()) {
        if (CWinThread* awaited = m_awaitedWorker)
            ZrWaitForThreadPumping(awaited, INFINITE);
    }
}

// ---- Look and input -----------------------------------------------------------------------------

BOOL CSearchSession::PreTranslateMessage(MSG* pMsg)
{
    if (FilterInput(pMsg))
        return TRUE;
    if (pMsg->message == WM_KEYDOWN && (pMsg->wParam == VK_RETURN || pMsg->wParam == VK_ESCAPE))
        return TRUE;
    return CDialog::PreTranslateMessage(pMsg);
}

bool CSearchSession::FilterInput(MSG* msg)
{
    if (m_toolTip.GetSafeHwnd())
        m_toolTip.RelayEvent(msg);
    // Ctrl+Break and Ctrl+C reach no control: copying out of the lists is not offered.
    if ((msg->message == WM_KEYDOWN || msg->message == WM_CHAR) && msg->wParam == 3 &&
        (::GetKeyState(VK_CONTROL) & 0x8000))
        msg->wParam = 0;
    if (msg->message != WM_LBUTTONDOWN || (msg->hwnd != m_hWnd && !::IsChild(m_hWnd, msg->hwnd)))
        return false;
    if (NoDeviceVisible != 0) {
        EnableWindow(FALSE);
        return true;
    }
    // While partitions are searched only their Stop button takes clicks.
    const CWnd* stop = m_layout.stopPartitions != 0 ? GetDlgItem(m_layout.stopPartitions) : nullptr;
    return PartitionSearchBusy() && (stop == nullptr || msg->hwnd != stop->GetSafeHwnd());
}

HBRUSH CSearchSession::OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor)
{
    if (ctlColor == CTLCOLOR_STATIC || ctlColor == CTLCOLOR_DLG) {
        dc->SetBkColor(kWhite);
        return (HBRUSH)::GetStockObject(WHITE_BRUSH);
    }
    return CDialog::OnCtlColor(dc, wnd, ctlColor);
}

BOOL CSearchSession::OnEraseBkgnd(CDC* dc)
{
    PaintDialogFrame(this, dc, GetDlgItem(m_layout.panel), m_captionIcon, m_layout.caption, m_dwm);
    return TRUE;
}

void CSearchSession::OnPaint()
{
    if (!m_painted) {
        m_painted = true;
        const bool noDrives = m_physicalRoot != nullptr && m_logicalRoot != nullptr &&
            m_driveTree.GetChildItem(m_physicalRoot) == nullptr && m_driveTree.GetChildItem(m_logicalRoot) == nullptr;
        // A dialog opened for a scan log (at start-up or handed over by the other search) says
        // what it finds of the log's medium when it loads it, not that no disk is connected.
        if (noDrives && CommandLineLogPath.IsEmpty())
            ShowNoDeviceDialog();
    }
    if (!PaintMinimisedIcon(this, m_hIcon))
        Default();
}

void CSearchSession::OnVScroll(UINT code, UINT pos, CWnd*)
{
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_ALL;
    if (!::GetScrollInfo(m_hWnd, SB_VERT, &info))
        info = SCROLLINFO{};
    const int range = std::max(0, info.nMax - info.nMin - int(info.nPage));
    int next = m_scrollPos;
    switch (code) {
    case SB_LINEUP:
        next -= range / 100;
        break;
    case SB_LINEDOWN:
        next += range / 100;
        break;
    case SB_PAGEUP:
        next -= range / 10;
        break;
    case SB_PAGEDOWN:
        next += range / 10;
        break;
    case SB_THUMBPOSITION:
        next = int(pos);
        break;
    default:
        break;
    }
    next = std::clamp(next, 0, range);
    const int moved = m_scrollPos - next;
    m_scrollPos = next;
    ::SetScrollPos(m_hWnd, SB_VERT, next, TRUE);
    if (moved != 0)
        ::ScrollWindow(m_hWnd, 0, moved, nullptr, nullptr);
    Default();
}

BOOL CSearchSession::OnSetCursor(CWnd* wnd, UINT, UINT)
{
    return SetLinkCursor(wnd) ? TRUE : (BOOL)Default();
}

void CSearchSession::OnSysCommand(UINT id, LPARAM)
{
    if ((id & 0xFFF0) == 0x10)
        ShowAboutDialog();
    else
        Default();
}

LRESULT CSearchSession::OnHelpKey(WPARAM, LPARAM)
{
    ShowHelpDialog();
    return TRUE;
}

void CSearchSession::OnBnClickedNeedHelp()
{
    if (m_layout.driveInfoBeforeHelp)
        ShowSelectedDriveInfo();
    ShowHelpDialog();
}

void CSearchSession::ShowSelectedDriveInfo()
{
    // What to tell the support team: the item chosen, also after the tree made way for a scan.
    const HTREEITEM item = m_driveTree.GetSafeHwnd() != nullptr ? m_driveTree.GetSelectedItem() : nullptr;
    if (item == nullptr)
        return;
    const HTREEITEM parent = m_driveTree.GetParentItem(item);
    const CString text = L"Selected Drive : " + m_driveTree.GetItemText(item) + L"\nParent Item : " +
        (parent != nullptr ? m_driveTree.GetItemText(parent) : CString());
    ZrMessageBox(m_hWnd, text, L"Message", MB_OK | MB_ICONINFORMATION);
}
void CSearchSession::OnBnClickedAboutUs()
{
    ShowAboutDialog();
}
void CSearchSession::OnBnClickedContactUs()
{
    OpenWithShell(kShellOpenLink, SupportMailLink, this);
}
void CSearchSession::OnBnClickedShareOnSocialMedia()
{
    ShowShareDialog(this);
}
void CSearchSession::OnStnClickedLink()
{
    OpenWithShell(kShellOpenLink, SupportMailLink, this);
}
void CSearchSession::OnStnClickedLink2()
{
    OpenWithShell(kShellOpenLink, WebSiteLink, this);
}
void CSearchSession::OnShareLink(UINT id)
{
    OpenShareIconLink(id);
}

// ---- Close and destruction ----------------------------------------------------------------------

void CSearchSession::OnClose()
{
    ShowWindow(SW_RESTORE);
    BeforeExitQuestion();
    // A close can come while a wait keeps the dialog disabled (a Stop waiting for its scan): the
    // question is asked over the dialog taking input, and the wait's state comes back after it.
    const bool waiting = !IsWindowEnabled();
    if (waiting)
        EnableWindow(TRUE);
    const int answer =
        ZrMessageBox(GetSafeHwnd(), ExitQuestionText(), L"Message", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    if (waiting)
        EnableWindow(FALSE);
    if (answer != IDYES)
        return;
    // The workers are asked to stop and waited for instead of being killed.
    EndWorkers();
    if (LauncherOnScreen() != nullptr)
        m_host->EndProgramAfterSave();
    else
        EndDialog(IDCANCEL);
}

void CSearchSession::OnDestroy()
{
    EndWorkers();
    OnDestroyControls();
    // Every way out of a search dialog (Back on its drive page, a close, the no-device notice)
    // ends here: the copies written to open its found files go with it, now that no worker
    // writes one.
    if (m_host != nullptr)
        m_host->CleanTempFolder();
    m_driveTree.SetDetailHost(nullptr);
    m_driveTree.SetNotifyHandler(nullptr);
    if (ActiveTree == &m_driveTree)
        ActiveTree = nullptr;
    ForgetOpenSearchDialog(m_layout.mode, this);
    CDialog::OnDestroy();
    // A listing's wait dialog does not outlive the search it belonged to.
    if (g_pPopulateDlg != nullptr) {
        if (g_pPopulateDlg->GetSafeHwnd() != nullptr)
            g_pPopulateDlg->ShowWindow(SW_HIDE);
        g_pPopulateDlg = nullptr;
    }
}
