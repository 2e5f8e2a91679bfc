// An off-screen drawing surface: everything drawn on it goes into a bitmap that reaches the target
// in one transfer when the surface goes, so a control repainted on every mouse move never flickers.
#pragma once
#include "afxwin.h"

class CMemoryDC : public CDC {
public:
    // Covers `rect` of the target (in its logical units), or the target's clip box when null.
    // Drawing on the surface uses the target's logical coordinates.
    explicit CMemoryDC(CDC* target, const CRect* rect = nullptr);
    // Copies the surface to the target, then frees the bitmap and the memory DC.
    ~CMemoryDC() override;
    CMemoryDC(const CMemoryDC&) = delete;
    CMemoryDC& operator=(const CMemoryDC&) = delete;

private:
    CBitmap m_bitmap;
    HGDIOBJ m_oldBitmap = nullptr;
    CDC* m_pDC;
    CRect m_rect;
    // FALSE when no surface could be made: drawing then goes straight to the target.
    BOOL m_bMemDC = FALSE;
};
