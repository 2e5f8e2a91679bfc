#include "thread.h"
#include "app.h"

#include <process.h>

namespace {

thread_local CWinThread* t_thread = nullptr;

} // namespace

unsigned __stdcall ZrThreadEntry(void* p)
{
    CWinThread* self = static_cast<CWinThread*>(p);
    t_thread = self;
    // Read everything needed from the object now: without auto-delete its owner may delete it as
    // soon as the procedure has reported that it is done.
    AFX_THREADPROC proc = self->m_pfnThreadProc;
    LPVOID param = self->m_pThreadParams;
    bool autoDelete = self->m_bAutoDelete != FALSE;
    UINT code = proc(param);
    CWnd::ReleaseThreadState();
    t_thread = nullptr;
    if (autoDelete)
        delete self;
    return code;
}

CWinThread::CWinThread() = default;

CWinThread::~CWinThread()
{
    if (m_hThread)
        ::CloseHandle(m_hThread);
}

DWORD CWinThread::ResumeThread()
{
    return m_hThread ? ::ResumeThread(m_hThread) : (DWORD)-1;
}
DWORD CWinThread::SuspendThread()
{
    return m_hThread ? ::SuspendThread(m_hThread) : (DWORD)-1;
}
BOOL CWinThread::SetThreadPriority(int priority)
{
    return m_hThread && ::SetThreadPriority(m_hThread, priority);
}

int CWinThread::GetThreadPriority() const
{
    return m_hThread ? ::GetThreadPriority(m_hThread) : THREAD_PRIORITY_ERROR_RETURN;
}

BOOL CWinThread::GetExitCode(DWORD* code) const
{
    if (!m_hThread || !code)
        return FALSE;
    return ::GetExitCodeThread(m_hThread, code);
}

bool CWinThread::HasEnded() const
{
    return !m_hThread || ::WaitForSingleObject(m_hThread, 0) == WAIT_OBJECT_0;
}

BOOL CWinThread::InitInstance()
{
    return TRUE;
}
int CWinThread::ExitInstance()
{
    return 0;
}
CWnd* CWinThread::GetMainWnd()
{
    return m_pMainWnd;
}

CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int priority, UINT stackSize, DWORD createFlags,
                           LPSECURITY_ATTRIBUTES security)
{
    if (!proc)
        return nullptr;
    CWinThread* t = new CWinThread();
    t->m_pfnThreadProc = proc;
    t->m_pThreadParams = param;
    unsigned id = 0;
    unsigned flags = CREATE_SUSPENDED | (createFlags & STACK_SIZE_PARAM_IS_A_RESERVATION);
    uintptr_t h = ::_beginthreadex(security, stackSize, &ZrThreadEntry, t, flags, &id);
    if (!h) {
        delete t;
        return nullptr;
    }
    t->m_hThread = reinterpret_cast<HANDLE>(h);
    t->m_nThreadID = id;
    if (priority != THREAD_PRIORITY_NORMAL)
        ::SetThreadPriority(t->m_hThread, priority);
    if (!(createFlags & CREATE_SUSPENDED))
        ::ResumeThread(t->m_hThread);
    return t;
}

CWinThread* ZrBeginThreadInto(CWinThread*& slot, AFX_THREADPROC proc, LPVOID param, int priority, UINT stackSize)
{
    CWinThread* t = AfxBeginThread(proc, param, priority, stackSize, CREATE_SUSPENDED);
    slot = t;
    if (t)
        t->ResumeThread();
    return t;
}

CWinThread* AfxGetThread()
{
    if (t_thread)
        return t_thread;
    CWinApp* app = AfxGetApp();
    if (app && app->m_nThreadID == ::GetCurrentThreadId())
        return app;
    return nullptr;
}

bool ZrWaitForThreadPumping(CWinThread* thread, DWORD timeoutMs)
{
    if (!thread || !thread->m_hThread)
        return true;
    HANDLE h = thread->m_hThread;
    const DWORD start = ::GetTickCount();
    DWORD wake = QS_ALLINPUT;
    for (;;) {
        DWORD wait = INFINITE;
        if (timeoutMs != INFINITE) {
            DWORD elapsed = ::GetTickCount() - start;
            wait = elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
        }
        DWORD r = ::MsgWaitForMultipleObjectsEx(1, &h, wait, wake, MWMO_INPUTAVAILABLE);
        if (r == WAIT_OBJECT_0)
            return true;
        if (r != WAIT_OBJECT_0 + 1) // timed out or failed
            return ::WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
        MSG msg;
        if (wake == QS_SENDMESSAGE) {
            // Delivers the sent messages only; the quit request stays in the queue.
            ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            continue;
        }
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                ::PostQuitMessage((int)msg.wParam);
                wake = QS_SENDMESSAGE;
                break;
            }
            if (!CWnd::WalkPreTranslateTree(nullptr, &msg)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
        }
    }
}
