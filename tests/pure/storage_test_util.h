// Crafted media for the storage tests: a sparse disk with failing sectors, and the test images' folder.
#pragma once
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "storage/pure/scan_target.h"
#include "storage/pure/sector_source.h"
#include "storage/pure/storage_host.h"

namespace storage_test {

using Sector = std::array<uint8_t, kSectorSize>;

// Next on partition [start, end) of a disk.
inline ScanSelection PartitionSelection(uint16_t disk, uint64_t start, uint64_t end, const wchar_t* fs)
{
    ScanSelection s;
    s.kind = L"part";
    s.fsName = fs;
    s.diskNumber = disk;
    s.startSector = start;
    s.endSector = end;
    return s;
}

inline void PutLe16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void PutLe32(uint8_t* p, uint32_t v)
{
    PutLe16(p, uint16_t(v));
    PutLe16(p + 2, uint16_t(v >> 16));
}
inline void PutLe64(uint8_t* p, uint64_t v)
{
    PutLe32(p, uint32_t(v));
    PutLe32(p + 4, uint32_t(v >> 32));
}
inline void PutText(uint8_t* p, const char* text)
{
    std::memcpy(p, text, std::strlen(text));
}

// A 32-byte FAT directory entry.
inline void PutDirEntry(uint8_t* e, const char* name11, uint8_t attributes = 0x20, uint32_t cluster = 0,
                        uint32_t size = 0)
{
    std::memcpy(e, name11, 11);
    e[11] = attributes;
    PutLe16(e + 20, uint16_t(cluster >> 16));
    PutLe16(e + 26, uint16_t(cluster));
    PutLe32(e + 28, size);
}

// Unwritten sectors read as zeros (or from `below`); sectors in `failing` fail.
class CraftedDisk : public SectorSource {
public:
    explicit CraftedDisk(uint64_t sizeSectors, SectorSource* below = nullptr) : m_size(sizeSectors), m_below(below) { }

    Sector& At(uint64_t sector)
    {
        auto it = m_sectors.find(sector);
        if (it == m_sectors.end()) {
            Sector s{};
            if (m_below != nullptr)
                m_below->Read(sector, 1, s.data());
            it = m_sectors.emplace(sector, s).first;
        }
        return it->second;
    }
    void Fail(uint64_t sector) { failing.insert(sector); }

    size_t Read(uint64_t sector, uint32_t count, uint8_t* buf) override
    {
        ++reads;
        readLog.push_back(sector);
        if (count != 0)
            highestAsked = std::max(highestAsked, sector + count - 1);
        if (!BeginSectorRead(count, buf) || sector >= m_size || failing.count(sector))
            return 0;
        uint32_t n = 0;
        for (; n < count && sector + n < m_size && !failing.count(sector + n); ++n) {
            auto it = m_sectors.find(sector + n);
            if (it != m_sectors.end())
                std::memcpy(buf + size_t(n) * kSectorSize, it->second.data(), kSectorSize);
            else if (m_below != nullptr)
                m_below->Read(sector + n, 1, buf + size_t(n) * kSectorSize);
        }
        return size_t(n) * kSectorSize;
    }

    std::set<uint64_t> failing;
    int reads = 0;
    std::vector<uint64_t> readLog;
    uint64_t highestAsked = 0; // the last sector any read asked for

private:
    uint64_t m_size;
    SectorSource* m_below;
    std::map<uint64_t, Sector> m_sectors;
};

// Records the tree items a reading inserts (handles 1, 2, 3, ...) and answers the automatic
// partition search's questions as a test sets them.
struct RecordingHost : StorageHost {
    TreeItemHandle InsertPartitionItem(TreeItemHandle, const CString& text) override
    {
        texts.push_back(text);
        return reinterpret_cast<TreeItemHandle>(uintptr_t(texts.size()));
    }
    CString LogicalDrivePath() override { return L"\\\\.\\C:"; }
    AutoSearchState QueryAutoSearchState() override { return state; }
    bool StartPartitionSearch() override { return ++started, startWorks; }
    std::vector<CString> texts;
    AutoSearchState state;
    bool startWorks = true;
    int started = 0;
};

inline void SetSignature(Sector& s)
{
    s[510] = 0x55;
    s[511] = 0xAA;
}

// Partition-table entry k of an MBR or EBR.
inline void SetEntry(Sector& s, int k, uint8_t type, uint32_t start, uint32_t count)
{
    uint8_t* p = s.data() + 446 + 16 * k;
    p[4] = type;
    PutLe32(p + 8, start);
    PutLe32(p + 12, count);
}

// A boot sector that carries only the text naming its file system.
inline void MarkFs(Sector& s, const std::string& fs)
{
    if (fs == "FAT32")
        PutText(s.data() + 0x52, "FAT32   ");
    else if (fs == "FAT16")
        PutText(s.data() + 0x36, "FAT16   ");
    else if (fs == "NTFS")
        PutText(s.data() + 3, "NTFS    ");
}

// A boot sector naming its file system and counting its sectors where that file system does.
inline void PutBootSector(CraftedDisk& disk, uint64_t at, const std::string& fs, uint64_t size)
{
    Sector& s = disk.At(at);
    MarkFs(s, fs);
    SetSignature(s);
    if (fs == "NTFS")
        PutLe64(s.data() + 0x28, size);
    else
        PutLe32(s.data() + 0x20, uint32_t(size));
}

inline std::string ImagesDir()
{
    const char* dir = std::getenv("ZR_IMAGES");
    return dir != nullptr ? dir : "";
}

} // namespace storage_test
