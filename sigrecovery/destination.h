// What the carving searches find out about a chosen destination folder and about the medium they
// read, for the destination rule (sigrecovery/pure/destination_check.h).
#pragma once
#include "afxwin.h"
#include "sigrecovery/pure/destination_check.h"
#include "storage/pure/scan_target.h"

// Whether the folder exists, takes a file (one is made and removed again at once), which volume
// holds it and where that volume lies on the disks (when the system says).
DestinationFacts ReadDestinationFacts(const CString& folder);

// The device and sectors a scan reads; for a drive letter also where its volume lies on the disks.
ScannedMedium DescribeScannedMedium(const ScanTarget& target);
