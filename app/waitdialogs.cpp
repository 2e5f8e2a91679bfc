#include "app/waitdialogs.h"

#include "app/searchhost.h"
#include "app/startup.h"
#include "resource.h"

std::atomic<CSplash*> g_pSplashDlg{ nullptr };
std::atomic<int> SplashMayClose{ 0 };
CPopulate* g_pPopulateDlg = nullptr;
CWinThread* g_pPopulateListThread = nullptr;
UINT SplashCheckMs = 2000;

namespace {

constexpr UINT_PTR kSplashTimerId = 1;

BOOL FillWhite(CWnd* wnd, CDC* dc)
{
    CRect rect;
    wnd->GetClientRect(&rect);
    dc->FillSolidRect(&rect, RGB(255, 255, 255));
    return TRUE;
}

HBRUSH WhiteStatic(CDC* dc, UINT ctlColor, HBRUSH fallback)
{
    if (ctlColor != CTLCOLOR_STATIC)
        return fallback;
    dc->SetBkColor(RGB(255, 255, 255));
    dc->SetTextColor(RGB(0, 0, 0));
    dc->SetBkMode(TRANSPARENT);
    return (HBRUSH)SharedGdi.WhiteBrush.GetSafeHandle();
}

// Enter and Escape must not end a dialog that only informs.
bool IsEnterOrEscape(const MSG* msg)
{
    return msg->message == WM_KEYDOWN && (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE);
}

void SetDialogIcons(CWnd* wnd, HICON& icon)
{
    icon = LoadIconImage(IDR_MAINFRAME, 32);
    wnd->SetIcon(icon, TRUE);
    wnd->SetIcon(icon, FALSE);
}

} // namespace

// ---- Loading -------------------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CModeless1, CDialog)
    ON_WM_ERASEBKGND()
    ON_WM_CTLCOLOR()
    ON_MESSAGE(WM_HELP, &CModeless1::OnHelp)
END_MESSAGE_MAP()

CModeless1::CModeless1(CWnd* parent, CModeless1** keeper) : CDialog(IDD_LOADING_DIALOG, parent), m_keeper(keeper) { }

CModeless1::~CModeless1()
{
    if (m_hIcon)
        ::DestroyIcon(m_hIcon);
}

BOOL CModeless1::Create()
{
    return CDialog::Create(IDD_LOADING_DIALOG, m_pParentWnd);
}

void CModeless1::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_LOADING_PROGRESS, m_progress);
    DDX_Control(pDX, IDC_LOADING_TEXT, m_text);
}

BOOL CModeless1::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetDialogIcons(this, m_hIcon);
    MarkClosesByItself(m_hWnd);
    m_text.SetBkColor(RGB(255, 255, 255));
    return TRUE;
}

BOOL CModeless1::PreTranslateMessage(MSG* pMsg)
{
    if (IsEnterOrEscape(pMsg))
        return TRUE;
    return CDialog::PreTranslateMessage(pMsg);
}

void CModeless1::PostNcDestroy()
{
    if (m_keeper != nullptr && *m_keeper == this)
        *m_keeper = nullptr;
    delete this;
}

BOOL CModeless1::OnEraseBkgnd(CDC* dc)
{
    return FillWhite(this, dc);
}

HBRUSH CModeless1::OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor)
{
    return WhiteStatic(dc, ctlColor, (HBRUSH)Default());
}

// ---- Wait ----------------------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CPlease_Wail_Modeless, CDialog)
    ON_WM_CLOSE()
    ON_WM_DESTROY()
    ON_WM_ERASEBKGND()
    ON_WM_CTLCOLOR()
    ON_MESSAGE(WM_HELP, &CPlease_Wail_Modeless::OnHelp)
    ON_MESSAGE(WM_ACTIVATEAPP, &CPlease_Wail_Modeless::OnActivateApp)
END_MESSAGE_MAP()

CPlease_Wail_Modeless::CPlease_Wail_Modeless(CWnd* parent) : CDialog(IDD_WAIT_DIALOG, parent)
{
    m_brWhite.CreateSolidBrush(RGB(255, 255, 255));
}

CPlease_Wail_Modeless::~CPlease_Wail_Modeless()
{
    if (m_hIcon)
        ::DestroyIcon(m_hIcon);
}

BOOL CPlease_Wail_Modeless::Create()
{
    return CDialog::Create(IDD_WAIT_DIALOG, m_pParentWnd);
}

void CPlease_Wail_Modeless::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_WAIT_TEXT, m_text);
}

BOOL CPlease_Wail_Modeless::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetDialogIcons(this, m_hIcon);
    MarkClosesByItself(m_hWnd);
    m_text.SetBkColor(RGB(255, 255, 255));
    m_text.GetWindowText(m_strText);
    return TRUE;
}

BOOL CPlease_Wail_Modeless::PreTranslateMessage(MSG* pMsg)
{
    // Neither typing nor clicking reaches it or its text.
    bool input = (pMsg->message >= WM_KEYFIRST && pMsg->message <= WM_KEYLAST) ||
        (pMsg->message >= WM_MOUSEFIRST && pMsg->message <= WM_MOUSELAST);
    if (input && (pMsg->hwnd == m_hWnd || ::GetParent(pMsg->hwnd) == m_hWnd)) {
        pMsg->wParam = 0;
        return TRUE;
    }
    return CDialog::PreTranslateMessage(pMsg);
}

void CPlease_Wail_Modeless::OnDestroy()
{
    Default();
    if (m_hIcon) {
        ::DestroyIcon(m_hIcon);
        m_hIcon = nullptr;
    }
    m_brWhite.DeleteObject();
}

LRESULT CPlease_Wail_Modeless::OnActivateApp(WPARAM active, LPARAM)
{
    LRESULT result = Default();
    if (active)
        SetForegroundWindow();
    return result;
}

BOOL CPlease_Wail_Modeless::OnEraseBkgnd(CDC* dc)
{
    return FillWhite(this, dc);
}

HBRUSH CPlease_Wail_Modeless::OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor)
{
    return WhiteStatic(dc, ctlColor, (HBRUSH)Default());
}

// ---- Populating ------------------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CPopulate, CDialog)
    ON_BN_CLICKED(IDC_POPULATE_CANCEL, &CPopulate::OnBnClickedCancel)
    ON_WM_SHOWWINDOW()
    ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

CPopulate::CPopulate() : CDialog(IDD_POPULATE_DIALOG)
{
    g_pPopulateDlg = nullptr;
}

BOOL CPopulate::Create(CWnd* parent)
{
    return CDialog::Create(IDD_POPULATE_DIALOG, parent);
}

void CPopulate::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_POPULATE_TEXT, m_text);
    DDX_Control(pDX, IDC_POPULATE_CANCEL, m_cancel);
}

BOOL CPopulate::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetDialogIcons(this, m_hIcon);
    MarkClosesByItself(m_hWnd);
    m_text.SetBkColor(RGB(255, 255, 255));
    CString caption;
    m_cancel.GetWindowText(caption);
    m_cancel.SetWindowText(L"");
    m_cancel.SetIcon(LoadIconImage(IDI_EXIT, 16), 16, 16, caption);
    return TRUE;
}

void CPopulate::OnBnClickedCancel()
{
    if (!g_pPopulateListThread)
        return;
    ShowWindow(SW_HIDE);
    if (m_cancelFlag)
        *m_cancelFlag = 1;
}

void CPopulate::OnShowWindow(BOOL show, UINT status)
{
    Default();
    if (!show && m_cancelFlag)
        *m_cancelFlag = 0;
}

BOOL CPopulate::OnEraseBkgnd(CDC* dc)
{
    return FillWhite(this, dc);
}

// ---- Splash -----------------------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CSplash, CDialog)
    ON_WM_TIMER()
    ON_WM_PAINT()
    ON_WM_DESTROY()
    ON_WM_ERASEBKGND()
    ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

CSplash::CSplash() : CDialog(IDD_SPLASH_DIALOG) { }

CSplash::~CSplash()
{
    CSplash* self = this;
    g_pSplashDlg.compare_exchange_strong(self, nullptr);
    if (m_hIcon)
        ::DestroyIcon(m_hIcon);
}

BOOL CSplash::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetDialogIcons(this, m_hIcon);
    MarkClosesByItself(m_hWnd);
    g_pSplashDlg = this;
    if (CWnd* text = GetDlgItem(IDC_LOADING_TEXT))
        text->SetFont(&SharedGdi.FontVerdana13Bold);
    if (CWnd* text = GetDlgItem(IDC_SPLASH_WAIT_TEXT))
        text->SetFont(&SharedGdi.FontConsolas22Bold);
    SetWindowText(L"Zembrolix Recovery (Premium)");
    SetTimer(kSplashTimerId, SplashCheckMs);
    return TRUE;
}

BOOL CSplash::PreTranslateMessage(MSG* pMsg)
{
    if (IsEnterOrEscape(pMsg))
        return TRUE;
    return CDialog::PreTranslateMessage(pMsg);
}

void CSplash::OnTimer(UINT_PTR id)
{
    if (id == kSplashTimerId) {
        if (!CommandLineLogPending.load()) {
            EndDialog(IDCANCEL);
        } else {
            int mayClose = 1;
            if (SplashMayClose.compare_exchange_strong(mayClose, 0))
                EndDialog(IDCANCEL);
        }
    }
    Default();
}

void CSplash::OnPaint()
{
    CPaintDC dc(this);
}

void CSplash::OnDestroy()
{
    // Cleared as the window goes, so nobody hides or owns a message box with a dead splash.
    CSplash* self = this;
    g_pSplashDlg.compare_exchange_strong(self, nullptr);
    Default();
}

BOOL CSplash::OnEraseBkgnd(CDC* dc)
{
    return FillWhite(this, dc);
}

HBRUSH CSplash::OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor)
{
    return WhiteStatic(dc, ctlColor, (HBRUSH)Default());
}
