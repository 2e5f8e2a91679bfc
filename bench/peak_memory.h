// The process's peak working set, for the benchmarks of both configurations.
#pragma once
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#endif

namespace bench {

// In MiB; 0 when the system cannot tell.
inline double PeakMiB()
{
#ifdef _WIN32
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
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024;
#endif
}

} // namespace bench
