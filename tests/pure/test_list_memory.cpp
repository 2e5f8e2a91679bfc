// Running out of memory while a cluster chain or a file's data runs are built: the list is
// released, the storage host is told which list and whether it was still empty, and the builder
// ends instead of the exception ending the program. Allocations fail here on request through a
// replaced operator new, which passes everything through while no test arms it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "storage/pure/fat_chain.h"
#include "storage/pure/ntfs_record.h"
#include "storage/pure/storage_host.h"
#include "tests/pure/storage_test_util.h"

namespace {

// The next allocation of at least this many bytes fails, once; releasing the list gives the
// memory back, as it would in a process that ran out.
std::atomic<size_t> g_failFrom{ SIZE_MAX };

void* Allocate(size_t n)
{
    if (n >= g_failFrom.load()) {
        g_failFrom = SIZE_MAX;
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(n != 0 ? n : 1))
        return p;
    throw std::bad_alloc();
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
// The nothrow forms too, so that every block of this family is malloc'd and freed alike.
void* operator new(size_t n, const std::nothrow_t&) noexcept
{
    try {
        return Allocate(n);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](size_t n, const std::nothrow_t&) noexcept
{
    try {
        return Allocate(n);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept
{
    std::free(p);
}

namespace {

struct MemoryHost : storage_test::RecordingHost {
    void ListMemoryExhausted(ListKind kind, bool firstNode) override { told.push_back({ kind, firstNode }); }
    std::vector<std::pair<ListKind, bool>> told;
};

struct ListMemory : ::testing::Test {
    MemoryHost host;
    void SetUp() override { SetStorageHost(&host); }
    void TearDown() override
    {
        g_failFrom = SIZE_MAX;
        SetStorageHost(nullptr);
    }
    template <class F> auto Failing(size_t from, F&& f)
    {
        g_failFrom = from;
        auto result = f();
        g_failFrom = SIZE_MAX;
        return result;
    }
};

TEST_F(ListMemory, ClusterChainsReleaseTheChainAndTellWhetherItWasEmpty)
{
    // A FAT16 chain through 5000 clusters, the FAT from sector 1.
    std::vector<uint8_t> disk(64 * kSectorSize);
    for (uint32_t c = 2; c < 5002; ++c)
        storage_test::PutLe16(&disk[kSectorSize + 2 * c], uint16_t(c + 1 < 5002 ? c + 1 : 0xFFFF));
    MemorySectorSource source(disk);
    const FatChainGeometry fat{ false, 1, 60 };
    std::vector<uint32_t> chain;
    ASSERT_EQ(WalkFatChain(source, fat, 2, UINT64_MAX, {}, chain), FatChainEnd::EndMark);
    ASSERT_EQ(chain.size(), 5000u);

    // The chain cannot grow past 8 KiB: a later node fails.
    std::vector<uint32_t> grown;
    EXPECT_EQ(Failing(8192, [&] { return WalkFatChain(source, fat, 2, UINT64_MAX, {}, grown); }),
              FatChainEnd::OutOfMemory);
    EXPECT_TRUE(grown.empty());
    // Nothing at all can be had: the first node fails.
    std::vector<uint32_t> first;
    EXPECT_EQ(Failing(1, [&] { return WalkFatChain(source, fat, 2, UINT64_MAX, {}, first); }),
              FatChainEnd::OutOfMemory);
    const std::vector<std::pair<ListKind, bool>> told{ { ListKind::ClusterChain, false },
                                                       { ListKind::ClusterChain, true } };
    EXPECT_EQ(host.told, told);
    EXPECT_STREQ(ListMemoryMessage(ListKind::ClusterChain, true), L"Not Enough Memory");
    EXPECT_STREQ(ListMemoryMessage(ListKind::ClusterChain, false), L"Not Enough Memory.");
}

TEST_F(ListMemory, DataRunsEndAsIncompleteWithOrWithoutAHost)
{
    const std::vector<uint8_t> pairs{ 0x21, 0x18, 0x34, 0x56, 0x11, 0x02, 0x10, 0x00 };
    std::vector<ClusterRun> runs;
    EXPECT_FALSE(Failing(1, [&] { return DecodeMappingPairs(pairs.data(), pairs.size(), runs); }));
    EXPECT_TRUE(runs.empty());
    ASSERT_EQ(host.told.size(), 1u);
    EXPECT_EQ(host.told[0], std::make_pair(ListKind::DataRuns, true));
    EXPECT_STREQ(ListMemoryMessage(ListKind::DataRuns, true), L"Memory Allocation Error.");

    SetStorageHost(nullptr);
    EXPECT_FALSE(Failing(1, [&] { return DecodeMappingPairs(pairs.data(), pairs.size(), runs); }));
    EXPECT_TRUE(Failing(SIZE_MAX, [&] { return DecodeMappingPairs(pairs.data(), pairs.size(), runs); }));
    EXPECT_EQ(runs.size(), 2u);
}

} // namespace
