#include "app/scanprogress.h"

#include "app/maindlg.h"

void ThrottledProgress::Report(uint64_t done, uint64_t total)
{
    if (m_bar == nullptr || g_pMainDlg == nullptr)
        return;
    if (!m_ranged) {
        g_pMainDlg->SetProgressRange64(m_bar, 0, kSteps, 1);
        m_ranged = true;
    }
    uint64_t due = kSteps;
    if (done < total)
        due = total <= UINT64_MAX / kSteps ? done * kSteps / total : done / (total / kSteps);
    while (m_shown < due)
        g_pMainDlg->UpdateProgress(m_bar, 0, kSteps, ++m_shown);
}
