#include "look/staticcolors.h"

ZrStaticColors::ZrStaticColors(COLORREF background, COLORREF text) : m_background(background), m_text(text)
{
    m_brush.CreateSolidBrush(background);
}

void ZrStaticColors::SetBackground(COLORREF color)
{
    m_background = color;
    m_brush.DeleteObject();
    m_brush.CreateSolidBrush(color);
}

void ZrStaticColors::EnsureBrush()
{
    if (!m_brush.GetSafeHandle())
        m_brush.CreateSolidBrush(m_background);
}

HBRUSH ZrStaticColors::Apply(CDC* dc) const
{
    dc->SetBkColor(m_background);
    dc->SetTextColor(m_text);
    return (HBRUSH)m_brush.GetSafeHandle();
}

void ZrRedrawNow(CWnd& control)
{
    if (control.m_hWnd)
        control.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}
