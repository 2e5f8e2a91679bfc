#include "app/colorcontrols.h"

#include <oleauto.h>
#include <string>
#include <vector>

#include "app/pure/listsort.h"

// Dates as the user's locale writes them.
static bool ParseLocaleDate(const std::wstring& text, double* date)
{
    if (text.empty())
        return false;
    std::wstring copy = text;
    DATE d = 0;
    if (FAILED(::VarDateFromStr(&copy[0], LOCALE_USER_DEFAULT, 0, &d)))
        return false;
    *date = d;
    return true;
}

// CColoredListCtrl

BEGIN_MESSAGE_MAP(CColoredListCtrl, CListCtrl)
    ON_WM_ERASEBKGND()
    ON_NOTIFY_REFLECT(NM_CUSTOMDRAW, &CColoredListCtrl::OnNMCustomdraw)
    ON_NOTIFY_REFLECT(LVN_COLUMNCLICK, &CColoredListCtrl::OnLvnColumnclick)
END_MESSAGE_MAP()

BOOL CColoredListCtrl::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    if (message == WM_NOTIFY && OnNotify(wParam, lParam, pResult))
        return TRUE;
    return CListCtrl::OnWndMsg(message, wParam, lParam, pResult);
}

BOOL CColoredListCtrl::OnNotify(WPARAM, LPARAM lParam, LRESULT* pResult)
{
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header && (header->code == HDN_ITEMCHANGINGW || header->code == HDN_ITEMCHANGINGA)) {
        const NMHEADERW* nh = reinterpret_cast<const NMHEADERW*>(lParam);
        if (nh->pitem && (nh->pitem->mask & HDI_WIDTH) && nh->pitem->cxy < kMinColumnWidth) {
            *pResult = 1;
            return TRUE;
        }
    }
    return FALSE;
}

void CColoredListCtrl::OnNMCustomdraw(NMHDR* header, LRESULT* result)
{
    NMLVCUSTOMDRAW* cd = reinterpret_cast<NMLVCUSTOMDRAW*>(header);
    switch (cd->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        *result = CDRF_NOTIFYITEMDRAW;
        break;
    case CDDS_ITEMPREPAINT:
        cd->clrText = RGB(0, 0, 0);
        *result = CDRF_NOTIFYSUBITEMDRAW;
        break;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM:
        cd->clrTextBk = (cd->nmcd.dwItemSpec % 2 == 0) ? m_colRow1 : m_colRow2;
        *result = CDRF_DODEFAULT;
        break;
    default:
        *result = CDRF_DODEFAULT;
        break;
    }
}

BOOL CColoredListCtrl::OnEraseBkgnd(CDC* dc)
{
    CRect client;
    GetClientRect(&client);
    dc->FillSolidRect(&client, m_colRow1);
    const int count = GetItemCount();
    if (count <= 0)
        return TRUE;
    CRect first;
    if (!GetItemRect(0, &first, LVIR_BOUNDS) || first.Height() <= 0)
        return TRUE;
    const int bandHeight = first.Height();
    const int top = GetTopIndex();
    CRect topRow;
    if (top < 0 || top >= count || !GetItemRect(top, &topRow, LVIR_BOUNDS))
        return TRUE;
    // Bands past the last row keep the row height, so the stripes fill a short list's page too.
    const int last = top + GetCountPerPage() + 1;
    for (int row = top, y = topRow.top; row <= last && y < client.bottom; ++row, y += bandHeight) {
        CRect band(client.left, y, client.right, y + bandHeight);
        dc->FillSolidRect(&band, (row % 2 == 0) ? m_colRow1 : m_colRow2);
    }
    return TRUE;
}

void CColoredListCtrl::OnLvnColumnclick(NMHDR* header, LRESULT* result)
{
    const NMLISTVIEW* lv = reinterpret_cast<const NMLISTVIEW*>(header);
    const BOOL ascending = (lv->iSubItem == m_nSortColumn && m_bSortAscending) ? FALSE : TRUE;
    SortColumn(lv->iSubItem, ascending);
    *result = 0;
}

UINT CColoredListCtrl::GetRowStates(int row) const
{
    if (!IsValidRow(row))
        return 0;
    const UINT state = GetItemState(row, LVIS_SELECTED | LVIS_FOCUSED);
    UINT flags = (state & LVIS_SELECTED) ? RS_SELECTED : RS_NOT_SELECTED;
    flags |= GetCheck(row) ? RS_CHECKED : RS_NOT_CHECKED;
    flags |= (state & LVIS_FOCUSED) ? RS_FOCUSED : RS_NOT_FOCUSED;
    return flags;
}

void CColoredListCtrl::SetRowStates(int row, UINT flags)
{
    if (!IsValidRow(row))
        return;
    if (flags & RS_SELECTED)
        SetItemState(row, LVIS_SELECTED, LVIS_SELECTED);
    if (flags & RS_NOT_SELECTED)
        SetItemState(row, 0, LVIS_SELECTED);
    if (flags & RS_CHECKED) {
        SetCheck(row, TRUE);
        if (m_nSelectionRule == 2) {
            const int count = GetItemCount();
            for (int r = row + 1; r < count; ++r)
                if (GetCheck(r))
                    SetCheck(r, FALSE);
        }
    }
    if (flags & RS_NOT_CHECKED)
        SetCheck(row, FALSE);
    if (flags & RS_FOCUSED)
        SetItemState(row, LVIS_FOCUSED, LVIS_FOCUSED);
    if (flags & RS_NOT_FOCUSED)
        SetItemState(row, 0, LVIS_FOCUSED);
}

int CColoredListCtrl::FindRowWithStates(UINT flags, int after) const
{
    if (flags == 0)
        return -1;
    if (after < -1)
        after = -1;
    const UINT need = flags & ~(UINT)RS_ANY;
    const int count = GetItemCount();
    for (int row = after + 1; row < count; ++row)
        if ((GetRowStates(row) & need) == need)
            return row;
    return -1;
}

void CColoredListCtrl::SortColumn(int column, BOOL ascending)
{
    if (column < 0 || (GetStyle() & LVS_NOCOLUMNHEADER))
        return;
    CHeaderCtrl* header = GetHeaderCtrl();
    if (!header || column >= header->GetItemCount() || !(header->GetStyle() & HDS_BUTTONS))
        return;
    const int columns = header->GetItemCount();
    m_nSortColumn = column;
    m_bSortAscending = ascending ? TRUE : FALSE;

    const int count = GetItemCount();
    std::vector<std::wstring> keys((size_t)count);
    for (int row = 0; row < count; ++row)
        keys[(size_t)row] = GetItemText(row, column).GetString();
    const std::vector<int> order = zr_list::SortedRowOrder(
        count, [&](int a, int b) { return zr_list::CompareCells(keys[(size_t)a], keys[(size_t)b], ParseLocaleDate); },
        m_bSortAscending != FALSE);

    struct Row {
        DWORD_PTR data = 0;
        UINT states = 0;
        std::vector<int> images;
        std::vector<CString> texts;
    };
    std::vector<Row> rows((size_t)count);
    for (int i = 0; i < count; ++i) {
        const int src = order[(size_t)i];
        Row& r = rows[(size_t)i];
        r.data = GetItemData(src);
        r.states = GetRowStates(src);
        r.images.resize((size_t)columns);
        r.texts.resize((size_t)columns);
        for (int c = 0; c < columns; ++c) {
            LVITEMW item = {};
            item.mask = LVIF_IMAGE;
            item.iItem = src;
            item.iSubItem = c;
            r.images[(size_t)c] = GetItem(&item) ? item.iImage : 0;
            r.texts[(size_t)c] = GetItemText(src, c);
        }
    }
    for (int i = 0; i < count; ++i) {
        const Row& r = rows[(size_t)i];
        SetRowStates(i, r.states);
        SetItemData(i, r.data);
        for (int c = 0; c < columns; ++c) {
            LVITEMW item = {};
            item.mask = LVIF_IMAGE | LVIF_TEXT;
            item.iItem = i;
            item.iSubItem = c;
            item.iImage = r.images[(size_t)c];
            item.pszText = const_cast<LPWSTR>(r.texts[(size_t)c].GetString());
            SetItem(&item);
        }
    }
    if (CWnd* parent = GetParent())
        parent->SendMessage(WM_LIST_SORTED, (WPARAM)column, (LPARAM)m_bSortAscending);
}

// CColorStatic

BEGIN_MESSAGE_MAP(CColorStatic, CStatic)
    ON_WM_CTLCOLOR_REFLECT()
END_MESSAGE_MAP()

HBRUSH CColorStatic::CtlColor(CDC* dc, UINT)
{
    return m_colors.Apply(dc);
}

void CColorStatic::SetBkColor(COLORREF color)
{
    m_colors.SetBackground(color);
    ZrRedrawNow(*this);
}
