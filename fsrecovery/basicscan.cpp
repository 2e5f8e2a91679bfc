#include "fsrecovery/basicscan.h"

#include "app/maindlg.h"
#include "fsrecovery/pure/basic_scan.h"
#include "fsrecovery/scanprogress.h"
#include "storage/fsstructs.h"
#include "storage/partitions.h"
#include "storage/pure/globals.h"
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

BasicScanStatus Finished(const volatile uint32_t* stop)
{
    return stop != nullptr && *stop == 1 ? BasicScanStatus::Stopped : BasicScanStatus::Done;
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

BasicScanStatus RunFatBasicScan(bool bootSectorServed, const volatile uint32_t* stop, HWND progressBar)
{
    KeptHandleSectorSource device(CurrentDevicePath);
    if (!device.IsOpen())
        return BasicScanStatus::DeviceNotOpened;
    const bool fat32 = SelectedVolumeInfo.fsName == L"FAT32";
    if (!bootSectorServed || !FatGeometryUsable(VolumeGeometry)) {
        if (!ProbeFatGeometry(device, fat32, SelectedVolumeInfo.startSector, SelectedVolumeInfo.endSector,
                              VolumeGeometry, stop, ProgressOn(progressBar)))
            return stop != nullptr && *stop == 1 ? BasicScanStatus::Stopped : BasicScanStatus::NoGeometry;
    }
    CopyGeometryToParams(VolumeGeometry, FatVolumeParams);
    FatVolumeParams.partitionType = SelectedVolumeInfo.fsName;

    const std::vector<FatDirRow> rows = ScanFatDirectoryClusters(
        device, fat32, VolumeGeometry, SelectedVolumeInfo.endSector, stop, ProgressOn(progressBar));
    if (g_pMainDlg != nullptr) {
        AppendMiscFolderRow(g_pMainDlg->FoundEntryTable, 0, CurrentFatTime());
        AppendFatDirRows(g_pMainDlg->FoundEntryTable, rows, fat32);
    }
    return Finished(stop);
}

BasicScanStatus RunNtfsBasicScan(bool bootSectorServed, const volatile uint32_t* stop, HWND progressBar)
{
    if (!bootSectorServed)
        return BasicScanStatus::VolumeInvalid;
    KeptHandleSectorSource device(CurrentDevicePath);
    if (!device.IsOpen())
        return BasicScanStatus::DeviceNotOpened;
    CopyGeometryToParams(VolumeGeometry, FatVolumeParams);
    FatVolumeParams.partitionType = SelectedVolumeInfo.fsName;

    MftRunTable.clear();
    LoadMftRunTable(VolumeGeometry.cluster0Start, CurrentDevicePath, 0, VolumeGeometry.mftSector,
                    VolumeGeometry.sectorsPerCluster);
    const std::vector<NtfsScanRecord> records = ScanNtfsRecords(device, MftRunTable, stop, ProgressOn(progressBar));
    if (g_pMainDlg != nullptr) {
        AppendMiscFolderRow(g_pMainDlg->FoundEntryTable, kNtfsRootRecord, CurrentFatTime());
        AppendNtfsRows(g_pMainDlg->FoundEntryTable, g_pMainDlg->NtfsFileTable, records);
    }
    return Finished(stop);
}

BasicScanStatus RunBasicScan(const volatile uint32_t* stop, HWND progressBar)
{
    const CString& fs = SelectedVolumeInfo.fsName;
    if (fs == L"FAT16" || fs == L"FAT32")
        return RunFatBasicScan(ValidateSelectedVolume() != 0, stop, progressBar);
    if (fs == L"NTFS")
        return RunNtfsBasicScan(ValidateSelectedVolume() != 0, stop, progressBar);
    return BasicScanStatus::NotSupported;
}
