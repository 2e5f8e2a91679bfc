// The cylinder walk as a removable medium is searched with it: 16 heads and 63 sectors per track
// (kept as reported), a bare volume at sector 0, and the record's bound of 26 partitions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "storage/pure/partition_search.h"
#include "storage_test_util.h"

using namespace storage_test;

namespace {

constexpr uint64_t kCylinder = 16 * 63;

class Found : public PartitionSearchListener {
public:
    bool StopRequested() override { return false; }
    void Progress(uint64_t) override {}
    bool PartitionFound(int index, const CString& fs, uint64_t start, uint64_t) override
    {
        hits.push_back(std::to_wstring(index) + L":" + fs.GetString() + L"@" + std::to_wstring(start));
        return true;
    }
    std::vector<std::wstring> hits;
};

void PutBoot(CraftedDisk& medium, uint64_t at, const char* fs)
{
    Sector& s = medium.At(at);
    MarkFs(s, fs);
    SetSignature(s);
    PutLe32(s.data() + 0x20, 900);
    PutLe64(s.data() + 0x28, 900);
}

uint64_t Walk(CraftedDisk& medium, uint64_t cylinders, DiskPartitionRecord& table, Found& found)
{
    PartitionSearchParams p;
    p.mode = kSearchStandard;
    p.geometry = NormaliseSearchGeometry(cylinders, 16, 63);
    return uint64_t(RunPartitionSearch(medium, p, table, found).added);
}

} // namespace

// Head 1 of each cylinder first, head 0 only when head 1 carries no boot sector; a volume the
// record lists already (same start, end and file system) is not added again.
TEST(RemovableSearch, HeadOneBeforeHeadZeroAndListedVolumesKept)
{
    CraftedDisk medium(4 * kCylinder);
    PutBoot(medium, 0, "FAT16");                    // a bare volume: only head 0 has one
    PutBoot(medium, kCylinder, "FAT32");            // not read: head 1 of its cylinder has one
    PutBoot(medium, kCylinder + 63, "NTFS");
    PutBoot(medium, 3 * kCylinder, "FAT16");
    DiskPartitionRecord table;
    AddPartitionToDisk(table, L"FAT16", 3 * kCylinder, 3 * kCylinder + 900);
    Found found;
    EXPECT_EQ(Walk(medium, 4, table, found), 2u);
    EXPECT_EQ(found.hits, (std::vector<std::wstring>{ L"1:FAT16@0", L"2:NTFS@1071" }));
    EXPECT_EQ(table.slot[1].endSector, 900u);
    const std::vector<uint64_t> reads = { 63, 0, kCylinder + 63, 2 * kCylinder + 63, 2 * kCylinder,
                                          3 * kCylinder + 63, 3 * kCylinder };
    EXPECT_EQ(medium.readLog, reads);
}

// A medium listing 25 partitions takes one more and is read no further; one listing 26 is not
// read at all.
TEST(RemovableSearch, RecordLimitEndsTheWalk)
{
    for (uint32_t listed : { 25u, 26u }) {
        CraftedDisk medium(3 * kCylinder);
        for (uint64_t c = 0; c < 3; ++c)
            PutBoot(medium, c * kCylinder + 63, "FAT32");
        DiskPartitionRecord table;
        for (uint32_t i = 0; i < listed; ++i)
            AddPartitionToDisk(table, L"NTFS", 1000000 + i * 10, 1000005 + i * 10);
        Found found;
        EXPECT_EQ(Walk(medium, 3, table, found), 26u - listed) << listed;
        EXPECT_EQ(table.partitionCount, 26u) << listed;
        EXPECT_EQ(medium.reads, listed == 25 ? 1 : 0) << listed;
    }
}
