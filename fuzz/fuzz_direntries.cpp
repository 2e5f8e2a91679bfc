// Fuzzes FAT directory entries and long-name assembly: the input is a disk of directory
// sectors; every short entry of its last sector is named, reading earlier sectors as needed.
//
// Input: the disk (at least one whole sector).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "storage/pure/fs_names.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < kSectorSize)
        return 0;
    MemorySectorSource disk(data, size);
    const uint64_t last = size / kSectorSize - 1;
    uint8_t sector[kSectorSize];
    if (!disk.ReadSector(last, sector))
        abort();
    for (uint16_t off = 0; off < kSectorSize; off += 32) {
        const FatDirEntry e = DecodeFatDirEntry(sector + off);
        if (e.longNamePart())
            continue;
        std::u16string name = u"p";
        ParseDirectorySectors(&disk, sector, off, last, name);
        if (name.size() > 1 + 20 * 13 || name[0] != u'p')
            abort();
    }
    return 0;
}
