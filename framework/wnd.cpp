#include "wnd.h"
#include "temporaries.h"

#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace {

// HWND -> owning object, shared by every thread: workers look up dialogs and controls owned by
// the user-interface thread.
std::mutex g_mapLock;
std::unordered_map<HWND, CWnd*>& PermanentMap()
{
    static auto* m = new std::unordered_map<HWND, CWnd*>(); // never destroyed: windows may outlive statics
    return *m;
}

// Plain CWnd objects handed out by FromHandle for windows that have no object of their own.
thread_local std::unordered_map<HWND, std::unique_ptr<CWnd>>* t_tempMap = nullptr;

// The messages being dispatched on this thread, innermost last, for Default().
thread_local std::vector<ZrMsgCall*>* t_current = nullptr;

// The object whose window CreateEx is making on this thread, picked up by the CBT hook.
thread_local CWnd* t_creating = nullptr;
thread_local HHOOK t_cbtHook = nullptr;

// The window whose control notifications are being dropped (see ZrNotifyLockout).
thread_local HWND t_lockoutNotify = nullptr;

std::vector<ZrMsgCall*>& CurrentStack()
{
    if (!t_current)
        t_current = new std::vector<ZrMsgCall*>();
    return *t_current;
}

bool InMap(HWND h, CWnd* w)
{
    std::lock_guard<std::mutex> lock(g_mapLock);
    auto it = PermanentMap().find(h);
    return it != PermanentMap().end() && it->second == w;
}

} // namespace

LRESULT CALLBACK ZrCbtHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND && t_creating) {
        CWnd* w = t_creating;
        t_creating = nullptr; // only the first window created belongs to the object
        w->AttachAndSubclass((HWND)wParam);
    }
    return CallNextHookEx(t_cbtHook, code, wParam, lParam);
}

CWnd::CWnd() = default;

CWnd::~CWnd()
{
    if (!m_hWnd)
        return;
    if (m_createdHere && ::IsWindow(m_hWnd) && GetWindowThreadProcessId(m_hWnd, nullptr) == GetCurrentThreadId()) {
        ::DestroyWindow(m_hWnd); // runs OnNcDestroyCleanup, which clears m_hWnd
    }
    if (m_hWnd) {
        if (m_pfnSuper)
            UnsubclassWindow();
        else
            Detach();
    }
}

const AFX_MSGMAP* CWnd::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY entries[] = { { ZrEntryKind::End, 0, 0, 0, nullptr, nullptr } };
    static const AFX_MSGMAP map = { nullptr, &entries[0] };
    return &map;
}

const AFX_MSGMAP* CWnd::GetMessageMap() const
{
    return GetThisMessageMap();
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd)
{
    if (!hWnd)
        return nullptr;
    std::lock_guard<std::mutex> lock(g_mapLock);
    auto it = PermanentMap().find(hWnd);
    return it == PermanentMap().end() ? nullptr : it->second;
}

CWnd* CWnd::FromHandle(HWND hWnd)
{
    if (!hWnd)
        return nullptr;
    if (CWnd* w = FromHandlePermanent(hWnd))
        return w;
    if (!t_tempMap)
        t_tempMap = new std::unordered_map<HWND, std::unique_ptr<CWnd>>();
    auto& slot = (*t_tempMap)[hWnd];
    if (!slot) {
        slot.reset(new CWnd());
        slot->m_hWnd = hWnd;
    }
    return slot.get();
}

void CWnd::DeleteTempMap()
{
    // The other kinds (GDI objects and DCs, menus, image lists) live exactly as long as the
    // window ones; each signed itself up when it lent its first temporary.
    ZrDeleteRegisteredTempMaps();
    if (!t_tempMap)
        return;
    for (auto& kv : *t_tempMap) {
        kv.second->m_hWnd = nullptr; // temporaries never own their windows
        ZrRetireTemporary(std::move(kv.second));
    }
    t_tempMap->clear();
}

void CWnd::KeepFreedTemporaries(bool keep)
{
    ZrKeepFreedTemporaries(keep);
}

void CWnd::ReleaseThreadState()
{
    DeleteTempMap();
    delete t_tempMap;
    t_tempMap = nullptr;
    ZrFreeKeptTemporaries(); // the thread is ending: nothing of it can still be held
    if (t_current && t_current->empty()) {
        delete t_current;
        t_current = nullptr;
    }
}

bool CWnd::IsHandlingMessage()
{
    return t_current && !t_current->empty();
}

int CWnd::TempObjectCount()
{
    return t_tempMap ? (int)t_tempMap->size() : 0;
}

ZrNotifyLockout::ZrNotifyLockout(HWND hWnd) : m_previous(t_lockoutNotify)
{
    t_lockoutNotify = hWnd;
}
ZrNotifyLockout::~ZrNotifyLockout()
{
    t_lockoutNotify = m_previous;
}
bool ZrNotifyLockout::IsLockedOut(HWND hWnd)
{
    return hWnd && t_lockoutNotify == hWnd;
}

BOOL CWnd::Attach(HWND hWnd)
{
    if (!hWnd || m_hWnd)
        return m_hWnd == hWnd && hWnd != nullptr;
    std::lock_guard<std::mutex> lock(g_mapLock);
    auto& slot = PermanentMap()[hWnd];
    if (slot && slot != this)
        return FALSE; // another object already owns this window
    slot = this;
    m_hWnd = hWnd;
    return TRUE;
}

HWND CWnd::Detach()
{
    HWND h = m_hWnd;
    if (h) {
        std::lock_guard<std::mutex> lock(g_mapLock);
        auto it = PermanentMap().find(h);
        if (it != PermanentMap().end() && it->second == this)
            PermanentMap().erase(it);
    }
    m_hWnd = nullptr;
    return h;
}

bool CWnd::AttachAndSubclass(HWND hWnd)
{
    if (!Attach(hWnd))
        return false;
    WNDPROC old = (WNDPROC)::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, (LONG_PTR)&CWnd::StandardWndProc);
    if (!old) {
        Detach();
        return false;
    }
    // A window already running through StandardWndProc (another object's leftovers) must not
    // chain to itself.
    m_pfnSuper = old == &CWnd::StandardWndProc ? ::DefWindowProcW : old;
    return true;
}

BOOL CWnd::SubclassWindow(HWND hWnd)
{
    if (!hWnd)
        return FALSE;
    if (m_hWnd == hWnd && m_pfnSuper && InMap(hWnd, this))
        return TRUE; // already ours: repeating the exchange is harmless
    if (m_hWnd)
        return FALSE; // this object already stands for another window
    if (!AttachAndSubclass(hWnd))
        return FALSE;
    PreSubclassWindow();
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent)
{
    if (!parent || !parent->m_hWnd)
        return FALSE;
    HWND h = ::GetDlgItem(parent->m_hWnd, (int)id);
    return h ? SubclassWindow(h) : FALSE;
}

HWND CWnd::UnsubclassWindow()
{
    if (!m_hWnd)
        return nullptr;
    if (m_pfnSuper) {
        ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, (LONG_PTR)m_pfnSuper);
        m_pfnSuper = nullptr;
    }
    return Detach();
}

void CWnd::PreSubclassWindow() { }

LPCWSTR CWnd::RegisterClassOnce(LPCWSTR name, UINT style, HCURSOR cursor, HBRUSH background, HICON icon)
{
    HINSTANCE inst = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW wc = { sizeof(wc) };
    if (::GetClassInfoExW(inst, name, &wc))
        return name;
    wc = WNDCLASSEXW{ sizeof(wc) };
    wc.style = style;
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = inst;
    wc.hCursor = cursor ? cursor : ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.hIcon = icon;
    wc.lpszClassName = name;
    if (!::RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return nullptr;
    return name;
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int cx, int cy,
                    HWND parent, HMENU idOrMenu, LPVOID param)
{
    if (m_hWnd)
        return FALSE;
    // Hook the creation so that the object sees the window's very first messages.
    CWnd* outerCreating = t_creating;
    HHOOK outerHook = t_cbtHook;
    t_creating = this;
    t_cbtHook = ::SetWindowsHookExW(WH_CBT, ZrCbtHook, nullptr, ::GetCurrentThreadId());
    HWND h = ::CreateWindowExW(exStyle, className, windowName, style, x, y, cx, cy, parent, idOrMenu,
                               ::GetModuleHandleW(nullptr), param);
    if (t_cbtHook)
        ::UnhookWindowsHookEx(t_cbtHook);
    t_cbtHook = outerHook;
    t_creating = outerCreating;
    if (!h) {
        if (m_hWnd)
            UnsubclassWindow();
        return FALSE;
    }
    if (!m_hWnd && !AttachAndSubclass(h)) {
        ::DestroyWindow(h);
        return FALSE;
    }
    m_createdHere = true;
    return TRUE;
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT& r, CWnd* parent,
                    UINT id, LPVOID param)
{
    return CreateEx(exStyle, className, windowName, style, r.left, r.top, r.right - r.left, r.bottom - r.top,
                    SafeHwnd(parent), (HMENU)(UINT_PTR)id, param);
}

BOOL CWnd::Create(LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateEx(0, className, windowName, style | WS_CHILD, rect, parent, id);
}

BOOL CWnd::DestroyWindow()
{
    if (!m_hWnd)
        return FALSE;
    return ::DestroyWindow(m_hWnd);
}

namespace {
UINT RunOnThreadMessage()
{
    static const UINT message = ::RegisterWindowMessageW(L"ZrRunOnWindowThread");
    return message;
}
} // namespace

bool ZrRunOnWindowThread(CWnd* wnd, const std::function<void()>& work)
{
    HWND hWnd = wnd ? wnd->GetSafeHwnd() : nullptr;
    if (!hWnd || !::IsWindow(hWnd))
        return false;
    if (::GetWindowThreadProcessId(hWnd, nullptr) == ::GetCurrentThreadId()) {
        work();
        return true;
    }
    return ::SendMessageW(hWnd, RunOnThreadMessage(), 0, (LPARAM)&work) == 1;
}

LRESULT CALLBACK CWnd::StandardWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* w = FromHandlePermanent(hWnd);
    if (!w)
        return ::DefWindowProcW(hWnd, message, wParam, lParam);
    if (message == RunOnThreadMessage() && lParam != 0) {
        (*reinterpret_cast<const std::function<void()>*>(lParam))();
        return 1;
    }
    ZrMsgCall call = { message, wParam, lParam, 0 };
    auto& stack = CurrentStack();
    stack.push_back(&call);
    LRESULT r = w->WindowProc(message, wParam, lParam);
    stack.pop_back();
    if (message == WM_NCDESTROY)
        w->OnNcDestroyCleanup();
    return r;
}

void CWnd::OnNcDestroyCleanup()
{
    // The window is gone: put the old procedure back (it may still see the tail of the message),
    // forget the handle and let the class finish (a modeless dialog may delete itself here).
    if (m_pfnSuper && m_hWnd && ::IsWindow(m_hWnd))
        ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, (LONG_PTR)m_pfnSuper);
    m_pfnSuper = nullptr;
    Detach();
    m_createdHere = false;
    PostNcDestroy();
}

void CWnd::PostNcDestroy() { }

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result))
        result = DefWindowProc(message, wParam, lParam);
    return result;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper)
        return ::CallWindowProcW(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default()
{
    auto& stack = CurrentStack();
    if (stack.empty())
        return 0;
    ZrMsgCall* c = stack.back();
    return DefWindowProc(c->message, c->wParam, c->lParam);
}

bool CWnd::DispatchToMap(ZrMsgCall& call, ZrEntryKind kindA, ZrEntryKind kindB, UINT code, UINT id)
{
    for (const AFX_MSGMAP* map = GetMessageMap(); map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* e = map->entries; e->kind != ZrEntryKind::End; ++e) {
            bool match = false;
            switch (e->kind) {
            case ZrEntryKind::Message:
                match = kindA == ZrEntryKind::Message && e->message == call.message;
                break;
            case ZrEntryKind::Registered:
                match = kindA == ZrEntryKind::Message && e->registered && *e->registered != 0 &&
                    *e->registered == call.message;
                break;
            case ZrEntryKind::Command:
            case ZrEntryKind::Notify:
                match = (e->kind == kindA || e->kind == kindB) && e->message == code && e->idFirst == id;
                break;
            case ZrEntryKind::CommandRange:
            case ZrEntryKind::NotifyRange:
                match =
                    (e->kind == kindA || e->kind == kindB) && e->message == code && id >= e->idFirst && id <= e->idLast;
                break;
            case ZrEntryKind::ReflectCommand:
            case ZrEntryKind::ReflectNotify:
            case ZrEntryKind::ReflectNotifyEx:
                match = (e->kind == kindA || e->kind == kindB) && e->message == code;
                break;
            case ZrEntryKind::ReflectDrawItem:
            case ZrEntryKind::ReflectMeasureItem:
            case ZrEntryKind::ReflectCtlColor:
                match = e->kind == kindA;
                break;
            case ZrEntryKind::End:
                break;
            }
            if (match && e->thunk(this, call))
                return true;
        }
    }
    return false;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    ZrMsgCall call = { message, wParam, lParam, 0 };
    bool handled = false;

    if (message == WM_COMMAND) {
        HWND ctl = (HWND)lParam;
        if (ctl) {
            if (ZrNotifyLockout::IsLockedOut(m_hWnd)) {
                *pResult = 0;
                return TRUE;
            }
            if (CWnd* child = FromHandlePermanent(ctl))
                if (child != this && child->OnChildNotify(message, wParam, lParam, pResult))
                    return TRUE;
        }
        handled = DispatchToMap(call, ZrEntryKind::Command, ZrEntryKind::CommandRange, HIWORD(wParam), LOWORD(wParam));
    } else if (message == WM_NOTIFY) {
        NMHDR* h = reinterpret_cast<NMHDR*>(lParam);
        if (!h)
            return FALSE;
        if (ZrNotifyLockout::IsLockedOut(m_hWnd)) {
            *pResult = 0;
            return TRUE;
        }
        if (CWnd* child = FromHandlePermanent(h->hwndFrom))
            if (child != this && child->OnChildNotify(message, wParam, lParam, pResult))
                return TRUE;
        handled = DispatchToMap(call, ZrEntryKind::Notify, ZrEntryKind::NotifyRange, h->code, (UINT)h->idFrom);
    } else {
        HWND ctl = nullptr;
        if (message == WM_DRAWITEM && wParam != 0 && lParam)
            ctl = reinterpret_cast<LPDRAWITEMSTRUCT>(lParam)->hwndItem;
        else if (message == WM_MEASUREITEM && wParam != 0 && lParam &&
                 reinterpret_cast<LPMEASUREITEMSTRUCT>(lParam)->CtlType != ODT_MENU)
            ctl = ::GetDlgItem(m_hWnd, (int)reinterpret_cast<LPMEASUREITEMSTRUCT>(lParam)->CtlID);
        else if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC)
            ctl = (HWND)lParam;
        if (ctl && ctl != m_hWnd) {
            if (CWnd* child = FromHandlePermanent(ctl))
                if (child->OnChildNotify(message, wParam, lParam, pResult))
                    return TRUE;
        }
        handled = DispatchToMap(call, ZrEntryKind::Message, ZrEntryKind::Message, 0, 0);
    }
    if (handled)
        *pResult = call.result;
    return handled ? TRUE : FALSE;
}

bool CWnd::DispatchReflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    ZrMsgCall call = { message, wParam, lParam, 0 };
    bool handled = false;
    if (message == WM_COMMAND) {
        handled = DispatchToMap(call, ZrEntryKind::ReflectCommand, ZrEntryKind::ReflectCommand, HIWORD(wParam), 0);
    } else if (message == WM_NOTIFY) {
        const NMHDR* h = reinterpret_cast<const NMHDR*>(lParam);
        handled = DispatchToMap(call, ZrEntryKind::ReflectNotify, ZrEntryKind::ReflectNotifyEx, h->code, 0);
    } else if (message == WM_DRAWITEM) {
        handled = DispatchToMap(call, ZrEntryKind::ReflectDrawItem, ZrEntryKind::ReflectDrawItem, 0, 0);
    } else if (message == WM_MEASUREITEM) {
        handled = DispatchToMap(call, ZrEntryKind::ReflectMeasureItem, ZrEntryKind::ReflectMeasureItem, 0, 0);
    } else if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) {
        handled = DispatchToMap(call, ZrEntryKind::ReflectCtlColor, ZrEntryKind::ReflectCtlColor, 0, 0);
    }
    if (handled && pResult)
        *pResult = call.result;
    return handled;
}

BOOL CWnd::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    return DispatchReflected(message, wParam, lParam, pResult) ? TRUE : FALSE;
}

BOOL CWnd::PreTranslateMessage(MSG*)
{
    return FALSE;
}

BOOL CWnd::WalkPreTranslateTree(HWND hWndStop, MSG* pMsg)
{
    for (HWND h = pMsg->hwnd; h; h = ::GetParent(h)) {
        if (CWnd* w = FromHandlePermanent(h))
            if (w->PreTranslateMessage(pMsg))
                return TRUE;
        if (h == hWndStop)
            break;
    }
    return FALSE;
}

void CWnd::DoDataExchange(CDataExchange*) { }

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT swpFlags)
{
    DWORD old = GetStyle();
    DWORD now = (old & ~remove) | add;
    if (old == now)
        return FALSE;
    ::SetWindowLongW(m_hWnd, GWL_STYLE, (LONG)now);
    if (swpFlags)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | swpFlags);
    return TRUE;
}

BOOL CWnd::ModifyStyleEx(DWORD remove, DWORD add, UINT swpFlags)
{
    DWORD old = GetExStyle();
    DWORD now = (old & ~remove) | add;
    if (old == now)
        return FALSE;
    ::SetWindowLongW(m_hWnd, GWL_EXSTYLE, (LONG)now);
    if (swpFlags)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | swpFlags);
    return TRUE;
}

void CWnd::ScreenToClient(LPRECT r) const
{
    ::ScreenToClient(m_hWnd, reinterpret_cast<LPPOINT>(r));
    ::ScreenToClient(m_hWnd, reinterpret_cast<LPPOINT>(r) + 1);
}

void CWnd::ClientToScreen(LPRECT r) const
{
    ::ClientToScreen(m_hWnd, reinterpret_cast<LPPOINT>(r));
    ::ClientToScreen(m_hWnd, reinterpret_cast<LPPOINT>(r) + 1);
}

void CWnd::CenterWindow(CWnd* alternateOwner)
{
    HWND center = alternateOwner ? alternateOwner->m_hWnd : nullptr;
    if (!center)
        center = (GetStyle() & WS_CHILD) ? ::GetParent(m_hWnd) : ::GetWindow(m_hWnd, GW_OWNER);
    RECT area;
    if (center && ::IsWindowVisible(center) && !::IsIconic(center)) {
        ::GetWindowRect(center, &area);
    } else {
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    }
    RECT me;
    ::GetWindowRect(m_hWnd, &me);
    int w = me.right - me.left, h = me.bottom - me.top;
    int x = (area.left + area.right) / 2 - w / 2;
    int y = (area.top + area.bottom) / 2 - h / 2;
    if (GetStyle() & WS_CHILD) {
        POINT p = { x, y };
        ::ScreenToClient(::GetParent(m_hWnd), &p);
        x = p.x;
        y = p.y;
    }
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWnd::GetWindowText(CString& text) const
{
    int n = ::GetWindowTextLengthW(m_hWnd);
    std::vector<wchar_t> buf((size_t)n + 2, L'\0');
    int got = ::GetWindowTextW(m_hWnd, buf.data(), n + 1);
    text = CString(buf.data(), got > 0 ? got : 0);
}

CString CWnd::GetWindowText() const
{
    CString s;
    GetWindowText(s);
    return s;
}

int CWnd::GetDlgItemText(int id, CString& text) const
{
    HWND h = ::GetDlgItem(m_hWnd, id);
    if (!h) {
        text.Empty();
        return 0;
    }
    FromHandle(h)->GetWindowText(text);
    return text.GetLength();
}

CString CWnd::GetDlgItemText(int id) const
{
    CString s;
    GetDlgItemText(id, s);
    return s;
}

CWnd* CWnd::GetParent() const
{
    return FromHandle(::GetParent(m_hWnd));
}
CWnd* CWnd::GetOwner() const
{
    return FromHandle(::GetWindow(m_hWnd, GW_OWNER));
}
CWnd* CWnd::GetTopLevelParent() const
{
    return FromHandle(::GetAncestor(m_hWnd, GA_ROOT));
}
CWnd* CWnd::GetDlgItem(int id) const
{
    return FromHandle(::GetDlgItem(m_hWnd, id));
}
CWnd* CWnd::SetFocus()
{
    return FromHandle(::SetFocus(m_hWnd));
}
CWnd* CWnd::GetFocus()
{
    return FromHandle(::GetFocus());
}
CWnd* CWnd::SetCapture()
{
    return FromHandle(::SetCapture(m_hWnd));
}
CWnd* CWnd::GetCapture()
{
    return FromHandle(::GetCapture());
}

int CWnd::MessageBox(LPCWSTR text, LPCWSTR caption, UINT type)
{
    return ::MessageBoxW(m_hWnd, text, caption ? caption : L"", type);
}
