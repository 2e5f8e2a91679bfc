#include "fsrecovery/deep_scan.h"

#include "fsrecovery/basicscan.h"
#include "storage/sectorreader.h"

void RunDeepSearchScan(const ScanRequest& request, FoundStore& store, const StopFlag* stop,
                       const DeepScanObserver& observer)
{
    KeptHandleSectorSource device(request.target.devicePath);
    ScanDeepRequest(device, request, store, CurrentFatTime(), stop, observer);
}
