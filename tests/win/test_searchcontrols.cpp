// The shared device-page routines: the sector fields and the slider take a range beyond 32 bits
// (Basic Search, without a slider, drives the fields itself), and the results-tree selection is
// cleared only on a results tree.
#include <gtest/gtest.h>

#include "afxwin.h"
#include "app/background.h"
#include "app/maindlg.h"
#include "app/questions.h"
#include "app/searchcontrols.h"
#include "common/basic_search_fixture.h"
#include "resources/resource.h"
#include "app/treeclass.h"
#include "look/rangeslider.h"

namespace {

struct Page : ::testing::Test {
    CDelvaneDlg main; // only its search mode is read
    CWnd page;
    CRangeSlider slider;
    void SetUp() override
    {
        SetSearchHost(&main);
        ASSERT_TRUE(page.CreateEx(0, CWnd::RegisterClassOnce(L"ZrTestPage"), L"page", WS_OVERLAPPEDWINDOW, 0, 0, 400,
                                  200, nullptr, nullptr));
        for (int id : { 1211, 1212, 1213, 1214 })
            ::CreateWindowExW(0, L"EDIT", L"", WS_CHILD, 0, 0, 50, 20, page.m_hWnd, (HMENU)(INT_PTR)id, nullptr,
                              nullptr);
        ASSERT_TRUE(slider.CreateEx(0, CRangeSlider::kClassName, L"", WS_CHILD | WS_VISIBLE, CRect(0, 40, 300, 70),
                                    &page, 1300));
    }
    void TearDown() override
    {
        page.DestroyWindow();
        SetSearchHost(nullptr);
    }
};

TEST_F(Page, SectorFieldsAndSliderTakeTheRange)
{
    const uint64_t end = (1ull << 33) + 5; // beyond 32 bits
    main.SearchMode = kModeDeep;
    SetSectorRangeControls(63, end, &page);
    EXPECT_EQ(page.GetDlgItemText(1213), CString(L"63"));
    EXPECT_EQ(page.GetDlgItemText(1212), CString(L"8589934597"));
    int64_t left = 0, right = 0;
    slider.GetRange(left, right);
    EXPECT_EQ(left, 63);
    EXPECT_EQ(right, int64_t(end));
}

TEST_F(Page, SelectionClearedOnlyOnAResultsTree)
{
    CTreeClass tree;
    ASSERT_TRUE(tree.Create(WS_CHILD | WS_VISIBLE | TVS_HASLINES, CRect(0, 80, 300, 180), &page, 1400));
    ActiveTree = &tree;
    HTREEITEM top = tree.InsertItem(L"My Computer");
    tree.SelectItem(top);
    ClearTreeSelection();
    EXPECT_EQ(tree.GetSelectedItem(), top); // a device tree keeps its selection

    tree.DeleteAllItems();
    HTREEITEM root = tree.InsertItem(L"Root");
    HTREEITEM child = tree.InsertItem(L"DOCS", root);
    tree.SelectItem(child);
    SelectedTreeItem = child;
    ClearTreeSelection();
    EXPECT_EQ(tree.GetSelectedItem(), nullptr);
    EXPECT_EQ(SelectedTreeItem, nullptr);
    ActiveTree = nullptr;
}

// "Root" goes into the active tree, after what it holds; without one nothing is inserted.
TEST_F(Page, TreeRootGoesIntoTheActiveTreeOnly)
{
    ActiveTree = nullptr;
    EXPECT_EQ(nullptr, InsertTreeRoot());
    CTreeClass tree;
    ASSERT_TRUE(tree.Create(WS_CHILD | WS_VISIBLE, CRect(0, 80, 300, 180), &page, 1400));
    ActiveTree = &tree;
    tree.InsertItem(L"KXR_Miscellaneous");
    const HTREEITEM root = InsertTreeRoot();
    ASSERT_NE(nullptr, root);
    EXPECT_EQ(CString(L"Root"), tree.GetItemText(root));
    EXPECT_EQ(root, tree.GetNextSiblingItem(tree.GetRootItem()));
    int image = -1, selected = -1;
    tree.GetItemImage(root, image, selected);
    EXPECT_TRUE(image == 0 && selected == 0);
    ActiveTree = nullptr;
}

// Without glass the white area of a dialog is outlined in black, one pixel wide.
TEST_F(Page, BackgroundWithoutGlassOutlinesTheWhiteArea)
{
    CClientDC screen(&page);
    CDC dc;
    ASSERT_TRUE(dc.CreateCompatibleDC(&screen));
    CBitmap bitmap;
    ASSERT_TRUE(bitmap.CreateCompatibleBitmap(&screen, 400, 200));
    const HGDIOBJ old = dc.SelectObject(&bitmap);
    DwmApi dwm;
    const CRect inner(20, 30, 300, 150);
    const MARGINS margins{ 21, 21, 31, 31 };
    EXPECT_FALSE(DrawDialogBackground(&page, &dc, inner, margins, dwm));
    EXPECT_EQ(RGB(0, 0, 0), dc.GetPixel(inner.left, inner.top + 10));
    EXPECT_EQ(RGB(0, 0, 0), dc.GetPixel(inner.right - 1, inner.bottom - 1));
    EXPECT_EQ(RGB(255, 255, 255), dc.GetPixel(inner.left + 1, inner.top + 1));
    EXPECT_EQ(RGB(255, 255, 255), dc.GetPixel(inner.CenterPoint().x, inner.CenterPoint().y));
    dc.SelectObject(old);
}

// The file-exists question brings a minimised owner back before it asks.
TEST_F(Page, FileExistsQuestionRestoresAMinimisedOwner)
{
    page.ShowWindow(SW_MINIMIZE);
    ASSERT_TRUE(page.IsIconic());
    bool iconicWhileAsked = true;
    {
        zr_test::DialogAnswerer skip(IDC_RPL_RENAME, IDCANCEL);
        FileExistsAnswer answer;
        ShowReplaceDialog(answer, &page);
        iconicWhileAsked = page.IsIconic() != FALSE;
        EXPECT_EQ(1, skip.Count());
    }
    EXPECT_FALSE(iconicWhileAsked);
}

} // namespace
