// A results-tree sink without a tree control: it keeps one item per folder (id and volume), as
// the tree control does, records each item's parent, and chains the folder records.
#pragma once
#include <cstdint>
#include <unordered_map>

#include "fsrecovery/pure/result_tree.h"

class RecordingSink : public ResultTreeSink {
public:
    TreeItemHandle Insert(TreeItemHandle parent, const FoundFolder& folder) override
    {
        if (TreeItemHandle known = index.Find(folder.id, folder.cluster0Start))
            return known;
        TreeItemHandle item = (TreeItemHandle)(intptr_t)(parentOf.size() + 2);
        parentOf[item] = parent;
        index.Set(folder.id, item, folder.cluster0Start);
        FolderNode node;
        node.name = folder.name;
        node.item = item;
        node.ownId = (uint32_t)folder.id;
        node.parentId = folder.parentId;
        node.cluster0Start = folder.cluster0Start;
        AppendFolderNode(FolderNodeList, node);
        return item;
    }
    TreeItemHandle RootItem() override { return kRoot; }

    static inline const TreeItemHandle kRoot = (TreeItemHandle)(intptr_t)1;
    FolderIdIndex index;
    std::unordered_map<TreeItemHandle, TreeItemHandle> parentOf;
};
