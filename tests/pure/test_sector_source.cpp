// The sector sources the decoders read from: short and failed reads; the partition bound.
#include <gtest/gtest.h>

#include <algorithm>

#include "storage/pure/globals.h"
#include "storage/pure/sector_source.h"
#include "storage_test_util.h"

namespace {

// 2.5 sectors of content: a short read zero-fills the rest, a read delivering nothing fails.
TEST(StorageSectorSource, ShortAndFailedReads)
{
    std::vector<uint8_t> content(2 * kSectorSize + kSectorSize / 2);
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = uint8_t(i * 7 + 1);
    MemorySectorSource source(content.data(), content.size());
    std::vector<uint8_t> buf(3 * kSectorSize, 0xCC);
    EXPECT_EQ(source.Read(0, 3, buf.data()), content.size());
    EXPECT_TRUE(std::equal(content.begin(), content.end(), buf.begin()));
    for (size_t i = content.size(); i < buf.size(); ++i)
        ASSERT_EQ(buf[i], 0) << "byte " << i << " not delivered but not zeroed";

    std::fill(buf.begin(), buf.end(), 0xCC);
    EXPECT_EQ(source.Read(3, 1, buf.data()), 0u);
    EXPECT_EQ(buf[kSectorSize - 1], 0);
    EXPECT_EQ(source.Read(UINT64_MAX, 1, buf.data()), 0u); // offset would overflow
    EXPECT_EQ(source.Read(0, 0, buf.data()), 0u);
    EXPECT_EQ(source.Read(0, kMaxSectorsPerRead + 1, buf.data()), 0u);
}

// A reader that fills the buffer itself clears only what its read did not deliver.
TEST(StorageSectorSource, FinishedReadsClearOnlyWhatDidNotArrive)
{
    std::vector<uint8_t> buf(3 * kSectorSize, 0xCC);
    EXPECT_TRUE(CheckSectorRead(3, buf.data()));
    EXPECT_FALSE(CheckSectorRead(0, buf.data()));
    EXPECT_FALSE(CheckSectorRead(kMaxSectorsPerRead + 1, buf.data()));
    EXPECT_FALSE(CheckSectorRead(1, nullptr));
    EXPECT_EQ(buf[0], 0xCC); // checking fills nothing
    EXPECT_EQ(FinishSectorRead(3, buf.data(), 700), 700u);
    EXPECT_EQ(buf[699], 0xCC);
    EXPECT_TRUE(std::all_of(buf.begin() + 700, buf.end(), [](uint8_t b) { return b == 0; }));
    std::fill(buf.begin(), buf.end(), 0xCC);
    EXPECT_EQ(FinishSectorRead(3, buf.data(), 0), 0u);
    EXPECT_TRUE(std::all_of(buf.begin(), buf.end(), [](uint8_t b) { return b == 0; }));
    std::fill(buf.begin(), buf.end(), 0xCC);
    EXPECT_EQ(FinishSectorRead(2, buf.data(), 5000), 2 * kSectorSize); // never more than asked
    EXPECT_EQ(buf[2 * kSectorSize], 0xCC);
}

TEST(StorageGlobals, ResetAndTheTwentySixPartitionBound)
{
    DiskPartitionRecord disk;
    for (int n = 0; n < kMaxPartitionsPerDisk; ++n)
        ASSERT_EQ(AddPartitionToDisk(disk, L"FAT32", uint64_t(n) * 100, uint64_t(n) * 100 + 50), n);
    EXPECT_EQ(AddPartitionToDisk(disk, L"NTFS", 9999, 10000), -1);
    EXPECT_EQ(disk.partitionCount, 26u);
    disk.partitionCount = 40; // already beyond the bound: still no write past it
    EXPECT_EQ(AddPartitionToDisk(disk, L"NTFS", 1, 2), -1);

    DiskPartitionTable[3] = disk;
    ResetDiskTable();
    EXPECT_EQ(DiskPartitionTable[3].partitionCount, 0u);
    EXPECT_TRUE(DiskPartitionTable[3].fsName[25].IsEmpty());
    EXPECT_EQ(DiskPartitionTable[3].slot[25].startSector, 0u);
}

} // namespace
