#include "fsrecovery/folderlist.h"

#include <memory>
#include <unordered_map>
#include <vector>

#include "app/maindlg.h"
#include "app/pure/descriptions.h"
#include "app/pure/textservices.h"
#include "app/sortclass.h"
#include "app/treeclass.h"
#include "fsrecovery/fsglobals.h"
#include "fsrecovery/pure/folder_listing.h"
#include "fsrecovery/pure/result_tree.h"
#include "storage/fsstructs.h"
#include "storage/pure/globals.h"
#include "storage/pure/ntfs_record.h"
#include "storage/sectorreader.h"

namespace {

constexpr int kBasicStatusId = 1174;
constexpr int kDeepStatusId = 1175;
constexpr uint32_t kMftRecordBytes = 1024;

bool InDeepSearch()
{
    return g_pMainDlg && g_pMainDlg->SearchMode.load() == kModeDeep;
}

// The file list shows the system's icons; the image list stays alive as long as the listing
// keeps this user. Rows are handed to the list's own thread in batches with its drawing held
// back: a cross-thread message per cell and a redraw per row made a listing cost milliseconds
// per file.
class FileListWriter {
public:
    FileListWriter(CListCtrl* list, uint64_t firstIndex) : m_list(list), m_index(firstIndex)
    {
        if (m_list && m_list->GetSafeHwnd() && CSystemImageList::GetSmallList())
            m_list->SetImageList(CSystemImageList::GetSmallList(), LVSIL_SMALL);
    }
    ~FileListWriter() { Flush(); }

    // Cells 2 to 9 of one file (empty ones are left empty).
    void Add(const CString& name, const CString (&cells)[10])
    {
        ++FoundFileCount;
        if (m_list && m_list->GetSafeHwnd()) {
            Row row{ name, m_icons.GetIconIndex(name, FALSE, TRUE), (int)m_index, {} };
            row.cells[1] = GetFileTypeDescription(FileNameExtension(name));
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
        if (!m_rows.empty()) {
            ZrRunOnWindowThread(m_list, [this] {
                m_list->SetRedraw(FALSE);
                for (const Row& r : m_rows) {
                    const int row = m_list->InsertItem(r.index, r.name, r.icon);
                    if (row < 0)
                        continue;
                    for (int column = 1; column < 10; ++column) {
                        if (!r.cells[column].IsEmpty())
                            m_list->SetItemText(row, column, r.cells[column]);
                    }
                }
                m_list->SetRedraw(TRUE);
                m_list->Invalidate();
            });
            m_rows.clear();
        }
        ShowFolderCountText();
    }

private:
    static constexpr size_t kBatchRows = 200;
    struct Row {
        CString name;
        int icon;
        int index;
        CString cells[10];
    };
    CListCtrl* m_list;
    uint64_t m_index;
    CSystemImageList m_icons;
    std::vector<Row> m_rows;
};

CString Decimal(uint64_t value)
{
    CString text;
    text.Format(L"%llu", (unsigned long long)value);
    return text;
}

uint64_t CellNumber(const ZrRecordTable& table, int row, int column)
{
    return table.GetItemNumber(row, column, ZrRecordTable::SortKey::Decimal);
}

// The directory sectors of a FAT folder: the clusters of its chain, or (FAT16 root) a run of
// sectors. Bounded by the chain walker and by the root's sector count.
struct DirectoryRegion {
    std::vector<uint32_t> clusters;
    uint64_t rootFirst = 0;
    uint32_t rootSectors = 0;
    bool fixedRoot = false;
    bool fat32 = false;
};

bool DirectoryRegionOf(uint64_t folderCluster, DirectoryRegion& region)
{
    const CString type = FatVolumeParams.partitionType;
    region.fat32 = type == L"FAT32";
    if (folderCluster == 0 && type == L"FAT16") {
        region.fixedRoot = true;
        region.rootFirst = FatVolumeParams.rootStart;
        region.rootSectors = FatVolumeParams.rootDirSectors;
        return true;
    }
    uint32_t start = (uint32_t)folderCluster;
    if (folderCluster == 0) {
        if (!region.fat32 || FatVolumeParams.rootStart == 0)
            return false;
        start = FatVolumeParams.rootStart;
    }
    if (FatVolumeParams.sectorsPerCluster == 0)
        return false;
    ClusterChain.clear();
    BuildFatClusterChainDeep(start);
    region.clusters = ClusterChain;
    ClusterChain.clear();
    return !region.clusters.empty();
}

// Calls `sector` with each directory sector number in order until it answers false.
template <typename SectorFn>
void ForEachDirectorySector(const DirectoryRegion& region, uint64_t cluster0Start, SectorFn sector)
{
    if (region.fixedRoot) {
        for (uint32_t j = 0; j < region.rootSectors && StopFolderRead != 1; ++j) {
            if (!sector(region.rootFirst + j))
                return;
        }
        return;
    }
    const uint64_t perCluster = FatVolumeParams.sectorsPerCluster;
    for (uint32_t cluster : region.clusters) {
        if (cluster == 0)
            continue;
        for (uint64_t j = 0; j < perCluster; ++j) {
            if (StopFolderRead == 1 || !sector((uint64_t)cluster * perCluster + cluster0Start + j))
                return;
        }
    }
}

// The long-name assembly asks for "the sector before" a directory sector when a name begins
// there. That is the sector before it in the folder's own order: with small clusters the
// previous cluster of the chain may lie anywhere on the volume.
class DirectoryOrderSource : public SectorSource {
public:
    explicit DirectoryOrderSource(SectorSource& device) : m_device(device) { }
    // The directory sector about to be listed; the ones before it stay reachable.
    void MoveTo(uint64_t sector)
    {
        if (m_seen > 0) {
            for (size_t i = kKept - 1; i > 0; --i)
                m_before[i] = m_before[i - 1];
            m_before[0] = m_current;
        }
        m_current = sector;
        m_seen = m_seen < kKept + 1 ? m_seen + 1 : m_seen;
    }
    size_t Read(uint64_t sector, uint32_t count, uint8_t* buf) override
    {
        const uint64_t back = m_current - sector;
        if (count != 1 || sector >= m_current || back >= m_seen) {
            BeginSectorRead(count, buf);
            return 0;
        }
        return m_device.Read(m_before[back - 1], 1, buf);
    }

private:
    // A long name spans at most 20 entries: 640 bytes, so two sectors back at most.
    static constexpr size_t kKept = 2;
    SectorSource& m_device;
    uint64_t m_before[kKept] = {};
    uint64_t m_current = 0;
    size_t m_seen = 0;
};

} // namespace

CString FolderCountText()
{
    CString text;
    text.Format(L"%llu Folders, %llu Files", (unsigned long long)FoundFolderCount, (unsigned long long)FoundFileCount);
    return text;
}

void ShowFolderCountText()
{
    if (!g_pMainDlg)
        return;
    const int mode = g_pMainDlg->SearchMode.load();
    CDialog* dialog = mode == kModeBasic ? g_pBasicSearchDlg : mode == kModeDeep ? g_pDeepSearchDlg : nullptr;
    if (dialog && dialog->GetSafeHwnd())
        ::SetDlgItemTextW(dialog->GetSafeHwnd(), mode == kModeBasic ? kBasicStatusId : kDeepStatusId,
                          FolderCountText());
}

void FillFileListNtfsFrom(ZrRecordTable& table, CListCtrl* list, uint64_t firstIndex, uint64_t folderRecord)
{
    FileListWriter writer(list, firstIndex);
    if (table.GetItemCount() > 0)
        FilesListedFlag = 1;
    std::unique_ptr<KeptHandleSectorSource> device;
    for (int row = 0; row < table.GetItemCount() && StopFolderRead != 1; ++row) {
        uint64_t parent = 0, sector = 0;
        if (!ParseNtfsFileKey(table.GetItemText(row, 0), parent, sector) || parent != folderRecord)
            continue;
        CString name = table.GetItemText(row, 1);
        uint64_t size = 0, stamp = 0;
        if (!name.IsEmpty() && !table.GetItemText(row, 2).IsEmpty()) {
            size = CellNumber(table, row, 2);
            stamp = CellNumber(table, row, 3);
        } else {
            if (!device)
                device.reset(new KeptHandleSectorSource(CurrentDevicePath));
            if (!device->IsOpen())
                break;
            uint8_t record[kMftRecordBytes];
            if (device->Read(sector, kMftRecordBytes / 512, record) != kMftRecordBytes ||
                !ApplyNtfsFixup(record, sizeof record))
                continue;
            const NtfsFileInfo info = ReadNtfsFileInfo(record, &StopFolderRead);
            if (StopFolderRead == 1)
                break;
            if (name.IsEmpty()) {
                name = info.name;
                stamp = info.fileTime;
            }
            size = info.size;
            if (!name.IsEmpty())
                table.SetItemText(row, 1, name);
            if (stamp > 0)
                table.SetItemText(row, 3, Decimal(stamp));
            else
                stamp = CellNumber(table, row, 3);
            table.SetItemText(row, 2, Decimal(size));
        }
        if (name.IsEmpty())
            continue;
        CString cells[10];
        cells[2] = Decimal(size);
        FormatFileTime(stamp, cells[3], cells[4]);
        cells[5] = Decimal(sector);
        cells[6] = Decimal(parent);
        cells[7] = L"0";
        writer.Add(name, cells);
    }
    ShowFolderCountText();
}

void FillFileListNtfs(CListCtrl* list, uint64_t firstIndex, uint64_t folderRecord)
{
    if (g_pMainDlg)
        FillFileListNtfsFrom(g_pMainDlg->NtfsFileTable, list, firstIndex, folderRecord);
}

void FillFileListFat(CListCtrl* list, uint64_t firstIndex, uint64_t folderCluster, uint32_t /*deleted*/,
                     int32_t partitionIndex)
{
    DirectoryRegion region;
    if (!DirectoryRegionOf(folderCluster, region))
        return;
    const bool deepFat = InDeepSearch() && SelectedVolumeInfo.fsName != L"NTFS";
    const uint64_t base = deepFat ? (uint64_t)CurrentFolderCluster0Start : FatVolumeParams.cluster0Start;
    // Deep Search shows the volume's number beside the files of its own root.
    bool showPartition = false;
    if (deepFat && !region.fixedRoot && ActiveTree && ActiveTree->GetSafeHwnd()) {
        const HTREEITEM first = ActiveTree->GetRootItem();
        showPartition = first && SelectedTreeItem == first && ActiveTree->GetItemText(first) == L"Root";
    }

    FileListWriter writer(list, firstIndex);
    KeptHandleSectorSource device(CurrentDevicePath);
    auto listEntry = [&](const FatListedEntry& listed) {
        FilesListedFlag = 1;
        CString cells[10];
        cells[2].Format(L"%lu", (unsigned long)listed.entry.size);
        cells[3] = FormatFatDate(listed.entry.date);
        cells[4] = FormatFatTime(listed.entry.time);
        cells[5].Format(L"%lu", (unsigned long)listed.firstCluster);
        cells[8] = listed.shortName;
        cells[8].Trim();
        if (showPartition)
            cells[9].Format(L"%d", partitionIndex);
        writer.Add(listed.name, cells);
    };
    uint8_t buffer[512];
    DirectoryOrderSource ordered(device);
    ForEachDirectorySector(region, base, [&](uint64_t sector) {
        ordered.MoveTo(sector);
        if (device.Read(sector, 1, buffer) == 0)
            return true;
        const bool more =
            ListFatDirectorySector(&ordered, buffer, sector, region.fat32, false, &StopFolderRead, listEntry);
        // In the fixed FAT16 root an end mark ends only its own sector.
        return more || region.fixedRoot;
    });
    ShowFolderCountText();
}

namespace {

// The folder records by parent, own id and cluster-0 start. Naming a folder's sub-folders looks
// each directory entry up here: walking the whole record list per entry made naming every folder
// of a large volume cost entries times folders.
class ChildFolderIndex {
public:
    FolderNode* Find(uint32_t parentId, uint32_t ownId, uint64_t cluster0Start)
    {
        if (m_version != FolderNodeList.version || m_count != FolderNodeList.count) {
            m_nodes.clear();
            // The first record of a key wins, as a walk in creation order would find it.
            for (FolderNode* node = FolderNodeList.head; node; node = node->next)
                m_nodes.emplace(Key{ node->parentId, node->ownId, node->cluster0Start }, node);
            m_version = FolderNodeList.version;
            m_count = FolderNodeList.count;
        }
        auto found = m_nodes.find(Key{ parentId, ownId, cluster0Start });
        return found == m_nodes.end() ? nullptr : found->second;
    }

private:
    struct Key {
        uint32_t parentId, ownId;
        uint64_t cluster0Start;
        bool operator==(const Key& o) const
        {
            return parentId == o.parentId && ownId == o.ownId && cluster0Start == o.cluster0Start;
        }
    };
    struct KeyHash {
        size_t operator()(const Key& k) const
        {
            return std::hash<uint64_t>()((uint64_t(k.parentId) << 32 | k.ownId) * 0x9E3779B97F4A7C15ull ^
                                         k.cluster0Start);
        }
    };
    std::unordered_map<Key, FolderNode*, KeyHash> m_nodes;
    uint64_t m_version = 0;
    uint64_t m_count = 0;
};

ChildFolderIndex& ChildFolders()
{
    // Only the thread that builds or expands the results tree names folders.
    static ChildFolderIndex index;
    return index;
}

// Names the sub-folders of `item` found in one directory sector; `before` answers the long-name
// assembly's reads of the sectors before it.
// (`cluster0Start` is that of the folder's record; 0 for the root, which has none.)
int ExpandFolderSector(SectorSource& device, SectorSource& before, uint64_t sector, uint32_t folderCluster,
                       uint64_t cluster0Start, CTreeClass* tree)
{
    uint8_t buffer[512];
    if (device.Read(sector, 1, buffer) == 0)
        return 1;
    const bool fat32 = FatVolumeParams.partitionType == L"FAT32";
    const bool more = ListFatDirectorySector(
        &before, buffer, sector, fat32, true, &StopFolderRead, [&](const FatListedEntry& listed) {
            FolderNode* node = ChildFolders().Find(folderCluster, listed.firstCluster, cluster0Start);
            if (node == nullptr)
                return;
            tree->SetItemText(node->item, listed.name);
            node->name = listed.name;
            if (!listed.deleted)
                node->deleted = 0;
        });
    return more ? 1 : 0;
}

} // namespace

int ExpandFolderNode(uint64_t sector, uint32_t folderCluster, HTREEITEM item, CTreeClass* tree)
{
    if (!tree || !tree->GetSafeHwnd())
        return 1;
    const FolderNode* folder = (const FolderNode*)tree->GetItemData(item);
    DeviceSectorSource device(CurrentDevicePath);
    return ExpandFolderSector(device, device, sector, folderCluster, folder ? folder->cluster0Start : 0, tree);
}

bool ExpandFatFolder(CTreeClass* tree, HTREEITEM item)
{
    if (!tree || !tree->GetSafeHwnd() || !item)
        return false;
    // The root item carries no FolderNode: it stands for the root directory (cluster 0).
    FolderNode* folder = (FolderNode*)tree->GetItemData(item);
    const uint32_t ownId = folder ? folder->ownId : 0;
    StopFolderRead = 0;
    DirectoryRegion region;
    if (!DirectoryRegionOf(ownId, region))
        return false;
    const uint64_t base =
        InDeepSearch() && folder && folder->cluster0Start != 0 ? folder->cluster0Start : FatVolumeParams.cluster0Start;
    // One handle for the whole folder, and long names read back along the folder's own chain.
    KeptHandleSectorSource device(CurrentDevicePath);
    DirectoryOrderSource ordered(device);
    ForEachDirectorySector(region, base, [&](uint64_t sector) {
        ordered.MoveTo(sector);
        return ExpandFolderSector(device, ordered, sector, ownId, folder ? folder->cluster0Start : 0, tree) != 0 ||
            region.fixedRoot;
    });
    if (StopFolderRead == 1)
        return false;
    if (folder)
        folder->expanded = 1;
    return true;
}
