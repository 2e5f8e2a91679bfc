#include "sigrecovery/destination.h"

#include <winioctl.h>

namespace {

// Where the volume `\\.\X:` lies on the disks; empty when the system does not say.
std::vector<DiskExtent> VolumeExtents(const CString& volumeDevice)
{
    std::vector<DiskExtent> out;
    HANDLE h = ::CreateFileW(volumeDevice, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    union {
        VOLUME_DISK_EXTENTS extents;
        uint8_t space[sizeof(VOLUME_DISK_EXTENTS) + 31 * sizeof(DISK_EXTENT)];
    } buffer{};
    DWORD got = 0;
    if (::DeviceIoControl(h, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, &buffer, sizeof(buffer), &got,
                          nullptr)) {
        for (DWORD i = 0; i < buffer.extents.NumberOfDiskExtents && i < 32; ++i) {
            const DISK_EXTENT& e = buffer.extents.Extents[i];
            out.push_back(DiskExtent{ uint32_t(e.DiskNumber), uint64_t(e.StartingOffset.QuadPart) / 512,
                                      uint64_t(e.ExtentLength.QuadPart) / 512 });
        }
    }
    ::CloseHandle(h);
    return out;
}

// "\\.\X:" for a root "X:\"; empty for anything else (a share, a mount point's volume name).
CString VolumeDeviceOfRoot(const CString& root)
{
    if (root.GetLength() >= 2 && root[1] == L':')
        return L"\\\\.\\" + root.Left(2);
    return CString();
}

bool CanCreateFileIn(const CString& folder)
{
    CString probe = folder;
    if (probe.Right(1) != L"\\")
        probe += L"\\";
    probe.AppendFormat(L"~zr%08lx.tmp", static_cast<unsigned long>(::GetTickCount() ^ ::GetCurrentThreadId()));
    HANDLE h = ::CreateFileW(probe, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(h);
    return true;
}

} // namespace

DestinationFacts ReadDestinationFacts(const CString& folder)
{
    DestinationFacts facts;
    facts.folder = folder;
    const DWORD attributes = folder.IsEmpty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(folder);
    facts.isFolder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!facts.isFolder)
        return facts;
    facts.writable = CanCreateFileIn(folder);
    wchar_t root[MAX_PATH + 1] = {};
    if (::GetVolumePathNameW(folder, root, MAX_PATH)) {
        facts.volumeRoot = root;
        const CString device = VolumeDeviceOfRoot(facts.volumeRoot);
        if (!device.IsEmpty())
            facts.volumeExtents = VolumeExtents(device);
    }
    return facts;
}

ScannedMedium DescribeScannedMedium(const ScanTarget& target)
{
    ScannedMedium medium;
    medium.devicePath = target.devicePath;
    medium.firstSector = target.firstSector;
    medium.lastSector = target.endSector;
    const CString device = target.devicePath;
    if (device.GetLength() == 6 && device.Left(4) == L"\\\\.\\" && device[5] == L':')
        medium.volumeExtents = VolumeExtents(device);
    return medium;
}
