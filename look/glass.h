// Glass subclassing of dialogs and their controls.
//
// Not available in this build: AeroAutoSubclass reports failure, and a dialog that sees the
// failure subclasses none of its controls and paints without glass.
#pragma once
#include <windows.h>

// Subclasses a dialog and its child controls by window class. Returns 0 on failure (last error
// set), after which the caller must not call AeroSubclassControl.
BOOL AeroAutoSubclass(HWND hDialog, DWORD flags);
// Subclasses one child control under its dialog's record. Returns 0 on failure.
BOOL AeroSubclassControl(HWND hControl);
