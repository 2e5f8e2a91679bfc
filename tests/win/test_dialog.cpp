// CDialog's modal loop: nesting from OnInitDialog and from handlers, owners disabled and
// enabled again, WM_QUIT ending every loop, and the temporaries freed when it goes idle.
#include <gtest/gtest.h>

#include "afxwin.h"
#include "common/plain_dialog.h"
#include "common/ui_wait.h"
#include "test_resource.h"

#include <functional>
#include <string>
#include <vector>

using zr_test::ModalWatchdog;

namespace {

// A dialog whose init and WM_APP+6 handler the test sets; it records its owner.
class TestDialog : public CDialog {
public:
    explicit TestDialog(UINT id = IDD_TEST_CHILD, CWnd* parent = nullptr) : CDialog(id, parent) { }
    std::function<void(TestDialog&)> onInit;
    std::function<LRESULT(WPARAM, LPARAM)> onPosted;
    int endCode = IDOK;
    BOOL ownerEnabledDuring = TRUE;
    HWND ownerDuring = nullptr;

    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        ownerDuring = ::GetWindow(m_hWnd, GW_OWNER);
        ownerEnabledDuring = ownerDuring ? ::IsWindowEnabled(ownerDuring) : TRUE;
        if (onInit)
            onInit(*this);
        return TRUE;
    }
    void PostEnd(int code)
    {
        endCode = code;
        PostMessage(WM_APP + 4);
    }

protected:
    LRESULT OnEnd(WPARAM, LPARAM)
    {
        EndDialog(endCode);
        return 0;
    }
    LRESULT OnPosted(WPARAM w, LPARAM l) { return onPosted ? onPosted(w, l) : 0; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TestDialog, CDialog)
    ON_MESSAGE(WM_APP + 4, &TestDialog::OnEnd)
    ON_MESSAGE(WM_APP + 6, &TestDialog::OnPosted)
END_MESSAGE_MAP()

// An owner that ends the modal dialog over it as soon as that dialog's loop reports it idle.
class IdleOwner : public CWnd {
protected:
    LRESULT OnEnterIdle(WPARAM, LPARAM dialog)
    {
        ::PostMessageW((HWND)dialog, WM_APP + 4, 0, 0);
        return 0;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(IdleOwner, CWnd)
    ON_MESSAGE(WM_ENTERIDLE, &IdleOwner::OnEnterIdle)
END_MESSAGE_MAP()

TEST(DialogTest, ModalDialogsNestFromInitDialogAndFromHandlers)
{
    ModalWatchdog watchdog;
    std::vector<std::string> log;
    // Each inner dialog notes its result and whether its owner was disabled during and enabled after.
    auto runInner = [&](TestDialog& owner, int code) {
        TestDialog inner(IDD_TEST_CHILD, &owner);
        inner.onInit = [code](TestDialog& d) { d.PostEnd(code); };
        INT_PTR r = inner.DoModal();
        bool ownedDisabled = inner.ownerDuring == owner.m_hWnd && !inner.ownerEnabledDuring;
        log.push_back(std::to_string(r) + (ownedDisabled ? " disabled" : "") +
                      (owner.IsWindowEnabled() ? " enabled" : ""));
    };
    TestDialog outer;
    outer.onInit = [&](TestDialog& d) {
        runInner(d, 77);
        d.PostMessage(WM_APP + 6);
    };
    outer.onPosted = [&](WPARAM, LPARAM) -> LRESULT {
        runInner(outer, 78);
        outer.PostEnd(55);
        return 0;
    };
    log.push_back(std::to_string(outer.DoModal()));
    EXPECT_EQ(log, (std::vector<std::string>{ "77 disabled enabled", "78 disabled enabled", "55" }));

    // WM_QUIT in the inner loop ends both loops and stays queued.
    log.clear();
    TestDialog quitting;
    quitting.onInit = [&](TestDialog& d) {
        TestDialog inner(IDD_TEST_CHILD, &d);
        inner.onInit = [](TestDialog&) { ::PostQuitMessage(5); };
        log.push_back(std::to_string(inner.DoModal()));
    };
    EXPECT_EQ(quitting.DoModal(), -1);
    EXPECT_EQ(log, (std::vector<std::string>{ "-1" }));
    MSG msg;
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 5u);
    EXPECT_FALSE(watchdog.Fired());
}

// A loop run outside any handler frees, once idle, what GetDlgItem lent for a control without an
// object of its own. Under the check every test runs with, what still holds it finds no window
// there (not the window of whichever temporary came next), and the control's next temporary is
// another object.
TEST(DialogTest, AModalLoopGoneIdleFreesTheTemporariesLentBeforeIt)
{
    ModalWatchdog watchdog;
    IdleOwner owner;
    ASSERT_TRUE(zr_test::OpenPlainTestDialog(owner));
    CWnd* const held = owner.GetDlgItem(IDC_TEST_LIST);
    ASSERT_NE(nullptr, held);
    const HWND list = held->m_hWnd;
    ASSERT_EQ(nullptr, CWnd::FromHandlePermanent(list));

    TestDialog dlg(IDD_TEST_CHILD, &owner);
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_EQ(nullptr, held->m_hWnd);
    CWnd* const again = owner.GetDlgItem(IDC_TEST_LIST);
    EXPECT_NE(held, again);
    EXPECT_EQ(list, again->m_hWnd);

    ::DestroyWindow(owner.m_hWnd);
    CWnd::DeleteTempMap();
    EXPECT_FALSE(watchdog.Fired());
}

} // namespace
