// A results-tree sink without a tree control: it keeps one item per folder (id and volume), as
// the tree control does, records each item's parent, and chains the folder records.
#pragma once
#include <cstdint>
#include <unordered_map>

#include "fsrecovery/pure/result_tree.h"

// The found-entries table as the scans fill it, and one row of it.
inline ZrRecordTable FoundEntriesTable()
{
    return ZrRecordTable{
        { L"Name" }, { L"sector" }, { L"self" },  { L"parent" }, { L"date" },    { L"time" },
        { L"size" }, { L"attr" },   { L"sysID" }, { L"Type" },   { L"Deleted" }, { L"Cluster0Start" }
    };
}
inline void AddFoundRow(ZrRecordTable& t, const wchar_t* name, uint64_t self, uint64_t parent, uint64_t cluster0Start,
                        bool folder = true, bool deleted = false)
{
    CString selfText, parentText, c0;
    selfText.Format(L"%llu", self);
    parentText.Format(L"%llu", parent);
    c0.Format(L"%llu", cluster0Start);
    t.InsertRow({ name, L"", selfText, parentText, L"0", L"0", L"0", L"16", L"0", folder ? L"FOLDER" : L"FILE",
                  deleted ? L"1" : L"0", c0 });
}

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
