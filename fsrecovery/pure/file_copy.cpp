#include "fsrecovery/pure/file_copy.h"

#include <algorithm>
#include <memory>

#include "fsrecovery/pure/found_store.h"
#include "fsrecovery/pure/ntfs_volume_records.h"
#include "storage/pure/bootsector.h"
#include "storage/pure/le.h"
#include "storage/pure/lznt1.h"

uint64_t ClustersForSize(uint64_t size, uint32_t sectorsPerCluster)
{
    if (sectorsPerCluster == 0)
        return 0;
    const uint64_t clusterBytes = uint64_t(sectorsPerCluster) * kSectorSize;
    return size / clusterBytes + (size % clusterBytes ? 1 : 0);
}

namespace {

// start + cluster * spc, or false when it does not fit in 64 bits.
bool ClusterSector(uint64_t cluster, uint32_t spc, uint64_t start, uint64_t* sector)
{
    if (spc == 0 || cluster > (UINT64_MAX - start) / spc)
        return false;
    *sector = start + cluster * spc;
    return true;
}

void AppendExtent(std::vector<CopyExtent>& out, uint64_t first, uint64_t count, bool sparse)
{
    if (!out.empty()) {
        CopyExtent& last = out.back();
        if (last.sparse == sparse && (sparse || last.firstSector + last.sectorCount == first)) {
            last.sectorCount += count;
            return;
        }
    }
    out.push_back({ first, count, sparse });
}

// Reads a block; when it is not delivered whole, the sectors it lacks are tried one by one so
// that one bad sector costs 512 bytes, not the block. What stays unread is zeros (the source
// zero-fills), so every later byte keeps its offset. True when every sector was delivered.
bool ReadBlock(SectorSource& source, uint64_t sector, uint32_t count, uint8_t* block)
{
    const size_t delivered = source.Read(sector, count, block);
    if (delivered >= size_t(count) * kSectorSize)
        return true;
    if (count == 1)
        return false;
    bool whole = true;
    for (uint32_t i = uint32_t(delivered / kSectorSize); i < count; ++i)
        whole = source.Read(sector + i, 1, block + size_t(i) * kSectorSize) == kSectorSize && whole;
    return whole;
}

} // namespace

bool FatChainExtents(const std::vector<uint32_t>& chain, uint32_t sectorsPerCluster, uint64_t cluster0Start,
                     std::vector<CopyExtent>& out)
{
    out.clear();
    for (uint32_t cluster : chain) {
        uint64_t sector = 0;
        if (!ClusterSector(cluster, sectorsPerCluster, cluster0Start, &sector))
            return false;
        AppendExtent(out, sector, sectorsPerCluster, false);
    }
    return true;
}

bool FatContiguousExtents(uint32_t firstCluster, uint64_t count, uint32_t sectorsPerCluster, uint64_t cluster0Start,
                          std::vector<CopyExtent>& out)
{
    out.clear();
    uint64_t sector = 0;
    if (!ClusterSector(firstCluster, sectorsPerCluster, cluster0Start, &sector) ||
        count > UINT64_MAX / sectorsPerCluster)
        return false;
    if (count != 0)
        out.push_back({ sector, count * sectorsPerCluster, false });
    return true;
}

bool NtfsRunExtents(const std::vector<ClusterRun>& runs, uint32_t sectorsPerCluster, uint64_t volumeStart,
                    std::vector<CopyExtent>& out)
{
    out.clear();
    if (sectorsPerCluster == 0)
        return false;
    for (const ClusterRun& run : runs) {
        if (run.clusterCount > UINT64_MAX / sectorsPerCluster)
            return false;
        const uint64_t sectors = run.clusterCount * sectorsPerCluster;
        uint64_t first = 0;
        if (!run.sparse && !ClusterSector(run.firstCluster, sectorsPerCluster, volumeStart, &first))
            return false;
        AppendExtent(out, first, sectors, run.sparse);
    }
    return true;
}

CopyResult CopyExtents(SectorSource& source, const std::vector<CopyExtent>& extents, uint64_t size,
                       uint32_t blockSectors, const CopySink& sink, const CopyStop& stop, const CopyProgress& progress)
{
    if (blockSectors == 0 || blockSectors > kMaxSectorsPerRead)
        return CopyResult::BadGeometry;
    // A small file needs no more than its own sectors: a save of many small files would otherwise
    // clear a whole block for each.
    const uint64_t sizeSectors = size / kSectorSize + (size % kSectorSize ? 1 : 0);
    blockSectors = uint32_t(std::max<uint64_t>(1, std::min<uint64_t>(blockSectors, sizeSectors)));
    std::vector<uint8_t> block(size_t(blockSectors) * kSectorSize);
    uint64_t written = 0;
    for (const CopyExtent& extent : extents) {
        if (!extent.sparse && extent.sectorCount > UINT64_MAX - extent.firstSector)
            return CopyResult::BadGeometry;
        for (uint64_t done = 0; done < extent.sectorCount && written < size;) {
            if (stop && stop())
                return CopyResult::Stopped;
            const uint32_t count = uint32_t(std::min<uint64_t>(blockSectors, extent.sectorCount - done));
            const size_t blockBytes = size_t(count) * kSectorSize;
            if (extent.sparse)
                std::fill(block.begin(), block.begin() + blockBytes, uint8_t(0));
            else
                ReadBlock(source, extent.firstSector + done, count, block.data());
            const size_t piece = size_t(std::min<uint64_t>(blockBytes, size - written));
            if (!sink(block.data(), piece))
                return CopyResult::WriteFailed;
            written += piece;
            done += count;
            if (progress)
                progress(written);
        }
        if (written >= size)
            break;
    }
    return written >= size ? CopyResult::Done : CopyResult::RunsEnded;
}

namespace {

// Reads the `pieces` of one unit, sparse ones as zeros, one after the other into `out`. True when
// every sector was delivered.
bool ReadPieces(SectorSource& source, const std::vector<CopyExtent>& pieces, uint8_t* out)
{
    bool whole = true;
    for (const CopyExtent& p : pieces) {
        const size_t bytes = size_t(p.sectorCount) * kSectorSize;
        if (p.sparse)
            std::fill(out, out + bytes, uint8_t(0));
        else
            whole = ReadBlock(source, p.firstSector, uint32_t(p.sectorCount), out) && whole;
        out += bytes;
    }
    return whole;
}

} // namespace

CopyResult CopyCompressedExtents(SectorSource& source, const std::vector<CopyExtent>& extents, uint64_t size,
                                 uint32_t unitSectors, const CopySink& sink, const CopyStop& stop,
                                 const CopyProgress& progress)
{
    if (unitSectors == 0 || unitSectors > kMaxCompressionUnitSectors)
        return CopyResult::BadGeometry;
    for (const CopyExtent& x : extents)
        if (!x.sparse && x.sectorCount > UINT64_MAX - x.firstSector)
            return CopyResult::BadGeometry;
    const size_t unitBytes = size_t(unitSectors) * kSectorSize;
    std::vector<uint8_t> packed(unitBytes), unit(unitBytes);
    std::vector<CopyExtent> pieces;
    size_t next = 0;   // the extent the next unit starts in
    uint64_t into = 0; // and how far into it
    uint64_t written = 0;
    while (written < size) {
        if (stop && stop())
            return CopyResult::Stopped;
        // The unit's stretches in file order: the sectors that hold data, then the sparse tail.
        pieces.clear();
        uint64_t covered = 0, stored = 0;
        bool tail = false;
        for (; covered < unitSectors && next < extents.size(); into = 0, ++next) {
            const CopyExtent& x = extents[next];
            const uint64_t take = std::min<uint64_t>(unitSectors - covered, x.sectorCount - into);
            if (take == 0)
                continue;
            if (x.sparse)
                tail = true;
            else if (tail)
                return CopyResult::Damaged;
            else
                stored += take;
            pieces.push_back({ x.sparse ? 0 : x.firstSector + into, take, x.sparse });
            covered += take;
            if (into + take < x.sectorCount) {
                into += take;
                break;
            }
        }
        if (covered == 0)
            break;
        size_t valid = size_t(covered) * kSectorSize;
        if (tail && stored != 0) {
            if (!ReadPieces(source, pieces, packed.data()) ||
                DecompressLznt1(packed.data(), size_t(stored) * kSectorSize, unit.data(), unitBytes) != Lznt1Status::Ok)
                return CopyResult::Damaged;
            valid = unitBytes;
        } else {
            ReadPieces(source, pieces, unit.data());
        }
        const size_t piece = size_t(std::min<uint64_t>(valid, size - written));
        if (!sink(unit.data(), piece))
            return CopyResult::WriteFailed;
        written += piece;
        if (progress)
            progress(written);
    }
    return written >= size ? CopyResult::Done : CopyResult::RunsEnded;
}

uint64_t VolumeBootSector(const FoundVolume& volume)
{
    const FatVolumeParamsRecord& p = volume.params;
    if (volume.kind == FsKind::Ntfs)
        return p.cluster0Start;
    if (p.reservedSectors != 0 && p.firstFatSector >= p.reservedSectors)
        return uint64_t(p.firstFatSector) - p.reservedSectors;
    return volume.firstSector;
}

namespace {

// Whether a FAT boot sector's own fields put cluster 0 where the volume has it. A volume whose
// FATs are gone has its layout from its folders, its reserved sectors only guessed; its boot
// sector still agrees on where the clusters begin.
bool PutsCluster0Where(const FoundVolume& volume, const uint8_t* boot)
{
    const FatBootFields f = ReadFatBootFields(boot, volume.kind == FsKind::Fat32);
    const uint64_t rootSectors =
        volume.kind == FsKind::Fat32 ? 0 : (uint64_t(f.rootEntries) * 32 + kSectorSize - 1) / kSectorSize;
    const uint64_t beforeCluster2 = f.reservedSectors + uint64_t(boot[0x10]) * f.sectorsPerFat + rootSectors;
    const uint64_t bootSector = VolumeBootSector(volume);
    const uint64_t cluster2 = volume.params.cluster0Start + 2ull * volume.params.sectorsPerCluster;
    return beforeCluster2 <= UINT64_MAX - bootSector && bootSector + beforeCluster2 == cluster2;
}

// The total sectors a boot sector gives, when it is the boot sector of this volume; 0 otherwise.
uint64_t BootTotalSectors(const FoundVolume& volume, const uint8_t* boot)
{
    const FatVolumeParamsRecord& p = volume.params;
    if (boot == nullptr || !HasBootSignature(boot) || Le16At(boot + 0x0B) != kSectorSize)
        return 0;
    if (volume.kind == FsKind::Ntfs) {
        if (ClassifyBootText(boot, false) != BootText::Ntfs ||
            ReadNtfsBootFields(boot).sectorsPerCluster != p.sectorsPerCluster)
            return 0;
        return Le64At(boot + 0x28);
    }
    if (boot[0x0D] != p.sectorsPerCluster ||
        (p.reservedSectors != 0 && Le16At(boot + 0x0E) != p.reservedSectors && !PutsCluster0Where(volume, boot)))
        return 0;
    const uint16_t small = Le16At(boot + 0x13);
    return small != 0 ? small : Le32At(boot + 0x20);
}

} // namespace

VolumeBounds FileDataBounds(const FoundVolume& volume, const uint8_t* boot)
{
    VolumeBounds bounds;
    const FatVolumeParamsRecord& p = volume.params;
    const uint32_t spc = p.sectorsPerCluster;
    const bool fat = IsFat(volume.kind);
    if (spc == 0 || (!fat && volume.kind != FsKind::Ntfs))
        return bounds;
    const uint64_t start = VolumeBootSector(volume);
    // The range scanned for the volume, when one is known, ends at the sector after it: a boot
    // sector that claims even one sector more is believed no further.
    const bool ranged = volume.endSector > volume.firstSector;
    uint64_t end = UINT64_MAX;
    const uint64_t total = BootTotalSectors(volume, boot);
    if (total != 0 && total <= UINT64_MAX - start)
        end = start + total;
    if (ranged)
        end = std::min(end, volume.endSector);

    // Clusters are whole: the sectors after the last whole cluster hold no file data.
    const uint64_t first = fat ? p.cluster0Start + 2ull * spc : p.cluster0Start;
    bounds.firstSector = first;
    if (end != UINT64_MAX)
        bounds.endSector = end > first ? first + (end - first) / spc * spc : first;
    if (fat && p.sectorsPerFat != 0) {
        // Cluster numbers past the FAT's last entry name no cluster of this volume.
        const uint64_t entries = uint64_t(p.sectorsPerFat) * kSectorSize / (volume.kind == FsKind::Fat32 ? 4 : 2);
        if (entries > 2 && entries <= (UINT64_MAX - p.cluster0Start) / spc)
            bounds.endSector = std::min(bounds.endSector, p.cluster0Start + entries * spc);
    }
    return bounds;
}

bool ClipExtentsToVolume(std::vector<CopyExtent>& extents, uint64_t size, const VolumeBounds& bounds,
                         uint32_t unitSectors)
{
    uint64_t wanted = size / kSectorSize + (size % kSectorSize ? 1 : 0);
    if (unitSectors != 0 && wanted % unitSectors != 0)
        wanted = wanted / unitSectors * unitSectors <= UINT64_MAX - unitSectors
            ? (wanted / unitSectors + 1) * unitSectors
            : UINT64_MAX;
    bool cut = false;
    std::vector<CopyExtent> out;
    uint64_t sectors = 0, meant = 0; // sectors so far; those up to the last one that is the file's own
    const auto add = [&](uint64_t first, uint64_t count, bool sparse, bool own) {
        AppendExtent(out, first, count, sparse);
        sectors += count;
        if (own)
            meant = sectors;
    };
    for (const CopyExtent& x : extents) {
        if (wanted == 0)
            break;
        const uint64_t count = std::min(x.sectorCount, wanted);
        wanted -= count;
        if (x.sparse) {
            add(0, count, true, true);
            continue;
        }
        // The pieces before, inside and after the volume, in file order.
        const uint64_t last = count <= UINT64_MAX - x.firstSector ? x.firstSector + count : UINT64_MAX;
        const uint64_t inFirst = std::max(x.firstSector, bounds.firstSector);
        const uint64_t inEnd = std::min(last, bounds.endSector);
        if (inFirst >= inEnd) {
            add(0, count, true, false);
            cut = true;
            continue;
        }
        if (inFirst > x.firstSector) {
            add(0, inFirst - x.firstSector, true, false);
            cut = true;
        }
        add(inFirst, inEnd - inFirst, false, true);
        if (inEnd < last) {
            add(0, last - inEnd, true, false);
            cut = true;
        }
    }
    // Zeros after the last sector of the file's own stand for nothing: the file ends there.
    for (uint64_t excess = sectors - meant; excess != 0 && !out.empty();) {
        CopyExtent& tail = out.back();
        const uint64_t drop = std::min(excess, tail.sectorCount);
        tail.sectorCount -= drop;
        excess -= drop;
        if (tail.sectorCount == 0)
            out.pop_back();
    }
    extents.swap(out);
    return cut;
}

bool ResidentDataSpan(const uint8_t* record, size_t attributeOffset, uint64_t size, size_t* dataOffset)
{
    NtfsAttribute attr;
    if (!FindNtfsAttribute(record, kMftRecordSize, kAttrData, true, attr) || attr.offset != attributeOffset ||
        attr.nonResident || size > attr.valueLength)
        return false;
    *dataOffset = attr.valueOffset;
    return true;
}

namespace {

// The unit of a compressed attribute in sectors, 0 for plain data; false for data this program
// cannot decompress. A unit of one cluster cannot end in a hole; the unit is at most what one read
// takes.
bool CompressionUnitSectors(uint16_t flags, uint8_t shift, uint32_t sectorsPerCluster, uint32_t* unitSectors)
{
    *unitSectors = 0;
    const uint16_t method = flags & kAttrFlagCompressionMask;
    if (method == 0)
        return true;
    if (method != kAttrFlagLznt1 || shift == 0 || shift > 16 ||
        sectorsPerCluster > (kMaxCompressionUnitSectors >> shift))
        return false;
    *unitSectors = sectorsPerCluster << shift;
    return true;
}

// Windows keeps this file compressed in a named stream of its own; its unnamed data is only a hole.
bool KeptCompressedByWindows(const NtfsAttribute& at, const uint8_t* record)
{
    return at.type == kAttrReparsePoint && !at.nonResident && at.valueLength >= 4 &&
        Le32At(record + at.valueOffset) == kReparseTagWof;
}

} // namespace

NtfsDataPlan PlanNtfsData(const uint8_t* record, uint64_t size, uint32_t sectorsPerCluster, uint64_t volumeStart)
{
    NtfsDataPlan plan;
    // One walk finds the first unnamed $DATA and a reparse point after it (attributes lie in the
    // order of their types).
    NtfsAttributeWalker walk(record, kMftRecordSize);
    NtfsAttribute at, data;
    bool found = false;
    while (walk.Next(at)) {
        if (KeptCompressedByWindows(at, record))
            return plan;
        if (!found && at.type == kAttrData && at.nameLength == 0) {
            data = at;
            found = true;
        }
    }
    if (!found) {
        if (size == 0 && HoldsNoUnnamedData(record))
            plan.kind = NtfsDataPlan::Kind::InRecord;
        return plan;
    }
    if (!data.nonResident) {
        if (ResidentDataSpan(record, data.offset, size, &plan.recordOffset))
            plan.kind = NtfsDataPlan::Kind::InRecord;
        return plan;
    }
    std::vector<ClusterRun> runs;
    if (!DecodeMappingPairs(record + data.valueOffset, data.valueLength, runs) ||
        !NtfsRunExtents(runs, sectorsPerCluster, volumeStart, plan.extents) ||
        !CompressionUnitSectors(data.flags, data.compressionUnit, sectorsPerCluster, &plan.unitSectors))
        return plan;
    plan.validBytes = NtfsInitializedSize(record, data);
    plan.kind = NtfsDataPlan::Kind::Runs;
    return plan;
}

NtfsDataPlan PlanListedNtfsData(const uint8_t* record, uint64_t recordSector, uint64_t size,
                                VolumeRecordReader& records)
{
    NtfsAttributeWalker walk(record, kMftRecordSize);
    NtfsAttribute at;
    while (walk.Next(at))
        if (KeptCompressedByWindows(at, record))
            return NtfsDataPlan();
    const NtfsVolumePlace& place = records.Place();
    return PlanGatheredNtfsData(records.Gather(record, recordSector, kGatherData | kGatherFreedData), size,
                                place.sectorsPerCluster, place.cluster0);
}

NtfsDataPlan PlanFoundNtfsData(uint64_t recordSector, uint64_t size, VolumeRecordReader& records,
                               std::vector<uint8_t>& record)
{
    record.assign(kMftRecordSize, 0);
    if (records.ReadRecordAt(recordSector, record.data()) != 2)
        return NtfsDataPlan();
    if (HasNtfsAttributeList(record.data()))
        return PlanListedNtfsData(record.data(), recordSector, size, records);
    const NtfsVolumePlace& place = records.Place();
    return PlanNtfsData(record.data(), size, place.sectorsPerCluster, place.cluster0);
}

NtfsDataPlan PlanGatheredNtfsData(const NtfsFileParts& parts, uint64_t size, uint32_t sectorsPerCluster,
                                  uint64_t volumeStart)
{
    NtfsDataPlan plan;
    plan.incomplete = !parts.whole;
    if (!parts.hasData) {
        // A list that names no unnamed data: an empty stream, like a record without one.
        if (size == 0 && parts.whole)
            plan.kind = NtfsDataPlan::Kind::InRecord;
        return plan;
    }
    if (parts.resident) {
        if (size <= parts.residentValue.size()) {
            plan.kind = NtfsDataPlan::Kind::InRecord;
            plan.residentBytes.assign(parts.residentValue.begin(), parts.residentValue.begin() + size_t(size));
        }
        return plan;
    }
    if (!NtfsRunExtents(parts.runs, sectorsPerCluster, volumeStart, plan.extents) ||
        !CompressionUnitSectors(parts.flags, parts.compressionUnit, sectorsPerCluster, &plan.unitSectors))
        return NtfsDataPlan();
    if (plan.incomplete && plan.unitSectors != 0) {
        // A unit whose extent is missing cannot be told stored from compressed: the file ends before it.
        uint64_t keep = 0;
        for (const CopyExtent& x : plan.extents)
            keep += x.sectorCount;
        keep = keep / plan.unitSectors * plan.unitSectors;
        ClipExtentsToVolume(plan.extents, keep * kSectorSize, VolumeBounds());
    }
    plan.validBytes = parts.initializedSize;
    plan.kind = NtfsDataPlan::Kind::Runs;
    return plan;
}

void HoleExtentsFrom(std::vector<CopyExtent>& extents, uint64_t validBytes)
{
    const uint64_t validSectors = validBytes / kSectorSize + (validBytes % kSectorSize ? 1 : 0);
    std::vector<CopyExtent> out;
    uint64_t at = 0;
    for (const CopyExtent& x : extents) {
        const uint64_t keep = at >= validSectors ? 0 : std::min(x.sectorCount, validSectors - at);
        if (keep != 0)
            AppendExtent(out, x.firstSector, keep, x.sparse);
        if (keep < x.sectorCount)
            AppendExtent(out, 0, x.sectorCount - keep, true);
        at += x.sectorCount;
    }
    extents.swap(out);
}

CopySink ZerosFrom(uint64_t validBytes, CopySink sink)
{
    auto written = std::make_shared<uint64_t>(0);
    auto zeros = std::make_shared<std::vector<uint8_t>>();
    return [validBytes, sink = std::move(sink), written, zeros](const uint8_t* data, size_t length) {
        const uint64_t at = *written;
        *written += length;
        if (at + length <= validBytes)
            return sink(data, length);
        const size_t keep = at >= validBytes ? 0 : size_t(validBytes - at);
        if (keep != 0 && !sink(data, keep))
            return false;
        if (zeros->size() < length - keep)
            zeros->assign(length - keep, 0);
        return sink(zeros->data(), length - keep);
    };
}

bool HoldsNoUnnamedData(const uint8_t* record)
{
    if (!IsFileRecord(record, kMftRecordSize))
        return false;
    size_t end = Le16At(record + 20);
    NtfsAttributeWalker walk(record, kMftRecordSize);
    NtfsAttribute at;
    while (walk.Next(at)) {
        if (at.type == kAttrAttributeList || (at.type == kAttrData && at.nameLength == 0))
            return false;
        end = at.offset + at.length;
    }
    // A walk cut short by a malformed attribute proves nothing.
    return end <= kMftRecordSize - 4 && Le32At(record + end) == kAttrEnd;
}
