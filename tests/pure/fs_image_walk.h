// Walks whole NTFS and FAT volumes with the decoders, for checking what they find, live or
// deleted, against the truth files of the test images.
#pragma once
#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "storage/pure/bootsector.h"
#include "storage/pure/fat_chain.h"
#include "storage/pure/fs_names.h"
#include "storage/pure/mft_runs.h"
#include "storage/pure/ntfs_record.h"
#include "tests/pure/sha256_util.h"

namespace fs_walk {

// One line of IMAGE.truth.tsv: state, path (folders end in "/"), size, sha256, notes.
struct TruthLine {
    std::string state, path, sha256, notes;
    int64_t size = -1;
    bool isDir() const { return !path.empty() && path.back() == '/'; }
};

inline std::vector<TruthLine> ParseTruth(std::istream& in) {
    std::vector<TruthLine> lines;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> f;
        std::stringstream ss(line);
        for (std::string cell; std::getline(ss, cell, '\t');) f.push_back(cell);
        f.resize(5);
        TruthLine t{f[0], f[1], f[3], f[4]};
        t.size = f[2] == "-" || f[2].empty() ? -1 : std::stoll(f[2]);
        lines.push_back(t);
    }
    return lines;
}

inline std::string Utf8(const std::u16string& s) { return ToUtf8(NameToCString(s)); }

inline std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

struct Found {
    std::string path;           // "/DOCS/x.txt"; folders end in "/"
    bool deleted = false, isDir = false;
    std::function<bool(std::vector<uint8_t>&)> read;    // the file's bytes
    uint32_t firstCluster = 0;  // FAT: where the file's data begins
    uint64_t record = 0;        // NTFS: the file's record number
};

// Reads `size` bytes of a file from its cluster runs (sparse runs read as zeros).
inline bool ReadRuns(SectorSource& src, uint64_t volumeStart, uint32_t spc, const std::vector<ClusterRun>& runs,
                     uint64_t size, std::vector<uint8_t>& out) {
    out.clear();
    std::vector<uint8_t> buf;
    for (const ClusterRun& r : runs) {
        if (out.size() >= size) break;
        const uint64_t bytes = std::min<uint64_t>(r.clusterCount * spc * kSectorSize, size - out.size());
        const uint32_t sectors = uint32_t((bytes + kSectorSize - 1) / kSectorSize);
        buf.assign(size_t(sectors) * kSectorSize, 0);
        if (!r.sparse && src.Read(volumeStart + r.firstCluster * spc, sectors, buf.data()) == 0) return false;
        out.insert(out.end(), buf.begin(), buf.begin() + size_t(bytes));
    }
    return out.size() == size;
}

// Every named base record of the volume whose path leads to the root.
inline std::vector<Found> WalkNtfs(SectorSource& src, uint64_t volumeStart, MftRunTableRecord* tableOut) {
    std::vector<Found> found;
    uint8_t boot[kSectorSize];
    if (!src.ReadSector(volumeStart, boot))
        return found;
    const uint32_t spc = ReadNtfsBootFields(boot).sectorsPerCluster;
    MftRunTableRecord& table = *tableOut;
    if (spc == 0 || !LoadMftRunTableFrom(src, volumeStart,
                                         volumeStart + ReadNtfsBootFields(boot).mftCluster * spc, spc, table))
        return found;
    struct Info {
        uint32_t parent;
        std::u16string name;
        uint8_t flags;
    };
    std::map<uint64_t, Info> records;
    std::vector<uint8_t> rec(kMftRecordSize);
    for (uint64_t n = 0; n < table.totalSectors() / kSectorsPerMftRecord; ++n) {
        if (!ReadMftRecordAt(src, table, n, rec.data()) || !IsFileRecord(rec.data(), rec.size()))
            continue;
        ApplyNtfsFixup(rec.data(), rec.size());
        MftFileName fn;
        for (int ns : {kNameSpaceWin32, kNameSpaceWin32AndDos, kNameSpacePosix, kNameSpaceDos})
            if (FindMftFileName(rec.data(), ns, fn))
                break;
        if ((Le64At(&rec[32]) & 0xFFFFFFFFFFFFull) == 0 && !fn.name.empty())
            records[n] = {fn.parent, fn.name, rec[22]};
    }
    for (const auto& [n, info] : records) {
        const bool isDir = (info.flags & 2) != 0;
        std::string path = Utf8(info.name) + (isDir ? "/" : "");
        uint64_t p = info.parent;
        for (int depth = 0; p != 5 && depth < 64 && records.count(p); ++depth) {
            path = Utf8(records[p].name) + "/" + path;
            p = records[p].parent;
        }
        if (n < 16 || p != 5)
            continue;
        const uint64_t record = n;
        auto read = [&src, table, record, volumeStart, spc](std::vector<uint8_t>& out) {
            std::vector<uint8_t> r(kMftRecordSize);
            if (!ReadMftRecordAt(src, table, record, r.data()))
                return false;
            ApplyNtfsFixup(r.data(), r.size());
            size_t at = 0;
            const int kind = FindUnnamedDataAttribute(r.data(), &at);
            NtfsAttribute a;
            if (kind == 1 && FindNtfsAttribute(r.data(), r.size(), kAttrData, true, a)) {
                out.assign(r.begin() + a.valueOffset, r.begin() + a.valueOffset + a.valueLength);
                return true;
            }
            return kind == 2 && DecodeDataRuns(r.size(), r.data(), at) &&
                   ReadRuns(src, volumeStart, spc, DataRunList, Le64At(&r[at + 48]), out);
        };
        found.push_back({"/" + path, (info.flags & 1) == 0, isDir, read});
        found.back().record = n;
    }
    return found;
}

struct FatVolume {
    bool fat32 = false;
    uint32_t spc = 0, sectorsPerFat = 0, rootCluster = 0;
    uint64_t fatStart = 0, rootStart = 0, rootSectors = 0, dataStart = 0;
    uint64_t ClusterSector(uint32_t c) const { return dataStart + uint64_t(c - 2) * spc; }
};

inline bool ReadFatVolume(SectorSource& src, uint64_t volumeStart, FatVolume& v) {
    uint8_t boot[kSectorSize];
    if (!src.ReadSector(volumeStart, boot)) return false;
    v.fat32 = ClassifyBootText(boot, false) == BootText::Fat32;
    const FatBootFields f = ReadFatBootFields(boot, v.fat32);
    if (!FatFieldsPlausible(f)) return false;
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
inline std::string ShortName(const uint8_t* e) {
    std::string base(reinterpret_cast<const char*>(e), 8), ext(reinterpret_cast<const char*>(e + 8), 3);
    base.erase(base.find_last_not_of(' ') + 1);
    ext.erase(ext.find_last_not_of(' ') + 1);
    return ext.empty() ? base : base + "." + ext;
}

inline std::vector<uint64_t> ClusterSectors(const FatVolume& v, const std::vector<uint32_t>& chain) {
    std::vector<uint64_t> sectors;
    for (uint32_t c : chain)
        for (uint32_t i = 0; i < v.spc; ++i)
            sectors.push_back(v.ClusterSector(c) + i);
    return sectors;
}

inline void WalkFatDir(SectorSource& src, const FatVolume& v, const std::vector<uint64_t>& sectors,
                       const std::string& prefix, bool deletedParent, int depth, std::vector<Found>& found) {
    const FatChainGeometry geo{v.fat32, v.fatStart, v.sectorsPerFat};
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
            const std::string path = prefix + (lfn.empty() ? ShortName(s + off) : Utf8(lfn)) +
                                     (e.directory() ? "/" : "");
            const uint32_t first = e.firstCluster;
            const uint64_t size = e.size, clusterBytes = uint64_t(v.spc) * kSectorSize;
            // Deleted entries lost their chains: their data is read as contiguous clusters.
            auto read = [&src, v, geo, first, size, clusterBytes, deleted](std::vector<uint8_t>& out) {
                out.clear();
                if (size == 0)
                    return first == 0;
                const uint64_t need = (size + clusterBytes - 1) / clusterBytes;
                std::vector<ClusterRun> runs;
                if (deleted) {
                    runs.push_back({first - 2, need, false});
                } else {
                    std::vector<uint32_t> chain;
                    WalkFatChain(src, geo, first, UINT64_MAX, {}, chain);
                    if (chain.size() != need)
                        return false;
                    for (uint32_t c : chain)
                        runs.push_back({c - 2, 1, false});
                }
                return ReadRuns(src, v.dataStart, v.spc, runs, size, out);
            };
            found.push_back({path, deleted, e.directory(), read});
            found.back().firstCluster = first;
            if (e.directory() && first >= 2) {
                std::vector<uint32_t> chain{first};
                if (!deleted)
                    WalkFatChain(src, geo, first, UINT64_MAX, {}, chain);
                WalkFatDir(src, v, ClusterSectors(v, chain), path, deleted, depth + 1, found);
            }
        }
    }
}

inline std::vector<Found> WalkFat(SectorSource& src, uint64_t volumeStart) {
    std::vector<Found> found;
    FatVolume v;
    if (!ReadFatVolume(src, volumeStart, v))
        return found;
    std::vector<uint64_t> root;
    if (v.fat32) {
        std::vector<uint32_t> chain;
        WalkFatChain(src, {true, v.fatStart, v.sectorsPerFat}, v.rootCluster, UINT64_MAX, {}, chain);
        root = ClusterSectors(v, chain);
    } else {
        for (uint64_t i = 0; i < v.rootSectors; ++i)
            root.push_back(v.rootStart + i);
    }
    WalkFatDir(src, v, root, "/", false, 0, found);
    return found;
}

// Equal paths, letters compared without case, a deleted short name's first character (0xE5)
// matching anything.
inline bool PathMatches(const std::string& truth, const std::string& found) {
    if (truth.size() != found.size()) return false;
    for (size_t i = 0; i < truth.size(); ++i) {
        const bool lost = uint8_t(found[i]) == 0xE5 && (i == 0 || found[i - 1] == '/');
        if (!lost && Lower(truth.substr(i, 1)) != Lower(found.substr(i, 1))) return false;
    }
    return true;
}

}  // namespace fs_walk
