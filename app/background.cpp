#include "app/background.h"

#include "app/pure/shell_rules.h"
#include "app/startup.h"

bool DrawDialogBackground(CWnd* dialog, CDC* dc, const CRect& inner, const MARGINS& margins, DwmApi& dwm)
{
    CRect client;
    dialog->GetClientRect(&client);
    HDC hdc = dc->GetSafeHdc();
    bool glass = false;
    if (IsVistaOrLater() && g_pApp) {
        if (!dwm.IsLoaded())
            dwm.Load();
        if (g_pApp->m_nGlass == 0 && dwm.IsCompositionEnabled())
            g_pApp->m_nGlass = 1;
        if (g_pApp->m_nGlass == 1) {
            dwm.EnableComposition(1);
            if (dwm.IsCompositionEnabled()) {
                dwm.ExtendFrameIntoClientArea(dialog->GetSafeHwnd(), &margins);
                ::PatBlt(hdc, client.left, client.top, client.Width(), inner.top - client.top, BLACKNESS);
                ::PatBlt(hdc, client.left, inner.bottom, client.Width(), client.bottom - inner.bottom, BLACKNESS);
                ::PatBlt(hdc, client.left, inner.top, inner.left - client.left, inner.Height(), BLACKNESS);
                ::PatBlt(hdc, inner.right, inner.top, client.right - inner.right, inner.Height(), BLACKNESS);
                glass = true;
            } else {
                g_pApp->m_nGlass = 0;
            }
        }
    }
    if (!glass) {
        UpdateCaptionColors();
        DrawCaptionGradientFrame(client, inner, hdc);
    }
    if (glass) {
        dc->FillSolidRect(&inner, RGB(255, 255, 255));
        return true;
    }
    // Without glass the white area is set off from the gradient by a thin black line.
    const HGDIOBJ oldPen = ::SelectObject(hdc, ::GetStockObject(BLACK_PEN));
    const HGDIOBJ oldBrush = ::SelectObject(hdc, ::GetStockObject(WHITE_BRUSH));
    ::Rectangle(hdc, inner.left, inner.top, inner.right, inner.bottom);
    ::SelectObject(hdc, oldBrush);
    ::SelectObject(hdc, oldPen);
    return false;
}

void DrawGlowingText(HWND window, const CString& text, const CRect& rect, bool glass, HDC dc)
{
    const CString caption = GlowingCaption(text);
    UpdateCaptionTextColor(1);
    const COLORREF color = ::GetSysColor(COLOR_CAPTIONTEXT);
    const UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_WORD_ELLIPSIS;
    if (glass) {
        UxThemeApi theme;
        if (theme.Load()) {
            if (HTHEME data = theme.OpenThemeData(window, L"CompositedWindow::Window")) {
                HDC mem = ::CreateCompatibleDC(dc);
                BITMAPINFO bi = {};
                bi.bmiHeader = { sizeof(BITMAPINFOHEADER), rect.Width(), -rect.Height(), 1, 32, BI_RGB };
                void* bits = nullptr;
                HBITMAP dib = ::CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
                if (mem && dib) {
                    HGDIOBJ oldBitmap = ::SelectObject(mem, dib);
                    HGDIOBJ oldFont = ::SelectObject(mem, SharedGdi.FontCalibri36Medium.GetSafeHandle());
                    DTTOPTS options = { sizeof(options) };
                    options.dwFlags = DTT_TEXTCOLOR | DTT_GLOWSIZE | DTT_COMPOSITED;
                    options.crText = color;
                    options.iGlowSize = 10;
                    RECT local = { 0, 0, rect.Width(), rect.Height() };
                    theme.DrawThemeTextEx(data, mem, 0, 0, caption, -1, format, &local, &options);
                    ::BitBlt(dc, rect.left, rect.top, rect.Width(), rect.Height(), mem, 0, 0, SRCCOPY);
                    ::SelectObject(mem, oldFont);
                    ::SelectObject(mem, oldBitmap);
                }
                if (dib)
                    ::DeleteObject(dib);
                if (mem)
                    ::DeleteDC(mem);
                theme.CloseThemeData(data);
                return;
            }
        }
    }
    HGDIOBJ old = ::SelectObject(dc, SharedGdi.FontCalibri36Medium.GetSafeHandle());
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, color);
    RECT r = rect;
    ::DrawTextW(dc, caption, -1, &r, format);
    ::SelectObject(dc, old);
}
