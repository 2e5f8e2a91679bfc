// The lost-partition search on crafted disks: what it finds, what it must not, and its bounds;
// also the cylinder walk of removable media (16 heads, 63 sectors per track, kept as reported).
#include <gtest/gtest.h>

#include <functional>

#include "storage/pure/partition_search.h"
#include "storage/pure/partition_table.h"
#include "storage/pure/volume_check.h"
#include "storage_test_util.h"

using namespace storage_test;

namespace {

struct Hit {
    std::wstring fs;
    uint64_t start, end;
    bool operator==(const Hit& o) const { return fs == o.fs && start == o.start && end == o.end; }
};
std::ostream& operator<<(std::ostream& os, const Hit& h)
{
    return os << std::string(h.fs.begin(), h.fs.end()) << "@" << h.start << "-" << h.end;
}
using Hits = std::vector<Hit>;

struct Recorder : PartitionSearchListener {
    bool StopRequested() override { return stopAfter >= 0 && progressCalls >= stopAfter; }
    void Progress(uint64_t) override { ++progressCalls; }
    bool PartitionFound(int, const CString& fs, uint64_t start, uint64_t end) override
    {
        hits.push_back({ std::wstring(fs.GetString()), start, end });
        return true;
    }
    Hits hits;
    int progressCalls = 0, stopAfter = -1;
};

// With the backup boot sectors: FAT32 at start + 6, NTFS after the sectors it counts.
void PutVolume(CraftedDisk& disk, uint64_t at, const char* fs, uint64_t size)
{
    PutBootSector(disk, at, fs, size);
    if (std::string(fs) == "FAT32")
        PutBootSector(disk, at + 6, fs, size);
    if (std::string(fs) == "NTFS")
        PutBootSector(disk, at + size, fs, size);
}

constexpr uint64_t kCyl = 16065; // sectors per cylinder at 255 heads, 63 sectors per track

PartitionSearchParams Standard(uint64_t cylinders)
{
    PartitionSearchParams p;
    p.mode = kSearchStandard;
    p.geometry = { cylinders, 255, 63 };
    return p;
}
PartitionSearchParams Advanced(uint64_t total)
{
    PartitionSearchParams p;
    p.mode = kSearchAdvanced;
    p.totalSectors = total;
    return p;
}

TEST(PartitionSearch, ClassifiesBootSectors)
{
    const struct {
        const char* name;
        std::function<void(Sector&)> make;
        const wchar_t* fs;
        uint64_t size;
    } cases[] = {
        { "fat32",
          [](Sector& s) {
              MarkFs(s, "FAT32");
              PutLe32(s.data() + 0x20, 204800);
          },
          L"FAT32", 204800 },
        { "small fat16: 16-bit count",
          [](Sector& s) {
              MarkFs(s, "FAT16");
              PutLe16(s.data() + 0x13, 32768);
          },
          L"FAT16", 32768 },
        { "ntfs over 32 bits",
          [](Sector& s) {
              MarkFs(s, "NTFS");
              PutLe64(s.data() + 0x28, 0x123456789ull);
          },
          L"NTFS", 0x123456789ull },
        { "mbr sector", [](Sector& s) { SetEntry(s, 0, 0x0C, 63, 1000); }, nullptr, 0 },
        { "size 0", [](Sector& s) { MarkFs(s, "FAT32"); }, nullptr, 0 },
    };
    for (const auto& c : cases) {
        Sector s{};
        SetSignature(s);
        c.make(s);
        BootSectorHit hit;
        ASSERT_EQ(ClassifySearchBootSector(s.data(), hit), c.fs != nullptr) << c.name;
        if (c.fs) {
            EXPECT_TRUE(hit.fsName == c.fs) << c.name;
            EXPECT_EQ(hit.totalSectors, c.size) << c.name;
        }
    }
    // Sizes beyond 32 bits are not wrapped when the geometry is recounted.
    EXPECT_EQ(NormaliseSearchGeometry(0x10000000ull, 255, 32).cylinders, 0x10000000ull * 255 * 32 / 16065);
}

// The type texts are matched whole, not by their last two characters: mkntfs puts $MFTMirr
// mid-volume, and on a volume of about 29 GB (4 KiB clusters) its cluster number has the bytes
// "16" where a FAT16 type field ends. That volume is NTFS.
TEST(PartitionSearch, TypeTextsAreMatchedWhole)
{
    Sector s{};
    SetSignature(s);
    MarkFs(s, "NTFS");
    PutLe64(s.data() + 0x28, 56823808);
    PutLe64(s.data() + 0x38, 0x363100);
    ASSERT_EQ(s[0x39], '1');
    ASSERT_EQ(s[0x3A], '6');
    BootSectorHit hit;
    ASSERT_TRUE(ClassifySearchBootSector(s.data(), hit));
    EXPECT_TRUE(hit.fsName == L"NTFS");
    EXPECT_EQ(hit.totalSectors, 56823808u);
}

// A wiped table: FAT32 at 63 and at 2048, NTFS at head 0 of cylinder 20, FAT16 further on.
class WipedDisk : public ::testing::Test {
protected:
    void SetUp() override
    {
        PutVolume(disk, 63, "FAT32", 1900);
        PutVolume(disk, 2048, "FAT32", 204800);
        PutVolume(disk, 20 * kCyl, "NTFS", 40000);
        PutVolume(disk, 400000, "FAT16", 30000);
    }
    static constexpr uint64_t kSize = 500000;
    CraftedDisk disk{ kSize };
    DiskPartitionRecord table;
    Recorder rec;
};

TEST_F(WipedDisk, StandardFindsCylinderHeadsAdvancedEveryVolumeButNoBackup)
{
    EXPECT_EQ(RunPartitionSearch(disk, Standard(kSize / kCyl), table, rec).added, 2);
    EXPECT_EQ(rec.hits, (Hits{ { L"FAT32", 63, 1963 }, { L"NTFS", 20 * kCyl, 20 * kCyl + 40001 } }));
    EXPECT_EQ(table.slot[1].startSector, 20 * kCyl);
    DiskPartitionRecord fresh;
    Recorder adv;
    RunPartitionSearch(disk, Advanced(kSize), fresh, adv);
    EXPECT_EQ(adv.hits,
              (Hits{ { L"FAT32", 63, 1963 },
                     { L"FAT32", 2048, 206848 },
                     { L"NTFS", 20 * kCyl, 20 * kCyl + 40001 },
                     { L"FAT16", 400000, 430000 } }));
}

TEST_F(WipedDisk, PartitionsTheTableListsAreNotFoundAgain)
{
    // As the MBR reader records them: the end is the first sector after, one more than NTFS counts.
    AddPartitionToDisk(table, L"FAT32", 2048, 206848);
    AddPartitionToDisk(table, L"NTFS", 20 * kCyl, 20 * kCyl + 40001);
    RunPartitionSearch(disk, Advanced(kSize), table, rec);
    EXPECT_EQ(rec.hits, (Hits{ { L"FAT32", 63, 1963 }, { L"FAT16", 400000, 430000 } }));
    EXPECT_EQ(table.partitionCount, 4u);
    rec.hits.clear();
    EXPECT_EQ(RunPartitionSearch(disk, Advanced(kSize), table, rec).added, 0);
    EXPECT_TRUE(rec.hits.empty());
}

TEST_F(WipedDisk, StopFlagEndsTheSearchBeforeTheNextRead)
{
    rec.stopAfter = 2;
    EXPECT_TRUE(RunPartitionSearch(disk, Advanced(kSize), table, rec).stopped);
    EXPECT_EQ(disk.reads, 2);
    ASSERT_EQ(rec.hits.size(), 1u);
}

TEST_F(WipedDisk, FailedReadsAreSkipped)
{
    disk.Fail(63);   // Standard: head 1 of cylinder 0 fails; Advanced: block 0 ends before it
    disk.Fail(2048); // the whole block from 2048 fails
    RunPartitionSearch(disk, Standard(kSize / kCyl), table, rec);
    EXPECT_EQ(rec.hits, (Hits{ { L"NTFS", 20 * kCyl, 20 * kCyl + 40001 } }));
    DiskPartitionRecord fresh;
    Recorder adv;
    RunPartitionSearch(disk, Advanced(kSize), fresh, adv);
    EXPECT_EQ(adv.hits, (Hits{ { L"NTFS", 20 * kCyl, 20 * kCyl + 40001 }, { L"FAT16", 400000, 430000 } }));
}

// Delivers three and a bit sectors but leaves boot sectors in the rest of the buffer.
struct ShortBlockSource : SectorSource {
    size_t Read(uint64_t sector, uint32_t count, uint8_t* buf) override
    {
        if (sector != 0)
            return 0;
        for (uint32_t k = 0; k < count; ++k) {
            Sector s{};
            MarkFs(s, "FAT32");
            SetSignature(s);
            PutLe32(s.data() + 0x20, 100);
            std::memcpy(buf + size_t(k) * kSectorSize, s.data(), kSectorSize);
        }
        return 3 * kSectorSize + 100;
    }
};

TEST(PartitionSearch, OnlySectorsActuallyReadAreTestedAndAtMost26Recorded)
{
    ShortBlockSource source;
    DiskPartitionRecord table;
    Recorder rec;
    RunPartitionSearch(source, Advanced(kSearchBlockSectors), table, rec);
    EXPECT_EQ(rec.hits.size(), 3u);

    CraftedDisk disk(40 * 1024);
    for (int i = 0; i < 30; ++i)
        PutBootSector(disk, 1024u * i + 1, "FAT16", 100);
    DiskPartitionRecord full;
    EXPECT_EQ(RunPartitionSearch(disk, Advanced(40 * 1024), full, rec).added, 26);
    EXPECT_EQ(full.partitionCount, 26u);
}

TEST(PartitionSearch, SectorsBeyond32BitsAreNotWrapped)
{
    const uint64_t at = 270000 * kCyl; // beyond 2^32 sectors; a wrapped computation reads far below
    CraftedDisk disk(at + 100000);
    PutBootSector(disk, at, "NTFS", 0x100000000ull);
    DiskPartitionRecord table;
    Recorder rec;
    RunPartitionSearch(disk, Standard(270001), table, rec);
    EXPECT_EQ(rec.hits, (Hits{ { L"NTFS", at, at + 0x100000001ull } }));
}

// A found NTFS volume takes in its backup boot sector, the sector after those it counts: the check
// of the volume falls back on it as its last sector, and an NTFS volume that begins right after
// it is another volume. The end saturates at the top of the sector numbers.
TEST(PartitionSearch, FoundNtfsVolumesTakeInTheirBackupBootSector)
{
    const uint64_t at = 2 * kCyl;
    CraftedDisk disk(at + 3000);
    PutVolume(disk, at, "NTFS", 999);
    for (uint64_t boot : { at, at + 999 }) {
        disk.At(boot)[0x0D] = 8;                    // 8 sectors per cluster
        PutLe64(disk.At(boot).data() + 0x30, 4);    // $MFT at cluster 4
        PutLe32(disk.At(boot).data() + 0x40, 0xF6); // 1 KiB records
    }
    PutText(disk.At(at + 32).data(), "FILE0");
    PutVolume(disk, at + 1000, "NTFS", 999);
    DiskPartitionRecord table;
    Recorder rec;
    RunPartitionSearch(disk, Advanced(at + 3000), table, rec);
    EXPECT_EQ(rec.hits, (Hits{ { L"NTFS", at, at + 1000 }, { L"NTFS", at + 1000, at + 2000 } }));
    disk.At(at)[510] = 0;
    VolumeGeometryRecord g;
    EXPECT_EQ(CheckVolume(disk, disk, L"NTFS", table.slot[0].startSector, table.slot[0].endSector, g),
              VolumeCheck::Valid);
    EXPECT_EQ(g.mftSector, at + 32);

    CraftedDisk top(kCyl + 64);
    PutBootSector(top, kCyl + 63, "NTFS", UINT64_MAX - kCyl - 63);
    DiskPartitionRecord whole;
    Recorder last;
    RunPartitionSearch(top, Standard(2), whole, last);
    EXPECT_EQ(last.hits, (Hits{ { L"NTFS", kCyl + 63, UINT64_MAX } }));
}

// Removable media: head 1 of each cylinder first, head 0 only when head 1 carries no boot sector
// (a bare volume at sector 0); a volume the record lists already is not added again.
TEST(RemovableSearch, HeadOneBeforeHeadZeroAndListedVolumesKept)
{
    constexpr uint64_t kCylinder = 16 * 63;
    CraftedDisk medium(4 * kCylinder);
    PutBootSector(medium, 0, "FAT16", 900);
    PutBootSector(medium, kCylinder, "FAT32", 900); // not read: head 1 of its cylinder has one
    PutBootSector(medium, kCylinder + 63, "NTFS", 900);
    PutBootSector(medium, 3 * kCylinder, "FAT16", 900);
    DiskPartitionRecord table;
    AddPartitionToDisk(table, L"FAT16", 3 * kCylinder, 3 * kCylinder + 900);
    Recorder rec;
    PartitionSearchParams p = Standard(0);
    p.geometry = NormaliseSearchGeometry(4, 16, 63);
    EXPECT_EQ(RunPartitionSearch(medium, p, table, rec).added, 2);
    EXPECT_EQ(rec.hits, (Hits{ { L"FAT16", 0, 900 }, { L"NTFS", kCylinder + 63, kCylinder + 964 } }));
    EXPECT_EQ(table.slot[1].endSector, 900u);
    EXPECT_EQ(medium.readLog,
              (std::vector<uint64_t>{ 63, 0, kCylinder + 63, 2 * kCylinder + 63, 2 * kCylinder, 3 * kCylinder + 63,
                                      3 * kCylinder }));

    // A record listing 25 partitions takes one more and reads no further; one listing 26 reads nothing.
    for (uint32_t listed : { 25u, 26u }) {
        CraftedDisk m(3 * kCylinder);
        for (uint64_t c = 0; c < 3; ++c)
            PutBootSector(m, c * kCylinder + 63, "FAT32", 900);
        DiskPartitionRecord full;
        for (uint32_t i = 0; i < listed; ++i)
            AddPartitionToDisk(full, L"NTFS", 1000000 + i * 10, 1000005 + i * 10);
        p.geometry = NormaliseSearchGeometry(3, 16, 63);
        EXPECT_EQ(RunPartitionSearch(m, p, full, rec).added, int(26 - listed)) << listed;
        EXPECT_EQ(full.partitionCount, 26u);
        EXPECT_EQ(m.reads, listed == 25 ? 1 : 0) << listed;
    }
}

} // namespace
