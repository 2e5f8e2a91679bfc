// The control classes against real controls of a dialog made from a test template.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "wnd.h"
#include "gdi.h"
#include "msgmap.h"
#include "controls.h"
#include "test_resource.h"
#include "common/plain_dialog.h"
#include "common/ui_wait.h"

namespace {

std::wstring Text(int length, wchar_t seed)
{
    std::wstring s;
    for (int i = 0; i < length; ++i)
        s += (wchar_t)(seed + i % 23);
    return s;
}

class ControlsTest : public ::testing::Test {
protected:
    CWnd dlg;

    void SetUp() override
    {
        ASSERT_TRUE(zr_test::OpenPlainTestDialog(dlg));
        dlg.ShowWindow(SW_SHOW);
        dlg.UpdateWindow();
        zr_test::PumpPending();
    }
    void TearDown() override
    {
        if (dlg.m_hWnd)
            ::DestroyWindow(dlg.m_hWnd);
        zr_test::PumpPending();
        CWnd::DeleteTempMap();
    }
    // As the program does: a cast of the temporary CWnd for a dialog item.
    template <class T> T* Item(int id) { return (T*)dlg.GetDlgItem(id); }

    CListCtrl* List(std::initializer_list<const wchar_t*> names = {})
    {
        CListCtrl* list = Item<CListCtrl>(IDC_TEST_LIST);
        list->InsertColumn(0, L"Name", LVCFMT_LEFT, 100);
        int i = 0;
        for (const wchar_t* name : names)
            list->InsertItem(i++, name);
        return list;
    }
};

} // namespace

// Texts around the reading buffer's first size and well past 260 characters come back whole.
TEST_F(ControlsTest, ListAndTreeTextsOfAnyLength)
{
    CListCtrl* list = List();
    list->InsertColumn(1, L"Path", LVCFMT_LEFT, 100);
    CTreeCtrl* tree = Item<CTreeCtrl>(IDC_TEST_TREE);
    for (int n : { 0, 259, 261, 511, 512, 513, 5000 }) {
        int row = list->GetItemCount();
        ASSERT_EQ(row, list->InsertItem(row, Text(n, L'A').c_str()));
        ASSERT_TRUE(list->SetItemText(row, 1, Text(n * 2 + 1, L'a').c_str()));
        EXPECT_EQ(Text(n, L'A'), list->GetItemText(row, 0).Str()) << "length " << n;
        EXPECT_EQ(Text(n * 2 + 1, L'a'), list->GetItemText(row, 1).Str()) << "length " << n;

        HTREEITEM h = tree->InsertItem(L"x");
        tree->SetItemData(h, 0xBEEF0000u + (DWORD_PTR)n);
        ASSERT_TRUE(tree->SetItemText(h, Text(n + 3, L'x').c_str()));
        EXPECT_EQ(Text(n + 3, L'x'), tree->GetItemText(h).Str()) << "length " << n;
        EXPECT_EQ(0xBEEF0000u + (DWORD_PTR)n, tree->GetItemData(h)); // setting the text kept the data
    }
    wchar_t small[8]; // the buffer form stops at the buffer, terminated
    EXPECT_EQ(7, list->GetItemText(3, 0, small, 8));
    EXPECT_EQ(Text(7, L'A'), std::wstring(small));
    EXPECT_TRUE(list->DeleteAllItems());
    EXPECT_EQ(L"", list->GetItemText(0, 0).Str());

    CComboBox* combo = Item<CComboBox>(IDC_TEST_COMBO);
    std::wstring longer = Text(700, L'q');
    EXPECT_EQ(0, combo->AddString(longer.c_str()));
    EXPECT_EQ(longer, combo->GetLBText(0).Str());
    CString missing(L"stale");
    combo->GetLBText(99, missing);
    EXPECT_TRUE(missing.IsEmpty());
}

// A list view sharing image lists would leave its own check boxes behind: it gets the common
// ones, which are still hit where they are drawn; a state list of the program's own stays.
TEST_F(ControlsTest, SharedImageListsSurviveTheirListViews)
{
    CImageList images;
    ASSERT_TRUE(images.Create(16, 16, ILC_COLOR32 | ILC_MASK, 1, 1));
    images.Add(::LoadIconW(nullptr, IDI_APPLICATION));
    CListCtrl* list = List();
    list->SetExtendedStyle(LVS_EX_CHECKBOXES);
    HIMAGELIST own = list->GetImageList(LVSIL_STATE)->m_hImageList;
    list->SetImageList(&images, LVSIL_SMALL);
    CImageList* shared = list->GetImageList(LVSIL_STATE);
    ASSERT_NE(nullptr, shared);
    EXPECT_NE(own, shared->m_hImageList);

    CListCtrl other;
    ASSERT_TRUE(
        other.Create(WS_VISIBLE | LVS_REPORT | LVS_SHAREIMAGELISTS, CRect(0, 0, 100, 80), &dlg, IDC_TEST_CREATED));
    other.SetExtendedStyle(LVS_EX_CHECKBOXES);
    EXPECT_EQ(shared->m_hImageList, other.GetImageList(LVSIL_STATE)->m_hImageList);

    list->InsertItem(0, L"one", 0);
    list->SetCheck(0);
    CRect icon;
    ASSERT_TRUE(list->GetItemRect(0, &icon, LVIR_ICON));
    LVHITTESTINFO hit = {};
    hit.pt = CPoint(icon.left - shared->GetIconSize().cx / 2, icon.CenterPoint().y);
    EXPECT_EQ(0, list->HitTest(&hit));
    EXPECT_NE(0u, hit.flags & LVHT_ONITEMSTATEICON);

    // Check boxes switched off and on again (a property list that becomes a file list) leave
    // the shared images whole for every list.
    list->SetExtendedStyle(LVS_EX_GRIDLINES);
    EXPECT_EQ(2, ImageList_GetImageCount(shared->m_hImageList));
    list->SetExtendedStyle(LVS_EX_CHECKBOXES | LVS_EX_GRIDLINES);
    EXPECT_EQ(shared->m_hImageList, list->GetImageList(LVSIL_STATE)->m_hImageList);
    EXPECT_EQ(2, ImageList_GetImageCount(other.GetImageList(LVSIL_STATE)->m_hImageList));

    CImageList states;
    ASSERT_TRUE(states.Create(16, 16, ILC_COLOR32, 2, 1));
    other.SetImageList(&states, LVSIL_STATE);
    other.SetExtendedStyle(LVS_EX_CHECKBOXES | LVS_EX_GRIDLINES);
    EXPECT_EQ(states.m_hImageList, other.GetImageList(LVSIL_STATE)->m_hImageList);
    other.DestroyWindow();
    ::DestroyWindow(dlg.m_hWnd);
    zr_test::PumpPending();
    EXPECT_EQ(0, states.GetImageCount());
    EXPECT_EQ(1, images.GetImageCount());
    EXPECT_EQ(1, images.Add(::LoadIconW(nullptr, IDI_APPLICATION)));
}

// The faces are freed when replaced and with the button; pressed without a pressed face, the
// normal one is drawn.
TEST_F(ControlsTest, BitmapButtonFacesAndTheirGdiObjects)
{
    const int gdiBase = ZrGdiLiveObjects();
    {
        CBitmapButton button;
        ASSERT_TRUE(
            button.Create(L"", WS_VISIBLE | BS_OWNERDRAW, CRect(200, 5, 260, 45), &dlg, IDC_TEST_BITMAP_BUTTON));
        EXPECT_FALSE(button.LoadBitmaps(9999u));
        ASSERT_TRUE(button.LoadBitmaps(IDB_TEST_BUTTON_UP, IDB_TEST_BUTTON_DOWN));
        EXPECT_EQ(gdiBase + 2, ZrGdiLiveObjects());
        button.SetState(TRUE);
        ASSERT_TRUE(button.LoadBitmaps(IDB_TEST_BUTTON_UP));
        EXPECT_EQ(gdiBase + 1, ZrGdiLiveObjects());
        button.RedrawWindow();
    }
    EXPECT_EQ(gdiBase, ZrGdiLiveObjects());
}

// Menus, image lists, GDI objects and DCs lent for handles go with the window temporaries, their
// handles left to their owner. Under the check every test runs with, each one still held is
// emptied of its handle, and the handle's next temporary is another object.
TEST(TemporaryObjects, DeleteTempMapRetiresEveryKindAndLeavesTheHandles)
{
    CWnd::DeleteTempMap();
    const HMENU menu = ::CreatePopupMenu();
    const HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR32, 1, 1);
    const HDC dc = ::CreateCompatibleDC(nullptr);
    const HGDIOBJ pen = ::CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
    CMenu* const heldMenu = CMenu::FromHandle(menu);
    CImageList* const heldImages = CImageList::FromHandle(images);
    CDC* const heldDc = CDC::FromHandle(dc);
    CGdiObject* const heldPen = CGdiObject::FromHandle(pen);
    EXPECT_EQ(2, ZrControlsTempObjects());
    EXPECT_EQ(2, ZrGdiTempObjects());

    CWnd::DeleteTempMap();
    EXPECT_EQ(0, ZrControlsTempObjects());
    EXPECT_EQ(0, ZrGdiTempObjects());
    EXPECT_EQ(nullptr, heldMenu->m_hMenu);
    EXPECT_EQ(nullptr, heldImages->m_hImageList);
    EXPECT_EQ(nullptr, heldDc->m_hDC);
    EXPECT_EQ(nullptr, heldPen->m_hObject);
    EXPECT_TRUE(::IsMenu(menu));
    EXPECT_EQ(0, ImageList_GetImageCount(images));
    EXPECT_EQ((DWORD)OBJ_MEMDC, ::GetObjectType(dc));
    EXPECT_EQ((DWORD)OBJ_PEN, ::GetObjectType(pen));
    EXPECT_NE(heldMenu, CMenu::FromHandle(menu));
    EXPECT_NE(heldPen, CGdiObject::FromHandle(pen));

    CWnd::DeleteTempMap();
    ::DestroyMenu(menu);
    ImageList_Destroy(images);
    ::DeleteDC(dc);
    ::DeleteObject(pen);
}
