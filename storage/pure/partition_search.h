// The lost-partition search: FAT16, FAT32 and NTFS boot sectors that a disk's partition table
// no longer lists, found either at head 0 or 1 of every cylinder (Standard) or at every sector
// (Advanced), and recorded in the disk's partition table.
#pragma once
#include <cstdint>

#include "cstring.h"
#include "storage/pure/globals.h"
#include "storage/pure/sector_source.h"

enum : int { kSearchStandard = 5, kSearchAdvanced = 10 };

// Sectors the Advanced Mode reads at once (256 KiB).
constexpr uint32_t kSearchBlockSectors = 512;

// What a boot sector names: "FAT32", "FAT16" or "NTFS" with the volume's size in sectors.
struct BootSectorHit {
    CString fsName;
    uint64_t totalSectors = 0;
};
// The signature, then the FAT32, FAT16 and NTFS texts in that order; the first match decides.
// A FAT16 volume too small for the 32-bit count keeps its size in the 16-bit one. False for any
// other sector and for a volume of size 0.
bool ClassifySearchBootSector(const uint8_t* sector, BootSectorHit& hit);

// Whether a boot sector found at `sector` belongs to a partition the disk already records: the
// same start and file system, or the backup boot sector of a recorded FAT32 (start + 6) or NTFS
// volume (the partition's last sector).
bool IsRecordedPartitionSector(const DiskPartitionRecord& disk, uint64_t sector, const CString& fsName);

// The geometry the Standard Mode walks: anything but 63 sectors per track is recounted as 255
// heads and 63 sectors per track over the same number of sectors.
struct SearchGeometry {
    uint64_t cylinders = 0;
    uint32_t heads = 0;
    uint32_t sectorsPerTrack = 0;
};
SearchGeometry NormaliseSearchGeometry(uint64_t cylinders, uint32_t heads, uint32_t sectorsPerTrack);

// What the search tells the thread that runs it.
class PartitionSearchListener {
public:
    virtual ~PartitionSearchListener();
    // Polled before every read; true ends the search.
    virtual bool StopRequested() = 0;
    // The cylinder (Standard) or the block's first sector (Advanced) about to be read.
    virtual void Progress(uint64_t position) = 0;
    // Partition `index` of the disk was just recorded. False ends the search.
    virtual bool PartitionFound(int index, const CString& fsName, uint64_t startSector, uint64_t endSector) = 0;
};

struct PartitionSearchParams {
    int mode = 0;              // kSearchStandard, kSearchAdvanced; anything else reads nothing
    SearchGeometry geometry;   // Standard, already normalised
    uint64_t totalSectors = 0; // Advanced: the disk's size
};

struct PartitionSearchOutcome {
    int added = 0;
    bool stopped = false; // ended by the listener's stop flag
};

// Runs the search over source and records every new partition in disk (after those it holds,
// up to kMaxPartitionsPerDisk). Only sectors a read actually delivered are tested. A partition
// ends at the sector after it: after the sectors a FAT boot sector counts, after the backup boot
// sector that follows those an NTFS one counts.
PartitionSearchOutcome RunPartitionSearch(SectorSource& source, const PartitionSearchParams& params,
                                          DiskPartitionRecord& disk, PartitionSearchListener& listener);
