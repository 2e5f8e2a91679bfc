// The Basic Search results as files to save: rows of the file list and folders of the results
// tree turned into SaveItems for SaveFoundItems. Shared by the Save button, the results tree's
// "Save" and the file list's "Save" and "Save All".
#pragma once
#include <vector>

#include "afxwin.h"
#include "fsrecovery/savefiles.h"

class CTreeClass;

// A file-list row (columns as the listings fill them) as a file to save.
FoundFileRef FileOfListRow(CListCtrl& list, int row);

// The folders from below "Root" down to `item` (an orphan keeps "KXR_Miscellaneous" as its first).
std::vector<CString> FolderPathOf(CTreeClass& tree, HTREEITEM item);

// The results-tree item a folder row of the file list stands for: its "TreeItem" cell must name
// a child of `listed`, the folder the list shows (the cell is only text, so it is never trusted
// as a handle on its own). Null when it names none.
HTREEITEM FolderRowItem(CTreeClass& tree, HTREEITEM listed, CListCtrl& list, int row);
