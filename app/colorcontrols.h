// Coloured list and label controls, attached to dialog template controls by subclassing.
#pragma once
#include "afxwin.h"
#include "look/staticcolors.h"

// A report-style list view with alternating row colours and a sort by any column that understands
// hexadecimal and decimal numbers (percentages too), dates and text.
class CColoredListCtrl : public CListCtrl {
public:
    // Sent to the parent after every sort: wParam the column, lParam 1 ascending / 0 descending.
    static constexpr UINT WM_LIST_SORTED = WM_APP + 0x2711;
    // Header dividers cannot make a column narrower than this.
    static constexpr int kMinColumnWidth = 20;

    // Row state flags: each pair says yes or no for one state.
    enum : UINT {
        RS_ANY = 1,
        RS_SELECTED = 2,
        RS_NOT_SELECTED = 4,
        RS_CHECKED = 8,
        RS_NOT_CHECKED = 16,
        RS_FOCUSED = 32,
        RS_NOT_FOCUSED = 64,
    };

    CColoredListCtrl() = default;
    ~CColoredListCtrl() override = default;

    COLORREF m_colRow1 = RGB(255, 255, 255); // rows 0, 2, 4, ...
    COLORREF m_colRow2 = RGB(255, 255, 255); // rows 1, 3, 5, ...
    // 1: several rows may be checked; 2: writing a checked row unchecks every later checked row.
    int m_nSelectionRule = 1;

    // Sorts every row by one column, rewriting the rows in place, then notifies the parent. Does
    // nothing for a column out of range, or when the list has no header buttons.
    void SortColumn(int column, BOOL ascending);
    int GetSortColumn() const { return m_nSortColumn; }
    BOOL IsSortAscending() const { return m_bSortAscending; }

    BOOL IsValidRow(int row) const { return row >= 0 && row < GetItemCount(); }
    // One flag of each pair; 0 for an invalid row.
    UINT GetRowStates(int row) const;
    // Applies each state flag present.
    void SetRowStates(int row, UINT flags);
    // The first row after `after` whose states include all of `flags` (0: none; RS_ANY: any row),
    // or -1.
    int FindRowWithStates(UINT flags, int after) const;

    // Header notifications arriving at the list: a width change below kMinColumnWidth is refused.
    // Derived lists extend this.
    virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

protected:
    BOOL OnEraseBkgnd(CDC* dc);
    void OnNMCustomdraw(NMHDR* header, LRESULT* result);
    void OnLvnColumnclick(NMHDR* header, LRESULT* result);

    int m_nSortColumn = -1;
    BOOL m_bSortAscending = TRUE;

    DECLARE_MESSAGE_MAP()
};

// A static text with its own background and text colours.
class CColorStatic : public CStatic {
public:
    CColorStatic() : m_colors(::GetSysColor(COLOR_3DFACE), RGB(0, 0, 0)) { }
    ~CColorStatic() override = default;

    // Replaces the background brush and redraws at once.
    void SetBkColor(COLORREF color);
    COLORREF GetBkColor() const { return m_colors.Background(); }
    // Takes effect at the next paint.
    void SetTextColor(COLORREF color) { m_colors.SetText(color); }
    HBRUSH CtlColor(CDC* dc, UINT ctlColor);

protected:
    // The dialog face colour and black text until the dialog sets a background.
    ZrStaticColors m_colors;

    DECLARE_MESSAGE_MAP()
};
