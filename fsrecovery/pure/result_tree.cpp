#include "fsrecovery/pure/result_tree.h"

#include <unordered_map>
#include <unordered_set>
#include <vector>

const wchar_t kMiscFolderName[] = L"KXR_Miscellaneous";
int NamelessFolderCounter = 1;
volatile uint32_t FilesListedFlag = 0;

namespace {

uint64_t Number(const ZrRecordTable& table, int row, int column)
{
    return table.GetItemNumber(row, column, ZrRecordTable::SortKey::Decimal);
}

bool IsFolderRow(const ZrRecordTable& table, int row)
{
    return table.GetItemText(row, kFoundType) == L"FOLDER";
}

FoundFolder FolderOfRow(const ZrRecordTable& table, int row)
{
    FoundFolder folder;
    folder.name = table.GetItemText(row, kFoundName);
    folder.id = Number(table, row, kFoundSelf);
    folder.date = Number(table, row, kFoundDate);
    folder.time = Number(table, row, kFoundTime);
    folder.parentId = (uint32_t)Number(table, row, kFoundParent);
    folder.deleted = table.GetItemText(row, kFoundDeleted) == L"1" ? 1 : 0;
    folder.cluster0Start = Number(table, row, kFoundCluster0Start);
    return folder;
}

// Lowest row whose key column, read as a 32-bit id, is not below `id`; rows sorted by it.
int LowerBound(const ZrRecordTable& table, int column, uint32_t id)
{
    int lo = 0, hi = table.GetItemCount();
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if ((uint32_t)Number(table, mid, column) < id)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

uint64_t CellNumber(const std::vector<CString>& row, int column)
{
    uint64_t value = 0;
    if (column < (int)row.size())
        ZrRecordTable::ParseNumber(row[column], ZrRecordTable::SortKey::Decimal, value);
    return value;
}

// Names a nameless folder, notes that results exist and inserts it.
TreeItemHandle PlaceFolder(FoundFolder folder, TreeItemHandle parentItem, ResultTreeSink& sink)
{
    if (folder.name.IsEmpty())
        folder.name.Format(L"DIR_%d", NamelessFolderCounter++);
    FilesListedFlag = 1;
    return sink.Insert(parentItem, folder);
}

// The rows of a whole build, read once: each row is placed at most once, and the children of a
// folder are found through an index instead of a search per folder, so a build stays linear.
class FoundRows {
public:
    explicit FoundRows(const ZrRecordTable& table)
    {
        for (const std::vector<CString>& cells : table.Snapshot()) {
            Row row;
            row.folder.name = cells.size() > kFoundName ? cells[kFoundName] : CString();
            row.folder.id = CellNumber(cells, kFoundSelf);
            row.folder.date = CellNumber(cells, kFoundDate);
            row.folder.time = CellNumber(cells, kFoundTime);
            row.folder.parentId = (uint32_t)CellNumber(cells, kFoundParent);
            row.folder.deleted = cells.size() > kFoundDeleted && cells[kFoundDeleted] == L"1" ? 1 : 0;
            row.folder.cluster0Start = CellNumber(cells, kFoundCluster0Start);
            row.isFolder = cells.size() > kFoundType && cells[kFoundType] == L"FOLDER";
            m_rows.push_back(row);
        }
        m_left = m_rows.size();
    }

    std::vector<FoundFolder*> All()
    {
        std::vector<FoundFolder*> all;
        for (Row& row : m_rows)
            all.push_back(&row.folder);
        return all;
    }
    bool IsFolder(size_t index) const { return m_rows[index].isFolder; }
    size_t Count() const { return m_rows.size(); }
    size_t Left() const { return m_left; }

    // Folder rows whose parent is `id` on the volume, in table order; each is placed and left out
    // of every later call.
    uint64_t PlaceChildren(uint32_t id, uint64_t cluster0Start, TreeItemHandle parentItem, ResultTreeSink& sink)
    {
        if (!m_indexed)
            BuildIndex();
        auto found = m_byParent.find(FolderKey{ id, cluster0Start });
        if (found == m_byParent.end())
            return 0;
        const std::vector<size_t> children = std::move(found->second);
        m_byParent.erase(found);
        for (size_t index : children) {
            Row& row = m_rows[index];
            row.folder.id = (uint32_t)row.folder.id;
            PlaceFolder(row.folder, parentItem, sink);
            row.placed = true;
            --m_left;
        }
        return children.size();
    }

    // The rows not placed, in table order.
    std::vector<FoundFolder> Leftovers() const
    {
        std::vector<FoundFolder> left;
        for (const Row& row : m_rows) {
            if (!row.placed)
                left.push_back(row.folder);
        }
        return left;
    }

private:
    struct Row {
        FoundFolder folder;
        bool isFolder = false;
        bool placed = false;
    };

    void BuildIndex()
    {
        for (size_t i = 0; i < m_rows.size(); ++i) {
            if (m_rows[i].isFolder && !m_rows[i].placed)
                m_byParent[FolderKey{ (uint32_t)m_rows[i].folder.parentId, m_rows[i].folder.cluster0Start }].push_back(
                    i);
        }
        m_indexed = true;
    }

    std::vector<Row> m_rows;
    std::unordered_map<FolderKey, std::vector<size_t>, FolderKeyHash> m_byParent;
    size_t m_left = 0;
    bool m_indexed = false;
};

void PlaceLeftovers(const std::vector<FoundFolder>& rows, ResultTreeSink& sink)
{
    if (rows.empty() || !FolderNodeList.head)
        return;
    TreeItemHandle misc = nullptr;
    for (FolderNode* node = FolderNodeList.head; node; node = node->next) {
        if (node->name == kMiscFolderName) {
            misc = node->item;
            break;
        }
    }
    for (FoundFolder folder : rows) {
        folder.parentId = kMissingParentId;
        sink.Insert(misc, folder);
    }
}

// Children of every folder node from `node` on (nodes appended meanwhile are walked too), until
// every row is placed.
void PlaceChildrenOfNodes(FoundRows& rows, FolderNode* node, ResultTreeSink& sink)
{
    uint64_t handled = 0;
    while (node && rows.Left() > 0) {
        rows.PlaceChildren(node->ownId, node->cluster0Start, node->item, sink);
        const uint32_t id = node->ownId;
        const uint64_t volume = node->cluster0Start;
        node = node->next;
        while (node && node->ownId == id && node->cluster0Start == volume)
            node = node->next;
        sink.Progress(++handled, FolderNodeList.count + rows.Count());
    }
}

} // namespace

uint64_t MarkOrphans(ZrRecordTable& table, uint32_t rootId, void (*progress)(uint64_t, uint64_t))
{
    const std::vector<std::vector<CString>> rows = table.Snapshot();
    std::unordered_set<FolderKey, FolderKeyHash> present;
    for (const std::vector<CString>& row : rows)
        present.insert(FolderKey{ (uint32_t)CellNumber(row, kFoundSelf), CellNumber(row, kFoundCluster0Start) });
    CString missing;
    missing.Format(L"%lu", (unsigned long)kMissingParentId);
    uint64_t marked = 0;
    const uint64_t count = rows.size();
    for (size_t i = 0; i < rows.size(); ++i) {
        if (progress)
            progress(i, count);
        const uint32_t parent = (uint32_t)CellNumber(rows[i], kFoundParent);
        if (parent == rootId || present.count(FolderKey{ parent, CellNumber(rows[i], kFoundCluster0Start) }))
            continue;
        table.SetItemText((int)i, kFoundParent, missing);
        ++marked;
    }
    if (progress)
        progress(count, count);
    return marked;
}

uint64_t PlaceChildFolders(ZrRecordTable& table, uint32_t id, uint64_t cluster0Start, TreeItemHandle parentItem,
                           ResultTreeSink& sink)
{
    uint64_t placed = 0;
    int row = LowerBound(table, kFoundParent, id);
    while (row < table.GetItemCount()) {
        const uint32_t parent = (uint32_t)Number(table, row, kFoundParent);
        if (parent > id)
            break;
        if (!IsFolderRow(table, row) || Number(table, row, kFoundCluster0Start) != cluster0Start) {
            ++row;
            continue;
        }
        FoundFolder folder = FolderOfRow(table, row);
        folder.id = (uint32_t)folder.id;
        PlaceFolder(folder, parentItem, sink);
        table.DeleteItem(row); // the next row moves into its place
        ++placed;
    }
    return placed;
}

void PlaceLeftoversUnderMisc(ZrRecordTable& table, ResultTreeSink& sink)
{
    std::vector<FoundFolder> rows;
    for (int row = 0; row < table.GetItemCount(); ++row)
        rows.push_back(FolderOfRow(table, row));
    PlaceLeftovers(rows, sink);
}

void BuildNtfsResultTree(ZrRecordTable& table, ResultTreeSink& sink)
{
    if (table.GetItemCount() >= 2)
        FilesListedFlag = 1;
    TreeItemHandle root = sink.RootItem();
    FoundRows rows(table);
    table.DeleteAllItems();
    // The catch-all folder's own row (self and parent missing) is a top-level folder.
    for (FoundFolder* folder : rows.All()) {
        if (folder->parentId == kMissingParentId && folder->id == kMissingParentId)
            folder->parentId = kNtfsRootId;
    }
    std::vector<FoundFolder*> all = rows.All();
    for (size_t i = 0; i < all.size(); ++i) {
        const FoundFolder& folder = *all[i];
        if (folder.parentId == kNtfsRootId && folder.id != kNtfsRootId && rows.IsFolder(i))
            sink.Insert(root, folder); // the row stays: its own children are found by the walk
    }
    PlaceChildrenOfNodes(rows, FolderNodeList.head, sink);
    PlaceLeftovers(rows.Leftovers(), sink);
}

void BuildFatResultTree(ZrRecordTable& table, ResultTreeSink& sink)
{
    TreeItemHandle root = sink.RootItem();
    FoundRows rows(table);
    table.DeleteAllItems();
    // Each volume's root folders, volume by volume in table order.
    std::vector<FoundFolder*> all = rows.All();
    std::unordered_set<uint64_t> volumes;
    for (size_t i = 0; i < all.size(); ++i) {
        if (rows.IsFolder(i) && all[i]->parentId == kFatRootId && volumes.insert(all[i]->cluster0Start).second)
            rows.PlaceChildren(kFatRootId, all[i]->cluster0Start, root, sink);
    }
    PlaceChildrenOfNodes(rows, FolderNodeList.head, sink);
    PlaceLeftovers(rows.Leftovers(), sink);
}
