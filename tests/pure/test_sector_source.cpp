// The sector sources the decoders read from: whole, short and failed reads, and 64-bit offsets.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "storage/pure/globals.h"
#include "storage/pure/sector_source.h"
#include "storage_test_util.h"

namespace {

std::vector<uint8_t> Pattern(size_t n)
{
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = uint8_t(i * 7 + 1);
    return bytes;
}

// Every source must behave the same at its end.
void CheckEndBehaviour(SectorSource& source, const std::vector<uint8_t>& content)
{
    // 2.5 sectors of content: sector 2 is half there.
    std::vector<uint8_t> buf(3 * kSectorSize, 0xCC);
    EXPECT_EQ(source.Read(0, 3, buf.data()), content.size());
    EXPECT_TRUE(std::equal(content.begin(), content.end(), buf.begin()));
    for (size_t i = content.size(); i < buf.size(); ++i)
        ASSERT_EQ(buf[i], 0) << "byte " << i << " not delivered but not zeroed";

    std::fill(buf.begin(), buf.end(), 0xCC);
    EXPECT_EQ(source.Read(2, 2, buf.data()), kSectorSize / 2);
    EXPECT_EQ(buf[0], content[2 * kSectorSize]);
    EXPECT_EQ(buf[kSectorSize / 2], 0);
    EXPECT_EQ(buf[2 * kSectorSize - 1], 0);

    // Nothing delivered is a failure, and the buffer holds nothing stale.
    std::fill(buf.begin(), buf.end(), 0xCC);
    EXPECT_EQ(source.Read(3, 1, buf.data()), 0u);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(buf[kSectorSize - 1], 0);
    EXPECT_EQ(source.Read(uint64_t(1) << 40, 1, buf.data()), 0u);
    EXPECT_EQ(source.Read(UINT64_MAX, 1, buf.data()), 0u);     // offset would overflow
    EXPECT_EQ(source.Read(0, 0, buf.data()), 0u);
    EXPECT_EQ(source.Read(0, kMaxSectorsPerRead + 1, buf.data()), 0u);
}

TEST(StorageSectorSource, MemoryWholeShortAndFailedReads)
{
    const std::vector<uint8_t> content = Pattern(2 * kSectorSize + kSectorSize / 2);
    MemorySectorSource view(content.data(), content.size());
    CheckEndBehaviour(view, content);
    MemorySectorSource owned{std::vector<uint8_t>(content)};
    CheckEndBehaviour(owned, content);
}

TEST(StorageSectorSource, FileWholeShortAndFailedReads)
{
    const std::string path = testing::TempDir() + "zr_sector_source.bin";
    const std::vector<uint8_t> content = Pattern(2 * kSectorSize + kSectorSize / 2);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(content.data()), std::streamsize(content.size()));
    {
        FileSectorSource file(path);
        ASSERT_TRUE(file.IsOpen());
        EXPECT_EQ(file.SizeBytes(), content.size());
        CheckEndBehaviour(file, content);
    }
    std::remove(path.c_str());

    FileSectorSource missing(path);
    uint8_t buf[kSectorSize];
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_EQ(missing.Read(0, 1, buf), 0u);
}

// A sector at 2^23 and above lies 4 GiB and more into the file: the offset must keep its high
// half. The file is sparse, so it costs no disk space.
TEST(StorageSectorSource, FileReadsBeyondFourGiB)
{
    const std::string path = testing::TempDir() + "zr_sparse_5g.bin";
    const uint64_t sector = (uint64_t(1) << 23) + 5;
    {
        std::ofstream out(path, std::ios::binary);
        out.seekp(std::streamoff(sector * kSectorSize));
        out.write("HIGH", 4);
        out.seekp(std::streamoff(5 * kSectorSize));
        out.write("LOW!", 4);
    }
    std::filesystem::resize_file(path, (sector + 1) * kSectorSize);
    {
        FileSectorSource file(path);
        ASSERT_TRUE(file.IsOpen());
        uint8_t buf[kSectorSize];
        EXPECT_EQ(file.Read(sector, 1, buf), kSectorSize);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 4), "HIGH");
        EXPECT_EQ(file.Read(5, 1, buf), kSectorSize);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 4), "LOW!");
        EXPECT_EQ(file.Read(sector + 1, 1, buf), 0u);
    }
    EXPECT_EQ(std::remove(path.c_str()), 0);
}

TEST(StorageGlobals, PhysicalDrivePathsAndResetDiskTable)
{
    EXPECT_EQ(PhysicalDrivePathTable[0], CString(L"\\\\.\\PhysicalDrive0"));
    EXPECT_EQ(PhysicalDrivePathTable[25], CString(L"\\\\.\\PhysicalDrive25"));
    EXPECT_TRUE(PhysicalDrivePathTable[26].IsEmpty());

    DiskPartitionTable[3].partitionCount = 2;
    DiskPartitionTable[3].fsName[1] = L"NTFS";
    DiskPartitionTable[3].slot[1].startSector = 99;
    DiskDescriptionList.Add(L"disk");
    LogicalDriveKeys.Add(L"\\\\.\\C:|100");
    ResetDiskTable();
    EXPECT_EQ(DiskDescriptionList.GetSize(), 0);
    EXPECT_EQ(LogicalDriveKeys.GetSize(), 0);
    for (const DiskPartitionRecord& disk : DiskPartitionTable) {
        EXPECT_EQ(disk.partitionCount, 0u);
        for (const CString& name : disk.fsName)
            EXPECT_TRUE(name.IsEmpty());
        for (const PartitionSlot& slot : disk.slot)
            EXPECT_TRUE(slot.treeItem == nullptr && slot.startSector == 0 && slot.endSector == 0);
    }
}

TEST(StorageGlobals, DiskAcceptsNoTwentySeventhPartition)
{
    DiskPartitionRecord disk;
    for (int n = 0; n < kMaxPartitionsPerDisk; ++n)
        ASSERT_EQ(AddPartitionToDisk(disk, L"FAT32", uint64_t(n) * 100, uint64_t(n) * 100 + 50), n);
    EXPECT_EQ(AddPartitionToDisk(disk, L"NTFS", 9999, 10000), -1);
    EXPECT_EQ(disk.partitionCount, 26u);
    EXPECT_TRUE(disk.fsName[25] == L"FAT32");
    // A count already beyond the bound (written by hand) must not lead to a write past it.
    disk.partitionCount = 40;
    EXPECT_EQ(AddPartitionToDisk(disk, L"NTFS", 1, 2), -1);
    EXPECT_EQ(disk.partitionCount, 40u);
}

} // namespace
