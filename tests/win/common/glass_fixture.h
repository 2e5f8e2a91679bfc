// Windows for the glass layer's tests: a dialog-class window holding one control of each kind the
// layer treats differently, and pixel captures of what windows show.
#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

namespace zr_test {

struct GlassDialog {
    HWND dialog = nullptr;
    HWND text = nullptr;      // Static
    HWND push = nullptr;      // Button
    HWND check = nullptr;     // Button, a check box
    HWND group = nullptr;     // Button, a group box
    HWND list = nullptr;      // SysListView32 (report view)
    HWND header = nullptr;    // its SysHeader32
    HWND combo = nullptr;     // ComboBox (drop-down)
    HWND comboEdit = nullptr; // its Edit field
    HWND panel = nullptr;     // a window of a class the layer does not know
    HWND nested = nullptr;    // a Static inside the panel: a grandchild of the dialog
    HWND longName = nullptr;  // a class named like a trackbar's, but longer
    std::vector<HWND> All() const;
};

// A visible dialog-class window at (x, y) with the controls above. The caller destroys it.
GlassDialog MakeGlassDialog(int x, int y);

// A child control of `parent`.
HWND MakeChild(HWND parent, LPCWSTR cls, LPCWSTR text, DWORD style, int x, int y, int cx, int cy, int id);

// A window's procedure, as the tests compare it before and after.
WNDPROC ProcOf(HWND window);

// The pixels (0x00RRGGBB) of a window's client area as it shows on the screen, after it has
// painted everything pending.
std::vector<uint32_t> CaptureClient(HWND window);
// How many pixels two captures differ in (all of them when the sizes differ).
int DifferingPixels(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b);

} // namespace zr_test
