// The Deep scan and assembly on media made at test time whose partition table, boot sectors or
// FATs are gone: every live and intact deleted folder of the truth file is found with its volume's
// geometry, and every such file read back through that geometry has its sha256.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "fsrecovery/pure/deep_assembly.h"
#include "fsrecovery/pure/deep_results.h"
#include "fsrecovery/pure/file_copy.h"
#include "fsrecovery/pure/result_tree.h"
#include "tests/pure/fs_image_walk.h"
#include "tests/pure/sha256_util.h"
#include "tests/pure/storage_test_util.h"

namespace {

using fs_walk::TruthLine;

std::string ImagePath(const std::string& image)
{
    return storage_test::ImagesDir() + "/" + image;
}

std::vector<TruthLine> Truth(const std::string& image)
{
    std::ifstream in(ImagePath(image) + ".truth.tsv");
    return fs_walk::ParseTruth(in);
}

// Partition index -> first sector, from IMAGE.layout.tsv.
std::map<int, uint64_t> LayoutStarts(const std::string& image)
{
    std::map<int, uint64_t> starts;
    std::ifstream in(ImagePath(image) + ".layout.tsv");
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream cells(line);
        int index = 0;
        std::string type;
        uint64_t start = 0;
        cells >> index >> type >> start;
        starts[index] = start;
    }
    return starts;
}

std::string Sha(SectorSource& src, const std::vector<CopyExtent>& extents, uint64_t size)
{
    test_sha256::Sha256 sha;
    CopyExtents(src, extents, size, kCopyReadSectors, [&](const uint8_t* p, size_t n) {
        sha.Update(p, n);
        return true;
    });
    return sha.HexDigest();
}

// What one volume shows: folder paths (ending in "/") with their deleted flag, file paths with
// the sha256 of their bytes.
struct Shown {
    std::map<std::string, bool> folders;
    std::map<std::string, std::set<std::string>> files;
};

// A FAT file's clusters: its chain when the FAT gives exactly as many as its size needs, else
// (a deleted file, a FAT that is gone) as many in a row from its first.
std::string FatFileSha(SectorSource& src, const DeepFatVolume& v, const FatListedEntry& e)
{
    const uint64_t size = e.entry.size;
    const uint64_t needed = ClustersForSize(size, v.sectorsPerCluster);
    std::vector<uint32_t> chain;
    WalkFatChain(src, DeepFatChainGeometry(v), e.firstCluster, needed + 1, {}, chain);
    std::vector<CopyExtent> extents;
    if (chain.size() == needed)
        FatChainExtents(chain, v.sectorsPerCluster, v.cluster0Start, extents);
    else
        FatContiguousExtents(e.firstCluster, needed, v.sectorsPerCluster, v.cluster0Start, extents);
    return Sha(src, extents, size);
}

// Names the volume's folders level by level from the root, as the results tree does when its
// folders are opened, and reads every file of every folder.
Shown ShowFatVolume(SectorSource& src, const DeepFatVolume& v, std::vector<DeepFolderRow> rows)
{
    Shown shown;
    std::vector<std::pair<uint32_t, std::string>> pending{ { 0, "/" } };
    std::map<uint32_t, bool> deletedFolder{ { 0, false } };
    std::set<uint32_t> visited;
    while (!pending.empty()) {
        const uint32_t cluster = pending.back().first;
        const std::string path = pending.back().second;
        pending.pop_back();
        if (!visited.insert(cluster).second)
            continue;
        NameFatChildFolders(src, v, cluster, rows);
        for (const DeepFolderRow& row : rows) {
            if (row.parent != cluster || row.self == cluster)
                continue;
            const std::string child = path + ToUtf8(row.name) + "/";
            deletedFolder[uint32_t(row.self)] = row.deleted || deletedFolder[cluster];
            shown.folders[child] = deletedFolder[uint32_t(row.self)];
            pending.push_back({ uint32_t(row.self), child });
        }
        ForEachFatDirectoryEntry(src, v, cluster, false, nullptr, [&](const FatListedEntry& e) {
            shown.files[path + ToUtf8(e.name)].insert(FatFileSha(src, v, e));
        });
    }
    return shown;
}

// The truth's promises for one volume (its lines with the prefix), against what it shows.
void ExpectTruthShown(const std::vector<TruthLine>& truth, const std::string& prefix, const Shown& shown)
{
    size_t checked = 0;
    for (const TruthLine& t : truth) {
        if (t.path.compare(0, prefix.size(), prefix) != 0 || t.state == "overwritten")
            continue;
        const std::string path = t.path.substr(prefix.size());
        ++checked;
        if (t.isDir()) {
            auto found = shown.folders.find(path);
            ASSERT_NE(found, shown.folders.end()) << prefix << path;
            EXPECT_EQ(found->second, t.state == "deleted") << prefix << path;
        } else {
            auto found = shown.files.find(path);
            ASSERT_NE(found, shown.files.end()) << prefix << path;
            EXPECT_TRUE(found->second.count(t.sha256)) << prefix << path;
        }
    }
    EXPECT_GE(checked, 10u) << prefix;
}

struct FatFinds {
    std::unique_ptr<FileSectorSource> src;
    DeepScanFinds finds;
    std::vector<DeepFatVolume> volumes;
    std::vector<std::vector<DeepFolderRow>> rows;
};

bool ScanFat(const std::string& image, bool fat32, FatFinds& out)
{
    out.src = std::make_unique<FileSectorSource>(ImagePath(image));
    if (storage_test::ImagesDir().empty() || !out.src->IsOpen())
        return false;
    RunDeepScan(*out.src, 0, out.src->SizeBytes() / kSectorSize, { true, false }, out.finds);
    const bool rootHoldsFiles =
        !out.finds.fatBoots.empty() && CheckFatRootDirectory(*out.src, out.finds.fatBoots[0]) == 2;
    out.volumes = AssembleFatVolumes(out.finds.fatBoots, out.finds.fatDirs, fat32, rootHoldsFiles);
    for (DeepFatVolume& v : out.volumes) {
        if (v.inferred)
            LocateFatCopies(*out.src, v);
    }
    out.rows = DeepFatFolderRows(out.finds.fatDirs, out.volumes.size());
    return true;
}

} // namespace

// Three volumes behind a wiped partition table: two small FAT16 volumes whose folders have the
// same cluster numbers, each counting its sectors in the 16-bit field, and a FAT32 volume. Each is
// found from its own boot sector, and each file is read with its own volume's geometry.
TEST(DeepImages, DiskWithoutPartitionTable)
{
    FatFinds f;
    if (!ScanFat("deepdisk.img", false, f))
        GTEST_SKIP() << "ZR_IMAGES not set or image missing";
    const std::vector<TruthLine> truth = Truth("deepdisk.img");
    const std::map<int, uint64_t> starts = LayoutStarts("deepdisk.img");
    ASSERT_EQ(f.volumes.size(), 3u);
    const uint32_t clusterSizes[] = { 2, 4, 1 };
    for (int index = 1; index <= 3; ++index) {
        const DeepFatVolume& v = f.volumes[size_t(index - 1)];
        EXPECT_FALSE(v.inferred);
        EXPECT_EQ(v.sector, starts.at(index));
        EXPECT_EQ(v.sectorsPerCluster, clusterSizes[index - 1]);
        EXPECT_EQ(v.fat32, index == 3);
        ExpectTruthShown(truth, std::to_string(index) + ":", ShowFatVolume(*f.src, v, f.rows[size_t(index - 1)]));
    }
}

// FAT32 without boot sector, backup and FATs: cluster size and cluster 0 come from the directory
// clusters, the root from cluster 2, and files from their first cluster on.
TEST(DeepImages, Fat32WithoutBootSectorAndFats)
{
    FatFinds f;
    if (!ScanFat("deepfat32.img", true, f))
        GTEST_SKIP() << "ZR_IMAGES not set or image missing";
    ASSERT_TRUE(f.finds.fatBoots.empty());
    ASSERT_EQ(f.volumes.size(), 1u);
    EXPECT_TRUE(f.volumes[0].inferred);
    EXPECT_EQ(f.volumes[0].sectorsPerCluster, 1u);
    EXPECT_EQ(f.volumes[0].firstFat, 0u); // the FATs are gone
    ExpectTruthShown(Truth("deepfat32.img"), "", ShowFatVolume(*f.src, f.volumes[0], f.rows[0]));
}

// A FAT16 volume whose boot sector says 0 sectors per cluster: the boot sector gives no volume,
// the directories give the geometry and the FATs are found by their signature.
TEST(DeepImages, Fat16WhoseBootSectorIsUnusable)
{
    FatFinds f;
    if (!ScanFat("fatzero.img", false, f))
        GTEST_SKIP() << "ZR_IMAGES not set or image missing";
    ASSERT_EQ(f.finds.fatBoots.size(), 1u);
    ASSERT_EQ(f.volumes.size(), 1u);
    EXPECT_TRUE(f.volumes[0].inferred);
    EXPECT_EQ(f.volumes[0].sectorsPerCluster, 4u);
    EXPECT_NE(f.volumes[0].firstFat, 0u);
    // Its names are 8.3 only (a deleted one loses its first letter): files are known by their bytes.
    const Shown shown = ShowFatVolume(*f.src, f.volumes[0], f.rows[0]);
    std::set<std::string> folders, shas;
    for (const auto& folder : shown.folders)
        folders.insert(fs_walk::Lower(folder.first));
    for (const auto& file : shown.files)
        shas.insert(file.second.begin(), file.second.end());
    for (const TruthLine& t : Truth("fatzero.img"))
        EXPECT_TRUE(t.isDir() ? folders.count(fs_walk::Lower(t.path)) : shas.count(t.sha256)) << t.path;
}

namespace {

// What the carved records of one store volume show: folder paths, and every file read with the
// geometry of its record's volume.
Shown ShowNtfs(SectorSource& src, FoundStore& store, uint32_t volume, const NtfsGeometryMap& map)
{
    std::map<uint64_t, size_t> bySelf;
    for (size_t i = 0; i < store.EntryCount(); ++i)
        if (store.Entry(i).volume == volume && store.Entry(i).self != kMissingParentId)
            bySelf[store.Entry(i).self] = i;
    auto pathOf = [&](uint64_t folder) {
        std::string path = "/";
        for (int depth = 0; folder != 5 && bySelf.count(folder) && depth < 64; ++depth) {
            path = "/" + ToUtf8(store.EntryName(bySelf[folder])) + path;
            folder = store.Entry(bySelf[folder]).parent;
        }
        return folder == 5 ? path : std::string("?");
    };
    Shown shown;
    for (const auto& [self, row] : bySelf)
        shown.folders[pathOf(self)] = store.Entry(row).deleted;
    for (size_t i = 0; i < store.NtfsFileCount(); ++i) {
        const NtfsFileRow& file = store.NtfsFile(i);
        if (file.volume != volume)
            continue;
        uint8_t raw[kMftRecordSize];
        CarvedMftRecord record;
        EXPECT_EQ(src.Read(file.sector, 2, raw), kMftRecordSize);
        EXPECT_TRUE(DecodeCarvedMftRecord(raw, file.sector, record));
        const NtfsVolumeGeometry& g = map.ForRecord(file.sector);
        std::string sha;
        if (record.data == CarvedMftRecord::Data::Resident) {
            ApplyNtfsFixup(raw, sizeof raw);
            test_sha256::Sha256 hash;
            hash.Update(raw + record.residentOffset, size_t(record.dataSize));
            sha = hash.HexDigest();
        } else {
            std::vector<CopyExtent> extents;
            NtfsRunExtents(record.runs, g.sectorsPerCluster, g.cluster0, extents);
            sha = Sha(src, extents, record.dataSize);
        }
        shown.files[pathOf(file.parent) + ToUtf8(store.NtfsFileName(i))].insert(sha);
    }
    return shown;
}

} // namespace

// NTFS without its boot sector: the records are carved from the $MFT, the geometry comes from
// the two copies of record 0 (and agrees with the backup boot sector in the volume's last
// sector), and every file reads back whole.
TEST(DeepImages, NtfsWithoutBootSector)
{
    FileSectorSource src(ImagePath("deepntfs.img"));
    if (storage_test::ImagesDir().empty() || !src.IsOpen())
        GTEST_SKIP() << "ZR_IMAGES not set or image missing";
    FoundStore store;
    DeepNtfsStoreSink rows(store);
    const uint64_t sectors = src.SizeBytes() / kSectorSize;
    RunDeepScan(src, 0, sectors, { false, true }, rows);
    EXPECT_EQ(ChooseNtfsSectorsPerCluster(rows.boots, 0), 4u);
    const NtfsGeometryMap map = InferNtfsVolumeGeometry(rows.systemRecords, rows.boots, { 0 }, 0);
    ASSERT_EQ(map.volumes.size(), 1u);
    EXPECT_EQ(map.volumes[0].cluster0, 0u);
    EXPECT_EQ(map.volumes[0].sectorsPerCluster, 4u);
    EXPECT_EQ(map.volumes[0].totalSectors, sectors - 1);
    FinishDeepNtfsStore(store, map, L"d", 0, sectors, 0);
    ExpectTruthShown(Truth("deepntfs.img"), "", ShowNtfs(src, store, 0, map));
}

// Three NTFS volumes (1, 4 and 8 sectors per cluster) behind a wiped partition table, without
// boot sectors but for a backup whose cluster size and $MFT clusters are damaged: each volume's
// geometry comes from its records, and every live and deleted file reads back whole.
TEST(DeepImages, NtfsDiskWithoutPartitionTableOrBootSectors)
{
    FileSectorSource src(ImagePath("deepntfsdisk.img"));
    if (storage_test::ImagesDir().empty() || !src.IsOpen())
        GTEST_SKIP() << "ZR_IMAGES not set or image missing";
    DeepScanFinds finds;
    RunDeepScan(src, 0, src.SizeBytes() / kSectorSize, { false, true }, finds);
    ASSERT_EQ(finds.ntfsBoots.size(), 1u);
    EXPECT_EQ(finds.ntfsBoots[0].sectorsPerCluster, 8u); // the damaged backup
    std::vector<NtfsSystemRecord> system;
    for (const CarvedMftRecord& record : finds.records)
        NoteNtfsSystemRecord(record, system);
    const NtfsGeometryMap map = InferNtfsVolumeGeometry(system, finds.ntfsBoots, {}, 0);
    const std::map<int, uint64_t> starts = LayoutStarts("deepntfsdisk.img");
    ASSERT_EQ(map.volumes.size(), 3u);
    // The volumes' folders share record numbers and names: each volume's records make its rows.
    FoundStore store;
    DeepNtfsStoreSink rows(store);
    for (const CarvedMftRecord& record : finds.records)
        rows.MftRecord(record);
    FinishDeepNtfsStore(store, map, L"d", 0, src.SizeBytes() / kSectorSize, 0);
    const uint32_t clusterSizes[] = { 1, 4, 8 };
    for (int index = 1; index <= 3; ++index) {
        const NtfsVolumeGeometry& v = map.volumes[size_t(index - 1)];
        EXPECT_EQ(v.basis, NtfsGeometryBasis::MftAndMirror);
        EXPECT_EQ(v.cluster0, starts.at(index));
        EXPECT_EQ(v.sectorsPerCluster, clusterSizes[index - 1]);
        ExpectTruthShown(Truth("deepntfsdisk.img"), std::to_string(index) + ":",
                         ShowNtfs(src, store, uint32_t(index - 1), map));
    }
}

// The whole disk scanned: the mirror of each volume holds copies of its first four records, which
// are the same files as the $MFT's, listed once per volume.
TEST(DeepImages, NtfsDiskListsEachVolumesSystemFilesOnce)
{
    FileSectorSource src(ImagePath("deepntfsdisk.img"));
    if (storage_test::ImagesDir().empty() || !src.IsOpen())
        GTEST_SKIP() << "ZR_IMAGES not set or image missing";
    const uint64_t sectors = src.SizeBytes() / kSectorSize;
    FoundStore store;
    DeepNtfsStoreSink rows(store);
    RunDeepScan(src, 0, sectors, { false, true }, rows);
    const NtfsGeometryMap map = InferNtfsVolumeGeometry(rows.systemRecords, rows.boots, {}, 0);
    ASSERT_EQ(map.volumes.size(), 3u);
    FinishDeepNtfsStore(store, map, L"d", 0, sectors, 0);
    // The files of each volume's root, as its listing shows them.
    std::map<CString, std::map<uint32_t, int>> seen;
    for (uint32_t volume = 0; volume < store.VolumeCount(); ++volume) {
        const auto rootFiles = store.NtfsFilesOf(volume, 5);
        for (const uint32_t* row = rootFiles.first; row != rootFiles.second; ++row)
            ++seen[store.NtfsFileName(*row)][volume];
    }
    for (const wchar_t* name : { L"$MFT", L"$MFTMirr", L"$LogFile", L"$Volume", L"$AttrDef", L"$Bitmap" }) {
        SCOPED_TRACE(ToUtf8(name));
        ASSERT_EQ(seen[name].size(), 3u);
        for (const auto& [volume, count] : seen[name])
            EXPECT_EQ(count, 1) << volume;
    }
}
