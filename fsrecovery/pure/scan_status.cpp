#include "fsrecovery/pure/scan_status.h"

ScanStatusTexts ScanStatusTextsOf(const ScanStatusSnapshot& s)
{
    ScanStatusTexts t;
    switch (s.phase) {
    case BasicScanPhase::Validating:
        t.scanned = L"Validating Partition ...";
        break;
    case BasicScanPhase::Probing:
        t.probeDone.Format(L"%llu", (unsigned long long)(s.first + s.done));
        t.probeTotal.Format(L"/ %llu", (unsigned long long)s.end);
        break;
    case BasicScanPhase::FatScan:
        // The sector counts name places on the device: the block reached and the end of the volume.
        t.scanned.Format(L"sectors scanned of total %llu", (unsigned long long)s.end);
        t.current.Format(L"%llu", (unsigned long long)(s.first + s.done));
        break;
    case BasicScanPhase::NtfsScan:
        // Here they count the $MFT's own sectors: those read so far of all its runs.
        t.scanned.Format(L"sectors scanned of total %llu", (unsigned long long)(s.end - s.first));
        t.current.Format(L"%llu", (unsigned long long)s.done);
        break;
    case BasicScanPhase::SearchingLost:
        t.status = L"Searching Lost Directories. Please wait...";
        break;
    case BasicScanPhase::Storing:
        t.status = L"Storing Directory Information. Please wait...";
        break;
    }
    return t;
}

bool ProgressThrottle::Due(uint64_t done, uint64_t total)
{
    if (!m_started) {
        m_started = true;
        m_ended = false;
        m_step = 0;
        return true;
    }
    if (m_ended)
        return false;
    if (done >= total) {
        m_ended = true;
        return true;
    }
    // done * kSteps / total without overflow: total above 2^56 is counted in its high bits.
    const uint64_t step = total <= UINT64_MAX / kSteps ? done * kSteps / total : done / (total / kSteps + 1);
    if (step <= m_step)
        return false;
    m_step = step;
    return true;
}
