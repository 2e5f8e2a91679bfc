#include "fsrecovery/fssession.h"

#include <shlobj.h>

#include "app/notices.h"
#include "app/pure/descriptions.h"
#include "app/pure/record_table.h"
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
#include "fsrecovery/resultbuild.h"
#include "fsrecovery/savefiles.h"
#include "resources/resource.h"
#include "storage/pure/storage_host.h"

namespace {

constexpr UINT WM_ZR_LISTING_ENDED = WM_APP + 0x241;
// The id of a FAT folder whose first cluster is an end-of-chain mark: it has no directory.
constexpr uint32_t kFatEndOfChain = 0x0FFFFFFF;
// Column 1 of a subfolder row of the file list.
const wchar_t kFolderType[] = L"FOLDER";
const wchar_t kNothingTickedText[] =
    L"No item has been selected. Please select the item you want to save from left panel.";

// Commands of the file list's menu and of the results tree's.
enum : UINT { kMenuOpen = 1, kMenuSave = 3, kMenuSaveAll = 4, kMenuTreeSave = 1 };

SaveFolderPicker g_saveFolderPicker = nullptr;
PopupMenuPicker g_menuPicker = nullptr;

CString PickSaveFolder(CWnd* owner)
{
    return g_saveFolderPicker
        ? g_saveFolderPicker(owner)
        : BrowseForFolder(owner, L"Select the folder to save the recovered files in", BIF_RETURNONLYFSDIRS);
}

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

bool RowTicked(CListCtrl& list, int row)
{
    return (list.GetItemState(row, LVIS_STATEIMAGEMASK) >> 12) == 2;
}

bool IsFolderRow(CListCtrl& list, int row)
{
    return ClassifyOpenRowType(list.GetItemText(row, 1)) == OpenRowKind::Folder;
}

// Columns 3 (date) and 4 (time) of the subfolder row `row` of `node`.
void SetFolderRowStamp(CListCtrl& list, int row, const FolderNode& node, bool ntfs)
{
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    const FolderRowStamp stamp =
        FolderRowDateTime(ntfs, node.name, node.date, node.time, FormatDayMonthYear(now.wDay, now.wMonth, now.wYear));
    list.SetItemText(row, 3, stamp.date);
    list.SetItemText(row, 4, stamp.time);
}

} // namespace

void SetSaveFolderPicker(SaveFolderPicker picker)
{
    g_saveFolderPicker = picker;
}

void SetPopupMenuPicker(PopupMenuPicker picker)
{
    g_menuPicker = picker;
}

// The files of a listing as rows of the file list. The list shows the system's icons; the image
// list stays alive as long as the listing keeps this user. Rows are handed to the list's own
// thread in batches with its drawing held back: a cross-thread message per cell and a redraw per
// row made a listing cost milliseconds per file. Each row's item data names its file.
class FileListWriter : public FileSink {
public:
    FileListWriter(CFsSearchSession& session, CListCtrl& list, int firstIndex)
        : m_session(session), m_list(list), m_index(firstIndex)
    {
        if (m_list.GetSafeHwnd() && CSystemImageList::GetSmallList())
            m_list.SetImageList(CSystemImageList::GetSmallList(), LVSIL_SMALL);
    }
    ~FileListWriter() override { Flush(); }

    void Add(const FoundFileRef& file, const CString (&cells)[10]) override
    {
        ++m_session.m_fileCount;
        if (m_list.GetSafeHwnd()) {
            m_session.m_listedFiles.push_back(file);
            Row row{ file.name,
                     m_icons.GetIconIndex(file.name, FALSE, TRUE),
                     m_index,
                     LPARAM(m_session.m_listedFiles.size()),
                     {} };
            row.cells[1] = GetFileTypeDescription(FileNameExtension(file.name));
            for (int column = 2; column < 10; ++column)
                row.cells[column] = cells[column];
            m_rows.push_back(std::move(row));
        }
        ++m_index;
        if (m_rows.size() >= kBatchRows)
            Flush();
    }

    void Flush()
    {
        // A stop asked of the listing's thread (the program ending) ends the listing too.
        m_session.ListingStopped();
        if (!m_rows.empty()) {
            ZrRunOnWindowThread(&m_list, [this] {
                m_list.SetRedraw(FALSE);
                for (const Row& r : m_rows) {
                    const int row =
                        m_list.InsertItem(LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM, r.index, r.name, 0, 0, r.icon, r.data);
                    if (row < 0)
                        continue;
                    for (int column = 1; column < 10; ++column) {
                        if (!r.cells[column].IsEmpty())
                            m_list.SetItemText(row, column, r.cells[column]);
                    }
                }
                m_list.SetRedraw(TRUE);
                m_list.Invalidate();
            });
            m_rows.clear();
        }
        m_session.ShowFolderCountText();
    }

private:
    static constexpr size_t kBatchRows = 200;
    struct Row {
        CString name;
        int icon;
        int index;
        LPARAM data;
        CString cells[10];
    };
    CFsSearchSession& m_session;
    CListCtrl& m_list;
    int m_index;
    CSystemImageList m_icons;
    std::vector<Row> m_rows;
};

// The files of whole folders as save items; the files of one folder share its path.
class SaveCollector : public FileSink {
public:
    SaveCollector(FoundStore& store, std::shared_ptr<const std::vector<CString>> folders, std::vector<SaveItem>& items)
        : m_store(store), m_folders(std::move(folders)), m_items(items)
    { }
    void Add(const FoundFileRef& file, const CString (&)[10]) override
    {
        m_items.push_back({ m_folders, file, &m_store.Volume(file.volume) });
    }

private:
    FoundStore& m_store;
    std::shared_ptr<const std::vector<CString>> m_folders;
    std::vector<SaveItem>& m_items;
};

BEGIN_MESSAGE_MAP(CFsSearchSession, CSearchSession)
    ON_MESSAGE(WM_ZR_LISTING_ENDED, &CFsSearchSession::OnListingEnded)
    ON_MESSAGE(CFsSearchSession::kMsgOpenFolderRow, &CFsSearchSession::OnOpenFolderRow)
    ON_MESSAGE(CFsSearchSession::kMsgOpenBegin, &CFsSearchSession::OnOpenBegin)
    ON_MESSAGE(CFsSearchSession::kMsgOpenEnded, &CFsSearchSession::OnOpenEnded)
    ON_MESSAGE(CFsSearchSession::kMsgLoadStartupLog, &CFsSearchSession::OnLoadStartupLog)
    ON_MESSAGE(WM_ZR_REMOVABLE_FOUND, &CFsSearchSession::OnRemovablePartitionFound)
    ON_MESSAGE(WM_ZR_REMOVABLE_ENDED, &CFsSearchSession::OnRemovableSearchEnded)
END_MESSAGE_MAP()

CFsSearchSession::CFsSearchSession(const SearchDialogLayout& layout, const FsDialogLayout& fsLayout,
                                   SearchHost* host)
    : CSearchSession(layout, host), m_fsLayout(fsLayout)
{
    if (fsLayout.fileList != layout.detailList)
        m_fileList = std::make_unique<CHideColumn>();
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
    ForgetLogSaved();
    // The log named on the command line (or handed over by the other search dialog) is loaded
    // once the dialog is up; the splash has done its part once this dialog has taken the log.
    if (!CommandLineLogPath.IsEmpty()) {
        if (LogModeSwitchPending.load() == 0) {
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
    EndListing(true);
    // Naming the folders of a tree being built ends too.
    m_listingStop = 1;
    CSearchSession::EndWorkers();
    m_listingStop = 0;
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

void CFsSearchSession::ClearResults()
{
    m_rowTicks.clear();
    m_rowTickChanged = false;
    m_listedFolders.clear();
    m_listedFoldersOf = nullptr;
    m_resultTree.DeleteAllResults();
    LastPopulatedItem = nullptr;
    FileList().DeleteAllItems();
    m_listedFiles.clear();
    m_store.Clear();
    m_folderCount = 0;
    m_fileCount = 0;
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
    BuildFoundTree(m_store, &m_resultTree, progress, &m_listingStop, Host());
    // The listing of a folder looks its files up by parent: the index is made here, once.
    if (m_store.VolumeCount() > 0)
        m_store.NtfsFilesOf(0, kNtfsRootId);
}

void CFsSearchSession::OnTreeSelChanged(CTreeClass* tree, NMTREEVIEWW* change, LRESULT* result)
{
    if (tree != &m_resultTree)
        return CSearchSession::OnTreeSelChanged(tree, change, result);
    OnResultSelChanged(change->itemNew.hItem);
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
        ReadFolderOnce(item);
    }
    RedrawEnabledTree(tree);
}

bool CFsSearchSession::ReadFolderOnce(HTREEITEM item)
{
    if (item == nullptr)
        return false;
    // The top item's directory (each volume's root) was read when the tree was built.
    const HTREEITEM parent = m_resultTree.GetParentItem(item);
    if (parent == nullptr || m_resultTree.GetItemText(parent).IsEmpty())
        return false;
    FolderNode* folder = (FolderNode*)m_resultTree.GetItemData(item);
    if (folder == nullptr || folder->expanded != 0)
        return false;
    const uint32_t volume = m_store.VolumeOfCluster0(folder->cluster0Start);
    if (volume == FoundStore::kNoVolume || !IsFat(m_store.KindOfVolume(volume)))
        return false;
    if (folder->ownId == kFatEndOfChain) {
        folder->expanded = 1;
        return false;
    }
    // Marks the folder read only when the read was not stopped.
    const bool onListing = ::GetCurrentThreadId() != ::GetWindowThreadProcessId(m_hWnd, nullptr);
    return ExpandFatFolder(m_store, &m_resultTree, item, onListing ? &m_listingStop : nullptr);
}

// ---- Listing the selected results folder -------------------------------------------------------

CString CFsSearchSession::FolderCountText() const
{
    CString text;
    text.Format(L"%llu Folders, %llu Files", (unsigned long long)m_folderCount.load(),
                (unsigned long long)m_fileCount.load());
    return text;
}

void CFsSearchSession::ShowFolderCountText()
{
    if (GetSafeHwnd() != nullptr && m_fsLayout.folderCount != 0)
        ::SetDlgItemTextW(GetSafeHwnd(), m_fsLayout.folderCount, FolderCountText());
}

bool CFsSearchSession::ListingStopped()
{
    if (CWinThread* self = AfxGetThread(); self != nullptr && self->StopRequested())
        m_listingStop = 1;
    return IsStopped(&m_listingStop);
}

void CFsSearchSession::OnResultSelChanged(HTREEITEM item)
{
    // A partition search changes the selection state the listing reads: nothing is listed then.
    if (g_pPopulateListThread != nullptr || Page() == 0 || item == nullptr || PartitionSearchBusy())
        return;
    if (ScanRunning()) {
        // The tree is still being built: nothing is listed and the selection is taken back.
        m_resultTree.Select(nullptr, TVGN_CARET);
        return;
    }
    SelectedTreeItem = item;
    const bool isRoot = item == m_resultTree.GetRootItem();
    // The root is not listed twice in a row; any other folder is listed again when reselected.
    if (isRoot && item == LastPopulatedItem)
        return;
    KeepRowTicks();
    m_rowTickChanged = false;
    LastPopulatedItem = item;
    m_listedFolders.clear();
    m_listedFoldersOf = item;

    auto wait = std::make_unique<CPopulate>();
    wait->SetCancelFlag(&m_listingStop);
    if (!wait->Create(this))
        return;
    m_populateDlg = std::move(wait);
    g_pPopulateDlg = m_populateDlg.get();
    EnableWindow(FALSE);
    m_populateDlg->CenterWindow(this);
    m_populateDlg->SetWindowText(L"Populating List Items, Please wait....");
    m_populateDlg->ShowWindow(SW_SHOW);
    m_populateDlg->SetForegroundWindow();

    FileList().DeleteAllItems();
    m_listedFiles.clear();
    // The listing gives the system image list back before its first row.
    FileList().SetImageList(nullptr, LVSIL_SMALL);
    m_listingStop = 0;
    m_listingWorker = ZrBeginThreadInto(g_pPopulateListThread, PopulateListThreadProc, this);
    if (m_listingWorker == nullptr)
        EndListing(false);
}

void CFsSearchSession::ListFilesOf(HTREEITEM item, FileSink& sink)
{
    const FolderNode* folder = item != nullptr ? (const FolderNode*)m_resultTree.GetItemData(item) : nullptr;
    if (folder == nullptr) {
        // The top item stands for every volume's root.
        for (uint32_t v = 0; v < m_store.VolumeCount() && !IsStopped(&m_listingStop); ++v)
            ListVolumeFolderFiles(m_store, v, RootFolderId(m_store.Volume(v).kind), &m_listingStop, sink,
                                  VolumeColumnOf(v));
        return;
    }
    const uint32_t volume = m_store.VolumeOfCluster0(folder->cluster0Start);
    if (volume == FoundStore::kNoVolume)
        return;
    if (m_store.Volume(volume).kind == FsKind::Ntfs || folder->ownId != kFatEndOfChain)
        ListVolumeFolderFiles(m_store, volume, folder->ownId, &m_listingStop, sink);
}

void CFsSearchSession::FillListedFolder()
{
    m_folderCount = 0;
    m_fileCount = 0;
    ShowFolderCountText();
    const HTREEITEM item = LastPopulatedItem;
    if (item == nullptr)
        return;
    CString path;
    for (const CString& folder : FolderPathOf(item))
        path += (path.IsEmpty() ? L"" : L"\\") + folder;
    if (m_fsLayout.pathLabel != 0) {
        SetDlgItemText(m_fsLayout.pathLabel, path.IsEmpty() ? CString(L"Root") : path);
        if (CWnd* label = GetDlgItem(m_fsLayout.pathLabel))
            label->ShowWindow(SW_SHOW);
    }
    // "Root" brings the tree back to its top.
    if (item == m_resultTree.GetRootItem())
        m_resultTree.SendMessage(WM_VSCROLL, SB_TOP, 0);

    const FolderNode* folder = (const FolderNode*)m_resultTree.GetItemData(item);
    const uint32_t deleted = folder ? folder->deleted : 0;
    // A scan that left nothing has nothing to list; the end of the listing says so.
    if (m_resultTree.Folders.FolderNodeList.head == nullptr && !m_resultsPresent)
        return;
    CListCtrl& list = FileList();
    if (CSystemImageList::GetSmallList())
        list.SetImageList(CSystemImageList::GetSmallList(), LVSIL_SMALL);
    // The subfolders' names come from the folder's own directory: read it if no one has yet.
    if (!ListingStopped())
        ReadFolderOnce(item);

    // The folder rows are made on the list's own thread in one go, with its drawing held back:
    // row by row from here, every cell would be a message to that thread and every row a redraw.
    int row = 0;
    const int folderIcon = GetFolderIconIndex();
    // The subfolders come from the folder records, in the tree's order: asking the tree for
    // every child's text and data costs a call each, and each call on a large tree costs.
    // Folders put into the tree some other way are asked of the tree.
    std::vector<FolderNode*> asked;
    const std::vector<FolderNode*>* children = m_resultTree.ResultChildren(item);
    if (children == nullptr) {
        for (HTREEITEM child = m_resultTree.GetChildItem(item); child != nullptr && !IsStopped(&m_listingStop);
             child = m_resultTree.GetNextSiblingItem(child))
            if (FolderNode* node = (FolderNode*)m_resultTree.GetItemData(child); node != nullptr && node->item == child)
                asked.push_back(node);
        children = &asked;
    }
    ZrRunOnWindowThread(&list, [&] {
        list.SetRedraw(FALSE);
        for (FolderNode* node : *children) {
            if (IsStopped(&m_listingStop))
                break;
            const HTREEITEM child = (HTREEITEM)node->item;
            m_listedFolders.insert(child);
            // A folder inside a deleted folder is deleted too.
            if (deleted)
                node->deleted = 1;
            ++m_folderCount;
            const int at = list.InsertItem(row, node->name, folderIcon);
            if (at < 0)
                continue;
            CString cell;
            list.SetItemText(at, 1, kFolderType);
            cell.Format(L"%u", node->ownId);
            list.SetItemText(at, 5, cell);
            cell.Format(L"%u", node->parentId);
            list.SetItemText(at, 6, cell);
            cell.Format(L"%llu", (unsigned long long)(intptr_t)child);
            list.SetItemText(at, 7, cell);
            const uint32_t volume = m_store.VolumeOfCluster0(node->cluster0Start);
            SetFolderRowStamp(list, at, *node, m_store.KindOfVolume(volume) == FsKind::Ntfs);
            ++row;
        }
        list.SetRedraw(TRUE);
        list.Invalidate();
    });
    ShowFolderCountText();
    if (ListingStopped())
        return;
    {
        FileListWriter writer(*this, list, row);
        ListFilesOf(item, writer);
    }
    // Files in a FAT root are results too, though the scan's rows are folders only.
    bool fat = false;
    for (uint32_t v = 0; v < m_store.VolumeCount(); ++v)
        fat = fat || IsFat(m_store.Volume(v).kind);
    if (fat && folder == nullptr && m_fileCount > 0)
        m_resultsPresent = true;
}

UINT PopulateListThreadProc(LPVOID param)
{
    auto* session = static_cast<CFsSearchSession*>(param);
    try {
        session->FillListedFolder();
    } catch (const std::bad_alloc&) {
        session->OnWorkerOutOfMemory();
    }
    // The notice and the disabled dialog belong to the dialog's thread; it ends the listing state.
    const WPARAM finished = session->ListingStopped() ? 0 : 1;
    ::PostMessageW(session->GetSafeHwnd(), WM_ZR_LISTING_ENDED, finished, 0);
    return 0;
}

LRESULT CFsSearchSession::OnListingEnded(WPARAM finished, LPARAM)
{
    // Only a listing that ran to its end and that no one is ending right now (Back, Next and
    // close wait for it themselves) may go on to say that the scan found nothing.
    const bool ranToItsEnd = finished != 0 && !m_endingListing && g_pPopulateListThread != nullptr;
    EndListing(false);
    RestoreRowTicks();
    if (!ranToItsEnd || Page() <= 0 || !m_resultTree.GetSafeHwnd())
        return 0;
    const HTREEITEM root = m_resultTree.GetRootItem();
    const HTREEITEM firstChild = root != nullptr ? m_resultTree.GetChildItem(root) : nullptr;
    const CString firstChildText = firstChild != nullptr ? m_resultTree.GetItemText(firstChild) : CString();
    if (!NoResultsNoticeDue(m_resultsPresent ? 1 : 0, m_resultTree.GetCount(), firstChildText, Page()))
        return 0;
    std::atomic<int32_t>& state = NoticeState();
    int32_t expected = 0;
    state.compare_exchange_strong(expected, 1);
    if (state.load() == 1)
        ShowNoResultsNotice();
    return 0;
}

void CFsSearchSession::EndListing(bool stop)
{
    // The wait below dispatches messages, among them the worker's own "ended" message: that
    // nested call must leave the worker to this one, which deletes it.
    if (m_endingListing) {
        if (stop)
            m_listingStop = 1;
        return;
    }
    m_endingListing = true;
    if (CWinThread* worker = m_listingWorker) {
        if (stop)
            m_listingStop = 1;
        ZrWaitForThreadPumping(worker, INFINITE);
        delete worker;
        m_listingWorker = nullptr;
        g_pPopulateListThread = nullptr;
    }
    if (m_populateDlg) {
        if (g_pPopulateDlg == m_populateDlg.get())
            g_pPopulateDlg = nullptr;
        if (m_populateDlg->GetSafeHwnd() != nullptr)
            m_populateDlg->DestroyWindow();
        m_populateDlg.reset();
        EnableWindow(TRUE);
        m_resultTree.EnableWindow(TRUE);
    }
    m_listingStop = 0;
    m_endingListing = false;
}

// ---- Opening a row of the file list ----------------------------------------------------------

FoundFileRef* CFsSearchSession::ListedFileOfRow(int row)
{
    CListCtrl& list = FileList();
    const DWORD_PTR data = row >= 0 && row < list.GetItemCount() ? list.GetItemData(row) : 0;
    if (data == 0 || data > m_listedFiles.size() || m_listedFiles[data - 1].volume >= m_store.VolumeCount())
        return nullptr;
    return &m_listedFiles[data - 1];
}

bool CFsSearchSession::FileOfRow(int row, FoundFileRef& file) const
{
    const FoundFileRef* listed = const_cast<CFsSearchSession*>(this)->ListedFileOfRow(row);
    if (listed == nullptr)
        return false;
    file = *listed;
    return true;
}

UINT OpenFilesThreadProc(LPVOID param)
{
    auto* session = static_cast<CFsSearchSession*>(param);
    session->m_folderCount = 0;
    session->m_fileCount = 0;
    if (session->Page() > 0)
        session->OpenFirstSelectedRow();
    session->m_pOpenFilesThread = nullptr;
    // The dialog's thread takes this thread's object, ends the "opening" state and hands a
    // written file to the shell.
    ::PostMessageW(session->GetSafeHwnd(), CFsSearchSession::kMsgOpenEnded, 0, 0);
    return 0;
}

void CFsSearchSession::OpenSelectedRow()
{
    CListCtrl& list = FileList();
    if (Page() < 1 || m_pOpenFilesThread != nullptr || m_openWorker.load() != nullptr)
        return;
    const int row = list.GetNextItem(-1, LVNI_SELECTED);
    if (row < 0 || ClassifyOpenRowType(list.GetItemText(row, 1)) == OpenRowKind::None)
        return;
    m_openedPath.Empty();
    // A stop of an earlier open is not this one's; a stop from here on is.
    m_openWrite.stop = 0;
    // The ended message is handled on this thread, so it always finds the worker stored.
    m_openWorker = ZrBeginThreadInto(m_pOpenFilesThread, OpenFilesThreadProc, this);
}

void CFsSearchSession::OpenFirstSelectedRow()
{
    CListCtrl& list = FileList();
    const CString countText = FolderCountText();
    const int row = list.GetNextItem(-1, LVNI_SELECTED);
    if (row < 0)
        return;
    const OpenRowKind kind = ClassifyOpenRowType(list.GetItemText(row, 1));
    if (kind == OpenRowKind::Folder) {
        if (m_fsLayout.folderCount != 0)
            SetDlgItemText(m_fsLayout.folderCount, countText);
        ::SendMessageW(m_hWnd, kMsgOpenFolderRow, WPARAM(row), 0);
        return;
    }
    FoundFileRef file;
    if (kind != OpenRowKind::File || !FileOfRow(row, file))
        return;
    const FoundVolume& volume = m_store.Volume(file.volume);
    const bool writable = file.ntfs ? volume.kind == FsKind::Ntfs : IsFat(volume.kind);
    if (volume.params.sectorsPerCluster == 0 || !writable)
        return;
    ::SendMessageW(m_hWnd, kMsgOpenBegin, 0, LPARAM(&file));
    // Empty unless the whole file was written: a failed or cancelled write is never opened.
    m_openWrite.host = Host();
    m_openedPath = WriteFoundFileForViewing(volume, file, m_openFileCounter, m_openWrite);
}

LRESULT CFsSearchSession::OnOpenFolderRow(WPARAM row, LPARAM)
{
    const HTREEITEM item = FolderRowItem(m_resultTree.GetSelectedItem(), int(row));
    if (item != nullptr)
        m_resultTree.Select(item, TVGN_CARET); // its selection handler lists the folder
    return 0;
}

LRESULT CFsSearchSession::OnOpenBegin(WPARAM, LPARAM param)
{
    const FoundFileRef& file = *reinterpret_cast<const FoundFileRef*>(param);
    m_cursorBeforeOpen = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    auto notice = std::make_unique<CSavingFilesDlg>(this, &m_openWrite);
    if (notice->Create()) {
        // Three lines: the name, what is being done and a word of patience. The bars and the
        // file count belong to saving; the bytes line is widened to carry the third text.
        for (int id : { IDC_SAVE_BYTES_BAR, IDC_SAVE_FILES_BAR, IDC_SAVE_FILES })
            if (CWnd* control = notice->GetDlgItem(id))
                control->ShowWindow(SW_HIDE);
        CRect line(10, 44, 290, 53);
        notice->MapDialogRect(&line);
        if (CWnd* third = notice->GetDlgItem(IDC_SAVE_BYTES))
            third->MoveWindow(&line);
        notice->SetDlgItemText(IDC_SAVE_NAME, file.name);
        notice->SetDlgItemText(IDC_SAVE_PATH, L"Opening File : " + FormatSize(file.size));
        notice->SetDlgItemText(IDC_SAVE_BYTES, L"This may take a while, Please wait...");
        notice->CenterWindow(this);
        notice->ShowWindow(SW_SHOW);
        notice->EnableWindow(TRUE);
        notice->SetForegroundWindow();
        m_openNotice = std::move(notice);
    }
    EnableWindow(FALSE);
    m_openBusy = true;
    return 0;
}

LRESULT CFsSearchSession::OnOpenEnded(WPARAM, LPARAM)
{
    const CString path = EndOpenWorker();
    if (!path.IsEmpty())
        OpenWithShell(kShellOpenFile, path, this);
    return 0;
}

CString CFsSearchSession::EndOpenWorker()
{
    CWinThread* worker = m_openWorker.exchange(nullptr);
    if (worker == nullptr)
        return CString();
    ZrWaitForThreadPumping(worker, INFINITE);
    delete worker;
    if (m_openNotice) {
        if (m_openNotice->GetSafeHwnd() != nullptr)
            m_openNotice->DestroyWindow();
        m_openNotice.reset();
    }
    if (m_openBusy) {
        m_openBusy = false;
        ::SetCursor(m_cursorBeforeOpen);
        EnableWindow(TRUE);
        FileList().Invalidate();
    }
    const CString path = m_openedPath;
    m_openedPath.Empty();
    return path;
}

void CFsSearchSession::StopOpenWorker()
{
    if (m_openWorker.load() == nullptr)
        return;
    // A long copy ends after its block; what was cut short is not opened.
    m_openWrite.stop = 1;
    EndOpenWorker();
}

// ---- Saving ticked folders and rows -------------------------------------------------------------

std::vector<CString> CFsSearchSession::FolderPathOf(HTREEITEM item)
{
    std::vector<CString> folders;
    for (HTREEITEM at = item; at != nullptr && m_resultTree.GetParentItem(at) != nullptr;
         at = m_resultTree.GetParentItem(at))
        folders.insert(folders.begin(), m_resultTree.GetItemText(at));
    return folders;
}

HTREEITEM CFsSearchSession::FolderRowItem(HTREEITEM listed, int row)
{
    CListCtrl& list = FileList();
    uint64_t value = 0;
    if (listed == nullptr ||
        !ZrRecordTable::ParseNumber(list.GetItemText(row, 7), ZrRecordTable::SortKey::Decimal, value) || value == 0)
        return nullptr;
    // The cell is only text: it is trusted only when it names a child of the listed folder.
    if (listed == m_listedFoldersOf && listed == LastPopulatedItem) {
        const HTREEITEM named = (HTREEITEM)(intptr_t)value;
        if ((unsigned long long)(intptr_t)named != value || m_listedFolders.count(named) == 0)
            return nullptr;
        return m_resultTree.GetParentItem(named) == listed ? named : nullptr;
    }
    for (HTREEITEM child = m_resultTree.GetChildItem(listed); child != nullptr;
         child = m_resultTree.GetNextSiblingItem(child))
        if ((unsigned long long)(intptr_t)child == value) // as the listing writes it
            return child;
    return nullptr;
}

template <class Take>
void CFsSearchSession::AddFolders(HTREEITEM first, bool siblings, Take take, std::vector<SaveItem>& items)
{
    // Depth first without recursion: a results tree is as deep as the folders on the disk.
    std::vector<HTREEITEM> pending;
    for (HTREEITEM at = first; at != nullptr; at = siblings ? m_resultTree.GetNextSiblingItem(at) : nullptr)
        pending.insert(pending.begin(), at);
    while (!pending.empty()) {
        const HTREEITEM item = pending.back();
        pending.pop_back();
        if (take(item)) {
            SaveCollector files(m_store, std::make_shared<const std::vector<CString>>(FolderPathOf(item)), items);
            ListFilesOf(item, files);
        }
        std::vector<HTREEITEM> children;
        for (HTREEITEM child = m_resultTree.GetChildItem(item); child != nullptr;
             child = m_resultTree.GetNextSiblingItem(child))
            children.push_back(child);
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
}

bool CFsSearchSession::TickedRow::operator<(const TickedRow& o) const
{
    if (folder != o.folder)
        return folder < o.folder;
    if (file.volume != o.file.volume)
        return file.volume < o.file.volume;
    if (file.ntfs != o.file.ntfs)
        return file.ntfs < o.file.ntfs;
    if (file.recordSector != o.file.recordSector)
        return file.recordSector < o.file.recordSector;
    if (file.firstCluster != o.file.firstCluster)
        return file.firstCluster < o.file.firstCluster;
    return file.name.Compare(o.file.name) < 0;
}

bool CFsSearchSession::RowKey(HTREEITEM listed, int row, TickedRow& key)
{
    key = TickedRow();
    if (IsFolderRow(FileList(), row)) {
        key.folder = FolderRowItem(listed, row);
        return key.folder != nullptr;
    }
    return FileOfRow(row, key.file);
}

BOOL CFsSearchSession::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    const auto* header = message == WM_NOTIFY ? reinterpret_cast<const NMHDR*>(lParam) : nullptr;
    if (header != nullptr && header->code == LVN_ITEMCHANGED && header->hwndFrom == FileList().GetSafeHwnd()) {
        const auto* change = reinterpret_cast<const NMLISTVIEW*>(header);
        if ((change->uChanged & LVIF_STATE) && ((change->uNewState ^ change->uOldState) & LVIS_STATEIMAGEMASK))
            m_rowTickChanged = true;
    }
    return CSearchSession::OnWndMsg(message, wParam, lParam, pResult);
}

void CFsSearchSession::KeepRowTicks()
{
    const HTREEITEM listed = LastPopulatedItem;
    CListCtrl& list = FileList();
    if (listed == nullptr || Page() < 1 || !list.GetSafeHwnd())
        return;
    // No row was ticked or unticked since the listing, none had a tick kept: nothing to read. A
    // list that tells another window of its changes is read whole.
    if (!m_rowTickChanged && m_rowTicks.count(listed) == 0 && ::GetParent(list.GetSafeHwnd()) == GetSafeHwnd())
        return;
    std::set<TickedRow>& ticked = m_rowTicks[listed];
    TickedRow key;
    // One state read per row; a row's key is made only when the row is ticked or may have been.
    const int rows = list.GetItemCount();
    for (int row = 0; row < rows; ++row) {
        const bool on = RowTicked(list, row);
        if ((!on && ticked.empty()) || !RowKey(listed, row, key))
            continue;
        if (on)
            ticked.insert(key);
        else
            ticked.erase(key);
    }
    if (ticked.empty())
        m_rowTicks.erase(listed);
}

void CFsSearchSession::RestoreRowTicks()
{
    const auto found = m_rowTicks.find(LastPopulatedItem);
    CListCtrl& list = FileList();
    if (found == m_rowTicks.end() || !list.GetSafeHwnd())
        return;
    TickedRow key;
    for (int row = 0; row < list.GetItemCount(); ++row)
        if (RowKey(LastPopulatedItem, row, key) && found->second.count(key) != 0)
            list.SetCheck(row, TRUE);
}

bool CFsSearchSession::NothingTicked()
{
    const int root = m_resultTree.GetCheckState(m_resultTree.GetRootItem());
    if (root != 0 && root != 1)
        return false;
    // Ticked rows count too, of the listed folder and of those listed before: ticking a row does
    // not tick the tree.
    KeepRowTicks();
    return m_rowTicks.empty();
}

void CFsSearchSession::OnSaveSelected()
{
    if (NothingTicked()) {
        ZrMessageBox(GetSafeHwnd(), kNothingTickedText, L"Message", MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (Page() < 1)
        return;
    EndListing(false);
    if (ScanRunning() || g_pPopulateListThread != nullptr)
        return;
    const CString destination = PickSaveFolder(this);
    if (destination.IsEmpty())
        return;

    std::vector<SaveItem> items;
    KeepRowTicks();
    // Each folder is taken once: a ticked tree folder, a ticked folder row (with what is below
    // it), then the ticked file rows of folders not taken whole.
    std::set<HTREEITEM> taken;
    AddFolders(
        m_resultTree.GetRootItem(), true,
        [&](HTREEITEM item) { return m_resultTree.GetCheckState(item) == 2 && taken.insert(item).second; }, items);
    for (const auto& [listed, rows] : m_rowTicks)
        for (const TickedRow& row : rows)
            if (row.folder != nullptr && taken.count(row.folder) == 0)
                AddFolders(
                    row.folder, false, [&](HTREEITEM item) { return taken.insert(item).second; }, items);
    for (const auto& [listed, rows] : m_rowTicks) {
        if (taken.count(listed) != 0)
            continue;
        const auto path = std::make_shared<const std::vector<CString>>(FolderPathOf(listed));
        for (const TickedRow& row : rows)
            if (row.folder == nullptr && row.file.volume < m_store.VolumeCount())
                items.push_back({ path, row.file, &m_store.Volume(row.file.volume) });
    }
    m_lastSaveWork = SaveFoundItems(items, destination, this, false, Host()).work;
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
