#include "storage/destination_check.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <lm.h>
#include <winioctl.h>
#include <winnetwk.h>

#include <atomic>
#include <memory>

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

bool AddressOf(const SOCKADDR* socket, NetAddress* address)
{
    if (socket == nullptr)
        return false;
    if (socket->sa_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const SOCKADDR_IN*>(socket);
        *address = Ipv4NetAddress(ntohl(v4->sin_addr.s_addr));
        return true;
    }
    if (socket->sa_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const SOCKADDR_IN6*>(socket);
        std::copy(v6->sin6_addr.s6_addr, v6->sin6_addr.s6_addr + 16, address->begin());
        return true;
    }
    return false;
}

// The addresses of this machine's own network interfaces.
std::vector<NetAddress> OwnMachineAddresses()
{
    std::vector<NetAddress> addresses;
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    ULONG size = 16384;
    std::unique_ptr<uint8_t[]> buffer;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.reset(new uint8_t[size]);
        result = ::GetAdaptersAddresses(AF_UNSPEC, flags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.get()),
                                        &size);
    }
    if (result != NO_ERROR)
        return addresses;
    for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.get()); adapter; adapter = adapter->Next)
        for (auto* unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next) {
            NetAddress address{};
            if (AddressOf(unicast->Address.lpSockaddr, &address))
                addresses.push_back(address);
        }
    return addresses;
}

// The addresses a server's name resolves to; none when it does not resolve.
std::vector<NetAddress> ResolvedAddresses(const CString& server)
{
    std::vector<NetAddress> addresses;
    WSADATA wsa{};
    if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0)
        return addresses;
    ADDRINFOW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    ADDRINFOW* found = nullptr;
    if (::GetAddrInfoW(server, nullptr, &hints, &found) == 0) {
        for (const ADDRINFOW* a = found; a; a = a->ai_next) {
            NetAddress address{};
            if (AddressOf(a->ai_addr, &address))
                addresses.push_back(address);
        }
        ::FreeAddrInfoW(found);
    }
    ::WSACleanup();
    return addresses;
}

// The server is this machine: by its name or address in any spelling, or by what its name
// resolves to. A name that resolves to none of this machine's addresses is another machine.
bool ServerIsThisMachine(const CString& server)
{
    const std::vector<CString> names = OwnMachineNames();
    const std::vector<NetAddress> addresses = OwnMachineAddresses();
    if (IsThisMachine(server, names, addresses))
        return true;
    NetAddress literal{};
    if (ParseServerAddress(server, &literal))
        return false; // an address says all there is
    return IsThisMachine(server, names, addresses, ResolvedAddresses(server));
}

// The local folder a share of this machine serves: what the system says of the share, or for an
// administrative share of a drive ("C$"), that drive's root. Empty when it cannot be found out.
CString FolderServedByShare(const CString& share)
{
    SHARE_INFO_2* info = nullptr;
    CString folder;
    if (::NetShareGetInfo(nullptr, const_cast<LMSTR>(share.GetString()), 2, reinterpret_cast<LPBYTE*>(&info)) ==
            NERR_Success &&
        info != nullptr) {
        if ((info->shi2_type & 0xFF) == STYPE_DISKTREE && info->shi2_path != nullptr)
            folder = info->shi2_path;
        ::NetApiBufferFree(info);
    }
    return folder.IsEmpty() ? AdministrativeShareFolder(share) : folder;
}

// "\\server\share\rest" of a path on a drive letter mapped to a share ("K:\rest"); empty for any
// other path, or when the system does not say which share the letter stands for.
CString MappedShareOf(const CString& path)
{
    if (path.GetLength() < 2 || path[1] != L':' || ::GetDriveTypeW(path.Left(2) + L"\\") != DRIVE_REMOTE)
        return CString();
    wchar_t remote[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH;
    // A remembered connection that is not connected now still names its share.
    const DWORD result = ::WNetGetConnectionW(path.Left(2), remote, &size);
    if ((result != NO_ERROR && result != ERROR_CONNECTION_UNAVAIL) || remote[0] == 0)
        return CString();
    UncPath share;
    if (!SplitUncPath(remote, &share))
        return CString();
    CString mapped = remote;
    mapped.TrimRight(L"\\/");
    return PathBelowServedFolder(mapped, path.Mid(2));
}

// Where the folder leads: the path the system gives the folder itself, through symbolic links,
// junctions and letters that stand for other paths ("M:\sub" for "C:\link\sub" when C:\link
// leads to M:\). Empty when the folder cannot be opened or has no such path. Opened without
// access: nothing of it is read or written.
CString FinalPathOf(const CString& path)
{
    HANDLE h = ::CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return CString();
    CString final;
    // A volume without a drive letter or a folder it is mounted on has only its name.
    for (DWORD kind : { DWORD(VOLUME_NAME_DOS), DWORD(VOLUME_NAME_GUID) }) {
        std::vector<wchar_t> buffer(MAX_PATH + 1);
        DWORD length = ::GetFinalPathNameByHandleW(h, buffer.data(), DWORD(buffer.size()), kind);
        if (length >= buffer.size()) {
            buffer.resize(size_t(length) + 1);
            length = ::GetFinalPathNameByHandleW(h, buffer.data(), DWORD(buffer.size()), kind);
        }
        if (length > 0 && length < buffer.size()) {
            final = CString(buffer.data());
            break;
        }
    }
    ::CloseHandle(h);
    return final;
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
    // The folder is judged where it leads: a letter to the path it stands for, a mapped letter to
    // its share, a share of this machine to the folder it serves (on a volume of this machine,
    // perhaps the very medium read), a link to where it points. Each step may lead to another, a
    // few at most; a share of another machine ends the way.
    CString resolved = folder;
    for (int step = 0; step < 8; ++step) {
        resolved = ResolvedPath(resolved);
        const CString mapped = MappedShareOf(resolved);
        if (!mapped.IsEmpty())
            resolved = mapped;
        UncPath share;
        if (SplitUncPath(resolved, &share)) {
            if (!ServerIsThisMachine(share.server)) {
                facts.remote = true;
                break;
            }
            // A share of this machine whose folder cannot be found out stays as it is: its
            // volume is not known.
            const CString served = FolderServedByShare(share.share);
            if (served.IsEmpty())
                break;
            resolved = PathBelowServedFolder(served, share.rest);
            continue;
        }
        const CString final = ResolvedPath(FinalPathOf(resolved));
        if (final.IsEmpty() || final.CompareNoCase(resolved) == 0)
            break;
        resolved = final;
    }
    CString root = VolumeNamePrefix(resolved);
    if (root.IsEmpty()) {
        wchar_t path[MAX_PATH + 1] = {};
        if (!::GetVolumePathNameW(resolved, path, MAX_PATH))
            return facts;
        root = path;
    }
    facts.volumeRoot = root;
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

ScannedMedium ScannedMediumOf(const CString& devicePath, uint64_t firstSector, uint64_t endSector)
{
    ScannedMedium medium = ScannedRange(devicePath, firstSector, endSector);
    // "\\.\M:": the volume mounted at "M:\".
    if (devicePath.GetLength() == 6 && devicePath.Left(4) == L"\\\\.\\" && devicePath[5] == L':')
        medium.volumeName = VolumeNameOf(devicePath.Mid(4) + L"\\");
    VolumeDiskExtents(devicePath, &medium.volumeExtents);
    return medium;
}

DestinationCheck CheckDestinationFolder(const CString& folder, const std::vector<ScannedMedium>& scanned)
{
    return CheckDestinationInOrder(GatherDestinationFacts(folder), scanned,
                                   [&folder] { return ProbeDestinationWritable(folder); });
}
