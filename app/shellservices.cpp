#include "app/shellservices.h"

#include <atomic>

#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "app/pure/shell_rules.h"
#include "devicepath.h"

namespace {
const wchar_t kNoProgramText[] =
    L"The file could not be opened: no program is associated with files of its type.\n\nThe recovered copy is:\n";
std::atomic<ShellOpenHook> g_shellOpenHook{ nullptr };
std::atomic<ShellExecuteCall> g_shellExecute{ ::ShellExecuteW };
} // namespace

CString BrowseShellFolder(CWnd* owner, const wchar_t* title, UINT flags)
{
    BROWSEINFOW info{};
    info.hwndOwner = CWnd::SafeHwnd(owner);
    info.lpszTitle = title;
    info.ulFlags = flags;
    PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&info);
    if (chosen == nullptr)
        return CString();
    wchar_t path[MAX_PATH] = {};
    const BOOL ok = ::SHGetPathFromIDListW(chosen, path);
    ::CoTaskMemFree(chosen);
    return ok ? CString(path) : CString();
}

ShellOpenHook SetShellOpenHook(ShellOpenHook hook)
{
    return g_shellOpenHook.exchange(hook);
}

ShellExecuteCall SetShellExecuteCall(ShellExecuteCall call)
{
    return g_shellExecute.exchange(call != nullptr ? call : ::ShellExecuteW);
}

void OpenWithShell(int mode, const CString& target, CWnd* owner)
{
    if (const ShellOpenHook hook = g_shellOpenHook.load()) {
        hook(mode, target, owner);
        return;
    }
    if (!owner)
        owner = AfxGetMainWnd();
    const HWND ownerWnd = CWnd::SafeHwnd(owner);

    const ShellExecuteCall shellExecute = g_shellExecute.load();
    if (mode == kShellOpenLink) {
        shellExecute(ownerWnd, L"open", target, nullptr, nullptr, SW_SHOWNORMAL);
        return;
    }
    if (!::PathFileExistsW(target)) {
        ZrMessageBox(ownerWnd, L"Does not exist.", L"Message", MB_ICONINFORMATION);
        return;
    }
    const INT_PTR result =
        reinterpret_cast<INT_PTR>(shellExecute(ownerWnd, L"open", target, nullptr, nullptr, SW_SHOWNORMAL));
    if (result != SE_ERR_NOASSOC)
        return;
    // No program takes the type: the system's "Open with" chooser lets the user pick one.
    wchar_t systemDir[1000] = {};
    ::GetSystemDirectoryW(systemDir, 1000);
    const CString parameters = CString(L"shell32.dll,OpenAs_RunDLL ") + target;
    const INT_PTR chooser = reinterpret_cast<INT_PTR>(
        shellExecute(ownerWnd, L"open", L"RUNDLL32.exe", parameters, systemDir, SW_SHOWNORMAL));
    // Where it cannot start, the user learns why nothing opened and where the copy is, to open
    // it by hand.
    if (chooser <= 32)
        ZrMessageBox(ownerWnd, CString(kNoProgramText) + target, L"Message", MB_OK | MB_ICONINFORMATION);
}

// ---- Files of the program ----------------------------------------------------------------------

int DeleteTempFiles(const CString& folder)
{
    if (folder.IsEmpty())
        return 0;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW(folder + L"*.*", &data);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    int deleted = 0;
    do {
        if (data.cFileName[0] == L'.' || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        if (IsProgramTempFileName(data.cFileName) && ::DeleteFileW(folder + data.cFileName))
            ++deleted;
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    return deleted;
}

void CreateDirectoryPath(const CString& path)
{
    if (::CreateDirectoryW(path, nullptr))
        return;
    for (int at = path.Find(L'\\'); at >= 0; at = path.Find(L'\\', at + 1))
        if (at > 0)
            ::CreateDirectoryW(path.Left(at), nullptr);
    ::CreateDirectoryW(path, nullptr);
}

void OpenHelpFile()
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    CString help = path;
    help = help.Left(help.ReverseFind(L'\\')) + L"\\Software Guide.chm";
    OpenWithShell(kShellOpenFile, help, nullptr);
}

void CreateEmptyFile(const CString& path)
{
    if (IsRawDevicePath(path))
        return; // never a device, whatever a caller's path says
    HANDLE h = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE)
        ::CloseHandle(h);
}
