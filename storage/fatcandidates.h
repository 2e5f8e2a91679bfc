// Loading one of the FAT volumes a Deep scan found into the volume parameters of a selection. The
// rows are those of FatPartitionTable, which the caller hands in; the gates ask the storage host
// which search runs.
#pragma once
#include <cstdint>
#include <vector>

#include "storage/pure/fat_chain.h"

// Row rowNumber (counted from 1) into `params`, in Deep Search on a FAT16/FAT32 selection
// (`fsName`, the selected file system).
void LoadFatCandidate(const std::vector<FatCandidateRow>& rows, int rowNumber, const CString& fsName,
                      FatVolumeParamsRecord& params);
// Mode 1: row `index` (from 0); mode 0: the row whose cluster-0 sector is wantedCluster0Start.
// Deep Search only, on FAT32, or on FAT16 once the scan assembled at least one volume
// (assembledVolumes, the Deep scan's count of them).
void LoadFatCandidateByIndex(const std::vector<FatCandidateRow>& rows, int mode, int index, uint64_t assembledVolumes,
                             const CString& fsName, uint64_t wantedCluster0Start, FatVolumeParamsRecord& params);
