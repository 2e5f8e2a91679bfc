#include "app/scanprogress.h"

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
