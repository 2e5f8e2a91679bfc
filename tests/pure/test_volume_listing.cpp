// Listing a folder's files from its own volume: a FAT directory reads only as far as its end
// mark however far its chain claims to run, and an NTFS file's record is read once, its name and
// size kept for the next listing, whole even where the $MFT goes on in another run.
#include <gtest/gtest.h>

#include "fsrecovery/pure/volume_listing.h"
#include "tests/pure/ntfs_test_records.h"
#include "tests/pure/storage_test_util.h"

namespace {

using storage_test::CraftedDisk;
using storage_test::PutDirEntry;
using storage_test::PutLe32;

class Collect : public FileSink {
public:
    void Add(const FoundFileRef& file, const CString (&cells)[10]) override
    {
        names.push_back(file.name);
        sizes.push_back(cells[2]);
    }
    std::vector<CString> names, sizes;
};

// FAT32, one sector per cluster: the FAT at sector 32 (64 sectors), cluster 2 at sector 200.
constexpr uint64_t kFat = 32, kCluster0 = 198;

FoundVolume Fat32Volume()
{
    FoundVolume v;
    v.kind = FsKind::Fat32;
    v.params.sectorsPerCluster = 1;
    v.params.sectorsPerFat = 64;
    v.params.firstFatSector = uint32_t(kFat);
    v.params.cluster0Start = kCluster0;
    v.params.rootStart = 2;
    v.params.partitionType = L"FAT32";
    return v;
}

TEST(VolumeListing, AFatDirectoryEndsAtItsEndMarkWhereverItsChainRuns)
{
    CraftedDisk disk(1 << 16);
    // A damaged FAT whose chain runs from the folder's cluster through the whole table.
    for (uint32_t c = 2; c < 64 * 128; ++c)
        PutLe32(&disk.At(kFat + c / 128)[4 * (c % 128)], c + 1);
    const uint32_t folder = 5;
    uint8_t* dir = disk.At(kCluster0 + folder).data();
    PutDirEntry(dir, ".          ", 0x10, folder);
    PutDirEntry(dir + 32, "..         ", 0x10, 0);
    PutDirEntry(dir + 64, "A       TXT", 0x20, 9, 100);
    PutDirEntry(dir + 96, "B       TXT", 0x20, 10, 200);
    // entry 4 stays zero: the directory ends in its first cluster

    FoundStore store;
    store.AddVolume(Fat32Volume());
    Collect files;
    disk.reads = 0;
    ListFatFilesFrom(store, 0, folder, disk, nullptr, files);
    EXPECT_EQ(files.names, (std::vector<CString>{ L"A.TXT", L"B.TXT" }));
    EXPECT_EQ(files.sizes, (std::vector<CString>{ L"100", L"200" }));
    EXPECT_LE(disk.reads, 2); // the one directory sector, and no FAT sector before it is needed

    // A directory that goes on into its next cluster follows the chain there.
    PutDirEntry(dir + 128, "C       TXT", 0x20, 11, 300);
    for (int e = 5; e < 16; ++e)
        PutDirEntry(dir + 32 * e, "FILLER  BIN", 0x20, 12, 1);
    PutDirEntry(disk.At(kCluster0 + folder + 1).data(), "D       TXT", 0x20, 13, 400);
    Collect more;
    ListFatFilesFrom(store, 0, folder, disk, nullptr, more);
    ASSERT_EQ(more.names.size(), 15u);
    EXPECT_EQ(more.names.back(), L"D.TXT");
}

TEST(VolumeListing, AnNtfsFileRecordIsReadOnceAndKept)
{
    CraftedDisk disk(1 << 12);
    ntfs_test::RecordBuilder record(1);
    record.Resident(0x30, ntfs_test::FileNameValue(40, 7, kNameSpaceWin32, u"report.pdf"));
    record.Resident(0x80, std::vector<uint8_t>(123, 0x41));
    const std::vector<uint8_t> bytes = record.Finish();
    std::memcpy(disk.At(100).data(), bytes.data(), 512);
    std::memcpy(disk.At(101).data(), bytes.data() + 512, 512);

    FoundStore store;
    FoundVolume volume;
    volume.kind = FsKind::Ntfs;
    store.AddVolume(volume);
    NtfsFileRow row;
    row.parent = 40;
    row.sector = 100;
    store.AddNtfsFile(row, u""); // the scan names folders only
    for (int listing = 0; listing < 2; ++listing) {
        SCOPED_TRACE(listing);
        Collect files;
        disk.reads = 0;
        ListNtfsFilesFrom(store, 0, 40, disk, nullptr, files);
        EXPECT_EQ(files.names, (std::vector<CString>{ L"report.pdf" }));
        EXPECT_EQ(files.sizes, (std::vector<CString>{ L"123" }));
        EXPECT_EQ(disk.reads, listing == 0 ? 1 : 0);
    }
    Collect none;
    ListNtfsFilesFrom(store, 0, 41, disk, nullptr, none);
    EXPECT_TRUE(none.names.empty());

    // A record whose second sector lies in the next run of the $MFT (runs of an odd number of
    // sectors, with 512-byte clusters) is read along the $MFT, not from the sector after it.
    ntfs_test::RecordBuilder split(1);
    split.Resident(0x30, ntfs_test::FileNameValue(41, 7, kNameSpaceWin32, u"split.pdf"));
    split.Resident(0x80, std::vector<uint8_t>(45, 0x42));
    const std::vector<uint8_t> halves = split.Finish();
    std::memcpy(disk.At(200).data(), halves.data(), 512);
    std::memcpy(disk.At(300).data(), halves.data() + 512, 512);
    auto runs = std::make_shared<NtfsRecordIndex>();
    runs->mftRuns = { { 190, 300 }, { 11, 1 } }; // record 5: sectors 200 and 300
    volume.ntfsRecords = runs;
    row.volume = store.AddVolume(volume);
    row.parent = 41;
    row.sector = 200;
    store.AddNtfsFile(row, u"");
    Collect along;
    ListNtfsFilesFrom(store, row.volume, 41, disk, nullptr, along);
    EXPECT_EQ(along.names, (std::vector<CString>{ L"split.pdf" }));
    EXPECT_EQ(along.sizes, (std::vector<CString>{ L"45" }));
}

} // namespace
