// The look layer and the coloured controls against real windows (icon ownership, GDI balance),
// the run-time theme bindings, and the product's import table.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "afxwin.h"
#include "app/colorcontrols.h"
#include "common/ui_wait.h"
#include "look/iconbutton.h"
#include "look/themeapi.h"

namespace {

// A 32-bit memory canvas to draw icons and controls into.
class Canvas {
public:
    Canvas(int width, int height)
    {
        BITMAPINFO bmi = {};
        bmi.bmiHeader = { sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB };
        m_dc = ::CreateCompatibleDC(nullptr);
        void* bits = nullptr;
        m_bitmap = ::CreateDIBSection(m_dc, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
        m_old = ::SelectObject(m_dc, m_bitmap);
    }
    ~Canvas()
    {
        ::SelectObject(m_dc, m_old);
        ::DeleteObject(m_bitmap);
        ::DeleteDC(m_dc);
    }
    HDC dc() const { return m_dc; }

private:
    HDC m_dc;
    HBITMAP m_bitmap;
    HGDIOBJ m_old;
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
    CWnd host; // stands in for a dialog: reflects notifications to the controls' objects
    CMyBtn btn;
    static constexpr COLORREF kRed = RGB(255, 0, 0);

    void SetUp() override
    {
        ZrInitCommonControls();
        ASSERT_TRUE(host.SubclassWindow(::CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 20, 20, 480, 360,
                                                          nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr)));
        ASSERT_TRUE(btn.SubclassWindow(Child(L"BUTTON", L"", BS_OWNERDRAW, 140, 32, 101)));
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
};

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

// Plain repaints are counted on the Basic Search dialog itself; here the colours change each time.
TEST_F(LookTest, GdiCountStaysStableOver200RepaintsWithChangingColours)
{
    CMy_Link_Static link;
    CColorStatic label;
    ASSERT_TRUE(link.SubclassWindow(Child(L"STATIC", L"Visit the site", SS_NOTIFY, 300, 20, 201)));
    ASSERT_TRUE(label.SubclassWindow(Child(L"STATIC", L"Status", 0, 300, 20, 202)));
    zr_test::PumpPending();
    CWnd::DeleteTempMap();

    const int base = ZrGdiLiveObjects();
    for (int i = 0; i < 200; ++i) {
        link.RedrawWindow();
        label.RedrawWindow();
        link.SetBkColor(RGB(250, 250, i));
        link.SetLinkColor(RGB(0, 0, i));
        label.SetBkColor(RGB(i, 2, 3));
    }
    zr_test::PumpPending();
    CWnd::DeleteTempMap();
    EXPECT_EQ(base, ZrGdiLiveObjects());
}

// The bindings pointed at a library that is missing, or one without the exports.
struct NamedDwm : DwmApi {
    explicit NamedDwm(const wchar_t* library) : DwmApi(library) { }
};

TEST(ThemeBindings, HarmlessWithoutLibraryOrExportOrAfterUnloading)
{
    NamedDwm missing(L"zr-no-such-library.dll");
    EXPECT_FALSE(missing.Load());
    ::SetLastError(0);
    EXPECT_FALSE(missing.IsCompositionEnabled());
    EXPECT_EQ((DWORD)ZR_E_NOT_LOADED, ::GetLastError());
    MARGINS m = { -1, -1, -1, -1 };
    EXPECT_EQ(ZR_E_NOT_LOADED, missing.ExtendFrameIntoClientArea(nullptr, &m));

    NamedDwm old(L"kernel32.dll");
    ASSERT_TRUE(old.Load());
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND), old.EnableComposition(0));
    UxThemeApi ux;
    EXPECT_EQ(nullptr, ux.OpenThemeData(nullptr, L"BUTTON"));
    EXPECT_EQ((DWORD)ZR_E_NOT_LOADED, ::GetLastError());
    EXPECT_FALSE(ux.GetTextGlowSize(nullptr));
    EXPECT_EQ((DWORD)ERROR_INVALID_PARAMETER, ::GetLastError());

    DwmApi dwm;
    ASSERT_TRUE(dwm.Load());
    EXPECT_FALSE(dwm.Load()) << "loaded twice";
    EXPECT_EQ((DWORD)ERROR_ALREADY_INITIALIZED, ::GetLastError());
    dwm.Unload();
    EXPECT_EQ(ZR_E_NOT_LOADED, dwm.EnableComposition(0)) << "no stale export after unloading";
}

TEST(ProductImports, NeitherDwmapiNorUxtheme)
{
    wchar_t path[MAX_PATH];
    ASSERT_GT(::GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
    std::wstring exe(path);
    exe = exe.substr(0, exe.find_last_of(L"\\/"));
    exe = exe.substr(0, exe.find_last_of(L"\\/")) + L"\\ZembrolixRecovery.exe"; // the build folder
    // Mapped as an image without loading its imports: the import directory is read in place.
    HMODULE image = ::LoadLibraryExW(exe.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(nullptr, image) << "build the product exe first";
    const BYTE* base = reinterpret_cast<const BYTE*>(image);
    const auto* nt =
        reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    std::vector<std::string> dlls;
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name; ++d)
        dlls.push_back(reinterpret_cast<const char*>(base + d->Name));
    ::FreeLibrary(image);
    auto imported = [&](const char* dll) {
        return std::any_of(dlls.begin(), dlls.end(),
                           [&](const std::string& n) { return _stricmp(n.c_str(), dll) == 0; });
    };
    EXPECT_TRUE(imported("kernel32.dll")) << "the import table was read";
    EXPECT_FALSE(imported("dwmapi.dll"));
    EXPECT_FALSE(imported("uxtheme.dll"));
}

} // namespace
