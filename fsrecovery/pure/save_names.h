// Names and paths the writers give the files they create.
#pragma once
#include <cstdint>
#include <vector>
#include "cstring.h"

// The temporary name a found file is opened under: "VKD<counter>." and the file's extension,
// cleaned like any name from a disk; no dot when the name has no extension. "photo.jpg" with
// counter 3 gives "VKD3.jpg", "README" gives "VKD3".
CString TempViewName(int32_t counter, const CString& foundName);

// The folder part of a path, without its last "\" (empty when there is none).
CString PathFolderPart(const CString& path);
// What follows the last "\" or "/".
CString PathNamePart(const CString& path);

// The closing report of a save: "<n> file(s) saved, <n> skipped, <n> failed."
CString FormatSaveSummary(uint64_t saved, uint64_t skipped, uint64_t failed);
