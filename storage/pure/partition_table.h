// Reading a disk's partitions from its MBR with the chain of extended boot records, or from
// the GPT entry array, and recording them in the disk's partition table. Only partitions whose
// first sector or type byte names FAT16, FAT32 or NTFS are kept.
#pragma once
#include <cstdint>
#include <vector>

#include "cstring.h"
#include "storage/pure/globals.h"
#include "storage/pure/sector_source.h"
#include "storage/pure/storage_host.h"

// A partition of the disk's record as a range ending at the sector after it: a GPT entry's last
// sector is made the sector after it.
PartitionExtent PartitionExtentOf(const PartitionSlot& slot);
// Every partition the disk's record holds (from its table or a partition search), as
// PartitionExtentOf gives each.
std::vector<PartitionExtent> PartitionExtentsOf(const DiskPartitionRecord& disk);

// Where a volume that begins at `sector` and would end at `end` (the sector after it) ends once
// held to the partition it begins in: the end of the innermost of `partitions` that holds
// `sector`, when that comes first; `end` when no partition holds it.
uint64_t EndWithinPartition(const std::vector<PartitionExtent>& partitions, uint64_t sector, uint64_t end);

// Partitions of the MBR and its extended chain must leave this many sectors to the disk's end.
constexpr uint64_t kMinPartitionRoom = 0x6000;
// The extended chain follows at most this many links.
constexpr int kMaxExtendedLinks = 128;
// The GPT entry array ends at this sector.
constexpr uint64_t kLastGptEntrySector = 33;

enum class PartitionOrigin { Primary, Logical, Gpt };

struct FoundPartition {
    CString fsName; // "FAT16", "FAT32" or "NTFS"
    uint64_t startSector = 0;
    uint64_t endSector = 0; // MBR and chain: first sector after it; GPT: its last sector
    PartitionOrigin origin = PartitionOrigin::Primary;
};

struct MbrEntry {
    uint8_t type = 0;
    uint32_t start = 0;
    uint32_t count = 0;
};
// Entry k (0-3) of a partition-table sector.
MbrEntry ReadMbrEntry(const uint8_t* sector, int k);

// File system of a partition by its type byte alone; empty when the type names none.
// Inside the extended chain 0x01 counts as FAT16 as well.
CString FsNameByType(uint8_t type, bool logical);
inline bool IsExtendedType(uint8_t type)
{
    return type == 0x05 || type == 0x0F;
}

// The partitions of the disk whose MBR lies at mbrSector, in table order: the primary ones,
// the GPT ones when a protective entry points at a GPT header, then the logical ones of the
// extended chain (0x05 and 0x0F alike). At most `room` partitions are returned. With
// stopAfterFirstPrimary the MBR loop ends at the first recognised primary partition.
// A failed read of the MBR or of an EBR ends that table; of a partition's first sector, the
// type byte decides alone.
std::vector<FoundPartition> ReadMbrPartitions(SectorSource& source, uint64_t mbrSector, uint64_t diskSectors,
                                              uint32_t room, bool stopAfterFirstPrimary);
// The recognised partitions of the GPT entry array from firstSector to sector 33; Microsoft
// reserved entries are skipped, the first entry with last LBA 0 ends the array. At most `room`.
std::vector<FoundPartition> ReadGptPartitions(SectorSource& source, uint64_t firstSector, uint32_t room);

// "Partition - 3 ( NTFS )" for partition index 2.
CString PartitionItemText(int index, const CString& fsName);

// Appends the partitions to the disk's record after those already there, up to the record's
// bound, inserting each item under diskItem through the host when both are given.
void RecordPartitions(DiskPartitionRecord& disk, const std::vector<FoundPartition>& parts, TreeItemHandle diskItem,
                      StorageHost* host);

// Reads a disk's partitions into its record, which is filled from partition 0 on. Without a
// disk item the first recognised primary partition becomes the selected volume instead of
// being recorded.
void AddDiskPartitionsFrom(SectorSource& source, uint64_t mbrSector, uint64_t diskSectors, TreeItemHandle diskItem,
                           DiskPartitionRecord& disk, SelectedVolumeRecord& selection, StorageHost* host);
// Reads the GPT entry array into the record after the partitions already there.
void AddGptPartitionsFrom(SectorSource& source, uint64_t firstSector, TreeItemHandle diskItem,
                          DiskPartitionRecord& disk, StorageHost* host);
