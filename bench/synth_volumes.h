// Volumes synthesized for the Basic Search benchmarks and written to temporary image files: an
// NTFS volume whose $MFT holds one folder per 100 files, and a FAT32 volume of one-cluster files
// in folders of 100. Every tenth file record or entry is deleted, folders included. Both carry a
// boot sector the volume check accepts, so the whole search can run on them; plus the timing and
// memory helpers the benchmarks share. Builds for Windows and natively.
#pragma once
#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/peak_memory.h"
#include "storage/pure/sector_source.h"
#include "tests/pure/ntfs_test_records.h"

namespace bench {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kSector = 512;
constexpr uint64_t kFilesPerFolder = 100;

inline double Seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

inline std::wstring TempImage(const wchar_t* name)
{
#ifdef _WIN32
    wchar_t dir[MAX_PATH];
    ::GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir) + name;
#else
    const char* dir = std::getenv("TMPDIR");
    const std::string base = dir != nullptr ? dir : "/tmp";
    return std::wstring(base.begin(), base.end()) + L"/" + name;
#endif
}

inline std::string NarrowPath(const std::wstring& path)
{
    std::string narrow;
    for (wchar_t c : path)
        narrow += char(c);
    return narrow;
}

inline FILE* OpenImage(const std::wstring& path, bool write)
{
#ifdef _WIN32
    return _wfopen(path.c_str(), write ? L"wb" : L"rb");
#else
    return std::fopen(NarrowPath(path).c_str(), write ? "wb" : "rb");
#endif
}

inline void RemoveImage(const std::wstring& path)
{
#ifdef _WIN32
    ::DeleteFileW(path.c_str());
#else
    std::remove(NarrowPath(path).c_str());
#endif
}

// Writes `sectors` sectors to a new file, each one filled by sectorFn(number, out) over zeros.
template <class SectorFn> bool WriteImage(const std::wstring& path, uint64_t sectors, SectorFn sectorFn)
{
    FILE* f = OpenImage(path, true);
    if (f == nullptr)
        return false;
    constexpr uint64_t kChunk = 512;
    std::vector<uint8_t> chunk(kChunk * kSector);
    bool ok = true;
    for (uint64_t s = 0; s < sectors && ok; s += kChunk) {
        const uint64_t n = std::min(kChunk, sectors - s);
        std::fill(chunk.begin(), chunk.end(), 0);
        for (uint64_t i = 0; i < n; ++i)
            sectorFn(s + i, chunk.data() + i * kSector);
        ok = fwrite(chunk.data(), kSector, size_t(n), f) == n;
    }
    return fclose(f) == 0 && ok;
}

// Reads `count` sectors from `first` in the scans' block size (256 KiB) and throws the bytes
// away: the seconds it took, what a scan of the same sectors is measured against.
inline double PlainRead(SectorSource& source, uint64_t first, uint64_t count)
{
    constexpr uint32_t kBlock = 512;
    std::vector<uint8_t> block(size_t(kBlock) * kSector);
    const auto t0 = Clock::now();
    for (uint64_t s = 0; s < count; s += kBlock)
        source.Read(first + s, uint32_t(std::min<uint64_t>(kBlock, count - s)), block.data());
    return Seconds(t0, Clock::now());
}

inline bool DeletedAt(uint64_t n)
{
    return n % 10 == 7;
}

// ---- NTFS ---------------------------------------------------------------------------------

// Record numbers: 0 the $MFT itself, 5 the root, 16 .. 16+folders-1 the folders, then the files.
struct NtfsLayout {
    static constexpr uint32_t kSpc = 8;
    static constexpr uint64_t kMftCluster = 256, kMirrCluster = 2;
    uint64_t files = 0, folders = 0, records = 0, mftClusters = 0, sectors = 0;

    explicit NtfsLayout(uint64_t fileCount)
        : files(fileCount), folders(std::max<uint64_t>(1, fileCount / kFilesPerFolder)), records(16 + folders + files),
          mftClusters((records * 2 + kSpc - 1) / kSpc), sectors((kMftCluster + mftClusters + 1) * kSpc)
    { }
    uint64_t MftSector() const { return kMftCluster * kSpc; }
    uint64_t MftSectors() const { return records * 2; }
};

// A mapping pair: `count` clusters at `lcn`, both as few little-endian bytes as they need.
inline std::vector<uint8_t> RunPair(uint64_t lcn, uint64_t count)
{
    auto bytes = [](uint64_t v, bool sign) {
        int n = 1;
        while (n < 8 && ((v >> (8 * n)) != 0 || (sign && ((v >> (8 * n - 1)) & 1))))
            ++n;
        return n;
    };
    const int lengthBytes = bytes(count, false), offsetBytes = bytes(lcn, true);
    std::vector<uint8_t> pair{ uint8_t(offsetBytes << 4 | lengthBytes) };
    for (int i = 0; i < lengthBytes; ++i)
        pair.push_back(uint8_t(count >> (8 * i)));
    for (int i = 0; i < offsetBytes; ++i)
        pair.push_back(uint8_t(lcn >> (8 * i)));
    return pair;
}

inline std::vector<uint8_t> NtfsRecord(const NtfsLayout& v, uint64_t n)
{
    using namespace ntfs_test;
    if (n == 0) {
        RecordBuilder b(1);
        b.Resident(0x30, FileNameValue(5, 0x01D9000000000000ull, 3, u"$MFT"));
        b.NonResident(0x80, RunPair(NtfsLayout::kMftCluster, v.mftClusters), 0, v.records * 1024);
        return b.Finish();
    }
    if (n != 5 && n < 16)
        return {};
    const bool folder = n == 5 || n < 16 + v.folders;
    RecordBuilder b(uint8_t((folder ? 2 : 0) | (DeletedAt(n) ? 0 : 1)));
    const uint64_t parent = folder ? 5 : 16 + (n - 16 - v.folders) / kFilesPerFolder;
    // Names of the length real ones have, all different: "Folder 0000016 photos",
    // "Document 0001234 draft.docx".
    std::u16string name = n == 5 ? u"." : (folder ? u"Folder " : u"Document ");
    if (n != 5) {
        for (int digit = 6; digit >= 0; --digit) {
            uint64_t place = 1;
            for (int i = 0; i < digit; ++i)
                place *= 10;
            name += char16_t(u'0' + n / place % 10);
        }
        name += folder ? u" photos" : u" draft.docx";
    }
    b.Resident(0x30, FileNameValue(parent, 0x01D9000000000000ull + n, 1, name));
    return b.Finish();
}

// What every boot sector holds: the jump, the OEM name, the sector and cluster sizes, the media
// byte and the signature.
inline void BootSectorFrame(uint8_t* s, uint8_t jump, const char* oem, uint8_t sectorsPerCluster)
{
    s[0] = 0xEB, s[1] = jump, s[2] = 0x90;
    std::memcpy(s + 3, oem, 8);
    ntfs_test::Put16(s + 0x0B, kSector);
    s[0x0D] = sectorsPerCluster;
    s[0x15] = 0xF8;
    s[0x1FE] = 0x55, s[0x1FF] = 0xAA;
}

inline void NtfsBootSector(const NtfsLayout& v, uint8_t* s)
{
    using namespace ntfs_test;
    BootSectorFrame(s, 0x52, "NTFS    ", NtfsLayout::kSpc);
    Put64(s + 0x28, v.sectors - 1);
    Put64(s + 0x30, NtfsLayout::kMftCluster);
    Put64(s + 0x38, NtfsLayout::kMirrCluster);
    s[0x40] = 0xF6; // 1024-byte records
    s[0x44] = 0x01; // one-cluster index records
}

inline bool WriteNtfsVolume(const std::wstring& path, const NtfsLayout& v)
{
    std::vector<uint8_t> rec;
    uint64_t recNumber = UINT64_MAX;
    auto recordHalf = [&](uint64_t n, uint64_t half, uint8_t* out) {
        if (n != recNumber) {
            rec = NtfsRecord(v, n);
            recNumber = n;
        }
        if (!rec.empty())
            std::memcpy(out, rec.data() + half * kSector, kSector);
    };
    const uint64_t mirr = NtfsLayout::kMirrCluster * NtfsLayout::kSpc;
    return WriteImage(path, v.sectors, [&](uint64_t s, uint8_t* out) {
        if (s == 0 || s == v.sectors - 1)
            NtfsBootSector(v, out);
        else if (s >= mirr && s < mirr + 2)
            recordHalf(0, s - mirr, out);
        else if (s >= v.MftSector() && s < v.MftSector() + v.MftSectors())
            recordHalf((s - v.MftSector()) / 2, (s - v.MftSector()) % 2, out);
    });
}

// ---- FAT32 --------------------------------------------------------------------------------

// Clusters: the root directory from 2 on, then one per folder, then one per file (its data
// left zero). The root names the folders, each folder its 100 files. With folderCount and no
// files, every cluster after the root's is a folder: the volume a damaged or odd FAT32 looks like
// to the scan when every cluster it reads starts as a directory does.
struct Fat32Layout {
    static constexpr uint32_t kSpc = 8, kReserved = 32, kEntriesPerCluster = kSpc * kSector / 32;
    uint64_t files = 0, folders = 0, rootClusters = 0, clusters = 0;
    uint32_t fatSectors = 0;
    uint64_t cluster0 = 0, sectors = 0;

    explicit Fat32Layout(uint64_t fileCount, uint64_t folderCount = 0)
        : files(fileCount),
          folders(folderCount != 0 ? folderCount : std::max<uint64_t>(1, fileCount / kFilesPerFolder)),
          rootClusters((folders + kEntriesPerCluster - 1) / kEntriesPerCluster),
          clusters(rootClusters + folders + files), fatSectors(uint32_t(((clusters + 2) * 4 + kSector - 1) / kSector)),
          cluster0(kReserved + 2ull * fatSectors - 2ull * kSpc), sectors(cluster0 + (clusters + 2) * kSpc)
    { }
    uint64_t FolderCluster(uint64_t k) const { return 2 + rootClusters + k; }
    uint64_t FileCluster(uint64_t j) const { return 2 + rootClusters + folders + j; }
    uint32_t FatEntry(uint64_t c) const
    {
        if (c < 2)
            return c == 0 ? 0x0FFFFFF8 : 0x0FFFFFFF;
        if (c < 2 + rootClusters)
            return c + 1 < 2 + rootClusters ? uint32_t(c + 1) : 0x0FFFFFFF;
        const uint64_t k = c - 2 - rootClusters;
        if (k < folders)
            return DeletedAt(k) ? 0 : 0x0FFFFFFF;
        return c < clusters + 2 && !DeletedAt(k - folders) ? 0x0FFFFFFF : 0;
    }
};

inline void FatEntry(uint8_t* e, const char* name11, uint8_t attr, uint64_t cluster, uint32_t size, bool deleted)
{
    using namespace ntfs_test;
    std::memcpy(e, name11, 11);
    if (deleted)
        e[0] = 0xE5;
    e[0x0B] = attr;
    Put16(e + 0x0E, 0x6000); // 12:00
    Put16(e + 0x10, 0x5A21); // 2025-01-01
    Put16(e + 0x16, 0x6000);
    Put16(e + 0x18, 0x5A21);
    Put16(e + 0x14, uint16_t(cluster >> 16));
    Put16(e + 0x1A, uint16_t(cluster));
    Put32(e + 0x1C, size);
}

inline void Fat32BootSector(const Fat32Layout& v, uint8_t* s)
{
    using namespace ntfs_test;
    BootSectorFrame(s, 0x58, "MSWIN4.1", Fat32Layout::kSpc);
    Put16(s + 0x0E, Fat32Layout::kReserved);
    s[0x10] = 2;
    Put32(s + 0x20, uint32_t(v.sectors));
    Put32(s + 0x24, v.fatSectors);
    Put32(s + 0x2C, 2);
    Put16(s + 0x30, 1);
    Put16(s + 0x32, 6);
    s[0x42] = 0x29;
    std::memcpy(s + 0x52, "FAT32   ", 8);
}

inline void Fat32DataSector(const Fat32Layout& v, uint64_t cluster, uint64_t offset, uint8_t* out)
{
    char name[12];
    for (uint64_t i = 0; i < kSector / 32; ++i) {
        const uint64_t entry = offset * (kSector / 32) + i;
        uint8_t* e = out + i * 32;
        if (cluster < 2 + v.rootClusters) {
            const uint64_t k = (cluster - 2) * Fat32Layout::kEntriesPerCluster + entry;
            if (k >= v.folders)
                return;
            std::snprintf(name, sizeof name, "DIR%05u   ", unsigned(k));
            FatEntry(e, name, 0x10, v.FolderCluster(k), 0, DeletedAt(k));
            continue;
        }
        const uint64_t k = cluster - 2 - v.rootClusters;
        if (k >= v.folders)
            return; // a file's data
        if (entry == 0) {
            FatEntry(e, ".          ", 0x10, cluster, 0, false);
        } else if (entry == 1) {
            FatEntry(e, "..         ", 0x10, 0, 0, false);
        } else {
            const uint64_t j = k * kFilesPerFolder + entry - 2;
            if (entry - 2 >= kFilesPerFolder || j >= v.files)
                return;
            std::snprintf(name, sizeof name, "F%07uTXT", unsigned(j));
            FatEntry(e, name, 0x20, v.FileCluster(j), 4096, DeletedAt(j));
        }
    }
}

inline bool WriteFat32Volume(const std::wstring& path, const Fat32Layout& v)
{
    return WriteImage(path, v.sectors, [&](uint64_t s, uint8_t* out) {
        if (s == 0 || s == 6) {
            Fat32BootSector(v, out);
        } else if (s >= Fat32Layout::kReserved && s < Fat32Layout::kReserved + 2ull * v.fatSectors) {
            const uint64_t first = (s - Fat32Layout::kReserved) % v.fatSectors * (kSector / 4);
            for (uint64_t i = 0; i < kSector / 4; ++i)
                ntfs_test::Put32(out + 4 * i, v.FatEntry(first + i));
        } else if (s >= v.cluster0 + 2ull * Fat32Layout::kSpc) {
            const uint64_t cluster = (s - v.cluster0) / Fat32Layout::kSpc;
            if (cluster < 2 + v.rootClusters + v.folders)
                Fat32DataSector(v, cluster, (s - v.cluster0) % Fat32Layout::kSpc, out);
        }
    });
}

} // namespace bench
