// Fuzzes the lost-partition search: the input is the disk; its first byte picks the mode and
// a geometry small enough for the input to hold many cylinders. The search must end, test only
// sectors the input holds, record each volume once and no more partitions than a disk holds.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "storage/pure/partition_search.h"

namespace {

class Checker : public PartitionSearchListener {
public:
    explicit Checker(uint64_t sectors) : m_sectors(sectors) { }
    bool StopRequested() override { return false; }
    void Progress(uint64_t) override { }
    bool PartitionFound(int index, const CString&, uint64_t start, uint64_t end) override
    {
        if (start >= m_sectors || end < start || index >= kMaxPartitionsPerDisk)
            __builtin_trap();
        return true;
    }

private:
    uint64_t m_sectors;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    MemorySectorSource disk(data, size);
    const uint64_t sectors = (size + kSectorSize - 1) / kSectorSize;
    PartitionSearchParams params;
    params.mode = data[0] & 1 ? kSearchAdvanced : kSearchStandard;
    // Geometry 2 heads × (1..8) sectors per track: the cylinders cover the input and more.
    params.geometry = { sectors + 4, 2, uint32_t(1 + (data[0] >> 1) % 8) };
    params.totalSectors = sectors + 600;
    DiskPartitionRecord record;
    Checker checker(size / kSectorSize); // a partial last sector is never tested
    RunPartitionSearch(disk, params, record, checker);
    if (record.partitionCount > uint32_t(kMaxPartitionsPerDisk))
        __builtin_trap();
    for (uint32_t i = 0; i < record.partitionCount; ++i)
        for (uint32_t j = i + 1; j < record.partitionCount; ++j)
            if (record.slot[i].startSector == record.slot[j].startSector && record.fsName[i] == record.fsName[j])
                __builtin_trap();
    return 0;
}
