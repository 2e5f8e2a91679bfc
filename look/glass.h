// Glass subclassing of dialogs and their controls.
//
// On Windows Vista and later, with desktop composition on, a dialog may extend the frame's glass
// over its client area. Controls drawn with GDI come out transparent there, so the layer replaces
// the window procedures of the dialog and of chosen controls with its own, which paint through a
// buffered paint whose alpha they make opaque. Each subclassed window carries a record under the
// window property "AeroAutoSubclass". The window manager and the visual-styles library are bound
// at run time (look/themeapi.h), so the program still runs where they are missing; with
// composition off every message goes to the control's own procedure and nothing looks different.
//
// Everything runs on the thread that owns the dialog.
#pragma once
#include <windows.h>
#include <cstddef>

#include "look/pure/glassrules.h"

class DwmApi;
class UxThemeApi;

// The record of one subclassed window.
//
// A dialog's record owns the two bindings; each control's record is a copy of its parent's (the
// same bindings and redraw message, the parent's flags OR-ed with the control's start flags).
// When the dialog goes, it releases the bindings and nulls the pointers in every record that
// shares them; a window whose record has no bindings (or whose parent has no record) passes every
// message on except its own teardown.
struct AeroSubclassRecord {
    DWORD flags;                       // zr_glass::RecordFlag
    WNDPROC previous;                  // the procedure that was in place before
    DwmApi* dwm;                       // null once released
    UxThemeApi* uxTheme;               // null once released
    UINT redrawMessage;                // "AeroAutoSubclassRedraw": posted to a control to repaint it on glass
    LONG selectionStart, selectionEnd; // an edit control's last selection; -1 otherwise
    void* player;                      // an animation control's frame player; null otherwise
};

// Sets the layer up on `dialog` and on its direct child controls of the classes whose bits are
// set in `flags` (zr_glass::ClassBit; bit 0: the dialog paints its own glass, so the frame is not
// extended and WM_PAINT is left to the dialog). TRUE on success. On failure FALSE with the reason
// in GetLastError, and nothing of the set-up left behind: ERROR_INVALID_PARAMETER for no window or
// a non-zero `reserved`, ERROR_ALREADY_INITIALIZED for a dialog set up before, ERROR_NOT_ENOUGH_MEMORY,
// the error of a library that cannot be loaded or of a control that cannot be subclassed, or the
// HRESULT of a failed BufferedPaintInit.
BOOL AeroAutoSubclass(HWND dialog, DWORD flags, DWORD reserved);

// Subclasses one control (of any class the layer knows) under its parent's record; the parent must
// have been set up with AeroAutoSubclass. FALSE with ERROR_INVALID_PARAMETER (no window or no
// parent), ERROR_FILE_NOT_FOUND (the parent has no record), ERROR_ALREADY_INITIALIZED (the control
// has one), ERROR_NOT_SUPPORTED (a class the layer leaves alone) or a subclassing failure; the
// control is then as it was.
BOOL AeroSubclassControl(HWND control);

// The record a window carries, or null.
AeroSubclassRecord* AeroGetRecord(HWND window);

// Paints `control` into `target` over `area` through a buffered paint: an opaque white ground,
// then the control's own drawing (WM_PRINTCLIENT), alpha made opaque. `frame` is unused (FALSE).
void PaintControlOnGlass(HWND control, HDC target, const RECT* area, BOOL frame);

// Tests: called with each binding object as the layer frees it (after its library was unloaded
// and its destructor ran). Returning true keeps the memory from being freed: the hook then owns
// it, and may poison it to make a later use visible. Returns the previous hook.
typedef bool (*ZrGlassReleaseHook)(void* binding, size_t size);
ZrGlassReleaseHook ZrSetGlassReleaseHook(ZrGlassReleaseHook hook);
