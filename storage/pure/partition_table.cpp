#include "storage/pure/partition_table.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "storage/pure/bootsector.h"
#include "storage/pure/le.h"

namespace {

// {E3C9E316-0B5C-4DB8-817D-F92DF00215AE} as it lies on disk.
const uint8_t kMicrosoftReservedType[16] = { 0x16, 0xE3, 0xC9, 0xE3, 0x5C, 0x0B, 0xB8, 0x4D,
                                             0x81, 0x7D, 0xF9, 0x2D, 0xF0, 0x02, 0x15, 0xAE };

// The partition's file system by the texts of its first sector, else by its type byte.
// Sets *efi when the sector is a GPT header and allowEfi.
CString ClassifyPartition(SectorSource& source, uint64_t firstSector, uint8_t type, bool logical, bool* efi)
{
    uint8_t sector[kSectorSize];
    if (source.ReadSector(firstSector, sector)) {
        const BootText text = ClassifyBootText(sector, efi != nullptr);
        if (text == BootText::Efi) {
            *efi = true;
            return CString();
        }
        if (text != BootText::None)
            return BootTextName(text);
    }
    return FsNameByType(type, logical);
}

void WalkExtendedChain(SectorSource& source, uint64_t base, uint32_t room, std::vector<FoundPartition>& found)
{
    std::set<uint64_t> visited;
    uint64_t link = 0;
    uint8_t ebr[kSectorSize];
    for (int links = 0; links <= kMaxExtendedLinks && found.size() < room; ++links) {
        const uint64_t ebrSector = base + link;
        if (!visited.insert(ebrSector).second || !source.ReadSector(ebrSector, ebr))
            return;
        bool hasLink = false;
        for (int k = 0; k < 2 && found.size() < room; ++k) {
            const MbrEntry e = ReadMbrEntry(ebr, k);
            if (e.type == 0)
                continue;
            if (IsExtendedType(e.type)) {
                hasLink = true;
                link = e.start;
                continue;
            }
            const uint64_t start = ebrSector + e.start;
            const CString fs = ClassifyPartition(source, start, e.type, true, nullptr);
            if (!fs.IsEmpty())
                found.push_back({ fs, start, start + e.count, PartitionOrigin::Logical });
        }
        if (!hasLink)
            return;
    }
}

} // namespace

MbrEntry ReadMbrEntry(const uint8_t* sector, int k)
{
    const uint8_t* p = sector + 446 + 16 * k;
    MbrEntry e;
    e.type = p[4];
    e.start = Le32At(p + 8);
    e.count = Le32At(p + 12);
    return e;
}

CString FsNameByType(uint8_t type, bool logical)
{
    switch (type) {
    case 0x07:
        return L"NTFS";
    case 0x04:
    case 0x06:
    case 0x0E:
        return L"FAT16";
    case 0x01:
        return logical ? L"FAT16" : L"";
    case 0x0B:
    case 0x0C:
        return L"FAT32";
    default:
        return CString();
    }
}

std::vector<FoundPartition> ReadMbrPartitions(SectorSource& source, uint64_t mbrSector, uint64_t diskSectors,
                                              uint32_t room, bool stopAfterFirstPrimary)
{
    std::vector<FoundPartition> found;
    uint8_t mbr[kSectorSize];
    if (!source.ReadSector(mbrSector, mbr) || !HasBootSignature(mbr))
        return found;
    bool extended = false;
    uint64_t extendedBase = 0;
    for (int k = 0; k < 4 && found.size() < room; ++k) {
        const MbrEntry e = ReadMbrEntry(mbr, k);
        if (e.type == 0)
            continue;
        if (e.start > diskSectors || diskSectors - e.start < kMinPartitionRoom)
            return found;
        bool efi = false;
        const CString fs = ClassifyPartition(source, e.start, e.type, false, &efi);
        if (efi) {
            std::vector<FoundPartition> gpt = ReadGptPartitions(source, 2, room - uint32_t(found.size()));
            found.insert(found.end(), gpt.begin(), gpt.end());
            break;
        }
        if (fs.IsEmpty()) {
            if (IsExtendedType(e.type)) {
                extended = true;
                extendedBase = e.start;
            }
            continue;
        }
        found.push_back({ fs, e.start, uint64_t(e.start) + e.count, PartitionOrigin::Primary });
        if (stopAfterFirstPrimary)
            break;
    }
    if (extended)
        WalkExtendedChain(source, extendedBase, room, found);
    return found;
}

std::vector<FoundPartition> ReadGptPartitions(SectorSource& source, uint64_t firstSector, uint32_t room)
{
    std::vector<FoundPartition> found;
    uint8_t entries[kSectorSize];
    uint8_t boot[kSectorSize];
    for (uint64_t s = firstSector; s <= kLastGptEntrySector; ++s) {
        if (!source.ReadSector(s, entries))
            return found;
        for (int i = 0; i < 4; ++i) {
            const uint8_t* entry = entries + 128 * i;
            if (std::memcmp(entry, kMicrosoftReservedType, 16) == 0)
                continue;
            const uint64_t first = Le64At(entry + 32);
            const uint64_t last = Le64At(entry + 40);
            if (last == 0 || found.size() >= room)
                return found;
            if (!source.ReadSector(first, boot))
                continue;
            const BootText text = ClassifyBootText(boot, false);
            if (text != BootText::None)
                found.push_back({ BootTextName(text), first, last, PartitionOrigin::Gpt });
        }
    }
    return found;
}

CString PartitionItemText(int index, const CString& fsName)
{
    CString text;
    text.Format(L"Partition - %d ( %s )", index + 1, fsName);
    return text;
}

void RecordPartitions(DiskPartitionRecord& disk, const std::vector<FoundPartition>& parts, TreeItemHandle diskItem,
                      StorageHost* host)
{
    for (const FoundPartition& p : parts) {
        const int n = AddPartitionToDisk(disk, p.fsName, p.startSector, p.endSector);
        if (n < 0)
            return;
        disk.slot[n].gpt = p.origin == PartitionOrigin::Gpt;
        if (diskItem != nullptr && host != nullptr)
            disk.slot[n].treeItem = host->InsertPartitionItem(diskItem, PartitionItemText(n, p.fsName));
    }
}

void AddDiskPartitionsFrom(SectorSource& source, uint64_t mbrSector, uint64_t diskSectors, TreeItemHandle diskItem,
                           DiskPartitionRecord& disk, SelectedVolumeRecord& selection, StorageHost* host)
{
    disk.partitionCount = 0;
    std::vector<FoundPartition> parts =
        ReadMbrPartitions(source, mbrSector, diskSectors, kMaxPartitionsPerDisk, diskItem == nullptr);
    if (diskItem == nullptr) {
        for (size_t i = 0; i < parts.size(); ++i) {
            if (parts[i].origin != PartitionOrigin::Primary)
                continue;
            selection.fsName = parts[i].fsName;
            selection.startSector = parts[i].startSector;
            selection.endSector = parts[i].endSector;
            parts.erase(parts.begin() + std::ptrdiff_t(i));
            break;
        }
    }
    RecordPartitions(disk, parts, diskItem, host);
}

void AddGptPartitionsFrom(SectorSource& source, uint64_t firstSector, TreeItemHandle diskItem,
                          DiskPartitionRecord& disk, StorageHost* host)
{
    const uint32_t used =
        disk.partitionCount < uint32_t(kMaxPartitionsPerDisk) ? disk.partitionCount : uint32_t(kMaxPartitionsPerDisk);
    RecordPartitions(disk, ReadGptPartitions(source, firstSector, kMaxPartitionsPerDisk - used), diskItem, host);
}

PartitionExtent PartitionExtentOf(const PartitionSlot& slot)
{
    const bool last = slot.gpt && slot.endSector < UINT64_MAX;
    return { slot.startSector, last ? slot.endSector + 1 : slot.endSector };
}

std::vector<PartitionExtent> PartitionExtentsOf(const DiskPartitionRecord& disk)
{
    std::vector<PartitionExtent> partitions;
    const uint32_t count = std::min<uint32_t>(disk.partitionCount, kPartitionSlotCount);
    for (uint32_t k = 0; k < count; ++k)
        partitions.push_back(PartitionExtentOf(disk.slot[k]));
    return partitions;
}

uint64_t EndWithinPartition(const std::vector<PartitionExtent>& partitions, uint64_t sector, uint64_t end)
{
    // A logical partition lies inside the extended one a table may also list: the one that
    // begins last before the sector is the one the volume lies in.
    const PartitionExtent* holder = nullptr;
    for (const PartitionExtent& p : partitions)
        if (p.firstSector <= sector && sector < p.endSector &&
            (holder == nullptr || p.firstSector > holder->firstSector))
            holder = &p;
    return holder != nullptr ? std::min(end, holder->endSector) : end;
}
