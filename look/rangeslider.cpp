#include "look/rangeslider.h"

#include <utility>

#include "look/memorydc.h"

// Registered during static initialisation, before any window exists, so every dialog's message
// map can compare against it.
UINT RANGE_CHANGED = ::RegisterWindowMessageW(L"RANGE_CHANGED{2E7439A4-12DB-42a2-BB95-3462B3EC39CE}CRangeSlider");

BEGIN_MESSAGE_MAP(CRangeSlider, CWnd)
    ON_WM_PAINT()
    ON_WM_LBUTTONDOWN()
    ON_WM_LBUTTONUP()
    ON_WM_MOUSEMOVE()
    ON_WM_KILLFOCUS()
    ON_WM_KEYDOWN()
    ON_WM_SETFOCUS()
    ON_MESSAGE(WM_GETDLGCODE, &CRangeSlider::OnGetDlgCode)
END_MESSAGE_MAP()

CRangeSlider::CRangeSlider()
{
    // The dialog objects exist before their windows, so the class is there when a template
    // creates the control.
    if (!CWnd::RegisterClassOnce(kClassName, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, ::LoadCursorW(nullptr, IDC_ARROW)))
        AfxThrowResourceException();
}

void CRangeSlider::Notify(int wParam)
{
    if (!m_hWnd)
        return;
    if (CWnd* parent = GetParent())
        parent->SendMessage(RANGE_CHANGED, (WPARAM)wParam, 0);
}

void CRangeSlider::NotifyMoves(const zr_slider::Moves& moves)
{
    for (int i = 0; i < moves.count; ++i)
        Notify(moves.part[i]);
}

void CRangeSlider::NormalizeRange()
{
    NotifyMoves(zr_slider::Normalize(m_range));
}

void CRangeSlider::SetMinMax(double a, double b)
{
    NotifyMoves(zr_slider::SetBounds(m_range, a, b));
    if (m_hWnd)
        Invalidate(TRUE);
}

void CRangeSlider::SetRange(double left, double right)
{
    NotifyMoves(zr_slider::SetEnds(m_range, left, right));
    if (m_hWnd)
        Invalidate(TRUE);
}

void CRangeSlider::SetVisualMinMax(double lo, double hi)
{
    if (lo > hi)
        std::swap(lo, hi);
    m_VisualMin = lo < m_range.min ? m_range.min : lo;
    m_VisualMax = hi > m_range.max ? m_range.max : hi;
    if (m_hWnd)
        Invalidate(TRUE);
}

void CRangeSlider::GetRange(int64_t& left, int64_t& right) const
{
    left = zr_slider::ToSector(m_range.left);
    right = zr_slider::ToSector(m_range.right);
}

zr_slider::Layout CRangeSlider::CurrentLayout() const
{
    CRect client;
    GetClientRect(&client);
    return zr_slider::ComputeLayout(m_range, client.Width(), client.Height());
}

static CRect ToCRect(const zr_slider::Rect& r)
{
    return CRect(r.left, r.top, r.right, r.bottom);
}

void CRangeSlider::OnPaint()
{
    CPaintDC paint(this);
    CMemoryDC dc(&paint);
    dc.SetMapMode(MM_TEXT);
    const zr_slider::Layout l = CurrentLayout();
    const int a = l.arrow, h = l.height;

    // The track: a grey field with a black outline.
    HGDIOBJ oldBrush = dc.SelectStockObject(GRAY_BRUSH);
    HGDIOBJ oldPen = dc.SelectStockObject(BLACK_PEN);
    CRect clip;
    dc.GetClipBox(&clip);
    dc.Rectangle(&clip);

    CBrush face(::GetSysColor(COLOR_3DFACE));
    CPen light(PS_SOLID, 1, ::GetSysColor(COLOR_BTNHIGHLIGHT));
    CPen shadow(PS_SOLID, 1, ::GetSysColor(COLOR_BTNSHADOW));
    dc.SelectObject(&face);
    const CRect leftHandle = ToCRect(l.leftHandle), rightHandle = ToCRect(l.rightHandle);
    dc.Rectangle(&leftHandle);
    dc.Rectangle(&rightHandle);
    // A handle being dragged is drawn flat (pressed); the others raised.
    const zr_slider::Rect* raised[2] = {
        (m_bTracking && m_TrackPart == zr_slider::kLeft) ? nullptr : &l.leftHit,
        (m_bTracking && m_TrackPart == zr_slider::kRight) ? nullptr : &l.rightHit,
    };
    for (const zr_slider::Rect* r : raised) {
        if (!r)
            continue;
        dc.SelectObject(&light);
        dc.MoveTo(r->left, r->bottom);
        dc.LineTo(r->left, r->top);
        dc.LineTo(r->right, r->top);
        dc.SelectObject(&shadow);
        dc.LineTo(r->right, r->bottom);
        dc.LineTo(r->left, r->bottom);
    }

    // Arrows pointing toward the band.
    dc.SelectStockObject(BLACK_PEN);
    dc.SelectStockObject(BLACK_BRUSH);
    const POINT leftArrow[3] = { { l.x1 + a / 3, h / 3 }, { l.x1 + a / 3, 2 * h / 3 }, { l.x1 + 2 * a / 3, h / 2 } };
    const POINT rightArrow[3] = { { l.x2 + a + 2 * a / 3, h / 3 },
                                  { l.x2 + a + 2 * a / 3, 2 * h / 3 },
                                  { l.x2 + a + a / 3, h / 2 } };
    dc.Polygon(leftArrow, 3);
    dc.Polygon(rightArrow, 3);

    // The band: white; empty when the ends meet.
    CRect band = ToCRect(l.band);
    if (band.right > band.left) {
        dc.SelectStockObject(NULL_PEN);
        dc.SelectStockObject(WHITE_BRUSH);
        dc.Rectangle(&band);
        if (::GetFocus() == m_hWnd) {
            band.DeflateRect(3, 3);
            if (band.right > band.left && band.bottom > band.top)
                dc.DrawFocusRect(&band);
        }
    }

    // Nothing we created may be deleted while still selected.
    dc.SelectObject(oldBrush);
    dc.SelectObject(oldPen);
}

void CRangeSlider::OnLButtonDown(UINT, CPoint point)
{
    SetFocus();
    Invalidate(TRUE);
    if (!m_bTracking) {
        int dx = 0, dy = 0;
        const int part = zr_slider::HitTest(CurrentLayout(), point.x, point.y, &dx, &dy);
        if (part != zr_slider::kNone) {
            m_bTracking = TRUE;
            m_TrackPart = part;
            m_ClickOffset = CPoint(dx, dy);
            SetCapture();
        }
    }
    Default();
}

void CRangeSlider::OnMouseMove(UINT, CPoint point)
{
    if (!m_bTracking) {
        Default();
        return;
    }
    const int wParam = zr_slider::DragTo(m_range, m_TrackPart, point.x - m_ClickOffset.x, CurrentLayout());
    Notify(wParam);
    Invalidate(TRUE);
    Default();
}

void CRangeSlider::OnLButtonUp(UINT, CPoint)
{
    if (m_bTracking) {
        m_bTracking = FALSE;
        ::ReleaseCapture();
        Invalidate(TRUE);
    }
    Default();
}

void CRangeSlider::OnKeyDown(UINT key, UINT, UINT)
{
    if ((key == VK_LEFT || key == VK_RIGHT) && !(::GetKeyState(VK_CONTROL) & 0x8000)) {
        const bool shift = (::GetKeyState(VK_SHIFT) & 0x8000) != 0;
        // Told whether or not the step could be taken (an end at its bound moves nothing): the
        // dialog then shows the slider's range in its fields either way.
        if (zr_slider::StepKey(m_range, key == VK_RIGHT, shift, CurrentLayout().track)) {
            Notify(shift ? zr_slider::kLeft : zr_slider::kBand);
            Invalidate(TRUE);
        }
    }
    Default();
}

void CRangeSlider::OnSetFocus(CWnd*)
{
    Default();
    Invalidate(TRUE);
}

void CRangeSlider::OnKillFocus(CWnd*)
{
    Default();
    Invalidate(TRUE);
}

LRESULT CRangeSlider::OnGetDlgCode(WPARAM, LPARAM)
{
    return DLGC_WANTARROWS;
}
