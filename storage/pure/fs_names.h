// Names read from the file systems' own records: the $FILE_NAME of an NTFS file record and
// the long-name entries before a FAT short entry. Names are UTF-16 code units as stored.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "cstring.h"
#include "storage/pure/sector_source.h"
#include "storage/pure/stop_flag.h"

// NTFS name spaces of a $FILE_NAME.
constexpr int kNameSpacePosix = 0;
constexpr int kNameSpaceWin32 = 1;
constexpr int kNameSpaceDos = 2;
constexpr int kNameSpaceWin32AndDos = 3;

// UTF-16 code units as a CString (on Windows the same units; natively, pairs of surrogates
// become one character and a lone surrogate stays as it is).
CString NameToCString(const std::u16string& name);

// What the first unnamed $FILE_NAME of the wanted name space holds.
struct MftFileName {
    uint32_t parent = 0;    // low 32 bits of the parent's file reference
    uint64_t created = 0;   // FILETIME
    bool isFolder = false;  // record flags exactly 3 (in use) or 2 (deleted)
    size_t valueOffset = 0; // of the $FILE_NAME value in the record
    std::u16string name;    // as stored, bounded by the value and the attribute
};

// Finds the first unnamed $FILE_NAME of the name space in a fixed-up 1024-byte record. Every
// header, value and name is checked to lie inside its attribute and the record.
bool FindMftFileName(const uint8_t* record, int nameSpace, MftFileName& out);

// The scan's reader: parent and creation time for every record; for folders the name, less
// its 0x0000 characters, appended to nameOut. 1 when a $FILE_NAME of the name space was
// found, else 0 with nothing changed.
int ParseMftRecordBuffer(const uint8_t* record, int nameSpace, uint32_t* parentOut, uint64_t* createdOut,
                         std::u16string& nameOut);
// What the walk that finds a record's preferred $FILE_NAME sees besides: that name's place in the
// order (orderCount: none), and whether the record has an $ATTRIBUTE_LIST, whose other records may
// hold a better name. The walk ends at a name of order[0]'s space: a list is told only before it.
struct MftNameLook {
    size_t rank = 0;
    bool listed = false;
    // Another of the file's records may hold a name of a better space than this one's.
    bool BetterElsewhere() const { return rank != 0 && listed; }
};

// The same in one walk over the record's attributes for several name spaces: the first $FILE_NAME
// of the name space that comes first in order[0 .. orderCount) among those the record has, as
// ParseMftRecordBuffer would find trying them one by one. Nothing is allocated for a file.
int ParsePreferredMftName(const uint8_t* record, const int* order, size_t orderCount, uint32_t* parentOut,
                          uint64_t* createdOut, std::u16string& nameOut, MftNameLook* look = nullptr);

// Where the best $FILE_NAME of a fixed-up record stands in order[0 .. orderCount): the index of
// the first name space of the order the record has a name in, orderCount when it has none.
size_t PreferredMftNameRank(const uint8_t* record, const int* order, size_t orderCount);

// The list's and Deep Search's reader. The parent is stored for every record; for folders,
// and for files when nameFilesToo, characters below 0x20 become blanks, the name is appended
// to nameOut, the whole of nameOut is trimmed and cleared of the characters forbidden in file
// names, and the creation time is stored. A file name without an extension gets one when the
// low bytes of its characters, read as 8-bit text, have one. `stop` is polled on entry (0 at
// once) and before each character (the name built so far is kept, answer 1).
int ReadMftRecordNameBuffer(const uint8_t* record, int nameSpace, bool nameFilesToo, const StopFlag* stop,
                            uint32_t* parentOut, uint64_t* createdOut, std::u16string& nameOut);
// The same for several name spaces in one walk over the record's attributes: as
// ReadMftRecordNameBuffer tried for order[0], order[1], ... until one answers 1 (the stop flag
// polled only before each character).
int ReadPreferredMftRecordName(const uint8_t* record, const int* order, size_t orderCount, bool nameFilesToo,
                               const StopFlag* stop, uint32_t* parentOut, uint64_t* createdOut, std::u16string& nameOut,
                               MftNameLook* look = nullptr);

// A FAT directory entry, as stored.
struct FatDirEntry {
    uint8_t shortName[11] = {};
    uint8_t attributes = 0;
    uint32_t firstCluster = 0; // high word (FAT32) and low word
    uint32_t size = 0;
    uint16_t time = 0;
    uint16_t date = 0;
    bool endOfDirectory() const { return shortName[0] == 0; }
    bool deleted() const { return shortName[0] == 0xE5; }
    bool longNamePart() const { return attributes == 0x0F; }
    bool directory() const { return !longNamePart() && (attributes & 0x10) != 0; }
    bool volumeLabel() const { return !longNamePart() && (attributes & 0x08) != 0; }
};
FatDirEntry DecodeFatDirEntry(const uint8_t* entry);

// Appends to nameOut the long name of the short entry at entryOffset (a multiple of 32 below
// 512) of the 512-byte directory sector `sector`, whose number is sectorNumber: the long-name
// entries before it, nearest first, each up to a character 0x0000, at most 20 of them. When
// they begin in the sector before, it is read from `source`; the assembly ends where that
// read fails (or there is no source or sector before). nameOut is left as it was when the
// entry has no long name.
void ParseDirectorySectors(SectorSource* source, const uint8_t* sector, uint16_t entryOffset, uint64_t sectorNumber,
                           std::u16string& nameOut);
