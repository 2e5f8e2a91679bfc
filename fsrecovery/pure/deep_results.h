// What a Deep Search scan found, as volumes and rows of the found-entry store: each assembled FAT
// volume becomes a store volume with its own geometry (so that its folders are listed, opened and
// saved through it, whatever cluster numbers other volumes share), and the carved NTFS records
// become one NTFS volume's folder and file rows.
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

// Where the carved records' clusters are counted from and how large they are.
struct DeepNtfsGeometry {
    uint64_t cluster0Start = 0;
    uint32_t sectorsPerCluster = 0;
};

// One NTFS volume with the carved folders and files, the catch-all folder first.
void StoreDeepNtfsRows(FoundStore& store, const CString& devicePath, uint64_t rangeFirst, uint64_t rangeEnd,
                       const DeepNtfsGeometry& geometry, const DeepNtfsRows& rows, uint16_t catchAllTime);
