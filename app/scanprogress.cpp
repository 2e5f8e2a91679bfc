#include "app/scanprogress.h"

#include <algorithm>

#include "app/searchhost.h"

void ThrottledProgress::Report(uint64_t done, uint64_t total)
{
    if (m_bar == nullptr || m_host == nullptr)
        return;
    if (!m_ranged) {
        m_host->SetProgressRange64(m_bar, 0, kSteps, 1);
        m_ranged = true;
    }
    uint64_t due = kSteps;
    if (done < total)
        due = total <= UINT64_MAX / kSteps ? done * kSteps / total : done / (total / kSteps);
    if (due <= m_shown)
        return;
    // On the bar's own thread a move is a call, painted when that thread next pumps; from a worker
    // it is a round trip and a paint, so only a paced one goes, and the end.
    const bool worker = ::GetWindowThreadProcessId(m_bar, nullptr) != ::GetCurrentThreadId();
    if (worker && due < kSteps && !m_pacer.Due())
        return;
    m_shown = due;
    m_host->SetProgressPosition64(m_bar, 0, kSteps, m_shown);
    m_pacer.Updated();
}

void PacedCounts::SetText(CWnd& dialog, CWnd& control, const CString& text)
{
    if (m_painting || control.GetSafeHwnd() == nullptr) {
        control.SetWindowText(text);
        return;
    }
    // The window's own text, without the control's immediate paint; most reports change only one
    // of the counters.
    CString shown;
    control.GetWindowText(shown);
    if (shown == text)
        return;
    ::DefWindowProcW(control.GetSafeHwnd(), WM_SETTEXT, 0, LPARAM(text.GetString()));
    KeepUnpainted(dialog, control.GetSafeHwnd());
}

void PacedCounts::BarMoved(CWnd& dialog, HWND bar)
{
    if (m_painting || bar == nullptr)
        return;
    ::ValidateRect(bar, nullptr);
    KeepUnpainted(dialog, bar);
}

void PacedCounts::EndReport(CWnd& dialog)
{
    if (m_painting) {
        Paint(dialog);
        m_pacer.Updated();
    }
    m_painting = true;
}

void PacedCounts::KeepUnpainted(CWnd& dialog, HWND control)
{
    if (m_unpainted.empty())
        dialog.SetTimer(m_timerId, UINT(ViewPacer::kInterval.count()));
    if (std::find(m_unpainted.begin(), m_unpainted.end(), control) == m_unpainted.end())
        m_unpainted.push_back(control);
}

void PacedCounts::Paint(CWnd& dialog)
{
    if (m_unpainted.empty())
        return;
    dialog.KillTimer(m_timerId);
    for (HWND control : m_unpainted) {
        ::InvalidateRect(control, nullptr, TRUE);
        ::UpdateWindow(control);
    }
    m_unpainted.clear();
    m_pacer.Updated();
}
