#include "fsrecovery/pure/deep_results.h"

#include <algorithm>
#include <set>
#include <string>
#include <tuple>

#include "fsrecovery/pure/basic_scan.h"
#include "fsrecovery/pure/result_tree.h"

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

void DeepFatVolumeExtent(const DeepFatVolume& v, uint64_t rangeFirst, uint64_t rangeEnd, uint64_t& first, uint64_t& end)
{
    if (!v.inferred && v.totalSectors > v.sector) {
        first = v.sector;
        end = v.totalSectors;
        return;
    }
    first = rangeFirst;
    end = rangeEnd;
}

void StoreDeepFatVolumes(FoundStore& store, const CString& devicePath, uint64_t rangeFirst, uint64_t rangeEnd,
                         const std::vector<DeepFatVolume>& volumes, const std::vector<std::vector<DeepFolderRow>>& rows,
                         uint16_t catchAllTime)
{
    for (size_t k = 0; k < volumes.size(); ++k) {
        const DeepFatVolume& v = volumes[k];
        FoundVolume volume;
        volume.kind = v.fat32 ? FsKind::Fat32 : FsKind::Fat16;
        volume.devicePath = devicePath;
        DeepFatVolumeExtent(v, rangeFirst, rangeEnd, volume.firstSector, volume.endSector);
        volume.params = DeepFatVolumeParams(v);
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
        table.endSector = v.endSector;
        store.fatVolumes.push_back(table);
        if (k < rows.size()) {
            for (const DeepFolderRow& folder : rows[k])
                store.AddEntry(EntryOf(folder, index), folder.name);
        }
    }
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

std::vector<DeepNtfsVolumeRows> SplitDeepNtfsRows(const DeepNtfsRows& rows, const NtfsGeometryMap& map)
{
    std::vector<DeepNtfsVolumeRows> out(map.volumes.size() + 1);
    std::vector<std::set<std::tuple<uint64_t, uint64_t, std::wstring>>> seen(out.size());
    for (const std::vector<DeepFolderRow>* list : { &rows.folders, &rows.repeatedFolders }) {
        for (const DeepFolderRow& folder : *list) {
            const size_t k = DeepNtfsVolumeOfRecord(map, folder.sector);
            if (seen[k].insert({ folder.self, folder.parent, folder.name.Str() }).second)
                out[k].folders.push_back(folder);
        }
    }
    for (const DeepNtfsFileRow& file : rows.files) {
        DeepNtfsVolumeRows& volume = out[DeepNtfsVolumeOfRecord(map, file.sector)];
        volume.files.push_back(file);
        volume.files.back().copy = map.IsMirrorCopy(file.sector);
    }
    return out;
}

std::vector<uint32_t> AddDeepNtfsVolumes(FoundStore& store, const CString& devicePath, uint64_t rangeFirst,
                                         uint64_t rangeEnd, const NtfsGeometryMap& map, bool withLeftover)
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
        indices[k] = add(g, g.cluster0, end);
    }
    if (map.volumes.empty() || withLeftover)
        indices.back() = add(map.fallback, rangeFirst, rangeEnd);
    return indices;
}

namespace {

void AddNtfsRows(FoundStore& store, uint32_t index, uint64_t cluster0, const DeepNtfsVolumeRows& rows)
{
    for (const DeepFolderRow& folder : rows.folders) {
        FoundEntryRow row = EntryOf(folder, index);
        // NTFS folders carry no sector, size or attribute cells; their date is a FILETIME.
        row.cells = FoundEntryRow::kSelf | FoundEntryRow::kParent | FoundEntryRow::kDate | FoundEntryRow::kDeleted;
        row.cluster0Start = cluster0;
        store.AddEntry(row, folder.name);
    }
    for (const DeepNtfsFileRow& file : rows.files) {
        NtfsFileRow row;
        row.volume = index;
        row.parent = file.parent;
        row.sector = file.sector;
        if (!file.name.IsEmpty()) {
            row.fileTime = file.created;
            row.flags = NtfsFileRow::kStamped;
        }
        if (file.copy)
            row.flags |= NtfsFileRow::kCopy;
        store.AddNtfsFile(row, ToUtf16Units(file.name));
    }
}

} // namespace

void StoreDeepNtfsRows(FoundStore& store, const CString& devicePath, uint64_t rangeFirst, uint64_t rangeEnd,
                       const NtfsGeometryMap& map, const DeepNtfsRows& rows, uint16_t catchAllTime)
{
    const std::vector<DeepNtfsVolumeRows> split = SplitDeepNtfsRows(rows, map);
    const DeepNtfsVolumeRows& leftover = split.back();
    const std::vector<uint32_t> indices = AddDeepNtfsVolumes(store, devicePath, rangeFirst, rangeEnd, map,
                                                             !leftover.folders.empty() || !leftover.files.empty());
    bool first = true;
    for (size_t k = 0; k < indices.size(); ++k) {
        if (indices[k] == FoundStore::kNoVolume)
            continue;
        if (first)
            AddMiscFolderRow(store, indices[k], kNtfsRootId, catchAllTime);
        first = false;
        const NtfsVolumeGeometry& g = k < map.volumes.size() ? map.volumes[k] : map.fallback;
        AddNtfsRows(store, indices[k], g.cluster0, split[k]);
    }
}
