// What the glass layer's set-up (glass.cpp) and its control procedures (glassprocs.cpp,
// glassanimate.cpp) share. Not for use outside the layer.
#pragma once
#include "look/glass.h"
#include "look/themeapi.h"

namespace zr_glass_impl {

// The window property that holds a record.
constexpr wchar_t kRecordProperty[] = L"AeroAutoSubclass";

// The control procedure of a class rule; null for Proc::None.
WNDPROC ProcedureFor(zr_glass::Proc proc);

// If `self` is still the window's procedure: puts the previous one back, removes the property and
// frees the record (stopping an animation player first). TRUE when it did so.
BOOL Uninstall(HWND window, WNDPROC self, AeroSubclassRecord* record);

// Whether a control's procedure draws on glass for this message: its parent still carries a
// record, its bindings were not released and composition is on.
bool GlassActive(HWND control, const AeroSubclassRecord* record);

// The procedure of animation controls (glassanimate.cpp) and the release of its player.
LRESULT CALLBACK AnimateProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void ClosePlayer(AeroSubclassRecord* record);

// The shared first part of every control procedure. Returns true when the message has been dealt
// with (its result in *result): a teardown message (`self` uninstalled first; `ncDestroyToo`
// makes WM_NCDESTROY one as well as WM_DESTROY) or a message that goes straight to the previous
// procedure because glass is not in use. Otherwise the procedure handles it with *record.
bool ControlPrologue(HWND window, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC self, bool ncDestroyToo,
                     AeroSubclassRecord** record, LRESULT* result);

inline LRESULT CallPrevious(const AeroSubclassRecord* record, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::CallWindowProcW(record->previous, window, message, wParam, lParam);
}

// A buffered paint of `area` on `target`, ended (with the target updated) when it goes.
class GlassBuffer {
public:
    GlassBuffer(const UxThemeApi* uxTheme, HDC target, const RECT& area) : m_uxTheme(uxTheme), m_area(area)
    {
        if (m_uxTheme)
            m_buffer = m_uxTheme->BeginBufferedPaint(target, &m_area, BPBF_TOPDOWNDIB, nullptr, &m_dc);
        if (!m_dc)
            End();
    }
    ~GlassBuffer() { End(); }
    GlassBuffer(const GlassBuffer&) = delete;
    GlassBuffer& operator=(const GlassBuffer&) = delete;

    HDC dc() const { return m_dc; }
    void SetAlpha(const RECT& r, BYTE alpha) const { m_uxTheme->BufferedPaintSetAlpha(m_buffer, &r, alpha); }
    void SetOpaque() const { SetAlpha(m_area, 255); }
    // Clear glass: black with alpha 0.
    void Clear(const RECT& r) const
    {
        ::PatBlt(m_dc, r.left, r.top, r.right - r.left, r.bottom - r.top, BLACKNESS);
        SetAlpha(r, 0);
    }

private:
    void End()
    {
        if (m_buffer)
            m_uxTheme->EndBufferedPaint(m_buffer, TRUE);
        m_buffer = nullptr;
        m_dc = nullptr;
    }
    const UxThemeApi* m_uxTheme;
    RECT m_area;
    HPAINTBUFFER m_buffer = nullptr;
    HDC m_dc = nullptr;
};

// Marks a control's repaint as pending and posts it the redraw message.
void RequestGlassRedraw(HWND control, UINT redrawMessage);

} // namespace zr_glass_impl
