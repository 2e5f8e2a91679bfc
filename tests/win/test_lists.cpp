// The hideable-column list and the sort class on real list views.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "afxwin.h"
#include "app/hidecolumn.h"
#include "app/sortclass.h"

namespace {

// A report list in a top-level host, attached the way data exchange attaches a template's list.
template <class List> class ListHost {
public:
    ListHost()
    {
        LPCWSTR cls = CWnd::RegisterClassOnce(L"ZrListTestHost");
        host.CreateEx(0, cls, L"List host", WS_POPUP | WS_VISIBLE, 20, 20, 500, 300, nullptr, nullptr);
        HWND h = ::CreateWindowExW(0, L"SysListView32", L"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 480, 280,
                                   host.m_hWnd, (HMENU)1001, ::GetModuleHandleW(nullptr), nullptr);
        list.SubclassWindow(h);
    }
    ~ListHost() { host.DestroyWindow(); }
    CWnd host;
    List list;
};

std::vector<int> Order(CListCtrl& list)
{
    std::vector<int> order((size_t)list.GetHeaderCtrl()->GetItemCount());
    list.GetHeaderCtrl()->GetOrderArray(order.data(), (int)order.size());
    return order;
}

TEST(HideColumn, ShowingGivesBackPlaceAndWidthEvenAfterHidingTwice)
{
    ListHost<CHideColumn> h;
    CHideColumn& list = h.list;
    const wchar_t* names[] = { L"Name", L"Size", L"self", L"parent" };
    const int widths[] = { 120, 80, 0, 0 };
    for (int i = 0; i < 4; ++i)
        list.InsertColumn(i, names[i], LVCFMT_LEFT, widths[i]);
    list.ShowColumn(2, FALSE); // hidden columns are kept in front
    list.ShowColumn(3, FALSE);
    ASSERT_EQ(TRUE, list.ShowColumn(1, FALSE));
    EXPECT_FALSE(list.IsColumnVisible(1));
    EXPECT_EQ((std::vector<int>{ 1, 3, 2, 0 }), Order(list));
    list.ShowColumn(1, FALSE); // hidden already: nothing to remember anew
    list.SetColumnWidth(1, 300);
    list.ShowColumn(1, TRUE);
    EXPECT_EQ((std::vector<int>{ 3, 2, 0, 1 }), Order(list));
    EXPECT_EQ(80, list.GetColumnWidth(1));
    EXPECT_TRUE(list.SetColumnWidth(1, 90));
    EXPECT_FALSE(list.ShowColumn(9, FALSE));
}

using RowList = std::vector<std::pair<std::wstring, DWORD_PTR>>;

// Replaces the rows by ones whose second cell is texts[i] and item data base + i.
void Fill(CListCtrl& list, const std::vector<const wchar_t*>& texts, DWORD_PTR base)
{
    list.DeleteAllItems();
    for (int i = 0; i < (int)texts.size(); ++i) {
        list.InsertItem(i, L"row");
        list.SetItemText(i, 1, texts[(size_t)i]);
        list.SetItemData(i, base + (DWORD_PTR)i);
    }
}

// Rows of (second cell, own item data) in list order.
RowList Rows(CListCtrl& list)
{
    RowList rows;
    for (int row = 0; row < list.GetItemCount(); ++row)
        rows.emplace_back(list.GetItemText(row, 1).GetString(), list.GetItemData(row));
    return rows;
}

TEST(SortClass, SortsBy64BitNumbersOrOrdinalTextAndRestoresItemData)
{
    ListHost<CListCtrl> h;
    CListCtrl& list = h.list;
    list.InsertColumn(0, L"name", LVCFMT_LEFT, 60);
    list.InsertColumn(1, L"value", LVCFMT_LEFT, 60);
    Fill(list, { L"5000000000", L"4294967296", L"10", L"9", L"word", L"-3" }, 100);
    {
        CSortClass sort(&list, 1, TRUE);
        sort.Sort(TRUE);
    }
    EXPECT_EQ((RowList{ { L"-3", 105 },
                        { L"word", 104 },
                        { L"9", 103 },
                        { L"10", 102 },
                        { L"4294967296", 101 },
                        { L"5000000000", 100 } }),
              Rows(list));

    Fill(list, { L"b", L"B", L"a" }, 200);
    {
        CSortClass sort(&list, 1, FALSE);
        // A row added meanwhile has no sort item: it sorts as an empty text instead of failing.
        list.InsertItem(3, L"late");
        list.SetItemText(3, 1, L"z");
        list.SetItemData(3, 0);
        sort.Sort(TRUE);
    }
    EXPECT_EQ((RowList{ { L"z", 0 }, { L"B", 201 }, { L"a", 202 }, { L"b", 200 } }), Rows(list));
}

} // namespace
