// Fuzzes the FAT chain walk: the input is a FAT (and the disk it lies on). Every chain must
// hold distinct clusters, no more than the FAT has entries, and end. The chain's sectors, held to
// the volume that sector 0 (a boot sector) says, must lie inside it and never exceed the size.
//
// Input: byte 0 = FAT32 flag (bit 0) and sectors-per-FAT choice, bytes 1-4 = start cluster;
// then the disk, the FAT from sector 1.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <vector>

#include "fsrecovery/pure/file_copy.h"
#include "fsrecovery/pure/found_store.h"
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
    FoundVolume volume;
    volume.kind = fat.fat32 ? FsKind::Fat32 : FsKind::Fat16;
    volume.endSector = start >> 8;
    volume.params.sectorsPerCluster = 1u << (data[1] & 7);
    volume.params.sectorsPerFat = fat.sectorsPerFat;
    volume.params.cluster0Start = data[2];
    uint8_t boot[kSectorSize] = {};
    const bool haveBoot = disk.Read(0, 1, boot) == kSectorSize;
    const VolumeBounds bounds = FileDataBounds(volume, haveBoot ? boot : nullptr);
    std::vector<CopyExtent> extents;
    const uint64_t fileSize = uint64_t(Le32At(data + 1)) * 3;
    if (FatChainExtents(chain, volume.params.sectorsPerCluster, volume.params.cluster0Start, extents)) {
        ClipExtentsToVolume(extents, fileSize, bounds);
        uint64_t sectors = 0;
        for (const CopyExtent& x : extents) {
            if (!x.sparse &&
                (x.firstSector < bounds.firstSector || x.firstSector >= bounds.endSector ||
                 x.sectorCount > bounds.endSector - x.firstSector))
                abort();
            sectors += x.sectorCount;
        }
        if (sectors * kSectorSize > fileSize + kSectorSize - 1)
            abort();
    }
    std::vector<uint32_t> limited;
    WalkFatChain(disk, fat, start, 3, {}, limited);
    if (limited.size() > 3)
        abort();
    return 0;
}
