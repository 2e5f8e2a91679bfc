// FAT cluster chains and the copying of a found FAT volume's parameters.
#pragma once
#include <cstdint>
#include <functional>
#include <unordered_set>
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

// Reads FAT entries through one kept sector, as consecutive clusters mostly share one.
class FatEntryReader {
public:
    FatEntryReader(SectorSource& source, const FatChainGeometry& fat);
    // The cluster after `cluster` in its chain. False when the chain ends there, `end` saying
    // why: an end mark, a free or reserved entry, a failed read, an entry past the FAT.
    bool Follow(uint32_t cluster, uint32_t& next, FatChainEnd& end);
    uint64_t Entries() const { return m_entries; }

private:
    SectorSource& m_source;
    FatChainGeometry m_fat;
    uint64_t m_entries;
    uint64_t m_index = 0;
    bool m_valid = false;
    uint8_t m_buf[kSectorSize];
};

// The clusters of a chain one at a time, for a reader that can stop as soon as it has what it
// needs (a directory ends at its end mark, usually in its first cluster). Ends where
// WalkFatChain ends, and at the first cluster met twice; never yields a cluster twice.
class FatChainCursor {
public:
    FatChainCursor(SectorSource& source, const FatChainGeometry& fat, uint32_t startCluster);
    // The next cluster, the start cluster first; false once the chain has ended.
    bool Next(uint32_t& cluster);
    FatChainEnd End() const { return m_end; }

private:
    FatEntryReader m_reader;
    uint32_t m_current;
    bool m_started = false;
    bool m_ended = false;
    FatChainEnd m_end = FatChainEnd::EndMark;
    std::unordered_set<uint32_t> m_seen;
};

// Follows the chain from startCluster and stores it, start cluster first, in `chain`
// (replacing what it held). Ends at an end mark, at an entry below 2, at a failed read, at a
// cluster whose entry lies past the FAT, at a cluster already in the chain (which is not
// added again), once the chain holds maxClusters clusters, or when `stop` says so (polled once
// per cluster). The chain never holds more clusters than the FAT has entries. When memory runs
// out the chain is released and the storage host told (ReportListMemoryExhausted).
FatChainEnd WalkFatChain(SectorSource& source, const FatChainGeometry& fat, uint32_t startCluster, uint64_t maxClusters,
                         const std::function<bool()>& stop, std::vector<uint32_t>& chain);

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
