// MBR, extended chains and GPT read from crafted disks.
#include <gtest/gtest.h>

#include "storage/pure/partition_table.h"
#include "storage_test_util.h"

using namespace storage_test;

namespace {

constexpr uint64_t kDisk = 1 << 20;

const TreeItemHandle kDiskItem = reinterpret_cast<TreeItemHandle>(uintptr_t(0x1000));

struct Expect {
    const wchar_t* fs;
    uint64_t start, end;
};

void ExpectParts(const std::vector<FoundPartition>& got, const std::vector<Expect>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_TRUE(got[i].fsName == want[i].fs) << "partition " << i;
        EXPECT_EQ(got[i].startSector, want[i].start) << "partition " << i;
        EXPECT_EQ(got[i].endSector, want[i].end) << "partition " << i;
    }
}

std::vector<FoundPartition> Read(CraftedDisk& disk, uint64_t size = kDisk)
{
    return ReadMbrPartitions(disk, 0, size, 26, false);
}

// A FAT32 primary at 2048 and an extended partition at 10000 holding `logicals` FAT16 drives
// of 1000 sectors, each EBR 2000 sectors after the previous one.
CraftedDisk DiskWithExtended(uint8_t extendedType, int logicals)
{
    CraftedDisk disk(kDisk);
    Sector& mbr = disk.At(0);
    SetSignature(mbr);
    SetEntry(mbr, 0, 0x0C, 2048, 4096);
    MarkFs(disk.At(2048), "FAT32");
    SetEntry(mbr, 1, extendedType, 10000, 200000);
    for (int i = 0; i < logicals; ++i) {
        const uint32_t ebr = 10000 + 2000 * uint32_t(i);
        SetEntry(disk.At(ebr), 0, 0x06, 63, 1000);
        MarkFs(disk.At(ebr + 63), "FAT16");
        if (i + 1 < logicals)
            SetEntry(disk.At(ebr), 1, 0x05, 2000 * uint32_t(i + 1), 1063);
    }
    return disk;
}

const Expect kPrimary = { L"FAT32", 2048, 6144 };
Expect Logical(int i)
{
    return { L"FAT16", 10063 + 2000 * uint64_t(i), 11063 + 2000 * uint64_t(i) };
}

// The text wins over the type byte; a partition whose boot sector cannot be read is classified
// by its type alone, never by a buffer an earlier read left behind.
TEST(StoragePartitions, MbrClassifiesByTextThenByType)
{
    CraftedDisk disk(kDisk);
    Sector& mbr = disk.At(0);
    SetSignature(mbr);
    SetEntry(mbr, 0, 0x83, 2048, 1000);
    MarkFs(disk.At(2048), "NTFS");
    SetEntry(mbr, 1, 0x83, 4096, 1000); // unreadable, no type: left out
    disk.Fail(4096);
    SetEntry(mbr, 2, 0x0B, 8192, 1000);
    disk.Fail(8192);
    SetEntry(mbr, 3, 0x0E, 16384, 0xFFFFFFFF);
    ExpectParts(Read(disk),
                { { L"NTFS", 2048, 3048 }, { L"FAT32", 8192, 9192 }, { L"FAT16", 16384, 16384 + 0xFFFFFFFFull } });
    mbr[511] = 0;
    EXPECT_TRUE(Read(disk).empty());
}

TEST(StoragePartitions, ExtendedChainOfBothTypes)
{
    for (uint8_t type : { uint8_t(0x0F), uint8_t(0x05) }) {
        SCOPED_TRACE(int(type));
        CraftedDisk disk = DiskWithExtended(type, 3);
        // Inside the chain, 0x01 counts as FAT16 and a 0x0F link works like 0x05.
        SetEntry(disk.At(12000), 0, 0x01, 63, 1000);
        std::memset(disk.At(12063).data(), 0, kSectorSize);
        SetEntry(disk.At(12000), 1, 0x0F, 4000, 1063);
        ExpectParts(Read(disk), { kPrimary, Logical(0), Logical(1), Logical(2) });
    }
}

TEST(StoragePartitions, ExtendedChainEnds)
{
    CraftedDisk self = DiskWithExtended(0x05, 1); // an EBR that points at itself
    SetEntry(self.At(10000), 1, 0x05, 0, 1063);
    ExpectParts(Read(self), { kPrimary, Logical(0) });
    EXPECT_LE(self.reads, 6);

    CraftedDisk loop = DiskWithExtended(0x0F, 3); // the third links back to the first
    SetEntry(loop.At(14000), 1, 0x05, 0, 1063);
    EXPECT_EQ(Read(loop).size(), 4u);
    CraftedDisk failed = DiskWithExtended(0x0F, 3);
    failed.Fail(12000);
    ExpectParts(Read(failed), { kPrimary, Logical(0) });

    // 300 EBRs with nothing recognisable: at most 129 of them are read.
    CraftedDisk disk = DiskWithExtended(0x0F, 300);
    std::set<uint64_t> ebrs;
    for (int i = 0; i < 300; ++i) {
        const uint64_t ebr = 10000 + 2000 * uint64_t(i);
        ebrs.insert(ebr);
        disk.At(ebr)[446 + 4] = 0x83;
        disk.At(ebr + 63)[0x36] = 0;
    }
    ExpectParts(Read(disk, 1 << 30), { kPrimary });
    int ebrsRead = 0;
    for (uint64_t sector : std::set<uint64_t>(disk.readLog.begin(), disk.readLog.end()))
        ebrsRead += int(ebrs.count(sector));
    EXPECT_EQ(ebrsRead, kMaxExtendedLinks + 1);
}

// A GPT entry array: entry i of the list at sector 2 + i / 4.
void SetGptEntry(CraftedDisk& disk, int i, const uint8_t* type, uint64_t first, uint64_t last)
{
    uint8_t* e = disk.At(2 + uint64_t(i) / 4).data() + 128 * (i % 4);
    std::memcpy(e, type, 16);
    PutLe64(e + 32, first);
    PutLe64(e + 40, last);
}

const uint8_t kBasicData[16] = { 0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44,
                                 0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7 };
const uint8_t kReserved[16] = { 0x16, 0xE3, 0xC9, 0xE3, 0x5C, 0x0B, 0xB8, 0x4D,
                                0x81, 0x7D, 0xF9, 0x2D, 0xF0, 0x02, 0x15, 0xAE };

CraftedDisk ProtectiveDisk()
{
    CraftedDisk disk(kDisk);
    SetSignature(disk.At(0));
    SetEntry(disk.At(0), 0, 0xEE, 1, uint32_t(kDisk - 1));
    PutText(disk.At(1).data(), "EFI PART");
    return disk;
}

TEST(StoragePartitions, GptSkipsReservedAndEndsAtEmptyEntry)
{
    CraftedDisk disk = ProtectiveDisk();
    SetGptEntry(disk, 0, kReserved, 34, 32801); // Microsoft-reserved: skipped though it reads
    MarkFs(disk.At(34), "NTFS");
    SetGptEntry(disk, 1, kBasicData, 40000, 49999);
    MarkFs(disk.At(40000), "NTFS");
    SetGptEntry(disk, 2, kBasicData, 50000, 59999); // no text: GPT has no type bytes
    SetGptEntry(disk, 4, kBasicData, 70000, 79999); // after the empty entry 3
    MarkFs(disk.At(70000), "FAT32");
    ExpectParts(Read(disk), { { L"NTFS", 40000, 49999 } });
}

TEST(StoragePartitions, GptAfterMbrPartitionsStopsAtTwentySix)
{
    CraftedDisk disk = ProtectiveDisk();
    for (int i = 0; i < 128; ++i) {
        SetGptEntry(disk, i, kBasicData, 100000 + 1000 * uint64_t(i), 100999 + 1000 * uint64_t(i));
        MarkFs(disk.At(100000 + 1000 * uint64_t(i)), "FAT32");
    }
    EXPECT_EQ(Read(disk).size(), 26u);

    DiskPartitionRecord record;
    for (int n = 0; n < 20; ++n)
        AddPartitionToDisk(record, L"NTFS", 1, 2);
    RecordingHost host;
    AddGptPartitionsFrom(disk, 2, kDiskItem, record, &host);
    EXPECT_EQ(record.partitionCount, 26u);
    ASSERT_EQ(host.texts.size(), 6u);
    EXPECT_TRUE(host.texts[0] == L"Partition - 21 ( FAT32 )");
    EXPECT_EQ(record.slot[20].startSector, 100000u);

    // A primary before the protective entry keeps its number; a stale count is reset.
    SetEntry(disk.At(0), 0, 0x07, 2048, 1000);
    SetEntry(disk.At(0), 1, 0xEE, 1, uint32_t(kDisk - 1));
    record.partitionCount = 7;
    SelectedVolumeRecord selection;
    RecordingHost host2;
    AddDiskPartitionsFrom(disk, 0, kDisk, kDiskItem, record, selection, &host2);
    EXPECT_EQ(record.partitionCount, 26u);
    ASSERT_EQ(host2.texts.size(), 26u);
    EXPECT_TRUE(host2.texts[0] == L"Partition - 1 ( NTFS )");
    EXPECT_TRUE(host2.texts[1] == L"Partition - 2 ( FAT32 )");
}

// Every slot as an extent ending at the sector after it: an MBR slot's end is that already, a GPT
// slot's end is its last sector.
TEST(StoragePartitions, ExtentsEndAfterTheirLastSectorWhateverTheTable)
{
    DiskPartitionRecord record;
    AddPartitionToDisk(record, L"FAT16", 63, 32831);
    AddPartitionToDisk(record, L"NTFS", 40000, 49999);
    record.slot[1].gpt = true;
    const std::vector<PartitionExtent> extents = PartitionExtentsOf(record);
    ASSERT_EQ(extents.size(), 2u);
    EXPECT_EQ(extents[0].firstSector, 63u);
    EXPECT_EQ(extents[0].endSector, 32831u);
    EXPECT_EQ(extents[1].firstSector, 40000u);
    EXPECT_EQ(extents[1].endSector, 50000u);
}

} // namespace
