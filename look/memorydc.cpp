#include "look/memorydc.h"

CMemoryDC::CMemoryDC(CDC* target, const CRect* rect) : m_pDC(target)
{
    if (rect)
        m_rect = *rect;
    else
        target->GetClipBox(&m_rect);
    CRect device = m_rect;
    target->LPtoDP(&device);
    if (CreateCompatibleDC(target) && m_bitmap.CreateCompatibleBitmap(target, device.Width(), device.Height())) {
        m_bMemDC = TRUE;
        m_oldBitmap = SelectObject(&m_bitmap);
        SetMapMode(target->GetMapMode());
        SIZE extent;
        ::GetWindowExtEx(target->GetSafeHdc(), &extent);
        ::SetWindowExtEx(GetSafeHdc(), extent.cx, extent.cy, nullptr);
        ::GetViewportExtEx(target->GetSafeHdc(), &extent);
        ::SetViewportExtEx(GetSafeHdc(), extent.cx, extent.cy, nullptr);
        SetWindowOrg(m_rect.left, m_rect.top);
    } else {
        // Draw directly: borrow the target's handle for this object's lifetime.
        if (GetSafeHdc())
            DeleteDC();
        Attach(target->GetSafeHdc());
    }
    FillSolidRect(&m_rect, target->GetBkColor());
}

CMemoryDC::~CMemoryDC()
{
    if (m_bMemDC) {
        m_pDC->BitBlt(m_rect.left, m_rect.top, m_rect.Width(), m_rect.Height(), this, m_rect.left, m_rect.top, SRCCOPY);
        SelectObject(m_oldBitmap);
        m_bitmap.DeleteObject();
        DeleteDC();
    } else {
        Detach();
    }
}
