// The signature data files as start-up finds and loads them beside the executable; the shell's
// answer to a missing file.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

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

// Each call OpenWithShell makes to the shell, with the shell's answer. The system's "Open with"
// chooser is started for real unless g_chooserFails stands in for a system where it cannot start.
struct ShellCall {
    CString file, parameters, folder;
    INT_PTR result = 0;
};
std::vector<ShellCall> g_shellCalls;
bool g_chooserFails = false;
HINSTANCE WINAPI RecordShellCall(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR folder, INT show)
{
    const bool chooser = CString(file).CompareNoCase(L"RUNDLL32.exe") == 0;
    const HINSTANCE result = chooser && g_chooserFails ? HINSTANCE(INT_PTR(SE_ERR_FNF))
                                                       : ::ShellExecuteW(owner, verb, file, parameters, folder, show);
    g_shellCalls.push_back({ file, parameters != nullptr ? parameters : L"", folder != nullptr ? folder : L"",
                             reinterpret_cast<INT_PTR>(result) });
    return result;
}

// A missing file is reported and not opened; a file no program opens, when the system's "Open
// with" chooser cannot start either, is reported with where it is, so that the user can open it
// by hand.
TEST(OpenWithShellTest, WhatCannotBeOpenedIsSaidWithItsPath)
{
    g_shellCalls.clear();
    g_chooserFails = true;
    const ShellExecuteCall oldCall = SetShellExecuteCall(RecordShellCall);
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
    SetShellExecuteCall(oldCall);
    g_chooserFails = false;
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(0, boxes[0].Find(L"Message|The file could not be opened"));
    EXPECT_GT(boxes[0].Find(orphan), 0) << zr_test::Narrow(std::wstring(boxes[0].GetString()));
}

// A file of a type no program opens gets the system's "Open with" chooser, for the file, started
// from the system folder, and no box of the program's own before it. (Wine's chooser starts and
// ends at once: nothing is left on screen.)
TEST(OpenWithShellTest, AFileNoProgramOpensGetsTheOpenWithChooser)
{
    static std::vector<CString> boxes;
    boxes.clear();
    const ZrMessageBoxHook old = ZrSetMessageBoxHook([](HWND, LPCWSTR text, LPCWSTR, UINT) {
        boxes.push_back(text);
        return IDOK;
    });
    g_shellCalls.clear();
    const ShellExecuteCall oldCall = SetShellExecuteCall(RecordShellCall);
    const CString orphan = DataFilePath(L"\\recovered copy.zrq7unknown");
    {
        CFile file(orphan, CFile::modeCreate | CFile::modeWrite);
        file.Write("bytes", 5);
    }
    OpenWithShell(kShellOpenFile, orphan, nullptr);
    ::DeleteFileW(orphan);
    SetShellExecuteCall(oldCall);
    ZrSetMessageBoxHook(old);
    EXPECT_TRUE(boxes.empty());
    ASSERT_EQ(2u, g_shellCalls.size());
    EXPECT_EQ(orphan, g_shellCalls[0].file);
    EXPECT_EQ(SE_ERR_NOASSOC, g_shellCalls[0].result);
    wchar_t systemDir[1000] = {};
    ::GetSystemDirectoryW(systemDir, 1000);
    EXPECT_EQ(CString(L"RUNDLL32.exe"), g_shellCalls[1].file);
    EXPECT_EQ(L"shell32.dll,OpenAs_RunDLL " + orphan, g_shellCalls[1].parameters);
    EXPECT_EQ(CString(systemDir), g_shellCalls[1].folder);
    EXPECT_GT(g_shellCalls[1].result, 32) << "the chooser did not start";
}

} // namespace
