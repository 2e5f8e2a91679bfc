// The lost-partition search thread: runs the search over the selected disk, adds what it finds
// to the disk's item in green, and at its end selects a partition (or offers the whole disk) and
// reports the count. Stopping sets a flag the search polls; the thread always runs its end steps.
#include "app/devicetree.h"
#include "app/searchhost.h"
#include "app/treeclass.h"
#include "resource.h"
#include "storage/partition_table.h"
#include "storage/pure/bootsector.h"
#include "storage/pure/partition_search.h"
#include "storage/pure/partition_table.h"
#include "storage/pure/stop_flag.h"
#include "storage/sector_source.h"

#include <mutex>

std::atomic<int> SmpSelMode{ 0 };
TreeItemHandle PartitionSearchDiskItem = nullptr;
std::atomic<int> PartitionSearchUsesStoredItem{ 0 };
CWinThread* g_pPartitionSearchThread = nullptr;

namespace {

// Written by a search's thread, read by the scan that waits for it.
std::mutex g_autoResultLock;
AutoSearchResult g_autoResult;

} // namespace

void KeepAutoSearchFind(const CString& fsName, uint64_t startSector, uint64_t endSector)
{
    AutoSearchResult result;
    result.SelectedVolumeInfo.fsName = fsName;
    result.SelectedVolumeInfo.startSector = startSector;
    result.SelectedVolumeInfo.endSector = endSector;
    result.AutoSearchValidation = ValidateSelectedVolume(result.SelectedVolumeInfo, result.VolumeGeometry);
    const std::lock_guard<std::mutex> hold(g_autoResultLock);
    g_autoResult = result;
}

AutoSearchResult AutoSearchFound()
{
    const std::lock_guard<std::mutex> hold(g_autoResultLock);
    return g_autoResult;
}

void ForgetAutoSearchResult()
{
    const std::lock_guard<std::mutex> hold(g_autoResultLock);
    g_autoResult = AutoSearchResult();
}

namespace {

// The search dialogs' partition-search controls, by the ids Basic Search's template gives them
// (the other dialogs use the same ids for these controls).
constexpr int kBasicBack = IDC_BS_BACK, kBasicNext = IDC_BS_NEXT, kSearchMoreButton = IDC_BS_MORE_PARTITIONS;
constexpr int kSearchingText = IDC_BS_PS_LABEL, kStopButton = IDC_BS_STOP_PARTITIONS;
constexpr int kBasicProgressBar = IDC_BS_PS_PROGRESS, kRangeText = IDC_BS_OF_TOTAL;
// The sector the search reads shows in Basic and Deep Search's sector text, in the carving
// dialogs' position text.
constexpr int kCarvePositionText = IDC_PS_SECTORS_TEXT;

// The program's lost-partition search (one runs at a time): what its start, its stop and its
// thread share.
struct DiskPartitionSearch {
    // Set by StopPartitionSearch; polled between the blocks the search reads.
    StopFlag stop{ 0 };
    // The search ends without its result box.
    std::atomic<bool> quietEnd{ false };
    // The thread object of the search that ran last, deleted when the next one starts.
    CWinThread* lastThread = nullptr;
};

DiskPartitionSearch& TheDiskSearch()
{
    static DiskPartitionSearch search;
    return search;
}

int PositionTextId(int mode)
{
    return mode == kModeBasic || mode == kModeDeep ? IDC_BS_SECTORS : kCarvePositionText;
}

// The search's progress bar: the one the dialog names, else Basic Search's id.
int ProgressBarId(const DriveTreeTarget& target)
{
    return target.partitionProgress != 0 ? target.partitionProgress : kBasicProgressBar;
}

HWND DialogItem(CWnd* dialog, int id)
{
    return dialog != nullptr && dialog->GetSafeHwnd() != nullptr ? ::GetDlgItem(dialog->GetSafeHwnd(), id) : nullptr;
}
void ShowItem(CWnd* dialog, int id, int show)
{
    ::ShowWindow(DialogItem(dialog, id), show);
}
void EnableItem(CWnd* dialog, int id, BOOL enable)
{
    ::EnableWindow(DialogItem(dialog, id), enable);
}
void SetItemText(CWnd* dialog, int id, const CString& text)
{
    ::SetWindowTextW(DialogItem(dialog, id), text.GetString());
}

void ColourItem(CTreeCtrl& tree, HTREEITEM item)
{
    if (CTreeClass* coloured = dynamic_cast<CTreeClass*>(&tree))
        coloured->SetItemColor(item, kFoundGreen);
}

// The disk item the search works on: the one the Basic Search drive-tree thread stored, or the
// selected item.
HTREEITEM SearchDiskItem(int mode, const DriveTreeTarget& target, bool clearFlag)
{
    if (mode == kModeBasic && PartitionSearchUsesStoredItem != 0) {
        if (clearFlag)
            PartitionSearchUsesStoredItem = 0;
        return PartitionSearchDiskItem;
    }
    return target.tree != nullptr ? target.tree->GetSelectedItem() : nullptr;
}

class SearchThreadListener : public PartitionSearchListener {
public:
    SearchThreadListener(SearchHost& main, const StopFlag& stop, int mode, bool automatic, int searchMode,
                         const DriveTreeTarget& target, HTREEITEM disk, int diskNumber, uint64_t rangeEnd)
        : m_main(main), m_stop(stop), m_mode(mode), m_automatic(automatic), m_searchMode(searchMode), m_target(target),
          m_disk(disk), m_diskNumber(diskNumber), m_rangeEnd(rangeEnd)
    { }

    bool StopRequested() override
    {
        CWinThread* self = AfxGetThread();
        return IsStopped(&m_stop) || (self != nullptr && self->StopRequested());
    }

    void Progress(uint64_t position) override
    {
        CString text;
        text.Format(L"%llu", position);
        SetItemText(m_target.dialog, PositionTextId(m_searchMode), text);
        if (HWND bar = DialogItem(m_target.dialog, ProgressBarId(m_target)))
            m_main.UpdateProgress(bar, 0, m_rangeEnd, position);
    }

    bool PartitionFound(int index, const CString& fsName, uint64_t startSector, uint64_t endSector) override
    {
        if (m_automatic) {
            KeepAutoSearchFind(fsName, startSector, endSector);
            return m_mode == kSearchAdvanced;
        }
        ++m_main.FoundPartitionCount;
        if (m_target.tree == nullptr || m_disk == nullptr)
            return true;
        const HTREEITEM item = InsertDriveTreeItem(PartitionItemText(index, fsName), m_disk);
        DiskPartitionTable[m_diskNumber].slot[index].treeItem = item;
        if (item != nullptr)
            ColourItem(*m_target.tree, item);
        m_target.tree->Expand(m_target.tree->GetRootItem(), TVE_EXPAND);
        m_target.tree->RedrawWindow();
        return true;
    }

private:
    SearchHost& m_main;
    const StopFlag& m_stop;
    int m_mode;
    bool m_automatic;
    int m_searchMode;
    DriveTreeTarget m_target;
    HTREEITEM m_disk;
    int m_diskNumber;
    uint64_t m_rangeEnd;
};

DriveInfoRecord* RecordOf(const DriveTreeTarget& target, HTREEITEM item)
{
    return target.tree != nullptr && item != nullptr
        ? reinterpret_cast<DriveInfoRecord*>(target.tree->GetItemData(item))
        : nullptr;
}

// The search's texts; in Basic Search its bar too, which a search the scan started itself does
// not show (the scan's own progress is what the page shows then).
void ShowProgressControls(CWnd* dialog, int searchMode, int show, bool automatic)
{
    ShowItem(dialog, PositionTextId(searchMode), show);
    ShowItem(dialog, kRangeText, show);
    if (searchMode == kModeBasic && (show == SW_HIDE || !automatic))
        ShowItem(dialog, kBasicProgressBar, show);
}

// A dialog that shows no start sector for the whole disk offered as a partition empties that
// row's value once the selection has filled the rows.
void BlankWholeDiskStart(const DriveTreeTarget& target)
{
    constexpr int kStartSectorRow = 4; // "5. Start Sector : "
    const HWND details = target.fileList;
    if (!target.wholeDiskStartBlank || details == nullptr ||
        ::SendMessageW(details, LVM_GETITEMCOUNT, 0, 0) <= kStartSectorRow)
        return;
    LVITEMW item = {};
    item.iSubItem = 1;
    item.pszText = const_cast<wchar_t*>(L"");
    ::SendMessageW(details, LVM_SETITEMTEXTW, kStartSectorRow, LPARAM(&item));
}

// Selects the disk's first partition, or offers the whole disk as one partition when it has
// none.
void SelectResult(SearchHost& main, const DriveTreeTarget& target, HTREEITEM disk, int d)
{
    CTreeCtrl& tree = *target.tree;
    if (const HTREEITEM first = tree.GetChildItem(disk)) {
        main.FormatSelectionDetails(NormaliseFsName(tree.GetItemText(first)), 0, d);
        SelectedItemKind = L"part";
        tree.SelectItem(first);
        return;
    }
    const int diskNumber = GetDiskNumberFromText(tree.GetItemText(disk));
    const DriveInfoRecord* record = RecordOf(target, disk);
    const uint64_t end = record != nullptr ? StrToUInt64(record->totalSectors.GetString()) : DiskTotalSectors;
    const CString fs = GuessFsBySize(0, end);
    ++main.FoundPartitionCount;
    if (diskNumber < 0 || diskNumber >= kMaxDisks)
        return;
    DiskPartitionRecord& table = DiskPartitionTable[diskNumber];
    table.fsName[0] = fs;
    table.partitionCount = 1;
    table.slot[0].startSector = 0;
    table.slot[0].endSector = end;
    const CString text = fs == L"Unknown" ? CString(L"Unknown Partition") : PartitionItemText(0, fs);
    const HTREEITEM item = InsertDriveTreeItem(text, disk);
    table.slot[0].treeItem = item;
    main.FormatSelectionDetails(fs, 0, diskNumber);
    if (item != nullptr) {
        ColourItem(tree, item);
        tree.Expand(disk, TVE_EXPAND);
        tree.SelectItem(item);
    }
    SelectedItemKind = L"part";
    BlankWholeDiskStart(target);
    tree.RedrawWindow();
}

// The search's parameters from the disk's record: its geometry and size (the selected disk's size
// without a record).
PartitionSearchParams SearchParamsOf(const DriveInfoRecord* record, int mode)
{
    PartitionSearchParams params;
    params.mode = mode;
    if (record != nullptr) {
        params.geometry = NormaliseSearchGeometry(StrToUInt64(record->cylinders.GetString()),
                                                  uint32_t(StrToUInt64(record->heads.GetString())),
                                                  uint32_t(StrToUInt64(record->sectorsPerTrack.GetString())));
        params.totalSectors = StrToUInt64(record->totalSectors.GetString());
    } else {
        params.totalSectors = DiskTotalSectors;
    }
    return params;
}

// One run of the search on the selected disk, in its steps: the drive page set for it, the
// search, the drive page given back, its result.
class PartitionSearchRun {
public:
    PartitionSearchRun(SearchHost& main, const DiskPartitionSearch& search)
        : m_main(main), m_search(search), m_disk(SelectedDiskNumber < kMaxDisks ? SelectedDiskNumber : 0),
          m_mode(SmpSelMode.load()), m_searchMode(main.SearchMode.load()), m_automatic(AutoPartitionSearch == 1)
    {
        const bool haveTree = GetDriveTreeTarget(m_target);
        m_diskItem = haveTree ? SearchDiskItem(m_searchMode, m_target, false) : nullptr;
    }

    // The buttons locked (Basic Search) and the search's counters shown from 0.
    void ShowStart(uint64_t rangeEnd)
    {
        CWnd* dialog = m_target.dialog;
        if (!m_automatic && m_searchMode == kModeBasic)
            for (int id : { kBasicBack, kBasicNext, kSearchMoreButton })
                EnableItem(dialog, id, FALSE);
        ShowProgressControls(dialog, m_searchMode, SW_SHOW, m_automatic);
        CString range;
        range.Format(L" / %llu reading", rangeEnd);
        SetItemText(dialog, PositionTextId(m_searchMode), L"0");
        SetItemText(dialog, kRangeText, range);
        if (HWND bar = DialogItem(dialog, ProgressBarId(m_target)))
            m_main.SetProgressRange64(bar, 0, rangeEnd, m_mode == kSearchStandard ? 1 : int32_t(kSearchBlockSectors));
    }

    void Search()
    {
        const PartitionSearchParams params = SearchParamsOf(RecordOf(m_target, m_diskItem), m_mode);
        const uint64_t rangeEnd = m_mode == kSearchStandard ? params.geometry.cylinders : params.totalSectors;
        ShowStart(rangeEnd);
        KeptHandleSectorSource source(PhysicalDrivePathTable[m_disk]);
        SearchThreadListener listener(m_main, m_search.stop, m_mode, m_automatic, m_searchMode, m_target, m_diskItem,
                                      m_disk, rangeEnd);
        if (source.IsOpen())
            RunPartitionSearch(source, params, DiskPartitionTable[m_disk], listener);
    }

    // The counters hidden; a search the user started gives the buttons, the range controls and
    // the tree back.
    void GiveDrivePageBack()
    {
        CWnd* dialog = m_target.dialog;
        if (m_searchMode == kModeDeep && DiskPartitionTable[m_disk].partitionCount > 0)
            m_main.SelectFileSystemCombo(DiskPartitionTable[m_disk].fsName[0]);
        // Its counters mean nothing once it is over, also when a scan started it.
        ShowProgressControls(dialog, m_searchMode, SW_HIDE, m_automatic);
        if (m_automatic)
            return;
        if (m_searchMode == kModeBasic || m_searchMode == kModeDeep)
            m_main.EnableModeButtons();
        if (m_searchMode == kModeBasic) {
            for (int id : { kBasicBack, kBasicNext, kSearchMoreButton })
                EnableItem(dialog, id, TRUE);
            ShowItem(dialog, kStopButton, SW_HIDE);
            ShowItem(dialog, kSearchingText, SW_HIDE);
        }
        if (m_searchMode != kModeBasic && dialog != nullptr)
            m_main.ShowSectorRangeControls(SW_SHOW, dialog);
        // The tree was locked with the buttons while the search changed its items.
        if (m_target.tree != nullptr && m_target.tree->GetSafeHwnd() != nullptr)
            m_target.tree->EnableWindow(TRUE);
        // The other dialogs get their drive page back by themselves.
        if (DriveTreeTarget now; GetDriveTreeTarget(now) && now.endPartitionSearch != nullptr)
            now.endPartitionSearch(now.dialog);
    }

    // The disk's first partition (or the whole disk) selected, the count reported (unless
    // quietly), the counters reset and Search More Partitions offered again.
    void ShowResult()
    {
        if (DriveTreeTarget now; GetDriveTreeTarget(now)) {
            if (const HTREEITEM endDisk = SearchDiskItem(m_searchMode, now, true))
                SelectResult(m_main, now, endDisk, m_disk);
            if (IsStopped(&m_search.stop) && m_searchMode != kModeBasic)
                DeleteEmptyTopChild(*now.tree);
        }
        const int found = m_main.FoundPartitionCount.load();
        if (!m_search.quietEnd.load())
            AfxMessageBox(FormatPartitionSearchResult(m_disk, found, found != 0, L"Disk", CString()).GetString(),
                          MB_ICONINFORMATION);
        m_main.ResetScanCounters();
        if (DriveTreeTarget after; GetDriveTreeTarget(after) && after.dialog != nullptr) {
            ShowItem(after.dialog, kSearchMoreButton, SW_SHOW);
            EnableItem(after.dialog, kSearchMoreButton, TRUE);
            after.dialog->RedrawWindow();
        }
    }

private:
    SearchHost& m_main;
    const DiskPartitionSearch& m_search;
    const int m_disk;
    const int m_mode;       // kSearchStandard or kSearchAdvanced
    const int m_searchMode; // the search dialog's mode
    const bool m_automatic; // started by a scan's volume check
    DriveTreeTarget m_target;
    HTREEITEM m_diskItem = nullptr;
};

} // namespace

UINT SearchMorePartitionsThread(LPVOID param)
{
    SearchHost* main = static_cast<SearchHost*>(param);
    if (main == nullptr) {
        g_pPartitionSearchThread = nullptr;
        return 0;
    }
    main->PartitionSearchRunning = 1;
    main->PartitionSearchPending = 1;
    {
        PartitionSearchRun run(*main, TheDiskSearch());
        run.Search();
        run.GiveDrivePageBack();
        g_pPartitionSearchThread = nullptr;
        run.ShowResult();
    }
    main->PartitionSearchRunning = 0;
    main->PartitionSearchPending = 0;
    return 0;
}

bool StartPartitionSearchThread()
{
    SearchHost* host = GetSearchHost();
    if (host == nullptr || host->PartitionSearchRunning != 0)
        return false;
    static bool registered = false;
    if (!registered) {
        RegisterWorkerGlobal(&g_pPartitionSearchThread);
        registered = true;
    }
    DiskPartitionSearch& search = TheDiskSearch();
    if (search.lastThread != nullptr) {
        // Its search is over (the running word is 0); only its last instructions may remain.
        ZrWaitForThreadPumping(search.lastThread, INFINITE);
        delete search.lastThread;
        search.lastThread = nullptr;
    }
    search.stop = 0;
    search.quietEnd = false;
    host->PartitionSearchRunning = 1;
    host->PartitionSearchPending = 1;
    host->FoundPartitionCount = 0;
    search.lastThread = ZrBeginThreadInto(g_pPartitionSearchThread, SearchMorePartitionsThread, host);
    if (search.lastThread == nullptr) {
        host->PartitionSearchRunning = 0;
        host->PartitionSearchPending = 0;
        return false;
    }
    return true;
}

void ShowPartitionSearchResult(HTREEITEM disk, int diskNumber)
{
    DriveTreeTarget target;
    SearchHost* host = GetSearchHost();
    if (host != nullptr && disk != nullptr && GetDriveTreeTarget(target))
        SelectResult(*host, target, disk, diskNumber);
}

bool DeleteEmptyTopChild(CTreeCtrl& tree)
{
    const HTREEITEM top = tree.GetRootItem();
    for (HTREEITEM c = top != nullptr ? tree.GetChildItem(top) : nullptr; c != nullptr; c = tree.GetNextSiblingItem(c))
        if (tree.GetItemText(c).IsEmpty())
            return tree.DeleteItem(c) != FALSE;
    return false;
}

void StopPartitionSearch(bool quietly)
{
    DiskPartitionSearch& search = TheDiskSearch();
    if (quietly)
        search.quietEnd = true;
    search.stop = 1;
    if (CWinThread* thread = g_pPartitionSearchThread)
        thread->RequestStop();
}
