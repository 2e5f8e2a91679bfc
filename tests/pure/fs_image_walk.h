// The truth files of the test images, and a walk of whole FAT volumes with the decoders that finds
// each file's path, state and first cluster.
#pragma once
#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "storage/pure/bootsector.h"
#include "storage/pure/fat_chain.h"
#include "storage/pure/fs_names.h"

namespace fs_walk {

// One line of IMAGE.truth.tsv: state, path (folders end in "/"), size, sha256, notes.
struct TruthLine {
    std::string state, path, sha256, notes;
    int64_t size = -1;
    bool isDir() const { return !path.empty() && path.back() == '/'; }
};

// The lines of a truth file that are not comments, split at tabs.
inline std::vector<std::vector<std::string>> ReadTsvRows(std::istream& in)
{
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<std::string> cells;
        std::stringstream ss(line);
        for (std::string cell; std::getline(ss, cell, '\t');)
            cells.push_back(cell);
        rows.push_back(cells);
    }
    return rows;
}

inline std::vector<TruthLine> ParseTruth(std::istream& in)
{
    std::vector<TruthLine> lines;
    for (std::vector<std::string> f : ReadTsvRows(in)) {
        f.resize(5);
        TruthLine t{ f[0], f[1], f[3], f[4] };
        t.size = f[2] == "-" || f[2].empty() ? -1 : std::stoll(f[2]);
        lines.push_back(t);
    }
    return lines;
}

inline std::string Utf8(const std::u16string& s)
{
    return ToUtf8(NameToCString(s));
}

inline std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

struct Found {
    std::string path; // "/DOCS/x.txt"; folders end in "/"
    bool deleted = false, isDir = false;
    uint32_t firstCluster = 0; // where the file's data begins
};

struct FatVolume {
    bool fat32 = false;
    uint32_t spc = 0, sectorsPerFat = 0, rootCluster = 0;
    uint64_t fatStart = 0, rootStart = 0, rootSectors = 0, dataStart = 0;
    uint64_t ClusterSector(uint32_t c) const { return dataStart + uint64_t(c - 2) * spc; }
};

inline bool ReadFatVolume(SectorSource& src, uint64_t volumeStart, FatVolume& v)
{
    uint8_t boot[kSectorSize];
    if (!src.ReadSector(volumeStart, boot))
        return false;
    v.fat32 = ClassifyBootText(boot, false) == BootText::Fat32;
    const FatBootFields f = ReadFatBootFields(boot, v.fat32);
    if (!FatFieldsPlausible(f))
        return false;
    v.spc = f.sectorsPerCluster;
    v.sectorsPerFat = f.sectorsPerFat;
    v.fatStart = volumeStart + f.reservedSectors;
    v.rootStart = v.fatStart + uint64_t(boot[16]) * f.sectorsPerFat;
    v.rootSectors = v.fat32 ? 0 : (uint64_t(f.rootEntries) * 32 + 511) / 512;
    v.dataStart = v.rootStart + v.rootSectors;
    v.rootCluster = f.rootCluster;
    return true;
}

// "NAME.EXT" of a short entry (paths are compared without case).
inline std::string ShortName(const uint8_t* e)
{
    std::string base(reinterpret_cast<const char*>(e), 8), ext(reinterpret_cast<const char*>(e + 8), 3);
    base.erase(base.find_last_not_of(' ') + 1);
    ext.erase(ext.find_last_not_of(' ') + 1);
    return ext.empty() ? base : base + "." + ext;
}

inline std::vector<uint64_t> ClusterSectors(const FatVolume& v, const std::vector<uint32_t>& chain)
{
    std::vector<uint64_t> sectors;
    for (uint32_t c : chain)
        for (uint32_t i = 0; i < v.spc; ++i)
            sectors.push_back(v.ClusterSector(c) + i);
    return sectors;
}

inline void WalkFatDir(SectorSource& src, const FatVolume& v, const std::vector<uint64_t>& sectors,
                       const std::string& prefix, bool deletedParent, int depth, std::vector<Found>& found)
{
    const FatChainGeometry geo{ v.fat32, v.fatStart, v.sectorsPerFat };
    uint8_t s[kSectorSize];
    for (uint64_t sn : sectors) {
        if (depth > 16 || !src.ReadSector(sn, s))
            return;
        for (uint16_t off = 0; off < kSectorSize; off += 32) {
            const FatDirEntry e = DecodeFatDirEntry(s + off);
            if (e.endOfDirectory())
                return;
            if (e.longNamePart() || e.volumeLabel() || e.shortName[0] == '.')
                continue;
            std::u16string lfn;
            ParseDirectorySectors(&src, s, off, sn, lfn);
            const bool deleted = e.deleted() || deletedParent;
            const std::string path =
                prefix + (lfn.empty() ? ShortName(s + off) : Utf8(lfn)) + (e.directory() ? "/" : "");
            const uint32_t first = e.firstCluster;
            found.push_back({ path, deleted, e.directory(), first });
            if (e.directory() && first >= 2) {
                std::vector<uint32_t> chain{ first };
                if (!deleted)
                    WalkFatChain(src, geo, first, UINT64_MAX, {}, chain);
                WalkFatDir(src, v, ClusterSectors(v, chain), path, deleted, depth + 1, found);
            }
        }
    }
}

inline std::vector<Found> WalkFat(SectorSource& src, uint64_t volumeStart)
{
    std::vector<Found> found;
    FatVolume v;
    if (!ReadFatVolume(src, volumeStart, v))
        return found;
    std::vector<uint64_t> root;
    if (v.fat32) {
        std::vector<uint32_t> chain;
        WalkFatChain(src, { true, v.fatStart, v.sectorsPerFat }, v.rootCluster, UINT64_MAX, {}, chain);
        root = ClusterSectors(v, chain);
    } else {
        for (uint64_t i = 0; i < v.rootSectors; ++i)
            root.push_back(v.rootStart + i);
    }
    WalkFatDir(src, v, root, "/", false, 0, found);
    return found;
}

} // namespace fs_walk
