// Deep Search's FAT carving on a synthesized 4 GiB FAT32 volume holding 200,000 directories:
// the whole scan against a plain read of the same range in the same run (aim: the scan keeps at
// least 0.8 of the read's speed), then the assembly of 20,000 and 200,000 directory rows, from
// their boot sector and by inference without it, with its time and the most heap it held at once
// (aim: both grow linearly with the rows).
//
//   bench_deepscan [GiB [DIRECTORIES]]
// The image is a sparse file in the temporary folder, removed at the end. Under Wine it is read
// through the program's device reader; natively (a sanitizer build, so slower) from the file.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "bench/peak_memory.h"
#include "fsrecovery/pure/deep_assembly.h"

#ifdef _WIN32
#include "storage/sector_source.h"
#endif

// ---- Heap accounting: every allocation carries its size ahead of it --------------------------

namespace {
std::atomic<size_t> g_heapNow{ 0 }, g_heapPeak{ 0 };
constexpr size_t kHeader = 16;

void* Allocate(size_t n)
{
    void* block = std::malloc(n + kHeader);
    if (block == nullptr)
        throw std::bad_alloc();
    *static_cast<size_t*>(block) = n;
    const size_t now = g_heapNow += n;
    size_t peak = g_heapPeak;
    while (now > peak && !g_heapPeak.compare_exchange_weak(peak, now)) { }
    return static_cast<char*>(block) + kHeader;
}

void Release(void* p) noexcept
{
    if (p == nullptr)
        return;
    void* block = static_cast<char*>(p) - kHeader;
    g_heapNow -= *static_cast<size_t*>(block);
    std::free(block);
}
} // namespace

void* operator new(size_t n)
{
    return Allocate(n);
}
void* operator new[](size_t n)
{
    return Allocate(n);
}
void* operator new(size_t n, const std::nothrow_t&) noexcept
{
    try {
        return Allocate(n);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](size_t n, const std::nothrow_t& tag) noexcept
{
    return operator new(n, tag);
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
    Release(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    Release(p);
}
void operator delete(void* p) noexcept
{
    Release(p);
}
void operator delete[](void* p) noexcept
{
    Release(p);
}
void operator delete(void* p, size_t) noexcept
{
    Release(p);
}
void operator delete[](void* p, size_t) noexcept
{
    Release(p);
}

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

// A FAT32 volume of 4 KiB clusters whose directories lie at every fifth cluster from 2 on; each
// directory's parent is the one ten before it in number, the first ones' the root.
struct Layout {
    static constexpr uint32_t kSpc = 8, kReserved = 32, kStride = 5;
    uint64_t sectors = 0, clusters = 0, directories = 0;
    uint32_t spf = 0;
    uint64_t cluster0 = 0;

    Layout(uint64_t gib, uint64_t dirs) : sectors(gib << 21), directories(dirs)
    {
        clusters = (sectors - kReserved) / kSpc;
        spf = uint32_t((clusters * 4 + 511) / 512);
        cluster0 = kReserved + 2ull * spf - 2 * kSpc;
        const uint64_t usable = (sectors - cluster0) / kSpc - 2;
        directories = std::min(directories, usable / kStride);
    }
    uint32_t DirCluster(uint64_t i) const { return uint32_t(2 + i * kStride); }
    uint32_t Parent(uint64_t i) const { return i < 10 ? 0 : DirCluster(i / 10 - 1); }
};

void Put16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v), p[1] = uint8_t(v >> 8);
}
void Put32(uint8_t* p, uint32_t v)
{
    Put16(p, uint16_t(v)), Put16(p + 2, uint16_t(v >> 16));
}

void DotEntry(uint8_t* e, const char* name, uint32_t cluster)
{
    std::memcpy(e, name, 11);
    e[11] = 0x10;
    Put16(e + 0x14, uint16_t(cluster >> 16));
    Put16(e + 0x1A, uint16_t(cluster));
}

bool WriteImage(const std::filesystem::path& path, const Layout& v)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    uint8_t s[512] = {};
    s[0] = 0xEB, s[1] = 0x58, s[2] = 0x90;
    Put16(s + 0x0B, 512);
    s[0x0D] = Layout::kSpc;
    Put16(s + 0x0E, Layout::kReserved);
    s[0x10] = 2;
    s[0x15] = 0xF8;
    Put32(s + 0x20, uint32_t(v.sectors));
    Put32(s + 0x24, v.spf);
    Put32(s + 0x2C, 2);
    std::memcpy(s + 0x52, "FAT32   ", 8);
    s[510] = 0x55, s[511] = 0xAA;
    out.write(reinterpret_cast<const char*>(s), sizeof s);
    for (uint64_t i = 0; i < v.directories; ++i) {
        std::memset(s, 0, sizeof s);
        DotEntry(s, ".          ", v.DirCluster(i));
        DotEntry(s + 32, "..         ", v.Parent(i));
        out.seekp(std::streamoff((v.cluster0 + uint64_t(v.DirCluster(i)) * Layout::kSpc) * 512));
        out.write(reinterpret_cast<const char*>(s), sizeof s);
    }
    // The last sector, so that the file has its full size (the rest stays a hole).
    std::memset(s, 0, sizeof s);
    out.seekp(std::streamoff((v.sectors - 1) * 512));
    out.write(reinterpret_cast<const char*>(s), sizeof s);
    return bool(out);
}

double PlainRead(SectorSource& source, uint64_t sectors)
{
    std::vector<uint8_t> block(size_t(kDeepScanBlockSectors) * kSectorSize);
    unsigned sum = 0;
    const auto t0 = Clock::now();
    for (uint64_t s = 0; s < sectors; s += kDeepScanBlockSectors) {
        source.Read(s, uint32_t(std::min<uint64_t>(kDeepScanBlockSectors, sectors - s)), block.data());
        sum += block[0];
    }
    const double seconds = Seconds(t0, Clock::now());
    if (sum == 12345)
        std::printf(" ");
    return seconds;
}

void Assemble(const char* how, const std::vector<FatBootHit>& hits, const std::vector<FatDirCluster>& all, size_t rows)
{
    std::vector<FatDirCluster> dirs(all.begin(), all.begin() + std::min(rows, all.size()));
    const size_t before = g_heapNow;
    g_heapPeak = before;
    const auto t0 = Clock::now();
    const std::vector<DeepFatVolume> volumes = AssembleFatVolumes(hits, dirs, true, false);
    const double seconds = Seconds(t0, Clock::now());
    const size_t assigned = size_t(
        std::count_if(dirs.begin(), dirs.end(), [](const FatDirCluster& d) { return d.volume != kDirWithoutVolume; }));
    std::printf(
        "assembly %-12s %7zu rows  %8.1f ms  %6.0f ns/row  heap %7.2f MiB (%5.0f B/row)  volumes %zu  placed %zu\n",
        how, dirs.size(), seconds * 1e3, seconds * 1e9 / double(dirs.size()), double(g_heapPeak - before) / (1 << 20),
        double(g_heapPeak - before) / double(dirs.size()), volumes.size(), assigned);
}

} // namespace

int main(int argc, char** argv)
{
#ifdef _WIN32
    PlatformProbe();
#endif
    const uint64_t gib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 4;
    const Layout v(gib, argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 200000);
    const std::filesystem::path path = std::filesystem::temp_directory_path() / "zr_bench_deepscan.img";
    if (!WriteImage(path, v)) {
        std::printf("cannot write %s\n", path.string().c_str());
        return 1;
    }
    DeepScanFinds finds;
    {
#ifdef _WIN32
        KeptHandleSectorSource source(CString(path.wstring().c_str()));
#else
        FileSectorSource source(path.string());
#endif
        const double mib = double(v.sectors) / 2048;
        PlainRead(source, v.sectors); // the first pass fills the cache for both measured ones
        double read = 1e9, scan = 1e9;
        for (int round = 0; round < 2; ++round) {
            read = std::min(read, PlainRead(source, v.sectors));
            finds = DeepScanFinds();
            const auto t0 = Clock::now();
            RunDeepScan(source, 0, v.sectors, { true, false }, finds);
            scan = std::min(scan, Seconds(t0, Clock::now()));
        }
        std::printf("image %.0f MiB, %llu directories found, %zu boot sectors\n", mib,
                    (unsigned long long)finds.fatDirs.size(), finds.fatBoots.size());
        std::printf("plain read %6.2f s (%7.0f MiB/s)   deep scan %6.2f s (%7.0f MiB/s)   scan/read speed %.2f\n", read,
                    mib / read, scan, mib / scan, read / scan);
    }
    std::error_code ignored;
    std::filesystem::remove(path, ignored);

    for (size_t rows : { size_t(20000), size_t(200000) }) {
        Assemble("boot sector", finds.fatBoots, finds.fatDirs, rows);
        Assemble("inferred", {}, finds.fatDirs, rows);
    }
    std::printf("process peak %.1f MiB\n", bench::PeakMiB());
    return 0;
}
