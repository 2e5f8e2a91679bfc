#include "sigrecovery/clearingnotice.h"

#include "app/searchhost.h"
#include "resources/resource.h"

BEGIN_MESSAGE_MAP(CRawDlg, CSmallDialog)
    ON_WM_ERASEBKGND()
    ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

CRawDlg::CRawDlg(CWnd* owner) : CSmallDialog(IDD_CLEARING_NOTICE, owner, ZrKeyFilter::None), m_owner(owner) { }

bool CRawDlg::Show(const CString& title, const CString& note)
{
    if (GetSafeHwnd() == nullptr && !Create(IDD_CLEARING_NOTICE, m_owner))
        return false;
    MarkClosesByItself(m_hWnd);
    SetDlgItemText(IDC_CN_TITLE, title);
    SetDlgItemText(IDC_CN_NOTE, note);
    CenterWindow(m_owner);
    ShowWindow(SW_SHOWNOACTIVATE);
    // Painted now: the owner goes on with its work while the notice is up.
    UpdateWindow();
    return true;
}

BOOL CRawDlg::PreTranslateMessage(MSG* pMsg)
{
    // Neither keys nor clicks reach the notice.
    if ((pMsg->message >= WM_KEYFIRST && pMsg->message <= WM_KEYLAST) ||
        (pMsg->message >= WM_MOUSEFIRST && pMsg->message <= WM_MOUSELAST))
        return TRUE;
    return CSmallDialog::PreTranslateMessage(pMsg);
}

BOOL CRawDlg::OnEraseBkgnd(CDC* dc)
{
    CRect client;
    GetClientRect(&client);
    dc->FillSolidRect(&client, RGB(255, 255, 255));
    return TRUE;
}

HBRUSH CRawDlg::OnCtlColor(CDC* dc, CWnd*, UINT ctlColor)
{
    return WhiteStatic(dc, ctlColor, OPAQUE);
}
