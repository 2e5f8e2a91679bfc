// Volume validation and geometry from crafted boot sectors.
#include <gtest/gtest.h>

#include <cstring>

#include "storage/pure/bootsector.h"
#include "storage/pure/partition_table.h"
#include "storage/pure/volume_check.h"
#include "storage_test_util.h"

using namespace storage_test;

namespace {

struct FatLayout {
    uint8_t spc = 4;
    uint16_t reserved = 4;
    uint32_t spf = 32;
};

void WriteFatBoot(Sector& s, const FatLayout& f, bool fat32)
{
    s[0x0D] = f.spc;
    PutLe16(s.data() + 0x0E, f.reserved);
    if (fat32) {
        PutLe32(s.data() + 0x24, f.spf);
        PutLe32(s.data() + 0x2C, 2);
    } else {
        PutLe16(s.data() + 0x11, 512);
        PutLe16(s.data() + 0x16, uint16_t(f.spf));
    }
    MarkFs(s, fat32 ? "FAT32" : "FAT16");
    SetSignature(s);
}

// A FAT volume at `start` with the media byte of its second FAT in place.
CraftedDisk FatVolume(uint64_t start, const FatLayout& f, bool fat32)
{
    CraftedDisk disk(start + 100000);
    WriteFatBoot(disk.At(start), f, fat32);
    disk.At(start + f.reserved + f.spf)[0] = 0xF8;
    return disk;
}

VolumeCheck Check(SectorSource& disk, const wchar_t* fs, uint64_t start, uint64_t end, VolumeGeometryRecord& g)
{
    return CheckVolume(disk, disk, fs, start, end, g);
}

// Fields that would divide by zero or loop later fail, and leave the geometry as it was.
TEST(StorageVolumeCheck, FatFieldsAreChecked)
{
    const FatLayout bad[] = { { 0, 4, 32 }, { 3, 4, 32 }, { 255, 4, 32 }, { 4, 0, 32 }, { 4, 4, 0 } };
    for (bool fat32 : { false, true }) {
        for (const FatLayout& f : bad) {
            SCOPED_TRACE(testing::Message() << fat32 << " " << int(f.spc) << " " << f.reserved << " " << f.spf);
            CraftedDisk disk = FatVolume(100, f, fat32);
            disk.At(100 + f.reserved)[0] = 0xF8;
            VolumeGeometryRecord g;
            g.sectorsPerCluster = 77;
            EXPECT_EQ(Check(disk, fat32 ? L"FAT32" : L"FAT16", 100, 50000, g), VolumeCheck::Invalid);
            EXPECT_EQ(g.sectorsPerCluster, 77u);
        }
    }
    for (uint8_t spc : { 1, 128 }) {
        CraftedDisk disk = FatVolume(100, { spc, 4, 32 }, false);
        VolumeGeometryRecord g;
        ASSERT_EQ(Check(disk, L"FAT16", 100, 50000, g), VolumeCheck::Valid) << int(spc);
        EXPECT_EQ(g.cluster0Start + 2 * spc, 200u); // cluster 2 right after the root
        disk.At(136)[0] = 0xF0;                     // removable media: refused
        EXPECT_EQ(Check(disk, L"FAT16", 100, 50000, g), VolumeCheck::Invalid);
    }
}

// FAT sector numbers are 32-bit fields: a volume whose FATs lie beyond them is refused.
TEST(StorageVolumeCheck, FatSectorsBeyondThirtyTwoBitsAreRefused)
{
    const uint64_t high = UINT32_MAX - 1500ull;
    const struct {
        uint64_t start;
        bool fat32;
        VolumeCheck want;
    } cases[] = {
        { high, true, VolumeCheck::Valid },         // second FAT at 2^32 - 468: fits
        { high + 600, true, VolumeCheck::Invalid }, // second FAT past 2^32
        { high, false, VolumeCheck::Invalid },      // the FAT16 root start would not fit
    };
    for (const auto& c : cases) {
        CraftedDisk disk = FatVolume(c.start, { 4, 4, 1000 }, c.fat32);
        VolumeGeometryRecord g;
        EXPECT_EQ(Check(disk, c.fat32 ? L"FAT32" : L"FAT16", c.start, high + 90000, g), c.want) << c.start << c.fat32;
        if (c.want == VolumeCheck::Valid) {
            EXPECT_EQ(g.cluster0Start, high + 4 + 2000 - 8);
        }
    }
}

struct NtfsLayout {
    uint8_t spc = 8;
    uint32_t perRecord = 0xF6;
    uint32_t perIndex = 1;
};

void WriteNtfsBoot(Sector& s, const NtfsLayout& n)
{
    MarkFs(s, "NTFS");
    s[0x0D] = n.spc;
    PutLe64(s.data() + 0x30, 100);
    PutLe64(s.data() + 0x38, 2);
    PutLe32(s.data() + 0x40, n.perRecord);
    PutLe32(s.data() + 0x44, n.perIndex);
    SetSignature(s);
}

// An NTFS volume from 1000 to 21000 (exclusive), its backup boot sector in its last sector, the
// $MFT at 1800 and its mirror at 1016.
CraftedDisk NtfsVolume(const NtfsLayout& n = {})
{
    CraftedDisk disk(40000);
    WriteNtfsBoot(disk.At(1000), n);
    WriteNtfsBoot(disk.At(20999), n);
    PutText(disk.At(1000 + 100 * n.spc).data(), "FILE0");
    PutText(disk.At(1000 + 2 * n.spc).data(), "FILE0");
    return disk;
}

TEST(StorageVolumeCheck, NtfsRecordSizes)
{
    const struct {
        NtfsLayout layout;
        uint32_t wantRecord, wantIndex; /* 0: refused */
    } cases[] = {
        { { 8, 0xF6, 0xF4 }, 2, 8 },
        { { 1, 3, 1 }, 0, 0 },              // 3 sectors per record
        { { 2, 0x80000001u, 1 }, 0, 0 },    // × 2 wraps to 2 in 32 bits
        { { 8, 0xF6, 0x20000001u }, 2, 0 }, // index sectors beyond 32 bits: kept as no size
    };
    for (const auto& c : cases) {
        CraftedDisk disk = NtfsVolume(c.layout);
        VolumeGeometryRecord g;
        const bool valid = Check(disk, L"NTFS", 1000, 21000, g) == VolumeCheck::Valid;
        EXPECT_EQ(valid, c.wantRecord != 0) << (&c - cases);
        if (valid) {
            EXPECT_EQ(g.sectorsPerFileRecord, c.wantRecord);
            EXPECT_EQ(g.sectorsPerIndexRecord, c.wantIndex);
        }
    }
}

// The index-record size is only kept for the scan log: a boot sector whose field gives no size
// (0, or past 32 bits) still makes the volume, measured from that boot sector: its backup, whose
// field gives a size, is not taken instead.
TEST(StorageVolumeCheck, AnIndexRecordSizeOfNoSizeKeepsTheVolume)
{
    for (uint32_t perIndex : { 0u, 0x20000001u }) {
        CraftedDisk disk = NtfsVolume({ 8, 0xF6, perIndex });
        WriteNtfsBoot(disk.At(20999), { 8, 0xF6, 0xF4 });
        VolumeGeometryRecord g;
        ASSERT_EQ(Check(disk, L"NTFS", 1000, 21000, g), VolumeCheck::Valid) << perIndex;
        EXPECT_EQ(g.sectorsPerIndexRecord, 0u);
        EXPECT_EQ(g.sectorsPerFileRecord, 2u);
        EXPECT_EQ(g.sectorsPerCluster, 8u);
        EXPECT_EQ(g.cluster0Start, 1000u);
        EXPECT_EQ(g.mftSector, 1800u);
        EXPECT_EQ(g.mftMirrSector, 1016u);
    }
}

// A volume ends at the sector after it, whatever table it came from: the backup boot sector is
// its last sector, and the next volume's boot sector, FAT or NTFS, never stands in for it.
TEST(StorageVolumeCheck, NtfsBackupIsTheVolumesLastSectorOnly)
{
    CraftedDisk disk = NtfsVolume();
    disk.At(1000)[510] = 0;
    WriteFatBoot(disk.At(21000), FatLayout{}, true);
    VolumeGeometryRecord g;
    EXPECT_EQ(Check(disk, L"NTFS", 1000, 21000, g), VolumeCheck::Valid);
    std::memset(disk.At(20999).data(), 0, kSectorSize);
    EXPECT_EQ(Check(disk, L"NTFS", 1000, 21000, g), VolumeCheck::NoBootSector);
    std::memset(disk.At(21000).data(), 0, kSectorSize);
    WriteNtfsBoot(disk.At(21000), NtfsLayout{});
    EXPECT_EQ(Check(disk, L"NTFS", 1000, 21000, g), VolumeCheck::NoBootSector);

    CraftedDisk bad = NtfsVolume(); // a primary with bad fields falls to the backup
    bad.At(1000)[0x0D] = 3;
    EXPECT_EQ(Check(bad, L"NTFS", 1000, 21000, g), VolumeCheck::Valid);
}

TEST(StorageVolumeCheck, NtfsMftAndMirror)
{
    CraftedDisk disk = NtfsVolume();
    disk.Fail(1800);
    VolumeGeometryRecord g;
    ASSERT_EQ(Check(disk, L"NTFS", 1000, 21000, g), VolumeCheck::Valid);
    EXPECT_EQ(g.mftSector, 0u);
    EXPECT_EQ(g.mftMirrSector, 1016u);
    disk.Fail(1016);
    EXPECT_EQ(Check(disk, L"NTFS", 1000, 21000, g), VolumeCheck::Invalid);

    // A cluster number whose sector does not fit in 64 bits is no record.
    CraftedDisk moved = NtfsVolume();
    PutLe64(moved.At(1000).data() + 0x30, UINT64_MAX / 4);
    PutLe64(moved.At(20999).data() + 0x30, UINT64_MAX / 2);
    ASSERT_EQ(Check(moved, L"NTFS", 1000, 21000, g), VolumeCheck::Valid);
    EXPECT_EQ(g.mftSector, 0u);
}

// An unreadable whole disk starts the partition search only when nothing else is going on.
TEST(StorageVolumeCheck, AutoPartitionSearchOnlyWhenAllowed)
{
    CraftedDisk blank(40000);
    SelectedVolumeRecord SelectedVolumeInfo;
    SelectedVolumeInfo.fsName = L"NTFS";
    SelectedVolumeInfo.startSector = 0;
    SelectedVolumeInfo.endSector = 40000;
    VolumeGeometryRecord geometry;
    const struct {
        AutoSearchState state;
        bool startWorks;
        int started;
        uint32_t flag;
    } cases[] = {
        { { true, false, false, false, false }, true, 1, 1 },
        { { true, false, false, false, false }, false, 1, 0 }, // could not start: flag clear
        { { false, false, false, false, false }, true, 0, 0 }, // a partition, not a disk
        { { true, false, false, true, false }, true, 0, 0 },   // search running
        { { true, false, false, false, true }, true, 0, 0 },   // on the search's own thread
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        RecordingHost host;
        host.state = c.state;
        host.startWorks = c.startWorks;
        AutoPartitionSearch = 0;
        EXPECT_EQ(ValidateVolumeFrom(blank, blank, SelectedVolumeInfo, geometry, &host), 0);
        EXPECT_EQ(host.started, c.started);
        EXPECT_EQ(AutoPartitionSearch, c.flag);
    }
    AutoPartitionSearch = 0;
    EXPECT_EQ(ValidateVolumeFrom(blank, blank, SelectedVolumeInfo, geometry, nullptr), 0);
}

// A disk read as one partition: its first sector (or the sector the selection starts at) tells
// the file system and the volume's extent, whatever the disk's size would make one guess.
TEST(StorageVolumeCheck, WholeDiskVolumeIsWhatItsBootSectorSays)
{
    const uint64_t disk = uint64_t(100) << 21; // 100 GiB: the size alone would say NTFS
    CraftedDisk superfloppy(disk);
    WriteFatBoot(superfloppy.At(0), FatLayout(), true);
    PutLe32(superfloppy.At(0).data() + 0x20, 655326);
    ScanTarget target;
    target.wholeDisk = true;
    target.kind = FsKind::Ntfs;
    target.firstSector = 63;
    target.endSector = disk;
    ScanTarget asked = target;
    ASSERT_TRUE(FindWholeDiskVolume(superfloppy, target));
    EXPECT_EQ(target.kind, FsKind::Fat32);
    EXPECT_EQ(target.firstSector, 0u);
    EXPECT_EQ(target.endSector, 655326u);

    // An MBR at sector 0 names no file system: the volume at the selection's start does. NTFS
    // counts its backup boot sector past its sectors; a count beyond the disk stops at its end.
    CraftedDisk wiped(disk);
    wiped.At(0)[510] = 0x55, wiped.At(0)[511] = 0xAA;
    Sector& ntfs = wiped.At(63);
    ntfs[510] = 0x55, ntfs[511] = 0xAA;
    std::memcpy(ntfs.data() + 3, "NTFS", 4);
    PutLe64(ntfs.data() + 0x28, 1000);
    target = asked;
    ASSERT_TRUE(FindWholeDiskVolume(wiped, target));
    EXPECT_EQ(target.kind, FsKind::Ntfs);
    EXPECT_EQ(target.firstSector, 63u);
    EXPECT_EQ(target.endSector, 63u + 1001u);
    PutLe64(ntfs.data() + 0x28, UINT64_MAX);
    target = asked;
    ASSERT_TRUE(FindWholeDiskVolume(wiped, target));
    EXPECT_EQ(target.endSector, disk);

    // Nothing there, or a partition rather than a disk: the target stays as it was.
    CraftedDisk blank(disk);
    target = asked;
    EXPECT_FALSE(FindWholeDiskVolume(blank, target));
    EXPECT_TRUE(target.kind == asked.kind && target.firstSector == 63u && target.endSector == disk);
    target.wholeDisk = false;
    EXPECT_FALSE(FindWholeDiskVolume(superfloppy, target));
    EXPECT_EQ(target.firstSector, 63u);
}

} // namespace
