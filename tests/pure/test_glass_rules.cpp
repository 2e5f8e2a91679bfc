// The glass layer's rules: which controls it takes over, how a static's style turns into its
// drawing, and the themed state of a button.
#include <gtest/gtest.h>

#include "look/pure/glassrules.h"

namespace {

using namespace zr_glass;

TEST(GlassRules, GroupBoxesFallThroughAndDescendantWalksChain)
{
    EXPECT_EQ(Proc::None, MatchClass(L"Button", 0x50000007).proc) << "a group box";
    EXPECT_EQ(Proc::Button, MatchClass(L"Button", 0x50000003).proc) << "a check box";
    EXPECT_EQ(Proc::Button, MatchClass(L"Button", 0x5000000F).proc) << "type 15 is no group box";
    EXPECT_EQ(Proc::None, MatchClass(L"button", 0).proc) << "names compare exactly";
    EXPECT_EQ(Proc::None, MatchClass(L"msctls_trackbar3", 0).proc) << "a cut name";

    // A combo box inside a ComboBoxEx32 brings its edit field along.
    const ClassRule ex = MatchClass(L"ComboBoxEx32", 0);
    ASSERT_EQ(Proc::ComboBox, ex.childProc);
    EXPECT_STREQ(L"Edit", RuleFor(ex.childProc).childClass);
    EXPECT_EQ(Proc::Header, MatchClass(L"SysListView32", 0).childProc);
    EXPECT_EQ(kComboBox, ex.classBit) << "both combo classes answer to one bit";
}

TEST(GlassRules, StaticStylesBecomeDrawTextFlags)
{
    constexpr uint32_t DT_CENTER = 1, DT_RIGHT = 2, DT_VCENTER = 4, DT_WORDBREAK = 0x10, DT_NOPREFIX = 0x800,
                       DT_PATH_ELLIPSIS = 0x4000, DT_END_ELLIPSIS = 0x8000, DT_MODIFYSTRING = 0x10000,
                       DT_WORD_ELLIPSIS = 0x40000;
    EXPECT_EQ(DT_WORDBREAK, StaticTextFormat(0, 0)); // SS_LEFT
    EXPECT_EQ(DT_CENTER | DT_WORDBREAK, StaticTextFormat(1, 0));
    EXPECT_EQ(0u, StaticTextFormat(12, 0)) << "SS_LEFTNOWORDWRAP";
    EXPECT_EQ(DT_CENTER | DT_VCENTER, StaticTextFormat(1 | 0x200, 0)) << "SS_CENTERIMAGE drops the word break";
    EXPECT_EQ(DT_WORDBREAK | DT_END_ELLIPSIS | DT_MODIFYSTRING, StaticTextFormat(0x4000, 0));
    EXPECT_EQ(DT_WORDBREAK | DT_PATH_ELLIPSIS | DT_MODIFYSTRING, StaticTextFormat(0x8000, 0));
    EXPECT_EQ(DT_WORDBREAK | DT_WORD_ELLIPSIS | DT_MODIFYSTRING, StaticTextFormat(0xC000, 0))
        << "the word ellipsis is both ellipsis bits, not one of them";
    EXPECT_EQ(DT_RIGHT | DT_WORDBREAK | DT_NOPREFIX, StaticTextFormat(0x80, 0x1000)) << "WS_EX_RIGHT, SS_NOPREFIX";
}

TEST(GlassRules, StaticTypesPickImageFillFrameOrOutlinedText)
{
    EXPECT_EQ(StaticLook::Image, DescribeStatic(3, 0).look);
    EXPECT_TRUE(DescribeStatic(3, 0).icon);
    EXPECT_FALSE(DescribeStatic(14, 0).icon) << "SS_BITMAP";
    EXPECT_EQ(0xFF808080u, DescribeStatic(5, 0).argb) << "SS_GRAYRECT";
    const StaticDrawing frame = DescribeStatic(9, 0);
    EXPECT_EQ(StaticLook::Frame, frame.look);
    EXPECT_EQ(0xFFFFFFFFu, frame.argb);
    EXPECT_FALSE(DescribeStatic(0, 0).outline);
    EXPECT_TRUE(DescribeStatic(0x00800000, 0).outline) << "WS_BORDER";
    EXPECT_TRUE(DescribeStatic(0x1000 | 1, 0).outline) << "SS_SUNKEN";
    EXPECT_EQ(StaticLook::Text, DescribeStatic(16, 0).look) << "an etched line draws as text";
}

TEST(GlassRules, ColoursAndOutlines)
{
    EXPECT_EQ(0xFF102030u, ArgbFromColorRef(0x00302010)) << "red and blue trade places, alpha opaque";
    EXPECT_EQ(0xFF000000u, ArgbFromColorRef(0x05000000)) << "the COLORREF's top byte is dropped";
    const OutlineBox box = OutlineOf(10, 20, 110, 70);
    EXPECT_EQ(10, box.x);
    EXPECT_EQ(20, box.y);
    EXPECT_EQ(99, box.width) << "the pen covers the last column";
    EXPECT_EQ(49, box.height);
}

TEST(GlassRules, ButtonStatesFollowTheThemeParts)
{
    ButtonStatus push;
    push.style = 1; // BS_DEFPUSHBUTTON
    EXPECT_EQ(1, DescribeButton(push).part);
    EXPECT_EQ(5, DescribeButton(push).state) << "the default button";
    push.hot = true;
    EXPECT_EQ(2, DescribeButton(push).state);
    push.pushed = true;
    push.enabled = false;
    EXPECT_EQ(4, DescribeButton(push).state) << "disabled wins";

    ButtonStatus check;
    check.style = 6; // BS_AUTO3STATE
    check.check = 2;
    check.pushed = true;
    EXPECT_EQ(3, DescribeButton(check).part);
    EXPECT_EQ(11, DescribeButton(check).state) << "mixed and pressed";
    EXPECT_TRUE(DescribeButton(check).boxBesideText);

    ButtonStatus radio;
    radio.style = 9; // BS_AUTORADIOBUTTON
    radio.check = 2; // a radio button has no third state
    EXPECT_EQ(2, DescribeButton(radio).part);
    EXPECT_EQ(1, DescribeButton(radio).state);
    radio.check = 1;
    EXPECT_EQ(5, DescribeButton(radio).state);

    ButtonStatus owner;
    owner.style = 11; // BS_OWNERDRAW: the control draws itself
    EXPECT_EQ(0, DescribeButton(owner).part);
}

} // namespace
