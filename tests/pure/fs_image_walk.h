// Walks whole NTFS and FAT volumes with the decoders, for checking them against the truth
// files of the test images: every file record or directory entry found, live or deleted, with
// its path and a way to read its data back.
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

// One line of IMAGE.truth.tsv.
struct TruthLine {
    std::string state, path, sha256, notes;
    int64_t size = -1;
    bool isDir() const { return !path.empty() && path.back() == '/'; }
    bool Has(const std::string& note) const { return notes.find(note) != std::string::npos; }
};

inline std::vector<TruthLine> ParseTruth(std::istream& in)
{
    std::vector<TruthLine> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<std::string> f;
        std::stringstream ss(line);
        std::string cell;
        while (std::getline(ss, cell, '\t'))
            f.push_back(cell);
        f.resize(5);
        TruthLine t;
        t.state = f[0];
        t.path = f[1];
        t.size = f[2] == "-" || f[2].empty() ? -1 : std::stoll(f[2]);
        t.sha256 = f[3];
        t.notes = f[4];
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

// A file or folder found on a volume.
struct Found {
    std::string path;           // "/DOCS/x.txt"; folders end in "/"
    bool deleted = false;
    bool isDir = false;
    uint64_t size = 0;
    std::function<bool(std::vector<uint8_t>&)> read;    // its data, size bytes
};

inline std::string Sha(const std::vector<uint8_t>& data)
{
    test_sha256::Sha256 h;
    h.Update(data.data(), data.size());
    return h.HexDigest();
}

// Reads `size` bytes of a file from its cluster runs (sparse runs read as zeros).
inline bool ReadRuns(SectorSource& src, uint64_t volumeStart, uint32_t spc,
                     const std::vector<ClusterRun>& runs, uint64_t size, std::vector<uint8_t>& out)
{
    out.clear();
    std::vector<uint8_t> buf;
    for (const ClusterRun& r : runs) {
        if (out.size() >= size)
            break;
        const uint64_t bytes = std::min<uint64_t>(r.clusterCount * spc * kSectorSize, size - out.size());
        const uint32_t sectors = uint32_t((bytes + kSectorSize - 1) / kSectorSize);
        buf.assign(size_t(sectors) * kSectorSize, 0);
        if (!r.sparse && src.Read(volumeStart + r.firstCluster * spc, sectors, buf.data()) == 0)
            return false;
        out.insert(out.end(), buf.begin(), buf.begin() + size_t(bytes));
    }
    return out.size() == size;
}

// ---- NTFS --------------------------------------------------------------------------------

struct NtfsRecordInfo {
    uint32_t parent = 0;
    std::u16string name;
    bool isDir = false, inUse = false;
};

// Every base record of the volume that has a name, by record number, with the MFT run table.
inline std::vector<Found> WalkNtfs(SectorSource& src, uint64_t volumeStart, MftRunTableRecord* tableOut = nullptr)
{
    std::vector<Found> found;
    uint8_t boot[kSectorSize];
    if (!src.ReadSector(volumeStart, boot))
        return found;
    const NtfsBootFields f = ReadNtfsBootFields(boot);
    const uint32_t spc = f.sectorsPerCluster;
    MftRunTableRecord table;
    if (spc == 0 || !LoadMftRunTableFrom(src, volumeStart, volumeStart + f.mftCluster * spc, spc, table))
        return found;
    if (tableOut)
        *tableOut = table;
    std::map<uint64_t, NtfsRecordInfo> records;
    const uint64_t count = table.totalSectors() / kSectorsPerMftRecord;
    std::vector<uint8_t> rec(kMftRecordSize);
    for (uint64_t n = 0; n < count; ++n) {
        if (!ReadMftRecordAt(src, table, n, rec.data()) || !IsFileRecord(rec.data(), rec.size()))
            continue;
        ApplyNtfsFixup(rec.data(), rec.size());
        if ((Le64At(&rec[32]) & 0xFFFFFFFFFFFFull) != 0)
            continue;
        MftFileName fn;
        for (int ns : {kNameSpaceWin32, kNameSpaceWin32AndDos, kNameSpacePosix, kNameSpaceDos})
            if (FindMftFileName(rec.data(), ns, fn))
                break;
        if (fn.name.empty())
            continue;
        NtfsRecordInfo info;
        info.parent = fn.parent;
        info.name = fn.name;
        info.isDir = (rec[22] & 2) != 0;
        info.inUse = (rec[22] & 1) != 0;
        records[n] = info;
    }
    for (const auto& entry : records) {
        const uint64_t n = entry.first;
        const NtfsRecordInfo& info = entry.second;
        if (n < 16)
            continue;
        std::string path = Utf8(info.name) + (info.isDir ? "/" : "");
        uint64_t p = info.parent;
        for (int depth = 0; p != 5 && depth < 64; ++depth) {
            auto it = records.find(p);
            if (it == records.end())
                break;
            path = Utf8(it->second.name) + "/" + path;
            p = it->second.parent;
        }
        if (p != 5)
            continue;
        Found x;
        x.path = "/" + path;
        x.deleted = !info.inUse;
        x.isDir = info.isDir;
        x.read = [&src, table, n, volumeStart, spc](std::vector<uint8_t>& out) {
            std::vector<uint8_t> r(kMftRecordSize);
            if (!ReadMftRecordAt(src, table, n, r.data()))
                return false;
            ApplyNtfsFixup(r.data(), r.size());
            size_t at = 0;
            switch (FindUnnamedDataAttribute(r.data(), &at)) {
            case 1: {
                NtfsAttribute a;
                FindNtfsAttribute(r.data(), r.size(), kAttrData, true, a);
                out.assign(r.begin() + a.valueOffset, r.begin() + a.valueOffset + a.valueLength);
                return true;
            }
            case 2: {
                if (!DecodeDataRuns(r.size(), r.data(), at))
                    return false;
                const uint64_t size = Le64At(&r[at + 48]);
                return ReadRuns(src, volumeStart, spc, DataRunList, size, out);
            }
            default:
                return false;
            }
        };
        found.push_back(x);
    }
    return found;
}

// ---- FAT ---------------------------------------------------------------------------------

struct FatVolume {
    bool fat32 = false;
    uint32_t spc = 0;
    uint64_t fatStart = 0, rootStart = 0, rootSectors = 0, dataStart = 0;
    uint32_t sectorsPerFat = 0, rootCluster = 0;
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

// "NAME.EXT" of a short entry, lower-cased where the entry's case bits say so; a deleted
// entry's lost first character stays 0xE5.
inline std::string ShortName(const uint8_t* e)
{
    std::string base(reinterpret_cast<const char*>(e), 8), ext(reinterpret_cast<const char*>(e + 8), 3);
    base.erase(base.find_last_not_of(' ') + 1);
    ext.erase(ext.find_last_not_of(' ') == std::string::npos ? 0 : ext.find_last_not_of(' ') + 1);
    if (e[12] & 0x08)
        base = Lower(base);
    if (e[12] & 0x10)
        ext = Lower(ext);
    return ext.empty() ? base : base + "." + ext;
}

inline void WalkFatDir(SectorSource& src, const FatVolume& v, const std::vector<uint64_t>& sectors,
                       const std::string& prefix, bool deletedParent, int depth, std::vector<Found>& found)
{
    if (depth > 16)
        return;
    uint8_t s[kSectorSize];
    const FatChainGeometry geo{v.fat32, v.fatStart, v.sectorsPerFat};
    for (uint64_t sn : sectors) {
        if (!src.ReadSector(sn, s))
            return;
        for (uint16_t off = 0; off < kSectorSize; off += 32) {
            const FatDirEntry e = DecodeFatDirEntry(s + off);
            if (e.endOfDirectory())
                return;
            if (e.longNamePart() || e.volumeLabel() || e.shortName[0] == '.')
                continue;
            std::u16string lfn;
            ParseDirectorySectors(&src, s, off, sn, lfn);
            std::string name = lfn.empty() ? ShortName(s + off) : Utf8(lfn);
            Found x;
            x.deleted = e.deleted() || deletedParent;
            x.isDir = e.directory();
            x.size = e.size;
            x.path = prefix + name + (x.isDir ? "/" : "");
            const uint32_t first = e.firstCluster;
            const uint64_t clusterBytes = uint64_t(v.spc) * kSectorSize;
            const uint64_t size = e.size;
            // Deleted entries lost their chains: their data is read as contiguous clusters.
            const bool contiguous = x.deleted;
            x.read = [&src, v, geo, first, size, clusterBytes, contiguous](std::vector<uint8_t>& out) {
                std::vector<ClusterRun> runs;
                if (size == 0) {
                    out.clear();
                    return first == 0;
                }
                const uint64_t need = (size + clusterBytes - 1) / clusterBytes;
                if (contiguous) {
                    runs.push_back({first, need, false});
                } else {
                    std::vector<uint32_t> chain;
                    WalkFatChain(src, geo, first, UINT64_MAX, {}, chain);
                    if (chain.size() != need)
                        return false;
                    for (uint32_t c : chain)
                        runs.push_back({c, 1, false});
                }
                // Clusters as runs from the data area's cluster 0.
                for (ClusterRun& r : runs)
                    r.firstCluster -= 2;
                return ReadRuns(src, v.dataStart, v.spc, runs, size, out);
            };
            found.push_back(x);
            if (x.isDir && first >= 2) {
                std::vector<uint32_t> chain{first};
                if (!x.deleted)
                    WalkFatChain(src, geo, first, UINT64_MAX, {}, chain);
                std::vector<uint64_t> sub;
                for (uint32_t c : chain)
                    for (uint32_t i = 0; i < v.spc; ++i)
                        sub.push_back(v.ClusterSector(c) + i);
                WalkFatDir(src, v, sub, x.path, x.deleted, depth + 1, found);
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
        WalkFatChain(src, {true, v.fatStart, v.sectorsPerFat}, v.rootCluster, UINT64_MAX, {}, chain);
        for (uint32_t c : chain)
            for (uint32_t i = 0; i < v.spc; ++i)
                root.push_back(v.ClusterSector(c) + i);
    } else {
        for (uint64_t i = 0; i < v.rootSectors; ++i)
            root.push_back(v.rootStart + i);
    }
    WalkFatDir(src, v, root, "/", false, 0, found);
    return found;
}

// Whether a found path names the truth's path: exactly, or with the first character of a
// deleted short name lost (0xE5 in its place), letters compared without case.
inline bool PathMatches(const std::string& truth, const std::string& found)
{
    if (truth == found)
        return true;
    std::vector<std::string> a, b;
    std::stringstream sa(truth), sb(found);
    std::string part;
    while (std::getline(sa, part, '/'))
        a.push_back(part);
    while (std::getline(sb, part, '/'))
        b.push_back(part);
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const std::string x = Lower(a[i]), y = Lower(b[i]);
        if (x == y)
            continue;
        if (y.empty() || uint8_t(y[0]) != 0xE5 || x.size() != y.size() || x.substr(1) != y.substr(1))
            return false;
    }
    return true;
}

// Each truth line that promises a file or folder is matched by one found entry of the same
// state, and a file's bytes read back hash to the truth's.
inline void CheckAgainstTruth(const std::vector<TruthLine>& truth, const std::vector<Found>& found,
                              int minDeleted = 5)
{
    // Exact paths through an index; names with a lost first character by a search.
    std::multimap<std::string, const Found*> byPath;
    for (const Found& f : found)
        byPath.emplace(f.path, &f);
    int files = 0, deleted = 0;
    for (const TruthLine& t : truth) {
        if (t.state == "overwritten" || t.Has("parent-overwritten") || t.Has("filler"))
            continue;
        const bool wantDeleted = t.state == "deleted";
        std::vector<const Found*> candidates;
        for (auto range = byPath.equal_range(t.path); range.first != range.second; ++range.first)
            candidates.push_back(range.first->second);
        if (candidates.empty())
            for (const Found& f : found)
                if (PathMatches(t.path, f.path))
                    candidates.push_back(&f);
        bool named = false, matched = false;
        for (const Found* f : candidates) {
            if (f->deleted != wantDeleted || f->isDir != t.isDir())
                continue;
            named = true;
            std::vector<uint8_t> data;
            if (t.isDir() || (f->read(data) && int64_t(data.size()) == t.size && Sha(data) == t.sha256)) {
                matched = true;
                break;
            }
        }
        EXPECT_TRUE(named) << t.state << " " << t.path << " not found";
        EXPECT_TRUE(matched || !named) << t.state << " " << t.path << " does not read back";
        files += !t.isDir();
        deleted += wantDeleted;
    }
    EXPECT_GT(files, 20);
    EXPECT_GE(deleted, minDeleted);
}

}  // namespace fs_walk
