// The texts of the drive trees: the disk tag inside a disk item's text, the names of bus types
// and media kinds, and the item texts and keys of disks and logical drives.
#pragma once
#include <cstddef>
#include <cstdint>

#include "cstring.h"

// " (Disk%d - " with the number.
CString FormatDiskTag(int diskNumber);
// The number after the first "(" and the four characters "Disk" that follow it, up to the
// next "-", parsed like the C runtime's integer parse (blanks skipped, 0 when none).
int GetDiskNumberFromText(const CString& text);

// Name of a storage bus type; "UNKNOWN" for types beyond the table.
CString BusTypeName(uint32_t busType);
// The media kind of a disk: its geometry media type (11 removable, 12 fixed) and interface.
CString MediaKindText(uint32_t mediaType, const CString& interfaceType);
// " (Disk2 - Fixed hard disk media 64.00 MB)": the tag, the media kind and the capacity text.
CString DiskItemText(int diskNumber, const CString& mediaKind, const CString& capacityText);
// What the list of physical drives shows of a disk beside its number and name: its model, media
// kind and capacity, each trimmed, the empty ones left out, joined by ", ".
CString DiskListValue(const CString& model, const CString& mediaKind, const CString& capacityText);
// model||capacity||sectors||number, as DiskDescriptionList and SelectedDiskTexts keep them. A
// control character a disk reports in its model becomes a blank: the description is one line
// of a scan log, and a log's reader takes one for damage.
CString DiskDescription(const CString& model, const CString& capacityText, uint64_t totalSectors,
                        const CString& diskNumberText);

// The text with every control character (below U+0020) made a blank; whether it holds one.
CString BlankControlCharacters(const CString& text);
bool HasControlCharacter(const CString& text);

// A logical drive's texts from what the system answered about it.
struct LogicalDriveTexts {
    CString itemText;      // "X:\ (64.00 MB - LABEL - FAT32)"
    CString sizeText;      // trimmed
    CString freeSpaceText; // trimmed
    CString key;           // "\\.\X:|131072"
    uint64_t sectors = 0;
};
// sizeKnown: the free-space query succeeded. An empty file-system name reads "Unknown".
LogicalDriveTexts MakeLogicalDriveTexts(wchar_t letter, const CString& label, const CString& fsName, bool sizeKnown,
                                        uint64_t totalBytes, uint64_t totalFreeBytes);

// The identification of a disk from the storage device descriptor the system returned (the
// first `returned` bytes of buf): each text is the zero-terminated string at the offset the
// descriptor gives, empty for offset 0, cut at the end of the returned bytes.
struct StorageDeviceTexts {
    CString vendor, product, revision, serial;
};
StorageDeviceTexts ParseStorageDeviceDescriptor(const uint8_t* buf, size_t returned);
