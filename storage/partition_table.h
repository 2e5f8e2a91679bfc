// Reading the partitions of a listed disk into its partition table and drive-tree item, the
// dynamic-disk test of a logical drive, and the check of the selected volume.
#pragma once
#include <windows.h>
#include <winioctl.h>

#include <cstdint>

#include "cstring.h"
#include "storage/pure/globals.h"

// The disk SelectedDiskNumber: its MBR (and extended chain, or GPT) into
// DiskPartitionTable[SelectedDiskNumber] from partition 0 on, each partition's item inserted
// under diskItem. Without a disk item the first recognised partition becomes the selected
// volume. kind "Logical" reads the main dialog's logical-drive path, any other kind the disk's
// "\\.\PhysicalDriveN".
void AddDiskWithPartitions(DWORD mbrSector, uint64_t diskSectors, TreeItemHandle diskItem, CString kind);
// The GPT entry array from firstSector on, after the partitions the disk already holds.
void AddGptPartitions(uint64_t firstSector, TreeItemHandle diskItem, CString kind);

// An MBR partition of type 0x42 or a GPT partition of the LDM data type.
bool IsLdmPartition(const PARTITION_INFORMATION_EX& entry);
// Where a drive letter lies on its disk: the last extent the dynamic-disk test looked at.
struct VolumeExtent {
    uint64_t VolumeExtentStart = 0;
    uint64_t VolumeExtentEnd = 0; // first sector after the extent
    uint32_t VolumeExtentDisk = 0;
};
// Whether the drive ("C:") lies on a dynamic disk; fills `extent` on the way (zero when the drive's
// extents cannot be read). A drive-layout query that fails for another reason than a small buffer
// also answers yes.
bool IsVolumeOnDynamicDisk(const CString& drive, VolumeExtent& extent);

// Checks a selected volume (its file system and range) on CurrentDevicePath into `geometry`: 1
// when valid.
uint16_t ValidateSelectedVolume(const SelectedVolumeRecord& volume, VolumeGeometryRecord& geometry);
