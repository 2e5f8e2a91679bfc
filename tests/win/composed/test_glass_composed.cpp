// The glass layer with desktop composition on. This executable runs with the test-only
// dwmapi.dll beside it (loaded through a DLL override), which reports composition on and can
// switch it off; Wine's visual styles are off, so theme classes do not open and the layer's
// fallbacks are what draws.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <vfw.h>

#include <atomic>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "afxwin.h"
#include "app/startup.h"
#include "common/carve_search_fixture.h"
#include "common/glass_fixture.h"
#include "common/ui_wait.h"
#include "look/glass.h"
#include "look/themeapi.h"
#include "resources/resource.h"

namespace {

using namespace zr_glass;

// Hardware faults anywhere in the process, including those Wine swallows inside window procedures.
std::atomic<int> g_faults{ 0 };
LONG CALLBACK CountFaults(EXCEPTION_POINTERS* info)
{
    switch (info->ExceptionRecord->ExceptionCode) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_STACK_OVERFLOW:
        ++g_faults;
        break;
    default:
        break;
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

LONG TripwireCalls()
{
    static HMODULE tripwire = ::LoadLibraryW(L"zr_tripwire.dll");
    auto calls = reinterpret_cast<LONG(WINAPI*)()>(::GetProcAddress(tripwire, "ZrTestDwmCalls"));
    return calls ? calls() : -1;
}

void SetComposition(bool on)
{
    DwmApi dwm;
    dwm.Load();
    dwm.EnableComposition(on ? 1 : 0);
}

int Colours(const std::vector<uint32_t>& pixels)
{
    return (int)std::set<uint32_t>(pixels.begin(), pixels.end()).size();
}

void RepaintAll(HWND dialog)
{
    ::RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    zr_test::PumpPending();
}

int PendingRedraws(HWND window, UINT message)
{
    int count = 0;
    MSG msg;
    while (::PeekMessageW(&msg, window, message, message, PM_REMOVE))
        ++count;
    return count;
}

class ComposedTest : public ::testing::Test {
protected:
    zr_test::GlassDialog d;
    void* faultHandler = nullptr;
    int faultsBefore = 0;

    void SetUp() override
    {
        DwmApi dwm;
        ASSERT_TRUE(dwm.Load());
        ASSERT_TRUE(dwm.IsCompositionEnabled()) << "the test library is not the one loaded";
        ASSERT_GE(TripwireCalls(), 0) << "zr_tripwire.dll is missing";
        faultHandler = ::AddVectoredExceptionHandler(1, CountFaults);
        faultsBefore = g_faults;
        d = zr_test::MakeGlassDialog(10, 10);
    }
    void TearDown() override
    {
        if (d.dialog)
            ::DestroyWindow(d.dialog);
        zr_test::PumpPending();
        SetComposition(true);
        EXPECT_EQ(faultsBefore, g_faults.load()) << "a fault inside a window procedure";
        ::RemoveVectoredExceptionHandler(faultHandler);
        ZrSetGlassReleaseHook(nullptr);
    }
    // A pixel of the dialog's client area away from every control.
    uint32_t Ground()
    {
        RepaintAll(d.dialog);
        RECT client;
        ::GetClientRect(d.dialog, &client);
        const std::vector<uint32_t> pixels = zr_test::CaptureClient(d.dialog);
        return pixels[(size_t)(client.bottom - 5) * client.right + 5];
    }
};

TEST_F(ComposedTest, TheDialogIsClearGlassUnlessItPaintsItsOwn)
{
    const uint32_t plain = Ground();
    ASSERT_TRUE(AeroAutoSubclass(d.dialog, kStatic, 0));
    EXPECT_EQ(0u, Ground()) << "black is clear glass";

    zr_test::GlassDialog own = zr_test::MakeGlassDialog(30, 30);
    ASSERT_TRUE(AeroAutoSubclass(own.dialog, kSelfPainted | kStatic, 0));
    std::swap(d, own);
    EXPECT_EQ(plain, Ground()) << "left to the dialog";
    std::swap(d, own);
    ::DestroyWindow(own.dialog);

    SetComposition(false);
    EXPECT_EQ(plain, Ground()) << "composition off: the dialog paints as without the layer";
}

TEST_F(ComposedTest, ColourRequestsPostOneRedrawEachAndTheDialogPaintsThePendingControl)
{
    ASSERT_TRUE(AeroAutoSubclass(d.dialog, kEveryClass, 0));
    zr_test::PumpPending();
    const UINT redraw = AeroGetRecord(d.dialog)->redrawMessage;
    PendingRedraws(d.text, redraw);
    AeroGetRecord(d.text)->flags &= ~kRepaintPending;

    HDC dc = ::GetDC(d.dialog);
    for (int i = 0; i < 3; ++i)
        ::SendMessageW(d.dialog, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)d.text);
    ::SendMessageW(d.dialog, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)d.group);
    ::SendMessageW(d.dialog, WM_CTLCOLOREDIT, (WPARAM)dc, (LPARAM)d.comboEdit);
    ::ReleaseDC(d.dialog, dc);
    EXPECT_EQ(3, PendingRedraws(d.text, redraw));
    EXPECT_EQ(0, PendingRedraws(d.group, redraw)) << "a control without a record is not asked";
    EXPECT_EQ(1, PendingRedraws(d.comboEdit, redraw));
    EXPECT_NE(0u, AeroGetRecord(d.text)->flags & kRepaintPending);

    // The dialog paints a pending control on glass and clears its mark.
    EXPECT_EQ(0, ::SendMessageW(d.dialog, redraw, 0, (LPARAM)d.list));
    EXPECT_EQ(0u, AeroGetRecord(d.list)->flags & kRepaintPending);
    // The edit field repaints itself on its message and clears its own.
    ::SendMessageW(d.comboEdit, redraw, 0, 0);
    EXPECT_EQ(0u, AeroGetRecord(d.comboEdit)->flags & kRepaintPending);
}

TEST_F(ComposedTest, AStaticWithoutItsThemeShowsClearGlassAndComesBackWithCompositionOff)
{
    HWND twin = zr_test::MakeChild(d.dialog, L"Static", L"Need help? Contact us.", SS_LEFT, 10, 250, 200, 20, 50);
    ASSERT_TRUE(AeroAutoSubclass(d.dialog, kSelfPainted, 0));
    ASSERT_TRUE(AeroSubclassControl(d.text));
    RepaintAll(d.dialog);
    EXPECT_EQ(1, Colours(zr_test::CaptureClient(d.text))) << "no \"ControlPanelStyle\" theme: nothing drawn";
    EXPECT_GT(Colours(zr_test::CaptureClient(twin)), 1);

    SetComposition(false);
    RepaintAll(d.dialog);
    EXPECT_EQ(0, zr_test::DifferingPixels(zr_test::CaptureClient(twin), zr_test::CaptureClient(d.text)));
    EXPECT_NE(nullptr, AeroGetRecord(d.text)) << "still subclassed";
}

TEST_F(ComposedTest, AListViewOnGlassShowsWhatItsTwinShows)
{
    auto makeList = [&](int x) {
        HWND list =
            zr_test::MakeChild(d.dialog, L"SysListView32", L"", LVS_REPORT | LVS_NOCOLUMNHEADER, x, 220, 150, 80, 0);
        LVCOLUMNW column = { LVCF_WIDTH, 0, 140 };
        ::SendMessageW(list, LVM_INSERTCOLUMNW, 0, (LPARAM)&column);
        for (int i = 0; i < 3; ++i) {
            LVITEMW item = { LVIF_TEXT, i, 0, 0, 0, const_cast<LPWSTR>(L"IMG_0001 beach.jpg") };
            ::SendMessageW(list, LVM_INSERTITEMW, 0, (LPARAM)&item);
        }
        return list;
    };
    HWND plain = makeList(10);
    HWND glass = makeList(200);
    ASSERT_TRUE(AeroAutoSubclass(d.dialog, kSelfPainted, 0));
    ASSERT_TRUE(AeroSubclassControl(glass));
    RepaintAll(d.dialog);
    const std::vector<uint32_t> shown = zr_test::CaptureClient(glass);
    EXPECT_GT(Colours(shown), 2) << "the items are drawn";
    EXPECT_EQ(0, zr_test::DifferingPixels(zr_test::CaptureClient(plain), shown));
}

// Released bindings are poisoned with the tripwire library: any later call through them counts.
HMODULE g_tripwire = nullptr;
bool PoisonReleased(void* binding, size_t size)
{
    for (size_t i = 0; i + sizeof(HMODULE) <= size; i += sizeof(HMODULE))
        std::memcpy(static_cast<char*>(binding) + i, &g_tripwire, sizeof(HMODULE));
    return true; // kept, poisoned, for the rest of the run
}

WNDPROC g_belowAbove = nullptr;
LONG g_callsAtRelease = -1;
bool g_recordsNulled = false;
std::vector<HWND> g_children;

// Sits above the layer's dialog procedure, so the dialog's record has to stay after its bindings
// go; once they went, it sends every child what would make it paint or look at the bindings.
LRESULT CALLBACK AboveTheLayer(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    const LRESULT result = ::CallWindowProcW(g_belowAbove, dialog, message, wParam, lParam);
    if (message == WM_DESTROY) {
        g_callsAtRelease = TripwireCalls();
        const AeroSubclassRecord* own = AeroGetRecord(dialog);
        g_recordsNulled = own && !own->dwm && !own->uxTheme;
        HDC dc = ::GetDC(dialog);
        for (HWND child : g_children) {
            if (const AeroSubclassRecord* r = AeroGetRecord(child))
                g_recordsNulled = g_recordsNulled && !r->dwm && !r->uxTheme;
            ::SendMessageW(child, WM_PAINT, 0, 0);
            ::SendMessageW(child, WM_NCPAINT, 1, 0);
            ::SendMessageW(child, WM_VSCROLL, SB_LINEDOWN, 0);
            ::SendMessageW(child, own ? own->redrawMessage : 0, 0, 0);
            ::SendMessageW(dialog, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)child);
            ::SendMessageW(dialog, own ? own->redrawMessage : 0, 0, (LPARAM)child);
        }
        ::SendMessageW(dialog, WM_PAINT, 0, 0);
        ::ReleaseDC(dialog, dc);
    }
    return result;
}

TEST_F(ComposedTest, NothingUsesTheBindingsAfterTheDialogReleasedThem)
{
    g_tripwire = ::LoadLibraryW(L"zr_tripwire.dll");
    ASSERT_NE(nullptr, g_tripwire);
    ZrSetGlassReleaseHook(PoisonReleased);
    ASSERT_TRUE(AeroAutoSubclass(d.dialog, kEveryClass, 0));
    g_children = d.All();
    g_belowAbove = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(d.dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AboveTheLayer)));
    // Work is waiting in the queue when the dialog goes.
    const UINT redraw = AeroGetRecord(d.dialog)->redrawMessage;
    for (HWND child : g_children) {
        ::PostMessageW(child, redraw, 0, 0);
        ::InvalidateRect(child, nullptr, TRUE);
    }
    ::PostMessageW(d.dialog, redraw, 0, (LPARAM)d.text);

    ::DestroyWindow(d.dialog);
    d.dialog = nullptr;
    zr_test::PumpPending();
    ASSERT_GE(g_callsAtRelease, 0);
    EXPECT_TRUE(g_recordsNulled) << "released pointers are nulled in every record that shared them";
    EXPECT_EQ(g_callsAtRelease, TripwireCalls()) << "a released binding was used";
}

// A real search dialog under the application object, whose glass flag the dialogs' set-up reads
// and their painters keep.
class GlassSearchDialogTest : public zr_test::CarveSearchTest {
protected:
    void SetUp() override
    {
        g_pApp = &app;
        CarveSearchTest::SetUp();
    }
    void TearDown() override
    {
        CarveSearchTest::TearDown();
        g_pApp = nullptr;
        SetComposition(true);
    }
    // The dialog's controls that the glass layer took, by id.
    std::set<int> GlassControls()
    {
        std::set<int> ids;
        for (HWND c = ::GetWindow(dlg->GetSafeHwnd(), GW_CHILD); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT))
            if (AeroGetRecord(c) != nullptr)
                ids.insert(::GetDlgCtrlID(c));
        return ids;
    }
    // A pixel of the frame band left of the white panel.
    uint32_t Band()
    {
        RECT client;
        dlg->GetClientRect(&client);
        RepaintAll(dlg->GetSafeHwnd());
        const std::vector<uint32_t> pixels = zr_test::CaptureClient(dlg->GetSafeHwnd());
        return pixels[(size_t)(client.bottom / 2) * client.right + 2];
    }
    CDelvaneApp app;
};

// With the glass flag up and composition on, Photo Search paints its frame bands as clear glass
// and has the glass layer take only the two controls that sit on them, the caption icon (1305)
// and "Need help? Contact us." (1289); the flag stays up. With the flag down and composition off,
// a dialog opened then is left plain and draws its gradient; composition back, its painter
// raises the flag again.
TEST_F(GlassSearchDialogTest, ThePhotoSearchDialogPutsItsCaptionIconAndContactLabelOnGlass)
{
    ASSERT_EQ(1, app.m_nGlass);
    ASSERT_TRUE(IsVistaOrLater());
    Open(CarveSearchKind::Photo);
    ASSERT_FALSE(HasFatalFailure());
    const AeroSubclassRecord* own = AeroGetRecord(dlg->GetSafeHwnd());
    ASSERT_NE(nullptr, own);
    EXPECT_EQ((DWORD)kOwnGlass, own->flags & kOwnGlass) << "the dialog paints its own glass";
    EXPECT_EQ((std::set<int>{ IDC_CONTACT_LABEL, IDC_LOGO }), GlassControls());
    EXPECT_EQ(0u, Band()) << "clear glass";
    EXPECT_EQ(1, app.m_nGlass);

    dlg->DestroyWindow();
    app.m_nGlass = 0;
    SetComposition(false);
    Open(CarveSearchKind::Photo);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(nullptr, AeroGetRecord(dlg->GetSafeHwnd()));
    EXPECT_TRUE(GlassControls().empty());
    EXPECT_NE(0u, Band()) << "the gradient frame";
    EXPECT_EQ(0, app.m_nGlass);

    SetComposition(true);
    Band();
    EXPECT_EQ(1, app.m_nGlass);
}

// A short uncompressed clip to play: five 16 x 16 frames at 50 frames a second.
std::wstring WriteClip()
{
    wchar_t folder[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"zr glass clip.avi";
    ::DeleteFileW(path.c_str());
    ::AVIFileInit();
    PAVIFILE file = nullptr;
    if (::AVIFileOpenW(&file, path.c_str(), OF_CREATE | OF_WRITE, nullptr) == 0) {
        AVISTREAMINFOW info = {};
        info.fccType = streamtypeVIDEO;
        info.dwScale = 1;
        info.dwRate = 50;
        info.dwSuggestedBufferSize = 16 * 16 * 4;
        ::SetRect(&info.rcFrame, 0, 0, 16, 16);
        PAVISTREAM stream = nullptr;
        if (::AVIFileCreateStreamW(file, &stream, &info) == 0) {
            BITMAPINFOHEADER format = { sizeof(format), 16, 16, 1, 32, BI_RGB, 16 * 16 * 4 };
            ::AVIStreamSetFormat(stream, 0, &format, sizeof(format));
            std::vector<uint32_t> pixels(16 * 16);
            for (LONG i = 0; i < 5; ++i) {
                std::fill(pixels.begin(), pixels.end(), 0x00203040u * (uint32_t)(i + 1));
                ::AVIStreamWrite(stream, i, 1, pixels.data(), 16 * 16 * 4, AVIIF_KEYFRAME, nullptr, nullptr);
            }
            ::AVIStreamRelease(stream);
        }
        ::AVIFileRelease(file);
    }
    ::AVIFileExit();
    return path;
}

// Every class the layer knows, painted and worked on glass without a theme, then destroyed.
TEST_F(ComposedTest, EveryClassPaintsWorksAndGoesOnGlass)
{
    HWND dlg = d.dialog;
    std::vector<HWND> more = {
        zr_test::MakeChild(dlg, L"ListBox", L"", LBS_NOTIFY | WS_VSCROLL, 10, 220, 80, 60, 60),
        zr_test::MakeChild(dlg, L"Edit", L"line one\r\nline two", ES_MULTILINE | ES_AUTOVSCROLL, 100, 220, 100, 40, 61),
        zr_test::MakeChild(dlg, L"msctls_trackbar32", L"", TBS_AUTOTICKS, 210, 250, 120, 30, 62),
        zr_test::MakeChild(dlg, L"msctls_updown32", L"", 0, 340, 250, 20, 30, 63),
        zr_test::MakeChild(dlg, L"SysIPAddress32", L"", 0, 10, 285, 140, 22, 64),
        zr_test::MakeChild(dlg, L"SysDateTimePick32", L"", 0, 160, 285, 120, 22, 65),
        zr_test::MakeChild(dlg, L"SysTreeView32", L"", TVS_HASLINES, 370, 40, 80, 60, 66),
        zr_test::MakeChild(dlg, L"msctls_progress32", L"", 0, 370, 110, 80, 16, 67),
        zr_test::MakeChild(dlg, L"SysAnimate32", L"", ACS_CENTER, 370, 130, 40, 40, 68),
        zr_test::MakeChild(dlg, L"ComboBoxEx32", L"", CBS_DROPDOWN, 290, 285, 120, 100, 69),
    };
    ::ShowWindow(d.longName, SW_HIDE);
    ::SendMessageW(more[0], LB_ADDSTRING, 0, (LPARAM)L"first");
    ::SendMessageW(more[7], PBM_SETPOS, 40, 0);
    ASSERT_TRUE(AeroAutoSubclass(dlg, kEveryClass, 0)) << ::GetLastError();
    for (HWND w : more)
        EXPECT_NE(nullptr, AeroGetRecord(w));
    HWND ipField = ::FindWindowExW(more[4], nullptr, L"Edit", nullptr);
    EXPECT_NE(nullptr, AeroGetRecord(ipField)) << "the address fields are edits of their own";

    RepaintAll(dlg);
    // Work the controls as a user would.
    ::SendMessageW(d.check, BM_SETCHECK, BST_CHECKED, 0);
    ::SendMessageW(d.push, BM_SETSTATE, TRUE, 0);
    ::SendMessageW(d.push, WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
    ::SendMessageW(more[2], TBM_SETPOS, TRUE, 5);
    ::SetFocus(more[1]);
    ::SendMessageW(more[1], WM_KEYDOWN, VK_END, 0);
    EXPECT_NE(0u, AeroGetRecord(more[1])->flags & kCaretHidden) << "no caret traces on glass while typing";
    ::SendMessageW(more[1], WM_KEYUP, VK_END, 0);
    EXPECT_EQ(0u, AeroGetRecord(more[1])->flags & kCaretHidden);
    ::SendMessageW(more[0], WM_VSCROLL, SB_LINEDOWN, 0);
    RepaintAll(dlg);

    // The animation plays on glass frame by frame, and stops.
    const std::wstring clip = WriteClip();
    HWND animation = more[8];
    const UINT redraw = AeroGetRecord(dlg)->redrawMessage;
    if (::SendMessageW(animation, ACM_OPENW, 0, (LPARAM)clip.c_str())) {
        EXPECT_NE(nullptr, AeroGetRecord(animation)->player);
        ::SendMessageW(animation, ACM_PLAY, (WPARAM)-1, MAKELPARAM(0, 0xFFFF));
        MSG msg;
        EXPECT_TRUE(zr_test::PumpUntil(
            [&] { return ::PeekMessageW(&msg, animation, redraw, redraw, PM_NOREMOVE) != FALSE; }, 3000));
        zr_test::PumpPending();
        ::SendMessageW(animation, ACM_STOP, 0, 0);
        zr_test::PumpPending();
        EXPECT_FALSE(::PeekMessageW(&msg, animation, redraw, redraw, PM_NOREMOVE)) << "no frames after the stop";
        ::SendMessageW(animation, ACM_PLAY, (WPARAM)-1, MAKELPARAM(0, 0xFFFF)); // still playing when it goes
    } else {
        ADD_FAILURE() << "the animation control cannot open the test clip";
    }

    const DWORD start = ::GetTickCount();
    ::DestroyWindow(dlg);
    d.dialog = nullptr;
    EXPECT_LT(::GetTickCount() - start, 2000u) << "the frame ticker stops with its window";
    zr_test::PumpPending();
    ::DeleteFileW(clip.c_str());
}

} // namespace
