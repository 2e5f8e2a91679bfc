// What a folder listing reads from the disk: the files of a FAT directory sector and the name and
// size of an NTFS file record. Bytes in, values out.
#pragma once
#include <cstdint>
#include <functional>

#include "cstring.h"
#include "storage/pure/fs_names.h"
#include "storage/pure/sector_source.h"

// One entry of a FAT directory sector that a listing shows.
struct FatListedEntry {
    FatDirEntry entry;
    uint32_t firstCluster = 0; // the low word only on FAT16
    CString shortName;         // 8.3, a deleted entry's first character shown as "_"
    CString name;              // the long name, else the short name
    bool deleted = false;
};

// The extension of a file name from its last dot on, blanks trimmed; empty without one.
CString FileNameExtension(const CString& name);

// The 8.3 name of a directory entry: name and extension without blanks, a dot only when there is
// an extension, 0xE5 as first byte shown as "_".
CString FatShortName(const FatDirEntry& entry);

// The name a listing shows: the long name, else the short name; a long name without an extension
// takes the short name's.
CString FatDisplayName(const CString& longName, const CString& shortName);

// Walks the 16 entries of a 512-byte directory sector, skipping dot entries, long-name parts,
// entries whose short name holds control or reserved characters and (unless withFolders) directories, and
// calls `found` for each other entry. `source` gives the sector before when a long name starts
// there (may be null). Returns false when the sector holds the end-of-directory mark; `stop`
// (may be null) ends the walk early, returning true.
bool ListFatDirectorySector(SectorSource* source, const uint8_t* sector, uint64_t sectorNumber, bool fat32,
                            bool withFolders, const StopFlag* stop,
                            const std::function<void(const FatListedEntry&)>& found);

// "parent|sector|" of a stored NTFS file row. False when either number is missing.
bool ParseNtfsFileKey(const CString& key, uint64_t& parent, uint64_t& sector);

// A fixed-up 1024-byte file record: the first name found in the name spaces Win32, Win32+DOS,
// DOS and POSIX (empty when none), its time stamp, and the size of the unnamed data (0 when there
// is none or the attribute does not fit the record).
struct NtfsFileInfo {
    CString name;
    uint64_t fileTime = 0;
    uint64_t size = 0;
};
NtfsFileInfo ReadNtfsFileInfo(const uint8_t* record, const StopFlag* stop);
