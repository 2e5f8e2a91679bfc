#include "storage/pure/scan_target.h"

FsKind FsKindFromName(const CString& name)
{
    if (name == L"FAT16")
        return FsKind::Fat16;
    if (name == L"FAT32")
        return FsKind::Fat32;
    if (name == L"NTFS")
        return FsKind::Ntfs;
    return FsKind::Unknown;
}

CString FsKindName(FsKind kind)
{
    switch (kind) {
    case FsKind::Fat16:
        return L"FAT16";
    case FsKind::Fat32:
        return L"FAT32";
    case FsKind::Ntfs:
        return L"NTFS";
    default:
        return L"Unknown";
    }
}

void SetSelectedRange(SelectedVolumeRecord& volume, uint64_t first, uint64_t end)
{
    volume.startSector = volume.startSectorCopy = first;
    volume.endSector = volume.sizeSectors = end;
    volume.sizeBytes = end * 512;
}

namespace {

bool PlaceIsOnDisk(const SelectedItemPlace& place)
{
    return place.SelectedItemVolumeEnd > place.SelectedItemVolumeStart &&
        place.SelectedItemDiskNumber < uint32_t(kMaxDisks);
}

} // namespace

int ScanDiskOf(const ScanSelection& selection, const SelectedItemPlace& place)
{
    if (selection.physical && PlaceIsOnDisk(place))
        return int(place.SelectedItemDiskNumber);
    if (ReadThroughVolume(selection.kind))
        return -1;
    return selection.diskNumber < kMaxDisks ? selection.diskNumber : 0;
}

ScanRequest BuildScanRequest(ScanSelection& selection, const ScanSource& source, const CString& searchModeName)
{
    ScanRequest request;
    request.itemKind = selection.kind;
    request.diskNumber = selection.diskNumber;
    ScanTarget& target = request.target;
    target.firstSector = selection.startSector;
    target.endSector = selection.endSector;
    const bool throughVolume = ReadThroughVolume(selection.kind);
    target.devicePath =
        throughVolume ? source.drivePath : PhysicalDrivePathTable[selection.diskNumber < kMaxDisks ? selection.diskNumber : 0];
    if (selection.physical) {
        const SelectedItemPlace& place = source.place;
        if (PlaceIsOnDisk(place)) {
            target.devicePath = PhysicalDrivePathTable[place.SelectedItemDiskNumber];
            target.firstSector = request.volumeStart = place.SelectedItemVolumeStart;
            target.endSector = request.volumeEnd = place.SelectedItemVolumeEnd;
            request.diskNumber = uint16_t(place.SelectedItemDiskNumber);
        } else {
            selection.physical = false;
        }
    }
    if (source.diskSectors != 0 &&
        (target.endSector - target.firstSector > source.diskSectors ||
         (selection.physical && target.endSector > source.diskSectors)))
        target.endSector = source.diskSectors;
    // A range that begins where the disk has ended holds nothing: it is left empty, never turned
    // round, and Next refuses it.
    if (target.endSector < target.firstSector)
        target.endSector = target.firstSector;
    request.ScanAsPhysicalDisk = selection.physical;
    if (throughVolume)
        target.volumePath = source.drivePath;
    target.kind = FsKindFromName(selection.fsName);
    target.wholeDisk = selection.kind == L"Hard Disk";

    SelectedVolumeRecord& volume = request.SelectedVolumeInfo;
    volume.diskNumber = request.diskNumber;
    volume.fsName = selection.fsName;
    volume.searchModeName = searchModeName;
    SetSelectedRange(volume, target.firstSector, target.endSector);
    // Read through its volume, the drive is found again by its own size, whatever part of it the
    // range is.
    if (throughVolume && !selection.physical && selection.driveSectors != 0) {
        volume.sizeSectors = selection.driveSectors;
        volume.sizeBytes = selection.driveSectors * 512;
    }
    // The selected file system until a scan finds the volume's own: a scan that finds none still
    // leaves a type that its scan log can be loaded with.
    request.FatVolumeParams.partitionType = selection.fsName;
    return request;
}

void SetRequestPartitions(ScanRequest& request, const std::vector<PartitionExtent>& diskPartitions)
{
    const bool onDisk = !ReadThroughVolume(request.itemKind) || request.ScanAsPhysicalDisk;
    request.partitions = onDisk ? diskPartitions : std::vector<PartitionExtent>();
    request.volumeStarts.clear();
    if (request.itemKind != L"Hard Disk")
        request.volumeStarts.push_back(request.volumeStart);
    else
        for (const PartitionExtent& p : diskPartitions)
            request.volumeStarts.push_back(p.firstSector);
}

void KeepSelectedVolumeExtent(ScanRequest& request)
{
    SelectedVolumeRecord& volume = request.SelectedVolumeInfo;
    volume.startSectorCopy = request.volumeStart;
    if (!ReadThroughVolume(request.itemKind) || request.ScanAsPhysicalDisk)
        volume.sizeSectors = request.volumeEnd;
    volume.sizeBytes = volume.sizeSectors * 512;
}
