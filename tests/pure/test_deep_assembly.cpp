// The Deep assembly: directory clusters grouped into volumes by their boot sectors or by the
// geometry two of them agree on, the volumes' folder rows and names, and the finishing steps that
// read a volume's FATs and root directory.
#include <gtest/gtest.h>

#include "fsrecovery/pure/deep_assembly.h"
#include "tests/pure/deep_test_media.h"
#include "tests/pure/storage_test_util.h"

namespace {

using deep_test::FatBootFieldsIn;
using storage_test::CraftedDisk;
using storage_test::PutDirEntry;
using storage_test::PutLe16;

FatDirCluster Dir(uint64_t sector, uint32_t self, uint32_t parent = 0)
{
    FatDirCluster d;
    d.sector = sector;
    d.self = self;
    d.parent = parent;
    return d;
}

FatBootHit Fat16Hit(uint64_t at, uint16_t reserved, uint32_t spc, uint16_t total16)
{
    uint8_t s[kSectorSize] = {};
    FatBootFieldsIn f;
    f.reserved = reserved, f.spf = 16, f.spc = uint8_t(spc), f.total16 = total16;
    deep_test::PutFatBoot(s, f);
    FatBootHit hit;
    ReadFatBootHit(s, at, hit);
    return hit;
}

std::vector<uint32_t> Volumes(const std::vector<FatDirCluster>& dirs)
{
    std::vector<uint32_t> v;
    for (const FatDirCluster& d : dirs)
        v.push_back(d.volume);
    return v;
}

constexpr uint32_t kNone = kDirWithoutVolume;

} // namespace

TEST(FatAssembly, BootSectorsTakeTheRowsOnTheirClusters)
{
    const FatBootHit first = Fat16Hit(100, 1, 4, 4000); // cluster 0 at 157, up to sector 4100
    ASSERT_EQ(first.cluster0Start, 157u);
    // The same volume found again further back, stating a larger size; a boot sector saying 0
    // sectors per cluster whose cluster 0 lies on a directory.
    const FatBootHit again = Fat16Hit(96, 5, 4, 4100);
    ASSERT_EQ(again.cluster0Start, 157u);
    FatBootHit zero = Fat16Hit(8000, 1, 0, 4000);
    zero.cluster0Start = 9000;
    std::vector<FatDirCluster> dirs = { Dir(165, 2),    Dir(169, 3, 2),  Dir(171, 3),    Dir(177, 5),
                                        Dir(3757, 900), Dir(4157, 1000), Dir(9000, 9000) };
    const auto volumes = AssembleFatVolumes({ first, again, zero }, dirs, false, false);
    ASSERT_EQ(volumes.size(), 1u);
    EXPECT_FALSE(volumes[0].inferred);
    EXPECT_EQ(volumes[0].sector, 100u);
    EXPECT_EQ(Volumes(dirs), (std::vector<uint32_t>{ 1, 1, kNone, 1, 1, 1, kNone }));
    EXPECT_EQ(dirs[4].cluster0Start, 157u);
    EXPECT_EQ(dirs[2].cluster0Start, 0u); // no volume inferred before it

    // Without the second find, the row past the first one's end is left over.
    dirs.erase(dirs.begin() + 2);
    AssembleFatVolumes({ first }, dirs, false, false);
    EXPECT_EQ(Volumes(dirs), (std::vector<uint32_t>{ 1, 1, 1, 1, kNone, kNone }));
    // No rows, no volume; unless the first boot sector's root holds files.
    std::vector<FatDirCluster> none;
    EXPECT_TRUE(AssembleFatVolumes({ first }, none, false, false).empty());
    EXPECT_EQ(AssembleFatVolumes({ first }, none, false, true).size(), 1u);
    EXPECT_TRUE(AssembleFatVolumes({ zero }, none, false, true).empty());
}

// A stale first boot sector, whose stated volume holds the folders of what replaced it, adds no
// volume by its old root; a first volume with files in its root only, beside the folders of
// other volumes, still makes one (see ManyBootSectorsFarBeyond2To32Sectors).
TEST(FatAssembly, AStaleFirstBootSectorAddsNoVolumeByItsRoot)
{
    const FatBootHit stale = Fat16Hit(100, 1, 4, 4000); // cluster 0 at 157
    std::vector<FatDirCluster> dirs = { Dir(1000, 10), Dir(1064, 18) }; // cluster 0 at 920
    const auto volumes = AssembleFatVolumes({ stale }, dirs, false, true);
    ASSERT_EQ(volumes.size(), 1u);
    EXPECT_TRUE(volumes[0].inferred);
    EXPECT_EQ(Volumes(dirs), (std::vector<uint32_t>{ 1, 1 }));
}

TEST(FatAssembly, ClusterSizeAndClusterZeroInferredFromTwoRows)
{
    std::vector<FatDirCluster> dirs = {
        Dir(500, 600),                   // clusters beyond its sector: no volume can hold it
        Dir(1000, 10),   Dir(1064, 18),  // 64 sectors for 8 clusters: 8 per cluster, cluster 0 at 920
        Dir(1200, 35),                   // on the same grid
        Dir(3000, 2000),                 // alone
        Dir(5000, 100),  Dir(5024, 108), // 3 sectors per cluster
        Dir(100000, 10), Dir(102048, 18) // 256 sectors per cluster
    };
    const auto volumes = AssembleFatVolumes({}, dirs, false, false);
    ASSERT_EQ(volumes.size(), 1u);
    EXPECT_TRUE(volumes[0].inferred);
    EXPECT_EQ(volumes[0].sectorsPerCluster, 8u);
    EXPECT_EQ(volumes[0].cluster0Start, 920u);
    EXPECT_FALSE(volumes[0].fat32);
    EXPECT_EQ(Volumes(dirs), (std::vector<uint32_t>{ kNone, 1, 1, 1, kNone, kNone, kNone, kNone, kNone }));
    EXPECT_EQ(dirs[0].cluster0Start, 0u);
    EXPECT_EQ(dirs[4].cluster0Start, 920u); // the volume inferred last

    // Rows in any order, a sector found twice: the same outcome.
    std::vector<FatDirCluster> shuffled = { dirs[3], dirs[2], dirs[2], dirs[1] };
    AssembleFatVolumes({}, shuffled, true, false);
    EXPECT_EQ(Volumes(shuffled), (std::vector<uint32_t>{ 1, 1, 1, 1 }));

    // A FAT16 search that meets clusters above 65536 has found FAT32.
    std::vector<FatDirCluster> high = { Dir(70100, 70000), Dir(70101, 70001) };
    EXPECT_TRUE(AssembleFatVolumes({}, high, false, false).at(0).fat32);
}

TEST(FatAssembly, RowsSharingASectorButNotAClusterAreDecidedApart)
{
    // Cluster 0 at 157, 4 sectors per cluster: sector 165 is cluster 2. A row there that says
    // cluster 7 is not on this volume, whichever row comes first; the cluster-2 row found again
    // shares its outcome.
    const FatBootHit hit = Fat16Hit(100, 1, 4, 4000);
    for (bool oddFirst : { false, true }) {
        std::vector<FatDirCluster> dirs = { Dir(165, 2), Dir(165, 7), Dir(165, 2) };
        if (oddFirst)
            std::swap(dirs[0], dirs[1]);
        AssembleFatVolumes({ hit }, dirs, false, false);
        EXPECT_EQ(Volumes(dirs),
                  oddFirst ? (std::vector<uint32_t>{ kNone, 1, 1 }) : (std::vector<uint32_t>{ 1, kNone, 1 }));
    }

    // Without boot sectors: sector 1064 is cluster 18 of the volume that 1000 (cluster 10) makes
    // (8 sectors per cluster, cluster 0 at 920); the row there saying cluster 3 makes another
    // volume with 1072 (cluster 4): cluster 0 at 1040.
    std::vector<FatDirCluster> dirs = { Dir(1000, 10), Dir(1064, 3), Dir(1064, 18), Dir(1072, 4) };
    const auto volumes = AssembleFatVolumes({}, dirs, false, false);
    ASSERT_EQ(volumes.size(), 2u);
    EXPECT_EQ(volumes[0].cluster0Start, 920u);
    EXPECT_EQ(volumes[1].cluster0Start, 1040u);
    EXPECT_EQ(Volumes(dirs), (std::vector<uint32_t>{ 1, 2, 1, 2 }));
    for (const FatDirCluster& d : dirs) {
        const DeepFatVolume& v = volumes.at(d.volume - 1);
        EXPECT_EQ(d.cluster0Start, v.cluster0Start);
        EXPECT_EQ(d.sector, v.cluster0Start + uint64_t(d.self) * v.sectorsPerCluster);
    }
}

TEST(FatAssembly, ManyBootSectorsFarBeyond2To32Sectors)
{
    // 70,000 tiny volumes from sector 2^33 on, each with one directory; the first has none but a
    // root that holds files.
    constexpr uint64_t kBase = uint64_t(1) << 33;
    constexpr size_t kCount = 70000;
    std::vector<FatBootHit> hits(kCount);
    std::vector<FatDirCluster> dirs;
    for (size_t k = 0; k < kCount; ++k) {
        FatBootHit& h = hits[k];
        h.sector = kBase + k * 100;
        h.sectorsPerCluster = 1;
        h.cluster0Start = h.sector + 10;
        h.totalSectors = h.sector + 100;
        if (k > 0)
            dirs.push_back(Dir(h.cluster0Start + 2, 2));
    }
    const auto volumes = AssembleFatVolumes(hits, dirs, false, true);
    ASSERT_EQ(volumes.size(), kCount);
    EXPECT_EQ(dirs.back().volume, kCount);
    EXPECT_EQ(dirs.back().cluster0Start, kBase + (kCount - 1) * 100 + 10);
}

namespace {

// A FAT16 volume of 64 sectors: FATs at 1 and 5, the root at 9 (32 sectors), 2 sectors per
// cluster from 41 on (cluster 0 at 37). The root names folder "Projects folder" (cluster 2, whose
// directory goes on in cluster 7, whose FAT entry leads back to 2), the deleted folder MUSIC (3)
// and two files; the folder SUB (6) is named in cluster 7.
void MakeVolume(CraftedDisk& disk)
{
    FatBootFieldsIn f;
    f.spc = 2, f.reserved = 1, f.spf = 4, f.total16 = 64;
    deep_test::PutFatBoot(disk.At(0).data(), f);
    for (uint64_t fat : { 1, 5 }) {
        uint8_t* s = disk.At(fat).data();
        s[0] = 0xF8, s[1] = s[2] = s[3] = 0xFF;
        PutLe16(s + 2 * 2, 7);
        PutLe16(s + 2 * 7, 2);
    }
    uint8_t* root = disk.At(9).data();
    PutDirEntry(root, "ZR_DEEP    ", 0x08);
    // "Projects folder": one long-name entry (13 characters each) is not enough; two are.
    const char16_t name[] = u"Projects folder";
    for (int part = 0; part < 2; ++part) {
        uint8_t* e = root + 32 * (1 + part);
        e[0] = uint8_t(part == 0 ? 0x42 : 0x01);
        e[11] = 0x0F;
        static const int kSlots[13] = { 1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30 };
        for (int i = 0; i < 13; ++i) {
            const int at = (part == 0 ? 13 : 0) + i;
            const char16_t c = at < 15 ? name[at] : at == 15 ? 0 : 0xFFFF;
            PutLe16(e + kSlots[i], uint16_t(c));
        }
    }
    PutDirEntry(root + 96, "PROJEC~1   ", 0x10, 2);
    PutDirEntry(root + 128, "\xE5USIC      ", 0x10, 3);
    PutDirEntry(root + 160, "A       TXT", 0x20, 4, 100);
    PutDirEntry(root + 192, "B       TXT", 0x20, 5, 100);
    deep_test::PutDirectory(disk.At(41).data(), 2, 0);
    for (int e = 2; e < 32; ++e) // the rest of cluster 2: deleted files
        PutDirEntry(disk.At(41 + e / 16).data() + 32 * (e % 16), "\xE5ILLER  TXT", 0x20, 0, 10);
    deep_test::PutDirectory(disk.At(43).data(), 3, 0);
    deep_test::PutDirectory(disk.At(49).data(), 6, 2);
    PutDirEntry(disk.At(51).data(), "SUB        ", 0x10, 6);
}

DeepFolderRow* RowOf(std::vector<DeepFolderRow>& rows, uint64_t self)
{
    for (DeepFolderRow& r : rows) {
        if (r.self == self)
            return &r;
    }
    return nullptr;
}

} // namespace

TEST(FatAssembly, FoldersNamedOnAVolumeFoundAnywhere)
{
    CraftedDisk volume(64);
    MakeVolume(volume);
    for (uint64_t base : { uint64_t(0), (uint64_t(1) << 33) + 5 }) {
        deep_test::HighSource disk(volume, base);
        DeepScanFinds finds;
        RunDeepScan(disk, base, base + 64, { true, false }, finds);
        ASSERT_EQ(finds.fatBoots.size(), 1u);
        ASSERT_EQ(finds.fatDirs.size(), 3u);
        EXPECT_EQ(CheckFatRootDirectory(disk, finds.fatBoots[0]), 2);
        const auto volumes = AssembleFatVolumes(finds.fatBoots, finds.fatDirs, false, true);
        ASSERT_EQ(volumes.size(), 1u);
        EXPECT_EQ(volumes[0].cluster0Start, base + 37);
        std::vector<DeepFolderRow> rows = DeepFatFolderRows(finds.fatDirs, 1).at(0);
        ASSERT_EQ(rows.size(), 3u);
        EXPECT_TRUE(rows[2].name == L"DIR2");

        EXPECT_EQ(NameFatChildFolders(disk, volumes[0], 0, rows), 2u);
        EXPECT_TRUE(RowOf(rows, 2)->name == L"Projects folder");
        EXPECT_TRUE(RowOf(rows, 3)->name == L"_USIC");
        EXPECT_TRUE(RowOf(rows, 3)->deleted);
        // Cluster 2's directory goes on in cluster 7, which leads back to 2: read once each.
        EXPECT_EQ(NameFatChildFolders(disk, volumes[0], 2, rows), 1u);
        EXPECT_TRUE(RowOf(rows, 6)->name == L"SUB");
        int sub = 0;
        ForEachFatDirectoryEntry(disk, volumes[0], 2, true, nullptr,
                                 [&](const FatListedEntry& e) { sub += e.name == L"SUB" ? 1 : 0; });
        EXPECT_EQ(sub, 1);

        // The same clusters with the boot sector and both FATs gone: the geometry is inferred, the
        // root found before cluster 2, the FATs where their signature is, once that is back.
        CraftedDisk damaged(64, &volume);
        for (uint64_t s : { 0, 1, 5 })
            damaged.At(s).fill(0);
        deep_test::HighSource bare(damaged, base);
        DeepScanFinds left;
        RunDeepScan(bare, base, base + 64, { true, false }, left);
        auto inferred = AssembleFatVolumes(left.fatBoots, left.fatDirs, false, false);
        ASSERT_EQ(inferred.size(), 1u);
        EXPECT_EQ(inferred[0].sectorsPerCluster, 2u);
        EXPECT_EQ(inferred[0].cluster0Start, base + 37);
        rows = DeepFatFolderRows(left.fatDirs, 1).at(0);
        EXPECT_EQ(NameFatChildFolders(bare, inferred[0], 0, rows), 2u);
        EXPECT_EQ(NameFatChildFolders(bare, inferred[0], 2, rows), 0u); // no FAT: cluster 7 is not known
        EXPECT_FALSE(LocateFatCopies(bare, inferred[0]));
        EXPECT_EQ(inferred[0].firstFat, 0u);
        DeepFatVolume located = inferred[0];
        ASSERT_TRUE(LocateFatCopies(disk, located));
        EXPECT_EQ(located.firstFat, base + 1);
        EXPECT_EQ(located.sectorsPerFat, 4u);
        EXPECT_EQ(located.rootStart, base + 9);
        EXPECT_EQ(NameFatChildFolders(disk, located, 2, rows), 1u);
    }
}

TEST(FatAssembly, FatCopiesLocatedBelowClusterZero)
{
    // FAT16: the copies 550 sectors before cluster 0 at most; FAT32 30000.
    CraftedDisk disk(40000);
    for (uint64_t s : { 1000, 1100, 20000, 20300 }) {
        uint8_t* p = disk.At(s).data();
        p[0] = 0xF8, p[1] = p[2] = 0xFF;
    }
    DeepFatVolume v;
    v.inferred = true;
    v.sectorsPerCluster = 8;
    v.cluster0Start = 1500;
    ASSERT_TRUE(LocateFatCopies(disk, v));
    EXPECT_EQ(v.firstFat, 1000u);
    EXPECT_EQ(v.sectorsPerFat, 100u);
    EXPECT_EQ(v.rootStart, 1200u); // behind the second FAT
    FatVolumeParamsRecord params;
    params.partitionType = L"FAT16";
    StoreFatCandidateRow(DeepFatVolumeCells(v), params);
    EXPECT_EQ(params.cluster0Start, 1500u);
    EXPECT_EQ(params.secondFatSector, 1100u);
    EXPECT_EQ(params.rootStart, 1200u);
    EXPECT_EQ(params.rootDirSectors, 32u);

    v.cluster0Start = 1600; // 1100 within reach, 1000 not: one copy only
    v.firstFat = v.secondFat = v.sectorsPerFat = 0;
    EXPECT_FALSE(LocateFatCopies(disk, v));
    EXPECT_EQ(v.firstFat, 1100u);
    EXPECT_EQ(v.sectorsPerFat, 0u);

    v.fat32 = true;
    v.cluster0Start = 21000;
    ASSERT_TRUE(LocateFatCopies(disk, v));
    EXPECT_EQ(v.firstFat, 1000u);
    EXPECT_EQ(v.rootStart, 2u);
}

TEST(FatAssembly, CatchAllFolderTimeCountsSecondsInPairs)
{
    const DeepFolderRow misc = CatchAllFolderRow(0, 10, 30, 45);
    EXPECT_EQ(misc.time, (10u << 11) | (30u << 5) | 22u);
}
