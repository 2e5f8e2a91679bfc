// A file whose attributes do not fit one file record keeps some of them in extension records,
// which the attribute list of its base record names: its $FILE_NAME, and the extents of its
// unnamed $DATA, each beginning at a virtual cluster of its own (a file in hundreds of fragments
// has more runs than one record holds). Here: reading that list, telling whether a record read is
// still an extension of that file, and gathering the file's name and data back from its records.
// Bytes and sectors in, values out.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "storage/pure/mft_runs.h"
#include "storage/pure/ntfs_record.h"
#include "storage/pure/sector_source.h"

// Where an NTFS volume's clusters lie.
struct NtfsVolumePlace {
    uint64_t cluster0 = 0; // the sector of cluster 0
    uint32_t sectorsPerCluster = 0;
    uint64_t endSector = UINT64_MAX; // the sector after the last one the volume's data may come from
};

// An attribute list longer than this is no list of one file's attributes.
constexpr uint64_t kMaxAttributeListBytes = 256 * 1024;

// The value of the first unnamed $ATTRIBUTE_LIST of a fixed-up record: resident, or read through
// its runs (at most kMaxAttributeListBytes of it). False when the record has none or it cannot be
// read whole.
bool ReadNtfsAttributeList(SectorSource& source, const uint8_t* record, const NtfsVolumePlace& volume,
                           std::vector<uint8_t>& value);

// True when a fixed-up record has an $ATTRIBUTE_LIST.
bool HasNtfsAttributeList(const uint8_t* record);

// True when a fixed-up record keeps a folder's index ($INDEX_ROOT or $INDEX_ALLOCATION): a folder
// still, whatever became of its name and list.
bool HasNtfsIndex(const uint8_t* record);

// What an extension record must show to be taken as the one a base record's list names.
struct NtfsExtensionWanted {
    uint64_t number = 0;   // the record the list names
    uint16_t sequence = 0; // its sequence number as listed; 0: not given
    uint64_t baseNumber = 0;
    uint16_t baseSequence = 0; // the base record's own
    bool baseInUse = true;
};

// Whether an extension record's header says it still belongs to the base record of that number
// and header: it names the base's number, is in use as the base is, and its base reference keeps
// the base's sequence number (for a deleted base, which counted its own up when it was freed, the
// one before it).
bool ExtensionBelongsTo(const NtfsRecordHeader& extension, uint64_t baseNumber, const NtfsRecordHeader& base);

// Whether a fixed-up record is the extension record `wanted` names: a file record that is an
// extension record, whose own number (where its header keeps one) is the wanted one and whose base
// reference names the base record. The records of a file in use are in use, with the sequence
// numbers the list and their base reference give. A deleted file's records were freed with it:
// each is still deleted, and its sequence number and its base's may each be one past what they
// were (freeing a record counts its sequence number up). Anything else is a record reused since.
bool IsWantedExtension(const uint8_t* record, const NtfsExtensionWanted& wanted);

// Where a fixed-up record that is a freed extension record holding an extent of an unnamed $DATA
// past its first cluster belongs: the base record it names and the extent's first virtual cluster.
// False for every other record (in use, a base record, no such extent).
bool FreedDataExtentOf(const uint8_t* record, uint64_t* baseNumber, uint64_t* lowestVcn);

// Whether a fixed-up record is a freed extension record of the deleted base record `base` (number
// baseNumber) whose unnamed $DATA extent begins at virtual cluster `vcn`: one that goes on with the
// base's data where its list may no longer say so. It must name the base with the sequence number
// the base had in use (the one before its own, 0 skipped): unlike a listed record (ExtensionBelongsTo),
// one naming the base's present sequence, or none, is not taken, as it can be the record of a file
// that had the number later.
bool IsFreedExtentOf(const uint8_t* record, uint64_t baseNumber, const NtfsRecordHeader& base, uint64_t vcn);

// Whether two fixed-up records hold the same unnamed $DATA: the same extents, each beginning at the
// same virtual cluster with the same runs, and the same resident bytes. Two copies of one record
// found in different places that differ there are of different writes: neither can be told the
// one a file's list meant.
bool SameUnnamedData(const uint8_t* a, const uint8_t* b);

// Where a volume's file records are read from by number.
class NtfsRecordSource {
public:
    virtual ~NtfsRecordSource();
    // Reads into `record` (1024 bytes, fixed up) the first record of the places it knows for
    // wanted.number that IsWantedExtension takes; false when none does.
    virtual bool ReadExtension(const NtfsExtensionWanted& wanted, uint8_t* record) = 0;
    // Reads into `record` a record IsFreedExtentOf takes for the deleted base record `base`, number
    // baseNumber, and `vcn`, wherever its list names it or not; false when none is known (here,
    // always), and when the records it knows of disagree on that extent.
    virtual bool ReadFreedExtent(uint64_t baseNumber, const NtfsRecordHeader& base, uint64_t vcn, uint8_t* record);
};

// Records by their place along the $MFT's runs; a record whose fix-up fails is not taken.
class MftRunRecordSource : public NtfsRecordSource {
public:
    MftRunRecordSource(SectorSource& source, const MftRunTableRecord& runs) : m_source(source), m_runs(runs) { }
    bool ReadExtension(const NtfsExtensionWanted& wanted, uint8_t* record) override;

private:
    SectorSource& m_source;
    const MftRunTableRecord& m_runs;
};

// Reads the two sectors at `sector` as a record and keeps it when its fix-up finds every sector
// whole and IsWantedExtension takes it.
bool ReadExtensionAt(SectorSource& source, uint64_t sector, const NtfsExtensionWanted& wanted, uint8_t* record);

// A record from which the last attribute was removed keeps that attribute's bytes behind its end
// marker, all but its type and length, which the marker took (ntfs-3g empties the extension record
// that held a deleted file's name so). The record with that attribute put back as a $FILE_NAME, when
// what lies there is a resident unnamed attribute whose value is a $FILE_NAME exactly as long as the
// name it holds; false otherwise.
bool RestoreRemovedFileName(const uint8_t* record, std::vector<uint8_t>& out);

// The record a name is read from: a copy of `record` when it holds a $FILE_NAME; for a record no
// longer in use, the copy RestoreRemovedFileName gives. False when neither holds one.
bool NameHoldingRecord(const uint8_t* record, std::vector<uint8_t>& out);

// Chooses, among the records of one file offered to it, the one whose $FILE_NAME is of the
// preferred name space (Win32, Win32 and DOS, DOS, POSIX; the first offered on a tie).
class BestNameRecord {
public:
    // A record as it is (the base record's own name).
    void OfferAsItIs(const uint8_t* record);
    // A record of the file's others, NameHoldingRecord's name counted for a freed one.
    void Offer(const uint8_t* record);
    // Nothing better can be offered.
    bool Done() const { return m_rank == 0; }
    // The record chosen, with the base record's flags byte written into it so that the name readers
    // read it as the base's (a folder's name, or a file's); empty when none holds a name.
    std::vector<uint8_t> Take(uint8_t baseFlags);

private:
    void Consider(std::vector<uint8_t>& record);
    std::vector<uint8_t> m_best, m_offered;
    size_t m_rank = 4;
};

// A file's name and data, gathered from its base record and the records its list names.
struct NtfsFileParts {
    // A copy of the record that holds the $FILE_NAME chosen (the preferred name space among all its
    // records; the base record's own on a tie), with the base record's flags written into it so that
    // the name readers read it as the base's (a folder's name, or a file's); empty without a name.
    std::vector<uint8_t> nameRecord;
    // The unnamed $DATA: found when its extent that begins at virtual cluster 0 was.
    bool hasData = false;
    bool resident = false;
    std::vector<uint8_t> residentValue;
    uint64_t dataSize = 0;
    uint64_t initializedSize = 0;
    uint16_t flags = 0;
    uint8_t compressionUnit = 0;
    // The runs of every extent in the order of their first virtual clusters, up to the first extent
    // that could not be taken.
    std::vector<ClusterRun> runs;
    // Every record the list names for the data was taken, and each extent begins where the one
    // before it ended.
    bool whole = true;
};

// kGatherFreedData, with kGatherData: a deleted file whose extents stop short of its size goes on in
// the freed extension records that still name it (ntfs-3g, deleting a file, drops its last extent's
// entry from the list), each taken from NtfsRecordSource::ReadFreedExtent where the one before
// ended, until the size is reached; short of it, the data is not whole. A file in use keeps to its
// list.
enum : unsigned { kGatherName = 1, kGatherData = 2, kGatherFreedData = 4 };

// The number given for a base record whose own number cannot be told (an NTFS 3.0 header keeps
// none, and no $MFT places it).
constexpr uint64_t kUnknownNtfsRecord = UINT64_MAX;

// Gathers what `what` asks of the file whose fixed-up base record is `base`, number baseNumber, on
// `volume`, the records its list names read from `records`. A base record without an attribute list
// gives nothing; a list that cannot be read gives what the base record holds alone, not whole. At
// most the records the list names are read, each once (and, with kGatherFreedData, as many more
// as the longest list could name). With baseNumber kUnknownNtfsRecord nothing is read from
// `records`: what the base record holds is given, whole only when it holds every extent the list
// names.
NtfsFileParts GatherNtfsFileParts(SectorSource& source, const uint8_t* base, uint64_t baseNumber,
                                  const NtfsVolumePlace& volume, NtfsRecordSource& records, unsigned what);
