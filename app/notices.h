// The notice and information dialogs: about, help and support, the two "recovery is not
// possible" notices, the destination notice, the share dialog and the no-device dialog.
#pragma once
#include <atomic>
#include <cstdint>

#include "afxwin.h"
#include "app/smalldialog.h"
#include "look/iconbutton.h"

// Set to 2 when either "recovery is not possible" notice has been shown; the folder-listing
// worker shows a notice only while its state is below 2.
extern std::atomic<int32_t> BasicNoticeState;
extern std::atomic<int32_t> DeepNoticeState;

// A dialog with link labels and, in the about and help dialogs, the four share icons.
class CNoticeDialog : public CSmallDialog {
public:
    using CSmallDialog::CSmallDialog;

protected:
    // Subclasses a link label, colours it blue on white and (when text is given) sets its text.
    void SetupLink(CMy_Link_Static& link, int id, const wchar_t* text = nullptr);
    // The four share tips, relayed through the key filter.
    void CreateShareTips();

    void OnBnClickedOk() { CDialog::OnOK(); }
    void OnBnClickedCancel() { CDialog::OnCancel(); }
    void OnStnClickedLink();  // support mail
    void OnStnClickedLink2(); // web site
    void OnStnClickedLink4(); // reseller mail
    void OnShareIcon(UINT id);
    BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message);
    HBRUSH OnCtlColor(CDC* dc, CWnd*, UINT ctlColor) { return WhiteStatic(dc, ctlColor); }
};

class CAbout_Dlg : public CNoticeDialog {
public:
    explicit CAbout_Dlg(CWnd* parent = nullptr);

protected:
    BOOL OnInitDialog() override;
    void OnPaint();

    CMy_Link_Static m_mail, m_web, m_resellerMail, m_resellerLink;
    CMyBtn m_ok;
    DECLARE_MESSAGE_MAP()
};

class CHelp : public CNoticeDialog {
public:
    explicit CHelp(CWnd* parent = nullptr);

protected:
    BOOL OnInitDialog() override;
    void OnLaunchHelp();
    LRESULT OnHelpKey(WPARAM, LPARAM);

    CMy_Link_Static m_mail, m_web, m_guide, m_support, m_resellerMail, m_resellerLink;
    CMyBtn m_launch, m_ok;
    DECLARE_MESSAGE_MAP()
};

// The two "recovery is not possible" notices share one layout under different ids.
class CNoRecoveryNotice : public CNoticeDialog {
public:
    struct Ids {
        int headline, label, item2, contact, ok;
    };
    CNoRecoveryNotice(UINT templateId, CWnd* parent, const Ids& ids);

protected:
    BOOL OnInitDialog() override;

    Ids m_ids;
    CMy_Link_Static m_contact, m_web;
    CMyBtn m_ok;
};

class CMsgStand : public CNoRecoveryNotice {
public:
    explicit CMsgStand(CWnd* parent = nullptr);
    DECLARE_MESSAGE_MAP()
};

class CAdvanceDlg : public CNoRecoveryNotice {
public:
    explicit CAdvanceDlg(CWnd* parent = nullptr);
    DECLARE_MESSAGE_MAP()
};

// Read before the destination folder of recovered files is chosen; "Continue..." is the only way on.
class CSaveMsg : public CNoticeDialog {
public:
    explicit CSaveMsg(CWnd* parent = nullptr);

protected:
    BOOL OnInitDialog() override;

    CMyBtn m_continue;
    DECLARE_MESSAGE_MAP()
};

class CShare_It_Dlg : public CDialog {
public:
    explicit CShare_It_Dlg(CWnd* parent = nullptr);
    ~CShare_It_Dlg() override;

protected:
    // Over the window the user is looking at (the owner asked for when it can take input).
    HWND RequestedOwner() const override;
    BOOL OnInitDialog() override;
    void OnGo();
    BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message);

    CBitmapButton m_go;
    HICON m_hIcon = nullptr;
    DECLARE_MESSAGE_MAP()
};

// Rebuilds the drive trees after a media change and tells whether the current mode's tree holds
// a drive; the no-device dialog's Retry calls it. The program's own (the default, and what null
// restores) rebuilds the open search dialog's drive tree from the drives attached now.
typedef bool (*ZrDriveTreeRefresher)();
ZrDriveTreeRefresher SetNoDeviceRefresher(ZrDriveTreeRefresher refresher);

// No disk or USB mass-storage device was found. Retry looks again; Exit ends the current search.
// Only one can be on screen: another one ends at once with IDCANCEL.
class CNoDevice : public CNoticeDialog {
public:
    explicit CNoDevice(CWnd* parent = nullptr);
    ~CNoDevice() override;

protected:
    BOOL OnInitDialog() override;
    void OnRetry();
    void OnExit();
    void OnClose() { OnExit(); }
    void OnDestroy();

    bool m_shown = false;
    CMy_Link_Static m_contact, m_web;
    CMyBtn m_retry, m_exit;
    DECLARE_MESSAGE_MAP()
};

// 1 while a no-device dialog is on screen.
extern std::atomic<int> NoDeviceVisible;
// The no-device dialog on screen, or null.
extern std::atomic<CNoDevice*> g_pNoDeviceDlg;

// The notice shown before a destination is chosen, then the shell's folder browser titled `title`
// (BROWSEINFO flags `flags`); the chosen folder, or an empty text when the user cancels. While a
// hook is set (tests), the hook answers instead of both.
CString BrowseForFolder(CWnd* owner, const wchar_t* title, UINT flags);
using FolderBrowserHook = CString (*)(CWnd* owner);
FolderBrowserHook SetFolderBrowserHook(FolderBrowserHook hook);

// Run each dialog modally on the calling thread.
void ShowMsgStandDialog(CWnd* owner);
void ShowAdvanceDialog(CWnd* owner);
INT_PTR ShowSaveMsgDialog(CWnd* owner);
void ShowShareDialog(CWnd* owner);
// The about box and the help dialog, each run modally and followed by RestoreBusyState.
void ShowAboutDialog();
void ShowHelpDialog();
// After a modal dialog has enabled its owner again: while a log loader or a folder listing
// runs, the results tree is locked again and the listing's notice comes back to the front.
void RestoreBusyState();
