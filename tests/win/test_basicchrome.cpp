// The Basic Search dialog's drawing (its panel, icon buttons and links), tick boxes and Search More
// Partitions button.

#include "common/basic_search_fixture.h"
#include "common/glass_fixture.h"
#include "common/ui_wait.h"
#include "resources/resource.h"
#include "app/devicetree.h"

#include <algorithm>

namespace {

using namespace zr_test;

TEST_F(BasicSearchTest, RepaintingTheDialogKeepsNoDrawingObjects)
{
    auto repaint = [&] {
        dlg.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        PumpPendingKeepingTemporaries();
    };
    repaint(); // the first paint may make lasting objects (font caches and such)
    const int objects = ZrGdiLiveObjects();
    const int dcs = ZrGdiLiveDCs();
    const int temps = ZrGdiTempObjects();
    const DWORD system = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
    for (int i = 0; i < 60; ++i)
        repaint();
    EXPECT_EQ(objects, ZrGdiLiveObjects());
    EXPECT_EQ(dcs, ZrGdiLiveDCs());
    EXPECT_EQ(temps, ZrGdiTempObjects());
    EXPECT_EQ(system, ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS));
}

// What an icon button shows: pixels in the grey of disabled text, and pixels whose colour is no
// grey (the icon in colour).
struct ButtonLook {
    int greyText = 0, coloured = 0;
};
ButtonLook LookOf(CWnd* button)
{
    ButtonLook look;
    for (uint32_t p : CaptureClient(button->GetSafeHwnd())) {
        const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
        look.greyText += p == 0x646464u;
        look.coloured += std::max({ r, g, b }) - std::min({ r, g, b }) > 24;
    }
    return look;
}

// The white panel is drawn under the controls on it, even when it alone is repainted; an icon
// button there shows its icon in colour while enabled, and its caption in grey with a grey copy of
// the icon while disabled.
TEST_F(BasicSearchTest, IconButtonsShowOnThePanelAndGreyOutWhenDisabled)
{
    CWnd* next = dlg.GetDlgItem(IDC_BS_NEXT);
    ASSERT_TRUE(next->IsWindowEnabled());
    // The whole dialog painted, then the panel alone (as when a part of it is uncovered).
    dlg.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpPending();
    dlg.GetDlgItem(IDC_BS_PANEL)->Invalidate();
    PumpPending();
    const ButtonLook enabled = LookOf(next);
    EXPECT_GT(enabled.coloured, 20) << "the panel was painted over the button";
    EXPECT_EQ(0, enabled.greyText);

    next->EnableWindow(FALSE);
    const ButtonLook disabled = LookOf(next);
    next->EnableWindow(TRUE);
    EXPECT_GT(disabled.greyText, 20);
    EXPECT_EQ(0, disabled.coloured);
}

// Over a link's text the pointer is the hand. Moved past the end of the text, it shrinks the link
// to its text, so that the dialog's own pointer shows there.
TEST_F(BasicSearchTest, ALinkShowsTheHandOverItsTextOnly)
{
    CWnd* link = dlg.GetDlgItem(IDC_LINK_WEB);
    CRect shown;
    link->GetWindowRect(&shown);
    CString text;
    link->GetWindowText(text);
    CSize extent;
    {
        CClientDC dc(link);
        const HGDIOBJ old = ::SelectObject(dc.GetSafeHdc(), (HGDIOBJ)link->SendMessage(WM_GETFONT));
        extent = dc.GetTextExtent(text);
        ::SelectObject(dc.GetSafeHdc(), old);
    }
    ASSERT_LT(extent.cx + 8, shown.Width()) << "no room past the text to point at";
    // The pointer moved as a mouse moves it; the window system asks the window below it.
    auto pointerAt = [&](int x) {
        ::SetCursorPos(x, shown.top + shown.Height() / 2);
        PumpUntil([] { return false; }, 200);
        return ::GetCursor();
    };
    const HCURSOR hand = ::LoadCursorW(nullptr, IDC_HAND);
    EXPECT_EQ(hand, pointerAt(shown.left + extent.cx / 2));
    pointerAt(shown.left + extent.cx + 4);
    CRect now;
    link->GetWindowRect(&now);
    EXPECT_EQ(extent.cx, now.Width());
    EXPECT_EQ(shown.Height(), now.Height());
    EXPECT_EQ(::LoadCursorW(nullptr, IDC_ARROW), pointerAt(shown.left + extent.cx + 6));
    EXPECT_EQ(hand, pointerAt(shown.left + 2));
}

// The system's check-box pictures stop at "ticked": a partly ticked folder needs a fourth.
TEST_F(BasicSearchTest, PartlyTickedFolderHasItsOwnTickBoxPicture)
{
    ScanDrive(L"X:");
    CTreeClass& tree = dlg.ResultTree();
    const HTREEITEM parent = tree.GetRootItem(), child = tree.GetChildItem(parent);
    ASSERT_TRUE(child != nullptr && tree.GetNextSiblingItem(child) != nullptr);
    auto state = [&](HTREEITEM item) { return tree.GetItemState(item, TVIS_STATEIMAGEMASK) >> 12; };
    tree.ToggleCheck(child);
    PumpPending();
    EXPECT_EQ(3u, state(parent));

    // Space ticks and unticks like a click; it never steps a box on to "partly ticked".
    ListFolder(child);
    for (UINT expected : { 1u, 2u }) {
        tree.PostMessage(WM_KEYDOWN, VK_SPACE, 0);
        PumpPending();
        EXPECT_EQ(expected, state(child));
        EXPECT_EQ(expected == 2u ? 3u : 1u, state(parent));
    }
    const HIMAGELIST states = (HIMAGELIST)tree.SendMessage(TVM_GETIMAGELIST, TVSIL_STATE, 0);
    ASSERT_NE(nullptr, states);
    EXPECT_GE(ImageList_GetImageCount(states), 4);
}

// Refused on a drive letter; on a disk, Cancel of its mode question starts nothing.
TEST_F(BasicSearchTest, SearchMorePartitionsRefusesADriveLetterAndCancelStartsNothing)
{
    SelectDrive(L"X:");
    dlg.OnBnClickedSearchMorePartitions();
    EXPECT_EQ(1u, g_boxes.size());
    EXPECT_EQ(dlg.PhysicalDrivesItem(), dlg.DriveTree().GetSelectedItem());
    EXPECT_EQ(nullptr, g_pPartitionSearchThread);

    const HTREEITEM disk = dlg.DriveTree().GetChildItem(dlg.PhysicalDrivesItem());
    ASSERT_NE(nullptr, disk);
    dlg.DriveTree().SelectItem(disk);
    PumpPending();
    {
        DialogAnswerer cancel(IDC_SMP_CONTINUE, IDCANCEL);
        dlg.OnBnClickedSearchMorePartitions();
        EXPECT_EQ(1, cancel.Count());
    }
    EXPECT_EQ(1u, g_boxes.size());
    EXPECT_EQ(nullptr, g_pPartitionSearchThread);
    EXPECT_EQ(0, main.PartitionSearchRunning.load());
    EXPECT_FALSE(dlg.GetDlgItem(IDC_BS_STOP_PARTITIONS)->IsWindowVisible());
    EXPECT_TRUE(Enabled(IDC_BS_NEXT) && dlg.DriveTree().IsWindowEnabled());
}

} // namespace
