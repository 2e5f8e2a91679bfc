#include "fsrecovery/fsglobals.h"

uint64_t DeepFatVolumeCount = 0;
