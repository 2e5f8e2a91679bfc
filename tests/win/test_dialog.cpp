// CDialog: message maps and reflection, data exchange, and the modal loop (threads, nesting,
// owners, WM_QUIT, workers sending to the dialog).
#include <gtest/gtest.h>

#include "afxwin.h"
#include "common/ui_wait.h"
#include "test_resource.h"

#include <climits>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

using zr_test::ModalWatchdog;
using zr_test::PumpUntil;

namespace {

class DialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        INITCOMMONCONTROLSEX icc = { sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES };
        ::InitCommonControlsEx(&icc);
    }
};

HWND Item(const CWnd& dlg, int id) { return ::GetDlgItem(dlg.m_hWnd, id); }

UINT g_pingMessage = 0;   // registered by the test, after the dialog's map has been used

class DrawnButton : public CWnd {
public:
    int draws = 0;
    void DrawItem(LPDRAWITEMSTRUCT dis)
    {
        ++draws;
        ::FillRect(dis->hDC, &dis->rcItem, (HBRUSH)::GetStockObject(GRAY_BRUSH));
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(DrawnButton, CWnd)
    ON_WM_DRAWITEM_REFLECT()
END_MESSAGE_MAP()

class CustomDrawButton : public CWnd {
public:
    int prepaints = 0;
    void OnCustomDraw(NMHDR* hdr, LRESULT* result)
    {
        prepaints += reinterpret_cast<NMCUSTOMDRAW*>(hdr)->dwDrawStage == CDDS_PREPAINT;
        *result = CDRF_DODEFAULT;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CustomDrawButton, CWnd)
    ON_NOTIFY_REFLECT(NM_CUSTOMDRAW, &CustomDrawButton::OnCustomDraw)
END_MESSAGE_MAP()

class MapDialog : public CDialog {
public:
    MapDialog() : CDialog(IDD_TEST_DIALOG) {}
    CString m_text = L"hello";
    DrawnButton m_drawn;
    CustomDrawButton m_custom;
    int buttonClicks = 0, editChanges = 0, parentDrawItems = 0, parentListCustomDraws = 0;

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Control(pDX, IDC_TEST_BUTTON, m_drawn);
        DDX_Control(pDX, IDC_TEST_PUSH, m_custom);
        DDX_Text(pDX, IDC_TEST_EDIT, m_text);
    }
    void OnButtonClicked() { ++buttonClicks; }
    void OnEditChange() { ++editChanges; }
    LRESULT OnPing(WPARAM w, LPARAM) { return (LRESULT)w * 2; }
    LRESULT OnAppMessage(WPARAM, LPARAM l) { return l + 1; }
    void OnDrawItem(int, LPDRAWITEMSTRUCT) { ++parentDrawItems; }
    void OnListCustomDraw(NMHDR*, LRESULT* r) { ++parentListCustomDraws; *r = CDRF_DODEFAULT; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(MapDialog, CDialog)
    ON_BN_CLICKED(IDC_TEST_BUTTON, &MapDialog::OnButtonClicked)
    ON_EN_CHANGE(IDC_TEST_EDIT, &MapDialog::OnEditChange)
    ON_REGISTERED_MESSAGE(g_pingMessage, &MapDialog::OnPing)
    ON_MESSAGE(WM_APP + 7, &MapDialog::OnAppMessage)
    ON_WM_DRAWITEM()
    ON_NOTIFY(NM_CUSTOMDRAW, IDC_TEST_LIST, &MapDialog::OnListCustomDraw)
END_MESSAGE_MAP()

TEST_F(DialogTest, MessageMapRoutesCommandsMessagesAndReflections)
{
    MapDialog dlg;
    ASSERT_TRUE(dlg.Create(IDD_TEST_DIALOG));
    dlg.ShowWindow(SW_SHOW);

    // Notifications are locked out during OnInitDialog's exchange.
    EXPECT_EQ(dlg.editChanges, 0);
    dlg.SetDlgItemText(IDC_TEST_EDIT, L"typed");
    EXPECT_EQ(dlg.editChanges, 1);

    g_pingMessage = ::RegisterWindowMessageW(L"ZrDialogTestPing");
    ASSERT_NE(g_pingMessage, 0u);
    EXPECT_EQ(dlg.SendMessage(g_pingMessage, 21), 42);
    EXPECT_EQ(dlg.SendMessage(WM_APP + 7, 0, 9), 10);

    // The button's object has no BN_CLICKED entry, so the parent gets the click.
    ::PostMessageW(Item(dlg, IDC_TEST_BUTTON), BM_CLICK, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return dlg.buttonClicks == 1; }));

    // Repeating the exchange keeps the subclassed controls with their objects.
    EXPECT_TRUE(dlg.UpdateData(TRUE));
    EXPECT_TRUE(dlg.UpdateData(FALSE));
    EXPECT_EQ(CWnd::FromHandlePermanent(Item(dlg, IDC_TEST_BUTTON)), &dlg.m_drawn);

    dlg.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpUntil([&] { return dlg.m_drawn.draws > 0 && dlg.m_custom.prepaints > 0 && dlg.parentListCustomDraws > 0; }, 3000);
    // Reflected notifications go to the control's object only; without an object, to the parent.
    EXPECT_GT(dlg.m_drawn.draws, 0);
    EXPECT_EQ(dlg.parentDrawItems, 0);
    EXPECT_GT(dlg.m_custom.prepaints, 0);
    EXPECT_GT(dlg.parentListCustomDraws, 0);
    dlg.DestroyWindow();
}

// A dialog whose init, exchange, WM_APP+6 handler and timer end the test sets; it records its
// owner while it runs.
class TestDialog : public CDialog {
public:
    explicit TestDialog(UINT id = IDD_TEST_CHILD, CWnd* parent = nullptr) : CDialog(id, parent) {}
    std::function<void(TestDialog&)> onInit;
    std::function<void(CDataExchange*)> exchange;
    std::function<LRESULT(WPARAM, LPARAM)> onPosted;
    std::function<bool()> endOnTimerWhen;
    int endCode = IDOK, idles = 0;
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
    void PostEnd(int code) { endCode = code; PostMessage(WM_APP + 4); }

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        if (exchange)
            exchange(pDX);
    }
    void OnTimer(UINT_PTR)
    {
        if (endOnTimerWhen && endOnTimerWhen())
            EndDialog(endCode);
    }
    LRESULT OnEnd(WPARAM, LPARAM) { EndDialog(endCode); return 0; }
    LRESULT OnPosted(WPARAM w, LPARAM l) { return onPosted ? onPosted(w, l) : 0; }
    LRESULT OnEnterIdle(WPARAM kind, LPARAM) { idles += kind == MSGF_DIALOGBOX ? 1 : 0; return 0; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TestDialog, CDialog)
    ON_WM_TIMER()
    ON_MESSAGE(WM_APP + 4, &TestDialog::OnEnd)
    ON_MESSAGE(WM_APP + 6, &TestDialog::OnPosted)
    ON_MESSAGE(WM_ENTERIDLE, &TestDialog::OnEnterIdle)
END_MESSAGE_MAP()

// The text saved into a T and loaded back; shown == nullptr: refused, the member (123) kept.
struct NumberCase {
    const wchar_t* text;
    const wchar_t* shown;
};

template <class T> void ExpectNumbers(TestDialog& dlg, std::initializer_list<NumberCase> cases)
{
    for (const NumberCase& c : cases) {
        T value = T(123);
        dlg.exchange = [&](CDataExchange* pDX) { DDX_Text(pDX, IDC_TEST_EDIT, value); };
        dlg.SetDlgItemText(IDC_TEST_EDIT, c.text);
        EXPECT_EQ(dlg.UpdateData(TRUE) != FALSE, c.shown != nullptr) << ToUtf8(CString(c.text));
        dlg.UpdateData(FALSE);
        EXPECT_EQ(dlg.GetDlgItemText(IDC_TEST_EDIT), CString(c.shown ? c.shown : L"123"))
            << ToUtf8(CString(c.text));
    }
}

TEST_F(DialogTest, ExchangeRoundTripsAndFailsQuietlyOnBadInput)
{
    CString text = L"Ünïcödé naïve";
    int number = -17, check = BST_CHECKED;
    unsigned long long big = ULLONG_MAX;
    TestDialog dlg(IDD_TEST_DIALOG);
    dlg.exchange = [&](CDataExchange* pDX) {
        DDX_Text(pDX, IDC_TEST_EDIT, text);
        DDX_Text(pDX, IDC_TEST_NUMBER, number);
        DDX_Text(pDX, IDC_TEST_NUMBER64, big);
        DDX_Check(pDX, IDC_TEST_CHECK, check);
    };
    ASSERT_TRUE(dlg.Create(IDD_TEST_DIALOG));
    dlg.ShowWindow(SW_SHOW);
    text.Empty();
    number = 0, check = 0, big = 0;
    ASSERT_TRUE(dlg.UpdateData(TRUE));
    EXPECT_EQ(text, CString(L"Ünïcödé naïve"));
    EXPECT_EQ(number, -17);
    EXPECT_EQ(big, ULLONG_MAX);
    EXPECT_EQ(check, BST_CHECKED);

    // A bad number: no message box, the fields before it exchanged, its own and later ones not.
    zr_test::MessageBoxCatcher boxes;
    number = 99;
    big = 7;
    dlg.SetDlgItemText(IDC_TEST_EDIT, L"changed");
    dlg.SetDlgItemText(IDC_TEST_NUMBER, L"abc");
    dlg.SetDlgItemText(IDC_TEST_NUMBER64, L"5");
    EXPECT_FALSE(dlg.UpdateData(TRUE));
    zr_test::PumpPending();
    EXPECT_EQ(text, CString(L"changed"));
    EXPECT_EQ(number, 99);
    EXPECT_EQ(big, 7u);
    EXPECT_EQ(::GetFocus(), Item(dlg, IDC_TEST_NUMBER));

    ExpectNumbers<int>(dlg, { { L"-2147483648", L"-2147483648" }, { L"  +42\t", L"42" }, { L"2147483648", nullptr },
                              { L"4x", nullptr }, { L"", nullptr }, { L"-", nullptr }, { L"1 2", nullptr } });
    ExpectNumbers<unsigned long long>(dlg, { { L"18446744073709551615", L"18446744073709551615" },
                                             { L"18446744073709551616", nullptr }, { L"99999999999999999999", nullptr } });
    EXPECT_EQ(boxes.Count(), 0);
}

TEST_F(DialogTest, ModalDialogsNestFromInitDialogAndFromHandlers)
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

TEST_F(DialogTest, OnlyTheOutermostLoopFreesTemporaries)
{
    ModalWatchdog watchdog;
    bool tempSurvivedNestedLoop = false;
    TestDialog outer;
    outer.onInit = [](TestDialog& d) { d.PostMessage(WM_APP + 6); };
    // A handler holds a temporary object while it runs a nested modal dialog that goes idle.
    outer.onPosted = [&](WPARAM, LPARAM) -> LRESULT {
        HWND editWnd = Item(outer, IDC_TEST_EDIT);
        CWnd* edit = outer.GetDlgItem(IDC_TEST_EDIT);   // no object of its own: a temporary
        TestDialog nested(IDD_TEST_CHILD, &outer);
        nested.onInit = [](TestDialog& d) { d.SetTimer(1, 10); };
        nested.endOnTimerWhen = [&] { return outer.idles > 0; };   // once the owner saw the loop idle
        nested.DoModal();
        // Counted before FromHandle could make a new temporary (perhaps at the same address).
        tempSurvivedNestedLoop = CWnd::TempObjectCount() > 0 && CWnd::FromHandle(editWnd) == edit &&
                                 edit->m_hWnd == editWnd;
        outer.SetTimer(1, 10);   // ends once this loop, outermost, has freed the temporaries
        return 0;
    };
    outer.endOnTimerWhen = [] { return CWnd::TempObjectCount() == 0; };
    EXPECT_EQ(outer.DoModal(), IDOK);
    EXPECT_TRUE(tempSurvivedNestedLoop);
    EXPECT_EQ(CWnd::TempObjectCount(), 0);
    EXPECT_FALSE(watchdog.Fired());
}

// A worker hands rows to the modal dialog through SendMessage while its loop runs (wParam -1: done).
UINT __cdecl ProduceRows(LPVOID p)
{
    HWND dlg = static_cast<HWND>(p);
    for (int i = 0; i < 500; ++i) {
        wchar_t text[32];
        ::wsprintfW(text, L"row %03d", i);
        ::SendMessageW(dlg, WM_APP + 6, (WPARAM)i, (LPARAM)text);   // the stack buffer outlives the call
    }
    ::SendMessageW(dlg, WM_APP + 6, (WPARAM)-1, 0);
    return 0;
}

TEST_F(DialogTest, WorkerSendsRowsToARunningModalDialog)
{
    ModalWatchdog watchdog(20000);
    CWinThread* worker = nullptr;
    std::vector<std::wstring> rows;
    TestDialog dlg(IDD_TEST_DIALOG);
    dlg.onInit = [&](TestDialog& d) { worker = AfxBeginThread(ProduceRows, d.m_hWnd); };
    dlg.onPosted = [&](WPARAM i, LPARAM text) -> LRESULT {
        if (i == (WPARAM)-1)
            dlg.EndDialog(IDOK);
        else
            rows.push_back(reinterpret_cast<const wchar_t*>(text));
        return 0;
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    ASSERT_NE(worker, nullptr);
    EXPECT_TRUE(ZrWaitForThreadPumping(worker, 5000));
    delete worker;
    ASSERT_EQ(rows.size(), 500u);
    EXPECT_EQ(rows[0], L"row 000");
    EXPECT_EQ(rows[499], L"row 499");
    EXPECT_FALSE(watchdog.Fired());
}

} // namespace
