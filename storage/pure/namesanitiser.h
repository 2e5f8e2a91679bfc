// The one way a name read from a disk or a scan log becomes part of a path. Shown names stay
// as they were found; only the path built for saving is cleaned.
#pragma once
#include <vector>

#include "cstring.h"

// Stands in for a name that is empty or nothing but dots and blanks.
extern const wchar_t* const kPlaceholderName;

// The name with \ / : * ? " < > |, control characters and unpaired UTF-16 surrogates removed
// and trailing dots and blanks trimmed; an empty result, "." and ".." become kPlaceholderName,
// and a reserved device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, alone or before an extension,
// in any case) gets a leading "_".
CString SanitiseFileName(const CString& name);

// folder + "\" + the sanitised names, one path component each. False (and *path untouched)
// when the folder is empty or relative, or the result would not lie inside the folder.
bool JoinUnderFolder(const CString& folder, const std::vector<CString>& names, CString* path);
bool JoinUnderFolder(const CString& folder, const CString& name, CString* path);

// True when path is folder itself or lies below it (compared without regard to case, with
// either slash, after resolving "." and ".." components).
bool PathIsInsideFolder(const CString& folder, const CString& path);
