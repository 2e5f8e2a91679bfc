#include "sigrecovery/carvesession.h"

#include <shlobj.h>

#include <algorithm>

#include "app/devicetree.h"
#include "app/searchhost.h"
#include "app/notices.h"
#include "app/questions.h"
#include "app/searchcontrols.h"
#include "app/shellservices.h"
#include "app/startup.h"
#include "resources/resource.h"
#include "storage/destination_check.h"
#include "sigrecovery/mediaremoved.h"
#include "app/pure/sector_fields.h"
#include "storage/pure/bootsector.h"
#include "storage/pure/drive_texts.h"
#include "storage/pure/globals.h"

namespace {

constexpr UINT WM_ZR_CARVE_FOUND = WM_APP + 0x260;
constexpr UINT WM_ZR_CARVE_PASS = WM_APP + 0x261;
constexpr UINT WM_ZR_CARVE_MESSAGE = WM_APP + 0x262;
constexpr UINT_PTR kProgressTimer = 0x4301;
constexpr UINT kProgressTimerMs = 200;
constexpr UINT_PTR kNoticeTimer = 0x4302;
constexpr UINT kNoticeMs = 1000;
constexpr int kProgressSteps = 1000;

const wchar_t kNothingSavedText[] =
    L"No file has been recovered by this search yet, so there is no folder of recovered files to open.";

} // namespace

SearchDialogLayout CarveSearchLayout(CarveSearchKind kind)
{
    const CarveSearchInfo& info = DescribeCarveSearch(kind);
    SearchDialogLayout l;
    l.mode = kind == CarveSearchKind::Photo ? kModePhoto : kind == CarveSearchKind::Video ? kModeVideo : kModeSignature;
    l.caption = info.caption;
    l.partitionCount = IDC_PS_SECTORS_TEXT;
    l.partitionTotal = IDC_PS_OF_TOTAL;
    l.selectHint = IDC_SELECT_HINT;
    l.shareUp = IDB_BS_SHARE_UP;
    l.shareDown = IDB_BS_SHARE_DOWN;
    l.driveImages = IDB_DRIVE_TREE_IMAGES;
    l.hintPanel = { IDC_SELECT_HINT_PANEL, IDC_SELECT_HINT };
    l.rangeControls = { IDC_RANGE_HELP,      IDC_RANGE_MIN,       IDC_RANGE_START,       IDC_RANGE_END,
                        IDC_RANGE_MAX,       IDC_RANGE_MIN_LABEL, IDC_RANGE_START_LABEL, IDC_RANGE_END_LABEL,
                        IDC_RANGE_MAX_LABEL, IDC_RANGE_HINT,      IDC_RANGE_SLIDER };
    l.sectorRange = true;
    l.rangeHelpTip = info.rangeHelpTip;
    l.glassControls = { IDC_CONTACT_LABEL };
    l.driveInfoBeforeHelp = true;
    return l;
}

BEGIN_MESSAGE_MAP(CCarveSession, CSearchSession)
    ON_WM_TIMER()
    ON_MESSAGE(WM_ZR_CARVE_FOUND, &CCarveSession::OnFoundMsg)
    ON_MESSAGE(WM_ZR_CARVE_PASS, &CCarveSession::OnPassMsg)
    ON_MESSAGE(WM_ZR_CARVE_MESSAGE, &CCarveSession::OnMessageMsg)
END_MESSAGE_MAP()

CCarveSession::CCarveSession(const SearchDialogLayout& layout, const CarveDialogLayout& carve, CarveSearchKind kind,
                             SearchHost* host)
    : CSearchSession(layout, host), m_carve(carve), m_info(DescribeCarveSearch(kind)), m_naming(kind)
{
}

CCarveSession::~CCarveSession() = default;

BOOL CCarveSession::OnInitDialog()
{
    CSearchSession::OnInitDialog();
    m_summary.SubclassDlgItem(m_carve.summary, this);
    m_summary.SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    // The guide line and the explanation on pale yellow; the contact line as a link.
    m_hint.SubclassDlgItem(m_carve.hint, this);
    m_optionText.SubclassDlgItem(m_carve.optionText, this);
    for (CColorStatic* text : { &m_hint, &m_optionText })
        text->SetBkColor(RGB(255, 252, 223));
    if (m_contactLabel.SubclassDlgItem(IDC_CONTACT_LABEL, this)) {
        m_contactLabel.SetBkColor(RGB(255, 255, 255));
        m_contactLabel.SetTextColor(RGB(0, 0, 255));
        m_contactLabel.SetFont(&SharedGdi.FontVerdana13Underline);
    }
    m_optionText.SetWindowText(kCarveThoroughExplanation);
    if (CWnd* note = GetDlgItem(m_carve.clearNote))
        note->SetWindowText(m_info.clearingNote);
    CheckDlgButton(m_carve.thorough, BST_CHECKED);
    SetHint(HintSelectDrive);
    return TRUE;
}

// ---- Small helpers --------------------------------------------------------------------------------

void CCarveSession::ShowControls(const std::vector<int>& ids, int show)
{
    for (int id : ids)
        if (CWnd* control = id != 0 ? GetDlgItem(id) : nullptr)
            control->ShowWindow(show);
}

void CCarveSession::SetHint(const CString& text)
{
    if (m_hint.GetSafeHwnd() != nullptr) {
        m_hint.SetWindowText(text);
        m_hint.Invalidate(TRUE);
    }
}

// Photo Search asks the user to let its scan finish; Signature and Video Search say how to stop.
const wchar_t* CCarveSession::ScanRunningHint() const
{
    return m_info.kind == CarveSearchKind::Photo ? HintStopSearching : HintStopRecovery;
}

CString CCarveSession::ControlText(int id)
{
    CString text;
    if (id != 0)
        GetDlgItemText(id, text);
    return text;
}

void CCarveSession::ShowClearingNotice()
{
    if (m_notice == nullptr)
        m_notice = std::make_unique<CRawDlg>(this);
    if (!m_notice->Show(m_info.clearingTitle, m_info.clearingNote))
        return;
    EnableWindow(FALSE);
    SetTimer(kNoticeTimer, kNoticeMs);
}

void CCarveSession::OnNMSetfocusList(UINT id, NMHDR*, LRESULT* result)
{
    *result = 0;
    const HWND list = ::GetDlgItem(m_hWnd, int(id));
    if (list == nullptr || ListView_GetItemCount(list) == 0)
        return;
    const int mark = ListView_GetSelectionMark(list);
    ListView_SetItemState(list, mark >= 0 ? mark : 0, LVIS_SELECTED, LVIS_SELECTED);
    if (mark < 0)
        ListView_SetSelectionMark(list, 0);
}

// ---- Next -----------------------------------------------------------------------------------------

void CCarveSession::OnBnClickedNext()
{
    CWnd* next = GetDlgItem(Layout().next);
    if (next == nullptr || !next->IsWindowEnabled() || ScanRunning() || g_pPartitionSearchThread != nullptr ||
        PartitionSearchBusy())
        return;
    if (Page() == kDriveStep) {
        if (LeaveDriveStep())
            SetPage(kOptionsStep);
    } else if (Page() == kOptionsStep) {
        if (StartScan())
            SetPage(kScanStep);
    }
}

bool CCarveSession::LeaveDriveStep()
{
    const HTREEITEM item = m_driveTree.GetSelectedItem();
    if (RefuseGroupItem(item))
        return false;
    const bool logicalDrive = m_driveTree.GetParentItem(item) == LogicalDrivesItem();
    INT_PTR choice = 0;
    if (logicalDrive) {
        choice = ShowLogicalDialog(this);
        if (choice != 1 && choice != 2)
            return false;
    }
    const SectorFields fields =
        CheckSectorFields(ControlText(IDC_RANGE_START), ControlText(IDC_RANGE_END), m_info.minSectorSpan);
    if (fields.check != SectorFieldsCheck::Ok) {
        ZrMessageBox(m_hWnd, SectorFieldsRefusalText(fields.check), L"Message", MB_OK | MB_ICONINFORMATION);
        return false;
    }
    Selection selection;
    ReadSelectedDevice(selection);
    selection.physical = logicalDrive && selection.kind == L"Logical" && choice == 2;
    ScanRequest request;
    if (!ApplyTypedRange(selection, fields.start, fields.end, m_info.caption, request))
        return false;
    m_target = request.target;

    // The drive step goes; the options step comes with the chosen source summed up.
    ShowHintControls(SW_HIDE);
    m_detail.ShowWindow(SW_HIDE);
    m_driveTree.ShowWindow(SW_HIDE);
    ShowSectorRangeControls(SW_HIDE);
    ShowControls(m_carve.driveStep, SW_HIDE);
    m_summary.DeleteAllItems();
    int row = 0;
    for (const CarveSummaryRow& r : CarveSelectionSummary(m_info.kind, selection.kind, PropertyValue(2),
                                                          m_target.firstSector, m_target.endSector)) {
        m_summary.InsertItem(row, r.name);
        m_summary.SetItemText(row++, 1, r.value);
    }
    CheckDlgButton(m_carve.thorough, BST_CHECKED);
    ShowControls(m_carve.optionsStep, SW_SHOW);
    ShowOptionsControls(true);
    SetHint(CarveResultsLocationText(m_info.kind));
    return true;
}

bool CCarveSession::StartScan()
{
    if (!IsScanRange(m_target.firstSector, m_target.endSector)) {
        ZrMessageBox(m_hWnd, SectorFieldsRefusalText(SectorFieldsCheck::EndNotAfterStart), L"Message",
                     MB_OK | MB_ICONINFORMATION);
        return false;
    }
    if (!ReadScanOptions())
        return false;
    // Found files are saved as they are found: the folder must take them, away from the medium.
    const CString folder = ControlText(m_carve.destination).Trim();
    // Decided before the folder is touched: nothing is made in a folder on the medium being read,
    // which the carving reads up to its end sector and that sector too.
    const uint64_t after = m_target.endSector < UINT64_MAX ? m_target.endSector + 1 : UINT64_MAX;
    const DestinationCheck check =
        CheckDestinationFolder(folder, { ScannedMediumOf(m_target.devicePath, m_target.firstSector, after) });
    if (check != DestinationCheck::Ok) {
        ZrMessageBox(m_hWnd, DestinationRefusalText(check), L"Message", MB_OK | MB_ICONINFORMATION);
        return false;
    }
    m_destination = folder;
    m_thoroughWanted = IsDlgButtonChecked(m_carve.thorough) == BST_CHECKED;
    m_results.Start(CountedTypes());
    m_finds.TakeAll();
    m_stopping = false;

    ShowControls(m_carve.optionsStep, SW_HIDE);
    HideOptionsControls(false);
    GetDlgItem(Layout().next)->EnableWindow(FALSE);
    GetDlgItem(Layout().back)->EnableWindow(FALSE);
    ShowScanLists();
    SetDlgItemText(m_carve.currentSector, DecimalText(m_target.firstSector));
    SetDlgItemText(m_carve.passText, L"");
    m_progress.SetRange32(0, kProgressSteps);
    m_progress.SetPos(0);
    ShowResultControls(SW_SHOW);
    if (CWnd* stop = GetDlgItem(Layout().stop)) {
        stop->EnableWindow(TRUE);
        stop->SetFocus();
    }
    SetHint(ScanRunningHint());
    m_state.closing = false;
    m_state.progressSector = m_target.firstSector;
    SetTimer(kProgressTimer, kProgressTimerMs);
    if (!StartScanWorker(ScanWorker))
        FinishScan();
    return true;
}

UINT CCarveSession::ScanWorker(LPVOID session)
{
    CCarveSession* self = static_cast<CCarveSession*>(static_cast<CSearchSession*>(session));
    return CarveSearchThreadProc(static_cast<CarveScanHost*>(self));
}

// ---- While the scan runs --------------------------------------------------------------------------

void CCarveSession::AddResultRow(const CarveFound& found)
{
    if (m_finds.Put(found))
        PostMessage(WM_ZR_CARVE_FOUND);
}

LRESULT CCarveSession::OnFoundMsg(WPARAM, LPARAM)
{
    ShowPendingFinds();
    return 0;
}

void CCarveSession::ShowPendingFinds()
{
    for (const CarveFound& found : m_finds.TakeAll()) {
        const CarveListStep step = m_results.Add(found, m_stopping);
        ShowFound(found, step);
    }
}

void CCarveSession::PassStarting(bool thorough)
{
    PostMessage(WM_ZR_CARVE_PASS, thorough ? 1 : 0);
}

LRESULT CCarveSession::OnPassMsg(WPARAM thorough, LPARAM)
{
    ShowPendingFinds(); // the finds of the pass before
    SetDlgItemText(m_carve.passText, CarvePassText(m_info.kind, thorough != 0));
    CString total;
    total.Format(L"sectors scanned of total %llu", static_cast<unsigned long long>(m_target.endSector));
    SetDlgItemText(m_carve.scannedOf, total);
    SetDlgItemText(m_carve.currentSector, DecimalText(m_target.firstSector));
    m_progress.SetPos(0);
    OnPassStarting(thorough != 0);
    return 0;
}

MediaAnswer CCarveSession::AskMediaRemoved()
{
    ::ShowWindowAsync(m_hWnd, SW_RESTORE);
    return AskMediaRemovedModal();
}

void CCarveSession::ShowMessage(const CString& text)
{
    // On the dialog's thread, over the dialog; the scan waits for the answer.
    SendMessage(WM_ZR_CARVE_MESSAGE, 0, reinterpret_cast<LPARAM>(&text));
}

LRESULT CCarveSession::OnMessageMsg(WPARAM, LPARAM text)
{
    ZrMessageBox(m_hWnd, *reinterpret_cast<const CString*>(text), L"Message", MB_OK | MB_ICONINFORMATION);
    return 0;
}

void CCarveSession::OnTimer(UINT_PTR id)
{
    if (id == kProgressTimer) {
        UpdateProgress();
    } else if (id == kNoticeTimer) {
        KillTimer(kNoticeTimer);
        m_notice.reset();
        // A Stop keeps the dialog disabled until the scan has ended and closed its files: taking
        // input now would let a close end the program in the middle of one.
        if (!m_stopping) {
            EnableWindow(TRUE);
            SetForegroundWindow();
        }
    } else {
        Default();
    }
}

void CCarveSession::UpdateProgress()
{
    const uint64_t at = std::clamp(m_state.progressSector.load(), m_target.firstSector, m_target.endSector + 1);
    SetDlgItemText(m_carve.currentSector, DecimalText(at));
    const uint64_t span = m_target.endSector - m_target.firstSector + 1;
    const uint64_t done = at - m_target.firstSector;
    m_progress.SetPos(int(CarveProgressPosition(done, span, kProgressSteps)));
}

// ---- Stop and the end of a scan -------------------------------------------------------------------

void CCarveSession::OnBnClickedStop()
{
    if (!ScanRunning() || m_stopping)
        return;
    m_stopping = true;
    if (CWnd* stop = GetDlgItem(Layout().stop))
        stop->EnableWindow(FALSE);
    SetHint(HintViewRecovered);
    // The scan closes what it has open, lists it and ends; the dialog waits for it without taking
    // input but keeps showing what comes.
    RequestScanStop();
    EnableWindow(FALSE);
    if (WaitForScanWorker())
        FinishScan();
    EnableWindow(TRUE);
}

void CCarveSession::OnScanWorkerEnded()
{
    FinishScan();
}

void CCarveSession::FinishScan()
{
    KillTimer(kProgressTimer);
    UpdateProgress();
    ShowPendingFinds();
    m_stopping = false;
    SetHint(HintViewRecovered);
    ShowResultControls(SW_HIDE);
    SetDlgItemText(m_carve.currentSector, L"");
    if (Page() == kScanStep)
        ShowControls({ m_carve.openFolder }, SW_SHOW);
    if (CWnd* back = GetDlgItem(Layout().back))
        back->EnableWindow(TRUE);
}

void CCarveSession::EndWorkers()
{
    // The program or the dialog is closing: the find being written is finished or deleted by the
    // scan on its way out, which is waited for; a partition search ends without its report.
    m_state.closing = true;
    RequestScanStop();
    if (g_pPartitionSearchThread != nullptr)
        StopDiskPartitionSearch(true);
    CSearchSession::EndWorkers();
}

// ---- Back -----------------------------------------------------------------------------------------

void CCarveSession::OnBnClickedBack()
{
    CWnd* back = GetDlgItem(Layout().back);
    if (back == nullptr || !back->IsWindowEnabled() || ScanRunning())
        return;
    ShowControls({ m_carve.openFolder }, SW_HIDE);
    switch (Page()) {
    case kScanStep:
        // The finds stay on disk; the lists start empty at the next scan, whose names start
        // again at 1 and pass over the files already there.
        KillTimer(kNoticeTimer);
        m_notice.reset();
        HideScanLists();
        ShowResultControls(SW_HIDE);
        ShowControls({ m_carve.clearNote }, SW_HIDE);
        GetDlgItem(Layout().next)->EnableWindow(TRUE);
        GetDlgItem(Layout().stop)->EnableWindow(TRUE);
        ShowControls(m_carve.optionsStep, SW_SHOW);
        ShowOptionsControls(false);
        SetHint(CarveResultsLocationText(m_info.kind));
        SetPage(kOptionsStep);
        break;
    case kOptionsStep:
        ShowControls(m_carve.optionsStep, SW_HIDE);
        HideOptionsControls(true);
        m_summary.DeleteAllItems();
        SetDlgItemText(m_carve.destination, L"");
        ShowDriveStep();
        break;
    default:
        ReturnToLauncher(int(kBackResult));
        break;
    }
}

void CCarveSession::ShowDriveStep()
{
    m_driveTree.ShowWindow(SW_SHOW);
    ShowControls(m_carve.driveStep, SW_SHOW);
    m_detail.ShowWindow(SW_HIDE);
    SetPage(kDriveStep);
    // Selecting the tree's first item again brings the details and the range back on request.
    m_driveTree.ForgetShownDetails();
    m_driveTree.Select(nullptr, TVGN_CARET);
    m_driveTree.Select(m_driveTree.GetRootItem(), TVGN_CARET);
    m_driveTree.SetFocus();
    SetHint(HintSelectDrive);
}

// ---- The other buttons ----------------------------------------------------------------------------

void CCarveSession::OnBnClickedBrowse()
{
    SetDlgItemText(m_carve.destination,
                   BrowseForFolder(this, kCarveBrowseTitle, BIF_RETURNONLYFSDIRS | BIF_VALIDATE | BIF_NEWDIALOGSTYLE));
}

void CCarveSession::OnBnClickedOpenFolder()
{
    CString folder;
    if (!CarveSearchFolder(m_destination, m_info.kind, &folder))
        return;
    // The search's folder is made with its first find.
    if (::GetFileAttributesW(folder) == INVALID_FILE_ATTRIBUTES) {
        ZrMessageBox(m_hWnd, kNothingSavedText, L"Message", MB_OK | MB_ICONINFORMATION);
        return;
    }
    OpenWithShell(kShellOpenFile, folder, this);
}

void CCarveSession::OnBnClickedRefreshTree()
{
    if (Page() != kDriveStep || ScanRunning() || PartitionSearchBusy())
        return;
    if (Host() != nullptr)
        Host()->ShowWaitDialog(this, TRUE);
    ShowSectorRangeControls(SW_HIDE);
    for (int id : { Layout().refresh, Layout().back, Layout().next })
        GetDlgItem(id)->EnableWindow(FALSE);
    RebuildDriveTree();
    for (int id : { Layout().refresh, Layout().back, Layout().next })
        GetDlgItem(id)->EnableWindow(TRUE);
    m_driveTree.SetFocus();
    if (Host() != nullptr)
        Host()->CloseWaitDialog(this);
    if (m_driveTree.GetChildItem(PhysicalDrivesItem()) == nullptr &&
        m_driveTree.GetChildItem(LogicalDrivesItem()) == nullptr)
        ShowNoDeviceDialog();
}
