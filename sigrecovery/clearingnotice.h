// CRawDlg: the small notice a carving search shows for a second while it empties a full result or
// thumbnail list ("Clearing current preview window..."). It takes no input; its owner keeps it
// up for its second and destroys it, without waiting for it.
#pragma once
#include "afxwin.h"
#include "app/smalldialog.h"

class CRawDlg : public CSmallDialog {
public:
    explicit CRawDlg(CWnd* owner);

    // Creates and shows the notice centred on its owner with the two lines, painted at once.
    bool Show(const CString& title, const CString& note);

protected:
    BOOL PreTranslateMessage(MSG* pMsg) override;
    void OnOK() override { }
    void OnCancel() override { }
    BOOL OnEraseBkgnd(CDC* dc);
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor);

    CWnd* m_owner;

    DECLARE_MESSAGE_MAP()
};
