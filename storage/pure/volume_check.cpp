#include "storage/pure/volume_check.h"

#include <vector>

#include "storage/pure/bootsector.h"
#include "storage/pure/le.h"

namespace {

bool FitsIn32(uint64_t value)
{
    return value <= UINT32_MAX;
}

// One boot-sector candidate of a FAT volume: signature, plausible fields, the FATs inside
// 32-bit sector numbers, and the media byte 0xF8 at the start of the second FAT.
bool CheckFatBoot(SectorSource& device, uint64_t start, uint64_t bootSector, bool fat32, VolumeGeometryRecord& geometry)
{
    uint8_t sector[kSectorSize];
    if (!device.ReadSector(bootSector, sector) || !HasBootSignature(sector))
        return false;
    const FatBootFields f = ReadFatBootFields(sector, fat32);
    if (!FatFieldsPlausible(f))
        return false;
    const uint64_t firstFat = start + f.reservedSectors;
    const uint64_t secondFat = firstFat + f.sectorsPerFat;
    const uint64_t afterFats = secondFat + f.sectorsPerFat;
    if (!FitsIn32(secondFat) || (!fat32 && !FitsIn32(afterFats)))
        return false;
    if (!device.ReadSector(secondFat, sector) || sector[0] != 0xF8)
        return false;
    const uint32_t rootDirSectors = fat32 ? 0 : f.rootEntries >> 4;
    geometry.sectorsPerFat = f.sectorsPerFat;
    geometry.sectorsPerCluster = f.sectorsPerCluster;
    geometry.rootDirSectors = rootDirSectors;
    geometry.rootStart = fat32 ? f.rootCluster : uint32_t(afterFats);
    geometry.reservedSectors = f.reservedSectors;
    // Cluster 2 starts after the root directory; for tiny volumes with big clusters the
    // cluster-0 sector lies before the volume and the sum wraps, which later sums undo.
    geometry.cluster0Start = afterFats + rootDirSectors - 2ull * f.sectorsPerCluster;
    geometry.firstFatSector = uint32_t(firstFat);
    geometry.secondFatSector = uint32_t(secondFat);
    return true;
}

VolumeCheck CheckFat(SectorSource& device, uint64_t start, bool fat32, VolumeGeometryRecord& geometry)
{
    VolumeGeometryRecord work = geometry;
    // FAT32 keeps a backup boot sector six sectors in.
    if (CheckFatBoot(device, start, start, fat32, work) ||
        (fat32 && start <= UINT64_MAX - 6 && CheckFatBoot(device, start, start + 6, fat32, work))) {
        geometry = work;
        return VolumeCheck::Valid;
    }
    return VolumeCheck::Invalid;
}

struct NtfsCopy {
    bool present = false;
    NtfsBootFields fields;
};

NtfsCopy ReadNtfsCopy(SectorSource& device, uint64_t sector, bool needText)
{
    uint8_t boot[kSectorSize];
    NtfsCopy copy;
    if (device.ReadSector(sector, boot) && HasBootSignature(boot) &&
        (!needText || ClassifyBootText(boot, false) == BootText::Ntfs)) {
        copy.present = true;
        copy.fields = ReadNtfsBootFields(boot);
    }
    return copy;
}

// start + cluster × sectorsPerCluster, or false when it does not fit in 64 bits.
bool ClusterSector(uint64_t start, uint64_t cluster, uint32_t sectorsPerCluster, uint64_t* out)
{
    if (cluster > (UINT64_MAX - start) / sectorsPerCluster)
        return false;
    *out = start + cluster * sectorsPerCluster;
    return true;
}

bool HoldsMftRecord(SectorSource& device, uint64_t sector)
{
    uint8_t buf[kSectorSize];
    return device.ReadSector(sector, buf) && IsMftRecord(buf);
}

// The $MFT (or $MFTMirr) sector by the chosen copy, else by the other copy, else 0.
uint64_t FindRecordSector(SectorSource& device, SectorSource& mftDevice, uint64_t start, uint32_t sectorsPerCluster,
                          uint64_t chosenCluster, const NtfsCopy& other, uint64_t NtfsBootFields::*field)
{
    uint64_t sector = 0;
    if (ClusterSector(start, chosenCluster, sectorsPerCluster, &sector) && HoldsMftRecord(device, sector))
        return sector;
    if (other.present && ClusterSector(start, other.fields.*field, sectorsPerCluster, &sector) &&
        HoldsMftRecord(mftDevice, sector))
        return sector;
    return 0;
}

VolumeCheck CheckNtfs(SectorSource& device, SectorSource& mftDevice, uint64_t start, uint64_t end,
                      VolumeGeometryRecord& geometry)
{
    const NtfsCopy primary = ReadNtfsCopy(device, start, false);
    // The backup boot sector is the volume's last sector, the one before its end. The sector at
    // the end is the next volume's: its boot sector is never taken for this one's backup.
    NtfsCopy backup;
    if (end > start + 1)
        backup = ReadNtfsCopy(device, end - 1, true);
    if (!primary.present && !backup.present)
        return VolumeCheck::NoBootSector;

    const NtfsCopy* copies[2] = { primary.present ? &primary : &backup, primary.present ? &backup : &primary };
    int chosen = -1;
    uint32_t sectorsPerRecord = 0;
    for (int i = 0; i < 2 && chosen < 0; ++i) {
        if (!copies[i]->present || !IsValidSectorsPerCluster(copies[i]->fields.sectorsPerCluster))
            continue;
        sectorsPerRecord = NtfsSectorsPerFileRecord(copies[i]->fields);
        if (sectorsPerRecord != 0)
            chosen = i;
    }
    if (chosen < 0)
        return VolumeCheck::Invalid;
    const NtfsBootFields& f = copies[chosen]->fields;
    const NtfsCopy& other = *copies[1 - chosen];
    const uint32_t c = f.sectorsPerCluster;
    const uint64_t mft =
        FindRecordSector(device, mftDevice, start, c, f.mftCluster, other, &NtfsBootFields::mftCluster);
    const uint64_t mirr =
        FindRecordSector(device, mftDevice, start, c, f.mftMirrCluster, other, &NtfsBootFields::mftMirrCluster);
    if (mft == 0 && mirr == 0)
        return VolumeCheck::Invalid;
    geometry.sectorsPerCluster = c;
    geometry.cluster0Start = start;
    geometry.mftSector = mft;
    geometry.mftMirrSector = mirr;
    geometry.sectorsPerFileRecord = sectorsPerRecord;
    // Kept for the scan log only: no read is sized by it, so a value that gives no size (0, or
    // past 32 bits, stored as 0) says nothing about whether the volume can be read.
    geometry.sectorsPerIndexRecord = NtfsSectorsPerIndexRecord(f);
    return VolumeCheck::Valid;
}

} // namespace

VolumeCheck CheckVolume(SectorSource& device, SectorSource& mftDevice, const CString& fsName, uint64_t startSector,
                        uint64_t endSector, VolumeGeometryRecord& geometry)
{
    if (fsName == L"FAT16")
        return CheckFat(device, startSector, false, geometry);
    if (fsName == L"FAT32")
        return CheckFat(device, startSector, true, geometry);
    if (fsName == L"NTFS")
        return CheckNtfs(device, mftDevice, startSector, endSector, geometry);
    return VolumeCheck::Invalid;
}

uint16_t ValidateVolumeFrom(SectorSource& device, SectorSource& mftDevice, const SelectedVolumeRecord& volume,
                            VolumeGeometryRecord& geometry, StorageHost* host)
{
    const VolumeCheck result =
        CheckVolume(device, mftDevice, volume.fsName, volume.startSector, volume.endSector, geometry);
    if (result == VolumeCheck::Valid)
        return 1;
    if (result == VolumeCheck::NoBootSector)
        StartAutoPartitionSearchIfDue(host);
    return 0;
}

bool FindWholeDiskVolume(SectorSource& device, ScanTarget& target)
{
    if (!target.wholeDisk)
        return false;
    uint8_t sector[kSectorSize];
    for (const uint64_t at : { uint64_t(0), target.firstSector }) {
        if (at >= target.endSector || !device.ReadSector(at, sector) || !HasBootSignature(sector))
            continue;
        const FsKind kind = FsKindFromName(BootTextName(ClassifyBootText(sector, false)));
        if (kind == FsKind::Unknown)
            continue;
        target.kind = kind;
        target.firstSector = at;
        // The volume ends where its boot sector says (NTFS keeps its backup boot sector one
        // sector past its count), inside the disk.
        uint64_t sectors = kind == FsKind::Ntfs ? Le64At(sector + 0x28) : Le32At(sector + 0x20);
        if (kind == FsKind::Fat16 && Le16At(sector + 0x13) != 0)
            sectors = Le16At(sector + 0x13);
        if (kind == FsKind::Ntfs && sectors != UINT64_MAX)
            ++sectors;
        if (sectors != 0 && sectors < target.endSector - at)
            target.endSector = at + sectors;
        return true;
    }
    return false;
}

void StartAutoPartitionSearchIfDue(StorageHost* host)
{
    if (host == nullptr || !ShouldStartAutoPartitionSearch(host->QueryAutoSearchState()))
        return;
    AutoPartitionSearch = 1;
    if (!host->StartPartitionSearch())
        AutoPartitionSearch = 0;
}
