// The Basic Search dialog's own look and its Search More Partitions button on the test drives:
// repainting keeps no drawing objects, a partly ticked results folder has a picture to show, and
// Search More Partitions refuses a drive letter and asks its mode question for a disk.
#include <gtest/gtest.h>

#include "afxwin.h"
#include "app/basicsearch.h"
#include "common/basic_search_fixture.h"
#include "common/ui_wait.h"
#include "resources/resource.h"
#include "storage/driverecords.h"

namespace {

using namespace zr_test;

TEST_F(BasicSearchTest, RepaintingTheDialogKeepsNoDrawingObjects)
{
    auto repaint = [&] {
        dlg.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        PumpPending();
    };
    repaint();   // the first paint may make lasting objects (font caches and such)
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

// The system's own check-box pictures stop at "ticked": a folder with some children ticked must
// find a fourth picture in the tree's state list.
TEST_F(BasicSearchTest, PartlyTickedFolderHasItsOwnTickBoxPicture)
{
    ScanDrive(L"X:");
    CTreeClass& tree = dlg.ResultTree();
    HTREEITEM parent = nullptr;
    // The first folder (depth first) with two or more subfolders.
    std::vector<HTREEITEM> pending{ tree.GetRootItem() };
    while (!pending.empty() && parent == nullptr) {
        const HTREEITEM item = pending.back();
        pending.pop_back();
        HTREEITEM first = tree.GetChildItem(item);
        if (first != nullptr && tree.GetNextSiblingItem(first) != nullptr)
            parent = item;
        for (HTREEITEM c = first; c != nullptr; c = tree.GetNextSiblingItem(c))
            pending.push_back(c);
    }
    ASSERT_NE(nullptr, parent) << "fat32.img has a folder with two subfolders";

    const HTREEITEM child = tree.GetChildItem(parent);
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
    int cx = 0, cy = 0;
    ASSERT_TRUE(ImageList_GetIconSize(states, &cx, &cy));
    EXPECT_EQ(13, cx);
}

TEST_F(BasicSearchTest, SearchMorePartitionsOnADriveLetterPointsToThePhysicalDrives)
{
    SelectDrive(L"X:");
    dlg.OnBnClickedSearchMorePartitions();
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_EQ(0, g_boxes[0].Find(L"Select the Physical Disk (in which you want to search Partitions)"));
    EXPECT_EQ(dlg.PhysicalDrivesItem(), dlg.DriveTree().GetSelectedItem());
    EXPECT_EQ(nullptr, g_pPartitionSearchThread);
}

// Answers the partition-search mode question with Cancel and notes that it was asked.
bool g_modeQuestionSeen = false;
BOOL CALLBACK CancelModeQuestion(HWND wnd, LPARAM)
{
    if (::GetDlgItem(wnd, IDC_SMP_CONTINUE) == nullptr || !::IsWindowVisible(wnd))
        return TRUE;
    g_modeQuestionSeen = true;
    ::PostMessageW(wnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), LPARAM(::GetDlgItem(wnd, IDCANCEL)));
    return FALSE;
}
void CALLBACK CancelModeQuestionTimer(HWND, UINT, UINT_PTR, DWORD)
{
    ::EnumThreadWindows(::GetCurrentThreadId(), CancelModeQuestion, 0);
}

TEST_F(BasicSearchTest, SearchMorePartitionsOnADiskAsksTheModeAndCancelStartsNothing)
{
    const HTREEITEM disk = dlg.DriveTree().GetChildItem(dlg.PhysicalDrivesItem());
    ASSERT_NE(nullptr, disk);
    dlg.DriveTree().SelectItem(disk);
    PumpPending();

    g_modeQuestionSeen = false;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, CancelModeQuestionTimer);
    dlg.OnBnClickedSearchMorePartitions();
    ::KillTimer(nullptr, timer);

    EXPECT_TRUE(g_modeQuestionSeen);
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_EQ(nullptr, g_pPartitionSearchThread);
    EXPECT_EQ(0, main.PartitionSearchRunning.load());
    EXPECT_TRUE(dlg.GetDlgItem(IDC_BS_MORE_PARTITIONS)->IsWindowVisible());
    EXPECT_FALSE(dlg.GetDlgItem(IDC_BS_STOP_PARTITIONS)->IsWindowVisible());
    EXPECT_TRUE(Enabled(IDC_BS_NEXT));
    EXPECT_TRUE(dlg.DriveTree().IsWindowEnabled());
}

} // namespace
