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
template <class List>
class ListHost {
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

// A header notification as the header sends it to the list.
LRESULT HeaderNotify(CListCtrl& list, UINT code, int item, HDITEMW* hdi = nullptr)
{
    NMHEADERW nm = {};
    nm.hdr.hwndFrom = list.GetHeaderCtrl()->GetSafeHwnd();
    nm.hdr.idFrom = (UINT_PTR)::GetDlgCtrlID(nm.hdr.hwndFrom);
    nm.hdr.code = code;
    nm.iItem = item;
    nm.pitem = hdi;
    return list.SendMessage(WM_NOTIFY, nm.hdr.idFrom, (LPARAM)&nm);
}

class HideColumnTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CHideColumn& list = h.list;
        list.InsertColumn(0, L"Name", LVCFMT_LEFT, 120);
        list.InsertColumn(1, L"Size", LVCFMT_LEFT, 80);
        list.InsertColumn(2, L"self", LVCFMT_LEFT, 0);
        list.InsertColumn(3, L"parent", LVCFMT_LEFT, 0);
        list.ShowColumn(2, FALSE);
        list.ShowColumn(3, FALSE);
        list.InsertItem(0, L"a rather long file name that needs room.txt");
    }
    ListHost<CHideColumn> h;
};

TEST_F(HideColumnTest, HiddenColumnsStayHiddenAndInFront)
{
    CHideColumn& list = h.list;
    EXPECT_EQ((std::vector<int>{ 3, 2, 0, 1 }), Order(list));

    // Neither the program, the divider nor a double-click on it widens a hidden column.
    EXPECT_FALSE(list.SetColumnWidth(2, 100));
    EXPECT_EQ(1, HeaderNotify(list, HDN_BEGINTRACKW, 2));
    HeaderNotify(list, HDN_DIVIDERDBLCLICKW, 3);
    EXPECT_EQ(0, list.GetColumnWidth(3));

    // A visible column dropped in front of the hidden ones lands just after them.
    HDITEMW drop = {};
    drop.mask = HDI_ORDER;
    drop.iOrder = 0;
    HeaderNotify(list, HDN_ENDDRAG, 1, &drop);
    EXPECT_EQ(2, drop.iOrder);

    // Deleting a column takes its state along: the hidden ones are now 1 and 2.
    ASSERT_TRUE(list.DeleteColumn(0));
    EXPECT_TRUE(list.IsColumnVisible(0));
    EXPECT_FALSE(list.SetColumnWidth(1, 60));
}

TEST_F(HideColumnTest, ShowingGivesBackPlaceAndWidthEvenAfterHidingTwice)
{
    CHideColumn& list = h.list;
    ASSERT_EQ(TRUE, list.ShowColumn(1, FALSE));
    EXPECT_FALSE(list.IsColumnVisible(1));
    EXPECT_EQ((std::vector<int>{ 1, 3, 2, 0 }), Order(list));
    list.ShowColumn(1, FALSE);   // hidden already: nothing to remember anew
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
    EXPECT_EQ((RowList{ { L"-3", 105 }, { L"word", 104 }, { L"9", 103 }, { L"10", 102 }, { L"4294967296", 101 },
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
