// CWinApp and start-up: AfxWinMain's order and exit code, AfxMessageBox's owner, caption and icon.
#include <gtest/gtest.h>

#include "afxwin.h"
#include "test_resource.h"

#include <objbase.h>

#include <string>

namespace {

struct BoxCall {
    HWND owner = nullptr;
    std::wstring caption;
    UINT type = 0;
};
BoxCall g_box;

TEST(AppTest, MessageBoxPicksIconsOwnerAndCaption)
{
    ZrMessageBoxHook previous = ZrSetMessageBoxHook([](HWND owner, LPCWSTR, LPCWSTR caption, UINT type) {
        g_box = BoxCall{ owner, caption, type };
        return IDNO;
    });
    ASSERT_EQ(AfxGetApp(), nullptr);
    EXPECT_EQ(AfxMessageBox(L"Disk not ready"), IDNO);
    EXPECT_EQ(g_box.caption, L"test_app");   // no application object: the executable's name
    EXPECT_EQ(g_box.type, (UINT)(MB_OK | MB_ICONEXCLAMATION));

    INITCOMMONCONTROLSEX icc = { sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES };
    ::InitCommonControlsEx(&icc);
    CWinApp app(L"Tester");
    CDialog main, active;
    ASSERT_TRUE(main.Create(IDD_TEST_CHILD));
    app.m_pMainWnd = &main;
    ::SetActiveWindow(nullptr);
    AfxMessageBox(L"Continue?", MB_YESNO);
    EXPECT_EQ(g_box.type, (UINT)(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(g_box.caption, L"Tester");
    EXPECT_EQ(g_box.owner, main.m_hWnd);   // no active window: the main window

    ASSERT_TRUE(active.Create(IDD_TEST_CHILD));
    active.ShowWindow(SW_SHOW);
    ::SetActiveWindow(active);
    AfxMessageBox(L"y", MB_OK | MB_ICONINFORMATION);
    EXPECT_EQ(g_box.owner, active.m_hWnd);
    EXPECT_EQ(g_box.type, (UINT)(MB_OK | MB_ICONINFORMATION));   // a given icon is kept
    app.m_pMainWnd = nullptr;
    ZrSetMessageBoxHook(previous);
}

class RecordingApp : public CWinApp {
public:
    explicit RecordingApp(BOOL initResult) : CWinApp(L"Recorder"), m_initResult(initResult) {}
    std::string order;
    BOOL InitInstance() override
    {
        order += "init;";
        IUnknown* unk = nullptr;   // fails unless COM was initialised first
        if (SUCCEEDED(::CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                         reinterpret_cast<void**>(&unk)))) {
            order += "com;";
            unk->Release();
        }
        if (m_initResult)
            ::PostQuitMessage(9);
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
    for (BOOL init : { FALSE, TRUE }) {
        RecordingApp app(init);
        wchar_t args[] = L"--scan C:";
        EXPECT_EQ(AfxWinMain(::GetModuleHandleW(nullptr), nullptr, args, SW_SHOWNORMAL), init ? 9 : 12);
        EXPECT_EQ(app.order, "init;com;exit;");
        EXPECT_STREQ(app.m_lpCmdLine, L"--scan C:");
    }
}

} // namespace
