#include "ui_wait.h"
#include "wnd.h"

namespace zr_test {

namespace {
thread_local ModalWatchdog* t_watchdog = nullptr;
thread_local MessageBoxCatcher* t_catcher = nullptr;
thread_local int t_catcherCount = 0;

// The queue is empty: what the program's loops do then, the pumps do too, so that a window object
// lent out before (GetDlgItem, FromHandle...) and still held shows up every time, not only when
// some modal loop inside happened to go idle.
void AtIdle()
{
    if (!CWnd::IsHandlingMessage())
        CWnd::DeleteTempMap();
}

} // namespace

bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    while (!pred()) {
        DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return pred();
        ::MsgWaitForMultipleObjectsEx(0, nullptr, (timeoutMs - elapsed) < 10 ? timeoutMs - elapsed : 10, QS_ALLINPUT,
                                      MWMO_INPUTAVAILABLE);
        PumpPending();
    }
    return true;
}

namespace {

// Dispatches one waiting message; false when none was waiting (or it was the quit request).
bool PumpOne()
{
    MSG msg;
    if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        return false;
    if (msg.message == WM_QUIT) {
        ::PostQuitMessage((int)msg.wParam);
        return false;
    }
    if (!CWnd::WalkPreTranslateTree(nullptr, &msg)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return true;
}

} // namespace

void PumpPendingKeepingTemporaries()
{
    while (PumpOne()) { }
}

void PumpPending()
{
    PumpPendingKeepingTemporaries();
    AtIdle();
}

bool PumpEachUntil(const std::function<bool()>& pred, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    while (!pred()) {
        const DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return pred();
        if (!PumpOne()) {
            AtIdle();
            ::MsgWaitForMultipleObjectsEx(0, nullptr, (timeoutMs - elapsed) < 10 ? timeoutMs - elapsed : 10,
                                          QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        }
    }
    return true;
}

bool WaitUntil(const std::function<bool()>& pred, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    while (!pred()) {
        if (::GetTickCount() - start >= timeoutMs)
            return pred();
        ::Sleep(1);
    }
    return true;
}

ModalWatchdog::ModalWatchdog(DWORD timeoutMs)
{
    t_watchdog = this;
    m_timer = ::SetTimer(nullptr, 0, timeoutMs, &ModalWatchdog::OnTimer);
}

ModalWatchdog::~ModalWatchdog()
{
    if (m_timer)
        ::KillTimer(nullptr, m_timer);
    if (m_fired) {
        MSG msg;
        ::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    }
    t_watchdog = nullptr;
}

void CALLBACK ModalWatchdog::OnTimer(HWND, UINT, UINT_PTR id, DWORD)
{
    ::KillTimer(nullptr, id);
    if (t_watchdog && t_watchdog->m_timer == id) {
        t_watchdog->m_timer = 0;
        t_watchdog->m_fired = true;
    }
    ::PostQuitMessage(0x7d09);
}

MessageBoxCatcher::MessageBoxCatcher()
{
    t_catcher = this;
    m_timer = ::SetTimer(nullptr, 0, 20, &MessageBoxCatcher::OnTimer);
}

MessageBoxCatcher::~MessageBoxCatcher()
{
    if (m_timer)
        ::KillTimer(nullptr, m_timer);
    t_catcher = nullptr;
}

// A message box is a visible dialog of this thread that no object of ours stands for.
static BOOL CALLBACK CloseMessageBox(HWND h, LPARAM)
{
    wchar_t cls[16] = {};
    ::GetClassNameW(h, cls, 16);
    if (::lstrcmpW(cls, L"#32770") == 0 && ::IsWindowVisible(h) && !CWnd::FromHandlePermanent(h) &&
        !::GetPropW(h, L"zr_test_counted")) {
        ::SetPropW(h, L"zr_test_counted", (HANDLE)1);
        ++t_catcherCount;
        ::PostMessageW(h, WM_COMMAND, IDOK, 0);
    }
    return TRUE;
}

void CALLBACK MessageBoxCatcher::OnTimer(HWND, UINT, UINT_PTR, DWORD)
{
    if (!t_catcher)
        return;
    t_catcherCount = 0;
    ::EnumThreadWindows(::GetCurrentThreadId(), &CloseMessageBox, 0);
    t_catcher->m_count += t_catcherCount;
}

} // namespace zr_test
