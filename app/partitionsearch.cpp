// The lost-partition search thread: runs the search over the selected disk, adds what it finds
// to the disk's item in green, and at its end selects a partition (or offers the whole disk) and
// reports the count. Stopping sets a flag the search polls; the thread always runs its end steps.
#include "app/devicetree.h"
#include "app/searchhost.h"
#include "app/treeclass.h"
#include "resource.h"
#include "storage/partitions.h"
#include "storage/pure/bootsector.h"
#include "storage/pure/partition_search.h"
#include "storage/pure/partition_table.h"
#include "storage/sectorreader.h"

std::atomic<int> SmpSelMode{ 0 };
TreeItemHandle PartitionSearchDiskItem = nullptr;
std::atomic<int> PartitionSearchUsesStoredItem{ 0 };
std::atomic<uint32_t> AutoSearchValidation{ 0 };
CWinThread* g_pPartitionSearchThread = nullptr;

namespace {

// The search dialogs' partition-search controls, by the ids Basic Search's template gives them
// (the other dialogs use the same ids for these controls).
constexpr int kBasicBack = IDC_BS_BACK, kBasicNext = IDC_BS_NEXT, kSearchMoreButton = IDC_BS_MORE_PARTITIONS;
constexpr int kSearchingText = IDC_BS_PS_LABEL, kStopButton = IDC_BS_STOP_PARTITIONS;
constexpr int kBasicProgressBar = IDC_BS_PS_PROGRESS, kRangeText = IDC_BS_OF_TOTAL;
// The sector the search reads shows in Basic and Deep Search's sector text, in the carving
// dialogs' position text.
constexpr int kCarvePositionText = IDC_PS_SECTORS_TEXT;

std::atomic<bool> g_stopSearch{ false };
// The search ends without its result box.
std::atomic<bool> g_quietSearchEnd{ false };
// The thread object of the search that ran last, deleted when the next one starts.
CWinThread* g_lastSearchThread = nullptr;

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
    SearchThreadListener(SearchHost& main, int mode, bool automatic, int searchMode, const DriveTreeTarget& target,
                         HTREEITEM disk, int diskNumber, uint64_t rangeEnd)
        : m_main(main), m_mode(mode), m_automatic(automatic), m_searchMode(searchMode), m_target(target), m_disk(disk),
          m_diskNumber(diskNumber), m_rangeEnd(rangeEnd)
    { }

    bool StopRequested() override
    {
        CWinThread* self = AfxGetThread();
        return g_stopSearch.load() || (self != nullptr && self->StopRequested());
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
            SelectedVolumeInfo.startSector = startSector;
            SelectedVolumeInfo.endSector = endSector;
            SelectedVolumeInfo.fsName = fsName;
            AutoSearchValidation = ValidateSelectedVolume();
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

} // namespace

UINT SearchMorePartitionsThread(LPVOID param)
{
    SearchHost* mainPtr = static_cast<SearchHost*>(param);
    if (mainPtr == nullptr) {
        g_pPartitionSearchThread = nullptr;
        return 0;
    }
    SearchHost& main = *mainPtr;
    main.PartitionSearchRunning = 1;
    main.PartitionSearchPending = 1;
    const int d = SelectedDiskNumber < kMaxDisks ? SelectedDiskNumber : 0;
    const int mode = SmpSelMode.load();
    const int searchMode = main.SearchMode.load();
    const bool automatic = AutoPartitionSearch == 1;

    DriveTreeTarget target;
    const bool haveTree = GetDriveTreeTarget(target);
    const HTREEITEM disk = haveTree ? SearchDiskItem(searchMode, target, false) : nullptr;
    const DriveInfoRecord* record = RecordOf(target, disk);

    if (!automatic && searchMode == kModeBasic) {
        EnableItem(target.dialog, kBasicBack, FALSE);
        EnableItem(target.dialog, kBasicNext, FALSE);
        EnableItem(target.dialog, kSearchMoreButton, FALSE);
    }
    ShowProgressControls(target.dialog, searchMode, SW_SHOW, automatic);

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
    const uint64_t rangeEnd = mode == kSearchStandard ? params.geometry.cylinders : params.totalSectors;
    CString range;
    range.Format(L" / %llu reading", rangeEnd);
    SetItemText(target.dialog, PositionTextId(searchMode), L"0");
    SetItemText(target.dialog, kRangeText, range);
    if (HWND bar = DialogItem(target.dialog, ProgressBarId(target)))
        main.SetProgressRange64(bar, 0, rangeEnd, mode == kSearchStandard ? 1 : int32_t(kSearchBlockSectors));

    {
        KeptHandleSectorSource source(PhysicalDrivePathTable[d]);
        SearchThreadListener listener(main, mode, automatic, searchMode, target, disk, d, rangeEnd);
        if (source.IsOpen())
            RunPartitionSearch(source, params, DiskPartitionTable[d], listener);
    }

    if (searchMode == kModeDeep && DiskPartitionTable[d].partitionCount > 0)
        main.SelectFileSystemCombo(DiskPartitionTable[d].fsName[0]);
    // Its counters mean nothing once it is over, also when a scan started it.
    ShowProgressControls(target.dialog, searchMode, SW_HIDE, automatic);
    if (!automatic) {
        if (searchMode == kModeBasic || searchMode == kModeDeep)
            main.EnableModeButtons();
        if (searchMode == kModeBasic) {
            EnableItem(target.dialog, kBasicBack, TRUE);
            EnableItem(target.dialog, kBasicNext, TRUE);
            EnableItem(target.dialog, kSearchMoreButton, TRUE);
            ShowItem(target.dialog, kStopButton, SW_HIDE);
            ShowItem(target.dialog, kSearchingText, SW_HIDE);
        }
        if (searchMode != kModeBasic && target.dialog != nullptr)
            main.ShowSectorRangeControls(SW_SHOW, target.dialog);
        // The tree was locked with the buttons while the search changed its items.
        if (target.tree != nullptr && target.tree->GetSafeHwnd() != nullptr)
            target.tree->EnableWindow(TRUE);
        // The other dialogs get their drive page back by themselves.
        if (DriveTreeTarget now; GetDriveTreeTarget(now) && now.endPartitionSearch != nullptr)
            now.endPartitionSearch(now.dialog);
    }
    g_pPartitionSearchThread = nullptr;

    DriveTreeTarget now;
    if (GetDriveTreeTarget(now)) {
        const HTREEITEM endDisk = SearchDiskItem(searchMode, now, true);
        if (endDisk != nullptr)
            SelectResult(main, now, endDisk, d);
        if (g_stopSearch.load() && searchMode != kModeBasic)
            DeleteEmptyTopChild(*now.tree);
    }
    const int found = main.FoundPartitionCount.load();
    if (!g_quietSearchEnd.load())
        AfxMessageBox(FormatPartitionSearchResult(d, found, found != 0, L"Disk", CString()).GetString(),
                      MB_ICONINFORMATION);
    main.ResetScanCounters();
    if (DriveTreeTarget after; GetDriveTreeTarget(after) && after.dialog != nullptr) {
        ShowItem(after.dialog, kSearchMoreButton, SW_SHOW);
        EnableItem(after.dialog, kSearchMoreButton, TRUE);
        after.dialog->RedrawWindow();
    }
    main.PartitionSearchRunning = 0;
    main.PartitionSearchPending = 0;
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
    if (g_lastSearchThread != nullptr) {
        // Its search is over (the running word is 0); only its last instructions may remain.
        ZrWaitForThreadPumping(g_lastSearchThread, INFINITE);
        delete g_lastSearchThread;
        g_lastSearchThread = nullptr;
    }
    g_stopSearch = false;
    g_quietSearchEnd = false;
    host->PartitionSearchRunning = 1;
    host->PartitionSearchPending = 1;
    host->FoundPartitionCount = 0;
    g_lastSearchThread = ZrBeginThreadInto(g_pPartitionSearchThread, SearchMorePartitionsThread, host);
    if (g_lastSearchThread == nullptr) {
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
    if (quietly)
        g_quietSearchEnd = true;
    g_stopSearch = true;
    if (CWinThread* thread = g_pPartitionSearchThread)
        thread->RequestStop();
}
