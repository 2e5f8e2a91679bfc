// The buttons of the results page that Basic Search and Deep Search answer alike.
#include "app/notices.h"
#include "app/searchhost.h"
#include "app/searchcontrols.h"
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

} // namespace

void Inform(CWnd* owner, const wchar_t* text)
{
    ZrMessageBox(owner ? owner->GetSafeHwnd() : nullptr, text, L"Message", MB_OK | MB_ICONINFORMATION);
}

bool CFsSearchSession::WorkerRunning() const
{
    return ScanRunning() || g_pPopulateListThread != nullptr;
}

void CFsSearchSession::OnBnClickedSave()
{
    if (Page() == 0) {
        Inform(this, kSaveTooEarlyText);
        RestoreBusyState();
        return;
    }
    m_listing.EndListing(false);
    if (WorkerRunning()) {
        Inform(this, kSaveWhileScanningText);
        RestoreBusyState();
        return;
    }
    OnSaveSelected();
}

bool CFsSearchSession::RefuseBackWhileBusy()
{
    StopOpenWorker();
    m_listing.EndListing(true);
    if (!WorkerRunning())
        return false;
    Inform(this, kStillScanningText);
    return true;
}

bool CFsSearchSession::RefuseRefresh()
{
    if (Page() == 0 && !WorkerRunning() && (Host() == nullptr || !Host()->LogLoaderRunning()))
        return false;
    Inform(this, kRefreshRefusedText);
    return true;
}

void CFsSearchSession::ShowScanResultControls(int showCommand)
{
    ShowResultControls(showCommand);
}

bool CFsSearchSession::StopScanAndWait(CWnd& waitText)
{
    if (m_stopping || !ScanRunning())
        return false;
    m_stopping = true;
    GrowProgressArea();
    m_resultTree.EnableWindow(FALSE);
    waitText.SetWindowText(L"It may take a while, Please wait...");
    waitText.ShowWindow(SW_SHOW);
    // The worker ends after the record or block it reads and runs its own finishing steps;
    // messages keep flowing meanwhile, since it updates this dialog's controls.
    RequestScanStop();
    const bool ended = WaitForScanWorker();
    ShrinkProgressArea();
    m_stopping = false;
    return ended;
}

void CFsSearchSession::EmptyResultsForDrivePage()
{
    if (Host() != nullptr) {
        Host()->ShowWaitDialog(this, TRUE);
        Host()->EmptyRecordTables();
    }
    ClearResults();
    if (Host() != nullptr)
        Host()->CloseWaitDialog(this);
    ForgetLogSaved();
    // A log named on the command line has been dealt with once the user goes back.
    ClearCommandLineLogPath();
}

bool CFsSearchSession::RebuildDriveTreeWaiting()
{
    const SearchDialogLayout& layout = Layout();
    if (Host() != nullptr)
        Host()->ShowWaitDialog(this, TRUE);
    for (int id : { layout.refresh, layout.back, layout.next })
        GetDlgItem(id)->EnableWindow(FALSE);
    m_resultTree.DeleteAllResults();
    ShowHintControls(SW_HIDE);
    const bool anyDrive = RebuildDriveTree();
    for (int id : { layout.refresh, layout.back, layout.next })
        GetDlgItem(id)->EnableWindow(TRUE);
    SetPage(0);
    m_driveTree.SetFocus();
    if (Host() != nullptr)
        Host()->CloseWaitDialog(this);
    if (anyDrive)
        return true;
    ShowNoDeviceDialog();
    return false;
}

void CFsSearchSession::SetFileColumns(std::initializer_list<const wchar_t*> hidden)
{
    CHideColumn& list = FileList();
    list.DeleteAllItems();
    CHeaderCtrl* header = list.GetHeaderCtrl();
    for (int c = (header != nullptr ? header->GetItemCount() : 8) - 1; c >= 0; --c)
        list.DeleteColumn(c);
    int index = 0;
    for (const wchar_t* name : { L"Name", L"Type", L"Size", L"Date", L"Time" }) {
        list.InsertColumn(index, name, LVCFMT_LEFT, index == 0 ? 145 : 60);
        ++index;
    }
    for (const wchar_t* name : hidden) {
        list.InsertColumn(index, name, LVCFMT_LEFT, 0);
        list.ShowColumn(index++, FALSE);
    }
    list.SetExtendedStyle(list.GetExtendedStyle() | LVS_EX_CHECKBOXES);
}

void CFsSearchSession::PlaceFileList(bool resultsPage)
{
    FileList().MoveWindow(resultsPage ? &m_listResultsRect : &m_listDriveRect);
}

void CFsSearchSession::ShowFolderFrame(int showCommand)
{
    for (int id : { Layout().currentGroup, m_fsLayout.folderCount })
        if (CWnd* control = id != 0 ? GetDlgItem(id) : nullptr)
            control->ShowWindow(showCommand);
}
