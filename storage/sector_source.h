// The sector reader: every read of a disk, partition or volume goes through here, opened for
// reading only, as 512-byte sectors at 64-bit sector numbers.
#pragma once
#include <windows.h>

#include <cstdint>

#include "cstring.h"
#include "storage/pure/sector_source.h"

// Tells the Windows 9x platform ('F') from the NT platform ('N') into PlatformKind. Runs once,
// before the first read.
void PlatformProbe();

// Opens a device or image the one way the program ever does: GENERIC_READ, sharing reads and
// writes, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL.
HANDLE OpenDeviceForReading(const wchar_t* path);

// The size in bytes of what an open device or image reads, asked the ways that answer for disks,
// volumes and image files alike (the length query, the extended geometry, the file size); 0 when
// none of them can tell.
uint64_t DeviceSizeBytes(HANDLE handle);

// Moves the handle to the 64-bit byte offset (low, high); returns the new position, or
// UINT64_MAX when SetFilePointer failed.
uint64_t SetFilePointer64(HANDLE handle, DWORD low, DWORD high, DWORD moveMethod);

// Reads count sectors from the first sector (low and high half) into buffer (count × 512
// bytes), opening and closing the device for this one call. 1 on success, 0 on failure. A short
// read at the device's end succeeds with the missing bytes zero-filled; a read that delivers
// nothing, a failed seek and a count whose byte count does not fit in 32 bits fail.
DWORD ReadSectors(CString path, DWORD sectorLow, DWORD sectorHigh, DWORD count, void* buffer);
DWORD ReadSectors(CString path, uint64_t sector, DWORD count, void* buffer);
// The same, reporting how many bytes the device delivered (0 on failure).
size_t ReadSectorsCounted(const CString& path, uint64_t sector, uint32_t count, void* buffer);

// Reads one sector range through an open handle: seek from the start, ReadFile, zero-fill
// what was not delivered. Bytes delivered, 0 on failure.
size_t ReadSectorsFromHandle(HANDLE handle, uint64_t sector, uint32_t count, void* buffer);

// The sectors of a device path, each read opening and closing it like ReadSectors.
class DeviceSectorSource : public SectorSource {
public:
    explicit DeviceSectorSource(const CString& path) : m_path(path) { }
    size_t Read(uint64_t sector, uint32_t count, uint8_t* buf) override;

private:
    CString m_path;
};

// One handle kept open for a long sequential read.
class KeptHandleSectorSource : public SectorSource {
public:
    explicit KeptHandleSectorSource(const CString& path);
    ~KeptHandleSectorSource() override;
    KeptHandleSectorSource(const KeptHandleSectorSource&) = delete;
    KeptHandleSectorSource& operator=(const KeptHandleSectorSource&) = delete;
    bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
    size_t Read(uint64_t sector, uint32_t count, uint8_t* buf) override;

private:
    HANDLE m_handle;
};

// The Windows 9x binding, loaded on the first read on that platform; whether it was.
using ReadDisk32Proc = DWORD(WINAPI*)(DWORD drive, DWORD, DWORD, DWORD, DWORD count, void* buffer, DWORD sectorLow,
                                      DWORD);
bool Disk32Loaded();
// The BIOS drive (0x80-0x83) of "\\.\PhysicalDrive0" to "\\.\PhysicalDrive3"; 0 for any
// other path, which that platform cannot read.
DWORD BiosDriveOfPath(const CString& path);
