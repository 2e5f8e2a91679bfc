// Saving found files from the test images with the real writers: every byte against the truth
// files, the file-exists answers, a destination that cannot be written, and opening for viewing.
#include <gtest/gtest.h>

#include <sstream>

#include "afxwin.h"
#include "app/maindlg.h"
#include "app/questions.h"
#include "fsrecovery/pure/save_names.h"
#include "fsrecovery/savefiles.h"
#include "resources/resource.h"
#include "storage/sectorreader.h"
#include "storage/pure/globals.h"
#include "storage/pure/namesanitiser.h"
#include "tests/pure/fs_image_walk.h"
#include "tests/win/common/images.h"
#include "tests/win/common/ui_wait.h"

namespace {

using namespace fs_walk;

// The parameters the writers need for the volume at start, from its boot sector.
FatVolumeParamsRecord VolumeParams(SectorSource& src, uint64_t start, bool ntfs)
{
    FatVolumeParamsRecord params;
    if (ntfs) {
        uint8_t boot[kSectorSize];
        if (src.ReadSector(start, boot))
            params.sectorsPerCluster = ReadNtfsBootFields(boot).sectorsPerCluster;
        params.cluster0Start = start;
        params.partitionType = L"NTFS";
        return params;
    }
    FatVolume v;
    if (!ReadFatVolume(src, start, v))
        return params;
    params.sectorsPerCluster = v.spc;
    params.sectorsPerFat = v.sectorsPerFat;
    params.cluster0Start = v.dataStart - 2ull * v.spc;
    params.firstFatSector = uint32_t(v.fatStart);
    params.secondFatSector = uint32_t(v.fatStart + v.sectorsPerFat);
    params.partitionType = v.fat32 ? L"FAT32" : L"FAT16";
    return params;
}

// A file the walk found as a save item: its folders and name from the found path.
SaveItem ItemOf(const Found& f, uint64_t size, const FatVolumeParamsRecord& params, const MftRunTableRecord& table)
{
    SaveItem item;
    std::stringstream parts(f.path.substr(1));
    for (std::string part; std::getline(parts, part, '/');)
        item.folders.push_back(CString(zr_test::Widen(part).c_str()));
    item.file.name = item.folders.back();
    item.folders.pop_back();
    item.file.size = size;
    item.file.firstCluster = f.firstCluster;
    item.file.ntfs = params.partitionType == L"NTFS";
    if (item.file.ntfs)
        MftRecordToLbaIn(f.record, table, &item.file.recordSector);
    item.volume = params;
    return item;
}

std::vector<uint8_t> FileBytes(const CString& path)
{
    return zr_test::ReadAt(std::wstring(path), 0, 1 << 27);
}

std::string FileSha(const CString& path)
{
    return zr_test::Sha256Hex(FileBytes(path));
}

// A fresh folder below the temporary folder, removed with everything in it.
class DestFolder {
public:
    DestFolder()
    {
        wchar_t base[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, base);
        m_path.Format(L"%sZrSave%u_%d", base, unsigned(::GetCurrentProcessId()), s_next++);
        Remove(m_path);
        ::CreateDirectoryW(m_path, nullptr);
    }
    ~DestFolder() { Remove(m_path); }
    const CString& Path() const { return m_path; }
    CString File(const wchar_t* name) const { return m_path + L"\\" + name; }

private:
    static void Remove(const CString& folder)
    {
        WIN32_FIND_DATAW d;
        HANDLE h = ::FindFirstFileW(folder + L"\\*", &d);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                const CString name = d.cFileName;
                if (name == L"." || name == L"..")
                    continue;
                const CString full = folder + L"\\" + name;
                if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    Remove(full);
                } else {
                    ::SetFileAttributesW(full, FILE_ATTRIBUTE_NORMAL);
                    ::DeleteFileW(full);
                }
            } while (::FindNextFileW(h, &d));
            ::FindClose(h);
        }
        ::RemoveDirectoryW(folder);
    }
    CString m_path;
    static int s_next;
};
int DestFolder::s_next = 0;

int CaptureBox(HWND, LPCWSTR text, LPCWSTR, UINT);
std::vector<CString> g_boxes;
int CaptureBox(HWND, LPCWSTR text, LPCWSTR, UINT)
{
    g_boxes.push_back(text);
    return IDOK;
}

class SaveFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (zr_test::ImagesDir().empty())
            GTEST_SKIP() << "ZR_IMAGES not set";
        PlatformProbe();
        g_boxes.clear();
        m_oldHook = ZrSetMessageBoxHook(CaptureBox);
        m_oldDevice = CurrentDevicePath;
    }
    void TearDown() override
    {
        ZrSetMessageBoxHook(m_oldHook);
        CurrentDevicePath = m_oldDevice;
        FileExistsPolicy = 0;
        SaveAborted = 0;
    }
    ZrMessageBoxHook m_oldHook = nullptr;
    CString m_oldDevice;
};

struct Volume {
    const wchar_t* device;
    const wchar_t* image;
    uint64_t start;
    bool ntfs;
    std::string truthPrefix;
};

TEST_F(SaveFilesTest, LiveAndDeletedFilesAreSavedByteExactUnderTheirFolders)
{
    const Volume volumes[] = {
        { L"\\\\.\\W:", L"fat16.img", 0, false, "" },
        { L"\\\\.\\X:", L"fat32.img", 0, false, "" },
        { L"\\\\.\\Y:", L"ntfs.img", 0, true, "" },
        { L"\\\\.\\PhysicalDrive2", L"mbr.img", 2048, false, "1:" },
    };
    for (const Volume& vol : volumes) {
        SCOPED_TRACE(zr_test::Narrow(vol.image));
        CurrentDevicePath = vol.device;
        KeptHandleSectorSource src(vol.device);
        MftRunTableRecord table;
        const std::vector<Found> found = vol.ntfs ? WalkNtfs(src, vol.start, &table) : WalkFat(src, vol.start);
        const FatVolumeParamsRecord params = VolumeParams(src, vol.start, vol.ntfs);
        ASSERT_FALSE(found.empty());

        // Every file the truth promises, matched to what the walk found.
        std::ifstream in(zr_test::Narrow(zr_test::ImagePath(vol.image)) + ".truth.tsv");
        std::vector<SaveItem> items;
        std::vector<std::string> wanted;
        int deleted = 0, fragmented = 0, empty = 0;
        for (const TruthLine& t : ParseTruth(in)) {
            if (t.isDir() || t.state == "overwritten" || t.notes.find("parent-overwritten") != std::string::npos ||
                t.path.compare(0, vol.truthPrefix.size(), vol.truthPrefix) != 0 ||
                (vol.ntfs && t.notes.find("filler") != std::string::npos))
                continue;
            const std::string path = t.path.substr(vol.truthPrefix.size());
            const Found* match = nullptr;
            for (const Found& f : found)
                if (!f.isDir && f.deleted == (t.state == "deleted") && PathMatches(path, f.path))
                    match = &f;
            // The walk reads the sector before a long name by number, which misses names that
            // cross into another 512-byte directory cluster of a partition.
            if (!match && vol.start != 0)
                continue;
            ASSERT_NE(match, nullptr) << path;
            items.push_back(ItemOf(*match, uint64_t(t.size), params, table));
            wanted.push_back(t.sha256);
            deleted += t.state == "deleted";
            fragmented += t.notes.find("fragmented") != std::string::npos;
            empty += t.size == 0;
        }
        DestFolder dest;
        const SaveCounts counts = SaveFoundItems(items, dest.Path(), nullptr, true);
        EXPECT_EQ(counts.saved, items.size());
        EXPECT_TRUE(g_boxes.empty());
        for (size_t i = 0; i < items.size(); ++i) {
            std::vector<CString> names = items[i].folders;
            names.push_back(items[i].file.name);
            CString saved;
            ASSERT_TRUE(JoinUnderFolder(dest.Path(), names, &saved));
            EXPECT_EQ(FileSha(saved), wanted[i]) << zr_test::Narrow(std::wstring(saved));
        }
        const size_t checked = items.size();
        EXPECT_GE(checked, 10u);
        EXPECT_GE(deleted, vol.ntfs ? 1 : 2);
        EXPECT_GE(fragmented, 1);
        EXPECT_GE(empty + (vol.ntfs ? 1 : 0), 1);
    }
}

// The README of the FAT32 image, to save again and again over an existing file.
class ExistingFileTest : public SaveFilesTest {
protected:
    void SetUp() override
    {
        SaveFilesTest::SetUp();
        if (IsSkipped())
            return;
        CurrentDevicePath = L"\\\\.\\X:";
        KeptHandleSectorSource src(CurrentDevicePath);
        const MftRunTableRecord noTable;
        for (const Found& f : WalkFat(src, 0))
            if (f.path == "/README.TXT")
                m_item = ItemOf(f, 1530, VolumeParams(src, 0, false), noTable);
        ASSERT_FALSE(m_item.file.name.IsEmpty());
        m_item.file.name = L"a.txt";
    }
    void PutExisting(const CString& path, const char* text)
    {
        HANDLE h = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD n = 0;
        ::WriteFile(h, text, DWORD(strlen(text)), &n, nullptr);
        ::CloseHandle(h);
    }
    SaveItem m_item;
    const std::string m_readme = "eb472b6fe87a5019f941f1c5d555adf2cdca87a315267014eb25622796dc4f05";
};

// Presses a button of the file-exists question as soon as it is up.
UINT_PTR g_answerTimer = 0;
int g_answerButton = 0;
int g_questions = 0;
BOOL CALLBACK AnswerIfQuestion(HWND w, LPARAM)
{
    if (::IsWindowVisible(w) && ::GetDlgItem(w, IDC_RPL_RENAME) && ::IsWindowEnabled(w)) {
        ::KillTimer(nullptr, g_answerTimer);
        ++g_questions;
        ::PostMessageW(::GetDlgItem(w, g_answerButton), BM_CLICK, 0, 0);
        return FALSE;
    }
    return TRUE;
}
void CALLBACK AnswerQuestion(HWND, UINT, UINT_PTR, DWORD)
{
    ::EnumThreadWindows(::GetCurrentThreadId(), AnswerIfQuestion, 0);
}

TEST_F(ExistingFileTest, EachAnswerToTheExistingFileQuestion)
{
    const std::string old = zr_test::Sha256Hex("old", 3);
    struct Case {
        int policy;         // set before the save; -1: answered in the question
        int button;
        const char* wantA;  // sha of a.txt afterwards: "readme" or "old"
        const wchar_t* renamed;
        uint64_t saved;
    } cases[] = {
        { 2, 0, "readme", nullptr, 1 },
        { 3, 0, "old", nullptr, 0 },
        { 5, 0, "old", L"a_kx_0.txt", 1 },
        { -1, IDOK, "readme", nullptr, 1 },
        { -1, IDCANCEL, "old", nullptr, 0 },
        { -1, IDC_RPL_RENAME, "old", L"a_kx_0.txt", 1 },
        { -1, IDC_RPL_CANCEL, "old", nullptr, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "policy " << c.policy << " button " << c.button);
        DestFolder dest;
        PutExisting(dest.File(L"a.txt"), "old");
        g_questions = 0;
        std::vector<SaveItem> items{ m_item };
        SaveCounts counts;
        if (c.policy >= 0) {
            // A policy left by an earlier "all" answer holds for the next files.
            FileExistsPolicy = c.policy;
            SaveAborted = 0;
            CString path = dest.File(L"a.txt"), name = L"a.txt";
            FatVolumeParams = m_item.volume;
            const SaveOutcome outcome = SaveFatFile(path, name, m_item.file.size, m_item.file.firstCluster, 1);
            counts.saved = outcome == SaveOutcome::Saved;
        } else {
            g_answerButton = c.button;
            g_answerTimer = ::SetTimer(nullptr, 0, 50, AnswerQuestion);
            counts = SaveFoundItems(items, dest.Path(), nullptr, true);
            ::KillTimer(nullptr, g_answerTimer);
            EXPECT_EQ(g_questions, 1);
        }
        EXPECT_EQ(counts.saved, c.saved);
        EXPECT_EQ(FileSha(dest.File(L"a.txt")), std::string(c.wantA) == "old" ? old : m_readme);
        if (c.renamed) {
            EXPECT_EQ(FileSha(dest.File(c.renamed)), m_readme);
        }
        EXPECT_EQ(SaveAborted.load(), c.button == IDC_RPL_CANCEL ? 1 : 0);
    }
}

TEST_F(ExistingFileTest, AnUnwritableDestinationStopsTheSaveWithAMessage)
{
    DestFolder dest;
    PutExisting(dest.File(L"a.txt"), "old");
    HANDLE held = ::CreateFileW(dest.File(L"a.txt"), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    SaveItem second = m_item;
    second.file.name = L"b.txt";
    std::vector<SaveItem> items{ m_item, second };
    g_answerButton = IDOK;   // overwrite, which the held file refuses
    g_answerTimer = ::SetTimer(nullptr, 0, 50, AnswerQuestion);
    const SaveCounts counts = SaveFoundItems(items, dest.Path(), nullptr, true);
    ::KillTimer(nullptr, g_answerTimer);
    ::CloseHandle(held);
    EXPECT_EQ(counts.saved, 0u);
    EXPECT_EQ(counts.failed, 1u);
    EXPECT_EQ(counts.skipped, 1u);   // the save stopped before the next file
    EXPECT_EQ(SaveAborted.load(), 1);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0], CString(kSaveWriteFailedText));
    EXPECT_EQ(::GetFileAttributesW(dest.File(L"b.txt")), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ExistingFileTest, DestinationsOnTheScannedVolumeOrWithHostileNamesStayOut)
{
    const SaveCounts refused = SaveFoundItems({ m_item }, L"X:\\Recovered", nullptr, true);
    EXPECT_EQ(refused.saved, 0u);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0], CString(kDestinationOnSourceText));

    DestFolder dest;
    SaveItem hostile = m_item;
    hostile.folders = { L"..", L"..\\..", L"c:" };
    hostile.file.name = L"a.txt:stream\x01";
    const SaveCounts counts = SaveFoundItems({ hostile }, dest.Path(), nullptr, true);
    EXPECT_EQ(counts.saved, 1u);
    CString path;
    ASSERT_TRUE(JoinUnderFolder(dest.Path(), { L"..", L"..\\..", L"c:", L"a.txt:stream\x01" }, &path));
    EXPECT_TRUE(PathIsInsideFolder(dest.Path(), path));
    EXPECT_EQ(path.Find(L':', 2), -1);
    EXPECT_EQ(FileSha(path), m_readme);
}

TEST_F(ExistingFileTest, OpeningWritesAFreshTemporaryFileEachTime)
{
    DestFolder temp;
    const CString oldTemp = TempFolderPath;
    TempFolderPath = temp.Path();
    CDelvaneDlg main;
    CDelvaneDlg* const oldMain = g_pMainDlg;
    g_pMainDlg = &main;
    FatVolumeParams = m_item.volume;
    FoundFileRef file = m_item.file;
    file.name = L"notes.txt:hidden";
    const CString first = WriteFoundFileForViewing(file);
    const CString second = WriteFoundFileForViewing(file);
    FoundFileRef unreadable = file;
    unreadable.ntfs = true;
    unreadable.recordSector = ~0ull >> 8;    // far past the medium: nothing to write, nothing opened
    EXPECT_FALSE(OpenFoundFile(unreadable, nullptr));
    g_pMainDlg = oldMain;
    TempFolderPath = oldTemp;
    ASSERT_FALSE(first.IsEmpty());
    EXPECT_NE(first, second);
    EXPECT_EQ(PathFolderPart(first), temp.Path());
    EXPECT_EQ(PathNamePart(first).Left(3), CString(L"VKD"));
    EXPECT_EQ(PathNamePart(first).Find(L':'), -1);
    EXPECT_EQ(FileSha(first), m_readme);
    EXPECT_EQ(FileSha(second), m_readme);
    EXPECT_EQ(main.TempFileNames, (std::vector<CString>{ first, second }));
    EXPECT_TRUE(g_boxes.empty());
}

}  // namespace
