#include "fsrecovery/pure/ntfs_volume_records.h"

#include <algorithm>

void NtfsFreedExtentNotes::Note(const uint8_t* record, uint64_t sector)
{
    NtfsFreedExtent e;
    e.sector = sector;
    if (!FreedDataExtentOf(record, &e.base, &e.lowestVcn))
        return;
    if (extents.size() >= kMaxFreedExtentsKept)
        complete = false;
    else
        extents.push_back(e);
}

void KeepFreedExtents(NtfsFreedExtentNotes& notes, bool seenAll, NtfsRecordIndex& index)
{
    std::sort(notes.extents.begin(), notes.extents.end());
    index.freed = std::move(notes.extents);
    index.freedKept = seenAll && notes.complete;
}

namespace {

enum class Agreed { None, Taken, Disagree };

// Reads into `record` the candidates `take(i, buffer)` reads and accepts, i from `first` to `end`.
// Two taken that hold different unnamed data are two writes of a record, or records of two files,
// with nothing to tell which one is meant: Disagree, and none is taken.
template <class Take> Agreed TakeAgreeing(size_t first, size_t end, uint8_t* record, Take take)
{
    bool taken = false;
    uint8_t other[kMftRecordSize];
    for (size_t i = first; i < end; ++i) {
        uint8_t* read = taken ? other : record;
        if (!take(i, read))
            continue;
        if (taken && !SameUnnamedData(record, other))
            return Agreed::Disagree;
        taken = true;
    }
    return taken ? Agreed::Taken : Agreed::None;
}

} // namespace

VolumeRecordReader::VolumeRecordReader(SectorSource& device, const FoundVolume& volume)
    : m_device(device), m_volume(volume)
{
    m_place.cluster0 = volume.params.cluster0Start;
    m_place.sectorsPerCluster = volume.params.sectorsPerCluster;
    // The range scanned for the volume, when one is known, is all it may be read from.
    if (volume.endSector > volume.firstSector)
        m_place.endSector = volume.endSector;
    m_firstSector = std::min(volume.firstSector, volume.params.cluster0Start);
}

bool VolumeRecordReader::Inside(uint64_t sector) const
{
    return sector >= m_firstSector && sector < m_place.endSector &&
        m_place.endSector - sector >= kSectorsPerMftRecord;
}

const MftRunTableRecord* VolumeRecordReader::MftRuns()
{
    if (m_volume.ntfsRecords && m_volume.ntfsRecords->mftRuns.count() != 0)
        return &m_volume.ntfsRecords->mftRuns;
    if (!m_loadTried) {
        m_loadTried = true;
        // The copies of record 0 that lie in the volume, the $MFT's before the mirror's: the mirror's
        // is the only one where the $MFT's lies outside.
        uint64_t copies[2] = { 0, 0 };
        size_t count = 0;
        for (const uint64_t at : { m_volume.params.mftSector, m_volume.params.mftMirrSector })
            if (at != 0 && Inside(at))
                copies[count++] = at;
        if (count != 0)
            LoadMftRunTableFrom(m_device, m_place.cluster0, copies[0], copies[1], m_place.sectorsPerCluster, m_loaded,
                                m_place.endSector == UINT64_MAX ? UINT64_MAX : m_place.endSector - 1);
    }
    return m_loaded.count() != 0 ? &m_loaded : nullptr;
}

int VolumeRecordReader::ReadRecordAt(uint64_t sector, uint8_t* record)
{
    if (m_device.Read(sector, kSectorsPerMftRecord, record) == 0)
        return 0;
    uint8_t copy[kMftRecordSize];
    std::copy(record, record + kMftRecordSize, copy);
    if (ApplyNtfsFixup(record, kMftRecordSize))
        return 2;
    uint64_t number = 0;
    const MftRunTableRecord* runs = IsFileRecord(copy, kMftRecordSize) ? MftRuns() : nullptr;
    if (runs != nullptr && MftRecordAtSector(sector, *runs, &number) &&
        ReadMftRecordAt(m_device, *runs, number, copy) && IsFileRecord(copy, kMftRecordSize) &&
        ApplyNtfsFixup(copy, kMftRecordSize)) {
        std::copy(copy, copy + kMftRecordSize, record);
        return 2;
    }
    return 1;
}

bool VolumeRecordReader::NumberOf(const uint8_t* record, uint64_t sector, uint64_t* number)
{
    const NtfsRecordHeader header = ReadNtfsRecordHeader(record);
    if (header.numbered) {
        *number = header.number;
        return true;
    }
    const MftRunTableRecord* runs = MftRuns();
    return runs != nullptr && MftRecordAtSector(sector, *runs, number);
}

NtfsFileParts VolumeRecordReader::Gather(const uint8_t* base, uint64_t sector, unsigned what)
{
    if (!HasNtfsAttributeList(base))
        return NtfsFileParts();
    uint64_t number = 0;
    if (!NumberOf(base, sector, &number))
        return GatherNtfsFileParts(m_device, base, kUnknownNtfsRecord, m_place, *this, what);
    m_baseSector = sector;
    m_baseNumber = number;
    return GatherNtfsFileParts(m_device, base, number, m_place, *this, what);
}

bool VolumeRecordReader::ReadExtension(const NtfsExtensionWanted& wanted, uint8_t* record)
{
    // Along the $MFT (whose runs are held to the volume): the record of that number as the volume
    // holds it now, before any copy found elsewhere, which may be an older write of it.
    if (const MftRunTableRecord* runs = MftRuns()) {
        uint64_t first = 0;
        MftRunRecordSource along(m_device, *runs);
        if (MftRecordToLbaIn(wanted.number, *runs, &first) && Inside(first) && along.ReadExtension(wanted, record))
            return true;
    }
    // Where a carving scan found records of that number. Copies that hold different data are of
    // different writes, and none can be told the file's: none is taken.
    if (m_volume.ntfsRecords) {
        const auto& found = m_volume.ntfsRecords->found;
        const auto at = std::equal_range(found.begin(), found.end(), std::make_pair(wanted.number, uint64_t(0)),
                                         [](const auto& a, const auto& b) { return a.first < b.first; });
        const Agreed agreed = TakeAgreeing(size_t(at.first - found.begin()), size_t(at.second - found.begin()), record,
                                           [&](size_t i, uint8_t* read) {
                                               return Inside(found[i].second) &&
                                                   ReadExtensionAt(m_device, found[i].second, wanted, read);
                                           });
        if (agreed != Agreed::None)
            return agreed == Agreed::Taken;
    }
    // As far from the base record as the numbers are apart; only a record that keeps its own number
    // can show it is the one.
    if (wanted.baseNumber != m_baseNumber)
        return false;
    const uint64_t apart = wanted.number > m_baseNumber ? wanted.number - m_baseNumber : m_baseNumber - wanted.number;
    if (apart > UINT64_MAX / kSectorsPerMftRecord)
        return false;
    const uint64_t distance = apart * kSectorsPerMftRecord;
    uint64_t sector = 0;
    if (wanted.number > m_baseNumber) {
        if (distance > UINT64_MAX - m_baseSector)
            return false;
        sector = m_baseSector + distance;
    } else {
        if (distance > m_baseSector)
            return false;
        sector = m_baseSector - distance;
    }
    return Inside(sector) && ReadExtensionAt(m_device, sector, wanted, record) && ReadNtfsRecordHeader(record).numbered;
}

bool VolumeRecordReader::ReadFreedExtent(uint64_t baseNumber, const NtfsRecordHeader& base, uint64_t vcn,
                                         uint8_t* record)
{
    const std::vector<NtfsFreedExtent>& freed = FreedExtents();
    NtfsFreedExtent key;
    key.base = baseNumber;
    key.lowestVcn = vcn;
    // Every record that would go on there is read: two that disagree (a stale copy, a record of
    // another file of the base's number) leave nothing to tell which is the file's.
    size_t first = size_t(std::lower_bound(freed.begin(), freed.end(), key) - freed.begin()), end = first;
    while (end < freed.size() && freed[end].base == baseNumber && freed[end].lowestVcn == vcn)
        ++end;
    return TakeAgreeing(first, end, record, [&](size_t i, uint8_t* read) {
               return Inside(freed[i].sector) && ReadRecordAt(freed[i].sector, read) == 2 &&
                   IsFreedExtentOf(read, baseNumber, base, vcn);
           }) == Agreed::Taken;
}

const std::vector<NtfsFreedExtent>& VolumeRecordReader::FreedExtents()
{
    if (m_volume.ntfsRecords && m_volume.ntfsRecords->freedKept)
        return m_volume.ntfsRecords->freed;
    // Looked up once for the volume's results, not once per save or open; a look that was stopped
    // is not kept and is made again next time.
    NtfsVolumeLookups& kept = *m_volume.lookups;
    if (kept.freedLooked)
        return kept.freed;
    NtfsFreedExtentNotes notes;
    bool whole = true;
    if (const MftRunTableRecord* runs = MftRuns())
        whole = NoteFreedAlongMft(*runs, notes);
    if (whole && m_volume.ntfsRecords) {
        uint8_t record[kMftRecordSize];
        const auto& found = m_volume.ntfsRecords->found;
        for (size_t i = 0; i < found.size() && whole; ++i) {
            if (i % kStopPollRecords == 0 && Stopped())
                whole = false;
            else if (Inside(found[i].second) && ReadRecordAt(found[i].second, record) == 2)
                notes.Note(record, found[i].second);
        }
    }
    if (!whole) {
        static const std::vector<NtfsFreedExtent> none;
        return none;
    }
    // A carved record that lies on the $MFT was met along it too.
    std::sort(notes.extents.begin(), notes.extents.end());
    notes.extents.erase(std::unique(notes.extents.begin(), notes.extents.end()), notes.extents.end());
    kept.freed = std::move(notes.extents);
    kept.freedLooked = true;
    return kept.freed;
}

bool VolumeRecordReader::Stopped() const
{
    return m_stopped && m_stopped();
}

bool VolumeRecordReader::NoteFreedAlongMft(const MftRunTableRecord& runs, NtfsFreedExtentNotes& notes)
{
    constexpr uint64_t kBlockSectors = 256;
    std::vector<uint8_t> block(size_t(kBlockSectors) * kSectorSize);
    uint64_t along = 0; // the $MFT's sectors before the run
    for (size_t r = 0; r < runs.count(); ++r) {
        const uint64_t start = runs.starts[r], length = runs.lengths[r];
        // The first sector of a record in this run (a record begun in the run before ends in it).
        uint64_t k = (kSectorsPerMftRecord - along % kSectorsPerMftRecord) % kSectorsPerMftRecord;
        along += length;
        if (start == 0)
            continue; // a hole
        // Whole records a block at a time; after a short read the next begins where it stopped.
        while (k < length && length - k >= kSectorsPerMftRecord && Inside(start + k)) {
            if (Stopped())
                return false;
            const uint64_t sector = start + k;
            uint64_t want = std::min({ kBlockSectors, length - k, m_place.endSector - sector });
            want -= want % kSectorsPerMftRecord;
            const uint64_t got = m_device.Read(sector, uint32_t(want), block.data()) / kSectorSize;
            const uint64_t whole = got - got % kSectorsPerMftRecord;
            for (uint64_t i = 0; i < whole; i += kSectorsPerMftRecord) {
                uint8_t* record = block.data() + i * kSectorSize;
                if (ApplyNtfsFixup(record, kMftRecordSize))
                    notes.Note(record, sector + i);
            }
            k += whole != 0 ? whole : want;
        }
        // A record that goes on in the next run is read along the $MFT.
        uint8_t record[kMftRecordSize];
        if (k < length && Inside(start + k) && ReadRecordAt(start + k, record) == 2)
            notes.Note(record, start + k);
    }
    return true;
}
