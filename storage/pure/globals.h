// The process-wide state of storage access: the device paths, the per-disk partition tables and
// the selection the drive trees show, with the records a scan's selection and its volume are
// described by (a scan itself takes them as values: storage/pure/scan_target.h). Created before
// the program's main code runs and kept until it ends; written and read from several threads
// without locks, in the order the searches guarantee (a selection is complete before a scan
// thread starts).
#pragma once
#include <atomic>
#include <cstdint>

#include "cstring.h"

// A drive-tree item (HTREEITEM), stored without making this header depend on the window API.
using TreeItemHandle = struct _TREEITEM*;

constexpr int kMaxDisks = 26;             // "\\.\PhysicalDrive0" to "\\.\PhysicalDrive25"
constexpr int kMaxPartitionsPerDisk = 26; // bound of partitionCount and of fsName
constexpr int kPartitionSlotCount = 50;

// ---- Sector reader and device paths ------------------------------------------------------

// 'F' on the Windows 9x platform, 'N' on the NT platform, 0 until the platform probe ran (and
// then every read fails).
extern char PlatformKind;
// "\\.\PhysicalDrive0" ... "\\.\PhysicalDrive25", then one empty end entry.
extern const CString PhysicalDrivePathTable[kMaxDisks + 1];
// The device the last scan request (or loaded log) reads, a physical-disk or a volume path, as
// the search dialog publishes it; the lost-partition search checks what it finds there.
// No scan, listing, save or log reads it: they take their request's device.
extern CString CurrentDevicePath;

// ---- Partition tables and selected-volume state ------------------------------------------

struct PartitionSlot {
    TreeItemHandle treeItem = nullptr;
    uint64_t startSector = 0;
    uint64_t endSector = 0; // MBR: first sector after it; GPT: its last sector
    bool gpt = false;       // read from a GPT entry array
};

// A partition of a partition table: its first sector and the sector after it, whatever table
// it came from.
struct PartitionExtent {
    uint64_t firstSector = 0;
    uint64_t endSector = 0;
};

struct DiskPartitionRecord {
    uint32_t partitionCount = 0;
    CString fsName[kMaxPartitionsPerDisk];
    PartitionSlot slot[kPartitionSlotCount];
};

extern DiskPartitionRecord DiskPartitionTable[kMaxDisks];

// Records partition number partitionCount of the disk: its name and range; the caller stores
// the tree item afterwards. Returns the index written, or -1 when the disk already holds
// kMaxPartitionsPerDisk partitions (the bound is checked on the index that is written).
int AddPartitionToDisk(DiskPartitionRecord& disk, const CString& fsName, uint64_t startSector, uint64_t endSector);
// Empties the disk and drive lists and every partition record.
void ResetDiskTable();

extern uint16_t SelectedDiskNumber;
// "Logical", "Recognised", "Physical Drives", "Hard Disk" or "part".
extern CString SelectedItemKind;
// Texts of the selected disk: its model text, a copy of it, a composed description and one
// more that the disk selection fills; kept in the scan log.
extern CString SelectedDiskTexts[4];

// A selected volume as the scan log keeps it (a ScanRequest's SelectedVolumeInfo).
struct SelectedVolumeRecord {
    uint16_t diskNumber = 0;
    uint32_t partitionSelector = 0;
    CString fsName;
    CString searchModeName;
    uint64_t startSector = 0;
    uint64_t endSector = 0;
    uint64_t sizeBytes = 0; // sizeSectors * 512; not part of the scan log
    uint64_t startSectorCopy = 0;
    uint64_t sizeSectors = 0;
};

struct VolumeGeometryRecord {
    uint32_t sectorsPerFat = 0;
    uint32_t sectorsPerCluster = 0;
    uint32_t rootDirSectors = 0;
    uint32_t rootStart = 0; // FAT16: first root sector; FAT32: root start cluster
    uint32_t reservedSectors = 0;
    uint64_t cluster0Start = 0; // FAT: where cluster 0 would begin; NTFS: volume start
    uint32_t firstFatSector = 0;
    uint32_t secondFatSector = 0;
    uint64_t mftSector = 0;
    uint64_t mftMirrSector = 0;
    uint32_t sectorsPerFileRecord = 0;
    uint32_t sectorsPerIndexRecord = 0;
};

// A volume's parameters as the scans, listings and saves read them: the same geometry and the
// file-system name, "FAT16", "FAT32" or "NTFS". The scan log keeps the name between the second FAT
// sector and the $MFT sector.
struct FatVolumeParamsRecord : VolumeGeometryRecord {
    CString partitionType;
};

// Copies every geometry field; the partition type is left as it is.
void CopyGeometryToParams(const VolumeGeometryRecord& from, FatVolumeParamsRecord& to);

// ---- Volume validation -------------------------------------------------------------------

// 1 while the lost-partition search runs because the volume check started it by itself.
extern uint32_t AutoPartitionSearch;

// ---- Disk and drive enumeration ----------------------------------------------------------

// One text per listed disk: model, capacity, size in sectors and disk number joined by "||".
extern CStringArray DiskDescriptionList;
// One text per listed logical drive: its device path, "|" and its size in sectors.
extern CStringArray LogicalDriveKeys;
