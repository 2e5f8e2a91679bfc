#include "storage/partition_table.h"

#include <cstring>
#include <vector>

#include "storage/pure/partition_table.h"
#include "storage/pure/storage_host.h"
#include "storage/pure/volume_check.h"
#include "storage/sector_source.h"

namespace {

CString DevicePathForKind(const CString& kind)
{
    if (kind == L"Logical") {
        StorageHost* host = GetStorageHost();
        return host != nullptr ? host->LogicalDrivePath() : CString();
    }
    return SelectedDiskNumber < kMaxDisks ? PhysicalDrivePathTable[SelectedDiskNumber] : CString();
}

// {AF9B60A0-1431-4F62-BC68-3311714A69AD}
const GUID kLdmDataPartition = { 0xAF9B60A0, 0x1431, 0x4F62, { 0xBC, 0x68, 0x33, 0x11, 0x71, 0x4A, 0x69, 0xAD } };

// Whether the disk holds an LDM partition: 1 yes, 0 no, -1 the layout could not be read.
int DiskHoldsLdmPartition(DWORD diskNumber)
{
    CString path;
    path.Format(L"\\\\.\\PhysicalDrive%d", diskNumber);
    const HANDLE disk =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (disk == INVALID_HANDLE_VALUE)
        return 0;
    std::vector<uint8_t> buffer(768);
    int answer = 0;
    for (DWORD entries = 4;; entries *= 2) {
        DWORD got = 0;
        if (DeviceIoControl(disk, IOCTL_DISK_GET_DRIVE_LAYOUT_EX, nullptr, 0, buffer.data(), DWORD(buffer.size()), &got,
                            nullptr)) {
            const auto* layout = reinterpret_cast<const DRIVE_LAYOUT_INFORMATION_EX*>(buffer.data());
            const size_t header = offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry);
            const size_t fit = (buffer.size() - header) / sizeof(PARTITION_INFORMATION_EX);
            const size_t count = layout->PartitionCount < fit ? layout->PartitionCount : fit;
            for (size_t i = 0; i < count && answer == 0; ++i)
                if (IsLdmPartition(layout->PartitionEntry[i]))
                    answer = 1;
            break;
        }
        // The buffer grows by doubling the entries it has room for, up to a sane bound.
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || entries >= 4096) {
            answer = -1;
            break;
        }
        buffer.assign(192 + 144 * size_t(entries * 2), 0);
    }
    CloseHandle(disk);
    return answer;
}

} // namespace

void AddDiskWithPartitions(DWORD mbrSector, uint64_t diskSectors, TreeItemHandle diskItem, CString kind)
{
    if (SelectedDiskNumber >= kMaxDisks)
        return;
    DeviceSectorSource source(DevicePathForKind(kind));
    // Without a disk item the first primary partition is a selection nobody reads.
    SelectedVolumeRecord unused;
    AddDiskPartitionsFrom(source, mbrSector, diskSectors, diskItem, DiskPartitionTable[SelectedDiskNumber], unused,
                          GetStorageHost());
}

void AddGptPartitions(uint64_t firstSector, TreeItemHandle diskItem, CString kind)
{
    if (SelectedDiskNumber >= kMaxDisks)
        return;
    DeviceSectorSource source(DevicePathForKind(kind));
    AddGptPartitionsFrom(source, firstSector, diskItem, DiskPartitionTable[SelectedDiskNumber], GetStorageHost());
}

bool IsLdmPartition(const PARTITION_INFORMATION_EX& entry)
{
    if (entry.PartitionStyle == PARTITION_STYLE_MBR)
        return entry.Mbr.PartitionType == 0x42;
    if (entry.PartitionStyle == PARTITION_STYLE_GPT)
        return IsEqualGUID(entry.Gpt.PartitionType, kLdmDataPartition) != 0;
    return false;
}

bool IsVolumeOnDynamicDisk(const CString& drive, VolumeExtent& extent)
{
    extent = VolumeExtent();
    wchar_t volumePath[MAX_PATH];
    if (!GetVolumePathNameW(drive, volumePath, MAX_PATH))
        return false;
    const HANDLE volume = CreateFileW(L"\\\\.\\" + drive, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (volume == INVALID_HANDLE_VALUE)
        return false;
    // Room for two extents; a volume spread wider fails the query and answers no.
    union {
        VOLUME_DISK_EXTENTS extents;
        uint8_t bytes[64];
    } buffer;
    std::memset(&buffer, 0, sizeof buffer);
    DWORD got = 0;
    const BOOL ok = DeviceIoControl(volume, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, &buffer, sizeof buffer,
                                    &got, nullptr);
    CloseHandle(volume);
    if (!ok)
        return false;
    const DWORD fit = DWORD((sizeof buffer - offsetof(VOLUME_DISK_EXTENTS, Extents)) / sizeof(DISK_EXTENT));
    const DWORD count = buffer.extents.NumberOfDiskExtents < fit ? buffer.extents.NumberOfDiskExtents : fit;
    // A layout that cannot be read counts as dynamic but does not end the walk.
    int answer = 0;
    for (DWORD i = 0; i < count && answer != 1; ++i) {
        const DISK_EXTENT& at = buffer.extents.Extents[i];
        extent.VolumeExtentStart = uint64_t(at.StartingOffset.QuadPart) / kSectorSize;
        extent.VolumeExtentEnd = extent.VolumeExtentStart + uint64_t(at.ExtentLength.QuadPart) / kSectorSize;
        extent.VolumeExtentDisk = at.DiskNumber;
        const int holds = DiskHoldsLdmPartition(at.DiskNumber);
        if (holds != 0)
            answer = holds;
    }
    return answer != 0;
}

uint16_t ValidateSelectedVolume(const SelectedVolumeRecord& volume, VolumeGeometryRecord& geometry)
{
    StorageHost* host = GetStorageHost();
    DeviceSectorSource device(CurrentDevicePath);
    const CString mftPath =
        SelectedItemKind == L"Logical" && host != nullptr ? host->LogicalDrivePath() : CurrentDevicePath;
    DeviceSectorSource mftDevice(mftPath);
    return ValidateVolumeFrom(device, mftDevice, volume, geometry, host);
}
