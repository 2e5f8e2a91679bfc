// What the small question and notice dialogs share: the program icon, the painted background,
// white statics, icon buttons and the keyboard filters that keep Enter and Escape from ending a
// dialog by accident.
#pragma once
#include "afxwin.h"
#include "look/iconbutton.h"
#include "look/themeapi.h"

// Which keys a small dialog swallows (applied to WM_KEYDOWN before the dialog's own handling;
// Control+Break is neutralised by every filter).
enum class ZrKeyFilter {
    None,
    NoEnterNoEscape,   // Enter and Escape do nothing (key code set to 0)
    NoEscape,          // Escape does nothing, Enter works
    TipsNoEnter,       // every message goes to the tool tips first; Enter is eaten, Escape works
    EatEnterAndEscape, // Enter and Escape are eaten
};

class CSmallDialog : public CDialog {
public:
    CSmallDialog(UINT templateId, CWnd* parent, ZrKeyFilter filter);
    ~CSmallDialog() override;

protected:
    // A modal run goes over the window the user is looking at (the owner asked for when it can
    // take input), in front.
    HWND RequestedOwner() const override;
    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    BOOL OnEraseBkgnd(CDC* dc);
    // White background and black text for a static control (drawn with `bkMode`); the default
    // brush for the rest.
    HBRUSH WhiteStatic(CDC* dc, UINT ctlColor, int bkMode = TRANSPARENT);
    LRESULT OnHelpIgnored(WPARAM, LPARAM) { return TRUE; }
    // Subclasses the owner-drawn button `id` and moves its caption beside a 16 x 16 icon.
    void MakeIconButton(CMyBtn& button, int id, UINT icon);

    ZrKeyFilter m_filter;
    CToolTipCtrl m_toolTip; // created by the dialogs that relay to it
    HICON m_hIcon = nullptr;
    DwmApi m_dwm;

    DECLARE_MESSAGE_MAP()
};
