// What the benchmarks that drive a real dialog share: the folder of the benchmark (where the
// program's templates are), its application object and message-box recorder, a message loop that
// runs until a condition holds, and a run of the benchmark in a process of its own.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "afxwin.h"

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

// Runs this benchmark again with `arguments` in a process of its own and waits for it; true when
// it ended with exit code 0.
inline bool RunSelf(const std::wstring& arguments)
{
    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(exe) + L"\" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(exe, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
        return false;
    ::WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 1;
    ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return code == 0;
}

} // namespace bench
