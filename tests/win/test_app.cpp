// CWinApp and the program's start-up: the application object's accessors, AfxWinMain's order and
// exit code, and AfxMessageBox's owner, caption and icons.
#include <gtest/gtest.h>

#include "afxwin.h"
#include "test_resource.h"

#include <objbase.h>

#include <string>

namespace {

// What the last message box would have shown, while a BoxHook is alive.
struct BoxCall {
    HWND owner = nullptr;
    std::wstring text, caption;
    UINT type = 0;
};
BoxCall g_box;

struct BoxHook {
    ZrMessageBoxHook previous = ZrSetMessageBoxHook([](HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
        g_box = BoxCall{ owner, text, caption, type };
        return IDNO;
    });
    ~BoxHook() { ZrSetMessageBoxHook(previous); }
};

TEST(AppTest, MessageBoxPicksIconsOwnerAndCaption)
{
    BoxHook hook;
    // Without an application object the caption is the executable's name.
    ASSERT_EQ(AfxGetApp(), nullptr);
    EXPECT_EQ(AfxMessageBox(L"Disk not ready"), IDNO);
    EXPECT_EQ(g_box.text, L"Disk not ready");
    EXPECT_EQ(g_box.caption, L"test_app");
    EXPECT_EQ(g_box.type, (UINT)(MB_OK | MB_ICONEXCLAMATION));

    INITCOMMONCONTROLSEX icc = { sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES };
    ::InitCommonControlsEx(&icc);
    CWinApp app(L"Tester");

    // The owner is the active window; without one, the main window.
    CDialog main;
    ASSERT_TRUE(main.Create(IDD_TEST_CHILD));
    app.m_pMainWnd = &main;
    ::SetActiveWindow(nullptr);
    AfxMessageBox(L"Continue?", MB_YESNO);
    EXPECT_EQ(g_box.type, (UINT)(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(g_box.caption, L"Tester");
    EXPECT_EQ(g_box.owner, main.m_hWnd);
    AfxMessageBox(L"Done", MB_OK | MB_ICONINFORMATION);   // a given icon is kept
    EXPECT_EQ(g_box.type, (UINT)(MB_OK | MB_ICONINFORMATION));

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

    // A worker has no main window of its own: it sees the application's.
    CWnd marker;
    app.m_pMainWnd = &marker;
    CWnd* seen = nullptr;
    CWinThread* t = AfxBeginThread([](LPVOID p) -> UINT {
        *static_cast<CWnd**>(p) = AfxGetThread() != AfxGetApp() ? AfxGetMainWnd() : nullptr;
        return 0;
    }, &seen);
    ASSERT_TRUE(ZrWaitForThreadPumping(t, 5000));
    EXPECT_EQ(seen, &marker);
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

TEST(AppTest, WinMainEndsWithExitInstancesCodeOrRunsTheLoopUntilQuit)
{
    {
        RecordingApp app(FALSE);
        wchar_t args[] = L"--scan C:";
        EXPECT_EQ(AfxWinMain(::GetModuleHandleW(nullptr), nullptr, args, SW_SHOWNORMAL), 12);
        EXPECT_EQ(app.order, "init;com;exit;");
        EXPECT_STREQ(app.m_lpCmdLine, L"--scan C:");
    }
    RecordingApp app(TRUE);
    wchar_t args[] = L"";
    EXPECT_EQ(AfxWinMain(::GetModuleHandleW(nullptr), nullptr, args, SW_SHOWNORMAL), 9);
    EXPECT_EQ(app.order, "init;com;exit;");
}

} // namespace
