// The Basic Search pipeline below the dialog, on an image: the scan of the volume into the
// found-entry store (ScanNtfsVolume or ScanFatVolume, what the dialog's scan worker runs), the
// orphan pass and the results tree (BuildResultTree, into a recorder instead of the tree
// control), and the listing of one folder (what the listing worker runs), each timed against a
// plain read of the sectors the scan reads, in the same run. Built natively (no Wine) and for
// Windows (read through the program's sector reader, run under Wine).
//
//   bench_basicscan                      NTFS 1, 2, 5 and 10 million records, FAT32 250,000 files,
//                                        synthesized (synth_volumes.h), each in a process of its own
//   bench_basicscan ntfs|fat32 FILES     one synthesized volume (written to a temporary image)
//   bench_basicscan image PATH ntfs|fat32 [FIRST END]   a real image or device
//
// Prints the image's size, the plain read, the scan, the tree, the listing, the store's bytes
// and the process's peak memory (working set under Windows, resident size natively).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "bench/synth_volumes.h"
#include "fsrecovery/pure/basic_scan.h"
#include "fsrecovery/pure/result_tree.h"
#include "fsrecovery/pure/volume_listing.h"
#include "storage/pure/volume_check.h"
#include "tests/pure/result_tree_sink.h"
#ifdef _WIN32
#include "storage/sector_source.h"
#endif

namespace {

using namespace bench;

#ifdef _WIN32
using ImageSource = KeptHandleSectorSource;
ImageSource* OpenSource(const std::wstring& path)
{
    return new KeptHandleSectorSource(CString(path.c_str()));
}
bool IsOpen(ImageSource& source)
{
    return source.IsOpen();
}
#else
using ImageSource = FileSectorSource;
ImageSource* OpenSource(const std::wstring& path)
{
    return new FileSectorSource(NarrowPath(path));
}
bool IsOpen(ImageSource& source)
{
    return source.IsOpen();
}
#endif

// Counts the files a listing yields.
class CountingSink : public FileSink {
public:
    void Add(const FoundFileRef&, const CString (&)[10]) override { ++files; }
    uint64_t files = 0;
};

struct Figures {
    double plainRead = 0, scan = 0, tree = 0, list = 0;
    uint64_t scannedBytes = 0, records = 0, folders = 0, listed = 0, storeBytes = 0;
};

bool Measure(const std::wstring& path, FsKind kind, uint64_t first, uint64_t end, Figures& f)
{
    std::unique_ptr<ImageSource> source(OpenSource(path));
    if (!IsOpen(*source))
        return false;
    ScanTarget target;
    target.firstSector = first;
    target.endSector = end;
    target.kind = kind;
    const bool served =
        CheckVolume(*source, *source, FsKindName(kind), first, end, target.geometry) == VolumeCheck::Valid;
    if (!served)
        return false;

    // What the scan reads: the $MFT (its runs), or the FAT data area.
    uint64_t readFirst = 0, readCount = 0;
    if (kind == FsKind::Ntfs) {
        MftRunTableRecord runs;
        LoadMftRunTableFrom(*source, target.geometry.cluster0Start, target.geometry.mftSector,
                            target.geometry.mftMirrSector, target.geometry.sectorsPerCluster, runs, end - 1);
        f.plainRead = 0;
        for (size_t r = 0; r < runs.count(); ++r) {
            f.plainRead += PlainRead(*source, runs.starts[r], runs.lengths[r]);
            f.scannedBytes += runs.lengths[r] * kSectorSize;
        }
    } else {
        readFirst = target.geometry.cluster0Start + 2ull * target.geometry.sectorsPerCluster;
        readCount = end > readFirst ? end - readFirst : 0;
        f.plainRead = PlainRead(*source, readFirst, readCount);
        f.scannedBytes = readCount * kSectorSize;
    }

    FoundStore store;
    const auto t0 = Clock::now();
    const BasicScanStatus status = kind == FsKind::Ntfs ? ScanNtfsVolume(*source, target, served, store, 0, nullptr, {})
                                                        : ScanFatVolume(*source, target, served, store, 0, nullptr, {});
    const auto t1 = Clock::now();
    if (status != BasicScanStatus::Done)
        return false;
    f.records = store.EntryCount() + store.NtfsFileCount();
    f.storeBytes = store.BytesUsed();

    RecordingSink sink;
    MarkOrphans(store);
    BuildResultTree(store, sink);
    if (kind == FsKind::Ntfs)
        store.NtfsFilesOf(0, kNtfsRootId); // the listing's index, made when the tree is built
    const auto t2 = Clock::now();
    f.folders = sink.folders.FolderNodeList.count;

    // One folder with files: the first folder record after the catch-all.
    const FolderNode* folder = sink.folders.FolderNodeList.head;
    while (folder != nullptr && (folder->ownId == kMissingParentId || folder->name == kMiscFolderName))
        folder = folder->next;
    CountingSink listed;
    if (folder != nullptr) {
        if (kind == FsKind::Ntfs)
            ListNtfsFilesFrom(store, 0, folder->ownId, *source, nullptr, listed);
        else
            ListFatFilesFrom(store, 0, folder->ownId, *source, nullptr, listed);
    }
    const auto t3 = Clock::now();
    f.listed = listed.files;
    f.scan = Seconds(t0, t1);
    f.tree = Seconds(t1, t2);
    f.list = Seconds(t2, t3);
    return true;
}

void Report(const char* what, uint64_t imageBytes, const Figures& f)
{
    const double mb = double(f.scannedBytes) / 1e6;
    std::printf("%-22s %9.1f | %7.2f %6.0f | %7.2f %6.0f | %6.2f %7.1f | %8llu %7llu %5llu | %7.1f %8.1f\n", what,
                double(imageBytes) / (1 << 20), f.plainRead, f.plainRead > 0 ? mb / f.plainRead : 0, f.scan,
                f.scan > 0 ? mb / f.scan : 0, f.tree, f.list * 1e3, (unsigned long long)f.records,
                (unsigned long long)f.folders, (unsigned long long)f.listed, double(f.storeBytes) / (1 << 20),
                PeakMiB());
    std::fflush(stdout);
}

void Header()
{
    std::printf("%-22s %9s | %7s %6s | %7s %6s | %6s %7s | %8s %7s %5s | %7s %8s\n", "volume", "image MiB", "read s",
                "MB/s", "scan s", "MB/s", "tree s", "list ms", "rows", "folders", "files", "store", "peak MiB");
    std::fflush(stdout);
}

int MeasureSynthesized(bool ntfs, uint64_t files)
{
    char what[64];
    std::snprintf(what, sizeof what, "%s %llu", ntfs ? "NTFS" : "FAT32", (unsigned long long)files);
    wchar_t name[64];
    std::swprintf(name, 64, L"zr_bench_scan_%ls_%llu.img", ntfs ? L"ntfs" : L"fat32", (unsigned long long)files);
    const std::wstring path = TempImage(name);
    uint64_t sectors = 0;
    bool written = false;
    if (ntfs) {
        const NtfsLayout v(files);
        sectors = v.sectors;
        written = WriteNtfsVolume(path, v);
    } else {
        const Fat32Layout v(files);
        sectors = v.sectors;
        written = WriteFat32Volume(path, v);
    }
    Figures f;
    const bool measured = written && Measure(path, ntfs ? FsKind::Ntfs : FsKind::Fat32, 0, sectors, f);
    RemoveImage(path);
    if (!measured) {
        std::printf("%-22s (could not be written or scanned)\n", what);
        return 1;
    }
    Report(what, sectors * kSector, f);
    return 0;
}

// Each volume in a process of its own, so that each peak is its own.
void RunSelf(const char* self, bool ntfs, uint64_t files)
{
    char count[32];
    std::snprintf(count, sizeof count, "%llu", (unsigned long long)files);
#ifdef _WIN32
    char command[512];
    std::snprintf(command, sizeof command, "\"%s\" %s %s", self, ntfs ? "ntfs" : "fat32", count);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessA(nullptr, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
        return;
    ::WaitForSingleObject(pi.hProcess, INFINITE);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
#else
    const pid_t child = fork();
    if (child == 0) {
        execl(self, self, ntfs ? "ntfs" : "fat32", count, static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    if (child > 0)
        waitpid(child, &status, 0);
#endif
}

} // namespace

int main(int argc, char** argv)
{
#ifdef _WIN32
    PlatformProbe();
#endif
    if (argc >= 4 && std::strcmp(argv[1], "image") == 0) {
        const std::string path = argv[2];
        const FsKind kind = std::strcmp(argv[3], "ntfs") == 0 ? FsKind::Ntfs : FsKind::Fat32;
        const std::wstring wide(path.begin(), path.end());
        uint64_t first = argc >= 6 ? std::strtoull(argv[4], nullptr, 10) : 0;
        uint64_t end = argc >= 6 ? std::strtoull(argv[5], nullptr, 10) : 0;
        if (end == 0) {
            FILE* f = OpenImage(wide, false);
            if (f != nullptr) {
#ifdef _WIN32
                _fseeki64(f, 0, SEEK_END);
                end = uint64_t(_ftelli64(f)) / kSector;
#else
                std::fseek(f, 0, SEEK_END);
                end = uint64_t(std::ftell(f)) / kSector;
#endif
                std::fclose(f);
            }
        }
        Figures figures;
        Header();
        if (!Measure(wide, kind, first, end, figures)) {
            std::printf("%s: no volume of that kind could be scanned\n", argv[2]);
            return 1;
        }
        Report(argv[2], (end - first) * kSector, figures);
        return 0;
    }
    if (argc == 3)
        return MeasureSynthesized(std::strcmp(argv[1], "ntfs") == 0, std::strtoull(argv[2], nullptr, 10));
    Header();
    for (uint64_t files : { 1000000ull, 2000000ull, 5000000ull, 10000000ull })
        RunSelf(argv[0], true, files);
    RunSelf(argv[0], false, 250000);
    return 0;
}
