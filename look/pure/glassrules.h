// The rules of the glass layer that need no window system: which window classes it takes over
// and how, how a static control's style becomes its drawing, colours as GDI+ wants them, and the
// state a themed button is drawn in.
#pragma once
#include <cstdint>
#include <string_view>

namespace zr_glass {

// The class bits of the set-up flags. Bit 0 is not a class: the dialog paints its own glass.
enum ClassBit : uint32_t {
    kSelfPainted = 0x0001,
    kStatic = 0x0002,
    kButton = 0x0004,
    kListBox = 0x0008,
    kListView = 0x0010,
    kHeader = 0x0020,
    kEdit = 0x0040,
    kComboBox = 0x0080,
    kAnimate = 0x0100,
    kTrackbar = 0x0200,
    kUpDown = 0x0400,
    kIPAddress = 0x0800,
    kDateTime = 0x1000,
    kTreeView = 0x2000,
    kProgress = 0x4000,
    kEveryClass = 0x7FFE,
};

// The flags word of a subclassing record.
enum RecordFlag : uint32_t {
    kRepaintPending = 0x01, // the control is to be repainted on glass (a redraw message is on its way)
    kMouseTracked = 0x02,   // a themed button asked for the mouse-leave notice
    kOwnGlass = 0x20,       // the dialog paints its own glass; its procedure leaves WM_PAINT alone
    kCaretHidden = 0x40,    // an edit control's caret is hidden while a key is down
};

// Which window procedure a control gets.
enum class Proc {
    None,
    ComboBox,
    ComboBoxEx,
    Animate,
    Edit,
    ListBox,
    Static,
    ListView,
    Header,
    Button,
    Trackbar,
    UpDown,
    IPAddress,
    DateTime,
    TreeView,
    Progress,
};

struct ClassRule {
    Proc proc = Proc::None;
    uint32_t classBit = 0;
    uint32_t startFlags = 0; // OR-ed into the control's record
    // Descendants (at every level) of this class get `childProc` once the control itself is set up.
    const wchar_t* childClass = nullptr;
    Proc childProc = Proc::None;
};

// The rule for a window of class `className` and window style `style`. Names compare exactly;
// a group box (a Button of type 7) matches nothing. No match: proc None.
ClassRule MatchClass(std::wstring_view className, uint32_t style);
// The rule that a descendant walk applies.
ClassRule RuleFor(Proc proc);
// A real class name is at most 256 characters; the layer reads names into a buffer this long so
// that no longer name can be cut into one of the names above.
constexpr int kClassNameCapacity = 258;

// What a static control shows on glass, by the type bits of its style.
enum class StaticLook { Image, Fill, Frame, Text };
struct StaticDrawing {
    StaticLook look = StaticLook::Text;
    bool icon = false;       // Image: an icon (else a bitmap)
    uint32_t argb = 0;       // Fill and Frame: the colour
    bool outline = false;    // Text: WS_BORDER or SS_SUNKEN draw a black outline round the text
    uint32_t textFormat = 0; // Text: DrawText flags
};
StaticDrawing DescribeStatic(uint32_t style, uint32_t exStyle);
// The DrawText flags of a static control's text.
uint32_t StaticTextFormat(uint32_t style, uint32_t exStyle);

// A COLORREF (0x00BBGGRR) as an opaque GDI+ colour (0xAARRGGBB).
uint32_t ArgbFromColorRef(uint32_t colorRef);

// The rectangle a one-pixel outline of a box is drawn over: GDI+ pens cover the far edge, so
// width and height shrink by one.
struct OutlineBox {
    int x = 0, y = 0, width = 0, height = 0;
};
OutlineBox OutlineOf(int left, int top, int right, int bottom);

// Which themed part and state a button is drawn in (the "Button" theme class), or part 0 when the
// button type is not drawn through the theme.
struct ButtonLook {
    int part = 0;
    int state = 0;
    bool boxBesideText = false; // check boxes and radio buttons: the glyph left of the text
};
struct ButtonStatus {
    uint32_t style = 0;
    uint32_t check = 0; // BM_GETCHECK: 0 unchecked, 1 checked, 2 indeterminate
    bool enabled = true;
    bool pushed = false;
    bool hot = false;
};
ButtonLook DescribeButton(const ButtonStatus& status);

} // namespace zr_glass
