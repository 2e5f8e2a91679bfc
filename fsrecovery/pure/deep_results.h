// What a Deep Search scan found, as volumes and rows of the found-entry store: each assembled FAT
// volume becomes a store volume with its own geometry (so that its folders are listed, opened and
// saved through it, whatever cluster numbers other volumes share), and the carved NTFS records
// become the folder and file rows of the NTFS volumes their own records show.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "fsrecovery/pure/deep_assembly.h"
#include "fsrecovery/pure/found_store.h"
#include "fsrecovery/pure/ntfs_volume_records.h"

// The geometry listing and saving read a Deep FAT volume by. What the volume does not know is
// filled as its own directory walk assumes it: a FAT32 root at cluster 2, a FAT16 root of 32
// sectors ending where cluster 2 begins.
FatVolumeParamsRecord DeepFatVolumeParams(const DeepFatVolume& volume);

// The sectors a Deep FAT volume occupies on the device: from its boot sector to the end it
// states, or, for an inferred volume and a boot sector that states no size, from the scanned
// range's start to rangeEnd (the end of what the range lies in). A volume that begins inside one
// of the medium's `partitions` (its boot sector; an inferred volume's first data cluster) ends no
// later than that partition, whatever its boot sector claims: FileDataBounds then believes the
// boot sector no further. True when the partition cut the end.
bool DeepFatVolumeExtent(const DeepFatVolume& volume, uint64_t rangeFirst, uint64_t rangeEnd,
                         const std::vector<PartitionExtent>& partitions, uint64_t& first, uint64_t& end);

// The store volume of a Deep FAT volume: its extent (DeepFatVolumeExtent, whose result goes to
// `cut`) and its geometry (DeepFatVolumeParams), read from devicePath. A scan and the load of its
// log make their volumes with it alike.
FoundVolume DeepFatStoreVolume(const DeepFatVolume& volume, const CString& devicePath, uint64_t rangeFirst,
                               uint64_t rangeEnd, const std::vector<PartitionExtent>& partitions, bool* cut = nullptr);

// The volume a row of the FAT volume table stands for, as the assembly made it: a row without a
// boot sector, reserved sectors or size is an inferred volume's.
DeepFatVolume DeepFatVolumeOfRow(const FatVolumeRow& row);

// Adds one store volume per FAT volume and each volume's folder rows, straight from the directory
// rows the assembly gave a volume (ForEachDeepFatFolder), the catch-all folder first, on the
// first volume, its time the FAT time word given. Nothing is added without a volume. Also keeps
// the volumes in the store's FAT volume table, a volume whose end one of `partitions` cut with
// that end as its "End Sector" (so that a scan log keeps it).
void StoreDeepFatVolumes(FoundStore& store, const CString& devicePath, uint64_t rangeFirst, uint64_t rangeEnd,
                         const std::vector<DeepFatVolume>& volumes, const std::vector<FatDirCluster>& dirs,
                         uint16_t catchAllTime, const std::vector<PartitionExtent>& partitions = {});

// The volume of the records of `map` a record found at `sector` lies in: index k for
// map.volumes[k], the last (map.volumes.size()) for the records of none, read with map.fallback.
// A record goes to the volume map.ForRecord(sector) names (the records of none to the volume that
// begins where the fallback does, when one does: two store volumes are never counted from one
// cluster 0).
size_t DeepNtfsVolumeOfRecord(const NtfsGeometryMap& map, uint64_t sector);

// One NTFS store volume per volume of `map`, each with its own cluster size and cluster 0. A
// volume spans from its cluster 0 to the end its total sectors give, else to the next volume's
// start, else to rangeEnd; one that begins inside one of `partitions` ends no later than that
// partition. The store index of each volume of `map` (index k for map.volumes[k]) and, last, of
// the volume of the records of none, over rangeFirst to rangeEnd (held to the partition rangeFirst
// lies in) with the fallback geometry, made when withLeftover or when `map` has no volume
// (FoundStore::kNoVolume otherwise).
std::vector<uint32_t> AddDeepNtfsVolumes(FoundStore& store, const CString& devicePath, uint64_t rangeFirst,
                                         uint64_t rangeEnd, const NtfsGeometryMap& map, bool withLeftover,
                                         const std::vector<PartitionExtent>& partitions = {});

// What a carving scan keeps of the records that are no rows of their own, or not yet whole ones.
struct DeepNtfsRecordFinds {
    // An extension record: where it lies, the number its header gives, the base record it names,
    // and whether it holds a $FILE_NAME (or, freed, the bytes of one removed from it).
    struct Extension {
        uint64_t sector = 0;
        uint32_t number = 0;
        bool numbered = false;
        bool named = false;
        uint64_t base = 0; // the base record's number
    };
    // A base record another record may name: one without a name of its own whose attribute list
    // leads to one, or a deleted one that holds attributes and whose list may be gone; or one whose
    // list may lead to a better name than its own. The row it became (a folder row of the found
    // entries, or a file row) and what its header says.
    struct ToName {
        uint64_t sector = 0;
        size_t row = 0;
        uint32_t number = 0; // the header's, when numbered
        uint16_t sequence = 0;
        uint8_t flags = 0;
        bool numbered = false;
        bool folder = false;
        bool listed = false;  // it has an attribute list
        bool named = false;   // it has a name of its own, kept when no better one is found
        bool indexed = false; // a folder that keeps its index ($INDEX_ROOT or $INDEX_ALLOCATION)
    };
    std::vector<Extension> extensions;
    std::vector<ToName> toName;
    // The freed extension records that hold a data extent, for the saves of deleted files whose
    // lists no longer name them all; not complete when the scan was stopped.
    NtfsFreedExtentNotes freed;
};
// At most this many of either are kept from one scan; the records beyond are read through the $MFT.
constexpr size_t kMaxDeepNtfsRecordFinds = size_t(1) << 20;

// Carved NTFS records straight into the found-entry store as the scan decodes them: each file a
// file row and each numbered folder other than the root (".") a folder row, its name stored once,
// in the store. Which volume a row belongs to is known only once the whole scan has found the
// system files' records that place the volumes: until FinishDeepNtfsStore every row waits on
// FoundStore::kNoVolume. Boot sectors and the system files' records are kept for that.
// Extension records are no rows: each is kept as where a record of its number lies, and a base
// record that is nameless for want of them, or whose list may name it better than it names itself
// (a DOS name of its own, the long name in another record), is kept to be named once the volumes are
// known.
class DeepNtfsStoreSink : public DeepScanSink {
public:
    explicit DeepNtfsStoreSink(FoundStore& store) : m_store(store) { }
    void NtfsBoot(const NtfsBootHit& hit) override { boots.push_back(hit); }
    void MftRecordFound(const uint8_t* raw, uint64_t sector) override;
    // A record decoded elsewhere.
    void MftRecord(const CarvedMftRecord& record) override;

    std::vector<NtfsBootHit> boots;
    std::vector<NtfsSystemRecord> systemRecords;
    DeepNtfsRecordFinds records;

private:
    // toName: a record another may name (DeepNtfsRecordFinds::ToName, whose listed and indexed go
    // with it).
    void Add(const CarvedMftName& record, uint64_t sector, bool toName, bool listed = false, bool indexed = false);

    FoundStore& m_store;
    CarvedMftName m_record;
    uint8_t m_fixedUp[kMftRecordSize];
    std::vector<uint8_t> m_named;
};

// Ends a Deep NTFS scan into `store` with the volumes of `map` (InferNtfsVolumeGeometry from the
// sink's records): one store volume per volume (AddDeepNtfsVolumes; the records of none on one
// more when there are any), every row on the volume DeepNtfsVolumeOfRecord names, each folder kept
// once per volume however often its record was found there (same number, parent and name: the
// $MFT's mirror, an old copy of the $MFT), the $MFTMirr's copies of records found in the $MFT
// marked as copies (never listed), and the catch-all folder on the first volume, its time the FAT
// time word given. Volumes are held to `partitions` as AddDeepNtfsVolumes holds them.
// With `records` (the sink's) and the device, each volume also knows where its extension records
// lie (FoundVolume::ntfsRecords), and each base record the sink kept to be named is named from the
// records its list names (the best name space among them and its own), else from the extension
// records of its volume that still belong to it and hold one: its name, parent and date. The copies
// of one record on one volume (its number, sequence number and state alike) are read once and named
// alike, and no more records are read for a name once one of the best name space is found. A folder
// with a list whose name is found in none stays, nameless, under the catch-all folder, as does a
// deleted one that lost its name and list but keeps its index when a row of its volume lies in it;
// any other nameless folder is no folder found. A set `stop` ends the naming: the records not named
// by then stay as the scan found them.
// Each volume's index also keeps the freed extension records with data extents that the scan met.
void FinishDeepNtfsStore(FoundStore& store, const NtfsGeometryMap& map, const CString& devicePath, uint64_t rangeFirst,
                         uint64_t rangeEnd, uint16_t catchAllTime, const std::vector<PartitionExtent>& partitions = {},
                         const DeepNtfsRecordFinds* records = nullptr, SectorSource* device = nullptr,
                         const StopFlag* stop = nullptr);

// What a Deep Search scan tells while it runs: the carving's progress, and that the carving is
// over and the results are made from what it found.
struct DeepScanObserver {
    ScanProgressFn progress;
    std::function<void()> finishing;
};

// Deep Search's scan of the request's range on `device` into an empty `store`: the carving for
// the request's file system (NTFS file records, or FAT boot sectors and directory clusters), which
// polls `stop`; then, once, on what it found (a stop pressed meanwhile ends only the naming of NTFS
// records from others): the NTFS volumes as their own records place them (the request's volume starts and volume start only
// for records no volume claims), or the FAT volumes assembled with their FAT copies; every
// volume reaching to the request's volumeEnd at the latest, and no further than the partition of
// the request's partitions it begins in. catchAllTime: the FAT time word of the catch-all folder.
void ScanDeepRequest(SectorSource& device, const ScanRequest& request, FoundStore& store, uint16_t catchAllTime,
                     const StopFlag* stop, const DeepScanObserver& observer);
