// The decoders against the test images (ZR_IMAGES): every live and intact deleted file of a
// volume's truth file is found by its name and read back through its data runs or cluster
// chain with the right contents.
#include <gtest/gtest.h>

#include "tests/pure/fs_image_walk.h"
#include "tests/pure/storage_test_util.h"

namespace {

using fs_walk::Found;
using fs_walk::TruthLine;
using fs_walk::CheckAgainstTruth;

struct Image {
    std::unique_ptr<FileSectorSource> source;
    std::vector<TruthLine> truth;
};

bool OpenImage(const std::string& name, Image& image)
{
    const std::string dir = storage_test::ImagesDir();
    if (dir.empty())
        return false;
    image.source = std::make_unique<FileSectorSource>(dir + "/" + name);
    std::ifstream truth(dir + "/" + name + ".truth.tsv");
    image.truth = fs_walk::ParseTruth(truth);
    return image.source->IsOpen() && !image.truth.empty();
}

}  // namespace

class NtfsImage : public ::testing::TestWithParam<const char*> {};

TEST_P(NtfsImage, EveryFileOfTheTruthFoundAndReadBack)
{
    Image image;
    if (!OpenImage(GetParam(), image))
        GTEST_SKIP() << "ZR_IMAGES not set or image missing";
    MftRunTableRecord table;
    const std::vector<Found> found = fs_walk::WalkNtfs(*image.source, 0, &table);
    ASSERT_GT(table.count(), 0u);
    CheckAgainstTruth(image.truth, found);
    // The fragmented file must come back whole.
    bool panorama = false;
    for (const Found& f : found)
        panorama |= f.path == "/PHOTOS/Album/panorama.jpg";
    EXPECT_TRUE(panorama);
}

INSTANTIATE_TEST_SUITE_P(Volumes, NtfsImage, ::testing::Values("ntfs.img", "ntfs512.img"));

// A $MFT in hundreds of pieces, the last of them named by an extension record that the
// non-resident attribute list of record 0 points to: every file is still found.
TEST(NtfsFragmentedMft, EveryFileFoundThroughTheExtensionRecord)
{
    Image image;
    if (!OpenImage("ntfsfrag.img", image))
        GTEST_SKIP() << "ZR_IMAGES not set or image missing";
    uint8_t boot[kSectorSize];
    ASSERT_TRUE(image.source->ReadSector(0, boot));
    const NtfsBootFields f = ReadNtfsBootFields(boot);
    uint8_t record0[kMftRecordSize];
    ASSERT_NE(image.source->Read(f.mftCluster * f.sectorsPerCluster, 2, record0), 0u);
    ApplyNtfsFixup(record0, sizeof record0);
    const std::vector<uint64_t> extensions =
        CollectMftExtensionRecords(*image.source, record0, 0, f.sectorsPerCluster);
    ASSERT_GE(extensions.size(), 2u);                  // record 0 and at least one more

    MftRunTableRecord table;
    const std::vector<Found> found = fs_walk::WalkNtfs(*image.source, 0, &table);
    EXPECT_GT(table.count(), 100u);
    CheckAgainstTruth(image.truth, found, 0);

    // Without the extension record's runs the last records are out of reach.
    MftRunTableRecord own;
    NtfsAttribute data;
    ASSERT_TRUE(FindNtfsAttribute(record0, sizeof record0, kAttrData, true, data));
    std::vector<ClusterRun> runs;
    DecodeMappingPairs(record0 + data.valueOffset, data.valueLength, runs);
    AppendRunsAsSectors(runs, 0, f.sectorsPerCluster, own);
    EXPECT_LT(own.totalSectors(), table.totalSectors());
}

class FatImage : public ::testing::TestWithParam<const char*> {};

TEST_P(FatImage, EveryFileOfTheTruthFoundAndReadBack)
{
    Image image;
    if (!OpenImage(GetParam(), image))
        GTEST_SKIP() << "ZR_IMAGES not set or image missing";
    CheckAgainstTruth(image.truth, fs_walk::WalkFat(*image.source, 0));
}

INSTANTIATE_TEST_SUITE_P(Volumes, FatImage, ::testing::Values("fat16.img", "fat32.img"));
