// Fuzzes the FAT half of Deep Search on a small disk: the signature scan, the assembly of volumes
// (also over directory rows taken straight from the input, which reach the inference with far
// more rows than a small disk holds), the FAT location search and the naming of folders.
//
// Input: byte 0 = options (bit 0 a FAT32 search, bit 1 the first root holds files); then the
// disk, whose bytes are also read as rows: 6 bytes each, a 32-bit sector and a 16-bit cluster.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fsrecovery/pure/deep_assembly.h"
#include "storage/pure/bootsector.h"

namespace {

void CheckVolumes(const std::vector<DeepFatVolume>& volumes, const std::vector<FatDirCluster>& dirs)
{
    for (const DeepFatVolume& v : volumes) {
        if (!IsValidSectorsPerCluster(v.sectorsPerCluster))
            abort(); // no volume reaches a saver with an unusable cluster size
    }
    for (const FatDirCluster& d : dirs) {
        if (d.volume == kDirWithoutVolume)
            continue;
        if (d.volume == kDirNotAssigned || d.volume > volumes.size())
            abort(); // every row is decided
        const DeepFatVolume& v = volumes[d.volume - 1];
        if (d.cluster0Start != v.cluster0Start || d.sector != v.cluster0Start + uint64_t(d.self) * v.sectorsPerCluster)
            abort(); // a row lies on its volume's clusters
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const bool fat32 = (data[0] & 1) != 0, rootHoldsFiles = (data[0] & 2) != 0;
    MemorySectorSource disk(data + 1, size - 1);
    const uint64_t sectors = (size - 1) / kSectorSize + 1;

    DeepScanFinds finds;
    RunDeepScan(disk, 0, sectors, { true, false }, finds);
    const bool verdict =
        rootHoldsFiles && !finds.fatBoots.empty() && CheckFatRootDirectory(disk, finds.fatBoots[0]) == 2;
    std::vector<DeepFatVolume> volumes = AssembleFatVolumes(finds.fatBoots, finds.fatDirs, fat32, verdict);
    CheckVolumes(volumes, finds.fatDirs);
    std::vector<std::vector<DeepFolderRow>> rows = DeepFatFolderRows(finds.fatDirs, volumes.size());
    for (size_t k = 0; k < volumes.size() && k < 4; ++k) {
        if (volumes[k].inferred)
            LocateFatCopies(disk, volumes[k]);
        NameFatChildFolders(disk, volumes[k], 0, rows[k]);
        for (size_t r = 0; r < rows[k].size() && r < 8; ++r)
            NameFatChildFolders(disk, volumes[k], uint32_t(rows[k][r].self), rows[k]);
        DeepFatVolumeCells(volumes[k]);
    }

    std::vector<FatDirCluster> dirs;
    for (size_t at = 1; at + 6 <= size; at += 6) {
        FatDirCluster d;
        std::memcpy(&d.sector, data + at, 4);
        d.self = uint32_t(data[at + 4] | data[at + 5] << 8);
        dirs.push_back(d);
    }
    CheckVolumes(AssembleFatVolumes(finds.fatBoots, dirs, fat32, false), dirs);
    return 0;
}
