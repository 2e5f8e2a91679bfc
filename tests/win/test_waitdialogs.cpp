// The splash on its own thread (closing rules, the pointer cleared as it ends, keys that do
// nothing) and the populating dialog's Cancel.
#include <gtest/gtest.h>

#include "afxwin.h"
#include "app/maindlg.h"
#include "app/startup.h"
#include "app/waitdialogs.h"
#include "common/ui_wait.h"
#include "resource.h"

using zr_test::WaitUntil;

// Closing either way (taken over by the launcher, or the log dropped) clears the pointer.
TEST(Splash, StaysThroughKeysAndClosesWhenTakenOverOrTheLogIsDropped)
{
    CreateSharedGdiObjects();
    SplashCheckMs = 50;
    for (bool takenOver : { true, false }) {
        SplashMayClose = 0;
        SetCommandLineLogPath(L"C:\\logs\\disk.QLX");
        StartSplashThread();
        WaitUntil([] { return g_pSplashDlg.load() != nullptr && g_pSplashDlg.load()->IsWindowVisible(); });
        ASSERT_NE(g_pSplashDlg.load(), nullptr);
        HWND splash = g_pSplashDlg.load()->GetSafeHwnd();
        EXPECT_NE(::GetWindowThreadProcessId(splash, nullptr), ::GetCurrentThreadId());
        for (WPARAM key : { (WPARAM)VK_ESCAPE, (WPARAM)VK_RETURN })
            ::PostMessageW(splash, WM_KEYDOWN, key, 0x00010001);
        ::Sleep(300); // several checks pass with the log still pending
        EXPECT_TRUE(::IsWindow(splash));

        if (takenOver)
            SplashMayClose = 1;
        else
            ClearCommandLineLogPath();
        EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(splash); })) << takenOver;
        EXPECT_TRUE(WaitUntil([] { return g_pSplashDlg.load() == nullptr; })) << takenOver;
        EXPECT_EQ(SplashMayClose.load(), 0);
        ClearCommandLineLogPath();
    }
    SplashCheckMs = 2000;
}

TEST(WaitDialogs, PopulateCancelStopsOnlyARunningListing)
{
    CreateSharedGdiObjects();
    CPopulate populate;
    ASSERT_TRUE(populate.Create(nullptr));
    populate.ShowWindow(SW_SHOW);
    std::atomic<uint32_t> listingStop{ 0 };
    populate.SetCancelFlag(&listingStop);
    CWinThread fakeListing;
    for (CWinThread* listing : { (CWinThread*)nullptr, &fakeListing }) {
        g_pPopulateListThread = listing;
        populate.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_POPULATE_CANCEL, BN_CLICKED), 0);
        EXPECT_EQ(populate.IsWindowVisible() != FALSE, listing == nullptr); // no listing: nothing happens
        EXPECT_EQ(listingStop, listing ? 1u : 0u); // hidden first, flag set after: it stays set
    }

    populate.ShowWindow(SW_SHOW);
    populate.ShowWindow(SW_HIDE); // a later hide clears it
    EXPECT_EQ(listingStop, 0u);
    g_pPopulateListThread = nullptr;
    populate.DestroyWindow();
}
