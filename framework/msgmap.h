// Message maps.
//
//   class CMyDlg : public CDialog { ... DECLARE_MESSAGE_MAP() };
//
//   BEGIN_MESSAGE_MAP(CMyDlg, CDialog)
//       ON_WM_PAINT()
//       ON_BN_CLICKED(IDC_GO, &CMyDlg::OnGo)
//       ON_NOTIFY(NM_DBLCLK, IDC_LIST, &CMyDlg::OnDblClkList)
//       ON_REGISTERED_MESSAGE(g_rangeChangedMsg, &CMyDlg::OnRangeChanged)
//   END_MESSAGE_MAP()
//
// Each entry binds a handler through a small function template, so a handler of the wrong
// signature is a compile error rather than a crash. Registered-message entries hold the address of
// the variable that keeps the number, which is read when a message arrives: the number may be
// registered after the map was built.
#pragma once
#include "wnd.h"
#include "gdi.h"

#define DECLARE_MESSAGE_MAP()                                                                                          \
protected:                                                                                                             \
    static const AFX_MSGMAP* GetThisMessageMap();                                                                      \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                                         \
    const AFX_MSGMAP* theClass::GetMessageMap() const                                                                  \
    {                                                                                                                  \
        return GetThisMessageMap();                                                                                    \
    }                                                                                                                  \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                                                                    \
    {                                                                                                                  \
        typedef theClass ThisClass;                                                                                    \
        typedef baseClass TheBaseClass;                                                                                \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP()                                                                                              \
    {                                                                                                                  \
        ZrEntryKind::End, 0, 0, 0, nullptr, nullptr                                                                    \
    }                                                                                                                  \
    }                                                                                                                  \
    ;                                                                                                                  \
    static const AFX_MSGMAP messageMap = { &TheBaseClass::GetThisMessageMap, &_messageEntries[0] };                    \
    return &messageMap;                                                                                                \
    }

namespace zr_msg {

// A device context handed to a handler: wraps the HDC of the message without owning it.
struct TempDC : CDC {
    explicit TempDC(HDC h) { Attach(h); }
    ~TempDC() { Detach(); }
};

inline CWnd* Wnd(WPARAM w)
{
    return CWnd::FromHandle((HWND)w);
}
inline CWnd* WndL(LPARAM l)
{
    return CWnd::FromHandle((HWND)l);
}

template <class T, auto F> bool Message(CWnd* w, ZrMsgCall& c)
{
    c.result = (static_cast<T*>(w)->*F)(c.wParam, c.lParam);
    return true;
}
template <class T, auto F> bool Command(CWnd* w, ZrMsgCall&)
{
    (static_cast<T*>(w)->*F)();
    return true;
}
template <class T, auto F> bool CommandRange(CWnd* w, ZrMsgCall& c)
{
    (static_cast<T*>(w)->*F)((UINT)LOWORD(c.wParam));
    return true;
}
template <class T, auto F> bool Notify(CWnd* w, ZrMsgCall& c)
{
    (static_cast<T*>(w)->*F)(reinterpret_cast<NMHDR*>(c.lParam), &c.result);
    return true;
}
template <class T, auto F> bool NotifyRange(CWnd* w, ZrMsgCall& c)
{
    NMHDR* h = reinterpret_cast<NMHDR*>(c.lParam);
    (static_cast<T*>(w)->*F)((UINT)h->idFrom, h, &c.result);
    return true;
}
template <class T, auto F> bool NotifyEx(CWnd* w, ZrMsgCall& c)
{
    return (static_cast<T*>(w)->*F)(reinterpret_cast<NMHDR*>(c.lParam), &c.result) != FALSE;
}
template <class T, auto F> bool DrawItemReflect(CWnd* w, ZrMsgCall& c)
{
    (static_cast<T*>(w)->*F)(reinterpret_cast<LPDRAWITEMSTRUCT>(c.lParam));
    c.result = TRUE;
    return true;
}
template <class T, auto F> bool MeasureItemReflect(CWnd* w, ZrMsgCall& c)
{
    (static_cast<T*>(w)->*F)(reinterpret_cast<LPMEASUREITEMSTRUCT>(c.lParam));
    c.result = TRUE;
    return true;
}
template <class T, auto F> bool CtlColorReflect(CWnd* w, ZrMsgCall& c)
{
    TempDC dc((HDC)c.wParam);
    HBRUSH b = (static_cast<T*>(w)->*F)(&dc, c.message - WM_CTLCOLORMSGBOX);
    if (!b)
        return false; // no brush: the parent colours the control as usual
    c.result = (LRESULT)b;
    return true;
}

// Window-message crackers.
template <class T, auto F> bool Void0(CWnd* w, ZrMsgCall& c)
{
    (static_cast<T*>(w)->*F)();
    c.result = 0;
    return true;
}
template <class T, auto F> bool Paint(CWnd* w, ZrMsgCall& c)
{
    return Void0<T, F>(w, c);
}
template <class T, auto F> bool EraseBkgnd(CWnd* w, ZrMsgCall& c)
{
    TempDC dc((HDC)c.wParam);
    c.result = (static_cast<T*>(w)->*F)(&dc);
    return true;
}
template <class T, auto F> bool Mouse(CWnd* w, ZrMsgCall& c)
{
    (static_cast<T*>(w)->*F)((UINT)c.wParam, CPoint(c.lParam));
    c.result = 0;
    return true;
}
template <class T, auto F> bool Timer(CWnd* w, ZrMsgCall& c)
{
    (static_cast<T*>(w)->*F)((UINT_PTR)c.wParam);
    c.result = 0;
    return true;
}
template <class T, auto F> bool Size(CWnd* w, ZrMsgCall& c)
{
    (static_cast<T*>(w)->*F)((UINT)c.wParam, (short)LOWORD(c.lParam), (short)HIWORD(c.lParam));
    c.result = 0;
    return true;
}
template <class T, auto F> bool ShowWindow(CWnd* w, ZrMsgCall& c)
{
    (static_cast<T*>(w)->*F)((BOOL)c.wParam, (UINT)c.lParam);
    c.result = 0;
    return true;
}
template <class T, auto F> bool SysCommand(CWnd* w, ZrMsgCall& c)
{
    (static_cast<T*>(w)->*F)((UINT)c.wParam, c.lParam);
    c.result = 0;
    return true;
}
template <class T, auto F> bool Key(CWnd* w, ZrMsgCall& c)
{
    (static_cast<T*>(w)->*F)((UINT)c.wParam, (UINT)LOWORD(c.lParam), (UINT)HIWORD(c.lParam));
    c.result = 0;
    return true;
}
template <class T, auto F> bool Scroll(CWnd* w, ZrMsgCall& c)
{
    (static_cast<T*>(w)->*F)((UINT)LOWORD(c.wParam), (UINT)(short)HIWORD(c.wParam), WndL(c.lParam));
    c.result = 0;
    return true;
}
template <class T, auto F> bool SetCursor(CWnd* w, ZrMsgCall& c)
{
    c.result = (static_cast<T*>(w)->*F)(Wnd(c.wParam), (UINT)LOWORD(c.lParam), (UINT)HIWORD(c.lParam));
    return true;
}
template <class T, auto F> bool CtlColor(CWnd* w, ZrMsgCall& c)
{
    TempDC dc((HDC)c.wParam);
    c.result = (LRESULT)(static_cast<T*>(w)->*F)(&dc, WndL(c.lParam), c.message - WM_CTLCOLORMSGBOX);
    return true;
}
template <class T, auto F> bool Create(CWnd* w, ZrMsgCall& c)
{
    c.result = (static_cast<T*>(w)->*F)(reinterpret_cast<LPCREATESTRUCTW>(c.lParam));
    return true;
}
template <class T, auto F> bool DrawItem(CWnd* w, ZrMsgCall& c)
{
    (static_cast<T*>(w)->*F)((int)c.wParam, reinterpret_cast<LPDRAWITEMSTRUCT>(c.lParam));
    c.result = TRUE;
    return true;
}
template <class T, auto F> bool MeasureItem(CWnd* w, ZrMsgCall& c)
{
    (static_cast<T*>(w)->*F)((int)c.wParam, reinterpret_cast<LPMEASUREITEMSTRUCT>(c.lParam));
    c.result = TRUE;
    return true;
}
template <class T, auto F> bool NcHitTest(CWnd* w, ZrMsgCall& c)
{
    c.result = (static_cast<T*>(w)->*F)(CPoint(c.lParam));
    return true;
}
template <class T, auto F> bool Focus(CWnd* w, ZrMsgCall& c)
{
    (static_cast<T*>(w)->*F)(Wnd(c.wParam));
    c.result = 0;
    return true;
}
template <class T, auto F> bool ContextMenu(CWnd* w, ZrMsgCall& c)
{
    (static_cast<T*>(w)->*F)(Wnd(c.wParam), CPoint(c.lParam));
    c.result = 0;
    return true;
}
template <class T, auto F> bool GetMinMaxInfo(CWnd* w, ZrMsgCall& c)
{
    (static_cast<T*>(w)->*F)(reinterpret_cast<MINMAXINFO*>(c.lParam));
    c.result = 0;
    return true;
}
template <class T, auto F> bool MouseWheel(CWnd* w, ZrMsgCall& c)
{
    c.result = (static_cast<T*>(w)->*F)((UINT)LOWORD(c.wParam), (short)HIWORD(c.wParam), CPoint(c.lParam));
    return true;
}
template <class T, auto F> bool Activate(CWnd* w, ZrMsgCall& c)
{
    (static_cast<T*>(w)->*F)((UINT)LOWORD(c.wParam), WndL(c.lParam), (BOOL)HIWORD(c.wParam));
    c.result = 0;
    return true;
}
template <class T, auto F> bool QueryDragIcon(CWnd* w, ZrMsgCall& c)
{
    c.result = (LRESULT)(static_cast<T*>(w)->*F)();
    return true;
}

} // namespace zr_msg

#define ZR_ENTRY(kind, msg, id1, id2, reg, thunk)                                                                      \
    { ZrEntryKind::kind, (UINT)(msg), (UINT)(id1), (UINT)(id2), reg, thunk },

// Messages by number and registered messages: LRESULT Handler(WPARAM, LPARAM).
#define ON_MESSAGE(msg, fn) ZR_ENTRY(Message, msg, 0, 0, nullptr, (&zr_msg::Message<ThisClass, fn>))
#define ON_REGISTERED_MESSAGE(var, fn) ZR_ENTRY(Registered, 0, 0, 0, &(var), (&zr_msg::Message<ThisClass, fn>))

// Commands: void Handler().
#define ON_COMMAND(id, fn) ZR_ENTRY(Command, 0, id, id, nullptr, (&zr_msg::Command<ThisClass, fn>))
#define ON_CONTROL(code, id, fn) ZR_ENTRY(Command, code, id, id, nullptr, (&zr_msg::Command<ThisClass, fn>))
#define ON_COMMAND_RANGE(id1, id2, fn)                                                                                 \
    ZR_ENTRY(CommandRange, 0, id1, id2, nullptr, (&zr_msg::CommandRange<ThisClass, fn>))
#define ON_CONTROL_RANGE(code, id1, id2, fn)                                                                           \
    ZR_ENTRY(CommandRange, code, id1, id2, nullptr, (&zr_msg::CommandRange<ThisClass, fn>))
#define ON_BN_CLICKED(id, fn) ON_CONTROL(BN_CLICKED, id, fn)
#define ON_BN_DOUBLECLICKED(id, fn) ON_CONTROL(BN_DOUBLECLICKED, id, fn)
#define ON_BN_SETFOCUS(id, fn) ON_CONTROL(BN_SETFOCUS, id, fn)
#define ON_BN_KILLFOCUS(id, fn) ON_CONTROL(BN_KILLFOCUS, id, fn)
#define ON_EN_CHANGE(id, fn) ON_CONTROL(EN_CHANGE, id, fn)
#define ON_EN_UPDATE(id, fn) ON_CONTROL(EN_UPDATE, id, fn)
#define ON_EN_SETFOCUS(id, fn) ON_CONTROL(EN_SETFOCUS, id, fn)
#define ON_EN_KILLFOCUS(id, fn) ON_CONTROL(EN_KILLFOCUS, id, fn)
#define ON_CBN_SELCHANGE(id, fn) ON_CONTROL(CBN_SELCHANGE, id, fn)
#define ON_CBN_DROPDOWN(id, fn) ON_CONTROL(CBN_DROPDOWN, id, fn)
#define ON_CBN_EDITCHANGE(id, fn) ON_CONTROL(CBN_EDITCHANGE, id, fn)
#define ON_LBN_SELCHANGE(id, fn) ON_CONTROL(LBN_SELCHANGE, id, fn)
#define ON_STN_CLICKED(id, fn) ON_CONTROL(STN_CLICKED, id, fn)

// Notifications: void Handler(NMHDR*, LRESULT*); ranges: void Handler(UINT id, NMHDR*, LRESULT*).
#define ON_NOTIFY(code, id, fn) ZR_ENTRY(Notify, code, id, id, nullptr, (&zr_msg::Notify<ThisClass, fn>))
#define ON_NOTIFY_RANGE(code, id1, id2, fn)                                                                            \
    ZR_ENTRY(NotifyRange, code, id1, id2, nullptr, (&zr_msg::NotifyRange<ThisClass, fn>))

// Reflected to the control that sent them.
#define ON_NOTIFY_REFLECT(code, fn) ZR_ENTRY(ReflectNotify, code, 0, 0, nullptr, (&zr_msg::Notify<ThisClass, fn>))
#define ON_NOTIFY_REFLECT_EX(code, fn)                                                                                 \
    ZR_ENTRY(ReflectNotifyEx, code, 0, 0, nullptr, (&zr_msg::NotifyEx<ThisClass, fn>))
#define ON_CONTROL_REFLECT(code, fn) ZR_ENTRY(ReflectCommand, code, 0, 0, nullptr, (&zr_msg::Command<ThisClass, fn>))
#define ON_WM_DRAWITEM_REFLECT()                                                                                       \
    ZR_ENTRY(ReflectDrawItem, 0, 0, 0, nullptr, (&zr_msg::DrawItemReflect<ThisClass, &ThisClass::DrawItem>))
#define ON_WM_MEASUREITEM_REFLECT()                                                                                    \
    ZR_ENTRY(ReflectMeasureItem, 0, 0, 0, nullptr, (&zr_msg::MeasureItemReflect<ThisClass, &ThisClass::MeasureItem>))
#define ON_WM_CTLCOLOR_REFLECT()                                                                                       \
    ZR_ENTRY(ReflectCtlColor, 0, 0, 0, nullptr, (&zr_msg::CtlColorReflect<ThisClass, &ThisClass::CtlColor>))

// Window messages with their usual handler names and signatures.
#define ZR_ON_WM(msg, cracker, fn) ZR_ENTRY(Message, msg, 0, 0, nullptr, (&zr_msg::cracker<ThisClass, &ThisClass::fn>))
#define ON_WM_PAINT() ZR_ON_WM(WM_PAINT, Paint, OnPaint)
#define ON_WM_ERASEBKGND() ZR_ON_WM(WM_ERASEBKGND, EraseBkgnd, OnEraseBkgnd)
#define ON_WM_LBUTTONDOWN() ZR_ON_WM(WM_LBUTTONDOWN, Mouse, OnLButtonDown)
#define ON_WM_LBUTTONUP() ZR_ON_WM(WM_LBUTTONUP, Mouse, OnLButtonUp)
#define ON_WM_LBUTTONDBLCLK() ZR_ON_WM(WM_LBUTTONDBLCLK, Mouse, OnLButtonDblClk)
#define ON_WM_RBUTTONDOWN() ZR_ON_WM(WM_RBUTTONDOWN, Mouse, OnRButtonDown)
#define ON_WM_MOUSEMOVE() ZR_ON_WM(WM_MOUSEMOVE, Mouse, OnMouseMove)
#define ON_WM_TIMER() ZR_ON_WM(WM_TIMER, Timer, OnTimer)
#define ON_WM_CLOSE() ZR_ON_WM(WM_CLOSE, Void0, OnClose)
#define ON_WM_DESTROY() ZR_ON_WM(WM_DESTROY, Void0, OnDestroy)
#define ON_WM_SIZE() ZR_ON_WM(WM_SIZE, Size, OnSize)
#define ON_WM_SHOWWINDOW() ZR_ON_WM(WM_SHOWWINDOW, ShowWindow, OnShowWindow)
#define ON_WM_SYSCOMMAND() ZR_ON_WM(WM_SYSCOMMAND, SysCommand, OnSysCommand)
#define ON_WM_KEYDOWN() ZR_ON_WM(WM_KEYDOWN, Key, OnKeyDown)
#define ON_WM_VSCROLL() ZR_ON_WM(WM_VSCROLL, Scroll, OnVScroll)
#define ON_WM_HSCROLL() ZR_ON_WM(WM_HSCROLL, Scroll, OnHScroll)
#define ON_WM_SETCURSOR() ZR_ON_WM(WM_SETCURSOR, SetCursor, OnSetCursor)
#define ON_WM_CREATE() ZR_ON_WM(WM_CREATE, Create, OnCreate)
#define ON_WM_DRAWITEM() ZR_ON_WM(WM_DRAWITEM, DrawItem, OnDrawItem)
#define ON_WM_MEASUREITEM() ZR_ON_WM(WM_MEASUREITEM, MeasureItem, OnMeasureItem)
#define ON_WM_NCHITTEST() ZR_ON_WM(WM_NCHITTEST, NcHitTest, OnNcHitTest)
#define ON_WM_SETFOCUS() ZR_ON_WM(WM_SETFOCUS, Focus, OnSetFocus)
#define ON_WM_KILLFOCUS() ZR_ON_WM(WM_KILLFOCUS, Focus, OnKillFocus)
#define ON_WM_CONTEXTMENU() ZR_ON_WM(WM_CONTEXTMENU, ContextMenu, OnContextMenu)
#define ON_WM_GETMINMAXINFO() ZR_ON_WM(WM_GETMINMAXINFO, GetMinMaxInfo, OnGetMinMaxInfo)
#define ON_WM_MOUSEWHEEL() ZR_ON_WM(WM_MOUSEWHEEL, MouseWheel, OnMouseWheel)
#define ON_WM_ACTIVATE() ZR_ON_WM(WM_ACTIVATE, Activate, OnActivate)
#define ON_WM_QUERYDRAGICON() ZR_ON_WM(WM_QUERYDRAGICON, QueryDragIcon, OnQueryDragIcon)
// WM_CTLCOLOR* of every kind arrive as one handler, HBRUSH OnCtlColor(CDC*, CWnd*, UINT kind).
#define ON_WM_CTLCOLOR()                                                                                               \
    ZR_ON_WM(WM_CTLCOLORMSGBOX, CtlColor, OnCtlColor)                                                                  \
    ZR_ON_WM(WM_CTLCOLOREDIT, CtlColor, OnCtlColor) ZR_ON_WM(WM_CTLCOLORLISTBOX, CtlColor, OnCtlColor)                 \
        ZR_ON_WM(WM_CTLCOLORBTN, CtlColor, OnCtlColor) ZR_ON_WM(WM_CTLCOLORDLG, CtlColor, OnCtlColor)                  \
            ZR_ON_WM(WM_CTLCOLORSCROLLBAR, CtlColor, OnCtlColor) ZR_ON_WM(WM_CTLCOLORSTATIC, CtlColor, OnCtlColor)
