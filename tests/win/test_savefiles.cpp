// The writers against an existing file at the destination and against destinations they must refuse.

#include "app/maindlg.h"
#include "app/questions.h"
#include "bench/synth_volumes.h"
#include "common/basic_search_fixture.h"
#include "common/images.h"
#include "fsrecovery/pure/save_names.h"
#include "fsrecovery/savefiles.h"
#include "resources/resource.h"
#include "storage/pure/globals.h"
#include "storage/sector_source.h"

namespace {

using namespace zr_test;

// The README of the FAT32 image as a save item "a.txt", into a destination that holds an a.txt.
class ExistingFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (ImagesDir().empty())
            GTEST_SKIP() << "ZR_IMAGES not set";
        PlatformProbe();
        g_boxes.clear();
        g_boxAnswer = IDOK;
        oldHook = ZrSetMessageBoxHook(RecordBox);
        volume.devicePath = L"\\\\.\\X:";
        volume.kind = FsKind::Fat32;
        KeptHandleSectorSource src(volume.devicePath);
        fs_walk::FatVolume v;
        ASSERT_TRUE(fs_walk::ReadFatVolume(src, 0, v));
        volume.params.sectorsPerCluster = v.spc;
        volume.params.sectorsPerFat = v.sectorsPerFat;
        volume.params.cluster0Start = v.dataStart - 2ull * v.spc;
        volume.params.firstFatSector = uint32_t(v.fatStart);
        volume.params.secondFatSector = uint32_t(v.fatStart + v.sectorsPerFat);
        volume.params.partitionType = L"FAT32";
        item.volume = &volume;
        for (const fs_walk::Found& f : fs_walk::WalkFat(src, 0))
            if (f.path == "/README.TXT")
                item.file.firstCluster = f.firstCluster;
        ASSERT_NE(0u, item.file.firstCluster);
        item.file.name = L"a.txt";
        item.file.size = 1530;
        FreshDestination();
    }
    void FreshDestination()
    {
        TakeSavedFiles(std::wstring(dest.GetString()), "", leftOver);
        dest = NewTempFolder(L"zr_save");
        HANDLE h = ::CreateFileW(Existing(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD n = 0;
        ::WriteFile(h, "old", 3, &n, nullptr);
        ::CloseHandle(h);
    }
    void TearDown() override
    {
        ZrSetMessageBoxHook(oldHook);
        TakeSavedFiles(std::wstring(dest.GetString()), "", leftOver);
    }
    CString Existing() const { return dest + L"\\a.txt"; }

    ZrMessageBoxHook oldHook = nullptr;
    CString dest;
    FoundVolume volume;
    std::map<std::string, std::string> leftOver;
    SaveItem item;
    const std::string readme = "eb472b6fe87a5019f941f1c5d555adf2cdca87a315267014eb25622796dc4f05";
};

TEST_F(ExistingFileTest, EachAnswerToTheExistingFileQuestion)
{
    const std::string old = Sha256Hex("old", 3);
    struct Case {
        int policy; // set before the save; -1: answered in the question
        int button;
        bool overwritten;
        bool renamed; // the README written as a_kx_0.txt beside the old file
        uint64_t saved;
    } cases[] = {
        { 2, 0, true, false, 1 },
        { 3, 0, false, false, 0 },
        { 5, 0, false, true, 1 },
        { -1, IDOK, true, false, 1 },
        { -1, IDCANCEL, false, false, 0 },
        { -1, IDC_RPL_RENAME, false, true, 1 },
        { -1, IDC_RPL_CANCEL, false, false, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "policy " << c.policy << " button " << c.button);
        FreshDestination();
        uint64_t saved = 0;
        bool aborted = false;
        if (c.policy >= 0) {
            // A policy left by an earlier "all" answer holds for the next files.
            WriteState state;
            state.existing.FileExistsPolicy = c.policy;
            CString path = Existing(), name = L"a.txt";
            saved =
                SaveFatFile(volume, path, name, item.file.size, item.file.firstCluster, 1, state) == SaveOutcome::Saved;
            aborted = IsStopped(&state.stop);
        } else {
            DialogAnswerer answer(IDC_RPL_RENAME, c.button);
            const SaveCounts counts = SaveFoundItems({ item }, dest, nullptr, true);
            saved = counts.saved;
            aborted = counts.aborted;
            EXPECT_EQ(1, answer.Count());
        }
        EXPECT_EQ(c.saved, saved);
        EXPECT_EQ(c.overwritten ? readme : old, FileSha(Existing()));
        if (c.renamed) {
            EXPECT_EQ(readme, FileSha(dest + L"\\a_kx_0.txt"));
        }
        EXPECT_EQ(c.button == IDC_RPL_CANCEL, aborted);
    }
}

// A save stopped in the file-exists question leaves nothing to the next save: its stop and its
// "skip all" are its own, and the next save asks again and does as told.
TEST_F(ExistingFileTest, ASaveCancelledInTheQuestionLeavesTheNextSaveItsOwnAnswers)
{
    SaveCounts first;
    {
        DialogAnswerer cancel(IDC_RPL_RENAME, IDC_RPL_CANCEL);
        first = SaveFoundItems({ item }, dest, nullptr, true);
        EXPECT_EQ(1, cancel.Count());
    }
    EXPECT_TRUE(first.aborted);
    EXPECT_EQ(Sha256Hex("old", 3), FileSha(Existing()));
    DialogAnswerer overwrite(IDC_RPL_RENAME, IDOK);
    const SaveCounts next = SaveFoundItems({ item }, dest, nullptr, true);
    EXPECT_EQ(1, overwrite.Count());
    EXPECT_FALSE(next.aborted);
    EXPECT_EQ(1u, next.saved);
    EXPECT_EQ(readme, FileSha(Existing()));
}

// A free name is taken by creating the file before its data is looked for: a file whose data
// cannot be found then leaves no file of that name behind.
TEST_F(ExistingFileTest, AFileThatFailsAfterItsNameWasTakenLeavesNothing)
{
    SaveItem broken = item;
    broken.file.name = L"b.txt";
    broken.file.ntfs = true;
    broken.file.recordSector = 0; // the boot sector: no file record there
    broken.file.size = 100;
    const SaveCounts counts = SaveFoundItems({ broken }, dest, nullptr, true);
    EXPECT_EQ(counts.failed, 1u);
    EXPECT_EQ(counts.saved, 0u);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(dest + L"\\b.txt"));
}

// A file the destination refuses (one of that name held open by another program) is lost alone:
// it counts among the failed files, and the files after it are saved.
TEST_F(ExistingFileTest, ADestinationFileThatCannotBeMadeFailsAloneAndTheSaveGoesOn)
{
    HANDLE held = ::CreateFileW(Existing(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    SaveItem second = item;
    second.file.name = L"b.txt";
    SaveCounts counts;
    {
        DialogAnswerer overwrite(IDC_RPL_RENAME, IDOK); // which the held file refuses
        counts = SaveFoundItems({ item, second }, dest, nullptr, true);
    }
    ::CloseHandle(held);
    EXPECT_EQ(counts.saved, 1u);
    EXPECT_EQ(counts.failed, 1u);
    EXPECT_EQ(counts.skipped, 0u);
    EXPECT_FALSE(counts.aborted);
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_EQ(Sha256Hex("old", 3), FileSha(Existing()));
    EXPECT_EQ(readme, FileSha(dest + L"\\b.txt"));
}

// A full destination stops the save with a message: every later file would meet it too. Here
// a.txt is a full disk (set-up links it to /dev/full): the system refuses its bytes for want of
// space.
TEST_F(ExistingFileTest, AFullDestinationStopsTheSaveWithAMessage)
{
    const CString full = ImagePath(L"fulldisk").c_str();
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(full));
    SaveItem second = item;
    second.file.name = L"b.txt";
    SaveCounts counts;
    {
        DialogAnswerer overwrite(IDC_RPL_RENAME, IDOK); // should the system show a.txt as a file
        counts = SaveFoundItems({ item, second }, full, nullptr, true);
    }
    EXPECT_EQ(counts.saved, 0u);
    EXPECT_EQ(counts.failed, 1u);
    EXPECT_EQ(counts.skipped, 1u); // the save stopped before the next file
    EXPECT_TRUE(counts.aborted);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0], CString(kSaveWriteFailedText));
    EXPECT_EQ(::GetFileAttributesW(full + L"\\b.txt"), INVALID_FILE_ATTRIBUTES);
}

// A file refused part way for another reason than a full disk (here: the system's limit of 4 KiB
// a file, as a destination refuses a file too large for it) fails alone and leaves nothing behind;
// the smaller file after it is saved.
TEST_F(ExistingFileTest, AFileRefusedPartWayFailsAloneUnderAFileSizeLimit)
{
    if (std::getenv("ZR_FILE_SIZE_LIMIT") == nullptr)
        GTEST_SKIP() << "runs under test_savefiles_filesize";
    // A live file of the volume of some 16 KiB or more.
    KeptHandleSectorSource src(volume.devicePath);
    const std::vector<fs_walk::Found> walked = fs_walk::WalkFat(src, 0);
    SaveItem big = item;
    for (const TruthLine& e : LoadTruth(L"fat32.img"))
        if (!e.isDir() && e.state == "live" && e.notes.empty() && e.size > 16384 && e.size < 1000000)
            for (const fs_walk::Found& f : walked)
                if (f.path == e.path && big.file.size < 16384) {
                    big.file.firstCluster = f.firstCluster;
                    big.file.size = uint64_t(e.size);
                }
    ASSERT_GT(big.file.size, 16384u);
    big.file.name = L"big.bin";
    SaveItem small = item;
    small.file.name = L"small.txt";
    const SaveCounts counts = SaveFoundItems({ big, small }, dest, nullptr, true);
    EXPECT_EQ(counts.saved, 1u);
    EXPECT_EQ(counts.failed, 1u);
    EXPECT_FALSE(counts.aborted);
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(dest + L"\\big.bin"));
    EXPECT_EQ(readme, FileSha(dest + L"\\small.txt"));
}

// Writing there would overwrite the deleted data being recovered.
TEST_F(ExistingFileTest, ADestinationOnTheScannedVolumeIsRefused)
{
    EXPECT_EQ(SaveFoundItems({ item }, L"X:\\Recovered", nullptr, true).saved, 0u);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0], CString(kDestinationOnSourceText));
}

// Saving grows with the files, not faster: whatever their number, a save opens the device once,
// makes each folder once and paints its dialog far less often than once a file. A synthesized
// FAT32 volume of 1,000 and of 10,000 files of 4 KiB in folders of 100, every file of it saved.
TEST(SaveGrowthTest, WorkPerFileDoesNotGrowWithTheFiles)
{
    PlatformProbe();
    CDelvaneDlg main;
    SetSearchHost(&main);
    const ZrMessageBoxHook oldHook = ZrSetMessageBoxHook(RecordBox);
    g_boxes.clear();
    double perFile[2] = {};
    for (const uint64_t files : { 1000u, 10000u }) {
        SCOPED_TRACE(files);
        const bench::Fat32Layout layout(files);
        // The image lies on another drive than the destination: one on the same drive would be
        // refused as the drive being recovered.
        const CString image = L"Z:\\tmp\\zr_save_growth.img";
        if (!bench::WriteFat32Volume(std::wstring(image.GetString()), layout)) {
            SetSearchHost(nullptr);
            ZrSetMessageBoxHook(oldHook);
            GTEST_SKIP() << "no Z:\\tmp to write the volume to";
        }
        FoundVolume volume;
        volume.kind = FsKind::Fat32;
        volume.devicePath = image;
        volume.endSector = layout.sectors;
        volume.params.sectorsPerCluster = bench::Fat32Layout::kSpc;
        volume.params.sectorsPerFat = layout.fatSectors;
        volume.params.reservedSectors = bench::Fat32Layout::kReserved;
        volume.params.cluster0Start = layout.cluster0;
        volume.params.firstFatSector = bench::Fat32Layout::kReserved;
        volume.params.secondFatSector = bench::Fat32Layout::kReserved + layout.fatSectors;
        volume.params.partitionType = L"FAT32";
        std::vector<SaveItem> items;
        std::shared_ptr<const std::vector<CString>> folder;
        for (uint64_t j = 0; j < files; ++j) {
            if (j % bench::kFilesPerFolder == 0) {
                CString name;
                name.Format(L"DIR%05u", unsigned(j / bench::kFilesPerFolder));
                folder = std::make_shared<const std::vector<CString>>(std::vector<CString>{ L"Root", name });
            }
            SaveItem item;
            item.folders = folder;
            item.volume = &volume;
            item.file.name.Format(L"F%07u.TXT", unsigned(j));
            item.file.size = 4096;
            item.file.firstCluster = uint32_t(layout.FileCluster(j));
            items.push_back(item);
        }
        const CString destination = NewTempFolder(L"zr_growth");
        const SaveCounts counts = SaveFoundItems(items, destination, nullptr, true, &main);
        std::map<std::string, std::string> saved;
        TakeSavedFiles(std::wstring(destination.GetString()), "", saved);
        ::DeleteFileW(image);
        EXPECT_EQ(files, counts.saved);
        EXPECT_EQ(0u, counts.failed);
        // Every file holds the volume's zeros, so their bytes make one entry.
        EXPECT_EQ(1u, saved.size());
        EXPECT_EQ(1u, saved.count(Sha256Hex(std::vector<uint8_t>(4096))));
        const SaveWork work = counts.work;
        EXPECT_EQ(1u, work.deviceOpens);
        // "Root" and its folders, each once.
        EXPECT_EQ(1 + layout.folders, work.folderCreations);
        EXPECT_GE(work.viewUpdates, 1u); // the last figures at least
        EXPECT_LE(work.viewUpdates, files / 10);
        perFile[files == 1000u ? 0 : 1] = double(work.deviceOpens + work.folderCreations) / double(files);
    }
    EXPECT_LE(perFile[1], perFile[0]);
    EXPECT_TRUE(g_boxes.empty());
    SetSearchHost(nullptr);
    ZrSetMessageBoxHook(oldHook);
}

} // namespace
