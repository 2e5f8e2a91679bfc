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
    // Whether another record may name it: a nameless one with a list, or a deleted one that still
    // holds attributes (an empty free record is none); one whose list may hold a better name than
    // its own. The walk that found its name told whether it has a list.
    if (!m_record.name.empty()) {
        const bool better = m_record.look.BetterElsewhere();
        Add(m_record, sector, better, better);
        return;
    }
    const bool listed = HasNtfsAttributeList(m_fixedUp);
    NtfsAttribute any;
    Add(m_record, sector, listed || (m_record.IsDeleted() && NtfsAttributeWalker(m_fixedUp, kMftRecordSize).Next(any)),
        listed, m_record.IsFolder() && HasNtfsIndex(m_fixedUp));
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

void DeepNtfsStoreSink::Add(const CarvedMftName& record, uint64_t sector, bool toName, bool listed, bool indexed)
{
    const bool kept = toName && records.toName.size() < kMaxDeepNtfsRecordFinds;
    auto keep = [&](size_t row) {
        DeepNtfsRecordFinds::ToName t;
        t.sector = sector;
        t.row = row;
        t.number = record.recordNumber;
        t.sequence = record.sequence;
        t.flags = record.flags;
        t.numbered = record.numbered;
        t.folder = record.IsFolder();
        t.listed = listed;
        t.named = !record.name.empty();
        t.indexed = indexed;
        records.toName.push_back(t);
    };
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
        if (kept)
            keep(index);
        return;
    }
    // A folder is known by its number; the root's own record names itself ".".
    if (!record.numbered || (record.name.empty() && !kept) || record.name == u".")
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
    if (kept)
        keep(index);
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

// The number of a record of `volume` found at `sector`: the number its header gives, else the one
// its place in the volume's $MFT gives; false for a record of neither, which cannot be told.
bool DeepRecordNumber(const FoundVolume& volume, bool numbered, uint32_t headerNumber, uint64_t sector,
                      uint64_t* number)
{
    *number = headerNumber;
    return numbered || (volume.ntfsRecords && MftRecordAtSector(sector, volume.ntfsRecords->mftRuns, number));
}

// Each volume's extension records by number; and its freed ones with data extents, all it has when
// the scan kept all.
void IndexDeepNtfsExtensions(FoundStore& store, const NtfsGeometryMap& map, const std::vector<uint32_t>& indices,
                             const DeepNtfsRecordFinds& finds)
{
    std::vector<std::vector<std::pair<uint64_t, uint64_t>>> found(indices.size());
    std::vector<NtfsFreedExtentNotes> freed(indices.size());
    for (const NtfsFreedExtent& e : finds.freed.extents)
        freed[DeepNtfsVolumeOfRecord(map, e.sector)].extents.push_back(e);
    for (const DeepNtfsRecordFinds::Extension& e : finds.extensions) {
        const size_t k = DeepNtfsVolumeOfRecord(map, e.sector);
        uint64_t number = 0;
        if (indices[k] != FoundStore::kNoVolume &&
            DeepRecordNumber(store.Volume(indices[k]), e.numbered, e.number, e.sector, &number))
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
// up, number `number`): the one of the best name space among those that still belong to it and whose
// fix-up holds (a torn record may hold a name since replaced), read from the device until one of the
// best name space is found or `stop` is set, with the base's flags; empty when none.
std::vector<uint8_t> NameFromExtensions(SectorSource& device, const uint8_t* base, uint64_t number,
                                        const std::vector<uint64_t>& sectors, const StopFlag* stop)
{
    const NtfsRecordHeader header = ReadNtfsRecordHeader(base);
    BestNameRecord names;
    uint8_t record[kMftRecordSize];
    for (size_t i = 0; i < sectors.size() && !names.Done() && !IsStopped(stop); ++i) {
        if (device.Read(sectors[i], kSectorsPerMftRecord, record) == kMftRecordSize &&
            IsFileRecord(record, kMftRecordSize) && ApplyNtfsFixup(record, kMftRecordSize) &&
            ExtensionBelongsTo(ReadNtfsRecordHeader(record), number, header))
            names.Offer(record);
    }
    return names.Take(header.flags);
}

// A name found for a record, as its rows take it.
struct FoundName {
    std::u16string name;
    uint32_t parent = 0;
    uint64_t created = 0;
    bool found = false;
};

// The name of the base record that the copies `first` to `end` of `order` (of finds.toName) stand
// for, all of one volume: read from the first copy that reads whole (a torn copy, part of one write
// and part of another, may hold a list or name since replaced; only where no copy is whole, the
// first that reads as a file record), from the records its list names, else from the extension
// records of its volume that name it (`naming`).
FoundName NameOfCopies(VolumeRecordReader& reader, SectorSource& device, const DeepNtfsRecordFinds& finds,
                       const std::vector<size_t>& order, size_t first, size_t end, const std::vector<uint64_t>* naming,
                       const StopFlag* stop)
{
    static const int kOrder[] = { kNameSpaceWin32, kNameSpaceWin32AndDos, kNameSpaceDos, kNameSpacePosix };
    FoundName out;
    uint8_t base[kMftRecordSize];
    uint64_t sector = 0;
    bool whole = false;
    size_t torn = end; // the first copy that reads only torn
    for (size_t k = first; k < end && !whole; ++k) {
        sector = finds.toName[order[k]].sector;
        const int read = reader.ReadRecordAt(sector, base);
        if (read == 0 || !IsFileRecord(base, kMftRecordSize))
            continue;
        if (read == 2)
            whole = true;
        else if (torn == end)
            torn = k;
    }
    // Read again only where every copy is torn.
    if (!whole) {
        if (torn == end)
            return out;
        sector = finds.toName[order[torn]].sector;
        reader.ReadRecordAt(sector, base);
    }
    std::vector<uint8_t> nameRecord = reader.Gather(base, sector, kGatherName).nameRecord;
    uint64_t number = 0;
    if (nameRecord.empty() && naming != nullptr && reader.NumberOf(base, sector, &number))
        nameRecord = NameFromExtensions(device, base, number, *naming, stop);
    out.found = !nameRecord.empty() &&
        ReadPreferredMftRecordName(nameRecord.data(), kOrder, 4, true, nullptr, &out.parent, &out.created, out.name) ==
            1 &&
        !out.name.empty();
    return out;
}

// Whether a folder or file row of `volume` lies in each folder of `folders` (volume and number,
// ascending): one pass over the rows.
std::vector<bool> FoldersWithRows(const FoundStore& store, const std::vector<std::pair<uint32_t, uint64_t>>& folders)
{
    std::vector<bool> used(folders.size(), false);
    auto note = [&](uint32_t volume, uint64_t parent) {
        const auto at = std::lower_bound(folders.begin(), folders.end(), std::make_pair(volume, parent));
        for (auto it = at; it != folders.end() && *it == std::make_pair(volume, parent); ++it)
            used[size_t(it - folders.begin())] = true;
    };
    for (size_t i = 0; i < store.EntryCount(); ++i)
        note(store.Entry(i).volume, store.Entry(i).parent);
    for (size_t i = 0; i < store.NtfsFileCount(); ++i)
        note(store.NtfsFile(i).volume, store.NtfsFile(i).parent);
    return used;
}

// Names the base records the sink kept to be named (FinishDeepNtfsStore), then keeps or drops the
// folders that none could name.
void NameDeepNtfsBases(FoundStore& store, const NtfsGeometryMap& map, const std::vector<uint32_t>& indices,
                       SectorSource& device, const DeepNtfsRecordFinds& finds, const StopFlag* stop)
{
    // The extension records that hold names, by the volume and the base record they name.
    std::map<std::pair<uint32_t, uint64_t>, std::vector<uint64_t>> naming;
    for (const DeepNtfsRecordFinds::Extension& e : finds.extensions)
        if (e.named)
            naming[{ indices[DeepNtfsVolumeOfRecord(map, e.sector)], e.base }].push_back(e.sector);
    // The copies of one record: of one volume, number, sequence number and state (the header an
    // extension record is checked against); a record whose number cannot be told stands alone.
    auto volumeOf = [&store](const DeepNtfsRecordFinds::ToName& t) {
        return t.folder ? store.Entry(t.row).volume : store.NtfsFile(t.row).volume;
    };
    using Key = std::tuple<uint32_t, bool, uint64_t, uint16_t, bool>;
    std::vector<Key> keys(finds.toName.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        const DeepNtfsRecordFinds::ToName& t = finds.toName[i];
        const uint32_t volume = volumeOf(t);
        uint64_t number = 0;
        const bool told = volume < store.VolumeCount() &&
            DeepRecordNumber(store.Volume(volume), t.numbered, t.number, t.sector, &number);
        keys[i] = Key(volume, !told, told ? number : i, t.sequence, (t.flags & 1) != 0);
    }
    std::vector<size_t> order(keys.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&keys](size_t a, size_t b) { return keys[a] != keys[b] ? keys[a] < keys[b] : a < b; });

    std::vector<std::unique_ptr<VolumeRecordReader>> readers(store.VolumeCount());
    std::vector<bool> drop;
    // Folders that kept only their index (volume, number, row): kept when a row lies in them.
    std::vector<std::tuple<uint32_t, uint64_t, size_t>> indexedOnly;
    // After a stop the groups left are not read: each stays nameless where a nameless one goes.
    for (size_t first = 0, end = 0; first < order.size(); first = end) {
        for (end = first + 1; end < order.size() && keys[order[end]] == keys[order[first]];)
            ++end;
        const uint32_t volume = std::get<0>(keys[order[first]]);
        FoundName found;
        if (volume < readers.size() && !IsStopped(stop)) {
            if (!readers[volume])
                readers[volume] = std::make_unique<VolumeRecordReader>(device, store.Volume(volume));
            const bool told = !std::get<1>(keys[order[first]]);
            const auto by = told ? naming.find({ volume, std::get<2>(keys[order[first]]) }) : naming.end();
            found = NameOfCopies(*readers[volume], device, finds, order, first, end,
                                 by != naming.end() ? &by->second : nullptr, stop);
        }
        // The name is stored once for all the copies.
        NameRef stored;
        CString folderName;
        if (found.found) {
            stored = store.StoreName(found.name.data(), found.name.size());
            folderName = NameToCString(found.name);
        }
        for (size_t k = first; k < end; ++k) {
            const DeepNtfsRecordFinds::ToName& t = finds.toName[order[k]];
            if (found.found && t.folder) {
                store.SetEntryName(t.row, folderName);
                store.Entry(t.row).date = found.created;
                store.SetEntryParent(t.row, found.parent);
            } else if (found.found) {
                NtfsFileRow& row = store.NtfsFile(t.row);
                row.name = stored;
                row.parent = found.parent;
                row.fileTime = found.created;
                row.flags |= NtfsFileRow::kNamed | NtfsFileRow::kStamped;
            } else if (t.named || !t.folder) {
                // Its own name, or none, as found.
            } else if (t.listed) {
                store.SetEntryParent(t.row, kMissingParentId);
            } else if (t.indexed) {
                indexedOnly.emplace_back(volume, t.number, t.row);
            } else {
                drop.resize(store.EntryCount());
                drop[t.row] = true;
            }
        }
    }
    if (!indexedOnly.empty()) {
        std::sort(indexedOnly.begin(), indexedOnly.end());
        std::vector<std::pair<uint32_t, uint64_t>> folders(indexedOnly.size());
        for (size_t i = 0; i < folders.size(); ++i)
            folders[i] = { std::get<0>(indexedOnly[i]), std::get<1>(indexedOnly[i]) };
        const std::vector<bool> used = FoldersWithRows(store, folders);
        for (size_t i = 0; i < folders.size(); ++i) {
            const size_t row = std::get<2>(indexedOnly[i]);
            if (used[i]) {
                store.SetEntryParent(row, kMissingParentId);
            } else {
                drop.resize(store.EntryCount());
                drop[row] = true;
            }
        }
    }
    store.RowsChanged();
    if (!drop.empty())
        store.RemoveEntries(drop);
}

} // namespace

void FinishDeepNtfsStore(FoundStore& store, const NtfsGeometryMap& map, const CString& devicePath, uint64_t rangeFirst,
                         uint64_t rangeEnd, uint16_t catchAllTime, const std::vector<PartitionExtent>& partitions,
                         const DeepNtfsRecordFinds* records, SectorSource* device, const StopFlag* stop)
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
            NameDeepNtfsBases(store, map, indices, *device, *records, stop);
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
                            request.partitions, &rows.records, &device, stop);
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
