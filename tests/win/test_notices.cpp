// The notice dialogs: which keys end them, the notices' shared state, and the no-device dialog's
// single copy, Retry and Exit.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <memory>
#include <vector>

#include "afxwin.h"
#include "app/maindlg.h"
#include "app/notices.h"
#include "app/startup.h"
#include "app/waitdialogs.h"
#include "common/dialog_script.h"
#include "common/plain_dialog.h"
#include "common/ui_wait.h"
#include "fsrecovery/savefiles.h"
#include "sigrecovery/clearingnotice.h"
#include "storage/pure/search_mode.h"
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

// Every box and small dialog opens over the window the user is looking at: the window asked for
// while it takes input, else the dialog in front of it, else the active search dialog, else the
// launcher; never over a hidden or disabled window while another could take it.
TEST(Notices, BoxesAndNoticesOpenOverTheWindowTheUserIsLookingAt)
{
    CreateSharedGdiObjects();
    CDelvaneDlg launcher;
    ASSERT_TRUE(launcher.Create(IDD_MAIN_DIALOG, nullptr));
    launcher.ShowWindow(SW_SHOW);
    CDialog search; // stands for the search dialog
    CWnd front;
    ASSERT_TRUE(zr_test::OpenPlainTestDialog(search));
    ASSERT_TRUE(zr_test::OpenPlainTestDialog(front));
    SetSearchHost(&launcher);
    launcher.SearchMode = kModeBasic;
    RegisterOpenSearchDialog(kModeBasic, &search);
    const HWND s = search.GetSafeHwnd(), l = launcher.GetSafeHwnd();
    ::ShowWindow(s, SW_SHOW);

    static HWND s_owner;
    static UINT s_type;
    const ZrMessageBoxHook old = ZrSetMessageBoxHook([](HWND owner, LPCWSTR, LPCWSTR, UINT type) {
        s_owner = owner;
        s_type = type;
        return IDOK;
    });
    const auto ownerOf = [](HWND requested) {
        s_owner = reinterpret_cast<HWND>(-1);
        ZrMessageBox(requested, L"text", L"Message", MB_OK);
        return s_owner;
    };
    EXPECT_EQ(s, ownerOf(s));
    EXPECT_NE(0u, s_type & MB_SETFOREGROUND) << "a box comes to the front";
    EXPECT_EQ(s, ownerOf(::GetDlgItem(s, IDOK))) << "a control's box belongs to its dialog";
    EXPECT_EQ(s, ownerOf(nullptr)) << "no owner asked for: the active search dialog";
    EXPECT_EQ(s, ownerOf(front.GetSafeHwnd())) << "a hidden window's box goes to the search dialog";

    // The search dialog waits behind a dialog it owns: that dialog takes the box.
    ::SetWindowLongPtrW(front.GetSafeHwnd(), GWLP_HWNDPARENT, LONG_PTR(s));
    ::ShowWindow(front.GetSafeHwnd(), SW_SHOW);
    ::SetActiveWindow(front.GetSafeHwnd());
    ::EnableWindow(s, FALSE);
    EXPECT_EQ(front.GetSafeHwnd(), ownerOf(s));
    ::ShowWindow(front.GetSafeHwnd(), SW_HIDE);
    EXPECT_EQ(l, ownerOf(s)) << "nothing takes input but the launcher";
    ::EnableWindow(s, TRUE);
    ::ShowWindow(s, SW_HIDE);
    EXPECT_EQ(l, ownerOf(nullptr)) << "no search dialog on screen: the launcher";

    // A small dialog asked for without an owner opens over the search dialog, in front.
    ::ShowWindow(s, SW_SHOW);
    HWND dialogOwner = nullptr;
    CAbout_Dlg about;
    RunScripted(about, { [&](HWND dlg) {
                            dialogOwner = ::GetWindow(dlg, GW_OWNER);
                            ::PostMessageW(dlg, WM_COMMAND, IDCANCEL, 0);
                        } });
    EXPECT_EQ(s, dialogOwner);

    ZrSetMessageBoxHook(old);
    ForgetOpenSearchDialog(kModeBasic, &search);
    SetSearchHost(nullptr);
    front.DestroyWindow();
    search.DestroyWindow();
    launcher.DestroyWindow();
}

// The window picked to own a small dialog or the share dialog may have no object of its own: the
// dialog runs over it by handle and keeps nothing lent for it, so afterwards its parent is the
// one it was given.
TEST(Notices, ADialogOverAPickedWindowWithoutAnObjectKeepsTheParentItWasGiven)
{
    CreateSharedGdiObjects();
    static HWND s_picked;
    // Hidden, so not the active window a dialog without an owner would fall back on (until a
    // dialog over it hands it the activation as it closes).
    s_picked = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 20, 20, 300, 200, nullptr, nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, s_picked);
    ASSERT_EQ(nullptr, CWnd::FromHandlePermanent(s_picked));
    const ZrOwnerPicker old = ZrSetOwnerPicker([](HWND) { return s_picked; });
    const struct {
        const char* name;
        std::function<std::unique_ptr<CDialog>()> make;
    } cases[] = {
        { "share", [] { return std::make_unique<CShare_It_Dlg>(); } },
        { "small dialog", [] { return std::make_unique<CAbout_Dlg>(); } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<CDialog> dlg = c.make();
        HWND owner = nullptr;
        RunScripted(*dlg, { [&](HWND h) {
            owner = ::GetWindow(h, GW_OWNER);
            ::PostMessageW(h, WM_COMMAND, IDCANCEL, 0);
        } });
        EXPECT_EQ(s_picked, owner);
        EXPECT_EQ(nullptr, dlg->m_pParentWnd);
    }
    ZrSetOwnerPicker(old);
    ::DestroyWindow(s_picked);
}

namespace {

HWND g_searchWnd = nullptr;
struct BoxSeen {
    bool seen = false, inFront = false, owned = false;
} g_boxSeen;

BOOL CALLBACK FindBox(HWND wnd, LPARAM found)
{
    wchar_t name[16] = {};
    ::GetClassNameW(wnd, name, 16);
    if (wnd != g_searchWnd && ::IsWindowVisible(wnd) && wcscmp(name, L"#32770") == 0) {
        *reinterpret_cast<HWND*>(found) = wnd;
        return FALSE;
    }
    return TRUE;
}

// From the box's own loop: where the box lies, then it is answered.
void CALLBACK LookAtBox(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND box = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), FindBox, LPARAM(&box));
    if (box == nullptr)
        return;
    ::KillTimer(nullptr, timer);
    g_boxSeen.seen = true;
    g_boxSeen.owned = ::GetWindow(box, GW_OWNER) == g_searchWnd;
    // Above its window in the z-order: met first going down from the top.
    for (HWND w = ::GetTopWindow(nullptr); w != nullptr; w = ::GetWindow(w, GW_HWNDNEXT)) {
        if (w == box || w == g_searchWnd) {
            g_boxSeen.inFront = w == box;
            break;
        }
    }
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
}

} // namespace

// The search dialog runs on a thread of its own, the wait dialog on the launcher's: a message
// shown right after a wait (the log saved on leaving) opens in front of the search dialog.
TEST(Notices, ABoxRightAfterTheWaitOpensInFrontOfItsWindow)
{
    CreateSharedGdiObjects();
    CDelvaneDlg launcher;
    ASSERT_TRUE(launcher.Create(IDD_MAIN_DIALOG, nullptr));
    launcher.ShowWindow(SW_SHOW);
    SetSearchHost(&launcher);
    g_boxSeen = BoxSeen();
    std::atomic<bool> done{ false };
    std::thread mode([&] {
        CWnd search;
        if (zr_test::OpenPlainTestDialog(search)) {
            g_searchWnd = search.GetSafeHwnd();
            launcher.EnableWindow(FALSE); // as under a search dialog run over it
            search.ShowWindow(SW_SHOW);
            search.SetForegroundWindow();
            launcher.ShowWaitDialog(&search, TRUE);
            ::Sleep(100);
            launcher.CloseWaitDialog(&search);
            const UINT_PTR timer = ::SetTimer(nullptr, 0, 100, LookAtBox);
            ZrMessageBox(search.GetSafeHwnd(), L"saved", L"Message", MB_OK | MB_ICONINFORMATION);
            ::KillTimer(nullptr, timer);
            search.DestroyWindow();
        }
        done = true;
    });
    zr_test::PumpUntil([&] { return done.load(); }, 20000);
    mode.join();
    SetSearchHost(nullptr);
    launcher.DestroyWindow();
    ASSERT_TRUE(g_boxSeen.seen);
    EXPECT_TRUE(g_boxSeen.owned);
    EXPECT_TRUE(g_boxSeen.inFront);
}

namespace {

// A real box seen from its own modal loop: its owner when it came up, whether it outlived the
// window that closed meanwhile, and the answer.
struct BoxWatch {
    std::function<void()> closeWindow;
    HWND box = nullptr, owner = nullptr;
    DWORD closedAt = 0;
    bool survived = false;
};
BoxWatch g_watch;

BOOL CALLBACK FindRealBox(HWND wnd, LPARAM)
{
    wchar_t cls[16] = {};
    ::GetClassNameW(wnd, cls, 16);
    if (g_watch.box == nullptr && ::lstrcmpW(cls, L"#32770") == 0 && ::IsWindowVisible(wnd) &&
        CWnd::FromHandlePermanent(wnd) == nullptr)
        g_watch.box = wnd;
    return TRUE;
}

void CALLBACK WatchBox(HWND, UINT, UINT_PTR, DWORD)
{
    if (g_watch.box == nullptr) {
        ::EnumThreadWindows(::GetCurrentThreadId(), FindRealBox, 0);
        if (g_watch.box == nullptr)
            return;
        g_watch.owner = ::GetWindow(g_watch.box, GW_OWNER);
        // The window in front closes by itself, as it does when its work ends.
        g_watch.closeWindow();
        g_watch.closedAt = ::GetTickCount();
    } else if (g_watch.closedAt != 0 && ::GetTickCount() - g_watch.closedAt >= 300) {
        g_watch.closedAt = 0;
        g_watch.survived = ::IsWindow(g_watch.box) != FALSE;
        ::PostMessageW(g_watch.box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
}

} // namespace

// A window that closes by itself (the wait dialogs, the splash, the progress windows) never owns
// a box: the box would go with it, unread. A box asked for over a search dialog behind such a
// window is owned by the search dialog; one asked for over the splash itself, with nothing else
// on screen, by no window. Each box, shown for real, outlives the window closing meanwhile.
TEST(Notices, NoBoxIsOwnedByAWindowThatClosesByItself)
{
    CreateSharedGdiObjects();
    SplashCheckMs = 60000; // the splash closes when the test closes it
    CDelvaneDlg launcher;
    ASSERT_TRUE(launcher.Create(IDD_MAIN_DIALOG, nullptr));
    CDialog search;
    ASSERT_TRUE(zr_test::OpenPlainTestDialog(search));
    SetSearchHost(&launcher);
    launcher.SearchMode = kModeBasic;
    RegisterOpenSearchDialog(kModeBasic, &search);
    const HWND s = search.GetSafeHwnd();
    WriteState state;
    struct Case {
        const char* kind;
        // Makes the window in front of the search dialog (or, `alone`, on a screen without
        // another window of ours) and returns it.
        std::function<CWnd*()> make;
        bool alone;
    } cases[] = {
        { "Populating", [&]() -> CWnd* { auto* d = new CPopulate(); d->Create(&search); return d; }, false },
        { "wait dialog", [&]() -> CWnd* { auto* d = new CPlease_Wail_Modeless(&search); d->Create(); return d; },
          false },
        { "loading dialog", [&]() -> CWnd* { auto* d = new CModeless1(&search); d->Create(); return d; }, false },
        { "Saving Files", [&]() -> CWnd* { auto* d = new CSavingFilesDlg(&search, &state); d->Create(); return d; },
          false },
        { "clearing notice", [&]() -> CWnd* { auto* d = new CRawDlg(&search); d->Show(L"Clearing", L"..."); return d; },
          false },
        { "splash", [&]() -> CWnd* { auto* d = new CSplash(); d->Create(IDD_SPLASH_DIALOG, nullptr); return d; },
          true },
    };
    const ZrMessageBoxHook old = ZrSetMessageBoxHook(nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        // A search dialog runs over the launcher, which waits disabled behind it.
        launcher.ShowWindow(c.alone ? SW_HIDE : SW_SHOW);
        launcher.EnableWindow(FALSE);
        search.ShowWindow(c.alone ? SW_HIDE : SW_SHOW);
        CWnd* front = c.make();
        ASSERT_NE(nullptr, front->GetSafeHwnd());
        const HWND f = front->GetSafeHwnd();
        front->ShowWindow(SW_SHOW);
        if (!c.alone) {
            // The search dialog waits behind it, as it does while the window is up.
            ::EnableWindow(s, FALSE);
            front->SetForegroundWindow();
        }
        g_watch = BoxWatch();
        g_watch.closeWindow = [&] {
            if (::IsWindow(f))
                front->DestroyWindow();
        };
        const UINT_PTR timer = ::SetTimer(nullptr, 0, 20, WatchBox);
        int answer = 0;
        {
            zr_test::ModalWatchdog watchdog(10000);
            answer = ZrMessageBox(c.alone ? f : s, L"Something to read", L"Message", MB_OK | MB_ICONINFORMATION);
        }
        ::KillTimer(nullptr, timer);
        EXPECT_NE(nullptr, g_watch.box);
        EXPECT_NE(f, g_watch.owner);
        EXPECT_EQ(c.alone ? nullptr : s, g_watch.owner);
        EXPECT_TRUE(g_watch.survived) << "the box went with the window";
        EXPECT_EQ(IDOK, answer);
        if (::IsWindow(f))
            front->DestroyWindow();
        // The loading dialog deletes itself with its window.
        if (std::string(c.kind) != "loading dialog")
            delete front;
        ::EnableWindow(s, TRUE);
        zr_test::PumpPending();
    }
    ZrSetMessageBoxHook(old);
    SplashCheckMs = 2000;
    ForgetOpenSearchDialog(kModeBasic, &search);
    SetSearchHost(nullptr);
    search.DestroyWindow();
    launcher.DestroyWindow();
}
