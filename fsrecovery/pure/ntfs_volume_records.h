// The file records of one NTFS volume of the found-entry store, by number: what a file whose
// attribute list names extension records is gathered through when it is listed, opened or saved.
// The places tried for a record, in turn: where a carving scan found an extension record of that
// number, the record of that number along the volume's $MFT (its runs as the scan knew them, else
// as the $MFT the volume's geometry names has them), and the place as far from the base record as
// the numbers are apart (a $MFT kept in one piece, read only where the record there keeps its own
// number). Each record must lie inside the volume and be the one the list names.
#pragma once
#include <cstdint>

#include "fsrecovery/pure/found_store.h"
#include "storage/pure/ntfs_file_records.h"

class VolumeRecordReader : public NtfsRecordSource {
public:
    VolumeRecordReader(SectorSource& device, const FoundVolume& volume);

    // The parts of the file whose fixed-up base record was read at `sector` (GatherNtfsFileParts).
    // A record whose own number cannot be told (no number in its header, no $MFT that places it)
    // has no extension record that could be checked as its: its parts are what it holds alone.
    NtfsFileParts Gather(const uint8_t* base, uint64_t sector, unsigned what);

    bool ReadExtension(const NtfsExtensionWanted& wanted, uint8_t* record) override;

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
    // The $MFT's runs: the index's, else loaded once from params.mftSector; null when unknown.
    const MftRunTableRecord* MftRuns();
    bool Inside(uint64_t sector) const;

    SectorSource& m_device;
    const FoundVolume& m_volume;
    NtfsVolumePlace m_place;
    uint64_t m_firstSector = 0;
    MftRunTableRecord m_loaded;
    bool m_loadTried = false;
    // The base record being gathered: where it lies and its number.
    uint64_t m_baseSector = 0;
    uint64_t m_baseNumber = 0;
};
