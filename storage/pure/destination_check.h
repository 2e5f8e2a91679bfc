// Whether found files may be saved in a chosen folder: it must exist, take files and lie away from
// the medium being read. Pure: the dialog finds out the facts (the folder's volume and where that
// lies on the disks, storage/destinationfacts.h) and this decides. Every search that saves what it
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
// it, both ends read; for a volume, where it lies on its disks when that is known.
struct ScannedMedium {
    CString devicePath;
    uint64_t firstSector = 0;
    uint64_t lastSector = 0;
    std::vector<DiskExtent> volumeExtents;
};

// The medium of a scan that reads sectors firstSector to lastSector of devicePath, both included.
ScannedMedium ScannedRange(const CString& devicePath, uint64_t firstSector, uint64_t lastSector);

// What the dialog found out about the chosen folder.
struct DestinationFacts {
    CString folder;                        // as chosen
    bool isFolder = false;                 // it exists and is a folder
    bool writable = false;                 // a file could be made in it
    CString volumeRoot;                    // the root of the volume that holds it ("M:\"); empty when not known
    std::vector<DiskExtent> volumeExtents; // where that volume lies; empty when not known
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
// find its own output. A destination counts as on the scanned medium when it is the scanned
// volume, or when its volume lies on the scanned disk inside the scanned range (or on the
// scanned volume's own sectors). What the dialog could not find out does not count against it.
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
// The last of those rules alone: the destination lies on what is being read.
bool DestinationOnScannedMedium(const DestinationFacts& destination, const ScannedMedium& scanned);

// The message for a refused destination ("" for Ok).
CString DestinationRefusalText(DestinationCheck check);
