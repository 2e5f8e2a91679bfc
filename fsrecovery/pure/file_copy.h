// Copying a found file's bytes out of the medium: the sector extents a FAT chain or NTFS runs
// describe, copied block by block into a sink. Bytes that cannot be read are written as zeros
// so that every later byte keeps its offset.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>
#include "storage/pure/ntfs_file_records.h"
#include "storage/pure/ntfs_record.h"
#include "storage/pure/sector_source.h"

struct FoundVolume;
class VolumeRecordReader;

// A stretch of the file on the medium: `sectorCount` sectors from `firstSector`, or as many
// sectors of zeros when `sparse`.
struct CopyExtent {
    uint64_t firstSector = 0;
    uint64_t sectorCount = 0;
    bool sparse = false;
};

enum class CopyResult {
    Done,        // every byte of the size was written
    RunsEnded,   // the extents ended before the size was reached; what they held was written
    Stopped,     // the stop request
    WriteFailed, // the sink refused bytes
    BadGeometry, // zero sectors per cluster, or a sector number past 64 bits
    Damaged,     // a compressed unit that does not decompress, or whose clusters could not be read
};

// Sectors the writers read at once (256 KiB). A read that does not deliver everything is
// retried sector by sector, so a large read loses no more to a bad sector than a small one, and
// a disk is copied at its own speed, not at the speed of one request and one progress update
// per 4 KiB.
constexpr uint32_t kCopyReadSectors = 512;

// Clusters needed for `size` bytes; 0 for size 0 or zero sectors per cluster.
uint64_t ClustersForSize(uint64_t size, uint32_t sectorsPerCluster);

// FAT: the clusters of `chain` in order, neighbours merged into one extent; sector =
// cluster0Start + cluster * sectorsPerCluster. False when a product does not fit in 64 bits.
bool FatChainExtents(const std::vector<uint32_t>& chain, uint32_t sectorsPerCluster, uint64_t cluster0Start,
                     std::vector<CopyExtent>& out);

// FAT without a usable chain: `count` clusters from `firstCluster` taken as contiguous.
bool FatContiguousExtents(uint32_t firstCluster, uint64_t count, uint32_t sectorsPerCluster, uint64_t cluster0Start,
                          std::vector<CopyExtent>& out);

// NTFS: the data runs of a file, sparse runs kept as zero extents; volumeStart is the sector
// of cluster 0.
bool NtfsRunExtents(const std::vector<ClusterRun>& runs, uint32_t sectorsPerCluster, uint64_t volumeStart,
                    std::vector<CopyExtent>& out);

// The sectors a file of a volume may be read from: firstSector up to, not including, endSector.
struct VolumeBounds {
    uint64_t firstSector = 0;
    uint64_t endSector = UINT64_MAX;
};

// Where the boot sector of a found volume lies: FAT before its reserved sectors (when the geometry
// says), NTFS at cluster 0; else the first sector scanned for it.
uint64_t VolumeBootSector(const FoundVolume& volume);

// The sectors the files of `volume` lie in. FAT: from its first data cluster to the end of its last
// cluster (and never past the clusters its FAT can name); NTFS: its clusters, as many as its total
// sectors hold. The total comes from `boot` (512 bytes read at VolumeBootSector, or null) when that
// boot sector agrees with the volume's geometry (its cluster size, and its reserved sectors or where
// it puts cluster 0), else from the range scanned for the volume; a boot sector that claims more
// than that range holds (its endSector, the sector after it) is believed no further. Only whole
// clusters count: a cluster the end cuts is not read.
VolumeBounds FileDataBounds(const FoundVolume& volume, const uint8_t* boot);

// Cuts the first `size` bytes' worth of `extents` to `bounds`: sectors outside become zeros, so that
// every later byte keeps its offset, and what lies outside at the end is left off. Extents past the
// size are dropped; with `unitSectors`, only those past the unit the size ends in, since the hole
// at a compressed unit's end tells how the unit is stored. True when any of the file's sectors lay
// outside: the file cannot be whole.
bool ClipExtentsToVolume(std::vector<CopyExtent>& extents, uint64_t size, const VolumeBounds& bounds,
                         uint32_t unitSectors = 0);

// Receives the file's bytes in order; false means the bytes could not be written.
using CopySink = std::function<bool(const uint8_t* data, size_t length)>;
// Polled before every block; true stops the copy.
using CopyStop = std::function<bool()>;
// Told the bytes written so far after every block.
using CopyProgress = std::function<void(uint64_t written)>;

// Copies exactly `size` bytes (less only when the extents end first) in blocks of
// `blockSectors`. A block the source cannot deliver is written as zeros. Size 0 writes nothing.
CopyResult CopyExtents(SectorSource& source, const std::vector<CopyExtent>& extents, uint64_t size,
                       uint32_t blockSectors, const CopySink& sink, const CopyStop& stop = {},
                       const CopyProgress& progress = {});

// The largest compression unit read (1 MiB); NTFS compresses in units of 16 clusters of at most 4 KiB.
constexpr uint32_t kMaxCompressionUnitSectors = 2048;

// Copies exactly `size` bytes of a compressed NTFS attribute whose extents are read in units of
// `unitSectors` sectors, in file order: a unit with all its sectors holds its bytes as they are
// (a sector that cannot be read gives zeros, as CopyExtents writes them); one whose sectors end in
// a sparse tail holds LZNT1 chunks, decompressed to the unit's size; one that is all sparse is
// zeros. A unit whose chunks do not decompress, whose compressed sectors cannot all be read, or
// with a sparse stretch before sectors that hold data is Damaged: what was written before it is
// no file. Extents that end before the size give RunsEnded, as in CopyExtents.
CopyResult CopyCompressedExtents(SectorSource& source, const std::vector<CopyExtent>& extents, uint64_t size,
                                 uint32_t unitSectors, const CopySink& sink, const CopyStop& stop = {},
                                 const CopyProgress& progress = {});

// How the unnamed data of a file record is copied out.
struct NtfsDataPlan {
    enum class Kind {
        Unusable, // nothing this program can copy as the file's bytes
        InRecord, // the bytes lie in the record, from recordOffset (or in residentBytes)
        Runs,     // the bytes lie in `extents`
    };
    Kind kind = Kind::Unusable;
    size_t recordOffset = 0;
    // InRecord, when the bytes lie in another record than the one planned from: the bytes (none
    // for an empty file, which writes nothing).
    std::vector<uint8_t> residentBytes;
    std::vector<CopyExtent> extents;
    // A compressed attribute's unit in sectors, for CopyCompressedExtents; 0 for one whose extents
    // hold its bytes as they are.
    uint32_t unitSectors = 0;
    // The file's bytes from here on are zeros, as the system reads them: past the initialized size
    // the clusters hold whatever was there before (a file being written, or space set aside).
    uint64_t validBytes = UINT64_MAX;
    // The extents end where a record of the file could not be taken (missing, unreadable, reused,
    // or leaving a gap): what they hold is the file as far as it goes, never the whole file.
    bool incomplete = false;
};

// The plan for the first `size` bytes of the unnamed data of a fixed-up 1024-byte record, on a
// volume of `sectorsPerCluster` whose cluster 0 is at volumeStart. Resident data is copied from the
// record when the size lies inside its value, whatever its flags say (resident data is never
// compressed); a record without an unnamed stream is an empty file when its size is 0. A
// non-resident attribute is copied through its runs, unit by unit when its own header flags say
// LZNT1 (its unit of 2^n clusters, n the byte at 0x22, from 2 clusters up to
// kMaxCompressionUnitSectors). Unusable: no data, runs that do not decode, another compression
// method, and a file Windows keeps compressed behind a reparse point in a named stream, whose
// unnamed data is only a hole.
NtfsDataPlan PlanNtfsData(const uint8_t* record, uint64_t size, uint32_t sectorsPerCluster, uint64_t volumeStart);

// The plan for the first `size` bytes of a file's unnamed data as GatherNtfsFileParts gathered it
// from its records, on a volume of `sectorsPerCluster` whose cluster 0 is at volumeStart: as
// PlanNtfsData plans it from one record, its runs those of every extent in order (a compressed
// file's units running on across extents). Data not gathered whole is `incomplete`, a compressed
// one cut to its last whole unit; a file with an attribute list and no unnamed data is an empty file
// when its size is 0.
NtfsDataPlan PlanGatheredNtfsData(const NtfsFileParts& parts, uint64_t size, uint32_t sectorsPerCluster,
                                  uint64_t volumeStart);

// The plan for a file whose fixed-up base record, read at recordSector, has an attribute list: its
// data gathered through `records` (the records of its volume; a deleted file's also from the freed
// records its list no longer names, kGatherFreedData) and planned by PlanGatheredNtfsData; a file
// Windows keeps compressed behind a reparse point is Unusable, as PlanNtfsData finds.
NtfsDataPlan PlanListedNtfsData(const uint8_t* record, uint64_t recordSector, uint64_t size,
                                VolumeRecordReader& records);

// The plan for the first `size` bytes of the file whose base record begins at recordSector on the
// volume `records` reads; the record, read and fixed up, is left in `record` (an InRecord plan's
// recordOffset points into it). A record that does not read whole (ReadRecordAt: a sector whose
// fix-up fails, even read along the $MFT) is no whole record of any version: a write cut short
// left it part new, part old, and the sector that agrees with its header may be the stale one. It
// gives no data at all (Unusable), whatever runs or bytes it shows. A record with an attribute list
// is planned from its records (PlanListedNtfsData), any other from itself (PlanNtfsData). Unusable
// too when nothing could be read.
NtfsDataPlan PlanFoundNtfsData(uint64_t recordSector, uint64_t size, VolumeRecordReader& records,
                               std::vector<uint8_t>& record);

// Extents of data whose bytes from validBytes on are zeros: the sectors wholly past it become holes,
// so that they are not read. A compressed attribute's extents are left as they are (a hole tells
// how a unit is stored).
void HoleExtentsFrom(std::vector<CopyExtent>& extents, uint64_t validBytes);

// A sink that passes the bytes before `validBytes` on to `sink` and zeros in place of the others.
CopySink ZerosFrom(uint64_t validBytes, CopySink sink);

// The resident data of the unnamed $DATA attribute at attributeOffset of a fixed-up 1024-byte
// record, when `size` bytes of it lie inside the attribute's value and the record. The value
// starts where the attribute header says, not at a fixed place.
bool ResidentDataSpan(const uint8_t* record, size_t attributeOffset, uint64_t size, size_t* dataOffset);

// True when a fixed-up 1024-byte file record, walked whole to its end marker, has neither an
// unnamed $DATA attribute nor an attribute list that could hold one in another record: its
// unnamed stream is empty. $Secure and the indexes of $Extend keep their bytes in named streams
// only, and are saved as the empty files they are listed as.
bool HoldsNoUnnamedData(const uint8_t* record);
