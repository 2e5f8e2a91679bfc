// The texts of the drive-tree property lists and the file-type names of the file lists.
#pragma once
#include <cstdint>
#include <vector>

#include "framework/pure/cstring.h"

// One label-and-value row of a property list.
struct PropertyRow {
    const wchar_t* label;
    CString value;
};

// The texts shown for a logical drive or a partition.
struct PartitionPropertyTexts {
    CString endSector, partitionType, volume, label, size, freeSpace, searchMode, serialNumber;
};
// Nine rows; the start sector is always shown as "0".
std::vector<PropertyRow> PartitionPropertyRows(const PartitionPropertyTexts& texts);

// The texts shown for a physical disk.
struct DiskPropertyTexts {
    CString model, mediaType, interfaceType, capacity, cylinders, heads, sectors, bytesPerSector, sectorsPerTrack,
        firmwareRevision, serialNumber, systemName, deviceId;
};
// Thirteen rows; row 6 holds the disk's size in sectors.
std::vector<PropertyRow> DiskPropertyRows(const DiskPropertyTexts& texts);
constexpr int kDiskSectorsRow = 6;

// The "Type" column text of a file with this extension (with its dot, as the shell splits it).
CString GetFileTypeDescription(CString extension);
