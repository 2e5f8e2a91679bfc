// Fuzzes the inference of NTFS volume geometry from carved system records, boot sectors and
// volume starts: every volume it gives has a usable cluster size, is placed by a record of its
// own $MFT or mirror, takes its $MFT's runs from a whole copy of record 0 only, and every record
// is answered with a usable geometry.
//
// Input: byte 0 = boot sectors (low 2 bits) and starts (next 2 bits); then each boot sector as a
// 32-bit sector, a byte of sectors per cluster and a 32-bit count; each start as 32 bits; the
// rest are records of 10 bytes: the number (mod 12; its top bit set: a torn copy), a 32-bit
// sector, a 32-bit first cluster and a byte whose top bit lifts the cluster above 2^32 and whose
// low bits are the $MFT's length.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "fsrecovery/pure/ntfs_geometry.h"
#include "storage/pure/bootsector.h"

namespace {

uint32_t Le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void CheckGeometry(const NtfsVolumeGeometry& v)
{
    if (!IsValidSectorsPerCluster(v.sectorsPerCluster))
        abort(); // no file is read with an unusable cluster size
}

// A record 0 or 1 whose copy lies where a cluster that a record 0 or 1 names puts it (the
// mirror's record 0 names the $MFT's cluster, not its own).
bool PlacedByRecord(const NtfsVolumeGeometry& v, const std::vector<NtfsSystemRecord>& records)
{
    for (const NtfsSystemRecord& at : records) {
        for (const NtfsSystemRecord& named : records) {
            if (at.number > 1 || named.number > 1)
                continue;
            const unsigned __int128 place =
                (unsigned __int128)v.cluster0 + (unsigned __int128)named.firstCluster * v.sectorsPerCluster;
            if (place + 2 * at.number == at.sector)
                return true;
        }
    }
    return false;
}

// The volume's $MFT runs are none, or those of a whole record 0 (each copy's runs end in a run of
// its own sector).
bool RunsFromWholeCopy(const NtfsVolumeGeometry& v, const std::vector<NtfsSystemRecord>& records)
{
    if (v.mftRuns.empty())
        return true;
    const auto same = [](const ClusterRun& a, const ClusterRun& b) {
        return a.firstCluster == b.firstCluster && a.clusterCount == b.clusterCount && a.sparse == b.sparse;
    };
    for (const NtfsSystemRecord& r : records) {
        if (r.number == 0 && r.whole && r.runs.size() == v.mftRuns.size() &&
            std::equal(r.runs.begin(), r.runs.end(), v.mftRuns.begin(), same))
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t bootCount = data[0] & 3, startCount = (data[0] >> 2) & 3;
    size_t at = 1;
    std::vector<NtfsBootHit> boots;
    for (size_t i = 0; i < bootCount && at + 9 <= size; ++i, at += 9) {
        NtfsBootHit b;
        b.sector = Le32(data + at);
        b.sectorsPerCluster = data[at + 4];
        b.totalSectors = Le32(data + at + 5);
        boots.push_back(b);
    }
    std::vector<uint64_t> starts;
    for (size_t i = 0; i < startCount && at + 4 <= size; ++i, at += 4)
        starts.push_back(Le32(data + at));
    std::vector<NtfsSystemRecord> records;
    for (; at + 10 <= size; at += 10) {
        NtfsSystemRecord r;
        r.number = data[at] % 12;
        r.whole = (data[at] & 0x80) == 0;
        r.sector = Le32(data + at + 1);
        r.firstCluster = Le32(data + at + 5);
        if (data[at + 9] & 0x80)
            r.firstCluster = ~r.firstCluster;
        if (r.number == 0)
            r.runs = { { r.firstCluster, uint64_t(data[at + 9] & 0x7F), false }, { r.sector, ~0ull, false } };
        records.push_back(r);
    }

    const NtfsGeometryMap map = InferNtfsVolumeGeometry(records, boots, starts, starts.empty() ? 0 : starts[0]);
    CheckGeometry(map.fallback);
    for (size_t i = 0; i < map.volumes.size(); ++i) {
        CheckGeometry(map.volumes[i]);
        if (map.volumes[i].basis == NtfsGeometryBasis::Unconfirmed || !PlacedByRecord(map.volumes[i], records))
            abort(); // every volume is where one of its records puts it
        if (!RunsFromWholeCopy(map.volumes[i], records))
            abort(); // a torn copy's stale sector never places the $MFT
        if (i > 0 && map.volumes[i - 1].cluster0 >= map.volumes[i].cluster0)
            abort(); // ascending, no two alike
    }
    for (size_t i = 0; i < map.mftExtents.size(); ++i) {
        const NtfsGeometryMap::Extent& e = map.mftExtents[i];
        if (e.first >= e.end || e.volume >= map.volumes.size() || (i > 0 && map.mftExtents[i - 1].end > e.first))
            abort(); // sorted extents that do not overlap
    }
    for (const NtfsSystemRecord& r : records)
        CheckGeometry(map.ForRecord(r.sector));
    CheckGeometry(map.ForRecord(~0ull));
    return 0;
}
