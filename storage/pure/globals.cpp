#include "storage/pure/globals.h"

char PlatformKind = 0;

namespace {
CString PhysicalDrivePath(int n)
{
    CString path;
    if (n < kMaxDisks)
        path.Format(L"\\\\.\\PhysicalDrive%d", n);
    return path;
}
} // namespace

const CString PhysicalDrivePathTable[kMaxDisks + 1] = {
    PhysicalDrivePath(0),  PhysicalDrivePath(1),  PhysicalDrivePath(2),  PhysicalDrivePath(3),  PhysicalDrivePath(4),
    PhysicalDrivePath(5),  PhysicalDrivePath(6),  PhysicalDrivePath(7),  PhysicalDrivePath(8),  PhysicalDrivePath(9),
    PhysicalDrivePath(10), PhysicalDrivePath(11), PhysicalDrivePath(12), PhysicalDrivePath(13), PhysicalDrivePath(14),
    PhysicalDrivePath(15), PhysicalDrivePath(16), PhysicalDrivePath(17), PhysicalDrivePath(18), PhysicalDrivePath(19),
    PhysicalDrivePath(20), PhysicalDrivePath(21), PhysicalDrivePath(22), PhysicalDrivePath(23), PhysicalDrivePath(24),
    PhysicalDrivePath(25), PhysicalDrivePath(26),
};

CString CurrentDevicePath;

DiskPartitionRecord DiskPartitionTable[kMaxDisks];

int AddPartitionToDisk(DiskPartitionRecord& disk, const CString& fsName, uint64_t startSector, uint64_t endSector)
{
    const uint32_t n = disk.partitionCount;
    if (n >= uint32_t(kMaxPartitionsPerDisk))
        return -1;
    disk.fsName[n] = fsName;
    disk.slot[n] = PartitionSlot{ nullptr, startSector, endSector };
    disk.partitionCount = n + 1;
    return int(n);
}

void ResetDiskTable()
{
    DiskDescriptionList.RemoveAll();
    LogicalDriveKeys.RemoveAll();
    for (DiskPartitionRecord& disk : DiskPartitionTable)
        disk = DiskPartitionRecord();
}

uint16_t SelectedDiskNumber = 0;
CString SelectedItemKind;
CString SelectedDiskTexts[4];

void CopyGeometryToParams(const VolumeGeometryRecord& from, FatVolumeParamsRecord& to)
{
    static_cast<VolumeGeometryRecord&>(to) = from;
}

uint32_t AutoPartitionSearch = 0;

CStringArray DiskDescriptionList;
CStringArray LogicalDriveKeys;
