// Work done shown on a progress bar through the launcher's services, in steps of a
// two-hundredth of the total: a report that does not reach the next step sends nothing. The
// bar belongs to the dialog's thread; every message a worker sends it is a round trip that also
// repaints it, so one per record, row or folder would cost more than the work it reports. From
// a worker the bar is also paced (app/pure/view_pacer.h): moved at most every 100 ms, and always
// to the end when the work reaches it.
#pragma once
#include <windows.h>

#include <cstdint>

#include "app/pure/view_pacer.h"

class SearchHost;

class ThrottledProgress {
public:
    static constexpr uint64_t kSteps = 200;

    // Without a bar or a launcher, reports do nothing.
    ThrottledProgress(SearchHost* host, HWND bar) : m_host(host), m_bar(bar) { }

    // The first report sets the bar's range; later ones only move it forward.
    void Report(uint64_t done, uint64_t total);

private:
    SearchHost* m_host;
    HWND m_bar;
    bool m_ranged = false;
    uint64_t m_shown = 0;
    ViewPacer m_pacer;
};
