// Deep Search finds as store volumes and rows: each FAT volume with its own geometry, what a
// volume does not know filled as its directory walk assumes it, sectors beyond 32 bits left
// unknown rather than cut.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <map>

#include "fsrecovery/pure/deep_results.h"
#include "fsrecovery/pure/file_copy.h"
#include "fsrecovery/pure/result_tree.h"
#include "fsrecovery/pure/scan_log_results.h"
#include "storage/pure/partition_table.h"

namespace {

DeepFatVolume Inferred(uint64_t cluster0, uint32_t spc, bool fat32)
{
    DeepFatVolume v;
    v.inferred = true;
    v.cluster0Start = cluster0;
    v.sectorsPerCluster = spc;
    v.fat32 = fat32;
    return v;
}

TEST(DeepResults, UnknownGeometryIsFilledAsTheDirectoryWalkAssumesIt)
{
    const FatVolumeParamsRecord fat32 = DeepFatVolumeParams(Inferred(5000, 8, true));
    EXPECT_EQ(2u, fat32.rootStart);
    EXPECT_EQ(0u, fat32.firstFatSector);
    EXPECT_EQ(L"FAT32", fat32.partitionType);
    // FAT16: 32 root sectors ending where cluster 2 begins.
    const FatVolumeParamsRecord fat16 = DeepFatVolumeParams(Inferred(5000, 4, false));
    EXPECT_EQ(32u, fat16.rootDirSectors);
    EXPECT_EQ(5000u + 8 - 32, fat16.rootStart);
    // Beyond 32 bits: no FAT and no root rather than other sectors.
    DeepFatVolume high = Inferred(uint64_t(1) << 33, 4, false);
    high.firstFat = (uint64_t(1) << 33) - 600;
    high.secondFat = (uint64_t(1) << 33) - 300;
    const FatVolumeParamsRecord far = DeepFatVolumeParams(high);
    EXPECT_EQ(0u, far.firstFatSector);
    EXPECT_EQ(0u, far.secondFatSector);
    EXPECT_EQ(0u, far.rootDirSectors);
    EXPECT_EQ(uint64_t(1) << 33, far.cluster0Start);
}

TEST(DeepResults, EachFatVolumeKeepsItsFoldersApart)
{
    DeepFatVolume a = Inferred(1000, 2, false), b = Inferred(40000, 4, false);
    b.inferred = false;
    b.sector = 39000;
    b.totalSectors = 60000;
    // One folder of cluster 3 on each volume, the second found first; and one of no volume.
    std::vector<FatDirCluster> dirs(3);
    dirs[0].sector = 40000 + 3 * 4, dirs[0].self = 3, dirs[0].volume = 2;
    dirs[1].sector = 1000 + 3 * 2, dirs[1].self = 3, dirs[1].volume = 1;
    dirs[2].sector = 77, dirs[2].self = 9, dirs[2].volume = kDirWithoutVolume;
    FoundStore store;
    StoreDeepFatVolumes(store, L"\\\\.\\PhysicalDrive4", 0, 100000, { a, b }, dirs, 0x1234);
    ASSERT_EQ(2u, store.VolumeCount());
    EXPECT_EQ(0u, store.Volume(0).firstSector);
    EXPECT_EQ(39000u, store.Volume(1).firstSector);
    EXPECT_EQ(60000u, store.Volume(1).endSector);
    EXPECT_EQ(2u, store.fatVolumes.size());
    // The catch-all folder once, then one row per folder, each on its volume.
    ASSERT_EQ(3u, store.EntryCount());
    EXPECT_EQ(kMissingParentId, store.Entry(0).self);
    EXPECT_EQ(0x1234u, store.Entry(0).time);
    EXPECT_EQ(0u, store.Entry(1).volume);
    EXPECT_EQ(1u, store.Entry(2).volume);
    // Named volume by volume.
    EXPECT_EQ(CString(L"DIR0"), store.EntryName(1));
    EXPECT_EQ(CString(L"DIR1"), store.EntryName(2));
    EXPECT_EQ(1006u, store.Entry(1).sector);
    EXPECT_EQ(0u, store.VolumeOfCluster0(1000));
    EXPECT_EQ(1u, store.VolumeOfCluster0(40000));
    EXPECT_TRUE(store.HasEntryId(0, 3));
    EXPECT_TRUE(store.HasEntryId(1, 3));

    FoundStore none;
    StoreDeepFatVolumes(none, L"x", 0, 10, {}, {}, 0);
    EXPECT_EQ(0u, none.VolumeCount());
    EXPECT_EQ(0u, none.EntryCount());
}

// A FAT volume found where a partition of the medium's table begins is read no further than that
// partition, whatever its boot sector claims; one that claims less ends before its partition does,
// and one no partition begins at keeps the end it states. The partition's end goes with the volume
// into the scan log, which gives it back on loading.
TEST(DeepResults, AFatVolumeEndsNoLaterThanThePartitionItBeginsAt)
{
    // FAT16 with 4 reserved sectors, FATs of 32 sectors (8192 clusters named), 32 root sectors and
    // 4 sectors per cluster: cluster 2 lies 100 sectors after the boot sector.
    auto volumeAt = [](uint64_t boot, uint64_t claimed) {
        DeepFatVolume v;
        v.sector = boot;
        v.reservedSectors = 4;
        v.firstFat = boot + 4;
        v.secondFat = boot + 36;
        v.sectorsPerFat = 32;
        v.rootSectors = 32;
        v.rootStart = boot + 68;
        v.sectorsPerCluster = 4;
        v.cluster0Start = boot + 92;
        v.totalSectors = boot + claimed;
        return v;
    };
    auto bootSector = [](uint16_t claimed) {
        std::array<uint8_t, 512> b{};
        b[0x0B] = 0x00, b[0x0C] = 0x02, b[0x0D] = 4, b[0x0E] = 4, b[0x13] = uint8_t(claimed);
        b[0x14] = uint8_t(claimed >> 8), b[510] = 0x55, b[511] = 0xAA;
        return b;
    };
    // A partition of 32768 sectors at 374784 whose boot sector claims 34816, and one at 337920
    // whose boot sector claims 30000 of its 32768.
    const std::vector<PartitionExtent> table = { { 2048, 206848 },
                                                 { 374784, 374784 + 32768 },
                                                 { 337920, 337920 + 32768 } };
    FoundStore store;
    StoreDeepFatVolumes(store, L"\\\\.\\PhysicalDrive9", 0, 409600,
                        { volumeAt(374784, 34816), volumeAt(337920, 30000), volumeAt(2111, 34816) }, {}, 0, table);
    ASSERT_EQ(3u, store.VolumeCount());
    // Without the partition the FAT's reach would let files run 92 sectors past it.
    EXPECT_EQ(374784u + 32768, FileDataBounds(store.Volume(0), bootSector(34816).data()).endSector);
    EXPECT_EQ(337920u + 30000, FileDataBounds(store.Volume(1), bootSector(30000).data()).endSector);
    EXPECT_EQ(2111u + 34816, store.Volume(2).endSector);

    ASSERT_EQ(3u, store.fatVolumes.size());
    EXPECT_EQ(0u, store.fatVolumes[2].endSector);
    for (size_t k = 0; k < 3; ++k) {
        const FoundVolume loaded = FoundVolumeOfFatRow(store.fatVolumes[k], L"\\\\.\\PhysicalDrive9");
        EXPECT_EQ(store.Volume(uint32_t(k)).firstSector, loaded.firstSector) << k;
        EXPECT_EQ(store.Volume(uint32_t(k)).endSector, loaded.endSector) << k;
    }
}

// A volume that begins inside a partition of the disk's table ends no later than that partition,
// however it was found: a FAT boot sector at the partition's start or further in that claims one
// sector more, a cluster more or past a cluster, or no size at all, a FAT volume inferred from its
// folders, an NTFS volume whose boot sector claims more or is gone, and the records of no volume;
// in a primary, a logical and a GPT partition (whose table gives its last sector), scanned to the
// disk's end; a FAT volume again when its log is loaded.
TEST(DeepResults, EveryVolumeEndsNoLaterThanThePartitionItBeginsIn)
{
    DiskPartitionRecord disk;
    disk.partitionCount = 3;
    disk.slot[0] = { nullptr, 2048, 2048 + 40000, false };   // MBR primary
    disk.slot[1] = { nullptr, 45063, 45063 + 40001, false }; // logical, its EBR before it
    disk.slot[2] = { nullptr, 100000, 139999, true };        // GPT: its last sector
    const std::vector<PartitionExtent> table = PartitionExtentsOf(disk);
    const uint64_t diskEnd = 200000;
    for (const PartitionExtent& p : table) {
        const uint64_t size = p.endSector - p.firstSector;
        // FAT: where its boot sector lies, cluster size, what it claims (0: no size), inferred.
        const struct {
            uint64_t at;
            uint32_t spc;
            uint64_t claimed;
            bool inferred;
        } fats[] = { { 0, 4, size + 1, false },
                     { 0, 4, size + 4, false },
                     { 0, 4, size + 5, false },
                     { 63, 1, size - 62, false },
                     { 63, 1, size + 100, false },
                     { 0, 2, 0, false },
                     { 0, 1, 0, true } };
        for (const auto& f : fats) {
            SCOPED_TRACE(testing::Message() << p.firstSector << " FAT at +" << f.at << " claims " << f.claimed
                                            << (f.inferred ? " inferred" : ""));
            DeepFatVolume v = Inferred(p.firstSector + 500, f.spc, true);
            if (!f.inferred) {
                v.inferred = false;
                v.sector = p.firstSector + f.at;
                v.reservedSectors = 32;
                v.sectorsPerFat = 300;
                v.firstFat = v.sector + 32;
                v.secondFat = v.sector + 332;
                v.cluster0Start = v.sector + 632 - 2 * f.spc;
                v.totalSectors = v.sector + f.claimed;
            }
            FoundStore store;
            StoreDeepFatVolumes(store, L"d", p.firstSector, diskEnd, { v }, {}, 0, table);
            std::array<uint8_t, 512> boot{};
            boot[0x0C] = 0x02, boot[0x0D] = uint8_t(f.spc), boot[0x0E] = f.inferred ? 0 : 32;
            for (int i = 0; i < 4; ++i)
                boot[0x20 + i] = uint8_t(f.claimed >> (8 * i));
            boot[510] = 0x55, boot[511] = 0xAA;
            EXPECT_LE(FileDataBounds(store.Volume(0), boot.data()).endSector, p.endSector);
            const FoundVolume loaded = FoundVolumeOfFatRow(store.fatVolumes[0], L"d", p.firstSector, diskEnd, table);
            EXPECT_EQ(store.Volume(0).endSector, loaded.endSector);
        }
        // NTFS: a volume at the partition's start whose boot sector claims more, or is gone; the
        // volume of the records of none from inside the partition.
        for (const uint64_t claimed : { size + 1, size + 8, size + 9, uint64_t(0) }) {
            SCOPED_TRACE(testing::Message() << p.firstSector << " NTFS claims " << claimed);
            NtfsGeometryMap map;
            map.volumes.resize(1);
            map.volumes[0].cluster0 = p.firstSector;
            map.volumes[0].totalSectors = claimed;
            FoundStore store;
            AddDeepNtfsVolumes(store, L"d", p.firstSector + 16, diskEnd, map, true, table);
            ASSERT_EQ(2u, store.VolumeCount());
            std::array<uint8_t, 512> boot{};
            std::memcpy(&boot[3], "NTFS    ", 8);
            boot[0x0C] = 0x02, boot[0x0D] = 8, boot[0x28] = uint8_t(claimed), boot[0x29] = uint8_t(claimed >> 8);
            boot[510] = 0x55, boot[511] = 0xAA;
            for (uint32_t k = 0; k < 2; ++k)
                EXPECT_LE(FileDataBounds(store.Volume(k), boot.data()).endSector, p.endSector) << k;
        }
    }
}

// A record as the scan decodes it.
CarvedMftRecord Carved(uint64_t sector, uint8_t flags, uint32_t number, uint32_t parent, const wchar_t* name,
                       uint64_t created = 0)
{
    CarvedMftRecord record;
    record.sector = sector;
    record.flags = flags;
    record.numbered = true;
    record.recordNumber = number;
    record.parent = parent;
    record.name = name;
    record.created = created;
    return record;
}

TEST(DeepResults, CarvedNtfsRowsGoToOneVolume)
{
    FoundStore store;
    DeepNtfsStoreSink rows(store);
    rows.MftRecord(Carved(1200, 3, 40, 5, L"Music"));
    rows.MftRecord(Carved(1234, 1, 41, 40, L"song.mp3", 77));
    rows.MftRecord(Carved(1236, 1, 42, 40, L""));
    NtfsGeometryMap map;
    map.fallback.sectorsPerCluster = 4;
    FinishDeepNtfsStore(store, map, L"\\\\.\\P:", 0, 5000, 0);
    ASSERT_EQ(1u, store.VolumeCount());
    EXPECT_EQ(4u, store.Volume(0).params.sectorsPerCluster);
    EXPECT_EQ(2u, store.EntryCount());
    ASSERT_EQ(2u, store.NtfsFileCount());
    EXPECT_EQ(L"song.mp3", store.NtfsFileName(0));
    EXPECT_EQ(77u, store.NtfsFile(0).fileTime);
    EXPECT_EQ(0u, store.NtfsFile(1).flags & NtfsFileRow::kNamed);
    EXPECT_EQ(2u, store.NtfsFilesOf(0, 40).second - store.NtfsFilesOf(0, 40).first);
}

// Volumes share their first record numbers and often their folder names: a folder found again
// in another volume is that volume's folder, and each volume is read with its own geometry and
// held to its own sectors.
TEST(DeepResults, CarvedNtfsRowsGoToTheVolumeTheirRecordsLieIn)
{
    auto fill = [](FoundStore& store) {
        DeepNtfsStoreSink rows(store);
        for (uint64_t sector : { 1100u, 1300u, 9100u }) // the second is the first volume's old copy
            rows.MftRecord(Carved(sector, 3, 64, 5, L"Docs"));
        rows.MftRecord(Carved(1102, 1, 65, 64, L"a.txt"));
        rows.MftRecord(Carved(9102, 1, 65, 64, L"b.txt"));
        rows.MftRecord(Carved(90, 1, 66, 64, L"c.txt")); // before every volume
    };
    FoundStore store;
    fill(store);
    // Until the volumes are known, every copy is kept.
    ASSERT_EQ(3u, store.EntryCount());

    NtfsGeometryMap map;
    map.volumes.resize(2);
    map.volumes[0].cluster0 = 1000;
    map.volumes[0].sectorsPerCluster = 1;
    map.volumes[0].totalSectors = 4000;
    map.volumes[1].cluster0 = 9000;
    map.volumes[1].sectorsPerCluster = 8;
    map.fallback.sectorsPerCluster = 4;
    FinishDeepNtfsStore(store, map, L"d", 0, 20000, 0);
    std::map<uint32_t, int> docs;
    for (size_t i = 0; i < store.EntryCount(); ++i)
        docs[store.Entry(i).volume] += store.EntryName(i) == L"Docs";
    EXPECT_EQ(1, docs[0]);
    EXPECT_EQ(1, docs[1]);
    EXPECT_EQ(0, docs[2]);
    EXPECT_EQ(1u, store.NtfsFilesOf(2, 64).second - store.NtfsFilesOf(2, 64).first);

    ASSERT_EQ(3u, store.VolumeCount());
    EXPECT_EQ(1000u, store.Volume(0).firstSector);
    EXPECT_EQ(5000u, store.Volume(0).endSector);
    EXPECT_EQ(9000u, store.Volume(1).params.cluster0Start);
    EXPECT_EQ(8u, store.Volume(1).params.sectorsPerCluster);
    EXPECT_EQ(20000u, store.Volume(1).endSector);
    EXPECT_EQ(4u, store.Volume(2).params.sectorsPerCluster);
    EXPECT_TRUE(store.HasEntryId(0, 64));
    EXPECT_TRUE(store.HasEntryId(1, 64));
    EXPECT_EQ(1u, store.NtfsFilesOf(1, 64).second - store.NtfsFilesOf(1, 64).first);

    // Records of no volume counted from where a volume begins join it.
    map.fallback.cluster0 = 1000;
    FoundStore joined;
    fill(joined);
    FinishDeepNtfsStore(joined, map, L"d", 0, 20000, 0);
    EXPECT_EQ(2u, joined.VolumeCount());
}

} // namespace

// ---- Volumes recognised inside a drive letter --------------------------------------------------

#include "fsrecovery/pure/deep_recognised.h"

namespace {

void PutNtfsBoot(uint8_t* s, uint32_t spc, uint32_t sectors)
{
    std::memcpy(s + 3, "NTFS    ", 8);
    s[13] = uint8_t(spc);
    for (int i = 0; i < 4; ++i) {
        s[40 + i] = uint8_t(sectors >> (8 * i));
        s[48 + i] = uint8_t(4 >> (8 * i));
        s[56 + i] = uint8_t(8 >> (8 * i));
    }
    s[68] = 0xF6; // a record of 1024 bytes: 2^10
    s[510] = 0x55, s[511] = 0xAA;
}

TEST(DeepRecognised, NtfsAndFat16BootSectorsBecomeRows)
{
    uint8_t boot[512] = {};
    PutNtfsBoot(boot, 8, 100000);
    RecognisedVolume ntfs;
    ASSERT_TRUE(RecognisedVolumeOf(boot, 2048, 500000, L"Log|\\\\.\\P:|", 1, ntfs));
    EXPECT_EQ(L"NTFS", ntfs.fsName);
    EXPECT_EQ(L"Recognised1", ntfs.cells[1]);
    EXPECT_EQ(L"2048", ntfs.cells[3]);
    EXPECT_EQ(L"102048", ntfs.cells[4]);
    EXPECT_EQ(L"8", ntfs.cells[6]);

    // The copy in the sector after the volume names the same volume; one row is kept.
    std::vector<RecognisedVolume> rows;
    EXPECT_TRUE(AddRecognisedVolume(rows, ntfs));
    RecognisedVolume backup;
    ASSERT_TRUE(RecognisedVolumeOf(boot, 102048, 500000, L"Log|\\\\.\\P:|", 2, backup));
    EXPECT_FALSE(AddRecognisedVolume(rows, backup));
    EXPECT_FALSE(AddRecognisedVolume(rows, ntfs));
    // A copy whose primary is gone, at the drive's end, gives the volume before it.
    RecognisedVolume lone;
    ASSERT_TRUE(RecognisedVolumeOf(boot, 100000, 100001, L"k", 1, lone));
    EXPECT_EQ(0u, lone.start);
    EXPECT_EQ(100000u, lone.size);

    uint8_t fat[512] = {};
    fat[13] = 4;
    fat[14] = 1;                    // reserved
    fat[17] = 0, fat[18] = 2;       // 512 root entries: 32 sectors
    fat[22] = 32;                   // sectors per FAT
    fat[32] = 0x40, fat[33] = 0x9C; // 40000 sectors
    std::memcpy(fat + 54, "FAT16   ", 8);
    fat[510] = 0x55, fat[511] = 0xAA;
    RecognisedVolume fat16;
    ASSERT_TRUE(RecognisedVolumeOf(fat, 63, 500000, L"k", 2, fat16));
    EXPECT_EQ(L"FAT16", fat16.fsName);
    EXPECT_EQ(L"40063", fat16.cells[4]);
    EXPECT_EQ(L"128", fat16.cells[9]);  // the root behind the two FATs
    EXPECT_EQ(L"152", fat16.cells[11]); // cluster 0: two clusters before the data area
    // FAT32 is not listed, nor a sector without the signature.
    std::memcpy(fat + 82, "FAT32   ", 8);
    fat[57] = ' ';
    EXPECT_FALSE(RecognisedVolumeOf(fat, 63, 500000, L"k", 3, fat16));
}

} // namespace
