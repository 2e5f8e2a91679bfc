// Scan logs for the codec's tests, its fuzzer and its benchmark: a log of each kind with a
// distinct, non-default value in every stored field, and the pieces to build others.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "fsrecovery/pure/scan_log.h"

namespace scan_log_test {

using Bytes = std::vector<uint8_t>;

inline Bytes Save(const ScanLogData& data)
{
    CMemFile f;
    CArchive ar(&f, CArchive::store);
    WriteScanLog(ar, data);
    ar.Close();
    return f.Detach();
}

inline ScanLogFolder Folder(const CString& name, uint32_t id, uint32_t parent, uint64_t c0 = 0)
{
    ScanLogFolder f;
    f.name = name;
    f.ownId = id;
    f.parentId = parent;
    f.date = 0x1D9A0B0C0D0E0F0 + id;
    f.time = 36000 + id;
    f.deleted = id % 2;
    f.cluster0Start = c0;
    return f;
}

inline ScanLogTreeItem Item(uint32_t depth, const CString& name, uint32_t id = 0, uint32_t parent = 0, uint64_t c0 = 0)
{
    ScanLogTreeItem item;
    item.depth = depth;
    item.text = name;
    item.hasFolder = depth > 0;
    if (item.hasFolder)
        item.folder = Folder(name, id, parent, c0);
    return item;
}

template <size_t N> std::array<CString, N> Row(int n)
{
    std::array<CString, N> row;
    for (size_t i = 0; i < N; ++i)
        row[i].Format(L"%d.%d", n, int(i));
    return row;
}

// The parent id of a log's top folders: its volume's root folder (record 5 on NTFS, cluster 0 on
// FAT).
inline uint32_t RootId(const ScanLogData& d)
{
    return d.params.partitionType == CString(L"NTFS") ? 5 : 0;
}

// A log with a distinct, non-default value in every stored field, so that a field the reader
// skips or swaps shows when the result is written again.
inline ScanLogData Sample(uint32_t mode, const wchar_t* fs, ScanLogSource source)
{
    const bool deep = mode == kScanLogModeDeep;
    ScanLogData d;
    d.header = { L"Logical", L"ST500||465.8 GB||976773168||1", mode };
    d.device.source = source;
    d.device.drivePath = L"\\\\.\\E:";
    d.device.driveSectors = 976773168;
    d.device.diskDescription = d.header.diskIdentity;
    d.device.diskNumber = 1;
    d.volume.diskNumber = 1;
    d.volume.partitionSelector = 0xA5;
    d.volume.fsName = fs;
    d.volume.searchModeName = deep ? L"Deep Search" : L"Basic Search";
    d.volume.startSector = 2048;
    d.volume.endSector = 976773168;
    d.volume.startSectorCopy = 2049;
    d.volume.sizeSectors = 976771120;
    d.geometry = { 101, 8, 32, 2, 32, 0x100000001, 2080, 9000, 0x200000002, 0x300000003, 2, 8 };
    static_cast<VolumeGeometryRecord&>(d.params) = { 201, 16, 33, 3, 34, 0x400000004, 3080, 9500, 0x5, 0x6, 2, 4 };
    d.params.partitionType = fs == CString(L"NTFS") ? L"NTFS" : L"FAT16"; // a Deep FAT32 range may hold FAT16
    d.folderCount = 6;
    const uint64_t c0 = deep ? 0x7000000007 : 0;
    // Each folder under its parent's item; the top folders' parent is the volume's root.
    const uint32_t root = RootId(d);
    d.tree = { Item(0, L"Root"),
               Item(1, L"KXR_Miscellaneous", 0x0FFFFFFF, 0x0FFFFFFF, c0),
               Item(1, L"Documents", 40, root, c0),
               Item(2, L"Letters", 41, 40, c0 + 1),
               Item(3, L"2013", 42, 41, c0 + 2),
               Item(1, L"Photos", 50, root, c0) };
    d.tree[4].hasFolder = false; // an item without a folder record gets an empty one
    d.tree[4].folder = ScanLogFolder();
    if (deep && d.volume.fsName != L"NTFS")
        d.fatVolumes = { Row<12>(1), Row<12>(2) };
    if (d.params.partitionType == L"NTFS") {
        d.ntfsRows = { Row<6>(10), Row<6>(11), Row<6>(12) };
        d.ntfsTableWord = 0xDEADBEEF;
        if (deep)
            d.recognisedRows = { Row<6>(20) };
    }
    return d;
}

inline std::vector<ScanLogData> Samples()
{
    return { Sample(kScanLogModeBasic, L"FAT32", ScanLogSource::Drive),
             Sample(kScanLogModeBasic, L"NTFS", ScanLogSource::Disk),
             Sample(kScanLogModeDeep, L"FAT32", ScanLogSource::Disk),
             Sample(kScanLogModeDeep, L"NTFS", ScanLogSource::Drive) };
}

} // namespace scan_log_test
