// Fuzzes the Basic Search scans on a small disk: the FAT geometry probe and directory-cluster
// scan, and the $MFT record scan with runs taken from the input.
//
// Input: byte 0 = sectors per cluster (any value, usable or not), byte 1 = FAT32 flag and the
// number of $MFT runs; then the disk.
#include <cstdint>
#include <vector>

#include "fsrecovery/pure/basic_scan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const uint32_t spc = data[0];
    const bool fat32 = (data[1] & 1) != 0;
    const int runCount = 1 + ((data[1] >> 1) & 3);
    MemorySectorSource disk(data + 2, size - 2);
    const uint64_t sectors = (size - 2 + kSectorSize - 1) / kSectorSize;

    VolumeGeometryRecord g;
    g.sectorsPerCluster = spc;
    g.cluster0Start = 0;
    ScanFatDirectoryClusters(disk, fat32, g, sectors + 1);
    if (ProbeFatGeometry(disk, fat32, 0, sectors, g) && !FatGeometryUsable(g))
        __builtin_trap();

    // Runs over the disk's sectors in odd pieces, the last one reaching past the end.
    MftRunTableRecord runs;
    for (int i = 0; i < runCount; ++i) {
        runs.starts.push_back(1 + uint64_t(i) * 3);
        runs.lengths.push_back(i + 1 == runCount ? sectors + 2 : 3);
    }
    FoundStore store;
    ScanNtfsRecords(disk, runs, nullptr, {}, [&](NtfsScanRecord&& r) { AddNtfsRecord(store, 0, std::move(r)); });
    return 0;
}
