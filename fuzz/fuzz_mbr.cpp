// Fuzzes reading an MBR with its extended chain (and a GPT behind a protective entry): the input
// is the disk from sector 0, the disk itself is taken to be much larger, so any partition start
// passes the room check and sectors beyond the input fail to read. The reading must end, stay
// within its bounds and record no more partitions than a disk holds.
#include <cstddef>
#include <cstdint>

#include "storage/pure/partition_table.h"
#include "tests/pure/storage_test_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MemorySectorSource disk(data, size);
    const uint64_t diskSectors = uint64_t(1) << 32;
    const std::vector<FoundPartition> found = ReadMbrPartitions(disk, 0, diskSectors, 26, false);
    if (found.size() > 26)
        __builtin_trap();
    for (const FoundPartition& p : found)
        if (p.fsName != L"FAT16" && p.fsName != L"FAT32" && p.fsName != L"NTFS")
            __builtin_trap();

    DiskPartitionRecord record;
    SelectedVolumeRecord selection;
    storage_test::RecordingHost host;
    host.startWorks = false;
    const TreeItemHandle diskItem = reinterpret_cast<TreeItemHandle>(uintptr_t(1));
    AddDiskPartitionsFrom(disk, 0, diskSectors, size % 2 ? diskItem : nullptr, record, selection, &host);
    if (record.partitionCount > uint32_t(kMaxPartitionsPerDisk) || host.texts.size() > record.partitionCount)
        __builtin_trap();
    return 0;
}
