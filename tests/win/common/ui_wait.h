// Waiting in window tests without fixed sleeps: pump or poll until a condition holds, with a
// bound, and guards that keep a broken modal loop or an unexpected message box from hanging a
// test. Whenever the pumps find the queue empty they free the thread's temporary window objects,
// as the program's own loops do when idle (unless a handler runs): a test keeps windows by
// handle, or looks them up where it uses them, never a GetDlgItem or FromHandle result across a
// pump.
#pragma once
#include <windows.h>
#include <functional>

namespace zr_test {

// Dispatches this thread's messages until pred() holds or timeoutMs has passed; returns pred().
bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs = 5000);
// Dispatches the messages that are waiting now.
void PumpPending();
// The same, but frees no temporaries when done: for a test that counts the temporaries a run of
// messages leaves (repaints alone never make the program's loops idle).
void PumpPendingKeepingTemporaries();
// Like PumpUntil, but tests pred() after every message dispatched: for a state that lasts only
// from one message to a later one (a worker started by one and ended by another), which a whole
// drain of the queue may start and end unseen.
bool PumpEachUntil(const std::function<bool()>& pred, DWORD timeoutMs = 5000);
// Polls (without dispatching) until pred() holds or timeoutMs has passed; for conditions that
// other threads bring about. Returns pred().
bool WaitUntil(const std::function<bool()>& pred, DWORD timeoutMs = 5000);

// Posts WM_QUIT to this thread after timeoutMs unless destroyed first, so modal loops that fail
// to end return (with -1) instead of hanging. The destructor removes a WM_QUIT it caused.
class ModalWatchdog {
public:
    explicit ModalWatchdog(DWORD timeoutMs = 10000);
    ~ModalWatchdog();
    ModalWatchdog(const ModalWatchdog&) = delete;
    ModalWatchdog& operator=(const ModalWatchdog&) = delete;
    bool Fired() const { return m_fired; }

private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
    UINT_PTR m_timer = 0;
    bool m_fired = false;
};

// While alive, closes every message box this thread shows (checked from a thread timer, which
// the box's own loop dispatches) and counts them.
class MessageBoxCatcher {
public:
    MessageBoxCatcher();
    ~MessageBoxCatcher();
    MessageBoxCatcher(const MessageBoxCatcher&) = delete;
    MessageBoxCatcher& operator=(const MessageBoxCatcher&) = delete;
    int Count() const { return m_count; }

private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
    UINT_PTR m_timer = 0;
    int m_count = 0;
};

} // namespace zr_test
