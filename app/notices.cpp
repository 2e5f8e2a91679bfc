#include "app/notices.h"

#include <shellapi.h>

#include "app/devicetree.h"
#include "app/dialogchrome.h"
#include "app/searchhost.h"
#include "app/pure/shell_rules.h"
#include "app/shellservices.h"
#include "app/treeclass.h"
#include "app/startup.h"
#include "app/waitdialogs.h"
#include "resource.h"
#include "storage/pure/globals.h"

std::atomic<int32_t> BasicNoticeState{ 0 };
std::atomic<int32_t> DeepNoticeState{ 0 };
std::atomic<int> NoDeviceVisible{ 0 };
std::atomic<CNoDevice*> g_pNoDeviceDlg{ nullptr };

namespace {

// The open search dialog's drive tree made again, else the drive trees refreshed.
bool RefreshActiveDriveTree()
{
    if (DriveTreeTarget target; GetDriveTreeTarget(target) && target.rebuildTree != nullptr)
        return target.rebuildTree(target.dialog);
    return RefreshAfterMediaChange() != 0;
}

std::atomic<ZrDriveTreeRefresher> g_refresher{ RefreshActiveDriveTree };
std::atomic<FolderBrowserHook> g_folderBrowserHook{ nullptr };

void OpenMaximised(const wchar_t* verb, const wchar_t* link)
{
    ::ShellExecuteW(nullptr, verb, link, nullptr, nullptr, SW_SHOWMAXIMIZED);
}

const wchar_t* const kNoRecoveryItem1 =
    L"1. When you need to recover data from Dynamic volumes (such as spanned, striped, mirrored, and RAID-5 "
    L"volumes etc), you Must perform 'Logical Scanning' of drive by selecting the logical drive (e.g. Drive "
    L"letter C:, D: or E: etc) from the Drives list tree.";
const wchar_t* const kNoRecoveryItem2 =
    L"2. All Recovery Modes are recover data using different Data Recovery Techniques in different cases of "
    L"Data Loss. In most of the cases, at least one recovery mode may work for you, even if another fails to "
    L"recover your data.";

} // namespace

// ---- Shared link handling ---------------------------------------------------------------------

void CNoticeDialog::SetupLink(CMy_Link_Static& link, int id, const wchar_t* text)
{
    SetupLinkLabel(this, link, id, text);
}

void CNoticeDialog::CreateShareTips()
{
    if (!m_toolTip.Create(this))
        return;
    AddShareTips(m_toolTip, this);
    m_toolTip.Activate(TRUE);
}

void CNoticeDialog::OnStnClickedLink()
{
    OpenWithShell(kShellOpenLink, SupportMailLink, this);
}
void CNoticeDialog::OnStnClickedLink2()
{
    OpenWithShell(kShellOpenLink, WebSiteLink, this);
}
void CNoticeDialog::OnStnClickedLink4()
{
    OpenWithShell(kShellOpenLink, ResellerMailLink, this);
}

void CNoticeDialog::OnShareIcon(UINT id)
{
    OpenShareIconLink(id);
}

BOOL CNoticeDialog::OnSetCursor(CWnd* wnd, UINT, UINT)
{
    const int id = wnd ? wnd->GetDlgCtrlID() : 0;
    if (id >= IDC_SHARE_1 && id <= IDC_SHARE_4) {
        ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
    }
    return (BOOL)Default();
}

// ---- About ---------------------------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CAbout_Dlg, CNoticeDialog)
    ON_STN_CLICKED(IDC_ABOUT_MAIL, &CAbout_Dlg::OnStnClickedLink)
    ON_STN_CLICKED(IDC_ABOUT_WEB, &CAbout_Dlg::OnStnClickedLink2)
    ON_STN_CLICKED(IDC_NOTICE_RESELLER_MAIL, &CAbout_Dlg::OnStnClickedLink4)
    ON_STN_CLICKED(IDC_NOTICE_RESELLER_LINK, &CAbout_Dlg::OnStnClickedLink4)
    ON_CONTROL_RANGE(STN_CLICKED, IDC_SHARE_1, IDC_SHARE_4, &CAbout_Dlg::OnShareIcon)
    ON_BN_CLICKED(IDC_NOTICE_OK, &CAbout_Dlg::OnBnClickedOk)
    ON_WM_SETCURSOR()
    ON_WM_CTLCOLOR()
    ON_WM_PAINT()
    ON_MESSAGE(WM_HELP, &CAbout_Dlg::OnHelpIgnored)
END_MESSAGE_MAP()

CAbout_Dlg::CAbout_Dlg(CWnd* parent) : CNoticeDialog(IDD_ABOUT_DIALOG, parent, ZrKeyFilter::TipsNoEnter) { }

BOOL CAbout_Dlg::OnInitDialog()
{
    CNoticeDialog::OnInitDialog();
    SetupLink(m_mail, IDC_ABOUT_MAIL, SupportMailText);
    SetupLink(m_web, IDC_ABOUT_WEB, WebSiteLink);
    SetupLink(m_resellerMail, IDC_NOTICE_RESELLER_MAIL, ResellerMailText);
    SetupLink(m_resellerLink, IDC_NOTICE_RESELLER_LINK);
    MakeIconButton(m_ok, IDC_NOTICE_OK, IDI_OK);
    CreateShareTips();
    return TRUE;
}

void CAbout_Dlg::OnPaint()
{
    CPaintDC dc(this); // the controls and the background do the drawing
}

// ---- Help and support ----------------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CHelp, CNoticeDialog)
    ON_STN_CLICKED(IDC_HELP_MAIL, &CHelp::OnStnClickedLink)
    ON_STN_CLICKED(IDC_HELP_WEB, &CHelp::OnStnClickedLink2)
    ON_STN_CLICKED(IDC_HELP_SUPPORT, &CHelp::OnStnClickedLink)
    ON_STN_CLICKED(IDC_HELP_GUIDE, &CHelp::OnLaunchHelp)
    ON_BN_CLICKED(IDC_HELP_LAUNCH, &CHelp::OnLaunchHelp)
    ON_STN_CLICKED(IDC_NOTICE_RESELLER_MAIL, &CHelp::OnStnClickedLink4)
    ON_STN_CLICKED(IDC_NOTICE_RESELLER_LINK, &CHelp::OnStnClickedLink4)
    ON_CONTROL_RANGE(STN_CLICKED, IDC_SHARE_1, IDC_SHARE_4, &CHelp::OnShareIcon)
    ON_BN_CLICKED(IDOK, &CHelp::OnBnClickedOk)
    ON_WM_SETCURSOR()
    ON_WM_CTLCOLOR()
    ON_MESSAGE(WM_HELP, &CHelp::OnHelpKey)
END_MESSAGE_MAP()

CHelp::CHelp(CWnd* parent) : CNoticeDialog(IDD_HELP_SUPPORT_DIALOG, parent, ZrKeyFilter::TipsNoEnter) { }

BOOL CHelp::OnInitDialog()
{
    CNoticeDialog::OnInitDialog();
    SetupLink(m_mail, IDC_HELP_MAIL, SupportMailText);
    SetupLink(m_web, IDC_HELP_WEB, WebSiteLink);
    SetupLink(m_guide, IDC_HELP_GUIDE);
    SetupLink(m_support, IDC_HELP_SUPPORT);
    SetupLink(m_resellerMail, IDC_NOTICE_RESELLER_MAIL, ResellerMailText);
    SetupLink(m_resellerLink, IDC_NOTICE_RESELLER_LINK);
    MakeIconButton(m_launch, IDC_HELP_LAUNCH, IDI_HELP);
    MakeIconButton(m_ok, IDOK, IDI_OK);
    CreateShareTips();
    return TRUE;
}

void CHelp::OnLaunchHelp()
{
    OpenHelpFile();
}

LRESULT CHelp::OnHelpKey(WPARAM, LPARAM)
{
    OpenHelpFile();
    return TRUE;
}

// ---- Recovery is not possible ------------------------------------------------------------------

CNoRecoveryNotice::CNoRecoveryNotice(UINT templateId, CWnd* parent, const Ids& ids)
    : CNoticeDialog(templateId, parent, ZrKeyFilter::NoEscape), m_ids(ids)
{ }

BOOL CNoRecoveryNotice::OnInitDialog()
{
    CNoticeDialog::OnInitDialog();
    BasicNoticeState = 2;
    DeepNoticeState = 2;
    for (int id : { m_ids.headline, m_ids.label })
        if (CWnd* text = GetDlgItem(id))
            text->SetFont(&SharedGdi.FontArial16Bold);
    SetDlgItemText(IDC_NOTICE_ITEM1, kNoRecoveryItem1);
    SetDlgItemText(m_ids.item2, kNoRecoveryItem2);
    SetupLink(m_contact, m_ids.contact);
    SetupLink(m_web, IDC_NOTICE_WEB, WebSiteLink);
    MakeIconButton(m_ok, m_ids.ok, IDI_OK);
    SetForegroundWindow();
    return TRUE;
}

BEGIN_MESSAGE_MAP(CMsgStand, CNoRecoveryNotice)
    ON_STN_CLICKED(IDC_MS_CONTACT, &CMsgStand::OnStnClickedLink)
    ON_STN_CLICKED(IDC_NOTICE_WEB, &CMsgStand::OnStnClickedLink2)
    ON_BN_CLICKED(IDC_MS_OK, &CMsgStand::OnBnClickedOk)
    ON_WM_CTLCOLOR()
    ON_MESSAGE(WM_HELP, &CMsgStand::OnHelpIgnored)
END_MESSAGE_MAP()

CMsgStand::CMsgStand(CWnd* parent)
    : CNoRecoveryNotice(IDD_MSG_STAND_DIALOG, parent,
                        { IDC_MS_HEADLINE, IDC_MS_LABEL, IDC_MS_ITEM2, IDC_MS_CONTACT, IDC_MS_OK })
{ }

BEGIN_MESSAGE_MAP(CAdvanceDlg, CNoRecoveryNotice)
    ON_STN_CLICKED(IDC_AD_CONTACT, &CAdvanceDlg::OnStnClickedLink)
    ON_STN_CLICKED(IDC_NOTICE_WEB, &CAdvanceDlg::OnStnClickedLink2)
    ON_BN_CLICKED(IDC_NOTICE_OK, &CAdvanceDlg::OnBnClickedOk)
    ON_WM_CTLCOLOR()
    ON_MESSAGE(WM_HELP, &CAdvanceDlg::OnHelpIgnored)
END_MESSAGE_MAP()

CAdvanceDlg::CAdvanceDlg(CWnd* parent)
    : CNoRecoveryNotice(IDD_ADVANCE_DIALOG, parent,
                        { IDC_AD_HEADLINE, IDC_AD_LABEL, IDC_AD_ITEM2, IDC_AD_CONTACT, IDC_NOTICE_OK })
{ }

// ---- Destination notice ------------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CSaveMsg, CNoticeDialog)
    ON_BN_CLICKED(IDC_SM_CONTINUE, &CSaveMsg::OnBnClickedOk)
    ON_WM_CTLCOLOR()
    ON_MESSAGE(WM_HELP, &CSaveMsg::OnHelpIgnored)
END_MESSAGE_MAP()

CSaveMsg::CSaveMsg(CWnd* parent) : CNoticeDialog(IDD_SAVE_MSG_DIALOG, parent, ZrKeyFilter::EatEnterAndEscape) { }

BOOL CSaveMsg::OnInitDialog()
{
    CNoticeDialog::OnInitDialog();
    if (CWnd* headline = GetDlgItem(IDC_SM_HEADLINE))
        headline->SetFont(&SharedGdi.FontArial16Bold);
    MakeIconButton(m_continue, IDC_SM_CONTINUE, IDI_OK);
    return TRUE;
}

// ---- Share ---------------------------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CShare_It_Dlg, CDialog)
    ON_BN_CLICKED(IDC_SHARE_IT_GO, &CShare_It_Dlg::OnGo)
    ON_WM_SETCURSOR()
END_MESSAGE_MAP()

CShare_It_Dlg::CShare_It_Dlg(CWnd* parent) : CDialog(IDD_SHARE_IT_DIALOG, parent) { }

HWND CShare_It_Dlg::RequestedOwner() const
{
    return ZrPickDialogOwner(CDialog::RequestedOwner());
}

CShare_It_Dlg::~CShare_It_Dlg()
{
    if (m_hIcon)
        ::DestroyIcon(m_hIcon);
}

BOOL CShare_It_Dlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetForegroundWindow();
    m_hIcon = LoadIconImage(IDR_MAINFRAME, 32);
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    if (m_go.SubclassDlgItem(IDC_SHARE_IT_GO, this)) {
        m_go.LoadBitmaps(IDB_SHARE_IT_UP, IDB_SHARE_IT_DOWN);
        m_go.SizeToContent();
    }
    return TRUE;
}

void CShare_It_Dlg::OnGo()
{
    OpenMaximised(L"Open", SocialCommentsPageLink);
}

BOOL CShare_It_Dlg::OnSetCursor(CWnd* wnd, UINT, UINT)
{
    if (wnd && wnd->GetDlgCtrlID() == IDC_SHARE_IT_GO) {
        ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
    }
    return (BOOL)Default();
}

// ---- No device ---------------------------------------------------------------------------------

ZrDriveTreeRefresher SetNoDeviceRefresher(ZrDriveTreeRefresher refresher)
{
    return g_refresher.exchange(refresher != nullptr ? refresher : RefreshActiveDriveTree);
}

BEGIN_MESSAGE_MAP(CNoDevice, CNoticeDialog)
    ON_BN_CLICKED(IDC_ND_RETRY, &CNoDevice::OnRetry)
    ON_BN_CLICKED(IDC_NOTICE_OK, &CNoDevice::OnExit)
    ON_BN_CLICKED(IDCANCEL, &CNoDevice::OnExit)
    ON_STN_CLICKED(IDC_ND_CONTACT, &CNoDevice::OnStnClickedLink)
    ON_STN_CLICKED(IDC_NOTICE_WEB, &CNoDevice::OnStnClickedLink2)
    ON_WM_CLOSE()
    ON_WM_DESTROY()
    ON_WM_CTLCOLOR()
    ON_MESSAGE(WM_HELP, &CNoDevice::OnHelpIgnored)
END_MESSAGE_MAP()

CNoDevice::CNoDevice(CWnd* parent) : CNoticeDialog(IDD_NO_DEVICE_DIALOG, parent, ZrKeyFilter::NoEnterNoEscape) { }

CNoDevice::~CNoDevice()
{
    CNoDevice* self = this;
    g_pNoDeviceDlg.compare_exchange_strong(self, nullptr);
}

BOOL CNoDevice::OnInitDialog()
{
    CNoticeDialog::OnInitDialog();
    int expected = 0;
    if (!NoDeviceVisible.compare_exchange_strong(expected, 1)) {
        // One is on screen already: this one ends before it is ever shown.
        EndDialog(IDCANCEL);
        return FALSE;
    }
    m_shown = true;
    g_pNoDeviceDlg = this;
    if (CWnd* headline = GetDlgItem(IDC_ND_HEADLINE)) {
        headline->SetFont(&SharedGdi.FontArial16BoldNotice);
        headline->SetWindowText(
            CString(kProductTitle) +
            L" could not find any Disk Drive or other USB mass storage connected to your Computer.");
    }
    SetupLink(m_contact, IDC_ND_CONTACT);
    SetupLink(m_web, IDC_NOTICE_WEB, WebSiteLink);
    MakeIconButton(m_retry, IDC_ND_RETRY, IDI_OK);
    MakeIconButton(m_exit, IDC_NOTICE_OK, IDI_EXIT);
    if (SearchHost* host = GetSearchHost())
        if (CDialog* search = host->ActiveSearchDialog())
            if (search->GetSafeHwnd())
                search->EnableWindow(FALSE);
    return TRUE;
}

void CNoDevice::OnRetry()
{
    const bool found = g_refresher.load()();
    SearchHost* host = GetSearchHost();
    CDialog* search = host ? host->ActiveSearchDialog() : nullptr;
    if (host)
        host->ShowHintPanel(SW_SHOW);
    if (!found) {
        if (search && search->GetSafeHwnd())
            search->EnableWindow(FALSE);
        return;
    }
    if (search && search->GetSafeHwnd()) {
        const bool loading = host->LogLoaderOf(host->SearchMode.load()) != nullptr;
        search->EnableWindow(loading ? FALSE : TRUE);
    }
    NoDeviceVisible = 0;
    EndDialog(IDOK);
}

void CNoDevice::OnExit()
{
    SearchHost* host = GetSearchHost();
    CWnd* main = host != nullptr ? host->LauncherWindow() : nullptr;
    if (main && main->GetSafeHwnd()) {
        const int mode = host->SearchMode.load();
        if (CDialog* search = host->ActiveSearchDialog())
            search->EndDialog(IDOK);
        main->ShowWindow(SW_SHOW);
        // The search's workers are asked to stop; each runs its own finishing steps.
        if (mode == kModeBasic || mode == kModeDeep) {
            if (CWinThread* populate = g_pPopulateListThread)
                populate->RequestStop();
            if (g_pPopulateDlg && g_pPopulateDlg->GetSafeHwnd())
                g_pPopulateDlg->ShowWindow(SW_HIDE);
            if (CWinThread* loader = host->LogLoaderOf(mode))
                loader->RequestStop();
        }
        main->ShowWindow(SW_SHOWMINIMIZED);
        main->ShowWindow(SW_RESTORE);
        main->EnableWindow(TRUE);
        main->CenterWindow();
        if (host->LogLoaderRunning())
            main->EnableWindow(FALSE);
    }
    NoDeviceVisible = 0;
    EndDialog(IDCANCEL);
}

void CNoDevice::OnDestroy()
{
    Default();
    CNoDevice* self = this;
    g_pNoDeviceDlg.compare_exchange_strong(self, nullptr);
    // A window that goes any other way must not leave the next dialog refused.
    if (m_shown)
        NoDeviceVisible = 0;
    m_shown = false;
}

// ---- Runners -------------------------------------------------------------------------------------

void ShowMsgStandDialog(CWnd* owner)
{
    CMsgStand dlg(owner);
    dlg.DoModal();
}

void ShowAdvanceDialog(CWnd* owner)
{
    CAdvanceDlg dlg(owner);
    dlg.DoModal();
}

INT_PTR ShowSaveMsgDialog(CWnd* owner)
{
    CSaveMsg dlg(owner);
    return dlg.DoModal();
}

void ShowShareDialog(CWnd* owner)
{
    CShare_It_Dlg dlg(owner);
    dlg.DoModal();
}

void ShowAboutDialog()
{
    CAbout_Dlg dlg;
    dlg.DoModal();
    RestoreBusyState();
}

void ShowHelpDialog()
{
    CHelp dlg;
    dlg.DoModal();
    RestoreBusyState();
}

void RestoreBusyState()
{
    const SearchHost* host = GetSearchHost();
    const bool loading = host != nullptr && host->LogLoaderRunning();
    if (!loading && g_pPopulateListThread == nullptr)
        return;
    const int mode = host != nullptr ? host->SearchMode.load() : kModeNone;
    CTreeClass* tree = ActiveTree;
    if ((mode == kModeBasic || mode == kModeDeep) && tree != nullptr && tree->GetSafeHwnd() != nullptr)
        tree->EnableWindow(FALSE);
    if (g_pPopulateListThread != nullptr && g_pPopulateDlg != nullptr && g_pPopulateDlg->GetSafeHwnd() != nullptr) {
        g_pPopulateDlg->ShowWindow(SW_SHOW);
        g_pPopulateDlg->SetForegroundWindow();
    }
}

FolderBrowserHook SetFolderBrowserHook(FolderBrowserHook hook)
{
    return g_folderBrowserHook.exchange(hook);
}

CString BrowseForFolder(CWnd* owner, const wchar_t* title, UINT flags)
{
    if (const FolderBrowserHook hook = g_folderBrowserHook.load())
        return hook(owner);
    ShowSaveMsgDialog(owner);
    return BrowseShellFolder(owner, title, flags);
}
