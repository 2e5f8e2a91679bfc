// NTFS structures read through the Windows sector reader on \\.\Y: (ntfs.img): the MFT run
// table, named records, and a fragmented file's runs checked against the truth file.
#include <gtest/gtest.h>

#include <fstream>

#include "common/images.h"
#include "storage/fsstructs.h"
#include "storage/pure/bootsector.h"
#include "storage/pure/globals.h"
#include "storage/sectorreader.h"
#include "tests/pure/fs_image_walk.h"

namespace {

const wchar_t kNtfsDevice[] = L"\\\\.\\Y:";

// The sha256 the truth file gives panorama.jpg, the file made to lie in pieces.
std::string PanoramaSha(const wchar_t* image)
{
    std::ifstream in(zr_test::Narrow(zr_test::ImagePath(std::wstring(image) + L".truth.tsv")));
    for (const auto& t : fs_walk::ParseTruth(in))
        if (t.path == "/PHOTOS/Album/panorama.jpg" && t.state == "live")
            return t.sha256;
    return "";
}

class FsStructs : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (zr_test::ImagesDir().empty())
            GTEST_SKIP() << "ZR_IMAGES not set";
        PlatformProbe();
        StopFolderRead = 0;
    }
};

}  // namespace

TEST_F(FsStructs, NtfsRunTableAndNamedRecordsThroughTheReader)
{
    uint8_t boot[512];
    ASSERT_EQ(ReadSectors(kNtfsDevice, uint64_t(0), 1, boot), 1u);
    const NtfsBootFields f = ReadNtfsBootFields(boot);
    const uint64_t mftStart = f.mftCluster * f.sectorsPerCluster;
    MftRunTable.clear();
    LoadMftRunTable(0, kNtfsDevice, 110, mftStart, f.sectorsPerCluster);
    ASSERT_GT(MftRunTable.count(), 0u);

    // Album found by the scan's reader, panorama.jpg by the list's, then read through its runs.
    CurrentDevicePath = kNtfsDevice;
    NameFilesToo = 1;
    uint64_t albumRecord = 0, panoramaSector = 0;
    const uint64_t records = MftRunTable.totalSectors() / 2;
    for (uint64_t n = 16; n < records && (!albumRecord || !panoramaSector); ++n) {
        uint64_t at = 0;
        if (!MftRecordToLba(n, &at))
            continue;
        CString folder;
        uint32_t parent = 0;
        uint64_t created = 0;
        for (int ns : {kNameSpaceWin32, kNameSpaceWin32AndDos, kNameSpacePosix})
            if (ParseMftRecord(at, &parent, &created, ns, folder))
                break;
        if (folder == L"Album")
            albumRecord = n;
        uint8_t rec[1024];
        if (ReadSectors(CurrentDevicePath, at, 2, rec) != 1)
            continue;
        ApplyNtfsFixup(rec, sizeof rec);
        CString name;
        for (int ns : {kNameSpaceWin32, kNameSpaceWin32AndDos, kNameSpacePosix})
            if (ReadMftRecordName(rec, &parent, &created, ns, name))
                break;
        if (name == L"panorama.jpg")
            panoramaSector = at;
    }
    NameFilesToo = 0;
    ASSERT_NE(albumRecord, 0u);
    ASSERT_NE(panoramaSector, 0u);

    uint8_t rec[1024];
    ASSERT_EQ(ReadSectors(CurrentDevicePath, panoramaSector, 2, rec), 1u);
    ApplyNtfsFixup(rec, sizeof rec);
    size_t dataAt = 0;
    ASSERT_EQ(FindUnnamedDataAttribute(rec, &dataAt), 2);
    ASSERT_EQ(DecodeDataRuns(sizeof rec, rec, dataAt), 1);
    EXPECT_GE(DataRunList.size(), 3u);
    KeptHandleSectorSource device(kNtfsDevice);
    std::vector<uint8_t> data;
    ASSERT_TRUE(fs_walk::ReadRuns(device, 0, f.sectorsPerCluster, DataRunList, Le64At(rec + dataAt + 48), data));
    EXPECT_EQ(zr_test::Sha256Hex(data), PanoramaSha(L"ntfs.img"));
}
