// State of the file-system searches shared with the storage and shell code.
#pragma once
#include <cstdint>

// Number of FAT volumes the Deep scan assembled (rows of FatPartitionTable that count).
extern uint64_t DeepFatVolumeCount;

// Files and folders shown by the current folder listing, as "%llu Folders, %llu Files".
extern volatile uint64_t FoundFolderCount;
extern volatile uint64_t FoundFileCount;
// Deep Search: the cluster-0 start sector of the FAT volume of the selected folder.
extern volatile uint64_t CurrentFolderCluster0Start;
// 1 when the finished scan left something to show (at least two rows in its result table, or
// named entries in a FAT root directory); a listing that finds nothing then stays silent.
extern volatile uint32_t ResultsPresent;
