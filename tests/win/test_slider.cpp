// The range slider as a dialog template makes it, driven by mouse and keys, with the parent
// reading the range back on every RANGE_CHANGED.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <vector>

#include "afxwin.h"
#include "look/rangeslider.h"

namespace {

using zr_slider::kBand;
using zr_slider::kLeft;
using zr_slider::kRight;

// Reads the range on every notification, as the search dialogs do.
class SliderHost : public CWnd {
public:
    CRangeSlider* slider = nullptr;
    std::vector<int> codes;
    int64_t left = -1, right = -1;

    LRESULT OnRangeChanged(WPARAM wParam, LPARAM)
    {
        codes.push_back((int)wParam);
        slider->GetRange(left, right);
        return 0;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(SliderHost, CWnd)
    ON_REGISTERED_MESSAGE(RANGE_CHANGED, &SliderHost::OnRangeChanged)
END_MESSAGE_MAP()

constexpr int kWidth = 200, kHeight = 20; // handles 15 wide, a track of 170 pixels

class SliderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        host.slider = &slider;
        LPCWSTR cls = CWnd::RegisterClassOnce(L"ZrSliderTestHost", CS_DBLCLKS, nullptr, (HBRUSH)(COLOR_WINDOW + 1));
        ASSERT_TRUE(host.CreateEx(0, cls, L"Slider host", WS_POPUP | WS_VISIBLE, 20, 20, 260, 60, nullptr, nullptr));
        // Not yet visible: it is not painted before the test says so.
        HWND h = ::CreateWindowExW(0, CRangeSlider::kClassName, L"", WS_CHILD | WS_TABSTOP, 10, 10, kWidth, kHeight,
                                   host.m_hWnd, (HMENU)1008, ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(h);
        ASSERT_TRUE(slider.SubclassWindow(h));
        slider.SetMinMax(0, 1000);
        slider.SetRange(200, 400);
        host.codes.clear();
    }
    void TearDown() override
    {
        if (host.m_hWnd)
            host.DestroyWindow();
    }

    zr_slider::Layout Layout() const { return zr_slider::ComputeLayout(slider.Values(), kWidth, kHeight); }
    static int Centre(const zr_slider::Rect& r) { return (r.left + r.right) / 2; }
    void Mouse(UINT message, int x)
    {
        slider.SendMessage(message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(x, 10));
    }
    void Drag(int fromX, int toX)
    {
        Mouse(WM_LBUTTONDOWN, fromX);
        for (int step = 1; step <= 4; ++step)
            Mouse(WM_MOUSEMOVE, fromX + (toX - fromX) * step / 4);
        Mouse(WM_LBUTTONUP, toX);
    }
    void Key(UINT key, bool shift, bool ctrl = false)
    {
        BYTE keys[256] = {};
        ::GetKeyboardState(keys);
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        keys[VK_CONTROL] = ctrl ? 0x80 : 0;
        ::SetKeyboardState(keys);
        slider.SendMessage(WM_KEYDOWN, key, 1);
        keys[VK_SHIFT] = keys[VK_CONTROL] = 0;
        ::SetKeyboardState(keys);
    }
    void ExpectRange(double left, double right)
    {
        EXPECT_EQ(left, slider.Values().left);
        EXPECT_EQ(right, slider.Values().right);
    }

    CRangeSlider slider;
    SliderHost host;
};

TEST_F(SliderTest, DraggingEachPartReportsItAndNeverReversesTheRange)
{
    // The left handle pushed past the right one stops on it.
    Drag(Centre(Layout().leftHit), 195);
    ExpectRange(400, 400);
    EXPECT_FALSE(slider.IsTracking());
    EXPECT_EQ(std::vector<int>(4, kLeft), host.codes);
    EXPECT_EQ(400, host.left);

    // The right handle pulled past the left one stops on it too.
    slider.SetRange(200, 400);
    host.codes.clear();
    Drag(Centre(Layout().rightHit), 0);
    ExpectRange(200, 200);
    EXPECT_EQ(kRight, host.codes.front());
    EXPECT_EQ(kLeft, host.codes.back());

    // The band dragged against a bound keeps its width (the pure tests hold every mix of drags
    // and keys, empty ranges included, inside the bounds).
    slider.SetRange(200, 400);
    host.codes.clear();
    const int band = (Layout().leftHit.right + Layout().rightHit.left) / 2;
    Drag(band, -100);
    ExpectRange(0, 200);
    EXPECT_EQ(std::vector<int>(4, kBand), host.codes);
    EXPECT_EQ(200, host.right);

    // A press on the bare track starts nothing but takes the focus.
    slider.SetRange(200, 400);
    host.codes.clear();
    Drag(3, 100);
    EXPECT_EQ(slider.m_hWnd, ::GetFocus());
    EXPECT_TRUE(host.codes.empty());
}

TEST_F(SliderTest, KeysReportTheirKindAndWorkBeforeTheFirstPaint)
{
    // Never painted: keys and presses work from the current size.
    ASSERT_FALSE(slider.IsWindowVisible());
    Key(VK_RIGHT, false);
    Key(VK_RIGHT, false, true); // with Ctrl: ignored, not reported
    Key(VK_LEFT, true);
    EXPECT_EQ((std::vector<int>{ kBand, kLeft }), host.codes);
    EXPECT_GT(slider.Values().left, 200);
    // At the lower bound a left step moves nothing, and is told all the same.
    const auto before = slider.Values();
    slider.SetRange(0, 400);
    host.codes.clear();
    Key(VK_LEFT, false);
    EXPECT_EQ(std::vector<int>{ kBand }, host.codes);
    EXPECT_EQ(0, slider.Values().left);
    EXPECT_EQ(0, host.left);
    // Shift+Left with both ends on one step takes the right end a step below the left one.
    slider.SetRange(400, 400);
    host.codes.clear();
    Key(VK_LEFT, true);
    EXPECT_EQ(std::vector<int>{ kLeft }, host.codes);
    EXPECT_EQ(400, host.left);
    EXPECT_LT(host.right, 400);
    slider.SetRange(before.left, before.right);
    Drag(Centre(Layout().rightHit), Centre(Layout().rightHit) + 40);
    EXPECT_GT(slider.Values().right, 400);
}

TEST_F(SliderTest, PaintsWithoutLeaking)
{
    slider.ShowWindow(SW_SHOW);
    slider.UpdateWindow();
    const int gdi = ZrGdiLiveObjects();
    for (int i = 0; i < 20; ++i) {
        slider.SetRange(100 + i * 10, 700);
        slider.UpdateWindow();
    }
    EXPECT_EQ(gdi, ZrGdiLiveObjects());
    slider.SetMinMax(7, 7); // every search dialog's first state
    slider.UpdateWindow();
    EXPECT_EQ(gdi, ZrGdiLiveObjects());
}

} // namespace
