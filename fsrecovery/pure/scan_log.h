// The scan log (".QLX"): everything a Basic or Deep Search found, so that a drive need not be
// scanned twice. One archive stream, in this order:
//   head          kind, marker, disk identity, mode (app/pure/scan_log_header.h)
//   device        "LOG", drive path, Q64 size in sectors | "PHY", disk description, W16 disk number
//   volume        W16 disk, D32 selector, fs name, search-mode name, Q64 start, end, start copy, size
//   geometry      D32 per FAT, D32 per cluster, D32 root sectors, D32 root start, D32 reserved,
//                 Q64 cluster 0, D32 first FAT, D32 second FAT, Q64 $MFT, Q64 $MFTMirr,
//                 D32 per file record, D32 per index record
//   parameters    the same twelve, then the file-system type text
//   FAT volumes   Deep logs of a FAT selection only: Q64 n, n rows of 12 texts
//   folder count  Q64, the folder records of the tree (the loaders' progress total)
//   tree          pre-order lines (one TAB per level, then the item's text, CR LF), each but a
//                 top-level one followed by its folder record; the first line by a zero record
//                 named "Root_Item"
//   end line      the marker followed by /:*?"<>| and CR LF
//   NTFS tables   NTFS parameters only: Q64 n, n rows of 6 texts, D32 word; in Deep logs then
//                 D32 m, m rows of 6 texts (the recognised partitions)
// Texts are archive strings, numbers little-endian. Rows stay the texts the record tables hold.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "app/pure/scan_log_header.h"
#include "framework/pure/archive.h"
#include "storage/pure/globals.h"

// Where the scanned volume was read from: a logical drive ("LOG" block) or a physical disk
// ("PHY" block).
enum class ScanLogSource { Drive, Disk };

struct ScanLogDevice {
    ScanLogSource source = ScanLogSource::Disk;
    CString drivePath;         // Drive: "\\.\" and the drive letter with its colon
    uint64_t driveSectors = 0; // Drive: the volume's size in sectors
    CString diskDescription;   // Disk: model, capacity, size in sectors and number joined by "||"
    uint16_t diskNumber = 0;   // Disk: 0 to 25
};

// The folder record of one results-tree item.
struct ScanLogFolder {
    CString name; // the real name, whatever characters it holds
    uint32_t ownId = 0;
    uint32_t parentId = 0;
    uint64_t date = 0;
    uint64_t time = 0;
    uint32_t deleted = 0;
    uint64_t cluster0Start = 0; // stored in Deep logs only
};

struct ScanLogTreeItem {
    uint32_t depth = 0; // levels below the top level, as the item's line gives them
    CString text;       // the item's text; the line carries it with control characters blanked
    // Read: whether a folder record followed the line. Top-level items have none and show as
    // "Root". The writer stores a record for every item below the top level (an empty one when
    // this is false) and none for a top-level item, so that a reader never loses its place.
    bool hasFolder = false;
    ScanLogFolder folder;
    // Read: the index of the item's parent in the list, -1 for a top-level item (see
    // LinkScanLogTree). Not written.
    int64_t parent = -1;
};

using ScanLogFatVolumeRow = std::array<CString, 12>; // the FAT partition table's columns
using ScanLogNtfsRow = std::array<CString, 6>;       // the NTFS file table's columns
using ScanLogRecognisedRow = std::array<CString, 6>; // the recognised-partition table's columns

struct ScanLogData {
    ScanLogHeader header;
    ScanLogDevice device;
    SelectedVolumeRecord volume; // sizeBytes is not stored; reading sets it to sizeSectors × 512
    VolumeGeometryRecord geometry;
    FatVolumeParamsRecord params;
    std::vector<ScanLogFatVolumeRow> fatVolumes; // stored when mode is Deep and volume.fsName not "NTFS"
    uint64_t folderCount = 0;                    // the count of folder records the tree was made with
    std::vector<ScanLogTreeItem> tree;           // pre-order; the first item is the tree's top item
    // Stored when params.partitionType is "NTFS"; the recognised rows in Deep logs only.
    std::vector<ScanLogNtfsRow> ntfsRows;
    uint32_t ntfsTableWord = 0;
    std::vector<ScanLogRecognisedRow> recognisedRows;
};

// Which device block a save writes: the drive block for a logical drive scanned as such (kind
// "Logical", and in Deep Search also "Recognised"); the disk block for everything else,
// including a drive scanned through its disk.
ScanLogSource ScanLogSourceFor(uint32_t mode, const CString& kind, bool scanAsPhysicalDisk);

// The text of an item's tree line: every control character (below U+0020) becomes a blank, so a
// recovered name holding CR, LF or TAB cannot end the line early or fake a depth.
CString ScanLogLineText(const CString& itemText);

// Writes the whole log. The top item is written as the first line with the "Root_Item" record
// (an empty tree gets a "Root" line); an item with a folder record gets its record's name as its
// line's text; the end line follows the tree. Write errors throw the
// stream's exception; nothing is checked here: give it what a finished scan holds.
void WriteScanLog(CArchive& ar, const ScanLogData& data);

// Reads a whole log for the dialog of dialogMode (kScanLogModeBasic or kScanLogModeDeep; 0
// takes either). Stops at the first fault with its status:
//   NotALog, UnknownMode, Damaged inside the head: as ReadScanLogHeader;
//   OtherMode: the head is read, the rest is left to the other dialog;
//   Invalid: a device block that does not fit the kind, a drive path other than "\\.\" with a
//     letter A to Z and its colon, a disk description holding a control character (which no
//     disk's description does), a disk number above 25, a volume with a file-system name
//     other than FAT16, FAT32 and NTFS or an end not after its start, a parameter type other
//     than those, or sectors per cluster neither 0 (no geometry found) nor a power of two up to
//     128;
//   Damaged: the data ends early (also a count larger than the bytes left could hold, or a
//     tree without its end line) or holds what no save writes: a tree line that is empty, lacks
//     its CR LF or has a control character after its TABs, an item's line that is not its
//     folder record's name, a first record other than the zero "Root_Item" one, a tree no
//     results tree is (a folder placed twice, by its own id and cluster-0 start, or under an
//     item other than its record's parent: below a folder, that folder, unless it is the
//     catch-all "KXR_Miscellaneous", which holds anything; below a top item, the volume's root
//     (record 5 on NTFS, cluster 0 on FAT) or no parent found, 0x0FFFFFFF), or anything
//     after the last table. Everything before the fault stays in data:
//     the complete sections (result.complete), and of the section being read, the folders and
//     rows read whole, with their tree links.
// A count is checked against the bytes left before anything is read for it, and room is made
// only for what those bytes can hold, so a hostile log costs memory in proportion to its size.
// The rows stay texts here: what their numbers must look like is ReadScanLogToLoad's
// (fsrecovery/pure/scan_log_results.h).
ScanLogResult ReadScanLog(CArchive& ar, uint32_t dialogMode, ScanLogData& data);

// Sets each item's parent as the loaders place the lines, measuring each line against where the
// item before it was placed: deeper by one level or more (a line that skips levels) makes a
// child of that item; the same level a sibling; a shallower one goes under the nearest earlier
// item one level above it; depth 0 makes a top-level item. ReadScanLog places its items so.
void LinkScanLogTree(std::vector<ScanLogTreeItem>& items);
