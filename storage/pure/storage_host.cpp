#include "storage/pure/storage_host.h"

#include <atomic>

namespace {
std::atomic<StorageHost*> g_host{ nullptr };
}

StorageHost::~StorageHost() = default;

StorageHost* GetStorageHost()
{
    return g_host.load();
}
void SetStorageHost(StorageHost* host)
{
    g_host.store(host);
}

int HostSearchMode()
{
    StorageHost* host = GetStorageHost();
    return host != nullptr ? host->CurrentSearchMode() : kModeNone;
}

const wchar_t* ListMemoryMessage(ListKind kind, bool firstNode)
{
    if (kind == ListKind::DataRuns)
        return L"Memory Allocation Error.";
    return firstNode ? L"Not Enough Memory" : L"Not Enough Memory.";
}

void ReportListMemoryExhausted(ListKind kind, bool firstNode)
{
    if (StorageHost* host = GetStorageHost())
        host->ListMemoryExhausted(kind, firstNode);
}

bool ShouldStartAutoPartitionSearch(const AutoSearchState& s)
{
    return s.selectedIsWholeDisk && !s.selectedHasChildren && !s.scanCounted && !s.searchRunning && !s.onSearchThread;
}
