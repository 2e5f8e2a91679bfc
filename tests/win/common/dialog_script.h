// Driving a modal dialog from inside its own loop: steps run one per idle tick, so everything a
// step posted has been handled before the next one starts.
#pragma once
#include <windows.h>

#include <functional>
#include <vector>

#include "afxwin.h"

namespace zr_test {

typedef std::function<void(HWND)> DialogStep;

// Creates the shared brush and fonts when they do not exist yet, then runs `dlg` modally under a
// ModalWatchdog and plays `steps` against its window. When given,
// `aliveBeforeLast` tells whether the window was still there when the last step began (so that
// the steps before it did not end the dialog).
INT_PTR RunScripted(CDialog& dlg, std::vector<DialogStep> steps, bool* aliveBeforeLast = nullptr);

// A key press posted to the focused control (the dialog itself when none has the focus).
DialogStep Key(WPARAM key);
// A click posted to a button.
DialogStep Click(int id);
// The close box.
DialogStep CloseBox();

} // namespace zr_test
