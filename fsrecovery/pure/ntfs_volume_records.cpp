#include "fsrecovery/pure/ntfs_volume_records.h"

#include <algorithm>

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
        const uint64_t mft = m_volume.params.mftSector;
        if (mft != 0 && Inside(mft))
            LoadMftRunTableFrom(m_device, m_place.cluster0, mft, m_place.sectorsPerCluster, m_loaded,
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
    // Where a carving scan found records of that number.
    if (m_volume.ntfsRecords) {
        const auto& found = m_volume.ntfsRecords->found;
        auto at = std::lower_bound(found.begin(), found.end(), std::make_pair(wanted.number, uint64_t(0)));
        for (; at != found.end() && at->first == wanted.number; ++at)
            if (Inside(at->second) && ReadExtensionAt(m_device, at->second, wanted, record))
                return true;
    }
    // Along the $MFT (whose runs are held to the volume).
    if (const MftRunTableRecord* runs = MftRuns()) {
        uint64_t first = 0;
        MftRunRecordSource along(m_device, *runs);
        if (MftRecordToLbaIn(wanted.number, *runs, &first) && Inside(first) && along.ReadExtension(wanted, record))
            return true;
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
