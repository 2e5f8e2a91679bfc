// The Basic Search scan workers' bodies: they read the selected volume (CurrentDevicePath,
// SelectedVolumeInfo, VolumeGeometry) and fill g_pMainDlg's FoundEntryTable and NtfsFileTable.
// They run on the Basic scan worker's thread, poll the stop flag and end by themselves.
#pragma once
#include <windows.h>

#include <cstdint>

#include "cstring.h"

enum class BasicScanStatus {
    Done,
    Stopped, // the stop flag ended the scan; the rows found so far are kept
    DeviceNotOpened,
    NoGeometry,    // FAT: neither the boot sector nor the probe gave a usable geometry
    VolumeInvalid, // NTFS: the boot-sector check failed
    NotSupported,  // neither FAT16, FAT32 nor NTFS
};

// What the user is told for a status; empty for Done and Stopped.
CString BasicScanStatusMessage(BasicScanStatus status);

// The FAT path: the boot-sector geometry when it served and is usable, else the probe; then
// the catch-all row and one row per directory cluster. Fills FatVolumeParams.
BasicScanStatus RunFatBasicScan(bool bootSectorServed, const volatile uint32_t* stop, HWND progressBar);

// The NTFS path: the $MFT run table (LoadMftRunTable), then the catch-all row, a pending
// FoundEntryTable row per folder and an NtfsFileTable row per file. Fills FatVolumeParams.
BasicScanStatus RunNtfsBasicScan(bool bootSectorServed, const volatile uint32_t* stop, HWND progressBar);

// Dispatches on SelectedVolumeInfo.fsName after the boot-sector check (ValidateSelectedVolume).
BasicScanStatus RunBasicScan(const volatile uint32_t* stop, HWND progressBar);
