// What a scan reads: the device, the sector range and the file system it is told to expect, with
// the volume's geometry once it is known. Every scan takes one of these; none reads the selection
// globals, so two scans (or one scan and a later listing) never depend on what is current.
#pragma once
#include <cstdint>
#include <vector>

#include "cstring.h"
#include "storage/pure/globals.h"
#include "storage/pure/stop_flag.h"

// The file systems the searches know by name; everything else is Unknown.
enum class FsKind : uint8_t { Unknown, Fat16, Fat32, Ntfs };

// "FAT16", "FAT32", "NTFS" exactly (as partition tables, the selection and scan logs name them).
FsKind FsKindFromName(const CString& name);
// The name of a kind; "Unknown" for Unknown.
CString FsKindName(FsKind kind);
inline bool IsFat(FsKind kind)
{
    return kind == FsKind::Fat16 || kind == FsKind::Fat32;
}

struct ScanTarget {
    CString devicePath;       // "\\.\PhysicalDriveN" or "\\.\X:"
    CString volumePath;       // a drive letter's own path, when the range is one (else empty)
    uint64_t firstSector = 0; // the volume's (or range's) first sector
    uint64_t endSector = 0;   // the first sector after it
    FsKind kind = FsKind::Unknown;
    // A whole disk read as one partition: its file system and first sector are guesses that the
    // disk's own boot sector may correct.
    bool wholeDisk = false;
    // Filled by the volume check or the geometry probe before the scan proper reads anything.
    VolumeGeometryRecord geometry;
};

// One scan as Next asks for it: what it reads (the target) and the selection it was made from,
// which its scan log keeps. Built on the dialog's thread from typed data, owned by the search
// dialog, handed to its worker.
struct ScanRequest {
    // The drive-tree item's kind at Next: "Hard Disk", "part", "Logical" or "Recognised".
    CString itemKind;
    uint16_t diskNumber = 0; // the disk read, or the disk selected for a drive letter read as such
    // A drive letter read through the disk it lies on (not through its own volume path).
    bool ScanAsPhysicalDisk = false;
    // Its geometry is the volume's (VolumeGeometry) once the scan's check or probe found it.
    ScanTarget target;
    // Where the selected volume begins and ends at the latest on the device read; for a scan
    // whose range lies inside a volume, the volume's own bounds.
    uint64_t volumeStart = 0;
    uint64_t volumeEnd = 0;
    // Where the volumes of the selection begin, as far as a partition table says.
    std::vector<uint64_t> volumeStarts;
    // The partitions of the partition table of the disk read (none for a drive letter read
    // through its own volume): a volume found where one begins lies in it.
    std::vector<PartitionExtent> partitions;
    // The selection as the scan log keeps it: disk number, file system, search mode, range.
    SelectedVolumeRecord SelectedVolumeInfo;
    // The volume parameters the log keeps when the scan found no volume: the selected file
    // system with no geometry, or what a loaded log held.
    FatVolumeParamsRecord FatVolumeParams;
    // The disk's model text and composed description (SelectedDiskTexts 0 and 2 of the disk the
    // scan reads), which the log keeps to find the disk again.
    CString diskIdentity, diskDescription;
};

// What Next read of the selected drive-tree item.
struct ScanSelection {
    CString kind;   // SelectedItemKind at the time of Next
    CString fsName; // "FAT16", "FAT32", "NTFS" ...
    uint16_t diskNumber = 0;
    uint64_t startSector = 0;
    uint64_t endSector = 0;
    bool physical = false; // a drive letter scanned through its disk
    // A partition: its first sector and the sector after it, as its disk's table holds them.
    uint64_t partitionStart = 0, partitionEnd = 0;
    // A drive letter (or the drive a volume was recognised in): the drive's own size in sectors,
    // as the drive list tells it (0: not known). Read through its volume, the drive is found again
    // by it, whatever part of the drive the range is.
    uint64_t driveSectors = 0;
};

// The selected item's place on its disk, as its drive-tree record keeps it (all zero when the item
// has none).
struct SelectedItemPlace {
    uint32_t SelectedItemDiskNumber = 0;
    uint32_t SelectedItemIsDynamic = 0;
    uint64_t SelectedItemVolumeStart = 0;
    uint64_t SelectedItemVolumeEnd = 0;
};

// Where a selection is read from besides its disk: a drive letter's own volume path, the drive's
// place on its disk (read when the selection asks for its disk), and the size of the disk the
// range is read from (ScanDiskOf), which holds the range (0: not held).
struct ScanSource {
    CString drivePath;
    SelectedItemPlace place;
    uint64_t diskSectors = 0;
};

// The disk a selection is read from: its own disk, or for a drive letter asked to be read through
// its disk, the disk its place names when that place is known; -1 for a drive letter (or a
// volume recognised in one) read through its volume path, which no disk holds.
int ScanDiskOf(const ScanSelection& selection, const SelectedItemPlace& place);

// The request for a selection: a drive letter (and a volume recognised inside one) is read through
// its volume path, anything else through its disk. A drive letter asked to be read through its
// disk is read there when its place on a disk is known (and held to that disk's end); otherwise
// it stays on its volume path and `selection.physical` is cleared. A range longer than the disk
// it is read from ends at the disk's end; one that begins at or past that end is left empty (its
// end its start), never inverted. Read through its volume, the log keeps the drive's own size
// (`selection.driveSectors`) as the volume's size.
ScanRequest BuildScanRequest(ScanSelection& selection, const ScanSource& source, const CString& searchModeName);

// The selected volume's range as the scan log keeps it: its first sector (twice), the sector
// after it, that again as the size in sectors, and the size in bytes.
void SetSelectedRange(SelectedVolumeRecord& volume, uint64_t first, uint64_t end);

// A drive letter read through its own volume: what Next asks of a "Logical" or "Recognised" item
// that is not read through its disk.
inline bool ReadThroughVolume(const CString& itemKind)
{
    return itemKind == L"Logical" || itemKind == L"Recognised";
}

// The partitions and volume starts that place the volumes a Deep scan of the request finds, from
// the partitions of the disk's table (diskPartitions): the partitions, for anything but a drive
// letter read through its own volume (which no disk's table holds); the starts, a whole disk's
// partitions' or else the request's volumeStart. A loaded log's request gets them as its scan's did.
void SetRequestPartitions(ScanRequest& request, const std::vector<PartitionExtent>& diskPartitions);

// The selected volume as a scan log keeps it beside the range scanned: its first sector (the
// request's volumeStart) and its end, the sector after it (volumeEnd), in the fields the log calls
// the start copy and the size. A drive letter read through its own volume keeps the drive's own
// size there, by which its log finds the drive again.
void KeepSelectedVolumeExtent(ScanRequest& request);

// The volume's first sector and end as a log keeps them (KeepSelectedVolumeExtent); a log that kept
// the range there gives the range.
inline uint64_t LoggedVolumeStart(const SelectedVolumeRecord& volume)
{
    return volume.startSectorCopy;
}
inline uint64_t LoggedVolumeEnd(const SelectedVolumeRecord& volume)
{
    return volume.sizeSectors > volume.endSector ? volume.sizeSectors : volume.endSector;
}
