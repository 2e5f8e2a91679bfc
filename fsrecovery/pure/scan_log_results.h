// Between a scan log (fsrecovery/pure/scan_log.h) and the results of a file-system search: the
// store's tables as the log's text rows and back, the log's tree into a results tree, and where
// the medium a log was made from is attached now.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "fsrecovery/pure/found_store.h"
#include "fsrecovery/pure/ntfs_geometry.h"
#include "fsrecovery/pure/scan_log.h"
#include "storage/pure/scan_target.h"

class SectorSource;

// ---- The selection ----

// What a log keeps of the scan besides its results, from the request the results were made for
// (data.header.mode set first): the item's kind and disk texts, the device block (its source, the
// drive read, the selection's size and disk number), the selected volume and its geometry and
// parameters.
// The store's first volume gives the drive read and the parameters when the scan found one; a
// Deep log's geometry is that volume's too, a Basic log's the geometry the scan's check or probe
// found (the request's target).
void AddRequestToLog(const ScanRequest& request, const FoundStore& store, ScanLogData& data);

// ---- Reading ----

// Reads a log as a load takes it: ReadScanLog, then every row of its tables held to what a save
// writes (FoundStore::NtfsFileCells, FatVolumeCells, RecognisedPartitionCells): every number a
// decimal of digits only, without a leading zero and within its field's range; an NTFS row's
// first cell "parent|sector|" with exactly these two numbers, its last cell the parent whose
// low 32 bits the first cell holds, its time cell empty; a FAT volume row's type a file-system
// name, its cells all written but those a row of its kind leaves empty (a boot sector's row its
// "End Sector", an inferred volume's row all but "Sector" 0, "SPC", "Cluster0Start" and
// "PartType"), which read as 0. The first row that breaks this is damage, as a cut there would
// be: that row and all that follows it are dropped, and the result is Damaged with what came
// before it complete.
ScanLogResult ReadScanLogToLoad(CArchive& ar, uint32_t dialogMode, ScanLogData& data);

// ---- Tables ----

// The store's NTFS file rows, FAT volume rows and recognised partitions as the log's text rows.
void AddStoreTablesToLog(const FoundStore& store, ScanLogData& data);

// The rows a log's texts stand for. A cell that is not a number reads as 0; an NTFS row's
// name, size and time stamp are known only when their cells are not empty.
NtfsFileRow NtfsFileRowOfCells(const ScanLogNtfsRow& cells);
FatVolumeRow FatVolumeRowOfCells(const ScanLogFatVolumeRow& cells);
RecognisedPartitionRow RecognisedPartitionRowOfCells(const ScanLogRecognisedRow& cells);

// The volume a FAT volume row describes, read from devicePath, made as the scan made it
// (DeepFatStoreVolume) over the range scanned, rangeFirst to rangeEnd, and the disk's
// `partitions`; never past the row's "End Sector" (the end the scan held it to) when the row has
// one.
FoundVolume FoundVolumeOfFatRow(const FatVolumeRow& row, const CString& devicePath, uint64_t rangeFirst = 0,
                                uint64_t rangeEnd = 0, const std::vector<PartitionExtent>& partitions = {});

// Fills an empty store with what a loaded log holds: its volumes (the selected volume; in a
// Deep log of a FAT selection, one per FAT volume row instead), read from devicePath, then the
// NTFS rows, the FAT volume rows and the recognised partitions. The text rows are released from
// `data` as they are taken. The NTFS volume: with `ntfsVolumes` of at least one volume, one store
// volume per volume of it (and one more, with its fallback geometry, over the logged range for
// records of none), each row on the volume its record lies in, as a Deep Search stores them.
// A Deep log's volumes reach from the range's start to the selected volume's end as the log keeps
// it (LoggedVolumeEnd), each no further than the partition of `partitions` (those of the disk
// read) it begins in, as in the scan.
void AddScanLogToStore(ScanLogData& data, const CString& devicePath, FoundStore& store,
                       const NtfsGeometryMap* ntfsVolumes = nullptr,
                       const std::vector<PartitionExtent>& partitions = {});

// A Deep NTFS log keeps one volume's geometry, however many volumes its rows come from: the
// volumes are worked out again from the medium. The records of the rows that are system files
// (in the root, named as one; at most kMaxNtfsSystemRecords) are read from `device` (1024 bytes
// each, a short read skipped) and give the volumes as in the scan, with the volume starts the
// scan knew (`knownStarts`; none given: the logged volume's first sector); records of no volume
// are counted from the logged volume's first sector with the logged cluster size. No volume when
// nothing could be read or inferred.
NtfsGeometryMap InferLoggedNtfsVolumes(const ScanLogData& data, SectorSource& device,
                                       const std::vector<uint64_t>& knownStarts = {});

// ---- Tree ----

// Where a log's tree goes: the results tree in the program. A null handle is an item that could
// not be made.
class ScanLogTreeSink {
public:
    virtual ~ScanLogTreeSink() = default;
    // A top-level "Root" item.
    virtual TreeItemHandle InsertTop() = 0;
    // An item labelled with its folder record's name under `parent` (null: under the first
    // "Root").
    virtual TreeItemHandle Insert(TreeItemHandle parent, const ScanLogFolder& folder) = 0;
    virtual void Progress(uint64_t /*done*/, uint64_t /*total*/) { }
};

// Inserts the log's items in file order under the parents LinkScanLogTree gave them: the first
// item and every top-level item without a record as a "Root", every other item labelled from
// its record (its line gives only its depth). Returns the number of items inserted: fewer than
// items.size() when the sink could not make one, after which nothing more is inserted, since
// the items below it would have no parent.
size_t RebuildScanLogTree(const std::vector<ScanLogTreeItem>& items, ScanLogTreeSink& sink);

// ---- The medium ----

// Where the disk or drive a log was made from is attached now.
struct LoggedMedium {
    enum class Found {
        Same,    // where it was
        Other,   // a drive of the logged size under another letter, or the disk under another number
        Missing, // nothing that fits
    };
    Found found = Found::Missing;
    CString devicePath;      // what the readers open: "\\.\X:" or "\\.\PhysicalDriveN"
    uint16_t diskNumber = 0; // a disk's number now (0 to 25)
    // Other: what the question names, the logged and the attached drive letter ("E:") or disk
    // number ("1").
    CString loggedName, foundName;
    CString description; // a disk's entry of the list it was found in
};

// The drive block against the listed logical drives ("path|sectors" each, in list order), the
// disk block against the listed disks (model||capacity||sectors||number): the exact entry, else
// the first drive of the logged size or the first disk of the logged description. A disk entry
// whose number is not one of 0 to 25 never matches. Only a listed entry's path is ever given.
LoggedMedium FindLoggedMedium(const ScanLogDevice& device, const CStringArray& driveKeys,
                              const CStringArray& diskDescriptions);

// The request a loaded log stands for, its medium found at `medium`: what a save of the loaded
// results writes again (a disk's number and description as found now, a drive's as logged).
ScanRequest RequestOfLog(const ScanLogData& data, const LoggedMedium& medium);

// The question asked before a log is read from another letter or disk number.
CString MediumReplacedQuestion(const ScanLogDevice& device, const LoggedMedium& medium);
