#include "fsrecovery/resultbuild.h"

#include "app/maindlg.h"
#include "app/treeclass.h"
#include "fsrecovery/folderlist.h"
#include "app/devicetree.h"

namespace {

ThrottledProgress* g_orphanProgress = nullptr;

void ReportOrphanProgress(uint64_t position, uint64_t total)
{
    if (g_orphanProgress)
        g_orphanProgress->Report(position, total);
}

void MarkOrphansShowing(ZrRecordTable& table, HWND progress, uint32_t rootId)
{
    if (progress && g_pMainDlg)
        ::ShowWindow(progress, SW_SHOWNORMAL);
    ThrottledProgress shown(progress);
    g_orphanProgress = &shown;
    MarkOrphans(table, rootId, ReportOrphanProgress);
    g_orphanProgress = nullptr;
}

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

void FinishTree(CTreeClass* tree, HWND progress)
{
    if (progress)
        ::ShowWindow(progress, SW_HIDE);
    if (tree && tree->GetSafeHwnd())
        tree->SendMessage(TVM_SORTCHILDREN, FALSE, 0);
}

} // namespace

CTreeClass* ResultTreeOfMode(int mode)
{
    return mode == kModeBasic || mode == kModeDeep ? ActiveTree : nullptr;
}

TreeItemHandle TreeClassSink::Insert(TreeItemHandle parent, const FoundFolder& folder)
{
    if (!m_tree || !m_tree->GetSafeHwnd())
        return nullptr;
    return m_tree->InsertResultItem((HTREEITEM)parent, folder.name, 0, folder.id, 0, 0, folder.date, folder.time,
                                    folder.parentId, 0, folder.deleted, folder.cluster0Start);
}

TreeItemHandle TreeClassSink::RootItem()
{
    return m_tree && m_tree->GetSafeHwnd() ? m_tree->GetRootItem() : nullptr;
}

void TreeClassSink::Progress(uint64_t position, uint64_t total)
{
    m_progress.Report(position, total);
}

void MarkOrphansNtfs(ZrRecordTable& table, HWND progress)
{
    MarkOrphansShowing(table, progress, kNtfsRootId);
}
void MarkOrphansFat(ZrRecordTable& table, HWND progress)
{
    MarkOrphansShowing(table, progress, kFatRootId);
}

int BuildResultTree(ZrRecordTable& table, CTreeClass* tree, HWND progress)
{
    if (progress && g_pMainDlg)
        ::ShowWindow(progress, SW_SHOWNORMAL);
    RedrawSuspended quiet(tree);
    TreeClassSink sink(tree, progress);
    InsertOnTreeThread(tree, [&] { BuildNtfsResultTree(table, sink); });
    if (tree && tree->GetSafeHwnd()) {
        if (HTREEITEM root = tree->GetRootItem())
            tree->Expand(root, TVE_EXPAND);
    }
    if (g_pMainDlg && ResultTreeOfMode(g_pMainDlg->SearchMode.load()))
        ResetDriveTreeRoot();
    FinishTree(tree, progress);
    return 1;
}

int BuildFatTree(ZrRecordTable& table, CTreeClass* tree, HWND progress)
{
    RedrawSuspended quiet(tree);
    TreeClassSink sink(tree, progress);
    InsertOnTreeThread(tree, [&] { BuildFatResultTree(table, sink); });
    if (tree && tree->GetSafeHwnd()) {
        if (HTREEITEM root = tree->GetRootItem()) {
            // The scan knows folders by cluster only ("DIRn"): each folder's names come from
            // its parent's directory, the root's first, then every folder's in creation order.
            ExpandFatFolder(tree, root);
            for (FolderNode* node = FolderNodeList.head; node && StopFolderRead != 1; node = node->next)
                ExpandFatFolder(tree, (HTREEITEM)node->item);
            tree->Expand(root, TVE_EXPAND);
        }
    }
    FinishTree(tree, progress);
    return 1;
}

int BuildDirectoryFolders(const CString& idText, ZrRecordTable& table, HTREEITEM parentItem, CTreeClass* tree,
                          uint64_t cluster0Start)
{
    uint64_t id = 0;
    ZrRecordTable::ParseNumber(idText, ZrRecordTable::SortKey::Decimal, id);
    TreeClassSink sink(tree, nullptr);
    PlaceChildFolders(table, (uint32_t)id, cluster0Start, parentItem, sink);
    return 1;
}

void AddRecordsToMiscNode(ZrRecordTable& table, CTreeClass* tree)
{
    TreeClassSink sink(tree, nullptr);
    PlaceLeftoversUnderMisc(table, sink);
}
