// What a scan reads: the device, the sector range and the file system it is told to expect, with
// the volume's geometry once it is known. Every scan takes one of these; none reads the selection
// globals, so two scans (or one scan and a later listing) never depend on what is current.
#pragma once
#include <cstdint>

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
