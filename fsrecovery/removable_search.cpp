// Basic and Deep Search on removable media: while the drive page is up, the drive-tree worker searches
// each removable medium that "Physical Drives" lists without partitions for FAT16, FAT32 and
// NTFS boot sectors, cylinder by cylinder, and adds what it finds in green under the medium.
// The worker only reads the medium; everything it shows goes through the dialog's thread (a sent
// message per partition, plain control messages for the progress), and the dialog's thread gives
// the controls back and reports once the worker has ended or was stopped.
#include <atomic>
#include <vector>

#include "app/searchhost.h"
#include "fsrecovery/fssession.h"
#include "app/pure/tree_rules.h"
#include "app/startup.h"
#include "app/devicetree.h"
#include "storage/partitions.h"
#include "storage/pure/bootsector.h"
#include "storage/pure/partition_search.h"
#include "storage/pure/partition_table.h"
#include "storage/sectorreader.h"

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
    MediumListener(CFsSearchSession& search, SearchHost& main, HWND dialog, HTREEITEM medium, int disk,
                   uint64_t cylinders)
        : m_search(search), m_main(main), m_dialog(dialog), m_medium(medium), m_disk(disk), m_cylinders(cylinders),
          m_count(search.Layout().partitionCount), m_bar(search.Layout().partitionProgress)
    { }

    bool StopRequested() override { return m_search.RemovableStopAsked(); }

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
            SelectedVolumeInfo.startSector = startSector;
            SelectedVolumeInfo.endSector = endSector;
            SelectedVolumeInfo.fsName = fsName;
            AutoSearchValidation = ValidateSelectedVolume();
            return false;
        }
        ++m_main.FoundPartitionCount;
        FoundOnMedium found{ fsName, m_medium, m_disk };
        ::SendMessageW(m_dialog, WM_ZR_REMOVABLE_FOUND, WPARAM(index), LPARAM(&found));
        return true;
    }

private:
    CFsSearchSession& m_search;
    SearchHost& m_main;
    HWND m_dialog;
    HTREEITEM m_medium;
    int m_disk;
    uint64_t m_cylinders;
    int m_count, m_bar; // the search's sector text and progress bar
};

} // namespace

bool CFsSearchSession::RemovableStopAsked() const
{
    CWinThread* self = AfxGetThread();
    return m_removableStop.load() || (self != nullptr && self->StopRequested());
}

UINT RemovableMediaThreadProc(LPVOID param)
{
    CFsSearchSession* dlg = static_cast<CFsSearchSession*>(param);
    if (dlg != nullptr) {
        dlg->m_removableListing = 0;
        CTreeClass& tree = dlg->DriveTree();
        for (const smpparam& medium : dlg->m_removable.media) {
            if (dlg->RemovableStopAsked())
                break;
            const HTREEITEM item = medium.diskItem;
            const HTREEITEM parent = item != nullptr ? tree.GetParentItem(item) : nullptr;
            if (parent == nullptr || tree.GetItemText(item).Find(kRemovableMedia) < 0 ||
                tree.GetItemText(parent) != L"Physical Drives")
                continue;
            dlg->m_removableListing = 1;
            if (SearchHost* host = dlg->Host())
                host->FoundPartitionCount = 0;
            dlg->SearchRemovableMediumPartitions(medium);
        }
    }
    if (dlg != nullptr) {
        if (dlg->m_fsLayout.driveTreeThread != nullptr)
            *dlg->m_fsLayout.driveTreeThread = nullptr;
        ::PostMessageW(dlg->GetSafeHwnd(), WM_ZR_REMOVABLE_ENDED, 0, 0);
    }
    return 0;
}

bool CFsSearchSession::StartRemovableMediaSearch()
{
    if (m_removableWorker.load() != nullptr || GetSafeHwnd() == nullptr || m_fsLayout.driveTreeThread == nullptr)
        return false;
    bool listed = false;
    for (HTREEITEM child = m_driveTree.GetChildItem(m_physicalRoot); child != nullptr && !listed;
         child = m_driveTree.GetNextSiblingItem(child))
        listed =
            m_driveTree.GetItemText(child).Find(kRemovableMedia) >= 0 && m_driveTree.GetChildItem(child) == nullptr;
    if (!listed)
        return false;
    RegisterWorkerGlobal(m_fsLayout.driveTreeThread);
    m_removableListing = 0;
    ShowPartitionSearchControls(true);
    // The search's progress stands where the sector range does until it ends.
    ShowSectorRangeControls(SW_HIDE);
    m_removable = RemovableSearch{ DiskSearchList, nullptr, -1 };
    m_removableStop = false;
    CWinThread* worker = ZrBeginThreadInto(*m_fsLayout.driveTreeThread, RemovableMediaThreadProc, this);
    if (worker == nullptr) {
        ShowPartitionSearchControls(false);
        return false;
    }
    m_removableWorker = worker;
    return true;
}

void CFsSearchSession::SearchRemovableMediumPartitions(const smpparam& medium)
{
    SearchHost* main = Host();
    const int disk = DiskNumberOfDevicePath(medium.devicePath);
    if (main == nullptr || disk < 0)
        return;
    main->PartitionSearchRunning = 1;
    m_removable.lastMedium = medium.diskItem;
    m_removable.lastDisk = disk;

    const SearchGeometry geometry = NormaliseSearchGeometry(medium.cylinders, medium.heads, medium.sectorsPerTrack);
    const HWND dialog = GetSafeHwnd();
    const SearchDialogLayout& layout = Layout();
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
    MediumListener listener(*this, *main, dialog, medium.diskItem, disk, geometry.cylinders);
    RunPartitionSearch(source, params, DiskPartitionTable[disk], listener);
}

LRESULT CFsSearchSession::OnRemovablePartitionFound(WPARAM index, LPARAM param)
{
    const auto* found = reinterpret_cast<const FoundOnMedium*>(param);
    if (found == nullptr || found->disk < 0 || found->disk >= kMaxDisks || index >= WPARAM(kPartitionSlotCount))
        return 0;
    const HTREEITEM item = InsertDriveTreeItem(PartitionItemText(int(index), found->fsName), found->medium);
    DiskPartitionTable[found->disk].slot[index].treeItem = item;
    if (item == nullptr)
        return 0;
    m_driveTree.SetItemColor(item, kFoundGreen);
    m_driveTree.RedrawWindow();
    return 1;
}

LRESULT CFsSearchSession::OnRemovableSearchEnded(WPARAM, LPARAM)
{
    EndRemovableSearch(false, true);
    return 0;
}

void CFsSearchSession::EndRemovableSearch(bool stop, bool report)
{
    CWinThread* worker = m_removableWorker.exchange(nullptr);
    if (worker == nullptr)
        return;
    if (stop) {
        m_removableStop = true;
        worker->RequestStop();
    }
    // The worker may be sending this thread a found partition: the wait keeps the messages going.
    ZrWaitForThreadPumping(worker, INFINITE);
    delete worker;
    if (m_fsLayout.driveTreeThread != nullptr)
        *m_fsLayout.driveTreeThread = nullptr;
    m_removableListing = 0;
    SearchHost* main = Host();
    if (main != nullptr)
        main->PartitionSearchRunning = 0;
    if (GetSafeHwnd() == nullptr)
        return;
    ShowPartitionSearchControls(false);
    if (!report || main == nullptr || m_removable.lastMedium == nullptr)
        return;

    // What was found (all of it when stopped): the medium's first partition, or the whole medium
    // as one, and the count.
    const int disk = m_removable.lastDisk;
    ShowPartitionSearchResult(m_removable.lastMedium, disk);
    const int found = main->FoundPartitionCount.load();
    main->ResetScanCounters();
    RedrawWindow();
    if (CommandLineLogPath.IsEmpty())
        AfxMessageBox(FormatPartitionSearchResult(disk, found, found != 0, L"Disk", CString()).GetString(),
                      MB_ICONINFORMATION);
}

void CFsSearchSession::OnBnClickedStopSearchingPartitions()
{
    if (DriveTreeBuilding != 0)
        return;
    const bool searchingDisk = g_pPartitionSearchThread != nullptr && m_removableListing == 0;
    const bool searchingMedium = RemovableMediumListing();
    if (!searchingDisk && !searchingMedium)
        return;
    if (!AskToStopPartitionSearch())
        return;
    if (searchingDisk) {
        StopDiskPartitionSearch();
        return;
    }
    EndRemovableSearch(true, true);
}
