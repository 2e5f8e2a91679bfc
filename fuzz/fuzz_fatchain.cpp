// Fuzzes the FAT chain walk: the input is a FAT (and the disk it lies on). Every chain must
// hold distinct clusters, no more than the FAT has entries, and end.
//
// Input: byte 0 = FAT32 flag (bit 0) and sectors-per-FAT choice, bytes 1-4 = start cluster;
// then the disk, the FAT from sector 1.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <vector>

#include "storage/pure/fat_chain.h"
#include "storage/pure/le.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 5)
        return 0;
    FatChainGeometry fat;
    fat.fat32 = data[0] & 1;
    fat.sectorsPerFat = (data[0] >> 1) == 127 ? 0xFFFFFFFF : uint32_t(data[0] >> 1) + 1;
    fat.fatStartSector = 0;
    const uint32_t start = Le32At(data + 1);
    MemorySectorSource disk(data + 5, size - 5);
    std::vector<uint32_t> chain;
    fat.fatStartSector = 1;
    const FatChainEnd end = WalkFatChain(disk, fat, start, UINT64_MAX, {}, chain);
    const std::set<uint32_t> distinct(chain.begin(), chain.end());
    if (chain.empty() || chain[0] != start || distinct.size() != chain.size() || chain.size() > FatEntryCount(fat) + 1)
        abort();
    if (end == FatChainEnd::CountReached || end == FatChainEnd::Stopped)
        abort();
    std::vector<uint32_t> limited;
    WalkFatChain(disk, fat, start, 3, {}, limited);
    if (limited.size() > 3)
        abort();
    return 0;
}
