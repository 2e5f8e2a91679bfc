// What a Deep Search scan found, as volumes and rows of the found-entry store: each assembled FAT
// volume becomes a store volume with its own geometry (so that its folders are listed, opened and
// saved through it, whatever cluster numbers other volumes share), and the carved NTFS records
// become the folder and file rows of the NTFS volumes their own records show.
#pragma once
#include <cstdint>
#include <vector>

#include "fsrecovery/pure/deep_assembly.h"
#include "fsrecovery/pure/found_store.h"

// The geometry listing and saving read a Deep FAT volume by. What the volume does not know is
// filled as its own directory walk assumes it: a FAT32 root at cluster 2, a FAT16 root of 32
// sectors ending where cluster 2 begins.
FatVolumeParamsRecord DeepFatVolumeParams(const DeepFatVolume& volume);

// The sectors a Deep FAT volume occupies on the device: from its boot sector to the end it
// states, or, for an inferred volume, from the scanned range's start to rangeEnd (the end of what
// the range lies in).
void DeepFatVolumeExtent(const DeepFatVolume& volume, uint64_t rangeFirst, uint64_t rangeEnd, uint64_t& first,
                         uint64_t& end);

// Adds one store volume per FAT volume and each volume's folder rows (rows[k] for volumes[k]),
// the catch-all folder first, on the first volume, its time the FAT time word given. Nothing is
// added without a volume. Also keeps the volumes in the store's FAT volume table.
void StoreDeepFatVolumes(FoundStore& store, const CString& devicePath, uint64_t rangeFirst, uint64_t rangeEnd,
                         const std::vector<DeepFatVolume>& volumes, const std::vector<std::vector<DeepFolderRow>>& rows,
                         uint16_t catchAllTime);

// The carved rows of one NTFS volume.
struct DeepNtfsVolumeRows {
    std::vector<DeepFolderRow> folders;
    std::vector<DeepNtfsFileRow> files;
};

// The rows of each volume of `map`: index k for map.volumes[k], the last (map.volumes.size()) for
// the records of none, read with map.fallback. A row goes to the volume map.ForRecord(row.sector)
// names (the records of none to the volume that begins where the fallback does, when one does:
// two store volumes are never counted from one cluster 0); a folder is kept once per volume,
// however often its record was found there; a $MFTMirr copy of a record found in the $MFT is
// marked as a copy (never listed).
// The index of the rows of SplitDeepNtfsRows a record found at `sector` goes to.
size_t DeepNtfsVolumeOfRecord(const NtfsGeometryMap& map, uint64_t sector);

std::vector<DeepNtfsVolumeRows> SplitDeepNtfsRows(const DeepNtfsRows& rows, const NtfsGeometryMap& map);

// One NTFS store volume per volume of `map`, each with its own cluster size and cluster 0 and its
// rows, the catch-all folder first on the first. A volume spans from its cluster 0 to the end its
// total sectors give, else to the next volume's start, else to rangeEnd. The records of no
// volume make one more volume, over rangeFirst to rangeEnd with the fallback geometry, when
// there are such records or no volume at all.
// The store volumes of StoreDeepNtfsRows without their rows: the store index of each volume of
// `map` (index k for map.volumes[k]) and, last, of the volume of the records of none, made when
// withLeftover or when `map` has no volume (FoundStore::kNoVolume otherwise).
std::vector<uint32_t> AddDeepNtfsVolumes(FoundStore& store, const CString& devicePath, uint64_t rangeFirst,
                                         uint64_t rangeEnd, const NtfsGeometryMap& map, bool withLeftover);

void StoreDeepNtfsRows(FoundStore& store, const CString& devicePath, uint64_t rangeFirst, uint64_t rangeEnd,
                       const NtfsGeometryMap& map, const DeepNtfsRows& rows, uint16_t catchAllTime);
