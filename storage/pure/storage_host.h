// What storage access needs from the application above it: the search that runs, the drive tree
// of the active search dialog, the main dialog's logical-drive path and hidden tables, the
// lost-partition search, and the program's end when a list runs out of memory. Storage never
// reaches the windows any other way. The application
// installs its host at start-up (app/storage_host.cpp); tests fill it in. With no host installed,
// no search counts as running, partitions are recorded without tree items and no search is ever
// started.
#pragma once
#include "cstring.h"
#include "storage/pure/globals.h"
#include "storage/pure/search_mode.h"

// What decides whether the volume check may start the lost-partition search by itself.
struct AutoSearchState {
    bool selectedIsWholeDisk = false; // the selected item's parent is "Physical Drives"
    bool selectedHasChildren = false; // partitions are listed under it
    bool scanCounted = false;         // the active dialog has counted a scan already
    bool searchRunning = false;       // a lost-partition search runs now
    bool onSearchThread = false;      // the caller is that search's own thread
};

// The lists whose allocation failing ends the program: the data runs of an NTFS file and a FAT
// cluster chain.
enum class ListKind { DataRuns, ClusterChain };

class StorageHost {
public:
    virtual ~StorageHost();
    // The search that runs now, kModeBasic ... kModeSignature; kModeNone when none does.
    virtual int CurrentSearchMode() { return kModeNone; }
    // Inserts an item with this text under parent in the active drive tree; returns it, or
    // nullptr when none was inserted.
    virtual TreeItemHandle InsertPartitionItem(TreeItemHandle parent, const CString& text) = 0;
    // The main dialog's logical-drive path, such as "\\.\C:".
    virtual CString LogicalDrivePath() = 0;
    virtual AutoSearchState QueryAutoSearchState() = 0;
    // Starts the lost-partition search thread; false when it could not be started.
    virtual bool StartPartitionSearch() = 0;
    // Memory ran out while a list was built (firstNode: it was still empty). The program tells
    // the user (ListMemoryMessage, caption "Message") and ends; a host that returns lets the
    // builder end the list as incomplete.
    virtual void ListMemoryExhausted(ListKind /*kind*/, bool /*firstNode*/) { }
};

// The installed host, or nullptr. The windows install it before they fill a drive tree.
StorageHost* GetStorageHost();
void SetStorageHost(StorageHost* host);
// The host's search mode; kModeNone without a host.
int HostSearchMode();

// "Memory Allocation Error." for data runs; for a cluster chain "Not Enough Memory" when its
// first node could not be had and "Not Enough Memory." for a later one.
const wchar_t* ListMemoryMessage(ListKind kind, bool firstNode);
// Hands an allocation failure of a list to the installed host. Without a host, or when it
// returns, the builder that caught the failure ends its list as incomplete.
void ReportListMemoryExhausted(ListKind kind, bool firstNode);

// Whether the volume check may start the lost-partition search: only for a whole disk without
// listed partitions, before the active dialog counted a scan, and never while a search runs or
// from the search's own thread.
bool ShouldStartAutoPartitionSearch(const AutoSearchState& state);
