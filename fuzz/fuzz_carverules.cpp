// Fuzzes the checks a carving search makes before a scan and the lists it keeps during one: the
// sector fields never accept a range that is empty or wrapped, a drive letter's range on its
// disk stays inside the volume and the disk, the destination check takes any text, and the
// result lists never show more than their limit nor lose a count.
//
// Input: two texts up to the first two NUL bytes (Start and End, one byte one character), then
// little-endian 64-bit words for the volume fields and facts, then one byte per find (bit 0: the
// Thorough pass, bit 1: a stop under way, bits 2-3: the type).
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "sigrecovery/pure/carve_results.h"
#include "app/pure/sector_fields.h"
#include "storage/pure/destination_check.h"

#define CHECK(cond)                                                                                                    \
    do {                                                                                                               \
        if (!(cond))                                                                                                   \
            std::abort();                                                                                              \
    } while (0)

namespace {

struct Input {
    const uint8_t* p;
    size_t n;
    CString Text()
    {
        CString s;
        while (n > 0 && *p != 0) {
            s += static_cast<wchar_t>(*p++);
            --n;
        }
        if (n > 0)
            ++p, --n;
        return s;
    }
    uint64_t Word()
    {
        uint64_t v = 0;
        const size_t k = n < 8 ? n : 8;
        std::memcpy(&v, p, k);
        p += k, n -= k;
        return v;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in{ data, size };
    const CString startText = in.Text(), endText = in.Text();
    for (uint64_t span : { 1, 2 }) {
        const SectorFields f = CheckSectorFields(startText, endText, span);
        if (f.check == SectorFieldsCheck::Ok)
            CHECK(f.end > f.start && f.end - f.start >= span);
    }

    VolumeRangeFields fields{ in.Word(), in.Word(), in.Word(), in.Word() };
    VolumeOnDisk volume{ in.Word(), in.Word(), in.Word() };
    uint64_t start = 0, end = 0;
    if (MapVolumeRangeToDisk(fields, volume, &start, &end)) {
        CHECK(volume.firstSector <= start && start <= end && end <= volume.lastSector);
        CHECK(volume.diskSectors == 0 || end < volume.diskSectors);
    }

    DestinationFacts destination;
    destination.folder = startText;
    destination.volumeRoot = endText;
    destination.isFolder = destination.writable = true;
    destination.volumeExtents = { { uint32_t(fields.min), volume.firstSector, volume.lastSector } };
    ScannedMedium scanned;
    scanned.devicePath = endText;
    scanned.firstSector = fields.start;
    scanned.endSector = fields.end;
    scanned.volumeExtents = { { uint32_t(fields.max), volume.diskSectors, fields.start } };
    const DestinationCheck check = CheckDestination(destination, scanned);
    CHECK(DestinationRefusalText(check).IsEmpty() == (check == DestinationCheck::Ok));

    CarveResults results;
    results.Start({ L"JPG", L"PNG", L"jpg" });
    CHECK(results.TypeRows().size() == 2);
    static const wchar_t* const kKeys[] = { L"JPG", L"PNG", L"GIF", L"png" };
    uint64_t general = 0, thorough = 0;
    // Each input byte stands for many finds, so that the limit is reached.
    while (in.n > 0) {
        const uint8_t b = *in.p++;
        --in.n;
        for (int repeat = 0; repeat < 97; ++repeat) {
            CarveFound found;
            found.key = kKeys[(b >> 2) & 3];
            found.thorough = (b & 1) != 0;
            const size_t before = results.Shown().size();
            const CarveListStep step = results.Add(found, (b & 2) != 0);
            CHECK((step == CarveListStep::Append) == (before < kCarveListLimit));
            CHECK(results.Shown().size() <= kCarveListLimit && !results.Shown().empty());
            ++(found.thorough ? thorough : general);
        }
    }
    CHECK(results.FoundCount(false) == general && results.FoundCount(true) == thorough);
    uint64_t typed = 0;
    for (const CarveResults::TypeRow& row : results.TypeRows())
        typed += row.count;
    CHECK(typed <= general + thorough);
    return 0;
}
