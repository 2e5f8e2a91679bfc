// The shared device-page routines: the sector fields and the slider take a range beyond 32 bits
// (Basic Search, without a slider, drives the fields itself), the results-tree selection is
// cleared only on a results tree, and every search's drive page shows no scan and gives a group
// item's hint the whole list area.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "afxwin.h"
#include "app/background.h"
#include "app/maindlg.h"
#include "app/questions.h"
#include "app/searchcontrols.h"
#include "common/basic_search_fixture.h"
#include "common/carve_search_fixture.h"
#include "common/images.h"
#include "common/ui_wait.h"
#include "fsrecovery/deepsearch.h"
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

// Every search's drive page as it opens: nothing of a scan shows before one (its range, counters,
// Stop and progress bar). A group item's hint takes the whole list area: every label of the hint
// panel shows and no list stays under it; a drive picked then gives the area back to its
// properties.
TEST(SearchPages, TheDrivePageShowsNoScanAndAGroupHintTakesTheListArea)
{
    if (zr_test::ImagesDir().empty())
        GTEST_SKIP() << "ZR_IMAGES not set";
    zr_test::PrepareDataFiles();
    struct Search {
        const char* name;
        int mode;
        UINT templateId;
        std::function<std::unique_ptr<CSearchSession>(CDelvaneDlg&)> make;
    };
    const Search searches[] = {
        { "Basic", kModeBasic, IDD_BASIC_SEARCH, [](CDelvaneDlg& m) { return std::make_unique<CBasicSearch>(&m); } },
        { "Deep", kModeDeep, IDD_DEEP_SEARCH, [](CDelvaneDlg& m) { return std::make_unique<CDeepSearch>(&m); } },
        { "Photo", kModePhoto, IDD_PHOTO_SEARCH, [](CDelvaneDlg& m) { return std::make_unique<CRawSearch>(&m); } },
        { "Signature", kModeSignature, IDD_SIGNATURE_SEARCH,
          [](CDelvaneDlg& m) { return std::make_unique<CSigDuplicate>(CarveSearchKind::Signature, &m); } },
        { "Video", kModeVideo, IDD_VIDEO_SEARCH,
          [](CDelvaneDlg& m) { return std::make_unique<CSigDuplicate>(CarveSearchKind::Video, &m); } },
    };
    for (const Search& search : searches) {
        SCOPED_TRACE(search.name);
        CDelvaneDlg main;
        ZrMessageBoxHook previousHook = nullptr;
        zr_test::BeginSearchDialogTest(main, search.mode, previousHook);
        std::unique_ptr<CSearchSession> dlg = search.make(main);
        ASSERT_TRUE(dlg->Create(search.templateId, nullptr));
        std::unique_ptr<zr_test::DialogAnswerer> notices;
        zr_test::ShowSearchDialogUnderTest(*dlg, notices);
        EXPECT_TRUE(zr_test::PumpUntil([&] { return !dlg->DriveTreeWorkerRunning(); }, 30000));
        zr_test::PumpPending();
        const SearchDialogLayout& layout = dlg->Layout();
        const auto shown = [&](int id) { return dlg->GetDlgItem(id)->IsWindowVisible() != FALSE; };
        EXPECT_FALSE(shown(layout.progress));
        for (int id : layout.resultControls)
            EXPECT_FALSE(shown(id)) << id;

        CTreeClass& tree = dlg->DriveTree();
        const HTREEITEM drive = tree.GetChildItem(dlg->LogicalDrivesItem());
        ASSERT_NE(nullptr, drive);
        for (int round = 0; round < 2; ++round) {
            tree.SelectItem(drive);
            zr_test::PumpPending();
            for (int id : layout.hintPanel)
                EXPECT_FALSE(shown(id)) << "a drive picked: " << id;
            EXPECT_TRUE(dlg->DetailList()->IsWindowVisible());
            tree.SelectItem(tree.GetRootItem());
            zr_test::PumpPending();
            for (int id : layout.hintPanel)
                EXPECT_TRUE(shown(id)) << "My Computer: " << id;
            EXPECT_FALSE(dlg->DetailList()->IsWindowVisible());
            if (CListCtrl* volumes = dlg->FoundFileSystemList())
                EXPECT_FALSE(volumes->IsWindowVisible());
        }
        zr_test::EndSearchDialogTest(*dlg, notices, previousHook);
    }
}

} // namespace
