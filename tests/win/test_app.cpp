// AfxWinMain: COM before InitInstance, ExitInstance always, and the exit code of either path.
#include <gtest/gtest.h>

#include "afxwin.h"

#include <objbase.h>

#include <string>

namespace {

class RecordingApp : public CWinApp {
public:
    explicit RecordingApp(BOOL initResult) : CWinApp(L"Recorder"), m_initResult(initResult) { }
    std::string order;
    BOOL InitInstance() override
    {
        order += "init;";
        IUnknown* unk = nullptr; // fails unless COM was initialised first
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
