// Work done shown on a progress bar through the launcher's services, in steps of a
// two-hundredth of the total: a report that does not reach the next step sends nothing. The
// bar belongs to the dialog's thread; every message a worker sends it is a round trip that also
// repaints it, so one per record, row or folder would cost more than the work it reports. From
// a worker the bar is also paced (app/pure/view_pacer.h): moved at most every 100 ms, and always
// to the end when the work reaches it.
#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

#include "afxwin.h"
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

// The counters and the bar that a scan's reports change on a dialog. Each report keeps their texts
// and the bar's position current in the controls; the screen shows them as a ViewPacer allows. A
// static control paints itself the moment its text is set, and a bar when it moves: two counters
// a report, a few hundred reports a phase, would cost more than the scan. A phase's first and last
// reports paint at once; between them a report paints only when the pacer is due, and a timer of
// the dialog paints the last figures when no report follows in time.
class PacedCounts {
public:
    explicit PacedCounts(UINT_PTR timerId) : m_timerId(timerId) { }

    // Opens a report: `between` when it is neither its phase's first report nor its last.
    void BeginReport(bool between) { m_painting = !between || m_pacer.Due(); }
    // A counter's text: painted at once when the report paints, else kept for the paced paint.
    void SetText(CWnd& dialog, CWnd& control, const CString& text);
    // The bar was moved: kept unpainted unless the report paints.
    void BarMoved(CWnd& dialog, HWND bar);
    void EndReport(CWnd& dialog);
    // Paints what was kept; the dialog's timer of TimerId() calls it too.
    void Paint(CWnd& dialog);
    UINT_PTR TimerId() const { return m_timerId; }

private:
    void KeepUnpainted(CWnd& dialog, HWND control);

    UINT_PTR m_timerId;
    ViewPacer m_pacer;
    bool m_painting = true;
    std::vector<HWND> m_unpainted;
};
