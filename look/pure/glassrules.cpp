#include "look/pure/glassrules.h"

namespace zr_glass {

namespace {

// Window-system values, repeated here so that this file needs no system header (the Windows
// build checks them against the headers).
constexpr uint32_t kButtonTypeMask = 0x0F, kGroupBox = 7;

struct NamedRule {
    const wchar_t* name;
    ClassRule rule;
};

// In the order the layer compares them; the names are all different, so only the group-box
// exception depends on the order.
const NamedRule kRules[] = {
    { L"ComboBox", { Proc::ComboBox, kComboBox, kRepaintPending, L"Edit", Proc::Edit } },
    { L"ComboBoxEx32", { Proc::ComboBoxEx, kComboBox, 0, L"ComboBox", Proc::ComboBox } },
    { L"SysAnimate32", { Proc::Animate, kAnimate, 0 } },
    { L"Edit", { Proc::Edit, kEdit, kRepaintPending } },
    { L"ListBox", { Proc::ListBox, kListBox, kRepaintPending } },
    { L"Static", { Proc::Static, kStatic, kRepaintPending } },
    { L"SysListView32", { Proc::ListView, kListView, kRepaintPending, L"SysHeader32", Proc::Header } },
    { L"SysHeader32", { Proc::Header, kHeader, kRepaintPending } },
    { L"Button", { Proc::Button, kButton, kRepaintPending } },
    { L"msctls_trackbar32", { Proc::Trackbar, kTrackbar, 0 } },
    { L"msctls_updown32", { Proc::UpDown, kUpDown, kRepaintPending } },
    { L"SysIPAddress32", { Proc::IPAddress, kIPAddress, kRepaintPending, L"Edit", Proc::Edit } },
    { L"SysDateTimePick32", { Proc::DateTime, kDateTime, kRepaintPending } },
    { L"SysTreeView32", { Proc::TreeView, kTreeView, 0 } },
    { L"msctls_progress32", { Proc::Progress, kProgress, 0 } },
};

} // namespace

ClassRule MatchClass(std::wstring_view className, uint32_t style)
{
    for (const NamedRule& r : kRules) {
        if (className != r.name)
            continue;
        if (r.rule.proc == Proc::Button && (style & kButtonTypeMask) == kGroupBox)
            return ClassRule{};
        return r.rule;
    }
    return ClassRule{};
}

ClassRule RuleFor(Proc proc)
{
    for (const NamedRule& r : kRules)
        if (r.rule.proc == proc)
            return r.rule;
    return ClassRule{};
}

uint32_t StaticTextFormat(uint32_t style, uint32_t exStyle)
{
    constexpr uint32_t DT_LEFT = 0, DT_CENTER = 0x1, DT_RIGHT = 0x2, DT_VCENTER = 0x4, DT_WORDBREAK = 0x10,
                       DT_NOPREFIX = 0x800, DT_PATH_ELLIPSIS = 0x4000, DT_END_ELLIPSIS = 0x8000,
                       DT_MODIFYSTRING = 0x10000, DT_WORD_ELLIPSIS = 0x40000;
    constexpr uint32_t SS_CENTER = 1, SS_RIGHT = 2, SS_LEFTNOWORDWRAP = 12, SS_NOPREFIX = 0x80, SS_CENTERIMAGE = 0x200,
                       SS_ENDELLIPSIS = 0x4000, SS_PATHELLIPSIS = 0x8000, SS_WORDELLIPSIS = 0xC000,
                       SS_ELLIPSISMASK = 0xC000, WS_EX_RIGHT = 0x1000;
    uint32_t format;
    switch (style & 0x1F) {
    case SS_CENTER:
        format = DT_CENTER | DT_WORDBREAK;
        break;
    case SS_RIGHT:
        format = DT_RIGHT | DT_WORDBREAK;
        break;
    case SS_LEFTNOWORDWRAP:
        format = DT_LEFT;
        break;
    default:
        format = DT_WORDBREAK;
        break;
    }
    if (style & SS_CENTERIMAGE)
        format = (format & ~DT_WORDBREAK) | DT_VCENTER;
    switch (style & SS_ELLIPSISMASK) {
    case SS_ENDELLIPSIS:
        format |= DT_END_ELLIPSIS | DT_MODIFYSTRING;
        break;
    case SS_PATHELLIPSIS:
        format |= DT_PATH_ELLIPSIS | DT_MODIFYSTRING;
        break;
    case SS_WORDELLIPSIS:
        format |= DT_WORD_ELLIPSIS | DT_MODIFYSTRING;
        break;
    }
    if (exStyle & WS_EX_RIGHT)
        format |= DT_RIGHT;
    if (style & SS_NOPREFIX)
        format |= DT_NOPREFIX;
    return format;
}

StaticDrawing DescribeStatic(uint32_t style, uint32_t exStyle)
{
    StaticDrawing d;
    static const uint32_t kGreys[3] = { 0xFF000000u, 0xFF808080u, 0xFFFFFFFFu }; // black, grey, white
    const uint32_t type = style & 0x1F;
    if (type == 3 || type == 14) { // SS_ICON, SS_BITMAP
        d.look = StaticLook::Image;
        d.icon = type == 3;
    } else if (type >= 4 && type <= 6) { // SS_BLACKRECT .. SS_WHITERECT
        d.look = StaticLook::Fill;
        d.argb = kGreys[type - 4];
    } else if (type >= 7 && type <= 9) { // SS_BLACKFRAME .. SS_WHITEFRAME
        d.look = StaticLook::Frame;
        d.argb = kGreys[type - 7];
    } else {
        d.look = StaticLook::Text;
        d.textFormat = StaticTextFormat(style, exStyle);
        d.outline = (style & 0x801000u) != 0; // WS_BORDER | SS_SUNKEN
    }
    return d;
}

uint32_t ArgbFromColorRef(uint32_t colorRef)
{
    const uint32_t r = colorRef & 0xFF, g = (colorRef >> 8) & 0xFF, b = (colorRef >> 16) & 0xFF;
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}

OutlineBox OutlineOf(int left, int top, int right, int bottom)
{
    return OutlineBox{ left, top, right - left - 1, bottom - top - 1 };
}

ButtonLook DescribeButton(const ButtonStatus& s)
{
    enum { BP_PUSHBUTTON = 1, BP_RADIOBUTTON = 2, BP_CHECKBOX = 3 };
    ButtonLook look;
    switch (s.style & kButtonTypeMask) {
    case 0: // BS_PUSHBUTTON
    case 1: // BS_DEFPUSHBUTTON
        look.part = BP_PUSHBUTTON;
        look.state = !s.enabled ? 4 : s.pushed ? 3 : s.hot ? 2 : (s.style & kButtonTypeMask) == 1 ? 5 : 1;
        return look;
    case 2: // BS_CHECKBOX, BS_AUTOCHECKBOX, BS_3STATE, BS_AUTO3STATE
    case 3:
    case 5:
    case 6:
        look.part = BP_CHECKBOX;
        break;
    case 4: // BS_RADIOBUTTON, BS_AUTORADIOBUTTON
    case 9:
        look.part = BP_RADIOBUTTON;
        break;
    default:
        return look;
    }
    // Four states (normal, hot, pressed, disabled) per check state: unchecked, checked, mixed.
    const uint32_t check = look.part == BP_CHECKBOX ? (s.check > 2 ? 0 : s.check) : (s.check == 1 ? 1 : 0);
    look.state = int(check * 4) + (!s.enabled ? 4 : s.pushed ? 3 : s.hot ? 2 : 1);
    look.boxBesideText = true;
    return look;
}

} // namespace zr_glass
