// The property lists of the drive tree: a logical drive's or partition's properties, a physical
// disk's properties (with the selected-disk state the scans and the scan log read), and the list
// of an item's children. They fill the detail list of the active tree's dialog.
#pragma once
#include <cstdint>

#include "afxwin.h"

// Capacity, cylinders, heads and sectors per track of the disk selected last.
extern CString SelectedDiskGeometryTexts[4];
extern uint64_t SelectedDiskStartSector;

void FormatPartitionProperties(HTREEITEM item);
void FormatDiskProperties(HTREEITEM item);
void FillListFromTreeItem(HTREEITEM item);
