// The sector sources the decoders read from: short and failed reads, and 64-bit offsets.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "storage/pure/globals.h"
#include "storage/pure/sector_source.h"
#include "storage_test_util.h"

namespace {

// 2.5 sectors of content: a short read zero-fills the rest, a read delivering nothing fails.
void CheckEndBehaviour(SectorSource& source, const std::vector<uint8_t>& content) {
    std::vector<uint8_t> buf(3 * kSectorSize, 0xCC);
    EXPECT_EQ(source.Read(0, 3, buf.data()), content.size());
    EXPECT_TRUE(std::equal(content.begin(), content.end(), buf.begin()));
    for (size_t i = content.size(); i < buf.size(); ++i)
        ASSERT_EQ(buf[i], 0) << "byte " << i << " not delivered but not zeroed";

    std::fill(buf.begin(), buf.end(), 0xCC);
    EXPECT_EQ(source.Read(3, 1, buf.data()), 0u);
    EXPECT_EQ(buf[kSectorSize - 1], 0);
    EXPECT_EQ(source.Read(uint64_t(1) << 40, 1, buf.data()), 0u);
    EXPECT_EQ(source.Read(UINT64_MAX, 1, buf.data()), 0u);     // offset would overflow
    EXPECT_EQ(source.Read(0, 0, buf.data()), 0u);
    EXPECT_EQ(source.Read(0, kMaxSectorsPerRead + 1, buf.data()), 0u);
}

TEST(StorageSectorSource, MemoryAndFileShortAndFailedReads) {
    std::vector<uint8_t> content(2 * kSectorSize + kSectorSize / 2);
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = uint8_t(i * 7 + 1);
    MemorySectorSource view(content.data(), content.size());
    CheckEndBehaviour(view, content);

    const std::string path = testing::TempDir() + "zr_sector_source.bin";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(content.data()), std::streamsize(content.size()));
    {
        FileSectorSource file(path);
        ASSERT_TRUE(file.IsOpen());
        CheckEndBehaviour(file, content);
    }
    std::remove(path.c_str());
    FileSectorSource missing(path);
    uint8_t buf[kSectorSize];
    EXPECT_EQ(missing.Read(0, 1, buf), 0u);
}

// Sector 2^23 and above lie past 4 GiB: the offset must keep its high half. Sparse file.
TEST(StorageSectorSource, FileReadsBeyondFourGiB) {
    const std::string path = testing::TempDir() + "zr_sparse_5g.bin";
    const uint64_t sector = (uint64_t(1) << 23) + 5;
    {
        std::ofstream out(path, std::ios::binary);
        out.seekp(std::streamoff(sector * kSectorSize));
        out.write("HIGH", 4);
    }
    std::filesystem::resize_file(path, (sector + 1) * kSectorSize);
    {
        FileSectorSource file(path);
        uint8_t buf[kSectorSize];
        EXPECT_EQ(file.Read(sector, 1, buf), kSectorSize);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 4), "HIGH");
        EXPECT_EQ(file.Read(5, 1, buf), kSectorSize);         // the same low half
        EXPECT_EQ(buf[0], 0);
    }
    EXPECT_EQ(std::remove(path.c_str()), 0);
}

TEST(StorageGlobals, ResetAndTheTwentySixPartitionBound) {
    DiskPartitionRecord disk;
    for (int n = 0; n < kMaxPartitionsPerDisk; ++n)
        ASSERT_EQ(AddPartitionToDisk(disk, L"FAT32", uint64_t(n) * 100, uint64_t(n) * 100 + 50), n);
    EXPECT_EQ(AddPartitionToDisk(disk, L"NTFS", 9999, 10000), -1);
    EXPECT_EQ(disk.partitionCount, 26u);
    disk.partitionCount = 40;           // already beyond the bound: still no write past it
    EXPECT_EQ(AddPartitionToDisk(disk, L"NTFS", 1, 2), -1);

    DiskPartitionTable[3] = disk;
    ResetDiskTable();
    EXPECT_EQ(DiskPartitionTable[3].partitionCount, 0u);
    EXPECT_TRUE(DiskPartitionTable[3].fsName[25].IsEmpty());
    EXPECT_EQ(DiskPartitionTable[3].slot[25].startSector, 0u);
}

} // namespace
