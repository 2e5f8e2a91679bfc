#include "look/glass.h"

// Glass controls are not built yet: report failure so that dialogs keep their plain controls.

BOOL AeroAutoSubclass(HWND hDialog, DWORD flags)
{
    ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}

BOOL AeroSubclassControl(HWND hControl)
{
    ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}
