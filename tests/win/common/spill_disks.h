// Disks made at test time from spilldisk.img: its three volumes (FAT16 at 2 KiB clusters, FAT32
// at 512 bytes, NTFS at 4 KiB), each followed by sectors of a marker text that belong to no volume,
// under a partition table of the kind a case asks for, their boot sectors claiming what it asks.
// Each volume has a file from its last whole cluster on that runs past its partition: on the FAT
// volumes a deleted "LASTCLUS.BIN" planted here at the last whole cluster, on NTFS
// "runout.bin".
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/images.h"

namespace zr_test {

enum class PartitionKind { Primary, Logical, Gpt };

// What a volume's boot sectors say of its size: its partition's sectors and `more`, or nothing (a
// FAT boot sector with both counts 0; an NTFS volume with both its boot sectors zeroed).
struct SizeClaim {
    bool stated = true;
    uint64_t more = 0;
};

struct SpillVolume {
    std::wstring fs; // "FAT16", "FAT32", "NTFS"
    uint64_t start = 0, sectors = 0;
    uint32_t sectorsPerCluster = 0;
    std::string lastFile; // the file that runs past the partition, as a save names it
    // What its partition holds of it: its whole clusters there, from this sector on.
    uint64_t lastFileSector = 0, lastFileSectors = 0;
};

class SpillDisk {
public:
    // The disk at "\\.\PhysicalDrive<number>".
    SpillDisk(int number, PartitionKind kind);
    bool Made() const { return m_made; }
    uint64_t Sectors() const { return m_sectors; }
    const std::vector<SpillVolume>& Volumes() const { return m_volumes; }
    // Makes every boot sector of volume k (FAT32: with its backup; NTFS: with its copy in the
    // partition's last sector) claim `claim`.
    bool Claim(size_t k, const SizeClaim& claim);
    // The bytes the disk holds now from `sector` on.
    std::vector<uint8_t> Read(uint64_t sector, uint64_t count) const;

private:
    bool WriteTable(PartitionKind kind);
    bool PlantLastFile(SpillVolume& volume);

    std::unique_ptr<DiskFile> m_file;
    uint64_t m_sectors = 0;
    std::vector<SpillVolume> m_volumes;
    std::vector<std::vector<uint8_t>> m_boots; // each volume's first sector as made
    bool m_made = false;
};

// Checks a save of volume k of the disk (`saved`: sha256 -> path): every file of the volume's truth
// is saved with its bytes (one that points outside its volume with what the volume holds of it),
// and the file that runs past the partition with the partition's whole clusters of it alone.
void ExpectSavedAsThePartitionHoldsIt(const SpillDisk& disk, size_t k, const std::map<std::string, std::string>& saved);

} // namespace zr_test
