#include "app/pure/scan_log_header.h"

#include "app/pure/shell_rules.h"

void WriteScanLogHeader(CArchive& ar, const ScanLogHeader& header)
{
    ar << header.kind << CString(kScanLogMarker) << header.diskIdentity << header.mode;
}

void SetScanLogDamaged(ScanLogResult& result, const CString& why)
{
    result.status = ScanLogStatus::Damaged;
    result.errorText = why;
}

ScanLogResult ReadScanLogHeader(CArchive& ar, ScanLogHeader& header)
{
    ScanLogResult result;
    header = ScanLogHeader();
    CString marker;
    // The marker is judged before the rest is read, as the loaders refuse another program's
    // file at once.
    if (!RunScanLogStep(result, [&] { ar >> header.kind >> marker; }))
        return result;
    if (marker != kScanLogMarker) {
        result.status = ScanLogStatus::NotALog;
        return result;
    }
    if (!RunScanLogStep(result, [&] { ar >> header.diskIdentity >> header.mode; }))
        return result;
    result.complete = ScanLogPart::Head;
    if (header.mode != kScanLogModeBasic && header.mode != kScanLogModeDeep)
        result.status = ScanLogStatus::UnknownMode;
    return result;
}
