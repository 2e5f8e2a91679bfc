// Basic Search on synthesized volumes written to temporary image files and read back through
// the Windows sector reader: an NTFS $MFT of 100,000 file records (one folder per 100 files,
// every tenth record deleted) and a FAT32 volume of 50,000 one-cluster files in 500 folders (the
// scan reads the whole data area and looks at directory clusters only),
// each also at a tenth of the size. Prints the scan time, the table-filling time, the
// throughput and the process's peak working set.
//
//   bench_basicscan.exe [ntfs|fat32 FILES]
// The peak working set is the process's: run one volume per process to see each one's.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fsrecovery/pure/basic_scan.h"
#include "storage/sectorreader.h"
#include "tests/pure/ntfs_test_records.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace ntfs_test;

constexpr uint64_t kMftStart = 2048;
constexpr uint32_t kFilesPerFolder = 100;

double Seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

double PeakMiB()
{
    struct Counters {
        DWORD cb;
        DWORD pageFaults;
        SIZE_T peakWorkingSet, workingSet, a, b, c, d, pagefile, peakPagefile;
    } counters{};
    counters.cb = sizeof counters;
    using Proc = BOOL(WINAPI*)(HANDLE, Counters*, DWORD);
    auto proc = reinterpret_cast<Proc>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "K32GetProcessMemoryInfo")));
    if (proc == nullptr || !proc(::GetCurrentProcess(), &counters, sizeof counters))
        return 0;
    return double(counters.peakWorkingSet) / (1 << 20);
}

std::wstring TempImage(const wchar_t* name)
{
    wchar_t dir[MAX_PATH];
    ::GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir) + name;
}

// Writes the sectors handed out by `fill` (one 256 KiB chunk at a time) to a new file.
template <class Fill> bool WriteImage(const std::wstring& path, uint64_t sectors, Fill fill)
{
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (f == nullptr)
        return false;
    std::vector<uint8_t> chunk(512 * kSectorSize);
    bool ok = true;
    for (uint64_t s = 0; s < sectors && ok; s += 512) {
        const uint64_t n = std::min<uint64_t>(512, sectors - s);
        std::fill(chunk.begin(), chunk.end(), 0);
        fill(s, n, chunk.data());
        ok = fwrite(chunk.data(), kSectorSize, size_t(n), f) == n;
    }
    return fclose(f) == 0 && ok;
}

void SetFoundColumns(ZrRecordTable& t)
{
    t.SetColumns({ { L"Name", 0 }, { L"sector", 0 }, { L"self", 0 }, { L"parent", 0 }, { L"date", 0 },
                   { L"time", 0 }, { L"size", 0 }, { L"attr", 0 }, { L"sysID", 0 }, { L"Type", 0 },
                   { L"Deleted", 0 }, { L"Cluster0Start", 0 } });
}

void Report(const char* what, uint64_t bytes, double scan, double tables, size_t rows)
{
    std::printf("%-22s %8.1f MiB  scan %6.2f s (%6.0f MB/s)  tables %5.2f s  rows %7zu  peak %6.1f MiB\n",
                what, double(bytes) / (1 << 20), scan, double(bytes) / 1e6 / scan, tables, rows,
                PeakMiB());
}

void BenchNtfs(uint64_t files)
{
    const uint64_t folders = files / kFilesPerFolder, records = 16 + folders + files;
    // Record numbers: 5 the root, 16 .. 16+folders-1 the folders, then the files.
    std::vector<std::vector<uint8_t>> samples;
    auto record = [&](uint64_t n) {
        const bool folder = n == 5 || (n >= 16 && n < 16 + folders);
        const uint8_t flags = uint8_t((folder ? 2 : 0) | (n % 10 == 7 ? 0 : 1));
        RecordBuilder b(flags);
        const uint64_t parent = folder ? 5 : 16 + (n - 16 - folders) / kFilesPerFolder;
        b.Resident(0x30, FileNameValue(parent, 0x01D9000000000000ull + n, 1,
                                       n == 5 ? u"." : (folder ? u"Folder " : u"file ") +
                                                           std::u16string(1, char16_t(u'A' + n % 26))));
        return b.Finish();
    };
    const std::wstring path = TempImage(L"zr_bench_basic_ntfs.img");
    const uint64_t sectors = kMftStart + records * 2;
    if (!WriteImage(path, sectors, [&](uint64_t s, uint64_t n, uint8_t* out) {
            for (uint64_t i = 0; i < n; i += 2) {
                if (s + i < kMftStart || n - i < 2)
                    continue;
                const uint64_t r = (s + i - kMftStart) / 2;
                if (r < records && (r == 5 || r >= 16)) {
                    const std::vector<uint8_t> rec = record(r);
                    std::memcpy(out + i * kSectorSize, rec.data(), rec.size());
                }
            }
        })) {
        std::printf("cannot write %ls\n", path.c_str());
        return;
    }
    MftRunTableRecord runs;
    runs.starts = { kMftStart };
    runs.lengths = { records * 2 };
    KeptHandleSectorSource device(CString(path.c_str()));
    const auto t0 = Clock::now();
    const std::vector<NtfsScanRecord> found = ScanNtfsRecords(device, runs);
    const auto t1 = Clock::now();
    ZrRecordTable foundTable, fileTable;
    SetFoundColumns(foundTable);
    fileTable.SetColumns({ { L"Sector", 0 }, { L"name", 0 }, { L"size", 0 }, { L"date", 0 }, { L"time", 0 },
                           { L"type", 0 } });
    AppendNtfsRows(foundTable, fileTable, found);
    const auto t2 = Clock::now();
    char what[64];
    std::snprintf(what, sizeof what, "NTFS %llu files", (unsigned long long)files);
    Report(what, records * 1024, Seconds(t0, t1), Seconds(t1, t2),
           size_t(foundTable.GetItemCount() + fileTable.GetItemCount()));
    ::DeleteFileW(path.c_str());
}

void BenchFat32(uint64_t files)
{
    constexpr uint32_t spc = 8, reserved = 32;
    const uint64_t folders = files / kFilesPerFolder, clusters = 1 + folders + files;
    const uint32_t fatSectors = uint32_t((clusters + 2) * 4 / kSectorSize + 1);
    const uint64_t cluster0 = reserved + 2ull * fatSectors - 2ull * spc;
    const uint64_t sectors = cluster0 + (clusters + 2) * spc;
    // Cluster 2 the root, 3 .. 3+folders-1 the folders, then the files (their data left zero).
    auto putEntry = [](uint8_t* e, const char* name, uint8_t attr, uint32_t cluster) {
        std::memset(e, ' ', 11);
        std::memcpy(e, name, std::strlen(name));
        e[0x0B] = attr;
        Put16(e + 0x14, uint16_t(cluster >> 16));
        Put16(e + 0x1A, uint16_t(cluster));
        Put32(e + 0x1C, attr == 0x10 ? 0 : 4096);
    };
    const std::wstring path = TempImage(L"zr_bench_basic_fat32.img");
    if (!WriteImage(path, sectors, [&](uint64_t s, uint64_t n, uint8_t* out) {
            for (uint64_t i = 0; i < n; ++i) {
                const uint64_t sector = s + i;
                if (sector < cluster0 + 3ull * spc || (sector - cluster0) % spc != 0)
                    continue;
                const uint64_t cluster = (sector - cluster0) / spc;
                if (cluster >= 3 + folders)
                    continue;
                uint8_t* d = out + i * kSectorSize;
                putEntry(d, ".", 0x10, uint32_t(cluster));
                putEntry(d + 32, "..", 0x10, 0);
            }
        })) {
        std::printf("cannot write %ls\n", path.c_str());
        return;
    }
    VolumeGeometryRecord g;
    g.sectorsPerCluster = spc;
    g.cluster0Start = cluster0;
    g.reservedSectors = reserved;
    g.sectorsPerFat = fatSectors;
    KeptHandleSectorSource device(CString(path.c_str()));
    const auto t0 = Clock::now();
    const std::vector<FatDirRow> rows = ScanFatDirectoryClusters(device, true, g, sectors);
    const auto t1 = Clock::now();
    ZrRecordTable found;
    SetFoundColumns(found);
    AppendMiscFolderRow(found, 0, 0);
    AppendFatDirRows(found, rows, true);
    const auto t2 = Clock::now();
    char what[64];
    std::snprintf(what, sizeof what, "FAT32 %llu files", (unsigned long long)files);
    Report(what, sectors * kSectorSize, Seconds(t0, t1), Seconds(t1, t2), size_t(found.GetItemCount()));
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
