#include "storage/pure/destination_check.h"

#include <algorithm>

#include "devicepath.h"
#include "storage/pure/namesanitiser.h"

namespace {

bool IsSlash(wchar_t ch)
{
    return ch == L'\\' || ch == L'/';
}

// "X:..." or "\\?\X:..." / "\\.\X:..." -> X upper-cased; 0 otherwise.
wchar_t DriveLetterOf(const CString& path)
{
    int at = 0;
    if (path.GetLength() >= 4 && IsSlash(path[0]) && IsSlash(path[1]) && (path[2] == L'?' || path[2] == L'.') &&
        IsSlash(path[3]))
        at = 4;
    const wchar_t letter = CharToUpper(path[at]);
    return letter >= L'A' && letter <= L'Z' && path[at + 1] == L':' ? letter : 0;
}

// The letter of a volume mounted as a drive's root: "M:\" or "\\?\M:\" (or without the
// backslash); 0 for a volume mounted on a folder ("C:\mnt\card\"), a share or nothing.
wchar_t RootDriveLetter(const CString& root)
{
    const wchar_t letter = DriveLetterOf(root);
    if (letter == 0)
        return 0;
    const int after = root.Find(L':') + 1;
    return after == root.GetLength() || (after + 1 == root.GetLength() && IsSlash(root[after])) ? letter : 0;
}

// The disk number of "\\.\PhysicalDriveN"; -1 for anything else.
int64_t DiskNumberOf(const CString& devicePath)
{
    const CString prefix = L"\\\\.\\PhysicalDrive";
    if (devicePath.GetLength() <= prefix.GetLength() || devicePath.Left(prefix.GetLength()).CompareNoCase(prefix) != 0)
        return -1;
    int64_t n = 0;
    for (int i = prefix.GetLength(); i < devicePath.GetLength(); ++i) {
        const wchar_t ch = devicePath[i];
        if (ch < L'0' || ch > L'9' || n > 1000000)
            return -1;
        n = n * 10 + (ch - L'0');
    }
    return n;
}

// The sector after an extent, without wrapping.
uint64_t EndOf(const DiskExtent& x)
{
    return x.sectorCount > UINT64_MAX - x.firstSector ? UINT64_MAX : x.firstSector + x.sectorCount;
}

// The extent shares a sector with [first, end) of `disk`.
bool Overlaps(const DiskExtent& x, uint32_t disk, uint64_t first, uint64_t end)
{
    if (x.disk != disk || x.sectorCount == 0 || end <= first)
        return false;
    return x.firstSector < end && first < EndOf(x);
}

} // namespace

bool DestinationOnScannedMedium(const DestinationFacts& destination, const ScannedMedium& scanned)
{
    if (!destination.volumeName.IsEmpty() && destination.volumeName.CompareNoCase(scanned.volumeName) == 0)
        return true;
    // A folder under a mount point belongs to the volume mounted there, not to the drive that
    // holds the mount point; only a volume whose root is not known is judged by the folder's letter.
    const wchar_t scannedLetter = DriveLetterOf(scanned.devicePath);
    const wchar_t letter =
        destination.volumeRoot.IsEmpty() ? DriveLetterOf(destination.folder) : RootDriveLetter(destination.volumeRoot);
    if (scannedLetter != 0 && letter == scannedLetter)
        return true;
    const int64_t disk = DiskNumberOf(scanned.devicePath);
    for (const DiskExtent& x : destination.volumeExtents) {
        if (disk >= 0 && Overlaps(x, static_cast<uint32_t>(disk), scanned.firstSector, scanned.endSector))
            return true;
        for (const DiskExtent& v : scanned.volumeExtents)
            if (Overlaps(x, v.disk, v.firstSector, EndOf(v)))
                return true;
    }
    return false;
}

bool DestinationVolumeKnown(const DestinationFacts& destination, const ScannedMedium& scanned)
{
    // Another machine's folder lies on no disk of this one, and so on nothing read here.
    if (destination.remote || !IsRawDevicePath(scanned.devicePath))
        return true;
    if (DiskNumberOf(scanned.devicePath) >= 0)
        return destination.extentsKnown;
    return destination.extentsKnown || !destination.volumeName.IsEmpty();
}

bool SplitUncPath(const CString& path, UncPath* parts)
{
    int at = 0;
    if (path.GetLength() >= 8 && IsSlash(path[0]) && IsSlash(path[1]) && path[2] == L'?' && IsSlash(path[3]) &&
        path.Mid(4, 3).CompareNoCase(L"UNC") == 0 && IsSlash(path[7]))
        at = 8;
    else if (path.GetLength() >= 3 && IsSlash(path[0]) && IsSlash(path[1]) && path[2] != L'?' && path[2] != L'.')
        at = 2;
    else
        return false;
    int end = at;
    while (end < path.GetLength() && !IsSlash(path[end]))
        ++end;
    if (end == at)
        return false;
    parts->server = path.Mid(at, end - at);
    int share = end + 1;
    end = share;
    while (end < path.GetLength() && !IsSlash(path[end]))
        ++end;
    parts->share = share < path.GetLength() ? path.Mid(share, end - share) : CString();
    parts->rest = end + 1 < path.GetLength() ? path.Mid(end + 1) : CString();
    return true;
}

CString UncServerName(const CString& path)
{
    UncPath parts;
    return SplitUncPath(path, &parts) ? parts.server : CString();
}

CString AdministrativeShareFolder(const CString& share)
{
    const wchar_t letter = CharToUpper(share[0]);
    if (share.GetLength() != 2 || share[1] != L'$' || letter < L'A' || letter > L'Z')
        return CString();
    return CString(letter) + L":\\";
}

CString PathBelowServedFolder(const CString& servedFolder, const CString& rest)
{
    CString path = servedFolder;
    path.TrimRight(L"\\/");
    CString below = rest;
    below.TrimLeft(L"\\/");
    return below.IsEmpty() ? path + L"\\" : path + L"\\" + below;
}

NetAddress Ipv4NetAddress(uint32_t address)
{
    NetAddress a{};
    a[10] = a[11] = 0xFF;
    for (int i = 0; i < 4; ++i)
        a[size_t(12 + i)] = uint8_t(address >> (24 - 8 * i));
    return a;
}

namespace {

// One part of an IPv4 address as the resolver reads it: "0x1F" hexadecimal, "017" octal, "17"
// decimal; false when it is none of them or exceeds 32 bits.
bool ParseIpv4Part(const CString& text, uint64_t* value)
{
    int at = 0, base = 10;
    if (text.GetLength() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X'))
        at = 2, base = 16;
    else if (text.GetLength() > 1 && text[0] == L'0')
        at = 1, base = 8;
    if (at >= text.GetLength())
        return false;
    uint64_t v = 0;
    for (int i = at; i < text.GetLength(); ++i) {
        const int digit = HexDigit(text[i]);
        if (digit < 0 || digit >= base)
            return false;
        v = v * uint64_t(base) + uint64_t(digit);
        if (v > UINT32_MAX)
            return false;
    }
    *value = v;
    return true;
}

// "a", "a.b", "a.b.c" or "a.b.c.d": the last part fills the bytes the others leave.
bool ParseIpv4(const CString& text, uint32_t* address)
{
    uint64_t parts[4] = {};
    int count = 0, start = 0;
    for (int i = 0; i <= text.GetLength(); ++i) {
        if (i < text.GetLength() && text[i] != L'.')
            continue;
        if (count == 4 || !ParseIpv4Part(text.Mid(start, i - start), &parts[count]))
            return false;
        ++count;
        start = i + 1;
    }
    uint64_t value = 0;
    for (int i = 0; i + 1 < count; ++i) {
        if (parts[i] > 0xFF)
            return false;
        value |= parts[i] << (24 - 8 * i);
    }
    const int lastBits = 32 - 8 * (count - 1);
    if (parts[count - 1] >> lastBits != 0)
        return false;
    *address = uint32_t(value | parts[count - 1]);
    return true;
}

// Eight groups of up to four hexadecimal digits, one run of them left out as "::", the last two
// perhaps written as a dotted IPv4 address.
bool ParseIpv6(const CString& text, NetAddress* address)
{
    uint16_t groups[8] = {};
    int count = 0, gap = -1, i = 0;
    const int n = text.GetLength();
    if (n >= 2 && text[0] == L':' && text[1] == L':') {
        gap = 0;
        i = 2;
    } else if (n > 0 && text[0] == L':') {
        return false;
    }
    while (i < n) {
        if (count == 8)
            return false;
        int end = i;
        while (end < n && text[end] != L':')
            ++end;
        const CString part = text.Mid(i, end - i);
        if (part.Find(L'.') >= 0) { // a dotted IPv4 address ends it
            uint32_t v4 = 0;
            if (end != n || count > 6 || part.GetLength() < 7 || !ParseIpv4(part, &v4) ||
                std::count(part.GetString(), part.GetString() + part.GetLength(), L'.') != 3)
                return false;
            groups[count++] = uint16_t(v4 >> 16);
            groups[count++] = uint16_t(v4);
            i = n;
            break;
        }
        if (part.IsEmpty() || part.GetLength() > 4)
            return false;
        uint16_t value = 0;
        for (int k = 0; k < part.GetLength(); ++k) {
            const int digit = HexDigit(part[k]);
            if (digit < 0)
                return false;
            value = uint16_t(value * 16 + digit);
        }
        groups[count++] = value;
        i = end;
        if (i < n) { // at a colon
            if (i + 1 < n && text[i + 1] == L':') {
                if (gap >= 0)
                    return false;
                gap = count;
                i += 2;
            } else if (i + 1 == n) {
                return false; // a single colon at the end
            } else {
                ++i;
            }
        }
    }
    if (gap < 0 ? count != 8 : count > 7)
        return false;
    NetAddress a{};
    int slot = 0;
    for (int g = 0; g < count; ++g) {
        if (g == gap)
            slot += 8 - count;
        a[size_t(2 * slot)] = uint8_t(groups[g] >> 8);
        a[size_t(2 * slot + 1)] = uint8_t(groups[g]);
        ++slot;
    }
    *address = a;
    return true;
}

// A name with the root's trailing dot left off ("localhost." is "localhost").
CString WithoutRootDot(const CString& name)
{
    return name.GetLength() > 1 && name[name.GetLength() - 1] == L'.' ? name.Left(name.GetLength() - 1) : name;
}

} // namespace

bool ParseServerAddress(const CString& server, NetAddress* address)
{
    CString text = WithoutRootDot(server);
    const CString literalNet = L".ipv6-literal.net";
    if (text.GetLength() > literalNet.GetLength() &&
        text.Right(literalNet.GetLength()).CompareNoCase(literalNet) == 0) {
        text = text.Left(text.GetLength() - literalNet.GetLength());
        if (text.Find(L':') >= 0 || text.Find(L'%') >= 0)
            return false;
        text.Replace(L'-', L':');
        text.Replace(L's', L'%');
        text.Replace(L'S', L'%');
    } else if (text.GetLength() > 2 && text[0] == L'[' && text[text.GetLength() - 1] == L']') {
        text = text.Mid(1, text.GetLength() - 2);
    }
    if (text.Find(L':') >= 0) {
        // A zone names the interface a link-local address is reached on, not another address.
        const int zone = text.Find(L'%');
        if (zone == 0 || zone == text.GetLength() - 1)
            return false;
        return ParseIpv6(zone > 0 ? text.Left(zone) : text, address);
    }
    uint32_t v4 = 0;
    if (text.IsEmpty() || !ParseIpv4(text, &v4))
        return false;
    *address = Ipv4NetAddress(v4);
    return true;
}

bool IsOwnMachineOnlyAddress(const NetAddress& address)
{
    NetAddress prefix{};
    if (std::equal(address.begin(), address.end() - 1, prefix.begin()) && address[15] <= 1)
        return true; // "::" and "::1"
    const NetAddress v4 = Ipv4NetAddress(0);
    if (!std::equal(address.begin(), address.begin() + 12, v4.begin()))
        return false;
    return address[12] == 127 || (address[12] == 0 && address[13] == 0 && address[14] == 0 && address[15] == 0);
}

bool IsThisMachine(const CString& server, const std::vector<CString>& ownNames,
                   const std::vector<NetAddress>& ownAddresses, const std::vector<NetAddress>& resolved)
{
    const CString name = WithoutRootDot(server);
    if (name.IsEmpty() || name == L".")
        return false;
    if (name.CompareNoCase(L"localhost") == 0)
        return true;
    for (const CString& own : ownNames)
        if (!own.IsEmpty() && name.CompareNoCase(WithoutRootDot(own)) == 0)
            return true;
    const auto own = [&ownAddresses](const NetAddress& a) {
        return IsOwnMachineOnlyAddress(a) || std::find(ownAddresses.begin(), ownAddresses.end(), a) != ownAddresses.end();
    };
    NetAddress literal{};
    if (ParseServerAddress(server, &literal))
        return own(literal);
    return std::any_of(resolved.begin(), resolved.end(), own);
}

ScannedMedium ScannedRange(const CString& devicePath, uint64_t firstSector, uint64_t endSector)
{
    ScannedMedium medium;
    medium.devicePath = devicePath;
    medium.firstSector = firstSector;
    medium.endSector = endSector > firstSector || firstSector == UINT64_MAX ? endSector : firstSector + 1;
    return medium;
}

DestinationCheck CheckDestinationPlace(const DestinationFacts& destination, const std::vector<ScannedMedium>& scanned)
{
    const CString& folder = destination.folder;
    CString blank = folder;
    if (blank.Trim().IsEmpty())
        return DestinationCheck::Empty;
    // The folder is judged as the save will use it: blanks around it are no part of a folder's
    // name, and the files would go to another folder than the one judged (or nowhere).
    CString probe;
    if (blank != folder || IsRawDevicePath(folder) || !JoinUnderFolder(folder, CString(L"x"), &probe))
        return DestinationCheck::NotAFolderPath;
    for (const ScannedMedium& medium : scanned)
        if (DestinationOnScannedMedium(destination, medium))
            return DestinationCheck::OnScannedMedium;
    if (!destination.isFolder)
        return DestinationCheck::Missing;
    // Nothing is made in a folder that may lie on what is read: not knowing counts against it.
    for (const ScannedMedium& medium : scanned)
        if (!DestinationVolumeKnown(destination, medium))
            return DestinationCheck::OnScannedMedium;
    return DestinationCheck::Ok;
}

DestinationCheck CheckDestinationInOrder(const DestinationFacts& destination, const std::vector<ScannedMedium>& scanned,
                                         const std::function<bool()>& probeWritable)
{
    const DestinationCheck place = CheckDestinationPlace(destination, scanned);
    if (place != DestinationCheck::Ok)
        return place;
    return probeWritable && probeWritable() ? DestinationCheck::Ok : DestinationCheck::NotWritable;
}

DestinationCheck CheckDestination(const DestinationFacts& destination, const ScannedMedium& scanned)
{
    return CheckDestinationInOrder(destination, { scanned }, [&destination] { return destination.writable; });
}

CString DestinationRefusalText(DestinationCheck check)
{
    switch (check) {
    case DestinationCheck::Ok:
        return CString();
    case DestinationCheck::Empty:
        return L"Please click on \x2018"
               L"Browse\x2019 and choose the folder where the recovered files will be saved.";
    case DestinationCheck::NotAFolderPath:
        return L"The recovered files can only be saved in a folder of a drive, for example C:\\Recovered. Please "
               L"choose another folder.";
    case DestinationCheck::Missing:
        return L"The selected destination folder does not exist. Please choose an existing folder.";
    case DestinationCheck::NotWritable:
        return L"Files cannot be saved in the selected destination folder. Please choose a folder you can write to.";
    case DestinationCheck::OnScannedMedium:
        return L"The selected destination folder lies on the drive being searched. Saving the recovered files there "
               L"would overwrite the very data you are trying to recover, and the search could find its own files "
               L"again. Please choose a folder on another drive.";
    }
    return CString();
}
