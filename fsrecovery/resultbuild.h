// The results tree of a file-system search built from the found-entry store into a tree control:
// the orphan pass, the folders placed on the tree's own thread in one go, then a FAT volume's
// folders named from their parents' directories.
#pragma once
#include "afxwin.h"
#include "app/scanprogress.h"
#include "fsrecovery/pure/result_tree.h"

class CTreeClass;

// Inserts through CTreeClass::InsertResultItem; with no tree, inserts nothing.
class TreeClassSink : public ResultTreeSink {
public:
    TreeClassSink(CTreeClass* tree, HWND progress) : m_tree(tree), m_progress(progress) { }
    TreeItemHandle Insert(TreeItemHandle parent, const FoundFolder& folder) override;
    TreeItemHandle RootItem() override;
    const FolderNodeListRecord& FolderNodes() override;
    void Progress(uint64_t position, uint64_t total) override;

private:
    CTreeClass* m_tree;
    FolderNodeListRecord m_noFolders; // what FolderNodes gives with no tree
    ThrottledProgress m_progress;
};

// The orphan pass over the store's rows, shown on the progress bar.
void MarkOrphansShowing(FoundStore& store, HWND progress);

// The tree from the store's folder rows (which it consumes) under the tree's "Root"; then the
// folders of FAT volumes get their names from their parents' directories (`stop` ends that),
// the root is expanded and the top level sorted.
void BuildFoundTree(FoundStore& store, CTreeClass* tree, HWND progress, const StopFlag* stop);
