#include "fsrecovery/basic_scan.h"

#include "app/devicetree.h"
#include "app/searchhost.h"
#include "app/scanprogress.h"
#include "storage/pure/storage_host.h"
#include "storage/pure/volume_check.h"
#include "storage/sector_source.h"

namespace {

// Progress on the caller's bar; nothing without a bar or a launcher.
ScanProgressFn ProgressOn(SearchHost* host, HWND bar)
{
    if (bar == nullptr || host == nullptr)
        return {};
    return [shown = ThrottledProgress(host, bar)](uint64_t done, uint64_t total) mutable { shown.Report(done, total); };
}

} // namespace

uint16_t CurrentFatTime()
{
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    return FatTimeWord(now.wHour, now.wMinute, now.wSecond);
}

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
    case BasicScanStatus::NoMftRuns:
        return L"The list of files and folders (the Master File Table) of the selected NTFS partition could not "
               L"be read.\n\nPlease select the partition from the list of Logical Drive or try another search mode.";
    case BasicScanStatus::NotSupported:
        return L"Basic Search reads FAT16, FAT32 and NTFS partitions only.";
    default:
        return L"";
    }
}

namespace {

// The automatic partition search started by the check: its end is waited for (a stop ends the
// wait), then the partition it checked, if any, is the one scanned.
bool TakeAutoSearchResult(ScanTarget& target, const StopFlag* stop)
{
    while (g_pPartitionSearchThread != nullptr && !IsStopped(stop))
        ::Sleep(20);
    if (g_pPartitionSearchThread != nullptr)
        return false;
    const AutoSearchResult found = AutoSearchFound();
    const SelectedVolumeRecord& volume = found.SelectedVolumeInfo;
    const FsKind kind = FsKindFromName(volume.fsName);
    if (found.AutoSearchValidation == 0 || kind == FsKind::Unknown || volume.endSector <= volume.startSector)
        return false;
    target.kind = kind;
    target.firstSector = volume.startSector;
    target.endSector = volume.endSector;
    // The search read its partition through the disk, as this target does.
    target.geometry = found.VolumeGeometry;
    return true;
}

} // namespace

bool CheckScanTarget(ScanTarget& target, const StopFlag* stop)
{
    DeviceSectorSource device(target.devicePath);
    // A disk without a partition table may hold a volume from its first sector on: its own boot
    // sector says which, where a guess by the disk's size would be wrong.
    FindWholeDiskVolume(device, target);
    DeviceSectorSource mftDevice(target.volumePath.IsEmpty() ? target.devicePath : target.volumePath);
    const VolumeCheck result =
        CheckVolume(device, mftDevice, FsKindName(target.kind), target.firstSector, target.endSector, target.geometry);
    if (result == VolumeCheck::Valid)
        return true;
    if (result != VolumeCheck::NoBootSector)
        return false;
    ForgetAutoSearchResult();
    StartAutoPartitionSearchIfDue(GetStorageHost());
    return AutoPartitionSearch == 1 && TakeAutoSearchResult(target, stop);
}

BasicScanStatus RunBasicScan(ScanTarget& target, FoundStore& store, const StopFlag* stop,
                             const BasicScanObserver& observer)
{
    if (!IsFat(target.kind) && target.kind != FsKind::Ntfs && !target.wholeDisk)
        return BasicScanStatus::NotSupported;
    if (observer.phase)
        observer.phase(BasicScanPhase::Validating, target.firstSector, target.endSector);
    const bool served = CheckScanTarget(target, stop);
    if (IsStopped(stop) && !served)
        return BasicScanStatus::Stopped;
    if (!IsFat(target.kind) && target.kind != FsKind::Ntfs)
        return BasicScanStatus::NotSupported;
    if (target.kind == FsKind::Ntfs && !served)
        return BasicScanStatus::VolumeInvalid;
    KeptHandleSectorSource device(target.devicePath);
    if (!device.IsOpen())
        return BasicScanStatus::DeviceNotOpened;
    if (IsFat(target.kind))
        return ScanFatVolume(device, target, served, store, CurrentFatTime(), stop, observer);
    return ScanNtfsVolume(device, target, served, store, CurrentFatTime(), stop, observer);
}

BasicScanStatus RunBasicScan(ScanTarget& target, FoundStore& store, const StopFlag* stop, SearchHost* host,
                             HWND progressBar)
{
    BasicScanObserver observer;
    observer.progress = ProgressOn(host, progressBar);
    return RunBasicScan(target, store, stop, observer);
}
