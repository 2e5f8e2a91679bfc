// The NTFS volume geometry a Deep scan reads files with: from the two copies of record 0, from one
// copy and a boot sector or volume start that agrees with it, and else the old rule.
#include <gtest/gtest.h>

#include <limits>

#include "fsrecovery/pure/deep_assembly.h"
#include "fsrecovery/pure/deep_results.h"
#include "fsrecovery/pure/ntfs_geometry.h"
#include "tests/pure/ntfs_test_records.h"

namespace {

using Records = std::vector<NtfsSystemRecord>;

// One volume as mkntfs lays it out: the $MFT at `mft` clusters, its mirror at `mirror`, records
// 0 to 11 in the $MFT and 0 to 3 in the mirror (each copy left out on request).
struct Volume {
    uint64_t cluster0 = 0;
    uint32_t spc = 1;
    uint64_t mft = 32, mirror = 8191;
    uint64_t MftSector() const { return cluster0 + mft * spc; }
    uint64_t MirrorSector() const { return cluster0 + mirror * spc; }
};

void AddCopy(Records& out, const Volume& v, bool inMft)
{
    const uint64_t at = inMft ? v.MftSector() : v.MirrorSector();
    for (uint32_t n = 0; n < (inMft ? 12u : 4u); ++n) {
        NtfsSystemRecord r;
        r.sector = at + 2 * n;
        r.number = n;
        if (n == 0) {
            r.firstCluster = v.mft;
            r.runs = { { v.mft, 64 / v.spc, false } };
        } else if (n == 1) {
            r.firstCluster = v.mirror;
        }
        out.push_back(r);
    }
}

Records Both(const Volume& v)
{
    Records out;
    AddCopy(out, v, true);
    AddCopy(out, v, false);
    return out;
}

NtfsBootHit Boot(uint64_t sector, uint32_t spc, uint64_t total)
{
    NtfsBootHit b;
    b.sector = sector, b.sectorsPerCluster = spc, b.totalSectors = total;
    return b;
}

} // namespace

TEST(NtfsGeometry, TwoCopiesGiveClusterSizeAndStartWithoutBootSector)
{
    for (uint32_t spc : { 1u, 4u, 8u }) {
        const Volume v{ 20480, spc, 32 / spc, 8191 / spc };
        const NtfsGeometryMap map = InferNtfsVolumeGeometry(Both(v), {}, {}, 0);
        ASSERT_EQ(map.volumes.size(), 1u) << spc;
        EXPECT_EQ(map.volumes[0].sectorsPerCluster, spc);
        EXPECT_EQ(map.volumes[0].cluster0, 20480u);
        EXPECT_EQ(map.volumes[0].basis, NtfsGeometryBasis::MftAndMirror);
        EXPECT_EQ(&map.ForRecord(v.MftSector() + 40), &map.volumes[0]); // a file's record in the $MFT
    }
    // The mirror before the $MFT, record 0 of one copy and record 1 of the other only.
    const Volume v{ 1000, 2, 500, 3 };
    Records some;
    AddCopy(some, v, true);
    AddCopy(some, v, false);
    some.erase(some.begin()); // the $MFT's record 0
    some.erase(some.begin() + 12); // the mirror's record 1 (after the $MFT's eleven)
    const NtfsGeometryMap map = InferNtfsVolumeGeometry(some, {}, {}, 0);
    ASSERT_EQ(map.volumes.size(), 1u);
    EXPECT_EQ(map.volumes[0].sectorsPerCluster, 2u);
    EXPECT_EQ(map.volumes[0].cluster0, 1000u);

    // The $MFT's copy of record 0 torn, its runs those of a stale sector: it still places the
    // volume, but the runs come from the mirror's copy when that one is whole, else there are none.
    const Volume w{ 20480, 4, 8, 2047 };
    for (const bool mirrorWhole : { true, false }) {
        SCOPED_TRACE(mirrorWhole);
        Records records = Both(w);
        records[0].whole = false;
        records[0].runs = { { 500, 16, false } };
        records[12].whole = mirrorWhole; // the mirror's record 0, after the $MFT's twelve
        const NtfsGeometryMap torn = InferNtfsVolumeGeometry(records, {}, {}, 0);
        ASSERT_EQ(torn.volumes.size(), 1u);
        EXPECT_EQ(torn.volumes[0].cluster0, 20480u);
        EXPECT_EQ(torn.volumes[0].sectorsPerCluster, 4u);
        ASSERT_EQ(torn.volumes[0].mftRuns.size(), mirrorWhole ? 1u : 0u);
        if (mirrorWhole) {
            EXPECT_EQ(torn.volumes[0].mftRuns[0].firstCluster, 8u);
        }
    }
}

TEST(NtfsGeometry, RecordsWinOverABootSectorOrStartThatDisagrees)
{
    const Volume v{ 20480, 4, 8, 2047 };
    // The only boot sector left is the backup, its cluster size damaged (8 for 4); an unrelated
    // volume's primary comes first, and the start given is another partition's.
    const std::vector<NtfsBootHit> boots = { Boot(100, 2, 5000), Boot(20480 + 16383, 8, 16383) };
    const NtfsGeometryMap map = InferNtfsVolumeGeometry(Both(v), boots, { 2048 }, 2048);
    ASSERT_EQ(map.volumes.size(), 1u);
    EXPECT_EQ(map.volumes[0].sectorsPerCluster, 4u);
    EXPECT_EQ(map.volumes[0].cluster0, 20480u);
    EXPECT_EQ(map.volumes[0].totalSectors, 0u); // not taken from a boot sector that disagrees
    // With an intact one its size is known, and a record past it is not the volume's.
    const NtfsGeometryMap intact = InferNtfsVolumeGeometry(Both(v), { Boot(20480 + 16383, 4, 16383) }, {}, 0);
    ASSERT_EQ(intact.volumes.size(), 1u);
    EXPECT_EQ(intact.volumes[0].totalSectors, 16383u);
    EXPECT_EQ(&intact.ForRecord(20480 + 16000), &intact.volumes[0]);
    EXPECT_EQ(&intact.ForRecord(20480 + 16383), &intact.fallback);
}

TEST(NtfsGeometry, OneCopyNeedsABootSectorOrStartThatAgrees)
{
    const Volume v{ 4096, 4, 8, 2047 };
    Records mirrorOnly, mftOnly;
    AddCopy(mirrorOnly, v, false);
    AddCopy(mftOnly, v, true);
    // The backup at the volume's end, for the mirror's copy.
    NtfsGeometryMap map = InferNtfsVolumeGeometry(mirrorOnly, { Boot(4096 + 16383, 4, 16383) }, {}, 0);
    ASSERT_EQ(map.volumes.size(), 1u);
    EXPECT_EQ(map.volumes[0].basis, NtfsGeometryBasis::MftCopyAndBootSector);
    EXPECT_EQ(map.volumes[0].cluster0, 4096u);
    EXPECT_EQ(map.volumes[0].totalSectors, 16383u);
    // The $MFT's copy (records 4 to 11 behind it): a boot sector whose cluster size puts cluster 0
    // elsewhere yields to a start that agrees.
    map = InferNtfsVolumeGeometry(mftOnly, { Boot(4096, 8, 16383) }, { 2048, 4096 }, 2048);
    ASSERT_EQ(map.volumes.size(), 1u);
    EXPECT_EQ(map.volumes[0].basis, NtfsGeometryBasis::MftCopyAndVolumeStart);
    EXPECT_EQ(map.volumes[0].cluster0, 4096u);
    EXPECT_EQ(map.volumes[0].sectorsPerCluster, 4u);
    // Nothing agrees: the old rule, cluster 0 at the start given, the first boot sector's size.
    map = InferNtfsVolumeGeometry(mftOnly, { Boot(777, 2, 1000) }, { 63 }, 63);
    EXPECT_TRUE(map.volumes.empty());
    const NtfsVolumeGeometry& g = map.ForRecord(v.MftSector() + 40);
    EXPECT_EQ(&g, &map.fallback);
    EXPECT_EQ(g.cluster0, 63u);
    EXPECT_EQ(g.sectorsPerCluster, 2u);
    EXPECT_EQ(InferNtfsVolumeGeometry({}, {}, {}, 0).ForRecord(5).sectorsPerCluster, 8u);
}

// Three volumes formatted alike (the same $MFT and mirror clusters) on one disk: each record is
// read with the geometry of the volume whose $MFT holds it.
TEST(NtfsGeometry, SeveralVolumesOnOneDisk)
{
    const Volume volumes[] = { { 2048, 1, 32, 8191 }, { 20480, 1, 32, 8191 }, { 38912, 8, 4, 1023 } };
    Records all;
    for (const Volume& v : volumes) {
        const Records r = Both(v);
        all.insert(all.end(), r.begin(), r.end());
    }
    const NtfsGeometryMap map = InferNtfsVolumeGeometry(all, {}, {}, 0);
    ASSERT_EQ(map.volumes.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(map.volumes[i].cluster0, volumes[i].cluster0);
        EXPECT_EQ(map.volumes[i].sectorsPerCluster, volumes[i].spc);
        EXPECT_EQ(&map.ForRecord(volumes[i].MftSector() + 30), &map.volumes[i]);
    }
    EXPECT_EQ(&map.ForRecord(30000), &map.volumes[1]); // outside every $MFT: the volume before it
    EXPECT_EQ(&map.ForRecord(100), &map.fallback);
}

// The mirror holds copies of the first four records: where the $MFT's copy of the same record was
// found too, the mirror's is the same file again; alone, it is the only copy there is.
TEST(NtfsGeometry, MirrorCopiesOfRecordsFoundInTheMftAreNoSecondFiles)
{
    const Volume v{ 2048, 4, 8, 2047 };
    const Records both = Both(v);
    const NtfsGeometryMap map = InferNtfsVolumeGeometry(both, {}, {}, 0);
    ASSERT_EQ(map.volumes.size(), 1u);
    EXPECT_EQ(map.volumes[0].mirrorSector, v.MirrorSector());
    uint64_t sector = 0;
    ASSERT_TRUE(map.volumes[0].MftRecordSector(3, sector));
    EXPECT_EQ(sector, v.MftSector() + 6);
    EXPECT_FALSE(map.volumes[0].MftRecordSector(32, sector)); // past the $MFT's runs
    for (uint64_t n = 0; n < 4; ++n) {
        EXPECT_TRUE(map.IsMirrorCopy(v.MirrorSector() + 2 * n)) << n;
        EXPECT_FALSE(map.IsMirrorCopy(v.MftSector() + 2 * n)) << n;
    }
    EXPECT_EQ(map.mirrorCopies.size(), 4u);

    // The $MFT's record 2 lost: the mirror's record 2 is the file's only copy.
    Records lost = both;
    lost.erase(lost.begin() + 2);
    const NtfsGeometryMap partly = InferNtfsVolumeGeometry(lost, {}, {}, 0);
    EXPECT_FALSE(partly.IsMirrorCopy(v.MirrorSector() + 4));
    EXPECT_TRUE(partly.IsMirrorCopy(v.MirrorSector() + 6));
    // Only the mirror scanned (a range around it, the volume known by its start).
    Records mirrorOnly;
    AddCopy(mirrorOnly, v, false);
    const NtfsGeometryMap alone = InferNtfsVolumeGeometry(mirrorOnly, {}, { 2048 }, 2048);
    ASSERT_EQ(alone.volumes.size(), 1u);
    EXPECT_EQ(alone.volumes[0].mirrorSector, v.MirrorSector());
    EXPECT_TRUE(alone.mirrorCopies.empty());
}

TEST(NtfsGeometry, HostileRecordsGiveNoVolume)
{
    const uint64_t huge = std::numeric_limits<uint64_t>::max();
    auto pair = [](uint64_t s0, uint64_t m, uint64_t s1, uint64_t r) {
        Records out(4);
        out[0].sector = s0, out[0].number = 0, out[0].firstCluster = m;
        out[1].sector = s0 + 2, out[1].number = 1, out[1].firstCluster = r;
        out[2].sector = s1, out[2].number = 0, out[2].firstCluster = m;
        out[3].sector = s1 + 2, out[3].number = 1, out[3].firstCluster = r;
        return out;
    };
    const Records cases[] = {
        pair(1000, 40, 2000, 40),            // the same cluster for both
        pair(1000, 10, 1300, 110),           // 3 sectors per cluster
        pair(1000, 10, 1000 + 256 * 100, 110), // 256
        pair(1000, huge, 2000, huge - 1000), // cluster 0 before sector 0
        pair(huge - 3000, huge / 2 + 10, huge - 2990, huge / 2 + 15), // a product past 2^64
    };
    for (const Records& records : cases) {
        const NtfsGeometryMap map = InferNtfsVolumeGeometry(records, { Boot(0, 0, 0), Boot(5, 3, huge) }, { 0, huge }, 0);
        EXPECT_TRUE(map.volumes.empty());
        EXPECT_EQ(map.ForRecord(huge).sectorsPerCluster, 8u);
    }
    // An $MFT run past 2^64 is no extent.
    Records runs = pair(1000, 10, 1200, 110);
    runs[0].runs = { { huge, huge, false } };
    const NtfsGeometryMap map = InferNtfsVolumeGeometry(runs, {}, {}, 0);
    ASSERT_EQ(map.volumes.size(), 1u);
    EXPECT_EQ(map.volumes[0].sectorsPerCluster, 2u);
    EXPECT_TRUE(map.mftExtents.empty());
}

// Only a system file's own record counts: by its name in the root, and its number where the
// header has one.
TEST(NtfsGeometry, SystemRecordsAreKnownByNameNumberAndParent)
{
    auto carved = [](const std::u16string& name, uint32_t parent, uint32_t number, bool runs, bool torn = false) {
        ntfs_test::RecordBuilder b(1);
        ntfs_test::Put32(&b.rec[0x1C], 1024);
        ntfs_test::Put32(&b.rec[0x2C], number);
        b.Resident(kAttrFileName, ntfs_test::FileNameValue(parent, 77, kNameSpaceWin32AndDos, name));
        if (runs)
            b.NonResident(kAttrData, { 0x21, 0x40, 0x20, 0x00 }, 0, 65536); // 64 clusters at 32
        std::vector<uint8_t> raw = b.Finish();
        if (torn)
            raw[1022] ^= 0xFF; // the second sector from another write
        CarvedMftRecord r;
        EXPECT_TRUE(DecodeCarvedMftRecord(raw.data(), 4000, r));
        return r;
    };
    FoundStore store;
    DeepNtfsStoreSink rows(store);
    rows.MftRecord(carved(u"$MFT", 5, 0, true));
    rows.MftRecord(carved(u"$MFT", 5, 7, true));   // numbered as another
    rows.MftRecord(carved(u"$MFT", 40, 0, true));  // a file of that name in a folder
    rows.MftRecord(carved(u"$MFTMirr", 5, 1, false)); // no runs
    rows.MftRecord(carved(u"$AttrDef", 5, 4, false));
    ASSERT_EQ(rows.systemRecords.size(), 2u);
    EXPECT_EQ(rows.systemRecords[0].number, 0u);
    EXPECT_EQ(rows.systemRecords[0].firstCluster, 32u);
    EXPECT_EQ(rows.systemRecords[0].runs.size(), 1u);
    EXPECT_TRUE(rows.systemRecords[0].whole);
    EXPECT_EQ(rows.systemRecords[1].number, 4u);
    // A torn copy still counts, its first cluster to place the volume, known as torn.
    rows.MftRecord(carved(u"$MFT", 5, 0, true, true));
    ASSERT_EQ(rows.systemRecords.size(), 3u);
    EXPECT_FALSE(rows.systemRecords[2].whole);
    EXPECT_EQ(rows.systemRecords[2].firstCluster, 32u);
}
