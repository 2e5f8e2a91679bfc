#include "storage/sector_source.h"

#include <winioctl.h>

#include <cstring>

#include "storage/pure/globals.h"

namespace {

// The Windows 9x binding, loaded on the first read on that platform.
HMODULE g_disk32Module = nullptr;
ReadDisk32Proc g_readDisk32Entry = nullptr;

size_t ReadWin9x(const CString& path, uint64_t sector, uint32_t count, void* buffer)
{
    // Only the first 2^32 sectors of BIOS drives 0x80-0x83 are reachable there.
    const DWORD drive = BiosDriveOfPath(path);
    if (drive == 0 || sector > UINT32_MAX)
        return 0;
    if (g_disk32Module == nullptr) {
        g_disk32Module = LoadLibraryW(L"disk32.dll");
        if (g_disk32Module == nullptr) {
            MessageBoxW(nullptr, L"disk32.dll not found.", L"Message", MB_ICONINFORMATION);
            return 0;
        }
        g_readDisk32Entry = reinterpret_cast<ReadDisk32Proc>(GetProcAddress(g_disk32Module, "ReadDisk32"));
        if (g_readDisk32Entry == nullptr) {
            MessageBoxW(nullptr, L"Readdisk32 function not found.", L"Message", MB_ICONINFORMATION);
            return 0;
        }
    }
    // A library without the entry fails every later read the same way, without a message.
    if (g_readDisk32Entry == nullptr)
        return 0;
    if (g_readDisk32Entry(drive, 0, 0, 1, count, buffer, DWORD(sector), 1) == 0) {
        std::memset(buffer, 0, size_t(count) * kSectorSize);
        return 0;
    }
    return size_t(count) * kSectorSize;
}
} // namespace

void PlatformProbe()
{
    OSVERSIONINFOW info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    // A failed query leaves the platform id 0, which reads as the NT platform.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExW(&info);
#pragma GCC diagnostic pop
    PlatformKind = (info.dwPlatformId & 1) != 0 ? 'F' : 'N';
}

HANDLE OpenDeviceForReading(const wchar_t* path)
{
    return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

uint64_t DeviceSizeBytes(HANDLE handle)
{
    DWORD got = 0;
    GET_LENGTH_INFORMATION length{};
    if (DeviceIoControl(handle, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof(length), &got, nullptr) &&
        length.Length.QuadPart > 0)
        return uint64_t(length.Length.QuadPart);
    // The extended geometry is the fixed geometry followed by the size; room is left for the
    // partition and detection data some drivers append.
    uint8_t ex[256] = {};
    if (DeviceIoControl(handle, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, ex, sizeof(ex), &got, nullptr) &&
        got >= sizeof(DISK_GEOMETRY) + sizeof(LARGE_INTEGER)) {
        LARGE_INTEGER size;
        std::memcpy(&size, ex + sizeof(DISK_GEOMETRY), sizeof(size));
        if (size.QuadPart > 0)
            return uint64_t(size.QuadPart);
    }
    LARGE_INTEGER size{};
    if (GetFileSizeEx(handle, &size) && size.QuadPart > 0)
        return uint64_t(size.QuadPart);
    return 0;
}

uint64_t SetFilePointer64(HANDLE handle, DWORD low, DWORD high, DWORD moveMethod)
{
    LONG highPart = LONG(high);
    SetLastError(NO_ERROR);
    const DWORD newLow = SetFilePointer(handle, LONG(low), &highPart, moveMethod);
    if (newLow == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
        return UINT64_MAX;
    return uint64_t(DWORD(highPart)) << 32 | newLow;
}

size_t ReadSectorsFromHandle(HANDLE handle, uint64_t sector, uint32_t count, void* buffer)
{
    uint8_t* buf = static_cast<uint8_t*>(buffer);
    if (!CheckSectorRead(count, buf))
        return 0;
    uint64_t offset = 0;
    DWORD got = 0;
    const bool read = SectorToOffset(sector, &offset) &&
        SetFilePointer64(handle, DWORD(offset), DWORD(offset >> 32), FILE_BEGIN) == offset &&
        ReadFile(handle, buf, count * kSectorSize, &got, nullptr);
    // Only what the read did not deliver is cleared: all of it when it failed.
    return FinishSectorRead(count, buf, read ? got : 0);
}

size_t ReadSectorsCounted(const CString& path, uint64_t sector, uint32_t count, void* buffer)
{
    if (PlatformKind != 'N') {
        if (!BeginSectorRead(count, static_cast<uint8_t*>(buffer)))
            return 0;
        return PlatformKind == 'F' ? ReadWin9x(path, sector, count, buffer) : 0;
    }
    const HANDLE handle = OpenDeviceForReading(path);
    if (handle == INVALID_HANDLE_VALUE)
        return 0;
    const size_t got = ReadSectorsFromHandle(handle, sector, count, buffer);
    CloseHandle(handle);
    return got;
}

DWORD ReadSectors(CString path, uint64_t sector, DWORD count, void* buffer)
{
    return ReadSectorsCounted(path, sector, count, buffer) != 0 ? 1 : 0;
}

DWORD ReadSectors(CString path, DWORD sectorLow, DWORD sectorHigh, DWORD count, void* buffer)
{
    return ReadSectors(path, uint64_t(sectorHigh) << 32 | sectorLow, count, buffer);
}

DWORD BiosDriveOfPath(const CString& path)
{
    for (DWORD n = 0; n < 4; ++n)
        if (path == PhysicalDrivePathTable[n])
            return 0x80 + n;
    return 0;
}

size_t DeviceSectorSource::Read(uint64_t sector, uint32_t count, uint8_t* buf)
{
    return ReadSectorsCounted(m_path, sector, count, buf);
}

KeptHandleSectorSource::KeptHandleSectorSource(const CString& path) : m_handle(OpenDeviceForReading(path)) { }

KeptHandleSectorSource::~KeptHandleSectorSource()
{
    if (m_handle != INVALID_HANDLE_VALUE)
        CloseHandle(m_handle);
}

size_t KeptHandleSectorSource::Read(uint64_t sector, uint32_t count, uint8_t* buf)
{
    if (m_handle == INVALID_HANDLE_VALUE) {
        BeginSectorRead(count, buf);
        return 0;
    }
    return ReadSectorsFromHandle(m_handle, sector, count, buf);
}

bool Disk32Loaded()
{
    return g_disk32Module != nullptr;
}
