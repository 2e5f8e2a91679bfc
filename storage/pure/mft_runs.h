// The map from MFT record numbers to sectors: the extents of the $MFT's own $DATA, gathered
// from record 0 and from the extension records its attribute list names. File records are
// 1024 bytes (two sectors).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "storage/pure/ntfs_record.h"
#include "storage/pure/sector_source.h"

constexpr uint32_t kSectorsPerMftRecord = uint32_t(kMftRecordSize / kSectorSize);
// Extension records taken from the $MFT's attribute list; further entries are dropped.
constexpr size_t kMaxMftExtensionRecords = 100;

// The $MFT's extents in the order of its virtual clusters. starts[i] is the absolute first
// sector of run i, 0 for a sparse run (sector 0 of a disk never holds an MFT); lengths[i]
// its length in sectors.
struct MftRunTableRecord {
    std::vector<uint64_t> starts;
    std::vector<uint64_t> lengths;

    size_t count() const { return starts.size(); }
    void Clear()
    {
        starts.clear();
        lengths.clear();
    }
    uint64_t totalSectors() const;
};

// Appends cluster runs as sector runs: start = partitionStartSector + cluster *
// sectorsPerCluster. False (and nothing appended) when a product does not fit in 64 bits.
bool AppendRunsAsSectors(const std::vector<ClusterRun>& runs, uint64_t partitionStartSector, uint32_t sectorsPerCluster,
                         MftRunTableRecord& table);

// The sector at which record n begins. False when no run covers it or it falls into a sparse
// run; the output is then left as it was.
bool MftRecordToLbaIn(uint64_t recordNumber, const MftRunTableRecord& table, uint64_t* sector);

// The number of the record that begins at `sector`; false when no run holds it or it is not where
// a record begins.
bool MftRecordAtSector(uint64_t sector, const MftRunTableRecord& table, uint64_t* recordNumber);

// Reads record n (1024 bytes) through the table, each of its two sectors mapped on its own
// so that a record split across two runs reads right. False when a sector is not covered or
// a read fails.
bool ReadMftRecordAt(SectorSource& source, const MftRunTableRecord& table, uint64_t recordNumber, uint8_t* record);

// The numbers of the records that hold pieces of the unnamed $DATA of a (fixed-up) record,
// from its attribute list, resident or not, in the list's order (by first virtual cluster).
// At most kMaxMftExtensionRecords are kept. A list kept outside the record is read only from the
// volume's sectors up to lastSector.
std::vector<uint64_t> CollectMftExtensionRecords(SectorSource& source, const uint8_t* record,
                                                 uint64_t partitionStartSector, uint32_t sectorsPerCluster,
                                                 uint64_t lastSector = UINT64_MAX);

// Cuts the table to the volume [firstSector, lastSector]: what of a run lies outside the volume
// becomes a hole (start 0) of that length, so that every record after it keeps its number, and
// no more sectors, holes counted, are kept in all than the volume has. A damaged $MFT record can
// claim runs of 2^40 clusters; what lies outside the volume holds no records of it. A last
// sector below the first leaves the table as it is.
void ClampMftRunsToVolume(MftRunTableRecord& table, uint64_t firstSector, uint64_t lastSector);

// Builds the table from record 0 and the extension records its attribute list names, each record's
// runs clamped to the volume from partitionStartSector to lastSector (its last sector, not the one
// after it), the list read from the volume only. Record 0 is the $MFT's copy at mftStartSector when
// it is whole, else the mirror's ($MFTMirr) at mirrorSector (0: none known) when that one is whole;
// a copy is whole when both its sectors lie in the volume, read, carry the "FILE" signature and
// hold its update sequence. A torn copy is never read for runs: its stale sector could place
// records on clusters that are no longer the $MFT's. The table is replaced only when the copy taken
// has a non-resident $DATA with a run in the volume; an unreadable, torn or inconsistent extension
// record ends the load with the runs gathered so far. Holes at the table's end are left off. True
// when the table was replaced.
bool LoadMftRunTableFrom(SectorSource& source, uint64_t partitionStartSector, uint64_t mftStartSector,
                         uint64_t mirrorSector, uint32_t sectorsPerCluster, MftRunTableRecord& table,
                         uint64_t lastSector = UINT64_MAX);
