// The help file: built beside the program as a compiled help file that holds every page of the
// guide, with no link to a page it lacks; and each help entry of the help dialog (the button, the
// link and F1) hands it to the shell, which starts the help viewer on it.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "afxwin.h"
#include "app/notices.h"
#include "common/dialog_script.h"
#include "common/images.h"
#include "common/ui_wait.h"
#include "resource.h"

using namespace zr_test;

namespace {

const wchar_t kGuideName[] = L"Software Guide.chm";

std::wstring FolderOf(const std::wstring& path)
{
    return path.substr(0, path.find_last_of(L"\\/"));
}

std::wstring ExeFolder()
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return FolderOf(path);
}

// The build folder holds the program; the tests lie one folder below it.
std::wstring BuildFolder()
{
    return FolderOf(ExeFolder());
}

// The repository's help pages, read through Wine's Z: drive.
std::wstring HelpSources()
{
    std::string here = __FILE__; // <repo>/tests/win/this file
    for (int up = 0; up < 3; ++up)
        here = here.substr(0, here.find_last_of("/\\"));
    std::wstring path = L"Z:" + Widen(here) + L"/resources/help";
    for (wchar_t& ch : path)
        if (ch == L'/')
            ch = L'\\';
    return path;
}

std::vector<uint8_t> FileBytes(const std::wstring& path)
{
    ReadOnlyFile f(path);
    return f.IsOpen() ? f.Read(0, static_cast<size_t>(f.Size())) : std::vector<uint8_t>();
}

uint64_t Le(const std::vector<uint8_t>& b, uint64_t at, int bytes)
{
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | (at + i < b.size() ? b[at + i] : 0);
    return v;
}

// The files a compiled help file holds, with their sizes: the listing chunks of its directory,
// walked from the first one on. Empty when the file is not one.
std::map<std::string, uint64_t> ChmDirectory(const std::vector<uint8_t>& chm)
{
    std::map<std::string, uint64_t> files;
    if (chm.size() < 0x60 || std::memcmp(chm.data(), "ITSF", 4) != 0 || Le(chm, 4, 4) != 3)
        return files;
    const uint64_t dir = Le(chm, 0x48, 8);
    if (dir + 0x54 > chm.size() || std::memcmp(chm.data() + dir, "ITSP", 4) != 0)
        return files;
    const uint64_t chunks = dir + Le(chm, dir + 8, 4), chunkSize = Le(chm, dir + 0x10, 4);
    const uint64_t count = Le(chm, dir + 0x2C, 4);
    uint64_t chunk = Le(chm, dir + 0x20, 4);
    for (uint64_t walked = 0; chunk < count && walked < count; ++walked) {
        const uint64_t base = chunks + chunk * chunkSize;
        if (chunkSize < 0x14 || base + chunkSize > chm.size() || std::memcmp(chm.data() + base, "PMGL", 4) != 0)
            return {};
        uint64_t at = base + 0x14;
        const uint64_t end = base + chunkSize - Le(chm, base + 4, 4);
        auto number = [&](uint64_t& v) {
            v = 0;
            while (at < end) {
                const uint8_t c = chm[at++];
                v = (v << 7) | (c & 0x7F);
                if (!(c & 0x80))
                    return true;
            }
            return false;
        };
        uint64_t length = 0, section = 0, offset = 0, size = 0;
        while (at < end && number(length) && length <= end - at) {
            const std::string name(chm.begin() + at, chm.begin() + at + length);
            at += length;
            if (!number(section) || !number(offset) || !number(size))
                return {};
            files[name] = size;
        }
        chunk = Le(chm, base + 0x10, 4); // the next listing chunk; 0xFFFFFFFF after the last
    }
    return files;
}

// Pages every guide must have: one per search and one per step the searches share.
const char* const kPages[] = { "index.htm",  "basic.htm", "deep.htm",       "photo.htm", "signature.htm",
                               "video.htm",  "drive.htm", "next.htm",       "stop.htm",  "saving.htm",
                               "exists.htm", "logs.htm",  "partitions.htm", "carved.htm" };

TEST(HelpFile, TheGuideIsBuiltBesideTheProgramWithEveryPage)
{
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((BuildFolder() + L"\\ZembrolixRecovery.exe").c_str()));
    const std::map<std::string, uint64_t> files = ChmDirectory(FileBytes(BuildFolder() + L"\\" + kGuideName));
    ASSERT_FALSE(files.empty()) << "no compiled help file beside the program";
    EXPECT_EQ(1u, files.count("/#SYSTEM"));
    EXPECT_EQ(1u, files.count("/contents.hhc"));
    for (const char* page : kPages)
        EXPECT_EQ(1u, files.count(std::string("/") + page)) << page;

    // Each page of the sources is in it whole, and every page it links to is in it too.
    WIN32_FIND_DATAW found{};
    HANDLE find = ::FindFirstFileW((HelpSources() + L"\\*.htm").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    int pages = 0;
    do {
        const std::string name = Narrow(found.cFileName);
        const std::vector<uint8_t> source = FileBytes(HelpSources() + L"\\" + found.cFileName);
        const auto stored = files.find("/" + name);
        ASSERT_NE(files.end(), stored) << name;
        EXPECT_EQ(source.size(), stored->second) << name;
        const std::string text(source.begin(), source.end());
        for (size_t at = text.find("href=\""); at != std::string::npos; at = text.find("href=\"", at + 1)) {
            const std::string target = text.substr(at + 6, text.find('"', at + 6) - at - 6);
            EXPECT_EQ(1u, files.count("/" + target.substr(0, target.find('#')))) << name << " links to " << target;
        }
        ++pages;
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
    EXPECT_EQ(int(sizeof(kPages) / sizeof(kPages[0])), pages);
}

BOOL CALLBACK AddViewerWindow(HWND wnd, LPARAM viewers)
{
    DWORD pid = 0;
    ::GetWindowThreadProcessId(wnd, &pid);
    if (pid == ::GetCurrentProcessId() || !::IsWindowVisible(wnd))
        return TRUE;
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr)
        return TRUE;
    wchar_t image[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    if (::QueryFullProcessImageNameW(process, 0, image, &length)) {
        const std::wstring path = image;
        if (_wcsicmp(path.substr(path.find_last_of(L"\\/") + 1).c_str(), L"hh.exe") == 0)
            (*reinterpret_cast<std::map<DWORD, HWND>*>(viewers))[pid] = wnd;
    }
    ::CloseHandle(process);
    return TRUE;
}

// The help viewer's windows now open, by the process that owns them.
std::map<DWORD, HWND> ViewerWindows()
{
    std::map<DWORD, HWND> viewers;
    ::EnumWindows(AddViewerWindow, LPARAM(&viewers));
    return viewers;
}

// Closes the viewer a step opened, and ends its process if it does not go by itself.
void CloseViewer(DWORD pid, HWND wnd)
{
    HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
    ::PostMessageW(wnd, WM_CLOSE, 0, 0);
    if (process != nullptr) {
        if (::WaitForSingleObject(process, 5000) != WAIT_OBJECT_0)
            ::TerminateProcess(process, 0);
        ::WaitForSingleObject(process, 5000);
        ::CloseHandle(process);
    }
}

std::vector<CString> g_boxes;

TEST(HelpFile, EveryHelpEntryOpensTheGuideInTheViewer)
{
    // The program looks for the guide beside itself: here, beside this test.
    const std::wstring guide = ExeFolder() + L"\\" + kGuideName;
    EXPECT_TRUE(::CopyFileW((BuildFolder() + L"\\" + kGuideName).c_str(), guide.c_str(), FALSE));
    const ZrMessageBoxHook old = ZrSetMessageBoxHook([](HWND, LPCWSTR text, LPCWSTR, UINT) {
        g_boxes.push_back(text);
        return IDOK;
    });
    const struct {
        const char* entry;
        DialogStep open;
    } entries[] = {
        { "button", Click(IDC_HELP_LAUNCH) },
        { "link",
          [](HWND h) {
              ::PostMessageW(h, WM_COMMAND, MAKEWPARAM(IDC_HELP_GUIDE, STN_CLICKED),
                             LPARAM(::GetDlgItem(h, IDC_HELP_GUIDE)));
          } },
        { "F1",
          [](HWND h) {
              // What F1 sends (a message with a pointer, which cannot be posted).
              HELPINFO info{
                  sizeof(HELPINFO), HELPINFO_WINDOW, IDC_HELP_LAUNCH, ::GetDlgItem(h, IDC_HELP_LAUNCH), 0, {}
              };
              ::SendMessageW(h, WM_HELP, 0, LPARAM(&info));
          } },
    };
    for (const auto& e : entries) {
        SCOPED_TRACE(e.entry);
        g_boxes.clear();
        const std::map<DWORD, HWND> before = ViewerWindows();
        CString title;
        CHelp help;
        RunScripted(help,
                    { e.open,
                      [&](HWND) {
                          std::pair<DWORD, HWND> viewer{ 0, nullptr };
                          PumpUntil(
                              [&] {
                                  for (const auto& v : ViewerWindows())
                                      if (before.count(v.first) == 0)
                                          viewer = v;
                                  return viewer.second != nullptr;
                              },
                              8000);
                          if (viewer.second == nullptr)
                              return;
                          wchar_t text[200] = {};
                          ::GetWindowTextW(viewer.second, text, 200);
                          title = text;
                          CloseViewer(viewer.first, viewer.second);
                      },
                      Click(IDOK) });
        EXPECT_TRUE(g_boxes.empty()) << (g_boxes.empty() ? "" : Narrow(g_boxes[0].GetString()));
        EXPECT_EQ(CString(L"Zembrolix Recovery (Premium) - Software Guide"), title);
    }
    ZrSetMessageBoxHook(old);
    ::DeleteFileW(guide.c_str());
}

} // namespace
