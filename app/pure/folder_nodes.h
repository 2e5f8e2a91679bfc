// The results-tree folder records and the id index that keeps one tree item per folder id.
// Pure: tree items are opaque handles here; the tree control itself lives in app/treeclass.h.
#pragma once
#include <cstdint>
#include <unordered_map>

#include "framework/pure/cstring.h"
#include "storage/pure/globals.h" // TreeItemHandle

// The item data of one results-tree folder. Records are chained in creation order.
struct FolderNode {
    CString name;
    TreeItemHandle item = nullptr;
    uint32_t ownId = 0;    // low half of the folder's record or cluster number
    uint32_t parentId = 0; // 5 is the NTFS root directory's record
    uint64_t date = 0;
    uint64_t time = 0;
    uint32_t expanded = 0; // 1 once the folder's directory was read for subfolders
    uint32_t deleted = 0;
    uint64_t cluster0Start = 0; // Deep Search: first sector of cluster 0 of the FAT volume
    FolderNode* next = nullptr;
};

struct FolderNodeListRecord {
    FolderNode* head = nullptr;
    FolderNode* tail = nullptr;
    uint64_t count = 0;
    // Changes with every append and clear, never repeating within the process: an index built
    // over the records knows from it whether it still describes them.
    uint64_t version = 0;
};

// Chains a new record (allocated here, owned by the list) after the tail; returns it.
FolderNode* AppendFolderNode(FolderNodeListRecord& list, const FolderNode& values);
// Unchains and frees one record (a walk from the head: only for a record that could not be shown).
void RemoveFolderNode(FolderNodeListRecord& list, FolderNode* node);
// Frees every record and leaves the list empty.
void ClearFolderNodeList(FolderNodeListRecord& list);

// A folder id together with its volume's cluster-0 start: FAT cluster numbers repeat from volume
// to volume, so the id alone does not name one folder.
struct FolderKey {
    uint64_t id;
    uint64_t cluster0Start;
    bool operator==(const FolderKey& other) const { return id == other.id && cluster0Start == other.cluster0Start; }
};
struct FolderKeyHash {
    size_t operator()(const FolderKey& key) const
    {
        return std::hash<uint64_t>()(key.id * 0x9E3779B97F4A7C15ull ^ key.cluster0Start);
    }
};

// Which tree item already shows a folder id. Looking up is constant time, so building a tree of
// many thousand folders stays linear.
class FolderIdIndex {
public:
    // The item recorded for the id on the volume whose cluster 0 starts at cluster0Start (FAT
    // cluster numbers repeat from volume to volume), or null.
    TreeItemHandle Find(uint64_t id, uint64_t cluster0Start = 0) const;
    // Records the item of one id; never touches another id's entry.
    void Set(uint64_t id, TreeItemHandle item, uint64_t cluster0Start = 0);
    void Clear() { m_items.clear(); }
    size_t Size() const { return m_items.size(); }

private:
    std::unordered_map<FolderKey, TreeItemHandle, FolderKeyHash> m_items;
};

// The item and the id of the last InsertResultItem call.
struct LastInsertedItemRecord {
    TreeItemHandle item = nullptr;
    uint32_t id = 0;
};

// The folder records of one results tree, owned by its tree control (or by whatever stands in for
// one): a record per folder item in creation order, which item shows each folder id, and the item
// inserted last.
struct ResultFolders {
    FolderNodeListRecord FolderNodeList;
    FolderIdIndex TreeItemIndex;
    LastInsertedItemRecord LastInsertedItem;

    ResultFolders() = default;
    ResultFolders(const ResultFolders&) = delete;
    ResultFolders& operator=(const ResultFolders&) = delete;
    ~ResultFolders() { Reset(); }
    // Empties the records and the index together: the two describe one results tree.
    void Reset();
};
