#include "fsrecovery/pure/deep_assembly.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <unordered_map>

#include "fsrecovery/pure/result_tree.h"
#include "storage/pure/bootsector.h"

namespace {

// The cluster sizes a volume can have, in sectors.
constexpr uint32_t kClusterSizes[] = { 1, 2, 4, 8, 16, 32, 64, 128 };
constexpr int kSizeCount = 8;
constexpr uint32_t kFat16ClusterLimit = 65536;

int SizeIndex(uint32_t sectorsPerCluster)
{
    for (int i = 0; i < kSizeCount; ++i) {
        if (kClusterSizes[i] == sectorsPerCluster)
            return i;
    }
    return -1;
}

// The volume a cluster-0 sector and cluster size describe.
struct VolumeKey {
    uint64_t cluster0Start;
    uint32_t sectorsPerCluster;
    bool operator==(const VolumeKey& other) const
    {
        return cluster0Start == other.cluster0Start && sectorsPerCluster == other.sectorsPerCluster;
    }
};
struct VolumeKeyHash {
    size_t operator()(const VolumeKey& key) const
    {
        return std::hash<uint64_t>()(key.cluster0Start * 0x9E3779B97F4A7C15ull + key.sectorsPerCluster);
    }
};

// A row that repeats the sector and cluster of an earlier one (the same directory found twice)
// takes that row's outcome at the end; while the passes run it is left out of both. A row that
// only shares the sector states other clusters: no volume that holds the earlier row has it on
// its clusters, so it is decided on its own.
constexpr uint32_t kTwinRow = 0xFFFFFFFE;

// The rows on one cluster-0 sector for one cluster size: every row whose sector is
// key + self * size, grouped by key and in ascending sectors within a key. Built for all rows at
// once by sorting, so that finding a row's companions never takes a pass over all rows.
struct KeyedRows {
    uint32_t sectorsPerCluster = 0;
    std::vector<uint32_t> entries; // positions (in ascending-sector order), sorted by (key, position)
    std::vector<uint32_t> entryOf; // position -> its entry, or UINT32_MAX when not keyed
    std::vector<uint32_t> next;    // skips entries already decided (path-compressed)
};

class Assembler {
public:
    Assembler(const std::vector<FatBootHit>& hits, std::vector<FatDirCluster>& dirs, bool selectedFat32,
              const ScanProgressFn& progress)
        : m_hits(hits), m_dirs(dirs), m_selectedFat32(selectedFat32), m_progress(progress)
    {
        m_order.resize(dirs.size());
        std::iota(m_order.begin(), m_order.end(), 0u);
        // Repeats of one row sort next to each other.
        std::stable_sort(m_order.begin(), m_order.end(), [&](uint32_t a, uint32_t b) {
            return dirs[a].sector != dirs[b].sector ? dirs[a].sector < dirs[b].sector : dirs[a].self < dirs[b].self;
        });
        for (uint32_t p = 0; p < m_order.size(); ++p) {
            FatDirCluster& row = Row(p);
            row.cluster0Start = 0;
            const bool twin = p > 0 && row.sector == Row(p - 1).sector && row.self == Row(p - 1).self;
            row.volume = twin ? kTwinRow : kDirNotAssigned;
        }
    }

    std::vector<DeepFatVolume> Run(bool firstRootHoldsFiles)
    {
        // The first boot sector makes a volume by its root alone only when no directory cluster
        // the scan found lies inside the volume it states: one that does is stale, and the folders
        // found there belong to what replaced it. A volume with files in its root only, beside
        // folders of other volumes, still makes one.
        if (firstRootHoldsFiles && !m_hits.empty() && IsValidSectorsPerCluster(m_hits[0].sectorsPerCluster) &&
            !HoldsDirectoryCluster(m_hits[0]))
            VolumeOf(m_hits[0]);
        BootSectorPass();
        InferencePass();
        for (uint32_t p = 1; p < m_order.size(); ++p) {
            if (Row(p).volume == kTwinRow) {
                Row(p).volume = Row(p - 1).volume;
                Row(p).cluster0Start = Row(p - 1).cluster0Start;
            }
        }
        return std::move(m_volumes);
    }

private:
    FatDirCluster& Row(uint32_t position) { return m_dirs[m_order[position]]; }

    bool HoldsDirectoryCluster(const FatBootHit& hit) const
    {
        for (const FatDirCluster& dir : m_dirs)
            if (dir.sector >= hit.sector && dir.sector < hit.totalSectors)
                return true;
        return false;
    }
    bool Open(uint32_t position) { return Row(position).volume == kDirNotAssigned; }

    uint64_t Key(const KeyedRows& keyed, uint32_t entry)
    {
        const FatDirCluster& row = Row(keyed.entries[entry]);
        return row.sector - uint64_t(row.self) * keyed.sectorsPerCluster;
    }

    void Decide(uint32_t position, uint32_t volume, uint64_t cluster0Start)
    {
        Row(position).volume = volume;
        Row(position).cluster0Start = cluster0Start;
        ++m_decided;
    }

    void Report()
    {
        if (m_progress)
            m_progress(m_decided, m_dirs.size());
    }

    uint32_t AddVolume(const DeepFatVolume& volume)
    {
        const VolumeKey key{ volume.cluster0Start, volume.sectorsPerCluster };
        auto found = m_byKey.find(key);
        if (found != m_byKey.end())
            return found->second;
        m_volumes.push_back(volume);
        return m_byKey[key] = uint32_t(m_volumes.size());
    }

    uint32_t VolumeOf(const FatBootHit& hit)
    {
        DeepFatVolume volume;
        static_cast<FatBootHit&>(volume) = hit;
        return AddVolume(volume);
    }

    // Every open row whose self * size does not pass its sector (nor reach it when positiveOnly:
    // an inferred volume's cluster 0 lies after sector 0).
    KeyedRows Index(uint32_t sectorsPerCluster, bool positiveOnly)
    {
        KeyedRows keyed;
        keyed.sectorsPerCluster = sectorsPerCluster;
        keyed.entryOf.assign(m_order.size(), UINT32_MAX);
        for (uint32_t p = 0; p < m_order.size(); ++p) {
            const FatDirCluster& row = Row(p);
            const uint64_t offset = uint64_t(row.self) * sectorsPerCluster;
            if (Open(p) && (offset < row.sector || (!positiveOnly && offset == row.sector)))
                keyed.entries.push_back(p);
        }
        std::vector<uint64_t> keys(m_order.size());
        for (uint32_t p : keyed.entries)
            keys[p] = Row(p).sector - uint64_t(Row(p).self) * sectorsPerCluster;
        std::sort(keyed.entries.begin(), keyed.entries.end(),
                  [&](uint32_t a, uint32_t b) { return keys[a] != keys[b] ? keys[a] < keys[b] : a < b; });
        keyed.next.resize(keyed.entries.size() + 1);
        for (uint32_t e = 0; e <= keyed.entries.size(); ++e)
            keyed.next[e] = e;
        for (uint32_t e = 0; e < keyed.entries.size(); ++e)
            keyed.entryOf[keyed.entries[e]] = e;
        return keyed;
    }

    // The first entry at or after e whose row is still open (the end when none).
    uint32_t FirstOpen(KeyedRows& keyed, uint32_t e)
    {
        const uint32_t end = uint32_t(keyed.entries.size());
        uint32_t r = e;
        while (r < end) {
            if (keyed.next[r] != r) {
                r = keyed.next[r];
            } else if (!Open(keyed.entries[r])) {
                keyed.next[r] = r + 1;
                ++r;
            } else {
                break;
            }
        }
        while (e < r) {
            const uint32_t following = keyed.next[e];
            keyed.next[e] = r;
            e = following;
        }
        return r;
    }

    void BootSectorPass()
    {
        KeyedRows bySize[kSizeCount];
        bool indexed[kSizeCount] = {};
        for (const FatBootHit& hit : m_hits) {
            const int size = SizeIndex(hit.sectorsPerCluster);
            if (size < 0)
                continue;
            KeyedRows& keyed = bySize[size];
            if (!indexed[size]) {
                keyed = Index(hit.sectorsPerCluster, false);
                indexed[size] = true;
            }
            // The rows on this boot sector's clusters, in ascending sectors, up to its volume's end.
            uint32_t first = 0, count = uint32_t(keyed.entries.size());
            while (count > 0) {
                const uint32_t half = count / 2;
                if (Key(keyed, first + half) < hit.cluster0Start)
                    first += half + 1, count -= half + 1;
                else
                    count = half;
            }
            uint32_t volume = kDirNotAssigned;
            for (uint32_t e = FirstOpen(keyed, first); e < keyed.entries.size() && Key(keyed, e) == hit.cluster0Start;
                 e = FirstOpen(keyed, e + 1)) {
                if (Row(keyed.entries[e]).sector > hit.totalSectors)
                    break;
                if (volume == kDirNotAssigned)
                    volume = VolumeOf(hit);
                Decide(keyed.entries[e], volume, hit.cluster0Start);
            }
            Report();
        }
    }

    void InferencePass()
    {
        KeyedRows bySize[kSizeCount];
        for (int size = 0; size < kSizeCount; ++size)
            bySize[size] = Index(kClusterSizes[size], true);
        uint64_t lastCluster0 = 0;
        for (uint32_t a = 0; a < m_order.size(); ++a) {
            if (!Open(a))
                continue;
            // The partner: the first open row after A in ascending sectors that lies on A's
            // cluster-0 sector for some cluster size. Along one key, sectors and clusters rise
            // together, so only the first open row of each key can be it: its cluster is above A's
            // and must still be below A's sector.
            const FatDirCluster& rowA = Row(a);
            int partnerSize = -1;
            uint32_t partnerPosition = UINT32_MAX;
            for (int size = 0; size < kSizeCount; ++size) {
                KeyedRows& keyed = bySize[size];
                const uint32_t e = keyed.entryOf[a];
                if (e == UINT32_MAX)
                    continue;
                const uint32_t b = FirstOpen(keyed, e + 1);
                if (b >= keyed.entries.size() || Key(keyed, b) != Key(keyed, e))
                    continue;
                const uint32_t position = keyed.entries[b];
                if (Row(position).self < rowA.sector && position < partnerPosition) {
                    partnerSize = size;
                    partnerPosition = position;
                }
            }
            if (partnerSize < 0) {
                Decide(a, kDirWithoutVolume, lastCluster0);
                Report();
                continue;
            }
            KeyedRows& keyed = bySize[partnerSize];
            uint32_t e = keyed.entryOf[a];
            const uint64_t cluster0 = Key(keyed, e);
            DeepFatVolume inferred;
            inferred.inferred = true;
            inferred.sectorsPerCluster = kClusterSizes[partnerSize];
            inferred.cluster0Start = cluster0;
            inferred.fat32 = m_selectedFat32;
            const uint32_t volume = AddVolume(inferred);
            lastCluster0 = cluster0;
            // Every open row on this cluster-0 sector joins: the whole key, from its first entry.
            while (e > 0 && Key(keyed, e - 1) == cluster0)
                --e;
            uint32_t highest = 0;
            for (; e < keyed.entries.size() && Key(keyed, e) == cluster0; ++e) {
                const uint32_t position = keyed.entries[e];
                if (!Open(position))
                    continue;
                highest = std::max(highest, Row(position).self);
                Decide(position, volume, cluster0);
            }
            if (highest > kFat16ClusterLimit && m_volumes[volume - 1].inferred)
                m_volumes[volume - 1].fat32 = true;
            Report();
        }
    }

    const std::vector<FatBootHit>& m_hits;
    std::vector<FatDirCluster>& m_dirs;
    bool m_selectedFat32;
    const ScanProgressFn& m_progress;
    std::vector<uint32_t> m_order; // row indices in ascending sectors (then clusters)
    std::vector<DeepFatVolume> m_volumes;
    std::unordered_map<VolumeKey, uint32_t, VolumeKeyHash> m_byKey;
    uint64_t m_decided = 0;
};

} // namespace

std::vector<DeepFatVolume> AssembleFatVolumes(const std::vector<FatBootHit>& hits, std::vector<FatDirCluster>& dirs,
                                              bool selectedFat32, bool firstRootHoldsFiles,
                                              const ScanProgressFn& progress)
{
    Assembler assembler(hits, dirs, selectedFat32, progress);
    return assembler.Run(firstRootHoldsFiles);
}

bool LocateFatCopies(SectorSource& source, DeepFatVolume& volume, const StopFlag* stop)
{
    constexpr uint32_t kBlock = 64;
    const uint64_t z = volume.cluster0Start;
    const uint64_t reach = volume.fat32 ? 30000 : 550;
    // Sector 0 holds a boot sector or a partition table, never a FAT.
    const uint64_t start = z > reach ? z - reach : 1;
    std::vector<uint8_t> block(size_t(kBlock) * kSectorSize);
    std::vector<uint8_t> delivered;
    uint64_t found[2] = {};
    int hits = 0;
    for (uint64_t b = start; b < z && hits < 2; b += kBlock) {
        if (stop != nullptr && stop->load())
            return false;
        const uint32_t n = uint32_t(std::min<uint64_t>(kBlock, z - b));
        ReadSectorsInPieces(source, b, n, 1, block.data(), delivered);
        for (uint32_t i = 0; i < n && hits < 2; ++i) {
            const uint8_t* s = block.data() + size_t(i) * kSectorSize;
            if (delivered[i] && s[0] == 0xF8 && s[1] == 0xFF && s[2] == 0xFF)
                found[hits++] = b + i;
        }
    }
    if (hits >= 1)
        volume.firstFat = found[0];
    if (hits < 2)
        return false;
    volume.secondFat = found[1];
    volume.sectorsPerFat = uint32_t(found[1] - found[0]);
    volume.rootStart = volume.fat32 ? 2 : found[1] + volume.sectorsPerFat;
    return true;
}

FatChainGeometry DeepFatChainGeometry(const FatBootHit& volume)
{
    return FatChainGeometry{ volume.fat32, volume.firstFat, volume.sectorsPerFat };
}

namespace {

// A FAT directory holds at most 65536 entries.
constexpr uint32_t kMaxDirectorySectors = 65536 * 32 / kSectorSize;
constexpr uint32_t kFat16DefaultRootSectors = 32;

// A directory's sectors in its own order, read once. A long name that begins in the sector
// before is found there, wherever the chain put that sector on the disk; sectors that could
// not be read are not handed out.
class DirectorySectors : public SectorSource {
public:
    void Append(SectorSource& source, uint64_t first, uint32_t count)
    {
        const size_t at = m_delivered.size();
        m_bytes.resize((at + count) * kSectorSize);
        std::vector<uint8_t> delivered;
        ReadSectorsInPieces(source, first, count, 1, m_bytes.data() + at * kSectorSize, delivered);
        m_delivered.insert(m_delivered.end(), delivered.begin(), delivered.end());
    }
    size_t Count() const { return m_delivered.size(); }
    const uint8_t* At(size_t index) const
    {
        return m_delivered[index] ? m_bytes.data() + index * kSectorSize : nullptr;
    }
    size_t Read(uint64_t sector, uint32_t count, uint8_t* buf) override
    {
        if (!BeginSectorRead(count, buf) || count != 1 || sector >= Count() || !m_delivered[sector])
            return 0;
        std::memcpy(buf, At(size_t(sector)), kSectorSize);
        return kSectorSize;
    }

private:
    std::vector<uint8_t> m_bytes;
    std::vector<uint8_t> m_delivered;
};

bool WalkFatDirectory(SectorSource& source, const FatBootHit& volume, uint32_t folderCluster, bool withFolders,
                      const std::function<bool()>& stop, const std::function<void(const FatListedEntry&)>& found)
{
    const uint32_t spc = volume.sectorsPerCluster;
    if (!IsValidSectorsPerCluster(spc))
        return false;
    DirectorySectors sectors;
    const bool fixedRoot = folderCluster == 0 && !volume.fat32;
    if (fixedRoot) {
        const uint32_t count = volume.rootSectors != 0 ? volume.rootSectors : kFat16DefaultRootSectors;
        // Where the FATs are unknown, the root is taken to end where cluster 2 begins.
        const uint64_t first = volume.rootStart != 0 ? volume.rootStart : volume.cluster0Start + 2ull * spc - count;
        sectors.Append(source, first, std::min(count, kMaxDirectorySectors));
    } else {
        const uint32_t start = folderCluster != 0 ? folderCluster
            : volume.rootStart != 0               ? uint32_t(volume.rootStart)
                                                  : 2;
        std::vector<uint32_t> chain;
        WalkFatChain(source, DeepFatChainGeometry(volume), start, kMaxDirectorySectors / spc, stop, chain);
        for (uint32_t cluster : chain) {
            if (stop && stop())
                return true;
            sectors.Append(source, volume.cluster0Start + uint64_t(cluster) * spc, spc);
        }
    }
    for (size_t i = 0; i < sectors.Count(); ++i) {
        if (stop && stop())
            break;
        const uint8_t* sector = sectors.At(i);
        if (sector != nullptr &&
            !ListFatDirectorySector(&sectors, sector, i, volume.fat32, withFolders, nullptr, found) && !fixedRoot)
            break;
    }
    return true;
}

} // namespace

bool ForEachFatDirectoryEntry(SectorSource& source, const FatBootHit& volume, uint32_t folderCluster, bool withFolders,
                              const std::atomic<bool>* stop, const std::function<void(const FatListedEntry&)>& found)
{
    std::function<bool()> stopped;
    if (stop != nullptr)
        stopped = [stop] { return stop->load(); };
    return WalkFatDirectory(source, volume, folderCluster, withFolders, stopped, found);
}

int CheckFatRootDirectory(SectorSource& source, const FatBootHit& volume)
{
    int named = 0;
    WalkFatDirectory(
        source, volume, 0, false, [&] { return named >= 2; },
        [&](const FatListedEntry& entry) { named += entry.name.IsEmpty() ? 0 : 1; });
    return named >= 2 ? 2 : 0;
}

namespace {

DeepFolderRow FolderRow(uint64_t sector, uint64_t self, uint64_t parent, uint64_t date)
{
    DeepFolderRow row;
    row.sector = sector;
    row.self = self;
    row.parent = parent;
    row.date = date;
    row.attr = 0x10;
    return row;
}

} // namespace

DeepFolderRow CatchAllFolderRow(uint32_t rootId, int hour, int minute, int second)
{
    DeepFolderRow row = FolderRow(0, kMissingParentId, rootId, 0);
    row.name = kMiscFolderName;
    row.time = FatTimeWord(hour, minute, second);
    return row;
}

void ForEachDeepFatFolder(const std::vector<FatDirCluster>& dirs, size_t volumeCount,
                          const std::function<void(size_t, const FatDirCluster&, uint64_t)>& found)
{
    // The rows' indexes by volume (a counting pass), so that no row is copied.
    std::vector<uint32_t> starts(volumeCount + 1, 0);
    for (const FatDirCluster& dir : dirs) {
        if (dir.volume != kDirNotAssigned && dir.volume <= volumeCount)
            ++starts[dir.volume];
    }
    for (size_t k = 1; k <= volumeCount; ++k)
        starts[k] += starts[k - 1];
    std::vector<uint32_t> order(starts[volumeCount]);
    for (size_t i = 0; i < dirs.size(); ++i) {
        const uint32_t volume = dirs[i].volume;
        if (volume != kDirNotAssigned && volume <= volumeCount)
            order[starts[volume - 1]++] = uint32_t(i);
    }
    // Numbered volume by volume, as the folders of each volume are shown together.
    uint64_t number = 0;
    for (const uint32_t i : order)
        found(dirs[i].volume - 1, dirs[i], number++);
}

DeepFolderRow DeepFatFolderRow(const FatDirCluster& dir, uint64_t number)
{
    DeepFolderRow row = FolderRow(dir.sector, dir.self, dir.parent, dir.date);
    row.time = dir.time;
    row.cluster0Start = dir.cluster0Start;
    row.name.Format(L"DIR%llu", (unsigned long long)number);
    return row;
}

std::vector<std::vector<DeepFolderRow>> DeepFatFolderRows(const std::vector<FatDirCluster>& dirs, size_t volumeCount)
{
    std::vector<std::vector<DeepFolderRow>> volumes(volumeCount);
    ForEachDeepFatFolder(dirs, volumeCount, [&](size_t k, const FatDirCluster& dir, uint64_t number) {
        volumes[k].push_back(DeepFatFolderRow(dir, number));
    });
    return volumes;
}

size_t NameFatChildFolders(SectorSource& source, const DeepFatVolume& volume, uint32_t folderCluster,
                           std::vector<DeepFolderRow>& rows, const std::atomic<bool>* stop)
{
    std::unordered_map<uint64_t, size_t> children;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].parent == folderCluster && rows[i].cluster0Start == volume.cluster0Start)
            children.emplace(rows[i].self, i);
    }
    size_t named = 0;
    if (children.empty())
        return named;
    WalkFatDirectory(
        source, volume, folderCluster, true, [&] { return children.empty() || (stop != nullptr && stop->load()); },
        [&](const FatListedEntry& listed) {
            auto child = listed.entry.directory() ? children.find(listed.firstCluster) : children.end();
            if (child == children.end())
                return;
            DeepFolderRow& row = rows[child->second];
            row.name = listed.name;
            row.deleted = row.deleted || listed.deleted;
            children.erase(child);
            ++named;
        });
    return named;
}

FatCandidateRow DeepFatVolumeCells(const DeepFatVolume& v)
{
    FatCandidateRow cells(12);
    // An inferred volume leaves what it does not know empty.
    auto put = [&](size_t column, uint64_t value) {
        if (!v.inferred || value != 0)
            cells[column].Format(L"%llu", (unsigned long long)value);
    };
    put(1, v.sectorsPerFat);
    put(2, v.sectorsPerCluster);
    put(3, v.rootSectors);
    put(4, v.rootStart);
    put(5, v.reservedSectors);
    put(6, v.cluster0Start);
    put(7, v.firstFat);
    put(8, v.secondFat);
    put(9, v.totalSectors);
    cells[0].Format(L"%llu", (unsigned long long)v.sector);
    cells[10] = v.fat32 ? L"FAT32" : L"FAT16";
    if (v.endSector != 0)
        cells[11].Format(L"%llu", (unsigned long long)v.endSector);
    return cells;
}
