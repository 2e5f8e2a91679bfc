#include "fsrecovery/pure/deep_results.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>

#include "fsrecovery/pure/basic_scan.h"
#include "fsrecovery/pure/ntfs_volume_records.h"
#include "fsrecovery/pure/result_tree.h"
#include "storage/pure/partition_table.h"

namespace {

constexpr uint32_t kFat16DefaultRootSectors = 32;

// The store keeps FAT sectors in 32 bits: a sector beyond them is left unknown (0) rather than
// cut to another sector, so that nothing is ever read from the wrong place.
uint32_t Sector32(uint64_t sector)
{
    return sector <= UINT32_MAX ? uint32_t(sector) : 0;
}

FoundEntryRow EntryOf(const DeepFolderRow& folder, uint32_t volume)
{
    FoundEntryRow row;
    row.volume = volume;
    row.sector = folder.sector;
    row.self = folder.self;
    row.parent = folder.parent;
    row.date = folder.date;
    row.time = folder.time;
    row.size = folder.size;
    row.attr = uint8_t(folder.attr);
    row.deleted = folder.deleted;
    row.cluster0Start = folder.cluster0Start;
    row.cells = FoundEntryRow::kSector | FoundEntryRow::kSelf | FoundEntryRow::kParent | FoundEntryRow::kDate |
        FoundEntryRow::kTime | FoundEntryRow::kSize | FoundEntryRow::kAttr | FoundEntryRow::kDeleted |
        FoundEntryRow::kCluster0Start;
    return row;
}

} // namespace

FatVolumeParamsRecord DeepFatVolumeParams(const DeepFatVolume& v)
{
    FatVolumeParamsRecord p;
    p.partitionType = v.fat32 ? L"FAT32" : L"FAT16";
    p.sectorsPerCluster = v.sectorsPerCluster;
    p.sectorsPerFat = v.sectorsPerFat;
    p.reservedSectors = v.reservedSectors;
    p.cluster0Start = v.cluster0Start;
    p.firstFatSector = Sector32(v.firstFat);
    p.secondFatSector = Sector32(v.secondFat);
    if (p.firstFatSector == 0 || p.secondFatSector == 0)
        p.secondFatSector = 0;
    if (p.firstFatSector == 0)
        p.sectorsPerFat = 0;
    if (v.fat32) {
        p.rootStart = v.rootStart != 0 && v.rootStart <= UINT32_MAX ? uint32_t(v.rootStart) : 2;
        return p;
    }
    p.rootDirSectors = v.rootSectors != 0 ? v.rootSectors : kFat16DefaultRootSectors;
    // Where the FATs are unknown the root is taken to end where cluster 2 begins.
    uint64_t rootStart = v.rootStart;
    if (rootStart == 0) {
        const uint64_t cluster2 = v.cluster0Start + 2ull * v.sectorsPerCluster;
        rootStart = cluster2 >= p.rootDirSectors ? cluster2 - p.rootDirSectors : 0;
    }
    p.rootStart = Sector32(rootStart);
    if (p.rootStart == 0)
        p.rootDirSectors = 0; // a root that cannot be placed is not read
    return p;
}

bool DeepFatVolumeExtent(const DeepFatVolume& v, uint64_t rangeFirst, uint64_t rangeEnd,
                         const std::vector<PartitionExtent>& partitions, uint64_t& first, uint64_t& end)
{
    // A boot sector that states a size gives the volume from itself to there; any other volume has
    // the range scanned and what follows it.
    const bool stated = !v.inferred && v.totalSectors > v.sector;
    first = stated ? v.sector : rangeFirst;
    const uint64_t claimed = stated ? v.totalSectors : rangeEnd;
    // Where it begins: its boot sector, or an inferred volume's first data cluster (taken no
    // earlier than the range, which the volume is read from).
    const uint64_t at =
        v.inferred ? std::max<uint64_t>(rangeFirst, v.cluster0Start + 2ull * v.sectorsPerCluster) : v.sector;
    end = EndWithinPartition(partitions, at, claimed);
    return end < claimed;
}

FoundVolume DeepFatStoreVolume(const DeepFatVolume& v, const CString& devicePath, uint64_t rangeFirst,
                               uint64_t rangeEnd, const std::vector<PartitionExtent>& partitions, bool* cut)
{
    FoundVolume volume;
    volume.kind = v.fat32 ? FsKind::Fat32 : FsKind::Fat16;
    volume.devicePath = devicePath;
    const bool held = DeepFatVolumeExtent(v, rangeFirst, rangeEnd, partitions, volume.firstSector, volume.endSector);
    if (cut != nullptr)
        *cut = held;
    volume.params = DeepFatVolumeParams(v);
    return volume;
}

DeepFatVolume DeepFatVolumeOfRow(const FatVolumeRow& row)
{
    DeepFatVolume v;
    v.sector = row.sector;
    v.sectorsPerFat = row.sectorsPerFat;
    v.sectorsPerCluster = row.sectorsPerCluster;
    v.rootSectors = row.rootDirSectors;
    v.rootStart = row.rootStart;
    v.reservedSectors = row.reservedSectors;
    v.cluster0Start = row.cluster0Start;
    v.firstFat = row.firstFatSector;
    v.secondFat = row.secondFatSector;
    v.totalSectors = row.totalSectors;
    v.fat32 = row.kind == FsKind::Fat32;
    // An inferred volume's row knows no boot sector, reserved sectors or size.
    v.inferred = row.sector == 0 && row.reservedSectors == 0 && row.totalSectors == 0;
    v.endSector = row.endSector;
    return v;
}

void StoreDeepFatVolumes(FoundStore& store, const CString& devicePath, uint64_t rangeFirst, uint64_t rangeEnd,
                         const std::vector<DeepFatVolume>& volumes, const std::vector<FatDirCluster>& dirs,
                         uint16_t catchAllTime, const std::vector<PartitionExtent>& partitions)
{
    const uint32_t firstIndex = uint32_t(store.VolumeCount());
    for (size_t k = 0; k < volumes.size(); ++k) {
        const DeepFatVolume& v = volumes[k];
        bool cut = false;
        const FoundVolume volume = DeepFatStoreVolume(v, devicePath, rangeFirst, rangeEnd, partitions, &cut);
        const uint32_t index = store.AddVolume(volume);
        if (k == 0)
            AddMiscFolderRow(store, index, kFatRootId, catchAllTime);
        FatVolumeRow table;
        table.sector = v.sector;
        table.sectorsPerFat = v.sectorsPerFat;
        table.sectorsPerCluster = v.sectorsPerCluster;
        table.rootDirSectors = v.rootSectors;
        table.rootStart = Sector32(v.rootStart);
        table.reservedSectors = v.reservedSectors;
        table.cluster0Start = v.cluster0Start;
        table.firstFatSector = v.firstFat;
        table.secondFatSector = v.secondFat;
        table.totalSectors = v.totalSectors;
        table.kind = volume.kind;
        table.endSector = cut ? volume.endSector : v.endSector;
        store.fatVolumes.push_back(table);
    }
    // Each volume's folders, straight from the directory rows.
    ForEachDeepFatFolder(dirs, volumes.size(), [&](size_t k, const FatDirCluster& dir, uint64_t number) {
        const DeepFolderRow folder = DeepFatFolderRow(dir, number);
        store.AddEntry(EntryOf(folder, firstIndex + uint32_t(k)), folder.name);
    });
}

size_t DeepNtfsVolumeOfRecord(const NtfsGeometryMap& map, uint64_t sector)
{
    const NtfsVolumeGeometry* g = &map.ForRecord(sector);
    if (g != &map.fallback)
        return size_t(g - map.volumes.data());
    // Records of no volume, counted from where a volume begins, are that volume's.
    for (size_t k = 0; k < map.volumes.size(); ++k)
        if (map.volumes[k].cluster0 == map.fallback.cluster0)
            return k;
    return map.volumes.size();
}

std::vector<uint32_t> AddDeepNtfsVolumes(FoundStore& store, const CString& devicePath, uint64_t rangeFirst,
                                         uint64_t rangeEnd, const NtfsGeometryMap& map, bool withLeftover,
                                         const std::vector<PartitionExtent>& partitions)
{
    std::vector<uint32_t> indices(map.volumes.size() + 1, FoundStore::kNoVolume);
    auto add = [&](const NtfsVolumeGeometry& g, uint64_t firstSector, uint64_t endSector) {
        FoundVolume volume;
        volume.kind = FsKind::Ntfs;
        volume.devicePath = devicePath;
        volume.firstSector = firstSector;
        volume.endSector = endSector;
        volume.params.partitionType = L"NTFS";
        volume.params.cluster0Start = g.cluster0;
        volume.params.sectorsPerCluster = g.sectorsPerCluster;
        volume.params.sectorsPerFileRecord = 2;
        return store.AddVolume(volume);
    };
    for (size_t k = 0; k < map.volumes.size(); ++k) {
        const NtfsVolumeGeometry& g = map.volumes[k];
        uint64_t end = rangeEnd;
        if (g.totalSectors != 0 && g.totalSectors <= UINT64_MAX - g.cluster0)
            end = g.cluster0 + g.totalSectors;
        else if (k + 1 < map.volumes.size())
            end = map.volumes[k + 1].cluster0;
        if (rangeEnd > g.cluster0)
            end = std::min(end, rangeEnd);
        indices[k] = add(g, g.cluster0, EndWithinPartition(partitions, g.cluster0, end));
        // Its records by number along its $MFT, as its record 0 lays the $MFT out.
        auto records = std::make_shared<NtfsRecordIndex>();
        const FoundVolume& made = store.Volume(indices[k]);
        if (AppendRunsAsSectors(g.mftRuns, g.cluster0, g.sectorsPerCluster, records->mftRuns) &&
            made.endSector > g.cluster0)
            ClampMftRunsToVolume(records->mftRuns, g.cluster0, made.endSector - 1);
        else
            records->mftRuns.Clear();
        store.SetNtfsRecords(indices[k], std::move(records));
    }
    if (map.volumes.empty() || withLeftover)
        indices.back() = add(map.fallback, rangeFirst, EndWithinPartition(partitions, rangeFirst, rangeEnd));
    return indices;
}

namespace {

void NoteExtension(const CarvedMftHeader& record, uint64_t sector, bool named, DeepNtfsRecordFinds& finds)
{
    if (finds.extensions.size() < kMaxDeepNtfsRecordFinds)
        finds.extensions.push_back(
            { sector, record.recordNumber, record.numbered, named, NtfsReferenceRecord(record.baseReference) });
}

} // namespace

void DeepNtfsStoreSink::MftRecordFound(const uint8_t* raw, uint64_t sector)
{
    if (!DecodeCarvedMftName(raw, m_fixedUp, m_record))
        return;
    if (m_record.IsExtension()) {
        NoteExtension(m_record, sector, !m_record.name.empty() || NameHoldingRecord(m_fixedUp, m_named), records);
        records.freed.Note(m_fixedUp, sector);
        return;
    }
    // The system files' records place the volumes: those are decoded whole.
    if (m_record.parent == kNtfsRootId && IsNtfsSystemFileName(m_record.name)) {
        CarvedMftRecord whole;
        if (DecodeCarvedMftRecord(raw, sector, whole))
            NoteNtfsSystemRecord(whole, systemRecords);
    }
    // Whether another record may name a nameless one: one with a list, or a deleted one that still
    // holds attributes (an empty free record is none).
    const bool listed = m_record.name.empty() && HasNtfsAttributeList(m_fixedUp);
    NtfsAttribute any;
    Add(m_record, sector,
        m_record.name.empty() &&
            (listed || (m_record.IsDeleted() && NtfsAttributeWalker(m_fixedUp, kMftRecordSize).Next(any))),
        listed);
}

void DeepNtfsStoreSink::MftRecord(const CarvedMftRecord& record)
{
    if (record.IsExtension()) {
        NoteExtension(record, record.sector, !record.name.IsEmpty(), records);
        return;
    }
    NoteNtfsSystemRecord(record, systemRecords);
    static_cast<CarvedMftHeader&>(m_record) = record;
    m_record.name = ToUtf16Units(record.name);
    Add(m_record, record.sector, false, false);
}

void DeepNtfsStoreSink::Add(const CarvedMftName& record, uint64_t sector, bool nameless, bool listed)
{
    const bool unnamed = nameless && records.unnamed.size() < kMaxDeepNtfsRecordFinds;
    if (!record.IsFolder()) {
        NtfsFileRow row;
        row.volume = FoundStore::kNoVolume;
        row.parent = record.parent;
        row.sector = sector;
        if (!record.name.empty()) {
            row.fileTime = record.created;
            row.flags = NtfsFileRow::kStamped;
        }
        const size_t index = m_store.AddNtfsFile(row, record.name);
        if (unnamed)
            records.unnamed.push_back({ sector, index, false, listed });
        return;
    }
    // A folder is known by its number; the root's own record names itself ".".
    if (!record.numbered || (record.name.empty() && !unnamed) || record.name == u".")
        return;
    FoundEntryRow row;
    row.volume = FoundStore::kNoVolume;
    row.sector = sector;
    row.self = record.recordNumber;
    row.parent = record.parent;
    row.date = record.created;
    row.attr = 0x10;
    row.deleted = record.flags == 2;
    // NTFS folders carry no sector, size or attribute cells; their date is a FILETIME.
    row.cells = FoundEntryRow::kSelf | FoundEntryRow::kParent | FoundEntryRow::kDate | FoundEntryRow::kDeleted;
    const size_t index = m_store.AddEntry(row, record.name);
    if (record.name.empty())
        records.unnamed.push_back({ sector, index, true, listed });
}

namespace {

// Each folder once per volume: of the rows with the same volume, number, parent and name, the one
// found first.
void DropRepeatedFolders(FoundStore& store)
{
    std::vector<uint32_t> order(store.EntryCount());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = uint32_t(i);
    auto key = [&](uint32_t i) {
        const FoundEntryRow& r = store.Entry(i);
        return std::make_tuple(r.volume, r.self, r.parent);
    };
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        const auto ka = key(a), kb = key(b);
        return ka != kb ? ka < kb : a < b;
    });
    std::vector<bool> drop(order.size(), false);
    for (size_t first = 0; first < order.size();) {
        size_t end = first + 1;
        while (end < order.size() && key(order[end]) == key(order[first]))
            ++end;
        // Rows of one number and parent are few: their names are compared pairwise.
        for (size_t j = first + 1; j < end; ++j) {
            const CString name = store.EntryName(order[j]);
            for (size_t k = first; k < j && !drop[order[j]]; ++k)
                drop[order[j]] = !drop[order[k]] && store.EntryName(order[k]) == name;
        }
        first = end;
    }
    store.RemoveEntries(drop);
}

} // namespace

namespace {

// Each volume's extension records by number: the number its header gives, else the one its place
// in the volume's $MFT gives (a record of neither cannot be told); and its freed ones with data
// extents, all it has when the scan kept all.
void IndexDeepNtfsExtensions(FoundStore& store, const NtfsGeometryMap& map, const std::vector<uint32_t>& indices,
                             const DeepNtfsRecordFinds& finds)
{
    std::vector<std::vector<std::pair<uint64_t, uint64_t>>> found(indices.size());
    std::vector<NtfsFreedExtentNotes> freed(indices.size());
    for (const NtfsFreedExtent& e : finds.freed.extents)
        freed[DeepNtfsVolumeOfRecord(map, e.sector)].extents.push_back(e);
    for (const DeepNtfsRecordFinds::Extension& e : finds.extensions) {
        const size_t k = DeepNtfsVolumeOfRecord(map, e.sector);
        if (indices[k] == FoundStore::kNoVolume)
            continue;
        uint64_t number = e.number;
        const FoundVolume& volume = store.Volume(indices[k]);
        if (!e.numbered &&
            !(volume.ntfsRecords && MftRecordAtSector(e.sector, volume.ntfsRecords->mftRuns, &number)))
            continue;
        found[k].emplace_back(number, e.sector);
    }
    for (size_t k = 0; k < indices.size(); ++k) {
        if (indices[k] == FoundStore::kNoVolume || (found[k].empty() && !finds.freed.complete))
            continue;
        std::sort(found[k].begin(), found[k].end());
        auto records = std::make_shared<NtfsRecordIndex>();
        if (const auto& had = store.Volume(indices[k]).ntfsRecords)
            records->mftRuns = had->mftRuns;
        records->found = std::move(found[k]);
        KeepFreedExtents(freed[k], finds.freed.complete, *records);
        store.SetNtfsRecords(indices[k], std::move(records));
    }
}

// The record of extension records of a volume that holds a name for the base record `base` (fixed
// up, number `number`): the one of the best name space among those that still belong to it, read
// from the device, with the base's flags; empty when none.
std::vector<uint8_t> NameFromExtensions(SectorSource& device, const uint8_t* base, uint64_t number,
                                        const std::vector<uint64_t>& sectors)
{
    const NtfsRecordHeader header = ReadNtfsRecordHeader(base);
    BestNameRecord names;
    uint8_t record[kMftRecordSize];
    for (uint64_t sector : sectors) {
        if (device.Read(sector, kSectorsPerMftRecord, record) != kMftRecordSize ||
            !IsFileRecord(record, kMftRecordSize))
            continue;
        ApplyNtfsFixup(record, kMftRecordSize);
        if (ExtensionBelongsTo(ReadNtfsRecordHeader(record), number, header))
            names.Offer(record);
    }
    return names.Take(header.flags);
}

// Names each nameless base record from the record of its list that holds its $FILE_NAME, read as
// its volume's files are read when they are saved, else from the extension records of its volume
// that name it. A folder whose name none holds stays nameless under the catch-all folder.
void NameDeepNtfsBases(FoundStore& store, const NtfsGeometryMap& map, const std::vector<uint32_t>& indices,
                       SectorSource& device, const DeepNtfsRecordFinds& finds)
{
    static const int kOrder[] = { kNameSpaceWin32, kNameSpaceWin32AndDos, kNameSpaceDos, kNameSpacePosix };
    // The extension records that hold names, by the volume and the base record they name.
    std::map<std::pair<uint32_t, uint64_t>, std::vector<uint64_t>> naming;
    for (const DeepNtfsRecordFinds::Extension& e : finds.extensions)
        if (e.named)
            naming[{ indices[DeepNtfsVolumeOfRecord(map, e.sector)], e.base }].push_back(e.sector);
    std::vector<std::unique_ptr<VolumeRecordReader>> readers(store.VolumeCount());
    std::vector<bool> drop;
    uint8_t base[kMftRecordSize];
    for (const DeepNtfsRecordFinds::Unnamed& u : finds.unnamed) {
        const uint32_t volume = u.folder ? store.Entry(u.row).volume : store.NtfsFile(u.row).volume;
        std::u16string name;
        uint32_t parent = 0;
        uint64_t created = 0;
        bool named = false;
        if (volume < readers.size() && !readers[volume])
            readers[volume] = std::make_unique<VolumeRecordReader>(device, store.Volume(volume));
        if (volume < readers.size() && readers[volume]->ReadRecordAt(u.sector, base) != 0 &&
            IsFileRecord(base, kMftRecordSize)) {
            std::vector<uint8_t> nameRecord = readers[volume]->Gather(base, u.sector, kGatherName).nameRecord;
            uint64_t number = 0;
            if (nameRecord.empty() && readers[volume]->NumberOf(base, u.sector, &number)) {
                const auto by = naming.find({ volume, number });
                if (by != naming.end())
                    nameRecord = NameFromExtensions(device, base, number, by->second);
            }
            named = !nameRecord.empty() &&
                ReadPreferredMftRecordName(nameRecord.data(), kOrder, 4, true, nullptr, &parent, &created, name) == 1 &&
                !name.empty();
        }
        if (u.folder && (named || u.listed)) {
            FoundEntryRow& row = store.Entry(u.row);
            if (named) {
                store.SetEntryName(u.row, NameToCString(name));
                row.date = created;
            }
            store.SetEntryParent(u.row, named ? parent : kMissingParentId);
        } else if (u.folder) {
            drop.resize(store.EntryCount());
            drop[u.row] = true;
        } else if (named) {
            NtfsFileRow& row = store.NtfsFile(u.row);
            row.name = store.StoreName(name.data(), name.size());
            row.parent = parent;
            row.fileTime = created;
            row.flags |= NtfsFileRow::kNamed | NtfsFileRow::kStamped;
        }
    }
    store.RowsChanged();
    if (!drop.empty())
        store.RemoveEntries(drop);
}

} // namespace

void FinishDeepNtfsStore(FoundStore& store, const NtfsGeometryMap& map, const CString& devicePath, uint64_t rangeFirst,
                         uint64_t rangeEnd, uint16_t catchAllTime, const std::vector<PartitionExtent>& partitions,
                         const DeepNtfsRecordFinds* records, SectorSource* device)
{
    // The rows take the index of their volume of `map` first, the store's once the volumes exist.
    const size_t none = map.volumes.size();
    bool leftover = false;
    for (size_t i = 0; i < store.NtfsFileCount(); ++i) {
        NtfsFileRow& row = store.NtfsFile(i);
        row.volume = uint32_t(DeepNtfsVolumeOfRecord(map, row.sector));
        leftover = leftover || row.volume == none;
        if (map.IsMirrorCopy(row.sector))
            row.flags |= NtfsFileRow::kCopy;
    }
    for (size_t i = 0; i < store.EntryCount(); ++i) {
        FoundEntryRow& row = store.Entry(i);
        row.volume = uint32_t(DeepNtfsVolumeOfRecord(map, row.sector));
        leftover = leftover || row.volume == none;
        row.cluster0Start = (row.volume < none ? map.volumes[row.volume] : map.fallback).cluster0;
    }
    const std::vector<uint32_t> indices =
        AddDeepNtfsVolumes(store, devicePath, rangeFirst, rangeEnd, map, leftover, partitions);
    bool same = true;
    for (size_t k = 0; k < indices.size(); ++k)
        same = same && (indices[k] == k || indices[k] == FoundStore::kNoVolume);
    if (!same) {
        for (size_t i = 0; i < store.NtfsFileCount(); ++i)
            store.NtfsFile(i).volume = indices[store.NtfsFile(i).volume];
        for (size_t i = 0; i < store.EntryCount(); ++i)
            store.Entry(i).volume = indices[store.Entry(i).volume];
    }
    store.RowsChanged();
    if (records != nullptr) {
        IndexDeepNtfsExtensions(store, map, indices, *records);
        if (device != nullptr)
            NameDeepNtfsBases(store, map, indices, *device, *records);
    }
    DropRepeatedFolders(store);
    for (const uint32_t index : indices) {
        if (index != FoundStore::kNoVolume) {
            AddMiscFolderRow(store, index, kNtfsRootId, catchAllTime);
            break;
        }
    }
}

void ScanDeepRequest(SectorSource& device, const ScanRequest& request, FoundStore& store, uint16_t catchAllTime,
                     const StopFlag* stop, const DeepScanObserver& observer)
{
    const ScanTarget& target = request.target;
    auto finishing = [&observer] {
        if (observer.finishing)
            observer.finishing();
    };
    if (target.kind == FsKind::Ntfs) {
        DeepNtfsStoreSink rows(store);
        RunDeepScan(device, target.firstSector, target.endSector, { false, true }, rows, stop, observer.progress);
        // A stopped carving did not see every record: its saves look along the $MFT too.
        rows.records.freed.complete = rows.records.freed.complete && !IsStopped(stop);
        finishing();
        // Each volume's clusters as its own records place them; the selection's start and the
        // boot sectors' cluster size only for records no volume claims.
        const NtfsGeometryMap map =
            InferNtfsVolumeGeometry(rows.systemRecords, rows.boots, request.volumeStarts, request.volumeStart);
        FinishDeepNtfsStore(store, map, target.devicePath, target.firstSector, request.volumeEnd, catchAllTime,
                            request.partitions, &rows.records, &device);
        return;
    }
    DeepScanFinds finds;
    RunDeepScan(device, target.firstSector, target.endSector, { true, false }, finds, stop, observer.progress);
    finishing();
    const bool rootHoldsFiles = !finds.fatBoots.empty() && CheckFatRootDirectory(device, finds.fatBoots[0]) == 2;
    std::vector<DeepFatVolume> volumes =
        AssembleFatVolumes(finds.fatBoots, finds.fatDirs, target.kind == FsKind::Fat32, rootHoldsFiles);
    for (DeepFatVolume& volume : volumes) {
        if (volume.firstFat == 0)
            LocateFatCopies(device, volume);
    }
    StoreDeepFatVolumes(store, target.devicePath, target.firstSector, request.volumeEnd, volumes, finds.fatDirs,
                        catchAllTime, request.partitions);
}
