// The pie-chart window under Wine: its legend scroll bar, selection by clicks, painting in the
// three styles, saving the picture, and its own GDI+ start-up.
#include <gtest/gtest.h>

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cmath>
#include <string>

#include "afxwin.h"
#include "common/glass_fixture.h"
#include "common/ui_wait.h"
#include "look/piechartwnd.h"

namespace {

// The application's own GDI+ start-up, as the program makes it before any dialog.
class AppGdiplus {
public:
    AppGdiplus()
    {
        Gdiplus::GdiplusStartupInput input;
        ok = Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    }
    ~AppGdiplus()
    {
        if (ok)
            Gdiplus::GdiplusShutdown(token);
    }
    ULONG_PTR token = 0;
    bool ok = false;
};

std::wstring TempPath(const wchar_t* name)
{
    wchar_t folder[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + name;
}

bool FileExists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class PieChartTest : public ::testing::Test {
protected:
    AppGdiplus gdiplus;
    HWND host = nullptr;
    CPieChartWnd chart;

    void SetUp() override
    {
        ASSERT_TRUE(gdiplus.ok);
        host = ::CreateWindowExW(0, L"#32770", L"chart", WS_POPUP | WS_VISIBLE, 20, 20, 700, 520, nullptr, nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(chart.Create(L"Found files by type", CRect(0, 0, 660, 480), CWnd::FromHandle(host), 7001));
    }
    void TearDown() override
    {
        chart.DestroyWindow();
        ::DestroyWindow(host);
        zr_test::PumpPending();
        CWnd::DeleteTempMap();
    }
    void Fill(int count)
    {
        for (int i = 0; i < count; ++i) {
            const uint32_t shade = 0xFF000000u | (uint32_t)((i * 53) % 256) << 16 | (uint32_t)((i * 97) % 256) << 8;
            ASSERT_EQ(i,
                      chart.AddSlice(1 + i % 3, shade | 0x40, shade | 0x80, shade | 0xC0,
                                     (L"type " + std::to_wstring(i)).c_str(), L"1.00 MB"));
        }
    }
    int Selected() const
    {
        for (const auto& [key, slice] : chart.Slices())
            if (slice.selected)
                return key;
        return -1;
    }
    void Click(double x, double y)
    {
        chart.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM((int)std::lround(x), (int)std::lround(y)));
    }
    std::vector<uint32_t> Paint()
    {
        chart.Invalidate(TRUE);
        return zr_test::CaptureClient(chart.GetSafeHwnd());
    }
};

TEST_F(PieChartTest, FortyLegendRowsShowTheScrollBarAndLineDownStopsAtTheLastRow)
{
    HWND bar = chart.LegendScrollBar();
    ASSERT_NE(nullptr, bar);
    Fill(3);
    EXPECT_FALSE(::IsWindowVisible(bar)) << "three rows fit";
    EXPECT_EQ(-1, chart.AddSlice(-5, 0, 0, 0, L"bad", L"")) << "no negative values";
    EXPECT_EQ(-1, chart.AddSlice(std::nan(""), 0, 0, 0, L"bad", L""));
    chart.RemoveAll();
    Fill(40);
    EXPECT_TRUE(::IsWindowVisible(bar));
    EXPECT_NEAR(
        360.0,
        [&] {
            double sum = 0;
            for (const auto& [k, s] : chart.Slices())
                sum += s.sweep;
            return sum;
        }(),
        1e-3);

    const int height = chart.LegendArea().Height();
    const int last = zr_pie::LastFirstRow(chart.LegendState(), 40, height);
    for (int i = 0; i < 60; ++i)
        chart.SendMessage(WM_VSCROLL, SB_LINEDOWN, (LPARAM)bar);
    EXPECT_EQ(last, chart.LegendState().firstVisible);
    SCROLLINFO info = { sizeof(info), SIF_ALL };
    ::GetScrollInfo(bar, SB_CTL, &info);
    EXPECT_EQ(info.nMax - (int)info.nPage + 1, info.nPos) << "the thumb at the end";
    Paint(); // the last rows drawn from there

    chart.SendMessage(WM_VSCROLL, SB_PAGEUP, (LPARAM)bar);
    EXPECT_LT(chart.LegendState().firstVisible, last);
    chart.RemoveAll();
    EXPECT_FALSE(::IsWindowVisible(bar));
    EXPECT_EQ(0, chart.LegendState().firstVisible);
    EXPECT_TRUE(chart.Slices().empty());
}

TEST_F(PieChartTest, ClicksSelectTheSliceUnderThemAndNothingInTheHoleOrOutside)
{
    Fill(4);
    Paint(); // the legend's rows settle the pie's place
    const zr_pie::Rect pie = chart.PieArea();
    const double cx = (pie.left + pie.right) / 2.0, cy = (pie.top + pie.bottom) / 2.0, r = pie.Width() / 2.0;
    auto at = [&](double angle, double radius) {
        const double a = angle * 3.14159265 / 180;
        return std::pair{ cx + std::cos(a) * radius, cy + std::sin(a) * radius };
    };
    const double middle0 = chart.Slices().at(0).sweep / 2;
    auto [x0, y0] = at(middle0, r * 0.7);
    Click(x0, y0);
    EXPECT_EQ(0, Selected());
    auto [hx, hy] = at(middle0, r * 0.1);
    Click(hx, hy);
    EXPECT_EQ(-1, Selected()) << "the ring's hole";
    Click(x0, y0);
    Click(pie.right + 40, pie.top - 40);
    EXPECT_EQ(-1, Selected()) << "a click outside clears the selection";

    chart.SetStyle(zr_pie::kFlat);
    Click(hx, hy);
    EXPECT_EQ(0, Selected()) << "the flat pie has no hole";

    // The selected slice is drawn highlighted.
    const std::vector<uint32_t> selected = Paint();
    Click(pie.right + 40, pie.top - 40);
    EXPECT_GT(zr_test::DifferingPixels(selected, Paint()), 100);
}

TEST_F(PieChartTest, TheThreeDimensionalPieDrawsAndHitsAnyNumberOfSlices)
{
    chart.SetStyle(zr_pie::k3D);
    chart.SetTilt(50);
    const std::vector<uint32_t> empty = Paint();
    EXPECT_EQ(-1, chart.FrontSliceKey()) << "no pie for no slices";

    chart.AddSlice(7, 0xFF2040C0, 0xFF6080FF, 0xFF103080, L"only", L"7 B");
    const std::vector<uint32_t> one = Paint();
    EXPECT_EQ(0, chart.FrontSliceKey());
    EXPECT_EQ(0, chart.BackSliceKey());
    EXPECT_GT(zr_test::DifferingPixels(empty, one), 1000);

    chart.RemoveAll();
    Fill(12);
    Paint();
    const zr_pie::Rect pie = chart.PieArea();
    const double cx = (pie.left + pie.right) / 2.0, cy = (pie.top + pie.bottom) / 2.0;
    Click(cx, zr_pie::Geometry3D(pie, 50, 0.5).top.bottom + 3); // the front of the rim
    EXPECT_EQ(chart.FrontSliceKey(), Selected());
    Click(pie.left - 20, pie.top - 20);
    EXPECT_EQ(-1, Selected());

    chart.SetStyle(7); // no such style: nothing is drawn, nothing is hit
    Click(cx, cy);
    EXPECT_EQ(-1, Selected());
    Paint();
}

TEST_F(PieChartTest, SavingWritesADecodablePictureOnlyForAKnownFormat)
{
    Fill(5);
    const std::wstring png = TempPath(L"zr chart test.png");
    const std::wstring jpeg = TempPath(L"zr.chart.test.JPG");
    const std::wstring unknown = TempPath(L"zr chart test.xyz");
    for (const std::wstring& p : { png, jpeg, unknown })
        ::DeleteFileW(p.c_str());

    chart.SaveImage(png.c_str());
    Paint();
    ASSERT_TRUE(FileExists(png));
    {
        Gdiplus::Bitmap decoded(png.c_str());
        ASSERT_EQ(Gdiplus::Ok, decoded.GetLastStatus());
        RECT client;
        chart.GetClientRect(&client);
        EXPECT_EQ((UINT)client.right, decoded.GetWidth());
        EXPECT_EQ((UINT)client.bottom, decoded.GetHeight());
        GUID format;
        decoded.GetRawFormat(&format);
        EXPECT_TRUE(format == Gdiplus::ImageFormatPNG);
    }
    chart.SaveImage(jpeg.c_str());
    Paint();
    {
        Gdiplus::Bitmap decoded(jpeg.c_str());
        GUID format;
        decoded.GetRawFormat(&format);
        EXPECT_TRUE(format == Gdiplus::ImageFormatJPEG) << "jpg is saved as jpeg";
    }
    chart.SaveImage(unknown.c_str());
    Paint();
    EXPECT_FALSE(FileExists(unknown));

    // The request is cleared by the paint that saved: the next paint writes nothing.
    ::DeleteFileW(png.c_str());
    Paint();
    EXPECT_FALSE(FileExists(png));
    for (const std::wstring& p : { png, jpeg, unknown })
        ::DeleteFileW(p.c_str());
}

TEST(PieChartLifetime, TheChartShutsDownOnlyItsOwnGdiplus)
{
    AppGdiplus app;
    ASSERT_TRUE(app.ok);
    for (int i = 0; i < 3; ++i) {
        CPieChartWnd chart;
        HWND host = ::CreateWindowExW(0, L"#32770", L"", WS_POPUP, 0, 0, 300, 300, nullptr, nullptr,
                                      ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(chart.Create(L"t", CRect(0, 0, 280, 280), CWnd::FromHandle(host), 1));
        chart.AddSlice(1, 0xFF000000, 0xFF000000, 0xFF000000, L"a", L"");
        chart.UpdateWindow();
        ::DestroyWindow(host);
        CWnd::DeleteTempMap();
    }
    {
        CPieChartWnd neverShown; // as the search dialogs hold one
        EXPECT_EQ(1, neverShown.RemoveAll());
    }
    Gdiplus::Bitmap still(8, 8, PixelFormat32bppARGB);
    EXPECT_EQ(Gdiplus::Ok, still.GetLastStatus()) << "the application's GDI+ is still up";
}

} // namespace
