// The size text of disks, drives and files: "%u Byte" below 1 KiB, else "%6.2f %cB".
#pragma once
#include <cstdint>

#include "cstring.h"

// Below 1024: "%u Byte". Otherwise the count is divided by 1024 (rounded to nearest) while it
// is 1 MiB or more, and shown as "%6.2f %cB" of the rest / 1024 with the unit of "KMGTPEZY"
// for the number of divisions: "  1.00 KB", "1024.00 KB" for 1 MiB - 1, " 16.00 EB" at the top.
CString FormatSize(uint64_t byteCount);
