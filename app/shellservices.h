// Handing a found file, the help file or a web or mail link to the shell, and the program's own
// files: its temporary files and the folders it makes.
#pragma once

#include "afxwin.h"

constexpr int kShellOpenLink = 1; // web and mail links: passed to the shell untested
constexpr int kShellOpenFile = 0; // files: must exist; unknown types get "Open with"

// Opens target with its associated program. For files (any mode but kShellOpenLink) a missing
// path shows "Does not exist." over owner (the main window when null) and opens nothing; a
// file type without an associated program is reported with the file's path, then the system's
// "Open with" chooser is started. Other shell failures are silent.
void OpenWithShell(int mode, const CString& target, CWnd* owner);

// Tests observe what would be handed to the shell: while a hook is set, OpenWithShell only
// calls it. Returns the previous hook; null restores the shell.
using ShellOpenHook = void (*)(int mode, const CString& target, CWnd* owner);
ShellOpenHook SetShellOpenHook(ShellOpenHook hook);

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
