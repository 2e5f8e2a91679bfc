// The head of a scan log (".QLX") and what every reader of a log reports. The head is all the
// start-up reads of a log named on the command line before it opens the search dialog that
// loads the rest (fsrecovery/pure/scan_log.h); both readers share the statuses below, so that
// the callers choose their message or question from one place.
#pragma once
#include <cstdint>
#include <new>

#include "framework/pure/archive.h"
#include "framework/pure/cstring.h"

// The search mode written into a log: the dialog that wrote it and may load it.
constexpr uint32_t kScanLogModeBasic = 1;
constexpr uint32_t kScanLogModeDeep = 2;

enum class ScanLogStatus {
    Ok,
    NotALog,     // the second text is not our marker
    UnknownMode, // a search mode other than Basic or Deep
    OtherMode,   // a log of the other search dialog (Basic loading a Deep log or the reverse)
    Invalid,     // values no scan writes: an unknown device block, a bad disk number or geometry
    Damaged,     // the data ends early or is malformed; what was read completely is kept
};

// The sections of a log in file order. A reader reports the last one it read completely, so a
// caller can still check the medium and show the partial tree of a cut log.
enum class ScanLogPart {
    None,
    Head,       // kind, marker, disk identity, mode
    Device,     // the logical-drive or physical-disk block
    Volume,     // the selected volume, its geometry and the FAT parameters (validated)
    FatVolumes, // Deep logs of a FAT selection: the FAT volume rows
    Tree,       // the folder tree up to and including its end line
    Tables,     // the NTFS rows and the recognised partitions: the whole log
};

struct ScanLogResult {
    ScanLogStatus status = ScanLogStatus::Ok;
    ScanLogPart complete = ScanLogPart::None;
    CString errorText; // Damaged: why, in the archive's words (shown before the corrupt-log text)
};

struct ScanLogHeader {
    CString kind;         // the drive-tree kind of the scanned item ("Logical", "Hard Disk", ...)
    CString diskIdentity; // the selected disk's identity text; kept, never used to find the disk
    uint32_t mode = 0;    // kScanLogModeBasic or kScanLogModeDeep
};

// Writes the kind, the marker, the identity and the mode.
void WriteScanLogHeader(CArchive& ar, const ScanLogHeader& header);

// Reads the head and leaves the archive at the device block: NotALog as soon as the marker is
// wrong, Damaged when the data ends inside the head, UnknownMode for a mode other than 1 and 2,
// else Ok. The start-up refuses every status but Ok with the invalid-log message.
ScanLogResult ReadScanLogHeader(CArchive& ar, ScanLogHeader& header);

// Marks the result Damaged with the given reason.
void SetScanLogDamaged(ScanLogResult& result, const CString& why);

// Runs one reading step and turns what a damaged log makes it throw (archive, file and memory
// errors) into result.status = Damaged with the error's text. True when the step ran through.
template <class Step> bool RunScanLogStep(ScanLogResult& result, Step&& step)
{
    try {
        step();
        return true;
    } catch (CException* e) {
        SetScanLogDamaged(result, e->GetErrorText());
        e->Delete();
    } catch (const std::bad_alloc&) {
        SetScanLogDamaged(result, CMemoryException().GetErrorText());
    }
    return false;
}
