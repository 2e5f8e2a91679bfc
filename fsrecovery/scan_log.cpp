// Scan logs of a file-system search (fsrecovery/scan_log.h): the part a person sees: the file
// dialogs, the messages and questions, and the dialog's pages.
#include "fsrecovery/scan_log.h"

#include "app/searchhost.h"
#include "app/startup.h"
#include "app/waitdialogs.h"
#include "fsrecovery/pure/scan_log_results.h"
#include "storage/pure/globals.h"
#include "storage/pure/partition_table.h"
#include "storage/sector_source.h"

#include <commdlg.h>

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

ScanLogs::ScanLogs(CSearchSession& dialog, FolderListing& listing, CTreeClass& resultTree, FoundStore& store,
                   ScanRequest& request, CProgressCtrl& progress, std::atomic<bool>& resultsPresent, Hooks hooks, int statusLabel,
                   int pathLabel)
    : m_dialog(dialog), m_listing(listing), m_resultTree(resultTree), m_store(store), m_request(request), m_progress(progress),
      m_resultsPresent(resultsPresent), m_hooks(std::move(hooks)), m_statusLabel(statusLabel), m_pathLabel(pathLabel)
{ }

ScanLogs::~ScanLogs() = default;

// ---- Save ---------------------------------------------------------------------------------------

void ScanLogs::OnSaveLog()
{
    if (m_saving || m_loading)
        return;
    if (m_dialog.Page() == 0) {
        Say(&m_dialog, kSaveLogTooEarlyText, MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (m_dialog.ScanRunning()) {
        Say(&m_dialog, kSaveLogWhileScanningText, MB_OK | MB_ICONINFORMATION);
        return;
    }
    Save();
}

bool ScanLogs::Save()
{
    if (m_saving)
        return false;
    m_saving = true;
    m_dialog.EnableWindow(FALSE);
    const CString path = PickLogPath(&m_dialog, true);
    m_dialog.EnableWindow(TRUE);
    const bool saved = !path.IsEmpty() && SaveTo(path);
    m_saving = false;
    return saved;
}

bool ScanLogs::SaveTo(const CString& path)
{
    // A listing fills in the store's NTFS rows as it reads them: it ends before they are read.
    m_listing.EndListing(false);
    CFile file;
    if (!file.Open(path, CFile::modeCreate | CFile::modeReadWrite | CFile::shareExclusive))
        return false;
    const int back = m_dialog.Layout().back;
    EnableControl(&m_dialog, back, false);
    SearchHost* const host = m_dialog.Host();
    if (host != nullptr)
        host->ShowWaitDialog(&m_dialog, TRUE);
    HCURSOR cursor = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));

    CString failure;
    try {
        ScanLogData data;
        data.header.mode = uint32_t(m_dialog.Mode());
        // The selection of the scan the results were made for (or of the log they were loaded
        // from), the drive they are read from and their volume's geometry.
        AddRequestToLog(m_request, m_store, data);
        data.folderCount = m_resultTree.Folders.FolderNodeList.count;
        CollectTree(m_resultTree, data.tree);
        AddStoreTablesToLog(m_store, data);
        if (data.device.source == ScanLogSource::Drive)
            RecognisedDriveSectors = data.device.driveSectors;

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
    if (host != nullptr)
        host->CloseWaitDialog(&m_dialog);
    EnableControl(&m_dialog, back, true);
    if (!failure.IsEmpty()) {
        Say(&m_dialog, failure + kLogNotSavedText, MB_OK | MB_ICONWARNING);
        return false;
    }
    m_saved = 1;
    Say(&m_dialog, kLogSavedText, MB_OK | MB_ICONINFORMATION);
    return true;
}

void ScanLogs::ForgetSaved()
{
    m_saved = 0;
    m_questionAsked = false;
}

void ScanLogs::OfferSaveBeforeExit()
{
    if (m_dialog.Page() == 0 || m_saved != 0 || m_questionAsked || m_dialog.ScanRunning() || m_loading)
        return;
    m_questionAsked = true;
    if (Say(&m_dialog, kSaveLogQuestionText, MB_YESNO | MB_ICONQUESTION) == IDYES)
        Save();
}

// ---- Load ---------------------------------------------------------------------------------------

struct ScanLogs::LoadJob {
    CString path;
    bool fromCommandLine = false;
    CString keptKind; // SelectedItemKind as the load began: every refusal puts it back
    bool opened = false;
    int mode = 0; // the dialog's search mode, which the log must have been saved in
    ScanLogData data;
    ScanLogResult result;
    LoggedMedium medium;
};

UINT ReadScanLogThreadProc(LPVOID param)
{
    ScanLogs::LoadJob& loaded = *static_cast<ScanLogs::LoadJob*>(param);
    CFile file;
    if (!file.Open(loaded.path, CFile::modeRead | CFile::shareExclusive))
        return 0;
    loaded.opened = true;
    RunScanLogStep(loaded.result, [&] {
        CArchive ar(&file, CArchive::load, 4096);
        loaded.result = ReadScanLogToLoad(ar, uint32_t(loaded.mode), loaded.data);
        ar.Abort();
    });
    file.Abort();
    return 0;
}

CWinThread** ScanLogs::LoadThreadSlot() const
{
    return m_dialog.Host() != nullptr ? m_dialog.Host()->LogLoadThreadSlot(m_dialog.Mode()) : nullptr;
}

void ScanLogs::ReadLogOnWorker(LoadJob& job)
{
    job.mode = m_dialog.Mode();
    CWinThread* local = nullptr;
    CWinThread*& slot = LoadThreadSlot() != nullptr ? *LoadThreadSlot() : local;
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

bool ScanLogs::ChooseLogToLoad(CString& path, bool& fromCommandLine)
{
    if (m_loading || m_saving)
        return false;
    if (m_dialog.ScanRunning()) {
        Say(&m_dialog, kLoadWhileScanningText, MB_OK | MB_ICONINFORMATION);
        return false;
    }
    if (m_dialog.Page() != 0) {
        Say(&m_dialog, kLoadTooLateText, MB_OK | MB_ICONINFORMATION);
        return false;
    }
    fromCommandLine = !CommandLineLogPath.IsEmpty();
    path = CommandLineLogPath;
    if (!fromCommandLine) {
        m_dialog.EnableModeButtons(false);
        path = PickLogPath(&m_dialog, false);
        m_dialog.EnableModeButtons(true);
        if (path.IsEmpty())
            return false;
    }
    return true;
}

void ScanLogs::RefuseLog(const CString& keptKind, bool fromCommandLine, bool mediumRefused, bool hideFileList)
{
    const SearchDialogLayout& layout = m_dialog.Layout();
    CTreeClass& driveTree = m_dialog.DriveTree();
    m_dialog.EnableWindow(TRUE);
    EnableControl(&m_dialog, layout.back, true);
    EnableControl(&m_dialog, layout.next, true);
    m_resultTree.ShowWindow(SW_HIDE);
    driveTree.ShowWindow(SW_SHOW);
    ActiveTree = &driveTree;
    driveTree.Select(driveTree.GetRootItem(), TVGN_CARET);
    SelectedItemKind = keptKind;
    m_dialog.SetPage(0);
    m_dialog.EnableModeButtons(true);
    if (mediumRefused)
        ShowControl(&m_dialog, layout.refresh, SW_SHOW);
    if (hideFileList)
        m_listing.List().ShowWindow(SW_HIDE);
    if (fromCommandLine)
        ClearCommandLineLogPath();
    m_hooks.showDrivePage();
}

void ScanLogs::Refuse(LoadJob& job, const wchar_t* text, bool mediumRefused, bool hideFileList)
{
    if (text != nullptr)
        Say(&m_dialog, text, MB_OK | MB_ICONINFORMATION);
    RefuseLog(job.keptKind, job.fromCommandLine, mediumRefused, hideFileList);
    m_loading = false;
}

void ScanLogs::SayCorrupt(const CString& why)
{
    const wchar_t* title = g_pApp != nullptr && g_pApp->m_pszAppName ? g_pApp->m_pszAppName : L"Message";
    ZrMessageBox(m_dialog.GetSafeHwnd(), why.Left(255) + kInvalidLogText, title, MB_OK | MB_ICONWARNING);
}

ScanLogs::LoadOutcome ScanLogs::Load(const CString& path, bool fromCommandLine)
{
    LoadOutcome outcome;
    if (m_loading)
        return outcome;
    m_loading = true;
    auto job = std::make_unique<LoadJob>();
    job->path = path;
    job->fromCommandLine = fromCommandLine;
    BeginLoad(*job);
    ReadLogOnWorker(*job);
    if (job->opened && job->result.status == ScanLogStatus::OtherMode)
        return ChooseOtherSearch(*job);
    if (!CheckLogRead(*job) || !CheckMedium(*job))
        return outcome;
    if (ShowLog(*job))
        outcome.kind = LoadOutcome::Kind::Loaded;
    return outcome;
}

void ScanLogs::BeginLoad(LoadJob& job)
{
    const SearchDialogLayout& layout = m_dialog.Layout();
    m_listing.LastPopulatedItem = nullptr;
    m_listing.ResetFolderCounts();
    m_resultTree.Select(nullptr, TVGN_CARET);
    job.keptKind = SelectedItemKind;
    EnableControl(&m_dialog, layout.back, false);
    EnableControl(&m_dialog, layout.next, false);
    m_dialog.EnableModeButtons(false);
    if (!job.fromCommandLine)
        m_listing.ShowFolderCountText();
}

ScanLogs::LoadOutcome ScanLogs::ChooseOtherSearch(LoadJob& job)
{
    LoadOutcome outcome;
    const bool toDeep = job.data.header.mode == kScanLogModeDeep;
    if (Say(&m_dialog, toDeep ? kSwitchToDeepText : kSwitchToBasicText, MB_YESNO | MB_ICONINFORMATION) != IDYES) {
        Refuse(job, nullptr, false, false);
        return outcome;
    }
    // The other dialog takes the same file; this one is left on its drive page.
    RefuseLog(job.keptKind, false, false, false);
    m_loading = false;
    outcome.kind = LoadOutcome::Kind::OtherSearch;
    outcome.otherMode = job.data.header.mode;
    return outcome;
}

bool ScanLogs::CheckLogRead(LoadJob& job)
{
    const ScanLogResult& result = job.result;
    if (!job.opened) {
        if (job.fromCommandLine) {
            // The log the program was started for cannot be used: it says so and ends, with a
            // code that tells whoever started it.
            Say(&m_dialog, kInvalidLogText, MB_OK | MB_ICONINFORMATION);
            EndProcessNow(kExitUnusableLog);
        }
        Refuse(job, nullptr, false, false);
        return false;
    }
    switch (result.status) {
    case ScanLogStatus::NotALog:
        Refuse(job, kNotALogText, false, false);
        return false;
    // No save writes a mode other than Basic and Deep: the log is damaged, not its medium gone.
    case ScanLogStatus::UnknownMode:
    case ScanLogStatus::Invalid:
    case ScanLogStatus::OtherMode: // handed over before the checks
        Refuse(job, kInvalidLogText, false, false);
        return false;
    case ScanLogStatus::Damaged:
        // Nothing of the results can be read: the damage is said, not whether the medium (of a
        // device block that may be damaged too) is attached.
        if (result.complete < ScanLogPart::Volume) {
            SayCorrupt(result.errorText);
            Refuse(job, nullptr, false, false);
            return false;
        }
        return true;
    case ScanLogStatus::Ok:
        return true;
    }
    return true;
}

bool ScanLogs::CheckMedium(LoadJob& job)
{
    const int refresh = m_dialog.Layout().refresh;
    // The medium: where it was, or (after the user agreed) where the same drive or disk is now.
    job.medium = FindLoggedMedium(job.data.device, LogicalDriveKeys, DiskDescriptionList);
    if (job.medium.found == LoggedMedium::Found::Missing) {
        ShowControl(&m_dialog, refresh, SW_SHOW);
        Refuse(job, kMediumMissingText, true, true);
        return false;
    }
    if (job.medium.found == LoggedMedium::Found::Other) {
        ShowControl(&m_dialog, refresh, SW_SHOW);
        m_dialog.DriveTree().ShowWindow(SW_SHOW);
        if (Say(&m_dialog, MediumReplacedQuestion(job.data.device, job.medium), MB_YESNO | MB_ICONQUESTION) != IDYES) {
            Refuse(job, nullptr, true, false);
            return false;
        }
    }
    return true;
}

bool ScanLogs::ShowLog(LoadJob& job)
{
    const ScanLogData& data = job.data;
    const ScanLogResult& result = job.result;
    SelectedItemKind = data.header.kind;
    if (data.device.source == ScanLogSource::Drive && m_dialog.Host() != nullptr)
        m_dialog.Host()->LogicalDrivePath = data.device.drivePath;
    // A save of the loaded results writes the log's selection again, on the medium found.
    m_request = RequestOfLog(data, job.medium);
    CSearchSession::PublishSelection(m_request);
    const bool treeWhole = RebuildFromLog(job, job.medium.devicePath);
    m_loading = false;
    if (job.fromCommandLine)
        ClearCommandLineLogPath();
    if (result.status != ScanLogStatus::Ok || !treeWhole) {
        FailLoad(result.status == ScanLogStatus::Ok ? CString(kTreeItemFailedText) + L" " : result.errorText);
        return false;
    }
    // The message first, while the tree is still disabled: selecting its top item starts the
    // listing, whose "Populating" notice would be in front of the message and take it along
    // when it goes.
    m_hooks.showLoadedResults(m_request.ScanAsPhysicalDisk);
    Say(&m_dialog, kLogLoadedText, MB_OK | MB_ICONINFORMATION);
    m_resultTree.EnableWindow(TRUE);
    if (HTREEITEM top = m_resultTree.GetRootItem()) {
        m_resultTree.Expand(top, TVE_EXPAND);
        m_resultTree.SendMessage(TVM_SORTCHILDREN, FALSE, 0);
        // Selecting the top item lists it, unless the tree's own first selection (when the
        // focus reached it) is listing it already: the list is filled once.
        m_resultTree.Select(nullptr, TVGN_CARET);
        m_resultTree.Select(top, TVGN_CARET);
    }
    return true;
}

void ScanLogs::FailLoad(const CString& why)
{
    // What was read whole stays shown in the disabled results tree; the dialog stays on its first
    // page, so that Load Log may be pressed again, or Next scan the drive again.
    const SearchDialogLayout& layout = m_dialog.Layout();
    m_resultTree.EnableWindow(FALSE);
    // The drive tree they act on is not shown.
    ShowControl(&m_dialog, layout.refresh, SW_HIDE);
    ShowControl(&m_dialog, layout.morePartitions, SW_HIDE);
    m_dialog.SetPage(0);
    m_dialog.EnableModeButtons(true);
    SayCorrupt(why);
    EnableControl(&m_dialog, layout.back, true);
    EnableControl(&m_dialog, layout.next, true);
}

void ScanLogs::ShowTreeLoading()
{
    // The page as during a scan's tree build: the results tree, disabled, with its progress.
    if (CWnd* status = m_statusLabel != 0 ? m_dialog.GetDlgItem(m_statusLabel) : nullptr) {
        status->SetWindowText(kLoadingTreeText);
        status->ShowWindow(SW_SHOW);
    }
    if (CWnd* hint = m_pathLabel != 0 ? m_dialog.GetDlgItem(m_pathLabel) : nullptr) {
        hint->SetWindowText(kResultsHintText);
        hint->Invalidate();
    }
    // Nothing of the drive page stays over the results: a group item's hint, a drive's volumes.
    m_dialog.ShowHintControls(SW_HIDE);
    m_dialog.HideFoundFileSystemList();
    m_resultTree.EnableWindow(FALSE);
    m_dialog.DriveTree().ShowWindow(SW_HIDE);
    m_resultTree.ShowWindow(SW_SHOW);
    ActiveTree = &m_resultTree;
    m_dialog.GrowProgressArea();
    m_progress.ShowWindow(SW_SHOW);
    m_progress.SetPos(0);
}

void ScanLogs::EndTreeLoading()
{
    m_progress.ShowWindow(SW_HIDE);
    // Looked up again: what GetDlgItem lent at the start is not to be kept over the whole load.
    if (CWnd* status = m_statusLabel != 0 ? m_dialog.GetDlgItem(m_statusLabel) : nullptr) {
        status->SetWindowText(L"");
        status->ShowWindow(SW_HIDE);
    }
    m_dialog.ShrinkProgressArea();
}

size_t ScanLogs::InsertLogTree(LoadJob& job)
{
    // One repaint at the end, not one per folder.
    m_resultTree.SetRedraw(FALSE);
    ::InterlockedIncrement(&ScanLogLoading);
    ResultTreeLogSink sink(m_resultTree, &m_progress);
    m_resultTree.BeginResultInsert();
    const size_t inserted = RebuildScanLogTree(job.data.tree, sink);
    m_resultTree.EndResultInsert();
    ::InterlockedDecrement(&ScanLogLoading);
    m_resultTree.SetRedraw(TRUE);
    m_resultTree.Invalidate();
    return inserted;
}

bool ScanLogs::RebuildFromLog(LoadJob& job, const CString& devicePath)
{
    ScanLogData& data = job.data;
    const bool ntfs = data.params.partitionType == L"NTFS";
    m_listing.EndListing(true);
    m_hooks.clearResults();
    ShowTreeLoading();

    // The volumes are placed as the scan placed them: by the partitions of the disk read (as its
    // table lists them now) and the volume starts the selection knew.
    SetRequestPartitions(m_request,
                         m_request.diskNumber < kMaxDisks ? PartitionExtentsOf(DiskPartitionTable[m_request.diskNumber])
                                                          : std::vector<PartitionExtent>());
    // A Deep NTFS log keeps one volume's geometry: the volumes its rows come from are worked out
    // again from the system files' records on the medium, read as the scan read them.
    NtfsGeometryMap ntfsVolumes;
    if (ntfs && data.header.mode == kScanLogModeDeep) {
        KeptHandleSectorSource device(devicePath);
        if (device.IsOpen())
            ntfsVolumes = InferLoggedNtfsVolumes(data, device, m_request.volumeStarts);
    }
    AddScanLogToStore(data, devicePath, m_store, &ntfsVolumes, m_request.partitions);
    const size_t inserted = InsertLogTree(job);
    if (m_resultTree.GetRootItem() == nullptr)
        m_resultTree.EnsureRootItem();
    // The listing looks the NTFS files up by their parent: the index is made once, here.
    if (m_store.VolumeCount() > 0)
        m_store.NtfsFilesOf(0, 5);
    m_resultsPresent = ntfs ? m_store.NtfsFileCount() >= 2 : m_resultTree.Folders.FolderNodeList.count >= 2;

    EndTreeLoading();
    m_listing.ResetFolderCounts();
    m_listing.ShowFolderCountText();
    m_listing.EmptyFileList();
    ForgetSaved();
    // A log just loaded is saved already.
    m_saved = 1;
    m_dialog.EnableModeButtons(true);
    m_dialog.EnableWindow(TRUE);
    return inserted == data.tree.size();
}
