// What the benchmarks that drive a real dialog share: the folder of the benchmark (where the
// program's templates are), its application object and message-box recorder, a message loop that
// runs until a condition holds, the answer to the logical-or-physical question, a run of the
// benchmark in a process of its own and of a program on the host.
#pragma once
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "afxwin.h"
#include "resources/resource.h"

namespace bench {

// The application object of a dialog benchmark (its message boxes' caption).
class BenchApp : public CWinApp {
public:
    BenchApp() : CWinApp(L"Zembrolix Recovery (Premium)") { }
};

// The message boxes the dialog showed, each answered No (ZrSetMessageBoxHook(RecordBox)).
inline std::vector<CString> g_boxes;
inline int RecordBox(HWND, LPCWSTR text, LPCWSTR, UINT)
{
    g_boxes.push_back(text);
    return IDNO;
}

// The benchmark's own folder, with its trailing backslash.
inline std::wstring ExeFolder()
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

// Makes the program's executable beside the benchmark the application's resources: the dialog
// templates come from there. False, after saying why, when it is not there.
inline bool UseProgramTemplates(CWinApp& app)
{
    app.m_hInstance =
        ::LoadLibraryExW((ExeFolder() + L"ZembrolixRecovery.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (app.m_hInstance == nullptr)
        std::printf("ZembrolixRecovery.exe must lie beside the benchmark\n");
    return app.m_hInstance != nullptr;
}

// An image file's size in sectors; 0 when it cannot be told.
inline uint64_t ImageSectors(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return ((uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow) / 512;
}

// The program's dialog templates are loaded from its executable as a data file: a custom control
// class they name (the range slider) is looked up under that module, so it is registered there too.
inline void RegisterTemplateClass(HINSTANCE templates, const wchar_t* className)
{
    WNDCLASSEXW wc{ sizeof wc };
    if (::GetClassInfoExW(::GetModuleHandleW(nullptr), className, &wc)) {
        wc.hInstance = templates;
        ::RegisterClassExW(&wc);
    }
}

// Dispatches this thread's messages until done() holds or timeoutMs has passed; returns done().
template <class Pred> bool PumpUntil(Pred done, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (done())
            return true;
        if (::GetTickCount() - start > timeoutMs)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
    }
}

// Clicks "logical" in the logical-or-physical question that Next asks on a drive letter, and notes
// when (g_answered): the search starts there. Set AnswerTimer going before Next.
inline std::chrono::steady_clock::time_point g_answered;
inline BOOL CALLBACK ClickLogical(HWND wnd, LPARAM)
{
    HWND button = ::GetDlgItem(wnd, IDC_LOG_LOGICAL);
    if (button == nullptr || !::IsWindowVisible(wnd) || !::IsWindowEnabled(wnd))
        return TRUE;
    g_answered = std::chrono::steady_clock::now();
    ::PostMessageW(wnd, WM_COMMAND, MAKEWPARAM(IDC_LOG_LOGICAL, BN_CLICKED), LPARAM(button));
    return FALSE;
}
inline void CALLBACK AnswerTimer(HWND, UINT, UINT_PTR, DWORD)
{
    ::EnumThreadWindows(::GetCurrentThreadId(), ClickLogical, 0);
}

// Runs `exe` with `arguments` (its output thrown away when `quiet`) and waits for it; its exit
// code, or -1 when it could not be started.
inline int RunProcess(const std::wstring& exe, const std::wstring& arguments, bool quiet = false)
{
    std::wstring command = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    SECURITY_ATTRIBUTES inherit{ sizeof inherit, nullptr, TRUE };
    HANDLE nul = INVALID_HANDLE_VALUE;
    if (quiet) {
        nul = ::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                            nullptr);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
        si.hStdOutput = si.hStdError = nul;
    }
    PROCESS_INFORMATION pi{};
    const BOOL started = ::CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    if (nul != INVALID_HANDLE_VALUE)
        ::CloseHandle(nul);
    if (!started)
        return -1;
    ::WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 1;
    ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return int(code);
}

// Whether the search ended on its results page (`built`) without a message; says why not.
inline bool EndedOnResultsPage(bool built)
{
    if (built && g_boxes.empty())
        return true;
    std::printf("the search did not end on the results page%ls%ls\n", g_boxes.empty() ? L"" : L": ",
                g_boxes.empty() ? L"" : g_boxes.front().GetString());
    return false;
}

// Runs this benchmark again with `arguments` in a process of its own and waits for it; true when
// it ended with exit code 0.
inline bool RunSelf(const std::wstring& arguments)
{
    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    return RunProcess(exe, arguments) == 0;
}

// The host path of a file, or empty when not under Wine.
inline std::wstring HostPath(const std::wstring& path)
{
    using UnixName = char*(CDECL*)(LPCWSTR);
    const auto unixName =
        reinterpret_cast<UnixName>(::GetProcAddress(::GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name"));
    char* host = unixName != nullptr ? unixName(path.c_str()) : nullptr;
    if (host == nullptr)
        return std::wstring();
    const std::wstring wide(host, host + std::strlen(host));
    ::HeapFree(::GetProcessHeap(), 0, host);
    return wide;
}

// The seconds a host program (`command`, a shell command line of host paths, its output thrown
// away) took, when the benchmark runs under Wine; negative when it could not run or failed. Wine
// starts a host program without a handle to wait on, so a host shell times it and leaves its
// figures in the file `done` (a Windows path), which is waited for.
inline double HostSeconds(const std::wstring& command, const std::wstring& done)
{
    const std::wstring hostDone = HostPath(done);
    if (hostDone.empty())
        return -1;
    ::DeleteFileW(done.c_str());
    const std::wstring script = L"t0=$(date +%s%N); " + command + L" >/dev/null 2>&1; rc=$?; t1=$(date +%s%N); " +
        L"echo $rc $((t1 - t0)) > '" + hostDone + L".part' && mv '" + hostDone + L".part' '" + hostDone + L"'";
    if (RunProcess(L"Z:\\bin\\sh", L"-c \"" + script + L"\"") == -1)
        return -1;
    for (DWORD waited = 0; waited < 3600000 && ::GetFileAttributesW(done.c_str()) == INVALID_FILE_ATTRIBUTES;
         waited += 20)
        ::Sleep(20);
    FILE* in = _wfopen(done.c_str(), L"r");
    int code = -1;
    unsigned long long nanoseconds = 0;
    const bool read = in != nullptr && std::fscanf(in, "%d %llu", &code, &nanoseconds) == 2;
    if (in != nullptr)
        std::fclose(in);
    ::DeleteFileW(done.c_str());
    return read && code == 0 ? double(nanoseconds) / 1e9 : -1;
}

// The peer of the same step, The Sleuth Kit on the host when it is installed: "fls -r" lists the
// volume, "tsk_recover -e" saves every file into `saveTo` (a Windows path). Negative when there
// is no peer or it failed (it reads only volumes its own checks accept).
inline double PeerSeconds(const wchar_t* tool, const std::wstring& image, bool ntfs,
                          const std::wstring& saveTo = std::wstring())
{
    const std::wstring program = std::wstring(L"/usr/bin/") + tool, hostImage = HostPath(image);
    if (hostImage.empty() || ::GetFileAttributesW((L"Z:" + program).c_str()) == INVALID_FILE_ATTRIBUTES)
        return -1;
    std::wstring command = program + (saveTo.empty() ? L" -r" : L" -e") + L" -f " + (ntfs ? L"ntfs" : L"fat") +
        L" '" + hostImage + L"'";
    if (!saveTo.empty())
        command += L" '" + HostPath(saveTo) + L"'";
    return HostSeconds(command, image + L".peer");
}

} // namespace bench
