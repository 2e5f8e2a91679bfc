// What a Basic scan shows while it runs: the step it is at, the texts of its status controls and
// how often they change. A scan reports every block or record; the dialog's controls belong to
// another thread, so only the reports that move the display by a visible step reach them.
#pragma once
#include <cstdint>

#include "cstring.h"

enum class BasicScanPhase : uint8_t {
    Validating,    // the volume check, before anything is counted
    Probing,       // the FAT geometry probe, sector by sector of the volume
    FatScan,       // the FAT directory clusters, block by block from cluster 2
    NtfsScan,      // the $MFT's records, sector by sector of its runs
    SearchingLost, // the orphan pass
    Storing,       // the results tree being built
};

// One report: the phase, the range its progress counts in ([first, end), in sectors; the NTFS
// scan counts the $MFT's sectors from 0) and how far it is.
struct ScanStatusSnapshot {
    BasicScanPhase phase = BasicScanPhase::Validating;
    uint64_t first = 0;
    uint64_t end = 0;
    uint64_t done = 0; // counted from first
};

// The texts of the status controls for a report; an empty text is an empty control.
struct ScanStatusTexts {
    CString scanned;    // "sectors scanned of total N", or the volume check's note
    CString current;    // the sector (FAT) or the count of sectors (NTFS) reached
    CString probeDone;  // the probe's sector
    CString probeTotal; // "/ " and the probe's last sector
    CString status;     // the finishing steps' line
};
ScanStatusTexts ScanStatusTextsOf(const ScanStatusSnapshot& s);

// Lets through the first report of a phase, then one report per kSteps-th of its range, and the
// report that reaches the end: at most kSteps + 2 reports a phase, however many are made.
class ProgressThrottle {
public:
    static constexpr uint64_t kSteps = 200;
    void Restart() { m_started = false; }
    bool Due(uint64_t done, uint64_t total);

private:
    bool m_started = false;
    bool m_ended = false;
    uint64_t m_step = 0; // the step reached by the last report let through
};
