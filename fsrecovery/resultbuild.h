// The results tree of Basic and Deep Search built from the found-entry table. Calling order for
// NTFS: SortFoundEntriesBySelf, MarkOrphansNtfs, SortFoundEntriesByParent, BuildResultTree; for
// FAT: SortFoundEntriesBySelf, MarkOrphansFat, SortFoundEntriesByParent, BuildFatTree.
#pragma once
#include "afxwin.h"
#include "app/pure/record_table.h"
#include "fsrecovery/pure/result_tree.h"
#include "fsrecovery/scanprogress.h"

class CTreeClass;

// The results tree of the search mode (Basic and Deep: the tree of the dialog in use); null for
// any other mode, in which the builders consume the rows and insert nothing.
CTreeClass* ResultTreeOfMode(int mode);

// Inserts through CTreeClass::InsertResultItem; with no tree, inserts nothing.
class TreeClassSink : public ResultTreeSink {
public:
    TreeClassSink(CTreeClass* tree, HWND progress) : m_tree(tree), m_progress(progress) { }
    TreeItemHandle Insert(TreeItemHandle parent, const FoundFolder& folder) override;
    TreeItemHandle RootItem() override;
    void Progress(uint64_t position, uint64_t total) override;

private:
    CTreeClass* m_tree;
    ThrottledProgress m_progress;
};

// The orphan passes over a table sorted by "self" (NTFS root 5, FAT root 0); the progress bar
// shows the pass.
void MarkOrphansNtfs(ZrRecordTable& table, HWND progress);
void MarkOrphansFat(ZrRecordTable& table, HWND progress);

// The NTFS tree into `tree` from a table sorted by "parent"; the table is empty afterwards.
int BuildResultTree(ZrRecordTable& table, CTreeClass* tree, HWND progress);
// The FAT tree into `tree` from a table sorted by "parent"; the table is empty afterwards.
int BuildFatTree(ZrRecordTable& table, CTreeClass* tree, HWND progress);
// The child folders of the folder whose id is idText (on the volume whose cluster 0 starts at
// cluster0Start) under parentItem; placed rows leave the table.
int BuildDirectoryFolders(const CString& idText, ZrRecordTable& table, HTREEITEM parentItem, CTreeClass* tree,
                          uint64_t cluster0Start = 0);
// Every row left in the table under "KXR_Miscellaneous" (or "Root" without it).
void AddRecordsToMiscNode(ZrRecordTable& table, CTreeClass* tree);
