// Crafted pieces of FAT volumes for the Deep Search tests: boot sectors, directory clusters and a
// source that shows a small medium at any sector number.
#pragma once
#include <cstdint>
#include <cstring>

#include "fsrecovery/pure/deep_scan.h"
#include "tests/pure/storage_test_util.h"

namespace deep_test {

struct FatBootFieldsIn {
    bool fat32 = false;
    uint8_t spc = 4;
    uint16_t reserved = 1;
    uint32_t spf = 32;
    uint16_t rootEntries = 512;
    uint32_t total32 = 0;
    uint16_t total16 = 0;
    uint32_t rootCluster = 2;
};

inline void PutFatBoot(uint8_t* s, const FatBootFieldsIn& f)
{
    using namespace storage_test;
    s[0] = 0xEB, s[1] = 0x3C, s[2] = 0x90;
    PutLe16(s + 0x0B, 512);
    s[0x0D] = f.spc;
    PutLe16(s + 0x0E, f.reserved);
    s[0x10] = 2;
    PutLe16(s + 0x13, f.total16);
    s[0x15] = 0xF8;
    PutLe32(s + 0x20, f.total32);
    if (f.fat32) {
        PutLe32(s + 0x24, f.spf);
        PutLe32(s + 0x2C, f.rootCluster);
        PutText(s + 0x52, "FAT32   ");
    } else {
        PutLe16(s + 0x11, f.rootEntries);
        PutLe16(s + 0x16, uint16_t(f.spf));
        PutText(s + 0x36, "FAT16   ");
    }
    s[510] = 0x55, s[511] = 0xAA;
}

// A directory's first sector: its "." and ".." entries, then `more` entries after them.
inline void PutDirectory(uint8_t* s, uint32_t self, uint32_t parent)
{
    storage_test::PutDirEntry(s, ".          ", 0x10, self);
    storage_test::PutDirEntry(s + 32, "..         ", 0x10, parent);
}

// Sector n of `below` shows as sector base + n; nothing else exists.
class HighSource : public SectorSource {
public:
    HighSource(SectorSource& below, uint64_t base) : m_below(below), m_base(base) { }
    size_t Read(uint64_t sector, uint32_t count, uint8_t* buf) override
    {
        if (sector < m_base) {
            BeginSectorRead(count, buf);
            return 0;
        }
        return m_below.Read(sector - m_base, count, buf);
    }

private:
    SectorSource& m_below;
    uint64_t m_base;
};

} // namespace deep_test
