#include "fsrecovery/fsglobals.h"

uint64_t DeepFatVolumeCount = 0;
volatile uint64_t FoundFolderCount = 0;
volatile uint64_t FoundFileCount = 0;
volatile uint64_t CurrentFolderCluster0Start = 0;
volatile uint32_t ResultsPresent = 0;
