// Turning the found folder rows of a FoundStore into the results tree. Ids are NTFS record
// numbers or FAT cluster numbers; two rows name the same folder only when both their id and
// their volume agree, so the folders of two FAT volumes whose cluster numbers coincide stay apart.
// A volume's root folder is its kind's root id (NTFS record 5, the FAT root cluster 0).
#pragma once
#include <cstdint>
#include <functional>

#include "app/pure/folder_nodes.h"
#include "fsrecovery/pure/found_store.h"

constexpr uint32_t kNtfsRootId = 5;
constexpr uint32_t kFatRootId = 0;
// The parent of a folder whose parent was not found, and the own id of the catch-all folder.
constexpr uint32_t kMissingParentId = 0x0FFFFFFF;
inline constexpr wchar_t kMiscFolderName[] = L"KXR_Miscellaneous";
// The catch-all folder, by its id too: a real folder of that name (one a recovery once saved onto
// this very volume, say) is not the catch-all.
inline bool IsCatchAllFolder(uint32_t ownId, const CString& name)
{
    return ownId == kMissingParentId && name == kMiscFolderName;
}

// One folder as it goes into the tree. cluster0Start is its volume's (what identifies the
// volume again when the folder is listed, opened or saved).
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
// Insert must append a FolderNode to the list FolderNodes gives for each item it creates and
// return the existing item for a folder (id and cluster-0 start) it already holds. A null parent
// means the tree's "Root".
class ResultTreeSink {
public:
    virtual ~ResultTreeSink() = default;
    virtual TreeItemHandle Insert(TreeItemHandle parent, const FoundFolder& folder) = 0;
    virtual TreeItemHandle RootItem() = 0;
    // The folder records of the tree inserted into.
    virtual const FolderNodeListRecord& FolderNodes() = 0;
    virtual void Progress(uint64_t /*position*/, uint64_t /*total*/) { }
};

using TreeProgressFn = std::function<void(uint64_t position, uint64_t total)>;

// The folder of row `index` as the tree receives it.
FoundFolder FolderOfEntry(const FoundStore& store, size_t index);

// Marks with kMissingParentId every row whose parent (other than its volume's root) is not the id
// of a row of the same volume. Returns the number of rows marked.
uint64_t MarkOrphans(FoundStore& store, const TreeProgressFn& progress = {});

// One build of the results tree from a store's folder rows into a sink, with what it keeps while
// it runs.
class ResultTreeBuilder {
public:
    ResultTreeBuilder(FoundStore& store, ResultTreeSink& sink);
    ResultTreeBuilder(const ResultTreeBuilder&) = delete;
    ResultTreeBuilder& operator=(const ResultTreeBuilder&) = delete;

    // The results tree: each volume's root folders (parent its root id) under the root item,
    // volume by volume, then the children of every folder node breadth-first (nodes appended
    // meanwhile are walked too; the catch-all folder's children are the orphans of every volume),
    // then the rows left under the catch-all folder. The catch-all row itself (own id and parent
    // kMissingParentId) counts as a root folder. The folder rows are consumed: the store holds
    // none afterwards.
    void PlaceAll();

    // Places every folder row not placed yet whose parent is `id` on `volume` under parentItem,
    // in the order of their own ids (ties in the order found). Returns the number placed.
    uint64_t PlaceChildFolders(uint32_t volume, uint32_t id, TreeItemHandle parentItem);

    // Every row not placed yet under the first "KXR_Miscellaneous" folder node (the tree's "Root"
    // when there is none), flat, with parent kMissingParentId.
    void PlaceLeftoversUnderMisc();

    // The number the next nameless folder takes into "DIR_%d": one count for the whole program,
    // started at 1 and never reset, so that the nameless folders of two scans saved into one
    // folder never take each other's names.
    int& NamelessFolderCounter;

private:
    TreeItemHandle PlaceFolder(FoundFolder folder, TreeItemHandle parentItem);
    void PlaceRootFolders();
    // The children of every folder node, until `left` rows are placed or the nodes end.
    void PlaceUnderFolderNodes(size_t left);

    FoundStore& m_store;
    ResultTreeSink& m_sink;
};

// A build of its own (ResultTreeBuilder::PlaceAll).
void BuildResultTree(FoundStore& store, ResultTreeSink& sink);
