// The file records of one NTFS volume of the found-entry store, by number: what a file whose
// attribute list names extension records is gathered through when it is listed, opened or saved.
// The places tried for a record, in turn: the record of that number along the volume's $MFT (its
// runs as the scan knew them, else as the $MFT the volume's geometry names has them), where a
// carving scan found extension records of that number (all of them, which must agree on the data
// they hold), and the place as far from the base record as the numbers are apart (a $MFT kept in
// one piece, read only where the record there keeps its own number). Each record must lie inside
// the volume and be the one the list names.
// A deleted file's data that its list no longer names all of is looked for among the volume's freed
// extension records by the base record they name: as its scan kept them, else as they lie along
// its $MFT and where a carving scan found extension records, looked for once for the volume's
// results (FoundVolume::lookups), however many files are saved or opened.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "fsrecovery/pure/found_store.h"
#include "storage/pure/ntfs_file_records.h"

// At most this many freed extension records are kept per scan; with more, the scan's are not all.
constexpr size_t kMaxFreedExtentsKept = size_t(1) << 20;

// The freed extension records with a data extent (FreedDataExtentOf) that a walk over a volume's
// records meets: `complete` while none was left out.
struct NtfsFreedExtentNotes {
    std::vector<NtfsFreedExtent> extents;
    bool complete = true;
    // The fixed-up record found at `sector`.
    void Note(const uint8_t* record, uint64_t sector);
};

// Puts what a scan noted into `index`, taken as every one of the volume's freed extension records
// when the scan saw every record it could (`seenAll`) and left none out.
void KeepFreedExtents(NtfsFreedExtentNotes& notes, bool seenAll, NtfsRecordIndex& index);

class VolumeRecordReader : public NtfsRecordSource {
public:
    VolumeRecordReader(SectorSource& device, const FoundVolume& volume);

    // The parts of the file whose fixed-up base record was read at `sector` (GatherNtfsFileParts).
    // A record whose own number cannot be told (no number in its header, no $MFT that places it)
    // has no extension record that could be checked as its: its parts are what it holds alone.
    NtfsFileParts Gather(const uint8_t* base, uint64_t sector, unsigned what);

    bool ReadExtension(const NtfsExtensionWanted& wanted, uint8_t* record) override;
    // The freed extension records of the scan's index, else (looked up once for the volume's
    // results) those along the $MFT and at the carved places; each read whole where it lies and
    // taken as IsFreedExtentOf says. Where two of them would go on at `vcn` with different runs,
    // none is taken.
    bool ReadFreedExtent(uint64_t baseNumber, const NtfsRecordHeader& base, uint64_t vcn, uint8_t* record) override;

    // Asked between blocks of the look for freed extension records along the $MFT and at the carved
    // places: true ends it, the look then kept for nothing and no record taken from it (the save it
    // serves is being stopped). Empty: never.
    void SetStop(std::function<bool()> stopped) { m_stopped = std::move(stopped); }

    // Reads the record whose first sector is `sector` into `record` (1024 bytes) and applies its
    // fix-up. Its two sectors are read one after the other; a record that does not read whole so
    // (every sector's tail holding its update sequence), as one that ends in another run of the
    // $MFT does, is read again along the $MFT, sector by sector. 0: nothing read; 1: read, but not
    // whole; 2: whole.
    int ReadRecordAt(uint64_t sector, uint8_t* record);

    // The number of the record read at `sector`: its header's, else its place along the $MFT.
    bool NumberOf(const uint8_t* record, uint64_t sector, uint64_t* number);

    const NtfsVolumePlace& Place() const { return m_place; }
    SectorSource& Device() const { return m_device; }
    const FoundVolume& Volume() const { return m_volume; }

private:
    // The $MFT's runs: the index's, else loaded once from record 0 at params.mftSector, or from the
    // mirror's copy at params.mftMirrSector where that one is torn or outside; null when unknown.
    const MftRunTableRecord* MftRuns();
    bool Inside(uint64_t sector) const;
    const std::vector<NtfsFreedExtent>& FreedExtents();
    // Every record along the $MFT's runs, a block at a time; false when stopped part way.
    bool NoteFreedAlongMft(const MftRunTableRecord& runs, NtfsFreedExtentNotes& notes);
    bool Stopped() const;
    // The carved places read between two polls of the stop.
    static constexpr size_t kStopPollRecords = 256;

    SectorSource& m_device;
    const FoundVolume& m_volume;
    NtfsVolumePlace m_place;
    uint64_t m_firstSector = 0;
    MftRunTableRecord m_loaded;
    bool m_loadTried = false;
    // The base record being gathered: where it lies and its number.
    uint64_t m_baseSector = 0;
    uint64_t m_baseNumber = 0;
    std::function<bool()> m_stopped;
};
