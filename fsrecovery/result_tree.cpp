#include "fsrecovery/result_tree.h"

#include "app/searchhost.h"
#include "app/treeclass.h"
#include "fsrecovery/folderlist.h"
#include "app/devicetree.h"

namespace {

// The tree is not repainted while it is built: every insertion from the worker would repaint it
// on the dialog's thread, which costs several times the insertion itself. It is repainted once
// at the end.
class RedrawSuspended {
public:
    explicit RedrawSuspended(CTreeClass* tree) : m_tree(tree && tree->GetSafeHwnd() ? tree : nullptr)
    {
        if (m_tree)
            m_tree->SetRedraw(FALSE);
    }
    ~RedrawSuspended()
    {
        if (m_tree) {
            m_tree->SetRedraw(TRUE);
            m_tree->Invalidate();
        }
    }
    RedrawSuspended(const RedrawSuspended&) = delete;
    RedrawSuspended& operator=(const RedrawSuspended&) = delete;

private:
    CTreeClass* m_tree;
};

// The folders are inserted on the tree's own thread in one go: from the scan worker each
// insertion, text and item-data call is a message to that thread, and those messages were
// nearly all of the time from the end of a scan to its finished tree. The disk is not read
// while this runs.
template <typename Insert> void InsertOnTreeThread(CTreeClass* tree, Insert insert)
{
    if (!tree || !tree->GetSafeHwnd() || !ZrRunOnWindowThread(tree, insert))
        insert();
}

bool HoldsKind(const FoundStore& store, bool fat)
{
    for (uint32_t v = 0; v < store.VolumeCount(); ++v) {
        if (IsFat(store.Volume(v).kind) == fat)
            return true;
    }
    return false;
}

} // namespace

TreeItemHandle TreeClassSink::Insert(TreeItemHandle parent, const FoundFolder& folder)
{
    if (!m_tree || !m_tree->GetSafeHwnd())
        return nullptr;
    const FatFolderNames::Entry* named =
        m_fatNames ? m_fatNames->Find(folder.cluster0Start, folder.parentId, uint32_t(folder.id)) : nullptr;
    FolderNodeListRecord& nodes = m_tree->Folders.FolderNodeList;
    const uint64_t before = nodes.count;
    const TreeItemHandle item = m_tree->InsertResultItem(
        (HTREEITEM)parent, named ? named->name : folder.name, 0, folder.id, 0, 0, folder.date, folder.time,
        folder.parentId, 0, named && named->live ? 0 : folder.deleted, folder.cluster0Start);
    if (m_fatNames && item && nodes.count > before) {
        if (named)
            m_fatNames->Take(folder.cluster0Start, folder.parentId, uint32_t(folder.id));
        if (m_fatNames->WasRead(folder.cluster0Start, uint32_t(folder.id)))
            nodes.tail->expanded = 1;
    }
    return item;
}

TreeItemHandle TreeClassSink::RootItem()
{
    return m_tree && m_tree->GetSafeHwnd() ? m_tree->GetRootItem() : nullptr;
}

const FolderNodeListRecord& TreeClassSink::FolderNodes()
{
    return m_tree ? m_tree->Folders.FolderNodeList : m_noFolders;
}

void TreeClassSink::Progress(uint64_t position, uint64_t total)
{
    m_progress.Report(position, total);
}

void MarkOrphansShowing(FoundStore& store, HWND progress, SearchHost* host)
{
    if (progress && host)
        ::ShowWindow(progress, SW_SHOWNORMAL);
    ThrottledProgress shown(host, progress);
    MarkOrphans(store, [&shown](uint64_t position, uint64_t total) { shown.Report(position, total); });
}

void BuildFoundTree(FoundStore& store, CTreeClass* tree, HWND progress, const StopFlag* stop, SearchHost* host)
{
    if (progress && host)
        ::ShowWindow(progress, SW_SHOWNORMAL);
    const bool ntfs = HoldsKind(store, false), fat = HoldsKind(store, true);
    // The scan knows FAT folders by cluster only ("DIRn"): each folder's name comes from its
    // parent's directory, read here on the calling thread before the tree is built (the disk is
    // not read on the tree's thread).
    FatFolderNames fatNames;
    if (fat && tree && tree->GetSafeHwnd())
        fatNames.Read(store, stop);
    {
        RedrawSuspended quiet(tree);
        TreeClassSink sink(tree, host, progress, fat ? &fatNames : nullptr);
        if (tree && tree->GetSafeHwnd())
            tree->EnsureRootItem();
        InsertOnTreeThread(tree, [&] {
            if (tree && tree->GetSafeHwnd())
                tree->BeginResultInsert();
            BuildResultTree(store, sink);
            if (tree && tree->GetSafeHwnd())
                tree->EndResultInsert();
        });
        if (tree && tree->GetSafeHwnd()) {
            if (HTREEITEM root = tree->GetRootItem())
                tree->Expand(root, TVE_EXPAND);
        }
    }
    if (ntfs && host)
        ResetDriveTreeRoot(tree);
    if (progress)
        ::ShowWindow(progress, SW_HIDE);
    if (tree && tree->GetSafeHwnd())
        tree->SendMessage(TVM_SORTCHILDREN, FALSE, 0);
}
