// The buttons of the results page that Basic Search and Deep Search answer alike.
#include "app/maindlg.h"
#include "app/startup.h"
#include "app/waitdialogs.h"
#include "fsrecovery/fssession.h"

namespace {

const wchar_t kStillScanningText[] =
    L"Disk scanning process is still going on.\n\nPlease allow the scanning process to be completed or you "
    L"can also cancel the scanning by clicking on \x2018Stop\x2019 button.";
const wchar_t kRefreshRefusedText[] =
    L"Disk scanning process is in progress.\n\nYou can refresh the list of Drives only before starting the "
    L"scanning process.";
const wchar_t kSaveTooEarlyText[] =
    L"Saving function is not available at this step.\n\nTo save recovered data, first you need to scan the "
    L"drive and recover the lost data.\n\nSelect the Drive from tree and click next to continue.";
const wchar_t kSaveWhileScanningText[] =
    L"Disk scanning process is still going on.\n\nTo save recovered data, please allow the scanning process "
    L"to be completed.";

void Inform(CWnd* owner, const wchar_t* text)
{
    ZrMessageBox(owner ? owner->GetSafeHwnd() : nullptr, text, L"Message", MB_OK | MB_ICONINFORMATION);
}

} // namespace

bool CFsSearchSession::WorkerRunning() const
{
    return ScanRunning() || g_pPopulateListThread != nullptr;
}

void CFsSearchSession::OnBnClickedSave()
{
    if (Page() == 0) {
        Inform(this, kSaveTooEarlyText);
        CDelvaneDlg::RestoreBusyState();
        return;
    }
    EndListing(false);
    if (WorkerRunning()) {
        Inform(this, kSaveWhileScanningText);
        CDelvaneDlg::RestoreBusyState();
        return;
    }
    OnSaveSelected();
}

bool CFsSearchSession::RefuseBackWhileBusy()
{
    StopOpenWorker();
    EndListing(true);
    if (!WorkerRunning())
        return false;
    Inform(this, kStillScanningText);
    return true;
}

bool CFsSearchSession::RefuseRefresh()
{
    if (Page() == 0 && !WorkerRunning() && g_pBasicLogLoadThread == nullptr && g_pDeepLogLoadThread == nullptr)
        return false;
    Inform(this, kRefreshRefusedText);
    return true;
}
