// Fuzzes reading the GPT entry array: the input is the disk from sector 0. Byte 0 also sets how
// many partitions the disk's record holds already (up to beyond its bound, as a damaged table
// might), so appending must respect the bound on the index it writes.
#include <cstddef>
#include <cstdint>

#include "storage/pure/partition_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MemorySectorSource disk(data, size);
    const uint32_t room = size > 1 ? data[1] % 40 : 26;
    if (ReadGptPartitions(disk, 2, room).size() > room)
        __builtin_trap();

    DiskPartitionRecord record;
    record.partitionCount = size > 0 ? data[0] % 40 : 0;
    const uint32_t before = record.partitionCount;
    AddGptPartitionsFrom(disk, 2, nullptr, record, nullptr);
    if (before <= 26 && record.partitionCount > 26)
        __builtin_trap();
    if (before > 26 && record.partitionCount != before)
        __builtin_trap();
    return 0;
}
