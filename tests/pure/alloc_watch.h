// The largest single allocation made while some code runs, for checking that hostile length
// claims are refused before anything is allocated. Only the sanitizer build can watch.
#pragma once
#include <atomic>
#include <cstddef>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/allocator_interface.h>
#define ZR_WATCH_ALLOCATIONS 1
#endif
#endif

namespace alloc_watch {

inline std::atomic<bool> watching{ false };
inline std::atomic<size_t> largest{ 0 };
#ifdef ZR_WATCH_ALLOCATIONS
inline void OnMalloc(const volatile void*, size_t size)
{
    if (watching && size > largest)
        largest = size;
}
inline void OnFree(const volatile void*) { }
inline const int hooks = __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
#endif

// Runs f and returns its largest allocation; 0 where nothing watches (there a huge allocation
// shows as std::bad_alloc escaping instead).
template <class F> size_t Largest(F&& f)
{
    largest = 0;
    watching = true;
    f();
    watching = false;
    return largest;
}

} // namespace alloc_watch
