#include "storage/destinationfacts.h"

#include <windows.h>
#include <winioctl.h>

#include "devicepath.h"

std::vector<DiskExtent> VolumeDiskExtents(const CString& volumePath)
{
    std::vector<DiskExtent> extents;
    // "X:\" or "\\.\X:" both name the volume "\\.\X:"; anything else has no extents here.
    CString device;
    if (volumePath.GetLength() >= 2 && volumePath[1] == L':')
        device = L"\\\\.\\" + volumePath.Left(2);
    else if (volumePath.GetLength() >= 6 && volumePath.Left(4) == L"\\\\.\\" && volumePath[5] == L':')
        device = volumePath.Left(6);
    else
        return extents;
    // Access 0: the volume's layout is asked, none of its sectors is read.
    HANDLE h = ::CreateFileW(device, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return extents;
    union {
        VOLUME_DISK_EXTENTS extents;
        uint8_t space[sizeof(VOLUME_DISK_EXTENTS) + 31 * sizeof(DISK_EXTENT)];
    } buffer{};
    DWORD got = 0;
    const BOOL ok =
        ::DeviceIoControl(h, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, &buffer, sizeof(buffer), &got, nullptr);
    ::CloseHandle(h);
    if (!ok)
        return extents;
    for (DWORD i = 0; i < buffer.extents.NumberOfDiskExtents && i < 32; ++i) {
        const DISK_EXTENT& e = buffer.extents.Extents[i];
        extents.push_back({ uint32_t(e.DiskNumber), uint64_t(e.StartingOffset.QuadPart) / 512,
                            uint64_t(e.ExtentLength.QuadPart) / 512 });
    }
    return extents;
}

DestinationFacts GatherDestinationFacts(const CString& folder)
{
    DestinationFacts facts;
    facts.folder = folder;
    if (folder.IsEmpty() || IsRawDevicePath(folder))
        return facts;
    const DWORD attributes = ::GetFileAttributesW(folder);
    facts.isFolder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    wchar_t root[MAX_PATH + 1] = {};
    if (::GetVolumePathNameW(folder, root, MAX_PATH)) {
        facts.volumeRoot = root;
        facts.volumeExtents = VolumeDiskExtents(facts.volumeRoot);
    }
    return facts;
}

bool ProbeDestinationWritable(const CString& folder)
{
    if (folder.IsEmpty() || IsRawDevicePath(folder))
        return false;
    wchar_t probe[MAX_PATH + 1] = {};
    if (::GetTempFileNameW(folder, L"zrw", 0, probe) == 0)
        return false;
    ::DeleteFileW(probe);
    return true;
}

ScannedMedium ScannedMediumOf(const CString& devicePath, uint64_t firstSector, uint64_t lastSector)
{
    ScannedMedium medium = ScannedRange(devicePath, firstSector, lastSector);
    medium.volumeExtents = VolumeDiskExtents(devicePath);
    return medium;
}

DestinationCheck CheckDestinationFolder(const CString& folder, const std::vector<ScannedMedium>& scanned)
{
    CString trimmed = folder;
    trimmed.Trim();
    return CheckDestinationInOrder(GatherDestinationFacts(trimmed), scanned,
                                   [&trimmed] { return ProbeDestinationWritable(trimmed); });
}
