// Browsing a results tree: expanding and collapsing its folders, the one read of a FAT folder's
// directory that names its subfolders, the date cells of folder rows, and the notice that a
// finished scan found nothing. Shared by the search dialogs that show a results tree.
#pragma once
#include <atomic>
#include <cstdint>

#include "afxwin.h"
#include "app/treeclass.h"

// TVN_ITEMEXPANDING of a results tree. On a result page a collapsed folder gets its closed
// picture and an expanded FAT folder has its directory read once; the tree is redrawn around
// the change. Does nothing while the no-device dialog is on screen.
void OnResultItemExpanding(CTreeClass* tree, const NMTREEVIEWW* change, bool onResultPage);

// Reads the directory of the FAT folder of `item` for its subfolders, unless it was read
// before. The top item and NTFS volumes read nothing; a folder of the end-of-chain id has no
// directory and is only marked read. True when a read ran to its end.
bool ReadFolderOnce(CTreeClass* tree, HTREEITEM item);

// Columns 3 (date) and 4 (time) of the subfolder row `row` of `node`.
void SetFolderRowStamp(CListCtrl& list, int row, const FolderNode& node, bool ntfs);

// After a listing that ran to its end, on the dialog's thread: when the scan left nothing to
// show, `show` runs with `owner` once the notice `state` allows it (0 is raised to 1; the
// notice's own initialisation sets 2, so it appears at most once until the next scan).
void OfferNoResultsNotice(CWnd* owner, CTreeClass& tree, int pageIndex, std::atomic<int32_t>& state,
                          void (*show)(CWnd* owner));
