#include "common/layout_check.h"

#include <commctrl.h>

#include <algorithm>

#include "afxwin.h"
#include "common/images.h"
#include "look/iconbutton.h"
#include "look/pure/iconlook.h"

namespace zr_test {

namespace {

std::wstring ClassOf(HWND wnd)
{
    wchar_t name[64] = {};
    ::GetClassNameW(wnd, name, 64);
    return name;
}

std::wstring TextOf(HWND wnd)
{
    const int n = ::GetWindowTextLengthW(wnd);
    std::wstring text(size_t(n) + 1, L'\0');
    ::GetWindowTextW(wnd, &text[0], n + 1);
    text.resize(size_t(n));
    return text;
}

std::string Name(HWND wnd)
{
    std::wstring text = TextOf(wnd);
    if (CWnd* object = CWnd::FromHandlePermanent(wnd))
        if (auto* button = dynamic_cast<CMyBtn*>(object))
            text = button->GetCaption().GetString();
    if (text.size() > 40)
        text = text.substr(0, 40) + L"...";
    return std::to_string(::GetDlgCtrlID(wnd)) + " (" + Narrow(ClassOf(wnd)) + " \"" + Narrow(text) + "\")";
}

RECT RectIn(HWND dialog, HWND control)
{
    RECT r;
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The size `text` takes in the control's font: one line, or broken into lines `width` wide.
SIZE Extent(HWND control, HFONT font, const std::wstring& text, int width, UINT flags)
{
    HDC dc = ::GetDC(control);
    HGDIOBJ old = ::SelectObject(dc, font != nullptr ? font : ::GetStockObject(SYSTEM_FONT));
    RECT r = { 0, 0, width, 0 };
    ::DrawTextW(dc, text.c_str(), int(text.size()), &r, flags | DT_CALCRECT);
    ::SelectObject(dc, old);
    ::ReleaseDC(control, dc);
    return { r.right - r.left, r.bottom - r.top };
}

HFONT FontOf(HWND wnd)
{
    return reinterpret_cast<HFONT>(::SendMessageW(wnd, WM_GETFONT, 0, 0));
}

bool IsUnderlay(HWND wnd, const LayoutRules& rules)
{
    if (std::find(rules.underlays.begin(), rules.underlays.end(), ::GetDlgCtrlID(wnd)) != rules.underlays.end())
        return true;
    const std::wstring cls = ClassOf(wnd);
    const LONG style = ::GetWindowLongW(wnd, GWL_STYLE);
    if (cls == L"Button")
        return (style & BS_TYPEMASK) == BS_GROUPBOX;
    if (cls == L"Static") {
        const LONG type = style & SS_TYPEMASK;
        const bool frame = type == SS_BLACKRECT || type == SS_GRAYRECT || type == SS_WHITERECT ||
            type == SS_BLACKFRAME || type == SS_GRAYFRAME || type == SS_WHITEFRAME || type == SS_ETCHEDFRAME ||
            type == SS_ETCHEDHORZ || type == SS_ETCHEDVERT;
        // A static without text is a panel drawn under what lies on it.
        return frame || ((type == SS_LEFT || type == SS_SIMPLE) && TextOf(wnd).empty());
    }
    return false;
}

bool PairAllowed(HWND a, HWND b, const LayoutRules& rules)
{
    const int x = ::GetDlgCtrlID(a), y = ::GetDlgCtrlID(b);
    for (const auto& p : rules.overlapsAllowed)
        if ((p.first == x && p.second == y) || (p.first == y && p.second == x))
            return true;
    return false;
}

void CheckStatic(HWND control, std::vector<std::string>& problems)
{
    const LONG style = ::GetWindowLongW(control, GWL_STYLE);
    const LONG type = style & SS_TYPEMASK;
    if (type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT && type != SS_LEFTNOWORDWRAP && type != SS_SIMPLE)
        return;
    if (style & (SS_ENDELLIPSIS | SS_PATHELLIPSIS | SS_WORDELLIPSIS))
        return; // shortened on purpose
    const std::wstring text = TextOf(control);
    if (text.empty())
        return;
    RECT client;
    ::GetClientRect(control, &client);
    const UINT noPrefix = (style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
    const bool oneLine = type == SS_LEFTNOWORDWRAP || type == SS_SIMPLE || (style & SS_CENTERIMAGE);
    const SIZE need = oneLine ? Extent(control, FontOf(control), text, 0, DT_SINGLELINE | noPrefix)
                              : Extent(control, FontOf(control), text, client.right, DT_WORDBREAK | DT_EXPANDTABS | noPrefix);
    if (need.cx > client.right || need.cy > client.bottom)
        problems.push_back(Name(control) + ": its text needs " + std::to_string(need.cx) + " x " +
                           std::to_string(need.cy) + ", the control shows " + std::to_string(client.right) + " x " +
                           std::to_string(client.bottom));
}

void CheckButton(HWND control, std::vector<std::string>& problems)
{
    const LONG style = ::GetWindowLongW(control, GWL_STYLE);
    const LONG type = style & BS_TYPEMASK;
    RECT client;
    ::GetClientRect(control, &client);
    const HFONT font = FontOf(control);
    std::wstring text = TextOf(control);
    int room = client.right, height = client.bottom;
    if (type == BS_OWNERDRAW) {
        // Icon buttons draw their caption beside a 16 x 16 icon; picture buttons draw no text.
        auto* button = dynamic_cast<CMyBtn*>(CWnd::FromHandlePermanent(control));
        if (button == nullptr)
            return;
        text = zr_look::TrimCaption(std::wstring(button->GetCaption().GetString()));
        if (text.empty())
            return;
        const SIZE need = Extent(control, font, text, 0, DT_SINGLELINE);
        const zr_look::IconButtonLayout at =
            zr_look::LayoutIconButton(client.right, client.bottom, 16, 16, true, need.cx, need.cy);
        // Inside the button's frame (two pixels each side).
        if (at.iconX < 2 || at.textX + need.cx > client.right - 2 || need.cy > client.bottom - 2)
            problems.push_back(Name(control) + ": icon and caption need " + std::to_string(need.cx + 18) + " x " +
                               std::to_string(need.cy) + ", the button has " + std::to_string(client.right - 4) +
                               " x " + std::to_string(client.bottom - 2));
        return;
    }
    if (text.empty())
        return;
    if (type == BS_GROUPBOX) {
        room -= 16; // the frame's corner before the text and after it
        height = client.bottom;
    } else if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
               type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE) {
        room -= ::GetSystemMetrics(SM_CXMENUCHECK) + 4;
    } else {
        room -= 8; // a push button's frame and margin
        height -= 4;
    }
    const bool multi = (style & BS_MULTILINE) != 0;
    const SIZE need = multi ? Extent(control, font, text, room, DT_WORDBREAK) : Extent(control, font, text, 0, DT_SINGLELINE);
    if (need.cx > room || need.cy > height)
        problems.push_back(Name(control) + ": its text needs " + std::to_string(need.cx) + " x " +
                           std::to_string(need.cy) + ", it has " + std::to_string(room) + " x " +
                           std::to_string(height));
}

void CheckHeader(HWND list, std::vector<std::string>& problems)
{
    HWND header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
    if (header == nullptr || !::IsWindowVisible(header))
        return;
    const int count = int(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[260] = {};
        HDITEMW item{};
        item.mask = HDI_TEXT | HDI_WIDTH;
        item.pszText = text;
        item.cchTextMax = 260;
        ::SendMessageW(header, HDM_GETITEMW, WPARAM(i), LPARAM(&item));
        if (item.cxy <= 0 || text[0] == 0)
            continue; // a hidden column
        // The header draws its text inside the item's edge (raised on every side when its items
        // are buttons, else a line at its right), with its margin on each side of the text.
        const int edge = ::GetSystemMetrics(SM_CXEDGE);
        const int frame = (::GetWindowLongW(header, GWL_STYLE) & HDS_BUTTONS) ? 2 * edge : edge;
        const int margin = int(::SendMessageW(header, HDM_GETBITMAPMARGIN, 0, 0));
        const SIZE need = Extent(header, FontOf(header), text, 0, DT_SINGLELINE);
        if (need.cx + 2 * margin + frame > item.cxy)
            problems.push_back(Name(list) + ": header \"" + Narrow(text) + "\" needs " +
                               std::to_string(need.cx + 2 * margin + frame) + ", its column is " +
                               std::to_string(item.cxy));
    }
}

} // namespace

std::vector<std::string> LayoutProblems(HWND dialog, const LayoutRules& rules)
{
    std::vector<std::string> problems;
    RECT client;
    ::GetClientRect(dialog, &client);
    std::vector<HWND> shown;
    for (HWND c = ::GetWindow(dialog, GW_CHILD); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT)) {
        if (!::IsWindowVisible(c))
            continue;
        const RECT r = RectIn(dialog, c);
        if (r.right <= r.left || r.bottom <= r.top)
            continue;
        shown.push_back(c);
        if (r.left < client.left || r.top < client.top || r.right > client.right || r.bottom > client.bottom)
            problems.push_back(Name(c) + ": reaches outside the dialog");
        const std::wstring cls = ClassOf(c);
        if (cls == L"Static")
            CheckStatic(c, problems);
        else if (cls == L"Button")
            CheckButton(c, problems);
        else if (cls == L"SysListView32")
            CheckHeader(c, problems);
    }
    for (size_t i = 0; i < shown.size(); ++i) {
        for (size_t j = i + 1; j < shown.size(); ++j) {
            const RECT a = RectIn(dialog, shown[i]), b = RectIn(dialog, shown[j]);
            RECT both;
            if (!::IntersectRect(&both, &a, &b) || IsUnderlay(shown[i], rules) || IsUnderlay(shown[j], rules) ||
                PairAllowed(shown[i], shown[j], rules))
                continue;
            problems.push_back(Name(shown[i]) + " and " + Name(shown[j]) + " overlap");
        }
    }
    return problems;
}

std::vector<std::string> CaptionProblems(HWND dialog, const RECT& captionRect, const wchar_t* caption, HFONT font)
{
    std::vector<std::string> problems;
    const SIZE need = Extent(dialog, font, caption, 0, DT_SINGLELINE | DT_NOPREFIX);
    const int width = captionRect.right - captionRect.left, height = captionRect.bottom - captionRect.top;
    if (need.cx > width || need.cy > height)
        problems.push_back("the caption \"" + Narrow(caption) + "\" needs " + std::to_string(need.cx) + " x " +
                           std::to_string(need.cy) + ", its band has " + std::to_string(width) + " x " +
                           std::to_string(height));
    // Where the text really lies: at the left of the band, centred in its height.
    RECT text = { captionRect.left, captionRect.top + (height - need.cy) / 2,
                  captionRect.left + std::min<int>(need.cx, width), captionRect.top + (height + need.cy) / 2 };
    for (HWND c = ::GetWindow(dialog, GW_CHILD); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT)) {
        RECT r = RectIn(dialog, c), both;
        if (::IsWindowVisible(c) && ::IntersectRect(&both, &r, &text) && !IsUnderlay(c, LayoutRules()))
            problems.push_back("the caption \"" + Narrow(caption) + "\" runs under " + Name(c));
    }
    return problems;
}

int ScreenDpi()
{
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return dpi;
}

} // namespace zr_test
