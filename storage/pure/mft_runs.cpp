#include "storage/pure/mft_runs.h"

#include <algorithm>
#include <cstring>

#include "storage/pure/globals.h"
#include "storage/pure/ntfs_file_records.h"

namespace {

bool MulAdd(uint64_t a, uint64_t b, uint64_t c, uint64_t* out)
{
    if (b != 0 && a > (UINT64_MAX - c) / b)
        return false;
    *out = a * b + c;
    return true;
}

// The record number of every list entry for the unnamed $DATA, in order.
void CollectDataEntries(const uint8_t* list, size_t length, std::vector<uint64_t>& out)
{
    WalkAttributeList(list, length, [&](const AttributeListEntry& entry) {
        if (entry.type == kAttrData && entry.nameLength == 0)
            out.push_back(entry.recordNumber);
        return out.size() < kMaxMftExtensionRecords;
    });
}

// A copy of record 0 at `sector`, fixed up: true only when both its sectors lie in the volume, read,
// carry "FILE" and hold its update sequence. A torn copy (a write cut short) is no version of the
// record: the sector that agrees with its header may be the stale one.
bool ReadWholeRecordAt(SectorSource& source, uint64_t sector, uint64_t lastSector, uint8_t* record)
{
    return lastSector >= kSectorsPerMftRecord - 1 && sector <= lastSector - (kSectorsPerMftRecord - 1) &&
        source.Read(sector, kSectorsPerMftRecord, record) != 0 && IsFileRecord(record, kMftRecordSize) &&
        ApplyNtfsFixup(record, kMftRecordSize);
}

} // namespace

uint64_t MftRunTableRecord::totalSectors() const
{
    uint64_t sum = 0;
    for (uint64_t n : lengths)
        sum += n;
    return sum;
}

bool AppendRunsAsSectors(const std::vector<ClusterRun>& runs, uint64_t partitionStartSector, uint32_t sectorsPerCluster,
                         MftRunTableRecord& table)
{
    std::vector<uint64_t> starts, lengths;
    uint64_t total = table.totalSectors();
    for (const ClusterRun& run : runs) {
        uint64_t start = 0, length = 0;
        if (!MulAdd(run.clusterCount, sectorsPerCluster, 0, &length) || length > UINT64_MAX - total)
            return false;
        if (!run.sparse && !MulAdd(run.firstCluster, sectorsPerCluster, partitionStartSector, &start))
            return false;
        total += length;
        starts.push_back(start);
        lengths.push_back(length);
    }
    table.starts.insert(table.starts.end(), starts.begin(), starts.end());
    table.lengths.insert(table.lengths.end(), lengths.begin(), lengths.end());
    return true;
}

namespace {

// The absolute sector that holds sector `wanted` of the $MFT; false when uncovered or sparse.
bool MapMftSector(uint64_t wanted, const MftRunTableRecord& table, uint64_t* sector)
{
    uint64_t before = 0;
    for (size_t i = 0; i < table.count(); ++i) {
        const uint64_t length = table.lengths[i];
        if (wanted - before < length) {
            if (table.starts[i] == 0)
                return false;
            *sector = table.starts[i] + (wanted - before);
            return true;
        }
        before += length;
    }
    return false;
}

} // namespace

bool MftRecordToLbaIn(uint64_t recordNumber, const MftRunTableRecord& table, uint64_t* sector)
{
    if (recordNumber > UINT64_MAX / kSectorsPerMftRecord)
        return false;
    return MapMftSector(recordNumber * kSectorsPerMftRecord, table, sector);
}

bool MftRecordAtSector(uint64_t sector, const MftRunTableRecord& table, uint64_t* recordNumber)
{
    uint64_t before = 0;
    for (size_t i = 0; i < table.count(); ++i) {
        const uint64_t start = table.starts[i], length = table.lengths[i];
        if (start != 0 && sector >= start && sector - start < length) {
            const uint64_t at = before + (sector - start);
            if (at % kSectorsPerMftRecord != 0)
                return false;
            *recordNumber = at / kSectorsPerMftRecord;
            return true;
        }
        before += length;
    }
    return false;
}

bool ReadMftRecordAt(SectorSource& source, const MftRunTableRecord& table, uint64_t recordNumber, uint8_t* record)
{
    uint64_t first = 0, second = 0;
    if (recordNumber > UINT64_MAX / kSectorsPerMftRecord - 1 ||
        !MapMftSector(recordNumber * kSectorsPerMftRecord, table, &first) ||
        !MapMftSector(recordNumber * kSectorsPerMftRecord + 1, table, &second))
        return false;
    if (second == first + 1)
        return source.Read(first, kSectorsPerMftRecord, record) != 0;
    return source.ReadSector(first, record) && source.ReadSector(second, record + kSectorSize);
}

std::vector<uint64_t> CollectMftExtensionRecords(SectorSource& source, const uint8_t* record,
                                                 uint64_t partitionStartSector, uint32_t sectorsPerCluster,
                                                 uint64_t lastSector)
{
    std::vector<uint64_t> records;
    std::vector<uint8_t> value;
    const uint64_t end = lastSector == UINT64_MAX ? UINT64_MAX : lastSector + 1;
    if (ReadNtfsAttributeList(source, record, { partitionStartSector, sectorsPerCluster, end }, value))
        CollectDataEntries(value.data(), value.size(), records);
    return records;
}

void ClampMftRunsToVolume(MftRunTableRecord& table, uint64_t firstSector, uint64_t lastSector)
{
    if (lastSector < firstSector)
        return;
    // The volume's size in sectors, less one so that a volume of 2^64 sectors cannot wrap.
    uint64_t room = lastSector - firstSector;
    bool roomLeft = true;
    MftRunTableRecord kept;
    // Appends a piece of a run: mapped at `start`, or a hole (start 0) that keeps its place.
    const auto keep = [&](uint64_t start, uint64_t length) {
        if (length == 0 || !roomLeft)
            return;
        if (length > room) {
            length = room + 1;
            roomLeft = false;
        } else {
            room -= length;
        }
        kept.starts.push_back(start);
        kept.lengths.push_back(length);
    };
    for (size_t i = 0; i < table.count() && roomLeft; ++i) {
        const uint64_t start = table.starts[i], length = table.lengths[i];
        if (start == 0) {
            keep(0, length);
            continue;
        }
        // The pieces before, inside and after the volume, in the $MFT's order.
        const uint64_t before = start < firstSector ? std::min(length, firstSector - start) : 0;
        const uint64_t inStart = start + before, rest = length - before;
        const uint64_t inside = rest == 0 || inStart > lastSector ? 0 : std::min(rest, lastSector - inStart + 1);
        keep(0, before);
        keep(inStart, inside);
        keep(0, rest - inside);
    }
    table = std::move(kept);
}

namespace {

bool HasMappedRun(const MftRunTableRecord& table)
{
    return std::any_of(table.starts.begin(), table.starts.end(), [](uint64_t start) { return start != 0; });
}

// Holes at the table's end number no record after them.
void DropTrailingHoles(MftRunTableRecord& table)
{
    while (table.count() > 0 && table.starts.back() == 0) {
        table.starts.pop_back();
        table.lengths.pop_back();
    }
}

} // namespace

bool LoadMftRunTableFrom(SectorSource& source, uint64_t partitionStartSector, uint64_t mftStartSector,
                         uint64_t mirrorSector, uint32_t sectorsPerCluster, MftRunTableRecord& table,
                         uint64_t lastSector)
{
    if (sectorsPerCluster == 0)
        return false;
    uint8_t record[kMftRecordSize];
    NtfsAttribute data;
    // Which copy is taken depends on whether it is whole, not on what it holds: a whole copy in
    // the $MFT is the current one even where the mirror's says otherwise.
    if ((!ReadWholeRecordAt(source, mftStartSector, lastSector, record) &&
         (mirrorSector == 0 || !ReadWholeRecordAt(source, mirrorSector, lastSector, record))) ||
        !FindNtfsAttribute(record, kMftRecordSize, kAttrData, true, data) || !data.nonResident)
        return false;
    std::vector<ClusterRun> runs;
    DecodeMappingPairs(record + data.valueOffset, data.valueLength, runs);
    MftRunTableRecord loaded;
    if (runs.empty() || !AppendRunsAsSectors(runs, partitionStartSector, sectorsPerCluster, loaded))
        return false;
    ClampMftRunsToVolume(loaded, partitionStartSector, lastSector);
    if (!HasMappedRun(loaded))
        return false;

    uint64_t clusters = 0;
    for (const ClusterRun& run : runs)
        clusters += run.clusterCount;
    // The pieces in other records, in the order of their first virtual cluster. Each must
    // continue where the runs so far end and must belong to record 0.
    for (uint64_t number :
         CollectMftExtensionRecords(source, record, partitionStartSector, sectorsPerCluster, lastSector)) {
        if (number == 0)
            continue;
        uint8_t ext[kMftRecordSize];
        NtfsAttribute piece;
        // A torn extension record may hold a stale extent: the records past it would be misplaced.
        if (!ReadMftRecordAt(source, loaded, number, ext) || !IsFileRecord(ext, kMftRecordSize) ||
            !ApplyNtfsFixup(ext, kMftRecordSize))
            break;
        if ((Le64At(ext + 32) & 0xFFFFFFFFFFFFull) != 0 ||
            !FindNtfsAttribute(ext, kMftRecordSize, kAttrData, true, piece) || !piece.nonResident ||
            piece.lowestVcn != clusters)
            break;
        std::vector<ClusterRun> more;
        DecodeMappingPairs(ext + piece.valueOffset, piece.valueLength, more);
        if (more.empty() || !AppendRunsAsSectors(more, partitionStartSector, sectorsPerCluster, loaded))
            break;
        ClampMftRunsToVolume(loaded, partitionStartSector, lastSector);
        for (const ClusterRun& run : more)
            clusters += run.clusterCount;
    }
    DropTrailingHoles(loaded);
    table = std::move(loaded);
    return true;
}
