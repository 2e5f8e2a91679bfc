#include "fsrecovery/pure/volume_listing.h"

#include <optional>

#include "app/pure/textservices.h"
#include "fsrecovery/pure/ntfs_volume_records.h"
#include "storage/pure/fat_chain.h"
#include "storage/pure/mft_runs.h"
#include "storage/pure/ntfs_record.h"

namespace {

// The long-name assembly asks for "the sector before" a directory sector when a name begins
// there. That is the sector before it in the folder's own order: with small clusters the
// previous cluster of the chain may lie anywhere on the volume.
class DirectoryOrderSource : public SectorSource {
public:
    explicit DirectoryOrderSource(SectorSource& device) : m_device(device) { }
    // The directory sector about to be listed; the ones before it stay reachable.
    void MoveTo(uint64_t sector)
    {
        if (m_seen > 0) {
            for (size_t i = kKept - 1; i > 0; --i)
                m_before[i] = m_before[i - 1];
            m_before[0] = m_current;
        }
        m_current = sector;
        m_seen = m_seen < kKept + 1 ? m_seen + 1 : m_seen;
    }
    size_t Read(uint64_t sector, uint32_t count, uint8_t* buf) override
    {
        const uint64_t back = m_current - sector;
        if (count != 1 || sector >= m_current || back >= m_seen) {
            BeginSectorRead(count, buf);
            return 0;
        }
        return m_device.Read(m_before[back - 1], 1, buf);
    }

private:
    // A long name spans at most 20 entries: 640 bytes, so two sectors back at most.
    static constexpr size_t kKept = 2;
    SectorSource& m_device;
    uint64_t m_before[kKept] = {};
    uint64_t m_current = 0;
    size_t m_seen = 0;
};

// Calls `sector` with each directory sector of the FAT folder in order until it answers false;
// `fixedRoot` tells the FAT16 root's sectors.
template <typename SectorFn>
void ForEachDirectorySector(SectorSource& device, const FoundVolume& volume, uint64_t folderCluster,
                            const StopFlag* stop, SectorFn sector)
{
    const FatVolumeParamsRecord& p = volume.params;
    if (folderCluster == 0 && volume.kind == FsKind::Fat16) {
        for (uint32_t j = 0; j < p.rootDirSectors && !IsStopped(stop); ++j) {
            if (!sector(uint64_t(p.rootStart) + j, true))
                return;
        }
        return;
    }
    uint32_t start = uint32_t(folderCluster);
    if (folderCluster == 0) {
        if (volume.kind != FsKind::Fat32 || p.rootStart == 0)
            return;
        start = p.rootStart;
    }
    if (p.sectorsPerCluster == 0 || !IsFat(volume.kind))
        return;
    const uint64_t perCluster = p.sectorsPerCluster;
    FatChainCursor chain(device, { volume.kind == FsKind::Fat32, p.firstFatSector, p.sectorsPerFat }, start);
    for (uint32_t cluster = 0; chain.Next(cluster);) {
        if (cluster == 0)
            continue;
        for (uint64_t j = 0; j < perCluster; ++j) {
            if (IsStopped(stop) || !sector(uint64_t(cluster) * perCluster + p.cluster0Start + j, false))
                return;
        }
    }
}

} // namespace

void ForEachFatDirectoryEntry(SectorSource& device, const FoundVolume& volume, uint64_t folderCluster, bool withFolders,
                              const StopFlag* stop, const std::function<void(const FatListedEntry&)>& entry)
{
    DirectoryOrderSource ordered(device);
    uint8_t buffer[kSectorSize];
    const bool fat32 = volume.kind == FsKind::Fat32;
    ForEachDirectorySector(device, volume, folderCluster, stop, [&](uint64_t sector, bool fixedRoot) {
        ordered.MoveTo(sector);
        if (device.Read(sector, 1, buffer) == 0)
            return true;
        const bool more = ListFatDirectorySector(&ordered, buffer, sector, fat32, withFolders, stop, entry);
        // In the fixed FAT16 root an end mark ends only its own sector.
        return more || fixedRoot;
    });
}

void ListNtfsFilesFrom(FoundStore& store, uint32_t volume, uint64_t folderRecord, SectorSource& device,
                       const StopFlag* stop, FileSink& sink)
{
    if (volume >= store.VolumeCount())
        return;
    const std::pair<const uint32_t*, const uint32_t*> rows = store.NtfsFilesOf(volume, folderRecord);
    // Made on the first file whose record names others.
    std::optional<VolumeRecordReader> records;
    for (const uint32_t* at = rows.first; at != rows.second && !IsStopped(stop); ++at) {
        const uint32_t index = *at;
        const NtfsFileRow row = store.NtfsFile(index);
        CString name = (row.flags & NtfsFileRow::kNamed) ? store.NtfsFileName(index) : CString();
        uint64_t size = row.size, stamp = 0;
        if (!name.IsEmpty() && (row.flags & NtfsFileRow::kSized)) {
            stamp = row.fileTime;
        } else {
            uint8_t record[kMftRecordSize];
            if (device.Read(row.sector, kSectorsPerMftRecord, record) != kMftRecordSize)
                continue;
            if (!ApplyNtfsFixup(record, sizeof record)) {
                // Not whole where it begins: a record the $MFT continues in another run.
                if (!records)
                    records.emplace(device, store.Volume(volume));
                if (records->ReadRecordAt(row.sector, record) != 2)
                    continue;
            }
            NtfsFileInfo info = ReadNtfsFileInfo(record, stop);
            if (IsStopped(stop))
                break;
            // A file in several records: its size, and a name of a better name space than the base
            // record's own (a DOS name there, the long name in another), may lie in others. A name
            // the scan settled is kept.
            if (HasNtfsAttributeList(record)) {
                if (!records)
                    records.emplace(device, store.Volume(volume));
                const unsigned what = kGatherData | (name.IsEmpty() ? unsigned(kGatherName) : 0u);
                const NtfsFileParts parts = records->Gather(record, row.sector, what);
                if (!parts.nameRecord.empty()) {
                    const NtfsFileInfo named = ReadNtfsFileInfo(parts.nameRecord.data(), stop);
                    info.name = named.name;
                    info.fileTime = named.fileTime;
                }
                info.size = parts.hasData ? parts.dataSize : 0;
            }
            const bool named = !name.IsEmpty();
            if (!named) {
                name = info.name;
                stamp = info.fileTime;
            }
            size = info.size;
            store.SetNtfsFileDetails(index, named ? CString() : name, size, stamp);
            if (stamp == 0)
                stamp = store.NtfsFile(index).fileTime;
        }
        if (name.IsEmpty())
            continue;
        FoundFileRef file;
        file.name = name;
        file.size = size;
        file.ntfs = true;
        file.recordSector = row.sector;
        file.volume = volume;
        CString cells[10];
        cells[2] = DecimalText(size);
        FormatFileTime(stamp, cells[3], cells[4]);
        cells[5] = DecimalText(row.sector);
        cells[6] = DecimalText(row.parent);
        cells[7] = L"0";
        sink.Add(file, cells);
    }
}

void ListFatFilesFrom(const FoundStore& store, uint32_t volume, uint64_t folderCluster, SectorSource& device,
                      const StopFlag* stop, FileSink& sink, int volumeColumn)
{
    if (volume >= store.VolumeCount())
        return;
    ForEachFatDirectoryEntry(device, store.Volume(volume), folderCluster, false, stop,
                             [&](const FatListedEntry& listed) {
                                 FoundFileRef file;
                                 file.name = listed.name;
                                 file.size = listed.entry.size;
                                 file.firstCluster = listed.firstCluster;
                                 file.volume = volume;
                                 CString cells[10];
                                 cells[2].Format(L"%lu", (unsigned long)listed.entry.size);
                                 cells[3] = FormatFatDate(listed.entry.date);
                                 cells[4] = FormatFatTime(listed.entry.time);
                                 cells[5].Format(L"%lu", (unsigned long)listed.firstCluster);
                                 cells[8] = listed.shortName;
                                 cells[8].Trim();
                                 if (volumeColumn >= 0)
                                     cells[9].Format(L"%d", volumeColumn);
                                 sink.Add(file, cells);
                             });
}
