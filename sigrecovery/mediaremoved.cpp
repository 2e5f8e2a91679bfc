#include "sigrecovery/mediaremoved.h"

#include "app/startup.h"
#include "resource.h"

BEGIN_MESSAGE_MAP(CMediaRemoved, CSmallDialog)
    ON_BN_CLICKED(IDC_MR_CANCEL, &CMediaRemoved::OnCancelSearching)
    ON_BN_CLICKED(IDC_MR_RETRY, &CMediaRemoved::OnRetry)
    ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

CMediaRemoved::CMediaRemoved(CWnd* parent) : CSmallDialog(IDD_MEDIA_REMOVED_DIALOG, parent, ZrKeyFilter::None) { }

void CMediaRemoved::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_MR_APPLY, m_applyAlways);
    DDX_Control(pDX, IDC_MR_HEADLINE, m_headline);
    DDX_Control(pDX, IDC_MR_CANCEL, m_cancelSearching);
    DDX_Control(pDX, IDC_MR_RETRY, m_retry);
}

BOOL CMediaRemoved::OnInitDialog()
{
    cancelSearching = 0;
    retryAction = 0;
    CSmallDialog::OnInitDialog();
    m_headline.SetFont(&SharedGdi.FontArial16Bold);
    m_headline.SetBkColor(RGB(255, 255, 255));
    MakeIconButton(m_cancelSearching, IDC_MR_CANCEL, IDI_EXIT);
    MakeIconButton(m_retry, IDC_MR_RETRY, IDI_OK);
    return TRUE;
}

void CMediaRemoved::OnCancelSearching()
{
    cancelSearching = 1;
    EndDialog(IDCANCEL);
}

void CMediaRemoved::OnRetry()
{
    retryAction = m_applyAlways.GetCheck() == BST_CHECKED ? 5 : 1;
    EndDialog(IDOK);
}

HBRUSH CMediaRemoved::OnCtlColor(CDC* dc, CWnd*, UINT ctlColor)
{
    return WhiteStatic(dc, ctlColor, OPAQUE);
}

MediaAnswer AskMediaRemovedModal(CMediaRemoved& dialog)
{
    dialog.DoModal();
    if (dialog.cancelSearching == 1)
        return MediaAnswer::Cancel;
    if (dialog.retryAction == 5)
        return MediaAnswer::RetryAlways;
    if (dialog.retryAction == 1)
        return MediaAnswer::Retry;
    return MediaAnswer::Skip;
}

MediaAnswer AskMediaRemovedModal()
{
    CMediaRemoved dialog;
    return AskMediaRemovedModal(dialog);
}
