// The shared device-page routines: the sector fields and the slider take a range beyond 32 bits
// (Basic Search, without a slider, drives the fields itself), and the results-tree selection is
// cleared only on a results tree.
#include <gtest/gtest.h>

#include "afxwin.h"
#include "app/maindlg.h"
#include "app/searchcontrols.h"
#include "app/treeclass.h"
#include "look/rangeslider.h"

namespace {

struct Page : ::testing::Test {
    CDelvaneDlg main; // only its search mode is read
    CWnd page;
    CRangeSlider slider;
    void SetUp() override
    {
        g_pMainDlg = &main;
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
        g_pMainDlg = nullptr;
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

} // namespace
