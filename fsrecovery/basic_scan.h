// The Basic Search scan of one volume into the found-entry store: the volume check, then the FAT
// directory-cluster scan or the NTFS file-record scan. It reads only what its target names, adds
// the volume (its device and geometry) and the rows to the store, polls the stop flag and ends
// by itself.
#pragma once
#include <windows.h>

#include <cstdint>

#include "cstring.h"
#include "fsrecovery/pure/basic_scan.h"

class SearchHost;

// The FAT time word of now (local time), which the scans give their catch-all folders.
uint16_t CurrentFatTime();

// What the user is told for a status; empty for Done and Stopped.
CString BasicScanStatusMessage(BasicScanStatus status);

// Checks the target's boot sector into target.geometry (true when it served). A whole disk
// without any NTFS boot sector may start the lost-partition search; the check then waits for it
// (until *stop) and takes the partition it found and checked, when it found one.
bool CheckScanTarget(ScanTarget& target, const StopFlag* stop = nullptr);

// The check, then the scan of the target's file system (ScanFatVolume, ScanNtfsVolume) through
// one handle of its device, each phase and its progress told to the observer.
BasicScanStatus RunBasicScan(ScanTarget& target, FoundStore& store, const StopFlag* stop,
                             const BasicScanObserver& observer);
// The same with its progress on a bar alone, moved through the launcher's services (none
// without a launcher).
BasicScanStatus RunBasicScan(ScanTarget& target, FoundStore& store, const StopFlag* stop, SearchHost* host,
                             HWND progressBar);
