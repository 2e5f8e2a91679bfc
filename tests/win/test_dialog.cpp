// CDialog: message maps and reflection on a real dialog, data exchange, and the modal loop
// (threads, nesting, owners, WM_QUIT, workers sending to the dialog).
#include <gtest/gtest.h>

#include "afxwin.h"
#include "common/ui_wait.h"
#include "test_resource.h"

#include <atomic>
#include <climits>
#include <functional>
#include <string>
#include <vector>

using zr_test::ModalWatchdog;
using zr_test::PumpPending;
using zr_test::PumpUntil;
using zr_test::WaitUntil;

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

// ---------------------------------------------------------------------------------------------
// Message map and reflection

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
        if (reinterpret_cast<NMCUSTOMDRAW*>(hdr)->dwDrawStage == CDDS_PREPAINT)
            ++prepaints;
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
    int checkClicks = 0, buttonClicks = 0, editChanges = 0;
    int parentDrawItems = 0, parentPushCustomDraws = 0, parentListCustomDraws = 0;

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Control(pDX, IDC_TEST_BUTTON, m_drawn);
        DDX_Control(pDX, IDC_TEST_PUSH, m_custom);
        DDX_Text(pDX, IDC_TEST_EDIT, m_text);
    }
    void OnCheckClicked() { ++checkClicks; }
    void OnButtonClicked() { ++buttonClicks; }
    void OnEditChange() { ++editChanges; }
    LRESULT OnPing(WPARAM w, LPARAM) { return (LRESULT)w * 2; }
    LRESULT OnAppMessage(WPARAM, LPARAM l) { return l + 1; }
    void OnDrawItem(int, LPDRAWITEMSTRUCT) { ++parentDrawItems; }
    void OnPushCustomDraw(NMHDR*, LRESULT* r) { ++parentPushCustomDraws; *r = CDRF_DODEFAULT; }
    void OnListCustomDraw(NMHDR*, LRESULT* r) { ++parentListCustomDraws; *r = CDRF_DODEFAULT; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(MapDialog, CDialog)
    ON_BN_CLICKED(IDC_TEST_CHECK, &MapDialog::OnCheckClicked)
    ON_BN_CLICKED(IDC_TEST_BUTTON, &MapDialog::OnButtonClicked)
    ON_EN_CHANGE(IDC_TEST_EDIT, &MapDialog::OnEditChange)
    ON_REGISTERED_MESSAGE(g_pingMessage, &MapDialog::OnPing)
    ON_MESSAGE(WM_APP + 7, &MapDialog::OnAppMessage)
    ON_WM_DRAWITEM()
    ON_NOTIFY(NM_CUSTOMDRAW, IDC_TEST_PUSH, &MapDialog::OnPushCustomDraw)
    ON_NOTIFY(NM_CUSTOMDRAW, IDC_TEST_LIST, &MapDialog::OnListCustomDraw)
END_MESSAGE_MAP()

TEST_F(DialogTest, MessageMapRoutesCommandsAndMessages)
{
    MapDialog dlg;
    ASSERT_TRUE(dlg.Create(IDD_TEST_DIALOG));
    dlg.ShowWindow(SW_SHOW);

    // OnInitDialog filled the edit; notifications are locked out during data exchange.
    EXPECT_EQ(dlg.GetDlgItemText(IDC_TEST_EDIT), CString(L"hello"));
    EXPECT_EQ(dlg.editChanges, 0);
    dlg.SetDlgItemText(IDC_TEST_EDIT, L"typed");
    EXPECT_EQ(dlg.editChanges, 1);

    g_pingMessage = ::RegisterWindowMessageW(L"ZrDialogTestPing");
    ASSERT_NE(g_pingMessage, 0u);
    EXPECT_EQ(dlg.SendMessage(g_pingMessage, 21), 42);
    EXPECT_EQ(dlg.SendMessage(WM_APP + 7, 0, 9), 10);

    // The owner-drawn button's object has no BN_CLICKED entry, so the parent gets the click.
    ::PostMessageW(Item(dlg, IDC_TEST_CHECK), BM_CLICK, 0, 0);
    ::PostMessageW(Item(dlg, IDC_TEST_BUTTON), BM_CLICK, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return dlg.checkClicks == 1 && dlg.buttonClicks == 1; }));
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_TEST_CHECK), (UINT)BST_CHECKED);

    // Repeating the exchange keeps the subclassed controls with their objects.
    EXPECT_TRUE(dlg.UpdateData(TRUE));
    EXPECT_TRUE(dlg.UpdateData(FALSE));
    EXPECT_EQ(CWnd::FromHandlePermanent(Item(dlg, IDC_TEST_BUTTON)), &dlg.m_drawn);
    EXPECT_EQ(CWnd::FromHandlePermanent(Item(dlg, IDC_TEST_PUSH)), &dlg.m_custom);
    EXPECT_EQ(dlg.m_text, CString(L"typed"));
    EXPECT_EQ(dlg.editChanges, 1);

    dlg.DestroyWindow();
    EXPECT_EQ(dlg.m_hWnd, nullptr);
    EXPECT_EQ(dlg.m_drawn.m_hWnd, nullptr);
}

TEST_F(DialogTest, DrawingNotificationsAreReflectedToTheControlsObject)
{
    MapDialog dlg;
    ASSERT_TRUE(dlg.Create(IDD_TEST_DIALOG));
    dlg.ShowWindow(SW_SHOW);
    dlg.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpUntil([&] {
        return dlg.m_drawn.draws > 0 && dlg.m_custom.prepaints > 0 && dlg.parentListCustomDraws > 0;
    }, 3000);

    EXPECT_GT(dlg.m_drawn.draws, 0);            // WM_DRAWITEM went to the button's object
    EXPECT_EQ(dlg.parentDrawItems, 0);          // ... and not also to the dialog's map
    EXPECT_GT(dlg.m_custom.prepaints, 0);       // NM_CUSTOMDRAW went to the push button's object
    EXPECT_EQ(dlg.parentPushCustomDraws, 0);
    EXPECT_GT(dlg.parentListCustomDraws, 0);    // a control without an object notifies the parent
}

// ---------------------------------------------------------------------------------------------
// Data exchange

class ExchangeDialog : public CDialog {
public:
    ExchangeDialog() : CDialog(IDD_TEST_DIALOG) {}
    CString m_text;
    int m_number = 0;
    unsigned long long m_big = 0;
    long long m_signedBig = 0;
    int m_check = 0;

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Text(pDX, IDC_TEST_EDIT, m_text);
        DDV_MaxChars(pDX, m_text, 20);
        DDX_Text(pDX, IDC_TEST_NUMBER, m_number);
        DDX_Text(pDX, IDC_TEST_NUMBER64, m_big);
        DDX_Text(pDX, IDC_TEST_EDIT2, m_signedBig);
        DDX_Check(pDX, IDC_TEST_CHECK, m_check);
    }
};

TEST_F(DialogTest, ExchangeRoundTripsTextNumbersAndCheckBox)
{
    ExchangeDialog dlg;
    dlg.m_text = L"Ünïcödé naïve";
    dlg.m_number = -17;
    dlg.m_big = ULLONG_MAX;
    dlg.m_signedBig = LLONG_MAX;
    dlg.m_check = BST_CHECKED;
    ASSERT_TRUE(dlg.Create(IDD_TEST_DIALOG));

    EXPECT_EQ(dlg.GetDlgItemText(IDC_TEST_EDIT), CString(L"Ünïcödé naïve"));
    EXPECT_EQ(dlg.GetDlgItemText(IDC_TEST_NUMBER), CString(L"-17"));
    EXPECT_EQ(dlg.GetDlgItemText(IDC_TEST_NUMBER64), CString(L"18446744073709551615"));
    EXPECT_EQ(dlg.GetDlgItemText(IDC_TEST_EDIT2), CString(L"9223372036854775807"));
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_TEST_CHECK), (UINT)BST_CHECKED);
    EXPECT_EQ(dlg.SendDlgItemMessage(IDC_TEST_EDIT, EM_GETLIMITTEXT), 20);

    dlg.m_text.Empty();
    dlg.m_number = 0;
    dlg.m_big = 0;
    dlg.m_signedBig = 0;
    dlg.m_check = 0;
    ASSERT_TRUE(dlg.UpdateData(TRUE));
    EXPECT_EQ(dlg.m_text, CString(L"Ünïcödé naïve"));
    EXPECT_EQ(dlg.m_number, -17);
    EXPECT_EQ(dlg.m_big, ULLONG_MAX);
    EXPECT_EQ(dlg.m_signedBig, LLONG_MAX);
    EXPECT_EQ(dlg.m_check, BST_CHECKED);
}

TEST_F(DialogTest, ExchangeFailsQuietlyOnABadNumberOrTooLongText)
{
    ExchangeDialog dlg;
    ASSERT_TRUE(dlg.Create(IDD_TEST_DIALOG));
    dlg.ShowWindow(SW_SHOW);
    dlg.m_number = 99;
    dlg.m_big = 7;
    dlg.SetDlgItemText(IDC_TEST_EDIT, L"changed");
    dlg.SetDlgItemText(IDC_TEST_NUMBER, L"abc");
    dlg.SetDlgItemText(IDC_TEST_NUMBER64, L"5");

    zr_test::MessageBoxCatcher boxes;
    EXPECT_FALSE(dlg.UpdateData(TRUE));
    PumpPending();
    EXPECT_EQ(boxes.Count(), 0);
    EXPECT_EQ(dlg.m_text, CString(L"changed"));   // exchanged before the bad field
    EXPECT_EQ(dlg.m_number, 99);                  // the bad field's member is left alone
    EXPECT_EQ(dlg.m_big, 7u);                     // later fields are not reached
    EXPECT_EQ(::GetFocus(), Item(dlg, IDC_TEST_NUMBER));

    // A text longer than the limit (set around the edit's own limit) fails validation.
    dlg.SetDlgItemText(IDC_TEST_NUMBER, L"1");
    dlg.SetDlgItemText(IDC_TEST_EDIT, L"123456789012345678901");
    EXPECT_FALSE(dlg.UpdateData(TRUE));
    dlg.SetDlgItemText(IDC_TEST_EDIT, L"12345678901234567890");
    EXPECT_TRUE(dlg.UpdateData(TRUE));
    EXPECT_EQ(dlg.m_number, 1);
    EXPECT_EQ(boxes.Count(), 0);
}

// A dialog whose exchange the test supplies.
class FlexibleDialog : public CDialog {
public:
    explicit FlexibleDialog(UINT id) : CDialog(id) {}
    std::function<void(CDataExchange*)> exchange;

protected:
    BOOL OnInitDialog() override
    {
        for (int id : { IDC_TEST_COMBO_LIST, IDC_TEST_COMBO_EDIT })
            for (const wchar_t* s : { L"alpha", L"beta", L"gamma" })
                if (HWND combo = Item(*this, id))
                    ::SendMessageW(combo, CB_ADDSTRING, 0, (LPARAM)s);
        return CDialog::OnInitDialog();
    }
    void DoDataExchange(CDataExchange* pDX) override
    {
        if (exchange)
            exchange(pDX);
    }
};

// Saves `text` through DDX_Text into a T; on success loads the value back and returns the text
// the field then shows.
template <class T> ::testing::AssertionResult Exchanges(FlexibleDialog& dlg, const wchar_t* text,
                                                        T expected, const wchar_t* shown)
{
    T value = T(123);
    dlg.exchange = [&](CDataExchange* pDX) { DDX_Text(pDX, IDC_TEST_EDIT, value); };
    dlg.SetDlgItemText(IDC_TEST_EDIT, text);
    if (!dlg.UpdateData(TRUE))
        return ::testing::AssertionFailure() << "rejected";
    if (value != expected)
        return ::testing::AssertionFailure() << "read " << value;
    dlg.SetDlgItemText(IDC_TEST_EDIT, L"");
    dlg.UpdateData(FALSE);
    CString now = dlg.GetDlgItemText(IDC_TEST_EDIT);
    if (now != shown)
        return ::testing::AssertionFailure() << "shown as " << ToUtf8(now);
    return ::testing::AssertionSuccess();
}

template <class T> ::testing::AssertionResult Rejects(FlexibleDialog& dlg, const wchar_t* text)
{
    T value = T(123);
    dlg.exchange = [&](CDataExchange* pDX) { DDX_Text(pDX, IDC_TEST_EDIT, value); };
    dlg.SetDlgItemText(IDC_TEST_EDIT, text);
    if (dlg.UpdateData(TRUE))
        return ::testing::AssertionFailure() << "accepted as " << value;
    if (value != T(123))
        return ::testing::AssertionFailure() << "member changed to " << value;
    return ::testing::AssertionSuccess();
}

TEST_F(DialogTest, NumberExchangeAcceptsExactlyTheRangeOfEachType)
{
    FlexibleDialog dlg(IDD_TEST_DDX);
    ASSERT_TRUE(dlg.Create(IDD_TEST_DDX));
    zr_test::MessageBoxCatcher boxes;

    EXPECT_TRUE(Exchanges<int>(dlg, L"2147483647", INT_MAX, L"2147483647"));
    EXPECT_TRUE(Exchanges<int>(dlg, L"-2147483648", INT_MIN, L"-2147483648"));
    EXPECT_TRUE(Exchanges<int>(dlg, L"  +42\t", 42, L"42"));
    EXPECT_TRUE(Rejects<int>(dlg, L"2147483648"));
    EXPECT_TRUE(Rejects<int>(dlg, L"4x"));
    EXPECT_TRUE(Rejects<int>(dlg, L"x4"));
    EXPECT_TRUE(Rejects<int>(dlg, L""));
    EXPECT_TRUE(Rejects<int>(dlg, L"-"));
    EXPECT_TRUE(Rejects<int>(dlg, L"1 2"));

    EXPECT_TRUE(Exchanges<UINT>(dlg, L"4294967295", UINT_MAX, L"4294967295"));
    EXPECT_TRUE(Rejects<UINT>(dlg, L"4294967296"));
    EXPECT_TRUE(Rejects<UINT>(dlg, L"-1"));

    EXPECT_TRUE(Exchanges<long>(dlg, L"-2147483648", LONG_MIN, L"-2147483648"));
    EXPECT_TRUE(Rejects<long>(dlg, L"2147483648"));

    EXPECT_TRUE(Exchanges<DWORD>(dlg, L"4294967295", 0xFFFFFFFFu, L"4294967295"));
    EXPECT_TRUE(Rejects<DWORD>(dlg, L"-5"));

    EXPECT_TRUE(Exchanges<long long>(dlg, L"9223372036854775807", LLONG_MAX, L"9223372036854775807"));
    EXPECT_TRUE(Exchanges<long long>(dlg, L"-9223372036854775808", LLONG_MIN, L"-9223372036854775808"));
    EXPECT_TRUE(Rejects<long long>(dlg, L"9223372036854775808"));
    EXPECT_TRUE(Rejects<long long>(dlg, L"abc"));

    EXPECT_TRUE(Exchanges<unsigned long long>(dlg, L"18446744073709551615", ULLONG_MAX, L"18446744073709551615"));
    EXPECT_TRUE(Exchanges<unsigned long long>(dlg, L"0", 0ull, L"0"));
    EXPECT_TRUE(Rejects<unsigned long long>(dlg, L"18446744073709551616"));
    EXPECT_TRUE(Rejects<unsigned long long>(dlg, L"99999999999999999999"));
    EXPECT_TRUE(Rejects<unsigned long long>(dlg, L"abc"));

    EXPECT_EQ(boxes.Count(), 0);
}

TEST_F(DialogTest, RadioGroupAndComboBoxExchange)
{
    FlexibleDialog dlg(IDD_TEST_DDX);
    ASSERT_TRUE(dlg.Create(IDD_TEST_DDX));
    dlg.ShowWindow(SW_SHOW);

    int radio = 2;
    dlg.exchange = [&](CDataExchange* pDX) { DDX_Radio(pDX, IDC_TEST_RADIO1, radio); };
    ASSERT_TRUE(dlg.UpdateData(FALSE));
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_TEST_RADIO1), 0u);
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_TEST_RADIO2), 0u);
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_TEST_RADIO3), 1u);
    ::PostMessageW(Item(dlg, IDC_TEST_RADIO1), BM_CLICK, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return dlg.IsDlgButtonChecked(IDC_TEST_RADIO1) == 1; }));
    ASSERT_TRUE(dlg.UpdateData(TRUE));
    EXPECT_EQ(radio, 0);
    // None checked reads as -1; the check box after the group is not part of it.
    dlg.CheckDlgButton(IDC_TEST_RADIO1, 0);
    dlg.CheckDlgButton(IDC_TEST_CHECK, 1);
    ASSERT_TRUE(dlg.UpdateData(TRUE));
    EXPECT_EQ(radio, -1);

    int index = 1;
    dlg.exchange = [&](CDataExchange* pDX) { DDX_CBIndex(pDX, IDC_TEST_COMBO_LIST, index); };
    ASSERT_TRUE(dlg.UpdateData(FALSE));
    EXPECT_EQ(dlg.SendDlgItemMessage(IDC_TEST_COMBO_LIST, CB_GETCURSEL), 1);
    dlg.SendDlgItemMessage(IDC_TEST_COMBO_LIST, CB_SETCURSEL, 2);
    ASSERT_TRUE(dlg.UpdateData(TRUE));
    EXPECT_EQ(index, 2);

    CString listText = L"gamma", editText = L"zeta";
    dlg.exchange = [&](CDataExchange* pDX) {
        DDX_CBString(pDX, IDC_TEST_COMBO_LIST, listText);
        DDX_CBString(pDX, IDC_TEST_COMBO_EDIT, editText);
    };
    ASSERT_TRUE(dlg.UpdateData(FALSE));
    EXPECT_EQ(dlg.SendDlgItemMessage(IDC_TEST_COMBO_LIST, CB_GETCURSEL), 2);
    EXPECT_EQ(dlg.SendDlgItemMessage(IDC_TEST_COMBO_EDIT, CB_GETCURSEL), CB_ERR);
    EXPECT_EQ(dlg.GetDlgItemText(IDC_TEST_COMBO_EDIT), CString(L"zeta"));

    dlg.SendDlgItemMessage(IDC_TEST_COMBO_LIST, CB_SETCURSEL, 1);
    dlg.SetDlgItemText(IDC_TEST_COMBO_EDIT, L"typed");
    ASSERT_TRUE(dlg.UpdateData(TRUE));
    EXPECT_EQ(listText, CString(L"beta"));
    EXPECT_EQ(editText, CString(L"typed"));

    // Loading picks the first item that starts with the value; an empty value clears the choice.
    editText = L"gam";
    ASSERT_TRUE(dlg.UpdateData(FALSE));
    EXPECT_EQ(dlg.SendDlgItemMessage(IDC_TEST_COMBO_EDIT, CB_GETCURSEL), 2);
    listText.Empty();
    ASSERT_TRUE(dlg.UpdateData(FALSE));
    EXPECT_EQ(dlg.SendDlgItemMessage(IDC_TEST_COMBO_LIST, CB_GETCURSEL), CB_ERR);
}

// ---------------------------------------------------------------------------------------------
// The modal loop

class KeyDialog : public CDialog {
public:
    explicit KeyDialog(bool swallowEscape) : CDialog(IDD_TEST_DIALOG), m_swallow(swallowEscape) {}
    std::atomic<HWND> shown{ nullptr };
    std::atomic<int> escapes{ 0 }, markers{ 0 };

    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        shown = m_hWnd;
        return TRUE;
    }
    BOOL PreTranslateMessage(MSG* m) override
    {
        if (m_swallow && m->message == WM_KEYDOWN && m->wParam == VK_ESCAPE) {
            ++escapes;
            return TRUE;
        }
        return CDialog::PreTranslateMessage(m);
    }

protected:
    LRESULT OnMarker(WPARAM, LPARAM)
    {
        ++markers;
        return 0;
    }
    bool m_swallow;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(KeyDialog, CDialog)
    ON_MESSAGE(WM_APP + 1, &KeyDialog::OnMarker)
END_MESSAGE_MAP()

struct ModalRun {
    CDialog* dlg;
    std::atomic<INT_PTR> result{ -2 };
};

UINT __cdecl RunModal(LPVOID p)
{
    ModalRun* run = static_cast<ModalRun*>(p);
    ModalWatchdog watchdog;
    run->result = run->dlg->DoModal();
    return 0;
}

HWND FocusOf(DWORD threadId)
{
    HWND focus = nullptr;
    WaitUntil([&] {
        GUITHREADINFO info = { sizeof(info) };
        focus = ::GetGUIThreadInfo(threadId, &info) ? info.hwndFocus : nullptr;
        return focus != nullptr;
    });
    return focus;
}

void PostKey(HWND h, UINT vk) { ::PostMessageW(h, WM_KEYDOWN, vk, 1); }

TEST_F(DialogTest, ModalLoopOnAnotherThreadOffersKeysToPreTranslateMessage)
{
    KeyDialog dlg(true);
    ModalRun run{ &dlg };
    CWinThread* thread = AfxBeginThread(RunModal, &run);
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return dlg.shown.load() && ::IsWindowVisible(dlg.shown); }));
    HWND focus = FocusOf(thread->m_nThreadID);
    ASSERT_EQ(focus, Item(dlg, IDC_TEST_EDIT));

    // Escape is swallowed: the marker posted after it arrives and the dialog is still running.
    PostKey(focus, VK_ESCAPE);
    ::PostMessageW(dlg.shown, WM_APP + 1, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return dlg.markers == 1; }));
    EXPECT_EQ(dlg.escapes, 1);
    EXPECT_EQ(run.result, -2);
    EXPECT_TRUE(::IsWindowVisible(dlg.shown));

    // Enter presses the default button: OnOK ends the dialog.
    PostKey(focus, VK_RETURN);
    EXPECT_TRUE(ZrWaitForThreadPumping(thread, 5000));
    EXPECT_EQ(run.result, IDOK);
    EXPECT_EQ(dlg.m_hWnd, nullptr);
    delete thread;
}

TEST_F(DialogTest, EscapeCancelsWhenNotSwallowed)
{
    KeyDialog dlg(false);
    ModalRun run{ &dlg };
    CWinThread* thread = AfxBeginThread(RunModal, &run);
    ASSERT_TRUE(WaitUntil([&] { return dlg.shown.load() && ::IsWindowVisible(dlg.shown); }));
    PostKey(FocusOf(thread->m_nThreadID), VK_ESCAPE);
    EXPECT_TRUE(ZrWaitForThreadPumping(thread, 5000));
    EXPECT_EQ(run.result, IDCANCEL);
    delete thread;
}

std::vector<std::string> g_log;

class InnerDialog : public CDialog {
public:
    InnerDialog(CWnd* parent, int code, bool quit = false)
        : CDialog(IDD_TEST_CHILD, parent), m_code(code), m_quit(quit) {}
    BOOL ownerEnabledDuring = TRUE;
    HWND ownerDuring = nullptr;

    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        ownerEnabledDuring = ::IsWindowEnabled(m_pParentWnd->m_hWnd);
        ownerDuring = ::GetWindow(m_hWnd, GW_OWNER);
        if (m_quit)
            ::PostQuitMessage(5);
        else
            PostMessage(WM_APP + 2);
        return TRUE;
    }

protected:
    LRESULT OnEnd(WPARAM, LPARAM)
    {
        EndDialog(m_code);
        return 0;
    }
    int m_code;
    bool m_quit;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(InnerDialog, CDialog)
    ON_MESSAGE(WM_APP + 2, &InnerDialog::OnEnd)
END_MESSAGE_MAP()

class OuterDialog : public CDialog {
public:
    explicit OuterDialog(bool innerQuits = false) : CDialog(IDD_TEST_DIALOG), m_innerQuits(innerQuits) {}
    std::vector<BOOL> ownerDisabledDuring, ownerEnabledAfter;

    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        RunInner(m_innerQuits ? 0 : 77);
        if (!m_innerQuits)   // next: a modal dialog from a button handler
            ::PostMessageW(Item(*this, IDC_TEST_BUTTON), BM_CLICK, 0, 0);
        return TRUE;
    }

protected:
    void RunInner(int code)
    {
        InnerDialog inner(this, code, m_innerQuits);
        INT_PTR r = inner.DoModal();
        g_log.push_back("inner:" + std::to_string(r));
        ownerDisabledDuring.push_back(!inner.ownerEnabledDuring && inner.ownerDuring == m_hWnd);
        ownerEnabledAfter.push_back(::IsWindowEnabled(m_hWnd));
    }
    void OnButton()
    {
        RunInner(78);
        PostMessage(WM_APP + 3);
    }
    LRESULT OnEnd(WPARAM, LPARAM)
    {
        EndDialog(55);
        return 0;
    }
    bool m_innerQuits;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(OuterDialog, CDialog)
    ON_BN_CLICKED(IDC_TEST_BUTTON, &OuterDialog::OnButton)
    ON_MESSAGE(WM_APP + 3, &OuterDialog::OnEnd)
END_MESSAGE_MAP()

TEST_F(DialogTest, ModalDialogsNestFromInitDialogAndFromHandlers)
{
    ModalWatchdog watchdog;
    g_log.clear();
    OuterDialog outer;
    INT_PTR r = outer.DoModal();
    g_log.push_back("outer:" + std::to_string(r));

    EXPECT_FALSE(watchdog.Fired());
    EXPECT_EQ(g_log, (std::vector<std::string>{ "inner:77", "inner:78", "outer:55" }));
    EXPECT_EQ(outer.ownerDisabledDuring, (std::vector<BOOL>{ TRUE, TRUE }));
    EXPECT_EQ(outer.ownerEnabledAfter, (std::vector<BOOL>{ TRUE, TRUE }));
}

TEST_F(DialogTest, QuitMessageEndsEveryModalLoopAndStaysQueued)
{
    ModalWatchdog watchdog;
    g_log.clear();
    OuterDialog outer(true);
    INT_PTR r = outer.DoModal();
    EXPECT_EQ(r, -1);
    EXPECT_EQ(g_log, (std::vector<std::string>{ "inner:-1" }));
    MSG msg;
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 5u);
    EXPECT_FALSE(watchdog.Fired());
}

class ScriptedDialog : public CDialog {
public:
    ScriptedDialog(UINT id, CWnd* parent, std::function<void(ScriptedDialog&)> onInit)
        : CDialog(id, parent), m_onInit(std::move(onInit)) {}
    int shows = 0;
    BOOL ownerEnabledDuring = TRUE;
    HWND ownerDuring = nullptr;

    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        ownerDuring = ::GetWindow(m_hWnd, GW_OWNER);
        ownerEnabledDuring = ownerDuring ? ::IsWindowEnabled(ownerDuring) : TRUE;
        if (m_onInit)
            m_onInit(*this);
        return TRUE;
    }
    void OnShowWindow(BOOL show, UINT status)
    {
        if (show)
            ++shows;
        CDialog::OnShowWindow(show, status);
    }
    LRESULT OnEndOk(WPARAM, LPARAM)
    {
        EndDialog(IDOK);
        return 0;
    }
    LRESULT OnDestroyNow(WPARAM, LPARAM)
    {
        DestroyWindow();
        return 0;
    }

private:
    std::function<void(ScriptedDialog&)> m_onInit;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ScriptedDialog, CDialog)
    ON_WM_SHOWWINDOW()
    ON_MESSAGE(WM_APP + 4, &ScriptedDialog::OnEndOk)
    ON_MESSAGE(WM_APP + 5, &ScriptedDialog::OnDestroyNow)
END_MESSAGE_MAP()

void PostEnd(ScriptedDialog& d) { d.PostMessage(WM_APP + 4); }

TEST_F(DialogTest, ModalDialogDisablesItsOwnerAndGivesItBack)
{
    ModalWatchdog watchdog;
    CDialog owner(IDD_TEST_CHILD);
    ASSERT_TRUE(owner.Create(IDD_TEST_CHILD));
    owner.ShowWindow(SW_SHOW);
    ::SetActiveWindow(owner);

    ScriptedDialog withParent(IDD_TEST_CHILD, &owner, PostEnd);
    EXPECT_EQ(withParent.DoModal(), IDOK);
    EXPECT_EQ(withParent.ownerDuring, owner.m_hWnd);
    EXPECT_FALSE(withParent.ownerEnabledDuring);
    EXPECT_TRUE(owner.IsWindowEnabled());
    EXPECT_EQ(::GetActiveWindow(), owner.m_hWnd);

    // A control as parent: its top-level window is the owner.
    ScriptedDialog controlParent(IDD_TEST_CHILD, owner.GetDlgItem(IDC_TEST_EDIT), PostEnd);
    EXPECT_EQ(controlParent.DoModal(), IDOK);
    EXPECT_EQ(controlParent.ownerDuring, owner.m_hWnd);
    EXPECT_FALSE(controlParent.ownerEnabledDuring);
    EXPECT_TRUE(owner.IsWindowEnabled());

    // No parent: the active window is the owner.
    ::SetActiveWindow(owner);
    ScriptedDialog noParent(IDD_TEST_CHILD, nullptr, PostEnd);
    EXPECT_EQ(noParent.DoModal(), IDOK);
    EXPECT_EQ(noParent.ownerDuring, owner.m_hWnd);
    EXPECT_TRUE(owner.IsWindowEnabled());

    // An owner that was disabled already stays disabled.
    owner.EnableWindow(FALSE);
    ScriptedDialog disabledOwner(IDD_TEST_CHILD, &owner, PostEnd);
    EXPECT_EQ(disabledOwner.DoModal(), IDOK);
    EXPECT_FALSE(owner.IsWindowEnabled());
    owner.EnableWindow(TRUE);

    // A template that does not exist: -1, and the owner is enabled again.
    CDialog missing(4242, &owner);
    EXPECT_EQ(missing.DoModal(), -1);
    EXPECT_TRUE(owner.IsWindowEnabled());
    EXPECT_FALSE(watchdog.Fired());
}

TEST_F(DialogTest, EndDialogInOnInitDialogNeverShowsTheDialog)
{
    ModalWatchdog watchdog;
    ScriptedDialog dlg(IDD_TEST_CHILD, nullptr, [](ScriptedDialog& d) { d.EndDialog(31); });
    EXPECT_EQ(dlg.DoModal(), 31);
    EXPECT_EQ(dlg.shows, 0);
    EXPECT_EQ(dlg.m_hWnd, nullptr);
    EXPECT_FALSE(watchdog.Fired());
}

TEST_F(DialogTest, ModalLoopEndsWhenTheDialogIsDestroyedUnderIt)
{
    ModalWatchdog watchdog;
    ScriptedDialog dlg(IDD_TEST_CHILD, nullptr, [](ScriptedDialog& d) { d.PostMessage(WM_APP + 5); });
    EXPECT_EQ(dlg.DoModal(), -1);
    EXPECT_FALSE(watchdog.Fired());
}

// Ends on its timer once its owner has been told that the loop went idle.
class IdleOnceDialog : public CDialog {
public:
    IdleOnceDialog(CWnd* parent, const int& ownerIdles) : CDialog(IDD_TEST_CHILD, parent), m_idles(ownerIdles) {}
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        SetTimer(1, 10);
        return TRUE;
    }

protected:
    void OnTimer(UINT_PTR)
    {
        if (m_idles > 0)
            EndDialog(IDOK);
    }
    const int& m_idles;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(IdleOnceDialog, CDialog)
    ON_WM_TIMER()
END_MESSAGE_MAP()

// A handler holds a temporary object while it runs a nested modal dialog that goes idle.
class TempHoldingDialog : public CDialog {
public:
    TempHoldingDialog() : CDialog(IDD_TEST_DIALOG) {}
    bool tempSurvivedNestedLoop = false;
    int idles = 0;

    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        PostMessage(WM_APP + 20);
        return TRUE;
    }

protected:
    LRESULT OnWork(WPARAM, LPARAM)
    {
        HWND labelWnd = Item(*this, IDC_TEST_STATIC);
        CWnd* label = GetDlgItem(IDC_TEST_STATIC);   // no object of its own: a temporary
        idles = 0;
        IdleOnceDialog nested(this, idles);
        nested.DoModal();
        // Counted before FromHandle could make a new temporary (perhaps at the same address).
        tempSurvivedNestedLoop = CWnd::TempObjectCount() > 0;
        tempSurvivedNestedLoop = tempSurvivedNestedLoop && CWnd::FromHandle(labelWnd) == label &&
                                 label->m_hWnd == labelWnd;
        SetTimer(1, 10);   // ends once this loop, outermost, has freed the temporaries
        return 0;
    }
    void OnTimer(UINT_PTR)
    {
        if (CWnd::TempObjectCount() == 0)
            EndDialog(IDOK);
    }
    LRESULT OnEnterIdle(WPARAM kind, LPARAM)
    {
        if (kind == MSGF_DIALOGBOX)
            ++idles;
        return 0;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TempHoldingDialog, CDialog)
    ON_MESSAGE(WM_APP + 20, &TempHoldingDialog::OnWork)
    ON_MESSAGE(WM_ENTERIDLE, &TempHoldingDialog::OnEnterIdle)
    ON_WM_TIMER()
END_MESSAGE_MAP()

TEST_F(DialogTest, OnlyTheOutermostLoopFreesTemporaries)
{
    ModalWatchdog watchdog;
    TempHoldingDialog dlg;
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_TRUE(dlg.tempSurvivedNestedLoop);
    EXPECT_EQ(CWnd::TempObjectCount(), 0);
    EXPECT_FALSE(watchdog.Fired());
}

// A worker hands rows to the modal dialog through SendMessage while its loop runs.
class ListDialog : public CDialog {
public:
    ListDialog() : CDialog(IDD_TEST_DIALOG) {}
    CWinThread* worker = nullptr;
    std::vector<std::wstring> rows;

    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        LVCOLUMNW col = {};
        col.mask = LVCF_TEXT | LVCF_WIDTH;
        col.cx = 120;
        col.pszText = const_cast<wchar_t*>(L"Name");
        SendDlgItemMessage(IDC_TEST_LIST, LVM_INSERTCOLUMNW, 0, (LPARAM)&col);
        SendDlgItemMessage(IDC_TEST_LIST, WM_SETREDRAW, FALSE);   // one repaint for the burst
        worker = AfxBeginThread(&ListDialog::Produce, m_hWnd);
        return TRUE;
    }

protected:
    static UINT __cdecl Produce(LPVOID p)
    {
        HWND dlg = static_cast<HWND>(p);
        for (int i = 0; i < 500; ++i) {
            wchar_t text[32];
            ::wsprintfW(text, L"row %03d", i);
            ::SendMessageW(dlg, WM_APP + 10, (WPARAM)i, (LPARAM)text);   // the stack buffer outlives the call
        }
        ::PostMessageW(dlg, WM_APP + 11, 0, 0);
        return 0;
    }
    LRESULT OnRow(WPARAM i, LPARAM text)
    {
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = (int)SendDlgItemMessage(IDC_TEST_LIST, LVM_GETITEMCOUNT);
        item.pszText = reinterpret_cast<wchar_t*>(text);
        return SendDlgItemMessage(IDC_TEST_LIST, LVM_INSERTITEMW, 0, (LPARAM)&item) == (LRESULT)i;
    }
    LRESULT OnDone(WPARAM, LPARAM)
    {
        int n = (int)SendDlgItemMessage(IDC_TEST_LIST, LVM_GETITEMCOUNT);
        for (int i = 0; i < n; ++i) {
            wchar_t buf[32] = {};
            LVITEMW item = {};
            item.iSubItem = 0;
            item.pszText = buf;
            item.cchTextMax = 32;
            SendDlgItemMessage(IDC_TEST_LIST, LVM_GETITEMTEXTW, (WPARAM)i, (LPARAM)&item);
            rows.push_back(buf);
        }
        SendDlgItemMessage(IDC_TEST_LIST, WM_SETREDRAW, TRUE);
        EndDialog(IDOK);
        return 0;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ListDialog, CDialog)
    ON_MESSAGE(WM_APP + 10, &ListDialog::OnRow)
    ON_MESSAGE(WM_APP + 11, &ListDialog::OnDone)
END_MESSAGE_MAP()

TEST_F(DialogTest, WorkerSendsRowsToARunningModalDialog)
{
    ModalWatchdog watchdog(20000);
    ListDialog dlg;
    EXPECT_EQ(dlg.DoModal(), IDOK);
    ASSERT_NE(dlg.worker, nullptr);
    EXPECT_TRUE(ZrWaitForThreadPumping(dlg.worker, 5000));
    delete dlg.worker;

    ASSERT_EQ(dlg.rows.size(), 500u);
    for (int i = 0; i < 500; ++i) {
        wchar_t want[32];
        ::wsprintfW(want, L"row %03d", i);
        ASSERT_EQ(dlg.rows[(size_t)i], want) << i;
    }
    EXPECT_FALSE(watchdog.Fired());
}

// ---------------------------------------------------------------------------------------------
// Modeless dialogs and the helpers

bool g_selfDeleted = false;

class SelfDeletingDialog : public CDialog {
public:
    ~SelfDeletingDialog() override { g_selfDeleted = true; }

protected:
    void PostNcDestroy() override { delete this; }
};

TEST_F(DialogTest, ModelessDialogMayDeleteItselfWhenDestroyed)
{
    g_selfDeleted = false;
    auto* dlg = new SelfDeletingDialog();
    ASSERT_TRUE(dlg->Create(IDD_TEST_CHILD));
    HWND h = dlg->m_hWnd;
    ::DestroyWindow(h);
    EXPECT_TRUE(g_selfDeleted);
    EXPECT_FALSE(::IsWindow(h));
}

TEST_F(DialogTest, ModelessDialogGetsKeyboardNavigationFromAnyPump)
{
    CDialog dlg;
    ASSERT_TRUE(dlg.Create(IDD_TEST_CHILD));
    dlg.ShowWindow(SW_SHOW);
    HWND edit = Item(dlg, IDC_TEST_EDIT);
    ::SetFocus(edit);
    // Escape reaches IsDialogMessage through CDialog::PreTranslateMessage: OnCancel hides it.
    PostKey(edit, VK_ESCAPE);
    EXPECT_TRUE(PumpUntil([&] { return !dlg.IsWindowVisible(); }));
    EXPECT_TRUE(dlg.IsWindow());
}

TEST_F(DialogTest, DefaultButtonFocusAndDialogUnits)
{
    CDialog dlg;
    ASSERT_TRUE(dlg.Create(IDD_TEST_DIALOG));
    dlg.ShowWindow(SW_SHOW);
    ::SetActiveWindow(dlg);

    EXPECT_EQ(dlg.GetDefID(), (DWORD)MAKELONG(IDOK, DC_HASDEFID));
    dlg.SetDefID(IDCANCEL);
    EXPECT_EQ(LOWORD(dlg.GetDefID()), IDCANCEL);

    dlg.GotoDlgCtrl(dlg.GetDlgItem(IDC_TEST_EDIT2));
    EXPECT_EQ(::GetFocus(), Item(dlg, IDC_TEST_EDIT2));
    dlg.NextDlgCtrl();
    EXPECT_EQ(::GetFocus(), Item(dlg, IDC_TEST_CHECK));
    dlg.PrevDlgCtrl();
    EXPECT_EQ(::GetFocus(), Item(dlg, IDC_TEST_EDIT2));

    // The template's OK button: 206,199 and 50x14 in dialog units, which the dialog manager
    // converts one by one.
    CRect position(206, 199, 50, 14);
    dlg.MapDialogRect(&position);
    CRect ok;
    ::GetWindowRect(Item(dlg, IDOK), &ok);
    dlg.ScreenToClient(&ok);
    EXPECT_EQ(ok.TopLeft(), position.TopLeft());
    EXPECT_EQ(ok.Width(), position.right);
    EXPECT_EQ(ok.Height(), position.bottom);
}

} // namespace
