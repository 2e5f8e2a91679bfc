// The storage host of the running program: partition items go under the disk's item of the
// current drive tree, the logical-drive path and hidden tables are the launcher's, the
// automatic partition search is the search thread, and a list that runs out of memory ends the
// program after its message.
#include "app/devicetree.h"
#include "app/searchhost.h"
#include "app/shellservices.h"
#include "app/startup.h"
#include "storage/pure/storage_host.h"

namespace {

class DriveTreeStorageHost : public StorageHost {
public:
    int CurrentSearchMode() override { return InstalledSearchMode(); }

    TreeItemHandle InsertPartitionItem(TreeItemHandle parent, const CString& text) override
    {
        return parent != nullptr ? InsertDriveTreeItem(text, parent) : nullptr;
    }

    CString LogicalDrivePath() override
    {
        const SearchHost* host = GetSearchHost();
        return host != nullptr ? host->LogicalDrivePath : CString();
    }

    AutoSearchState QueryAutoSearchState() override
    {
        AutoSearchState state;
        DriveTreeTarget target;
        if (GetDriveTreeTarget(target)) {
            CTreeCtrl& tree = *target.tree;
            const HTREEITEM item = tree.GetSelectedItem();
            const HTREEITEM parent = item != nullptr ? tree.GetParentItem(item) : nullptr;
            state.selectedIsWholeDisk = parent != nullptr && tree.GetItemText(parent) == L"Physical Drives";
            state.selectedHasChildren = item != nullptr && tree.GetChildItem(item) != nullptr;
            state.scanCounted = target.scanCounted;
        }
        const SearchHost* host = GetSearchHost();
        state.searchRunning = host != nullptr && host->PartitionSearchRunning != 0;
        const CWinThread* search = g_pPartitionSearchThread;
        state.onSearchThread = search != nullptr && search->m_nThreadID == GetCurrentThreadId();
        return state;
    }

    bool StartPartitionSearch() override { return StartPartitionSearchThread(); }

    // The message is owned by the search dialog the list was built for; the program then ends
    // with exit code 0 after deleting the files it wrote for viewing. Whatever else runs ends
    // with the process, as on every exit.
    void ListMemoryExhausted(ListKind kind, bool firstNode) override
    {
        const SearchHost* host = GetSearchHost();
        CWnd* owner = host != nullptr ? host->ActiveSearchDialog() : nullptr;
        ZrMessageBox(owner != nullptr ? owner->GetSafeHwnd() : nullptr, ListMemoryMessage(kind, firstNode), L"Message",
                     kind == ListKind::DataRuns ? MB_ICONERROR : MB_ICONINFORMATION);
        if (host != nullptr)
            DeleteTempFiles(host->TempFolderPath);
        EndProcessNow(0);
    }
};

} // namespace

void InstallDriveTreeStorageHost()
{
    static DriveTreeStorageHost host;
    SetStorageHost(&host);
}
