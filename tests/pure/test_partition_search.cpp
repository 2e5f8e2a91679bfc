// The lost-partition search on crafted disks and on the MBR test image with its table wiped.
#include <gtest/gtest.h>

#include <functional>

#include "storage/pure/partition_search.h"
#include "storage/pure/partition_table.h"
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

class Recorder : public PartitionSearchListener {
public:
    bool StopRequested() override { return stopAfter >= 0 && progressCalls >= stopAfter; }
    void Progress(uint64_t) override { ++progressCalls; }
    bool PartitionFound(int, const CString& fs, uint64_t start, uint64_t end) override
    {
        hits.push_back({ std::wstring(fs.GetString()), start, end });
        return true;
    }
    std::vector<Hit> hits;
    int progressCalls = 0;
    int stopAfter = -1;
};

void PutBoot(CraftedDisk& disk, uint64_t at, const char* fs, uint64_t size)
{
    Sector& s = disk.At(at);
    MarkFs(s, fs);
    SetSignature(s);
    if (std::string(fs) == "NTFS")
        PutLe64(s.data() + 0x28, size);
    else
        PutLe32(s.data() + 0x20, uint32_t(size));
}

// A FAT32 volume with its backup boot sector at start + 6, an NTFS one with its backup after
// the sectors it counts.
void PutVolume(CraftedDisk& disk, uint64_t at, const char* fs, uint64_t size)
{
    PutBoot(disk, at, fs, size);
    if (std::string(fs) == "FAT32")
        PutBoot(disk, at + 6, fs, size);
    if (std::string(fs) == "NTFS")
        PutBoot(disk, at + size, fs, size);
}

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

constexpr uint64_t kCyl = 16065;    // sectors per cylinder at 255 heads, 63 sectors per track

TEST(PartitionSearch, ClassifiesBootSectors)
{
    struct Case {
        const char* name;
        std::function<void(Sector&)> make;
        bool match;
        const wchar_t* fs;
        uint64_t size;
    };
    const Case cases[] = {
        { "fat32", [](Sector& s) { MarkFs(s, "FAT32"); PutLe32(s.data() + 0x20, 204800); }, true, L"FAT32", 204800 },
        { "fat16 32-bit count", [](Sector& s) { MarkFs(s, "FAT16"); PutLe32(s.data() + 0x20, 70000); }, true, L"FAT16", 70000 },
        { "small fat16 uses 16-bit count", [](Sector& s) { MarkFs(s, "FAT16"); PutLe16(s.data() + 0x13, 32768); }, true, L"FAT16", 32768 },
        { "ntfs over 32 bits", [](Sector& s) { MarkFs(s, "NTFS"); PutLe64(s.data() + 0x28, 0x123456789ull); }, true, L"NTFS", 0x123456789ull },
        { "fat32 text wins over ntfs", [](Sector& s) { MarkFs(s, "NTFS"); MarkFs(s, "FAT32"); PutLe32(s.data() + 0x20, 9); }, true, L"FAT32", 9 },
        { "mbr sector", [](Sector& s) { SetEntry(s, 0, 0x0C, 63, 1000); }, false, L"", 0 },
        { "size 0", [](Sector& s) { MarkFs(s, "FAT32"); }, false, L"", 0 },
    };
    for (const Case& c : cases) {
        Sector s{};
        SetSignature(s);
        c.make(s);
        BootSectorHit hit;
        ASSERT_EQ(ClassifySearchBootSector(s.data(), hit), c.match) << c.name;
        if (c.match) {
            EXPECT_TRUE(hit.fsName == c.fs) << c.name;
            EXPECT_EQ(hit.totalSectors, c.size) << c.name;
        }
        s[511] = 0;
        EXPECT_FALSE(ClassifySearchBootSector(s.data(), hit)) << c.name << " without signature";
    }
}

TEST(PartitionSearch, GeometryIsRecountedTo63SectorsPerTrack)
{
    const SearchGeometry g = NormaliseSearchGeometry(100000, 64, 32);
    EXPECT_EQ(g.cylinders, 100000ull * 32 * 64 / 16065);
    EXPECT_EQ(g.heads, 255u);
    EXPECT_EQ(g.sectorsPerTrack, 63u);
    EXPECT_EQ(NormaliseSearchGeometry(500, 16, 63).heads, 16u);
    // Sizes beyond 32 bits are not wrapped.
    EXPECT_EQ(NormaliseSearchGeometry(0x10000000ull, 255, 32).cylinders, 0x10000000ull * 255 * 32 / 16065);
    EXPECT_EQ(NormaliseSearchGeometry(0, 0, 0).cylinders, 0u);
}

// A wiped table: FAT32 at 63 and at 2048, NTFS at the head 0 of cylinder 20, FAT16 further on.
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

TEST_F(WipedDisk, StandardFindsOnlyCylinderHeads)
{
    const PartitionSearchOutcome out = RunPartitionSearch(disk, Standard(kSize / kCyl), table, rec);
    const std::vector<Hit> want = { { L"FAT32", 63, 63 + 1900 }, { L"NTFS", 20 * kCyl, 20 * kCyl + 40000 } };
    EXPECT_EQ(rec.hits, want);
    EXPECT_EQ(out.added, 2);
    EXPECT_EQ(table.partitionCount, 2u);
    EXPECT_TRUE(table.fsName[1] == L"NTFS");
    EXPECT_EQ(table.slot[1].startSector, 20 * kCyl);
}

TEST_F(WipedDisk, AdvancedFindsEveryVolumeButNoBackupBootSector)
{
    RunPartitionSearch(disk, Advanced(kSize), table, rec);
    const std::vector<Hit> want = { { L"FAT32", 63, 1963 }, { L"FAT32", 2048, 206848 },
                                    { L"NTFS", 20 * kCyl, 20 * kCyl + 40000 }, { L"FAT16", 400000, 430000 } };
    EXPECT_EQ(rec.hits, want);
}

TEST_F(WipedDisk, PartitionsTheTableListsAreNotFoundAgain)
{
    // As the MBR reader records them: the end is the first sector after, one more than the
    // NTFS boot sector counts.
    AddPartitionToDisk(table, L"FAT32", 2048, 206848);
    AddPartitionToDisk(table, L"NTFS", 20 * kCyl, 20 * kCyl + 40001);
    RunPartitionSearch(disk, Advanced(kSize), table, rec);
    const std::vector<Hit> want = { { L"FAT32", 63, 1963 }, { L"FAT16", 400000, 430000 } };
    EXPECT_EQ(rec.hits, want);
    EXPECT_EQ(table.partitionCount, 4u);
    // A second search finds nothing new.
    rec.hits.clear();
    EXPECT_EQ(RunPartitionSearch(disk, Advanced(kSize), table, rec).added, 0);
    EXPECT_TRUE(rec.hits.empty());
}

TEST_F(WipedDisk, NoModeReadsNothing)
{
    PartitionSearchParams none = Advanced(kSize);
    none.mode = 0;
    EXPECT_EQ(RunPartitionSearch(disk, none, table, rec).added, 0);
    EXPECT_EQ(disk.reads, 0);
    EXPECT_EQ(RunPartitionSearch(disk, Standard(0), table, rec).added, 0);
    EXPECT_EQ(disk.reads, 0);
}

TEST_F(WipedDisk, StopFlagEndsTheSearchBeforeTheNextRead)
{
    rec.stopAfter = 2;
    const PartitionSearchOutcome out = RunPartitionSearch(disk, Advanced(kSize), table, rec);
    EXPECT_TRUE(out.stopped);
    EXPECT_EQ(disk.reads, 2);
    ASSERT_EQ(rec.hits.size(), 1u);
    EXPECT_EQ(rec.hits[0].start, 63u);
}

TEST_F(WipedDisk, FailedReadsAreSkipped)
{
    disk.Fail(63);      // Standard: head 1 of cylinder 0 fails; Advanced: block 0 ends before it
    disk.Fail(2048);    // the whole block from 2048 fails
    RunPartitionSearch(disk, Standard(kSize / kCyl), table, rec);
    ASSERT_EQ(rec.hits.size(), 1u);
    EXPECT_EQ(rec.hits[0].start, 20 * kCyl);

    DiskPartitionRecord fresh;
    Recorder adv;
    RunPartitionSearch(disk, Advanced(kSize), fresh, adv);
    const std::vector<Hit> want = { { L"NTFS", 20 * kCyl, 20 * kCyl + 40000 }, { L"FAT16", 400000, 430000 } };
    EXPECT_EQ(adv.hits, want);
}

// Delivers fewer sectors than asked but leaves boot sectors in the rest of the buffer.
class ShortBlockSource : public SectorSource {
public:
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
        return 3 * kSectorSize + 100;   // three whole sectors and part of a fourth
    }
};

TEST(PartitionSearch, OnlySectorsActuallyReadAreTested)
{
    ShortBlockSource source;
    DiskPartitionRecord table;
    Recorder rec;
    RunPartitionSearch(source, Advanced(kSearchBlockSectors), table, rec);
    ASSERT_EQ(rec.hits.size(), 3u);
    EXPECT_EQ(rec.hits[2].start, 2u);
}

TEST(PartitionSearch, AtMost26PartitionsPerDisk)
{
    CraftedDisk disk(40 * 1024);
    for (int i = 0; i < 30; ++i)
        PutBoot(disk, 1024u * i + 1, "FAT16", 100);
    DiskPartitionRecord table;
    Recorder rec;
    EXPECT_EQ(RunPartitionSearch(disk, Advanced(40 * 1024), table, rec).added, 26);
    EXPECT_EQ(table.partitionCount, 26u);
}

TEST(PartitionSearch, SectorsBeyond32BitsAreNotWrapped)
{
    // Cylinder 270000 begins beyond 2^32 sectors; a wrapped computation reads far below.
    const uint64_t at = 270000 * kCyl;
    CraftedDisk disk(at + 100000);
    PutBoot(disk, at, "NTFS", 0x100000000ull);
    DiskPartitionRecord table;
    Recorder rec;
    RunPartitionSearch(disk, Standard(270001), table, rec);
    ASSERT_EQ(rec.hits.size(), 1u);
    EXPECT_EQ(rec.hits[0].start, at);
    EXPECT_EQ(rec.hits[0].end, at + 0x100000000ull);
}

// The MBR image with its table wiped and its FAT32 boot sectors copied to sector 63.
TEST(PartitionSearch, WipedMbrImage)
{
    if (ImagesDir().empty())
        GTEST_SKIP() << "ZR_IMAGES not set";
    FileSectorSource image(ImagesDir() + "/mbr.img");
    ASSERT_TRUE(image.IsOpen());
    const std::vector<LayoutLine> layout = LoadLayout("mbr.img");
    ASSERT_EQ(layout.size(), 4u);
    const uint64_t size = image.SizeBytes() / kSectorSize;
    CraftedDisk disk(size, &image);
    disk.At(0) = Sector{};
    for (uint64_t k = 0; k < 7; ++k)
        disk.At(63 + k) = disk.At(layout[0].start + k);

    DiskPartitionRecord table;
    Recorder rec;
    RunPartitionSearch(disk, Advanced(size), table, rec);
    ASSERT_EQ(rec.hits.size(), 5u);
    EXPECT_EQ(rec.hits[0].start, 63u);
    for (size_t i = 0; i < layout.size(); ++i) {
        EXPECT_EQ(rec.hits[i + 1].fs, std::wstring(layout[i].fs.begin(), layout[i].fs.end()));
        EXPECT_EQ(rec.hits[i + 1].start, layout[i].start);
        // The boot sector counts the whole partition, NTFS all but its backup sector.
        EXPECT_EQ(rec.hits[i + 1].end + (layout[i].fs == "NTFS" ? 1 : 0), layout[i].end) << i;
    }

    Recorder standard;
    DiskPartitionRecord fresh;
    RunPartitionSearch(disk, Standard(size / kCyl), fresh, standard);
    const std::vector<Hit> want = { { L"FAT32", 63, 63 + (layout[0].end - layout[0].start) } };
    EXPECT_EQ(standard.hits, want);

    // With the table intact nothing is new.
    DiskPartitionRecord listed;
    for (const LayoutLine& l : layout)
        AddPartitionToDisk(listed, CString(std::wstring(l.fs.begin(), l.fs.end()).c_str()), l.start, l.end);
    Recorder none;
    RunPartitionSearch(image, Advanced(size), listed, none);
    EXPECT_TRUE(none.hits.empty()) << none.hits.size();
}

} // namespace
