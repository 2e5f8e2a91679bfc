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

// The last sector of an extent that is not empty, without wrapping.
uint64_t LastSector(const DiskExtent& x)
{
    return x.firstSector + std::min(x.sectorCount - 1, UINT64_MAX - x.firstSector);
}

bool Overlaps(const DiskExtent& x, uint32_t disk, uint64_t first, uint64_t last)
{
    if (x.disk != disk || x.sectorCount == 0 || last < first)
        return false;
    return x.firstSector <= last && first <= LastSector(x);
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
        if (disk >= 0 && Overlaps(x, static_cast<uint32_t>(disk), scanned.firstSector, scanned.lastSector))
            return true;
        for (const DiskExtent& v : scanned.volumeExtents)
            if (v.sectorCount != 0 && Overlaps(x, v.disk, v.firstSector, LastSector(v)))
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

CString UncServerName(const CString& path)
{
    int at = 0;
    if (path.GetLength() >= 8 && IsSlash(path[0]) && IsSlash(path[1]) && path[2] == L'?' && IsSlash(path[3]) &&
        path.Mid(4, 3).CompareNoCase(L"UNC") == 0 && IsSlash(path[7]))
        at = 8;
    else if (path.GetLength() >= 3 && IsSlash(path[0]) && IsSlash(path[1]) && path[2] != L'?' && path[2] != L'.')
        at = 2;
    else
        return CString();
    int end = at;
    while (end < path.GetLength() && !IsSlash(path[end]))
        ++end;
    return path.Mid(at, end - at);
}

namespace {

// "127.a.b.c": four decimal parts of 0 to 255, the first 127.
bool IsLoopbackV4(const CString& server)
{
    int parts = 0, digits = 0, value = 0;
    for (int i = 0; i <= server.GetLength(); ++i) {
        const wchar_t ch = i < server.GetLength() ? server[i] : L'.';
        if (ch >= L'0' && ch <= L'9' && digits < 3) {
            value = value * 10 + (ch - L'0');
            ++digits;
        } else if (ch == L'.' && digits > 0 && value <= 255 && (parts > 0 || value == 127)) {
            ++parts;
            digits = value = 0;
        } else {
            return false;
        }
    }
    return parts == 4;
}

} // namespace

bool IsThisMachine(const CString& server, const std::vector<CString>& ownNames)
{
    if (server.IsEmpty())
        return false;
    if (server.CompareNoCase(L"localhost") == 0 || server == L"::1" || IsLoopbackV4(server))
        return true;
    for (const CString& name : ownNames)
        if (!name.IsEmpty() && server.CompareNoCase(name) == 0)
            return true;
    return false;
}

ScannedMedium ScannedRange(const CString& devicePath, uint64_t firstSector, uint64_t lastSector)
{
    ScannedMedium medium;
    medium.devicePath = devicePath;
    medium.firstSector = firstSector;
    medium.lastSector = std::max(firstSector, lastSector);
    return medium;
}

DestinationCheck CheckDestinationPlace(const DestinationFacts& destination, const std::vector<ScannedMedium>& scanned)
{
    CString folder = destination.folder;
    folder.Trim();
    if (folder.IsEmpty())
        return DestinationCheck::Empty;
    CString probe;
    if (IsRawDevicePath(folder) || !JoinUnderFolder(folder, CString(L"x"), &probe))
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
