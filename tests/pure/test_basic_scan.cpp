// The Basic Search scans: on the test images every folder of the truth file is found with its
// name and parent and every file gets a row under its folder; on crafted media, damaged
// geometry and records end in a partial result rather than a hang or a bad read.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "fsrecovery/pure/basic_scan.h"
#include "storage/pure/fs_names.h"
#include "storage/pure/volume_check.h"
#include "tests/pure/fs_image_walk.h"
#include "tests/pure/ntfs_test_records.h"
#include "tests/pure/storage_test_util.h"

namespace {

using fs_walk::TruthLine;

std::vector<TruthLine> Truth(const std::string& image) {
    std::ifstream in(storage_test::ImagesDir() + "/" + image + ".truth.tsv");
    return fs_walk::ParseTruth(in);
}

bool Expected(const TruthLine& t) {
    return t.state != "overwritten" && t.notes.find("overwritten") == std::string::npos &&
           t.notes.find("record-reused") == std::string::npos;
}

std::string Parent(const std::string& path) {
    const size_t cut = path.find_last_of('/', path.size() - (path.back() == '/' ? 2 : 1));
    return path.substr(0, cut + 1);
}

struct ImageVolume {
    std::unique_ptr<FileSectorSource> src;
    storage_test::LayoutLine layout;
    VolumeGeometryRecord geometry;
};

bool OpenVolume(const std::string& image, ImageVolume& v) {
    v.src = std::make_unique<FileSectorSource>(storage_test::ImagesDir() + "/" + image);
    const auto layout = storage_test::LoadLayout(image);
    if (!v.src->IsOpen() || layout.empty())
        return false;
    v.layout = layout[0];
    return CheckVolume(*v.src, *v.src, CString(v.layout.fs.c_str()), v.layout.start, v.layout.end,
                       v.geometry) == VolumeCheck::Valid;
}

// The name of every folder entry in the root directory and in the first cluster of each found
// directory, by its first cluster: what a reader of the parent directory would show.
std::map<uint32_t, std::string> FolderNames(SectorSource& src, const VolumeGeometryRecord& g, bool fat32,
                                            const std::vector<FatDirRow>& rows) {
    std::vector<uint64_t> sectors;
    const uint32_t spc = g.sectorsPerCluster;
    for (uint32_t i = 0; i < (fat32 ? spc : g.rootDirSectors); ++i)
        sectors.push_back(fat32 ? g.cluster0Start + uint64_t(g.rootStart) * spc + i : g.rootStart + i);
    for (const FatDirRow& r : rows)
        for (uint32_t i = 0; i < spc; ++i)
            sectors.push_back(r.sector + i);
    std::map<uint32_t, std::string> names;
    uint8_t s[kSectorSize];
    for (uint64_t sn : sectors)
        for (uint16_t off = 0; src.ReadSector(sn, s) && off < kSectorSize; off += 32) {
            const FatDirEntry e = DecodeFatDirEntry(s + off);
            if (!e.directory() || e.shortName[0] == '.')
                continue;
            std::u16string lfn;
            ParseDirectorySectors(&src, s, off, sn, lfn);
            names[fat32 ? e.firstCluster : e.firstCluster & 0xFFFF] =
                lfn.empty() ? fs_walk::ShortName(s + off) : fs_walk::Utf8(lfn);
        }
    return names;
}

class FatImage : public ::testing::TestWithParam<const char*> {};

TEST_P(FatImage, EveryTruthFolderIsADirectoryRowUnderItsParent) {
    ImageVolume v;
    if (storage_test::ImagesDir().empty() || !OpenVolume(GetParam(), v))
        GTEST_SKIP() << "ZR_IMAGES not set or image missing";
    const bool fat32 = v.layout.fs == "FAT32";
    const auto rows = ScanFatDirectoryClusters(*v.src, fat32, v.geometry, v.layout.end);
    auto names = FolderNames(*v.src, v.geometry, fat32, rows);
    std::map<uint32_t, uint32_t> parentOf;
    for (const FatDirRow& r : rows) parentOf[r.self] = r.parent;
    std::vector<std::string> found;
    for (const FatDirRow& r : rows) {
        std::string path = "/";
        for (uint32_t c = r.self; c != 0 && path.size() < 1000; c = parentOf.count(c) ? parentOf[c] : 0)
            path = "/" + names[c] + path;
        found.push_back(path);
    }
    int folders = 0;
    for (const TruthLine& t : Truth(GetParam()))
        if (t.isDir() && Expected(t)) {
            ++folders;
            EXPECT_TRUE(std::any_of(found.begin(), found.end(),
                                    [&](const std::string& f) { return fs_walk::PathMatches(t.path, f); }))
                << t.state << " " << t.path;
        }
    EXPECT_GT(folders, 8);

    // The probe, given only the data area, finds the same cluster layout as the boot sector.
    VolumeGeometryRecord probed;
    ASSERT_TRUE(ProbeFatGeometry(*v.src, fat32, v.layout.start, v.layout.end, probed));
    EXPECT_EQ(probed.sectorsPerCluster, v.geometry.sectorsPerCluster);
    EXPECT_EQ(probed.cluster0Start, v.geometry.cluster0Start);
}

INSTANTIATE_TEST_SUITE_P(Volumes, FatImage, ::testing::Values("fat16.img", "fat32.img"));

class NtfsImage : public ::testing::TestWithParam<const char*> {};

TEST_P(NtfsImage, FoldersAndFilesOfTheTruthAreFoundThroughTheRunTable) {
    ImageVolume v;
    MftRunTableRecord runs;
    if (storage_test::ImagesDir().empty() || !OpenVolume(GetParam(), v) ||
        !LoadMftRunTableFrom(*v.src, v.layout.start, v.geometry.mftSector,
                             v.geometry.sectorsPerCluster, runs))
        GTEST_SKIP() << "ZR_IMAGES not set or image missing";
    const auto records = ScanNtfsRecords(*v.src, runs);
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
    volatile uint32_t stop = 0;
    const auto partial = ScanNtfsRecords(*v.src, runs, &stop, [&](uint64_t done, uint64_t total) {
        if (done * 2 >= total)
            stop = 1;
    });
    ASSERT_FALSE(partial.empty());
    ASSERT_LT(partial.size(), records.size());
    EXPECT_EQ(partial.back().sector, records[partial.size() - 1].sector);
}

INSTANTIATE_TEST_SUITE_P(Volumes, NtfsImage,
                         ::testing::Values("ntfs.img", "ntfs512.img", "ntfsfrag.img"));

using Bytes = std::vector<uint8_t>;

void PutDirectory(Bytes& disk, uint64_t sector, uint32_t self, uint32_t parent) {
    uint8_t* s = &disk[sector * kSectorSize];
    std::memset(s, ' ', 11);
    s[0] = '.';
    std::memset(s + 32, ' ', 11);
    s[32] = s[33] = '.';
    s[0x0B] = s[0x2B] = 0x10;
    storage_test::PutLe16(s + 0x1A, uint16_t(self));
    storage_test::PutLe16(s + 0x14, uint16_t(self >> 16));
    storage_test::PutLe16(s + 0x3A, uint16_t(parent));
}

TEST(FatProbe, PassesOverDisagreeingDirectoriesAndDerivesTheClusterSize) {
    Bytes disk(400 * kSectorSize);
    disk[5 * kSectorSize] = 0xF8;       // the first FAT behind 5 reserved sectors
    disk[5 * kSectorSize + 1] = 0xFF;
    PutDirectory(disk, 100, 2, 0);      // the anchor
    PutDirectory(disk, 109, 5, 2);      // 9 sectors for 3 clusters: 3 per cluster, refused
    PutDirectory(disk, 122, 7, 2);      // 22 sectors for 5 clusters: no whole size
    PutDirectory(disk, 132, 10, 2);     // 32 sectors for 8 clusters: 4 per cluster
    MemorySectorSource src(disk);
    VolumeGeometryRecord g;
    ASSERT_TRUE(ProbeFatGeometry(src, false, 0, 400, g));
    EXPECT_EQ(g.sectorsPerCluster, 4u);
    EXPECT_EQ(g.cluster0Start, 92u);    // eight sectors before cluster 2
    EXPECT_FALSE(ProbeFatGeometry(src, false, 0, 130, g));
}

TEST(FatScan, UnusableGeometryAndStaleCopiesGiveNoRows) {
    Bytes disk(2048 * kSectorSize);
    PutDirectory(disk, 100, 2, 0);
    PutDirectory(disk, 104, 7, 0);      // cluster 3 holds a copy of cluster 7's first sector
    PutDirectory(disk, 108, 4, 2);
    PutDirectory(disk, 112, 5, 5);      // a folder that names itself as its parent
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

Bytes Folder(uint64_t parent, const std::u16string& name, uint8_t flags = 3) {
    ntfs_test::RecordBuilder b(flags);
    b.Resident(0x30, ntfs_test::FileNameValue(parent, 1234, kNameSpaceWin32, name));
    return b.Finish();
}

TEST(NtfsScan, RecordsFollowTheRunsSectorBySector) {
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

TEST(NtfsScan, DamagedRecordsAreSkippedAndAttributeListsBounded) {
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
    Bytes disk(17 * kSectorSize);   // the $MFT from sector 1: a run at sector 0 reads as sparse
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

} // namespace
