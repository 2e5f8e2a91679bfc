// Whether found files may be saved in a chosen folder: it must exist, take files and lie away from
// the medium being read. Pure: the dialog finds out the facts (the folder's volume and where that
// lies on the disks, storage/destination_check.h) and this decides. Every search that saves what it
// found asks it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "cstring.h"

// A piece of a volume on a physical disk.
struct DiskExtent {
    uint32_t disk = 0;
    uint64_t firstSector = 0;
    uint64_t sectorCount = 0;
};

// What is read: the device path the scan opens ("\\.\PhysicalDrive3", "\\.\M:") and the range of
// it, from its first sector up to the sector after it; for a volume, its name and where it lies on
// its disks when they are known.
struct ScannedMedium {
    CString devicePath;
    uint64_t firstSector = 0;
    uint64_t endSector = 0; // the first sector after the range
    CString volumeName; // "\\?\Volume{...}\"; empty when not known
    std::vector<DiskExtent> volumeExtents;
};

// The medium of a scan that reads devicePath from firstSector up to endSector, the sector after
// the range. A range that is empty or given backwards counts as its first sector.
ScannedMedium ScannedRange(const CString& devicePath, uint64_t firstSector, uint64_t endSector);

// What the dialog found out about the chosen folder.
struct DestinationFacts {
    CString folder;        // as the save will use it (a folder with blanks around it is no folder's path)
    bool isFolder = false; // it exists and is a folder
    bool writable = false; // a file could be made in it
    // Where the volume that holds it is mounted (of where it leads: through a link, or from a
    // share of this machine to the folder it serves): a drive's root ("M:\"), a folder another
    // volume is mounted on ("C:\mnt\card\"), a share ("\\server\share\"); empty when not known.
    CString volumeRoot;
    CString volumeName;        // that volume's "\\?\Volume{...}\"; empty when the system gives none
    bool extentsKnown = false; // the system said where that volume lies (perhaps on no disk at all)
    std::vector<DiskExtent> volumeExtents;
    // It lies on another machine: a share of a server that resolves to none of this machine's
    // addresses, or a drive letter mapped to such a share.
    bool remote = false;
};

enum class DestinationCheck {
    Ok,
    Empty,           // no folder chosen
    NotAFolderPath,  // not an absolute path of a folder (relative, or a device)
    Missing,         // does not exist or is no folder
    NotWritable,     // nothing can be saved there
    OnScannedMedium, // it lies on what is being read
};

// Saving needs a folder that exists and can be written, away from what is read: writing found
// files onto the scanned medium overwrites the very sectors being recovered, and the scan could
// find its own output. A destination counts as on the scanned medium when its volume is the
// scanned volume (by name, or by drive letter when it is mounted as a drive's root), or when it
// lies on the scanned disk inside the scanned range (or on the scanned volume's own sectors).
// While a disk or a volume is read, a folder whose volume cannot be told apart from it counts
// as on it: for a disk, where its volume lies must be known; for a volume, that or the volume's
// name. A folder on another machine is apart from every medium read here, whatever is known of
// its volume. A medium that is a file (an image) asks only what is known.
DestinationCheck CheckDestination(const DestinationFacts& destination, const ScannedMedium& scanned);

// The rules that need nothing from inside the folder (its path, its volume, whether it exists),
// against every medium read: Ok when nothing refuses it yet.
DestinationCheck CheckDestinationPlace(const DestinationFacts& destination, const std::vector<ScannedMedium>& scanned);
// The whole rule in the order that keeps a refused folder untouched: whether a file can be made
// there is found out (probeWritable, which makes one) only for a folder that passed every other
// rule. Finding that out writes to the folder's volume, and on the scanned medium even a file made
// and deleted at once can take the directory slot or file record of a deleted file.
DestinationCheck CheckDestinationInOrder(const DestinationFacts& destination, const std::vector<ScannedMedium>& scanned,
                                         const std::function<bool()>& probeWritable);
// The destination lies on what is being read, as far as the facts tell.
bool DestinationOnScannedMedium(const DestinationFacts& destination, const ScannedMedium& scanned);
// The facts tell the destination's volume apart from what is read (see CheckDestination).
bool DestinationVolumeKnown(const DestinationFacts& destination, const ScannedMedium& scanned);

// A UNC path taken apart: "\\srv\share\dir\sub" or "\\?\UNC\srv\share\dir\sub" (either slash) is
// server "srv", share "share" and rest "dir\sub" (what follows the share, without its slash).
struct UncPath {
    CString server, share, rest;
};
// False for any other path (a drive's, a device's, "\\?\C:\dir", "\\?\Volume{...}\dir").
bool SplitUncPath(const CString& path, UncPath* parts);
// The server a UNC path names ("srv" of "\\srv\share\dir"); empty for any other path.
CString UncServerName(const CString& path);
// The folder that an administrative share of a drive serves by its name alone: "X:\" for "X$";
// empty for any other share.
CString AdministrativeShareFolder(const CString& share);
// The local path of `rest` (of a share) below the folder the share serves.
CString PathBelowServedFolder(const CString& servedFolder, const CString& rest);

// An IPv4 or IPv6 address; an IPv4 address as its IPv6 form ::ffff:a.b.c.d, so that one spelling
// compares equal to the other.
using NetAddress = std::array<uint8_t, 16>;
NetAddress Ipv4NetAddress(uint32_t address); // the address in host order: 127.0.0.1 is 0x7F000001
// A server named by an address, in every spelling the system's resolver takes: IPv4 with one to
// four parts, each decimal, octal (leading 0) or hexadecimal (leading 0x), the last part filling
// the bytes left ("127.1", "0x7f000001", "2130706433", "0177.0.0.1"); IPv6 with or without
// brackets and a zone ("::1", "[::1]", "fe80::1%4", "::ffff:127.0.0.1"), or in the form a UNC path
// names it ("0--1.ipv6-literal.net", dashes for colons, "s" for the zone's "%"); a trailing dot
// allowed. False for a name.
bool ParseServerAddress(const CString& server, NetAddress* address);
// The address reaches this machine whatever its network: a loopback address (127.0.0.0/8, ::1, in
// its IPv6 form too) or the unspecified one (0.0.0.0, ::).
bool IsOwnMachineOnlyAddress(const NetAddress& address);
// The server is this machine itself, whose shares are its own local folders: "localhost", one of
// `ownNames` (the computer's names), a trailing dot and case aside; an address that reaches only
// this machine or is one of `ownAddresses`, however it is spelt; or a name that `resolved` (what
// the server's name resolves to) shows to be one of those.
bool IsThisMachine(const CString& server, const std::vector<CString>& ownNames,
                   const std::vector<NetAddress>& ownAddresses = {}, const std::vector<NetAddress>& resolved = {});

// The message for a refused destination ("" for Ok).
CString DestinationRefusalText(DestinationCheck check);
