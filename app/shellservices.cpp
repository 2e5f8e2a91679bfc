#include "app/shellservices.h"

#include <atomic>

#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "app/notices.h"

namespace {
const wchar_t kNoProgramText[] =
    L"The file could not be opened: no program is associated with files of its type.\n\nThe recovered copy is:\n";
std::atomic<ShellOpenHook> g_shellOpenHook{ nullptr };
std::atomic<FolderBrowserHook> g_folderBrowserHook{ nullptr };
} // namespace

FolderBrowserHook SetFolderBrowserHook(FolderBrowserHook hook)
{
    return g_folderBrowserHook.exchange(hook);
}

CString BrowseForFolder(CWnd* owner, const wchar_t* title, UINT flags)
{
    if (const FolderBrowserHook hook = g_folderBrowserHook.load())
        return hook(owner);
    ShowSaveMsgDialog(owner);
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

void OpenWithShell(int mode, const CString& target, CWnd* owner)
{
    if (const ShellOpenHook hook = g_shellOpenHook.load()) {
        hook(mode, target, owner);
        return;
    }
    if (!owner)
        owner = AfxGetMainWnd();
    const HWND ownerWnd = CWnd::SafeHwnd(owner);

    if (mode == kShellOpenLink) {
        ::ShellExecuteW(ownerWnd, L"open", target, nullptr, nullptr, SW_SHOWNORMAL);
        return;
    }
    if (!::PathFileExistsW(target)) {
        ZrMessageBox(ownerWnd, L"Does not exist.", L"Message", MB_ICONINFORMATION);
        return;
    }
    const INT_PTR result =
        reinterpret_cast<INT_PTR>(::ShellExecuteW(ownerWnd, L"open", target, nullptr, nullptr, SW_SHOWNORMAL));
    if (result == SE_ERR_NOASSOC) {
        // The chooser may not come up at all (or be closed unused): the user learns why nothing
        // opened and where the copy is, to open it by hand.
        ZrMessageBox(ownerWnd, CString(kNoProgramText) + target, L"Message", MB_OK | MB_ICONINFORMATION);
        wchar_t systemDir[1000] = {};
        ::GetSystemDirectoryW(systemDir, 1000);
        const CString parameters = CString(L"shell32.dll,OpenAs_RunDLL ") + target;
        ::ShellExecuteW(ownerWnd, L"open", L"RUNDLL32.exe", parameters, systemDir, SW_SHOWNORMAL);
    }
}
