// The notice dialogs: which keys end them, the notices' shared state, and the no-device dialog's
// single copy, Retry and Exit.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "afxwin.h"
#include "app/maindlg.h"
#include "app/notices.h"
#include "common/dialog_script.h"
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
        WPARAM ignoredKey; // 0: none
        Step last;
        INT_PTR result;
    } cases[] = {
        { "about", [] { return std::make_unique<CAbout_Dlg>(); }, VK_RETURN, Key(VK_ESCAPE), IDCANCEL },
        { "help", [] { return std::make_unique<CHelp>(); }, VK_RETURN, Click(IDOK), IDOK },
        { "basic notice", [] { return std::make_unique<CMsgStand>(); }, VK_ESCAPE, Key(VK_RETURN), IDOK },
        { "deep notice", [] { return std::make_unique<CAdvanceDlg>(); }, VK_ESCAPE, Click(IDC_NOTICE_OK), IDOK },
        { "destination, Escape", [] { return std::make_unique<CSaveMsg>(); }, VK_ESCAPE, Click(IDC_SM_CONTINUE), IDOK },
        { "destination, Enter", [] { return std::make_unique<CSaveMsg>(); }, VK_RETURN, Click(IDC_SM_CONTINUE), IDOK },
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
        std::unique_ptr<CDialog> dlg(deep ? static_cast<CDialog*>(new CAdvanceDlg) : new CMsgStand);
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
    INT_PTR result = RunScripted(first,
                                 {
                                     [&](HWND) {
                                         EXPECT_EQ(NoDeviceVisible.load(), 1);
                                         EXPECT_EQ(g_pNoDeviceDlg.load(), &first);
                                         CNoDevice again;
                                         second = again.DoModal();
                                         secondShown = again.GetSafeHwnd() != nullptr;
                                         EXPECT_EQ(NoDeviceVisible.load(), 1); // the first is still up
                                         EXPECT_EQ(g_pNoDeviceDlg.load(), &first);
                                     },
                                     Key(VK_ESCAPE),
                                     Key(VK_RETURN),
                                     Click(IDC_NOTICE_OK),
                                 },
                                 &alive);
    EXPECT_TRUE(alive); // neither key ended it
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
    INT_PTR result = RunScripted(dlg,
                                 {
                                     Click(IDC_ND_RETRY),
                                     [](HWND h) {
                                         s_drives = true;
                                         Click(IDC_ND_RETRY)(h);
                                     },
                                 },
                                 &alive);
    EXPECT_TRUE(alive);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(NoDeviceVisible.load(), 0);
    EXPECT_EQ(g_pNoDeviceDlg.load(), nullptr);

    CNoDevice closed;
    EXPECT_EQ(RunScripted(closed, { [](HWND h) { ::PostMessageW(h, WM_CLOSE, 0, 0); } }), IDCANCEL);
    EXPECT_EQ(NoDeviceVisible.load(), 0);
}
