// State of the file-system searches shared with the storage and shell code.
#pragma once
#include <cstdint>

// Number of FAT volumes the Deep scan assembled (rows of FatPartitionTable that count).
extern uint64_t DeepFatVolumeCount;
