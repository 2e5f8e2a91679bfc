// Reading a results folder's files, and giving the FAT subfolders in the results tree their long
// names. Everything is read from the folder's own volume in the found-entry store (its device,
// opened once per folder, and its geometry), never from the selection that is current.
#pragma once
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "afxwin.h"
#include "fsrecovery/pure/result_tree.h"
#include "fsrecovery/pure/volume_listing.h"

class CTreeClass;

// The files of a folder (NTFS record folderId, or FAT first cluster folderId; 0 or 5 the root) of
// `volume` to `sink`, its device opened for the listing. A FAT volume's rows carry volumeColumn in
// their cell 9 when it is 0 or above.
void ListVolumeFolderFiles(FoundStore& store, uint32_t volume, uint64_t folderId, const StopFlag* stop, FileSink& sink,
                           int volumeColumn = -1);

// The names of the folders from below the top item down to `item` (none for the top item).
std::vector<CString> FolderPathOf(CTreeClass& tree, HTREEITEM item);

// Reads the directory of the FAT folder of `item` (its FolderNode and that node's volume; for
// the root item, every FAT volume's root directory) and renames the subfolders of `item` found
// there to their long names. The folder is marked expanded only when the read was not stopped.
// Returns true when it was read to the end.
bool ExpandFatFolder(const FoundStore& store, CTreeClass* tree, HTREEITEM item, const StopFlag* stop);

// A child folder as its parent's directory lists it: the parent's and its own cluster, and the
// volume's cluster-0 start.
struct FatChildKey {
    uint32_t parentId, ownId;
    uint64_t cluster0Start;
    bool operator==(const FatChildKey& o) const
    {
        return parentId == o.parentId && ownId == o.ownId && cluster0Start == o.cluster0Start;
    }
};
struct FatChildKeyHash {
    size_t operator()(const FatChildKey& k) const
    {
        return std::hash<uint64_t>()((uint64_t(k.parentId) << 32 | k.ownId) * 0x9E3779B97F4A7C15ull ^ k.cluster0Start);
    }
};

// The names of a search's FAT folders, read from their parents' directories before the folders
// go into the tree: renaming them in the tree afterwards cost each folder a search of all items.
class FatFolderNames {
public:
    struct Entry {
        CString name; // the last entry's that lists the folder
        bool live = false; // some entry listing it is not deleted
        bool taken = false;
    };
    // Reads every FAT volume's root directory, then the directory of every FAT folder row of the
    // store (top folders first, breadth first), until `stop`; each device is opened once.
    void Read(FoundStore& store, const StopFlag* stop);
    // The name of a folder its parent's directory listed, not taken yet (the first folder record
    // of a key gets it); null when none.
    const Entry* Find(uint64_t cluster0Start, uint32_t parentId, uint32_t ownId) const;
    void Take(uint64_t cluster0Start, uint32_t parentId, uint32_t ownId);
    // Whether a folder's directory was read to its end (its subfolders are named).
    bool WasRead(uint64_t cluster0Start, uint32_t folder) const;

private:
    std::unordered_map<FatChildKey, Entry, FatChildKeyHash> m_names;
    std::unordered_set<FolderKey, FolderKeyHash> m_read;
};
