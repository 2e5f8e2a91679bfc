// The report list of the search dialogs' file lists. Besides the visible columns it carries
// columns for the program's own use (clusters, tree items and the like), inserted with width 0 and
// hidden: the list refuses to widen them, keeps them in front of every visible column in the
// header order, and remembers each hidden column's width and place so that it can be shown again.
#pragma once
#include <vector>

#include "afxwin.h"
#include "app/colorcontrols.h"

class CHideColumn : public CListCtrl {
public:
    // Header dividers cannot make a column narrower than in the coloured lists.
    static constexpr int kMinColumnWidth = CColoredListCtrl::kMinColumnWidth;

    struct ColumnState {
        BYTE visible = 1;
        int savedWidth = 0;     // the width when the column was hidden
        int savedPosition = -1; // its header position then; -1 for a column never hidden
    };

    CHideColumn() = default;
    ~CHideColumn() override = default;

    // Hides or shows a column; hiding a hidden column or showing a visible one changes nothing.
    // FALSE for a column the list does not have.
    BOOL ShowColumn(int column, BOOL show);
    BOOL IsColumnVisible(int column) const;
    // Fits one column (or with -1 every column) to its contents; hidden columns stay as they are.
    void AutoSizeColumn(int column = -1);
    // Widens a visible column that is narrower than its title as the header draws it (text,
    // margins and the item's frame), so that the title shows whole.
    void FitColumnToTitle(int column);
    CToolTipCtrl* GetToolTips() const;

    // Header notifications arriving at the list.
    virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

protected:
    void PreSubclassWindow() override;

    virtual LRESULT OnDeleteColumn(WPARAM wParam, LPARAM lParam);
    virtual LRESULT OnInsertColumn(WPARAM wParam, LPARAM lParam);
    virtual LRESULT OnSetColumnWidth(WPARAM wParam, LPARAM lParam);
    // Each returns TRUE when it decided the notification's result.
    virtual BOOL OnHeaderBeginTrack(NMHEADERW* header, LRESULT* pResult);
    virtual BOOL OnHeaderEndDrag(NMHEADERW* header, LRESULT* pResult);
    virtual BOOL OnHeaderDividerDblClick(NMHEADERW* header, LRESULT* pResult);

    void OnKeyDown(UINT key, UINT repeat, UINT flags);
    void OnContextMenu(CWnd*, CPoint) { }

    bool IsHidden(int column) const;
    std::vector<int> HeaderOrder() const;
    void SetHeaderOrder(std::vector<int>& order);

    std::vector<ColumnState> m_columns; // one per column, in column index order

    DECLARE_MESSAGE_MAP()
};
