#include "app/resultbrowse.h"

#include "app/notices.h"
#include "app/pure/result_browse.h"
#include "app/waitdialogs.h"
#include "fsrecovery/folderlist.h"
#include "fsrecovery/fsglobals.h"
#include "storage/pure/globals.h"

namespace {

// The id of a FAT folder whose first cluster is an end-of-chain mark: it has no directory.
constexpr uint32_t kFatEndOfChain = 0x0FFFFFFF;

bool NoDeviceDialogShown()
{
    CNoDevice* notice = g_pNoDeviceDlg.load();
    return notice != nullptr && notice->GetSafeHwnd() != nullptr && notice->IsWindowVisible();
}

// The tree changes its items inside the notification; without this the old pictures stay on
// screen until the next paint.
void RedrawEnabledTree(CTreeClass* tree)
{
    if (!tree->IsWindowEnabled())
        return;
    tree->UpdateWindow();
    tree->Invalidate(TRUE);
    tree->RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

} // namespace

bool ReadFolderOnce(CTreeClass* tree, HTREEITEM item)
{
    if (tree == nullptr || item == nullptr || FatVolumeParams.partitionType == L"NTFS")
        return false;
    // The top item's directory (the volume's root) was read when the tree was built.
    const HTREEITEM parent = tree->GetParentItem(item);
    if (parent == nullptr || tree->GetItemText(parent).IsEmpty())
        return false;
    FolderNode* folder = (FolderNode*)tree->GetItemData(item);
    if (folder == nullptr || folder->expanded != 0)
        return false;
    if (folder->ownId == kFatEndOfChain) {
        folder->expanded = 1;
        return false;
    }
    // Marks the folder read only when the read was not cancelled.
    return ExpandFatFolder(tree, item);
}

void OnResultItemExpanding(CTreeClass* tree, const NMTREEVIEWW* change, bool onResultPage)
{
    if (tree == nullptr || change == nullptr || NoDeviceDialogShown() || !onResultPage)
        return;
    const HTREEITEM item = change->itemNew.hItem;
    if (item == nullptr)
        return;
    RedrawEnabledTree(tree);
    // The action's low bits: collapse 1, expand 2.
    if ((change->action & 3) == TVE_COLLAPSE) {
        const int image = CollapsedItemImage(tree->GetItemText(item), item == tree->GetRootItem());
        if (image >= 0)
            tree->SetItemImage(item, image, image);
    } else if ((change->action & 3) == TVE_EXPAND && g_pPopulateListThread == nullptr) {
        // A running listing owns StopFolderRead and reads this folder itself when it needs to.
        ReadFolderOnce(tree, item);
    }
    RedrawEnabledTree(tree);
}

void SetFolderRowStamp(CListCtrl& list, int row, const FolderNode& node, bool ntfs)
{
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    const FolderRowStamp stamp =
        FolderRowDateTime(ntfs, node.name, node.date, node.time, FormatDayMonthYear(now.wDay, now.wMonth, now.wYear));
    list.SetItemText(row, 3, stamp.date);
    list.SetItemText(row, 4, stamp.time);
}

void OfferNoResultsNotice(CWnd* owner, CTreeClass& tree, int pageIndex, std::atomic<int32_t>& state,
                          void (*show)(CWnd* owner))
{
    if (!tree.GetSafeHwnd())
        return;
    const HTREEITEM root = tree.GetRootItem();
    const HTREEITEM firstChild = root != nullptr ? tree.GetChildItem(root) : nullptr;
    const CString firstChildText = firstChild != nullptr ? tree.GetItemText(firstChild) : CString();
    if (!NoResultsNoticeDue(ResultsPresent, tree.GetCount(), firstChildText, pageIndex))
        return;
    int32_t expected = 0;
    state.compare_exchange_strong(expected, 1);
    if (state.load() == 1 && show != nullptr)
        show(owner);
}
