// Fuzzes the LZNT1 decoder of NTFS compressed files, alone and through the unit-by-unit copy of
// a file's extents: whatever the chunks say, nothing is read or written outside the buffers, the
// copy writes no more than the file's size, and exactly that size when it says Done.
//
// Input: byte 0 = the unit (2^(0..7) sectors); bytes 1-8 = four extents (count in sectors, sparse
// when the high bit is set); then the compressed bytes, which are also the disk.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fsrecovery/pure/file_copy.h"
#include "storage/pure/lznt1.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 9)
        return 0;
    const uint32_t unitSectors = 1u << (data[0] & 7);
    std::vector<CopyExtent> extents;
    uint64_t sector = 0;
    for (int i = 0; i < 4; ++i) {
        const uint8_t e = data[1 + i * 2];
        const uint64_t count = (e & 0x7F) % (2 * unitSectors) + 1;
        extents.push_back({ (e & 0x80) ? 0 : sector, count, (e & 0x80) != 0 });
        sector += data[2 + i * 2] % 8;
    }
    data += 9;
    size -= 9;

    // The decoder alone, into a unit of its own size: the same bytes always give the same answer.
    std::vector<uint8_t> out(size_t(unitSectors) * kSectorSize), again(out.size());
    const Lznt1Status first = DecompressLznt1(data, size, out.data(), out.size());
    if (DecompressLznt1(data, size, again.data(), again.size()) != first ||
        (first == Lznt1Status::Ok && out != again))
        abort();

    MemorySectorSource disk(data, size);
    uint64_t total = 0;
    for (const CopyExtent& x : extents)
        total += x.sectorCount;
    const uint64_t fileSize = total * kSectorSize - (size % kSectorSize);
    uint64_t written = 0;
    const CopyResult result = CopyCompressedExtents(disk, extents, fileSize, unitSectors,
                                                    [&written](const uint8_t*, size_t n) {
                                                        written += n;
                                                        return true;
                                                    });
    if (written > fileSize || (result == CopyResult::Done && written != fileSize))
        abort();
    return 0;
}
