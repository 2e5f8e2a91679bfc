// The Basic Search scans over a volume's sectors: the FAT geometry probe, the FAT directory-
// cluster scan and the NTFS file-record scan. Each reads through a SectorSource, polls a stop
// flag and reports progress through a callback, and returns plain rows that the Windows
// workers copy into the record tables.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/pure/record_table.h"
#include "storage/pure/globals.h"
#include "storage/pure/mft_runs.h"
#include "storage/pure/sector_source.h"

// Sectors per read of the probe and of the directory-cluster scan; each read is one progress
// step (the NTFS scan steps by one record, kSectorsPerMftRecord sectors).
constexpr uint32_t kFatProbeBlockSectors = 64;
constexpr uint32_t kFatScanBlockSectors = 512; // 256 KiB

// Called with the work done so far and the total, in the scan's own unit (sectors).
using ScanProgressFn = std::function<void(uint64_t done, uint64_t total)>;

// The cluster id of the catch-all folder that takes the folders whose parent is lost.
constexpr uint32_t kMiscFolderId = 0x0FFFFFFF;
// The folder id of the NTFS root directory.
constexpr uint32_t kNtfsRootRecord = 5;

// True when the FAT fields can drive a cluster walk: sectors per cluster a power of two from
// 1 to 128. Anything else sends the volume to the geometry probe.
bool FatGeometryUsable(const VolumeGeometryRecord& geometry);

// Derives the FAT fields of `geometry` from the data area of the volume [start, end): the
// reserved sectors from the first FAT's signature, sectors per cluster and the cluster-0
// sector from two directory clusters whose "." entries agree on both. True when derived;
// otherwise (or when stopped) geometry is left as it was.
bool ProbeFatGeometry(SectorSource& source, bool fat32, uint64_t start, uint64_t end, VolumeGeometryRecord& geometry,
                      const volatile uint32_t* stop = nullptr, const ScanProgressFn& progress = {});

// The first cluster of a directory, found by its "." and ".." entries.
struct FatDirRow {
    uint64_t sector = 0; // first sector of the cluster
    uint32_t self = 0;   // its "." cluster
    uint32_t parent = 0; // its ".." cluster; 0 = the root directory
    uint16_t date = 0, time = 0;
    uint32_t size = 0;
    uint8_t attr = 0;
};

// Reads the data area of the FAT volume ending at `end` in 256 KiB blocks and returns every
// cluster whose first sector is a directory's own first sector. An unreadable block is
// skipped with the cluster numbering kept in step. Nothing when the geometry is unusable.
std::vector<FatDirRow> ScanFatDirectoryClusters(SectorSource& source, bool fat32, const VolumeGeometryRecord& geometry,
                                                uint64_t end, const volatile uint32_t* stop = nullptr,
                                                const ScanProgressFn& progress = {});

// One $MFT file record of the Basic scan, in use or deleted, with a $FILE_NAME.
struct NtfsScanRecord {
    uint64_t record = 0;  // number in $MFT order
    uint64_t sector = 0;  // its first sector
    uint32_t parent = 0;  // low 32 bits of the parent reference
    uint64_t created = 0; // FILETIME
    std::u16string name;  // folders only
    bool folder = false;
    bool deleted = false;
};

// Bound of the record list of one file: the base record and its extension records.
constexpr size_t kMaxRecordListEntries = 50;

// Appends to `list` the record numbers named by the resident $ATTRIBUTE_LIST of a fixed-up
// 1024-byte record, while the list holds fewer than kMaxRecordListEntries.
void CollectAttributeListRecords(const uint8_t* record, std::vector<uint64_t>& list);

// Reads every record of the $MFT through the run table, each record's two sectors mapped on
// their own, and returns the records that carry a $FILE_NAME (the root folder's "." too).
// Records that cannot be read or lack the "FILE" signature are skipped; a block that cannot be
// read, and a sparse run, is passed over in one step with the record numbering kept, and only
// sectors a read delivered are parsed. Progress counts sectors against the table's total.
// Stops early when *stop is 1 and returns what it found.
std::vector<NtfsScanRecord> ScanNtfsRecords(SectorSource& source, const MftRunTableRecord& runs,
                                            const volatile uint32_t* stop = nullptr,
                                            const ScanProgressFn& progress = {});

// The FAT time word (hour * 2048 + minute * 32 + second / 2).
uint16_t FatTimeWord(int hour, int minute, int second);

// Row writers for the record tables (FoundEntryTable and NtfsFileTable columns).
void AppendMiscFolderRow(ZrRecordTable& found, uint32_t parent, uint16_t timeWord);
void AppendFatDirRows(ZrRecordTable& found, const std::vector<FatDirRow>& rows, bool fat32);
// Folders (less the root's own ".") become pending rows of `found`; files become rows of
// `files` whose first cell is "parent|sector|".
void AppendNtfsRows(ZrRecordTable& found, ZrRecordTable& files, const std::vector<NtfsScanRecord>& records);
