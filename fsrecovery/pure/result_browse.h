// Rules of the results tree and the folder listing that need no window: which picture a
// collapsed item gets, what date and time a folder row shows, and when the "nothing could be
// recovered" notice is due after a listing.
#pragma once
#include <cstdint>

#include "framework/pure/cstring.h"

// Items of the device tree ("My Computer", "Physical Drives", "Partition 1 ..." ...): their
// pictures are their own and a collapse leaves them alone.
bool IsDeviceItemText(const CString& text);

// The picture of a collapsed item: 0 for the top item "Root", 1 for a folder, -1 (unchanged)
// for a device item.
int CollapsedItemImage(const CString& text, bool isFirstTopLevel);

// The Date and Time cells of a subfolder row. FAT folders carry the date and time words of
// their directory; NTFS folders a file time in `date`. The catch-all folder, made by the scan
// with no date of its own, shows `today` (FormatDayMonthYear, the form of the other rows'
// dates) and the FAT time word the scan gave it.
struct FolderRowStamp {
    CString date;
    CString time;
};
FolderRowStamp FolderRowDateTime(bool ntfs, const CString& name, uint64_t date, uint64_t time, const CString& today);

// After a listing: the scan found nothing to show when it left no results and the tree holds
// only "Root", or "Root" with the empty catch-all folder as its one child. Never after a scan
// log was loaded (page index 10).
constexpr int kLogLoadedPage = 10;
bool NoResultsNoticeDue(uint32_t resultsPresent, uint32_t treeItemCount, const CString& firstChildText, int pageIndex);
