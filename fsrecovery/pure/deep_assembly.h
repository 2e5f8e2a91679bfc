// Turning the Deep scan's scattered finds into volumes and folders. FAT directory clusters are
// grouped into volumes: by the boot sector whose geometry puts them where they were found, or,
// where no boot sector survives, by the cluster size and cluster-0 sector that two of them agree
// on. Each volume's clusters become folder rows for the results tree, its root-level folders named
// from its root directory.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "cstring.h"
#include "fsrecovery/pure/deep_scan.h"
#include "fsrecovery/pure/folder_listing.h"
#include "fsrecovery/pure/ntfs_geometry.h"
#include "storage/pure/fat_chain.h"

// One FAT volume of the results, in the columns of the found-volume table. A volume taken from a
// boot sector has its geometry; an inferred one has sector 0, its cluster size and cluster-0
// sector, and what LocateFatCopies finds.
struct DeepFatVolume : FatBootHit {
    bool inferred = false;
    uint64_t endSector = 0; // the table's last column; nothing fills it
};

// Groups the directory rows into volumes; each row's volume (from 1, or kDirWithoutVolume) and
// cluster-0 sector are set, whatever they held before. Rows are taken in ascending sector order,
// as the scan delivers them; a row found again (same sector and cluster) shares its outcome, and
// every row given a volume lies on that volume's clusters.
//  - Boot sectors, in the order found: each takes the rows that lie on its clusters inside the
//    volume it states (cluster0Start <= sector <= totalSectors, sector = cluster0Start + self *
//    sectorsPerCluster). A boot sector whose cluster size is not a power of two up to 128 takes
//    none. When firstRootHoldsFiles (its root directory names files: CheckFatRootDirectory) and no
//    row lies inside the volume it states, the first boot sector makes a volume all the same.
//  - Inference over the rows left: a row and the next row whose clusters and sectors put both on
//    one cluster-0 sector with a power-of-two cluster size up to 128 make a volume, which takes
//    every row left on it; a row without such a partner gets no volume and keeps the cluster-0
//    sector of the volume inferred last (0 before the first).
// Two finds of the same volume (cluster-0 sector and cluster size) make one. An inferred volume
// is FAT32 when selectedFat32, or when it shows a cluster above 65536.
std::vector<DeepFatVolume> AssembleFatVolumes(const std::vector<FatBootHit>& hits, std::vector<FatDirCluster>& dirs,
                                              bool selectedFat32, bool firstRootHoldsFiles,
                                              const ScanProgressFn& progress = {});

// Where a volume's FATs lie, given their signature (F8 FF FF) in the 550 (FAT16) or 30000 (FAT32)
// sectors before cluster 0 (from sector 1 on): the first sets firstFat; a second also sets
// secondFat, the FAT's size and the root directory (FAT16: behind the FATs; FAT32: cluster 2).
// True when both were found.
bool LocateFatCopies(SectorSource& source, DeepFatVolume& volume, const StopFlag* stop = nullptr);

// The geometry the chain walker follows on a volume; no FAT (firstFat 0) gives one-cluster chains.
FatChainGeometry DeepFatChainGeometry(const FatBootHit& volume);

// Calls `found` for the entries of a FAT folder's directory (folderCluster 0: the root) that a
// listing shows, folders included when withFolders. The root is the fixed region of a FAT16
// volume (behind the FATs; where they are unknown, right before cluster 2) or the chain from the
// root cluster (2 when unknown); a folder is its cluster chain, or its first cluster without a
// FAT. At most 65536 entries are read. An end-of-directory entry ends the walk, in the FAT16 root
// only its sector. False when the volume's cluster size is unusable.
bool ForEachFatDirectoryEntry(SectorSource& source, const FatBootHit& volume, uint32_t folderCluster, bool withFolders,
                              const std::atomic<bool>* stop, const std::function<void(const FatListedEntry&)>& found);

// 2 when the root directory names two files (valid short names, not folders), else 0.
int CheckFatRootDirectory(SectorSource& source, const FatBootHit& volume);

// A found folder, in the columns of the found-entry table (its type is always "FOLDER").
struct DeepFolderRow {
    CString name;
    uint64_t sector = 0;
    uint64_t self = 0;
    uint64_t parent = 0;
    uint64_t date = 0; // FAT: date word; NTFS: FILETIME
    uint64_t time = 0; // FAT: time word
    uint64_t size = 0;
    uint32_t attr = 0;
    bool deleted = false;
    uint64_t cluster0Start = 0; // FAT: the volume's cluster-0 sector
};

// The catch-all folder "KXR_Miscellaneous" (own id 0x0FFFFFFF) under the root (0 FAT, 5 NTFS),
// its time the local time as a FAT time word.
DeepFolderRow CatchAllFolderRow(uint32_t rootId, int hour, int minute, int second);

// Hands found(k, dir, number) the directory rows of each volume in turn (k for volume k + 1, the
// rows of a volume in their order), number counting the folders over all volumes.
void ForEachDeepFatFolder(const std::vector<FatDirCluster>& dirs, size_t volumeCount,
                          const std::function<void(size_t, const FatDirCluster&, uint64_t)>& found);
// The folder row of a directory cluster, named "DIR" and its number.
DeepFolderRow DeepFatFolderRow(const FatDirCluster& dir, uint64_t number);

// The rows of each volume (index k for volume k + 1), in the rows' order, named "DIR0", "DIR1",
// ... counted over all volumes.
std::vector<std::vector<DeepFolderRow>> DeepFatFolderRows(const std::vector<FatDirCluster>& dirs, size_t volumeCount);

// Names the rows whose parent is folderCluster (0: the root) from that folder's directory, and
// marks those whose entry is deleted. Rows of other volumes are left alone. Returns how many
// rows were named.
size_t NameFatChildFolders(SectorSource& source, const DeepFatVolume& volume, uint32_t folderCluster,
                           std::vector<DeepFolderRow>& rows, const std::atomic<bool>* stop = nullptr);

// The twelve cells of the volume's row in the found-volume table. An inferred volume has "0" as
// its sector and leaves the fields it does not know empty.
FatCandidateRow DeepFatVolumeCells(const DeepFatVolume& volume);
