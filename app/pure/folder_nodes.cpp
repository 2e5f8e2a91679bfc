#include "app/pure/folder_nodes.h"

#include <atomic>

namespace {
uint64_t NextListVersion()
{
    static std::atomic<uint64_t> last{ 0 };
    return ++last;
}
} // namespace

FolderNode* AppendFolderNode(FolderNodeListRecord& list, const FolderNode& values)
{
    FolderNode* node = new FolderNode(values);
    node->next = nullptr;
    if (!list.head) {
        list.head = node;
    } else {
        list.tail->next = node;
    }
    list.tail = node;
    ++list.count;
    list.version = NextListVersion();
    return node;
}

void RemoveFolderNode(FolderNodeListRecord& list, FolderNode* node)
{
    FolderNode* before = nullptr;
    for (FolderNode* at = list.head; at != nullptr; before = at, at = at->next) {
        if (at != node)
            continue;
        (before ? before->next : list.head) = at->next;
        if (list.tail == at)
            list.tail = before;
        --list.count;
        list.version = NextListVersion();
        delete at;
        return;
    }
}

void ClearFolderNodeList(FolderNodeListRecord& list)
{
    FolderNode* node = list.head;
    while (node) {
        FolderNode* next = node->next;
        delete node;
        node = next;
    }
    list = FolderNodeListRecord{};
    list.version = NextListVersion();
}

TreeItemHandle FolderIdIndex::Find(uint64_t id, uint64_t cluster0Start) const
{
    auto found = m_items.find(FolderKey{ id, cluster0Start });
    return found == m_items.end() ? nullptr : found->second;
}

void FolderIdIndex::Set(uint64_t id, TreeItemHandle item, uint64_t cluster0Start)
{
    m_items[FolderKey{ id, cluster0Start }] = item;
}

void ResultFolders::Reset()
{
    ClearFolderNodeList(FolderNodeList);
    TreeItemIndex.Clear();
    LastInsertedItem = LastInsertedItemRecord{};
}
