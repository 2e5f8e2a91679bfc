#include "fsrecovery/basicscan.h"

#include "app/maindlg.h"
#include "app/scanprogress.h"
#include "storage/pure/storage_host.h"
#include "storage/pure/volume_check.h"
#include "storage/sectorreader.h"

namespace {

// Progress on the caller's bar; nothing without a bar or a dialog.
ScanProgressFn ProgressOn(HWND bar)
{
    if (bar == nullptr || g_pMainDlg == nullptr)
        return {};
    return [shown = ThrottledProgress(bar)](uint64_t done, uint64_t total) mutable { shown.Report(done, total); };
}

uint16_t CurrentFatTime()
{
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    return FatTimeWord(now.wHour, now.wMinute, now.wSecond);
}

} // namespace

CString BasicScanStatusMessage(BasicScanStatus status)
{
    switch (status) {
    case BasicScanStatus::DeviceNotOpened:
        return L"The selected drive could not be opened for reading.\n\nPlease check that it is "
               L"still connected and that no other program holds it.";
    case BasicScanStatus::NoGeometry:
        return L"Unable to calculate partition parameters.\n\nPlease select the partition from the "
               L"list of Logical Drive or click on \x2018Search more Partitions\x2019 in case of "
               L"deleted or missing Drives.";
    case BasicScanStatus::VolumeInvalid:
        return L"The selected partition does not hold a readable NTFS file system.";
    case BasicScanStatus::NotSupported:
        return L"Basic Search reads FAT16, FAT32 and NTFS partitions only.";
    default:
        return L"";
    }
}

bool CheckScanTarget(ScanTarget& target)
{
    DeviceSectorSource device(target.devicePath);
    DeviceSectorSource mftDevice(target.volumePath.IsEmpty() ? target.devicePath : target.volumePath);
    const VolumeCheck result =
        CheckVolume(device, mftDevice, FsKindName(target.kind), target.firstSector, target.endSector, target.geometry);
    if (result == VolumeCheck::NoBootSector)
        StartAutoPartitionSearchIfDue(GetStorageHost());
    return result == VolumeCheck::Valid;
}

BasicScanStatus RunBasicScan(ScanTarget& target, FoundStore& store, const StopFlag* stop, HWND progressBar)
{
    if (!IsFat(target.kind) && target.kind != FsKind::Ntfs)
        return BasicScanStatus::NotSupported;
    const bool served = CheckScanTarget(target);
    if (target.kind == FsKind::Ntfs && !served)
        return BasicScanStatus::VolumeInvalid;
    KeptHandleSectorSource device(target.devicePath);
    if (!device.IsOpen())
        return BasicScanStatus::DeviceNotOpened;
    if (IsFat(target.kind))
        return ScanFatVolume(device, target, served, store, CurrentFatTime(), stop, ProgressOn(progressBar));
    return ScanNtfsVolume(device, target, served, store, CurrentFatTime(), stop, ProgressOn(progressBar));
}
