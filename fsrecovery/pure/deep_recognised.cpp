#include "fsrecovery/pure/deep_recognised.h"

#include <cstring>

#include "storage/pure/le.h"
#include "storage/pure/size_text.h"

namespace {

} // namespace

bool RecognisedVolumeOf(const uint8_t* boot, uint64_t start, uint64_t driveEnd, const CString& key, int number,
                        RecognisedVolume& out)
{
    if (boot[510] != 0x55 || boot[511] != 0xAA)
        return false;
    std::vector<CString> cells(16);
    uint64_t size = 0;
    if (std::memcmp(boot + 3, "NTFS", 4) == 0) {
        size = Le32At(boot + 40);
        // The copy of the boot sector in the sector after the volume: where the size it states
        // does not fit behind it but does before it, the volume it closes is the one listed.
        if (driveEnd > start && size > driveEnd - start && size != 0 && size <= start)
            start -= size;
        if (driveEnd > start && size > driveEnd - start)
            size = driveEnd - start;
        const uint32_t spc = boot[13];
        const uint32_t perRecord = Le32At(boot + 68);
        out.fsName = L"NTFS";
        cells[6] = DecimalText(spc);
        cells[7] = DecimalText(perRecord == 0xF4 ? 8 : uint64_t(perRecord) * spc);
        cells[8] = L"2";
        cells[9] = DecimalText(Le32At(boot + 40));
        cells[10] = DecimalText(Le32At(boot + 48));
        cells[11] = DecimalText(Le32At(boot + 56));
    } else if (boot[57] == '1' && boot[58] == '6') {
        size = Le32At(boot + 32);
        const uint64_t spf = Le16At(boot + 22), spc = boot[13], reserved = Le16At(boot + 14);
        const uint64_t rootSectors = Le16At(boot + 17) >> 4;
        out.fsName = L"FAT16";
        cells[6] = DecimalText(spf);
        cells[7] = DecimalText(spc);
        cells[8] = DecimalText(rootSectors);
        cells[9] = DecimalText(start + reserved + 2 * spf);
        cells[10] = DecimalText(reserved);
        // Cluster 0 lies two clusters before the data area behind the root.
        cells[11] = DecimalText(start + reserved + 2 * spf + rootSectors - 2 * spc);
        cells[12] = DecimalText(start + reserved);
        cells[13] = DecimalText(start + reserved + spf);
    } else {
        return false;
    }
    if (size == 0)
        return false;
    cells[0] = key;
    cells[1].Format(L"Recognised%d", number);
    cells[2] = out.fsName;
    cells[3] = DecimalText(start);
    cells[4] = DecimalText(start + size);
    cells[5] = FormatSize(size * 512);
    out.start = start;
    out.size = size;
    out.cells = std::move(cells);
    return true;
}

bool AddRecognisedVolume(std::vector<RecognisedVolume>& rows, const RecognisedVolume& volume)
{
    for (const RecognisedVolume& row : rows) {
        if (row.cells[0] != volume.cells[0] || row.fsName != volume.fsName)
            continue;
        if (row.start == volume.start && row.size == volume.size)
            return false;
        // An NTFS volume keeps a copy of its boot sector in the sector after the count it states.
        if (volume.fsName == L"NTFS" && volume.start == row.start + row.size)
            return false;
    }
    rows.push_back(volume);
    return true;
}
