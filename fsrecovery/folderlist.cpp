#include "fsrecovery/folderlist.h"

#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/treeclass.h"
#include "fsrecovery/pure/result_tree.h"
#include "storage/sector_source.h"

namespace {

// The folder records by parent, own id and cluster-0 start. Naming a folder's sub-folders looks
// each directory entry up here: walking the whole record list per entry made naming every folder
// of a large volume cost entries times folders.
class ChildFolderIndex {
public:
    FolderNode* Find(const FolderNodeListRecord& list, uint32_t parentId, uint32_t ownId, uint64_t cluster0Start)
    {
        if (m_version != list.version || m_count != list.count) {
            m_nodes.clear();
            // The first record of a key wins, as a walk in creation order would find it.
            for (FolderNode* node = list.head; node; node = node->next)
                m_nodes.emplace(FatChildKey{ node->parentId, node->ownId, node->cluster0Start }, node);
            m_version = list.version;
            m_count = list.count;
        }
        auto found = m_nodes.find(FatChildKey{ parentId, ownId, cluster0Start });
        return found == m_nodes.end() ? nullptr : found->second;
    }

private:
    std::unordered_map<FatChildKey, FolderNode*, FatChildKeyHash> m_nodes;
    uint64_t m_version = 0;
    uint64_t m_count = 0;
};

ChildFolderIndex& ChildFolders()
{
    // Only the thread that builds or expands the results tree names folders.
    static ChildFolderIndex index;
    return index;
}

// One device handle per volume's device for all the folders read from it.
class VolumeDevices {
public:
    SectorSource& Device(const FoundVolume& volume)
    {
        for (const auto& [path, device] : m_devices) {
            if (path == volume.devicePath)
                return *device;
        }
        m_devices.emplace_back(volume.devicePath, std::make_unique<KeptHandleSectorSource>(volume.devicePath));
        return *m_devices.back().second;
    }

private:
    std::vector<std::pair<CString, std::unique_ptr<KeptHandleSectorSource>>> m_devices;
};

// What naming folders needs beside the tree: the renames gathered on the reading thread and made
// on the tree's thread in batches (one call to that thread per batch: a call per folder had the
// reading thread wait on the dialog's), and one device handle per volume for all its folders.
class FolderNaming {
public:
    explicit FolderNaming(CTreeClass* tree) : m_tree(tree) { }
    const FolderNodeListRecord& Folders() const { return m_tree->Folders.FolderNodeList; }
    ~FolderNaming() { Flush(); }
    FolderNaming(const FolderNaming&) = delete;
    FolderNaming& operator=(const FolderNaming&) = delete;

    SectorSource& Device(const FoundVolume& volume) { return m_devices.Device(volume); }
    void Rename(TreeItemHandle item, const CString& name)
    {
        m_renames.push_back({ item, name });
        if (m_renames.size() >= kBatch)
            Flush();
    }
    void Flush()
    {
        if (m_renames.empty())
            return;
        auto apply = [this] {
            for (const auto& [item, name] : m_renames)
                m_tree->SetItemText((HTREEITEM)item, name);
        };
        if (!ZrRunOnWindowThread(m_tree, apply))
            apply();
        m_renames.clear();
    }

private:
    static constexpr size_t kBatch = 1024;
    CTreeClass* m_tree;
    std::vector<std::pair<TreeItemHandle, CString>> m_renames;
    VolumeDevices m_devices;
};

// Names the subfolders of `folderCluster` on `volume` that its directory lists (their records
// carry cluster0Start); false when the read was stopped.
bool NameSubfolders(const FoundVolume& volume, uint32_t folderCluster, uint64_t cluster0Start, FolderNaming& naming,
                    const StopFlag* stop)
{
    ForEachFatDirectoryEntry(naming.Device(volume), volume, folderCluster, true, stop,
                             [&](const FatListedEntry& listed) {
                                 FolderNode* node = ChildFolders().Find(naming.Folders(), folderCluster,
                                                                        listed.firstCluster, cluster0Start);
                                 if (node == nullptr)
                                     return;
                                 naming.Rename(node->item, listed.name);
                                 node->name = listed.name;
                                 if (!listed.deleted)
                                     node->deleted = 0;
                             });
    return !IsStopped(stop);
}

// The root's subfolders (every FAT volume's root directory) when `folder` is null, else the
// subfolders of that folder, which is marked read when the read was not stopped.
bool NameFolder(const FoundStore& store, FolderNode* folder, FolderNaming& naming, const StopFlag* stop)
{
    if (folder == nullptr) {
        for (uint32_t v = 0; v < store.VolumeCount(); ++v) {
            const FoundVolume& root = store.Volume(v);
            if (IsFat(root.kind) && !NameSubfolders(root, 0, root.params.cluster0Start, naming, stop))
                return false;
        }
        return true;
    }
    const uint32_t volume = store.VolumeOfCluster0(folder->cluster0Start);
    if (volume == FoundStore::kNoVolume || !IsFat(store.KindOfVolume(volume)))
        return false;
    if (!NameSubfolders(store.Volume(volume), folder->ownId, folder->cluster0Start, naming, stop))
        return false;
    folder->expanded = 1;
    return true;
}

} // namespace

void ListVolumeFolderFiles(FoundStore& store, uint32_t volume, uint64_t folderId, const StopFlag* stop, FileSink& sink,
                           int volumeColumn)
{
    if (volume >= store.VolumeCount())
        return;
    const FoundVolume& where = store.Volume(volume);
    // The device is opened at the first read: a folder whose files are all known reads nothing.
    class OpenedWhenRead : public SectorSource {
    public:
        explicit OpenedWhenRead(const CString& path) : m_path(path) { }
        size_t Read(uint64_t sector, uint32_t count, uint8_t* buf) override
        {
            if (!m_device)
                m_device = std::make_unique<KeptHandleSectorSource>(m_path);
            return m_device->Read(sector, count, buf);
        }

    private:
        CString m_path;
        std::unique_ptr<KeptHandleSectorSource> m_device;
    } device(where.devicePath);
    if (where.kind == FsKind::Ntfs)
        ListNtfsFilesFrom(store, volume, folderId, device, stop, sink);
    else if (IsFat(where.kind))
        ListFatFilesFrom(store, volume, folderId, device, stop, sink, volumeColumn);
}

bool ExpandFatFolder(const FoundStore& store, CTreeClass* tree, HTREEITEM item, const StopFlag* stop)
{
    if (!tree || !tree->GetSafeHwnd() || !item)
        return false;
    // The root item carries no FolderNode: it stands for the root directory of every volume.
    FolderNaming naming(tree);
    return NameFolder(store, (FolderNode*)tree->GetItemData(item), naming, stop);
}

const FatFolderNames::Entry* FatFolderNames::Find(uint64_t cluster0Start, uint32_t parentId, uint32_t ownId) const
{
    const auto found = m_names.find(FatChildKey{ parentId, ownId, cluster0Start });
    return found == m_names.end() || found->second.taken ? nullptr : &found->second;
}

void FatFolderNames::Take(uint64_t cluster0Start, uint32_t parentId, uint32_t ownId)
{
    const auto found = m_names.find(FatChildKey{ parentId, ownId, cluster0Start });
    if (found != m_names.end())
        found->second.taken = true;
}

bool FatFolderNames::WasRead(uint64_t cluster0Start, uint32_t folder) const
{
    return m_read.count(FolderKey{ folder, cluster0Start }) != 0;
}

void FatFolderNames::Read(FoundStore& store, const StopFlag* stop)
{
    VolumeDevices devices;
    // Reads one directory once; false when stopped.
    auto readFolder = [&](uint32_t volume, uint32_t folder) {
        const FoundVolume& where = store.Volume(volume);
        const uint64_t cluster0Start = where.params.cluster0Start;
        if (m_read.count(FolderKey{ folder, cluster0Start }) != 0)
            return true;
        ForEachFatDirectoryEntry(devices.Device(where), where, folder, true, stop, [&](const FatListedEntry& listed) {
            Entry& entry = m_names[FatChildKey{ folder, listed.firstCluster, cluster0Start }];
            entry.name = listed.name;
            entry.live = entry.live || !listed.deleted;
        });
        if (IsStopped(stop))
            return false;
        m_read.insert(FolderKey{ folder, cluster0Start });
        return true;
    };
    // Every FAT volume's root directory first.
    for (uint32_t v = 0; v < store.VolumeCount(); ++v) {
        if (IsFat(store.Volume(v).kind) && !readFolder(v, 0))
            return;
    }
    // Then the folders as the tree will hold them: each volume's top folders, their subfolders
    // breadth first, then what hangs from no found parent. The volume of a folder is the one its
    // cluster-0 start names, as expanding it later would find.
    std::unordered_set<FolderKey, FolderKeyHash> queued;
    std::vector<std::pair<uint32_t, uint32_t>> order; // (volume, folder)
    const std::vector<uint32_t>& rows = store.FoldersByParent();
    auto enqueue = [&](uint32_t index) {
        const FoundEntryRow& row = store.Entry(index);
        if (row.volume >= store.VolumeCount())
            return;
        const uint64_t cluster0Start = store.Volume(row.volume).params.cluster0Start;
        const uint32_t volume = store.VolumeOfCluster0(cluster0Start);
        if (volume == FoundStore::kNoVolume || !IsFat(store.KindOfVolume(volume)))
            return;
        if (queued.insert(FolderKey{ uint32_t(row.self), cluster0Start }).second)
            order.emplace_back(volume, uint32_t(row.self));
    };
    for (uint32_t v = 0; v < store.VolumeCount(); ++v) {
        if (!IsFat(store.Volume(v).kind))
            continue;
        const std::pair<size_t, size_t> range = store.FolderRangeOf(v, kFatRootId);
        for (size_t k = range.first; k < range.second; ++k)
            enqueue(rows[k]);
    }
    for (size_t next = 0;; ++next) {
        if (next == order.size()) {
            // What no walk from a root reaches, once.
            const size_t before = order.size();
            for (uint32_t index : rows)
                enqueue(index);
            if (order.size() == before)
                break;
        }
        const auto [volume, folder] = order[next];
        if (!readFolder(volume, folder))
            return;
        const std::pair<size_t, size_t> range = store.FolderRangeOf(volume, folder);
        for (size_t k = range.first; k < range.second; ++k)
            enqueue(rows[k]);
    }
}

std::vector<CString> FolderPathOf(CTreeClass& tree, HTREEITEM item)
{
    std::vector<CString> folders;
    for (HTREEITEM at = item; at != nullptr && tree.GetParentItem(at) != nullptr; at = tree.GetParentItem(at))
        folders.insert(folders.begin(), tree.GetItemText(at));
    return folders;
}
