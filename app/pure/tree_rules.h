// The rules of the check-box tree that need no window: how a parent's check state follows its
// children, and which text colour a coloured item is drawn in.
#pragma once
#include <cstddef>
#include <cstdint>

// State-image indices of the three check states; 0 is an item without a state image.
enum : int { kCheckNone = 0, kCheckUnchecked = 1, kCheckChecked = 2, kCheckPartial = 3 };

// After a child was unchecked: unchecked when every child is, else partly checked (an item
// without a state image counts as not unchecked).
int ParentStateAfterUncheck(const int* childStates, size_t count);
// After a child was checked: checked when no child is unchecked or partly checked, else partly
// checked (an item without a state image counts as checked).
int ParentStateAfterCheck(const int* childStates, size_t count);

// The colour value that means "no colour of its own", and the one colour shown as itself.
constexpr uint32_t kNoItemColour = 0xFFFFFFFFu;
constexpr uint32_t kFoundGreen = 0x008000u;
// Only green is shown as a colour of its own, and only when it differs from the window text.
uint32_t PaintedTextColour(uint32_t entryColour, uint32_t windowText);
