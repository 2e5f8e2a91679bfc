// The test template dialog (IDD_TEST_DIALOG) created modeless and subclassed by a plain CWnd,
// so that notifications from its controls are reflected to their objects as in the program.
#pragma once
#include "afxwin.h"

namespace zr_test {

// False when the dialog could not be made or subclassed. The caller destroys it.
bool OpenPlainTestDialog(CWnd& dlg);

} // namespace zr_test
