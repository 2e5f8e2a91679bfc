// Four small captionless windows that keep the user informed while something long runs: the
// loading dialog of the Go buttons, the input-less wait dialog, the "Populating" dialog with its
// Cancel, and the start-up splash.
#pragma once
#include <atomic>

#include "afxwin.h"
#include "app/colorcontrols.h"
#include "look/iconbutton.h"
#include "storage/pure/globals.h"

// Modeless, made by a Go button with the launcher as parent; a timer of the launcher steps its
// bar. Deletes itself when its window is gone and clears the pointer that `keeper` names (the
// launcher's) when it still points to it.
class CModeless1 : public CDialog {
public:
    explicit CModeless1(CWnd* parent, CModeless1** keeper = nullptr);
    ~CModeless1() override;
    BOOL Create();

    CProgressCtrl m_progress;
    CColorStatic m_text;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    void PostNcDestroy() override;
    void OnOK() override { }
    void OnCancel() override { }
    BOOL OnEraseBkgnd(CDC* dc);
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor);
    LRESULT OnHelp(WPARAM, LPARAM) { return TRUE; }

    HICON m_hIcon = nullptr;
    CModeless1** m_keeper;
    DECLARE_MESSAGE_MAP()
};

// The launcher's one wait dialog, shown and hidden many times; it takes no keyboard or mouse input.
class CPlease_Wail_Modeless : public CDialog {
public:
    explicit CPlease_Wail_Modeless(CWnd* parent);
    ~CPlease_Wail_Modeless() override;
    BOOL Create();

    CColorStatic m_text;
    CString m_strText;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    void OnOK() override { }
    void OnCancel() override { }
    void OnClose() { }
    void OnDestroy();
    BOOL OnEraseBkgnd(CDC* dc);
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor);
    LRESULT OnHelp(WPARAM, LPARAM) { return TRUE; }
    LRESULT OnActivateApp(WPARAM active, LPARAM);

    HICON m_hIcon = nullptr;
    CBrush m_brWhite;
    DECLARE_MESSAGE_MAP()
};

// Shown while a folder's files are listed; Cancel asks the listing worker to stop.
class CPopulate : public CDialog {
public:
    CPopulate();
    BOOL Create(CWnd* parent);
    // The flag its Cancel sets: the listing's own stop flag (none until a listing gives it).
    void SetCancelFlag(std::atomic<uint32_t>* flag) { m_cancelFlag = flag; }

    CColorStatic m_text;
    CMyBtn m_cancel;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override { }
    void OnCancel() override { }
    void OnBnClickedCancel();
    void OnShowWindow(BOOL show, UINT status);
    BOOL OnEraseBkgnd(CDC* dc);

    HICON m_hIcon = nullptr;
    std::atomic<uint32_t>* m_cancelFlag = nullptr;
    DECLARE_MESSAGE_MAP()
};

// The start-up splash: modal on a thread of its own, it closes itself at the first two-second
// check after the command-line log has been taken over (SplashMayClose) or dropped.
class CSplash : public CDialog {
public:
    CSplash();
    ~CSplash() override;

protected:
    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    void OnOK() override { }
    void OnCancel() override { }
    void OnTimer(UINT_PTR id);
    void OnPaint();
    void OnDestroy();
    BOOL OnEraseBkgnd(CDC* dc);
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor);

    HICON m_hIcon = nullptr;
    DECLARE_MESSAGE_MAP()
};

extern std::atomic<CSplash*> g_pSplashDlg;
extern std::atomic<int> SplashMayClose;
extern CPopulate* g_pPopulateDlg;
extern CWinThread* g_pPopulateListThread;
// How often the splash looks whether it may close (2000 ms; tests shorten it).
extern UINT SplashCheckMs;
