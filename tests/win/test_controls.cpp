// The control classes against real controls of a dialog made from a test template.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "wnd.h"
#include "gdi.h"
#include "msgmap.h"
#include "controls.h"
#include "test_resource.h"

namespace {

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

void Pump()
{
    MSG m;
    while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&m);
        ::DispatchMessageW(&m);
    }
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
        Pump();
    }

    void TearDown() override
    {
        if (dlg.m_hWnd)
            ::DestroyWindow(dlg.m_hWnd);
        Pump();
        CWnd::DeleteTempMap();
    }

    // As the program does: a cast of the temporary CWnd for a dialog item.
    template <class T> T* Item(int id) { return (T*)dlg.GetDlgItem(id); }
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

int CALLBACK CompareTreeDataDescending(LPARAM a, LPARAM b, LPARAM)
{
    return a < b ? 1 : a > b ? -1 : 0;
}

HWND g_menuOwner;

// Once the popup menu is up, picks its second entry with the keyboard.
void CALLBACK ChooseSecondEntry(HWND, UINT, UINT_PTR id, DWORD)
{
    ::KillTimer(nullptr, id);
    for (WPARAM key : { (WPARAM)VK_DOWN, (WPARAM)VK_DOWN, (WPARAM)VK_RETURN }) {
        ::PostMessageW(g_menuOwner, WM_KEYDOWN, key, 1);
        ::PostMessageW(g_menuOwner, WM_KEYUP, key, 0xC0000001);
    }
}

// Ends a menu the keys did not end, so that a failure cannot hang the test.
void CALLBACK EndAnyMenu(HWND, UINT, UINT_PTR id, DWORD)
{
    ::KillTimer(nullptr, id);
    ::EndMenu();
}

} // namespace

// ---- List view -------------------------------------------------------------------------------

TEST_F(ControlsTest, ListColumnsAndHeader)
{
    CListCtrl* list = Item<CListCtrl>(IDC_TEST_LIST);
    EXPECT_EQ(0, list->InsertColumn(0, L"Name", LVCFMT_LEFT, 120));
    EXPECT_EQ(1, list->InsertColumn(1, L"Size", LVCFMT_RIGHT, 60, 1));
    EXPECT_EQ(2, list->InsertColumn(2, L"Modified"));
    CHeaderCtrl* header = list->GetHeaderCtrl();
    ASSERT_NE(nullptr, header);
    EXPECT_EQ(3, header->GetItemCount());

    wchar_t buf[32] = {};
    LVCOLUMNW col = {};
    col.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH;
    col.pszText = buf;
    col.cchTextMax = 32;
    ASSERT_TRUE(list->GetColumn(1, &col));
    EXPECT_STREQ(L"Size", buf);
    EXPECT_EQ(LVCFMT_RIGHT, col.fmt & LVCFMT_JUSTIFYMASK);
    EXPECT_EQ(60, col.cx);

    EXPECT_TRUE(list->SetColumnWidth(2, 33));
    EXPECT_EQ(33, list->GetColumnWidth(2));
    CRect r;
    ASSERT_TRUE(header->GetItemRect(1, &r));
    EXPECT_EQ(CRect(120, r.top, 180, r.bottom), r);
    EXPECT_TRUE(list->DeleteColumn(2));
    EXPECT_EQ(2, header->GetItemCount());
}

TEST_F(ControlsTest, ListTextsOfAnyLengthAndItemData)
{
    CListCtrl* list = Item<CListCtrl>(IDC_TEST_LIST);
    list->InsertColumn(0, L"Name", LVCFMT_LEFT, 100);
    list->InsertColumn(1, L"Path", LVCFMT_LEFT, 100);

    // Around the reading buffer's first size, and well past the common 260-character limit.
    const int lengths[] = { 0, 1, 259, 261, 510, 511, 512, 513, 5000 };
    int row = 0;
    for (int n : lengths) {
        std::wstring name = Text(n, L'A'), path = Text(n * 2 + 1, L'a');
        ASSERT_EQ(row, list->InsertItem(row, name.c_str()));
        ASSERT_TRUE(list->SetItemText(row, 1, path.c_str()));
        ASSERT_TRUE(list->SetItemData(row, 0xC0DE0000u + (DWORD_PTR)n));
        ++row;
    }
    ASSERT_EQ(row, list->GetItemCount());
    row = 0;
    for (int n : lengths) {
        EXPECT_EQ(Text(n, L'A'), list->GetItemText(row, 0).Str()) << "length " << n;
        EXPECT_EQ(Text(n * 2 + 1, L'a'), list->GetItemText(row, 1).Str()) << "length " << n;
        EXPECT_EQ(0xC0DE0000u + (DWORD_PTR)n, list->GetItemData(row));
        ++row;
    }
    // The buffer form stops at the buffer, terminated.
    wchar_t small[8];
    EXPECT_EQ(7, list->GetItemText(3, 0, small, 8));
    EXPECT_EQ(Text(7, L'A'), std::wstring(small));

    // An item inserted in front moves the others; data follows its item.
    EXPECT_EQ(0, list->InsertItem(0, L"first", 3));
    EXPECT_EQ(0xC0DE0000u, list->GetItemData(1));
    LVITEMW it = {};
    it.mask = LVIF_IMAGE;
    it.iItem = 0;
    ASSERT_TRUE(list->GetItem(&it));
    EXPECT_EQ(3, it.iImage);
    EXPECT_TRUE(list->DeleteItem(0));
    EXPECT_EQ(L"", list->GetItemText(0, 0).Str());
    EXPECT_TRUE(list->DeleteAllItems());
    EXPECT_EQ(0, list->GetItemCount());
    EXPECT_EQ(L"", list->GetItemText(0, 0).Str());   // no such item: empty, no hang
}

TEST_F(ControlsTest, ListCheckBoxes)
{
    CListCtrl* list = Item<CListCtrl>(IDC_TEST_LIST);
    list->InsertColumn(0, L"Name", LVCFMT_LEFT, 100);
    list->InsertItem(0, L"plain");
    // No check boxes yet: no state image, which reads as checked (see controls.h).
    EXPECT_TRUE(list->GetCheck(0));

    list->SetExtendedStyle(LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    for (int i = 1; i < 4; ++i)
        list->InsertItem(i, L"item");
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(list->GetCheck(i)) << i;
    EXPECT_TRUE(list->SetCheck(2));
    EXPECT_TRUE(list->GetCheck(2));
    EXPECT_FALSE(list->GetCheck(1));
    EXPECT_FALSE(list->GetCheck(3));
    EXPECT_EQ((UINT)INDEXTOSTATEIMAGEMASK(2), list->GetItemState(2, LVIS_STATEIMAGEMASK));
    EXPECT_TRUE(list->SetCheck(2, FALSE));
    EXPECT_FALSE(list->GetCheck(2));
    EXPECT_EQ(0u, list->GetSelectedCount());   // checking is not selecting
}

TEST_F(ControlsTest, ListFindItem)
{
    CListCtrl* list = Item<CListCtrl>(IDC_TEST_LIST);
    list->InsertColumn(0, L"Name", LVCFMT_LEFT, 100);
    const wchar_t* names[] = { L"alphabet", L"alpha", L"beta", L"Alpha" };
    for (int i = 0; i < 4; ++i) {
        list->InsertItem(i, names[i]);
        list->SetItemData(i, 100 + i);
    }
    LVFINDINFOW f = {};
    f.flags = LVFI_STRING;
    f.psz = L"alpha";
    EXPECT_EQ(1, list->FindItem(&f));       // exact: not the longer "alphabet"
    EXPECT_EQ(3, list->FindItem(&f, 1));    // searching after item 1, ignoring case
    EXPECT_EQ(-1, list->FindItem(&f, 3));
    f.flags = LVFI_PARAM;
    f.lParam = 102;
    EXPECT_EQ(2, list->FindItem(&f));
}

TEST_F(ControlsTest, ListSortsByItemDataAndByIndex)
{
    CListCtrl* list = Item<CListCtrl>(IDC_TEST_LIST);
    list->InsertColumn(0, L"Name", LVCFMT_LEFT, 100);
    const wchar_t* names[] = { L"c", L"e", L"a", L"d", L"b" };
    const LPARAM keys[] = { 3, 5, 1, 4, 2 };
    for (int i = 0; i < 5; ++i) {
        list->InsertItem(i, names[i]);
        list->SetItemData(i, (DWORD_PTR)keys[i]);
    }
    list->SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);   // "e"

    ASSERT_TRUE(list->SortItems(CompareData, 0));
    std::wstring order;
    for (int i = 0; i < 5; ++i)
        order += list->GetItemText(i, 0).Str();
    EXPECT_EQ(L"abcde", order);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ((DWORD_PTR)(i + 1), list->GetItemData(i));
    // Selection moves with its item.
    EXPECT_EQ(4, list->GetNextItem(-1, LVNI_SELECTED));

    ASSERT_TRUE(list->SortItemsEx(CompareDataByIndexDescending, (DWORD_PTR)list));
    order.clear();
    for (int i = 0; i < 5; ++i)
        order += list->GetItemText(i, 0).Str();
    EXPECT_EQ(L"edcba", order);
}

TEST_F(ControlsTest, ListSelectionIteration)
{
    CListCtrl* list = Item<CListCtrl>(IDC_TEST_LIST);
    list->InsertColumn(0, L"Name", LVCFMT_LEFT, 100);
    for (int i = 0; i < 8; ++i)
        list->InsertItem(i, L"row");
    EXPECT_EQ(nullptr, list->GetFirstSelectedItemPosition());

    for (int i : { 0, 3, 4, 7 })
        ASSERT_TRUE(list->SetItemState(i, LVIS_SELECTED, LVIS_SELECTED));
    EXPECT_EQ(4u, list->GetSelectedCount());
    std::vector<int> seen;
    POSITION pos = list->GetFirstSelectedItemPosition();
    while (pos)
        seen.push_back(list->GetNextSelectedItem(pos));
    EXPECT_EQ((std::vector<int>{ 0, 3, 4, 7 }), seen);

    EXPECT_EQ(LVIS_SELECTED, (int)list->GetItemState(3, LVIS_SELECTED | LVIS_FOCUSED) & LVIS_SELECTED);
    EXPECT_EQ(0u, list->GetItemState(2, LVIS_SELECTED));
    EXPECT_EQ(3, list->GetNextItem(0, LVNI_SELECTED));

    ASSERT_TRUE(list->SetItemState(-1, 0, LVIS_SELECTED));   // every item
    EXPECT_EQ(0u, list->GetSelectedCount());
    EXPECT_EQ(nullptr, list->GetFirstSelectedItemPosition());

    list->SetSelectionMark(5);
    EXPECT_EQ(5, list->GetSelectionMark());
}

TEST_F(ControlsTest, ListGeometryAndHitTests)
{
    CListCtrl* list = Item<CListCtrl>(IDC_TEST_LIST);
    list->InsertColumn(0, L"Name", LVCFMT_LEFT, 60);
    list->InsertColumn(1, L"Size", LVCFMT_LEFT, 50);
    for (int i = 0; i < 40; ++i) {
        list->InsertItem(i, L"row");
        list->SetItemText(i, 1, L"1 KB");
    }
    CRect r;
    ASSERT_TRUE(list->GetItemRect(2, &r, LVIR_BOUNDS));
    UINT flags = 0;
    EXPECT_EQ(2, list->HitTest(r.CenterPoint(), &flags));
    EXPECT_NE(0u, flags & LVHT_ONITEM);
    CRect sub;
    ASSERT_TRUE(list->GetSubItemRect(2, 1, LVIR_BOUNDS, sub));
    EXPECT_EQ(CRect(r.left + 60, r.top, r.left + 110, r.bottom), sub);
    LVHITTESTINFO hit = {};
    hit.pt = sub.CenterPoint();
    EXPECT_EQ(2, list->SubItemHitTest(&hit));
    EXPECT_EQ(1, hit.iSubItem);
    EXPECT_EQ(-1, list->HitTest(CPoint(r.left + 3, 10000)));

    int perPage = list->GetCountPerPage();
    EXPECT_GT(perPage, 0);
    EXPECT_TRUE(list->EnsureVisible(39, FALSE));
    EXPECT_EQ(40 - perPage, list->GetTopIndex());

    // Icon view: the spacing comes back as the previous one; positions round-trip.
    EXPECT_EQ(1, list->SetView(LV_VIEW_ICON));
    list->SetIconSpacing(90, 70);
    EXPECT_EQ(CSize(90, 70), list->SetIconSpacing(CSize(80, 60)));
    EXPECT_TRUE(list->SetItemPosition(1, CPoint(100, 50)));
    CPoint p;
    ASSERT_TRUE(list->GetItemPosition(1, &p));
    EXPECT_EQ(CPoint(100, 50), p);
}

TEST_F(ControlsTest, ListImageListsStayWithTheirObjects)
{
    CImageList images;
    ASSERT_TRUE(images.Create(16, 16, ILC_COLOR32 | ILC_MASK, 0, 4));
    HICON icon = ::LoadIconW(nullptr, IDI_APPLICATION);
    EXPECT_EQ(0, images.Add(icon));
    EXPECT_EQ(1, images.Add(icon));
    {
        CListCtrl* list = Item<CListCtrl>(IDC_TEST_LIST);
        EXPECT_EQ(nullptr, list->SetImageList(&images, LVSIL_SMALL));
        EXPECT_EQ(images.m_hImageList, list->GetImageList(LVSIL_SMALL)->m_hImageList);
        EXPECT_NE(0u, list->GetStyle() & LVS_SHAREIMAGELISTS);
        list->InsertColumn(0, L"Name", LVCFMT_LEFT, 100);
        list->InsertItem(0, L"with icon", 1);
    }
    ::DestroyWindow(dlg.m_hWnd);   // the list view goes first and must not take the list along
    Pump();
    EXPECT_EQ(2, images.GetImageCount());
    EXPECT_EQ(2, images.Add(icon));
}

TEST_F(ControlsTest, SharingListViewsUseOneCheckBoxImageList)
{
    CImageList images;
    ASSERT_TRUE(images.Create(16, 16, ILC_COLOR32 | ILC_MASK, 1, 1));
    CListCtrl* list = Item<CListCtrl>(IDC_TEST_LIST);
    list->SetExtendedStyle(LVS_EX_CHECKBOXES);
    HIMAGELIST own = list->GetImageList(LVSIL_STATE)->m_hImageList;
    ASSERT_NE(nullptr, own);
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

    // The check boxes still work, clicks included.
    list->InsertColumn(0, L"Name", LVCFMT_LEFT, 100);
    list->InsertItem(0, L"one");
    list->SetCheck(0);
    EXPECT_TRUE(list->GetCheck(0));
    CRect icon;
    ASSERT_TRUE(list->GetItemRect(0, &icon, LVIR_ICON));
    LVHITTESTINFO hit = {};
    hit.pt = CPoint(icon.left - shared->GetIconSize().cx / 2, icon.CenterPoint().y);
    EXPECT_EQ(0, list->HitTest(&hit));
    EXPECT_NE(0u, hit.flags & LVHT_ONITEMSTATEICON);

    // A state list of the program's own is left where it is.
    CImageList states;
    ASSERT_TRUE(states.Create(16, 16, ILC_COLOR32, 2, 1));
    other.SetImageList(&states, LVSIL_STATE);
    other.SetExtendedStyle(LVS_EX_CHECKBOXES | LVS_EX_GRIDLINES);
    EXPECT_EQ(states.m_hImageList, other.GetImageList(LVSIL_STATE)->m_hImageList);
    other.DestroyWindow();
    EXPECT_EQ(0, states.GetImageCount());   // still there after its list view is gone
}

// ---- Tree view -------------------------------------------------------------------------------

TEST_F(ControlsTest, TreeNavigation)
{
    CTreeCtrl* tree = Item<CTreeCtrl>(IDC_TEST_TREE);
    HTREEITEM a = tree->InsertItem(L"A");
    HTREEITEM a1 = tree->InsertItem(L"A1", a);
    HTREEITEM a3 = tree->InsertItem(L"A3", a);
    HTREEITEM a2 = tree->InsertItem(L"A2", a, a1);          // after A1
    HTREEITEM a0 = tree->InsertItem(L"A0", a, TVI_FIRST);
    HTREEITEM b = tree->InsertItem(L"B", 1, 2);             // at the root, with images
    ASSERT_TRUE(a && a0 && a1 && a2 && a3 && b);
    EXPECT_EQ(6u, tree->GetCount());

    EXPECT_EQ(a, tree->GetRootItem());
    EXPECT_EQ(b, tree->GetNextSiblingItem(a));
    EXPECT_EQ(nullptr, tree->GetNextSiblingItem(b));
    EXPECT_EQ(a0, tree->GetChildItem(a));
    EXPECT_EQ(a1, tree->GetNextSiblingItem(a0));
    EXPECT_EQ(a3, tree->GetNextItem(a2, TVGN_NEXT));
    EXPECT_EQ(a2, tree->GetPrevSiblingItem(a3));
    EXPECT_EQ(a, tree->GetParentItem(a3));
    EXPECT_EQ(nullptr, tree->GetParentItem(a));
    EXPECT_TRUE(tree->ItemHasChildren(a));
    EXPECT_FALSE(tree->ItemHasChildren(b));
    int image = -1, selected = -1;
    ASSERT_TRUE(tree->GetItemImage(b, image, selected));
    EXPECT_EQ(1, image);
    EXPECT_EQ(2, selected);

    // Visible order follows expansion.
    EXPECT_EQ(b, tree->GetNextVisibleItem(a));
    EXPECT_TRUE(tree->Expand(a, TVE_EXPAND));
    EXPECT_EQ(a0, tree->GetNextVisibleItem(a));
    EXPECT_EQ(a3, tree->GetPrevVisibleItem(b));
    EXPECT_TRUE(tree->SelectItem(a2));
    EXPECT_EQ(a2, tree->GetSelectedItem());

    EXPECT_TRUE(tree->DeleteItem(a1));
    EXPECT_EQ(a2, tree->GetNextSiblingItem(a0));
    EXPECT_TRUE(tree->DeleteItem(a));   // with its children
    EXPECT_EQ(1u, tree->GetCount());
    EXPECT_TRUE(tree->DeleteAllItems());
    EXPECT_EQ(nullptr, tree->GetRootItem());
}

TEST_F(ControlsTest, TreeTextsOfAnyLengthAndItemData)
{
    CTreeCtrl* tree = Item<CTreeCtrl>(IDC_TEST_TREE);
    const int lengths[] = { 0, 1, 261, 511, 512, 513, 5000 };
    std::vector<HTREEITEM> items;
    for (int n : lengths) {
        HTREEITEM h = tree->InsertItem(Text(n, L'K').c_str());
        ASSERT_NE(nullptr, h);
        tree->SetItemData(h, 0xBEEF0000u + (DWORD_PTR)n);
        items.push_back(h);
    }
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(Text(lengths[i], L'K'), tree->GetItemText(items[i]).Str()) << "length " << lengths[i];
        EXPECT_EQ(0xBEEF0000u + (DWORD_PTR)lengths[i], tree->GetItemData(items[i]));
    }
    std::wstring longer = Text(3000, L'x');
    ASSERT_TRUE(tree->SetItemText(items[1], longer.c_str()));
    EXPECT_EQ(longer, tree->GetItemText(items[1]).Str());
    EXPECT_EQ(0xBEEF0001u, tree->GetItemData(items[1]));   // setting the text kept the data

    HTREEITEM full = tree->InsertItem(TVIF_TEXT | TVIF_PARAM | TVIF_STATE, L"full", 0, 0, TVIS_BOLD, TVIS_BOLD,
                                      (LPARAM)42, TVI_ROOT, TVI_FIRST);
    EXPECT_EQ(full, tree->GetRootItem());
    EXPECT_EQ(42u, tree->GetItemData(full));
    EXPECT_EQ((UINT)TVIS_BOLD, tree->GetItemState(full, TVIS_BOLD));
    ASSERT_TRUE(tree->SetItemState(full, 0, TVIS_BOLD));
    EXPECT_EQ(0u, tree->GetItemState(full, TVIS_BOLD));
}

TEST_F(ControlsTest, TreeCheckBoxesAndHitTests)
{
    CTreeCtrl* tree = Item<CTreeCtrl>(IDC_TEST_TREE);
    tree->ModifyStyle(0, TVS_CHECKBOXES);
    HTREEITEM root = tree->InsertItem(L"Drive");
    HTREEITEM folder = tree->InsertItem(L"Folder", root);
    HTREEITEM file = tree->InsertItem(L"File", root);
    tree->Expand(root, TVE_EXPAND);
    tree->EnsureVisible(file);
    tree->UpdateWindow();

    for (HTREEITEM h : { root, folder, file })
        EXPECT_FALSE(tree->GetCheck(h));
    EXPECT_TRUE(tree->SetCheck(folder));
    EXPECT_TRUE(tree->GetCheck(folder));
    EXPECT_FALSE(tree->GetCheck(file));
    EXPECT_EQ((UINT)INDEXTOSTATEIMAGEMASK(2), tree->GetItemState(folder, TVIS_STATEIMAGEMASK));
    EXPECT_TRUE(tree->SetCheck(folder, FALSE));
    EXPECT_FALSE(tree->GetCheck(folder));

    // The label of an item, found through its rectangle.
    CRect label;
    ASSERT_TRUE(tree->GetItemRect(file, &label, TRUE));
    UINT flags = 0;
    EXPECT_EQ(file, tree->HitTest(label.CenterPoint(), &flags));
    EXPECT_NE(0u, flags & TVHT_ONITEMLABEL);
    CRect whole;
    ASSERT_TRUE(tree->GetItemRect(file, &whole, FALSE));
    EXPECT_LE(whole.left, label.left);
    EXPECT_GE(whole.right, label.right);

    // The check box sits just left of the label (there is no normal image list).
    CImageList* states = tree->GetImageList(TVSIL_STATE);
    ASSERT_NE(nullptr, states);
    CSize box = states->GetIconSize();
    ASSERT_GT(box.cx, 0);
    CPoint onBox(label.left - box.cx / 2, label.CenterPoint().y);
    EXPECT_EQ(file, tree->HitTest(onBox, &flags));
    EXPECT_NE(0u, flags & TVHT_ONITEMSTATEICON);

    // A click there toggles the check box, as the user would.
    // (Posted together: the control may wait in a loop of its own for the button to come up.)
    tree->PostMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(onBox.x, onBox.y));
    tree->PostMessage(WM_LBUTTONUP, 0, MAKELPARAM(onBox.x, onBox.y));
    Pump();
    EXPECT_TRUE(tree->GetCheck(file));

    // A collapsed child has no rectangle.
    tree->Expand(root, TVE_COLLAPSE);
    EXPECT_FALSE(tree->GetItemRect(file, &label, TRUE));
    EXPECT_EQ(nullptr, tree->HitTest(CPoint(-5, -5), &flags));
}

TEST_F(ControlsTest, TreeWithoutCheckBoxesReadsChecked)
{
    // A tree made at run time through the wrapper, without TVS_CHECKBOXES: its items have no state
    // image, which GetCheck reports as checked (the controls' own convention).
    CTreeCtrl tree;
    ASSERT_TRUE(tree.Create(WS_VISIBLE | WS_BORDER | TVS_HASLINES, CRect(5, 5, 120, 100), &dlg, IDC_TEST_CREATED));
    EXPECT_EQ(IDC_TEST_CREATED, tree.GetDlgCtrlID());
    HTREEITEM h = tree.InsertItem(L"item");
    EXPECT_EQ(0u, tree.GetItemState(h, TVIS_STATEIMAGEMASK));
    EXPECT_TRUE(tree.GetCheck(h));
    tree.SetCheck(h, FALSE);
    EXPECT_FALSE(tree.GetCheck(h));
}

TEST_F(ControlsTest, TreeSorting)
{
    CTreeCtrl* tree = Item<CTreeCtrl>(IDC_TEST_TREE);
    HTREEITEM parent = tree->InsertItem(L"parent");
    const wchar_t* names[] = { L"delta", L"alpha", L"charlie", L"bravo" };
    for (int i = 0; i < 4; ++i)
        tree->SetItemData(tree->InsertItem(names[i], parent), (DWORD_PTR)(10 + i));
    auto childOrder = [&] {
        std::wstring s;
        for (HTREEITEM h = tree->GetChildItem(parent); h; h = tree->GetNextSiblingItem(h))
            s += tree->GetItemText(h).Left(1).Str();
        return s;
    };
    EXPECT_TRUE(tree->SortChildren(parent));
    EXPECT_EQ(L"abcd", childOrder());

    TVSORTCB sort = {};
    sort.hParent = parent;
    sort.lpfnCompare = CompareTreeDataDescending;
    EXPECT_TRUE(tree->SortChildrenCB(&sort));
    EXPECT_EQ(L"bcad", childOrder());   // data 13, 12, 11, 10
}

// ---- Image lists -----------------------------------------------------------------------------

TEST(ImageList, StripsIconsRemovalAndOwnership)
{
    CImageList il;
    ASSERT_TRUE(il.Create(8, 8, ILC_COLOR32, 0, 4));
    EXPECT_FALSE(il.Create(8, 8, ILC_COLOR32, 0, 4));   // already holds one
    EXPECT_EQ(CSize(8, 8), il.GetIconSize());

    // A strip three images wide (blue, green, red) adds three images.
    CBitmap strip;
    std::vector<DWORD> pixels(24 * 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 24; ++x)
            pixels[(size_t)y * 24 + x] = x < 8 ? 0x000000FF : x < 16 ? 0x0000FF00 : 0x00FF0000;
    ASSERT_TRUE(strip.CreateBitmap(24, 8, 1, 32, pixels.data()));
    EXPECT_EQ(0, il.Add(&strip, (CBitmap*)nullptr));
    EXPECT_EQ(3, il.Add(::LoadIconW(nullptr, IDI_APPLICATION)));
    EXPECT_EQ(4, il.GetImageCount());

    // After removing image 0, the green one is first.
    EXPECT_TRUE(il.Remove(0));
    EXPECT_EQ(3, il.GetImageCount());
    CDC dc;
    ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
    CBitmap target;
    ASSERT_TRUE(target.CreateBitmap(8, 8, 1, 32, nullptr));
    HGDIOBJ old = dc.SelectObject(&target);
    ASSERT_TRUE(il.Draw(&dc, 0, CPoint(0, 0), ILD_NORMAL));
    EXPECT_EQ(RGB(0, 255, 0), dc.GetPixel(4, 4));
    dc.SelectObject(old);
    EXPECT_TRUE(il.RemoveAll());
    EXPECT_EQ(0, il.GetImageCount());

    HIMAGELIST h = il.Detach();
    EXPECT_FALSE(il.DeleteImageList());
    CImageList other;
    ASSERT_TRUE(other.Attach(h));
    EXPECT_TRUE(other.DeleteImageList());
}

// ---- Combo box, list box, edit, progress, static ---------------------------------------------

TEST_F(ControlsTest, ComboBox)
{
    CComboBox* combo = Item<CComboBox>(IDC_TEST_COMBO);
    EXPECT_EQ(0, combo->AddString(L"Alpha"));
    EXPECT_EQ(1, combo->AddString(L"Gamma"));
    EXPECT_EQ(1, combo->InsertString(1, L"Beta"));
    std::wstring longer = Text(700, L'q');
    EXPECT_EQ(3, combo->AddString(longer.c_str()));
    EXPECT_EQ(L"Beta", combo->GetLBText(1).Str());
    EXPECT_EQ(longer, combo->GetLBText(3).Str());
    CString missing(L"stale");
    combo->GetLBText(99, missing);
    EXPECT_TRUE(missing.IsEmpty());

    EXPECT_NE(CB_ERR, combo->SetItemData(2, 0xABCD));
    EXPECT_EQ(2, combo->FindStringExact(-1, L"gamma"));   // case-insensitive, whole text
    EXPECT_EQ(CB_ERR, combo->FindStringExact(-1, L"Gam"));
    EXPECT_EQ(2, combo->SelectString(-1, L"Gam"));
    EXPECT_EQ(L"Gamma", dlg.GetDlgItemText(IDC_TEST_COMBO).Str());
    EXPECT_EQ(3, combo->DeleteString(0));
    EXPECT_EQ(0xABCDu, combo->GetItemData(1));   // data moves with its string
}

TEST_F(ControlsTest, EditListBoxAndProgress)
{
    CEdit* edit = Item<CEdit>(IDC_TEST_EDIT);
    edit->SetWindowText(L"recovered files");
    edit->SetSel(0, 9);
    int start = -1, end = -1;
    edit->GetSel(start, end);
    EXPECT_EQ(9, end);
    EXPECT_EQ(MAKELONG(0, 9), (LONG)edit->GetSel());
    edit->ReplaceSel(L"lost");
    edit->SetLimitText(12);
    edit->SetSel(10, 10);
    edit->ReplaceSel(L" and folders");   // cut at the limit
    EXPECT_EQ(L"lost files a", edit->GetWindowText().Str());

    CListBox box;   // made at run time, through the wrapper
    ASSERT_TRUE(box.Create(WS_VISIBLE | WS_BORDER, CRect(10, 10, 110, 90), &dlg, IDC_TEST_CREATED));
    EXPECT_EQ(IDC_TEST_CREATED, box.GetDlgCtrlID());
    box.AddString(L"one");
    box.InsertString(0, L"zero");
    CString s;
    box.GetText(1, s);
    EXPECT_EQ(L"one", s.Str());
    CRect r;
    ASSERT_NE(LB_ERR, box.GetItemRect(1, &r));
    BOOL outside = TRUE;
    EXPECT_EQ(1u, box.ItemFromPoint(r.CenterPoint(), outside));
    EXPECT_FALSE(outside);

    CProgressCtrl* bar = Item<CProgressCtrl>(IDC_TEST_PROGRESS);
    bar->SetRange32(0, 100000);   // beyond 16 bits
    int lo = -1, hi = -1;
    bar->GetRange(lo, hi);
    EXPECT_EQ(100000, hi);
    EXPECT_EQ(0, bar->SetPos(70000));
    EXPECT_EQ(70000, bar->OffsetPos(50));
    EXPECT_EQ(10, bar->SetStep(100));   // the control's default step
    EXPECT_EQ(70050, bar->StepIt());
    EXPECT_EQ(70150, bar->GetPos());
    EXPECT_EQ(CLR_DEFAULT, bar->SetBarColor(RGB(0, 128, 0)));
}

// ---- Buttons ---------------------------------------------------------------------------------

namespace {

// An owner-drawn button of the program's kind: paints itself in one colour.
class SwatchButton : public CButton {
public:
    int draws = 0;
    UINT lastState = 0;
    COLORREF drawn = CLR_INVALID;
    void DrawItem(LPDRAWITEMSTRUCT dis) override
    {
        ++draws;
        lastState = dis->itemState;
        CDC dc;
        dc.Attach(dis->hDC);
        dc.FillSolidRect(&dis->rcItem, RGB(0, 0, 255));
        drawn = dc.GetPixel(CRect(dis->rcItem).CenterPoint());
        dc.Detach();
    }
};

// Records what the bitmap button's own drawing left at the centre.
class ProbedBitmapButton : public CBitmapButton {
public:
    int draws = 0;
    COLORREF centre = CLR_INVALID;
    void DrawItem(LPDRAWITEMSTRUCT dis) override
    {
        CBitmapButton::DrawItem(dis);
        ++draws;
        centre = ::GetPixel(dis->hDC, (dis->rcItem.left + dis->rcItem.right) / 2,
                            (dis->rcItem.top + dis->rcItem.bottom) / 2);
    }
};

// The plain CButton drawing, probed at the face left of the caption.
class ProbedPlainButton : public CButton {
public:
    int draws = 0;
    COLORREF face = CLR_INVALID;
    void DrawItem(LPDRAWITEMSTRUCT dis) override
    {
        CButton::DrawItem(dis);
        ++draws;
        face = ::GetPixel(dis->hDC, dis->rcItem.left + 4, (dis->rcItem.top + dis->rcItem.bottom) / 2);
    }
};

} // namespace

TEST_F(ControlsTest, OwnerDrawnButtonDrawsThroughReflection)
{
    SwatchButton button;
    ASSERT_TRUE(button.SubclassDlgItem(IDC_TEST_BUTTON, &dlg));
    button.RedrawWindow();
    EXPECT_GE(button.draws, 1);
    EXPECT_EQ(RGB(0, 0, 255), button.drawn);
    EXPECT_EQ(0u, button.lastState & ODS_SELECTED);

    int before = button.draws;
    button.SetState(TRUE);
    button.UpdateWindow();
    EXPECT_GT(button.draws, before);
    EXPECT_NE(0u, button.lastState & ODS_SELECTED);
    EXPECT_NE(0u, button.GetState() & BST_PUSHED);
    button.SetState(FALSE);
    EXPECT_EQ(BS_OWNERDRAW, button.GetButtonStyle() & BS_TYPEMASK);
}

TEST_F(ControlsTest, PlainButtonDrawsAFaceWhenNotOverridden)
{
    ProbedPlainButton button;
    ASSERT_TRUE(button.SubclassDlgItem(IDC_TEST_BUTTON, &dlg));
    button.RedrawWindow();
    EXPECT_GE(button.draws, 1);
    EXPECT_EQ(::GetSysColor(COLOR_BTNFACE), button.face);
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
        EXPECT_EQ(24, r.Width());
        EXPECT_EQ(16, r.Height());

        button.RedrawWindow();
        EXPECT_GE(button.draws, 1);
        EXPECT_EQ(RGB(0, 160, 0), button.centre);
        button.SetState(TRUE);
        button.UpdateWindow();
        EXPECT_EQ(RGB(200, 0, 0), button.centre);
        button.SetState(FALSE);
        button.UpdateWindow();
        EXPECT_EQ(RGB(0, 160, 0), button.centre);

        // Without a pressed face the normal one is shown pressed too.
        ASSERT_TRUE(button.LoadBitmaps(IDB_TEST_BUTTON_UP));
        EXPECT_EQ(gdiBase + 1, ZrGdiLiveObjects());
        button.SetState(TRUE);
        button.UpdateWindow();
        EXPECT_EQ(RGB(0, 160, 0), button.centre);
    }
    EXPECT_EQ(gdiBase, ZrGdiLiveObjects());
}

// ---- Menus -----------------------------------------------------------------------------------

TEST(Menu, BuildQueryModifyAndOwn)
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
        EXPECT_TRUE(menu.AppendMenu(MF_SEPARATOR));
        EXPECT_TRUE(menu.AppendMenu(MF_POPUP, (UINT_PTR)subHandle, L"More"));
        EXPECT_TRUE(menu.InsertMenu(0, MF_BYPOSITION | MF_STRING, 100, L"New"));
        EXPECT_EQ(4, menu.GetMenuItemCount());
        EXPECT_EQ(101u, menu.GetMenuItemID(1));
        EXPECT_EQ((UINT)-1, menu.GetMenuItemID(3));    // submenu
        CMenu* more = menu.GetSubMenu(3);
        ASSERT_NE(nullptr, more);
        EXPECT_EQ(201u, more->GetMenuItemID(0));
        EXPECT_EQ(nullptr, menu.GetSubMenu(0));

        EXPECT_EQ((UINT)MF_UNCHECKED, menu.CheckMenuItem(101, MF_CHECKED));
        EXPECT_NE(0u, menu.GetMenuState(101, MF_BYCOMMAND) & MF_CHECKED);
        EXPECT_EQ((UINT)MF_ENABLED, menu.EnableMenuItem(101, MF_GRAYED));
        EXPECT_TRUE(menu.ModifyMenu(101, MF_BYCOMMAND | MF_STRING, 102, L"Open &again"));
        CString text;
        EXPECT_EQ(11, menu.GetMenuString(102, text, MF_BYCOMMAND));
        EXPECT_EQ(L"Open &again", text.Str());

        // RemoveMenu leaves a submenu alive, to be put back.
        EXPECT_TRUE(menu.RemoveMenu(3, MF_BYPOSITION));
        EXPECT_TRUE(::IsMenu(subHandle));
        EXPECT_TRUE(menu.DeleteMenu(100, MF_BYCOMMAND));
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

TEST_F(ControlsTest, SystemMenuAndPopupTracking)
{
    CMenu* sys = dlg.GetSystemMenu(FALSE);
    ASSERT_NE(nullptr, sys);
    EXPECT_GT(sys->GetMenuItemCount(), 0);
    EXPECT_NE(0xFFFFFFFFu, sys->GetMenuState(SC_CLOSE, MF_BYCOMMAND));

    CMenu popup;
    popup.CreatePopupMenu();
    popup.AppendMenu(MF_STRING, 301, L"First");
    popup.AppendMenu(MF_STRING, 302, L"Second");
    dlg.SetForegroundWindow();
    g_menuOwner = dlg.m_hWnd;
    UINT_PTR keys = ::SetTimer(nullptr, 0, 100, ChooseSecondEntry);
    UINT_PTR guard = ::SetTimer(nullptr, 0, 3000, EndAnyMenu);
    CRect r;
    dlg.GetWindowRect(&r);
    int chosen = popup.TrackPopupMenu(TPM_RETURNCMD | TPM_LEFTALIGN | TPM_NONOTIFY, r.left + 20, r.top + 40, &dlg);
    ::KillTimer(nullptr, keys);
    ::KillTimer(nullptr, guard);
    EXPECT_EQ(302, chosen);
}

// ---- Tooltips --------------------------------------------------------------------------------

TEST_F(ControlsTest, ToolTipTools)
{
    CToolTipCtrl tip;
    ASSERT_TRUE(tip.Create(&dlg));
    EXPECT_EQ(dlg.m_hWnd, ::GetWindow(tip.m_hWnd, GW_OWNER));
    CWnd* edit = dlg.GetDlgItem(IDC_TEST_EDIT);
    ASSERT_TRUE(tip.AddTool(edit, L"Type a name"));                 // the window is the tool
    ASSERT_TRUE(tip.AddTool(&dlg, LPSTR_TEXTCALLBACKW, CRect(0, 0, 50, 50), 7));
    ASSERT_TRUE(tip.AddTool(&dlg, L"area", nullptr, 8));            // an area of the window
    EXPECT_EQ(3, tip.GetToolCount());

    CString text;
    tip.UpdateTipText(L"Renamed", edit);
    tip.GetText(text, edit);
    EXPECT_EQ(L"Renamed", text.Str());
    tip.GetText(text, &dlg, 8);
    EXPECT_EQ(L"area", text.Str());

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
    tip.SetDelayTime(TTDT_INITIAL, 123);
    EXPECT_EQ(123, tip.GetDelayTime(TTDT_INITIAL));
    EXPECT_EQ(-1, tip.SetMaxTipWidth(300));

    MSG m = {};
    m.hwnd = edit->m_hWnd;
    m.message = WM_MOUSEMOVE;
    tip.RelayEvent(&m);
    tip.DelTool(edit);
    tip.DelTool(&dlg, 7);
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
    EXPECT_EQ(images.m_hImageList, tree->GetImageList(TVSIL_NORMAL)->m_hImageList);
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

