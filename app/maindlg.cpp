#include "app/maindlg.h"

#include <shellapi.h>

#include <algorithm>
#include <mutex>

#include "app/background.h"
#include "app/devicetree.h"
#include "app/dialogchrome.h"
#include "app/notices.h"
#include "app/pure/folder_nodes.h"
#include "app/pure/shell_rules.h"
#include "app/pure/textservices.h"
#include "app/searchcontrols.h"
#include "app/searchsession.h"
#include "app/shellservices.h"
#include "app/sortclass.h"
#include "devicepath.h"
#include "app/startup.h"
#include "app/treeclass.h"
#include "app/waitdialogs.h"
#include "look/glass.h"
#include "resource.h"
#include "storage/driverecords.h"
#include "storage/pure/globals.h"
#include "storage/pure/search_mode.h"

namespace {

CWinThread* StartThreadInto(CWinThread*& slot, AFX_THREADPROC proc, LPVOID param)
{
    return ZrBeginThreadInto(slot, proc, param);
}

std::atomic<ZrModeThreadStarter> g_modeThreadStarter{ StartThreadInto };

UINT ModeSearchThreadProc(LPVOID param)
{
    CDelvaneDlg* main = static_cast<CDelvaneDlg*>(param);
    main->EnableWindow(FALSE);
    main->KeepSystemImageList();
    if (ZrSearchDialogRunner runner = GetSearchDialogRunner(main->SearchMode.load()))
        runner(main);
    // Whatever way the search dialog ended, the launcher takes over again on its own thread.
    main->PostMessage(WM_ZR_MODE_ENDED, 0, (LPARAM)AfxGetThread());
    return 1;
}

// The open search dialog of the current mode, with its window; null without one.
CSearchSession* ActiveSession(int mode)
{
    CSearchSession* session = SearchSessionOfMode(mode);
    return session != nullptr && session->GetSafeHwnd() != nullptr ? session : nullptr;
}

} // namespace

ZrModeThreadStarter ZrSetModeThreadStarter(ZrModeThreadStarter starter)
{
    return g_modeThreadStarter.exchange(starter ? starter : StartThreadInto);
}

// ---- The dialog ---------------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CDelvaneDlg, CDialog)
    ON_WM_SYSCOMMAND()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_WM_TIMER()
    ON_WM_ERASEBKGND()
    ON_WM_CTLCOLOR()
    ON_WM_CLOSE()
    ON_WM_DESTROY()
    ON_WM_SHOWWINDOW()
    ON_WM_SETCURSOR()
    ON_MESSAGE(WM_HELP, &CDelvaneDlg::OnHelpKey)
    ON_BN_CLICKED(IDC_EXIT, &CDelvaneDlg::OnBnClickedExit)
    ON_BN_CLICKED(IDC_NEED_HELP, &CDelvaneDlg::OnBnClickedHelp)
    ON_BN_CLICKED(IDC_CONTACT_US, &CDelvaneDlg::OnBnClickedHelp)
    ON_BN_CLICKED(IDC_ABOUT_US, &CDelvaneDlg::OnBnClickedAbout)
    ON_BN_CLICKED(IDC_GO_BASIC, &CDelvaneDlg::OnBnClickedBasicSearch)
    ON_BN_CLICKED(IDC_GO_DEEP, &CDelvaneDlg::OnBnClickedDeepSearch)
    ON_BN_CLICKED(IDC_GO_PHOTO, &CDelvaneDlg::OnBnClickedPhotoSearch)
    ON_BN_CLICKED(IDC_GO_VIDEO, &CDelvaneDlg::OnBnClickedVideoSearch)
    ON_BN_CLICKED(IDC_GO_SIGNATURE, &CDelvaneDlg::OnBnClickedSignatureSearch)
    ON_STN_CLICKED(IDC_LINK_WEB, &CDelvaneDlg::OnLinkWeb)
    ON_STN_CLICKED(IDC_LINK_MAIL, &CDelvaneDlg::OnLinkMail)
    ON_CONTROL_RANGE(STN_CLICKED, IDC_SHARE_1, IDC_SHARE_4, &CDelvaneDlg::OnShareLink)
    ON_BN_CLICKED(IDC_SHARE_BUTTON, &CDelvaneDlg::OnShareButton)
    ON_MESSAGE(WM_ZR_MODE_ENDED, &CDelvaneDlg::OnModeEnded)
    ON_MESSAGE(WM_ZR_CLOSE_LOADING, &CDelvaneDlg::OnCloseLoading)
    ON_MESSAGE(WM_ZR_SHOW_WAIT, &CDelvaneDlg::OnShowWaitMsg)
    ON_MESSAGE(WM_ZR_CLOSE_WAIT, &CDelvaneDlg::OnCloseWaitMsg)
END_MESSAGE_MAP()

CDelvaneDlg::CDelvaneDlg() : CDialog(IDD_MAIN_DIALOG), SearchHost(this)
{
    m_hIcon = LoadIconImage(IDR_MAINFRAME, 32);
    // The record tables are plain memory: they get their columns with the object, so a table
    // filled before (or without) the window still keeps its cells.
    CreateRecordTables();
}

CDelvaneDlg::~CDelvaneDlg()
{
    m_systemImages.reset();
    if (m_hIcon)
        ::DestroyIcon(m_hIcon);
}

void CDelvaneDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_GO_BASIC, m_goBasic);
    DDX_Control(pDX, IDC_GO_DEEP, m_goDeep);
    DDX_Control(pDX, IDC_GO_PHOTO, m_goPhoto);
    DDX_Control(pDX, IDC_GO_VIDEO, m_goVideo);
    DDX_Control(pDX, IDC_GO_SIGNATURE, m_goSignature);
    DDX_Control(pDX, IDC_CONTACT_US, m_contact);
    DDX_Control(pDX, IDC_ABOUT_US, m_about);
    DDX_Control(pDX, IDC_EXIT, m_exit);
    DDX_Control(pDX, IDC_NEED_HELP, m_help);
    DDX_Control(pDX, IDC_LINK_WEB, m_linkWeb);
    DDX_Control(pDX, IDC_LINK_MAIL, m_linkMail);
    DDX_Control(pDX, IDC_DESC_BASIC, m_descBasic);
    DDX_Control(pDX, IDC_DESC_DEEP, m_descDeep);
    DDX_Control(pDX, IDC_DESC_PHOTO, m_descPhoto);
    DDX_Control(pDX, IDC_DESC_VIDEO, m_descVideo);
    DDX_Control(pDX, IDC_DESC_SIGNATURE, m_descSignature);
    DDX_Control(pDX, IDC_TITLE_BASIC, m_titleBasic);
    DDX_Control(pDX, IDC_TITLE_DEEP, m_titleDeep);
    DDX_Control(pDX, IDC_TITLE_PHOTO, m_titlePhoto);
    DDX_Control(pDX, IDC_TITLE_VIDEO, m_titleVideo);
    DDX_Control(pDX, IDC_TITLE_SIGNATURE, m_titleSignature);
    DDX_Control(pDX, IDC_DATE_LINE, m_dateLine);
    DDX_Control(pDX, IDC_GROUP_STANDARD, m_groupStandard);
    DDX_Control(pDX, IDC_GROUP_SPECIFIC, m_groupSpecific);
    DDX_Control(pDX, IDC_SHARE_LABEL, m_shareLabel);
    DDX_Control(pDX, IDC_MAIN_FRAME, m_frame);
    DDX_Control(pDX, IDC_LOGO, m_logo);
    DDX_Control(pDX, IDC_SHARE_BUTTON, m_shareButton);
}

void CDelvaneDlg::KeepSystemImageList()
{
    // The new user first, so that the lists are never released in between.
    auto fresh = std::make_unique<CSystemImageList>();
    m_systemImages = std::move(fresh);
    SmallImageList = CSystemImageList::GetSmallList();
}

void CDelvaneDlg::EmptyRecordTables()
{
    RecognisedPartitionTable.DeleteAllItems();
}

void CDelvaneDlg::CreateRecordTables()
{
    RecognisedPartitionTable.SetColumns({ { L"Drive", 100 },
                                          { L"Part", 100 },
                                          { L"St_Sec", 100 },
                                          { L"End_Sec", 100 },
                                          { L"Clus0", 100 },
                                          { L"Drive_E_Sec", 100 } });
}

BOOL CDelvaneDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    AppendAboutMenuEntry(this);
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    SearchMode = kModeNone;
    DriveTreeRefreshBusy = 0;
    PartitionSearchRunning = 0;
    PartitionSearchPending = 0;
    TempFileCounter = 0;

    wchar_t temp[1026] = {};
    ::GetTempPathW(1025, temp);
    TempFolderPath = temp;
    SetSearchHost(this);

    AddToolTips();
    m_hLogo = m_logo.GetIcon();
    SetupButtonsAndLinks();
    KeepSystemImageList();
    FoundPartitionCount = 0;
    m_shareButton.LoadBitmaps(IDB_SHARE_UP, IDB_SHARE_DOWN);
    m_shareButton.SizeToContent();
    SetupTexts();
    ApplyMainGlass();

    if (!CommandLineLogPath.IsEmpty())
        ReadStartupLogHeader();
    SearchDialogReady = 0;
    return TRUE;
}

void CDelvaneDlg::AddToolTips()
{
    if (!m_toolTip.Create(this))
        return;
    AddShareTips(m_toolTip, this);
    const struct {
        int id;
        const wchar_t* text;
    } tips[] = {
        { IDC_GO_BASIC, L"Start with 'Basic Search' mode" },
        { IDC_GO_DEEP, L"Start with 'Deep Search' mode" },
        { IDC_GO_PHOTO, L"Start with 'Photo Search' mode" },
        { IDC_GO_VIDEO, L"Start with 'Video Search' mode" },
        { IDC_GO_SIGNATURE, L"Start with 'Signature Search' mode" },
    };
    for (const auto& tip : tips)
        if (CWnd* control = GetDlgItem(tip.id))
            m_toolTip.AddTool(control, tip.text);
    m_toolTip.Activate(TRUE);
}

void CDelvaneDlg::SetupButtonsAndLinks()
{
    MakeIconButtons(this,
                    {
                        { &m_contact, 0, IDI_CONTACT },
                        { &m_about, 0, IDI_ABOUT },
                        { &m_exit, 0, IDI_EXIT },
                        { &m_goBasic, 0, IDI_GO },
                        { &m_goDeep, 0, IDI_GO },
                        { &m_goPhoto, 0, IDI_GO },
                        { &m_goVideo, 0, IDI_GO },
                        { &m_goSignature, 0, IDI_GO },
                        { &m_help, 0, IDI_HELP },
                    });
    m_linkWeb.SetBkColor(RGB(255, 255, 255));
    m_linkMail.SetBkColor(RGB(255, 255, 255));
    m_linkWeb.SetWindowText(L"www.zembrolix.example");
    m_linkMail.SetWindowText(L"support@zembrolix.example");
}

void CDelvaneDlg::SetupTexts()
{
    for (CColorStatic* title : { &m_titleBasic, &m_titleDeep, &m_titlePhoto, &m_titleVideo, &m_titleSignature })
        title->SetFont(&SharedGdi.FontConsolas16Bold);
    m_groupStandard.SetFont(&SharedGdi.FontConsolas22Bold);
    m_groupSpecific.SetFont(&SharedGdi.FontConsolas22Bold);
    for (CColorStatic* text :
         { &m_shareLabel, &m_dateLine, &m_groupStandard, &m_groupSpecific, &m_titleBasic, &m_titleDeep, &m_titlePhoto,
           &m_titleVideo, &m_titleSignature, &m_descBasic, &m_descDeep, &m_descPhoto, &m_descVideo, &m_descSignature })
        text->SetBkColor(RGB(255, 255, 255));
}

void CDelvaneDlg::ReadStartupLogHeader()
{
    bool accepted = false;
    int32_t mode = 0;
    CFile file;
    if (!file.Open(CommandLineLogPath, CFile::modeRead | CFile::shareExclusive)) {
        // The program was started for this log alone: it says so and ends with a code that
        // tells whoever started it.
        HWND owner = nullptr;
        if (CSplash* splash = g_pSplashDlg.load()) {
            owner = splash->GetSafeHwnd();
            ::ShowWindow(owner, SW_HIDE);
        }
        ClearCommandLineLogPath();
        ZrMessageBox(owner, kInvalidLogText, L"Message", MB_ICONINFORMATION);
        EndProcessNow(kExitUnusableLog);
        return;
    }
    {
        try {
            CArchive ar(&file, CArchive::load, 4096);
            CString kind, marker, source;
            ar >> kind >> marker >> source >> mode;
            ar.Close();
            accepted = IsAcceptedStartupLog(marker, mode);
        } catch (CException* e) {
            e->Delete();
            accepted = false;
        }
        file.Abort();
    }
    if (accepted) {
        SearchMode = mode;
        if (mode == kModeBasic)
            RunBasicSearchDialog(this);
        else
            RunDeepSearchDialog(this);
        if (LogLoaderRunning())
            EnableWindow(FALSE);
        return;
    }
    // A log that is not ours, or cannot be read, is refused; the launcher starts as usual.
    HWND owner = nullptr;
    if (CSplash* splash = g_pSplashDlg.load()) {
        owner = splash->GetSafeHwnd();
        ::ShowWindow(owner, SW_HIDE);
    }
    ClearCommandLineLogPath();
    SearchMode = kModeNone;
    ZrMessageBox(owner, kInvalidLogText, L"Message", MB_ICONINFORMATION);
}

BOOL CDelvaneDlg::PreTranslateMessage(MSG* pMsg)
{
    if (m_toolTip.GetSafeHwnd())
        m_toolTip.RelayEvent(pMsg);
    if (pMsg->message == WM_KEYDOWN) {
        if (pMsg->wParam == VK_ESCAPE)
            return TRUE;
        if (pMsg->wParam == VK_CANCEL && (::GetKeyState(VK_CONTROL) & 0x8000))
            return TRUE;
    }
    return CDialog::PreTranslateMessage(pMsg);
}

void CDelvaneDlg::OnSysCommand(UINT id, LPARAM lParam)
{
    if ((id & 0xFFF0) == 0x10)
        ShowAboutDialog();
    else
        Default();
}

void CDelvaneDlg::OnPaint()
{
    if (!PaintMinimisedIcon(this, m_hIcon))
        Default();
}

BOOL CDelvaneDlg::OnEraseBkgnd(CDC* dc)
{
    PaintDialogFrame(this, dc, &m_frame, m_hLogo, kProductTitle, m_dwm);
    return TRUE;
}

void CDelvaneDlg::ApplyMainGlass()
{
    SetupDialogGlass(this, m_dwm);
}

HBRUSH CDelvaneDlg::OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor)
{
    int id = wnd ? wnd->GetDlgCtrlID() : 0;
    if (id == IDC_LINK_WEB || id == IDC_LINK_MAIL) {
        dc->SetBkColor(RGB(255, 255, 255));
        dc->SetTextColor(RGB(0, 0, 255));
        dc->SetBkMode(TRANSPARENT);
        return (HBRUSH)SharedGdi.WhiteBrush.GetSafeHandle();
    }
    return (HBRUSH)Default();
}

void CDelvaneDlg::OnShowWindow(BOOL show, UINT status)
{
    Default();
    if (show) {
        Invalidate();
        EnableWindow(TRUE);
    }
}

BOOL CDelvaneDlg::OnSetCursor(CWnd* wnd, UINT hitTest, UINT message)
{
    return SetLinkCursor(wnd) ? TRUE : (BOOL)Default();
}

LRESULT CDelvaneDlg::OnHelpKey(WPARAM, LPARAM)
{
    ShowHelpDialog();
    return TRUE;
}

void CDelvaneDlg::OnLinkWeb()
{
    OpenWithShell(kShellOpenLink, WebSiteLink, this);
}
void CDelvaneDlg::OnLinkMail()
{
    OpenWithShell(kShellOpenLink, SupportMailLink, this);
}
void CDelvaneDlg::OnShareLink(UINT id)
{
    OpenShareIconLink(id);
}

void CDelvaneDlg::OnShareButton()
{
    ShowShareDialog(this);
}

void CDelvaneDlg::OnBnClickedHelp()
{
    ShowHelpDialog();
}

void CDelvaneDlg::OnBnClickedAbout()
{
    ShowAboutDialog();
}

// ---- Launching ----------------------------------------------------------------------------

void CDelvaneDlg::Go(int mode)
{
    if (LogLoaderRunning())
        return;
    if (ModeSearchThread)
        return;
    if (mode == kModeBasic || mode == kModeDeep) {
        // The file-system searches start on their drive pages (each dialog's tree starts with no
        // folder records of its own).
        ResetSearchPages({ kModeBasic, kModeDeep });
    }
    SearchMode = mode;
    DriveTreeRefreshBusy = 0;
    StartModeSearch();
}

void CDelvaneDlg::OnBnClickedBasicSearch()
{
    Go(kModeBasic);
}
void CDelvaneDlg::OnBnClickedDeepSearch()
{
    Go(kModeDeep);
}
void CDelvaneDlg::OnBnClickedPhotoSearch()
{
    Go(kModePhoto);
}
void CDelvaneDlg::OnBnClickedVideoSearch()
{
    Go(kModeVideo);
}
void CDelvaneDlg::OnBnClickedSignatureSearch()
{
    Go(kModeSignature);
}

void CDelvaneDlg::StartModeSearch()
{
    if (ModeSearchThread)
        return;
    EmptyRecordTables();
    ClearCommandLineLogPath();
    SearchDialogReady = 0;

    LoadingDialog = new CModeless1(this, &LoadingDialog);
    if (!LoadingDialog->Create()) {
        delete LoadingDialog;
        LoadingDialog = nullptr;
    } else {
        LoadingDialog->CenterWindow(this);
        TimerTicks = 0;
        SetProgressRange64(LoadingDialog->m_progress.GetSafeHwnd(), 0, 100, 2);
        LoadingDialog->SetForegroundWindow();
        LoadingDialog->ShowWindow(SW_SHOW);
    }
    SetTimer(kLoadingTimerId, kLoadingTimerMs);
    if (!g_modeThreadStarter.load()(ModeSearchThread, ModeSearchThreadProc, this)) {
        ModeSearchThread = nullptr;
        CloseLoadingDialog();
        EnableWindow(TRUE);
        ZrMessageBox(m_hWnd, L"The search could not be started. Please close other programs and try again.", L"Message",
                     MB_ICONINFORMATION);
    }
}

void CDelvaneDlg::OnTimer(UINT_PTR id)
{
    if (id == kLoadingTimerId) {
        ++TimerTicks;
        if (LoadingDialog)
            UpdateProgress(LoadingDialog->m_progress.GetSafeHwnd(), 0, 100, TimerTicks);
        return;
    }
    Default();
}

void CDelvaneDlg::SearchDialogStarted()
{
    SearchDialogReady = 1;
    CloseLoadingDialog();
}

void CDelvaneDlg::CloseLoadingDialog()
{
    if (::GetWindowThreadProcessId(m_hWnd, nullptr) != ::GetCurrentThreadId()) {
        SendMessage(WM_ZR_CLOSE_LOADING);
        return;
    }
    KillTimer(kLoadingTimerId);
    if (LoadingDialog)
        LoadingDialog->DestroyWindow(); // clears LoadingDialog and deletes itself
    LoadingDialog = nullptr;
}

LRESULT CDelvaneDlg::OnCloseLoading(WPARAM, LPARAM)
{
    CloseLoadingDialog();
    return 0;
}

LRESULT CDelvaneDlg::OnModeEnded(WPARAM, LPARAM lParam)
{
    CWinThread* thread = reinterpret_cast<CWinThread*>(lParam);
    CloseLoadingDialog();
    ZrWaitForThreadPumping(thread, 5000);
    if (ModeSearchThread == thread)
        ModeSearchThread = nullptr;
    if (thread && thread->HasEnded())
        delete thread;
    SearchDialogReady = 0;
    ShowWindow(SW_SHOW);
    if (LogLoaderRunning()) {
        EnableWindow(FALSE);
    } else {
        EnableWindow(TRUE);
        SetForegroundWindow();
    }
    return 0;
}

// ---- Exit ----------------------------------------------------------------------------------

void CDelvaneDlg::OnClose()
{
    ShowWindow(SW_RESTORE);
    if (ZrMessageBox(m_hWnd, ExitQuestionText(), L"Message", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return;
    EndProgramAfterSave();
}

void CDelvaneDlg::EndProgramAfterSave()
{
    CWnd* saving = SavingFilesDlg;
    if (saving != nullptr && saving->GetSafeHwnd() != nullptr &&
        ::GetWindowThreadProcessId(saving->GetSafeHwnd(), nullptr) == ::GetCurrentThreadId()) {
        // Ending here would end the process in the middle of the file being written, with the
        // save's frames still on this thread's stack: its Cancel stops it after the block it copies.
        m_endAfterSave = true;
        saving->SendMessage(WM_COMMAND, IDCANCEL, 0);
        return;
    }
    EndProgram();
}

bool CDelvaneDlg::SaveEnded()
{
    if (!m_endAfterSave)
        return false;
    m_endAfterSave = false;
    EndProgram();
    return true;
}

void CDelvaneDlg::EndProgram()
{
    if (g_pPopulateDlg) {
        g_pPopulateDlg->ShowWindow(SW_HIDE);
        g_pPopulateDlg = nullptr;
    }
    // A partition search still running ends without its result box: nobody would see it, and it
    // would keep that search from ending within the wait below.
    if (g_pPartitionSearchThread != nullptr)
        StopPartitionSearch(true);
    // Every live search ends its workers as its own close does, waited for without a deadline: a
    // scan writing a found file finishes it or deletes it before the process ends.
    for (int mode = kModeBasic; mode <= kModeSignature; ++mode)
        if (CSearchSession* session = SearchSessionOfMode(mode))
            session->EndWorkersForExit();
    std::vector<CWinThread*> running = RequestRegisteredWorkersStop();
    for (CWinThread* own : { ModeSearchThread, BasicLogLoadThread, DeepLogLoadThread })
        if (own != nullptr) {
            own->RequestStop();
            running.push_back(own);
        }
    // Workers get a moment to run their finishing steps; none is killed, whatever is left ends
    // with the process.
    DWORD deadline = ::GetTickCount() + 3000;
    for (CWinThread* thread : running) {
        DWORD now = ::GetTickCount();
        ZrWaitForThreadPumping(thread, deadline > now ? deadline - now : 0);
    }
    CleanTempFolder();
    EndProcessNow(0);
}

void CDelvaneDlg::OnDestroy()
{
    Default();
    if (WaitDialog) {
        WaitDialog->DestroyWindow();
        delete WaitDialog;
        WaitDialog = nullptr;
    }
}

// ---- Progress, status and wait --------------------------------------------------------------

void CDelvaneDlg::SetSaveStatusText(const CString& text)
{
    if (CWnd* saving = SavingFilesDlg)
        ::SetDlgItemTextW(saving->GetSafeHwnd(), IDC_SAVE_PATH, SaveStatusDisplayText(text));
}

void CDelvaneDlg::FormatSelectionDetails(const CString& typeText, int partitionIndex, int diskNumber)
{
    const int mode = SearchMode.load();
    CSearchSession* session = ActiveSession(mode);
    if (!session || diskNumber < 0 || diskNumber >= kMaxDisks || partitionIndex < 0 ||
        partitionIndex >= kPartitionSlotCount)
        return;
    const PartitionSlot& slot = DiskPartitionTable[diskNumber].slot[partitionIndex];
    const uint64_t sectors = slot.endSector >= slot.startSector ? slot.endSector - slot.startSector : 0;
    HWND list = session->DetailList()->GetSafeHwnd();
    ::ShowWindow(list, SW_SHOW);
    ::SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    CString values[7];
    values[0].Format(L"%d", diskNumber);
    values[1].Format(L"%d", partitionIndex + 1);
    values[2] = typeText;
    values[3] = SearchModeName(mode);
    values[4].Format(L"%llu", slot.startSector);
    values[5].Format(L"%llu", slot.endSector);
    // Sizes beyond 2^64 bytes cannot occur for a real disk; the multiplication saturates.
    values[6] = FormatSize(sectors > UINT64_MAX / 512 ? UINT64_MAX : sectors * 512).Trim();
    static const wchar_t* const labels[7] = { L"1. Disk Number : ", L"2. Partition Number : ", L"3. Partition Type : ",
                                              L"4. Search Mode : ", L"5. Start Sector : ",     L"6. End Sector : ",
                                              L"7. Size : " };
    for (int row = 0; row < 7; ++row) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iImage = 10; // the picture of every property row
        item.iItem = row;
        item.pszText = const_cast<wchar_t*>(labels[row]);
        int at = (int)::SendMessageW(list, LVM_INSERTITEMW, 0, (LPARAM)&item);
        item.mask = LVIF_TEXT;
        item.iItem = at;
        item.iSubItem = 1;
        item.pszText = const_cast<wchar_t*>((const wchar_t*)values[row]);
        ::SendMessageW(list, LVM_SETITEMTEXTW, at, (LPARAM)&item);
    }
    session->ShowHintControls(SW_HIDE);
    if (mode == kModeBasic)
        return;
    session->SelectFileSystemCombo(typeText);
    // While the drive-tree worker still fills the tree its search has the range controls' place.
    if (!session->DriveTreeWorkerRunning())
        session->ShowSectorRangeControls(SW_SHOW);
    // Every search with a range starts from the whole disk.
    session->SetSectorRangeControls(0, DiskTotalSectors);
}

void CDelvaneDlg::ShowWaitDialog(CWnd* owner, BOOL centre)
{
    HWND ownerWnd = owner ? owner->GetSafeHwnd() : m_hWnd;
    // Without a launcher window (a search run on its own) the caller's thread shows it.
    if (m_hWnd != nullptr && ::GetWindowThreadProcessId(m_hWnd, nullptr) != ::GetCurrentThreadId())
        SendMessage(WM_ZR_SHOW_WAIT, centre, (LPARAM)ownerWnd);
    else
        ShowWaitDialogHere(ownerWnd, centre);
}

void CDelvaneDlg::CloseWaitDialog(CWnd* owner)
{
    HWND ownerWnd = owner ? owner->GetSafeHwnd() : m_hWnd;
    if (m_hWnd != nullptr && ::GetWindowThreadProcessId(m_hWnd, nullptr) != ::GetCurrentThreadId())
        SendMessage(WM_ZR_CLOSE_WAIT, 0, (LPARAM)ownerWnd);
    else
        CloseWaitDialogHere(ownerWnd);
    // The owner takes the front back at once, on its own thread: an activation handed over later
    // would raise it over a message box it shows next.
    if (ownerWnd != nullptr && ::IsWindowVisible(ownerWnd) &&
        ::GetWindowThreadProcessId(ownerWnd, nullptr) == ::GetCurrentThreadId())
        ::SetForegroundWindow(ownerWnd);
}

LRESULT CDelvaneDlg::OnShowWaitMsg(WPARAM centre, LPARAM owner)
{
    ShowWaitDialogHere((HWND)owner, (BOOL)centre);
    return 0;
}

LRESULT CDelvaneDlg::OnCloseWaitMsg(WPARAM, LPARAM owner)
{
    CloseWaitDialogHere((HWND)owner);
    return 0;
}

void CDelvaneDlg::ShowWaitDialogHere(HWND owner, BOOL centre)
{
    ::EnableWindow(owner, FALSE);
    if (CWnd* main = AfxGetMainWnd())
        main->EnableWindow(FALSE);
    if (!WaitDialog) {
        WaitDialog = new CPlease_Wail_Modeless(this);
        if (!WaitDialog->Create()) {
            delete WaitDialog;
            WaitDialog = nullptr;
            return;
        }
    }
    WaitDialog->SetForegroundWindow();
    WaitDialog->ShowWindow(SW_SHOW);
    if (centre)
        WaitDialog->CenterWindow(CWnd::FromHandle(owner));
    WaitDialog->SetDlgItemText(IDC_WAIT_TEXT, L"It may take a while, Please wait...");
    ::EnableWindow(owner, FALSE);
    WaitDialog->EnableWindow(FALSE);
}

void CDelvaneDlg::CloseWaitDialogHere(HWND owner)
{
    ::EnableWindow(owner, TRUE);
    // Hidden without handing the activation on: the owner takes it (CloseWaitDialog).
    if (WaitDialog && WaitDialog->GetSafeHwnd())
        ::SetWindowPos(WaitDialog->GetSafeHwnd(), nullptr, 0, 0, 0, 0,
                       SWP_HIDEWINDOW | SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
}

// ---- Control groups ------------------------------------------------------------------------

void CDelvaneDlg::EnableModeButtons()
{
    if (CSearchSession* session = ActiveSession(SearchMode))
        session->EnableModeButtons(true);
}

void CDelvaneDlg::DisableModeButtons()
{
    if (CSearchSession* session = ActiveSession(SearchMode))
        session->EnableModeButtons(false);
}

void CDelvaneDlg::ShowSectorRangeControls(int showCommand, CWnd* dialog)
{
    if (auto* session = dynamic_cast<CSearchSession*>(dialog); session != nullptr && session->GetSafeHwnd())
        session->ShowSectorRangeControls(showCommand);
}

void CDelvaneDlg::ShowHintPanel(int showCommand)
{
    const int mode = SearchMode.load();
    CSearchSession* session = ActiveSession(mode);
    if (session == nullptr)
        return;
    session->ShowHintControls(showCommand);
    // Basic and Deep Search show their file list again where the hint was, on their drive page.
    if (showCommand != SW_SHOW && (mode == kModeBasic || mode == kModeDeep) && session->Page() == 0)
        session->DetailList()->ShowWindow(SW_SHOW);
}

void CDelvaneDlg::SelectFileSystemCombo(const CString& fileSystem)
{
    if (CSearchSession* session = ActiveSession(SearchMode))
        session->SelectFileSystemCombo(fileSystem);
}
