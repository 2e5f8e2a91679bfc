// The glass layer on real windows with desktop composition off (Wine's own window manager): which
// windows it takes over, how set-up failures leave them, teardown, and that nothing looks
// different. Composition on is tested in composed/test_glass_composed.cpp.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <map>
#include <vector>

#include "afxwin.h"
#include "common/glass_fixture.h"
#include "common/ui_wait.h"
#include "look/glass.h"

namespace {

using namespace zr_glass;
using zr_test::ProcOf;

bool Taken(HWND window, const std::map<HWND, WNDPROC>& before)
{
    return AeroGetRecord(window) != nullptr && ProcOf(window) != before.at(window);
}

class GlassTest : public ::testing::Test {
protected:
    zr_test::GlassDialog d;
    std::map<HWND, WNDPROC> before;

    void SetUp() override
    {
        d = zr_test::MakeGlassDialog(10, 10);
        ASSERT_NE(nullptr, d.header);
        ASSERT_NE(nullptr, d.comboEdit);
        before[d.dialog] = ProcOf(d.dialog);
        for (HWND w : d.All())
            before[w] = ProcOf(w);
    }
    void TearDown() override
    {
        ::DestroyWindow(d.dialog);
        zr_test::PumpPending();
    }
};

TEST_F(GlassTest, EveryClassBitTakesTheKnownDirectChildrenAndTheirWalkedDescendants)
{
    ASSERT_TRUE(AeroAutoSubclass(d.dialog, kEveryClass, 0)) << ::GetLastError();
    EXPECT_TRUE(Taken(d.dialog, before));
    EXPECT_TRUE(Taken(d.text, before));
    EXPECT_TRUE(Taken(d.push, before));
    EXPECT_TRUE(Taken(d.check, before));
    EXPECT_TRUE(Taken(d.list, before));
    EXPECT_TRUE(Taken(d.header, before)) << "through the list view's walk";
    EXPECT_TRUE(Taken(d.combo, before));
    EXPECT_TRUE(Taken(d.comboEdit, before)) << "through the combo box's walk";
    EXPECT_FALSE(Taken(d.group, before)) << "group boxes are left alone";
    EXPECT_FALSE(Taken(d.panel, before));
    EXPECT_FALSE(Taken(d.nested, before)) << "a grandchild outside the walks";
    EXPECT_FALSE(Taken(d.longName, before)) << "a longer class name is not cut to a known one";

    // The records: one set of bindings and one redraw message for the whole dialog.
    const AeroSubclassRecord* dialog = AeroGetRecord(d.dialog);
    const AeroSubclassRecord* text = AeroGetRecord(d.text);
    const AeroSubclassRecord* header = AeroGetRecord(d.header);
    ASSERT_NE(nullptr, dialog->dwm);
    EXPECT_EQ(dialog->dwm, text->dwm);
    EXPECT_EQ(dialog->uxTheme, header->uxTheme);
    EXPECT_EQ(::RegisterWindowMessageW(L"AeroAutoSubclassRedraw"), header->redrawMessage);
    EXPECT_EQ(0u, dialog->flags & kOwnGlass);
    EXPECT_EQ(-1, text->selectionStart);

    // One more control later: under the dialog's record, or refused where there is none.
    EXPECT_FALSE(AeroSubclassControl(d.nested));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, ::GetLastError());
    EXPECT_FALSE(AeroSubclassControl(d.group));
    EXPECT_EQ((DWORD)ERROR_NOT_SUPPORTED, ::GetLastError());
    EXPECT_FALSE(AeroSubclassControl(d.text));
    EXPECT_EQ((DWORD)ERROR_ALREADY_INITIALIZED, ::GetLastError());
    HWND late = zr_test::MakeChild(d.dialog, L"Static", L"late", 0, 10, 220, 80, 20, 40);
    const WNDPROC lateProc = ProcOf(late);
    EXPECT_TRUE(AeroSubclassControl(late));
    EXPECT_NE(lateProc, ProcOf(late));
}

TEST_F(GlassTest, FlagsPickTheClassesAndTheDialogThatPaintsItsOwnGlass)
{
    ASSERT_TRUE(AeroAutoSubclass(d.dialog, kSelfPainted | kStatic, 0));
    EXPECT_TRUE(Taken(d.text, before));
    for (HWND w : { d.push, d.check, d.list, d.header, d.combo, d.comboEdit })
        EXPECT_FALSE(Taken(w, before));
    EXPECT_EQ((DWORD)kOwnGlass, AeroGetRecord(d.dialog)->flags & kOwnGlass);
    EXPECT_EQ((DWORD)(kOwnGlass | kRepaintPending), AeroGetRecord(d.text)->flags) << "the parent's flags and its own";

    // The dialogs' own use: no class bit, then their listed controls one by one.
    zr_test::GlassDialog other = zr_test::MakeGlassDialog(40, 40);
    const WNDPROC listProc = ProcOf(other.list);
    ASSERT_TRUE(AeroAutoSubclass(other.dialog, kSelfPainted, 0));
    EXPECT_EQ(listProc, ProcOf(other.list));
    EXPECT_TRUE(AeroSubclassControl(other.list));
    EXPECT_NE(nullptr, AeroGetRecord(other.header)) << "one control brings its header along";
    ::DestroyWindow(other.dialog);
}

TEST_F(GlassTest, RefusalsChangeNothing)
{
    ::SetLastError(0);
    EXPECT_FALSE(AeroAutoSubclass(nullptr, kEveryClass, 0));
    EXPECT_EQ((DWORD)ERROR_INVALID_PARAMETER, ::GetLastError());
    EXPECT_FALSE(AeroAutoSubclass(d.dialog, kEveryClass, 1));
    EXPECT_EQ((DWORD)ERROR_INVALID_PARAMETER, ::GetLastError());
    EXPECT_EQ(nullptr, AeroGetRecord(d.dialog));
    EXPECT_FALSE(AeroSubclassControl(nullptr));
    EXPECT_EQ((DWORD)ERROR_INVALID_PARAMETER, ::GetLastError());
    EXPECT_FALSE(AeroSubclassControl(d.text));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, ::GetLastError()) << "the dialog has no record yet";
    EXPECT_EQ(before[d.text], ProcOf(d.text));

    ASSERT_TRUE(AeroAutoSubclass(d.dialog, kEveryClass, 0));
    std::map<HWND, WNDPROC> installed;
    installed[d.dialog] = ProcOf(d.dialog);
    for (HWND w : d.All())
        installed[w] = ProcOf(w);
    const AeroSubclassRecord* record = AeroGetRecord(d.dialog);
    EXPECT_FALSE(AeroAutoSubclass(d.dialog, kEveryClass, 0));
    EXPECT_EQ((DWORD)ERROR_ALREADY_INITIALIZED, ::GetLastError());
    EXPECT_EQ(record, AeroGetRecord(d.dialog));
    for (const auto& [w, proc] : installed)
        EXPECT_EQ(proc, ProcOf(w)) << "a second set-up subclasses nothing again";
}

TEST_F(GlassTest, AFailedSetUpTakesBackWhatItDid)
{
    // The third static already carries a record (moved over from another dialog, say): the
    // set-up fails there, after the two statics before it were taken.
    HWND first = zr_test::MakeChild(d.dialog, L"Static", L"a", 0, 300, 50, 40, 20, 30);
    HWND second = zr_test::MakeChild(d.dialog, L"Static", L"b", 0, 300, 70, 40, 20, 31);
    HWND third = zr_test::MakeChild(d.dialog, L"Static", L"c", 0, 300, 90, 40, 20, 32);
    const WNDPROC original = ProcOf(first);
    AeroSubclassRecord foreign = {};
    ASSERT_TRUE(::SetPropW(third, L"AeroAutoSubclass", &foreign));

    EXPECT_FALSE(AeroAutoSubclass(d.dialog, kStatic, 0));
    EXPECT_EQ((DWORD)ERROR_ALREADY_INITIALIZED, ::GetLastError());
    for (HWND w : { d.text, first, second }) {
        EXPECT_EQ(nullptr, AeroGetRecord(w));
        EXPECT_EQ(original, ProcOf(w));
    }
    EXPECT_EQ(nullptr, AeroGetRecord(d.dialog));
    EXPECT_EQ(before[d.dialog], ProcOf(d.dialog));
    ::RemovePropW(third, L"AeroAutoSubclass");

    // And the dialog can be set up properly afterwards.
    EXPECT_TRUE(AeroAutoSubclass(d.dialog, kStatic, 0));
    EXPECT_NE(nullptr, AeroGetRecord(third));
}

// What a control's own procedure sees of the layer when its window goes.
struct TeardownSeen {
    bool destroyed = false;
    bool recordGoneAtDestroy = false;
    bool procBackAtNcDestroy = false;
};
std::map<HWND, TeardownSeen> g_seen;
std::map<HWND, WNDPROC> g_next;

LRESULT CALLBACK BelowTheLayer(HWND w, UINT message, WPARAM wParam, LPARAM lParam)
{
    const WNDPROC next = g_next[w];
    if (message == WM_DESTROY) {
        g_seen[w].destroyed = true;
        g_seen[w].recordGoneAtDestroy = AeroGetRecord(w) == nullptr;
    } else if (message == WM_NCDESTROY) {
        g_seen[w].procBackAtNcDestroy = ProcOf(w) == BelowTheLayer && AeroGetRecord(w) == nullptr;
    }
    return ::CallWindowProcW(next, w, message, wParam, lParam);
}

TEST_F(GlassTest, EveryProcedureTakesItselfOutWhenItsWindowGoes)
{
    ::ShowWindow(d.list, SW_HIDE); // a hidden list view never paints, but still leaves
    std::vector<HWND> watched = { d.dialog, d.text, d.push, d.list, d.header, d.combo, d.comboEdit };
    for (HWND w : watched)
        g_next[w] =
            reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&BelowTheLayer)));
    ASSERT_TRUE(AeroAutoSubclass(d.dialog, kEveryClass, 0));
    for (HWND w : watched)
        ASSERT_NE(nullptr, AeroGetRecord(w));

    ::DestroyWindow(d.dialog);
    for (HWND w : watched) {
        EXPECT_TRUE(g_seen[w].destroyed);
        EXPECT_TRUE(g_seen[w].recordGoneAtDestroy) << "removed before the control's own WM_DESTROY";
        EXPECT_TRUE(g_seen[w].procBackAtNcDestroy);
    }
    d.dialog = nullptr;
    g_seen.clear();
    g_next.clear();
}

// With composition off, a subclassed control paints exactly as its twin without the layer.
TEST_F(GlassTest, WithoutCompositionSubclassedControlsLookLikeTheirTwins)
{
    HWND host = ::CreateWindowExW(0, L"#32770", L"twins", WS_POPUP | WS_VISIBLE, 480, 10, 520, 300, nullptr, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
    auto makePair = [&](int x) {
        HWND text =
            zr_test::MakeChild(host, L"Static", L"Need help? Contact us.", SS_CENTER | WS_BORDER, x, 10, 200, 40, 0);
        HWND list = zr_test::MakeChild(host, L"SysListView32", L"", LVS_REPORT | WS_BORDER, x, 60, 200, 150, 0);
        ::SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
        LVCOLUMNW column = { LVCF_TEXT | LVCF_WIDTH, 0, 150, const_cast<LPWSTR>(L"Name") };
        ::SendMessageW(list, LVM_INSERTCOLUMNW, 0, (LPARAM)&column);
        for (int i = 0; i < 3; ++i) {
            LVITEMW item = { LVIF_TEXT, i, 0, 0, 0, const_cast<LPWSTR>(i ? L"photo.jpg" : L"report.pdf") };
            ::SendMessageW(list, LVM_INSERTITEMW, 0, (LPARAM)&item);
        }
        LVITEMW selected = {};
        selected.state = selected.stateMask = LVIS_SELECTED;
        ::SendMessageW(list, LVM_SETITEMSTATE, 1, (LPARAM)&selected);
        return std::pair{ text, list };
    };
    const auto [plainText, plainList] = makePair(10);
    const auto [glassText, glassList] = makePair(300);
    ASSERT_TRUE(AeroAutoSubclass(host, kSelfPainted, 0));
    ASSERT_TRUE(AeroSubclassControl(glassText));
    ASSERT_TRUE(AeroSubclassControl(glassList));
    // Colour requests and redraw messages reach the controls as they would on glass.
    HDC dc = ::GetDC(glassText);
    ::SendMessageW(host, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)glassText);
    ::ReleaseDC(glassText, dc);
    ::PostMessageW(glassList, AeroGetRecord(glassList)->redrawMessage, 0, 0);
    ::InvalidateRect(host, nullptr, TRUE);
    zr_test::PumpPending();

    EXPECT_EQ(0, zr_test::DifferingPixels(zr_test::CaptureClient(plainText), zr_test::CaptureClient(glassText)));
    EXPECT_EQ(0, zr_test::DifferingPixels(zr_test::CaptureClient(plainList), zr_test::CaptureClient(glassList)));
    ::DestroyWindow(host);
}

} // namespace
