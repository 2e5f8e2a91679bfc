// The Basic Search dialog's drawing, tick boxes and Search More Partitions button.

#include "common/basic_search_fixture.h"
#include "common/ui_wait.h"
#include "resources/resource.h"
#include "app/devicetree.h"

namespace {

using namespace zr_test;

TEST_F(BasicSearchTest, RepaintingTheDialogKeepsNoDrawingObjects)
{
    auto repaint = [&] {
        dlg.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        PumpPending();
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
