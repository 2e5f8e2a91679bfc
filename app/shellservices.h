// Handing a found file, the help file or a web or mail link to the shell, and the program's own
// files: its temporary files and the folders it makes.
#pragma once

#include "afxwin.h"

constexpr int kShellOpenLink = 1; // web and mail links: passed to the shell untested
constexpr int kShellOpenFile = 0; // files: must exist; unknown types get "Open with"

// Opens target with its associated program. For files (any mode but kShellOpenLink) a missing
// path shows "Does not exist." over owner (the main window when null) and opens nothing; for a
// file type without an associated program the system's "Open with" chooser is started, and only
// when it cannot start is that reported with the file's path. Other shell failures are silent.
void OpenWithShell(int mode, const CString& target, CWnd* owner);

// Tests observe what would be handed to the shell: while a hook is set, OpenWithShell only
// calls it. Returns the previous hook; null restores the shell.
using ShellOpenHook = void (*)(int mode, const CString& target, CWnd* owner);
ShellOpenHook SetShellOpenHook(ShellOpenHook hook);
// Tests see each call OpenWithShell makes to the shell, and may answer it themselves: while set,
// it is called instead of ShellExecuteW, with the same arguments. Returns the previous one; null
// restores ShellExecuteW.
using ShellExecuteCall = HINSTANCE(WINAPI*)(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters,
                                            LPCWSTR folder, INT show);
ShellExecuteCall SetShellExecuteCall(ShellExecuteCall call);

// The shell's folder browser titled `title` (BROWSEINFO flags `flags`); the chosen folder, or an
// empty text when the user cancels.
CString BrowseShellFolder(CWnd* owner, const wchar_t* title, UINT flags);

// Deletes the files of `folder` (ending in "\") that this program wrote there: names of the form
// VKD<digits>[.<ext>]. Sub-folders and other programs' files stay. Returns the number deleted.
int DeleteTempFiles(const CString& folder);
// Creates every missing folder of `path`, outermost first.
void CreateDirectoryPath(const CString& path);
// Opens "Software Guide.chm" beside the program with the shell.
void OpenHelpFile();
// Creates (or empties) the file at `path`; never a device path.
void CreateEmptyFile(const CString& path);
