// The Basic Search scans: on the NTFS images (a fragmented $MFT among them) every folder of the
// truth file is found under its parent and every file gets a row there; on crafted media, damaged
// geometry and records end in a partial result rather than a hang or a bad read.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>

#include "fsrecovery/pure/basic_scan.h"
#include "storage/pure/fs_names.h"
#include "storage/pure/volume_check.h"
#include "tests/pure/alloc_watch.h"
#include "tests/pure/fs_image_walk.h"
#include "tests/pure/ntfs_test_records.h"
#include "tests/pure/storage_test_util.h"

namespace {

using fs_walk::TruthLine;

std::vector<TruthLine> Truth(const std::string& image)
{
    std::ifstream in(storage_test::ImagesDir() + "/" + image + ".truth.tsv");
    return fs_walk::ParseTruth(in);
}

bool Expected(const TruthLine& t)
{
    return t.state != "overwritten" && t.notes.find("overwritten") == std::string::npos &&
        t.notes.find("record-reused") == std::string::npos;
}

std::string Parent(const std::string& path)
{
    const size_t cut = path.find_last_of('/', path.size() - (path.back() == '/' ? 2 : 1));
    return path.substr(0, cut + 1);
}

// One of the bare-volume images, its file system named as the volume check expects.
struct ImageVolume {
    std::unique_ptr<FileSectorSource> src;
    bool fat32 = false;
    uint64_t end = 0;
    VolumeGeometryRecord geometry;

    bool Open(const std::string& image, const wchar_t* fs)
    {
        src = std::make_unique<FileSectorSource>(storage_test::ImagesDir() + "/" + image);
        fat32 = CString(fs) == L"FAT32";
        end = src->SizeBytes() / kSectorSize;
        return !storage_test::ImagesDir().empty() && src->IsOpen() &&
            CheckVolume(*src, *src, fs, 0, end, geometry) == VolumeCheck::Valid;
    }
};

class FatImage : public ::testing::TestWithParam<const char*> { };

// Given only the data area, the probe finds the cluster layout that the boot sector states.
TEST_P(FatImage, ProbeAgreesWithTheBootSector)
{
    ImageVolume v;
    if (!v.Open(GetParam(), std::string(GetParam()) == "fat32.img" ? L"FAT32" : L"FAT16"))
        GTEST_SKIP() << "ZR_IMAGES not set or image missing";
    VolumeGeometryRecord probed;
    ASSERT_TRUE(ProbeFatGeometry(*v.src, v.fat32, 0, v.end, probed));
    EXPECT_EQ(probed.sectorsPerCluster, v.geometry.sectorsPerCluster);
    EXPECT_EQ(probed.cluster0Start, v.geometry.cluster0Start);
}

INSTANTIATE_TEST_SUITE_P(Volumes, FatImage, ::testing::Values("fat16.img", "fat32.img"));

class NtfsImage : public ::testing::TestWithParam<const char*> { };

TEST_P(NtfsImage, FoldersAndFilesOfTheTruthAreFoundThroughTheRunTable)
{
    ImageVolume v;
    MftRunTableRecord runs;
    if (!v.Open(GetParam(), L"NTFS") ||
        !LoadMftRunTableFrom(*v.src, 0, v.geometry.mftSector, v.geometry.mftMirrSector, v.geometry.sectorsPerCluster,
                             runs))
        GTEST_SKIP() << "ZR_IMAGES not set or image missing";
    // The volume the scan reads attribute lists from, as the search gives it.
    const NtfsVolumePlace volume{ 0, v.geometry.sectorsPerCluster, v.end };
    const auto records = ScanNtfsRecords(*v.src, runs, nullptr, {}, volume);
    std::map<uint64_t, const NtfsScanRecord*> folders;
    std::map<uint64_t, int> filesUnder;
    for (const NtfsScanRecord& r : records) {
        if (r.folder)
            folders[r.record] = &r;
        else
            ++filesUnder[r.parent];
    }
    std::map<std::string, uint64_t> folderByPath{ { "/", kNtfsRootRecord } };
    for (const auto& [n, f] : folders) {
        std::string path = "/";
        for (uint64_t p = n; p != kNtfsRootRecord && folders.count(p) && path.size() < 1000; p = folders[p]->parent)
            path = "/" + fs_walk::Utf8(folders[p]->name) + path;
        folderByPath[fs_walk::Lower(path)] = n;
    }

    std::map<uint64_t, int> wantedUnder;
    for (const TruthLine& t : Truth(GetParam())) {
        if (!Expected(t))
            continue;
        if (!t.isDir()) {
            ++wantedUnder[folderByPath[fs_walk::Lower(Parent(t.path))]];
            continue;
        }
        auto it = folderByPath.find(fs_walk::Lower(t.path));
        ASSERT_NE(it, folderByPath.end()) << t.path;
        EXPECT_EQ(folders[it->second]->deleted, t.state == "deleted") << t.path;
    }
    ASSERT_FALSE(wantedUnder.empty());
    for (const auto& [record, count] : wantedUnder)
        EXPECT_GE(filesUnder[record], count) << record;

    // A stop half-way keeps what was found until then.
    StopFlag stop{ 0 };
    const auto partial = ScanNtfsRecords(
        *v.src, runs, &stop,
        [&](uint64_t done, uint64_t total) {
            if (done * 2 >= total)
                stop = 1;
        },
        volume);
    ASSERT_FALSE(partial.empty());
    ASSERT_LT(partial.size(), records.size());
    EXPECT_EQ(partial.back().sector, records[partial.size() - 1].sector);
}

INSTANTIATE_TEST_SUITE_P(Volumes, NtfsImage, ::testing::Values("ntfs.img", "ntfs512.img", "ntfsfrag.img"));

using Bytes = std::vector<uint8_t>;

// A directory's first sector: its "." and ".." entries.
void PutDirectory(Bytes& disk, uint64_t sector, uint32_t self, uint32_t parent)
{
    storage_test::PutDirEntry(&disk[sector * kSectorSize], ".          ", 0x10, self);
    storage_test::PutDirEntry(&disk[sector * kSectorSize + 32], "..         ", 0x10, parent);
}

TEST(FatProbe, PassesOverDisagreeingDirectoriesAndDerivesTheClusterSize)
{
    Bytes disk(400 * kSectorSize);
    disk[5 * kSectorSize] = 0xF8; // the first FAT behind 5 reserved sectors
    disk[5 * kSectorSize + 1] = 0xFF;
    PutDirectory(disk, 100, 2, 0);  // the anchor
    PutDirectory(disk, 109, 5, 2);  // 9 sectors for 3 clusters: 3 per cluster, refused
    PutDirectory(disk, 122, 7, 2);  // 22 sectors for 5 clusters: no whole size
    PutDirectory(disk, 132, 10, 2); // 32 sectors for 8 clusters: 4 per cluster
    MemorySectorSource src(disk);
    VolumeGeometryRecord g;
    ASSERT_TRUE(ProbeFatGeometry(src, false, 0, 400, g));
    EXPECT_EQ(g.sectorsPerCluster, 4u);
    EXPECT_EQ(g.cluster0Start, 92u); // eight sectors before cluster 2
    EXPECT_FALSE(ProbeFatGeometry(src, false, 0, 130, g));
}

TEST(FatScan, UnusableGeometryAndStaleCopiesGiveNoRows)
{
    Bytes disk(2048 * kSectorSize);
    PutDirectory(disk, 100, 2, 0);
    PutDirectory(disk, 104, 7, 0); // cluster 3 holds a copy of cluster 7's first sector
    PutDirectory(disk, 108, 4, 2);
    PutDirectory(disk, 112, 5, 5); // a folder that names itself as its parent
    MemorySectorSource src(disk);
    VolumeGeometryRecord g;
    g.cluster0Start = 92;
    for (uint32_t spc : { 0u, 3u, 256u }) {
        g.sectorsPerCluster = spc;
        EXPECT_FALSE(FatGeometryUsable(g));
        EXPECT_TRUE(ScanFatDirectoryClusters(src, false, g, 2048).empty()) << spc;
    }
    g.sectorsPerCluster = 4;
    const auto rows = ScanFatDirectoryClusters(src, false, g, 2048);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].parent, 2u);
    EXPECT_EQ(rows[2].sector, 112u);

    // The volume ends at cluster 4: clusters beyond it are not this volume's.
    EXPECT_EQ(ScanFatDirectoryClusters(src, false, g, 110).size(), 2u);
}

Bytes Folder(uint64_t parent, const std::u16string& name, uint8_t flags = 3)
{
    ntfs_test::RecordBuilder b(flags);
    b.Resident(0x30, ntfs_test::FileNameValue(parent, 1234, kNameSpaceWin32, name));
    return b.Finish();
}

TEST(NtfsScan, RecordsFollowTheRunsSectorBySector)
{
    // Two runs of three sectors: record 1 straddles them, record 2 lies wholly in the second.
    Bytes disk(64 * kSectorSize);
    const Bytes r0 = Folder(5, u"A"), r1 = Folder(16, u"B", 2), r2 = Folder(5, u"C");
    std::memcpy(&disk[10 * kSectorSize], r0.data(), 1024);
    std::memcpy(&disk[12 * kSectorSize], r1.data(), 512);
    std::memcpy(&disk[40 * kSectorSize], r1.data() + 512, 512);
    std::memcpy(&disk[41 * kSectorSize], r2.data(), 1024);
    MemorySectorSource src(disk);
    MftRunTableRecord runs;
    runs.starts = { 10, 40 }, runs.lengths = { 3, 3 };
    const auto found = ScanNtfsRecords(src, runs);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[1].sector, 12u);
    EXPECT_TRUE(found[1].deleted);
    EXPECT_EQ(found[2].record, 2u);
    EXPECT_EQ(found[2].sector, 41u);
}

TEST(NtfsScan, DamagedRecordsAreSkippedAndAttributeListsBounded)
{
    // Record 0 has an attribute whose length runs past the record's end; record 1 an attribute
    // list naming 25 extension records (that do not exist) ahead of its name.
    ntfs_test::RecordBuilder bad(3), listed(3);
    bad.Resident(0x30, ntfs_test::FileNameValue(5, 0, kNameSpaceWin32, u"X"));
    ntfs_test::Put32(&bad.rec[56 + 4], 4000);
    Bytes list(25 * 32);
    for (int i = 0; i < 25; ++i) {
        ntfs_test::Put32(&list[i * 32], 0x80);
        ntfs_test::Put16(&list[i * 32 + 4], 32);
        ntfs_test::Put64(&list[i * 32 + 0x10], 100 + i);
    }
    listed.Resident(0x20, list);
    listed.Resident(0x30, ntfs_test::FileNameValue(5, 0, kNameSpaceWin32, u"Y"));
    const Bytes b0 = bad.Finish(), b1 = listed.Finish();
    Bytes disk(17 * kSectorSize); // the $MFT from sector 1: a run at sector 0 reads as sparse
    std::memcpy(&disk[1 * kSectorSize], b0.data(), 1024);
    std::memcpy(&disk[3 * kSectorSize], b1.data(), 1024);
    MemorySectorSource src(disk);
    MftRunTableRecord runs;
    runs.starts = { 1 }, runs.lengths = { 16 };
    const auto found = ScanNtfsRecords(src, runs);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_TRUE(found[0].name == u"Y");

    Bytes fixed = b1;
    ApplyNtfsFixup(fixed.data(), fixed.size());
    std::vector<uint64_t> numbers(45, 0);
    CollectAttributeListRecords(fixed.data(), numbers);
    EXPECT_EQ(numbers.size(), kMaxRecordListEntries);
    EXPECT_EQ(numbers.back(), 104u);
}

TEST(NtfsScan, UnreadableSectorsArePassedOverAndNeverParsed)
{
    // Run 1: record 0 "A" at 98-99, then three sectors that cannot be read; run 2 from 200:
    // the record begun in run 1 ends at 200, "B" and "C" follow, "D" at 205-206 of which 206
    // cannot be read. A copy of A's second half at 200 must not bring A back.
    storage_test::CraftedDisk disk(1024);
    const Bytes a = Folder(5, u"A"), b = Folder(5, u"B"), c = Folder(5, u"C"), d = Folder(5, u"D");
    auto put = [&](uint64_t sector, const Bytes& rec, size_t half) {
        std::memcpy(disk.At(sector).data(), rec.data() + half * kSectorSize, kSectorSize);
    };
    put(98, a, 0), put(99, a, 1), put(200, a, 1);
    put(201, b, 0), put(202, b, 1), put(203, c, 0), put(204, c, 1), put(205, d, 0), put(206, d, 1);
    for (uint64_t bad : { 100, 101, 102, 206 })
        disk.Fail(bad);
    MftRunTableRecord runs;
    runs.starts = { 98, 200 }, runs.lengths = { 5, 8 };
    const auto found = ScanNtfsRecords(disk, runs);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_TRUE(found[0].name == u"A" && found[0].record == 0);
    EXPECT_TRUE(found[1].name == u"B" && found[1].record == 3 && found[1].sector == 201);
    EXPECT_TRUE(found[2].name == u"C" && found[2].record == 4);

    // A long stretch that cannot be read costs one step per block, not one per record.
    runs.starts = { 2000 }, runs.lengths = { uint64_t(1) << 20 };
    size_t reports = 0;
    uint64_t last = 0;
    EXPECT_TRUE(ScanNtfsRecords(disk, runs, nullptr, [&](uint64_t done, uint64_t) { ++reports, last = done; }).empty());
    EXPECT_EQ(last, uint64_t(1) << 20);
    EXPECT_LE(reports, (size_t(1) << 20) / kFatScanBlockSectors);
}

TEST(NtfsScan, RunsPastTheVolumeEndAreReadOnlyToItsEnd)
{
    // Record 0 at cluster 4 claims 2^40 clusters; the volume has 4096 sectors.
    storage_test::CraftedDisk disk(1 << 16);
    ntfs_test::RecordBuilder r0(3);
    r0.NonResident(0x80, { 0x16, 0, 0, 0, 0, 0, 0x01, 0x04 });
    r0.Resident(0x30, ntfs_test::FileNameValue(5, 0, kNameSpaceWin32, u"$MFT"));
    const Bytes rec = r0.Finish();
    std::memcpy(disk.At(32).data(), rec.data(), kSectorSize);
    std::memcpy(disk.At(33).data(), rec.data() + kSectorSize, kSectorSize);
    MftRunTableRecord runs;
    ASSERT_TRUE(LoadMftRunTableFrom(disk, 0, 32, 0, 8, runs, 4095));
    ASSERT_EQ(runs.totalSectors(), 4064u);
    uint64_t done = 0, total = 0;
    const auto found = ScanNtfsRecords(disk, runs, nullptr, [&](uint64_t d, uint64_t t) { done = d, total = t; });
    EXPECT_EQ(found.size(), 1u);
    EXPECT_EQ(total, 4064u);
    EXPECT_EQ(done, total);
}

// Whatever record 0 claims, the scan of a volume reads no sector past its last one: not along the
// $MFT's runs, not for record 0's attribute list, not for record 0 itself nor its mirror's copy;
// and what it keeps follows the records it reads, not the length claimed. A torn record 0 (its
// second sector left from a write that moved the $MFT's second run from cluster 20 to 30) gives no
// runs: the mirror's whole copy does, so that the file now at cluster 30 is listed and the stale
// one still at cluster 20 is not.
TEST(NtfsScan, NothingPastTheVolumeIsRead)
{
    constexpr uint64_t kEnd = 4096; // the volume's sectors; the disk goes on
    const Bytes moved = { 0x11, 0x02, 0x04, 0x11, 0x02, 0x1A }, before = { 0x11, 0x02, 0x04, 0x11, 0x02, 0x10 };
    struct Case {
        const char* what;
        uint64_t mftSector;
        Bytes runs;
        bool listOutside; // record 0's attribute list kept at cluster 600, past the volume
        std::vector<uint64_t> files; // the sectors of the files listed, in the order of their records
        Bytes staleRuns = {};        // record 0 torn: its second sector, which holds $DATA, from a write of these
        uint64_t mirrorSector = 0;   // where the mirror's whole copy of record 0 lies
        uint64_t end = kEnd;
        uint32_t fileIn = 0; // record 1 a file in this folder
    } cases[] = {
        { "runs of 2^40 clusters", 32, { 0x16, 0, 0, 0, 0, 0, 0x01, 0x04 }, false, { 32 } },
        { "an attribute list outside the volume", 32, { 0x22, 0xFC, 0x01, 0x04, 0x00 }, true, { 32 } },
        { "record 0 on the volume's last sector", kEnd - 1, { 0x21, 0x01, 0xFF, 0x01 }, false, {} },
        { "record 0 torn, the mirror's copy whole", 32, moved, false, { 32, 30 * 8 }, before, 2048 },
        { "record 0 torn, the mirror's copy past the volume", 32, moved, false, {}, before, kEnd },
        // 16 TiB: two clusters at 4, 2^31 past the volume's end (a hole of 2^33 records), two at 10.
        { "a hole of 2^33 records, a file in folder 0xFFFFFFF0",
          32,
          { 0x11, 0x02, 0x04, 0x55, 0, 0, 0, 0x80, 0, 0xFC, 0xFF, 0xFF, 0xFF, 0x01, 0x51, 0x02, 0x0A, 0, 0, 0, 0xFE },
          false,
          { 32, 34 },
          {},
          0,
          uint64_t(1) << 35,
          0xFFFFFFF0u },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        storage_test::CraftedDisk disk(1 << 16);
        auto put = [&](uint64_t sector, const Bytes& rec) {
            std::memcpy(disk.At(sector).data(), rec.data(), kSectorSize);
            std::memcpy(disk.At(sector + 1).data(), rec.data() + kSectorSize, kSectorSize);
        };
        ntfs_test::RecordBuilder r0(1);
        if (!c.staleRuns.empty())
            r0.Resident(0x10, Bytes(480)); // $DATA comes in the second sector
        if (c.listOutside) {
            // It names record 1 for the $MFT's data from cluster 0 on.
            Bytes list(32);
            ntfs_test::Put32(&list[0], 0x80);
            ntfs_test::Put16(&list[4], 32);
            ntfs_test::Put64(&list[16], 1);
            std::memcpy(disk.At(600 * 8).data(), list.data(), list.size());
            r0.NonResident(0x20, { 0x21, 0x01, 0x58, 0x02 }, 0, list.size());
        }
        const size_t data = r0.pos;
        r0.NonResident(0x80, c.runs);
        r0.Resident(0x30, ntfs_test::FileNameValue(5, 0, kNameSpaceWin32, u"$MFT"));
        const Bytes rec = r0.Finish();
        put(c.mftSector, rec);
        if (c.fileIn != 0)
            put(c.mftSector + 2, Folder(c.fileIn, u"f.txt", 1));
        if (!c.staleRuns.empty()) {
            ntfs_test::RecordBuilder old = r0;
            old.pos = data;
            old.NonResident(0x80, c.staleRuns);
            old.Resident(0x30, ntfs_test::FileNameValue(5, 0, kNameSpaceWin32, u"$MFT"));
            std::memcpy(disk.At(c.mftSector + 1).data(), old.Finish(0x0909).data() + kSectorSize, kSectorSize);
            put(c.mirrorSector, rec);
            put(30 * 8, Folder(5, u"New", 1)); // record 8 now
            put(20 * 8, Folder(5, u"Old", 1)); // record 8 before the move, its cluster since freed
        }
        ScanTarget target;
        target.kind = FsKind::Ntfs;
        target.endSector = c.end;
        target.geometry.sectorsPerCluster = 8;
        target.geometry.mftSector = c.mftSector;
        target.geometry.mftMirrSector = c.mirrorSector;
        FoundStore store;
        const size_t largest = alloc_watch::Largest([&] { ScanNtfsVolume(disk, target, true, store, 0, nullptr, {}); });
        EXPECT_LT(disk.highestAsked, c.end);
        std::vector<uint64_t> files;
        for (size_t i = 0; i < store.NtfsFileCount(); ++i)
            files.push_back(store.NtfsFile(i).sector);
        EXPECT_EQ(c.files, files);
        EXPECT_LT(largest, size_t(4) << 20);
    }
}

// A deleted folder that kept only its index stands under the catch-all folder when a row lies in
// it, wherever the row is read: before the folder, after it, across a hole of the $MFT.
TEST(NtfsScan, AFolderOfOnlyItsIndexIsKeptWhenARowLiesInIt)
{
    // Records 0-4095 from sector 100, a hole of 2^20 records, records from 2^20 + 4096 at 9000.
    constexpr uint64_t kHole = uint64_t(1) << 20, kAfter = kHole + 4096;
    MftRunTableRecord runs;
    runs.starts = { 100, 0, 9000 }, runs.lengths = { 8192, 2 * kHole, 16 };
    auto sectorOf = [&](uint64_t n) { return n < 4096 ? 100 + 2 * n : 9000 + 2 * (n - kAfter); };
    struct Case {
        const char* what;
        std::vector<std::pair<uint64_t, uint32_t>> files; // number, folder
        std::vector<uint64_t> folders;
        std::set<uint64_t> kept;
    };
    std::vector<Case> cases = {
        { "a file read after the folder", { { 3, 2 } }, { 2 }, { 2 } },
        { "a file read before the folder", { { 2, 3 } }, { 3 }, { 3 } },
        { "a file in another folder", { { 3, 5 } }, { 2 }, {} },
        { "the folder past the hole, the file before it", { { 2, uint32_t(kAfter + 1) } }, { kAfter + 1 }, { kAfter + 1 } },
        { "the folder past the hole, the file after it", { { kAfter + 2, uint32_t(kAfter + 1) } }, { kAfter + 1 },
          { kAfter + 1 } },
        { "past the hole, a file in the folder after it", { { 2, uint32_t(kAfter + 2) } }, { kAfter + 1 }, {} },
    };
    // Every record a file in the one ten on, but for four folders (2010 is named by folder 2000).
    Case many{ "3,000 files, each in the record ten on", {}, { 1500, 2000, 2010, 2995 }, { 1500, 2000, 2995 } };
    for (uint64_t n = 0; n < 3000; ++n)
        if (std::find(many.folders.begin(), many.folders.end(), n) == many.folders.end())
            many.files.push_back({ n, uint32_t(n + 10) });
    cases.push_back(many);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        storage_test::CraftedDisk disk(1 << 16);
        auto put = [&](uint64_t n, const Bytes& rec) {
            std::memcpy(disk.At(sectorOf(n)).data(), rec.data(), kSectorSize);
            std::memcpy(disk.At(sectorOf(n) + 1).data(), rec.data() + kSectorSize, kSectorSize);
        };
        for (const auto& [n, folder] : c.files)
            put(n, Folder(folder, u"f.txt", 1));
        for (uint64_t n : c.folders) {
            ntfs_test::RecordBuilder indexOnly(2);
            indexOnly.Resident(kAttrStandardInfo, Bytes(48));
            indexOnly.Resident(kAttrIndexRoot, Bytes(48), u"$I30");
            put(n, indexOnly.Finish());
        }
        std::set<uint64_t> kept;
        size_t files = 0;
        for (const NtfsScanRecord& r : ScanNtfsRecords(disk, runs)) {
            if (r.folder && r.parent == kMiscFolderId)
                kept.insert(r.record);
            files += r.folder ? 0 : 1;
        }
        EXPECT_EQ(c.kept, kept);
        EXPECT_EQ(c.files.size(), files);
    }
}

TEST(NtfsScan, RecordsAfterARunOutsideTheVolumeKeepTheirNumbers)
{
    // The $MFT in three runs of two clusters: at cluster 4 (records 0-7), far past the volume's
    // 4096 sectors (8-15), at cluster 10 (16-23). Folder B, record 17, lies in folder A, record 1.
    storage_test::CraftedDisk disk(1 << 16);
    ntfs_test::RecordBuilder r0(1);
    r0.NonResident(0x80, { 0x11, 0x02, 0x04, 0x31, 0x02, 0xA0, 0x86, 0x01, 0x31, 0x02, 0x66, 0x79, 0xFE });
    r0.Resident(0x30, ntfs_test::FileNameValue(5, 0, kNameSpaceWin32, u"$MFT"));
    auto put = [&](uint64_t sector, const Bytes& rec) {
        std::memcpy(disk.At(sector).data(), rec.data(), kSectorSize);
        std::memcpy(disk.At(sector + 1).data(), rec.data() + kSectorSize, kSectorSize);
    };
    put(32, r0.Finish());
    put(34, Folder(5, u"A"));
    put(82, Folder(1, u"B"));
    MftRunTableRecord runs;
    ASSERT_TRUE(LoadMftRunTableFrom(disk, 0, 32, 0, 8, runs, 4095));
    const auto found = ScanNtfsRecords(disk, runs);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_TRUE(found[1].name == u"A" && found[1].record == 1);
    EXPECT_TRUE(found[2].name == u"B" && found[2].record == 17 && found[2].sector == 82);
    EXPECT_EQ(found[2].parent, found[1].record);
}

} // namespace
