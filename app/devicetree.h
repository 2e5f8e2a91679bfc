// The drive trees of the search dialogs: filling them with the disks, their partitions and the
// logical drives, finding and selecting their items, and the lost-partition search that adds the
// partitions a wiped table no longer lists. The records and the queries behind the items are
// storage's (storage/driverecords.h).
#pragma once
#include <windows.h>

#include <atomic>

#include "afxwin.h"
#include "storage/driverecords.h"

// ---- Where the drive items go ----------------------------------------------------------------

// The drive tree of one search dialog, as that dialog describes it when asked. Group items left
// null are found by their texts.
struct DriveTreeTarget {
    CWnd* dialog = nullptr; // disabled while its tree is filled
    CTreeCtrl* tree = nullptr;
    HTREEITEM physicalRoot = nullptr; // "Physical Drives"
    HTREEITEM logicalRoot = nullptr;  // "Logical Drives"
    HWND fileList = nullptr;          // emptied and shown when the dialog is on its first page
    bool onFirstPage = false;
    bool scanCounted = false; // the dialog has counted a scan already
    // The lost-partition search on this dialog: its bar (0: Basic Search's), whether the whole disk
    // it offers as a partition shows no start sector, and how the dialog takes its drive page back
    // when the search is over (null: the search gives it back itself).
    int partitionProgress = 0;
    bool wholeDiskStartBlank = false;
    void (*endPartitionSearch)(CWnd* dialog) = nullptr;
    // Makes the dialog's drive tree again from the drives attached now; true when it lists a
    // drive (null: the drive trees are refreshed as they are).
    bool (*rebuildTree)(CWnd* dialog) = nullptr;
};
// A search dialog may register how to find its tree (mode 1 to 5; null removes it); the
// provider answers false while the dialog has no window. A mode without one uses ActiveTree, its
// parent window and its detail host.
typedef bool (*DriveTreeTargetProvider)(DriveTreeTarget& target);
void RegisterDriveTreeTarget(int searchMode, DriveTreeTargetProvider provider);
// The current mode's target; false when that mode registered none or its dialog is gone.
bool GetDriveTreeTarget(DriveTreeTarget& target);

// ---- Filling the tree ------------------------------------------------------------------------

// What AddPhysicalDrives is asked for. Both codes also keep each disk's description in
// DiskDescriptionList, where the scan-log loaders look a logged disk up; a tree refresh passes
// kDiskListRefresh.
enum : int { kDiskListRefresh = 45, kDiskListDescribe = 46 };

// Lists the physical disks 0 to 25 under the current mode's "Physical Drives" item with their
// partitions.
void AddPhysicalDrives(int code);
// Lists the logical drives but the one whose letter equals which ("ALL" lists every drive).
void AddLogicalDrives(CString which);
void RefreshDriveTrees();
int RefreshAfterMediaChange();
// Names the top item of a results tree "Root" with picture 0 (the drive tree, whose top item is
// "My Computer", is never touched).
void ResetDriveTreeRoot(CTreeCtrl* resultTree);

// ---- Finding and selecting items -------------------------------------------------------------

// On the current mode's tree: the child of parentItem whose text holds the disk's tag, or
// parentItem itself.
HTREEITEM FindChildItemByText(int diskNumber, HTREEITEM parentItem);
// Makes the disk's record the selected one: its size (DiskTotalSectors) and texts
// (SelectedDiskTexts); false, changing nothing, when parentItem has no child of that disk.
bool SelectDiskItem(int diskNumber, HTREEITEM parentItem);
// Inserts under parentItem (the selected item when null) unless the parent is a partition.
HTREEITEM InsertDriveTreeItem(const CString& text, HTREEITEM parentItem);
// The selected item's record made the selected one, and its place on its disk.
SelectedItemPlace LoadSelectedDriveItem();
void FillPartitionList(int diskNumber, HTREEITEM item, const CString& kind);

// ---- Lost-partition search -------------------------------------------------------------------

// The mode chosen for the search: 5 Standard, 10 Advanced, anything else reads nothing.
extern std::atomic<int> SmpSelMode;
// The disk item the Basic Search drive-tree thread asks the search to use (with its flag).
extern TreeItemHandle PartitionSearchDiskItem;
extern std::atomic<int> PartitionSearchUsesStoredItem;
// What the automatic search found for the scan that started it: the partition it selected last,
// that partition's geometry and its validation result (1: valid).
struct AutoSearchResult {
    SelectedVolumeRecord SelectedVolumeInfo;
    VolumeGeometryRecord VolumeGeometry;
    uint16_t AutoSearchValidation = 0;
};
// A partition the automatic search found, checked (ValidateSelectedVolume) and kept as its
// result; from the search's thread.
void KeepAutoSearchFind(const CString& fsName, uint64_t startSector, uint64_t endSector);
// The result kept last (a copy); forgotten when a scan or a Basic Search dialog starts afresh.
AutoSearchResult AutoSearchFound();
void ForgetAutoSearchResult();
// The running search; null when none runs.
extern CWinThread* g_pPartitionSearchThread;

UINT SearchMorePartitionsThread(LPVOID);
// Starts the search thread; false when one runs already or it could not be started.
bool StartPartitionSearchThread();
// The end of a search on the disk item of the current drive tree: its first partition selected
// and shown, or, when it has none, the whole disk offered as one partition (counted as found).
void ShowPartitionSearchResult(HTREEITEM disk, int diskNumber);
// Asks a running search to stop; it ends after the block it reads and runs its own end steps.
// Quietly: without the message box of its result, which nobody would see while the program
// closes and which would hold up whoever waits for the search.
void StopPartitionSearch(bool quietly = false);
// An item without text directly below the tree's top item ("My Computer") is no drive: answering
// the stop question (either way) takes the first such item away. False when there is none.
bool DeleteEmptyTopChild(CTreeCtrl& tree);

// The StorageHost of the running program (app/storage_host.cpp): partition items into the current
// drive tree, the main dialog's drive path and tables, the automatic search. Installed at
// start-up.
void InstallDriveTreeStorageHost();
