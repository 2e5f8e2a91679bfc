// A horizontal slider with two handles over a range of values: the search dialogs pick a start and
// an end sector with it. Dialog templates hold it as a custom control of class "MFCRangeSlider",
// which the constructor registers; data exchange attaches the object to that control.
#pragma once
#include <cstdint>

#include "afxwin.h"
#include "look/pure/rangemath.h"

// Sent to the parent on every change and every arrow key (moved or not), lParam 0; wParam: 0 the
// left end (or the range by Shift+arrow), 1 the right end, 2 the whole range. Receivers read the range back with GetRange.
extern UINT RANGE_CHANGED;

class CRangeSlider : public CWnd {
public:
    static constexpr const wchar_t* kClassName = L"MFCRangeSlider";

    // Registers the window class (once per process); throws CResourceException* if it cannot.
    CRangeSlider();
    ~CRangeSlider() override = default;

    // The bounds, in either order. The range is pulled inside them.
    void SetMinMax(double a, double b);
    // The range as given (a reversed range inside the bounds stays reversed), pulled inside the
    // bounds.
    void SetRange(double left, double right);
    // The visible sub-range, kept for callers; nothing else reads it.
    void SetVisualMinMax(double lo, double hi);
    // The range's ends as sector numbers, truncated toward zero.
    void GetRange(int64_t& left, int64_t& right) const;
    void NormalizeRange();

    const zr_slider::Range& Values() const { return m_range; }
    BOOL IsTracking() const { return m_bTracking; }

protected:
    void OnPaint();
    void OnLButtonDown(UINT flags, CPoint point);
    void OnLButtonUp(UINT flags, CPoint point);
    void OnMouseMove(UINT flags, CPoint point);
    void OnKeyDown(UINT key, UINT repeat, UINT flags);
    void OnSetFocus(CWnd* old);
    void OnKillFocus(CWnd* next);
    LRESULT OnGetDlgCode(WPARAM, LPARAM);

    // The layout for the current client size: presses and keys work before the first paint too.
    zr_slider::Layout CurrentLayout() const;
    void Notify(int wParam);
    void NotifyMoves(const zr_slider::Moves& moves);

    zr_slider::Range m_range;
    double m_VisualMin = 0.0, m_VisualMax = 1.0;
    BOOL m_bTracking = FALSE;
    int m_TrackPart = zr_slider::kNone;
    CPoint m_ClickOffset{ 0, 0 };

    DECLARE_MESSAGE_MAP()
};
