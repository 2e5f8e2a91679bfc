#include "temporaries.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

namespace {

std::atomic<bool> g_keepFreed{ false };
thread_local std::vector<std::shared_ptr<void>>* t_kept = nullptr;

// Kinds sign up from whichever thread first lends one while another thread may be emptying its
// maps, so the list is read and written under the lock.
std::mutex g_mapsLock;
std::vector<void (*)()>& Maps()
{
    static auto* m = new std::vector<void (*)()>(); // never destroyed: threads may outlive statics
    return *m;
}

} // namespace

void ZrRetireTemporary(std::shared_ptr<void> object)
{
    if (!object || !g_keepFreed)
        return; // the last reference goes here
    if (!t_kept)
        t_kept = new std::vector<std::shared_ptr<void>>();
    t_kept->push_back(std::move(object));
}

bool ZrKeepFreedTemporaries(bool keep)
{
    return g_keepFreed.exchange(keep);
}

void ZrFreeKeptTemporaries()
{
    delete t_kept;
    t_kept = nullptr;
}

bool ZrRegisterTempMap(void (*deleteThreadTemps)())
{
    std::lock_guard<std::mutex> lock(g_mapsLock);
    auto& maps = Maps();
    if (deleteThreadTemps && std::find(maps.begin(), maps.end(), deleteThreadTemps) == maps.end())
        maps.push_back(deleteThreadTemps);
    return true;
}

void ZrDeleteRegisteredTempMaps()
{
    std::vector<void (*)()> maps;
    {
        std::lock_guard<std::mutex> lock(g_mapsLock);
        maps = Maps();
    }
    for (auto deleteThreadTemps : maps)
        deleteThreadTemps();
}
