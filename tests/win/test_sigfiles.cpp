// The signature data files as the program finds and loads them: beside the executable, read
// only, into the signature lists; and a file that cannot be opened ends the process with a
// non-zero exit code after its message. Also the shell's "Does not exist." answer.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "app/shellservices.h"
#include "common/images.h"
#include "common/ui_wait.h"
#include "sigrecovery/sigfiles.h"

namespace {

const wchar_t* const kDataFiles[] = {L"QORVENExt2.dll", L"QORVENExt2Adv.dll", L"QORVENSig.dll",
                                     L"QORVENSigAdv.dll", L"QORVENVideo.dll", L"QORVENVideoAdv.dll"};

// The repository's copy of a data file, as a path on Wine's Z: drive.
std::wstring ShippedPath(const wchar_t* name) {
    std::string here = __FILE__;  // <repo>/tests/win/this file
    for (int up = 0; up < 3; ++up) here = here.substr(0, here.find_last_of("/\\"));
    std::wstring path = zr_test::Widen(here) + L"/resources/signatures/" + name;
    for (wchar_t& ch : path)
        if (ch == L'/') ch = L'\\';
    return path[0] == L'\\' ? L"Z:" + path : path;
}

std::string FileBytes(const std::wstring& path) {
    std::string bytes;
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return bytes;
    char buf[4096];
    DWORD got = 0;
    while (::ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) bytes.append(buf, got);
    ::CloseHandle(h);
    return bytes;
}

// Puts the shipped files beside this test executable, where the program looks for them.
class SignatureFilesBesideExe : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        for (const wchar_t* name : kDataFiles)
            ASSERT_TRUE(::CopyFileW(ShippedPath(name).c_str(), DataFilePath(CString(L"\\") + name), FALSE))
                << zr_test::Narrow(ShippedPath(name));
    }
    void SetUp() override {
        for (auto* list : {&GeneralFileTypeList, &AdvanceFileTypeList, &SignatureFileTypeList}) list->clear();
        for (auto* list : {&GeneralOffsetList, &AdvanceOffsetList, &SignatureOffsetList}) list->clear();
    }
};

int PrintingHook(HWND, LPCWSTR text, LPCWSTR, UINT) {
    std::fprintf(stderr, "box: %s\n", zr_test::Narrow(text).c_str());
    std::fflush(stderr);
    return IDOK;
}

TEST_F(SignatureFilesBesideExe, StartUpLoadsThePhotoLists) {
    CheckDataFiles();  // returns: all four files open
    LoadFileTypeList(L"\\QORVENExt2.dll", L"General");
    LoadFileTypeList(L"\\QORVENExt2Adv.dll", L"Advance");
    LoadFileTypeList(L"\\QORVENSig.dll", L"Other");  // an unknown category fills nothing

    const SignatureFileContent general = ParseSignatureFile(FileBytes(ShippedPath(L"QORVENExt2.dll")));
    ASSERT_EQ(GeneralFileTypeList.size(), general.entries.size());
    EXPECT_EQ(GeneralFileTypeList[0].extension, L".jpg");  // as written: the Photo lists keep the case
    EXPECT_EQ(GeneralFileTypeList[0].hexText, general.entries[0].type.hexText);
    EXPECT_EQ(AdvanceFileTypeList.size(), ParseSignatureFile(FileBytes(ShippedPath(L"QORVENExt2Adv.dll"))).entries.size());
    EXPECT_FALSE(GeneralOffsetList.empty());
    EXPECT_FALSE(AdvanceOffsetList.empty());
    EXPECT_TRUE(SignatureFileTypeList.empty());
}

TEST_F(SignatureFilesBesideExe, VideoFilesAreNotNeededAtStartUp) {
    const CString video = DataFilePath(L"\\QORVENVideo.dll"), moved = video + L".away";
    ASSERT_TRUE(::MoveFileExW(video, moved, MOVEFILE_REPLACE_EXISTING));
    CheckDataFiles();
    ASSERT_TRUE(::MoveFileExW(moved, video, MOVEFILE_REPLACE_EXISTING));
}

TEST(DataFileFailure, MissingFileEndsTheProcessWithItsMessage) {
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_EXIT(
        {
            ZrSetMessageBoxHook(PrintingHook);
            ReadDataFileOrExit(DataFilePath(L"\\NoSuchSignatures.dll"));
        },
        ::testing::ExitedWithCode(kDataFileExitCode), "box: Couldn't open source file: The file was not found.*NoSuchSignatures");
}

TEST(DataFileFailure, FileHeldForWritingEndsTheProcess) {
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    const CString path = DataFilePath(L"\\HeldSignatures.dll");
    // The death test's child runs this body again: there the create fails, as the parent holds
    // the file, and only the statement below matters.
    HANDLE held = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    EXPECT_EXIT(
        {
            ZrSetMessageBoxHook(PrintingHook);
            ReadDataFileOrExit(path);
        },
        ::testing::ExitedWithCode(kDataFileExitCode), "box: Couldn't open source file: .*HeldSignatures");
    EXPECT_NE(held, INVALID_HANDLE_VALUE);
    ::CloseHandle(held);
    ::DeleteFileW(path);
}

TEST(OpenWithShellTest, MissingFileIsReportedAndNotOpened) {
    zr_test::MessageBoxCatcher catcher;
    OpenWithShell(kShellOpenFile, DataFilePath(L"\\no such file.txt"), nullptr);
    EXPECT_EQ(catcher.Count(), 1);
}

}  // namespace
