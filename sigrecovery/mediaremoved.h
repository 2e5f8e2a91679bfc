// The carving scans' question when the device cannot be opened or read: "The selected storage
// device is no longer available." It runs modally on the scan's own thread.
#pragma once
#include <cstdint>

#include "afxwin.h"
#include "app/colorcontrols.h"
#include "app/smalldialog.h"
#include "sigrecovery/pure/carve_pass.h"

class CMediaRemoved : public CSmallDialog {
public:
    explicit CMediaRemoved(CWnd* parent = nullptr);

    CButton m_applyAlways;
    CColorStatic m_headline;
    CMyBtn m_cancelSearching, m_retry;
    // Both 0 whenever the dialog opens. cancelSearching: 1 after "Cancel Searching". retryAction:
    // 1 after "Retry and Continue...", 5 when the check box was set as well.
    int32_t cancelSearching = 0;
    int32_t retryAction = 0;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnCancelSearching();
    void OnRetry();
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor);

    DECLARE_MESSAGE_MAP()
};

// Runs the question modally on the calling thread (no owner) and turns its answer into the
// carving pass's: Cancel, Retry, RetryAlways, or Skip when it was closed any other way.
MediaAnswer AskMediaRemovedModal(CMediaRemoved& dialog);
MediaAnswer AskMediaRemovedModal();
