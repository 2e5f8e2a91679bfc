// The progress of the scans and tree builds: few messages to the bar's thread, a bar that moves
// with the work and ends full.
#include <gtest/gtest.h>

#include "afxwin.h"
#include "app/maindlg.h"
#include "app/scanprogress.h"

namespace {

int g_steps = 0;
WNDPROC g_barProc = nullptr;

LRESULT CALLBACK CountingBar(HWND wnd, UINT msg, WPARAM w, LPARAM l)
{
    if (msg == PBM_STEPIT || msg == PBM_SETPOS || msg == PBM_DELTAPOS)
        ++g_steps;
    return ::CallWindowProcW(g_barProc, wnd, msg, w, l);
}

TEST(ThrottledProgressTest, ReportsPerItemMoveTheBarInFewMessagesAndEndFull)
{
    ZrInitCommonControls();
    CDelvaneDlg main;
    SetSearchHost(&main);
    HWND bar = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_POPUP, 0, 0, 200, 20, nullptr, nullptr, nullptr, nullptr);
    g_barProc = (WNDPROC)::SetWindowLongPtrW(bar, GWLP_WNDPROC, (LONG_PTR)CountingBar);
    auto position = [&] { return (int)::SendMessageW(bar, PBM_GETPOS, 0, 0); };
    for (uint64_t total : { 1ull, 7ull, 200ull, 100000ull, 1ull << 40, UINT64_MAX }) {
        SCOPED_TRACE(testing::Message() << "total " << total);
        ThrottledProgress progress(&main, bar);
        const uint64_t stride = total / 100000 + 1;
        int halfway = -1;
        g_steps = 0;
        for (uint64_t done = 0; done < total; done += stride) {
            if (halfway < 0 && done >= total / 2)
                halfway = position();
            progress.Report(done, total);
            if (done > total - stride)
                break; // the next stride would wrap
        }
        const int rangeMessages = g_steps;
        progress.Report(total, total);
        EXPECT_EQ((int)ThrottledProgress::kSteps, (int)::SendMessageW(bar, PBM_GETRANGE, FALSE, 0));
        EXPECT_EQ((int)ThrottledProgress::kSteps, position());
        // The range is set once (a few messages), then one message per step at most.
        EXPECT_LE(g_steps, (int)ThrottledProgress::kSteps + 6);
        EXPECT_GE(rangeMessages, 1);
        if (total >= 100) {
            EXPECT_NEAR(halfway, (int)ThrottledProgress::kSteps / 2, 2);
        }
    }
    ::DestroyWindow(bar);
    SetSearchHost(nullptr);
}

} // namespace
