// The Basic Search scans over a volume's sectors: the FAT geometry probe, the FAT directory-
// cluster scan and the NTFS file-record scan. Each reads through a SectorSource, polls a stop
// flag and reports progress through a callback, and hands plain rows to the found-entry store.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fsrecovery/pure/found_store.h"
#include "fsrecovery/pure/scan_status.h"
#include "storage/pure/globals.h"
#include "storage/pure/mft_runs.h"
#include "storage/pure/ntfs_file_records.h"
#include "storage/pure/scan_target.h"
#include "storage/pure/sector_source.h"

struct NtfsFreedExtentNotes;

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
                      const StopFlag* stop = nullptr, const ScanProgressFn& progress = {});

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
                                                uint64_t end, const StopFlag* stop = nullptr,
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

// Reads every record of the $MFT through the run table, each record's two sectors mapped on their
// own, and hands `found` each base record that carries a $FILE_NAME (the root folder's "." too), in
// $MFT order; the name may lie in an extension record its attribute list names (read from `volume`
// when the list is not resident), and of a base record with a list the best name space among its
// records is taken (a long name there before its own DOS name). Extension records are never handed
// on themselves, but name the base record they belong to: a base record without a name in its list's
// records (a deleted file whose list is gone, say) is handed on, after the others, with the name an
// extension record that still belongs to it holds. A folder with a list whose name is in none of its
// records is handed on nameless, its parent the catch-all folder, as is, last, a deleted folder that
// lost its name and list but keeps its index when a record handed on lies in it. Records that cannot
// be read or lack the "FILE" signature are skipped; a block that cannot be read, and a sparse run, is
// passed over in one step with the record numbering kept, and only sectors a read delivered are
// parsed. Progress counts sectors against the table's total. Stops early when *stop is 1. With
// `freed`, the freed extension records that hold a data extent are noted there.
using NtfsRecordFn = std::function<void(NtfsScanRecord&& record)>;
void ScanNtfsRecords(SectorSource& source, const MftRunTableRecord& runs, const StopFlag* stop,
                     const ScanProgressFn& progress, const NtfsRecordFn& found, const NtfsVolumePlace& volume = {},
                     NtfsFreedExtentNotes* freed = nullptr);
// The same, collected.
std::vector<NtfsScanRecord> ScanNtfsRecords(SectorSource& source, const MftRunTableRecord& runs,
                                            const StopFlag* stop = nullptr, const ScanProgressFn& progress = {},
                                            const NtfsVolumePlace& volume = {});

// ---- The scan of one volume, as Basic Search runs it ------------------------------------------

enum class BasicScanStatus {
    Done,
    Stopped, // the stop flag ended the scan; the rows found so far are kept
    DeviceNotOpened,
    NoGeometry,    // FAT: neither the boot sector nor the probe gave a usable geometry
    VolumeInvalid, // NTFS: the boot-sector check failed
    NoMftRuns,     // NTFS: the $MFT's own record gave no run to read
    NotSupported,  // neither FAT16, FAT32 nor NTFS
};

// Who watches a scan: each phase as it starts, with the range its progress counts in (sectors
// [first, end); the NTFS scan counts the $MFT's sectors from 0), then its progress as the work
// done since `first` and the range's size. Either may be empty.
struct BasicScanObserver {
    std::function<void(BasicScanPhase phase, uint64_t first, uint64_t end)> phase;
    ScanProgressFn progress;
};

// The volume a scan of `target` adds to the store.
FoundVolume VolumeOfTarget(const ScanTarget& target);

// A FAT volume: the boot-sector geometry when it served and is usable, else the probe; then the
// volume, the catch-all row (its time the FAT time word `timeWord`) and one row per directory
// cluster into the store.
BasicScanStatus ScanFatVolume(SectorSource& device, ScanTarget& target, bool bootSectorServed, FoundStore& store,
                              uint16_t timeWord, const StopFlag* stop, const BasicScanObserver& observer);

// An NTFS volume: the $MFT's run table, then the volume, the catch-all row and, record by record
// as they are read, a folder row per folder and a file row per file into the store, and the freed
// extension records that hold data extents into the volume's record index. A run table that cannot
// be loaded (or holds no sector) ends the scan with NoMftRuns and nothing stored.
BasicScanStatus ScanNtfsVolume(SectorSource& device, ScanTarget& target, bool bootSectorServed, FoundStore& store,
                               uint16_t timeWord, const StopFlag* stop, const BasicScanObserver& observer);

// The FAT time word (hour * 2048 + minute * 32 + second / 2).
uint16_t FatTimeWord(int hour, int minute, int second);

// The rows of a scan in the store, all on `volume`: the catch-all folder (its parent the
// volume's root), one folder row per directory cluster ("DIR" and its row number), and per NTFS
// record a folder row (less the root's own ".") or a file row.
void AddMiscFolderRow(FoundStore& store, uint32_t volume, uint32_t parent, uint16_t timeWord);
void AddFatDirRows(FoundStore& store, uint32_t volume, const std::vector<FatDirRow>& rows, bool fat32);
void AddNtfsRecord(FoundStore& store, uint32_t volume, NtfsScanRecord&& record);
