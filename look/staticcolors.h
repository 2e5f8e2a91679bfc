// The colours a self-coloured static control answers its parent's WM_CTLCOLORSTATIC with.
#pragma once
#include "afxwin.h"

class ZrStaticColors {
public:
    ZrStaticColors(COLORREF background, COLORREF text);

    // Replaces the background brush with one of the new colour.
    void SetBackground(COLORREF color);
    void SetText(COLORREF color) { m_text = color; }
    COLORREF Background() const { return m_background; }
    COLORREF Text() const { return m_text; }
    // Sets the DC's colours and returns the background brush (null once freed).
    HBRUSH Apply(CDC* dc) const;
    // The brush, unless it exists.
    void EnsureBrush();
    void FreeBrush() { m_brush.DeleteObject(); }

private:
    CBrush m_brush;
    COLORREF m_background;
    COLORREF m_text;
};

// Repaints a control at once, background included.
void ZrRedrawNow(CWnd& control);
