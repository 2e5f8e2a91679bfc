// CWnd: a thin object over an HWND, with a message map.
//
// A window gets an object in one of three ways: the object creates it (CreateEx), the object
// subclasses an existing window (SubclassWindow, SubclassDlgItem, the DDX_Control exchange), or a
// dialog object receives its window at WM_INITDIALOG. From then on every message to the window runs
// through WindowProc -> OnWndMsg, which looks the message up in the class's message map (and its
// bases' maps) and otherwise hands it to the window's previous procedure.
//
// Notifications that a child control sends its parent (WM_COMMAND, WM_NOTIFY, WM_DRAWITEM,
// WM_MEASUREITEM, WM_CTLCOLOR*) are first offered to the child's own object (OnChildNotify), so a
// control class can handle its own drawing and notifications through ON_..._REFLECT entries.
#pragma once
#include <windows.h>
#include <cstdint>
#include <functional>
#include "types.h"
#include "cstring.h"

class CWnd;
class CDC;
class CFont;
class CMenu;
class CDataExchange;

// One message being dispatched; a handler thunk fills `result`.
struct ZrMsgCall {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result;
};

// Returns true when the entry handled the message.
typedef bool (*ZrMsgThunk)(CWnd* self, ZrMsgCall& call);

enum class ZrEntryKind : uint8_t {
    End,
    Message,         // a window message by number
    Registered,      // a registered message; its number is read when the message arrives
    Command,         // WM_COMMAND from a control or menu: notification code and id
    CommandRange,    // WM_COMMAND with an id in [idFirst, idLast]
    Notify,          // WM_NOTIFY: notification code and id
    NotifyRange,     // WM_NOTIFY with an id in [idFirst, idLast]
    ReflectCommand,  // WM_COMMAND seen by the control that sent it
    ReflectNotify,   // WM_NOTIFY seen by the control that sent it
    ReflectNotifyEx, // as ReflectNotify, but the parent still sees it when the handler returns FALSE
    ReflectDrawItem, // WM_DRAWITEM seen by the control it draws
    ReflectMeasureItem,
    ReflectCtlColor, // WM_CTLCOLOR* seen by the control it colours
};

struct AFX_MSGMAP_ENTRY {
    ZrEntryKind kind;
    UINT message; // window message, or the notification code of command and notify kinds
    UINT idFirst;
    UINT idLast;
    const UINT* registered;
    ZrMsgThunk thunk;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* entries;
};

class CWnd {
public:
    CWnd();
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }
    // The window of an object pointer that may be null.
    static HWND SafeHwnd(const CWnd* w) { return w ? w->m_hWnd : nullptr; }

    // The object that owns a window, if any (any thread).
    static CWnd* FromHandlePermanent(HWND hWnd);
    // The owning object, or a temporary plain CWnd kept until the calling thread's message loop
    // is next idle. Callers must not keep a temporary across a message loop.
    static CWnd* FromHandle(HWND hWnd);
    static void DeleteTempMap();
    // Frees the calling thread's temporaries and bookkeeping; a thread that used windows calls it
    // as it ends (threads started by AfxBeginThread do so themselves).
    static void ReleaseThreadState();
    // True while one of our window objects is handling a message on this thread. Message loops
    // free temporaries only when it is false: a handler that runs a nested loop (a modal dialog)
    // may still hold temporaries it got before.
    static bool IsHandlingMessage();
    // The calling thread's temporary window objects (for leak checks in tests).
    static int TempObjectCount();
    // A check for tests (process-wide, off in the program): temporaries of every kind freed from
    // now on keep their memory, emptied of their handle, instead of giving it back. Code that
    // still holds one after a message loop went idle then acts on no window or handle at all and
    // fails where it is tested, rather than quietly acting on whichever temporary the allocator
    // hands the same memory next. Every temporary freed meanwhile stays allocated until its
    // thread releases its state.
    static void KeepFreedTemporaries(bool keep);

    BOOL Attach(HWND hWnd);
    HWND Detach();
    BOOL SubclassWindow(HWND hWnd);
    BOOL SubclassDlgItem(UINT id, CWnd* parent);
    HWND UnsubclassWindow();

    virtual BOOL CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int cx,
                          int cy, HWND parent, HMENU idOrMenu, LPVOID param = nullptr);
    BOOL CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT& rect, CWnd* parent,
                  UINT id, LPVOID param = nullptr);
    virtual BOOL Create(LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT& rect, CWnd* parent, UINT id);
    virtual BOOL DestroyWindow();

    // Registers (once per process) a window class whose procedure is DefWindowProcW; windows of it
    // made by CreateEx are routed through their objects' message maps from WM_NCCREATE on.
    static LPCWSTR RegisterClassOnce(LPCWSTR name, UINT style = CS_DBLCLKS, HCURSOR cursor = nullptr,
                                     HBRUSH background = nullptr, HICON icon = nullptr);

    // Message routing.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    virtual void PostNcDestroy();
    virtual void PreSubclassWindow();
    // Default handling of the message being dispatched on this thread.
    LRESULT Default();
    // Offers a message to PreTranslateMessage of the window it is for and of each parent up to
    // (and including) hWndStop. True when one of them consumed it.
    static BOOL WalkPreTranslateTree(HWND hWndStop, MSG* pMsg);

    // Data exchange (implemented with the dialog classes).
    virtual void DoDataExchange(CDataExchange* pDX);
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    // Window state and geometry.
    BOOL IsWindow() const { return m_hWnd && ::IsWindow(m_hWnd); }
    BOOL ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    void MoveWindow(int x, int y, int cx, int cy, BOOL repaint = TRUE) { ::MoveWindow(m_hWnd, x, y, cx, cy, repaint); }
    void MoveWindow(LPCRECT r, BOOL repaint = TRUE)
    {
        MoveWindow(r->left, r->top, r->right - r->left, r->bottom - r->top, repaint);
    }
    BOOL SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags)
    {
        return ::SetWindowPos(m_hWnd, insertAfter, x, y, cx, cy, flags);
    }
    BOOL SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags)
    {
        return ::SetWindowPos(m_hWnd, SafeHwnd(insertAfter), x, y, cx, cy, flags);
    }
    void GetClientRect(LPRECT r) const { ::GetClientRect(m_hWnd, r); }
    void GetWindowRect(LPRECT r) const { ::GetWindowRect(m_hWnd, r); }
    void ScreenToClient(LPPOINT p) const { ::ScreenToClient(m_hWnd, p); }
    void ScreenToClient(LPRECT r) const;
    void ClientToScreen(LPPOINT p) const { ::ClientToScreen(m_hWnd, p); }
    void ClientToScreen(LPRECT r) const;
    void CenterWindow(CWnd* alternateOwner = nullptr);
    void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
    void InvalidateRect(LPCRECT r, BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, r, erase); }
    void ValidateRect(LPCRECT r) { ::ValidateRect(m_hWnd, r); }
    void UpdateWindow() { ::UpdateWindow(m_hWnd); }
    BOOL RedrawWindow(LPCRECT r = nullptr, HRGN rgn = nullptr, UINT flags = RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE)
    {
        return ::RedrawWindow(m_hWnd, r, rgn, flags);
    }
    void SetRedraw(BOOL redraw = TRUE) { ::SendMessageW(m_hWnd, WM_SETREDRAW, redraw, 0); }
    BOOL SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
    void BringWindowToTop() { ::BringWindowToTop(m_hWnd); }

    DWORD GetStyle() const { return (DWORD)::GetWindowLongW(m_hWnd, GWL_STYLE); }
    DWORD GetExStyle() const { return (DWORD)::GetWindowLongW(m_hWnd, GWL_EXSTYLE); }
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT swpFlags = 0);
    BOOL ModifyStyleEx(DWORD remove, DWORD add, UINT swpFlags = 0);

    // Text.
    void SetWindowText(LPCWSTR text) { ::SetWindowTextW(m_hWnd, text); }
    int GetWindowText(LPWSTR buf, int max) const { return ::GetWindowTextW(m_hWnd, buf, max); }
    void GetWindowText(CString& text) const;
    CString GetWindowText() const;
    int GetWindowTextLength() const { return ::GetWindowTextLengthW(m_hWnd); }

    // Family.
    CWnd* GetParent() const;
    CWnd* GetOwner() const;
    CWnd* GetTopLevelParent() const;
    CWnd* GetDlgItem(int id) const;
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    void SetDlgItemText(int id, LPCWSTR text) { ::SetDlgItemTextW(m_hWnd, id, text); }
    int GetDlgItemText(int id, CString& text) const;
    CString GetDlgItemText(int id) const;
    UINT GetDlgItemInt(int id, BOOL* translated = nullptr, BOOL isSigned = TRUE) const
    {
        return ::GetDlgItemInt(m_hWnd, id, translated, isSigned);
    }
    void SetDlgItemInt(int id, UINT value, BOOL isSigned = TRUE) { ::SetDlgItemInt(m_hWnd, id, value, isSigned); }
    void CheckDlgButton(int id, UINT check) { ::CheckDlgButton(m_hWnd, id, check); }
    UINT IsDlgButtonChecked(int id) const { return ::IsDlgButtonChecked(m_hWnd, id); }
    LRESULT SendDlgItemMessage(int id, UINT message, WPARAM w = 0, LPARAM l = 0) const
    {
        return ::SendDlgItemMessageW(m_hWnd, id, message, w, l);
    }

    // Messages and timers.
    LRESULT SendMessage(UINT message, WPARAM w = 0, LPARAM l = 0) const
    {
        return ::SendMessageW(m_hWnd, message, w, l);
    }
    BOOL PostMessage(UINT message, WPARAM w = 0, LPARAM l = 0) const { return ::PostMessageW(m_hWnd, message, w, l); }
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse, TIMERPROC proc = nullptr)
    {
        return ::SetTimer(m_hWnd, id, elapse, proc);
    }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }

    // Focus, capture, icons, message boxes.
    CWnd* SetFocus();
    static CWnd* GetFocus();
    CWnd* SetCapture();
    static CWnd* GetCapture();
    HICON SetIcon(HICON icon, BOOL big)
    {
        return (HICON)::SendMessageW(m_hWnd, WM_SETICON, big ? ICON_BIG : ICON_SMALL, (LPARAM)icon);
    }
    int MessageBox(LPCWSTR text, LPCWSTR caption = nullptr, UINT type = MB_OK);

    // Fonts, device contexts and menus (implemented with the GDI and menu classes).
    void SetFont(HFONT font, BOOL redraw = TRUE) { ::SendMessageW(m_hWnd, WM_SETFONT, (WPARAM)font, redraw); }
    void SetFont(CFont* font, BOOL redraw = TRUE);
    CFont* GetFont() const;
    CDC* GetDC();
    int ReleaseDC(CDC* dc);
    CMenu* GetSystemMenu(BOOL revert) const;

    // Base handlers that derived handlers may call for the default behaviour.
    void OnPaint() { Default(); }
    BOOL OnEraseBkgnd(CDC*) { return (BOOL)Default(); }
    void OnLButtonDown(UINT, CPoint) { Default(); }
    void OnLButtonUp(UINT, CPoint) { Default(); }
    void OnLButtonDblClk(UINT, CPoint) { Default(); }
    void OnRButtonDown(UINT, CPoint) { Default(); }
    void OnMouseMove(UINT, CPoint) { Default(); }
    void OnTimer(UINT_PTR) { Default(); }
    void OnClose() { Default(); }
    void OnDestroy() { Default(); }
    void OnSize(UINT, int, int) { Default(); }
    void OnShowWindow(BOOL, UINT) { Default(); }
    void OnSysCommand(UINT, LPARAM) { Default(); }
    void OnKeyDown(UINT, UINT, UINT) { Default(); }
    void OnVScroll(UINT, UINT, CWnd*) { Default(); }
    void OnHScroll(UINT, UINT, CWnd*) { Default(); }
    BOOL OnSetCursor(CWnd*, UINT, UINT) { return (BOOL)Default(); }
    HBRUSH OnCtlColor(CDC*, CWnd*, UINT) { return (HBRUSH)Default(); }
    int OnCreate(LPCREATESTRUCTW) { return (int)Default(); }
    void OnDrawItem(int, LPDRAWITEMSTRUCT) { Default(); }
    void OnMeasureItem(int, LPMEASUREITEMSTRUCT) { Default(); }
    LRESULT OnNcHitTest(CPoint) { return Default(); }
    void OnSetFocus(CWnd*) { Default(); }
    void OnKillFocus(CWnd*) { Default(); }
    void OnContextMenu(CWnd*, CPoint) { Default(); }
    void OnGetMinMaxInfo(MINMAXINFO*) { Default(); }
    BOOL OnMouseWheel(UINT, short, CPoint) { return (BOOL)Default(); }
    void OnActivate(UINT, CWnd*, BOOL) { Default(); }

    static LRESULT CALLBACK StandardWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;

    // Looks a message up in this object's message maps; true when an entry handled it.
    bool DispatchToMap(ZrMsgCall& call, ZrEntryKind kindA, ZrEntryKind kindB, UINT code, UINT id);
    bool DispatchReflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

    WNDPROC m_pfnSuper = nullptr; // the procedure the window had before we subclassed it
    bool m_createdHere = false;   // this object made the window and so destroys it

private:
    friend LRESULT CALLBACK ZrCbtHook(int, WPARAM, LPARAM);
    bool AttachAndSubclass(HWND hWnd);
    void OnNcDestroyCleanup();
};

// While data exchange runs on a window, the notifications its controls send it (WM_COMMAND from a
// control, WM_NOTIFY) are dropped, reflection included, so that filling the controls does not run
// the window's EN_CHANGE-style handlers. Per thread; nests.
class ZrNotifyLockout {
public:
    explicit ZrNotifyLockout(HWND hWnd);
    ~ZrNotifyLockout();
    ZrNotifyLockout(const ZrNotifyLockout&) = delete;
    ZrNotifyLockout& operator=(const ZrNotifyLockout&) = delete;
    static bool IsLockedOut(HWND hWnd);

private:
    HWND m_previous;
};

// Runs `work` on the thread that owns `wnd` (at once when that is the calling thread) and returns
// once it has run; false when the window is gone. A worker that fills a window's control hands
// it many rows in one call instead of one cross-thread message per cell.
bool ZrRunOnWindowThread(CWnd* wnd, const std::function<void()>& work);
