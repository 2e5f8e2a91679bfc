// MBR, extended chains and GPT read from crafted disks and from the test images.
#include <gtest/gtest.h>

#include "storage/pure/partition_table.h"
#include "storage_test_util.h"

using namespace storage_test;

namespace {

constexpr uint64_t kDisk = 1 << 20;     // 512 MiB of sectors

// Records the items a reading inserts; handles are 1, 2, 3, ...
class RecordingHost : public StorageHost {
public:
    TreeItemHandle InsertPartitionItem(TreeItemHandle parent, const CString& text) override
    {
        parents.push_back(parent);
        texts.push_back(text);
        return reinterpret_cast<TreeItemHandle>(uintptr_t(texts.size()));
    }
    CString LogicalDrivePath() override { return L"\\\\.\\C:"; }
    void ClearScanTables() override {}
    AutoSearchState QueryAutoSearchState() override { return {}; }
    bool StartPartitionSearch() override { return false; }

    std::vector<TreeItemHandle> parents;
    std::vector<CString> texts;
};

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

// An MBR with an extended partition of the given type at 10000 that holds `logicals` logical
// FAT16 drives of 1000 sectors, each EBR 2000 sectors after the previous one.
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

TEST(StoragePartitions, MbrClassifiesByTextThenByType)
{
    CraftedDisk disk(kDisk);
    Sector& mbr = disk.At(0);
    SetSignature(mbr);
    SetEntry(mbr, 0, 0x83, 2048, 1000);     // Linux type, FAT32 text: the text wins
    MarkFs(disk.At(2048), "FAT32");
    SetEntry(mbr, 1, 0x07, 4096, 1000);     // no text: the type says NTFS
    SetEntry(mbr, 2, 0x83, 8192, 1000);     // neither: left out
    SetEntry(mbr, 3, 0x0E, 16384, 0xFFFFFFFF);
    ExpectParts(ReadMbrPartitions(disk, 0, kDisk, 26, false),
                {{L"FAT32", 2048, 3048}, {L"NTFS", 4096, 5096},
                 {L"FAT16", 16384, 16384 + 0xFFFFFFFFull}});

    mbr[511] = 0;
    EXPECT_TRUE(ReadMbrPartitions(disk, 0, kDisk, 26, false).empty());
}

// A partition whose first sector cannot be read is classified by its type byte alone, never
// by what an earlier read left in a buffer.
TEST(StoragePartitions, FailedBootSectorReadIsNotParsedStale)
{
    CraftedDisk disk(kDisk);
    Sector& mbr = disk.At(0);
    SetSignature(mbr);
    SetEntry(mbr, 0, 0x83, 2048, 1000);
    MarkFs(disk.At(2048), "NTFS");
    SetEntry(mbr, 1, 0x83, 4096, 1000);
    disk.Fail(4096);
    SetEntry(mbr, 2, 0x0B, 8192, 1000);
    disk.Fail(8192);
    ExpectParts(ReadMbrPartitions(disk, 0, kDisk, 26, false),
                {{L"NTFS", 2048, 3048}, {L"FAT32", 8192, 9192}});

    disk.Fail(0);
    EXPECT_TRUE(ReadMbrPartitions(disk, 0, kDisk, 26, false).empty());
}

TEST(StoragePartitions, TooLittleRoomEndsTheWholeReading)
{
    CraftedDisk disk = DiskWithExtended(0x0F, 2);
    Sector& mbr = disk.At(0);
    // The extended partition comes first, then an entry starting 0x5FFF sectors before the
    // end: the reading ends there, the chain is not walked either.
    SetEntry(mbr, 0, 0x0F, 10000, 200000);
    SetEntry(mbr, 1, 0x07, uint32_t(kDisk - 0x5FFF), 100);
    EXPECT_TRUE(ReadMbrPartitions(disk, 0, kDisk, 26, false).empty());
    SetEntry(mbr, 1, 0x07, uint32_t(kDisk - 0x6000), 100);
    ExpectParts(ReadMbrPartitions(disk, 0, kDisk, 26, false),
                {{L"NTFS", kDisk - 0x6000, kDisk - 0x6000 + 100},
                 {L"FAT16", 10063, 11063}, {L"FAT16", 12063, 13063}});
    // A start beyond the disk's end.
    SetEntry(mbr, 1, 0x07, uint32_t(kDisk + 1), 100);
    EXPECT_TRUE(ReadMbrPartitions(disk, 0, kDisk, 26, false).empty());
}

TEST(StoragePartitions, ExtendedChainOfBothTypes)
{
    for (uint8_t type : {uint8_t(0x0F), uint8_t(0x05)}) {
        SCOPED_TRACE(int(type));
        CraftedDisk disk = DiskWithExtended(type, 3);
        // Inside the chain, 0x01 counts as FAT16 and a 0x0F link works like 0x05.
        SetEntry(disk.At(12000), 0, 0x01, 63, 1000);
        std::memset(disk.At(12063).data(), 0, kSectorSize);
        SetEntry(disk.At(12000), 1, 0x0F, 4000, 1063);
        ExpectParts(ReadMbrPartitions(disk, 0, kDisk, 26, false),
                    {{L"FAT32", 2048, 6144}, {L"FAT16", 10063, 11063},
                     {L"FAT16", 12063, 13063}, {L"FAT16", 14063, 15063}});
    }
    // 0x01 is not a primary type.
    CraftedDisk disk(kDisk);
    SetSignature(disk.At(0));
    SetEntry(disk.At(0), 0, 0x01, 2048, 100);
    EXPECT_TRUE(ReadMbrPartitions(disk, 0, kDisk, 26, false).empty());
}

TEST(StoragePartitions, ExtendedChainCyclesEnd)
{
    // An EBR that points at itself.
    CraftedDisk self = DiskWithExtended(0x05, 1);
    SetEntry(self.At(10000), 1, 0x05, 0, 1063);
    ExpectParts(ReadMbrPartitions(self, 0, kDisk, 26, false),
                {{L"FAT32", 2048, 6144}, {L"FAT16", 10063, 11063}});
    EXPECT_LE(self.reads, 6);

    // The third EBR links back to the first.
    CraftedDisk loop = DiskWithExtended(0x0F, 3);
    SetEntry(loop.At(14000), 1, 0x05, 0, 1063);
    EXPECT_EQ(ReadMbrPartitions(loop, 0, kDisk, 26, false).size(), 4u);
}

TEST(StoragePartitions, ExtendedChainIsBounded)
{
    // 300 EBRs with nothing recognisable: the walk reads at most 129 of them.
    CraftedDisk disk = DiskWithExtended(0x0F, 300);
    std::set<uint64_t> ebrs;
    for (int i = 0; i < 300; ++i) {
        const uint64_t ebr = 10000 + 2000 * uint64_t(i);
        ebrs.insert(ebr);
        disk.At(ebr)[446 + 4] = 0x83;
        disk.At(ebr + 63)[0x36] = 0;
    }
    ExpectParts(ReadMbrPartitions(disk, 0, 1 << 30, 26, false), {{L"FAT32", 2048, 6144}});
    int ebrsRead = 0;
    for (uint64_t sector : std::set<uint64_t>(disk.readLog.begin(), disk.readLog.end()))
        ebrsRead += int(ebrs.count(sector));
    EXPECT_EQ(ebrsRead, kMaxExtendedLinks + 1);

    // Recognisable ones stop at the disk's bound.
    CraftedDisk many = DiskWithExtended(0x0F, 40);
    const std::vector<FoundPartition> parts = ReadMbrPartitions(many, 0, 1 << 30, 26, false);
    ASSERT_EQ(parts.size(), 26u);
    EXPECT_EQ(parts[25].startSector, 10000u + 2000 * 24 + 63);
}

TEST(StoragePartitions, FailedEbrReadEndsTheChain)
{
    CraftedDisk disk = DiskWithExtended(0x0F, 3);
    disk.Fail(12000);
    ExpectParts(ReadMbrPartitions(disk, 0, kDisk, 26, false),
                {{L"FAT32", 2048, 6144}, {L"FAT16", 10063, 11063}});
}

// A GPT entry array: entry i of the list at sector 2 + i / 4.
void SetGptEntry(CraftedDisk& disk, int i, const uint8_t* type, uint64_t first, uint64_t last)
{
    uint8_t* e = disk.At(2 + uint64_t(i) / 4).data() + 128 * (i % 4);
    std::memcpy(e, type, 16);
    PutLe64(e + 32, first);
    PutLe64(e + 40, last);
}

const uint8_t kBasicData[16] = {0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44,
                                0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7};
const uint8_t kReserved[16] = {0x16, 0xE3, 0xC9, 0xE3, 0x5C, 0x0B, 0xB8, 0x4D,
                               0x81, 0x7D, 0xF9, 0x2D, 0xF0, 0x02, 0x15, 0xAE};

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
    SetGptEntry(disk, 0, kReserved, 34, 32801);
    MarkFs(disk.At(34), "NTFS");            // a reserved partition is never listed
    SetGptEntry(disk, 1, kBasicData, 40000, 49999);
    MarkFs(disk.At(40000), "NTFS");
    SetGptEntry(disk, 2, kBasicData, 50000, 59999);     // no text: GPT has no type bytes
    SetGptEntry(disk, 3, kBasicData, 60000, 69999);
    MarkFs(disk.At(60000), "FAT16");
    SetGptEntry(disk, 5, kBasicData, 70000, 79999);     // after the empty entry 4
    MarkFs(disk.At(70000), "FAT32");
    ExpectParts(ReadMbrPartitions(disk, 0, kDisk, 26, false),
                {{L"NTFS", 40000, 49999}, {L"FAT16", 60000, 69999}});
}

TEST(StoragePartitions, GptStopsAtTheDiskBound)
{
    CraftedDisk disk = ProtectiveDisk();
    for (int i = 0; i < 128; ++i) {
        SetGptEntry(disk, i, kBasicData, 100000 + 1000 * uint64_t(i), 100999 + 1000 * uint64_t(i));
        MarkFs(disk.At(100000 + 1000 * uint64_t(i)), "FAT32");
    }
    EXPECT_EQ(ReadMbrPartitions(disk, 0, kDisk, 26, false).size(), 26u);
    EXPECT_EQ(ReadGptPartitions(disk, 2, 200).size(), 128u);

    // Recorded after partitions already there, the GPT ones fill the record only up to 26.
    DiskPartitionRecord record;
    for (int n = 0; n < 20; ++n)
        AddPartitionToDisk(record, L"NTFS", 1, 2);
    RecordingHost host;
    AddGptPartitionsFrom(disk, 2, kDiskItem, record, &host);
    EXPECT_EQ(record.partitionCount, 26u);
    ASSERT_EQ(host.texts.size(), 6u);
    EXPECT_TRUE(host.texts[0] == L"Partition - 21 ( FAT32 )");
    EXPECT_EQ(record.slot[20].startSector, 100000u);
    EXPECT_EQ(record.slot[20].treeItem, reinterpret_cast<TreeItemHandle>(uintptr_t(1)));
}

// A primary partition before the protective entry keeps its number; the GPT ones follow it.
TEST(StoragePartitions, GptAfterPrimaryContinuesNumbering)
{
    CraftedDisk disk = ProtectiveDisk();
    SetEntry(disk.At(0), 0, 0x07, 2048, 1000);
    SetEntry(disk.At(0), 1, 0xEE, 1, uint32_t(kDisk - 1));
    SetGptEntry(disk, 0, kBasicData, 40000, 49999);
    MarkFs(disk.At(40000), "FAT32");
    DiskPartitionRecord record;
    record.partitionCount = 7;              // left from an earlier listing
    SelectedVolumeRecord selection;
    RecordingHost host;
    AddDiskPartitionsFrom(disk, 0, kDisk, kDiskItem, record, selection, &host);
    ASSERT_EQ(record.partitionCount, 2u);
    EXPECT_TRUE(record.fsName[0] == L"NTFS");
    EXPECT_TRUE(record.fsName[1] == L"FAT32");
    EXPECT_EQ(record.slot[1].endSector, 49999u);
    ASSERT_EQ(host.texts.size(), 2u);
    EXPECT_TRUE(host.texts[0] == L"Partition - 1 ( NTFS )");
    EXPECT_TRUE(host.texts[1] == L"Partition - 2 ( FAT32 )");
    EXPECT_EQ(host.parents[1], kDiskItem);
}

TEST(StoragePartitions, WithoutTreeFirstPrimaryBecomesSelection)
{
    CraftedDisk disk = DiskWithExtended(0x0F, 2);
    SetEntry(disk.At(0), 0, 0x0F, 10000, 200000);
    SetEntry(disk.At(0), 1, 0x0C, 2048, 4096);
    SetEntry(disk.At(0), 2, 0x07, 300000, 1000);
    DiskPartitionRecord record;
    SelectedVolumeRecord selection;
    RecordingHost host;
    AddDiskPartitionsFrom(disk, 0, kDisk, nullptr, record, selection, &host);
    EXPECT_TRUE(selection.fsName == L"FAT32");
    EXPECT_EQ(selection.startSector, 2048u);
    EXPECT_EQ(selection.endSector, 6144u);
    // The MBR loop ended at the selection; the chain marked before it is still recorded.
    ASSERT_EQ(record.partitionCount, 2u);
    EXPECT_EQ(record.slot[0].startSector, 10063u);
    EXPECT_EQ(record.slot[0].treeItem, nullptr);
    EXPECT_TRUE(host.texts.empty());
}

// ---- The test images -------------------------------------------------------------------

std::vector<Expect> ExpectedFromLayout(const std::string& image, bool gpt)
{
    std::vector<Expect> want;
    for (const LayoutLine& l : LoadLayout(image)) {
        if (l.fs == "extended")
            continue;
        const std::string fs = UpperFs(l.fs);
        want.push_back({fs == "FAT16" ? L"FAT16" : fs == "FAT32" ? L"FAT32" : L"NTFS", l.start,
                        gpt ? l.start + l.count - 1 : l.start + l.count});
    }
    return want;
}

TEST(StoragePartitionsImages, MbrImageMatchesLayout)
{
    if (ImagesDir().empty())
        GTEST_SKIP() << "ZR_IMAGES not set";
    FileSectorSource image(ImagesDir() + "/mbr.img");
    ASSERT_TRUE(image.IsOpen());
    const uint64_t size = image.SizeBytes() / kSectorSize;
    const std::vector<Expect> want = ExpectedFromLayout("mbr.img", false);
    ASSERT_EQ(want.size(), 4u);
    ExpectParts(ReadMbrPartitions(image, 0, size, 26, false), want);

    // The same disk with its extended partition typed 0x0F, as other tools write it.
    CraftedDisk retyped(size, &image);
    Sector& mbr = retyped.At(0);
    for (int k = 0; k < 4; ++k)
        if (mbr[446 + 16 * k + 4] == 0x05)
            mbr[446 + 16 * k + 4] = 0x0F;
    ExpectParts(ReadMbrPartitions(retyped, 0, size, 26, false), want);

    // Its first EBR made to point at itself: one logical drive, and the walk ends.
    CraftedDisk looped(size, &image);
    uint64_t ebr = 0;
    for (const LayoutLine& l : LoadLayout("mbr.img"))
        if (l.fs == "extended")
            ebr = l.start;
    ASSERT_NE(ebr, 0u);
    SetEntry(looped.At(ebr), 1, 0x05, 0, 1);
    ExpectParts(ReadMbrPartitions(looped, 0, size, 26, false),
                std::vector<Expect>(want.begin(), want.begin() + 3));
}

TEST(StoragePartitionsImages, GptImageMatchesLayout)
{
    if (ImagesDir().empty())
        GTEST_SKIP() << "ZR_IMAGES not set";
    FileSectorSource image(ImagesDir() + "/gpt.img");
    ASSERT_TRUE(image.IsOpen());
    const uint64_t size = image.SizeBytes() / kSectorSize;
    DiskPartitionRecord record;
    SelectedVolumeRecord selection;
    RecordingHost host;
    AddDiskPartitionsFrom(image, 0, size, kDiskItem, record, selection, &host);
    const std::vector<Expect> want = ExpectedFromLayout("gpt.img", true);
    ASSERT_EQ(record.partitionCount, want.size());
    for (size_t n = 0; n < want.size(); ++n) {
        EXPECT_TRUE(record.fsName[n] == want[n].fs);
        EXPECT_EQ(record.slot[n].startSector, want[n].start);
        EXPECT_EQ(record.slot[n].endSector, want[n].end);
        EXPECT_TRUE(host.texts[n] == PartitionItemText(int(n), want[n].fs));
    }
    EXPECT_TRUE(host.texts[0] == L"Partition - 1 ( FAT32 )");
}

} // namespace
