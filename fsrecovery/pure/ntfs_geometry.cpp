#include "fsrecovery/pure/ntfs_geometry.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "storage/pure/bootsector.h"
#include "storage/pure/fs_names.h"

namespace {

constexpr uint32_t kRootFolder = 5;
constexpr uint32_t kSystemFiles = 12;
// Record 9 was $Quota before NTFS 3.0 and is $Secure since.
const wchar_t* const kSystemNames[kSystemFiles] = { L"$MFT",    L"$MFTMirr", L"$LogFile", L"$Volume",
                                                    L"$AttrDef", L".",       L"$Bitmap",  L"$Boot",
                                                    L"$BadClus", L"$Secure", L"$UpCase",  L"$Extend" };
constexpr size_t kMaxPlaces = 1024;
constexpr uint64_t kRecordSectors = kMftRecordSize / kSectorSize;

bool IsSystemName(const CString& name, uint32_t number)
{
    return name == kSystemNames[number] || (number == 9 && name == L"$Quota");
}

bool Mul(uint64_t a, uint64_t b, uint64_t& out)
{
    return !__builtin_mul_overflow(a, b, &out);
}

bool Add(uint64_t a, uint64_t b, uint64_t& out)
{
    return !__builtin_add_overflow(a, b, &out);
}

// Cluster 0 for a record at `sector` that lies in cluster `cluster`; false when it cannot.
bool Cluster0For(uint64_t sector, uint64_t cluster, uint32_t spc, uint64_t& cluster0)
{
    uint64_t offset = 0;
    if (!Mul(cluster, spc, offset) || offset > sector)
        return false;
    cluster0 = sector - offset;
    return true;
}

// A boot sector of the volume whose cluster 0 is at cluster0: its primary there, or its backup
// after the counted sectors (or in the last of them, where the count takes in the whole volume).
bool BootOfVolume(const NtfsBootHit& boot, uint64_t cluster0)
{
    if (boot.sector == cluster0)
        return true;
    if (boot.sector < cluster0)
        return false;
    const uint64_t d = boot.sector - cluster0;
    return d == boot.totalSectors || (boot.totalSectors != 0 && d == boot.totalSectors - 1);
}

// Where record 0 of a $MFT or of a mirror lies: a record 0 there, or a record 1 right behind it.
struct Place {
    uint64_t sector = 0;
    bool hasMft = false, hasMirror = false;
    uint64_t mftCluster = 0;                // named by record 0
    uint64_t mirrorCluster = 0;             // named by record 1
    const std::vector<ClusterRun>* runs = nullptr; // record 0's, when that copy is whole
    bool used = false;
};

class Finds {
public:
    explicit Finds(const std::vector<NtfsSystemRecord>& records)
    {
        for (const NtfsSystemRecord& r : records)
            m_at.insert({ r.sector, r.number });
    }
    bool Has(uint64_t sector, uint32_t number) const { return m_at.count({ sector, number }) != 0; }
    // Records first..last at their places behind record 0 at `place`.
    int CountBehind(uint64_t place, uint32_t first, uint32_t last) const
    {
        int count = 0;
        for (uint32_t n = first; n <= last; ++n) {
            uint64_t at = 0;
            if (Add(place, n * kRecordSectors, at) && Has(at, n))
                ++count;
        }
        return count;
    }

private:
    std::set<std::pair<uint64_t, uint32_t>> m_at;
};

struct Candidate {
    uint64_t cluster0 = 0;
    uint32_t spc = 0;
    size_t mft = 0, mirror = 0; // indexes of the places
    int support = 0;
    uint64_t distance = 0;
};

std::vector<Place> Places(const std::vector<NtfsSystemRecord>& records)
{
    std::map<uint64_t, Place> bySector;
    for (const NtfsSystemRecord& r : records) {
        if (r.number > 1 || (r.number == 1 && r.sector < kRecordSectors))
            continue;
        const uint64_t at = r.sector - r.number * kRecordSectors;
        auto it = bySector.find(at);
        if (it == bySector.end()) {
            if (bySector.size() >= kMaxPlaces)
                continue;
            it = bySector.emplace(at, Place()).first;
            it->second.sector = at;
        }
        Place& p = it->second;
        if (r.number == 0) {
            // A torn copy still tells where the $MFT begins, but not its runs: its stale sector may
            // hold an older list.
            p.hasMft = true;
            p.mftCluster = r.firstCluster;
            p.runs = r.whole ? &r.runs : nullptr;
        } else {
            p.hasMirror = true;
            p.mirrorCluster = r.firstCluster;
        }
    }
    std::vector<Place> places;
    places.reserve(bySector.size());
    for (auto& entry : bySector)
        places.push_back(entry.second);
    return places;
}

// Two places of one volume: the copy in the $MFT and the copy in the mirror.
bool PairGeometry(const Place& low, const Place& high, const Finds& finds, size_t lowIndex, size_t highIndex,
                  Candidate& out)
{
    if ((low.hasMft && high.hasMft && low.mftCluster != high.mftCluster) ||
        (low.hasMirror && high.hasMirror && low.mirrorCluster != high.mirrorCluster))
        return false;
    if (!(low.hasMft || high.hasMft) || !(low.hasMirror || high.hasMirror))
        return false;
    const uint64_t m = low.hasMft ? low.mftCluster : high.mftCluster;
    const uint64_t r = low.hasMirror ? low.mirrorCluster : high.mirrorCluster;
    if (m == r)
        return false;
    // The copy at the higher cluster lies at the higher sector.
    const bool mftHigh = m > r;
    const uint64_t clusters = mftHigh ? m - r : r - m;
    const uint64_t distance = high.sector - low.sector;
    if (distance % clusters != 0 || distance / clusters > 128)
        return false;
    const uint32_t spc = uint32_t(distance / clusters);
    if (!IsValidSectorsPerCluster(spc))
        return false;
    const Place& mft = mftHigh ? high : low;
    const Place& mirror = mftHigh ? low : high;
    uint64_t cluster0 = 0, check = 0;
    if (!Cluster0For(mft.sector, m, spc, cluster0) || !Cluster0For(mirror.sector, r, spc, check) ||
        check != cluster0)
        return false;
    out.cluster0 = cluster0;
    out.spc = spc;
    out.mft = mftHigh ? highIndex : lowIndex;
    out.mirror = mftHigh ? lowIndex : highIndex;
    out.distance = distance;
    out.support = int(mft.hasMft) + int(mft.hasMirror) + int(mirror.hasMft) + int(mirror.hasMirror) +
                  finds.CountBehind(mft.sector, 2, kSystemFiles - 1) + finds.CountBehind(mirror.sector, 2, 3);
    return true;
}

bool SameVolume(const std::vector<NtfsVolumeGeometry>& volumes, uint64_t cluster0)
{
    for (const NtfsVolumeGeometry& v : volumes) {
        if (v.cluster0 == cluster0)
            return true;
    }
    return false;
}

// The volume of place a (its $MFT's, or a lone copy) and b (its mirror's, when paired). Its runs are
// those of the record 0 at a when that copy is whole, else of the one at b when that one is.
NtfsVolumeGeometry MakeVolume(uint64_t cluster0, uint32_t spc, NtfsGeometryBasis basis, const Place& a,
                              const Place* b)
{
    NtfsVolumeGeometry v;
    v.cluster0 = cluster0;
    v.sectorsPerCluster = spc;
    v.basis = basis;
    if (a.runs != nullptr)
        v.mftRuns = *a.runs;
    else if (b != nullptr && b->runs != nullptr)
        v.mftRuns = *b->runs;
    const Place* named = a.hasMirror ? &a : (b != nullptr && b->hasMirror ? b : nullptr);
    uint64_t offset = 0, mirror = 0;
    if (named != nullptr && named->mirrorCluster != 0 && Mul(named->mirrorCluster, spc, offset) &&
        Add(cluster0, offset, mirror))
        v.mirrorSector = mirror;
    return v;
}

// A lone copy at place p read as lying in `cluster`: the first boot sector or known start that
// puts it there.
bool LoneCopyGeometry(const Place& p, uint64_t cluster, const std::vector<NtfsBootHit>& boots,
                      const std::vector<uint64_t>& knownStarts, NtfsVolumeGeometry& out)
{
    for (const NtfsBootHit& boot : boots) {
        uint64_t cluster0 = 0;
        if (IsValidSectorsPerCluster(boot.sectorsPerCluster) &&
            Cluster0For(p.sector, cluster, boot.sectorsPerCluster, cluster0) && BootOfVolume(boot, cluster0)) {
            out = MakeVolume(cluster0, boot.sectorsPerCluster, NtfsGeometryBasis::MftCopyAndBootSector, p, nullptr);
            out.totalSectors = boot.totalSectors;
            return true;
        }
    }
    if (cluster == 0)
        return false; // cluster 0 holds the boot sector, never a record
    for (uint64_t start : knownStarts) {
        if (start > p.sector || (p.sector - start) % cluster != 0 || (p.sector - start) / cluster > 128)
            continue;
        const uint32_t spc = uint32_t((p.sector - start) / cluster);
        if (IsValidSectorsPerCluster(spc)) {
            out = MakeVolume(start, spc, NtfsGeometryBasis::MftCopyAndVolumeStart, p, nullptr);
            return true;
        }
    }
    return false;
}

// Every pair of places that reads as one volume's $MFT and $MFTMirr, the best supported first,
// then the nearer, then the lower $MFT.
std::vector<Candidate> RankedPairs(const std::vector<Place>& places, const Finds& finds)
{
    std::vector<Candidate> candidates;
    for (size_t i = 0; i < places.size(); ++i) {
        for (size_t j = i + 1; j < places.size(); ++j) {
            Candidate c;
            if (PairGeometry(places[i], places[j], finds, i, j, c))
                candidates.push_back(c);
        }
    }
    std::sort(candidates.begin(), candidates.end(), [&](const Candidate& a, const Candidate& b) {
        if (a.support != b.support)
            return a.support > b.support;
        if (a.distance != b.distance)
            return a.distance < b.distance;
        return places[a.mft].sector < places[b.mft].sector;
    });
    return candidates;
}

// A volume of each ranked pair whose places no better pair took, sized by a boot sector of it.
void AddPairedVolumes(const std::vector<Candidate>& ranked, std::vector<Place>& places,
                      const std::vector<NtfsBootHit>& boots, std::vector<NtfsVolumeGeometry>& volumes)
{
    for (const Candidate& c : ranked) {
        Place& mft = places[c.mft];
        Place& mirror = places[c.mirror];
        if (mft.used || mirror.used || SameVolume(volumes, c.cluster0))
            continue;
        mft.used = mirror.used = true;
        NtfsVolumeGeometry v = MakeVolume(c.cluster0, c.spc, NtfsGeometryBasis::MftAndMirror, mft, &mirror);
        for (const NtfsBootHit& boot : boots) {
            if (boot.sectorsPerCluster == c.spc && BootOfVolume(boot, c.cluster0)) {
                v.totalSectors = boot.totalSectors;
                break;
            }
        }
        volumes.push_back(std::move(v));
    }
}

// A volume of each place no pair took, where a boot sector or a known start places it.
void AddLoneCopyVolumes(const std::vector<Place>& places, const Finds& finds, const std::vector<NtfsBootHit>& boots,
                        const std::vector<uint64_t>& knownStarts, std::vector<NtfsVolumeGeometry>& volumes)
{
    for (const Place& p : places) {
        if (p.used)
            continue;
        // Records 4 to 11 follow record 0 only in the $MFT: the mirror holds four records.
        const bool inMft = finds.CountBehind(p.sector, 4, kSystemFiles - 1) > 0;
        NtfsVolumeGeometry v;
        const bool found = (!inMft && p.hasMirror && LoneCopyGeometry(p, p.mirrorCluster, boots, knownStarts, v)) ||
                           (p.hasMft && LoneCopyGeometry(p, p.mftCluster, boots, knownStarts, v));
        if (found && !SameVolume(volumes, v.cluster0))
            volumes.push_back(std::move(v));
    }
}

// The sectors of every volume's $MFT, ascending. Where extents overlap (a hostile or stale $MFT),
// the one that begins first keeps the sectors.
std::vector<NtfsGeometryMap::Extent> MftExtentsOf(const std::vector<NtfsVolumeGeometry>& volumes)
{
    std::vector<NtfsGeometryMap::Extent> extents;
    for (size_t i = 0; i < volumes.size(); ++i) {
        const NtfsVolumeGeometry& v = volumes[i];
        for (const ClusterRun& run : v.mftRuns) {
            uint64_t offset = 0, first = 0, length = 0, end = 0;
            if (run.sparse || run.clusterCount == 0 || !Mul(run.firstCluster, v.sectorsPerCluster, offset) ||
                !Add(v.cluster0, offset, first) || !Mul(run.clusterCount, v.sectorsPerCluster, length) ||
                !Add(first, length, end))
                continue;
            extents.push_back({ first, end, i });
        }
    }
    std::sort(extents.begin(), extents.end(), [](const NtfsGeometryMap::Extent& a, const NtfsGeometryMap::Extent& b) {
        return a.first != b.first ? a.first < b.first : a.end > b.end;
    });
    std::vector<NtfsGeometryMap::Extent> kept;
    for (NtfsGeometryMap::Extent e : extents) {
        if (!kept.empty() && e.first < kept.back().end)
            e.first = kept.back().end;
        if (e.first < e.end)
            kept.push_back(e);
    }
    return kept;
}

// The mirror holds copies of the first records: where the $MFT's copy of a record was found
// too, the mirror's is the same file again. Their sectors, ascending, each once.
std::vector<uint64_t> MirrorCopiesOf(const std::vector<NtfsSystemRecord>& records,
                                     const std::vector<NtfsVolumeGeometry>& volumes, const Finds& finds)
{
    std::vector<uint64_t> copies;
    for (const NtfsSystemRecord& r : records) {
        for (const NtfsVolumeGeometry& v : volumes) {
            uint64_t inMirror = 0, inMft = 0;
            if (v.mirrorSector != 0 && Add(v.mirrorSector, uint64_t(r.number) * kRecordSectors, inMirror) &&
                r.sector == inMirror && v.MftRecordSector(r.number, inMft) && inMft != r.sector &&
                finds.Has(inMft, r.number)) {
                copies.push_back(r.sector);
                break;
            }
        }
    }
    std::sort(copies.begin(), copies.end());
    copies.erase(std::unique(copies.begin(), copies.end()), copies.end());
    return copies;
}

} // namespace

bool IsNtfsSystemFileName(const CString& name)
{
    for (uint32_t n = 0; n < kSystemFiles; ++n)
        if (IsSystemName(name, n))
            return true;
    return false;
}

bool IsNtfsSystemFileName(const std::u16string& name)
{
    // Every one begins with "$", but the root's ".".
    return !name.empty() && (name[0] == u'$' || name == u".") && IsNtfsSystemFileName(NameToCString(name));
}

bool NoteNtfsSystemRecord(const CarvedMftRecord& record, std::vector<NtfsSystemRecord>& out)
{
    if (out.size() >= kMaxNtfsSystemRecords || record.parent != kRootFolder)
        return false;
    uint32_t number = record.recordNumber;
    if (!record.numbered) {
        number = kSystemFiles;
        for (uint32_t n = 0; n < kSystemFiles && number == kSystemFiles; ++n) {
            if (IsSystemName(record.name, n))
                number = n;
        }
    }
    if (number >= kSystemFiles || !IsSystemName(record.name, number))
        return false;
    NtfsSystemRecord kept;
    kept.sector = record.sector;
    kept.number = number;
    kept.whole = record.whole;
    if (number <= 1) {
        if (record.data != CarvedMftRecord::Data::NonResident || record.runs.empty() || record.runs[0].sparse ||
            record.runs[0].clusterCount == 0)
            return false;
        kept.firstCluster = record.runs[0].firstCluster;
        if (number == 0)
            kept.runs = record.runs;
    }
    out.push_back(std::move(kept));
    return true;
}

NtfsGeometryMap InferNtfsVolumeGeometry(const std::vector<NtfsSystemRecord>& records,
                                        const std::vector<NtfsBootHit>& boots,
                                        const std::vector<uint64_t>& knownStarts, uint64_t fallbackStart)
{
    NtfsGeometryMap map;
    map.fallback.cluster0 = fallbackStart;
    map.fallback.sectorsPerCluster = ChooseNtfsSectorsPerCluster(boots, fallbackStart);
    if (!IsValidSectorsPerCluster(map.fallback.sectorsPerCluster))
        map.fallback.sectorsPerCluster = 8;

    const Finds finds(records);
    std::vector<Place> places = Places(records);
    AddPairedVolumes(RankedPairs(places, finds), places, boots, map.volumes);
    AddLoneCopyVolumes(places, finds, boots, knownStarts, map.volumes);
    std::sort(map.volumes.begin(), map.volumes.end(),
              [](const NtfsVolumeGeometry& a, const NtfsVolumeGeometry& b) { return a.cluster0 < b.cluster0; });
    map.mftExtents = MftExtentsOf(map.volumes);
    map.mirrorCopies = MirrorCopiesOf(records, map.volumes, finds);
    return map;
}

bool NtfsVolumeGeometry::MftRecordSector(uint64_t number, uint64_t& sector) const
{
    uint64_t wanted = 0;
    if (!Mul(number, kRecordSectors, wanted))
        return false;
    for (const ClusterRun& run : mftRuns) {
        uint64_t length = 0, offset = 0, first = 0;
        if (!Mul(run.clusterCount, sectorsPerCluster, length))
            return false;
        if (wanted < length) {
            if (run.sparse || !Mul(run.firstCluster, sectorsPerCluster, offset) || !Add(cluster0, offset, first))
                return false;
            return Add(first, wanted, sector);
        }
        wanted -= length;
    }
    return false;
}

bool NtfsGeometryMap::IsMirrorCopy(uint64_t sector) const
{
    return std::binary_search(mirrorCopies.begin(), mirrorCopies.end(), sector);
}

const NtfsVolumeGeometry& NtfsGeometryMap::ForRecord(uint64_t sector) const
{
    auto extent = std::upper_bound(mftExtents.begin(), mftExtents.end(), sector,
                                   [](uint64_t s, const Extent& e) { return s < e.first; });
    if (extent != mftExtents.begin() && sector < std::prev(extent)->end)
        return volumes[std::prev(extent)->volume];
    auto volume = std::upper_bound(volumes.begin(), volumes.end(), sector,
                                   [](uint64_t s, const NtfsVolumeGeometry& v) { return s < v.cluster0; });
    if (volume == volumes.begin())
        return fallback;
    const NtfsVolumeGeometry& before = *std::prev(volume);
    if (before.totalSectors != 0 && sector - before.cluster0 >= before.totalSectors)
        return fallback;
    return before;
}
