// The one rule for the temporaries every kind of handle wrapper lends: what becomes of one its map
// lets go, and which maps CWnd::DeleteTempMap empties.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "temporaries.h"

namespace {

struct Counted {
    std::atomic<int>* deleted;
    ~Counted() { ++*deleted; }
};

std::shared_ptr<void> NewCounted(std::atomic<int>& deleted)
{
    return std::unique_ptr<Counted>(new Counted{ &deleted });
}

// The switch is process-wide (the Windows test executables run with it on): each case puts it
// back as it found it.
struct KeepSwitch {
    explicit KeepSwitch(bool keep) : was(ZrKeepFreedTemporaries(keep)) { }
    ~KeepSwitch() { ZrKeepFreedTemporaries(was); }
    bool was;
};

TEST(Temporaries, ARetiredOneIsDeletedAtOnceOrKeptUntilItsOwnThreadFreesThem)
{
    for (bool keep : { false, true }) {
        SCOPED_TRACE(keep ? "kept" : "deleted");
        KeepSwitch on(keep);
        std::atomic<int> deleted{ 0 };
        std::thread([&] {
            ZrRetireTemporary(NewCounted(deleted));
            ZrRetireTemporary(NewCounted(deleted));
            ZrRetireTemporary(nullptr);
            EXPECT_EQ(deleted, keep ? 0 : 2);
            // Another thread ending frees only what it kept itself.
            std::thread([] { ZrFreeKeptTemporaries(); }).join();
            EXPECT_EQ(deleted, keep ? 0 : 2);
            ZrFreeKeptTemporaries();
            EXPECT_EQ(deleted, 2);
        }).join();
    }
}

std::atomic<int> g_firstRuns{ 0 }, g_secondRuns{ 0 };
void DeleteFirst()
{
    ++g_firstRuns;
}
void DeleteSecond()
{
    ++g_secondRuns;
}

TEST(Temporaries, EveryMapSignedUpIsEmptiedOncePerDelete)
{
    EXPECT_TRUE(ZrRegisterTempMap(&DeleteFirst));
    EXPECT_TRUE(ZrRegisterTempMap(&DeleteSecond));
    EXPECT_TRUE(ZrRegisterTempMap(&DeleteFirst)); // a kind signs up once however often it asks
    const int first = g_firstRuns, second = g_secondRuns;
    ZrDeleteRegisteredTempMaps();
    ZrDeleteRegisteredTempMaps();
    EXPECT_EQ(g_firstRuns - first, 2);
    EXPECT_EQ(g_secondRuns - second, 2);
}

} // namespace
