#include "fsrecovery/folderlist.h"

#include <memory>
#include <unordered_map>
#include <vector>

#include "app/treeclass.h"
#include "fsrecovery/pure/result_tree.h"
#include "storage/sectorreader.h"

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
                m_nodes.emplace(Key{ node->parentId, node->ownId, node->cluster0Start }, node);
            m_version = list.version;
            m_count = list.count;
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

// What naming folders needs beside the tree: the renames gathered on the reading thread and made
// on the tree's thread in batches (one call to that thread per batch: a call per folder had the
// reading thread wait on the dialog's for most of a FAT volume's tree step), and one device
// handle per volume for all its folders.
class FolderNaming {
public:
    explicit FolderNaming(CTreeClass* tree) : m_tree(tree) { }
    const FolderNodeListRecord& Folders() const { return m_tree->Folders.FolderNodeList; }
    ~FolderNaming() { Flush(); }
    FolderNaming(const FolderNaming&) = delete;
    FolderNaming& operator=(const FolderNaming&) = delete;

    SectorSource& Device(const FoundVolume& volume)
    {
        if (!m_device || m_devicePath != volume.devicePath) {
            m_device.reset();
            m_device = std::make_unique<KeptHandleSectorSource>(volume.devicePath);
            m_devicePath = volume.devicePath;
        }
        return *m_device;
    }
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
    std::unique_ptr<KeptHandleSectorSource> m_device;
    CString m_devicePath;
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

void NameFatFolders(const FoundStore& store, CTreeClass* tree, const StopFlag* stop)
{
    if (!tree || !tree->GetSafeHwnd() || !tree->GetRootItem())
        return;
    FolderNaming naming(tree);
    NameFolder(store, nullptr, naming, stop);
    for (FolderNode* node = tree->Folders.FolderNodeList.head; node && !IsStopped(stop); node = node->next)
        if (node->item != nullptr)
            NameFolder(store, node, naming, stop);
}
