// The checks a search with a sector range makes before it starts: the Start and End fields of the
// drive page and the range of a drive letter scanned through its disk. (The destination of a
// carving search: storage/pure/destination_check.h.)
#pragma once

#include <cstdint>

#include "cstring.h"

// ---- Sector fields --------------------------------------------------------------------------

enum class SectorFieldsCheck {
    Ok,
    StartMissing,     // no Start text
    EndNotAfterStart, // no End text, End 0, or End not far enough after Start
};

struct SectorFields {
    SectorFieldsCheck check = SectorFieldsCheck::Ok;
    uint64_t start = 0;
    uint64_t end = 0;
};

// The Start and End texts of the drive step. Blanks around a text do not count; a text that is
// not a number reads as 0 (so does a negative one: it is no sector). Start must not be empty; End
// must not be empty or 0 and must lie at least minSpan sectors after Start (the search's
// description says how many: Photo Search refuses "0" to "1", the others take it).
SectorFields CheckSectorFields(const CString& startText, const CString& endText, uint64_t minSpan);

// The message of a refusal ("" for Ok). The scan refuses its range with the EndNotAfterStart one.
CString SectorFieldsRefusalText(SectorFieldsCheck check);

// The check of the scan itself: a range whose end is not after its start is not scanned.
inline bool IsScanRange(uint64_t start, uint64_t end)
{
    return end > start;
}

// ---- A drive letter scanned through its disk ------------------------------------------------

// Where the volume lies on its disk, and the disk's size.
struct VolumeOnDisk {
    uint64_t firstSector = 0; // on the disk
    uint64_t lastSector = 0;  // inclusive
    uint64_t diskSectors = 0; // 0: not known
};

// The four fields of the drive step, in sectors of the volume.
struct VolumeRangeFields {
    uint64_t min = 0, max = 0, start = 0, end = 0;
};

// The disk sectors that the fields name: first + (Start - Min) to last - (Max - End). Start and
// End are taken inside [Min, Max] first and the result stays inside the volume and the disk, so
// no field the user typed can make it wrap or reach past either. False (and nothing set) when no
// sector is left.
bool MapVolumeRangeToDisk(const VolumeRangeFields& fields, const VolumeOnDisk& volume, uint64_t* start, uint64_t* end);
