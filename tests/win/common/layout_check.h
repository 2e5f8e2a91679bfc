// How a dialog shows on screen, checked the way a reader would: every text whole inside its
// control (measured with the control's own font over the lines the control can show), every
// control inside the dialog, and no control over another unless one is meant to lie under the
// other (group boxes, panels and frames, and the pairs a screen names).
#pragma once
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace zr_test {

struct LayoutRules {
    // Controls (by id) that may lie over any other: pictures and panels drawn under texts.
    std::vector<int> underlays;
    // Pairs of controls (by id) of which one is meant to lie over the other.
    std::vector<std::pair<int, int>> overlapsAllowed;
};

// The problems of `dialog` as it shows now, each naming the control and what is wrong.
std::vector<std::string> LayoutProblems(HWND dialog, const LayoutRules& rules = LayoutRules());

// The caption a dialog draws in its top band, in the band's font, must fit the band beside the
// caption icon and leave every control there alone; `captionRect` is where it is drawn.
std::vector<std::string> CaptionProblems(HWND dialog, const RECT& captionRect, const wchar_t* caption, HFONT font);

// The screen's dots per inch as the program sees them.
int ScreenDpi();

} // namespace zr_test
