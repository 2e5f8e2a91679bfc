#include "app/smalldialog.h"

#include "app/background.h"
#include "app/dialogchrome.h"
#include "app/startup.h"
#include "resource.h"

BEGIN_MESSAGE_MAP(CSmallDialog, CDialog)
    ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

CSmallDialog::CSmallDialog(UINT templateId, CWnd* parent, ZrKeyFilter filter)
    : CDialog(templateId, parent), m_filter(filter)
{ }

CSmallDialog::~CSmallDialog()
{
    if (m_hIcon)
        ::DestroyIcon(m_hIcon);
}

HWND CSmallDialog::RequestedOwner() const
{
    return ZrPickDialogOwner(CDialog::RequestedOwner());
}

BOOL CSmallDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetForegroundWindow();
    m_hIcon = LoadIconImage(IDR_MAINFRAME, 32);
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    return TRUE;
}

BOOL CSmallDialog::PreTranslateMessage(MSG* pMsg)
{
    if (m_filter == ZrKeyFilter::TipsNoEnter && m_toolTip.GetSafeHwnd())
        m_toolTip.RelayEvent(pMsg);
    if (pMsg->message == WM_KEYDOWN) {
        const WPARAM key = pMsg->wParam;
        if (key == VK_CANCEL && ::GetKeyState(VK_CONTROL) < 0)
            pMsg->wParam = 0;
        switch (m_filter) {
        case ZrKeyFilter::NoEnterNoEscape:
            if (key == VK_RETURN || key == VK_ESCAPE)
                pMsg->wParam = 0;
            break;
        case ZrKeyFilter::NoEscape:
            if (key == VK_ESCAPE)
                pMsg->wParam = 0;
            break;
        case ZrKeyFilter::TipsNoEnter:
            if (key == VK_RETURN)
                return TRUE;
            break;
        case ZrKeyFilter::EatEnterAndEscape:
            if (key == VK_RETURN || key == VK_ESCAPE)
                return TRUE;
            break;
        case ZrKeyFilter::None:
            break;
        }
    }
    return CDialog::PreTranslateMessage(pMsg);
}

BOOL CSmallDialog::OnEraseBkgnd(CDC* dc)
{
    CRect client;
    GetClientRect(&client);
    CRect inner = client;
    inner.DeflateRect(20, 20);
    const MARGINS margins = { 20, 20, 20, 20 };
    DrawDialogBackground(this, dc, inner, margins, m_dwm);
    return TRUE;
}

HBRUSH CSmallDialog::WhiteStatic(CDC* dc, UINT ctlColor, int bkMode)
{
    if (ctlColor != CTLCOLOR_STATIC)
        return (HBRUSH)Default();
    dc->SetBkColor(RGB(255, 255, 255));
    dc->SetTextColor(RGB(0, 0, 0));
    dc->SetBkMode(bkMode);
    return (HBRUSH)SharedGdi.WhiteBrush.GetSafeHandle();
}

void CSmallDialog::MakeIconButton(CMyBtn& button, int id, UINT icon)
{
    ::MakeIconButton(this, button, id, icon);
}
