// The launcher as the searches reach it: the installed host, the open search dialogs and their
// partition-search words, the page indices Go resets and the workers the exit stops.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

#include "afxwin.h"
#include "app/maindlg.h"
#include "app/searchhost.h"
#include "common/plain_dialog.h"
#include "common/ui_wait.h"

namespace {

TEST(SearchHost, TheInstalledHostGoesWithItsObjectOnly)
{
    auto first = std::make_unique<CDelvaneDlg>();
    CDelvaneDlg second;
    SetSearchHost(first.get());
    EXPECT_EQ(first->LauncherWindow(), first.get());
    first->SearchMode = kModeDeep;
    EXPECT_EQ(kModeDeep, InstalledSearchMode());
    first.reset(); // a host that goes leaves nothing behind to reach
    EXPECT_EQ(nullptr, GetSearchHost());
    EXPECT_EQ(kModeNone, InstalledSearchMode());

    SetSearchHost(&second);
    CDelvaneDlg(); // another launcher's end does not take this one away
    EXPECT_EQ(&second, GetSearchHost());
    SetSearchHost(nullptr);
}

// The active search dialog is the open one of the search mode; a dialog takes only itself out of
// the registry, and the counters reset clears the partition-search word of an open Basic or Deep
// dialog with a window alone.
TEST(SearchHost, OpenDialogsFollowTheModeAndTheirCountersResetWithTheHosts)
{
    CDelvaneDlg host;
    CDialog basic, deep, windowless;
    ASSERT_TRUE(zr_test::OpenPlainTestDialog(basic));
    ASSERT_TRUE(zr_test::OpenPlainTestDialog(deep));
    std::atomic<int> basicWord{ 1 }, deepWord{ 1 }, photoWord{ 1 };
    RegisterOpenSearchDialog(kModeBasic, &basic, &basicWord);
    RegisterOpenSearchDialog(kModeDeep, &windowless, &deepWord);
    RegisterOpenSearchDialog(kModePhoto, &deep, &photoWord);
    RegisterOpenSearchDialog(kModeSignature + 1, &deep); // no such mode: nothing kept

    host.SearchMode = kModeBasic;
    EXPECT_EQ(&basic, host.ActiveSearchDialog());
    host.PartitionSearchRunning = 1;
    host.PartitionSearchPending = 1;
    host.ResetScanCounters();
    EXPECT_EQ(0, host.PartitionSearchRunning.load());
    EXPECT_EQ(0, host.PartitionSearchPending.load());
    EXPECT_EQ(0, basicWord.load());

    host.SearchMode = kModeDeep;
    host.ResetScanCounters();
    EXPECT_EQ(1, deepWord.load()) << "a dialog without its window keeps its word";
    host.SearchMode = kModePhoto;
    EXPECT_EQ(&deep, host.ActiveSearchDialog());
    host.ResetScanCounters();
    EXPECT_EQ(1, photoWord.load()) << "only Basic and Deep Search keep such a word";

    ForgetOpenSearchDialog(kModePhoto, &basic);
    EXPECT_EQ(&deep, OpenSearchDialog(kModePhoto)) << "another dialog's going does not take it out";
    for (int mode : { kModeBasic, kModeDeep, kModePhoto })
        ForgetOpenSearchDialog(mode, OpenSearchDialog(mode));
    EXPECT_EQ(nullptr, host.ActiveSearchDialog());
    EXPECT_EQ(nullptr, OpenSearchDialog(kModeSignature + 1));
    basic.DestroyWindow();
    deep.DestroyWindow();
}

TEST(SearchHost, PageIndicesAndWorkersAreKeptUntilTheirOwnerLetsGo)
{
    std::atomic<int> page{ 3 }, other{ 4 };
    RegisterSearchPageIndex(kModeBasic, &page);
    UnregisterSearchPageIndex(kModeBasic, &other);
    ResetSearchPages({ kModeBasic, kModeDeep });
    EXPECT_EQ(0, page.load());
    page = 3;
    UnregisterSearchPageIndex(kModeBasic, &page);
    ResetSearchPages({ kModeBasic });
    EXPECT_EQ(3, page.load());

    static CWinThread* worker = nullptr;
    static CWinThread* idle = nullptr;
    RegisterWorkerGlobal(&worker);
    RegisterWorkerGlobal(&worker);
    RegisterWorkerGlobal(&idle);
    ASSERT_NE(nullptr, ZrBeginThreadInto(
                           worker,
                           [](LPVOID) -> UINT {
                               while (!AfxGetThread()->StopRequested())
                                   ::Sleep(5);
                               return 0;
                           },
                           nullptr));
    const std::vector<CWinThread*> running = RequestRegisteredWorkersStop();
    ASSERT_EQ(1u, running.size()) << "each worker once, and only those that run";
    EXPECT_TRUE(running[0]->StopRequested());
    EXPECT_TRUE(ZrWaitForThreadPumping(running[0], 5000));
    delete running[0];
    worker = nullptr;
}

} // namespace
