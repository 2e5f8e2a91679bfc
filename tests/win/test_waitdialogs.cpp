// The splash on its own thread (closing rules, the pointer cleared as it ends, keys that do
// nothing), the loading dialog's self-deletion and the populating dialog's Cancel.
#include <gtest/gtest.h>

#include <atomic>

#include "afxwin.h"
#include "app/maindlg.h"
#include "app/startup.h"
#include "app/waitdialogs.h"
#include "common/ui_wait.h"
#include "resource.h"

using zr_test::PumpUntil;
using zr_test::WaitUntil;

namespace {

class SplashTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CreateSharedGdiObjects();
        m_oldCheck = SplashCheckMs;
        SplashCheckMs = 50;
        SplashMayClose = 0;
        SetCommandLineLogPath(L"C:\\logs\\disk.QLX");
    }
    void TearDown() override
    {
        SplashCheckMs = m_oldCheck;
        ClearCommandLineLogPath();
        SplashMayClose = 0;
    }
    static HWND WaitForSplash()
    {
        WaitUntil([] { return g_pSplashDlg.load() != nullptr && g_pSplashDlg.load()->IsWindowVisible(); });
        CSplash* splash = g_pSplashDlg.load();
        return splash ? splash->GetSafeHwnd() : nullptr;
    }
    UINT m_oldCheck = 2000;
};

} // namespace

TEST_F(SplashTest, StaysThroughKeysAndChecksThenClosesWhenTakenOver)
{
    StartSplashThread();
    HWND splash = WaitForSplash();
    ASSERT_NE(splash, nullptr);
    EXPECT_NE(::GetWindowThreadProcessId(splash, nullptr), ::GetCurrentThreadId());
    for (WPARAM key : { (WPARAM)VK_ESCAPE, (WPARAM)VK_RETURN })
        ::PostMessageW(splash, WM_KEYDOWN, key, 0x00010001);
    ::Sleep(300);   // several checks pass with the log still pending
    EXPECT_TRUE(::IsWindow(splash));
    EXPECT_EQ(g_pSplashDlg.load() != nullptr, true);

    SplashMayClose = 1;
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(splash); }));
    EXPECT_TRUE(WaitUntil([] { return g_pSplashDlg.load() == nullptr; }));
    EXPECT_EQ(SplashMayClose.load(), 0);
}

TEST_F(SplashTest, ClosesWhenTheLogIsDroppedWithoutBeingTakenOver)
{
    StartSplashThread();
    HWND splash = WaitForSplash();
    ASSERT_NE(splash, nullptr);
    ClearCommandLineLogPath();
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(splash); }));
    EXPECT_TRUE(WaitUntil([] { return g_pSplashDlg.load() == nullptr; }));
    EXPECT_EQ(SplashMayClose.load(), 0);
}

TEST(WaitDialogs, LoadingDialogDeletesItselfAndClearsTheLaunchersPointer)
{
    CreateSharedGdiObjects();
    CDelvaneDlg main;
    ASSERT_TRUE(main.Create(IDD_MAIN_DIALOG));
    main.LoadingDialog = new CModeless1(&main);
    ASSERT_TRUE(main.LoadingDialog->Create());
    HWND loading = main.LoadingDialog->GetSafeHwnd();
    EXPECT_TRUE(::IsWindowVisible(loading));
    main.CloseLoadingDialog();
    EXPECT_FALSE(::IsWindow(loading));
    EXPECT_EQ(main.LoadingDialog, nullptr);
    main.CloseLoadingDialog();   // nothing left to close: harmless
    main.DestroyWindow();
}

TEST(WaitDialogs, PopulateCancelStopsOnlyARunningListing)
{
    CreateSharedGdiObjects();
    CPopulate populate;
    ASSERT_TRUE(populate.Create(nullptr));
    populate.ShowWindow(SW_SHOW);
    StopFolderRead = 0;
    g_pPopulateListThread = nullptr;
    populate.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_POPULATE_CANCEL, BN_CLICKED), 0);
    EXPECT_TRUE(populate.IsWindowVisible());   // no listing: nothing happens
    EXPECT_EQ(StopFolderRead, 0u);

    CWinThread fakeListing;
    g_pPopulateListThread = &fakeListing;
    populate.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_POPULATE_CANCEL, BN_CLICKED), 0);
    EXPECT_FALSE(populate.IsWindowVisible());
    EXPECT_EQ(StopFolderRead, 1u);             // hidden first, flag set after: it stays set

    populate.ShowWindow(SW_SHOW);
    populate.ShowWindow(SW_HIDE);              // a later hide clears it
    EXPECT_EQ(StopFolderRead, 0u);
    g_pPopulateListThread = nullptr;
    populate.DestroyWindow();
}
