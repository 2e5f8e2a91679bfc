// A results-tree sink without a tree control: it keeps one item per folder (id and volume), as
// the tree control does, records each item's parent, and chains the folder records. And the
// found-entry rows the tests build their trees from.
#pragma once
#include <cstdint>
#include <unordered_map>

#include "fsrecovery/pure/result_tree.h"

// The store's volume whose cluster 0 starts at cluster0Start, added (of `kind`) when missing.
inline uint32_t VolumeAt(FoundStore& store, uint64_t cluster0Start, FsKind kind)
{
    for (uint32_t v = 0; v < store.VolumeCount(); ++v)
        if (store.Volume(v).params.cluster0Start == cluster0Start)
            return v;
    FoundVolume volume;
    volume.kind = kind;
    volume.params.cluster0Start = cluster0Start;
    volume.params.partitionType = FsKindName(kind);
    return store.AddVolume(volume);
}

// A row as the scans write one: a folder (or not), found on the volume of cluster0Start.
inline size_t AddFoundRow(FoundStore& store, FsKind kind, const wchar_t* name, uint64_t self, uint64_t parent,
                          uint64_t cluster0Start, bool folder = true, bool deleted = false)
{
    FoundEntryRow row;
    row.volume = VolumeAt(store, cluster0Start, kind);
    row.self = self;
    row.parent = parent;
    row.attr = 16;
    row.folder = folder;
    row.deleted = deleted;
    row.cluster0Start = cluster0Start;
    row.cells = FoundEntryRow::kSelf | FoundEntryRow::kParent | FoundEntryRow::kDate | FoundEntryRow::kTime |
        FoundEntryRow::kSize | FoundEntryRow::kAttr | FoundEntryRow::kSysId | FoundEntryRow::kDeleted |
        FoundEntryRow::kCluster0Start;
    return store.AddEntry(row, CString(name));
}

class RecordingSink : public ResultTreeSink {
public:
    TreeItemHandle Insert(TreeItemHandle parent, const FoundFolder& folder) override
    {
        if (TreeItemHandle known = folders.TreeItemIndex.Find(folder.id, folder.cluster0Start))
            return known;
        TreeItemHandle item = (TreeItemHandle)(intptr_t)(parentOf.size() + 2);
        parentOf[item] = parent;
        folders.TreeItemIndex.Set(folder.id, item, folder.cluster0Start);
        FolderNode node;
        node.name = folder.name;
        node.item = item;
        node.ownId = (uint32_t)folder.id;
        node.parentId = folder.parentId;
        node.cluster0Start = folder.cluster0Start;
        AppendFolderNode(folders.FolderNodeList, node);
        return item;
    }
    TreeItemHandle RootItem() override { return kRoot; }
    const FolderNodeListRecord& FolderNodes() override { return folders.FolderNodeList; }

    static inline const TreeItemHandle kRoot = (TreeItemHandle)(intptr_t)1;
    ResultFolders folders;
    std::unordered_map<TreeItemHandle, TreeItemHandle> parentOf;
};
