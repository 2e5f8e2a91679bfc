// Loading one of the FAT volumes a Deep scan found into FatVolumeParams.
#pragma once

// Row rowNumber (counted from 1) of FatPartitionTable, in Deep Search on a FAT16/FAT32 selection.
void LoadFatCandidate(int rowNumber);
// Mode 1: row `index` (from 0); mode 0: the row whose cluster-0 sector is WantedCluster0Start.
// Deep Search only, on FAT32, or on FAT16 once the scan assembled at least one volume.
void LoadFatCandidateByIndex(int mode, int index);
