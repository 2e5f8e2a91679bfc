// FAT cluster chains and the copying of a found FAT volume's parameters.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "cstring.h"
#include "storage/pure/globals.h"
#include "storage/pure/sector_source.h"

// Where one FAT copy lies and how large it is.
struct FatChainGeometry {
    bool fat32 = false;
    uint64_t fatStartSector = 0; // absolute first sector of the copy
    uint32_t sectorsPerFat = 0;  // bounds the cluster numbers that can be looked up
};

enum class FatChainEnd {
    EndMark,      // an end-of-chain entry
    Free,         // an entry below 2 (a free cluster or a reserved value)
    ReadFailed,   // the FAT sector holding the entry could not be read
    BeyondFat,    // the cluster's entry lies past the FAT (or there is no FAT)
    Loop,         // the next cluster is one already in the chain
    CountReached, // the caller's limit of clusters
    Stopped,      // the caller's stop request
    OutOfMemory,  // the chain could not grow; it is left empty
};

// Number of entries the FAT holds (at most 2^28, the most FAT32 can address).
uint64_t FatEntryCount(const FatChainGeometry& fat);

// Follows the chain from startCluster and stores it, start cluster first, in `chain`
// (replacing what it held). Ends at an end mark, at an entry below 2, at a failed read, at a
// cluster whose entry lies past the FAT, at a cluster already in the chain (which is not
// added again), once the chain holds maxClusters clusters, or when `stop` says so (polled once
// per cluster). The chain never holds more clusters than the FAT has entries. When memory runs
// out the chain is released and the storage host told (ReportListMemoryExhausted).
FatChainEnd WalkFatChain(SectorSource& source, const FatChainGeometry& fat, uint32_t startCluster, uint64_t maxClusters,
                         const std::function<bool()>& stop, std::vector<uint32_t>& chain);

// The save path's walker into ClusterChain: the file needs expectedCount clusters, so the
// walk stops once the chain holds one more than that, which the caller sees as a mismatch
// and then tries the other FAT copy. "FAT16" or "FAT32"; any other type leaves the chain
// untouched. An expected count of 0 gives the start cluster alone.
FatChainEnd BuildFatClusterChainFrom(SectorSource& source, const CString& partitionType, uint32_t startCluster,
                                     uint64_t fatStartSector, uint32_t sectorsPerFat, uint64_t expectedCount,
                                     const std::function<bool()>& stop);

// The browsing walker into ClusterChain: the whole chain under the given volume parameters.
FatChainEnd BuildFatClusterChainDeepFrom(SectorSource& source, const FatVolumeParamsRecord& params,
                                         uint32_t startCluster, const std::function<bool()>& stop);

// One row of the found-FAT-volume table, its cells by column: 1 "SPF", 2 "SPC",
// 3 "Root Sectors", 4 "Root Start", 5 "Reserve Sectors", 6 "Cluster0Start", 7 "firstFAT",
// 8 "secondFAT", 10 "PartType". Missing or empty cells count as 0 (or as empty text).
using FatCandidateRow = std::vector<CString>;

// Copies a row into params: a root of 0 sectors on a volume held as FAT16 becomes 32, a root
// start of 0 becomes 2. Numbers that are not decimal or do not fit their field count as 0.
void StoreFatCandidateRow(const FatCandidateRow& row, FatVolumeParamsRecord& params);
// Row rowNumber (counted from 1) of the table; nothing changes for a row that is not there.
bool LoadFatCandidateRow(const std::vector<FatCandidateRow>& table, int rowNumber, FatVolumeParamsRecord& params);
// Mode 1: row `index` (from 0). Mode 0: the first row whose "Cluster0Start" equals
// wantedCluster0Start. Nothing changes when params already hold that cluster-0 sector or no
// row qualifies. True when a row was copied.
bool LoadFatCandidateRowByIndex(const std::vector<FatCandidateRow>& table, int mode, int index,
                                uint64_t wantedCluster0Start, FatVolumeParamsRecord& params);
