// The physical disks and logical drives of the machine, as the system describes them, and the
// records the drive trees keep for them.
#include <windows.h>
#include <winioctl.h>

#include "storage/driverecords.h"
#include "storage/partition_table.h"
#include "storage/pure/size_text.h"
#include "storage/sector_source.h"

DriveInfoRecord* SelectedDriveItem = nullptr;
std::vector<smpparam> DiskSearchList;
uint64_t DiskTotalSectors = 0;
TreeItemHandle LastDiskItem = nullptr;
CStringArray DiskMediaList;
std::atomic<int> DriveTreeBuilding{ 0 };
uint64_t LogicalDriveSectors = 0;

namespace {

// Wine's own disk 0 opens and answers a geometry query, yet has no read at all: it refuses one as
// a function it does not have. A disk whose sectors cannot be read refuses for its medium instead
// (a CRC, an I/O, a not-found error) and is listed: it is the disk a user brings for recovery.
bool HasNoRead(const CString& path)
{
    const HANDLE handle = OpenDeviceForReading(path.GetString());
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    uint8_t sector[kSectorSize];
    DWORD got = 0;
    const bool refused =
        !ReadFile(handle, sector, kSectorSize, &got, nullptr) && GetLastError() == ERROR_INVALID_FUNCTION;
    CloseHandle(handle);
    return refused;
}

bool QueryStorageProperty(HANDLE h, DWORD propertyId, uint8_t (&answer)[512], DWORD& returned)
{
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = STORAGE_PROPERTY_ID(propertyId);
    query.QueryType = PropertyStandardQuery;
    memset(answer, 0, sizeof(answer));
    returned = 0;
    return DeviceIoControl(h, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), answer, sizeof(answer), &returned,
                           nullptr) != FALSE;
}

} // namespace

CString GetMachineName()
{
    wchar_t name[256] = {};
    DWORD size = 255;
    return GetComputerNameW(name, &size) ? CString(name) : CString();
}

bool QueryPhysicalDisk(int diskNumber, PhysicalDiskInfo& info)
{
    info = PhysicalDiskInfo();
    if (diskNumber < 0 || diskNumber >= kMaxDisks)
        return false;
    const CString& path = PhysicalDrivePathTable[diskNumber];
    // Access 0: queries only; the sectors are read through the sector reader.
    HANDLE h = CreateFileW(path.GetString(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    if (HasNoRead(path)) {
        CloseHandle(h);
        return false;
    }
    DISK_GEOMETRY geometry{};
    DWORD got = 0;
    if (DeviceIoControl(h, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof(geometry), &got, nullptr)) {
        info.cylinders = uint64_t(geometry.Cylinders.QuadPart);
        info.mediaType = uint32_t(geometry.MediaType);
        info.tracksPerCylinder = geometry.TracksPerCylinder;
        info.sectorsPerTrack = geometry.SectorsPerTrack;
        info.bytesPerSector = geometry.BytesPerSector;
    } else {
        info.exactBytes = DeviceSizeBytes(h);
        if (info.exactBytes == 0) {
            CloseHandle(h);
            return false;
        }
        info.bytesPerSector = kSectorSize;
        info.sectorsPerTrack = 63;
        info.tracksPerCylinder = 255;
        info.cylinders = info.exactBytes / (uint64_t(kSectorSize) * 63 * 255);
        info.mediaType = FixedMedia;
    }
    uint8_t answer[512];
    DWORD returned = 0;
    if (QueryStorageProperty(h, StorageAdapterProperty, answer, returned) && returned > 24) {
        info.adapterAnswered = true;
        info.busType = answer[24];
        if (QueryStorageProperty(h, StorageDeviceProperty, answer, returned))
            info.device = ParseStorageDeviceDescriptor(answer, returned);
    }
    CloseHandle(h);
    return true;
}

void FillDiskRecord(DriveInfoRecord& record, int diskNumber, const PhysicalDiskInfo& info, int searchMode)
{
    const uint64_t bytes = info.exactBytes != 0
        ? info.exactBytes
        : info.cylinders * info.tracksPerCylinder * info.sectorsPerTrack * info.bytesPerSector;
    const uint64_t sectors = bytes / kSectorSize;
    if (info.adapterAnswered) {
        record.interfaceType = BusTypeName(info.busType);
        record.vendor = info.device.vendor;
        record.productText = info.device.product;
        record.model = info.device.product;
        record.firmwareRevision = info.device.revision;
        record.serialNumber = info.device.serial;
    }
    record.mediaType = MediaKindText(info.mediaType, record.interfaceType);
    record.diskName.Format(L"Disk%d", diskNumber);
    record.diskNumberText.Format(L"%d", diskNumber);
    record.diskNumber = uint32_t(diskNumber);
    record.capacity = FormatSize(bytes);
    record.cylinders.Format(L"%I64d", int64_t(info.cylinders));
    record.heads.Format(L"%ld", info.tracksPerCylinder);
    record.sectorsPerTrack.Format(L"%ld", info.sectorsPerTrack);
    record.bytesPerSector.Format(L"%ld", info.bytesPerSector);
    record.totalSectors.Format(L"%llu", sectors);
    record.systemName = GetMachineName();
    record.physicalDeviceId = PhysicalDrivePathTable[diskNumber];
    record.itemText = DiskItemText(diskNumber, record.mediaType, record.capacity);
    record.tagText = DiskListValue(record.model, record.mediaType, record.capacity);
    record.capacityMiB = bytes >> 20;
    record.searchModeName = SearchModeName(searchMode);
}

DriveInfoRecord* RecordPhysicalDisk(int diskNumber, const PhysicalDiskInfo& info, int searchMode)
{
    DriveInfoRecord* record = new DriveInfoRecord;
    FillDiskRecord(*record, diskNumber, info, searchMode);
    SelectedDriveItem = record;
    DiskMediaList.Add(record->diskNumberText);
    DiskMediaList.Add(record->mediaType);
    DiskTotalSectors = StrToUInt64(record->totalSectors.GetString());
    SelectedDiskNumber = uint16_t(GetDiskNumberFromText(record->itemText));
    return record;
}

bool IsFloppyDrive(const CString& drive)
{
    wchar_t target[260] = {};
    return QueryDosDeviceW(drive.GetString(), target, 260) != 0 && wcsstr(target, L"Device\\Floppy") != nullptr;
}

bool QueryLogicalDrive(wchar_t letter, LogicalDriveInfo& info)
{
    info = LogicalDriveInfo();
    info.drive = CString(letter) + L":";
    const CString root = info.drive + L"\\";
    const UINT type = GetDriveTypeW(root.GetString());
    if (type == DRIVE_NO_ROOT_DIR || type == DRIVE_CDROM)
        return false;
    wchar_t label[260] = {};
    wchar_t fsName[261] = {};
    GetVolumeInformationW(root.GetString(), label, 260, &info.serial, nullptr, nullptr, fsName, 261);
    info.label = label;
    info.fsName = fsName;
    ULARGE_INTEGER freeToCaller{}, total{}, totalFree{};
    info.sizeKnown = GetDiskFreeSpaceExW(root.GetString(), &freeToCaller, &total, &totalFree) != FALSE;
    if (IsFloppyDrive(info.drive))
        return false;
    info.totalBytes = info.sizeKnown ? total.QuadPart : 0;
    info.totalFreeBytes = info.sizeKnown ? totalFree.QuadPart : 0;
    info.texts =
        MakeLogicalDriveTexts(letter, info.label, info.fsName, info.sizeKnown, total.QuadPart, totalFree.QuadPart);
    return true;
}

DriveInfoRecord* RecordLogicalDrive(const LogicalDriveInfo& info, int searchMode, uint64_t startSector)
{
    const LogicalDriveTexts& texts = info.texts;
    LogicalDriveSectors = texts.sectors;
    LogicalDriveKeys.Add(texts.key);

    DriveInfoRecord* record = new DriveInfoRecord;
    SelectedDriveItem = record;
    VolumeExtent extent;
    record->isDynamic = IsVolumeOnDynamicDisk(info.drive, extent) ? 1 : 0;
    record->itemText = texts.itemText;
    record->extraText = L"Logical Drives";
    record->searchModeName = SearchModeName(searchMode);
    record->spareText = L"0";
    record->endSectorText.Format(L"%lld", int64_t(texts.sectors));
    record->partitionType = info.fsName.IsEmpty() ? CString(L"Unknown") : info.fsName;
    record->volume = info.drive;
    record->label = info.label;
    record->sizeText = texts.sizeText;
    record->freeSpaceText = texts.freeSpaceText;
    record->volumeSerial.Format(L"%X", info.serial);
    record->startSector = startSector;
    record->totalBytes = info.totalBytes;
    record->diskNumber = extent.VolumeExtentDisk;
    record->volumeStartSector = extent.VolumeExtentStart;
    record->volumeEndSector = extent.VolumeExtentEnd;
    return record;
}
