// The decoders against the test images (ZR_IMAGES): every live and intact deleted file of a
// volume's truth file is found by its name and read back with the right contents.
#include <gtest/gtest.h>

#include "tests/pure/fs_image_walk.h"
#include "tests/pure/storage_test_util.h"

namespace {

struct Image {
    std::unique_ptr<FileSectorSource> source;
    std::vector<fs_walk::TruthLine> truth;

    explicit Image(const std::string& name)
    {
        const std::string dir = storage_test::ImagesDir();
        if (dir.empty())
            return;
        source = std::make_unique<FileSectorSource>(dir + "/" + name);
        std::ifstream in(dir + "/" + name + ".truth.tsv");
        truth = fs_walk::ParseTruth(in);
    }
    bool Open() const { return source && source->IsOpen() && !truth.empty(); }
};

class VolumeImage : public ::testing::TestWithParam<const char*> {};

TEST_P(VolumeImage, EveryFileOfTheTruthFoundAndReadBack)
{
    Image image(GetParam());
    if (!image.Open())
        GTEST_SKIP() << "ZR_IMAGES not set or image missing";
    const bool ntfs = std::string(GetParam()).rfind("ntfs", 0) == 0;
    MftRunTableRecord table;
    const std::vector<fs_walk::Found> found =
        ntfs ? fs_walk::WalkNtfs(*image.source, 0, &table) : fs_walk::WalkFat(*image.source, 0);
    fs_walk::CheckAgainstTruth(image.truth, found);
    // The fragmented file must come back whole.
    EXPECT_TRUE(std::any_of(found.begin(), found.end(), [](const fs_walk::Found& f) {
        return fs_walk::Lower(f.path) == "/photos/album/panorama.jpg";
    }));
}

INSTANTIATE_TEST_SUITE_P(Volumes, VolumeImage,
                         ::testing::Values("ntfs.img", "ntfs512.img", "fat16.img", "fat32.img"));

// A $MFT in hundreds of pieces, the last named by an extension record that record 0's
// non-resident attribute list points to: every file is still found.
TEST(NtfsFragmentedMft, EveryFileFoundThroughTheExtensionRecord)
{
    Image image("ntfsfrag.img");
    if (!image.Open())
        GTEST_SKIP() << "ZR_IMAGES not set or image missing";
    MftRunTableRecord table;
    const std::vector<fs_walk::Found> found = fs_walk::WalkNtfs(*image.source, 0, &table);
    EXPECT_GT(table.count(), 100u);
    fs_walk::CheckAgainstTruth(image.truth, found, 0);

    // Record 0's own runs alone cover less than the table.
    uint8_t boot[kSectorSize], record0[kMftRecordSize];
    ASSERT_TRUE(image.source->ReadSector(0, boot));
    const NtfsBootFields f = ReadNtfsBootFields(boot);
    ASSERT_NE(image.source->Read(f.mftCluster * f.sectorsPerCluster, 2, record0), 0u);
    ApplyNtfsFixup(record0, sizeof record0);
    NtfsAttribute data;
    ASSERT_TRUE(FindNtfsAttribute(record0, sizeof record0, kAttrData, true, data));
    std::vector<ClusterRun> runs;
    DecodeMappingPairs(record0 + data.valueOffset, data.valueLength, runs);
    MftRunTableRecord own;
    AppendRunsAsSectors(runs, 0, f.sectorsPerCluster, own);
    EXPECT_LT(own.totalSectors(), table.totalSectors());
}

}  // namespace
