// Checking that a selected range holds the file system its selection names, and measuring it.
#pragma once
#include <cstdint>

#include "cstring.h"
#include "storage/pure/globals.h"
#include "storage/pure/scan_target.h"
#include "storage/pure/sector_source.h"
#include "storage/pure/storage_host.h"

enum class VolumeCheck {
    Invalid,
    Valid,
    NoBootSector, // NTFS: neither the boot sector nor its backup carries the signature
};

// Checks the volume from startSector to endSector (exclusive for MBR partitions, inclusive for
// GPT ones) as fsName ("FAT16", "FAT32", "NTFS"; anything else is Invalid without a read).
// On Valid, geometry holds the volume's parameters; NTFS sets only its own fields. Otherwise
// geometry is left untouched. The second $MFT and $MFTMirr attempts read through mftDevice.
VolumeCheck CheckVolume(SectorSource& device, SectorSource& mftDevice, const CString& fsName, uint64_t startSector,
                        uint64_t endSector, VolumeGeometryRecord& geometry);

// A whole disk taken as one partition (target.wholeDisk): when sector 0, or else the target's
// first sector, is a FAT16, FAT32 or NTFS boot sector, the volume starts there, has that file
// system and ends where the boot sector's sector count says (never past the disk). True when one
// was found (the target then says so); false leaves the target as it was.
bool FindWholeDiskVolume(SectorSource& device, ScanTarget& target);

// Starts the lost-partition search (setting AutoPartitionSearch) when the host's state allows
// it; for a check that found no NTFS boot sector at all.
void StartAutoPartitionSearchIfDue(StorageHost* host);

// The check of a selected volume (its file system and range) into `geometry`: 1 when valid,
// else 0. With a host, it starts the lost-partition search (setting AutoPartitionSearch) when an
// NTFS whole disk has no boot sector at all and the host's state allows it.
uint16_t ValidateVolumeFrom(SectorSource& device, SectorSource& mftDevice, const SelectedVolumeRecord& volume,
                            VolumeGeometryRecord& geometry, StorageHost* host);
