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

// Marks a control's repaint as pending and posts it the redraw message.
void RequestGlassRedraw(HWND control, UINT redrawMessage);

} // namespace zr_glass_impl
