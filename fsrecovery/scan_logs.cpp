// Scan logs of a file-system search: Save Log, Load Log, the start-up log and the save-log
// question on leaving. The format and its checks are fsrecovery/pure/scan_log.*; turning the
// results into its rows and back is fsrecovery/pure/scan_log_results.*. This file is the part a
// person sees: the file dialogs, the messages and questions, and the dialog's pages.
#include "app/searchhost.h"
#include "app/startup.h"
#include "app/waitdialogs.h"
#include "fsrecovery/fssession.h"
#include "fsrecovery/pure/scan_log_results.h"
#include "storage/pure/globals.h"
#include "storage/sectorreader.h"

#include <commdlg.h>

std::atomic<int> LogModeSwitchPending{ 0 };

namespace {

const wchar_t kSaveLogTooEarlyText[] = L"To save the Log (index of recovered files and folders) of recovery, first you "
                                       L"need to scan the drive and recover the lost data.";
const wchar_t kSaveLogWhileScanningText[] =
    L"Disk scanning process is still going on.\n\nTo save the Log (index of recovered files and folders) of "
    L"recovery, please allow the scanning process to be completed.";
const wchar_t kLogSavedText[] =
    L"The Recovery scanning Log (index of recovered files and folders) has been saved successfully.";
const wchar_t kLogNotSavedText[] = L"\n\nThe Recovery scanning Log (index of recovered files and folders) has not "
                                   L"been saved.";
const wchar_t kLoadTooLateText[] =
    L"Recovery log cannot be loaded at this stage.\n\nIf you have previously saved Log (index of recovered files "
    L"and folders) file of Zembrolix Recovery and want to load the recovery results from Log instead , click on "
    L"\x2018"
    L"Back\x2019 button and load Log from previous screen.";
const wchar_t kLoadWhileScanningText[] =
    L"Disk scanning process is still going on.\n\nIf you have previously saved Log (index of recovered files and "
    L"folders) file of Zembrolix Recovery and want to load the recovery results from Log instead of scanning the "
    L"drive, you can cancel the scanning by clicking on \x2018Stop\x2019 button.";
const wchar_t kNotALogText[] =
    L"The selected recovery Log (index of recovered files and folders) file is invalid or corrupted. Recovery cannot "
    L"continue with this log file. Please select the correct drive from tree and continue with recovery.";
const wchar_t kMediumMissingText[] =
    L"Original Media has been moved or removed.\n\nThe drive from which selected recovery Log (index of recovered "
    L"files and folders) file was saved, seems to be moved or disconnected. Recovery for selected drive cannot "
    L"continue with this log file. Please select the correct drive from tree and continue with recovery.";
const wchar_t kSwitchToDeepText[] = L"The Log that you have selected was saved in deep Recovery mode. Do you want to "
                                    L"switch to Deep mode of Zembrolix \x2013 Recovery?";
const wchar_t kSwitchToBasicText[] = L"The Log that you have selected was saved in basic Recovery mode. Do you want "
                                     L"to switch to Basic mode of Zembrolix \x2013 Recovery?";
const wchar_t kLogLoadedText[] =
    L"The Recovery scanning Log (index of recovered files and folders) has been loaded successfully.";
const wchar_t kLoadingTreeText[] = L"Please wait, It may take some time to load the tree...";
const wchar_t kResultsHintText[] = L"Select Files and Folders from left Panel Directories Tree and Click on 'Save' "
                                   L"button to save recovered Files and Folders.";
const wchar_t kSaveLogQuestionText[] =
    L"Do you want to save the Recovery scanning Log (index of recovered files and folders) file?\n\nIf you have "
    L"previously saved Log file of Zembrolix Recovery, you can directly load the recovery results from Log instead "
    L"of scanning the drive again.";
const wchar_t kTreeItemFailedText[] = L"A folder of the log could not be added to the results tree.";
const wchar_t kQlxFilter[] = L"QLX Files (*.QLX)\0*.QLX\0";

ScanLogPathPicker g_logPathPicker = nullptr;

int Say(CWnd* owner, const wchar_t* text, UINT type)
{
    return ZrMessageBox(owner ? owner->GetSafeHwnd() : nullptr, text, L"Message", type);
}

CString AskLogPath(CWnd* owner, bool save)
{
    wchar_t path[MAX_PATH] = {};
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner ? owner->GetSafeHwnd() : nullptr;
    ofn.lpstrFilter = kQlxFilter;
    ofn.lpstrFile = path;
    ofn.nMaxFile = MAX_PATH;
    if (save) {
        ofn.lpstrDefExt = L"QLX";
        ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_LONGNAMES;
        return ::GetSaveFileNameW(&ofn) ? CString(path) : CString();
    }
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER;
    return ::GetOpenFileNameW(&ofn) ? CString(path) : CString();
}

CString PickLogPath(CWnd* owner, bool save)
{
    return g_logPathPicker ? g_logPathPicker(owner, save) : AskLogPath(owner, save);
}

void ShowControl(CWnd* dialog, int id, int show)
{
    if (CWnd* control = id != 0 ? dialog->GetDlgItem(id) : nullptr)
        control->ShowWindow(show);
}

void EnableControl(CWnd* dialog, int id, bool enable)
{
    if (CWnd* control = id != 0 ? dialog->GetDlgItem(id) : nullptr)
        control->EnableWindow(enable ? TRUE : FALSE);
}

// The results tree's items in pre-order with their depth, text and folder record. The top items
// are asked of the tree; everything below them comes from the folder records, in the tree's
// order (a call per item on a tree of many thousand folders was most of a log's save).
void CollectTree(CTreeClass& tree, std::vector<ScanLogTreeItem>& items)
{
    auto add = [&](uint32_t depth, const CString& text, const FolderNode* node) {
        ScanLogTreeItem entry;
        entry.depth = depth;
        entry.text = text;
        if (node != nullptr) {
            entry.hasFolder = true;
            entry.folder.name = node->name;
            entry.folder.ownId = node->ownId;
            entry.folder.parentId = node->parentId;
            entry.folder.date = node->date;
            entry.folder.time = node->time;
            entry.folder.deleted = node->deleted;
            entry.folder.cluster0Start = node->cluster0Start;
        }
        items.push_back(std::move(entry));
    };
    // Depth first without recursion: a results tree is as deep as the folders on the disk.
    struct Pending {
        const FolderNode* node;
        uint32_t depth;
    };
    std::vector<Pending> pending;
    auto pushChildren = [&](HTREEITEM parent, uint32_t depth) {
        if (const std::vector<FolderNode*>* children = tree.ResultChildren(parent))
            for (auto it = children->rbegin(); it != children->rend(); ++it)
                pending.push_back({ *it, depth });
    };
    for (HTREEITEM top = tree.GetRootItem(); top != nullptr; top = tree.GetNextSiblingItem(top)) {
        add(0, tree.GetItemText(top), (const FolderNode*)tree.GetItemData(top));
        pushChildren(top, 1);
        while (!pending.empty()) {
            const Pending at = pending.back();
            pending.pop_back();
            add(at.depth, at.node->name, at.node);
            pushChildren((HTREEITEM)at.node->item, at.depth + 1);
        }
    }
}

// Inserts a log's items into the results tree (with its id index left alone: each folder of a
// log is one item).
class ResultTreeLogSink : public ScanLogTreeSink {
public:
    ResultTreeLogSink(CTreeClass& tree, CProgressCtrl* progress) : m_tree(tree), m_progress(progress) { }
    TreeItemHandle InsertTop() override
    {
        HTREEITEM item = m_tree.InsertItem(L"Root", 0, 0, TVI_ROOT, TVI_LAST);
        if (item != nullptr && m_tree.m_hRootItem == nullptr)
            m_tree.m_hRootItem = item;
        return item;
    }
    TreeItemHandle Insert(TreeItemHandle parent, const ScanLogFolder& f) override
    {
        return m_tree.InsertResultItem((HTREEITEM)parent, f.name, 0, f.ownId, 0, 0, f.date, f.time, f.parentId, 0,
                                       f.deleted, f.cluster0Start);
    }
    void Progress(uint64_t done, uint64_t total) override
    {
        if (m_progress == nullptr || (done % 1024 != 0 && done != total))
            return;
        m_progress->SetRange32(0, 1000);
        m_progress->SetPos(total ? int(done * 1000 / total) : 0);
    }

private:
    CTreeClass& m_tree;
    CProgressCtrl* m_progress;
};

} // namespace

void SetScanLogPathPicker(ScanLogPathPicker picker)
{
    g_logPathPicker = picker;
}

// ---- Save ---------------------------------------------------------------------------------------

void CFsSearchSession::OnBnClickedSaveLog()
{
    if (m_savingLog || m_logLoading)
        return;
    if (Page() == 0) {
        Say(this, kSaveLogTooEarlyText, MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (ScanRunning()) {
        Say(this, kSaveLogWhileScanningText, MB_OK | MB_ICONINFORMATION);
        return;
    }
    SaveScanLog();
}

bool CFsSearchSession::SaveScanLog()
{
    if (m_savingLog)
        return false;
    m_savingLog = true;
    EnableWindow(FALSE);
    const CString path = PickLogPath(this, true);
    EnableWindow(TRUE);
    const bool saved = !path.IsEmpty() && SaveScanLogTo(path);
    m_savingLog = false;
    return saved;
}

bool CFsSearchSession::SaveScanLogTo(const CString& path)
{
    // A listing fills in the store's NTFS rows as it reads them: it ends before they are read.
    EndListing(false);
    CFile file;
    if (!file.Open(path, CFile::modeCreate | CFile::modeReadWrite | CFile::shareExclusive))
        return false;
    const int back = Layout().back;
    EnableControl(this, back, false);
    if (Host() != nullptr)
        Host()->ShowWaitDialog(this, TRUE);
    HCURSOR cursor = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));

    CString failure;
    try {
        ScanLogData data;
        data.header.kind = SelectedItemKind;
        data.header.diskIdentity = SelectedDiskTexts[0];
        data.header.mode = uint32_t(Mode());
        ScanLogDevice& device = data.device;
        device.source = ScanLogSourceFor(data.header.mode, SelectedItemKind, ScannedThroughDisk());
        // The drive the results are read from: the scanned one, or the one a loaded log stood
        // in for.
        device.drivePath = m_store.VolumeCount() > 0 ? m_store.Volume(0).devicePath : CurrentDevicePath;
        device.driveSectors = SelectedVolumeInfo.sizeSectors;
        device.diskDescription = SelectedDiskTexts[2];
        device.diskNumber = SelectedDiskNumber;
        data.volume = SelectedVolumeInfo;
        data.geometry = VolumeGeometry;
        data.params = FatVolumeParams;
        data.folderCount = m_resultTree.Folders.FolderNodeList.count;
        CollectTree(m_resultTree, data.tree);
        AddStoreTablesToLog(m_store, data);
        if (device.source == ScanLogSource::Drive)
            RecognisedDriveSectors = device.driveSectors;

        CArchive ar(&file, CArchive::store, 4096);
        WriteScanLog(ar, data);
        // A full disk shows here, when the last block is written.
        ar.Close();
        file.Close();
    } catch (CException* e) {
        failure = e->GetErrorText();
        e->Delete();
    } catch (const std::bad_alloc&) {
        failure = CMemoryException().GetErrorText();
    }
    if (!failure.IsEmpty()) {
        // Half a log would be refused at its first load: nothing of it is left behind.
        file.Abort();
        ::DeleteFileW(path);
    }
    ::SetCursor(cursor);
    if (Host() != nullptr)
        Host()->CloseWaitDialog(this);
    EnableControl(this, back, true);
    if (!failure.IsEmpty()) {
        Say(this, failure + kLogNotSavedText, MB_OK | MB_ICONWARNING);
        return false;
    }
    m_logSaved = 1;
    Say(this, kLogSavedText, MB_OK | MB_ICONINFORMATION);
    return true;
}

void CFsSearchSession::ForgetLogSaved()
{
    m_logSaved = 0;
    m_logQuestionAsked = false;
}

void CFsSearchSession::BeforeExitQuestion()
{
    if (Page() == 0 || m_logSaved != 0 || m_logQuestionAsked || ScanRunning() || m_logLoading)
        return;
    m_logQuestionAsked = true;
    if (Say(this, kSaveLogQuestionText, MB_YESNO | MB_ICONQUESTION) == IDYES)
        SaveScanLog();
}

// ---- Load ---------------------------------------------------------------------------------------

struct CFsSearchSession::LoadedLog {
    CString path;
    bool opened = false;
    ScanLogData data;
    ScanLogResult result;
};

UINT ReadScanLogThreadProc(LPVOID param)
{
    auto* job = static_cast<std::pair<CFsSearchSession*, CFsSearchSession::LoadedLog*>*>(param);
    CFsSearchSession::LoadedLog& loaded = *job->second;
    CFile file;
    if (!file.Open(loaded.path, CFile::modeRead | CFile::shareExclusive))
        return 0;
    loaded.opened = true;
    RunScanLogStep(loaded.result, [&] {
        CArchive ar(&file, CArchive::load, 4096);
        loaded.result = ReadScanLog(ar, uint32_t(job->first->Mode()), loaded.data);
        ar.Abort();
    });
    file.Abort();
    return 0;
}

void CFsSearchSession::ReadLogOnWorker(const CString& path, LoadedLog& loaded)
{
    loaded.path = path;
    std::pair<CFsSearchSession*, LoadedLog*> job{ this, &loaded };
    CWinThread* local = nullptr;
    CWinThread*& slot = LogLoadThreadSlot() != nullptr ? *LogLoadThreadSlot() : local;
    CWinThread* worker = ZrBeginThreadInto(slot, ReadScanLogThreadProc, &job);
    if (worker == nullptr) {
        ReadScanLogThreadProc(&job);
    } else {
        // The dialog keeps painting while a large log is read.
        ZrWaitForThreadPumping(worker, INFINITE);
        delete worker;
    }
    slot = nullptr;
}

void CFsSearchSession::OnBnClickedLoadLog()
{
    if (m_logLoading || m_savingLog)
        return;
    if (ScanRunning()) {
        Say(this, kLoadWhileScanningText, MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (Page() != 0) {
        Say(this, kLoadTooLateText, MB_OK | MB_ICONINFORMATION);
        return;
    }
    const bool fromCommandLine = !CommandLineLogPath.IsEmpty();
    CString path = CommandLineLogPath;
    if (!fromCommandLine) {
        EnableModeButtons(false);
        path = PickLogPath(this, false);
        EnableModeButtons(true);
        if (path.IsEmpty())
            return;
    }
    LoadScanLog(path, fromCommandLine);
}

LRESULT CFsSearchSession::OnLoadStartupLog(WPARAM, LPARAM)
{
    if (!CommandLineLogPath.IsEmpty())
        OnBnClickedLoadLog();
    return 0;
}

void CFsSearchSession::RefuseLog(const CString& keptKind, bool fromCommandLine, bool mediumRefused, bool hideFileList)
{
    const SearchDialogLayout& layout = Layout();
    EnableWindow(TRUE);
    EnableControl(this, layout.back, true);
    EnableControl(this, layout.next, true);
    m_resultTree.ShowWindow(SW_HIDE);
    m_driveTree.ShowWindow(SW_SHOW);
    ActiveTree = &m_driveTree;
    m_driveTree.Select(m_driveTree.GetRootItem(), TVGN_CARET);
    SelectedItemKind = keptKind;
    SetPage(0);
    EnableModeButtons(true);
    if (mediumRefused)
        ShowControl(this, layout.refresh, SW_SHOW);
    if (hideFileList)
        FileList().ShowWindow(SW_HIDE);
    if (fromCommandLine)
        ClearCommandLineLogPath();
    ShowDrivePageAfterLog();
}

void CFsSearchSession::LoadScanLog(const CString& path, bool fromCommandLine)
{
    if (m_logLoading)
        return;
    m_logLoading = true;
    const SearchDialogLayout& layout = Layout();
    LastPopulatedItem = nullptr;
    m_folderCount = 0;
    m_fileCount = 0;
    m_resultTree.Select(nullptr, TVGN_CARET);
    const CString keptKind = SelectedItemKind;
    EnableControl(this, layout.back, false);
    EnableControl(this, layout.next, false);
    EnableModeButtons(false);
    if (!fromCommandLine)
        ShowFolderCountText();

    auto loaded = std::make_unique<LoadedLog>();
    ReadLogOnWorker(path, *loaded);
    const ScanLogResult& result = loaded->result;
    ScanLogData& data = loaded->data;
    auto refuse = [&](const wchar_t* text, bool medium, bool hideList) {
        if (text != nullptr)
            Say(this, text, MB_OK | MB_ICONINFORMATION);
        RefuseLog(keptKind, fromCommandLine, medium, hideList);
        m_logLoading = false;
    };
    auto corrupt = [&](const CString& why) {
        const wchar_t* title = g_pApp != nullptr && g_pApp->m_pszAppName ? g_pApp->m_pszAppName : L"Message";
        ZrMessageBox(GetSafeHwnd(), why.Left(255) + kInvalidLogText, title, MB_OK | MB_ICONWARNING);
    };

    if (!loaded->opened) {
        if (fromCommandLine) {
            // The log the program was started for cannot be used: it says so and ends, with a
            // code that tells whoever started it.
            Say(this, kInvalidLogText, MB_OK | MB_ICONINFORMATION);
            EndProcessNow(kExitUnusableLog);
        }
        refuse(nullptr, false, false);
        return;
    }
    switch (result.status) {
    case ScanLogStatus::NotALog:
        refuse(kNotALogText, false, false);
        return;
    case ScanLogStatus::UnknownMode:
        ShowControl(this, layout.refresh, SW_SHOW);
        refuse(kMediumMissingText, true, true);
        return;
    case ScanLogStatus::OtherMode: {
        const bool toDeep = data.header.mode == kScanLogModeDeep;
        if (Say(this, toDeep ? kSwitchToDeepText : kSwitchToBasicText, MB_YESNO | MB_ICONINFORMATION) != IDYES) {
            refuse(nullptr, false, false);
            return;
        }
        // The other dialog loads the same file without asking for it; this one waits hidden and
        // goes when that one has gone.
        RefuseLog(keptKind, false, false, false);
        m_logLoading = false;
        SetCommandLineLogPath(path);
        LogModeSwitchPending = 1;
        ShowWindow(SW_HIDE);
        // The other search is the current one while it runs: its drive trees and dialogs are
        // the ones the shared services serve.
        if (Host() != nullptr)
            Host()->SearchMode = toDeep ? kModeDeep : kModeBasic;
        if (toDeep)
            RunDeepSearchDialog(Host());
        else
            RunBasicSearchDialog(Host());
        if (Host() != nullptr)
            Host()->SearchMode = Mode();
        LogModeSwitchPending = 0;
        ClearCommandLineLogPath();
        // Back on the drive page ends this dialog as it ends any other.
        if (GetSafeHwnd() != nullptr && layout.back != 0)
            SendMessage(WM_COMMAND, MAKEWPARAM(layout.back, BN_CLICKED),
                        (LPARAM)GetDlgItem(layout.back)->GetSafeHwnd());
        return;
    }
    case ScanLogStatus::Invalid:
        refuse(kInvalidLogText, false, false);
        return;
    case ScanLogStatus::Damaged:
        if (result.complete < ScanLogPart::Device) {
            corrupt(result.errorText);
            refuse(nullptr, false, false);
            return;
        }
        break;
    case ScanLogStatus::Ok:
        break;
    }

    // The medium: where it was, or (after the user agreed) where the same drive or disk is now.
    const LoggedMedium medium = FindLoggedMedium(data.device, LogicalDriveKeys, DiskDescriptionList);
    if (medium.found == LoggedMedium::Found::Missing) {
        ShowControl(this, layout.refresh, SW_SHOW);
        refuse(kMediumMissingText, true, true);
        return;
    }
    if (medium.found == LoggedMedium::Found::Other) {
        ShowControl(this, layout.refresh, SW_SHOW);
        m_driveTree.ShowWindow(SW_SHOW);
        if (Say(this, MediumReplacedQuestion(data.device, medium), MB_YESNO | MB_ICONQUESTION) != IDYES) {
            refuse(nullptr, true, false);
            return;
        }
    }
    if (result.complete < ScanLogPart::Volume) {
        corrupt(result.errorText);
        refuse(nullptr, false, false);
        return;
    }

    SelectedItemKind = data.header.kind;
    if (data.device.source == ScanLogSource::Drive) {
        if (Host() != nullptr)
            Host()->LogicalDrivePath = data.device.drivePath;
    } else {
        SelectedDiskNumber = medium.diskNumber;
    }
    CurrentDevicePath = medium.devicePath;
    const bool treeWhole = RebuildFromLog(*loaded, medium.devicePath);
    m_logLoading = false;
    if (fromCommandLine)
        ClearCommandLineLogPath();
    if (result.status == ScanLogStatus::Ok && treeWhole) {
        Say(this, kLogLoadedText, MB_OK | MB_ICONINFORMATION);
    } else {
        // A cut log keeps what was read whole: the user may still browse and save it.
        corrupt(result.status == ScanLogStatus::Ok ? CString(kTreeItemFailedText) + L" " : result.errorText);
    }
    m_resultTree.EnableWindow(TRUE);
    if (HTREEITEM top = m_resultTree.GetRootItem()) {
        m_resultTree.Expand(top, TVE_EXPAND);
        m_resultTree.SendMessage(TVM_SORTCHILDREN, FALSE, 0);
        m_resultTree.Select(nullptr, TVGN_CARET);
        LastPopulatedItem = nullptr;
        m_resultTree.Select(top, TVGN_CARET);
    }
}

bool CFsSearchSession::RebuildFromLog(LoadedLog& loaded, const CString& devicePath)
{
    ScanLogData& data = loaded.data;
    const bool ntfs = data.params.partitionType == L"NTFS";
    EndListing(true);
    ClearResults();
    SelectedVolumeInfo = data.volume;
    VolumeGeometry = data.geometry;
    FatVolumeParams = data.params;

    // The page as during a scan's tree build: the results tree, disabled, with its progress.
    CWnd* status = m_fsLayout.statusLabel != 0 ? GetDlgItem(m_fsLayout.statusLabel) : nullptr;
    if (status != nullptr) {
        status->SetWindowText(kLoadingTreeText);
        status->ShowWindow(SW_SHOW);
    }
    if (CWnd* hint = m_fsLayout.pathLabel != 0 ? GetDlgItem(m_fsLayout.pathLabel) : nullptr) {
        hint->SetWindowText(kResultsHintText);
        hint->Invalidate();
    }
    m_resultTree.EnableWindow(FALSE);
    m_driveTree.ShowWindow(SW_HIDE);
    m_resultTree.ShowWindow(SW_SHOW);
    ActiveTree = &m_resultTree;
    GrowProgressArea();
    m_progress.ShowWindow(SW_SHOW);
    m_progress.SetPos(0);

    // A Deep NTFS log keeps one volume's geometry: the volumes its rows come from are worked out
    // again from the system files' records on the medium, read as the scan read them.
    NtfsGeometryMap ntfsVolumes;
    if (ntfs && data.header.mode == kScanLogModeDeep) {
        KeptHandleSectorSource device(devicePath);
        if (device.IsOpen())
            ntfsVolumes = InferLoggedNtfsVolumes(data, device);
    }
    AddScanLogToStore(data, devicePath, m_store, &ntfsVolumes);
    size_t inserted = 0;
    {
        // One repaint at the end, not one per folder.
        m_resultTree.SetRedraw(FALSE);
        ::InterlockedIncrement(&ScanLogLoading);
        ResultTreeLogSink sink(m_resultTree, &m_progress);
        m_resultTree.BeginResultInsert();
        inserted = RebuildScanLogTree(data.tree, sink);
        m_resultTree.EndResultInsert();
        ::InterlockedDecrement(&ScanLogLoading);
        m_resultTree.SetRedraw(TRUE);
        m_resultTree.Invalidate();
    }
    if (m_resultTree.GetRootItem() == nullptr)
        m_resultTree.EnsureRootItem();
    // The listing looks the NTFS files up by their parent: the index is made once, here.
    if (m_store.VolumeCount() > 0)
        m_store.NtfsFilesOf(0, 5);
    m_resultsPresent = ntfs ? m_store.NtfsFileCount() >= 2 : m_resultTree.Folders.FolderNodeList.count >= 2;

    m_progress.ShowWindow(SW_HIDE);
    if (status != nullptr) {
        status->SetWindowText(L"");
        status->ShowWindow(SW_HIDE);
    }
    ShrinkProgressArea();
    m_folderCount = 0;
    m_fileCount = 0;
    ShowFolderCountText();
    FileList().DeleteAllItems();
    m_listedFiles.clear();
    ForgetLogSaved();
    // A log just loaded is saved already.
    m_logSaved = 1;
    EnableModeButtons(true);
    EnableWindow(TRUE);
    ShowLoadedResults(data.device.source == ScanLogSource::Disk &&
                      ScanLogSourceFor(data.header.mode, data.header.kind, false) == ScanLogSource::Drive);
    return inserted == data.tree.size();
}
