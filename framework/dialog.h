// CDialog and dialog data exchange.
//
// A dialog is made from a template by the system's dialog manager; the object takes the window
// over at WM_INITDIALOG, so from OnInitDialog on every message runs through the message map, and
// whatever the map leaves goes to the dialog manager's default handling.
//
// DoModal runs its own message loop rather than DialogBox's, so that PreTranslateMessage sees
// every message of the dialog's thread (keyboard shortcuts, swallowed keys) and temporary window
// objects are freed when the thread is idle (only by a loop that no handler of ours is running
// below, so a handler that opens a modal dialog keeps the temporaries it got before):
//   - the owner (RequestedOwner: the parent given unless a dialog picks its own; else this
//     thread's active window; its top-level window in either case) is disabled while the dialog
//     runs and enabled and activated again afterwards, unless it was disabled already;
//   - each message goes to WalkPreTranslateTree (up to the dialog), then IsDialogMessage, then
//     TranslateMessage/DispatchMessage; each time the queue runs empty the owner is sent
//     WM_ENTERIDLE (MSGF_DIALOGBOX, the dialog) unless the template has DS_NOIDLEMSG;
//   - EndDialog only records the result and ends the loop; DoModal then hides and destroys the
//     window and returns the result. EndDialog may be called from OnInitDialog (the dialog is then
//     never shown);
//   - a WM_QUIT taken from the queue is posted again and ends the loop; DoModal then returns -1,
//     as it does when the template cannot be loaded or the window is destroyed under it;
//   - loops nest (a dialog opened from a handler or from OnInitDialog of another) and run on any
//     thread that has windows of its own. Messages sent from other threads are delivered while
//     the loop waits, so a worker may SendMessage to a modal dialog.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include "wnd.h"
#include "msgmap.h"

class CDialog : public CWnd {
public:
    CDialog();
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    explicit CDialog(LPCWSTR templateName, CWnd* parent = nullptr);
    ~CDialog() override;

    // Modal: returns the EndDialog value, or -1 (see above).
    virtual INT_PTR DoModal();
    // Modeless: the window stays until DestroyWindow; override PostNcDestroy to `delete this` for a
    // dialog made with new. Keyboard navigation works while a CDialog loop or CWinApp::Run pumps.
    virtual BOOL Create(UINT templateId, CWnd* parent = nullptr);
    virtual BOOL Create(LPCWSTR templateName, CWnd* parent = nullptr);

    // Ends a modal dialog with this result (call it on the dialog's thread; a worker posts a
    // message instead). For a modeless dialog it only hides the window.
    void EndDialog(int result);

    virtual BOOL OnInitDialog(); // UpdateData(FALSE); TRUE: the dialog manager sets the focus
    virtual void OnOK();         // UpdateData(TRUE), then EndDialog(IDOK) when it succeeded
    virtual void OnCancel();     // EndDialog(IDCANCEL)

    // Offers keyboard messages for this (top-level) dialog to IsDialogMessage. Overrides that
    // swallow a key return TRUE for it and call this for the rest.
    BOOL PreTranslateMessage(MSG* pMsg) override;

    DWORD GetDefID() const; // MAKELONG(id, DC_HASDEFID), or 0
    void SetDefID(UINT id);
    void NextDlgCtrl() const;
    void PrevDlgCtrl() const;
    void GotoDlgCtrl(CWnd* control);
    void MapDialogRect(LPRECT rect) const;

    CWnd* m_pParentWnd = nullptr;
    LPCWSTR m_lpszTemplateName = nullptr; // MAKEINTRESOURCE(id) or a name kept by the object
    UINT m_nIDHelp = 0;

protected:
    LRESULT HandleInitDialog(WPARAM, LPARAM);
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    BOOL CreateFromTemplate(LPCWSTR templateName, HWND parent);
    void SetTemplate(LPCWSTR templateName);
    INT_PTR RunModalLoop();
    // The window DoModal is asked to run the dialog over (before it takes that window's top-level
    // window, or the active window when there is none): the parent given. A dialog that picks
    // its owner itself answers with the window's handle, which, unlike a temporary object for it,
    // stays good however long the dialog runs.
    virtual HWND RequestedOwner() const { return SafeHwnd(m_pParentWnd); }

    HWND m_hWndOwner = nullptr; // of the running modal loop
    int m_nModalResult = -1;
    std::atomic<bool> m_bContinueModal{ false };
    bool m_bInModalLoop = false;

    DECLARE_MESSAGE_MAP()

private:
    std::wstring m_templateNameStore;
};

// State of one UpdateData pass.
class CDataExchange {
public:
    CDataExchange(CWnd* dlgWnd, BOOL saveAndValidate);

    BOOL m_bSaveAndValidate; // TRUE: controls to members; FALSE: members to controls
    CWnd* m_pDlgWnd;
    HWND m_hWndLastControl = nullptr;
    BOOL m_bEditLastControl = FALSE;

    // The control's window, remembered as the one a later Fail() puts the focus on. A missing
    // control fails the exchange.
    HWND PrepareCtrl(int id);
    HWND PrepareEditCtrl(int id);
    // Ends the exchange unsuccessfully: UpdateData returns FALSE. When saving, the focus goes to
    // the control being exchanged (its text selected if it is an edit). No message is shown.
    [[noreturn]] void Fail();
};

// Exchange functions. Numbers that do not parse or do not fit (surrounding blanks are allowed,
// a sign is not for unsigned types) fail the exchange and leave the member unchanged.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
void DDX_Text(CDataExchange* pDX, int id, CString& value);
void DDX_Text(CDataExchange* pDX, int id, int& value);
void DDX_Text(CDataExchange* pDX, int id, UINT& value);
void DDX_Text(CDataExchange* pDX, int id, long& value);
void DDX_Text(CDataExchange* pDX, int id, DWORD& value);
void DDX_Text(CDataExchange* pDX, int id, long long& value);          // LONGLONG, int64_t
void DDX_Text(CDataExchange* pDX, int id, unsigned long long& value); // ULONGLONG, uint64_t
void DDX_Check(CDataExchange* pDX, int id, int& value);               // BST_UNCHECKED / CHECKED / INDETERMINATE
// id is the first button of a radio group; value is the index of the checked one, -1 for none.
void DDX_Radio(CDataExchange* pDX, int id, int& value);
void DDX_CBIndex(CDataExchange* pDX, int id, int& index);
// Saving reads the edit text (or the selected item of a drop-down list); loading selects the
// first item that starts with the value, or puts the value into the edit.
void DDX_CBString(CDataExchange* pDX, int id, CString& value);
// Loading limits the last exchanged edit or combo box to maxChars; saving fails when the value
// is longer.
void DDV_MaxChars(CDataExchange* pDX, const CString& value, int maxChars);
