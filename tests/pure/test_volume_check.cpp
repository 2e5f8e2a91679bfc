// Volume validation and geometry from crafted boot sectors and from the test images, and the
// small text services beside it.
#include <gtest/gtest.h>

#include "storage/pure/bootsector.h"
#include "storage/pure/partition_table.h"
#include "storage/pure/volume_check.h"
#include "storage_test_util.h"

using namespace storage_test;

namespace {

struct FatLayout {
    uint8_t spc = 4;
    uint16_t reserved = 4;
    uint16_t rootEntries = 512;
    uint32_t spf = 32;
    uint32_t rootCluster = 2;
};

void WriteFatBoot(Sector& s, const FatLayout& f, bool fat32)
{
    s[0x0D] = f.spc;
    PutLe16(s.data() + 0x0E, f.reserved);
    if (fat32) {
        PutLe32(s.data() + 0x24, f.spf);
        PutLe32(s.data() + 0x2C, f.rootCluster);
        MarkFs(s, "FAT32");
    } else {
        PutLe16(s.data() + 0x11, f.rootEntries);
        PutLe16(s.data() + 0x16, uint16_t(f.spf));
        MarkFs(s, "FAT16");
    }
    SetSignature(s);
}

// A FAT volume at `start` with its media byte in place.
CraftedDisk FatVolume(uint64_t start, const FatLayout& f, bool fat32)
{
    CraftedDisk disk(start + 100000);
    WriteFatBoot(disk.At(start), f, fat32);
    disk.At(start + f.reserved + f.spf)[0] = 0xF8;
    return disk;
}

VolumeCheck Check(SectorSource& disk, const wchar_t* fs, uint64_t start, uint64_t end,
                  VolumeGeometryRecord& g)
{
    return CheckVolume(disk, disk, fs, start, end, g);
}

TEST(StorageVolumeCheck, Fat16Geometry)
{
    CraftedDisk disk = FatVolume(100, FatLayout{}, false);
    VolumeGeometryRecord g;
    ASSERT_EQ(Check(disk, L"FAT16", 100, 50000, g), VolumeCheck::Valid);
    EXPECT_EQ(g.sectorsPerFat, 32u);
    EXPECT_EQ(g.sectorsPerCluster, 4u);
    EXPECT_EQ(g.rootDirSectors, 32u);
    EXPECT_EQ(g.rootStart, 168u);
    EXPECT_EQ(g.reservedSectors, 4u);
    EXPECT_EQ(g.cluster0Start, 192u);
    EXPECT_EQ(g.firstFatSector, 104u);
    EXPECT_EQ(g.secondFatSector, 136u);

    // Removable media carry 0xF0: refused.
    disk.At(136)[0] = 0xF0;
    EXPECT_EQ(Check(disk, L"FAT16", 100, 50000, g), VolumeCheck::Invalid);
}

// Fields that would divide by zero or loop later fail the check, and leave the geometry as it
// was.
TEST(StorageVolumeCheck, FatFieldsAreChecked)
{
    struct Case {
        const char* what;
        FatLayout layout;
    };
    const Case cases[] = {
        {"zero sectors per cluster", {0, 4, 512, 32, 2}},
        {"three sectors per cluster", {3, 4, 512, 32, 2}},
        {"255 sectors per cluster", {255, 4, 512, 32, 2}},
        {"zero reserved sectors", {4, 0, 512, 32, 2}},
        {"zero sectors per FAT", {4, 4, 512, 0, 2}},
    };
    for (bool fat32 : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (fat32 ? " FAT32" : " FAT16"));
            CraftedDisk disk = FatVolume(100, c.layout, fat32);
            disk.At(100 + c.layout.reserved)[0] = 0xF8;   // media byte where a zero FAT would put it
            VolumeGeometryRecord g;
            g.sectorsPerCluster = 77;
            EXPECT_EQ(Check(disk, fat32 ? L"FAT32" : L"FAT16", 100, 50000, g),
                      VolumeCheck::Invalid);
            EXPECT_EQ(g.sectorsPerCluster, 77u);
        }
    }
    for (uint8_t spc : {1, 2, 8, 16, 32, 64, 128}) {
        FatLayout f;
        f.spc = spc;
        CraftedDisk disk = FatVolume(0, f, false);
        VolumeGeometryRecord g;
        EXPECT_EQ(Check(disk, L"FAT16", 0, 50000, g), VolumeCheck::Valid) << int(spc);
    }
}

// FAT sector numbers are 32-bit fields: a volume whose FATs lie beyond them is refused.
TEST(StorageVolumeCheck, FatSectorsBeyondThirtyTwoBitsAreRefused)
{
    FatLayout f;
    f.spf = 1000;
    const uint64_t high = UINT32_MAX - 1500ull;
    {
        CraftedDisk disk = FatVolume(high, f, true);    // second FAT at 2^32 - 468: fits
        VolumeGeometryRecord g;
        ASSERT_EQ(Check(disk, L"FAT32", high, high + 90000, g), VolumeCheck::Valid);
        EXPECT_EQ(g.secondFatSector, uint32_t(high + 4 + 1000));
        EXPECT_EQ(g.cluster0Start, high + 4 + 2000 - 8);
    }
    {
        CraftedDisk disk = FatVolume(high + 600, f, true);  // second FAT past 2^32
        VolumeGeometryRecord g;
        EXPECT_EQ(Check(disk, L"FAT32", high + 600, high + 90000, g), VolumeCheck::Invalid);
    }
    {
        CraftedDisk disk = FatVolume(high, f, false);   // the FAT16 root start would not fit
        VolumeGeometryRecord g;
        EXPECT_EQ(Check(disk, L"FAT16", high, high + 90000, g), VolumeCheck::Invalid);
    }
}

TEST(StorageVolumeCheck, Fat32FallsBackToTheBackupBootSector)
{
    FatLayout f;
    f.reserved = 32;
    f.spf = 1000;
    f.spc = 8;
    f.rootCluster = 5;
    CraftedDisk disk = FatVolume(2048, f, true);
    WriteFatBoot(disk.At(2054), f, true);
    VolumeGeometryRecord g;
    ASSERT_EQ(Check(disk, L"FAT32", 2048, 300000, g), VolumeCheck::Valid);
    EXPECT_EQ(g.rootStart, 5u);
    EXPECT_EQ(g.rootDirSectors, 0u);
    EXPECT_EQ(g.cluster0Start, 2048u + 32 + 2000 - 16);
    EXPECT_EQ(g.secondFatSector, 3080u);

    // First boot sector damaged (signature, then fields): the backup at S + 6 stands in.
    disk.At(2048)[510] = 0;
    EXPECT_EQ(Check(disk, L"FAT32", 2048, 300000, g), VolumeCheck::Valid);
    disk.At(2048)[510] = 0x55;
    disk.At(2048)[0x0D] = 0;
    EXPECT_EQ(Check(disk, L"FAT32", 2048, 300000, g), VolumeCheck::Valid);
    EXPECT_EQ(g.sectorsPerCluster, 8u);
    // Both damaged, or the first unreadable and the backup bad.
    disk.At(2054)[511] = 0;
    EXPECT_EQ(Check(disk, L"FAT32", 2048, 300000, g), VolumeCheck::Invalid);
    disk.Fail(2048);
    EXPECT_EQ(Check(disk, L"FAT32", 2048, 300000, g), VolumeCheck::Invalid);
}

struct NtfsLayout {
    uint8_t spc = 8;
    uint64_t mft = 100;
    uint64_t mirr = 2;
    uint32_t perRecord = 0xF6;
    uint32_t perIndex = 1;
};

void WriteNtfsBoot(Sector& s, const NtfsLayout& n)
{
    MarkFs(s, "NTFS");
    s[0x0D] = n.spc;
    PutLe64(s.data() + 0x30, n.mft);
    PutLe64(s.data() + 0x38, n.mirr);
    PutLe32(s.data() + 0x40, n.perRecord);
    PutLe32(s.data() + 0x44, n.perIndex);
    SetSignature(s);
}

// An NTFS volume from 1000 to 21000 (exclusive) with its backup boot sector in its last sector.
CraftedDisk NtfsVolume(const NtfsLayout& n, uint64_t backupAt = 20999)
{
    CraftedDisk disk(40000);
    WriteNtfsBoot(disk.At(1000), n);
    WriteNtfsBoot(disk.At(backupAt), n);
    PutText(disk.At(1000 + n.mft * n.spc).data(), "FILE0");
    PutText(disk.At(1000 + n.mirr * n.spc).data(), "FILE0");
    return disk;
}

TEST(StorageVolumeCheck, NtfsGeometryKeepsFatFields)
{
    CraftedDisk disk = NtfsVolume(NtfsLayout{});
    VolumeGeometryRecord g;
    g.sectorsPerFat = 123;
    ASSERT_EQ(Check(disk, L"NTFS", 1000, 21000, g), VolumeCheck::Valid);
    EXPECT_EQ(g.sectorsPerCluster, 8u);
    EXPECT_EQ(g.cluster0Start, 1000u);
    EXPECT_EQ(g.mftSector, 1800u);
    EXPECT_EQ(g.mftMirrSector, 1016u);
    EXPECT_EQ(g.sectorsPerFileRecord, 2u);
    EXPECT_EQ(g.sectorsPerIndexRecord, 8u);
    EXPECT_EQ(g.sectorsPerFat, 123u);
}

TEST(StorageVolumeCheck, NtfsRecordSizes)
{
    struct Case {
        uint8_t spc;
        uint32_t perRecord, perIndex;
        uint32_t wantRecord, wantIndex;     // 0: refused
    };
    const Case cases[] = {
        {8, 0xF6, 0xF4, 2, 8},
        {4, 1, 1, 4, 4},
        {1, 2, 8, 2, 8},
        {2, 3, 1, 6, 2},
        {1, 3, 1, 0, 0},                    // 3 sectors per record
        {2, 0x80000001u, 1, 0, 0},          // × 2 wraps to 2 in 32 bits: refused
        {8, 0xF6, 0x20000000u, 2, 0},       // index sectors beyond 32 bits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.spc) << " " << c.perRecord << " " << c.perIndex);
        NtfsLayout n;
        n.spc = c.spc;
        n.perRecord = c.perRecord;
        n.perIndex = c.perIndex;
        CraftedDisk disk = NtfsVolume(n);
        VolumeGeometryRecord g;
        const VolumeCheck r = Check(disk, L"NTFS", 1000, 21000, g);
        if (c.wantRecord == 0 || c.wantIndex == 0) {
            EXPECT_EQ(r, VolumeCheck::Invalid);
            continue;
        }
        ASSERT_EQ(r, VolumeCheck::Valid);
        EXPECT_EQ(g.sectorsPerFileRecord, c.wantRecord);
        EXPECT_EQ(g.sectorsPerIndexRecord, c.wantIndex);
    }
}

TEST(StorageVolumeCheck, NtfsBackupAtExclusiveAndInclusiveEnd)
{
    // MBR partitions record the first sector after them; the backup is one before.
    CraftedDisk mbr = NtfsVolume(NtfsLayout{}, 20999);
    mbr.At(1000)[510] = 0;
    // The next partition's FAT boot sector at the exclusive end is not taken for the backup.
    WriteFatBoot(mbr.At(21000), FatLayout{}, true);
    VolumeGeometryRecord g;
    EXPECT_EQ(Check(mbr, L"NTFS", 1000, 21000, g), VolumeCheck::Valid);
    std::memset(mbr.At(20999).data(), 0, kSectorSize);
    EXPECT_EQ(Check(mbr, L"NTFS", 1000, 21000, g), VolumeCheck::NoBootSector);

    // GPT partitions record their last sector.
    CraftedDisk gpt = NtfsVolume(NtfsLayout{}, 20999);
    gpt.At(1000)[510] = 0;
    EXPECT_EQ(Check(gpt, L"NTFS", 1000, 20999, g), VolumeCheck::Valid);

    // A primary with bad fields falls to the backup.
    CraftedDisk bad = NtfsVolume(NtfsLayout{});
    bad.At(1000)[0x0D] = 3;
    EXPECT_EQ(Check(bad, L"NTFS", 1000, 21000, g), VolumeCheck::Valid);
    bad.At(20999)[0x0D] = 0;
    EXPECT_EQ(Check(bad, L"NTFS", 1000, 21000, g), VolumeCheck::Invalid);
}

TEST(StorageVolumeCheck, NtfsMftAndMirror)
{
    // Only the mirror readable: still valid, with mftSector 0.
    CraftedDisk disk = NtfsVolume(NtfsLayout{});
    disk.Fail(1800);
    VolumeGeometryRecord g;
    ASSERT_EQ(Check(disk, L"NTFS", 1000, 21000, g), VolumeCheck::Valid);
    EXPECT_EQ(g.mftSector, 0u);
    EXPECT_EQ(g.mftMirrSector, 1016u);
    disk.Fail(1016);
    EXPECT_EQ(Check(disk, L"NTFS", 1000, 21000, g), VolumeCheck::Invalid);

    // The primary's $MFT cluster is wrong; the backup's is right.
    CraftedDisk moved = NtfsVolume(NtfsLayout{});
    PutLe64(moved.At(1000).data() + 0x30, 555);
    ASSERT_EQ(Check(moved, L"NTFS", 1000, 21000, g), VolumeCheck::Valid);
    EXPECT_EQ(g.mftSector, 1800u);
    // A cluster number whose sector does not fit in 64 bits is no record.
    PutLe64(moved.At(1000).data() + 0x30, UINT64_MAX / 4);
    PutLe64(moved.At(20999).data() + 0x30, UINT64_MAX / 2);
    ASSERT_EQ(Check(moved, L"NTFS", 1000, 21000, g), VolumeCheck::Valid);
    EXPECT_EQ(g.mftSector, 0u);
}

class AutoSearchHost : public StorageHost {
public:
    TreeItemHandle InsertPartitionItem(TreeItemHandle, const CString&) override { return nullptr; }
    CString LogicalDrivePath() override { return CString(); }
    void ClearScanTables() override { ++cleared; }
    AutoSearchState QueryAutoSearchState() override { return state; }
    bool StartPartitionSearch() override
    {
        ++started;
        return startWorks;
    }

    AutoSearchState state;
    bool startWorks = true;
    int cleared = 0;
    int started = 0;
};

TEST(StorageVolumeCheck, AutoPartitionSearchOnlyWhenAllowed)
{
    CraftedDisk blank(40000);
    SelectedVolumeInfo.fsName = L"NTFS";
    SelectedVolumeInfo.startSector = 0;
    SelectedVolumeInfo.endSector = 40000;
    AutoSearchHost host;
    host.state.selectedIsWholeDisk = true;
    AutoPartitionSearch = 0;
    EXPECT_EQ(ValidateVolumeFrom(blank, blank, &host), 0);
    EXPECT_EQ(host.cleared, 1);
    EXPECT_EQ(host.started, 1);
    EXPECT_EQ(AutoPartitionSearch, 1u);

    struct Case {
        const char* what;
        AutoSearchState state;
    };
    const Case refused[] = {
        {"partition, not a disk", {false, false, false, false, false}},
        {"partitions listed", {true, true, false, false, false}},
        {"scan counted", {true, false, true, false, false}},
        {"search running", {true, false, false, true, false}},
        {"on the search's own thread", {true, false, false, false, true}},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.what);
        host.state = c.state;
        host.started = 0;
        AutoPartitionSearch = 0;
        EXPECT_EQ(ValidateVolumeFrom(blank, blank, &host), 0);
        EXPECT_EQ(host.started, 0);
        EXPECT_EQ(AutoPartitionSearch, 0u);
    }

    // A search that cannot start leaves the flag clear; a FAT volume never starts one.
    host.state = AutoSearchState{true, false, false, false, false};
    host.startWorks = false;
    EXPECT_EQ(ValidateVolumeFrom(blank, blank, &host), 0);
    EXPECT_EQ(AutoPartitionSearch, 0u);
    host.started = 0;
    SelectedVolumeInfo.fsName = L"FAT32";
    EXPECT_EQ(ValidateVolumeFrom(blank, blank, &host), 0);
    EXPECT_EQ(host.started, 0);
    // Without a host nothing is started and nothing breaks.
    SelectedVolumeInfo.fsName = L"NTFS";
    EXPECT_EQ(ValidateVolumeFrom(blank, blank, nullptr), 0);
}

TEST(StorageVolumeCheck, OtherNamesFailWithoutReading)
{
    CraftedDisk disk = NtfsVolume(NtfsLayout{});
    VolumeGeometryRecord g;
    for (const wchar_t* name : {L"", L"ntfs", L"exFAT", L"Unknown"})
        EXPECT_EQ(Check(disk, name, 1000, 21000, g), VolumeCheck::Invalid);
    EXPECT_EQ(disk.reads, 0);
}

// ---- The test images -------------------------------------------------------------------

TEST(StorageVolumeCheckImages, EveryVolumeOfEveryImageValidates)
{
    if (ImagesDir().empty())
        GTEST_SKIP() << "ZR_IMAGES not set";
    for (const char* name : {"fat16.img", "fat32.img", "ntfs.img", "ntfs512.img", "mbr.img",
                             "gpt.img"}) {
        FileSectorSource image(ImagesDir() + "/" + name);
        ASSERT_TRUE(image.IsOpen()) << name;
        const bool gpt = std::string(name) == "gpt.img";
        for (const LayoutLine& l : LoadLayout(name)) {
            if (l.fs == "extended")
                continue;
            SCOPED_TRACE(testing::Message() << name << " partition " << l.index);
            const std::string fs = UpperFs(l.fs);
            const uint64_t end = gpt ? l.start + l.count - 1 : l.start + l.count;
            VolumeGeometryRecord g;
            ASSERT_EQ(CheckVolume(image, image, CString(fs.c_str()), l.start, end, g),
                      VolumeCheck::Valid);
            EXPECT_EQ(g.sectorsPerCluster * kSectorSize, l.cluster);
            uint8_t sector[kSectorSize];
            if (fs == "NTFS") {
                ASSERT_TRUE(image.ReadSector(g.mftSector, sector));
                EXPECT_TRUE(IsMftRecord(sector));
                EXPECT_NE(g.mftMirrSector, 0u);
                EXPECT_EQ(g.cluster0Start, l.start);
                EXPECT_EQ(g.sectorsPerFileRecord, 2u);
            } else {
                ASSERT_TRUE(image.ReadSector(g.secondFatSector, sector));
                EXPECT_EQ(sector[0], 0xF8);
                EXPECT_EQ(g.firstFatSector, l.start + g.reservedSectors);
                // The first data cluster (2) starts right after the FATs and the root folder.
                EXPECT_EQ(g.cluster0Start + 2 * g.sectorsPerCluster,
                          uint64_t(g.firstFatSector) + 2 * g.sectorsPerFat + g.rootDirSectors);
            }
            // Checked as the wrong file system, every volume fails.
            EXPECT_EQ(CheckVolume(image, image, fs == "NTFS" ? L"FAT32" : L"NTFS", l.start, end, g),
                      VolumeCheck::Invalid);
        }
    }
}

// ---- Names and result lines ------------------------------------------------------------

TEST(StorageTextServices, NormaliseFsName)
{
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"fat", L"FAT16"},      {L"FAT", L"FAT16"},        {L"fat16", L"FAT16"},
        {L"FAT32 (LBA)", L"FAT32"}, {L"xFAT16FAT32", L"FAT16"}, {L"ntfs", L"NTFS"},
        {L"exFAT", L"Unknown"},  {L"", L"Unknown"},         {L"FAT12", L"Unknown"},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(NormaliseFsName(c.first) == c.second) << CString(c.first).GetLength();
}

TEST(StorageTextServices, GuessFsBySize)
{
    EXPECT_TRUE(GuessFsBySize(100, 100 + 73400319) == L"FAT32");
    EXPECT_TRUE(GuessFsBySize(100, 100 + 73400320) == L"NTFS");
    EXPECT_TRUE(GuessFsBySize(0, 2047) == L"Unknown");
    EXPECT_TRUE(GuessFsBySize(0, 2048) == L"FAT32");
    EXPECT_TRUE(GuessFsBySize(5000, 10) == L"Unknown");
}

TEST(StorageTextServices, FormatPartitionSearchResult)
{
    EXPECT_TRUE(FormatPartitionSearchResult(0, 2, true, L"Disk", L"x") ==
                L"Found 2 more partitions in selected Disk ( Disk - 0 )");
    EXPECT_TRUE(FormatPartitionSearchResult(3, 1, true, L"Drive", L"E:") ==
                L"Found 1 more partitions in selected Drive ( Drive - E: )");
    EXPECT_TRUE(FormatPartitionSearchResult(4, 0, false, L"Disk", L"") ==
                L"No more partitions found in selected Disk ( Disk - 4 )");
    EXPECT_TRUE(FormatPartitionSearchResult(4, 0, false, L"Drive", L"F:") ==
                L"No more partitions found in selected Drive ( Drive - F: )");
}

TEST(StorageTextServices, ClassifyBootText)
{
    Sector s{};
    EXPECT_EQ(ClassifyBootText(s.data(), true), BootText::None);
    PutText(s.data(), "EFI PART");
    EXPECT_EQ(ClassifyBootText(s.data(), true), BootText::Efi);
    EXPECT_EQ(ClassifyBootText(s.data(), false), BootText::None);
    MarkFs(s, "FAT16");
    MarkFs(s, "FAT32");     // FAT32 text wins over FAT16 text
    EXPECT_EQ(ClassifyBootText(s.data(), true), BootText::Fat32);
}

} // namespace
