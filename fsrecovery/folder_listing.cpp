// The file list of the selected results folder (fsrecovery/folder_listing.h).
#include "fsrecovery/folder_listing.h"

#include "app/notices.h"
#include "app/pure/descriptions.h"
#include "app/pure/record_table.h"
#include "app/pure/textservices.h"
#include "app/sortclass.h"
#include "app/waitdialogs.h"
#include "fsrecovery/folderlist.h"
#include "fsrecovery/pure/folder_listing.h"
#include "fsrecovery/pure/result_browse.h"

namespace {

// The id of a FAT folder whose first cluster is an end-of-chain mark: it has no directory.
constexpr uint32_t kFatEndOfChain = 0x0FFFFFFF;
// Column 1 of a subfolder row of the file list.
const wchar_t kFolderType[] = L"FOLDER";

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

FolderListing::FolderListing(CSearchSession& dialog, Hooks hooks, CTreeClass& resultTree, CHideColumn& list,
                             FoundStore& store, std::atomic<bool>& resultsPresent, int folderCountLabel, int pathLabel)
    : m_dialog(dialog), m_hooks(std::move(hooks)), m_resultTree(resultTree), m_list(list), m_store(store),
      m_resultsPresent(resultsPresent), m_folderCountLabel(folderCountLabel), m_pathLabel(pathLabel)
{ }

FolderListing::~FolderListing() = default;

void FolderListing::ResetFolderCounts()
{
    m_folderCount = 0;
    m_fileCount = 0;
}

void FolderListing::EmptyFileList()
{
    m_list.DeleteAllItems();
    m_listedFiles.clear();
}

void FolderListing::ForgetListedFolders()
{
    m_listedFolders.clear();
    m_listedFoldersOf = nullptr;
}

// The files of a listing as rows of the file list. The list shows the system's icons; the image
// list stays alive as long as the listing keeps this user. Rows are handed to the list's own
// thread in batches with its drawing held back: a cross-thread message per cell and a redraw per
// row made a listing cost milliseconds per file. Each row's item data names its file.
class FileListWriter : public FileSink {
public:
    FileListWriter(FolderListing& session, CListCtrl& list, int firstIndex)
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
    FolderListing& m_session;
    CListCtrl& m_list;
    int m_index;
    CSystemImageList m_icons;
    std::vector<Row> m_rows;
};

bool FolderListing::ReadFolderOnce(HTREEITEM item)
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
    const bool onListing = ::GetCurrentThreadId() != ::GetWindowThreadProcessId(m_dialog.GetSafeHwnd(), nullptr);
    return ExpandFatFolder(m_store, &m_resultTree, item, onListing ? &m_listingStop : nullptr);
}

CString FolderListing::FolderCountText() const
{
    CString text;
    text.Format(L"%llu Folders, %llu Files", (unsigned long long)m_folderCount.load(),
                (unsigned long long)m_fileCount.load());
    return text;
}

void FolderListing::ShowFolderCountText()
{
    if (m_dialog.GetSafeHwnd() != nullptr && m_folderCountLabel != 0)
        ::SetDlgItemTextW(m_dialog.GetSafeHwnd(), m_folderCountLabel, FolderCountText());
}

bool FolderListing::ListingStopped()
{
    if (CWinThread* self = AfxGetThread(); self != nullptr && self->StopRequested())
        m_listingStop = 1;
    return IsStopped(&m_listingStop);
}

void FolderListing::OnResultSelChanged(HTREEITEM item)
{
    // A partition search changes the selection state the listing reads: nothing is listed then.
    if (g_pPopulateListThread != nullptr || m_dialog.Page() == 0 || item == nullptr || m_dialog.PartitionSearchBusy())
        return;
    if (m_dialog.ScanRunning()) {
        // The tree is still being built: nothing is listed and the selection is taken back.
        m_resultTree.Select(nullptr, TVGN_CARET);
        return;
    }
    SelectedTreeItem = item;
    const bool isRoot = item == m_resultTree.GetRootItem();
    // The root is not listed twice in a row; any other folder is listed again when reselected.
    if (isRoot && item == LastPopulatedItem)
        return;
    m_hooks.starts();
    LastPopulatedItem = item;
    m_listedFolders.clear();
    m_listedFoldersOf = item;

    auto wait = std::make_unique<CPopulate>();
    wait->SetCancelFlag(&m_listingStop);
    if (!wait->Create(&m_dialog))
        return;
    m_populateDlg = std::move(wait);
    g_pPopulateDlg = m_populateDlg.get();
    m_dialog.EnableWindow(FALSE);
    m_populateDlg->CenterWindow(&m_dialog);
    m_populateDlg->SetWindowText(L"Populating List Items, Please wait....");
    m_populateDlg->ShowWindow(SW_SHOW);
    m_populateDlg->SetForegroundWindow();

    EmptyFileList();
    // The listing gives the system image list back before its first row.
    m_list.SetImageList(nullptr, LVSIL_SMALL);
    m_listingStop = 0;
    m_workerItem = item;
    m_listingWorker = ZrBeginThreadInto(g_pPopulateListThread, PopulateListThreadProc, this);
    if (m_listingWorker == nullptr)
        EndListing(false);
}

void FolderListing::ListFilesOf(HTREEITEM item, FileSink& sink)
{
    const FolderNode* folder = item != nullptr ? (const FolderNode*)m_resultTree.GetItemData(item) : nullptr;
    if (folder == nullptr) {
        // The top item stands for every volume's root.
        for (uint32_t v = 0; v < m_store.VolumeCount() && !IsStopped(&m_listingStop); ++v)
            ListVolumeFolderFiles(m_store, v, RootFolderId(m_store.Volume(v).kind), &m_listingStop, sink,
                                  m_hooks.volumeColumnOf(v));
        return;
    }
    const uint32_t volume = m_store.VolumeOfCluster0(folder->cluster0Start);
    if (volume == FoundStore::kNoVolume)
        return;
    if (m_store.Volume(volume).kind == FsKind::Ntfs || folder->ownId != kFatEndOfChain)
        ListVolumeFolderFiles(m_store, volume, folder->ownId, &m_listingStop, sink);
}

void FolderListing::ShowListedFolderPath(HTREEITEM item)
{
    CString path;
    for (const CString& folder : FolderPathOf(m_resultTree, item))
        path += (path.IsEmpty() ? L"" : L"\\") + folder;
    if (m_pathLabel != 0) {
        m_dialog.SetDlgItemText(m_pathLabel, path.IsEmpty() ? CString(L"Root") : path);
        if (CWnd* label = m_dialog.GetDlgItem(m_pathLabel))
            label->ShowWindow(SW_SHOW);
    }
    // "Root" brings the tree back to its top.
    if (item == m_resultTree.GetRootItem())
        m_resultTree.SendMessage(WM_VSCROLL, SB_TOP, 0);
}

const std::vector<FolderNode*>& FolderListing::SubfoldersOf(HTREEITEM item, std::vector<FolderNode*>& asked)
{
    // The subfolders come from the folder records, in the tree's order: asking the tree for
    // every child's text and data costs a call each, and each call on a large tree costs.
    // Folders put into the tree some other way are asked of the tree.
    if (const std::vector<FolderNode*>* children = m_resultTree.ResultChildren(item))
        return *children;
    for (HTREEITEM child = m_resultTree.GetChildItem(item); child != nullptr && !IsStopped(&m_listingStop);
         child = m_resultTree.GetNextSiblingItem(child))
        if (FolderNode* node = (FolderNode*)m_resultTree.GetItemData(child); node != nullptr && node->item == child)
            asked.push_back(node);
    return asked;
}

int FolderListing::InsertFolderRows(CListCtrl& list, const std::vector<FolderNode*>& children, bool deleted)
{
    // The folder rows are made on the list's own thread in one go, with its drawing held back:
    // row by row from here, every cell would be a message to that thread and every row a redraw.
    int row = 0;
    const int folderIcon = GetFolderIconIndex();
    ZrRunOnWindowThread(&list, [&] {
        list.SetRedraw(FALSE);
        for (FolderNode* node : children) {
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
    return row;
}

void FolderListing::FillListedFolder(HTREEITEM item)
{
    m_folderCount = 0;
    m_fileCount = 0;
    ShowFolderCountText();
    if (item == nullptr)
        return;
    ShowListedFolderPath(item);

    const FolderNode* folder = (const FolderNode*)m_resultTree.GetItemData(item);
    const uint32_t deleted = folder ? folder->deleted : 0;
    // A scan that left nothing has nothing to list; the end of the listing says so.
    if (m_resultTree.Folders.FolderNodeList.head == nullptr && !m_resultsPresent)
        return;
    CListCtrl& list = m_list;
    if (CSystemImageList::GetSmallList())
        list.SetImageList(CSystemImageList::GetSmallList(), LVSIL_SMALL);
    // The subfolders' names come from the folder's own directory: read it if no one has yet.
    if (!ListingStopped())
        ReadFolderOnce(item);

    std::vector<FolderNode*> asked;
    const int row = InsertFolderRows(list, SubfoldersOf(item, asked), deleted != 0);
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

UINT FolderListing::PopulateListThreadProc(LPVOID param)
{
    auto* listing = static_cast<FolderListing*>(param);
    try {
        listing->FillListedFolder(listing->m_workerItem);
    } catch (const std::bad_alloc&) {
        listing->m_hooks.outOfMemory();
    }
    // The notice and the disabled dialog belong to the dialog's thread; it ends the listing state.
    const WPARAM finished = listing->ListingStopped() ? 0 : 1;
    ::PostMessageW(listing->m_dialog.GetSafeHwnd(), WM_ZR_LISTING_ENDED, finished, 0);
    return 0;
}

LRESULT FolderListing::OnWorkerEnded(WPARAM finished)
{
    // Only a listing that ran to its end and that no one is ending right now (Back, Next and
    // close wait for it themselves) may go on to say that the scan found nothing.
    const bool ranToItsEnd = finished != 0 && !m_endingListing && g_pPopulateListThread != nullptr;
    EndListing(false);
    m_hooks.ended(ranToItsEnd);
    return 0;
}

void FolderListing::EndListing(bool stop)
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
        m_dialog.EnableWindow(TRUE);
        m_resultTree.EnableWindow(TRUE);
    }
    m_listingStop = 0;
    m_endingListing = false;
}

FoundFileRef* FolderListing::ListedFileOfRow(int row)
{
    CListCtrl& list = m_list;
    const DWORD_PTR data = row >= 0 && row < list.GetItemCount() ? list.GetItemData(row) : 0;
    if (data == 0 || data > m_listedFiles.size() || m_listedFiles[data - 1].volume >= m_store.VolumeCount())
        return nullptr;
    return &m_listedFiles[data - 1];
}

bool FolderListing::FileOfRow(int row, FoundFileRef& file) const
{
    const FoundFileRef* listed = const_cast<FolderListing*>(this)->ListedFileOfRow(row);
    if (listed == nullptr)
        return false;
    file = *listed;
    return true;
}

HTREEITEM FolderListing::FolderRowItem(HTREEITEM listed, int row)
{
    CListCtrl& list = m_list;
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

