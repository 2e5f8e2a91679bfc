// Fuzzes building the results tree from found-folder rows with arbitrary ids, parents, volumes
// and cycles: every build ends, consumes its rows, gives each folder at most one tree item whose
// parent chain reaches the root, and, when a catch-all folder exists, an item to every row.
// Input: byte 0 bit 0 picks the FAT (1) or NTFS (0) build, bit 1 adds a catch-all folder first;
// then 6 bytes per row: self (2, small so that ids meet), parent (2), volume (1), flags (1:
// bit 0 folder, bit 1 deleted, bit 2 nameless, bit 3 missing-parent id as self).
#include <cstdint>
#include <cstdlib>
#include <unordered_map>
#include <utility>
#include <vector>

#include "fsrecovery/pure/result_tree.h"
#include "tests/pure/result_tree_sink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const bool fat = data[0] & 1;
    RecordingSink sink;
    if (data[0] & 2) {
        FoundFolder misc;
        misc.name = kMiscFolderName;
        misc.id = kMissingParentId;
        sink.Insert(RecordingSink::kRoot, misc);
    }
    FoundStore store;
    const FsKind kind = fat ? FsKind::Fat32 : FsKind::Ntfs;
    for (size_t at = 1; at + 6 <= size && store.EntryCount() < 400; at += 6) {
        const uint8_t flags = data[at + 5];
        AddFoundRow(store, kind, (flags & 4) ? L"" : L"F",
                    (flags & 8) ? kMissingParentId : (data[at] | data[at + 1] << 8) % 64,
                    (data[at + 2] | data[at + 3] << 8) % 64, data[at + 4] % 3 * 1000, flags & 1, flags & 2);
    }
    std::vector<std::pair<uint64_t, uint64_t>> wanted;
    for (size_t row = 0; row < store.EntryCount(); ++row)
        wanted.emplace_back(uint32_t(store.Entry(row).self),
                            store.Volume(store.Entry(row).volume).params.cluster0Start);
    MarkOrphans(store);
    BuildResultTree(store, sink);

    if (store.EntryCount() != 0)
        abort();
    for (const auto& folder : wanted)
        if ((data[0] & 2) && !sink.folders.TreeItemIndex.Find(folder.first, folder.second))
            abort();
    // Every item's chain of parents reaches the root (or "Root", null) without a cycle.
    for (const auto& entry : sink.parentOf) {
        TreeItemHandle item = entry.first;
        size_t steps = 0;
        while (item && item != RecordingSink::kRoot) {
            auto up = sink.parentOf.find(item);
            if (up == sink.parentOf.end() || ++steps > sink.parentOf.size())
                abort();
            item = up->second;
        }
    }
    return 0;
}
