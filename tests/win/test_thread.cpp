// CWinThread / AfxBeginThread: start order, the stop flag, the kept handle, and the wait that
// pumps messages.
#include <gtest/gtest.h>

#include "afxwin.h"
#include "common/ui_wait.h"

#include <atomic>

using zr_test::PumpUntil;
using zr_test::WaitUntil;

namespace {

// ---------------------------------------------------------------------------------------------
// Start order

CWinThread* g_stored = nullptr;

struct StartSeen {
    std::atomic<bool> ran{ false };
    CWinThread* storedSeen = nullptr;
    CWinThread* selfSeen = nullptr;
    HANDLE handleSeen = nullptr;
    DWORD idSeen = 0;
};

UINT __cdecl RecordStart(LPVOID p)
{
    StartSeen* seen = static_cast<StartSeen*>(p);
    seen->storedSeen = g_stored;
    seen->selfSeen = AfxGetThread();
    if (seen->selfSeen) {
        seen->handleSeen = seen->selfSeen->m_hThread;
        seen->idSeen = seen->selfSeen->m_nThreadID;
    }
    seen->ran = true;
    return 0;
}

TEST(ThreadTest, SuspendedThreadSeesTheGlobalStoredBeforeItIsResumed)
{
    StartSeen seen;
    g_stored = nullptr;
    CWinThread* t = AfxBeginThread(RecordStart, &seen, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(::WaitForSingleObject(t->m_hThread, 20), (DWORD)WAIT_TIMEOUT);   // it does not run
    EXPECT_FALSE(seen.ran);
    g_stored = t;
    EXPECT_EQ(t->ResumeThread(), 1u);
    ASSERT_TRUE(ZrWaitForThreadPumping(t, 5000));
    EXPECT_EQ(seen.storedSeen, t);
    EXPECT_EQ(seen.selfSeen, t);
    delete t;
    g_stored = nullptr;
}

TEST(ThreadTest, ProcedureFindsItsObjectCompleteAndTheSlotFilled)
{
    // Running at once, the procedure still finds its object with handle and id filled in.
    StartSeen seen;
    CWinThread* t = AfxBeginThread(RecordStart, &seen);
    ASSERT_TRUE(ZrWaitForThreadPumping(t, 5000));
    EXPECT_EQ(seen.selfSeen, t);
    EXPECT_EQ(seen.handleSeen, t->m_hThread);
    EXPECT_EQ(seen.idSeen, t->m_nThreadID);
    delete t;

    StartSeen seenInto;
    g_stored = nullptr;
    t = ZrBeginThreadInto(g_stored, RecordStart, &seenInto);
    ASSERT_TRUE(ZrWaitForThreadPumping(t, 5000));
    EXPECT_EQ(seenInto.storedSeen, t);
    delete t;
    g_stored = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Stopping and the kept handle

struct StopWork {
    std::atomic<bool> started{ false };
    std::atomic<int> finished{ 0 };
};

UINT __cdecl WorkUntilStopped(LPVOID p)
{
    StopWork* work = static_cast<StopWork*>(p);
    work->started = true;
    while (!AfxGetThread()->StopRequested())
        ::Sleep(1);
    work->finished = 42;   // the thread's own finishing step
    return 7;
}

TEST(ThreadTest, StopFlagEndsTheWorkerWhichFinishesAndKeepsItsHandle)
{
    StopWork work;
    CWinThread* t = AfxBeginThread(WorkUntilStopped, &work);
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return work.started.load(); }));
    DWORD code = 0;
    ASSERT_TRUE(t->GetExitCode(&code));
    EXPECT_EQ(code, (DWORD)STILL_ACTIVE);
    EXPECT_FALSE(t->HasEnded());
    EXPECT_FALSE(t->StopRequested());

    t->RequestStop();
    EXPECT_TRUE(t->StopRequested());
    ASSERT_TRUE(ZrWaitForThreadPumping(t, 5000));
    EXPECT_EQ(work.finished, 42);

    // The object still holds a valid handle of the ended thread.
    EXPECT_EQ(::WaitForSingleObject(t->m_hThread, 0), (DWORD)WAIT_OBJECT_0);
    code = 0;
    ASSERT_TRUE(::GetExitCodeThread(t->m_hThread, &code));
    EXPECT_EQ(code, 7u);
    ASSERT_TRUE(t->GetExitCode(&code));
    EXPECT_EQ(code, 7u);
    EXPECT_TRUE(t->HasEnded());
    delete t;
}

// ---------------------------------------------------------------------------------------------
// The pumping wait

// A plain window of the test thread that counts WM_APP+1 sent to it.
class Receiver : public CWnd {
public:
    std::atomic<int> received{ 0 };
    bool Make()
    {
        LPCWSTR cls = CWnd::RegisterClassOnce(L"ZrThreadTestReceiver");
        return cls && CreateEx(0, cls, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr);
    }

protected:
    LRESULT OnPing(WPARAM w, LPARAM)
    {
        ++received;
        return (LRESULT)w + 1;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Receiver, CWnd)
    ON_MESSAGE(WM_APP + 1, &Receiver::OnPing)
END_MESSAGE_MAP()

struct SendWork {
    HWND target = nullptr;
    HANDLE go = nullptr;
    int count = 0;
    std::atomic<int> answeredRight{ 0 };
};

UINT __cdecl SendToWindow(LPVOID p)
{
    SendWork* work = static_cast<SendWork*>(p);
    if (work->go)
        ::WaitForSingleObject(work->go, INFINITE);
    for (int i = 0; i < work->count; ++i)
        if (::SendMessageW(work->target, WM_APP + 1, (WPARAM)i, 0) == i + 1)
            ++work->answeredRight;
    return 0;
}

TEST(ThreadTest, WaitDeliversMessagesTheWorkerSendsToTheWaitingThread)
{
    Receiver r;
    ASSERT_TRUE(r.Make());
    SendWork work;
    work.target = r.m_hWnd;
    work.count = 100;
    CWinThread* t = AfxBeginThread(SendToWindow, &work);
    // A plain WaitForSingleObject here would never return: the worker waits for our replies.
    ASSERT_TRUE(ZrWaitForThreadPumping(t, 10000));
    EXPECT_EQ(r.received, 100);
    EXPECT_EQ(work.answeredRight, 100);
    delete t;
}

TEST(ThreadTest, WaitTimesOutAndKeepsDeliveringSentMessagesAfterAQuitRequest)
{
    Receiver r;
    ASSERT_TRUE(r.Make());
    SendWork work;
    work.target = r.m_hWnd;
    work.count = 3;
    work.go = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CWinThread* t = AfxBeginThread(SendToWindow, &work);

    DWORD start = ::GetTickCount();
    EXPECT_FALSE(ZrWaitForThreadPumping(t, 50));
    EXPECT_GE(::GetTickCount() - start, 40u);

    ::PostQuitMessage(3);
    ::SetEvent(work.go);
    ASSERT_TRUE(ZrWaitForThreadPumping(t, 10000));
    EXPECT_EQ(r.received, 3);
    MSG msg;
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));   // still there
    EXPECT_EQ(msg.wParam, 3u);
    delete t;
    ::CloseHandle(work.go);
}

} // namespace
