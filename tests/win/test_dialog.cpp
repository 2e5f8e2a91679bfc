// CDialog: message maps and reflection on a real dialog, data exchange, and the modal loop
// (threads, nesting, owners, WM_QUIT, workers sending to the dialog).
#include <gtest/gtest.h>

#include "afxwin.h"
#include "common/ui_wait.h"
#include "test_resource.h"

#include <atomic>
#include <climits>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

using zr_test::ModalWatchdog;
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
void PostKey(HWND h, UINT vk) { ::PostMessageW(h, WM_KEYDOWN, vk, 1); }

// ---- Message map and reflection ----------------------------------------------------------------

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
    int buttonClicks = 0, editChanges = 0;
    int parentDrawItems = 0, parentPushCustomDraws = 0, parentListCustomDraws = 0;

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
    void OnPushCustomDraw(NMHDR*, LRESULT* r) { ++parentPushCustomDraws; *r = CDRF_DODEFAULT; }
    void OnListCustomDraw(NMHDR*, LRESULT* r) { ++parentListCustomDraws; *r = CDRF_DODEFAULT; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(MapDialog, CDialog)
    ON_BN_CLICKED(IDC_TEST_BUTTON, &MapDialog::OnButtonClicked)
    ON_EN_CHANGE(IDC_TEST_EDIT, &MapDialog::OnEditChange)
    ON_REGISTERED_MESSAGE(g_pingMessage, &MapDialog::OnPing)
    ON_MESSAGE(WM_APP + 7, &MapDialog::OnAppMessage)
    ON_WM_DRAWITEM()
    ON_NOTIFY(NM_CUSTOMDRAW, IDC_TEST_PUSH, &MapDialog::OnPushCustomDraw)
    ON_NOTIFY(NM_CUSTOMDRAW, IDC_TEST_LIST, &MapDialog::OnListCustomDraw)
END_MESSAGE_MAP()

TEST_F(DialogTest, MessageMapRoutesCommandsMessagesAndReflections)
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
    ::PostMessageW(Item(dlg, IDC_TEST_BUTTON), BM_CLICK, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return dlg.buttonClicks == 1; }));

    // Repeating the exchange keeps the subclassed controls with their objects.
    EXPECT_TRUE(dlg.UpdateData(TRUE));
    EXPECT_TRUE(dlg.UpdateData(FALSE));
    EXPECT_EQ(CWnd::FromHandlePermanent(Item(dlg, IDC_TEST_BUTTON)), &dlg.m_drawn);
    EXPECT_EQ(dlg.m_text, CString(L"typed"));

    dlg.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpUntil([&] {
        return dlg.m_drawn.draws > 0 && dlg.m_custom.prepaints > 0 && dlg.parentListCustomDraws > 0;
    }, 3000);
    EXPECT_GT(dlg.m_drawn.draws, 0);            // WM_DRAWITEM went to the button's object
    EXPECT_EQ(dlg.parentDrawItems, 0);          // ... and not also to the dialog's map
    EXPECT_GT(dlg.m_custom.prepaints, 0);       // NM_CUSTOMDRAW went to the push button's object
    EXPECT_EQ(dlg.parentPushCustomDraws, 0);
    EXPECT_GT(dlg.parentListCustomDraws, 0);    // a control without an object notifies the parent

    dlg.DestroyWindow();
    EXPECT_EQ(dlg.m_drawn.m_hWnd, nullptr);
}

// ---- A dialog scripted by the test ------------------------------------------------------------

// What OnInitDialog does, the exchange, WM_APP+6, when its timer ends it and which messages
// PreTranslateMessage swallows are the test's; it records its owner while it runs.
class TestDialog : public CDialog {
public:
    explicit TestDialog(UINT id = IDD_TEST_CHILD, CWnd* parent = nullptr) : CDialog(id, parent) {}
    std::function<void(TestDialog&)> onInit;
    std::function<void(CDataExchange*)> exchange;
    std::function<LRESULT(WPARAM, LPARAM)> onPosted;
    std::function<bool()> endOnTimerWhen;
    std::function<bool(const MSG*)> swallow;
    int endCode = IDOK, shows = 0, idles = 0;
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
    BOOL PreTranslateMessage(MSG* m) override { return (swallow && swallow(m)) || CDialog::PreTranslateMessage(m); }
    void PostEnd(int code) { endCode = code; PostMessage(WM_APP + 4); }

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        if (exchange)
            exchange(pDX);
    }
    void OnShowWindow(BOOL show, UINT status) { shows += show ? 1 : 0; CDialog::OnShowWindow(show, status); }
    void OnTimer(UINT_PTR)
    {
        if (endOnTimerWhen && endOnTimerWhen())
            EndDialog(endCode);
    }
    LRESULT OnEnd(WPARAM, LPARAM) { EndDialog(endCode); return 0; }
    LRESULT OnDestroyNow(WPARAM, LPARAM) { DestroyWindow(); return 0; }
    LRESULT OnPosted(WPARAM w, LPARAM l) { return onPosted ? onPosted(w, l) : 0; }
    LRESULT OnEnterIdle(WPARAM kind, LPARAM) { idles += kind == MSGF_DIALOGBOX ? 1 : 0; return 0; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TestDialog, CDialog)
    ON_WM_SHOWWINDOW()
    ON_WM_TIMER()
    ON_MESSAGE(WM_APP + 4, &TestDialog::OnEnd)
    ON_MESSAGE(WM_APP + 5, &TestDialog::OnDestroyNow)
    ON_MESSAGE(WM_APP + 6, &TestDialog::OnPosted)
    ON_MESSAGE(WM_ENTERIDLE, &TestDialog::OnEnterIdle)
END_MESSAGE_MAP()

// ---- Data exchange -----------------------------------------------------------------------------

TEST_F(DialogTest, ExchangeRoundTripsAndFailsQuietlyOnBadInput)
{
    CString text = L"Ünïcödé naïve";
    int number = -17, check = BST_CHECKED;
    unsigned long long big = ULLONG_MAX;
    long long signedBig = LLONG_MAX;
    TestDialog dlg(IDD_TEST_DIALOG);
    dlg.exchange = [&](CDataExchange* pDX) {
        DDX_Text(pDX, IDC_TEST_EDIT, text);
        DDV_MaxChars(pDX, text, 20);
        DDX_Text(pDX, IDC_TEST_NUMBER, number);
        DDX_Text(pDX, IDC_TEST_NUMBER64, big);
        DDX_Text(pDX, IDC_TEST_EDIT2, signedBig);
        DDX_Check(pDX, IDC_TEST_CHECK, check);
    };
    ASSERT_TRUE(dlg.Create(IDD_TEST_DIALOG));
    dlg.ShowWindow(SW_SHOW);
    EXPECT_EQ(dlg.GetDlgItemText(IDC_TEST_NUMBER64), CString(L"18446744073709551615"));
    EXPECT_EQ(dlg.GetDlgItemText(IDC_TEST_EDIT2), CString(L"9223372036854775807"));
    EXPECT_EQ(dlg.SendDlgItemMessage(IDC_TEST_EDIT, EM_GETLIMITTEXT), 20);
    text.Empty();
    number = 0, check = 0, big = 0, signedBig = 0;
    ASSERT_TRUE(dlg.UpdateData(TRUE));
    EXPECT_EQ(text, CString(L"Ünïcödé naïve"));
    EXPECT_EQ(number, -17);
    EXPECT_EQ(big, ULLONG_MAX);
    EXPECT_EQ(signedBig, LLONG_MAX);
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

    dlg.SetDlgItemText(IDC_TEST_NUMBER, L"1");
    dlg.SetDlgItemText(IDC_TEST_EDIT, L"123456789012345678901");
    EXPECT_FALSE(dlg.UpdateData(TRUE));   // one character over the limit
    dlg.SetDlgItemText(IDC_TEST_EDIT, L"12345678901234567890");
    EXPECT_TRUE(dlg.UpdateData(TRUE));
    EXPECT_EQ(number, 1);
    EXPECT_EQ(boxes.Count(), 0);
}

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

TEST_F(DialogTest, ExchangeOfNumbersRadioGroupsAndComboBoxes)
{
    TestDialog dlg(IDD_TEST_DDX);
    ASSERT_TRUE(dlg.Create(IDD_TEST_DDX));
    zr_test::MessageBoxCatcher boxes;
    ExpectNumbers<int>(dlg, { { L"2147483647", L"2147483647" }, { L"-2147483648", L"-2147483648" },
                              { L"  +42\t", L"42" }, { L"2147483648", nullptr }, { L"4x", nullptr },
                              { L"x4", nullptr }, { L"", nullptr }, { L"-", nullptr }, { L"1 2", nullptr } });
    ExpectNumbers<UINT>(dlg, { { L"4294967295", L"4294967295" }, { L"4294967296", nullptr }, { L"-1", nullptr } });
    ExpectNumbers<long>(dlg, { { L"-2147483648", L"-2147483648" }, { L"2147483648", nullptr } });
    ExpectNumbers<DWORD>(dlg, { { L"4294967295", L"4294967295" }, { L"-5", nullptr } });
    ExpectNumbers<long long>(dlg, { { L"9223372036854775807", L"9223372036854775807" },
                                    { L"-9223372036854775808", L"-9223372036854775808" },
                                    { L"9223372036854775808", nullptr }, { L"abc", nullptr } });
    ExpectNumbers<unsigned long long>(dlg, { { L"18446744073709551615", L"18446744073709551615" },
                                             { L"0", L"0" }, { L"18446744073709551616", nullptr },
                                             { L"99999999999999999999", nullptr } });
    EXPECT_EQ(boxes.Count(), 0);

    for (int id : { IDC_TEST_COMBO_LIST, IDC_TEST_COMBO_EDIT })
        for (const wchar_t* s : { L"alpha", L"beta", L"gamma" })
            dlg.SendDlgItemMessage(id, CB_ADDSTRING, 0, (LPARAM)s);
    int radio = 2;
    CString listText = L"", editText = L"gam";
    dlg.exchange = [&](CDataExchange* pDX) {
        DDX_Radio(pDX, IDC_TEST_RADIO1, radio);
        DDX_CBString(pDX, IDC_TEST_COMBO_LIST, listText);
        DDX_CBString(pDX, IDC_TEST_COMBO_EDIT, editText);
    };
    dlg.SendDlgItemMessage(IDC_TEST_COMBO_LIST, CB_SETCURSEL, 1);
    ASSERT_TRUE(dlg.UpdateData(FALSE));
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_TEST_RADIO3), 1u);
    // Loading picks the first item that starts with the value; an empty value clears the choice.
    EXPECT_EQ(dlg.SendDlgItemMessage(IDC_TEST_COMBO_EDIT, CB_GETCURSEL), 2);
    EXPECT_EQ(dlg.SendDlgItemMessage(IDC_TEST_COMBO_LIST, CB_GETCURSEL), CB_ERR);

    // None checked reads as -1; the check box after the group is not part of it.
    dlg.CheckDlgButton(IDC_TEST_RADIO3, 0);
    dlg.CheckDlgButton(IDC_TEST_CHECK, 1);
    dlg.SendDlgItemMessage(IDC_TEST_COMBO_LIST, CB_SETCURSEL, 1);
    dlg.SetDlgItemText(IDC_TEST_COMBO_EDIT, L"typed");
    ASSERT_TRUE(dlg.UpdateData(TRUE));
    EXPECT_EQ(radio, -1);
    EXPECT_EQ(listText, CString(L"beta"));
    EXPECT_EQ(editText, CString(L"typed"));
}

// ---- The modal loop ----------------------------------------------------------------------------

UINT __cdecl RunModal(LPVOID p)
{
    ModalWatchdog watchdog;
    return (UINT)static_cast<CDialog*>(p)->DoModal();
}

TEST_F(DialogTest, ModalLoopOnAnotherThreadOffersKeysToPreTranslateMessage)
{
    std::atomic<HWND> shown{ nullptr };
    std::atomic<int> escapes{ 0 }, markers{ 0 };
    TestDialog dlg;
    dlg.onInit = [&](TestDialog& d) { shown = d.m_hWnd; };
    dlg.swallow = [&](const MSG* m) {
        bool escape = m->message == WM_KEYDOWN && m->wParam == VK_ESCAPE;
        escapes += escape ? 1 : 0;
        return escape;
    };
    dlg.onPosted = [&](WPARAM, LPARAM) -> LRESULT { return ++markers; };
    CWinThread* thread = AfxBeginThread(RunModal, &dlg);
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return shown.load() && ::IsWindowVisible(shown); }));
    HWND focus = Item(dlg, IDC_TEST_EDIT);

    // Escape is swallowed: the marker posted after it arrives and the dialog is still running.
    PostKey(focus, VK_ESCAPE);
    ::PostMessageW(shown, WM_APP + 6, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return markers == 1; }));
    EXPECT_EQ(escapes, 1);
    EXPECT_TRUE(::IsWindowVisible(shown));

    PostKey(focus, VK_RETURN);   // the default button: OnOK ends the dialog
    EXPECT_TRUE(ZrWaitForThreadPumping(thread, 5000));
    DWORD result = 0;
    ::GetExitCodeThread(thread->m_hThread, &result);
    EXPECT_EQ(result, (DWORD)IDOK);
    delete thread;
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

TEST_F(DialogTest, ModalDialogDisablesItsOwnerAndGivesItBack)
{
    ModalWatchdog watchdog;
    TestDialog owner;
    ASSERT_TRUE(owner.Create(IDD_TEST_CHILD));
    owner.ShowWindow(SW_SHOW);
    auto postEnd = [](TestDialog& d) { d.PostEnd(IDOK); };

    // The parent itself, a control (its top-level window owns), none (the active window owns).
    for (CWnd* parent : { (CWnd*)&owner, owner.GetDlgItem(IDC_TEST_EDIT), (CWnd*)nullptr }) {
        ::SetActiveWindow(owner);
        TestDialog dlg(IDD_TEST_CHILD, parent);
        dlg.onInit = postEnd;
        EXPECT_EQ(dlg.DoModal(), IDOK);
        EXPECT_EQ(dlg.ownerDuring, owner.m_hWnd);
        EXPECT_FALSE(dlg.ownerEnabledDuring);
        EXPECT_TRUE(owner.IsWindowEnabled());
    }
    EXPECT_EQ(::GetActiveWindow(), owner.m_hWnd);

    // An owner that was disabled already stays disabled.
    owner.EnableWindow(FALSE);
    TestDialog disabledOwner(IDD_TEST_CHILD, &owner);
    disabledOwner.onInit = postEnd;
    EXPECT_EQ(disabledOwner.DoModal(), IDOK);
    EXPECT_FALSE(owner.IsWindowEnabled());
    owner.EnableWindow(TRUE);

    // A template that does not exist: -1, and the owner is enabled again.
    CDialog missing(4242, &owner);
    EXPECT_EQ(missing.DoModal(), -1);
    EXPECT_TRUE(owner.IsWindowEnabled());

    // EndDialog in OnInitDialog: never shown. Destroyed under its loop: -1.
    TestDialog ended;
    ended.onInit = [](TestDialog& d) { d.EndDialog(31); };
    EXPECT_EQ(ended.DoModal(), 31);
    EXPECT_EQ(ended.shows, 0);
    EXPECT_EQ(ended.m_hWnd, nullptr);
    TestDialog destroyed;
    destroyed.onInit = [](TestDialog& d) { d.PostMessage(WM_APP + 5); };
    EXPECT_EQ(destroyed.DoModal(), -1);
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
    HWND list = nullptr;
    std::vector<std::wstring> rows;
    TestDialog dlg(IDD_TEST_DIALOG);
    dlg.onInit = [&](TestDialog& d) {
        list = Item(d, IDC_TEST_LIST);
        LVCOLUMNW col = { LVCF_TEXT | LVCF_WIDTH, 0, 120, const_cast<wchar_t*>(L"Name"), 0, 0, 0, 0 };
        ListView_InsertColumn(list, 0, &col);
        ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);   // one repaint for the burst
        worker = AfxBeginThread(ProduceRows, d.m_hWnd);
    };
    dlg.onPosted = [&](WPARAM i, LPARAM text) -> LRESULT {
        if (i == (WPARAM)-1) {
            for (int n = 0; n < ListView_GetItemCount(list); ++n) {
                wchar_t buf[32] = {};
                ListView_GetItemText(list, n, 0, buf, 32);
                rows.push_back(buf);
            }
            dlg.EndDialog(IDOK);
            return 0;
        }
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = ListView_GetItemCount(list);   // in arrival order
        item.pszText = reinterpret_cast<wchar_t*>(text);
        return ListView_InsertItem(list, &item);
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    ASSERT_NE(worker, nullptr);
    EXPECT_TRUE(ZrWaitForThreadPumping(worker, 5000));
    delete worker;
    ASSERT_EQ(rows.size(), 500u);
    for (int i = 0; i < 500; ++i) {
        wchar_t want[32];
        ::wsprintfW(want, L"row %03d", i);
        ASSERT_EQ(rows[(size_t)i], want) << i;
    }
    EXPECT_FALSE(watchdog.Fired());
}

// ---- Modeless dialogs --------------------------------------------------------------------------

bool g_selfDeleted = false;

class SelfDeletingDialog : public CDialog {
public:
    ~SelfDeletingDialog() override { g_selfDeleted = true; }

protected:
    void PostNcDestroy() override { delete this; }
};

TEST_F(DialogTest, ModelessDialogsDeleteThemselvesAndGetKeyboardNavigation)
{
    auto* self = new SelfDeletingDialog();
    ASSERT_TRUE(self->Create(IDD_TEST_CHILD));
    ::DestroyWindow(self->m_hWnd);
    EXPECT_TRUE(g_selfDeleted);

    // Escape reaches IsDialogMessage through CDialog::PreTranslateMessage: OnCancel hides it.
    CDialog dlg;
    ASSERT_TRUE(dlg.Create(IDD_TEST_CHILD));
    dlg.ShowWindow(SW_SHOW);
    HWND edit = Item(dlg, IDC_TEST_EDIT);
    ::SetFocus(edit);
    PostKey(edit, VK_ESCAPE);
    EXPECT_TRUE(PumpUntil([&] { return !dlg.IsWindowVisible(); }));
    EXPECT_TRUE(dlg.IsWindow());
}

} // namespace
