// The volumes Deep Search recognises inside a drive letter ("Search More Partitions" on a logical
// drive): the NTFS and FAT16 boot sectors a boot-sector scan of the drive found, as rows of the
// recognised-volume table ("SNo", "Found File System", "File System Name", "Start Sector",
// "End Sector", "Size", "SPF", "SPC", "RootSec", "RootStartSec", "ReserveSecStart",
// "Cluster0Start", "firstFAT", "secondFAT", "Total Sectors", "partType").
#pragma once
#include <cstdint>
#include <vector>

#include "cstring.h"

struct RecognisedVolume {
    CString fsName; // "NTFS" or "FAT16"
    uint64_t start = 0;
    uint64_t size = 0;
    std::vector<CString> cells; // the 16 columns
};

// The row of the boot sector at `start` of the drive keyed `key` ("Log|\\.\X:|"), numbered
// `number` among the drive's rows; its size is held to driveEnd. An NTFS boot sector whose size
// fits before it but not behind it is the copy that closes its volume: the volume listed is the
// one before it. False for a sector that is no NTFS or FAT16 boot sector, or states no size.
bool RecognisedVolumeOf(const uint8_t* boot, uint64_t start, uint64_t driveEnd, const CString& key, int number,
                        RecognisedVolume& out);

// Adds the volume unless the drive's rows already hold one of the same file system, start and
// end, or it is the backup boot sector that ends an NTFS volume already listed. True when added.
bool AddRecognisedVolume(std::vector<RecognisedVolume>& rows, const RecognisedVolume& volume);
