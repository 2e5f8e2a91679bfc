#include "sigrecovery/clearingnotice.h"

#include "app/startup.h"
#include "resources/resource.h"

BEGIN_MESSAGE_MAP(CRawDlg, CDialog)
    ON_WM_ERASEBKGND()
    ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

CRawDlg::CRawDlg(CWnd* owner) : CDialog(IDD_CLEARING_NOTICE, owner), m_owner(owner) { }

CRawDlg::~CRawDlg()
{
    if (GetSafeHwnd() != nullptr)
        DestroyWindow();
    if (m_hIcon != nullptr)
        ::DestroyIcon(m_hIcon);
}

bool CRawDlg::Show(const CString& title, const CString& note)
{
    if (GetSafeHwnd() == nullptr && !Create(IDD_CLEARING_NOTICE, m_owner))
        return false;
    SetDlgItemText(IDC_CN_TITLE, title);
    SetDlgItemText(IDC_CN_NOTE, note);
    CenterWindow(m_owner);
    ShowWindow(SW_SHOWNOACTIVATE);
    // Painted now: the owner goes on with its work while the notice is up.
    UpdateWindow();
    return true;
}

BOOL CRawDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_hIcon = LoadIconImage(IDR_MAINFRAME, 32);
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    return FALSE;
}

BOOL CRawDlg::PreTranslateMessage(MSG* pMsg)
{
    // Neither keys nor clicks reach the notice.
    if ((pMsg->message >= WM_KEYFIRST && pMsg->message <= WM_KEYLAST) ||
        (pMsg->message >= WM_MOUSEFIRST && pMsg->message <= WM_MOUSELAST))
        return TRUE;
    return CDialog::PreTranslateMessage(pMsg);
}

BOOL CRawDlg::OnEraseBkgnd(CDC* dc)
{
    CRect client;
    GetClientRect(&client);
    dc->FillSolidRect(&client, RGB(255, 255, 255));
    return TRUE;
}

HBRUSH CRawDlg::OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor)
{
    if (ctlColor != CTLCOLOR_STATIC)
        return CDialog::OnCtlColor(dc, wnd, ctlColor);
    dc->SetBkColor(RGB(255, 255, 255));
    dc->SetTextColor(RGB(0, 0, 0));
    return (HBRUSH)::GetStockObject(WHITE_BRUSH);
}
