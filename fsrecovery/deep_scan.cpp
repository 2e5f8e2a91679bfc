#include "fsrecovery/deep_scan.h"

#include "fsrecovery/basic_scan.h"
#include "storage/sector_source.h"

void RunDeepSearchScan(const ScanRequest& request, FoundStore& store, const StopFlag* stop,
                       const DeepScanObserver& observer)
{
    KeptHandleSectorSource device(request.target.devicePath);
    ScanDeepRequest(device, request, store, CurrentFatTime(), stop, observer);
}
