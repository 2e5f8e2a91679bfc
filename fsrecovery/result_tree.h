// The results tree of a file-system search built from the found-entry store into a tree control:
// the orphan pass, a FAT volume's folder names read from their parents' directories, then the
// folders placed on the tree's own thread in one go.
#pragma once
#include "afxwin.h"
#include "app/scanprogress.h"
#include "fsrecovery/pure/result_tree.h"

class CTreeClass;
class FatFolderNames;

// Inserts through CTreeClass::InsertResultItem; with no tree, inserts nothing. A FAT folder its
// parent's directory named in `fatNames` gets that name (and is not deleted when a live entry
// lists it), and a folder whose own directory was read there is marked read.
class TreeClassSink : public ResultTreeSink {
public:
    TreeClassSink(CTreeClass* tree, SearchHost* host, HWND progress, FatFolderNames* fatNames = nullptr)
        : m_tree(tree), m_fatNames(fatNames), m_progress(host, progress)
    {
    }
    TreeItemHandle Insert(TreeItemHandle parent, const FoundFolder& folder) override;
    TreeItemHandle RootItem() override;
    const FolderNodeListRecord& FolderNodes() override;
    void Progress(uint64_t position, uint64_t total) override;

private:
    CTreeClass* m_tree;
    FatFolderNames* m_fatNames;
    FolderNodeListRecord m_noFolders; // what FolderNodes gives with no tree
    ThrottledProgress m_progress;
};

// The orphan pass over the store's rows, shown on the progress bar through the launcher's services
// (none without a launcher).
void MarkOrphansShowing(FoundStore& store, HWND progress, SearchHost* host = nullptr);

// The tree from the store's folder rows (which it consumes) under the tree's "Root", the folders
// of FAT volumes named from their parents' directories read first (`stop` ends that reading and
// keeps what was read); then the root is expanded and the top level sorted.
void BuildFoundTree(FoundStore& store, CTreeClass* tree, HWND progress, const StopFlag* stop,
                    SearchHost* host = nullptr);
