// Free routines the search dialogs share for their device pages: the no-device notice, the
// sector-range fields with the range slider, and clearing the results-tree selection.
#pragma once
#include <cstdint>

class CWnd;

// 1 when the caller may go on with its drive-tree work, 0 when the user cancelled the notice.
int ShowNoDeviceDialog();
// Writes start and end into the sector fields of `dialog` and, for the searches that have one,
// sets its range slider to them.
void SetSectorRangeControls(uint64_t startSector, uint64_t endSector, CWnd* dialog);
// When the active tree shows results (its first item is "Root"), removes its selection.
void ClearTreeSelection();
