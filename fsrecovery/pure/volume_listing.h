// Listing the files of a results folder from its own volume in the found-entry store: the rows of
// an NTFS folder (a file's record read only while its row lacks a name or size), or the entries of
// a FAT folder's directory, its cluster chain followed as the directory is read. Sectors come
// from the caller's SectorSource (the volume's device in the program, an image in the tests).
#pragma once
#include <cstdint>
#include <functional>

#include "fsrecovery/pure/folder_listing.h"
#include "fsrecovery/pure/found_store.h"

// A found file as the file lists describe it, on a volume of the found-entry store.
struct FoundFileRef {
    CString name;
    uint64_t size = 0;
    bool ntfs = false;
    uint64_t recordSector = 0; // NTFS
    uint32_t firstCluster = 0; // FAT
    uint32_t volume = 0;
};

// Receives the files of a listed folder.
class FileSink {
public:
    virtual ~FileSink() = default;
    // One file, and cells 2 to 9 of its file-list row: 2 size, 3 date, 4 time, 5 record sector or
    // first cluster, 6 parent record, 7 "0" (NTFS), 8 short name (FAT), 9 the volume's number
    // (when asked for). Empty cells stay empty.
    virtual void Add(const FoundFileRef& file, const CString (&cells)[10]) = 0;
};

// The files of NTFS folder `folderRecord` (5: the root) on `volume`, in the order found. What a
// record read gives is kept in the store, so the next listing reads nothing.
void ListNtfsFilesFrom(FoundStore& store, uint32_t volume, uint64_t folderRecord, SectorSource& device,
                       const StopFlag* stop, FileSink& sink);

// The files of the FAT folder whose first cluster is folderCluster (0: the root directory) on
// `volume`. volumeColumn >= 0 fills cell 9 with it.
void ListFatFilesFrom(const FoundStore& store, uint32_t volume, uint64_t folderCluster, SectorSource& device,
                      const StopFlag* stop, FileSink& sink, int volumeColumn = -1);

// Every entry of the FAT folder's directory that ListFatDirectorySector yields (folders too when
// withFolders): the fixed FAT16 root's sectors, or the clusters of the folder's chain, each
// looked up in the FAT only once the one before it has been read, so a directory that ends in
// its first cluster costs one FAT sector whatever its chain claims.
void ForEachFatDirectoryEntry(SectorSource& device, const FoundVolume& volume, uint64_t folderCluster, bool withFolders,
                              const StopFlag* stop, const std::function<void(const FatListedEntry&)>& entry);
