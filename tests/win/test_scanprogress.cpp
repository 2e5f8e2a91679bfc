// The progress shown by the scans and the tree builds: few messages to the bar's thread, a bar
// that moves with the work and ends full.
#include <gtest/gtest.h>

#include "afxwin.h"
#include "app/maindlg.h"
#include "fsrecovery/scanprogress.h"

namespace {

int g_steps = 0;
WNDPROC g_barProc = nullptr;

LRESULT CALLBACK CountingBar(HWND wnd, UINT msg, WPARAM w, LPARAM l)
{
    if (msg == PBM_STEPIT || msg == PBM_SETPOS || msg == PBM_DELTAPOS)
        ++g_steps;
    return ::CallWindowProcW(g_barProc, wnd, msg, w, l);
}

class ThrottledProgressTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZrInitCommonControls();
        g_pMainDlg = &main;
        bar = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_POPUP, 0, 0, 200, 20, nullptr, nullptr, nullptr,
                                nullptr);
        ASSERT_NE(nullptr, bar);
        g_barProc = (WNDPROC)::SetWindowLongPtrW(bar, GWLP_WNDPROC, (LONG_PTR)CountingBar);
    }
    void TearDown() override
    {
        ::DestroyWindow(bar);
        g_pMainDlg = nullptr;
    }
    int Position() { return (int)::SendMessageW(bar, PBM_GETPOS, 0, 0); }
    int Top() { return (int)::SendMessageW(bar, PBM_GETRANGE, FALSE, 0); }

    CDelvaneDlg main;
    HWND bar = nullptr;
};

} // namespace

TEST_F(ThrottledProgressTest, ReportsPerItemMoveTheBarInFewMessagesAndEndFull)
{
    const uint64_t totals[] = { 1, 7, 200, 100000, 1ull << 40, UINT64_MAX };
    for (uint64_t total : totals) {
        SCOPED_TRACE(testing::Message() << "total " << total);
        ThrottledProgress progress(bar);
        const uint64_t stride = total / 100000 + 1;
        int halfway = -1;
        g_steps = 0;
        for (uint64_t done = 0; done < total; done += stride) {
            if (halfway < 0 && done >= total / 2)
                halfway = Position();
            progress.Report(done, total);
            if (done > total - stride)
                break;   // the next stride would wrap
        }
        const int rangeMessages = g_steps;
        progress.Report(total, total);
        EXPECT_EQ(Top(), (int)ThrottledProgress::kSteps);
        EXPECT_EQ(Position(), Top());
        // The range is set once (a few messages), then one message per step at most.
        EXPECT_LE(g_steps, (int)ThrottledProgress::kSteps + 6);
        EXPECT_GE(rangeMessages, 1);
        if (total >= 100) {
            EXPECT_NEAR(halfway, (int)ThrottledProgress::kSteps / 2, 2);
        }
    }
}
