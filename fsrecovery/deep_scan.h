// Deep Search's scan of one request into the found-entry store, on the device the request names:
// the carving of its range, then the volumes and rows made from what it found (ScanDeepRequest).
// It reads only what the request names, polls the stop flag and ends by itself.
#pragma once
#include "fsrecovery/pure/deep_results.h"

void RunDeepSearchScan(const ScanRequest& request, FoundStore& store, const StopFlag* stop,
                       const DeepScanObserver& observer);
