// The machine's storage as the drive trees list it: the physical disks with their properties, the
// logical drives, and the record kept behind every drive-tree item. Filling a tree with them is
// the application's business (app/devicetree.h); this side asks the system and keeps the records.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "afxwin.h"
#include "storage/pure/drive_texts.h"
#include "storage/pure/globals.h"
#include "storage/pure/scan_target.h"
#include "storage/pure/search_mode.h"

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

// ---- Physical disks ----------------------------------------------------------------------------

// The computer's name, or "" when it cannot be had.
CString GetMachineName();

// What one disk answers; filled by QueryPhysicalDisk. False when the disk does not exist, does
// not answer its queries or is a device without any read (one whose sectors fail to read is a
// disk all the same).
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
// Fills a disk's record from what it answered; searchMode names the search the record is made
// for.
void FillDiskRecord(DriveInfoRecord& record, int diskNumber, const PhysicalDiskInfo& info, int searchMode);
// A new record for disk n, made the selected one: DiskMediaList, DiskTotalSectors and
// SelectedDiskNumber describe the disk afterwards. The record is never freed.
DriveInfoRecord* RecordPhysicalDisk(int diskNumber, const PhysicalDiskInfo& info, int searchMode);

// ---- Logical drives ----------------------------------------------------------------------------

// What the system answers about one drive letter.
struct LogicalDriveInfo {
    CString drive; // "X:"
    CString label;
    CString fsName; // as the system gave it, "" when none
    DWORD serial = 0;
    bool sizeKnown = false; // the free-space query answered
    uint64_t totalBytes = 0;
    uint64_t totalFreeBytes = 0;
    LogicalDriveTexts texts;
};
// False for a drive the trees never list: no root directory, a CD-ROM or a floppy drive.
bool QueryLogicalDrive(wchar_t letter, LogicalDriveInfo& info);
// A new record for the drive, made the selected one; also keeps the drive's size in
// LogicalDriveSectors and its key in LogicalDriveKeys; the record keeps the drive's extent on its
// disk. The record is never freed.
DriveInfoRecord* RecordLogicalDrive(const LogicalDriveInfo& info, int searchMode, uint64_t startSector);
// Whether QueryDosDevice names the drive ("X:") a floppy drive.
bool IsFloppyDrive(const CString& drive);
