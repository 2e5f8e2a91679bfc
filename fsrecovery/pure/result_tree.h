// Turning the flat list of found folders into the results tree. The rows are those of the
// found-entry table: 0 "Name", 2 "self", 3 "parent", 4 "date", 5 "time", 9 "Type",
// 10 "Deleted", 11 "Cluster0Start". Ids are NTFS record numbers or FAT cluster numbers; two
// rows name the same folder only when both their id and their volume's cluster-0 start agree,
// so the folders of two FAT volumes whose cluster numbers coincide stay apart.
#pragma once
#include <cstdint>

#include "app/pure/folder_nodes.h"
#include "app/pure/record_table.h"

constexpr uint32_t kNtfsRootId = 5;
constexpr uint32_t kFatRootId = 0;
// The parent of a folder whose parent was not found, and the own id of the catch-all folder.
constexpr uint32_t kMissingParentId = 0x0FFFFFFF;
extern const wchar_t kMiscFolderName[]; // "KXR_Miscellaneous"

enum FoundEntryColumn : int {
    kFoundName = 0,
    kFoundSelf = 2,
    kFoundParent = 3,
    kFoundDate = 4,
    kFoundTime = 5,
    kFoundType = 9,
    kFoundDeleted = 10,
    kFoundCluster0Start = 11,
};

// One folder as it goes into the tree.
struct FoundFolder {
    CString name;
    uint64_t id = 0;
    uint64_t date = 0;
    uint64_t time = 0;
    uint32_t parentId = 0;
    uint32_t deleted = 0;
    uint64_t cluster0Start = 0;
};

// Where the builders put folders: the tree control in the program, a plain recorder in tests.
// Insert must append a FolderNode to FolderNodeList for each item it creates and return the
// existing item for a folder (id and cluster-0 start) it already holds. A null parent means the
// tree's "Root".
class ResultTreeSink {
public:
    virtual ~ResultTreeSink() = default;
    virtual TreeItemHandle Insert(TreeItemHandle parent, const FoundFolder& folder) = 0;
    virtual TreeItemHandle RootItem() = 0;
    virtual void Progress(uint64_t /*position*/, uint64_t /*total*/) { }
};

// Each nameless folder takes the next "DIR_%d" number; never reset.
extern int NamelessFolderCounter;
// 1 once a folder or file was placed in the results.
extern volatile uint32_t FilesListedFlag;

// Marks with kMissingParentId every row whose parent (other than rootId) is not a row of the same
// volume. Only "parent" changes, so an order by "self" stays. Returns the number of rows marked.
uint64_t MarkOrphans(ZrRecordTable& table, uint32_t rootId,
                     void (*progress)(uint64_t position, uint64_t total) = nullptr);

// Places (and removes from the table) every folder row whose parent is `id` on the volume whose
// cluster 0 starts at cluster0Start, under parentItem. The table must be sorted ascending by
// "parent". Returns the number placed.
uint64_t PlaceChildFolders(ZrRecordTable& table, uint32_t id, uint64_t cluster0Start, TreeItemHandle parentItem,
                           ResultTreeSink& sink);

// Every row still in the table under the first "KXR_Miscellaneous" folder node (the tree's
// "Root" when there is none), flat, with parent kMissingParentId. Rows are kept.
void PlaceLeftoversUnderMisc(ZrRecordTable& table, ResultTreeSink& sink);

// The NTFS tree: top-level folders (parent 5) under the root, then the children of each folder
// node breadth-first, then the leftovers under the catch-all folder. Siblings keep their order in
// the table (sorted by "parent" by the callers); the table is empty afterwards.
void BuildNtfsResultTree(ZrRecordTable& table, ResultTreeSink& sink);

// The FAT tree: the folders of each volume's root (parent 0) under the root item, their children
// breadth-first, the rest under the catch-all folder. Sorted by "parent"; empty afterwards.
void BuildFatResultTree(ZrRecordTable& table, ResultTreeSink& sink);
