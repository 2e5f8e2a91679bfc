// The Deep carving scan: what counts as a FAT boot sector, a directory cluster and an NTFS file
// record, and how the scan reads (only what a read delivered, only the range, up to a stop).
#include <gtest/gtest.h>

#include "fsrecovery/pure/deep_assembly.h"
#include "fsrecovery/pure/deep_results.h"
#include "fsrecovery/pure/deep_scan.h"
#include "tests/pure/deep_test_media.h"
#include "tests/pure/ntfs_test_records.h"
#include "tests/pure/storage_test_util.h"

namespace {

using deep_test::FatBootFieldsIn;
using storage_test::CraftedDisk;
using Bytes = std::vector<uint8_t>;

DeepScanFinds Scan(SectorSource& src, uint64_t first, uint64_t end, DeepScanTargets targets = { true, true },
                   DeepScanOutcome* outcome = nullptr)
{
    DeepScanFinds finds;
    const DeepScanOutcome o = RunDeepScan(src, first, end, targets, finds);
    if (outcome)
        *outcome = o;
    return finds;
}

// A carvable 1024-byte record: a folder or file with one $FILE_NAME.
Bytes Record(const std::u16string& name, uint64_t parent, uint8_t flags, uint32_t number)
{
    ntfs_test::RecordBuilder b(flags);
    ntfs_test::Put32(&b.rec[0x1C], 1024);
    ntfs_test::Put32(&b.rec[0x2C], number);
    b.Resident(kAttrFileName, ntfs_test::FileNameValue(parent, 77, kNameSpaceWin32, name));
    return b.Finish();
}

std::vector<uint64_t> DirSectors(const DeepScanFinds& finds)
{
    std::vector<uint64_t> sectors;
    for (const FatDirCluster& d : finds.fatDirs)
        sectors.push_back(d.sector);
    return sectors;
}

} // namespace

TEST(DeepClassifiers, FatBootSectorsDescribeTheirVolumeFromWhereTheyLie)
{
    uint8_t s[kSectorSize] = {};
    FatBootFieldsIn f32;
    f32.fat32 = true, f32.spc = 8, f32.reserved = 32, f32.spf = 70000, f32.total32 = 1000000, f32.rootCluster = 300;
    deep_test::PutFatBoot(s, f32);
    FatBootHit hit;
    ASSERT_TRUE(ReadFatBootHit(s, 5000, hit));
    EXPECT_TRUE(hit.fat32);
    EXPECT_EQ(hit.sectorsPerFat, 70000u); // beyond 16 bits
    EXPECT_EQ(hit.rootStart, 300u);
    EXPECT_EQ(hit.secondFat, 5000u + 32 + 70000);
    EXPECT_EQ(hit.cluster0Start, 5000u + 32 + 140000 - 16);
    EXPECT_EQ(hit.totalSectors, 1005000u);

    // A small FAT16 volume counts its sectors in the 16-bit field.
    std::memset(s, 0, sizeof s);
    FatBootFieldsIn f16;
    f16.total16 = 32768;
    deep_test::PutFatBoot(s, f16);
    ASSERT_TRUE(ReadFatBootHit(s, 2048, hit));
    EXPECT_FALSE(hit.fat32);
    EXPECT_EQ(hit.rootSectors, 32u);
    EXPECT_EQ(hit.rootStart, 2048u + 1 + 64);
    EXPECT_EQ(hit.cluster0Start, 2048u + 1 + 64 + 32 - 8);
    EXPECT_EQ(hit.totalSectors, 2048u + 32768);

    // The signature with another file system's text, or none, is no FAT boot sector.
    uint8_t ntfs[kSectorSize] = {};
    storage_test::PutText(ntfs + 3, "NTFS    ");
    ntfs[0x0D] = 4;
    ntfs[510] = 0x55, ntfs[511] = 0xAA;
    EXPECT_FALSE(ReadFatBootHit(ntfs, 0, hit));
    NtfsBootHit nb;
    ASSERT_TRUE(ReadNtfsBootHit(ntfs, 9, nb));
    EXPECT_EQ(nb.sectorsPerCluster, 4u);
    ntfs[0x0D] = 0;
    EXPECT_FALSE(ReadNtfsBootHit(ntfs, 9, nb));
    s[511] = 0;
    EXPECT_FALSE(ReadFatBootHit(s, 0, hit));
}

TEST(DeepClassifiers, DirectoryClustersByTheirDotEntries)
{
    uint8_t s[kSectorSize] = {};
    deep_test::PutDirectory(s, 0x12345, 0x10002);
    FatDirCluster row;
    ASSERT_TRUE(ReadFatDirCluster(s, 77, row));
    EXPECT_EQ(row.self, 0x12345u); // both halves of the cluster number
    EXPECT_EQ(row.parent, 0x10002u);
    EXPECT_EQ(row.volume, kDirNotAssigned);
    s[0x22] = 'X'; // ".." must be followed by a blank
    EXPECT_FALSE(ReadFatDirCluster(s, 77, row));

    // A sector that passes both tests is found as both.
    CraftedDisk disk(4);
    FatBootFieldsIn f32;
    f32.fat32 = true;
    deep_test::PutFatBoot(disk.At(1).data(), f32);
    deep_test::PutDirectory(disk.At(1).data(), 5, 0);
    disk.At(1)[510] = 0x55, disk.At(1)[511] = 0xAA;
    const DeepScanFinds finds = Scan(disk, 0, 4);
    EXPECT_EQ(finds.fatBoots.size(), 1u);
    EXPECT_EQ(finds.fatDirs.size(), 1u);
    const DeepScanFinds boots = Scan(disk, 0, 4, { true, true, true });
    EXPECT_EQ(boots.fatBoots.size(), 1u);
    EXPECT_TRUE(boots.fatDirs.empty());
}

// A device read that stops short leaves the rest of the caller's buffer as it was.
class StaleTailDevice : public SectorSource {
public:
    explicit StaleTailDevice(Bytes bytes) : m_bytes(std::move(bytes)) { }
    size_t Read(uint64_t sector, uint32_t count, uint8_t* buf) override
    {
        const uint64_t at = sector * kSectorSize;
        if (at >= m_bytes.size())
            return 0;
        const size_t n = std::min<size_t>(size_t(count) * kSectorSize, m_bytes.size() - at);
        std::memcpy(buf, m_bytes.data() + at, n);
        return n;
    }

private:
    Bytes m_bytes;
};

TEST(DeepScan, OnlySectorsAReadDeliveredAreExamined)
{
    // The medium ends 76 sectors into the second block: the first block's directory at 1000
    // stays in the buffer's tail and must not be found again at 2024.
    Bytes medium(1100 * kSectorSize);
    deep_test::PutDirectory(&medium[1000 * kSectorSize], 9, 0);
    StaleTailDevice device(medium);
    DeepScanOutcome outcome;
    EXPECT_EQ(DirSectors(Scan(device, 0, 4096, { true, false }, &outcome)), std::vector<uint64_t>{ 1000 });
    EXPECT_EQ(outcome.examined, 1100u);

    // A bad sector costs only the small piece it lies in, not its whole block.
    CraftedDisk disk(3000);
    for (uint64_t s : { 1029, 1100, 2000 })
        deep_test::PutDirectory(disk.At(s).data(), uint32_t(s), 0);
    disk.Fail(1030);
    EXPECT_EQ(DirSectors(Scan(disk, 0, 3000, { true, false }, &outcome)), (std::vector<uint64_t>{ 1029, 1100, 2000 }));
    EXPECT_EQ(outcome.unreadable, 64u);
}

TEST(DeepScan, RangeRecordsAcrossBlocksAndStop)
{
    CraftedDisk disk(5000);
    for (uint64_t s : { 9, 10, 1500 })
        deep_test::PutDirectory(disk.At(s).data(), uint32_t(s), 0);
    // A record whose second sector opens the next block, one cut by the range's end, and one
    // that is not 1024 bytes long.
    const Bytes folder = Record(u"Spanning", 5, 3, 40);
    std::memcpy(disk.At(1023).data(), folder.data(), 512);
    std::memcpy(disk.At(1024).data(), folder.data() + 512, 512);
    std::memcpy(disk.At(1499).data(), folder.data(), 512);
    std::memcpy(disk.At(1500).data(), folder.data() + 512, 512);
    Bytes big = Record(u"Big", 5, 1, 41);
    ntfs_test::Put32(&big[0x1C], 4096);
    std::memcpy(disk.At(1200).data(), big.data(), 512);

    DeepScanFinds finds = Scan(disk, 10, 1500);
    EXPECT_EQ(DirSectors(finds), (std::vector<uint64_t>{ 10 }));
    ASSERT_EQ(finds.records.size(), 2u);
    EXPECT_EQ(finds.records[0].sector, 1023u);
    EXPECT_TRUE(finds.records[0].name == L"Spanning");
    EXPECT_TRUE(finds.records[0].numbered);
    EXPECT_EQ(finds.records[0].recordNumber, 40u);
    EXPECT_EQ(finds.records[1].sector, 1499u); // read whole though its end lies past the range
    EXPECT_TRUE(finds.records[1].name == L"Spanning");

    EXPECT_TRUE(Scan(disk, 1500, 1500).fatDirs.empty());
    const int reads = disk.reads;
    EXPECT_TRUE(Scan(disk, 1600, 1500).fatDirs.empty());
    EXPECT_EQ(disk.reads, reads);

    // A stop after the first block keeps what that block held and reads no further.
    StopFlag stop{ 0 };
    DeepScanFinds partial;
    const DeepScanOutcome outcome =
        RunDeepScan(disk, 0, 5000, { true, true }, partial, &stop, [&](uint64_t done, uint64_t) { stop = done > 0; });
    EXPECT_TRUE(outcome.stopped);
    EXPECT_EQ(outcome.examined, kDeepScanBlockSectors);
    EXPECT_EQ(DirSectors(partial), (std::vector<uint64_t>{ 9, 10 }));
    EXPECT_EQ(partial.records.size(), 1u);
}

TEST(DeepScan, TheLastBlockIsReadWholeAsFarAsTheDeviceGoes)
{
    // A range of ten sectors is one block of 1024: the folder and the record 500 sectors on are
    // found, and only the ten sectors count as scanned.
    CraftedDisk disk(3000);
    deep_test::PutDirectory(disk.At(2510).data(), 7, 0);
    const Bytes folder = Record(u"Photos", 5, 3, 41);
    std::memcpy(disk.At(2600).data(), folder.data(), 512);
    std::memcpy(disk.At(2601).data(), folder.data() + 512, 512);
    DeepScanOutcome outcome;
    const DeepScanFinds finds = Scan(disk, 2000, 2010, { true, true }, &outcome);
    EXPECT_EQ(DirSectors(finds), std::vector<uint64_t>{ 2510 });
    ASSERT_EQ(finds.records.size(), 1u);
    EXPECT_EQ(finds.records[0].sector, 2600u);
    EXPECT_EQ(outcome.examined, 10u);
    EXPECT_EQ(outcome.unreadable, 0u);

    // The device ends inside that block: nothing past it is examined, and the sectors the read
    // could not deliver there are no unreadable sectors of the range.
    Bytes medium(2700 * kSectorSize);
    deep_test::PutDirectory(&medium[2650 * kSectorSize], 9, 0);
    deep_test::PutDirectory(&medium[2000 * kSectorSize], 8, 0);
    StaleTailDevice device(medium);
    const DeepScanFinds tail = Scan(device, 2000, 2100, { true, false }, &outcome);
    EXPECT_EQ(DirSectors(tail), (std::vector<uint64_t>{ 2000, 2650 }));
    EXPECT_EQ(outcome.examined, 100u);
    EXPECT_EQ(outcome.unreadable, 0u);
    // A range whose whole last block lies past the device's end finds nothing there.
    EXPECT_TRUE(Scan(device, 2700, 2710, { true, false }, &outcome).fatDirs.empty());
    EXPECT_EQ(outcome.unreadable, 10u);
}

TEST(DeepScan, RecordsOnEitherSideOfEveryReadAreFoundOnce)
{
    // Several blocks are read at once: records at the ends of blocks and of reads, and a
    // directory in each block's first and last sector, are each found once.
    const uint64_t blocks = 20;
    CraftedDisk disk(blocks * kDeepScanBlockSectors);
    const Bytes folder = Record(u"Edge", 5, 3, 40);
    std::vector<uint64_t> records, dirs;
    for (uint64_t b = 1; b < blocks; ++b) {
        const uint64_t at = b * kDeepScanBlockSectors - 1;
        std::memcpy(disk.At(at).data(), folder.data(), 512);
        std::memcpy(disk.At(at + 1).data(), folder.data() + 512, 512);
        records.push_back(at);
        deep_test::PutDirectory(disk.At(at - 1).data(), uint32_t(b), 0);
        deep_test::PutDirectory(disk.At(at + 2).data(), uint32_t(b), 0);
        dirs.push_back(at - 1);
        dirs.push_back(at + 2);
    }
    DeepScanOutcome outcome;
    const DeepScanFinds finds = Scan(disk, 0, blocks * kDeepScanBlockSectors, { true, true }, &outcome);
    EXPECT_EQ(DirSectors(finds), dirs);
    std::vector<uint64_t> found;
    for (const CarvedMftRecord& r : finds.records) {
        found.push_back(r.sector);
        EXPECT_TRUE(r.name == L"Edge");
    }
    EXPECT_EQ(found, records);
    EXPECT_EQ(outcome.examined, blocks * kDeepScanBlockSectors);
    EXPECT_EQ(outcome.unreadable, 0u);
}

TEST(DeepScan, StopsAtAnyBlockKeepTheFindsBeforeIt)
{
    // A directory every 300 sectors over 24 blocks; 20 scans stopped after blocks picked at
    // random each keep exactly the finds of the blocks read, which assemble as far as they go.
    CraftedDisk disk(24 * kDeepScanBlockSectors);
    for (uint32_t n = 0; n < 80; ++n)
        deep_test::PutDirectory(disk.At(100 + 300 * n).data(), 2 + 75 * n, 0);
    const std::vector<uint64_t> all = DirSectors(Scan(disk, 0, 24 * kDeepScanBlockSectors, { true, false }));
    ASSERT_EQ(all.size(), 80u);
    uint32_t seed = 12345;
    for (int run = 0; run < 20; ++run) {
        seed = seed * 1103515245 + 12345;
        const uint64_t blocks = 1 + (seed >> 16) % 23;
        StopFlag stop{ 0 };
        DeepScanFinds partial;
        const DeepScanOutcome outcome =
            RunDeepScan(disk, 0, 24 * kDeepScanBlockSectors, { true, false }, partial, &stop,
                        [&](uint64_t done, uint64_t) { stop = done >= blocks * kDeepScanBlockSectors; });
        EXPECT_TRUE(outcome.stopped);
        const std::vector<uint64_t> kept = DirSectors(partial);
        ASSERT_EQ(kept.size(), size_t(std::count_if(all.begin(), all.end(), [&](uint64_t s) {
                      return s < blocks * kDeepScanBlockSectors;
                  })));
        EXPECT_TRUE(std::equal(kept.begin(), kept.end(), all.begin()));
        const auto volumes = AssembleFatVolumes({}, partial.fatDirs, true, false);
        EXPECT_EQ(volumes.size(), kept.size() >= 2 ? 1u : 0u);
    }
}

TEST(CarvedRecords, FixupCoversBothSectorsOfTheRecord)
{
    // A name that runs across the first sector's last two bytes and mapping pairs whose cluster
    // number takes in the second sector's: both are only right once every sector is fixed up.
    ntfs_test::RecordBuilder b(1);
    ntfs_test::Put32(&b.rec[0x1C], 1024);
    const std::u16string name(200, u'n');
    b.Resident(kAttrFileName, ntfs_test::FileNameValue(5, 99, kNameSpaceWin32, name));
    b.Resident(kAttrStandardInfo, std::vector<uint8_t>(952 - b.pos - 24, 0));
    ASSERT_EQ(b.pos, 952u);
    uint8_t* data = b.Header(kAttrData, 72, true, u"");
    ntfs_test::Put16(data + 32, 64);
    ntfs_test::Put64(data + 48, 123456);
    const uint8_t pairs[] = { 0x42, 0x10, 0x00, 0x44, 0x33, 0x22, 0x11, 0x00 }; // 16 clusters at 0x11223344
    std::memcpy(data + 64, pairs, sizeof pairs);
    Bytes raw = b.Finish();
    ASSERT_NE(raw[1022], 0x11); // the tails hold the sequence number on the medium
    ASSERT_NE(raw[510], b.rec[510]);

    CarvedMftRecord r;
    ASSERT_TRUE(DecodeCarvedMftRecord(raw.data(), 7, r));
    EXPECT_EQ(r.name.GetLength(), 200);
    EXPECT_EQ(r.name.Str().find_first_not_of(L'n'), std::wstring::npos);
    EXPECT_EQ(r.parent, 5u);
    ASSERT_EQ(r.data, CarvedMftRecord::Data::NonResident);
    EXPECT_EQ(r.dataSize, 123456u);
    ASSERT_EQ(r.runs.size(), 1u);
    EXPECT_EQ(r.runs[0].firstCluster, 0x11223344u);
    EXPECT_EQ(r.runs[0].clusterCount, 16u);

    uint64_t size = 0;
    ASSERT_TRUE(FindMftDataAttribute(raw.data(), &size));
    EXPECT_EQ(size, 123456u);
    EXPECT_EQ(raw[1022], 0x11);

    // A record with an attribute that claims to run past its end yields no data, and nothing
    // outside the record is read.
    Bytes broken = Record(u"x", 5, 1, 9);
    ntfs_test::Put32(&broken[56 + 4], 0x10000);
    ASSERT_TRUE(DecodeCarvedMftRecord(broken.data(), 7, r));
    EXPECT_EQ(r.data, CarvedMftRecord::Data::None);
    EXPECT_FALSE(FindMftDataAttribute(broken.data(), &size));
}

TEST(CarvedRecords, FolderRowsOncePerFolderAndNumbersOnlyWhereTheHeaderHasThem)
{
    FoundStore store;
    DeepNtfsStoreSink rows(store);
    CarvedMftRecord r;
    const Bytes docs = Record(u"Docs", 5, 3, 40), gone = Record(u"Gone", 40, 2, 41), file = Record(u"a.txt", 40, 1, 42),
                root = Record(u".", 5, 3, 5);
    for (const Bytes* rec : { &docs, &gone, &docs, &file, &root }) {
        ASSERT_TRUE(DecodeCarvedMftRecord(rec->data(), 100, r));
        rows.MftRecord(r);
    }
    FinishDeepNtfsStore(store, InferNtfsVolumeGeometry({}, {}, {}, 0), L"d", 0, 1000, 0);
    // The folders, then the catch-all folder.
    ASSERT_EQ(store.EntryCount(), 3u); // Docs once, the root not at all
    EXPECT_EQ(store.Entry(1).self, 41u);
    EXPECT_EQ(store.Entry(1).parent, 40u);
    EXPECT_TRUE(store.Entry(1).deleted);
    EXPECT_FALSE(store.Entry(0).deleted);
    ASSERT_EQ(store.NtfsFileCount(), 1u);
    EXPECT_TRUE(store.NtfsFileName(0) == L"a.txt");

    // Before NTFS 3.1 the update sequence array sits at 0x2A and there is no record number.
    Bytes old = Record(u"Old", 5, 3, 0);
    ntfs_test::Put16(&old[4], 0x2A);
    ASSERT_TRUE(DecodeCarvedMftRecord(old.data(), 100, r));
    EXPECT_FALSE(r.numbered);
    rows.MftRecord(r);
    EXPECT_EQ(store.EntryCount(), 3u);
}

TEST(CarvedRecords, SectorsPerClusterFromTheVolumesOwnBootSector)
{
    const std::vector<NtfsBootHit> boots = { { 100, 2, 5000 }, { 20000, 4, 49151 }, { 69151, 4, 49151 } };
    EXPECT_EQ(ChooseNtfsSectorsPerCluster(boots, 100), 2u);
    EXPECT_EQ(ChooseNtfsSectorsPerCluster(boots, 20000), 4u);
    EXPECT_EQ(ChooseNtfsSectorsPerCluster({ boots[2] }, 20000), 4u); // its backup only
    EXPECT_EQ(ChooseNtfsSectorsPerCluster({ boots[0] }, 777), 2u);   // no boot sector of its own
    EXPECT_EQ(ChooseNtfsSectorsPerCluster({}, 777), 8u);
}
