// CWinApp and the program's start-up: the application object's accessors, AfxWinMain's order and
// exit code, and AfxMessageBox's owner, caption and icons.
#include <gtest/gtest.h>

#include "afxwin.h"
#include "test_resource.h"

#include <objbase.h>

#include <string>

namespace {

struct BoxCall {
    int calls = 0;
    HWND owner = nullptr;
    std::wstring text, caption;
    UINT type = 0;
};
BoxCall g_box;

int RecordBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    ++g_box.calls;
    g_box.owner = owner;
    g_box.text = text;
    g_box.caption = caption;
    g_box.type = type;
    return IDNO;
}

class BoxHook {
public:
    BoxHook()
    {
        g_box = BoxCall();
        m_previous = ZrSetMessageBoxHook(RecordBox);
    }
    ~BoxHook() { ZrSetMessageBoxHook(m_previous); }

private:
    ZrMessageBoxHook m_previous;
};

TEST(AppTest, MessageBoxWithoutApplicationUsesTheExecutableName)
{
    ASSERT_EQ(AfxGetApp(), nullptr);
    BoxHook hook;
    EXPECT_EQ(AfxMessageBox(L"Disk not ready"), IDNO);
    EXPECT_EQ(g_box.text, L"Disk not ready");
    EXPECT_EQ(g_box.caption, L"test_app");
    EXPECT_EQ(g_box.type, (UINT)(MB_OK | MB_ICONEXCLAMATION));
}

TEST(AppTest, MessageBoxPicksIconsOwnerAndCaption)
{
    INITCOMMONCONTROLSEX icc = { sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES };
    ::InitCommonControlsEx(&icc);
    CWinApp app(L"Tester");
    ASSERT_EQ(AfxGetApp(), &app);
    BoxHook hook;

    AfxMessageBox(L"Continue?", MB_YESNO);
    EXPECT_EQ(g_box.type, (UINT)(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(g_box.caption, L"Tester");
    AfxMessageBox(L"Done", MB_OK | MB_ICONINFORMATION);
    EXPECT_EQ(g_box.type, (UINT)(MB_OK | MB_ICONINFORMATION));
    AfxMessageBox(L"Again?", MB_RETRYCANCEL);
    EXPECT_EQ(g_box.type, (UINT)MB_RETRYCANCEL);

    // The owner is the active window; without one, the main window.
    CDialog main;
    ASSERT_TRUE(main.Create(IDD_TEST_CHILD));
    app.m_pMainWnd = &main;
    ::SetActiveWindow(nullptr);
    AfxMessageBox(L"x");
    EXPECT_EQ(g_box.owner, main.m_hWnd);

    CDialog active;
    ASSERT_TRUE(active.Create(IDD_TEST_CHILD));
    active.ShowWindow(SW_SHOW);
    ::SetActiveWindow(active);
    AfxMessageBox(L"y");
    EXPECT_EQ(g_box.owner, active.m_hWnd);
    app.m_pMainWnd = nullptr;
}

TEST(AppTest, ApplicationObjectIsTheMainThreadsObject)
{
    CWinApp app(L"Tester");
    EXPECT_EQ(AfxGetThread(), &app);
    EXPECT_EQ(app.m_nThreadID, ::GetCurrentThreadId());
    EXPECT_EQ(AfxGetInstanceHandle(), ::GetModuleHandleW(nullptr));
    EXPECT_STREQ(app.m_pszExeName, L"test_app");

    app.SetRegistryKey(L"Local AppWizard-Generated Applications");
    EXPECT_STREQ(app.m_pszRegistryKey, L"Local AppWizard-Generated Applications");
    EXPECT_STREQ(app.m_pszProfileName, L"Tester");

    // A worker has no main window of its own: it sees the application's.
    CWnd marker;
    app.m_pMainWnd = &marker;
    struct Seen {
        CWinThread* thread;
        CWnd* main;
    } seen = {};
    CWinThread* t = AfxBeginThread([](LPVOID p) -> UINT {
        auto* s = static_cast<Seen*>(p);
        s->thread = AfxGetThread();
        s->main = AfxGetMainWnd();
        return 0;
    }, &seen);
    ASSERT_TRUE(ZrWaitForThreadPumping(t, 5000));
    EXPECT_EQ(seen.thread, t);
    EXPECT_EQ(seen.main, &marker);
    EXPECT_EQ(AfxGetMainWnd(), &marker);
    delete t;
    app.m_pMainWnd = nullptr;
}

class RecordingApp : public CWinApp {
public:
    explicit RecordingApp(BOOL initResult) : CWinApp(L"Recorder"), m_initResult(initResult) {}
    std::string order;
    BOOL InitInstance() override
    {
        order += "init;";
        // COM is ready: creating an in-process object would fail without CoInitialize.
        IUnknown* unk = nullptr;
        HRESULT hr = ::CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IUnknown, reinterpret_cast<void**>(&unk));
        if (SUCCEEDED(hr)) {
            order += "com;";
            unk->Release();
        }
        if (m_initResult)
            ::PostQuitMessage(9);   // ends Run's loop with this code
        return m_initResult;
    }
    int ExitInstance() override
    {
        order += "exit;";
        return m_initResult ? CWinApp::ExitInstance() : 12;
    }

private:
    BOOL m_initResult;
};

TEST(AppTest, WinMainEndsWithExitInstancesCodeWhenInitInstanceFails)
{
    RecordingApp app(FALSE);
    wchar_t args[] = L"--scan C:";
    EXPECT_EQ(AfxWinMain(::GetModuleHandleW(nullptr), nullptr, args, SW_SHOWNORMAL), 12);
    EXPECT_EQ(app.order, "init;com;exit;");
    EXPECT_STREQ(app.m_lpCmdLine, L"--scan C:");
}

TEST(AppTest, WinMainRunsTheMessageLoopUntilQuitWhenInitInstanceSucceeds)
{
    RecordingApp app(TRUE);
    wchar_t args[] = L"";
    EXPECT_EQ(AfxWinMain(::GetModuleHandleW(nullptr), nullptr, args, SW_SHOWNORMAL), 9);
    EXPECT_EQ(app.order, "init;com;exit;");
}

} // namespace
