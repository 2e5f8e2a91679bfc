// Where an NTFS volume's clusters lie, worked out from the carved records themselves. Record 0
// (the $MFT's own) is kept twice on every volume: at the start of the $MFT and at the start of
// $MFTMirr. Records 0 and 1 name the first clusters of both. Two copies found at sectors sA and sB,
// with sA = cluster0 + mftCluster * spc and sB = cluster0 + mirrorCluster * spc, give both the
// cluster size and the cluster-0 sector, whatever the partition table and boot sectors say. A lone
// copy is trusted only with a boot sector or a volume start that puts it where it was found.
#pragma once
#include <cstdint>
#include <vector>

#include "fsrecovery/pure/deep_scan.h"

// A carved record of one of the first twelve system files ($MFT, $MFTMirr, ..., $Extend), and
// where it was found. Records 0 and 1 carry the first cluster of their unnamed $DATA; record 0
// also all the $MFT's runs, which a volume takes only from a whole copy.
struct NtfsSystemRecord {
    uint64_t sector = 0;
    uint32_t number = 0;
    uint64_t firstCluster = 0;
    std::vector<ClusterRun> runs;
    bool whole = true; // every sector's fix-up held
};

// At most this many system records are kept from one scan; more are ignored.
constexpr size_t kMaxNtfsSystemRecords = 65536;

// Keeps the record in `out` when it is a system file: named as the file of its number, in the root
// (5), and numbered as it (a header without a number is known by its name alone). Records 0 and 1
// count only with a non-resident $DATA whose first run has clusters. True when it was kept.
bool NoteNtfsSystemRecord(const CarvedMftRecord& record, std::vector<NtfsSystemRecord>& out);

// Whether `name` is the name of one of those system files (the root's own "." included).
bool IsNtfsSystemFileName(const CString& name);
bool IsNtfsSystemFileName(const std::u16string& name);

enum class NtfsGeometryBasis {
    MftAndMirror,          // both copies of record 0 (or of record 1 beside them)
    MftCopyAndBootSector,  // one copy, and a boot sector of a volume that puts it there
    MftCopyAndVolumeStart, // one copy, and a known volume start that puts it there
    Unconfirmed,           // nothing agreed: the given start, the boot sectors' cluster size
};

struct NtfsVolumeGeometry {
    uint32_t sectorsPerCluster = 8; // a power of two from 1 to 128
    uint64_t cluster0 = 0;          // the sector of cluster 0, the volume's first
    uint64_t totalSectors = 0;      // from a boot sector that agrees in both numbers; 0 unknown
    NtfsGeometryBasis basis = NtfsGeometryBasis::Unconfirmed;
    // The $MFT's runs as a whole copy of its record 0 names them: the $MFT's own copy, else the
    // mirror's; none when neither copy was found whole.
    std::vector<ClusterRun> mftRuns;
    uint64_t mirrorSector = 0;       // where its $MFTMirr begins (record 1 names it); 0 unknown

    // The sector of record `number` of its $MFT, along mftRuns; false where they do not reach.
    bool MftRecordSector(uint64_t number, uint64_t& sector) const;
};

// Every volume the records show, and the geometry for records of none.
struct NtfsGeometryMap {
    std::vector<NtfsVolumeGeometry> volumes; // ascending cluster0, no two alike
    NtfsVolumeGeometry fallback;

    // The geometry to read the record found at `sector` with: the volume whose $MFT holds that
    // sector, else the volume that begins nearest before it (unless its known size ends before
    // it), else the fallback.
    const NtfsVolumeGeometry& ForRecord(uint64_t sector) const;

    struct Extent {
        uint64_t first = 0, end = 0; // [first, end)
        size_t volume = 0;
    };
    std::vector<Extent> mftExtents; // the volumes' $MFT sectors, ascending, not overlapping

    // Whether the record found at `sector` is a volume's $MFTMirr copy of one of its first records
    // whose copy in its $MFT was found too: the same file found twice, not a second file.
    bool IsMirrorCopy(uint64_t sector) const;
    std::vector<uint64_t> mirrorCopies; // those records' sectors, ascending
};

// Infers the volumes from the system records a scan kept and the NTFS boot sectors it found.
//  - Two copies: pairs of places (a record 0 at s, or a record 1 at s + 2) that name the same
//    $MFT and $MFTMirr clusters, with sectors per cluster (sA - sB) / (mftCluster - mirrorCluster)
//    dividing exactly into a power of two up to 128. Pairs that more records confirm (records 1
//    to 11 where the $MFT puts them) are taken first, then nearer pairs; a place serves one volume.
//  - One copy, left over: a boot sector whose cluster size puts cluster 0 at its own volume's
//    start (the primary at it, the backup at its end), else a start of `knownStarts` (partition
//    or selected volume starts) with sectors per cluster (s - start) / cluster a power of two.
//    A place followed by records 4 to 11 is the $MFT's; otherwise the mirror's reading is tried
//    before the $MFT's.
// Boot sectors and starts that disagree with two copies change nothing. The system records found in
// a volume's $MFTMirr whose copies in its $MFT were found too are noted as mirror copies. The fallback is the old
// rule: cluster 0 at fallbackStart, sectors per cluster ChooseNtfsSectorsPerCluster(boots,
// fallbackStart). Every product and sum is checked; at most 1024 places are paired.
NtfsGeometryMap InferNtfsVolumeGeometry(const std::vector<NtfsSystemRecord>& records,
                                        const std::vector<NtfsBootHit>& boots,
                                        const std::vector<uint64_t>& knownStarts, uint64_t fallbackStart);
