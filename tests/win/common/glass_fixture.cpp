#include "glass_fixture.h"

#include <commctrl.h>

#include <algorithm>

#include "afxwin.h"
#include "ui_wait.h"

namespace zr_test {

std::vector<HWND> GlassDialog::All() const
{
    return { text, push, check, group, list, header, combo, comboEdit, panel, nested, longName };
}

HWND MakeChild(HWND parent, LPCWSTR cls, LPCWSTR text, DWORD style, int x, int y, int cx, int cy, int id)
{
    return ::CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, cx, cy, parent, (HMENU)(INT_PTR)id,
                             ::GetModuleHandleW(nullptr), nullptr);
}

GlassDialog MakeGlassDialog(int x, int y)
{
    ZrInitCommonControls();
    const LPCWSTR panelClass = CWnd::RegisterClassOnce(L"ZrGlassTestPanel");
    // One character longer than the longest class name the layer knows.
    const LPCWSTR longClass = CWnd::RegisterClassOnce(L"msctls_trackbar32x");

    GlassDialog d;
    d.dialog = ::CreateWindowExW(0, L"#32770", L"glass", WS_POPUP | WS_VISIBLE | WS_CAPTION, x, y, 460, 320, nullptr,
                                 nullptr, ::GetModuleHandleW(nullptr), nullptr);
    d.text = MakeChild(d.dialog, L"Static", L"Need help? Contact us.", SS_LEFT, 10, 10, 200, 20, 1289);
    d.push = MakeChild(d.dialog, L"Button", L"Go", BS_PUSHBUTTON, 220, 10, 80, 24, 11);
    d.check = MakeChild(d.dialog, L"Button", L"Tick", BS_AUTOCHECKBOX, 310, 10, 80, 24, 12);
    d.group = MakeChild(d.dialog, L"Button", L"Group", BS_GROUPBOX, 10, 40, 200, 60, 13);
    d.list = MakeChild(d.dialog, L"SysListView32", L"", LVS_REPORT, 10, 110, 200, 100, 14);
    LVCOLUMNW column = { LVCF_TEXT | LVCF_WIDTH, 0, 120, const_cast<LPWSTR>(L"Name") };
    ::SendMessageW(d.list, LVM_INSERTCOLUMNW, 0, (LPARAM)&column);
    d.header = (HWND)::SendMessageW(d.list, LVM_GETHEADER, 0, 0);
    d.combo = MakeChild(d.dialog, L"ComboBox", L"", CBS_DROPDOWN, 220, 110, 120, 200, 15);
    d.comboEdit = ::FindWindowExW(d.combo, nullptr, L"Edit", nullptr);
    d.panel = MakeChild(d.dialog, panelClass, L"", 0, 220, 150, 200, 60, 16);
    d.nested = MakeChild(d.panel, L"Static", L"inner", SS_LEFT, 5, 5, 100, 20, 17);
    d.longName = MakeChild(d.dialog, longClass, L"", 0, 220, 220, 100, 20, 18);
    PumpPending();
    return d;
}

WNDPROC ProcOf(HWND window)
{
    return reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(window, GWLP_WNDPROC));
}

std::vector<uint32_t> CaptureClient(HWND window)
{
    ::RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    PumpPending();
    RECT r;
    ::GetClientRect(window, &r);
    const int w = r.right, h = r.bottom;
    std::vector<uint32_t> pixels((size_t)w * h);
    if (w <= 0 || h <= 0)
        return pixels;
    HDC source = ::GetDC(window);
    HDC memory = ::CreateCompatibleDC(source);
    BITMAPINFO bi = {};
    bi.bmiHeader = { sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB };
    void* bits = nullptr;
    HBITMAP dib = ::CreateDIBSection(memory, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(memory, dib);
    ::BitBlt(memory, 0, 0, w, h, source, 0, 0, SRCCOPY);
    ::GdiFlush();
    const uint32_t* p = static_cast<const uint32_t*>(bits);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = p[i] & 0x00FFFFFFu;
    ::SelectObject(memory, old);
    ::DeleteObject(dib);
    ::DeleteDC(memory);
    ::ReleaseDC(window, source);
    return pixels;
}

int DifferingPixels(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
    if (a.size() != b.size())
        return (int)std::max(a.size(), b.size());
    int differing = 0;
    for (size_t i = 0; i < a.size(); ++i)
        differing += a[i] != b[i];
    return differing;
}

} // namespace zr_test
