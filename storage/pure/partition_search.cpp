#include "storage/pure/partition_search.h"

#include <algorithm>
#include <vector>

#include "storage/pure/bootsector.h"
#include "storage/pure/le.h"
#include "storage/pure/partition_table.h"

PartitionSearchListener::~PartitionSearchListener() = default;

namespace {

uint64_t SaturatingAdd(uint64_t a, uint64_t b)
{
    return b > UINT64_MAX - a ? UINT64_MAX : a + b;
}

// a × b, or UINT64_MAX when that does not fit.
uint64_t SaturatingMul(uint64_t a, uint64_t b)
{
    if (a != 0 && b > UINT64_MAX / a)
        return UINT64_MAX;
    return a * b;
}

// Records a new partition at sector; false when the search must end (the listener said so, or
// the Standard Mode filled the disk's table).
bool OfferSector(const uint8_t* sector, uint64_t at, const PartitionSearchParams& params, DiskPartitionRecord& disk,
                 PartitionSearchListener& listener, PartitionSearchOutcome& outcome)
{
    BootSectorHit hit;
    if (!ClassifySearchBootSector(sector, hit) || IsRecordedPartitionSector(disk, at, hit.fsName))
        return true;
    // An NTFS boot sector's count leaves out the backup boot sector, the sector right after those
    // counted: the partition takes it in, so that the backup is its last sector, as in a table.
    uint64_t end = SaturatingAdd(at, hit.totalSectors);
    if (hit.fsName == L"NTFS")
        end = SaturatingAdd(end, 1);
    const int index = AddPartitionToDisk(disk, hit.fsName, at, end);
    if (index < 0)
        return false;
    ++outcome.added;
    if (!listener.PartitionFound(index, hit.fsName, at, end))
        return false;
    return disk.partitionCount < uint32_t(kMaxPartitionsPerDisk) || params.mode != kSearchStandard;
}

void SearchStandard(SectorSource& source, const PartitionSearchParams& params, DiskPartitionRecord& disk,
                    PartitionSearchListener& listener, PartitionSearchOutcome& outcome)
{
    const SearchGeometry& g = params.geometry;
    const uint64_t cylinderSectors = uint64_t(g.heads) * g.sectorsPerTrack;
    // A disk whose table is full can take nothing the walk would find: it is not read at all.
    if (cylinderSectors == 0 || disk.partitionCount >= uint32_t(kMaxPartitionsPerDisk))
        return;
    uint8_t sector[kSectorSize];
    for (uint64_t c = 0; c < g.cylinders; ++c) {
        if (listener.StopRequested()) {
            outcome.stopped = true;
            return;
        }
        listener.Progress(c);
        const uint64_t head0 = SaturatingMul(c, cylinderSectors);
        if (head0 == UINT64_MAX)
            return;
        const uint64_t head1 = SaturatingAdd(head0, g.sectorsPerTrack);
        if (source.Read(head1, 1, sector) != kSectorSize)
            continue;
        uint64_t at = head1;
        if (!HasBootSignature(sector)) {
            at = head0;
            if (source.Read(head0, 1, sector) != kSectorSize || !HasBootSignature(sector))
                continue;
        }
        if (!OfferSector(sector, at, params, disk, listener, outcome))
            return;
    }
}

void SearchAdvanced(SectorSource& source, const PartitionSearchParams& params, DiskPartitionRecord& disk,
                    PartitionSearchListener& listener, PartitionSearchOutcome& outcome)
{
    std::vector<uint8_t> block(size_t(kSearchBlockSectors) * kSectorSize);
    for (uint64_t b = 0; b < params.totalSectors; b += kSearchBlockSectors) {
        if (listener.StopRequested()) {
            outcome.stopped = true;
            return;
        }
        if (disk.partitionCount >= uint32_t(kMaxPartitionsPerDisk))
            return;
        listener.Progress(b);
        const uint32_t count = uint32_t(std::min<uint64_t>(kSearchBlockSectors, params.totalSectors - b));
        const size_t delivered = source.Read(b, count, block.data());
        const uint32_t whole = uint32_t(delivered / kSectorSize);
        for (uint32_t k = 0; k < whole; ++k) {
            const uint8_t* sector = block.data() + size_t(k) * kSectorSize;
            if (HasBootSignature(sector) && !OfferSector(sector, b + k, params, disk, listener, outcome))
                return;
        }
        if (b > UINT64_MAX - kSearchBlockSectors)
            return;
    }
}

} // namespace

bool ClassifySearchBootSector(const uint8_t* sector, BootSectorHit& hit)
{
    if (!HasBootSignature(sector))
        return false;
    switch (ClassifyBootText(sector, false)) {
    case BootText::Fat32:
        hit.fsName = L"FAT32";
        hit.totalSectors = Le32At(sector + 0x20);
        break;
    case BootText::Fat16:
        hit.fsName = L"FAT16";
        hit.totalSectors = Le32At(sector + 0x20);
        if (hit.totalSectors == 0)
            hit.totalSectors = Le16At(sector + 0x13);
        break;
    case BootText::Ntfs:
        hit.fsName = L"NTFS";
        hit.totalSectors = Le64At(sector + 0x28);
        break;
    default:
        return false;
    }
    return hit.totalSectors != 0;
}

bool IsRecordedPartitionSector(const DiskPartitionRecord& disk, uint64_t sector, const CString& fsName)
{
    const uint32_t count = std::min<uint32_t>(disk.partitionCount, kMaxPartitionsPerDisk);
    for (uint32_t i = 0; i < count; ++i) {
        if (disk.fsName[i] != fsName)
            continue;
        const PartitionSlot& slot = disk.slot[i];
        if (slot.startSector == sector)
            return true;
        if (fsName == L"FAT32" && sector == SaturatingAdd(slot.startSector, 6))
            return true;
        // NTFS keeps its backup boot sector in the partition's last sector, after the sectors its
        // boot sector counts. The sector after the partition is the next volume's.
        if (fsName == L"NTFS" && sector > slot.startSector && sector + 1 == PartitionExtentOf(slot).endSector)
            return true;
    }
    return false;
}

SearchGeometry NormaliseSearchGeometry(uint64_t cylinders, uint32_t heads, uint32_t sectorsPerTrack)
{
    SearchGeometry g{ cylinders, heads, sectorsPerTrack };
    if (sectorsPerTrack != 63) {
        g.cylinders = SaturatingMul(SaturatingMul(cylinders, sectorsPerTrack), heads) / 16065;
        g.heads = 255;
        g.sectorsPerTrack = 63;
    }
    return g;
}

PartitionSearchOutcome RunPartitionSearch(SectorSource& source, const PartitionSearchParams& params,
                                          DiskPartitionRecord& disk, PartitionSearchListener& listener)
{
    PartitionSearchOutcome outcome;
    if (params.mode == kSearchStandard)
        SearchStandard(source, params, disk, listener, outcome);
    else if (params.mode == kSearchAdvanced)
        SearchAdvanced(source, params, disk, listener, outcome);
    return outcome;
}
