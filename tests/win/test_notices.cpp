// The notice and information dialogs: which keys end them, their OK-type buttons, the notices'
// shared state, and the no-device dialog's single copy, Retry and Exit.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "afxwin.h"
#include "app/maindlg.h"
#include "app/notices.h"
#include "app/startup.h"
#include "common/dialog_script.h"
#include "common/ui_wait.h"
#include "resource.h"


typedef zr_test::DialogStep Step;
using zr_test::Click;
using zr_test::Key;
using zr_test::RunScripted;


TEST(Notices, EachEndsOnlyByTheKeysAndButtonsItAllows)
{
    const struct {
        const char* name;
        std::function<std::unique_ptr<CDialog>()> make;
        WPARAM ignoredKey;   // 0: none
        Step last;
        INT_PTR result;
    } cases[] = {
        { "about, Escape", [] { return std::make_unique<CAbout_Dlg>(); }, VK_RETURN, Key(VK_ESCAPE), IDCANCEL },
        { "about, OK", [] { return std::make_unique<CAbout_Dlg>(); }, VK_RETURN, Click(IDC_NOTICE_OK), IDOK },
        { "help, Escape", [] { return std::make_unique<CHelp>(); }, VK_RETURN, Key(VK_ESCAPE), IDCANCEL },
        { "help, OK", [] { return std::make_unique<CHelp>(); }, VK_RETURN, Click(IDOK), IDOK },
        { "basic notice, Enter", [] { return std::make_unique<CMsgStand>(); }, VK_ESCAPE, Key(VK_RETURN), IDOK },
        { "basic notice, OK", [] { return std::make_unique<CMsgStand>(); }, VK_ESCAPE, Click(IDC_MS_OK), IDOK },
        { "deep notice, OK", [] { return std::make_unique<CAdvanceDlg>(); }, VK_ESCAPE, Click(IDC_NOTICE_OK), IDOK },
        { "destination, Escape", [] { return std::make_unique<CSaveMsg>(); }, VK_ESCAPE, Click(IDC_SM_CONTINUE), IDOK },
        { "destination, Enter", [] { return std::make_unique<CSaveMsg>(); }, VK_RETURN, Click(IDC_SM_CONTINUE), IDOK },
        { "share, Escape", [] { return std::make_unique<CShare_It_Dlg>(); }, 0, Key(VK_ESCAPE), IDCANCEL },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<CDialog> dlg = c.make();
        std::vector<Step> steps;
        if (c.ignoredKey)
            steps.push_back(Key(c.ignoredKey));
        steps.push_back(c.last);
        bool alive = false;
        EXPECT_EQ(RunScripted(*dlg, steps, &alive), c.result);
        EXPECT_TRUE(alive);
    }
}

TEST(Notices, EitherNoRecoveryNoticeMarksBothSearchesAsTold)
{
    for (bool deep : { false, true }) {
        BasicNoticeState = 1;
        DeepNoticeState = 0;
        std::unique_ptr<CDialog> dlg;
        if (deep)
            dlg = std::make_unique<CAdvanceDlg>();
        else
            dlg = std::make_unique<CMsgStand>();
        RunScripted(*dlg, { Key(VK_RETURN) });
        EXPECT_EQ(BasicNoticeState.load(), 2);
        EXPECT_EQ(DeepNoticeState.load(), 2);
    }
}

class NoDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        NoDeviceVisible = 0;
        s_drives = false;
        m_old = SetNoDeviceRefresher([] { return s_drives; });
    }
    void TearDown() override { SetNoDeviceRefresher(m_old); }
    static bool s_drives;
    ZrDriveTreeRefresher m_old = nullptr;
};
bool NoDeviceTest::s_drives = false;

TEST_F(NoDeviceTest, ASecondCopyEndsAtOnceAndExitClearsTheState)
{
    CNoDevice first;
    INT_PTR second = -2;
    bool secondShown = true;
    bool alive = false;
    INT_PTR result = RunScripted(first, {
        [&](HWND) {
            EXPECT_EQ(NoDeviceVisible.load(), 1);
            EXPECT_EQ(g_pNoDeviceDlg.load(), &first);
            CNoDevice again;
            second = again.DoModal();
            secondShown = again.GetSafeHwnd() != nullptr;
            EXPECT_EQ(NoDeviceVisible.load(), 1);   // the first is still up
            EXPECT_EQ(g_pNoDeviceDlg.load(), &first);
        },
        Key(VK_ESCAPE),
        Key(VK_RETURN),
        Click(IDC_NOTICE_OK),
    }, &alive);
    EXPECT_TRUE(alive);   // neither key ended it
    EXPECT_EQ(second, IDCANCEL);
    EXPECT_FALSE(secondShown);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(NoDeviceVisible.load(), 0);
    EXPECT_EQ(g_pNoDeviceDlg.load(), nullptr);
}

TEST_F(NoDeviceTest, RetryStaysUntilADriveIsFoundAndTheCloseBoxExits)
{
    CNoDevice dlg;
    bool alive = false;
    INT_PTR result = RunScripted(dlg, {
        Click(IDC_ND_RETRY),
        [](HWND h) { s_drives = true; Click(IDC_ND_RETRY)(h); },
    }, &alive);
    EXPECT_TRUE(alive);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(NoDeviceVisible.load(), 0);
    EXPECT_EQ(g_pNoDeviceDlg.load(), nullptr);

    CNoDevice closed;
    EXPECT_EQ(RunScripted(closed, { [](HWND h) { ::PostMessageW(h, WM_CLOSE, 0, 0); } }), IDCANCEL);
    EXPECT_EQ(NoDeviceVisible.load(), 0);
}

// ---- The launcher's entries ---------------------------------------------------------------------

namespace {

const wchar_t* g_wantedCaption = nullptr;
bool g_seen = false;

// Ends the dialog with the wanted caption (which runs in the loop of a launcher handler) by Escape.
void CALLBACK CloseWantedDialog(HWND, UINT, UINT_PTR, DWORD)
{
    HWND h = ::FindWindowW(L"#32770", g_wantedCaption);
    if (h && ::IsWindowVisible(h)) {
        g_seen = true;
        ::PostMessageW(h, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    }
}

} // namespace

TEST(Notices, LauncherButtonsOpenTheAboutHelpAndShareDialogs)
{
    CreateSharedGdiObjects();
    CDelvaneDlg main;
    ASSERT_TRUE(main.Create(IDD_MAIN_DIALOG));
    main.ShowWindow(SW_SHOW);
    const struct { int button; const wchar_t* caption; } cases[] = {
        { IDC_ABOUT_US, L"About Zembrolix Recovery (Premium)" },
        { IDC_NEED_HELP, L"Help and Support" },
        { IDC_CONTACT_US, L"Help and Support" },
        { IDC_SHARE_BUTTON, L"Share us on social media " },
    };
    for (const auto& c : cases) {
        g_wantedCaption = c.caption;
        g_seen = false;
        zr_test::ModalWatchdog guard;
        UINT_PTR timer = ::SetTimer(nullptr, 0, 50, CloseWantedDialog);
        ::SendMessageW(main.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(c.button, BN_CLICKED),
                       (LPARAM)::GetDlgItem(main.GetSafeHwnd(), c.button));
        ::KillTimer(nullptr, timer);
        EXPECT_TRUE(g_seen) << c.button;
        EXPECT_FALSE(guard.Fired());
        EXPECT_EQ(::FindWindowW(L"#32770", c.caption), nullptr);
    }
    main.DestroyWindow();
}
