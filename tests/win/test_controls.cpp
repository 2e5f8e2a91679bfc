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
#include "common/ui_wait.h"

namespace {

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

std::wstring Text(int length, wchar_t seed)
{
    std::wstring s;
    for (int i = 0; i < length; ++i)
        s += (wchar_t)(seed + i % 23);
    return s;
}

// The test dialog, shown, with a plain CWnd subclassing it so that notifications from its
// controls are reflected to their objects as in the program's dialogs.
class ControlsTest : public ::testing::Test {
protected:
    CWnd dlg;

    void SetUp() override
    {
        ZrInitCommonControls();
        HWND h = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_TEST_DIALOG), nullptr,
                                      PlainDialogProc, 0);
        ASSERT_NE(nullptr, h);
        ASSERT_TRUE(dlg.SubclassWindow(h));
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

int CALLBACK CompareData(LPARAM a, LPARAM b, LPARAM)
{
    return a < b ? -1 : a > b ? 1 : 0;
}

// For SortItemsEx: the arguments are item indexes, looked up with LVM_GETITEM (the one message a
// sort callback may send); sorts by item data, descending.
int CALLBACK CompareDataByIndexDescending(LPARAM a, LPARAM b, LPARAM param)
{
    auto* list = reinterpret_cast<CListCtrl*>(param);
    int count = list->GetItemCount();
    if (a < 0 || a >= count || b < 0 || b >= count)
        return 0;   // not an index: the order comes out wrong and the test says so
    DWORD_PTR da = list->GetItemData((int)a), db = list->GetItemData((int)b);
    return da < db ? 1 : da > db ? -1 : 0;
}

} // namespace

// ---- List view -------------------------------------------------------------------------------

TEST_F(ControlsTest, ListTextsOfAnyLengthAndItemData)
{
    CListCtrl* list = List();
    list->InsertColumn(1, L"Path", LVCFMT_LEFT, 100);
    // Around the reading buffer's first size, and well past the common 260-character limit.
    const int lengths[] = { 0, 1, 259, 261, 510, 511, 512, 513, 5000 };
    for (int n : lengths) {
        int row = list->GetItemCount();
        ASSERT_EQ(row, list->InsertItem(row, Text(n, L'A').c_str()));
        ASSERT_TRUE(list->SetItemText(row, 1, Text(n * 2 + 1, L'a').c_str()));
        ASSERT_TRUE(list->SetItemData(row, 0xC0DE0000u + (DWORD_PTR)n));
        EXPECT_EQ(Text(n, L'A'), list->GetItemText(row, 0).Str()) << "length " << n;
        EXPECT_EQ(Text(n * 2 + 1, L'a'), list->GetItemText(row, 1).Str()) << "length " << n;
        EXPECT_EQ(0xC0DE0000u + (DWORD_PTR)n, list->GetItemData(row));
    }
    // The buffer form stops at the buffer, terminated.
    wchar_t small[8];
    EXPECT_EQ(7, list->GetItemText(3, 0, small, 8));
    EXPECT_EQ(Text(7, L'A'), std::wstring(small));
    EXPECT_TRUE(list->DeleteAllItems());
    EXPECT_EQ(L"", list->GetItemText(0, 0).Str());   // no such item: empty, no hang
}

TEST_F(ControlsTest, ListCheckBoxesFindAndSelection)
{
    CListCtrl* list = List({ L"alphabet" });
    // No check boxes yet: no state image, which reads as checked (see controls.h).
    EXPECT_TRUE(list->GetCheck(0));
    list->SetExtendedStyle(LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    for (const wchar_t* name : { L"alpha", L"beta", L"Alpha" })
        list->InsertItem(list->GetItemCount(), name);
    for (int i = 0; i < 4; ++i) {
        list->SetItemData(i, 100 + i);
        EXPECT_FALSE(list->GetCheck(i)) << i;
    }
    EXPECT_TRUE(list->SetCheck(2));
    EXPECT_TRUE(list->GetCheck(2));
    EXPECT_FALSE(list->GetCheck(3));
    EXPECT_TRUE(list->SetCheck(2, FALSE));
    EXPECT_FALSE(list->GetCheck(2));
    EXPECT_EQ(0u, list->GetSelectedCount());   // checking is not selecting

    LVFINDINFOW f = {};
    f.flags = LVFI_STRING;
    f.psz = L"alpha";
    EXPECT_EQ(1, list->FindItem(&f));       // exact: not the longer "alphabet"
    EXPECT_EQ(3, list->FindItem(&f, 1));    // searching after item 1, ignoring case
    EXPECT_EQ(-1, list->FindItem(&f, 3));
    f.flags = LVFI_PARAM;
    f.lParam = 102;
    EXPECT_EQ(2, list->FindItem(&f));

    EXPECT_EQ(nullptr, list->GetFirstSelectedItemPosition());
    for (int i : { 0, 3 })
        ASSERT_TRUE(list->SetItemState(i, LVIS_SELECTED, LVIS_SELECTED));
    std::vector<int> seen;
    for (POSITION pos = list->GetFirstSelectedItemPosition(); pos;)
        seen.push_back(list->GetNextSelectedItem(pos));
    EXPECT_EQ((std::vector<int>{ 0, 3 }), seen);
    ASSERT_TRUE(list->SetItemState(-1, 0, LVIS_SELECTED));   // every item
    EXPECT_EQ(0u, list->GetSelectedCount());
}

TEST_F(ControlsTest, ListSortsByItemDataAndByIndex)
{
    CListCtrl* list = List({ L"c", L"e", L"a", L"d", L"b" });
    const LPARAM keys[] = { 3, 5, 1, 4, 2 };
    for (int i = 0; i < 5; ++i)
        list->SetItemData(i, (DWORD_PTR)keys[i]);
    list->SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);   // "e"
    auto order = [&] {
        std::wstring s;
        for (int i = 0; i < 5; ++i)
            s += list->GetItemText(i, 0).Str();
        return s;
    };
    ASSERT_TRUE(list->SortItems(CompareData, 0));
    EXPECT_EQ(L"abcde", order());
    EXPECT_EQ(4, list->GetNextItem(-1, LVNI_SELECTED));   // selection moves with its item
    ASSERT_TRUE(list->SortItemsEx(CompareDataByIndexDescending, (DWORD_PTR)list));
    EXPECT_EQ(L"edcba", order());
}

TEST_F(ControlsTest, ListImageListsStayWithTheirObjects)
{
    CImageList images;
    ASSERT_TRUE(images.Create(16, 16, ILC_COLOR32 | ILC_MASK, 0, 4));
    HICON icon = ::LoadIconW(nullptr, IDI_APPLICATION);
    images.Add(icon);
    images.Add(icon);
    CListCtrl* list = List();
    EXPECT_EQ(nullptr, list->SetImageList(&images, LVSIL_SMALL));
    EXPECT_EQ(images.m_hImageList, list->GetImageList(LVSIL_SMALL)->m_hImageList);
    list->InsertItem(0, L"with icon", 1);
    ::DestroyWindow(dlg.m_hWnd);   // the list view goes first and must not take the list along
    zr_test::PumpPending();
    EXPECT_EQ(2, images.GetImageCount());
    EXPECT_EQ(2, images.Add(icon));
}

TEST_F(ControlsTest, SharingListViewsUseOneCheckBoxImageList)
{
    CImageList images;
    ASSERT_TRUE(images.Create(16, 16, ILC_COLOR32 | ILC_MASK, 1, 1));
    CListCtrl* list = List();
    list->SetExtendedStyle(LVS_EX_CHECKBOXES);
    HIMAGELIST own = list->GetImageList(LVSIL_STATE)->m_hImageList;
    list->SetImageList(&images, LVSIL_SMALL);
    // Sharing now, the control would leave its own check boxes behind: it was moved to the common ones.
    CImageList* shared = list->GetImageList(LVSIL_STATE);
    ASSERT_NE(nullptr, shared);
    EXPECT_NE(own, shared->m_hImageList);
    EXPECT_GE(shared->GetImageCount(), 2);

    // Same for a list view that shares first and gets check boxes afterwards.
    CListCtrl other;
    ASSERT_TRUE(other.Create(WS_VISIBLE | LVS_REPORT | LVS_SHAREIMAGELISTS, CRect(0, 0, 100, 80), &dlg, IDC_TEST_CREATED));
    other.SetExtendedStyle(LVS_EX_CHECKBOXES);
    EXPECT_EQ(shared->m_hImageList, other.GetImageList(LVSIL_STATE)->m_hImageList);

    // The check boxes are still hit where they are drawn.
    list->InsertItem(0, L"one");
    list->SetCheck(0);
    EXPECT_TRUE(list->GetCheck(0));
    CRect icon;
    ASSERT_TRUE(list->GetItemRect(0, &icon, LVIR_ICON));
    LVHITTESTINFO hit = {};
    hit.pt = CPoint(icon.left - shared->GetIconSize().cx / 2, icon.CenterPoint().y);
    EXPECT_EQ(0, list->HitTest(&hit));
    EXPECT_NE(0u, hit.flags & LVHT_ONITEMSTATEICON);

    // A state list of the program's own is left where it is, and alive after its list view.
    CImageList states;
    ASSERT_TRUE(states.Create(16, 16, ILC_COLOR32, 2, 1));
    other.SetImageList(&states, LVSIL_STATE);
    other.SetExtendedStyle(LVS_EX_CHECKBOXES | LVS_EX_GRIDLINES);
    EXPECT_EQ(states.m_hImageList, other.GetImageList(LVSIL_STATE)->m_hImageList);
    other.DestroyWindow();
    EXPECT_EQ(0, states.GetImageCount());
}

// ---- Tree view -------------------------------------------------------------------------------

TEST_F(ControlsTest, TreeNavigationTextsAndData)
{
    CTreeCtrl* tree = Item<CTreeCtrl>(IDC_TEST_TREE);
    HTREEITEM a = tree->InsertItem(L"A");
    HTREEITEM a1 = tree->InsertItem(L"A1", a);
    HTREEITEM a3 = tree->InsertItem(L"A3", a);
    HTREEITEM a2 = tree->InsertItem(L"A2", a, a1);          // after A1
    HTREEITEM a0 = tree->InsertItem(L"A0", a, TVI_FIRST);
    HTREEITEM b = tree->InsertItem(L"B");
    ASSERT_TRUE(a && a0 && a1 && a2 && a3 && b);

    EXPECT_EQ(b, tree->GetNextSiblingItem(a));
    EXPECT_EQ(a0, tree->GetChildItem(a));
    EXPECT_EQ(a1, tree->GetNextSiblingItem(a0));
    EXPECT_EQ(a2, tree->GetPrevSiblingItem(a3));
    EXPECT_EQ(a, tree->GetParentItem(a3));
    // Visible order follows expansion.
    EXPECT_EQ(b, tree->GetNextVisibleItem(a));
    EXPECT_TRUE(tree->Expand(a, TVE_EXPAND));
    EXPECT_EQ(a0, tree->GetNextVisibleItem(a));
    EXPECT_EQ(a3, tree->GetPrevVisibleItem(b));
    EXPECT_TRUE(tree->DeleteItem(a));   // with its children
    EXPECT_EQ(1u, tree->GetCount());

    for (int n : { 0, 261, 511, 512, 513, 5000 }) {
        HTREEITEM h = tree->InsertItem(Text(n, L'K').c_str());
        tree->SetItemData(h, 0xBEEF0000u + (DWORD_PTR)n);
        EXPECT_EQ(Text(n, L'K'), tree->GetItemText(h).Str()) << "length " << n;
        ASSERT_TRUE(tree->SetItemText(h, Text(n + 3, L'x').c_str()));
        EXPECT_EQ(Text(n + 3, L'x'), tree->GetItemText(h).Str()) << "length " << n;
        EXPECT_EQ(0xBEEF0000u + (DWORD_PTR)n, tree->GetItemData(h));   // setting the text kept the data
    }
}

TEST_F(ControlsTest, TreeCheckBoxesAndStateImageHitTest)
{
    CTreeCtrl* tree = Item<CTreeCtrl>(IDC_TEST_TREE);
    tree->ModifyStyle(0, TVS_CHECKBOXES);
    HTREEITEM root = tree->InsertItem(L"Drive");
    HTREEITEM folder = tree->InsertItem(L"Folder", root);
    HTREEITEM file = tree->InsertItem(L"File", root);
    tree->Expand(root, TVE_EXPAND);
    tree->UpdateWindow();

    for (HTREEITEM h : { root, folder, file })
        EXPECT_FALSE(tree->GetCheck(h));
    EXPECT_TRUE(tree->SetCheck(folder));
    EXPECT_TRUE(tree->GetCheck(folder));
    EXPECT_FALSE(tree->GetCheck(file));

    CRect label;
    ASSERT_TRUE(tree->GetItemRect(file, &label, TRUE));
    UINT flags = 0;
    // The check box sits just left of the label (there is no normal image list).
    CImageList* states = tree->GetImageList(TVSIL_STATE);
    ASSERT_NE(nullptr, states);
    CPoint onBox(label.left - states->GetIconSize().cx / 2, label.CenterPoint().y);
    EXPECT_EQ(file, tree->HitTest(onBox, &flags));
    EXPECT_NE(0u, flags & TVHT_ONITEMSTATEICON);
    // A click there toggles the check box. (Posted together: the control may wait in a loop of
    // its own for the button to come up.)
    tree->PostMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(onBox.x, onBox.y));
    tree->PostMessage(WM_LBUTTONUP, 0, MAKELPARAM(onBox.x, onBox.y));
    zr_test::PumpPending();
    EXPECT_TRUE(tree->GetCheck(file));

    // Without TVS_CHECKBOXES an item has no state image, which reads as checked.
    CTreeCtrl plain;
    ASSERT_TRUE(plain.Create(WS_VISIBLE | TVS_HASLINES, CRect(5, 5, 120, 100), &dlg, IDC_TEST_CREATED));
    HTREEITEM h = plain.InsertItem(L"item");
    EXPECT_TRUE(plain.GetCheck(h));
    plain.SetCheck(h, FALSE);
    EXPECT_FALSE(plain.GetCheck(h));
}

// ---- Image lists, combo box, edit, progress --------------------------------------------------

TEST(ImageList, StripsAndOwnership)
{
    CImageList il;
    ASSERT_TRUE(il.Create(8, 8, ILC_COLOR32, 0, 4));
    EXPECT_FALSE(il.Create(8, 8, ILC_COLOR32, 0, 4));   // already holds one

    // A strip three images wide adds three images.
    CBitmap strip;
    ASSERT_TRUE(strip.CreateBitmap(24, 8, 1, 32, nullptr));
    EXPECT_EQ(0, il.Add(&strip, (CBitmap*)nullptr));
    EXPECT_EQ(3, il.GetImageCount());

    HIMAGELIST h = il.Detach();
    EXPECT_FALSE(il.DeleteImageList());
    CImageList other;
    ASSERT_TRUE(other.Attach(h));
    EXPECT_TRUE(other.DeleteImageList());
}

TEST_F(ControlsTest, ComboTextsAndProgressRange)
{
    CComboBox* combo = Item<CComboBox>(IDC_TEST_COMBO);
    combo->AddString(L"Alpha");
    combo->AddString(L"Gamma");
    std::wstring longer = Text(700, L'q');
    EXPECT_EQ(2, combo->AddString(longer.c_str()));
    EXPECT_EQ(longer, combo->GetLBText(2).Str());
    CString missing(L"stale");
    combo->GetLBText(99, missing);
    EXPECT_TRUE(missing.IsEmpty());

    CProgressCtrl* bar = Item<CProgressCtrl>(IDC_TEST_PROGRESS);
    bar->SetRange32(0, 100000);   // beyond 16 bits
    int lo = -1, hi = -1;
    bar->GetRange(lo, hi);
    EXPECT_EQ(100000, hi);
}

// ---- Buttons ---------------------------------------------------------------------------------

namespace {

// An owner-drawn button of the program's kind: paints itself in one colour.
class SwatchButton : public CButton {
public:
    int draws = 0;
    void DrawItem(LPDRAWITEMSTRUCT dis) override
    {
        ++draws;
        ::FillRect(dis->hDC, &dis->rcItem, (HBRUSH)::GetStockObject(BLACK_BRUSH));
    }
};

// Records what the bitmap button's own drawing left at the centre.
class ProbedBitmapButton : public CBitmapButton {
public:
    COLORREF centre = CLR_INVALID;
    void DrawItem(LPDRAWITEMSTRUCT dis) override
    {
        CBitmapButton::DrawItem(dis);
        centre = ::GetPixel(dis->hDC, (dis->rcItem.left + dis->rcItem.right) / 2,
                            (dis->rcItem.top + dis->rcItem.bottom) / 2);
    }
};

} // namespace

TEST_F(ControlsTest, OwnerDrawnButtonDrawsThroughReflection)
{
    SwatchButton button;
    ASSERT_TRUE(button.SubclassDlgItem(IDC_TEST_BUTTON, &dlg));
    button.RedrawWindow();
    EXPECT_GE(button.draws, 1);
    int before = button.draws;
    button.SetState(TRUE);   // a pressed look is drawn by the object too
    button.UpdateWindow();
    EXPECT_GT(button.draws, before);
}

TEST_F(ControlsTest, BitmapButtonShowsNormalAndPressedFaces)
{
    const int gdiBase = ZrGdiLiveObjects();
    {
        ProbedBitmapButton button;
        ASSERT_TRUE(button.Create(L"", WS_VISIBLE | BS_OWNERDRAW, CRect(200, 5, 260, 45), &dlg,
                                  IDC_TEST_BITMAP_BUTTON));
        EXPECT_FALSE(button.LoadBitmaps(9999u));   // no such resource
        ASSERT_TRUE(button.LoadBitmaps(IDB_TEST_BUTTON_UP, IDB_TEST_BUTTON_DOWN));
        EXPECT_EQ(gdiBase + 2, ZrGdiLiveObjects());
        button.SizeToContent();
        CRect r;
        button.GetWindowRect(&r);
        EXPECT_EQ(CSize(24, 16), r.Size());

        button.RedrawWindow();
        EXPECT_EQ(RGB(0, 160, 0), button.centre);
        button.SetState(TRUE);
        button.UpdateWindow();
        EXPECT_EQ(RGB(200, 0, 0), button.centre);

        // Without a pressed face the normal one is shown pressed too; the old faces are freed.
        ASSERT_TRUE(button.LoadBitmaps(IDB_TEST_BUTTON_UP));
        EXPECT_EQ(gdiBase + 1, ZrGdiLiveObjects());
        button.RedrawWindow();
        EXPECT_EQ(RGB(0, 160, 0), button.centre);
    }
    EXPECT_EQ(gdiBase, ZrGdiLiveObjects());
}

// ---- Menus, tooltips, temporaries ------------------------------------------------------------

TEST(Menu, SubmenusAndAttachedMenusAreOwned)
{
    HMENU subHandle;
    HMENU menuHandle;
    {
        CMenu menu;
        ASSERT_TRUE(menu.CreatePopupMenu());
        menuHandle = menu.m_hMenu;
        CMenu sub;
        ASSERT_TRUE(sub.CreatePopupMenu());
        sub.AppendMenu(MF_STRING, 201, L"Deep");
        subHandle = sub.Detach();   // the popup will own it
        EXPECT_TRUE(menu.AppendMenu(MF_STRING, 101, L"&Open"));
        EXPECT_TRUE(menu.AppendMenu(MF_POPUP, (UINT_PTR)subHandle, L"More"));
        EXPECT_EQ(201u, menu.GetSubMenu(1)->GetMenuItemID(0));
        EXPECT_EQ(nullptr, menu.GetSubMenu(0));
        // RemoveMenu leaves a submenu alive, to be put back.
        EXPECT_TRUE(menu.RemoveMenu(1, MF_BYPOSITION));
        EXPECT_TRUE(::IsMenu(subHandle));
        EXPECT_TRUE(menu.AppendMenu(MF_POPUP, (UINT_PTR)subHandle, L"More"));
    }
    EXPECT_FALSE(::IsMenu(menuHandle));   // destroyed with its object...
    EXPECT_FALSE(::IsMenu(subHandle));    // ...and its submenu with it
    CWnd::DeleteTempMap();
    EXPECT_EQ(0, ZrControlsTempObjects());

    CMenu kept;
    kept.CreateMenu();
    HMENU h = kept.Detach();
    {
        CMenu again;
        again.Attach(h);
    }
    EXPECT_FALSE(::IsMenu(h));   // attached means owned
}

TEST_F(ControlsTest, ToolTipTools)
{
    CToolTipCtrl tip;
    ASSERT_TRUE(tip.Create(&dlg));
    CWnd* edit = dlg.GetDlgItem(IDC_TEST_EDIT);
    ASSERT_TRUE(tip.AddTool(edit, L"Type a name"));                 // the window is the tool
    ASSERT_TRUE(tip.AddTool(&dlg, L"area", nullptr, 8));            // an area of the window

    // A tool without a rectangle covers the window's client area.
    TTTOOLINFOW ti = {};
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.hwnd = dlg.m_hWnd;
    ti.uId = 8;
    ASSERT_TRUE(tip.SendMessage(TTM_GETTOOLINFOW, 0, (LPARAM)&ti));
    CRect client;
    dlg.GetClientRect(&client);
    EXPECT_EQ(client, CRect(ti.rect));

    tip.SetDelayTime(1000);   // all three from one: the tip stays ten times as long
    EXPECT_EQ(10000, tip.GetDelayTime(TTDT_AUTOPOP));
    tip.DelTool(edit);
    EXPECT_EQ(1, tip.GetToolCount());
}

TEST_F(ControlsTest, TemporariesAreReleasedAtIdle)
{
    CWnd::DeleteTempMap();
    CTreeCtrl* tree = Item<CTreeCtrl>(IDC_TEST_TREE);
    CImageList images;
    ASSERT_TRUE(images.Create(16, 16, ILC_COLOR32 | ILC_MASK, 2, 2));
    images.Add(::LoadIconW(nullptr, IDI_APPLICATION));
    EXPECT_EQ(nullptr, tree->SetImageList(&images, TVSIL_NORMAL));
    CImageList* previous = tree->SetImageList(nullptr, TVSIL_NORMAL);
    ASSERT_NE(nullptr, previous);
    EXPECT_EQ(images.m_hImageList, previous->m_hImageList);
    dlg.GetSystemMenu(FALSE);
    EXPECT_EQ(2, ZrControlsTempObjects());
    CWnd::DeleteTempMap();
    EXPECT_EQ(0, ZrControlsTempObjects());
    EXPECT_EQ(1, images.GetImageCount());   // the temporaries left the list alone
    EXPECT_TRUE(::IsMenu(::GetSystemMenu(dlg.m_hWnd, FALSE)));
}
