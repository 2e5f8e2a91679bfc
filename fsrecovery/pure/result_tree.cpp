#include "fsrecovery/pure/result_tree.h"

#include <climits>

namespace {

uint32_t RootIdOf(const FoundStore& store, uint32_t volume)
{
    return RootFolderId(store.KindOfVolume(volume));
}

bool IsCatchAll(const FolderNode& node)
{
    return IsCatchAllFolder(node.ownId, node.name);
}

size_t PlacedCount(const FoundStore& store)
{
    size_t placed = 0;
    for (size_t i = 0; i < store.EntryCount(); ++i)
        placed += store.Entry(i).placed ? 1 : 0;
    return placed;
}

} // namespace

FoundFolder FolderOfEntry(const FoundStore& store, size_t index)
{
    const FoundEntryRow& row = store.Entry(index);
    FoundFolder folder;
    folder.name = store.EntryName(index);
    folder.id = row.self;
    folder.date = row.date;
    folder.time = row.time;
    folder.parentId = uint32_t(row.parent);
    folder.deleted = (row.cells & FoundEntryRow::kDeleted) && row.deleted ? 1 : 0;
    folder.cluster0Start =
        row.volume < store.VolumeCount() ? store.Volume(row.volume).params.cluster0Start : row.cluster0Start;
    return folder;
}

uint64_t MarkOrphans(FoundStore& store, const TreeProgressFn& progress)
{
    uint64_t marked = 0;
    const uint64_t count = store.EntryCount();
    for (size_t i = 0; i < count; ++i) {
        if (progress)
            progress(i, count);
        const FoundEntryRow& row = store.Entry(i);
        const uint32_t parent = uint32_t(row.parent);
        if (parent == RootIdOf(store, row.volume) || store.HasEntryId(row.volume, parent))
            continue;
        store.SetEntryParent(i, kMissingParentId);
        ++marked;
    }
    if (progress)
        progress(count, count);
    return marked;
}

namespace {
int g_namelessFolderCount = 1;
} // namespace

ResultTreeBuilder::ResultTreeBuilder(FoundStore& store, ResultTreeSink& sink)
    : NamelessFolderCounter(g_namelessFolderCount), m_store(store), m_sink(sink)
{
}

// Names a nameless folder and inserts it.
TreeItemHandle ResultTreeBuilder::PlaceFolder(FoundFolder folder, TreeItemHandle parentItem)
{
    if (folder.name.IsEmpty())
    {
        folder.name.Format(L"DIR_%d", NamelessFolderCounter);
        // Wraps rather than overflowing in a process that has named two billion folders.
        NamelessFolderCounter = NamelessFolderCounter == INT_MAX ? 1 : NamelessFolderCounter + 1;
    }
    return m_sink.Insert(parentItem, folder);
}

uint64_t ResultTreeBuilder::PlaceChildFolders(uint32_t volume, uint32_t id, TreeItemHandle parentItem)
{
    const std::pair<size_t, size_t> range = m_store.FolderRangeOf(volume, id);
    const std::vector<uint32_t>& order = m_store.FoldersByParent();
    uint64_t placed = 0;
    for (size_t k = range.first; k < range.second; ++k) {
        FoundEntryRow& row = m_store.Entry(order[k]);
        if (row.placed)
            continue;
        FoundFolder folder = FolderOfEntry(m_store, order[k]);
        folder.id = uint32_t(folder.id);
        row.placed = true;
        PlaceFolder(folder, parentItem);
        ++placed;
    }
    return placed;
}

void ResultTreeBuilder::PlaceLeftoversUnderMisc()
{
    const FolderNodeListRecord& folders = m_sink.FolderNodes();
    if (!folders.head)
        return;
    TreeItemHandle misc = nullptr;
    for (FolderNode* node = folders.head; node; node = node->next) {
        if (IsCatchAll(*node)) {
            misc = node->item;
            break;
        }
    }
    for (size_t i = 0; i < m_store.EntryCount(); ++i) {
        if (m_store.Entry(i).placed)
            continue;
        FoundFolder folder = FolderOfEntry(m_store, i);
        folder.parentId = kMissingParentId;
        m_sink.Insert(misc, folder);
    }
}

// Each volume's root folders; the root's own row (an NTFS root record) is not one of them.
void ResultTreeBuilder::PlaceRootFolders()
{
    TreeItemHandle root = m_sink.RootItem();
    const uint32_t volumes = uint32_t(std::max<size_t>(m_store.VolumeCount(), 1));
    for (uint32_t volume = 0; volume < volumes; ++volume) {
        const uint32_t rootId = RootIdOf(m_store, volume);
        const std::pair<size_t, size_t> range = m_store.FolderRangeOf(volume, rootId);
        const std::vector<uint32_t>& order = m_store.FoldersByParent();
        for (size_t k = range.first; k < range.second; ++k) {
            FoundEntryRow& row = m_store.Entry(order[k]);
            if (row.placed || uint32_t(row.self) == rootId)
                continue;
            row.placed = true;
            PlaceFolder(FolderOfEntry(m_store, order[k]), root);
        }
    }
}

void ResultTreeBuilder::PlaceUnderFolderNodes(size_t left)
{
    const uint64_t rows = m_store.EntryCount();
    uint64_t handled = 0;
    const FolderNodeListRecord& folders = m_sink.FolderNodes();
    for (FolderNode* node = folders.head; node && left > 0;) {
        const uint32_t volume = m_store.VolumeOfCluster0(node->cluster0Start);
        if (IsCatchAll(*node)) {
            // The one catch-all folder takes the orphans of every volume, each with its subfolders
            // below it (found on the orphan's own volume when its node is walked).
            for (uint32_t v = 0; v < m_store.VolumeCount(); ++v)
                left -= size_t(PlaceChildFolders(v, node->ownId, node->item));
        } else if (volume != FoundStore::kNoVolume) {
            left -= size_t(PlaceChildFolders(volume, node->ownId, node->item));
        }
        const uint32_t id = node->ownId;
        const uint64_t cluster0Start = node->cluster0Start;
        node = node->next;
        while (node && node->ownId == id && node->cluster0Start == cluster0Start)
            node = node->next;
        m_sink.Progress(++handled, folders.count + rows);
    }
}

void ResultTreeBuilder::PlaceAll()
{
    const size_t rows = m_store.EntryCount();
    for (size_t i = 0; i < rows; ++i) {
        const FoundEntryRow& row = m_store.Entry(i);
        if (row.parent == kMissingParentId && row.self == kMissingParentId)
            m_store.SetEntryParent(i, RootIdOf(m_store, row.volume));
    }
    PlaceRootFolders();
    PlaceUnderFolderNodes(rows - PlacedCount(m_store));
    PlaceLeftoversUnderMisc();
    m_store.ClearEntries();
}

void BuildResultTree(FoundStore& store, ResultTreeSink& sink)
{
    ResultTreeBuilder(store, sink).PlaceAll();
}
