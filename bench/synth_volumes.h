// Volumes synthesized for the Basic Search benchmarks and written to temporary image files: an
// NTFS volume whose $MFT holds one folder per 100 files, and a FAT32 volume of one-cluster files
// in folders of 100. Every tenth file record or entry is deleted, folders included. Both carry a
// boot sector the volume check accepts, so the whole search can run on them; plus the timing and
// memory helpers the benchmarks share. Builds for Windows and natively.
#pragma once
#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/peak_memory.h"
#include "storage/pure/sector_source.h"
#include "tests/pure/ntfs_test_records.h"

namespace bench {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kSector = 512;
constexpr uint64_t kFilesPerFolder = 100;

inline double Seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

inline std::wstring TempImage(const wchar_t* name)
{
#ifdef _WIN32
    wchar_t dir[MAX_PATH];
    ::GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir) + name;
#else
    const char* dir = std::getenv("TMPDIR");
    const std::string base = dir != nullptr ? dir : "/tmp";
    return std::wstring(base.begin(), base.end()) + L"/" + name;
#endif
}

inline std::string NarrowPath(const std::wstring& path)
{
    std::string narrow;
    for (wchar_t c : path)
        narrow += char(c);
    return narrow;
}

inline FILE* OpenImage(const std::wstring& path, bool write)
{
#ifdef _WIN32
    return _wfopen(path.c_str(), write ? L"wb" : L"rb");
#else
    return std::fopen(NarrowPath(path).c_str(), write ? "wb" : "rb");
#endif
}

inline void RemoveImage(const std::wstring& path)
{
#ifdef _WIN32
    ::DeleteFileW(path.c_str());
#else
    std::remove(NarrowPath(path).c_str());
#endif
}

// Writes `sectors` sectors to a new file, each one filled by sectorFn(number, out) over zeros.
template <class SectorFn> bool WriteImage(const std::wstring& path, uint64_t sectors, SectorFn sectorFn)
{
    FILE* f = OpenImage(path, true);
    if (f == nullptr)
        return false;
    constexpr uint64_t kChunk = 512;
    std::vector<uint8_t> chunk(kChunk * kSector);
    bool ok = true;
    for (uint64_t s = 0; s < sectors && ok; s += kChunk) {
        const uint64_t n = std::min(kChunk, sectors - s);
        std::fill(chunk.begin(), chunk.end(), 0);
        for (uint64_t i = 0; i < n; ++i)
            sectorFn(s + i, chunk.data() + i * kSector);
        ok = fwrite(chunk.data(), kSector, size_t(n), f) == n;
    }
    return fclose(f) == 0 && ok;
}

// Reads `count` sectors from `first` in the scans' block size (256 KiB) and throws the bytes
// away: the seconds it took, what a scan of the same sectors is measured against.
inline double PlainRead(SectorSource& source, uint64_t first, uint64_t count)
{
    constexpr uint32_t kBlock = 512;
    std::vector<uint8_t> block(size_t(kBlock) * kSector);
    const auto t0 = Clock::now();
    for (uint64_t s = 0; s < count; s += kBlock)
        source.Read(first + s, uint32_t(std::min<uint64_t>(kBlock, count - s)), block.data());
    return Seconds(t0, Clock::now());
}

inline bool DeletedAt(uint64_t n)
{
    return n % 10 == 7;
}

// ---- NTFS ---------------------------------------------------------------------------------

// A volume whose records are valid as a writer leaves them (update sequence applied, record
// numbers, sequence numbers, sizes), with the system files' records a volume needs to be opened
// ($Volume's version, $Bitmap's clusters, ...) and every folder's index of the names in it, so that
// a file-system tool other than this program reads it too. Its $MFT is mirrored at cluster 2.
//
// Record numbers: 0 to 11 the system files (5 the root), 12 to 15 unused, 16 .. 16+folders-1 the
// folders under the root, then the files, kFilesPerFolder to a folder. Clusters: 0 the boot
// sector, 2 the mirror, from 16 the cluster bitmap, from 224 the upper-case table, from 256 the
// $MFT, then the root's index and each folder's index, the same number of clusters each.
struct NtfsLayout {
    static constexpr uint32_t kSpc = 8;
    static constexpr uint32_t kClusterBytes = kSpc * 512;
    static constexpr uint64_t kMftCluster = 256, kMirrCluster = 2, kBitmapCluster = 16, kUpCaseCluster = 224;
    static constexpr uint64_t kUpCaseClusters = 32; // 65536 characters of 2 bytes
    static constexpr uint64_t kFirstFolder = 16;
    uint64_t files = 0, folders = 0, records = 0, mftClusters = 0;
    uint64_t rootIndexClusters = 0, folderIndexClusters = 0;
    uint64_t clusters = 0, bitmapClusters = 0, sectors = 0;

    explicit NtfsLayout(uint64_t fileCount) : NtfsLayout(fileCount, std::max<uint64_t>(1, fileCount / kFilesPerFolder))
    { }
    NtfsLayout(uint64_t fileCount, uint64_t folderCount);

    uint64_t MftSector() const { return kMftCluster * kSpc; }
    uint64_t MftSectors() const { return records * 2; }
    uint64_t RootIndexCluster() const { return kMftCluster + mftClusters; }
    uint64_t FolderIndexCluster(uint64_t folder) const
    {
        return RootIndexCluster() + rootIndexClusters + folder * folderIndexClusters;
    }
    uint64_t FilesPerFolder() const { return kFilesPerFolder; }
    // The records of folder k's files: [first, end).
    uint64_t FirstFileOf(uint64_t k) const { return kFirstFolder + folders + k * FilesPerFolder(); }
    uint64_t EndFileOf(uint64_t k) const { return std::min(FirstFileOf(k + 1), records); }
};

// A mapping pair: `count` clusters at `lcn`, both as few little-endian bytes as they need.
inline std::vector<uint8_t> RunPair(uint64_t lcn, uint64_t count)
{
    auto bytes = [](uint64_t v, bool sign) {
        int n = 1;
        while (n < 8 && ((v >> (8 * n)) != 0 || (sign && ((v >> (8 * n - 1)) & 1))))
            ++n;
        return n;
    };
    const int lengthBytes = bytes(count, false), offsetBytes = bytes(lcn, true);
    std::vector<uint8_t> pair{ uint8_t(offsetBytes << 4 | lengthBytes) };
    for (int i = 0; i < lengthBytes; ++i)
        pair.push_back(uint8_t(count >> (8 * i)));
    for (int i = 0; i < offsetBytes; ++i)
        pair.push_back(uint8_t(lcn >> (8 * i)));
    return pair;
}

namespace synth_ntfs {

constexpr uint64_t kSequence = 1; // every record's sequence number, and that of every reference to it
constexpr uint64_t kTime = 0x01D9000000000000ull;
constexpr uint32_t kIndexRecordBytes = NtfsLayout::kClusterBytes;
constexpr uint32_t kIndexEntriesAt = 0x40; // in an index record, behind its header and update array
constexpr uint32_t kRootRecordFixed = 56;  // a record's header and the end of its attributes
const char16_t* const kSystemNames[12] = { u"$MFT",    u"$MFTMirr", u"$LogFile", u"$Volume", u"$AttrDef", u".",
                                           u"$Bitmap", u"$Boot",    u"$BadClus", u"$Secure", u"$UpCase",  u"$Extend" };

inline uint64_t Reference(uint64_t record)
{
    return record | kSequence << 48;
}

inline bool IsFolderRecord(const NtfsLayout& v, uint64_t n)
{
    return n == 5 || n == 11 || (n >= NtfsLayout::kFirstFolder && n < NtfsLayout::kFirstFolder + v.folders);
}

inline bool InUse(const NtfsLayout& v, uint64_t n)
{
    return n < 12 || (n >= NtfsLayout::kFirstFolder && n < v.records && !DeletedAt(n));
}

// Names of the length real ones have, all different: "Folder 0000016 photos",
// "Document 0001234 draft.docx".
inline std::u16string NameOf(const NtfsLayout& v, uint64_t n)
{
    if (n < 12)
        return kSystemNames[n];
    std::u16string name = IsFolderRecord(v, n) ? u"Folder " : u"Document ";
    for (int digit = 6; digit >= 0; --digit) {
        uint64_t place = 1;
        for (int i = 0; i < digit; ++i)
            place *= 10;
        name += char16_t(u'0' + n / place % 10);
    }
    name += IsFolderRecord(v, n) ? u" photos" : u" draft.docx";
    return name;
}

inline uint64_t ParentOf(const NtfsLayout& v, uint64_t n)
{
    if (n < 12 || IsFolderRecord(v, n))
        return 5;
    return NtfsLayout::kFirstFolder + (n - NtfsLayout::kFirstFolder - v.folders) / v.FilesPerFolder();
}

// The $FILE_NAME value of record n, the same in its record and in its parent's index.
inline std::vector<uint8_t> FileNameOf(const NtfsLayout& v, uint64_t n)
{
    std::vector<uint8_t> value = ntfs_test::FileNameValue(Reference(ParentOf(v, n)), kTime + n,
                                                          n < 12 ? 3 : 1, NameOf(v, n));
    for (int t = 1; t < 4; ++t) // changed, written, read: as created
        ntfs_test::Put64(&value[8 + 8 * t], kTime + n);
    if (IsFolderRecord(v, n))
        ntfs_test::Put32(&value[56], 0x10000000); // has an index
    return value;
}

// ---- Indexes -------------------------------------------------------------------------------

// One entry of an index: the file's reference and its $FILE_NAME, and the node of the keys below it.
struct IndexEntry {
    uint64_t reference = 0;
    std::vector<uint8_t> key;
    int64_t child = -1; // its node's VCN, or none
};

inline size_t EntryBytes(const IndexEntry& e)
{
    return ((16 + e.key.size() + 7) & ~size_t(7)) + (e.child >= 0 ? 8 : 0);
}

// Appends the entries and the end entry (its child `endChild`) as an index node holds them.
inline void PutEntries(std::vector<uint8_t>& out, const std::vector<IndexEntry>& entries, int64_t endChild)
{
    auto put = [&](const IndexEntry* e, int64_t child) {
        const size_t keyBytes = e != nullptr ? e->key.size() : 0;
        const size_t length = ((16 + keyBytes + 7) & ~size_t(7)) + (child >= 0 ? 8 : 0);
        const size_t at = out.size();
        out.resize(at + length, 0);
        if (e != nullptr) {
            ntfs_test::Put64(&out[at], e->reference);
            std::memcpy(&out[at + 16], e->key.data(), keyBytes);
        }
        ntfs_test::Put16(&out[at + 8], uint16_t(length));
        ntfs_test::Put16(&out[at + 10], uint16_t(keyBytes));
        out[at + 12] = uint8_t((child >= 0 ? 1 : 0) | (e == nullptr ? 2 : 0));
        if (child >= 0)
            ntfs_test::Put64(&out[at + length - 8], uint64_t(child));
    };
    for (const IndexEntry& e : entries)
        put(&e, e.child);
    put(nullptr, endChild);
}

// Applies the update sequence of a record of `bytes` whose array lies at `arrayAt`.
inline void ApplyUpdateSequence(uint8_t* record, size_t bytes, size_t arrayAt, uint16_t usn)
{
    ntfs_test::Put16(record + arrayAt, usn);
    for (size_t s = 0; s < bytes / 512; ++s) {
        std::memcpy(record + arrayAt + 2 + 2 * s, record + 512 * s + 510, 2);
        ntfs_test::Put16(record + 512 * s + 510, usn);
    }
}

// An index of entries sorted by name: the entries the root attribute holds (and its end entry's
// child) and the index records below it, each at its VCN (a cluster of the index allocation).
struct FolderIndex {
    std::vector<IndexEntry> root;
    int64_t rootEnd = -1;
    std::vector<std::vector<uint8_t>> records;
};

inline std::vector<uint8_t> IndexRecord(uint64_t vcn, const std::vector<IndexEntry>& entries, int64_t endChild)
{
    std::vector<uint8_t> body;
    PutEntries(body, entries, endChild);
    std::vector<uint8_t> rec(kIndexRecordBytes, 0);
    std::memcpy(rec.data(), "INDX", 4);
    ntfs_test::Put16(&rec[4], 0x28);                          // update sequence array
    ntfs_test::Put16(&rec[6], kIndexRecordBytes / 512 + 1); // its entries
    ntfs_test::Put64(&rec[0x10], vcn);
    ntfs_test::Put32(&rec[0x18], kIndexEntriesAt - 0x18);
    ntfs_test::Put32(&rec[0x1C], uint32_t(kIndexEntriesAt - 0x18 + body.size()));
    ntfs_test::Put32(&rec[0x20], kIndexRecordBytes - 0x18);
    ntfs_test::Put32(&rec[0x24], endChild >= 0 ? 1 : 0);
    std::memcpy(&rec[kIndexEntriesAt], body.data(), body.size());
    ApplyUpdateSequence(rec.data(), rec.size(), 0x28, 0x0001);
    return rec;
}

// Builds the B-tree of `entries` (sorted): what the root attribute can hold (rootBytes) stays in
// it; more are spread over index records as evenly as they fit, the entries between them going
// up a level, until what is left fits in the root.
inline FolderIndex BuildIndex(std::vector<IndexEntry> entries, size_t rootBytes)
{
    FolderIndex index;
    int64_t endChild = -1;
    auto bytes = [](const std::vector<IndexEntry>& list, int64_t end) {
        size_t n = 16 + (end >= 0 ? 8 : 0);
        for (const IndexEntry& e : list)
            n += EntryBytes(e);
        return n;
    };
    while (bytes(entries, endChild) > rootBytes) {
        size_t widest = 0;
        for (const IndexEntry& e : entries)
            widest = std::max(widest, EntryBytes(e));
        const size_t room = kIndexRecordBytes - kIndexEntriesAt - 24;
        const size_t perNode = std::max<size_t>(1, room / widest);
        const size_t n = entries.size();
        const size_t nodes = (n + 1 + perNode) / (perNode + 1); // nodes hold n - (nodes - 1) entries
        std::vector<IndexEntry> up;
        size_t next = 0;
        for (size_t k = 0; k < nodes; ++k) {
            const size_t take = (n - (nodes - 1)) / nodes + (k < (n - (nodes - 1)) % nodes ? 1 : 0);
            std::vector<IndexEntry> node(entries.begin() + next, entries.begin() + next + take);
            next += take;
            const uint64_t vcn = index.records.size();
            int64_t nodeEnd = endChild;
            if (k + 1 < nodes) {
                // The entry between this node and the next goes up; its lower keys are this node's.
                IndexEntry separator = entries[next++];
                nodeEnd = separator.child;
                separator.child = int64_t(vcn);
                up.push_back(separator);
            }
            index.records.push_back(IndexRecord(vcn, node, nodeEnd));
            if (k + 1 == nodes)
                endChild = int64_t(vcn);
        }
        entries = std::move(up);
    }
    index.root = std::move(entries);
    index.rootEnd = endChild;
    return index;
}

inline size_t RootIndexRoom()
{
    // A folder's record: header, $STANDARD_INFORMATION, its $FILE_NAME (a name of 21 characters),
    // the index root's headers and the allocation attributes.
    return 1024 - kRootRecordFixed - (24 + 72) - (24 + 66 + 2 * 32) - (32 + 32) - (72 + 8 + 16) - (32 + 8) - 16;
}

inline FolderIndex FolderIndexOf(const NtfsLayout& v, uint64_t folder)
{
    std::vector<IndexEntry> entries;
    if (folder == 5) {
        // The system files sort before every "Folder ...".
        static const uint64_t kOrder[] = { 4, 8, 6, 7, 11, 2, 0, 1, 9, 10, 3 };
        for (uint64_t n : kOrder)
            entries.push_back({ Reference(n), FileNameOf(v, n), -1 });
        for (uint64_t n = NtfsLayout::kFirstFolder; n < NtfsLayout::kFirstFolder + v.folders; ++n)
            if (InUse(v, n))
                entries.push_back({ Reference(n), FileNameOf(v, n), -1 });
    } else if (folder >= NtfsLayout::kFirstFolder) {
        const uint64_t k = folder - NtfsLayout::kFirstFolder;
        for (uint64_t n = v.FirstFileOf(k); n < v.EndFileOf(k); ++n)
            if (InUse(v, n))
                entries.push_back({ Reference(n), FileNameOf(v, n), -1 });
    }
    return BuildIndex(std::move(entries), RootIndexRoom());
}

// ---- Records -------------------------------------------------------------------------------

// Sets the non-resident attribute at `at`'s sizes and last VCN for `clusters` clusters holding
// `size` bytes.
inline void SizeNonResident(ntfs_test::RecordBuilder& b, size_t at, uint64_t clusters, uint64_t size)
{
    ntfs_test::Put64(&b.rec[at + 0x18], clusters - 1);
    ntfs_test::Put64(&b.rec[at + 0x28], clusters * NtfsLayout::kClusterBytes);
    ntfs_test::Put64(&b.rec[at + 0x30], size);
    ntfs_test::Put64(&b.rec[at + 0x38], size);
}

inline void AddData(ntfs_test::RecordBuilder& b, uint64_t lcn, uint64_t clusters, uint64_t size)
{
    const size_t at = b.NonResident(0x80, RunPair(lcn, clusters), 0, size);
    SizeNonResident(b, at, clusters, size);
}

inline void AddIndex(ntfs_test::RecordBuilder& b, const FolderIndex& index, uint64_t allocationCluster)
{
    std::vector<uint8_t> root(32, 0);
    ntfs_test::Put32(&root[0], 0x30); // indexes $FILE_NAME
    ntfs_test::Put32(&root[4], 1);    // by file name
    ntfs_test::Put32(&root[8], kIndexRecordBytes);
    root[12] = 1; // clusters per index record
    PutEntries(root, index.root, index.rootEnd);
    ntfs_test::Put32(&root[16], 16);
    ntfs_test::Put32(&root[20], uint32_t(root.size() - 16));
    ntfs_test::Put32(&root[24], uint32_t(root.size() - 16));
    ntfs_test::Put32(&root[28], index.rootEnd >= 0 ? 1 : 0);
    b.Resident(0x90, root, u"$I30");
    if (index.records.empty())
        return;
    const uint64_t count = index.records.size();
    const size_t at = b.NonResident(0xA0, RunPair(allocationCluster, count), 0, count * kIndexRecordBytes, u"$I30");
    SizeNonResident(b, at, count, count * kIndexRecordBytes);
    std::vector<uint8_t> bitmap(8, 0);
    for (uint64_t r = 0; r < count && r < 64; ++r)
        bitmap[r / 8] |= uint8_t(1 << (r % 8));
    b.Resident(0xB0, bitmap, u"$I30");
}

// The 1024 bytes of record n as written: header fields, attributes, the update sequence.
inline std::vector<uint8_t> NtfsRecord(const NtfsLayout& v, uint64_t n)
{
    using namespace ntfs_test;
    const bool folder = IsFolderRecord(v, n);
    RecordBuilder b(uint8_t((folder ? 2 : 0) | (InUse(v, n) ? 1 : 0)));
    if (n >= 12 && n < NtfsLayout::kFirstFolder) {
        b.rec[22] = 0; // unused
    } else {
        std::vector<uint8_t> standard(72, 0);
        for (int t = 0; t < 4; ++t)
            Put64(&standard[8 * t], kTime + n);
        Put32(&standard[32], n < 12 ? 0x06 : (folder ? 0 : 0x20)); // system and hidden; archive
        b.Resident(0x10, standard);
        b.Resident(0x30, FileNameOf(v, n));
        switch (n) {
        case 0:
            AddData(b, NtfsLayout::kMftCluster, v.mftClusters, v.records * 1024);
            break;
        case 1:
            AddData(b, NtfsLayout::kMirrCluster, 1, 4096);
            break;
        case 3: {
            std::vector<uint8_t> info(12, 0);
            info[8] = 3, info[9] = 1; // version 3.1
            b.Resident(0x60, { 'S', 0, 'Y', 0, 'N', 0, 'T', 0, 'H', 0 });
            b.Resident(0x70, info);
            b.Resident(0x80, {});
            break;
        }
        case 6:
            AddData(b, NtfsLayout::kBitmapCluster, v.bitmapClusters, (v.clusters + 7) / 8);
            break;
        case 7:
            AddData(b, 0, 2, 8192);
            break;
        case 10:
            AddData(b, NtfsLayout::kUpCaseCluster, NtfsLayout::kUpCaseClusters, 131072);
            break;
        default:
            if (folder) {
                const uint64_t cluster = n == 5 ? v.RootIndexCluster()
                    : n == 11            ? 0
                                         : v.FolderIndexCluster(n - NtfsLayout::kFirstFolder);
                AddIndex(b, FolderIndexOf(v, n), cluster);
            } else {
                b.Resident(0x80, {});
            }
        }
    }
    Put16(&b.rec[0x10], uint16_t(kSequence));
    Put16(&b.rec[0x12], 1); // links
    Put32(&b.rec[0x18], uint32_t(b.pos + 8));
    Put32(&b.rec[0x1C], 1024);
    Put32(&b.rec[0x2C], uint32_t(n));
    return b.Finish(0x0001);
}

// The upper-case table: every character stands for itself, but a-z.
inline void UpCaseSector(uint64_t index, uint8_t* out)
{
    for (uint64_t i = 0; i < kSector / 2; ++i) {
        const uint64_t c = index * (kSector / 2) + i;
        ntfs_test::Put16(out + 2 * i, uint16_t(c >= 'a' && c <= 'z' ? c - 32 : c));
    }
}

} // namespace synth_ntfs

inline NtfsLayout::NtfsLayout(uint64_t fileCount, uint64_t folderCount)
    : files(fileCount), folders(std::max<uint64_t>(1, folderCount)), records(kFirstFolder + folders + files),
      mftClusters((records * 2 + kSpc - 1) / kSpc)
{
    // Each folder's index has room for the most files a folder holds (folders past the files hold
    // none); the root's for its folders.
    using namespace synth_ntfs;
    auto clustersOf = [](size_t entries, size_t entryBytes) {
        std::vector<IndexEntry> list(entries);
        for (IndexEntry& e : list)
            e.key.resize(entryBytes);
        return uint64_t(BuildIndex(std::move(list), RootIndexRoom()).records.size());
    };
    folderIndexClusters = clustersOf(size_t(FilesPerFolder()), 66 + 2 * 27);
    rootIndexClusters = clustersOf(size_t(folders + 11), 66 + 2 * 21);
    clusters = FolderIndexCluster(folders) + 1; // and the backup boot sector's
    bitmapClusters = ((clusters + 7) / 8 + kClusterBytes - 1) / kClusterBytes;
    sectors = clusters * kSpc;
}

// What every boot sector holds: the jump, the OEM name, the sector and cluster sizes, the media
// byte and the signature.
inline void BootSectorFrame(uint8_t* s, uint8_t jump, const char* oem, uint8_t sectorsPerCluster)
{
    s[0] = 0xEB, s[1] = jump, s[2] = 0x90;
    std::memcpy(s + 3, oem, 8);
    ntfs_test::Put16(s + 0x0B, kSector);
    s[0x0D] = sectorsPerCluster;
    s[0x15] = 0xF8;
    s[0x1FE] = 0x55, s[0x1FF] = 0xAA;
}

inline void NtfsBootSector(const NtfsLayout& v, uint8_t* s)
{
    using namespace ntfs_test;
    BootSectorFrame(s, 0x52, "NTFS    ", NtfsLayout::kSpc);
    Put16(s + 0x18, 63);  // sectors per track
    Put16(s + 0x1A, 255); // heads
    s[0x24] = 0x80;
    Put64(s + 0x28, v.sectors - 1);
    Put64(s + 0x30, NtfsLayout::kMftCluster);
    Put64(s + 0x38, NtfsLayout::kMirrCluster);
    s[0x40] = 0xF6; // 1024-byte records
    s[0x44] = 0x01; // one-cluster index records
    Put64(s + 0x48, 0x5A52424E43485444ull); // serial
}

inline bool WriteNtfsVolume(const std::wstring& path, const NtfsLayout& v)
{
    using namespace synth_ntfs;
    std::vector<uint8_t> rec;
    uint64_t recNumber = UINT64_MAX;
    auto recordHalf = [&](uint64_t n, uint64_t half, uint8_t* out) {
        if (n != recNumber) {
            rec = NtfsRecord(v, n);
            recNumber = n;
        }
        std::memcpy(out, rec.data() + half * kSector, kSector);
    };
    // Index records of the folder being written, and the root's (kept: it is written first).
    uint64_t indexFolder = UINT64_MAX;
    FolderIndex index;
    const FolderIndex rootIndex = FolderIndexOf(v, 5);
    const uint64_t mirr = NtfsLayout::kMirrCluster * NtfsLayout::kSpc;
    const uint64_t rootIndexSector = v.RootIndexCluster() * NtfsLayout::kSpc;
    const uint64_t foldersIndexSector = v.FolderIndexCluster(0) * NtfsLayout::kSpc;
    return WriteImage(path, v.sectors, [&](uint64_t s, uint8_t* out) {
        const uint64_t cluster = s / NtfsLayout::kSpc, inCluster = s % NtfsLayout::kSpc;
        if (s == 0 || s == v.sectors - 1) {
            NtfsBootSector(v, out);
        } else if (s >= mirr && s < mirr + 8) {
            recordHalf((s - mirr) / 2, (s - mirr) % 2, out);
        } else if (cluster >= NtfsLayout::kBitmapCluster && cluster < NtfsLayout::kBitmapCluster + v.bitmapClusters) {
            const uint64_t firstBit = (s - NtfsLayout::kBitmapCluster * NtfsLayout::kSpc) * kSector * 8;
            for (uint64_t i = 0; i < kSector; ++i) {
                const uint64_t bit = firstBit + i * 8;
                out[i] = bit + 8 <= v.clusters ? 0xFF : bit < v.clusters ? uint8_t((1 << (v.clusters - bit)) - 1) : 0;
            }
        } else if (cluster >= NtfsLayout::kUpCaseCluster && cluster < NtfsLayout::kUpCaseCluster + NtfsLayout::kUpCaseClusters) {
            UpCaseSector(s - NtfsLayout::kUpCaseCluster * NtfsLayout::kSpc, out);
        } else if (s >= v.MftSector() && s < v.MftSector() + v.MftSectors()) {
            recordHalf((s - v.MftSector()) / 2, (s - v.MftSector()) % 2, out);
        } else if (s >= rootIndexSector && s < foldersIndexSector) {
            const uint64_t r = cluster - v.RootIndexCluster();
            if (r < rootIndex.records.size())
                std::memcpy(out, rootIndex.records[r].data() + inCluster * kSector, kSector);
        } else if (s >= foldersIndexSector && s < v.FolderIndexCluster(v.folders) * NtfsLayout::kSpc) {
            const uint64_t k = (cluster - v.FolderIndexCluster(0)) / v.folderIndexClusters;
            const uint64_t r = (cluster - v.FolderIndexCluster(0)) % v.folderIndexClusters;
            if (k != indexFolder) {
                index = FolderIndexOf(v, NtfsLayout::kFirstFolder + k);
                indexFolder = k;
            }
            if (r < index.records.size())
                std::memcpy(out, index.records[r].data() + inCluster * kSector, kSector);
        }
    });
}

// ---- FAT32 --------------------------------------------------------------------------------

// Clusters: the root directory from 2 on, then one per folder, then one per file (its data
// left zero). The root names the folders, each folder its 100 files. With folderCount and no
// files, every cluster after the root's is a folder: the volume a damaged or odd FAT32 looks like
// to the scan when every cluster it reads starts as a directory does.
struct Fat32Layout {
    static constexpr uint32_t kSpc = 8, kReserved = 32, kEntriesPerCluster = kSpc * kSector / 32;
    uint64_t files = 0, folders = 0, rootClusters = 0, clusters = 0;
    uint32_t fatSectors = 0;
    uint64_t cluster0 = 0, sectors = 0;

    explicit Fat32Layout(uint64_t fileCount, uint64_t folderCount = 0)
        : files(fileCount),
          folders(folderCount != 0 ? folderCount : std::max<uint64_t>(1, fileCount / kFilesPerFolder)),
          rootClusters((folders + kEntriesPerCluster - 1) / kEntriesPerCluster),
          clusters(rootClusters + folders + files), fatSectors(uint32_t(((clusters + 2) * 4 + kSector - 1) / kSector)),
          cluster0(kReserved + 2ull * fatSectors - 2ull * kSpc), sectors(cluster0 + (clusters + 2) * kSpc)
    { }
    uint64_t FolderCluster(uint64_t k) const { return 2 + rootClusters + k; }
    uint64_t FileCluster(uint64_t j) const { return 2 + rootClusters + folders + j; }
    uint32_t FatEntry(uint64_t c) const
    {
        if (c < 2)
            return c == 0 ? 0x0FFFFFF8 : 0x0FFFFFFF;
        if (c < 2 + rootClusters)
            return c + 1 < 2 + rootClusters ? uint32_t(c + 1) : 0x0FFFFFFF;
        const uint64_t k = c - 2 - rootClusters;
        if (k < folders)
            return DeletedAt(k) ? 0 : 0x0FFFFFFF;
        return c < clusters + 2 && !DeletedAt(k - folders) ? 0x0FFFFFFF : 0;
    }
};

inline void FatEntry(uint8_t* e, const char* name11, uint8_t attr, uint64_t cluster, uint32_t size, bool deleted)
{
    using namespace ntfs_test;
    std::memcpy(e, name11, 11);
    if (deleted)
        e[0] = 0xE5;
    e[0x0B] = attr;
    Put16(e + 0x0E, 0x6000); // 12:00
    Put16(e + 0x10, 0x5A21); // 2025-01-01
    Put16(e + 0x16, 0x6000);
    Put16(e + 0x18, 0x5A21);
    Put16(e + 0x14, uint16_t(cluster >> 16));
    Put16(e + 0x1A, uint16_t(cluster));
    Put32(e + 0x1C, size);
}

inline void Fat32BootSector(const Fat32Layout& v, uint8_t* s)
{
    using namespace ntfs_test;
    BootSectorFrame(s, 0x58, "MSWIN4.1", Fat32Layout::kSpc);
    Put16(s + 0x0E, Fat32Layout::kReserved);
    s[0x10] = 2;
    Put32(s + 0x20, uint32_t(v.sectors));
    Put32(s + 0x24, v.fatSectors);
    Put32(s + 0x2C, 2);
    Put16(s + 0x30, 1);
    Put16(s + 0x32, 6);
    s[0x42] = 0x29;
    std::memcpy(s + 0x52, "FAT32   ", 8);
}

inline void Fat32DataSector(const Fat32Layout& v, uint64_t cluster, uint64_t offset, uint8_t* out)
{
    char name[12];
    for (uint64_t i = 0; i < kSector / 32; ++i) {
        const uint64_t entry = offset * (kSector / 32) + i;
        uint8_t* e = out + i * 32;
        if (cluster < 2 + v.rootClusters) {
            const uint64_t k = (cluster - 2) * Fat32Layout::kEntriesPerCluster + entry;
            if (k >= v.folders)
                return;
            std::snprintf(name, sizeof name, "DIR%05u   ", unsigned(k));
            FatEntry(e, name, 0x10, v.FolderCluster(k), 0, DeletedAt(k));
            continue;
        }
        const uint64_t k = cluster - 2 - v.rootClusters;
        if (k >= v.folders)
            return; // a file's data
        if (entry == 0) {
            FatEntry(e, ".          ", 0x10, cluster, 0, false);
        } else if (entry == 1) {
            FatEntry(e, "..         ", 0x10, 0, 0, false);
        } else {
            const uint64_t j = k * kFilesPerFolder + entry - 2;
            if (entry - 2 >= kFilesPerFolder || j >= v.files)
                return;
            std::snprintf(name, sizeof name, "F%07uTXT", unsigned(j));
            FatEntry(e, name, 0x20, v.FileCluster(j), 4096, DeletedAt(j));
        }
    }
}

inline bool WriteFat32Volume(const std::wstring& path, const Fat32Layout& v)
{
    return WriteImage(path, v.sectors, [&](uint64_t s, uint8_t* out) {
        if (s == 0 || s == 6) {
            Fat32BootSector(v, out);
        } else if (s >= Fat32Layout::kReserved && s < Fat32Layout::kReserved + 2ull * v.fatSectors) {
            const uint64_t first = (s - Fat32Layout::kReserved) % v.fatSectors * (kSector / 4);
            for (uint64_t i = 0; i < kSector / 4; ++i)
                ntfs_test::Put32(out + 4 * i, v.FatEntry(first + i));
        } else if (s >= v.cluster0 + 2ull * Fat32Layout::kSpc) {
            const uint64_t cluster = (s - v.cluster0) / Fat32Layout::kSpc;
            if (cluster < 2 + v.rootClusters + v.folders)
                Fat32DataSector(v, cluster, (s - v.cluster0) % Fat32Layout::kSpc, out);
        }
    });
}

} // namespace bench
