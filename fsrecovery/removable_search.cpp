// The removable-medium search of Basic and Deep Search (fsrecovery/removable_search.h).
// The worker only reads the medium; everything it shows goes through the dialog's thread (a sent
// message per partition, plain control messages for the progress), and the dialog's thread gives
// the controls back and reports once the worker has ended or was stopped.
#include <atomic>
#include <vector>

#include "fsrecovery/removable_search.h"

#include "app/searchhost.h"
#include "app/pure/tree_rules.h"
#include "app/startup.h"
#include "app/devicetree.h"
#include "storage/partition_table.h"
#include "storage/pure/bootsector.h"
#include "storage/pure/partition_search.h"
#include "storage/pure/partition_table.h"
#include "storage/sector_source.h"

namespace {

const wchar_t kRemovableMedia[] = L"Removable Media";

// A partition the worker found, handed to the dialog's thread with WM_ZR_REMOVABLE_FOUND.
struct FoundOnMedium {
    CString fsName;
    HTREEITEM medium;
    int disk;
};

// "\\.\PhysicalDrive%d": the number after the first "e", or -1 when there is none in range.
int DiskNumberOfDevicePath(const CString& path)
{
    const int e = path.Find(L'e');
    if (e < 0 || e + 1 >= path.GetLength() || path[e + 1] < L'0' || path[e + 1] > L'9')
        return -1;
    const int n = StrToInt32(path.Mid(e + 1).GetString());
    return n >= 0 && n < kMaxDisks ? n : -1;
}

// Reports the search's progress and hands each partition to the dialog's thread.
class MediumListener : public PartitionSearchListener {
public:
    MediumListener(const RemovableSearch& search, SearchHost& main, HWND dialog, const SearchDialogLayout& layout,
                   HTREEITEM medium, int disk, uint64_t cylinders)
        : m_search(search), m_main(main), m_dialog(dialog), m_medium(medium), m_disk(disk), m_cylinders(cylinders),
          m_count(layout.partitionCount), m_bar(layout.partitionProgress)
    { }

    bool StopRequested() override { return m_search.StopAsked(); }

    void Progress(uint64_t cylinder) override
    {
        CString text;
        text.Format(L"%llu", (unsigned long long)cylinder);
        ::SetDlgItemTextW(m_dialog, m_count, text.GetString());
        m_main.UpdateProgress(::GetDlgItem(m_dialog, m_bar), 0, m_cylinders, cylinder);
    }

    bool PartitionFound(int index, const CString& fsName, uint64_t startSector, uint64_t endSector) override
    {
        if (AutoPartitionSearch == 1) {
            // A scan waits for a volume to read: the first one found is it.
            KeepAutoSearchFind(fsName, startSector, endSector);
            return false;
        }
        ++m_main.FoundPartitionCount;
        FoundOnMedium found{ fsName, m_medium, m_disk };
        ::SendMessageW(m_dialog, WM_ZR_REMOVABLE_FOUND, WPARAM(index), LPARAM(&found));
        return true;
    }

private:
    const RemovableSearch& m_search;
    SearchHost& m_main;
    HWND m_dialog;
    HTREEITEM m_medium;
    int m_disk;
    uint64_t m_cylinders;
    int m_count, m_bar; // the search's sector text and progress bar
};

} // namespace

bool RemovableSearch::StopAsked() const
{
    CWinThread* self = AfxGetThread();
    return IsStopped(&m_stop) || (self != nullptr && self->StopRequested());
}

UINT RemovableSearch::WorkerProc(LPVOID param)
{
    RemovableSearch* search = static_cast<RemovableSearch*>(param);
    if (search != nullptr) {
        search->m_listing = 0;
        CTreeClass& tree = search->m_dialog.DriveTree();
        for (const smpparam& medium : search->m_media) {
            if (search->StopAsked())
                break;
            const HTREEITEM item = medium.diskItem;
            const HTREEITEM parent = item != nullptr ? tree.GetParentItem(item) : nullptr;
            if (parent == nullptr || tree.GetItemText(item).Find(kRemovableMedia) < 0 ||
                tree.GetItemText(parent) != L"Physical Drives")
                continue;
            search->m_listing = 1;
            if (SearchHost* host = search->m_dialog.Host())
                host->FoundPartitionCount = 0;
            search->SearchMediumPartitions(medium);
        }
    }
    if (search != nullptr) {
        if (search->m_driveTreeThread != nullptr)
            *search->m_driveTreeThread = nullptr;
        ::PostMessageW(search->m_dialog.GetSafeHwnd(), WM_ZR_REMOVABLE_ENDED, 0, 0);
    }
    return 0;
}

bool RemovableSearch::Start()
{
    CTreeClass& driveTree = m_dialog.DriveTree();
    if (m_worker.load() != nullptr || m_dialog.GetSafeHwnd() == nullptr || m_driveTreeThread == nullptr)
        return false;
    bool listed = false;
    for (HTREEITEM child = driveTree.GetChildItem(m_dialog.PhysicalDrivesItem()); child != nullptr && !listed;
         child = driveTree.GetNextSiblingItem(child))
        listed = driveTree.GetItemText(child).Find(kRemovableMedia) >= 0 && driveTree.GetChildItem(child) == nullptr;
    if (!listed)
        return false;
    RegisterWorkerGlobal(m_driveTreeThread);
    m_listing = 0;
    m_dialog.ShowPartitionSearchControls(true);
    // The search's progress stands where the sector range does until it ends.
    m_dialog.ShowSectorRangeControls(SW_HIDE);
    m_media = DiskSearchList;
    m_lastMedium = nullptr;
    m_lastDisk = -1;
    m_stop = 0;
    CWinThread* worker = ZrBeginThreadInto(*m_driveTreeThread, WorkerProc, this);
    if (worker == nullptr) {
        m_dialog.ShowPartitionSearchControls(false);
        return false;
    }
    m_worker = worker;
    return true;
}

void RemovableSearch::SearchMediumPartitions(const smpparam& medium)
{
    SearchHost* main = m_dialog.Host();
    const int disk = DiskNumberOfDevicePath(medium.devicePath);
    if (main == nullptr || disk < 0)
        return;
    main->PartitionSearchRunning = 1;
    m_lastMedium = medium.diskItem;
    m_lastDisk = disk;

    const SearchGeometry geometry = NormaliseSearchGeometry(medium.cylinders, medium.heads, medium.sectorsPerTrack);
    const HWND dialog = m_dialog.GetSafeHwnd();
    const SearchDialogLayout& layout = m_dialog.Layout();
    CString range;
    range.Format(L" / %llu reading", (unsigned long long)geometry.cylinders);
    ::SetDlgItemTextW(dialog, layout.partitionTotal, range.GetString());
    ::SetDlgItemTextW(dialog, layout.partitionCount, L"0");
    ::ShowWindow(::GetDlgItem(dialog, layout.partitionTotal), SW_SHOW);
    ::ShowWindow(::GetDlgItem(dialog, layout.partitionCount), SW_SHOW);
    main->SetProgressRange64(::GetDlgItem(dialog, layout.partitionProgress), 0, geometry.cylinders, 1);

    // A medium that cannot be opened has nothing to search; the end steps still run.
    KeptHandleSectorSource source(medium.devicePath);
    if (!source.IsOpen())
        return;
    PartitionSearchParams params;
    params.mode = kSearchStandard;
    params.geometry = geometry;
    MediumListener listener(*this, *main, dialog, layout, medium.diskItem, disk, geometry.cylinders);
    RunPartitionSearch(source, params, DiskPartitionTable[disk], listener);
}

LRESULT RemovableSearch::OnPartitionFound(WPARAM index, LPARAM param)
{
    const auto* found = reinterpret_cast<const FoundOnMedium*>(param);
    if (found == nullptr || found->disk < 0 || found->disk >= kMaxDisks || index >= WPARAM(kPartitionSlotCount))
        return 0;
    const HTREEITEM item = InsertDriveTreeItem(PartitionItemText(int(index), found->fsName), found->medium);
    DiskPartitionTable[found->disk].slot[index].treeItem = item;
    if (item == nullptr)
        return 0;
    m_dialog.DriveTree().SetItemColor(item, kFoundGreen);
    m_dialog.DriveTree().RedrawWindow();
    return 1;
}

void RemovableSearch::End(bool stop, bool report)
{
    CWinThread* worker = m_worker.exchange(nullptr);
    if (worker == nullptr)
        return;
    if (stop) {
        m_stop = 1;
        worker->RequestStop();
    }
    // The worker may be sending this thread a found partition: the wait keeps the messages going.
    ZrWaitForThreadPumping(worker, INFINITE);
    delete worker;
    if (m_driveTreeThread != nullptr)
        *m_driveTreeThread = nullptr;
    m_listing = 0;
    SearchHost* main = m_dialog.Host();
    if (main != nullptr)
        main->PartitionSearchRunning = 0;
    if (m_dialog.GetSafeHwnd() == nullptr)
        return;
    m_dialog.ShowPartitionSearchControls(false);
    if (!report || main == nullptr || m_lastMedium == nullptr)
        return;

    // What was found (all of it when stopped): the medium's first partition, or the whole medium
    // as one, and the count.
    const int disk = m_lastDisk;
    ShowPartitionSearchResult(m_lastMedium, disk);
    const int found = main->FoundPartitionCount.load();
    main->ResetScanCounters();
    m_dialog.RedrawWindow();
    if (CommandLineLogPath.IsEmpty())
        AfxMessageBox(FormatPartitionSearchResult(disk, found, found != 0, L"Disk", CString()).GetString(),
                      MB_ICONINFORMATION);
}

void RemovableSearch::OnStopSearchingPartitions()
{
    if (DriveTreeBuilding != 0)
        return;
    const bool searchingDisk = g_pPartitionSearchThread != nullptr && m_listing == 0;
    const bool searchingMedium = MediumListing();
    if (!searchingDisk && !searchingMedium)
        return;
    if (!m_dialog.AskToStopPartitionSearch())
        return;
    if (searchingDisk) {
        m_dialog.StopDiskPartitionSearch();
        return;
    }
    End(true, true);
}
