// What the system says about a destination folder and about the medium a search reads, for the
// destination rule of storage/pure/destination_check.h: the folder's volume and where volumes lie
// on the physical disks. Nothing here writes to a disk or opens one for reading its sectors.
#pragma once
#include <cstdint>
#include <vector>

#include "cstring.h"
#include "storage/pure/destination_check.h"

// Where the volume `volumePath` ("\\?\Volume{...}\", "\\.\X:" or "X:\") lies on the physical
// disks, into *extents; false when the system does not say.
bool VolumeDiskExtents(const CString& volumePath, std::vector<DiskExtent>* extents);
// Tests answer for the system where volumes lie (Wine places none on a disk): while set,
// VolumeDiskExtents asks it instead. Returns the previous one; null restores the system.
using VolumeExtentsQuery = bool (*)(const CString& volumePath, std::vector<DiskExtent>* extents);
VolumeExtentsQuery SetVolumeExtentsQuery(VolumeExtentsQuery query);

// The facts of `folder` that can be found out without touching it: whether it is a folder, the
// volume that holds where it leads (through a drive letter that stands for another path, a "\\?\"
// prefix, a folder another volume is mounted on, a symbolic link or junction, a share of this
// machine to the folder it serves), that volume's name and where it lies, and whether it is on
// another machine (a share, or a letter mapped to one, of a server that resolves to none of this
// machine's addresses). `writable` is left unknown (false).
DestinationFacts GatherDestinationFacts(const CString& folder);

// Whether a file can be made in `folder`: one is made and deleted at once (never on a device path).
bool ProbeDestinationWritable(const CString& folder);

// The medium a scan reads: its device from firstSector up to endSector, the sector after the
// range; a drive letter's own place on its disks as well.
ScannedMedium ScannedMediumOf(const CString& devicePath, uint64_t firstSector, uint64_t endSector);

// The destination rule for `folder`, exactly as the save will use it, against every medium read,
// in its order: the folder is probed for writability only once nothing else refuses it, so a
// folder on a scanned medium is never written to.
DestinationCheck CheckDestinationFolder(const CString& folder, const std::vector<ScannedMedium>& scanned);
