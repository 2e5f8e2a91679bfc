// Fuzzes volume validation: the input is a volume from sector 0, checked as FAT16, FAT32 and
// NTFS with an exclusive and an inclusive end. A volume that passes must have geometry the
// scans can divide by and walk with. The same input as a whole disk: the volume its boot sector
// names lies inside the disk.
#include <cstddef>
#include <cstdint>

#include "storage/pure/bootsector.h"
#include "storage/pure/volume_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MemorySectorSource volume(data, size);
    const uint64_t sectors = size / kSectorSize;
    for (const wchar_t* fs : { L"FAT16", L"FAT32", L"NTFS" }) {
        for (uint64_t end : { sectors, sectors ? sectors - 1 : 0 }) {
            VolumeGeometryRecord g;
            if (CheckVolume(volume, volume, fs, 0, end, g) != VolumeCheck::Valid)
                continue;
            if (!IsValidSectorsPerCluster(g.sectorsPerCluster))
                __builtin_trap();
            if (fs[0] == L'F' &&
                (g.sectorsPerFat == 0 || g.reservedSectors == 0 ||
                 g.secondFatSector != g.firstFatSector + g.sectorsPerFat))
                __builtin_trap();
            if (fs[0] == L'N' &&
                (g.sectorsPerFileRecord == 0 || g.sectorsPerFileRecord > 8 ||
                 (g.mftSector == 0 && g.mftMirrSector == 0)))
                __builtin_trap();
        }
    }
    ScanTarget disk;
    disk.wholeDisk = true;
    disk.firstSector = 63;
    disk.endSector = sectors + (size > 0 ? data[0] : 0); // a disk may be larger than what it holds
    disk.kind = FsKind::Ntfs;
    if (FindWholeDiskVolume(volume, disk) &&
        (disk.kind == FsKind::Unknown || disk.endSector <= disk.firstSector ||
         disk.endSector > sectors + (size > 0 ? data[0] : 0) || (disk.firstSector != 0 && disk.firstSector != 63)))
        __builtin_trap();
    return 0;
}
