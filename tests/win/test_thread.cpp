// CWinThread: the global set before the thread runs, the kept handle, and the wait that pumps
// messages (the stop flag is driven by the launcher's exit test).
#include <gtest/gtest.h>

#include "afxwin.h"

#include <atomic>

namespace {

CWinThread* g_stored = nullptr;

struct StartSeen {
    CWinThread* stored = nullptr;
    CWinThread* self = nullptr;
    HANDLE handle = nullptr;
    DWORD id = 0;
};

UINT __cdecl RecordStart(LPVOID p)
{
    CWinThread* self = AfxGetThread();
    *static_cast<StartSeen*>(p) = { g_stored, self, self ? self->m_hThread : nullptr, self ? self->m_nThreadID : 0 };
    return 0;
}

// Even a thread that runs at once finds its object complete and the global filled.
TEST(ThreadTest, ThreadsFindTheirObjectAndTheGlobalStoredBeforeTheyRun)
{
    StartSeen into;
    g_stored = nullptr;
    CWinThread* t = ZrBeginThreadInto(g_stored, RecordStart, &into);
    ASSERT_TRUE(ZrWaitForThreadPumping(t, 5000));
    EXPECT_EQ(into.stored, t);
    EXPECT_EQ(into.self, t);
    EXPECT_EQ(into.handle, t->m_hThread);
    EXPECT_EQ(into.id, t->m_nThreadID);
    // The object keeps a valid handle of the ended thread.
    EXPECT_EQ(::WaitForSingleObject(t->m_hThread, 0), (DWORD)WAIT_OBJECT_0);
    EXPECT_TRUE(t->HasEnded());
    delete t;
    g_stored = nullptr;
}

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
    EXPECT_EQ(work.answeredRight, 100);
    delete t;

    // The wait times out, and goes on delivering sent messages after a quit request, which stays.
    SendWork later;
    later.target = r.m_hWnd;
    later.count = 3;
    later.go = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    t = AfxBeginThread(SendToWindow, &later);
    DWORD start = ::GetTickCount();
    EXPECT_FALSE(ZrWaitForThreadPumping(t, 50));
    EXPECT_GE(::GetTickCount() - start, 40u);
    ::PostQuitMessage(3);
    ::SetEvent(later.go);
    ASSERT_TRUE(ZrWaitForThreadPumping(t, 10000));
    EXPECT_EQ(r.received, 103);
    MSG msg;
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
    delete t;
    ::CloseHandle(later.go);
}

} // namespace
