// The Basic Search scans alone on the synthesized volumes (synth_volumes.h), read back through
// the Windows sector reader: an NTFS $MFT of 100,000 file records and a FAT32 volume of 50,000
// one-cluster files (the scan reads the whole data area and looks at directory clusters only),
// each also at a tenth of the size. Prints the scan time, the table-filling time, the
// throughput and the process's peak working set. bench_basicsearch measures the whole search.
//
//   bench_basicscan.exe [ntfs|fat32 FILES]
// The peak working set is the process's: run one volume per process to see each one's.
#include <windows.h>

#include <cstdlib>

#include "bench/synth_volumes.h"
#include "fsrecovery/pure/basic_scan.h"
#include "storage/sectorreader.h"

namespace {

using namespace bench;

void Report(const char* what, uint64_t bytes, double scan, double tables, size_t rows)
{
    std::printf("%-22s %8.1f MiB  scan %6.2f s (%6.0f MB/s)  tables %5.2f s  rows %7zu  peak %6.1f MiB\n", what,
                double(bytes) / (1 << 20), scan, double(bytes) / 1e6 / scan, tables, rows, PeakMiB());
}

void BenchNtfs(uint64_t files)
{
    const NtfsLayout v(files);
    const std::wstring path = TempImage(L"zr_bench_basic_ntfs.img");
    if (!WriteNtfsVolume(path, v)) {
        std::printf("cannot write %ls\n", path.c_str());
        return;
    }
    MftRunTableRecord runs;
    runs.starts = { v.MftSector() };
    runs.lengths = { v.MftSectors() };
    KeptHandleSectorSource device(CString(path.c_str()));
    const auto t0 = Clock::now();
    std::vector<NtfsScanRecord> found = ScanNtfsRecords(device, runs);
    const auto t1 = Clock::now();
    FoundStore store;
    for (NtfsScanRecord& r : found)
        AddNtfsRecord(store, 0, std::move(r));
    const auto t2 = Clock::now();
    char what[64];
    std::snprintf(what, sizeof what, "NTFS %llu files", (unsigned long long)files);
    Report(what, v.records * 1024, Seconds(t0, t1), Seconds(t1, t2), store.EntryCount() + store.NtfsFileCount());
    ::DeleteFileW(path.c_str());
}

void BenchFat32(uint64_t files)
{
    const Fat32Layout v(files);
    const std::wstring path = TempImage(L"zr_bench_basic_fat32.img");
    if (!WriteFat32Volume(path, v)) {
        std::printf("cannot write %ls\n", path.c_str());
        return;
    }
    VolumeGeometryRecord g;
    g.sectorsPerCluster = Fat32Layout::kSpc;
    g.cluster0Start = v.cluster0;
    g.reservedSectors = Fat32Layout::kReserved;
    g.sectorsPerFat = v.fatSectors;
    KeptHandleSectorSource device(CString(path.c_str()));
    const auto t0 = Clock::now();
    const std::vector<FatDirRow> rows = ScanFatDirectoryClusters(device, true, g, v.sectors);
    const auto t1 = Clock::now();
    FoundStore found;
    AddMiscFolderRow(found, 0, 0, 0);
    AddFatDirRows(found, 0, rows, true);
    const auto t2 = Clock::now();
    char what[64];
    std::snprintf(what, sizeof what, "FAT32 %llu files", (unsigned long long)files);
    Report(what, v.sectors * kSector, Seconds(t0, t1), Seconds(t1, t2), found.EntryCount());
    ::DeleteFileW(path.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    PlatformProbe();
    if (argc == 3) {
        const uint64_t files = std::strtoull(argv[2], nullptr, 10);
        if (std::strcmp(argv[1], "ntfs") == 0)
            BenchNtfs(files);
        else
            BenchFat32(files);
        return 0;
    }
    BenchNtfs(10000);
    BenchNtfs(100000);
    BenchFat32(5000);
    BenchFat32(50000);
    return 0;
}
