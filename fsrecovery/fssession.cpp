#include "fsrecovery/fssession.h"

#include <shlobj.h>

#include "app/notices.h"
#include "app/pure/descriptions.h"
#include "app/pure/record_table.h"
#include "app/pure/scan_log_header.h"
#include "app/pure/textservices.h"
#include "app/questions.h"
#include "app/shellservices.h"
#include "app/startup.h"
#include "app/sortclass.h"
#include "app/waitdialogs.h"
#include "fsrecovery/folderlist.h"
#include "fsrecovery/pure/folder_listing.h"
#include "fsrecovery/pure/open_row.h"
#include "fsrecovery/pure/result_browse.h"
#include "fsrecovery/result_tree.h"
#include "fsrecovery/savefiles.h"
#include "resources/resource.h"
#include "storage/pure/storage_host.h"

namespace {


// Commands of the file list's menu and of the results tree's.
enum : UINT { kMenuOpen = 1, kMenuSave = 3, kMenuSaveAll = 4, kMenuTreeSave = 1 };

PopupMenuPicker g_menuPicker = nullptr;

// The chosen command of a popup menu shown at the cursor; 0 when it was dismissed.
UINT ChooseFromMenu(CWnd* owner, CMenu& menu)
{
    if (g_menuPicker != nullptr)
        return g_menuPicker(menu);
    POINT at{};
    ::GetCursorPos(&at);
    // Without this the menu would not close when the user clicks elsewhere.
    owner->SetForegroundWindow();
    return UINT(menu.TrackPopupMenu(TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, at.x, at.y, owner));
}

bool NoDeviceDialogShown()
{
    CNoDevice* notice = g_pNoDeviceDlg.load();
    return notice != nullptr && notice->GetSafeHwnd() != nullptr && notice->IsWindowVisible();
}

// The tree changes its items inside the notification; without this the old pictures stay on
// screen until the next paint.
void RedrawEnabledTree(CTreeClass* tree)
{
    if (!tree->IsWindowEnabled())
        return;
    tree->UpdateWindow();
    tree->Invalidate(TRUE);
    tree->RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

} // namespace

void SetPopupMenuPicker(PopupMenuPicker picker)
{
    g_menuPicker = picker;
}

BEGIN_MESSAGE_MAP(CFsSearchSession, CSearchSession)
    ON_MESSAGE(WM_ZR_LISTING_ENDED, &CFsSearchSession::OnListingEnded)
    ON_MESSAGE(RowOpener::kMsgFolderRow, &CFsSearchSession::OnOpenFolderRow)
    ON_MESSAGE(RowOpener::kMsgBegin, &CFsSearchSession::OnOpenBegin)
    ON_MESSAGE(RowOpener::kMsgEnded, &CFsSearchSession::OnOpenEnded)
    ON_MESSAGE(CFsSearchSession::kMsgLoadStartupLog, &CFsSearchSession::OnLoadStartupLog)
    ON_MESSAGE(WM_ZR_REMOVABLE_FOUND, &CFsSearchSession::OnRemovablePartitionFound)
    ON_MESSAGE(WM_ZR_REMOVABLE_ENDED, &CFsSearchSession::OnRemovableSearchEnded)
END_MESSAGE_MAP()

CFsSearchSession::CFsSearchSession(const SearchDialogLayout& layout, const FsDialogLayout& fsLayout,
                                   SearchHost* host)
    : CSearchSession(layout, host), m_fsLayout(fsLayout),
      m_fileList(fsLayout.fileList != layout.detailList ? std::make_unique<CHideColumn>() : nullptr),
      m_removableSearch(*this, fsLayout.driveTreeThread),
      m_listing(*this, ListingHooks(), m_resultTree, FileList(), m_store, m_resultsPresent, fsLayout.folderCount,
                fsLayout.pathLabel),
      m_ticks(*this, m_listing), m_saver(*this, m_listing, m_ticks, m_resultTree, m_store, m_request),
      m_opener(*this, m_listing, m_resultTree, m_store, fsLayout.folderCount),
      m_scanLogs(*this, m_listing, m_resultTree, m_store, m_request, m_progress, m_resultsPresent, ScanLogHooks(),
                 fsLayout.statusLabel, fsLayout.pathLabel)
{ }

FolderListing::Hooks CFsSearchSession::ListingHooks()
{
    FolderListing::Hooks hooks;
    hooks.volumeColumnOf = [this](uint32_t volume) { return VolumeColumnOf(volume); };
    hooks.outOfMemory = [this] { OnWorkerOutOfMemory(); };
    hooks.starts = [this] {
        m_ticks.Keep();
        m_ticks.ListingStarts();
    };
    hooks.ended = [this](bool ranToItsEnd) { AfterListing(ranToItsEnd); };
    return hooks;
}

ScanLogs::Hooks CFsSearchSession::ScanLogHooks()
{
    ScanLogs::Hooks hooks;
    hooks.clearResults = [this] { ClearResults(); };
    hooks.showLoadedResults = [this](bool throughDisk) { ShowLoadedResults(throughDisk); };
    hooks.showDrivePage = [this] { ShowDrivePageAfterLog(); };
    return hooks;
}

CFsSearchSession::~CFsSearchSession() = default;

void CFsSearchSession::DoDataExchange(CDataExchange* pDX)
{
    CSearchSession::DoDataExchange(pDX);
    DDX_Control(pDX, m_fsLayout.resultTree, m_resultTree);
    if (m_fileList)
        DDX_Control(pDX, m_fsLayout.fileList, *m_fileList);
}

BOOL CFsSearchSession::OnInitDialog()
{
    CSearchSession::OnInitDialog();
    m_resultTree.SetNotifyHandler(this);
    // The results tree's pictures, and its tick boxes as state images (a folder partly ticked
    // shows the fourth, which the plain check-box style lacks).
    m_resultImages.Create(24, 24, ILC_COLOR32 | ILC_MASK, 1, 1);
    CBitmap strip;
    if (strip.LoadBitmap(m_fsLayout.resultImages))
        m_resultImages.Add(&strip, RGB(255, 0, 255));
    m_stateImages.Create(m_fsLayout.stateImages, 13, 1, RGB(255, 255, 255));
    m_resultTree.SetImageList(&m_resultImages, TVSIL_NORMAL);
    // The list the check-box style made for itself is replaced, and is the dialog's to free.
    const HIMAGELIST own =
        (HIMAGELIST)m_resultTree.SendMessage(TVM_SETIMAGELIST, TVSIL_STATE, (LPARAM)m_stateImages.GetSafeHandle());
    if (own != nullptr && own != m_stateImages.GetSafeHandle())
        ::ImageList_Destroy(own);
    if (m_currentFolder.SubclassDlgItem(m_fsLayout.folderCount, this)) {
        m_currentFolder.SetBkColor(RGB(255, 255, 255));
        m_currentFolder.SetTextColor(RGB(0, 0, 255));
    }
    m_resultTree.SetItemHeight(SHORT(m_resultTree.GetItemHeight() * 11 / 10));
    // The list lies where the template puts it on the drive page; on the results page it runs
    // beside the results tree, from its top to its bottom.
    FileList().GetWindowRect(&m_listDriveRect);
    ScreenToClient(&m_listDriveRect);
    CRect tree;
    m_resultTree.GetWindowRect(&tree);
    ScreenToClient(&tree);
    m_listResultsRect = CRect(m_listDriveRect.left, tree.top, m_listDriveRect.right, tree.bottom);
    ForgetLogSaved();
    // The log named on the command line (or handed over by the other search dialog) is loaded
    // once the dialog is up; the splash has done its part once this dialog has taken the log.
    if (!CommandLineLogPath.IsEmpty()) {
        if (Host() == nullptr || Host()->LogModeSwitchPending.load() == 0) {
            SplashMayClose = 1;
            if (CSplash* splash = g_pSplashDlg.load())
                ::ShowWindow(splash->GetSafeHwnd(), SW_HIDE);
        }
        PostMessage(kMsgLoadStartupLog);
    }
    return TRUE;
}

void CFsSearchSession::EndWorkers()
{
    EndRemovableSearch(true, false);
    StopOpenWorker();
    m_listing.EndListing(true);
    // Naming the folders of a tree being built ends too.
    m_listing.ListingStop() = 1;
    CSearchSession::EndWorkers();
    m_listing.ListingStop() = 0;
}

void CFsSearchSession::OnDestroyControls()
{
    // The tick boxes are the dialog's own list: a tree with check boxes may free its state list.
    m_resultTree.SendMessage(TVM_SETIMAGELIST, TVSIL_STATE, 0);
    m_resultTree.SetNotifyHandler(nullptr);
    if (ActiveTree == &m_resultTree)
        ActiveTree = nullptr;
}

void CFsSearchSession::OnWorkerOutOfMemory()
{
    bool fat = false;
    for (uint32_t v = 0; v < m_store.VolumeCount(); ++v)
        fat = fat || IsFat(m_store.Volume(v).kind);
    // The rows of NTFS records are told as their data runs are, a FAT volume's directory clusters
    // as its cluster lists.
    const bool first = m_store.EntryCount() == 0 && m_store.NtfsFileCount() == 0;
    ReportListMemoryExhausted(fat ? ListKind::ClusterChain : ListKind::DataRuns, first);
}

bool CFsSearchSession::FilterInput(MSG* msg)
{
    // Space ticks a results folder the way a click on its box does (the tree's own handling would
    // step on to the "partly ticked" picture and leave the folder's children as they were).
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_SPACE && msg->hwnd == m_resultTree.GetSafeHwnd()) {
        m_resultTree.ToggleCheck(m_resultTree.GetSelectedItem());
        return true;
    }
    if (SelectAllOnCtrlA(msg))
        return true;
    return CSearchSession::FilterInput(msg);
}

// ---- Scan logs ----------------------------------------------------------------------------------

void CFsSearchSession::OnBnClickedLoadLog()
{
    CString path;
    bool fromCommandLine = false;
    if (m_scanLogs.ChooseLogToLoad(path, fromCommandLine))
        LoadScanLog(path, fromCommandLine);
}

LRESULT CFsSearchSession::OnLoadStartupLog(WPARAM, LPARAM)
{
    if (!CommandLineLogPath.IsEmpty())
        OnBnClickedLoadLog();
    return 0;
}

void CFsSearchSession::LoadScanLog(const CString& path, bool fromCommandLine)
{
    const ScanLogs::LoadOutcome outcome = m_scanLogs.Load(path, fromCommandLine);
    if (outcome.kind == ScanLogs::LoadOutcome::Kind::OtherSearch)
        HandLogToOtherSearch(path, outcome.otherMode);
}

void CFsSearchSession::HandLogToOtherSearch(const CString& path, uint32_t otherMode)
{
    const bool toDeep = otherMode == kScanLogModeDeep;
    SearchHost* const host = Host();
    // The other dialog loads the same file without asking for it; this one waits hidden and
    // goes when that one has gone.
    SetCommandLineLogPath(path);
    if (host != nullptr)
        host->LogModeSwitchPending = 1;
    ShowWindow(SW_HIDE);
    // The other search is the current one while it runs: its drive trees and dialogs are
    // the ones the shared services serve.
    if (host != nullptr)
        host->SearchMode = toDeep ? kModeDeep : kModeBasic;
    if (toDeep)
        RunDeepSearchDialog(host);
    else
        RunBasicSearchDialog(host);
    if (host != nullptr) {
        host->SearchMode = Mode();
        host->LogModeSwitchPending = 0;
    }
    ClearCommandLineLogPath();
    // Back on the drive page ends this dialog as it ends any other.
    const int back = Layout().back;
    if (GetSafeHwnd() != nullptr && back != 0)
        SendMessage(WM_COMMAND, MAKEWPARAM(back, BN_CLICKED), (LPARAM)GetDlgItem(back)->GetSafeHwnd());
}

void CFsSearchSession::ClearResults()
{
    m_ticks.Clear();
    m_listing.ForgetListedFolders();
    m_resultTree.DeleteAllResults();
    m_listing.LastPopulatedItem = nullptr;
    m_listing.EmptyFileList();
    m_store.Clear();
    m_listing.ResetFolderCounts();
    m_resultsPresent = false;
}

// ---- The results tree ---------------------------------------------------------------------------

void CFsSearchSession::BuildResultsTree(HWND progress)
{
    bool ntfs = false;
    for (uint32_t v = 0; v < m_store.VolumeCount(); ++v)
        ntfs = ntfs || m_store.Volume(v).kind == FsKind::Ntfs;
    // Besides the catch-all row, the scan found a folder (FAT) or a file (NTFS).
    m_resultsPresent = (ntfs ? m_store.NtfsFileCount() : m_store.EntryCount()) >= 2;
    OnResultsBuildStep(ResultsBuildStep::SearchingLost);
    MarkOrphansShowing(m_store, progress, Host());
    OnResultsBuildStep(ResultsBuildStep::Storing);
    BuildFoundTree(m_store, &m_resultTree, progress, &m_listing.ListingStop(), Host());
    // The listing of a folder looks its files up by parent: the index is made here, once.
    if (m_store.VolumeCount() > 0)
        m_store.NtfsFilesOf(0, kNtfsRootId);
}

void CFsSearchSession::OnTreeSelChanged(CTreeClass* tree, NMTREEVIEWW* change, LRESULT* result)
{
    if (tree != &m_resultTree)
        return CSearchSession::OnTreeSelChanged(tree, change, result);
    m_listing.OnResultSelChanged(change->itemNew.hItem);
    *result = 0;
}

void CFsSearchSession::OnTreeItemExpanding(CTreeClass* tree, NMTREEVIEWW* change, LRESULT* result)
{
    if (tree != &m_resultTree || change == nullptr || NoDeviceDialogShown() || Page() <= 0)
        return;
    const HTREEITEM item = change->itemNew.hItem;
    if (item == nullptr)
        return;
    RedrawEnabledTree(tree);
    // The action's low bits: collapse 1, expand 2.
    if ((change->action & 3) == TVE_COLLAPSE) {
        const int image = CollapsedItemImage(tree->GetItemText(item), item == tree->GetRootItem());
        if (image >= 0)
            tree->SetItemImage(item, image, image);
    } else if ((change->action & 3) == TVE_EXPAND && g_pPopulateListThread == nullptr) {
        // A running listing reads this folder itself when it needs to.
        m_listing.ReadFolderOnce(item);
    }
    RedrawEnabledTree(tree);
}

// ---- What the listing asks of the dialog -------------------------------------------------------

void CFsSearchSession::AfterListing(bool ranToItsEnd)
{
    m_ticks.Restore();
    if (!ranToItsEnd || Page() <= 0 || !m_resultTree.GetSafeHwnd())
        return;
    const HTREEITEM root = m_resultTree.GetRootItem();
    const HTREEITEM firstChild = root != nullptr ? m_resultTree.GetChildItem(root) : nullptr;
    const CString firstChildText = firstChild != nullptr ? m_resultTree.GetItemText(firstChild) : CString();
    if (!NoResultsNoticeDue(m_resultsPresent ? 1 : 0, m_resultTree.GetCount(), firstChildText, Page()))
        return;
    std::atomic<int32_t>& state = NoticeState();
    int32_t expected = 0;
    state.compare_exchange_strong(expected, 1);
    if (state.load() == 1)
        ShowNoResultsNotice();
}

// ---- Opening a row of the file list ----------------------------------------------------------

// ---- Saving ticked folders and rows -------------------------------------------------------------

BOOL CFsSearchSession::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    m_ticks.NoteMessage(message, lParam);
    return CSearchSession::OnWndMsg(message, wParam, lParam, pResult);
}

void CFsSearchSession::OnSaveSelected()
{
    m_saver.Save();
}

void CFsSearchSession::ClearFileListSelection()
{
    CListCtrl& list = FileList();
    list.SetSelectionMark(-1);
    list.SetItemState(-1, 0, LVIS_SELECTED);
    if (Page() >= 1)
        OnSaveSelected();
}

// ---- Notifications and keys of the results page ------------------------------------------------

void CFsSearchSession::OnNMDblclkFileList(NMHDR*, LRESULT* result)
{
    *result = 0;
    if (Page() >= 1)
        OpenSelectedRow();
}

void CFsSearchSession::OnNMRClickFileList(NMHDR*, LRESULT* result)
{
    *result = 0;
    if (Page() < 1 || FileList().GetSelectedCount() == 0)
        return;
    CMenu menu;
    if (!menu.CreatePopupMenu())
        return;
    menu.AppendMenu(MF_STRING, kMenuOpen, L"Open");
    menu.AppendMenu(MF_SEPARATOR);
    menu.AppendMenu(MF_STRING, kMenuSave, L"Save");
    menu.AppendMenu(MF_STRING, kMenuSaveAll, L"Save All");
    switch (ChooseFromMenu(this, menu)) {
    case kMenuOpen:
        OpenSelectedRow();
        break;
    case kMenuSave:
        ClearFileListSelection();
        break;
    case kMenuSaveAll: {
        // Every row is selected, and shown, before the selection is cleared for the save.
        CListCtrl& list = FileList();
        for (int row = 0; row < list.GetItemCount(); ++row) {
            list.SetItemState(row, LVIS_SELECTED, LVIS_SELECTED);
            list.EnsureVisible(row, FALSE);
        }
        ClearFileListSelection();
        break;
    }
    default:
        break;
    }
}

void CFsSearchSession::OnNMSetfocusFileList(NMHDR*, LRESULT* result)
{
    *result = 0;
    CListCtrl& list = FileList();
    if (Page() < 1 || list.GetItemCount() == 0)
        return;
    int mark = list.GetSelectionMark();
    if (mark < 0 || mark >= list.GetItemCount()) {
        mark = 0;
        list.SetSelectionMark(mark);
    }
    list.SetItemState(mark, LVIS_SELECTED, LVIS_SELECTED);
}

void CFsSearchSession::OnNMRClickResultTree(NMHDR*, LRESULT* result)
{
    *result = 0;
    if (Page() < 1 || ScanRunning())
        return;
    CMenu menu;
    if (!menu.CreatePopupMenu())
        return;
    menu.AppendMenu(MF_STRING, kMenuTreeSave, L"Save");
    if (ChooseFromMenu(this, menu) == kMenuTreeSave)
        OnSaveSelected();
}

bool CFsSearchSession::SelectAllOnCtrlA(const MSG* msg)
{
    CListCtrl& list = FileList();
    if (msg->message != WM_KEYDOWN || msg->wParam != 'A' || (::GetKeyState(VK_CONTROL) & 0x8000) == 0 || Page() < 1 ||
        ::GetFocus() != list.GetSafeHwnd())
        return false;
    for (int row = 0; row < list.GetItemCount(); ++row)
        list.SetItemState(row, LVIS_SELECTED, LVIS_SELECTED);
    return true;
}
