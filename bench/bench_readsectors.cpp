// ReadSectors, which opens and closes the device on every call, against one handle kept open
// for the whole read, over a 1 GiB medium in 512-byte, 4 KiB and 256 KiB steps.
//
//   bench_readsectors [PATH [MiB]]
// PATH defaults to a sparse 1 GiB scratch file made in the temp folder (and removed after);
// MiB limits how much of the medium each pass reads (default: all of it, at most 1024).
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "storage/sector_source.h"

namespace {

double Now()
{
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) / double(f.QuadPart);
}

// A sparse file of `bytes` with a few written sectors, so reads see data and holes.
bool MakeScratch(const wchar_t* path, uint64_t bytes)
{
    const HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    std::vector<char> block(1 << 20, 'z');
    DWORD written = 0;
    bool ok = true;
    for (uint64_t at = 0; at < bytes && ok; at += bytes / 8) {
        LARGE_INTEGER pos;
        pos.QuadPart = LONGLONG(at);
        ok = SetFilePointerEx(h, pos, nullptr, FILE_BEGIN) &&
            WriteFile(h, block.data(), DWORD(block.size()), &written, nullptr);
    }
    LARGE_INTEGER end;
    end.QuadPart = LONGLONG(bytes);
    ok = ok && SetFilePointerEx(h, end, nullptr, FILE_BEGIN) && SetEndOfFile(h);
    CloseHandle(h);
    return ok;
}

struct Result {
    double seconds = 0;
    uint64_t bytes = 0;
    uint64_t calls = 0;
};

template <class ReadFn> Result Pass(uint64_t totalBytes, uint32_t stepSectors, ReadFn read)
{
    std::vector<uint8_t> buf(size_t(stepSectors) * kSectorSize);
    Result r;
    const double start = Now();
    for (uint64_t sector = 0; sector * kSectorSize < totalBytes; sector += stepSectors) {
        const size_t got = read(sector, stepSectors, buf.data());
        if (got == 0)
            break;
        r.bytes += got;
        ++r.calls;
    }
    r.seconds = Now() - start;
    return r;
}

void Print(const char* how, uint32_t stepBytes, const Result& r)
{
    const double mb = double(r.bytes) / (1 << 20);
    std::printf("%-12s %7u B steps: %8.1f MiB in %7.2f s = %8.1f MiB/s, %7.2f us per call\n", how, stepBytes, mb,
                r.seconds, r.seconds > 0 ? mb / r.seconds : 0.0, r.calls ? r.seconds * 1e6 / double(r.calls) : 0.0);
}

} // namespace

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    PlatformProbe();
    wchar_t scratch[MAX_PATH] = {};
    CString path;
    uint64_t limit = uint64_t(1) << 30;
    if (argc > 1) {
        path = argv[1];
        if (argc > 2)
            limit = uint64_t(_wtoi(argv[2])) << 20;
    } else {
        wchar_t dir[MAX_PATH];
        GetTempPathW(MAX_PATH, dir);
        swprintf(scratch, MAX_PATH, L"%lszr_bench_%lu.img", dir, GetCurrentProcessId());
        if (!MakeScratch(scratch, limit)) {
            std::fprintf(stderr, "cannot make the scratch file\n");
            return 1;
        }
        path = scratch;
    }
    std::printf("medium: %ls, %llu MiB per pass\n", static_cast<const wchar_t*>(path),
                static_cast<unsigned long long>(limit >> 20));
    for (uint32_t step : { 1u, 8u, 512u }) {
        const Result each =
            Pass(limit, step, [&](uint64_t s, uint32_t n, uint8_t* b) { return ReadSectorsCounted(path, s, n, b); });
        Print("ReadSectors", step * kSectorSize, each);
        KeptHandleSectorSource kept(path);
        const Result held = Pass(limit, step, [&](uint64_t s, uint32_t n, uint8_t* b) { return kept.Read(s, n, b); });
        Print("kept handle", step * kSectorSize, held);
    }
    if (scratch[0] != 0)
        DeleteFileW(scratch);
    return 0;
}
