// A stop request: one thread sets it to 1, the worker it stops polls it between reads and runs
// its own finishing steps.
#pragma once
#include <atomic>
#include <cstdint>

using StopFlag = std::atomic<uint32_t>;

inline bool IsStopped(const StopFlag* stop)
{
    return stop != nullptr && stop->load(std::memory_order_relaxed) == 1;
}
