// The look layer and the coloured controls against real windows, with pixels read back from
// memory canvases; the run-time theme bindings; the product's import table.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "afxwin.h"
#include "app/colorcontrols.h"
#include "common/ui_wait.h"
#include "look/iconbutton.h"
#include "look/themeapi.h"

namespace {

// A 32-bit top-down memory canvas, magenta where nothing was drawn, whose pixels are read directly.
class Canvas {
public:
    Canvas(int width, int height) : m_width(width), m_height(height)
    {
        BITMAPINFO bmi = {};
        bmi.bmiHeader = { sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB };
        m_dc = ::CreateCompatibleDC(nullptr);
        m_bitmap = ::CreateDIBSection(m_dc, &bmi, DIB_RGB_COLORS, reinterpret_cast<void**>(&m_bits), nullptr, 0);
        m_old = ::SelectObject(m_dc, m_bitmap);
        std::fill_n(m_bits, (size_t)width * (size_t)height, 0x00FF00FFu);
    }
    ~Canvas()
    {
        ::SelectObject(m_dc, m_old);
        ::DeleteObject(m_bitmap);
        ::DeleteDC(m_dc);
    }
    HDC dc() const { return m_dc; }
    COLORREF At(int x, int y) const
    {
        ::GdiFlush();
        const uint32_t p = m_bits[(size_t)y * (size_t)m_width + (size_t)x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    // Pixels of one colour, and their bounding box.
    int Count(COLORREF c, RECT* bounds = nullptr) const
    {
        RECT r = { m_width, m_height, 0, 0 };
        int n = 0;
        for (int y = 0; y < m_height; ++y)
            for (int x = 0; x < m_width; ++x)
                if (At(x, y) == c) {
                    ++n;
                    r = { std::min<LONG>(r.left, x), std::min<LONG>(r.top, y), std::max<LONG>(r.right, x + 1),
                          std::max<LONG>(r.bottom, y + 1) };
                }
        if (bounds)
            *bounds = r;
        return n;
    }

private:
    int m_width, m_height;
    HDC m_dc;
    HBITMAP m_bitmap;
    HGDIOBJ m_old;
    uint32_t* m_bits = nullptr;
};

// An opaque 16 x 16 icon of one colour.
HICON MakeIcon(COLORREF color)
{
    Canvas pixels(16, 16);
    RECT all = { 0, 0, 16, 16 };
    ::SetBkColor(pixels.dc(), color);
    ::ExtTextOutW(pixels.dc(), 0, 0, ETO_OPAQUE, &all, L"", 0, nullptr);
    const std::vector<uint8_t> opaque(16 * 4, 0);
    HBITMAP mask = ::CreateBitmap(16, 16, 1, 1, opaque.data());
    ICONINFO info = { TRUE, 0, 0, mask, (HBITMAP)::GetCurrentObject(pixels.dc(), OBJ_BITMAP) };
    HICON icon = ::CreateIconIndirect(&info);
    ::DeleteObject(mask);
    return icon;
}

bool IconAlive(HICON icon)
{
    ICONINFO info = {};
    if (!::GetIconInfo(icon, &info))
        return false;
    ::DeleteObject(info.hbmMask);
    ::DeleteObject(info.hbmColor);
    return true;
}

class LookTest : public ::testing::Test {
protected:
    CWnd host;   // stands in for a dialog: reflects notifications to the controls' objects
    CMyBtn btn;
    static constexpr int kBtn = 101;
    static constexpr COLORREF kRed = RGB(255, 0, 0);
    static constexpr COLORREF kRedGrey = RGB(85, 85, 85);   // (255 + 0 + 0) / 3

    void SetUp() override
    {
        ZrInitCommonControls();
        ASSERT_TRUE(host.SubclassWindow(::CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 20, 20, 480, 360,
                                                          nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr)));
        ASSERT_TRUE(btn.SubclassWindow(Child(L"BUTTON", L"", BS_OWNERDRAW, 140, 32, kBtn)));
    }
    void TearDown() override
    {
        ::DestroyWindow(host.m_hWnd);
        zr_test::PumpPending();
        CWnd::DeleteTempMap();
    }
    HWND Child(LPCWSTR cls, LPCWSTR text, DWORD style, int cx, int cy, int id)
    {
        return ::CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, cx, cy, host.m_hWnd,
                                 (HMENU)(INT_PTR)id, ::GetModuleHandleW(nullptr), nullptr);
    }
    // The button drawn into a canvas of its size through the parent's WM_DRAWITEM.
    void DrawButton(Canvas& canvas)
    {
        DRAWITEMSTRUCT dis = { ODT_BUTTON, kBtn, 0, ODA_DRAWENTIRE, ODS_FOCUS, btn.m_hWnd, canvas.dc(), { 0, 0, 140, 32 } };
        host.SendMessage(WM_DRAWITEM, kBtn, (LPARAM)&dis);
    }
};

TEST_F(LookTest, IconButtonDrawsColourIconAndCaptionOrOnlyGreysWhenDisabled)
{
    btn.SetIcon(MakeIcon(kRed), 16, 16, L"  Recover  ");
    Canvas canvas(140, 32);
    DrawButton(canvas);
    RECT icon, caption;
    ASSERT_EQ(256, canvas.Count(kRed, &icon));
    EXPECT_GT(canvas.Count(::GetSysColor(COLOR_BTNTEXT), &caption), 10);
    EXPECT_GE(caption.left, icon.right + 2);   // the caption right of the icon

    btn.EnableWindow(FALSE);
    Canvas disabled(140, 32);
    DrawButton(disabled);
    EXPECT_EQ(0, disabled.Count(kRed));
    EXPECT_EQ(256, disabled.Count(kRedGrey)) << "the grey copy replaces the icon";
    EXPECT_EQ(0, disabled.Count(::GetSysColor(COLOR_BTNTEXT)));
}

TEST_F(LookTest, IconButtonOwnsAndReplacesItsIcons)
{
    HICON first = MakeIcon(kRed);
    btn.SetIcon(first, 16, 16, L"A");
    HICON firstGrey = btn.GetGrayIcon();
    btn.SetIcon(first, 16, 16, L"A");
    EXPECT_TRUE(IconAlive(first)) << "handing back the held icon keeps it";

    HICON second = MakeIcon(RGB(0, 0, 255));
    btn.SetIcon(second, 16, 16, L"B");
    EXPECT_FALSE(IconAlive(first));
    EXPECT_FALSE(IconAlive(firstGrey));
    HICON secondGrey = btn.GetGrayIcon();
    btn.SetIcon(nullptr, 16, 16, L"");
    EXPECT_FALSE(IconAlive(second));
    EXPECT_FALSE(IconAlive(secondGrey));
    EXPECT_EQ(nullptr, btn.GetGrayIcon());
}

TEST_F(LookTest, LinkFreesBrushAndFontWithItsWindowOnceAndRemakesThem)
{
    const int base = ZrGdiLiveObjects();
    {
        CMy_Link_Static link;
        EXPECT_EQ(base + 2, ZrGdiLiveObjects());
        ASSERT_TRUE(link.SubclassWindow(Child(L"STATIC", L"x", 0, 50, 20, 203)));
        ::DestroyWindow(link.m_hWnd);
        EXPECT_EQ(base, ZrGdiLiveObjects());
        // Bound again, as a dialog object run twice does: it colours its control again.
        ASSERT_TRUE(link.SubclassWindow(Child(L"STATIC", L"y", 0, 50, 20, 203)));
        Canvas dc(4, 4);
        EXPECT_NE(0, host.SendMessage(WM_CTLCOLORSTATIC, (WPARAM)dc.dc(), (LPARAM)link.m_hWnd));
    }
    EXPECT_EQ(base, ZrGdiLiveObjects());
}

TEST_F(LookTest, ColoursReachThePaintAndGdiCountStaysStableOver200Repaints)
{
    btn.SetIcon(MakeIcon(kRed), 16, 16, L"Save");
    CMy_Link_Static link;
    CColorStatic label;
    CColoredListCtrl list;
    ASSERT_TRUE(link.SubclassWindow(Child(L"STATIC", L"Visit the site", SS_NOTIFY, 300, 20, 201)));
    ASSERT_TRUE(label.SubclassWindow(Child(L"STATIC", L"Status", 0, 300, 20, 202)));
    ASSERT_TRUE(list.SubclassWindow(Child(L"SysListView32", L"", LVS_REPORT, 300, 150, 205)));
    list.InsertColumn(0, L"Name", LVCFMT_LEFT, 100);
    for (int i = 0; i < 12; ++i)
        list.InsertItem(i, L"row");
    auto print = [](CWnd& control, COLORREF c) {
        Canvas canvas(300, 20);
        control.SendMessage(WM_PRINTCLIENT, (WPARAM)canvas.dc(), PRF_CLIENT | PRF_ERASEBKGND);
        return canvas.Count(c);
    };
    link.SetLinkColor(RGB(0, 128, 0));
    EXPECT_GT(print(link, RGB(0, 128, 0)), 10);
    label.SetBkColor(RGB(10, 200, 30));
    EXPECT_GT(print(label, RGB(10, 200, 30)), 1000);
    zr_test::PumpPending();
    CWnd::DeleteTempMap();

    const int base = ZrGdiLiveObjects();
    for (int i = 0; i < 200; ++i) {
        for (CWnd* w : { (CWnd*)&btn, (CWnd*)&link, (CWnd*)&label, (CWnd*)&list })
            w->RedrawWindow();
        link.SetBkColor(RGB(250, 250, i));
        link.SetLinkColor(RGB(0, 0, i));
        label.SetBkColor(RGB(i, 2, 3));
    }
    zr_test::PumpPending();
    CWnd::DeleteTempMap();
    EXPECT_EQ(base, ZrGdiLiveObjects());
}

struct MissingDwm : DwmApi {
    MissingDwm() : DwmApi(L"zr-no-such-library.dll") {}
};
struct ExportlessDwm : DwmApi {
    ExportlessDwm() : DwmApi(L"kernel32.dll") {}
};

TEST(ThemeBindings, HarmlessWithoutLibraryOrExportOrAfterUnloading)
{
    MissingDwm missing;
    EXPECT_FALSE(missing.Load());
    EXPECT_FALSE(missing.IsCompositionEnabled());
    MARGINS m = { -1, -1, -1, -1 };
    EXPECT_EQ(ZR_E_NOT_LOADED, missing.ExtendFrameIntoClientArea(nullptr, &m));

    ExportlessDwm old;
    ASSERT_TRUE(old.Load());
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND), old.EnableComposition(0));
    UxThemeApi ux;
    EXPECT_EQ(nullptr, ux.OpenThemeData(nullptr, L"BUTTON"));

    DwmApi dwm;
    ASSERT_TRUE(dwm.Load());
    EXPECT_FALSE(dwm.Load()) << "loaded twice";
    dwm.Unload();
    EXPECT_EQ(ZR_E_NOT_LOADED, dwm.EnableComposition(0)) << "no stale export after unloading";
}

TEST(ProductImports, NeitherDwmapiNorUxtheme)
{
    wchar_t path[MAX_PATH];
    ASSERT_GT(::GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
    std::wstring exe(path);
    exe = exe.substr(0, exe.find_last_of(L"\\/"));
    exe = exe.substr(0, exe.find_last_of(L"\\/")) + L"\\ZembrolixRecovery.exe";   // the build folder
    // Mapped as an image without loading its imports: the import directory is read in place.
    HMODULE image = ::LoadLibraryExW(exe.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(nullptr, image) << "build the product exe first";
    const BYTE* base = reinterpret_cast<const BYTE*>(image);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    std::vector<std::string> dlls;
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name; ++d)
        dlls.push_back(reinterpret_cast<const char*>(base + d->Name));
    ::FreeLibrary(image);
    auto imported = [&](const char* dll) {
        return std::any_of(dlls.begin(), dlls.end(), [&](const std::string& n) { return _stricmp(n.c_str(), dll) == 0; });
    };
    EXPECT_TRUE(imported("kernel32.dll")) << "the import table was read";
    EXPECT_FALSE(imported("dwmapi.dll"));
    EXPECT_FALSE(imported("uxtheme.dll"));
}

} // namespace
