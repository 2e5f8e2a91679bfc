#include "storage/destination_check.h"

#include <windows.h>
#include <winioctl.h>

#include <atomic>

#include "devicepath.h"

namespace {

bool StartsWithNoCase(const CString& text, const wchar_t* prefix)
{
    const int n = int(wcslen(prefix));
    return text.GetLength() >= n && text.Left(n).CompareNoCase(prefix) == 0;
}

// "\\?\Volume{...}\" of a path that starts with one; empty otherwise.
CString VolumeNamePrefix(const CString& path)
{
    if (!StartsWithNoCase(path, L"\\\\?\\Volume{"))
        return CString();
    const int close = path.Find(L'}');
    return close < 0 ? CString() : path.Left(close + 1) + L"\\";
}

// The path that `path` stands for: "\\?\C:\..." is "C:\...", "\\?\UNC\server\..." is
// "\\server\...", and a drive letter that names another path (subst, DefineDosDevice:
// "\??\C:\dir") is replaced by it, a few levels at most.
CString ResolvedPath(CString path)
{
    for (int level = 0; level < 8; ++level) {
        if (StartsWithNoCase(path, L"\\\\?\\UNC\\"))
            path = L"\\\\" + path.Mid(8);
        else if (StartsWithNoCase(path, L"\\\\?\\") && path.GetLength() >= 6 && path[5] == L':')
            path = path.Mid(4);
        if (path.GetLength() < 2 || path[1] != L':')
            break;
        wchar_t target[MAX_PATH + 1] = {};
        if (::QueryDosDeviceW(path.Left(2), target, MAX_PATH) == 0)
            break;
        CString named = target;
        if (!StartsWithNoCase(named, L"\\??\\"))
            break; // a device: the letter is the volume's own
        named = named.Mid(4);
        if (StartsWithNoCase(named, L"UNC\\"))
            named = L"\\\\" + named.Mid(4);
        else if (StartsWithNoCase(named, L"Volume{"))
            named = L"\\\\?\\" + named;
        named.TrimRight(L"\\/");
        CString rest = path.Mid(2);
        if (!rest.IsEmpty() && rest[0] != L'\\' && rest[0] != L'/')
            rest = L"\\" + rest;
        path = named + rest;
    }
    return path;
}

// The names this machine answers to as a server: its NetBIOS name and its DNS names.
std::vector<CString> OwnMachineNames()
{
    std::vector<CString> names;
    for (COMPUTER_NAME_FORMAT format : { ComputerNameNetBIOS, ComputerNameDnsHostname, ComputerNameDnsFullyQualified }) {
        wchar_t name[256] = {};
        DWORD size = 256;
        if (::GetComputerNameExW(format, name, &size))
            names.emplace_back(name);
    }
    return names;
}

std::atomic<VolumeExtentsQuery> g_volumeExtentsQuery{ nullptr };

// The name ("\\?\Volume{...}\") of the volume mounted at root; empty when the system gives none.
CString VolumeNameOf(const CString& root)
{
    const CString own = VolumeNamePrefix(root);
    if (!own.IsEmpty())
        return own;
    wchar_t name[MAX_PATH + 1] = {};
    return ::GetVolumeNameForVolumeMountPointW(root, name, MAX_PATH) ? CString(name) : CString();
}

} // namespace

VolumeExtentsQuery SetVolumeExtentsQuery(VolumeExtentsQuery query)
{
    return g_volumeExtentsQuery.exchange(query);
}

bool VolumeDiskExtents(const CString& volumePath, std::vector<DiskExtent>* extents)
{
    extents->clear();
    if (const VolumeExtentsQuery query = g_volumeExtentsQuery.load())
        return query(volumePath, extents);
    // "\\?\Volume{...}\" is opened without its backslash; "X:\" and "\\.\X:" name "\\.\X:";
    // anything else has no extents here.
    CString device = VolumeNamePrefix(volumePath);
    if (!device.IsEmpty())
        device.TrimRight(L'\\');
    else if (volumePath.GetLength() >= 2 && volumePath[1] == L':')
        device = L"\\\\.\\" + volumePath.Left(2);
    else if (volumePath.GetLength() >= 6 && volumePath.Left(4) == L"\\\\.\\" && volumePath[5] == L':')
        device = volumePath.Left(6);
    else
        return false;
    // Access 0: the volume's layout is asked, none of its sectors is read.
    HANDLE h = ::CreateFileW(device, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    union {
        VOLUME_DISK_EXTENTS extents;
        uint8_t space[sizeof(VOLUME_DISK_EXTENTS) + 31 * sizeof(DISK_EXTENT)];
    } buffer{};
    DWORD got = 0;
    const BOOL ok =
        ::DeviceIoControl(h, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, &buffer, sizeof(buffer), &got, nullptr);
    ::CloseHandle(h);
    // A volume on more disks than the buffer holds is not known whole.
    if (!ok || buffer.extents.NumberOfDiskExtents > 32)
        return false;
    for (DWORD i = 0; i < buffer.extents.NumberOfDiskExtents; ++i) {
        const DISK_EXTENT& e = buffer.extents.Extents[i];
        extents->push_back({ uint32_t(e.DiskNumber), uint64_t(e.StartingOffset.QuadPart) / 512,
                             (uint64_t(e.ExtentLength.QuadPart) + 511) / 512 });
    }
    return true;
}

DestinationFacts GatherDestinationFacts(const CString& folder)
{
    DestinationFacts facts;
    facts.folder = folder;
    if (folder.IsEmpty() || IsRawDevicePath(folder))
        return facts;
    const DWORD attributes = ::GetFileAttributesW(folder);
    facts.isFolder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const CString resolved = ResolvedPath(folder);
    // A share is on another machine unless this machine serves it (then it is one of its own
    // folders, perhaps on the very medium read).
    const CString server = UncServerName(resolved);
    facts.remote = !server.IsEmpty() && !IsThisMachine(server, OwnMachineNames());
    CString root = VolumeNamePrefix(resolved);
    if (root.IsEmpty()) {
        wchar_t path[MAX_PATH + 1] = {};
        if (!::GetVolumePathNameW(resolved, path, MAX_PATH))
            return facts;
        root = path;
    }
    facts.volumeRoot = root;
    // A drive letter the system calls remote: a mapped network drive.
    if (server.IsEmpty() && ::GetDriveTypeW(root) == DRIVE_REMOTE)
        facts.remote = true;
    facts.volumeName = VolumeNameOf(root);
    facts.extentsKnown = VolumeDiskExtents(facts.volumeName.IsEmpty() ? root : facts.volumeName, &facts.volumeExtents);
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
    // "\\.\M:": the volume mounted at "M:\".
    if (devicePath.GetLength() == 6 && devicePath.Left(4) == L"\\\\.\\" && devicePath[5] == L':')
        medium.volumeName = VolumeNameOf(devicePath.Mid(4) + L"\\");
    VolumeDiskExtents(devicePath, &medium.volumeExtents);
    return medium;
}

DestinationCheck CheckDestinationFolder(const CString& folder, const std::vector<ScannedMedium>& scanned)
{
    CString trimmed = folder;
    trimmed.Trim();
    return CheckDestinationInOrder(GatherDestinationFacts(trimmed), scanned,
                                   [&trimmed] { return ProbeDestinationWritable(trimmed); });
}
