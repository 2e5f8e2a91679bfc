// The drive trees: the physical disks with their properties and partitions, the logical drives,
// the record behind every drive-tree item, the services that find and select a disk in a tree,
// and the lost-partition search that adds the partitions a wiped table no longer lists.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "afxwin.h"
#include "storage/pure/drive_texts.h"
#include "storage/pure/globals.h"

// The properties of one physical disk, partition or logical drive. One is allocated per tree
// item and stored as its item data; records are never freed (items of an old tree may still be
// looked at while a new one is built).
struct DriveInfoRecord {
    CString itemText;
    CString extraText;
    CString searchModeName; // "Basic Search" ... "Signature Search"
    CString spareText;

    // A partition or logical drive.
    CString endSectorText;
    CString partitionType;
    CString volume;
    CString label;
    CString sizeText;
    CString freeSpaceText;
    CString volumeSerial;
    uint64_t startSector = 0;
    uint32_t reservedWord = 0;
    uint64_t totalBytes = 0;        // a logical drive's size in bytes
    uint32_t diskNumber = 0;        // the physical disk the item lies on
    uint32_t isDynamic = 0;         // 1 on a dynamic disk
    uint64_t volumeStartSector = 0; // a logical drive's extent on its disk
    uint64_t volumeEndSector = 0;

    // A physical disk.
    CString diskNumberText;
    CString diskName; // "Disk" + number
    CString productText;
    CString tagText;
    CString model;
    CString mediaType;
    CString interfaceType;
    CString capacity;
    CString cylinders;
    CString heads;
    CString totalSectors;
    CString bytesPerSector;
    CString sectorsPerTrack;
    CString firmwareRevision;
    CString vendor;
    CString serialNumber;
    CString systemName;
    CString physicalDeviceId;
    uint64_t capacityMiB = 0; // 0 for partitions and logical drives
};

// The record of the item made or selected last.
extern DriveInfoRecord* SelectedDriveItem;

// A disk on which no partition was found, remembered for the automatic partition search.
struct smpparam {
    uint32_t cylinders = 0;
    uint32_t heads = 0;
    uint32_t sectorsPerTrack = 0;
    TreeItemHandle diskItem = nullptr;
    uint64_t totalSectors = 0;
    CString devicePath;
};
extern std::vector<smpparam> DiskSearchList;

// ---- Enumeration state ---------------------------------------------------------------------

extern uint64_t DiskTotalSectors;          // the disk enumerated or selected last, in sectors
extern TreeItemHandle LastDiskItem;        // the disk item inserted last
extern CStringArray DiskMediaList;         // per answering disk: "%d" number, then media kind
extern std::atomic<int> DriveTreeBuilding; // 1 while a drive tree is being rebuilt
extern uint64_t LogicalDriveSectors;       // the logical drive enumerated last, in sectors

// Loaded from the selected item's record by LoadSelectedDriveItem.
extern uint32_t SelectedItemDiskNumber;
extern uint32_t SelectedItemIsDynamic;
extern uint64_t SelectedItemVolumeStart;
extern uint64_t SelectedItemVolumeEnd;

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
};
// A search dialog may register how to find its tree (mode 1 to 5; null removes it); the
// provider answers false while the dialog has no window. A mode without one uses ActiveTree, its
// parent window and its detail host.
typedef bool (*DriveTreeTargetProvider)(DriveTreeTarget& target);
void RegisterDriveTreeTarget(int searchMode, DriveTreeTargetProvider provider);
// The current mode's target; false when that mode registered none or its dialog is gone.
bool GetDriveTreeTarget(DriveTreeTarget& target);

// ---- Physical disks (the main dialog's services, on g_pMainDlg) -----------------------------

// The computer's name, or "" when it cannot be had.
CString GetMachineName();
// The mode's name as records and summaries show it ("Basic Search" ...), "" for no mode.
CString SearchModeName(int searchMode);

// What one disk answers; filled by QueryPhysicalDisk. False when the disk does not exist, does
// not answer its queries or cannot be read at all.
struct PhysicalDiskInfo {
    uint64_t cylinders = 0;
    uint32_t mediaType = 0;
    uint32_t tracksPerCylinder = 0;
    uint32_t sectorsPerTrack = 0;
    uint32_t bytesPerSector = 0;
    // The size in bytes when the geometry query failed and the size came from elsewhere: the
    // geometry is then a description (255 heads, 63 sectors per track) and the size is exact.
    uint64_t exactBytes = 0;
    bool adapterAnswered = false;
    uint32_t busType = 0;
    StorageDeviceTexts device;
};
bool QueryPhysicalDisk(int diskNumber, PhysicalDiskInfo& info);
// Fills a disk's record from what it answered.
void FillDiskRecord(DriveInfoRecord& record, int diskNumber, const PhysicalDiskInfo& info);

// Lists the physical disks 0 to 25 under the current mode's "Physical Drives" item with their
// partitions. code 45 or 46 also fills DiskDescriptionList.
void AddPhysicalDrives(int code);

// ---- Logical drives and the tree services ----------------------------------------------------

// On the current mode's tree: the child of parentItem whose text holds the disk's tag, or
// parentItem itself.
HTREEITEM FindChildItemByText(int diskNumber, HTREEITEM parentItem);
void SelectDiskItem(int diskNumber, HTREEITEM parentItem);
// Inserts under parentItem (the selected item when null) unless the parent is a partition.
HTREEITEM InsertDriveTreeItem(const CString& text, HTREEITEM parentItem);
void LoadSelectedDriveItem();
// Lists the logical drives but the one whose letter equals which ("ALL" lists every drive).
void AddLogicalDrives(CString which);
void RefreshDriveTrees();
int RefreshAfterMediaChange();
void ResetDriveTreeRoot();
void FillPartitionList(int diskNumber, HTREEITEM item, const CString& kind);
bool IsFloppyDrive(const CString& drive);

// ---- Lost-partition search -------------------------------------------------------------------

// The mode chosen for the search: 5 Standard, 10 Advanced, anything else reads nothing.
extern std::atomic<int> SmpSelMode;
// The disk item the Basic Search drive-tree thread asks the search to use (with its flag).
extern TreeItemHandle PartitionSearchDiskItem;
extern std::atomic<int> PartitionSearchUsesStoredItem;
// The validation result of a partition the automatic search selected.
extern std::atomic<uint32_t> AutoSearchValidation;
// The running search; null when none runs.
extern CWinThread* g_pPartitionSearchThread;

UINT SearchMorePartitionsThread(LPVOID);
// Starts the search thread; false when one runs already or it could not be started.
bool StartPartitionSearchThread();
// The end of a search on the disk item of the current drive tree: its first partition selected
// and shown, or, when it has none, the whole disk offered as one partition (counted as found).
void ShowPartitionSearchResult(HTREEITEM disk, int diskNumber);
// Asks a running search to stop; it ends after the block it reads and runs its own end steps.
void StopPartitionSearch();

// The StorageHost of the running program: partition items into the current drive tree, the
// automatic search. Installed at start-up.
void InstallDriveTreeStorageHost();
