// The window procedures the glass layer installs on controls, and the painting they share. Each
// lets the control's own procedure do everything but painting (and its teardown); with
// composition on it paints the control through a buffered paint whose alpha it makes opaque, so
// that the control stays readable on glass.
#include "look/glassprocs.h"

#include <algorithm>
#include <initializer_list>
#include <vector>

#include <commctrl.h>
#include <objidl.h>
#include <gdiplus.h>
#include <vssym32.h>

using namespace zr_glass_impl;

// The pure rules repeat these values; they must agree with the system's.
static_assert(zr_glass::kSelfPainted == 1 && SS_ICON == 3 && SS_BITMAP == 14 && SS_CENTERIMAGE == 0x200);
static_assert(DT_WORD_ELLIPSIS == 0x40000 && DT_MODIFYSTRING == 0x10000 && WS_EX_RIGHT == 0x1000);
static_assert(BP_PUSHBUTTON == 1 && BP_RADIOBUTTON == 2 && BP_CHECKBOX == 3 && PBS_DEFAULTED == 5);
static_assert(CBS_MIXEDNORMAL == 9 && RBS_CHECKEDNORMAL == 5 && BS_OWNERDRAW == 11 && BS_GROUPBOX == 7);

namespace {

constexpr DWORD kPrintEverything = PRF_CHECKVISIBLE | PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND;
constexpr int kTextGlowSize = 12;

// GDI+ drawing on a DC; every object is released at the end of the scope.
void OutlineArgb(HDC dc, const RECT& r, uint32_t argb, Gdiplus::DashStyle dash = Gdiplus::DashStyleSolid)
{
    Gdiplus::Graphics g(dc);
    Gdiplus::Pen pen(Gdiplus::Color(argb), 1.0f);
    pen.SetDashStyle(dash);
    const zr_glass::OutlineBox box = zr_glass::OutlineOf(r.left, r.top, r.right, r.bottom);
    g.DrawRectangle(&pen, box.x, box.y, box.width, box.height);
}

void FillArgb(HDC dc, const RECT& r, uint32_t argb)
{
    Gdiplus::Graphics g(dc);
    Gdiplus::SolidBrush brush{ Gdiplus::Color(argb) };
    const zr_glass::OutlineBox box = zr_glass::OutlineOf(r.left, r.top, r.right, r.bottom);
    g.FillRectangle(&brush, box.x, box.y, box.width, box.height);
}

// A theme class opened for a window (or none), closed when it goes.
class Theme {
public:
    Theme(const UxThemeApi* uxTheme, HWND window, LPCWSTR classList) : m_uxTheme(uxTheme)
    {
        if (m_uxTheme)
            m_theme = m_uxTheme->OpenThemeData(window, classList);
    }
    ~Theme()
    {
        if (m_theme)
            m_uxTheme->CloseThemeData(m_theme);
    }
    Theme(const Theme&) = delete;
    Theme& operator=(const Theme&) = delete;
    HTHEME get() const { return m_theme; }
    explicit operator bool() const { return m_theme != nullptr; }

private:
    const UxThemeApi* m_uxTheme;
    HTHEME m_theme = nullptr;
};

// Selects a control's font (when it has one) into a DC while alive.
class ControlFont {
public:
    ControlFont(HWND control, HDC dc) : m_dc(dc)
    {
        if (HFONT font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)))
            m_old = ::SelectObject(dc, font);
    }
    ~ControlFont()
    {
        if (m_old)
            ::SelectObject(m_dc, m_old);
    }
    ControlFont(const ControlFont&) = delete;
    ControlFont& operator=(const ControlFont&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_old = nullptr;
};

// Text drawn with a glow, composited onto glass.
DTTOPTS GlowOptions(const UxThemeApi* uxTheme)
{
    DTTOPTS options = { sizeof(options) };
    options.dwFlags = DTT_COMPOSITED | DTT_GLOWSIZE;
    options.iGlowSize = kTextGlowSize;
    uxTheme->GetTextGlowSize(&options.iGlowSize, L"CompositedWindow::Window");
    return options;
}

std::vector<wchar_t> WindowText(HWND window)
{
    const int length = std::max(0, ::GetWindowTextLengthW(window));
    // Room for the ellipsis that DT_MODIFYSTRING may write into the text.
    std::vector<wchar_t> text((size_t)length + 5, L'\0');
    ::GetWindowTextW(window, text.data(), length + 1);
    return text;
}

bool ClientEdged(HWND control)
{
    return (::GetWindowLongW(control, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0;
}

// The border of a sunken control, drawn on its parent round its window rectangle in the theme's
// edit-border colour (black without a theme).
void DrawClientEdgeOutline(HWND control, const AeroSubclassRecord* record)
{
    if (!ClientEdged(control) || !record->uxTheme)
        return;
    uint32_t argb = 0xFF000000u;
    {
        Theme theme(record->uxTheme, control, L"Edit");
        COLORREF color = 0;
        if (theme &&
            SUCCEEDED(record->uxTheme->GetThemeColor(theme.get(), EP_BACKGROUNDWITHBORDER, EBWBS_NORMAL,
                                                     TMT_BORDERCOLOR, &color)))
            argb = zr_glass::ArgbFromColorRef(color);
    }
    HWND parent = ::GetParent(control);
    RECT r;
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    if (HDC dc = ::GetDC(parent)) {
        OutlineArgb(dc, r, argb);
        ::ReleaseDC(parent, dc);
    }
}

void PaintWith(HWND window, AeroSubclassRecord* record, void (*paint)(HWND, AeroSubclassRecord*, HDC, const RECT&))
{
    PAINTSTRUCT ps;
    if (HDC dc = ::BeginPaint(window, &ps))
        paint(window, record, dc, ps.rcPaint);
    ::EndPaint(window, &ps);
}

void PaintOnGlass(HWND window, AeroSubclassRecord*, HDC dc, const RECT& area)
{
    PaintControlOnGlass(window, dc, &area, FALSE);
}

// The four corner pixels of a progress bar are clear glass, as its rounded theme frame wants.
void PaintProgress(HWND window, AeroSubclassRecord* record, HDC dc, const RECT&)
{
    RECT client;
    ::GetClientRect(window, &client);
    GlassBuffer buffer(record->uxTheme, dc, client);
    if (!buffer.dc())
        return;
    ::PatBlt(buffer.dc(), 0, 0, client.right, client.bottom, WHITENESS);
    ::SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(buffer.dc()), kPrintEverything);
    buffer.SetOpaque();
    for (const POINT corner : { POINT{ 0, 0 }, POINT{ client.right - 1, 0 }, POINT{ 0, client.bottom - 1 },
                                POINT{ client.right - 1, client.bottom - 1 } })
        buffer.Clear(RECT{ corner.x, corner.y, corner.x + 1, corner.y + 1 });
}

// Every control procedure: the shared first part (teardown, glass not in use), then the class's
// own handling.
typedef LRESULT (*GlassHandler)(HWND, UINT, WPARAM, LPARAM, AeroSubclassRecord*);
template <GlassHandler Handle, bool NcDestroyToo = true>
LRESULT CALLBACK GlassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    AeroSubclassRecord* record = nullptr;
    LRESULT result = 0;
    if (ControlPrologue(window, message, wParam, lParam, GlassProc<Handle, NcDestroyToo>, NcDestroyToo, &record,
                        &result))
        return result;
    return Handle(window, message, wParam, lParam, record);
}

// ---- Static --------------------------------------------------------------------------------------

void DrawStaticImage(HWND window, HDC dc, bool icon)
{
    const HANDLE image =
        reinterpret_cast<HANDLE>(::SendMessageW(window, STM_GETIMAGE, icon ? IMAGE_ICON : IMAGE_BITMAP, 0));
    if (!image)
        return;
    Gdiplus::Bitmap* bitmap = icon ? Gdiplus::Bitmap::FromHICON(static_cast<HICON>(image))
                                   : Gdiplus::Bitmap::FromHBITMAP(static_cast<HBITMAP>(image), nullptr);
    if (!bitmap)
        return;
    {
        Gdiplus::Graphics g(dc);
        Gdiplus::CachedBitmap cached(bitmap, &g);
        g.DrawCachedBitmap(&cached, 0, 0);
    }
    delete bitmap;
}

void DrawStaticText(HWND window, const AeroSubclassRecord* record, HTHEME theme, HDC dc, RECT client,
                    const zr_glass::StaticDrawing& look)
{
    DTTOPTS options = GlowOptions(record->uxTheme);
    ControlFont font(window, dc);
    std::vector<wchar_t> text = WindowText(window);
    if (text[0] == L'\0')
        return;
    record->uxTheme->DrawThemeTextEx(theme, dc, 0, 0, text.data(), -1, look.textFormat, &client, &options);
    if (look.outline)
        OutlineArgb(dc, client, 0xFF000000u);
}

void PaintStatic(HWND window, AeroSubclassRecord* record, HDC dc, const RECT& update)
{
    RECT client;
    ::GetClientRect(window, &client);
    const zr_glass::StaticDrawing look = zr_glass::DescribeStatic((uint32_t)::GetWindowLongW(window, GWL_STYLE),
                                                                  (uint32_t)::GetWindowLongW(window, GWL_EXSTYLE));
    // Without the theme class nothing is drawn: the control shows clear glass.
    Theme theme(record->uxTheme, nullptr, L"ControlPanelStyle");
    if (!theme)
        return;
    GlassBuffer buffer(record->uxTheme, dc, client);
    if (!buffer.dc())
        return;
    ::PatBlt(buffer.dc(), client.left, client.top, client.right - client.left, client.bottom - client.top, BLACKNESS);
    buffer.SetAlpha(update, 0);
    switch (look.look) {
    case zr_glass::StaticLook::Image:
        DrawStaticImage(window, buffer.dc(), look.icon);
        break;
    case zr_glass::StaticLook::Fill:
        FillArgb(buffer.dc(), client, look.argb);
        break;
    case zr_glass::StaticLook::Frame:
        OutlineArgb(buffer.dc(), client, look.argb);
        break;
    case zr_glass::StaticLook::Text:
        DrawStaticText(window, record, theme.get(), buffer.dc(), client, look);
        break;
    }
}

LRESULT HandleStatic(HWND window, UINT message, WPARAM wParam, LPARAM lParam, AeroSubclassRecord* record)
{
    if (message == WM_PAINT) {
        PaintWith(window, record, PaintStatic);
        return 1;
    }
    return CallPrevious(record, window, message, wParam, lParam);
}

// ---- List view and header ------------------------------------------------------------------------

void RefreshHeaderOf(HWND listView)
{
    if (HWND header = reinterpret_cast<HWND>(::SendMessageW(listView, LVM_GETHEADER, 0, 0))) {
        ::InvalidateRect(header, nullptr, TRUE);
        ::UpdateWindow(header);
    }
}

void RepaintNow(HWND window)
{
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

// List views and list boxes: painted on glass with their sunken border; some of their scrolling
// reaches the screen without a WM_PAINT, so after it `refresh` paints over it (a list view's
// header, a list box itself).
template <void (*Refresh)(HWND)>
LRESULT HandleList(HWND window, UINT message, WPARAM wParam, LPARAM lParam, AeroSubclassRecord* record)
{
    switch (message) {
    case WM_PAINT:
        PaintWith(window, record, PaintOnGlass);
        DrawClientEdgeOutline(window, record);
        return 1;
    case WM_NCPAINT:
    case WM_HSCROLL:
    case WM_VSCROLL: {
        const LRESULT result = CallPrevious(record, window, message, wParam, lParam);
        Refresh(window);
        return result;
    }
    default:
        return CallPrevious(record, window, message, wParam, lParam);
    }
}

// Controls that paint themselves on glass through WM_PRINTCLIENT and nothing else: headers, date
// pickers, combo boxes and progress bars; the tree view and list box add their sunken border.
template <void (*Paint)(HWND, AeroSubclassRecord*, HDC, const RECT&), bool ClientEdge>
LRESULT HandlePrinted(HWND window, UINT message, WPARAM wParam, LPARAM lParam, AeroSubclassRecord* record)
{
    if (message == WM_PAINT) {
        PaintWith(window, record, Paint);
        if (ClientEdge)
            DrawClientEdgeOutline(window, record);
        return 1;
    }
    return CallPrevious(record, window, message, wParam, lParam);
}

// ---- Combo boxes ---------------------------------------------------------------------------------

// The edit field of a combo box colours itself through its parent: repaint it on glass after.
bool ForwardEditRedraw(UINT message, LPARAM lParam, const AeroSubclassRecord* record)
{
    if (message != WM_CTLCOLOREDIT)
        return false;
    HWND edit = reinterpret_cast<HWND>(lParam);
    if (AeroGetRecord(edit))
        RequestGlassRedraw(edit, record->redrawMessage);
    return true;
}

LRESULT HandleComboBox(HWND window, UINT message, WPARAM wParam, LPARAM lParam, AeroSubclassRecord* record)
{
    if (message == WM_PAINT) {
        PaintWith(window, record, PaintOnGlass);
        return 1;
    }
    ForwardEditRedraw(message, lParam, record);
    return CallPrevious(record, window, message, wParam, lParam);
}

LRESULT HandleComboBoxEx(HWND window, UINT message, WPARAM wParam, LPARAM lParam, AeroSubclassRecord* record)
{
    ForwardEditRedraw(message, lParam, record);
    return CallPrevious(record, window, message, wParam, lParam);
}

// ---- Edit ----------------------------------------------------------------------------------------

void PaintEditOnGlass(HWND window, const AeroSubclassRecord* record)
{
    HDC dc = ::GetDC(window);
    if (!dc)
        return;
    RECT client;
    ::GetClientRect(window, &client);
    {
        GlassBuffer buffer(record->uxTheme, dc, client);
        if (buffer.dc()) {
            const bool grey = (::GetWindowLongW(window, GWL_STYLE) & ES_READONLY) || !::IsWindowEnabled(window);
            ::FillRect(buffer.dc(), &client, reinterpret_cast<HBRUSH>((grey ? COLOR_BTNFACE : COLOR_WINDOW) + 1));
            ::SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(buffer.dc()),
                           PRF_CHECKVISIBLE | PRF_CLIENT);
            buffer.SetOpaque();
        }
    }
    ::ReleaseDC(window, dc);
}

bool IsOneOf(UINT message, std::initializer_list<UINT> messages)
{
    return std::find(messages.begin(), messages.end(), message) != messages.end();
}

bool IsMouseButtonMessage(UINT message)
{
    return IsOneOf(
        message,
        { WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_RBUTTONUP, WM_MBUTTONDOWN, WM_MBUTTONUP });
}

LRESULT HandleEdit(HWND window, UINT message, WPARAM wParam, LPARAM lParam, AeroSubclassRecord* record)
{
    LRESULT result = 0;
    if (message == record->redrawMessage) {
        if (!(record->flags & zr_glass::kRepaintPending))
            return CallPrevious(record, window, message, wParam, lParam);
        PaintEditOnGlass(window, record);
        record->flags &= ~zr_glass::kRepaintPending;
        return 0;
    }
    if (message == WM_NCPAINT) {
        result = CallPrevious(record, window, message, wParam, lParam);
        DrawClientEdgeOutline(window, record);
        return result;
    }
    const LONG style = ::GetWindowLongW(window, GWL_STYLE);
    if (!(style & (ES_MULTILINE | ES_AUTOVSCROLL)))
        return CallPrevious(record, window, message, wParam, lParam);
    // A caret blinking on glass leaves traces: it hides while a key is down.
    if (message == WM_KEYDOWN && !(record->flags & zr_glass::kCaretHidden)) {
        ::HideCaret(window);
        record->flags |= zr_glass::kCaretHidden;
    }
    result = CallPrevious(record, window, message, wParam, lParam);
    if (message == WM_KEYUP || IsMouseButtonMessage(message)) {
        record = AeroGetRecord(window);
        if (!record)
            return result;
        if (record->flags & zr_glass::kCaretHidden) {
            ::ShowCaret(window);
            record->flags &= ~zr_glass::kCaretHidden;
        }
        DWORD start = 0, end = 0;
        ::SendMessageW(window, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        if ((LONG)start != record->selectionStart || (LONG)end != record->selectionEnd) {
            record->selectionStart = (LONG)start;
            record->selectionEnd = (LONG)end;
            RequestGlassRedraw(window, record->redrawMessage);
        }
    }
    return result;
}

// ---- IP address ----------------------------------------------------------------------------------

BOOL CALLBACK CollectEdits(HWND window, LPARAM lParam)
{
    wchar_t name[16] = {};
    if (::GetClassNameW(window, name, 16) && lstrcmpW(name, L"Edit") == 0)
        reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(window);
    return TRUE;
}

// The ground and the separating dots; the four fields are edit controls of their own, asked to
// repaint themselves on glass afterwards.
void PaintIPAddress(HWND window, AeroSubclassRecord* record, HDC dc, const RECT&)
{
    RECT client;
    ::GetClientRect(window, &client);
    std::vector<HWND> fields;
    ::EnumChildWindows(window, CollectEdits, reinterpret_cast<LPARAM>(&fields));
    std::vector<RECT> boxes;
    for (HWND field : fields) {
        RECT r;
        ::GetWindowRect(field, &r);
        ::MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&r), 2);
        boxes.push_back(r);
    }
    std::sort(boxes.begin(), boxes.end(), [](const RECT& a, const RECT& b) { return a.left < b.left; });
    {
        GlassBuffer buffer(record->uxTheme, dc, client);
        if (!buffer.dc())
            return;
        const bool enabled = ::IsWindowEnabled(window);
        ::FillRect(buffer.dc(), &client, reinterpret_cast<HBRUSH>((enabled ? COLOR_WINDOW : COLOR_BTNFACE) + 1));
        ControlFont font(window, buffer.dc());
        ::SetBkMode(buffer.dc(), TRANSPARENT);
        ::SetTextColor(buffer.dc(), ::GetSysColor(enabled ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
        for (size_t i = 1; i < boxes.size(); ++i) {
            RECT gap = { boxes[i - 1].right, client.top, boxes[i].left, client.bottom };
            ::DrawTextW(buffer.dc(), L".", 1, &gap, DT_CENTER | DT_BOTTOM | DT_SINGLELINE | DT_NOCLIP);
        }
        buffer.SetOpaque();
    }
    for (HWND field : fields)
        if (AeroGetRecord(field))
            RequestGlassRedraw(field, record->redrawMessage);
}

// ---- Button --------------------------------------------------------------------------------------

bool CursorOver(HWND window)
{
    POINT p;
    return ::GetCursorPos(&p) && ::WindowFromPoint(p) == window;
}

// Draws a control through the theme class `themeClass` on clear glass: `draw(theme, dc, client)`
// paints into the buffer. Without the class (or with `themeClass` null) the control draws itself
// on an opaque ground instead.
template <class Draw>
void PaintThemed(HWND window, const AeroSubclassRecord* record, HDC dc, const RECT& update, LPCWSTR themeClass,
                 Draw draw)
{
    if (!themeClass) {
        PaintControlOnGlass(window, dc, &update, FALSE);
        return;
    }
    Theme theme(record->uxTheme, window, themeClass);
    if (!theme) {
        PaintControlOnGlass(window, dc, &update, FALSE);
        return;
    }
    RECT client;
    ::GetClientRect(window, &client);
    GlassBuffer buffer(record->uxTheme, dc, client);
    if (!buffer.dc())
        return;
    buffer.Clear(client);
    draw(theme.get(), buffer.dc(), client);
}

void DrawButtonText(HWND window, const AeroSubclassRecord* record, HTHEME theme, HDC dc,
                    const zr_glass::ButtonLook& look, RECT textBox, bool enabled)
{
    std::vector<wchar_t> text = WindowText(window);
    const LRESULT uiState = ::SendMessageW(window, WM_QUERYUISTATE, 0, 0);
    const LONG style = ::GetWindowLongW(window, GWL_STYLE);
    UINT format = (style & BS_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE | DT_VCENTER;
    format |= look.boxBesideText ? DT_LEFT : DT_CENTER;
    if (uiState & UISF_HIDEACCEL)
        format |= DT_HIDEPREFIX;
    ControlFont font(window, dc);
    if (text[0] != L'\0') {
        DTTOPTS options = GlowOptions(record->uxTheme);
        if (!enabled) {
            options.dwFlags |= DTT_TEXTCOLOR;
            options.crText = ::GetSysColor(COLOR_GRAYTEXT);
        }
        record->uxTheme->DrawThemeTextEx(theme, dc, look.part, look.state, text.data(), -1, format, &textBox, &options);
    }
    if (::GetFocus() == window && !(uiState & UISF_HIDEFOCUS)) {
        RECT focus = textBox;
        if (text[0] != L'\0') {
            ::DrawTextW(dc, text.data(), -1, &focus, format | DT_CALCRECT);
            if (!look.boxBesideText)
                ::OffsetRect(&focus, ((textBox.right - textBox.left) - (focus.right - focus.left)) / 2, 0);
            ::OffsetRect(&focus, 0, ((textBox.bottom - textBox.top) - (focus.bottom - focus.top)) / 2);
            ::InflateRect(&focus, 1, 1);
        }
        OutlineArgb(dc, focus, 0xFF000000u, Gdiplus::DashStyleDot);
    }
}

void PaintButton(HWND window, AeroSubclassRecord* record, HDC dc, const RECT& update)
{
    zr_glass::ButtonStatus status;
    status.style = (uint32_t)::GetWindowLongW(window, GWL_STYLE);
    status.check = (uint32_t)::SendMessageW(window, BM_GETCHECK, 0, 0);
    status.enabled = ::IsWindowEnabled(window) != FALSE;
    const LRESULT state = ::SendMessageW(window, BM_GETSTATE, 0, 0);
    status.pushed = (state & BST_PUSHED) != 0;
    status.hot = (state & BST_HOT) != 0 || CursorOver(window);
    const zr_glass::ButtonLook look = zr_glass::DescribeButton(status);
    // Owner-drawn and the other kinds draw themselves.
    const UxThemeApi* ux = record->uxTheme;
    PaintThemed(window, record, dc, update, look.part ? L"Button" : nullptr,
                [&](HTHEME theme, HDC buffer, RECT client) {
                    RECT textBox = client;
                    if (!look.boxBesideText) {
                        ux->DrawThemeBackground(theme, buffer, look.part, look.state, &client, nullptr);
                        ux->GetThemeBackgroundContentRect(theme, buffer, look.part, look.state, &client, &textBox);
                    } else {
                        SIZE box = { 13, 13 };
                        ux->GetThemePartSize(theme, buffer, look.part, look.state, nullptr, TS_DRAW, &box);
                        const int top = client.top + ((client.bottom - client.top) - box.cy) / 2;
                        RECT glyph = { client.left, top, client.left + box.cx, top + box.cy };
                        ux->DrawThemeBackground(theme, buffer, look.part, look.state, &glyph, nullptr);
                        textBox.left = glyph.right + 3;
                    }
                    DrawButtonText(window, record, theme, buffer, look, textBox, status.enabled);
                });
}

bool ChangesButtonLook(UINT message)
{
    return IsOneOf(message,
                   { BM_SETSTATE, BM_SETCHECK, BM_SETSTYLE, WM_SETFOCUS, WM_KILLFOCUS, WM_ENABLE, WM_SETTEXT,
                     WM_LBUTTONDOWN, WM_LBUTTONUP, WM_KEYDOWN, WM_KEYUP, WM_CAPTURECHANGED, WM_UPDATEUISTATE });
}

// Hot tracking for the themed controls: the first move over the control asks for the leave notice;
// both repaint it.
void TrackHover(HWND window, UINT message)
{
    AeroSubclassRecord* record = AeroGetRecord(window);
    if (!record)
        return;
    if (message == WM_MOUSEMOVE && !(record->flags & zr_glass::kMouseTracked)) {
        TRACKMOUSEEVENT track = { sizeof(track), TME_LEAVE, window, 0 };
        if (::TrackMouseEvent(&track))
            record->flags |= zr_glass::kMouseTracked;
        ::InvalidateRect(window, nullptr, FALSE);
    } else if (message == WM_MOUSELEAVE) {
        record->flags &= ~zr_glass::kMouseTracked;
        ::InvalidateRect(window, nullptr, FALSE);
    }
}

// Controls drawn through a theme: the own procedure's changes are painted over at the next
// WM_PAINT, which this procedure draws.
template <void (*Paint)(HWND, AeroSubclassRecord*, HDC, const RECT&), bool (*ChangesLook)(UINT)>
LRESULT HandleThemed(HWND window, UINT message, WPARAM wParam, LPARAM lParam, AeroSubclassRecord* record)
{
    if (message == WM_PAINT) {
        PaintWith(window, record, Paint);
        return 1;
    }
    const LRESULT result = CallPrevious(record, window, message, wParam, lParam);
    if (!::IsWindow(window))
        return result;
    if (message == WM_MOUSEMOVE || message == WM_MOUSELEAVE)
        TrackHover(window, message);
    else if (ChangesLook(message))
        ::InvalidateRect(window, nullptr, FALSE);
    return result;
}

// ---- Trackbar ------------------------------------------------------------------------------------

void DrawTrackbar(HWND window, const UxThemeApi* ux, HTHEME theme, HDC buffer, const RECT& client)
{
    const LONG style = ::GetWindowLongW(window, GWL_STYLE);
    const bool vertical = (style & TBS_VERT) != 0;
    RECT channel = {}, thumb = {};
    ::SendMessageW(window, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
    ::SendMessageW(window, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
    if (vertical) // the channel of a vertical trackbar comes back as if it were horizontal
        channel = RECT{ channel.top, channel.left, channel.bottom, channel.right };
    ux->DrawThemeBackground(theme, buffer, vertical ? TKP_TRACKVERT : TKP_TRACK, TRS_NORMAL, &channel, nullptr);
    if (!(style & TBS_NOTICKS)) {
        const int count = (int)::SendMessageW(window, TBM_GETNUMTICS, 0, 0);
        for (int i = 0; i + 2 < count; ++i) {
            const int at = (int)::SendMessageW(window, TBM_GETTICPOS, (WPARAM)i, 0);
            if (at < 0)
                continue;
            RECT tick = vertical ? RECT{ thumb.right + 1, at, thumb.right + 5, at + 1 }
                                 : RECT{ at, thumb.bottom + 1, at + 1, thumb.bottom + 5 };
            ux->DrawThemeBackground(theme, buffer, vertical ? TKP_TICSVERT : TKP_TICS, TSS_NORMAL, &tick, nullptr);
        }
    }
    int part;
    if (vertical)
        part = (style & TBS_BOTH) ? TKP_THUMBVERT : (style & TBS_LEFT) ? TKP_THUMBLEFT : TKP_THUMBRIGHT;
    else
        part = (style & TBS_BOTH) ? TKP_THUMB : (style & TBS_TOP) ? TKP_THUMBTOP : TKP_THUMBBOTTOM;
    const int state = !::IsWindowEnabled(window) ? TUS_DISABLED
        : ::GetCapture() == window               ? TUS_PRESSED
        : CursorOver(window)                     ? TUS_HOT
        : ::GetFocus() == window                 ? TUS_FOCUSED
                                                 : TUS_NORMAL;
    ux->DrawThemeBackground(theme, buffer, part, state, &thumb, nullptr);
    const LRESULT uiState = ::SendMessageW(window, WM_QUERYUISTATE, 0, 0);
    if (::GetFocus() == window && !(uiState & UISF_HIDEFOCUS))
        OutlineArgb(buffer, client, 0xFF000000u, Gdiplus::DashStyleDot);
}

void PaintTrackbar(HWND window, AeroSubclassRecord* record, HDC dc, const RECT& update)
{
    PaintThemed(window, record, dc, update, L"TRACKBAR", [&](HTHEME theme, HDC buffer, RECT client) {
        DrawTrackbar(window, record->uxTheme, theme, buffer, client);
    });
}

bool ChangesTrackbarLook(UINT message)
{
    return IsOneOf(message,
                   { TBM_SETPOS, TBM_SETRANGE, TBM_SETRANGEMIN, TBM_SETRANGEMAX, TBM_SETTIC, TBM_CLEARTICS, WM_KEYDOWN,
                     WM_LBUTTONDOWN, WM_LBUTTONUP, WM_CAPTURECHANGED, WM_SETFOCUS, WM_KILLFOCUS, WM_ENABLE });
}

// ---- Up-down -------------------------------------------------------------------------------------

void DrawUpDown(HWND window, const UxThemeApi* ux, HTHEME theme, HDC buffer, const RECT& client)
{
    const bool horizontal = (::GetWindowLongW(window, GWL_STYLE) & UDS_HORZ) != 0;
    // Up (or right, which counts up) and down (or left).
    RECT up = client, down = client;
    if (horizontal)
        up.left = down.right = (client.left + client.right) / 2;
    else
        up.bottom = down.top = (client.top + client.bottom) / 2;
    POINT cursor = {};
    ::GetCursorPos(&cursor);
    ::ScreenToClient(window, &cursor);
    const bool over = CursorOver(window);
    const bool pressing = ::GetCapture() == window && ::GetKeyState(VK_LBUTTON) < 0;
    const bool enabled = ::IsWindowEnabled(window) != FALSE;
    auto stateOf = [&](const RECT& half) {
        if (!enabled)
            return 4; // disabled
        if (over && ::PtInRect(&half, cursor))
            return pressing ? 3 : 2; // pressed, hot
        return 1;
    };
    ux->DrawThemeBackground(theme, buffer, horizontal ? SPNP_UPHORZ : SPNP_UP, stateOf(up), &up, nullptr);
    ux->DrawThemeBackground(theme, buffer, horizontal ? SPNP_DOWNHORZ : SPNP_DOWN, stateOf(down), &down, nullptr);
}

void PaintUpDown(HWND window, AeroSubclassRecord* record, HDC dc, const RECT& update)
{
    PaintThemed(window, record, dc, update, L"Spin", [&](HTHEME theme, HDC buffer, RECT client) {
        DrawUpDown(window, record->uxTheme, theme, buffer, client);
    });
}

bool ChangesUpDownLook(UINT message)
{
    return IsOneOf(message, { WM_LBUTTONDOWN, WM_LBUTTONUP, WM_CAPTURECHANGED, WM_ENABLE, WM_TIMER });
}

} // namespace

void PaintControlOnGlass(HWND control, HDC target, const RECT* area, BOOL frame)
{
    const AeroSubclassRecord* record = AeroGetRecord(control);
    if (!record || !area)
        return;
    GlassBuffer buffer(record->uxTheme, target, *area);
    if (!buffer.dc())
        return;
    RECT window;
    ::GetWindowRect(control, &window);
    const int width = window.right - window.left, height = window.bottom - window.top;
    ::PatBlt(buffer.dc(), 0, 0, width, height, BLACKNESS);
    ::PatBlt(buffer.dc(), 0, 0, width, height, WHITENESS);
    ::SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(buffer.dc()), kPrintEverything);
    buffer.SetOpaque();
}

namespace zr_glass_impl {

WNDPROC ProcedureFor(zr_glass::Proc proc)
{
    using zr_glass::Proc;
    switch (proc) {
    case Proc::Static:
        return GlassProc<HandleStatic, false>; // its teardown is WM_DESTROY alone
    case Proc::ListView:
        return GlassProc<HandleList<RefreshHeaderOf>>;
    case Proc::ListBox:
        return GlassProc<HandleList<RepaintNow>>;
    case Proc::Header:
        return GlassProc<HandlePrinted<PaintOnGlass, false>>;
    case Proc::ComboBox:
        return GlassProc<HandleComboBox>;
    case Proc::ComboBoxEx:
        return GlassProc<HandleComboBoxEx>;
    case Proc::Edit:
        return GlassProc<HandleEdit>;
    case Proc::IPAddress:
        return GlassProc<HandlePrinted<PaintIPAddress, true>>;
    case Proc::DateTime:
        return GlassProc<HandlePrinted<PaintOnGlass, false>>;
    case Proc::TreeView:
        return GlassProc<HandlePrinted<PaintOnGlass, true>>;
    case Proc::Progress:
        return GlassProc<HandlePrinted<PaintProgress, false>>;
    case Proc::Button:
        return GlassProc<HandleThemed<PaintButton, ChangesButtonLook>>;
    case Proc::Trackbar:
        return GlassProc<HandleThemed<PaintTrackbar, ChangesTrackbarLook>>;
    case Proc::UpDown:
        return GlassProc<HandleThemed<PaintUpDown, ChangesUpDownLook>>;
    case Proc::Animate:
        return AnimateProc;
    case Proc::None:
        break;
    }
    return nullptr;
}

} // namespace zr_glass_impl
