// Whether found files may be saved in a chosen folder: it must exist, take files and lie away from
// the medium being read. Pure: the dialog finds out the facts (the folder's volume and where that
// lies on the disks, storage/destination_check.h) and this decides. Every search that saves what it
// found asks it.
#pragma once

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
// it, both ends read; for a volume, its name and where it lies on its disks when they are known.
struct ScannedMedium {
    CString devicePath;
    uint64_t firstSector = 0;
    uint64_t lastSector = 0;
    CString volumeName; // "\\?\Volume{...}\"; empty when not known
    std::vector<DiskExtent> volumeExtents;
};

// The medium of a scan that reads sectors firstSector to lastSector of devicePath, both included.
ScannedMedium ScannedRange(const CString& devicePath, uint64_t firstSector, uint64_t lastSector);

// What the dialog found out about the chosen folder.
struct DestinationFacts {
    CString folder;        // as chosen
    bool isFolder = false; // it exists and is a folder
    bool writable = false; // a file could be made in it
    // Where the volume that holds it is mounted: a drive's root ("M:\"), a folder another volume
    // is mounted on ("C:\mnt\card\"), a share ("\\server\share\"); empty when not known.
    CString volumeRoot;
    CString volumeName;        // that volume's "\\?\Volume{...}\"; empty when the system gives none
    bool extentsKnown = false; // the system said where that volume lies (perhaps on no disk at all)
    std::vector<DiskExtent> volumeExtents;
    // It lies on another machine: a share of a server that is not this machine, or a drive letter
    // the system calls remote (a mapped network drive).
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

// The server a UNC path names: "srv" of "\\srv\share\dir" or "\\?\UNC\srv\share\dir"
// (either slash); empty for any other path (a drive's, a device's, "\\?\C:\dir").
CString UncServerName(const CString& path);
// The server is this machine itself, whose shares are its own local folders: "localhost", a
// loopback address ("127.0.0.1", "::1") or one of `ownNames` (the computer's names), in any case.
bool IsThisMachine(const CString& server, const std::vector<CString>& ownNames);

// The message for a refused destination ("" for Ok).
CString DestinationRefusalText(DestinationCheck check);
