#include "app/pure/sector_fields.h"

#include <algorithm>

SectorFields CheckSectorFields(const CString& startText, const CString& endText, uint64_t minSpan)
{
    SectorFields out;
    CString start = startText, end = endText;
    start.Trim();
    end.Trim();
    if (start.IsEmpty()) {
        out.check = SectorFieldsCheck::StartMissing;
        return out;
    }
    out.start = StrToUInt64(start);
    out.end = StrToUInt64(end);
    minSpan = std::max<uint64_t>(minSpan, 1);
    if (end.IsEmpty() || out.end == 0 || out.end < out.start || out.end - out.start < minSpan)
        out.check = SectorFieldsCheck::EndNotAfterStart;
    return out;
}

CString SectorFieldsRefusalText(SectorFieldsCheck check)
{
    switch (check) {
    case SectorFieldsCheck::Ok:
        return CString();
    case SectorFieldsCheck::StartMissing:
        return L"Please enter the \x2018Start Sector\x2019 of the Drive.";
    case SectorFieldsCheck::EndNotAfterStart:
        return L"The value of \x2018"
               L"End Sector\x2019 cannot be less than or equal to the \x2018"
               L"Start Sector\x2019 of the Drive.";
    }
    return CString();
}

bool MapVolumeRangeToDisk(const VolumeRangeFields& fields, const VolumeOnDisk& volume, uint64_t* start, uint64_t* end)
{
    const uint64_t lo = std::min(fields.min, fields.max), hi = std::max(fields.min, fields.max);
    const uint64_t s = std::clamp(fields.start, lo, hi), e = std::clamp(fields.end, lo, hi);
    if (volume.lastSector < volume.firstSector)
        return false;
    const uint64_t span = volume.lastSector - volume.firstSector;
    // Both offsets are at most hi - lo; past the volume's own span nothing of it is left.
    if (s - lo > span || hi - e > span)
        return false;
    const uint64_t first = volume.firstSector + (s - lo);
    uint64_t last = volume.lastSector - (hi - e);
    if (volume.diskSectors != 0) {
        if (first >= volume.diskSectors)
            return false;
        last = std::min(last, volume.diskSectors - 1);
    }
    if (first > last)
        return false;
    *start = first;
    *end = last;
    return true;
}
