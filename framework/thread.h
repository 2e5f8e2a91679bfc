// Threads: CWinThread, AfxBeginThread and a wait that keeps the waiting thread's windows alive.
//
// Ownership. Unlike the library we follow, m_bAutoDelete is FALSE by default here: the object and
// its thread handle live until the program deletes the object, so a pointer kept in a global or a
// member never dangles, and m_hThread can still be waited on and asked for the exit code after the
// thread has ended. Deleting the object closes the handle; it neither stops nor waits for the
// thread, so end the thread first (RequestStop, then ZrWaitForThreadPumping). A fire-and-forget
// thread may set m_bAutoDelete to TRUE while it is still suspended (CREATE_SUSPENDED, then
// ResumeThread); it then deletes its own object when it ends and nobody may use the pointer.
//
// Start. The thread is always created suspended, so m_hThread, m_nThreadID and AfxGetThread() are
// valid before the thread procedure runs; AfxBeginThread resumes it before returning unless
// CREATE_SUSPENDED is asked. A thread procedure that reads the pointer the caller stores (a global
// assigned from AfxBeginThread's result) must be started with CREATE_SUSPENDED and resumed after
// the store, or with ZrBeginThreadInto, which stores before resuming.
//
// Stopping. Threads are never killed. RequestStop() sets a flag that the thread procedure polls
// (through its object, or AfxGetThread()->StopRequested()); the procedure then runs its own
// finishing steps and returns.
#pragma once
#include <windows.h>
#include <atomic>
#include "wnd.h"

typedef UINT(__cdecl* AFX_THREADPROC)(LPVOID);

class CWinThread {
public:
    CWinThread();
    virtual ~CWinThread();
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;

    HANDLE m_hThread = nullptr;
    DWORD m_nThreadID = 0;
    BOOL m_bAutoDelete = FALSE;
    CWnd* m_pMainWnd = nullptr;

    operator HANDLE() const { return m_hThread; }

    DWORD ResumeThread(); // the previous suspend count, or (DWORD)-1
    DWORD SuspendThread();
    BOOL SetThreadPriority(int priority);
    int GetThreadPriority() const;
    // The thread's exit code; STILL_ACTIVE while it runs.
    BOOL GetExitCode(DWORD* code) const;
    bool HasEnded() const;

    void RequestStop() { m_stopRequested.store(true); }
    bool StopRequested() const { return m_stopRequested.load(); }

    virtual BOOL InitInstance();
    virtual int ExitInstance();
    virtual CWnd* GetMainWnd();

private:
    friend CWinThread* AfxBeginThread(AFX_THREADPROC, LPVOID, int, UINT, DWORD, LPSECURITY_ATTRIBUTES);
    friend unsigned __stdcall ZrThreadEntry(void*);
    AFX_THREADPROC m_pfnThreadProc = nullptr;
    LPVOID m_pThreadParams = nullptr;
    std::atomic<bool> m_stopRequested{ false };
};

// Starts proc(param) on a new thread. Returns nullptr when the thread cannot be made.
CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int priority = THREAD_PRIORITY_NORMAL, UINT stackSize = 0,
                           DWORD createFlags = 0, LPSECURITY_ATTRIBUTES security = nullptr);

// As AfxBeginThread, but stores the new object into `slot` before the thread runs, so the thread
// procedure may read the slot (usually a global) from its first instruction.
CWinThread* ZrBeginThreadInto(CWinThread*& slot, AFX_THREADPROC proc, LPVOID param,
                              int priority = THREAD_PRIORITY_NORMAL, UINT stackSize = 0);

// The object of the calling thread: the one AfxBeginThread made, the application object on the
// program's main thread, otherwise nullptr.
CWinThread* AfxGetThread();

// Waits up to timeoutMs (INFINITE allowed) for the thread to end while dispatching the calling
// thread's messages, so that a worker that SendMessage()s to this thread's windows cannot
// deadlock the wait. Handlers of this thread may run meanwhile (the caller must expect
// re-entrance). A WM_QUIT taken from the queue is posted again; after it only sent messages are
// delivered. Returns true when the thread has ended; a null thread counts as ended.
bool ZrWaitForThreadPumping(CWinThread* thread, DWORD timeoutMs);
