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
// After a child was checked. A folder's subfolders are not its own files: ticking every subfolder
// says nothing of those, and a save writes a checked folder's files whole. So a folder is checked
// only by its own tick (it keeps that while no child is unchecked or partly checked); otherwise
// any child not unchecked makes it partly checked (an item without a state image counts as
// checked), and only children all unchecked leave it unchecked.
int ParentStateAfterCheck(int parentState, const int* childStates, size_t count);

// The colour value that means "no colour of its own", and the one colour shown as itself.
constexpr uint32_t kNoItemColour = 0xFFFFFFFFu;
constexpr uint32_t kFoundGreen = 0x008000u;
// Only green is shown as a colour of its own, and only when it differs from the window text.
uint32_t PaintedTextColour(uint32_t entryColour, uint32_t windowText);
