#include "app/hidecolumn.h"

#include <vsstyle.h>

#include "app/pure/listcolumns.h"
#include "look/themeapi.h"

BEGIN_MESSAGE_MAP(CHideColumn, CListCtrl)
    ON_MESSAGE(LVM_DELETECOLUMN, &CHideColumn::OnDeleteColumn)
    ON_MESSAGE(LVM_INSERTCOLUMNW, &CHideColumn::OnInsertColumn)
    ON_MESSAGE(LVM_SETCOLUMNWIDTH, &CHideColumn::OnSetColumnWidth)
    ON_WM_KEYDOWN()
    ON_WM_CONTEXTMENU()
END_MESSAGE_MAP()

void CHideColumn::PreSubclassWindow()
{
    CListCtrl::PreSubclassWindow();
    for (DWORD style : { (DWORD)LVS_EX_DOUBLEBUFFER, (DWORD)LVS_EX_FULLROWSELECT, (DWORD)LVS_EX_HEADERDRAGDROP,
                         (DWORD)LVS_EX_GRIDLINES })
        SetExtendedStyle(GetExtendedStyle() | style);
    if (HWND tips = (HWND)SendMessage(LVM_GETTOOLTIPS, 0, 0))
        ::SendMessageW(tips, TTM_ACTIVATE, FALSE, 0);
    // Columns the template or an earlier owner made count as visible.
    if (CHeaderCtrl* header = GetHeaderCtrl())
        if (m_columns.size() < (size_t)header->GetItemCount())
            m_columns.resize((size_t)header->GetItemCount());
}

bool CHideColumn::IsHidden(int column) const
{
    return column >= 0 && (size_t)column < m_columns.size() && !m_columns[(size_t)column].visible;
}

BOOL CHideColumn::IsColumnVisible(int column) const
{
    return column >= 0 && (size_t)column < m_columns.size() && m_columns[(size_t)column].visible;
}

std::vector<int> CHideColumn::HeaderOrder() const
{
    CHeaderCtrl* header = GetHeaderCtrl();
    const int count = header ? header->GetItemCount() : 0;
    std::vector<int> order((size_t)(count > 0 ? count : 0));
    if (!order.empty() && !header->GetOrderArray(order.data(), count))
        order.clear();
    return order;
}

void CHideColumn::SetHeaderOrder(std::vector<int>& order)
{
    if (!order.empty())
        SendMessage(LVM_SETCOLUMNORDERARRAY, (WPARAM)order.size(), (LPARAM)order.data());
}

BOOL CHideColumn::ShowColumn(int column, BOOL show)
{
    if (column < 0 || (size_t)column >= m_columns.size())
        return FALSE;
    ColumnState& state = m_columns[(size_t)column];
    // Hiding twice must not overwrite the width and place the column will come back with.
    if ((state.visible != 0) == (show != FALSE))
        return TRUE;
    SetRedraw(FALSE);
    std::vector<int> order = HeaderOrder();
    if (!show) {
        state.savedPosition = zr_list::MoveColumnToFront(order, column);
        SetHeaderOrder(order);
        // The width stays: the columns hidden by the program are inserted with width 0.
        state.savedWidth = GetColumnWidth(column);
        state.visible = 0;
    } else {
        zr_list::MoveColumnBack(order, column, state.savedPosition, [this](int c) { return IsHidden(c); });
        SetHeaderOrder(order);
        state.visible = 1;
        SetColumnWidth(column, state.savedWidth & 0xFFFF);
    }
    SetRedraw(TRUE);
    Invalidate();
    return TRUE;
}

void CHideColumn::AutoSizeColumn(int column)
{
    if (column != -1) {
        SetColumnWidth(column, LVSCW_AUTOSIZE);
        return;
    }
    CHeaderCtrl* header = GetHeaderCtrl();
    const int count = header ? header->GetItemCount() : 0;
    for (int c = 0; c < count; ++c)
        SetColumnWidth(c, LVSCW_AUTOSIZE); // refused for the hidden ones
}

CToolTipCtrl* CHideColumn::GetToolTips() const
{
    return static_cast<CToolTipCtrl*>(CWnd::FromHandle((HWND)SendMessage(LVM_GETTOOLTIPS, 0, 0)));
}

LRESULT CHideColumn::OnDeleteColumn(WPARAM wParam, LPARAM lParam)
{
    const LRESULT ok = DefWindowProc(LVM_DELETECOLUMN, wParam, lParam);
    if (ok && wParam < m_columns.size())
        m_columns.erase(m_columns.begin() + (ptrdiff_t)wParam);
    return ok;
}

LRESULT CHideColumn::OnInsertColumn(WPARAM wParam, LPARAM lParam)
{
    const LRESULT index = DefWindowProc(LVM_INSERTCOLUMNW, wParam, lParam);
    if (index < 0)
        return -1;
    CHeaderCtrl* header = GetHeaderCtrl();
    if (header && m_columns.size() < (size_t)header->GetItemCount()) {
        const size_t at = (size_t)index < m_columns.size() ? (size_t)index : m_columns.size();
        m_columns.insert(m_columns.begin() + (ptrdiff_t)at, ColumnState());
    }
    return index;
}

LRESULT CHideColumn::OnSetColumnWidth(WPARAM wParam, LPARAM lParam)
{
    if (IsHidden((int)wParam))
        return 0;
    return DefWindowProc(LVM_SETCOLUMNWIDTH, wParam, lParam);
}

BOOL CHideColumn::OnHeaderBeginTrack(NMHEADERW* header, LRESULT* pResult)
{
    if (!IsHidden(header->iItem))
        return FALSE;
    *pResult = 1;
    return TRUE;
}

BOOL CHideColumn::OnHeaderEndDrag(NMHEADERW* header, LRESULT*)
{
    // A column dropped among the hidden ones lands just after them; the drag goes on.
    if (header->pitem && (header->pitem->mask & HDI_ORDER)) {
        const int first = zr_list::FirstVisiblePosition(HeaderOrder(), [this](int c) { return IsHidden(c); });
        if (header->pitem->iOrder < first)
            header->pitem->iOrder = first;
    }
    return FALSE;
}

BOOL CHideColumn::OnHeaderDividerDblClick(NMHEADERW* header, LRESULT* pResult)
{
    AutoSizeColumn(header->iItem);
    *pResult = 0;
    return TRUE;
}

BOOL CHideColumn::OnNotify(WPARAM, LPARAM lParam, LRESULT* pResult)
{
    NMHDR* hdr = reinterpret_cast<NMHDR*>(lParam);
    CHeaderCtrl* header = GetHeaderCtrl();
    if (!hdr || !header || hdr->hwndFrom != header->GetSafeHwnd())
        return FALSE;
    // The A and W forms differ only in the text pointer of pitem, which nothing here reads.
    NMHEADERW* nh = reinterpret_cast<NMHEADERW*>(lParam);
    switch (hdr->code) {
    case HDN_BEGINTRACKA:
    case HDN_BEGINTRACKW:
        return OnHeaderBeginTrack(nh, pResult);
    case HDN_ENDDRAG:
        return OnHeaderEndDrag(nh, pResult);
    case HDN_DIVIDERDBLCLICKA:
    case HDN_DIVIDERDBLCLICKW:
        return OnHeaderDividerDblClick(nh, pResult);
    case HDN_ITEMCHANGINGA:
    case HDN_ITEMCHANGINGW:
        if (nh->pitem && (nh->pitem->mask & HDI_WIDTH) && nh->pitem->cxy < kMinColumnWidth) {
            *pResult = 1;
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

BOOL CHideColumn::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    if (message == WM_NOTIFY && OnNotify(wParam, lParam, pResult))
        return TRUE;
    if (message == WM_COMMAND) {
        // A menu command names a column by its id: it toggles that column.
        if (HIWORD(wParam) == 0) {
            const int column = LOWORD(wParam);
            ShowColumn(column, !IsColumnVisible(column));
        }
        *pResult = 0;
        return TRUE;
    }
    return CListCtrl::OnWndMsg(message, wParam, lParam, pResult);
}

void CHideColumn::OnKeyDown(UINT key, UINT, UINT)
{
    if (key == VK_ADD && (::GetKeyState(VK_CONTROL) & 0x8000))
        AutoSizeColumn(-1);
    else
        Default();
}

namespace {

// What a header item takes around its title besides the text's margins: the theme's content
// margins, else the item's edge, raised on every side when the items are buttons and a line at
// the right otherwise.
int TitleFrame(HWND header, HDC dc)
{
    const int edge = ::GetSystemMetrics(SM_CXEDGE);
    int frame = (::GetWindowLongW(header, GWL_STYLE) & HDS_BUTTONS) ? 2 * edge : edge;
    UxThemeApi theme;
    if (theme.Load())
        if (HTHEME data = theme.OpenThemeData(header, L"Header")) {
            const RECT bounds = { 0, 0, 200, 40 };
            RECT content = bounds;
            if (SUCCEEDED(theme.GetThemeBackgroundContentRect(data, dc, HP_HEADERITEM, HIS_NORMAL, &bounds, &content)))
                frame = (content.left - bounds.left) + (bounds.right - content.right);
            theme.CloseThemeData(data);
        }
    return frame;
}

} // namespace

void CHideColumn::FitColumnToTitle(int column)
{
    CHeaderCtrl* header = GetHeaderCtrl();
    if (header == nullptr || !IsColumnVisible(column))
        return;
    wchar_t title[260] = {};
    HDITEMW item{};
    item.mask = HDI_TEXT;
    item.pszText = title;
    item.cchTextMax = 260;
    if (!header->SendMessage(HDM_GETITEMW, WPARAM(column), LPARAM(&item)))
        return;
    const HWND h = header->GetSafeHwnd();
    HDC dc = ::GetDC(h);
    const HGDIOBJ old = ::SelectObject(dc, HGDIOBJ(header->SendMessage(WM_GETFONT)));
    SIZE text{};
    ::GetTextExtentPoint32W(dc, title, int(wcslen(title)), &text);
    const int frame = TitleFrame(h, dc);
    ::SelectObject(dc, old);
    ::ReleaseDC(h, dc);
    // The header keeps its margin on each side of the text.
    int margin = int(header->SendMessage(HDM_GETBITMAPMARGIN));
    if (margin <= 0)
        margin = 3 * ::GetSystemMetrics(SM_CXEDGE);
    const int wanted = text.cx + 2 * margin + frame;
    if (GetColumnWidth(column) < wanted)
        SetColumnWidth(column, wanted);
}
