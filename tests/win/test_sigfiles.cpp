// The signature data files as start-up finds and loads them beside the executable; the shell's
// answer to a missing file.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "app/shellservices.h"
#include "common/images.h"
#include "common/ui_wait.h"
#include "sigrecovery/sigfiles.h"

namespace {

// The repository's copy of a data file, as a path on Wine's Z: drive.
std::wstring ShippedPath(const wchar_t* name)
{
    std::string here = __FILE__; // <repo>/tests/win/this file
    for (int up = 0; up < 3; ++up)
        here = here.substr(0, here.find_last_of("/\\"));
    std::wstring path = zr_test::Widen(here) + L"/resources/signatures/" + name;
    for (wchar_t& ch : path)
        if (ch == L'/')
            ch = L'\\';
    return path[0] == L'\\' ? L"Z:" + path : path;
}

TEST(SignatureFiles, StartUpLoadsThePhotoListsWithoutTheVideoFiles)
{
    for (const wchar_t* name : { L"QORVENExt2.dll", L"QORVENExt2Adv.dll", L"QORVENSig.dll", L"QORVENSigAdv.dll",
                                 L"QORVENVideo.dll", L"QORVENVideoAdv.dll" })
        ASSERT_TRUE(::CopyFileW(ShippedPath(name).c_str(), DataFilePath(CString(L"\\") + name), FALSE))
            << zr_test::Narrow(ShippedPath(name));
    const CString video = DataFilePath(L"\\QORVENVideo.dll"), moved = video + L".away";
    ASSERT_TRUE(::MoveFileExW(video, moved, MOVEFILE_REPLACE_EXISTING));
    CheckDataFiles(); // returns: the four files it needs are there
    ASSERT_TRUE(::MoveFileExW(moved, video, MOVEFILE_REPLACE_EXISTING));
    LoadFileTypeList(L"\\QORVENExt2.dll", L"General");
    LoadFileTypeList(L"\\QORVENExt2Adv.dll", L"Advance");
    LoadFileTypeList(L"\\QORVENSig.dll", L"Other"); // an unknown category fills nothing

    ASSERT_GE(GeneralFileTypeList.size(), 8u);
    EXPECT_EQ(GeneralFileTypeList.size(), ReadDataFileOrExit(DataFilePath(L"\\QORVENExt2.dll")).entries.size());
    EXPECT_EQ(GeneralFileTypeList[0].extension, L".jpg"); // as written: the Photo lists keep the case
    EXPECT_EQ(AdvanceFileTypeList.size(), ReadDataFileOrExit(DataFilePath(L"\\QORVENExt2Adv.dll")).entries.size());
    EXPECT_FALSE(GeneralOffsetList.empty());
    EXPECT_TRUE(SignatureFileTypeList.empty());
}

// A missing file is reported and not opened; a file no program opens is reported with where it
// is, so that the user can open it by hand.
TEST(OpenWithShellTest, WhatCannotBeOpenedIsSaidWithItsPath)
{
    static std::vector<CString> boxes;
    boxes.clear();
    const ZrMessageBoxHook old = ZrSetMessageBoxHook([](HWND, LPCWSTR text, LPCWSTR caption, UINT) {
        boxes.push_back(CString(caption) + L"|" + text);
        return IDOK;
    });
    OpenWithShell(kShellOpenFile, DataFilePath(L"\\no such file.txt"), nullptr);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(CString(L"Message|Does not exist."), boxes[0]);

    const CString orphan = DataFilePath(L"\\recovered copy.zrq7unknown");
    {
        CFile file(orphan, CFile::modeCreate | CFile::modeWrite);
        file.Write("bytes", 5);
    }
    boxes.clear();
    OpenWithShell(kShellOpenFile, orphan, nullptr);
    ::DeleteFileW(orphan);
    ZrSetMessageBoxHook(old);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(0, boxes[0].Find(L"Message|The file could not be opened"));
    EXPECT_GT(boxes[0].Find(orphan), 0) << zr_test::Narrow(std::wstring(boxes[0].GetString()));
}

} // namespace
