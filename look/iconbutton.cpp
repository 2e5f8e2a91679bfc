#include "look/iconbutton.h"

#include <cstdlib>
#include <vector>

#include "look/pure/iconlook.h"

// Icons larger than this are not mapped: the buttons use small icons, and the bound keeps a bad
// bitmap header from asking for a huge buffer.
static const int kMaxMappedIconSide = 256;

HICON CreateMappedIcon(HICON icon, const COLORREF* table)
{
    if (!icon || !table)
        return nullptr;
    HDC screen = ::GetDC(nullptr);
    ICONINFO info = {};
    if (!::GetIconInfo(icon, &info)) {
        ::ReleaseDC(nullptr, screen);
        return nullptr;
    }
    HICON result = nullptr;
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    if (info.hbmColor && ::GetDIBits(screen, info.hbmColor, 0, 0, nullptr, &bmi, DIB_RGB_COLORS)) {
        const int width = bmi.bmiHeader.biWidth;
        const int height = std::abs(bmi.bmiHeader.biHeight);
        if (width > 0 && height > 0 && width <= kMaxMappedIconSide && height <= kMaxMappedIconSide) {
            bmi.bmiHeader.biHeight = height; // bottom-up, as the colour bitmap is read back
            bmi.bmiHeader.biPlanes = 1;
            bmi.bmiHeader.biBitCount = 32;
            bmi.bmiHeader.biCompression = BI_RGB;
            bmi.bmiHeader.biSizeImage = (DWORD)(width * height * 4);
            bmi.bmiHeader.biClrUsed = 0;
            bmi.bmiHeader.biClrImportant = 0;
            std::vector<uint32_t> pixels((size_t)width * (size_t)height);
            if (::GetDIBits(screen, info.hbmColor, 0, (UINT)height, pixels.data(), &bmi, DIB_RGB_COLORS) == height) {
                uint32_t map[256];
                for (int i = 0; i < 256; ++i)
                    map[i] = table[i];
                zr_look::MapPixelsByLuminance(pixels.data(), pixels.size(), map);
                // A 32-bit DIB section keeps the alpha channel that a screen-format bitmap may drop.
                void* bits = nullptr;
                HBITMAP color = ::CreateDIBSection(screen, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
                if (color &&
                    ::SetDIBits(screen, color, 0, (UINT)height, pixels.data(), &bmi, DIB_RGB_COLORS) == height) {
                    ICONINFO made = {};
                    made.fIcon = TRUE;
                    made.hbmMask = info.hbmMask;
                    made.hbmColor = color;
                    result = ::CreateIconIndirect(&made);
                }
                if (color)
                    ::DeleteObject(color);
            }
        }
    }
    if (info.hbmMask)
        ::DeleteObject(info.hbmMask);
    if (info.hbmColor)
        ::DeleteObject(info.hbmColor);
    ::ReleaseDC(nullptr, screen);
    return result;
}

HICON CreateGrayscaleIcon(HICON icon)
{
    if (!icon)
        return nullptr;
    // Built once, on the first call; a function-local static is initialised safely.
    static const struct GreyTable {
        COLORREF entries[256];
        GreyTable()
        {
            uint32_t t[256];
            zr_look::BuildGreyTable(t);
            for (int i = 0; i < 256; ++i)
                entries[i] = t[i];
        }
    } grey;
    return CreateMappedIcon(icon, grey.entries);
}

// CMyBtn

BEGIN_MESSAGE_MAP(CMyBtn, CButton)
    ON_NOTIFY_REFLECT(NM_CUSTOMDRAW, &CMyBtn::OnCustomDraw)
END_MESSAGE_MAP()

CMyBtn::~CMyBtn()
{
    if (m_hIcon)
        ::DestroyIcon(m_hIcon);
    if (m_hGrayIcon)
        ::DestroyIcon(m_hGrayIcon);
}

void CMyBtn::SetIcon(HICON icon, int width, int height, const CString& caption)
{
    if (m_hIcon && m_hIcon != icon)
        ::DestroyIcon(m_hIcon);
    m_hIcon = icon;
    if (m_hGrayIcon) {
        ::DestroyIcon(m_hGrayIcon);
        m_hGrayIcon = nullptr;
    }
    if (icon)
        m_hGrayIcon = CreateGrayscaleIcon(icon);
    m_nIconWidth = width;
    m_nIconHeight = height;
    m_strCaption = caption;
    ZrRedrawNow(*this);
}

void CMyBtn::DrawContent(HDC hdc, const RECT& rect)
{
    zr_msg::TempDC dc(hdc);
    const std::wstring caption = zr_look::TrimCaption(std::wstring(m_strCaption.GetString()));
    HICON icon = m_hIcon;
    zr_look::IconButtonLayout layout;
    if (!caption.empty()) {
        CSize extent = dc.GetTextExtent(caption.c_str(), (int)caption.size());
        layout =
            zr_look::LayoutIconButton(rect.right, rect.bottom, m_nIconWidth, m_nIconHeight, true, extent.cx, extent.cy);
        dc.SetBkMode(TRANSPARENT);
        COLORREF text = ::GetSysColor(COLOR_BTNTEXT);
        if (GetStyle() & WS_DISABLED) {
            text = RGB(100, 100, 100);
            if (m_hGrayIcon)
                icon = m_hGrayIcon;
        }
        dc.SetTextColor(text);
        dc.TextOut(layout.textX, layout.textY, caption.c_str(), (int)caption.size());
    } else {
        layout = zr_look::LayoutIconButton(rect.right, rect.bottom, m_nIconWidth, m_nIconHeight, false, 0, 0);
    }
    if (icon)
        dc.DrawIconEx(layout.iconX, layout.iconY, icon, 0, 0, 0, nullptr, DI_NORMAL | DI_COMPAT);
}

void CMyBtn::OnCustomDraw(NMHDR* header, LRESULT* result)
{
    NMCUSTOMDRAW* cd = reinterpret_cast<NMCUSTOMDRAW*>(header);
    DrawContent(cd->hdc, cd->rc);
    *result = CDRF_DODEFAULT;
}

void CMyBtn::DrawItem(LPDRAWITEMSTRUCT dis)
{
    RECT frame = dis->rcItem;
    UINT state = DFCS_BUTTONPUSH;
    if (dis->itemState & ODS_SELECTED)
        state |= DFCS_PUSHED;
    ::DrawFrameControl(dis->hDC, &frame, DFC_BUTTON, state);
    if (dis->itemState & ODS_FOCUS) {
        RECT focus = dis->rcItem;
        ::InflateRect(&focus, -4, -4);
        ::DrawFocusRect(dis->hDC, &focus);
    }
    DrawContent(dis->hDC, dis->rcItem);
}

// CMy_Link_Static

BEGIN_MESSAGE_MAP(CMy_Link_Static, CStatic)
    ON_WM_CTLCOLOR_REFLECT()
    ON_MESSAGE(WM_SETFONT, &CMy_Link_Static::OnSetFont)
    ON_WM_DESTROY()
    ON_WM_SETCURSOR()
END_MESSAGE_MAP()

CMy_Link_Static::CMy_Link_Static()
{
    CreateGdiObjects();
}

void CMy_Link_Static::CreateGdiObjects()
{
    m_colors.EnsureBrush();
    if (!m_font.GetSafeHandle())
        m_font.CreateFont(13, 0, 0, 0, 0, FALSE, FALSE, FALSE, 0, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                          DEFAULT_QUALITY, FF_SWISS, L"Verdana");
}

void CMy_Link_Static::PreSubclassWindow()
{
    // A dialog object may run its window more than once; WM_DESTROY freed the objects last time.
    CreateGdiObjects();
    CStatic::PreSubclassWindow();
}

void CMy_Link_Static::SetLinkColor(COLORREF color)
{
    m_colors.SetText(color);
    ZrRedrawNow(*this);
}

void CMy_Link_Static::SetBkColor(COLORREF color)
{
    m_colors.SetBackground(color);
    ZrRedrawNow(*this);
}

HBRUSH CMy_Link_Static::CtlColor(CDC* dc, UINT)
{
    return m_colors.Apply(dc);
}

LRESULT CMy_Link_Static::OnSetFont(WPARAM, LPARAM)
{
    LRESULT r = Default();
    CRect wr;
    GetWindowRect(&wr);
    WINDOWPOS pos = {};
    pos.hwnd = m_hWnd;
    pos.cx = wr.Width();
    pos.cy = wr.Height();
    pos.flags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER;
    SendMessage(WM_WINDOWPOSCHANGED, 0, (LPARAM)&pos);
    return r;
}

void CMy_Link_Static::OnDestroy()
{
    Default();
    m_colors.FreeBrush();
    m_font.DeleteObject();
}

BOOL CMy_Link_Static::OnSetCursor(CWnd*, UINT, UINT)
{
    CString text;
    GetWindowText(text);
    CSize extent;
    {
        CClientDC dc(this);
        HGDIOBJ font = (HGDIOBJ)SendMessage(WM_GETFONT, 0, 0);
        HGDIOBJ old = dc.SelectObject(font);
        extent = dc.GetTextExtent(text);
        if (old)
            dc.SelectObject(old);
    }
    CRect hot;
    GetClientRect(&hot);
    if (hot.Width() > extent.cx)
        hot.right = hot.left + extent.cx;
    POINT pt;
    ::GetCursorPos(&pt);
    ScreenToClient(&pt);
    if (hot.PtInRect(pt)) {
        ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
    }
    CRect wr;
    GetWindowRect(&wr);
    if (CWnd* parent = GetParent())
        parent->ScreenToClient(&wr);
    MoveWindow(wr.left, wr.top, extent.cx, wr.Height(), TRUE);
    return (BOOL)Default();
}
