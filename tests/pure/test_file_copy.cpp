// Copying found files out of a medium: exact sizes, zeros for what cannot be read, and the
// names given to files opened for viewing.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "fsrecovery/pure/file_copy.h"
#include "fsrecovery/pure/found_store.h"
#include "fsrecovery/pure/save_names.h"
#include "tests/pure/ntfs_test_records.h"
#include "tests/pure/storage_test_util.h"

namespace {

using storage_test::CraftedDisk;

// A disk whose sector n is filled with the byte n + 1, so every copied byte shows where it came from.
CraftedDisk PatternDisk(uint64_t sectors)
{
    CraftedDisk disk(sectors);
    for (uint64_t s = 0; s < sectors; ++s)
        disk.At(s).fill(uint8_t(s + 1));
    return disk;
}

struct Copied {
    CopyResult result;
    std::vector<uint8_t> bytes;
    std::vector<size_t> pieces;
};

Copied Copy(SectorSource& src, const std::vector<CopyExtent>& extents, uint64_t size, uint32_t block,
            const CopyStop& stop = {})
{
    Copied c;
    c.result = CopyExtents(
        src, extents, size, block,
        [&c](const uint8_t* d, size_t n) {
            c.bytes.insert(c.bytes.end(), d, d + n);
            c.pieces.push_back(n);
            return true;
        },
        stop);
    return c;
}

TEST(FileCopy, WritesExactlyTheSizeInBlocks)
{
    CraftedDisk disk = PatternDisk(64);
    // 5000 bytes in 8-sector blocks: one 4096-byte block and 904 bytes.
    Copied c = Copy(disk, { { 16, 16, false } }, 5000, 8);
    EXPECT_EQ(c.result, CopyResult::Done);
    EXPECT_EQ(c.pieces, (std::vector<size_t>{ 4096, 904 }));
    EXPECT_EQ(c.bytes[4999], 16 + 9 + 1);
}

TEST(FileCopy, UnreadableAndSparseStretchesBecomeZerosKeepingOffsets)
{
    CraftedDisk disk = PatternDisk(64);
    disk.Fail(3);
    Copied c = Copy(disk, { { 0, 4, false }, { 0, 2, true }, { 10, 2, false } }, 8 * 512, 1);
    ASSERT_EQ(c.result, CopyResult::Done);
    ASSERT_EQ(c.bytes.size(), 8u * 512);
    EXPECT_EQ(c.bytes[2 * 512], 3);
    for (size_t i = 3 * 512; i < 6 * 512; ++i)
        ASSERT_EQ(c.bytes[i], 0) << i;
    EXPECT_EQ(c.bytes[6 * 512], 11); // the run after the gaps lands at its own offset
    // In an 8-sector block only the bad sector is lost, even when the whole read fails.
    disk.Fail(0);
    Copied big = Copy(disk, { { 0, 16, false } }, 16 * 512, 8);
    EXPECT_EQ(std::vector<uint8_t>({ big.bytes[0], big.bytes[512], big.bytes[3 * 512], big.bytes[4 * 512] }),
              std::vector<uint8_t>({ 0, 2, 0, 5 }));
}

TEST(FileCopy, EndsAndStops)
{
    CraftedDisk disk = PatternDisk(16);
    EXPECT_EQ(Copy(disk, { { 0, 2, false } }, 0, 1).pieces.size(), 0u); // size 0 writes nothing
    Copied shortRuns = Copy(disk, { { 0, 2, false } }, 4096, 1);
    EXPECT_EQ(shortRuns.result, CopyResult::RunsEnded);
    EXPECT_EQ(shortRuns.bytes.size(), 1024u);
    int polls = 0;
    Copied stopped = Copy(disk, { { 0, 8, false } }, 4096, 1, [&] { return ++polls > 2; });
    EXPECT_EQ(stopped.result, CopyResult::Stopped);
    EXPECT_EQ(stopped.bytes.size(), 1024u);
    int writes = 0;
    EXPECT_EQ(CopyExtents(disk, { { 0, 8, false } }, 4096, 1, [&](const uint8_t*, size_t) { return ++writes < 2; }),
              CopyResult::WriteFailed);
    EXPECT_EQ(writes, 2);
    EXPECT_EQ(Copy(disk, { { 0, 8, false } }, 4096, 0).result, CopyResult::BadGeometry);
}

TEST(FileCopy, ExtentsFromChainsAndRuns)
{
    std::vector<CopyExtent> out;
    ASSERT_TRUE(FatChainExtents({ 5, 6, 7, 20, 8 }, 4, 100, out));
    ASSERT_EQ(out.size(), 3u); // neighbouring clusters merge
    EXPECT_EQ(out[0].sectorCount, 12u);
    EXPECT_EQ(out[2].firstSector, 132u);
    EXPECT_FALSE(FatContiguousExtents(9, 3, 0, 10, out)); // zero sectors per cluster
    EXPECT_FALSE(FatChainExtents({ 9 }, 0, 10, out));
    ASSERT_TRUE(NtfsRunExtents({ { 4, 2, false }, { 0, 3, true }, { 6, 1, false } }, 8, 2048, out));
    ASSERT_EQ(out.size(), 3u);
    EXPECT_TRUE(out[1].sparse);
    EXPECT_EQ(out[2].firstSector, 2048u + 48);
    EXPECT_FALSE(NtfsRunExtents({ { UINT64_MAX / 4, 1, false } }, 8, 0, out));
    EXPECT_FALSE(NtfsRunExtents({ { 1, 1, false } }, 0, 0, out));
    EXPECT_EQ(ClustersForSize(4096, 0), 0u);
}

TEST(FileCopy, ResidentDataMustLieInsideItsValue)
{
    ntfs_test::RecordBuilder b;
    const size_t at = b.Resident(kAttrData, { 'h', 'i', '!' });
    std::vector<uint8_t> rec = b.Finish();
    ApplyNtfsFixup(rec.data(), rec.size());
    size_t offset = 0;
    ASSERT_TRUE(ResidentDataSpan(rec.data(), at, 3, &offset));
    EXPECT_EQ(rec[offset], 'h');
    EXPECT_TRUE(ResidentDataSpan(rec.data(), at, 0, &offset));
    EXPECT_FALSE(ResidentDataSpan(rec.data(), at, 4, &offset));
    EXPECT_FALSE(ResidentDataSpan(rec.data(), at + 8, 3, &offset));
}

// $Secure and $Extend's indexes hold only named streams: their unnamed stream is empty. A record
// whose unnamed data may lie elsewhere, or whose walk breaks off, is not taken as empty.
TEST(FileCopy, ARecordWithoutUnnamedDataIsEmptyOnlyWhenWalkedWhole)
{
    const auto fixed = [](const ntfs_test::RecordBuilder& b) {
        std::vector<uint8_t> rec = b.Finish();
        ApplyNtfsFixup(rec.data(), rec.size());
        return rec;
    };
    ntfs_test::RecordBuilder secure;
    secure.Resident(kAttrFileName, ntfs_test::FileNameValue(5, 0, 3, u"$Secure"));
    secure.NonResident(kAttrData, { 0x11, 0x01, 0x20 }, 0, 4096, u"$SDS");
    std::vector<uint8_t> rec = fixed(secure);
    EXPECT_TRUE(HoldsNoUnnamedData(rec.data()));

    ntfs_test::RecordBuilder listed = secure;
    listed.Resident(kAttrAttributeList, std::vector<uint8_t>(32));
    EXPECT_FALSE(HoldsNoUnnamedData(fixed(listed).data()));
    ntfs_test::RecordBuilder data = secure;
    data.Resident(kAttrData, { 0 });
    EXPECT_FALSE(HoldsNoUnnamedData(fixed(data).data()));

    std::vector<uint8_t> broken = rec;
    ntfs_test::Put32(&broken[56 + 4], 0x1000); // the first attribute runs past the record
    EXPECT_FALSE(HoldsNoUnnamedData(broken.data()));
    std::vector<uint8_t> notFile = rec;
    notFile[0] = 'B';
    EXPECT_FALSE(HoldsNoUnnamedData(notFile.data()));
}

// A small file is read as its own sectors, not as a whole block.
TEST(FileCopy, ASmallFileReadsOnlyItsSectors)
{
    CraftedDisk disk = PatternDisk(64);
    Copied c = Copy(disk, { { 8, 16, false } }, 700, kCopyReadSectors);
    EXPECT_EQ(c.result, CopyResult::Done);
    EXPECT_EQ(c.pieces, (std::vector<size_t>{ 700 }));
    EXPECT_EQ(c.bytes[699], 8 + 1 + 1);
    EXPECT_EQ(disk.reads, 1u);
}

// A boot sector of 512-byte sectors with `spc` sectors per cluster and `total` sectors.
std::array<uint8_t, 512> Boot(FsKind kind, uint8_t spc, uint64_t total, uint16_t reserved = 0)
{
    std::array<uint8_t, 512> b{};
    b[0x0B] = 0x00, b[0x0C] = 0x02, b[0x0D] = spc, b[510] = 0x55, b[511] = 0xAA;
    b[0x0E] = uint8_t(reserved), b[0x0F] = uint8_t(reserved >> 8);
    if (kind == FsKind::Ntfs) {
        memcpy(&b[3], "NTFS    ", 8);
        for (int i = 0; i < 8; ++i)
            b[0x28 + i] = uint8_t(total >> (8 * i));
    } else if (total < 0x10000) {
        b[0x13] = uint8_t(total), b[0x14] = uint8_t(total >> 8);
    } else {
        for (int i = 0; i < 4; ++i)
            b[0x20 + i] = uint8_t(total >> (8 * i));
    }
    return b;
}

// A volume found in sectors first to end (not included) with its cluster 0 at cluster0.
FoundVolume VolumeAt(FsKind kind, uint64_t first, uint64_t end, uint32_t spc, uint64_t cluster0)
{
    FoundVolume v;
    v.kind = kind;
    v.firstSector = first;
    v.endSector = end;
    v.params.sectorsPerCluster = spc;
    v.params.cluster0Start = cluster0;
    return v;
}

// Files are read only from their own volume: FAT up to its last whole cluster and no further
// than its FAT names clusters, NTFS up to its last whole cluster; the boot sector counts only when
// it agrees with the volume, and never beyond the range found for the volume.
TEST(FileCopy, FilesAreReadOnlyFromTheirVolume)
{
    // FAT16 at sector 2048, 32768 sectors, 4 sectors per cluster, its data from sector 2148.
    FoundVolume fat = VolumeAt(FsKind::Fat16, 2048, 2048 + 32768, 4, 2140);
    fat.params.reservedSectors = 4;
    fat.params.firstFatSector = 2052;
    fat.params.sectorsPerFat = 32; // 8192 entries
    EXPECT_EQ(2048u, VolumeBootSector(fat));
    const auto boot = Boot(FsKind::Fat16, 4, 32768, 4);
    VolumeBounds b = FileDataBounds(fat, boot.data());
    EXPECT_EQ(2148u, b.firstSector);
    EXPECT_EQ(2148u + (34816 - 2148) / 4 * 4, b.endSector); // the sectors after the last whole cluster are left
    // A boot sector of another geometry, or none, leaves the range found for the volume.
    for (const auto& other : { Boot(FsKind::Fat16, 8, 32768, 4), Boot(FsKind::Fat16, 4, 32768, 6) })
        EXPECT_EQ(2148u + (34816 - 2148) / 4 * 4, FileDataBounds(fat, other.data()).endSector);
    // A boot sector that claims more than the partition holds is not believed.
    EXPECT_EQ(2148u + (34816 - 2148) / 4 * 4, FileDataBounds(fat, Boot(FsKind::Fat16, 4, 70000, 4).data()).endSector);
    // One that claims less is: the volume ends before its partition does.
    EXPECT_EQ(2148u + 12000, FileDataBounds(fat, Boot(FsKind::Fat16, 4, 100 + 12000, 4).data()).endSector);
    // A FAT smaller than the volume names fewer clusters.
    fat.params.sectorsPerFat = 8; // 2048 entries
    EXPECT_EQ(2140u + 2048 * 4, FileDataBounds(fat, boot.data()).endSector);
    // Nothing known about the end: only the FAT bounds it; no geometry at all: nothing.
    fat.endSector = 0;
    EXPECT_EQ(2140u + 2048 * 4, FileDataBounds(fat, nullptr).endSector);
    fat.params.sectorsPerCluster = 0;
    EXPECT_EQ(UINT64_MAX, FileDataBounds(fat, boot.data()).endSector);

    FoundVolume ntfs = VolumeAt(FsKind::Ntfs, 112640, 112640 + 32768, 8, 112640);
    EXPECT_EQ(112640u, VolumeBootSector(ntfs));
    b = FileDataBounds(ntfs, Boot(FsKind::Ntfs, 8, 32767).data());
    EXPECT_EQ(112640u, b.firstSector);
    EXPECT_EQ(112640u + 4095 * 8, b.endSector);
    // A range ends at the sector after it, whatever table it came from: a volume filling it is
    // believed to its end, one sector more is not.
    EXPECT_EQ(112640u + 4096 * 8, FileDataBounds(ntfs, Boot(FsKind::Ntfs, 8, 32768).data()).endSector);
    ntfs.endSector = 112640 + 32767;
    EXPECT_EQ(112640u + 4095 * 8, FileDataBounds(ntfs, Boot(FsKind::Ntfs, 8, 32768).data()).endSector);
    EXPECT_EQ(112640u + 4095 * 8, FileDataBounds(ntfs, Boot(FsKind::Fat16, 8, 32767).data()).endSector);
}

// A volume ends at the sector after the range found for it: a boot sector that claims more (one
// sector, a few, a cluster and more) is believed no further, for FAT16, FAT32 and NTFS at every
// cluster size. Only whole clusters before that end are read, and a file that runs on past it keeps
// none of the sectors after it.
TEST(FileCopy, NoClaimReachesPastTheRangeFoundForTheVolume)
{
    const uint64_t first = 409600, sectors = 65533; // no cluster size divides the volume
    const uint64_t end = first + sectors;
    for (FsKind kind : { FsKind::Fat16, FsKind::Fat32, FsKind::Ntfs }) {
        for (uint32_t spc = 1; spc <= 128; spc *= 2) {
            // FAT: cluster 2 37 sectors into the volume; NTFS: cluster 0 at its boot sector.
            const uint64_t cluster0 = kind == FsKind::Ntfs ? first : first + 37 - 2 * spc;
            const FoundVolume volume = VolumeAt(kind, first, end, spc, cluster0);
            for (uint64_t more = 0; more <= spc + 1; ++more) {
                SCOPED_TRACE(testing::Message() << "kind " << int(kind) << " spc " << spc << " claims +" << more);
                const VolumeBounds b = FileDataBounds(volume, Boot(kind, uint8_t(spc), sectors + more).data());
                EXPECT_LE(b.endSector, end);
                EXPECT_GT(b.endSector + spc, end); // the last whole cluster is read
                EXPECT_EQ(0u, (b.endSector - b.firstSector) % spc);
                // A file from the last whole cluster on, four clusters long.
                std::vector<CopyExtent> extents{ { b.endSector - spc, 4ull * spc, false } };
                EXPECT_TRUE(ClipExtentsToVolume(extents, 4ull * spc * kSectorSize, b));
                for (const CopyExtent& x : extents)
                    EXPECT_TRUE(x.sparse || x.firstSector + x.sectorCount <= end) << x.firstSector;
            }
        }
    }
}

// A FAT volume whose FATs are gone is scanned with the geometry its folders give: the reserved
// sectors are a guess there, yet its boot sector, which puts cluster 0 where the folders do, still
// says where the volume ends, also when the range scanned (a whole drive) goes on far beyond it.
TEST(FileCopy, AVolumeWhoseFoldersAgreeWithItsBootSectorEndsWhereItSays)
{
    // The real volume: 4 reserved sectors, 2 FATs of 32 sectors, 512 root entries, 4 sectors per
    // cluster; cluster 2 at sector 100. The probe guessed 1 reserved sector and FATs of 33.
    FoundVolume fat = VolumeAt(FsKind::Fat16, 0, 49152, 4, 92);
    fat.params.reservedSectors = 1;
    fat.params.firstFatSector = 1;
    fat.params.sectorsPerFat = 33;
    std::array<uint8_t, 512> boot = Boot(FsKind::Fat16, 4, 32768, 4);
    boot[0x10] = 2, boot[0x11] = 0x00, boot[0x12] = 0x02, boot[0x16] = 32;
    ASSERT_EQ(0u, VolumeBootSector(fat));
    EXPECT_EQ(32768u, FileDataBounds(fat, boot.data()).endSector);
    // A boot sector that puts cluster 0 elsewhere is another volume's: the FAT's reach bounds.
    boot[0x16] = 31;
    EXPECT_EQ(92u + 33 * 256 * 4, FileDataBounds(fat, boot.data()).endSector);
    // FAT32: no fixed root; its FAT's size in the 32-bit field.
    FoundVolume fat32 = VolumeAt(FsKind::Fat32, 0, 1 << 20, 1, 32 + 2 * 600 - 2);
    fat32.params.reservedSectors = 30; // guessed; the boot sector says 32
    fat32.params.firstFatSector = 30;
    std::array<uint8_t, 512> boot32 = Boot(FsKind::Fat32, 1, 300000, 32);
    boot32[0x10] = 2, boot32[0x24] = 0x58, boot32[0x25] = 0x02; // 600 sectors per FAT
    EXPECT_EQ(300000u, FileDataBounds(fat32, boot32.data()).endSector);
}

// Extents are cut to the volume: what lies outside becomes zeros in the middle of a file and is
// left off at its end; only sectors of the file's size count.
TEST(FileCopy, ExtentsAreCutToTheVolume)
{
    const VolumeBounds volume{ 100, 200 };
    struct Case {
        std::vector<CopyExtent> in;
        uint64_t size;
        bool cut;
        std::vector<CopyExtent> out;
    } cases[] = {
        // Inside: unchanged.
        { { { 100, 100, false } }, 100 * 512, false, { { 100, 100, false } } },
        // Running past the end: up to the end.
        { { { 150, 0xFFFFFFFFull, false } }, 0xFFFFFFFFull, true, { { 150, 50, false } } },
        // A cluster outside in the middle: zeros keep the next one's offset.
        { { { 120, 1, false }, { 500, 1, false }, { 130, 1, false } },
          1536,
          true,
          { { 120, 1, false }, { 0, 1, true }, { 130, 1, false } } },
        // Starting before the volume, and wholly outside.
        { { { 90, 20, false } }, 20 * 512, true, { { 0, 10, true }, { 100, 10, false } } },
        { { { 300, 4, false } }, 2048, true, {} },
        // Sparse runs are the file's own; clusters past the size do not matter.
        { { { 190, 8, false }, { 0, 8, true }, { 300, 8, false } },
          24 * 512,
          true,
          { { 190, 8, false }, { 0, 8, true } } },
        { { { 190, 10, false }, { 900, 10, false } }, 10 * 512, false, { { 190, 10, false } } },
        { { { 100, 1, false } }, 0, false, {} },
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        std::vector<CopyExtent> x = cases[i].in;
        EXPECT_EQ(cases[i].cut, ClipExtentsToVolume(x, cases[i].size, volume)) << i;
        ASSERT_EQ(cases[i].out.size(), x.size()) << i;
        for (size_t k = 0; k < x.size(); ++k) {
            EXPECT_EQ(cases[i].out[k].sparse, x[k].sparse) << i << " " << k;
            EXPECT_EQ(cases[i].out[k].sectorCount, x[k].sectorCount) << i << " " << k;
            if (!x[k].sparse)
                EXPECT_EQ(cases[i].out[k].firstSector, x[k].firstSector) << i << " " << k;
        }
    }
}

TEST(SaveNames, TemporaryNamesKeepOnlyACleanExtension)
{
    const struct {
        int counter;
        const wchar_t* name;
        const wchar_t* want;
    } cases[] = {
        { 3, L"README", L"VKD3" }, { 7, L"a.b.txt", L"VKD7.txt" }, { 1, L"f.txt:evil", L"VKD1.txtevil" },
        { 2, L"f.. ", L"VKD2" },   { 4, L"f.\\..\\x", L"VKD4.x" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(TempViewName(c.counter, c.name), CString(c.want)) << c.name;
}

} // namespace
