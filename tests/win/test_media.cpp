// The test media as the program will meet them under Wine: images by their Z: paths and through
// the volume and disk devices the setup links in (\\.\W: \\.\X: \\.\Y: \\.\V:,
// \\.\PhysicalDrive1-3), checked against the layout, truth and manifest files written when the
// images were made. Later tests trust those files; these checks are what earns the trust.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/images.h"

using namespace zr_test;

namespace {

const uint64_t kSector = 512;

std::string Bytes(const std::vector<uint8_t>& b, size_t off, size_t n) {
    if (off + n > b.size()) return "";
    return std::string(b.begin() + off, b.begin() + off + n);
}

bool HasBootSignature(const std::vector<uint8_t>& s) {
    return s.size() >= 512 && s[510] == 0x55 && s[511] == 0xAA;
}

std::string Hex2(unsigned v) {
    char buf[4];
    snprintf(buf, sizeof buf, "%02x", v & 0xFF);
    return buf;
}

// A GPT GUID as text: the first three fields are stored little-endian, the rest as bytes.
std::string GuidText(const uint8_t* p) {
    char buf[40];
    snprintf(buf, sizeof buf, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", unsigned(Le32(p)),
             unsigned(Le16(p + 4)), unsigned(Le16(p + 6)), p[8], p[9], p[10], p[11], p[12], p[13], p[14], p[15]);
    return buf;
}

uint32_t Crc32(const uint8_t* p, size_t n) {
    uint32_t crc = 0xFFFFFFFF;
    while (n--) {
        crc ^= *p++;
        for (int k = 0; k < 8; ++k) crc = crc >> 1 ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

std::string Label11(const std::string& label) {
    std::string l = label == "-" ? "NO NAME" : label;
    l.resize(11, ' ');
    return l;
}

// The FAT boot sector of the volume that starts at byte base of dev, against its layout line.
// Whether a FAT is FAT16 or FAT32 follows from its cluster count alone, so that is checked too.
void CheckFat(const ReadOnlyFile& dev, const LayoutEntry& e, uint64_t base) {
    std::vector<uint8_t> b = dev.Read(base, kSector);
    ASSERT_EQ(b.size(), kSector);
    EXPECT_TRUE(HasBootSignature(b));
    EXPECT_TRUE(b[0] == 0xEB || b[0] == 0xE9);
    const unsigned bps = Le16(&b[11]), spc = b[13], reserved = Le16(&b[14]), fats = b[16];
    const unsigned rootEntries = Le16(&b[17]);
    const uint32_t total = Le16(&b[19]) ? Le16(&b[19]) : Le32(&b[32]);
    const uint32_t fatSectors = Le16(&b[22]) ? Le16(&b[22]) : Le32(&b[36]);
    EXPECT_EQ(bps, kSector);
    EXPECT_EQ(bps * spc, e.cluster);
    // mkfs.fat may leave a few sectors at the end unused (34 on the bare FAT32 volume).
    EXPECT_LE(total, e.count);
    EXPECT_GT(total, e.count - 128);
    if (e.index < 5) {
        EXPECT_EQ(Le32(&b[28]), e.start);  // hidden sectors
    }
    const uint32_t rootSectors = (rootEntries * 32 + bps - 1) / bps;
    const uint32_t clusters = (total - reserved - fats * fatSectors - rootSectors) / spc;
    if (e.fs == "fat32") {
        EXPECT_GE(clusters, 65525u);
        EXPECT_EQ(rootEntries, 0u);
        EXPECT_EQ(Le16(&b[22]), 0u);
        EXPECT_EQ(Le32(&b[44]), 2u);  // root folder cluster
        EXPECT_EQ(Bytes(b, 71, 11), Label11(e.label));
        EXPECT_EQ(Bytes(b, 82, 8), "FAT32   ");
        std::vector<uint8_t> info = dev.Read(base + Le16(&b[48]) * kSector, kSector);
        EXPECT_EQ(Bytes(info, 0, 4), "RRaA");
        EXPECT_EQ(Bytes(info, 484, 4), "rrAa");
        EXPECT_EQ(dev.Read(base + Le16(&b[50]) * kSector, kSector), b) << "backup boot sector";
    } else {
        EXPECT_GE(clusters, 4085u);
        EXPECT_LT(clusters, 65525u);
        EXPECT_EQ(Bytes(b, 43, 11), Label11(e.label));
        EXPECT_EQ(Bytes(b, 54, 8), "FAT16   ");
    }
    std::vector<uint8_t> fat = dev.Read(base + reserved * kSector, 4);
    ASSERT_EQ(fat.size(), 4u);
    EXPECT_EQ(fat[0], b[21]) << "the first FAT entry repeats the media byte";
}

// The NTFS boot sector, its backup in the volume's last sector and the MFT it points at.
void CheckNtfs(const ReadOnlyFile& dev, const LayoutEntry& e, uint64_t base) {
    std::vector<uint8_t> b = dev.Read(base, kSector);
    ASSERT_EQ(b.size(), kSector);
    EXPECT_TRUE(HasBootSignature(b));
    EXPECT_EQ(Bytes(b, 3, 8), "NTFS    ");
    EXPECT_EQ(Le16(&b[11]), kSector);
    const uint32_t cluster = Le16(&b[11]) * b[13];
    EXPECT_EQ(cluster, e.cluster);
    EXPECT_EQ(Le32(&b[28]), e.start);  // hidden sectors
    EXPECT_EQ(Le64(&b[40]), e.count - 1) << "all but the sector of the backup boot sector";
    EXPECT_EQ(dev.Read(base + (e.count - 1) * kSector, kSector), b) << "backup boot sector";
    const int8_t perRecord = int8_t(b[64]);
    EXPECT_EQ(perRecord < 0 ? 1u << -perRecord : perRecord * cluster, 1024u);
    if (cluster == 0) return;
    EXPECT_EQ(Bytes(dev.Read(base + Le64(&b[48]) * cluster, 4), 0, 4), "FILE") << "$MFT";
    EXPECT_EQ(Bytes(dev.Read(base + Le64(&b[56]) * cluster, 4), 0, 4), "FILE") << "$MFTMirr";
}

void CheckBootSector(const ReadOnlyFile& dev, const LayoutEntry& e, uint64_t base) {
    SCOPED_TRACE("partition " + std::to_string(e.index) + " (" + e.fs + ")");
    if (e.fs == "ntfs")
        CheckNtfs(dev, e, base);
    else
        CheckFat(dev, e, base);
}

struct Volume {
    const wchar_t* image;
    const wchar_t* device;
};
const Volume kVolumes[] = {{L"fat16.img", L"\\\\.\\W:"},
                           {L"fat32.img", L"\\\\.\\X:"},
                           {L"ntfs.img", L"\\\\.\\Y:"},
                           {L"ntfs512.img", L"\\\\.\\V:"}};

// Does b look like a whole file of this type, start and end?
bool LooksLike(const std::string& type, const std::vector<uint8_t>& b) {
    const size_t n = b.size();
    if (n < 32) return false;
    auto tail = [&](size_t k) { return Bytes(b, n - k, k); };
    if (type == "jpeg") return Bytes(b, 0, 3) == "\xFF\xD8\xFF" && tail(2) == "\xFF\xD9";
    if (type == "png") return Bytes(b, 0, 8) == "\x89PNG\r\n\x1a\n" && Bytes(b, n - 8, 4) == "IEND";
    if (type == "gif") return Bytes(b, 0, 4) == "GIF8" && b[n - 1] == 0x3B;
    if (type == "bmp") return Bytes(b, 0, 2) == "BM" && Le32(&b[2]) == n;
    if (type == "pdf") return Bytes(b, 0, 5) == "%PDF-" && tail(32).find("%%EOF") != std::string::npos;
    if (type == "zip") return Bytes(b, 0, 4) == std::string("PK\3\4", 4) && Bytes(b, n - 22, 4) == std::string("PK\5\6", 4);
    if (type == "wav") return Bytes(b, 0, 4) == "RIFF" && Le32(&b[4]) + 8 == n && Bytes(b, 8, 4) == "WAVE";
    if (type == "rtf") return Bytes(b, 0, 6) == "{\\rtf1" && tail(2) == "}\n";
    return false;
}

} // namespace

TEST(MediaHelpers, Sha256MatchesKnownDigests) {
    EXPECT_EQ(Sha256Hex("", 0), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex("abc", 3), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";  // padding needs a second block
    EXPECT_EQ(Sha256Hex(two.data(), two.size()), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    Sha256 h;  // a million 'a' in pieces that never line up with the 64-byte blocks
    const std::string seven(7, 'a');
    for (int i = 0; i < 142857; ++i) h.Update(seven.data(), 7);
    h.Update("a", 1);
    EXPECT_EQ(h.HexDigest(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Media, VolumesReadTheSameThroughPathAndDevice) {
    ASSERT_FALSE(ImagesDir().empty()) << "ZR_IMAGES is not set";
    for (const Volume& v : kVolumes) {
        SCOPED_TRACE(Narrow(v.image));
        std::vector<LayoutEntry> layout = LoadLayout(v.image);
        ASSERT_EQ(layout.size(), 1u);
        const LayoutEntry& e = layout[0];
        EXPECT_EQ(e.index, 0);
        EXPECT_EQ(e.start, 0u);
        ReadOnlyFile file(ImagePath(v.image)), dev(v.device);
        ASSERT_TRUE(file.IsOpen()) << "error " << file.OpenError();
        ASSERT_TRUE(dev.IsOpen()) << "error " << dev.OpenError();
        const uint64_t size = file.Size();
        EXPECT_EQ(size, e.count * kSector);
        EXPECT_EQ(dev.Size(), size);
        for (uint64_t off : {uint64_t(0), size / 2 + 3 * kSector, size - 8 * kSector}) {
            std::vector<uint8_t> a = dev.Read(off, 4096);
            EXPECT_EQ(a.size(), 4096u);
            EXPECT_EQ(a, file.Read(off, 4096)) << "at " << off;
        }
        CheckBootSector(dev, e, 0);
    }
}

TEST(Media, MbrDiskMatchesItsLayout) {
    std::vector<LayoutEntry> layout = LoadLayout(L"mbr.img");
    ASSERT_FALSE(layout.empty());
    ReadOnlyFile disk(L"\\\\.\\PhysicalDrive2"), file(ImagePath(L"mbr.img"));
    ASSERT_TRUE(disk.IsOpen()) << "error " << disk.OpenError();
    EXPECT_EQ(disk.Size(), file.Size());
    std::vector<uint8_t> mbr = disk.Read(0, kSector);
    ASSERT_TRUE(HasBootSignature(mbr));
    EXPECT_EQ(mbr, file.Read(0, kSector));

    struct Part {
        unsigned type;
        uint64_t start, count;
    };
    std::map<int, Part> got;
    for (int i = 0; i < 4; ++i) {
        const uint8_t* p = &mbr[446 + 16 * i];
        if (p[4] == 0) continue;
        EXPECT_TRUE(p[0] == 0 || p[0] == 0x80);
        got[i + 1] = {p[4], Le32(p + 8), Le32(p + 12)};
    }
    // Logical drives: a chain of extended boot records, each describing its drive relative to
    // itself and linking the next relative to the start of the extended partition.
    auto ext = std::find_if(got.begin(), got.end(), [](auto& kv) { return kv.second.type == 0x05 || kv.second.type == 0x0F; });
    ASSERT_NE(ext, got.end()) << "no extended partition";
    const Part extended = ext->second;
    uint64_t ebr = extended.start;
    int index = 5;
    for (int guard = 0; guard < 64; ++guard) {
        std::vector<uint8_t> s = disk.Read(ebr * kSector, kSector);
        ASSERT_TRUE(HasBootSignature(s)) << "EBR at " << ebr;
        const uint8_t* drive = &s[446];
        const uint8_t* next = &s[462];
        ASSERT_NE(drive[4], 0) << "EBR at " << ebr;
        got[index++] = {drive[4], ebr + Le32(drive + 8), Le32(drive + 12)};
        EXPECT_GE(ebr + Le32(drive + 8), extended.start);
        EXPECT_LE(ebr + Le32(drive + 8) + Le32(drive + 12), extended.start + extended.count);
        if (next[4] == 0) break;
        EXPECT_TRUE(next[4] == 0x05 || next[4] == 0x0F);
        ebr = extended.start + Le32(next + 8);
    }

    ASSERT_EQ(got.size(), layout.size());
    for (const LayoutEntry& e : layout) {
        SCOPED_TRACE("partition " + std::to_string(e.index));
        ASSERT_EQ(got.count(e.index), 1u);
        EXPECT_EQ(Hex2(got[e.index].type), e.type);
        EXPECT_EQ(got[e.index].start, e.start);
        EXPECT_EQ(got[e.index].count, e.count);
        if (e.fs != "extended") CheckBootSector(disk, e, e.start * kSector);
    }
}

TEST(Media, GptDiskMatchesItsLayout) {
    std::vector<LayoutEntry> layout = LoadLayout(L"gpt.img");
    ASSERT_FALSE(layout.empty());
    ReadOnlyFile disk(L"\\\\.\\PhysicalDrive1");
    ASSERT_TRUE(disk.IsOpen()) << "error " << disk.OpenError();
    const uint64_t last = disk.Size() / kSector - 1;
    ASSERT_GT(last, 67u);

    std::vector<uint8_t> pmbr = disk.Read(0, kSector);
    ASSERT_TRUE(HasBootSignature(pmbr));
    EXPECT_EQ(pmbr[446 + 4], 0xEE) << "protective MBR";
    EXPECT_EQ(Le32(&pmbr[446 + 8]), 1u);
    EXPECT_EQ(Le32(&pmbr[446 + 12]), std::min<uint64_t>(last, 0xFFFFFFFF));

    // Checks a header and returns the partition entries it describes.
    auto header = [&](uint64_t lba, uint64_t other, uint64_t entriesLba) {
        SCOPED_TRACE("GPT header at LBA " + std::to_string(lba));
        std::vector<uint8_t> h = disk.Read(lba * kSector, kSector);
        std::vector<uint8_t> entries;
        if (h.size() != kSector) {
            ADD_FAILURE() << "unreadable";
            return entries;
        }
        EXPECT_EQ(Bytes(h, 0, 8), "EFI PART");
        EXPECT_EQ(Le32(&h[8]), 0x00010000u);
        EXPECT_EQ(Le32(&h[12]), 92u);
        std::vector<uint8_t> copy(h.begin(), h.begin() + 92);
        std::fill(copy.begin() + 16, copy.begin() + 20, 0);
        EXPECT_EQ(Crc32(copy.data(), copy.size()), Le32(&h[16])) << "header CRC";
        EXPECT_EQ(Le64(&h[24]), lba);
        EXPECT_EQ(Le64(&h[32]), other);
        EXPECT_GE(Le64(&h[40]), 34u);
        EXPECT_LE(Le64(&h[48]), last - 33);
        EXPECT_EQ(Le64(&h[72]), entriesLba);
        EXPECT_EQ(Le32(&h[84]), 128u);
        entries = disk.Read(entriesLba * kSector, size_t(Le32(&h[80])) * Le32(&h[84]));
        EXPECT_EQ(Crc32(entries.data(), entries.size()), Le32(&h[88])) << "entries CRC";
        return entries;
    };
    std::vector<uint8_t> primary = header(1, last, 2);
    std::vector<uint8_t> backup = header(last, 1, last - 32);
    ASSERT_EQ(primary.size(), 128u * 128u);
    EXPECT_EQ(primary, backup);
    EXPECT_EQ(disk.Read(kSector + 56, 16), disk.Read(last * kSector + 56, 16)) << "disk GUID";

    size_t used = 0;
    for (size_t i = 0; i < primary.size() / 128; ++i)
        if (GuidText(&primary[i * 128]) != "00000000-0000-0000-0000-000000000000") ++used;
    EXPECT_EQ(used, layout.size());
    for (const LayoutEntry& e : layout) {
        SCOPED_TRACE("partition " + std::to_string(e.index));
        const uint8_t* p = &primary[(e.index - 1) * 128];
        EXPECT_EQ(GuidText(p), e.type);
        EXPECT_EQ(GuidText(p + 16), e.guid);
        EXPECT_EQ(Le64(p + 32), e.start);
        EXPECT_EQ(Le64(p + 40), e.start + e.count - 1);
        std::wstring name;
        for (int k = 0; k < 36 && Le16(p + 56 + 2 * k); ++k) name += wchar_t(Le16(p + 56 + 2 * k));
        EXPECT_EQ(Narrow(name), e.name);
        CheckBootSector(disk, e, e.start * kSector);
    }
}

TEST(Media, CarvedFilesLieWholeAtTheirOffsets) {
    std::vector<CarveEntry> manifest = LoadCarveManifest(L"carve.img");
    ASSERT_GE(manifest.size(), 8u);
    ReadOnlyFile disk(L"\\\\.\\PhysicalDrive3"), file(ImagePath(L"carve.img"));
    ASSERT_TRUE(disk.IsOpen()) << "error " << disk.OpenError();
    EXPECT_EQ(disk.Size(), file.Size());
    // Junk, not a partition table, starts the disk.
    EXPECT_FALSE(HasBootSignature(disk.Read(0, kSector)));
    std::set<std::string> types;
    uint64_t end = 0;
    for (const CarveEntry& m : manifest) {
        SCOPED_TRACE(m.name + " at " + std::to_string(m.offset));
        EXPECT_EQ(m.offset % kSector, 0u);
        EXPECT_GE(m.offset, end) << "overlaps the file before";
        end = m.offset + m.size;
        std::vector<uint8_t> b = disk.Read(m.offset, size_t(m.size));
        ASSERT_EQ(b.size(), m.size);
        EXPECT_EQ(Sha256Hex(b), m.sha256);
        EXPECT_TRUE(LooksLike(m.type, b)) << m.type;
        types.insert(m.type);
    }
    EXPECT_GE(types.size(), 8u);
}

TEST(Media, ReadsAtOrPastTheEndDeliverNothing) {
    const std::wstring paths[] = {L"\\\\.\\W:", L"\\\\.\\X:", L"\\\\.\\Y:", L"\\\\.\\V:", L"\\\\.\\PhysicalDrive1",
                                  L"\\\\.\\PhysicalDrive2", L"\\\\.\\PhysicalDrive3", ImagePath(L"fat16.img")};
    for (const std::wstring& path : paths) {
        SCOPED_TRACE(Narrow(path));
        ReadOnlyFile f(path);
        ASSERT_TRUE(f.IsOpen()) << "error " << f.OpenError();
        const uint64_t size = f.Size();
        ASSERT_GT(size, 0u);
        EXPECT_EQ(size % kSector, 0u);
        EXPECT_EQ(f.Read(size - kSector, kSector).size(), kSector) << "the last sector";
        for (uint64_t off : {size, size + kSector, size + (1u << 20)}) {
            LARGE_INTEGER at;
            at.QuadPart = LONGLONG(off);
            ASSERT_TRUE(SetFilePointerEx(f.Handle(), at, nullptr, FILE_BEGIN));
            uint8_t buf[kSector];
            DWORD got = 12345;
            BOOL ok = ReadFile(f.Handle(), buf, kSector, &got, nullptr);
            EXPECT_TRUE(!ok || got == 0) << "ReadFile at " << off << " gave " << got << " bytes";
            EXPECT_TRUE(f.Read(off, kSector).empty()) << "at " << off;
        }
        // A read across the end stops at it.
        std::vector<uint8_t> tail = f.Read(size - 100, 300);
        std::vector<uint8_t> last = f.Read(size - kSector, kSector);
        ASSERT_EQ(tail.size(), 100u);
        EXPECT_TRUE(std::equal(tail.begin(), tail.end(), last.end() - 100));
    }
}

// The cases the recovery tests rely on must be in the media: if the scripts that make them
// change, this says what went missing.
TEST(Media, TruthFilesHoldTheCasesRecoveryTestsNeed) {
    struct Want {
        const wchar_t* image;
        int partition;
        bool full;  // the full scenario; the small partitions hold a few files and one deletion
    };
    const Want wants[] = {{L"fat16.img", 0, true}, {L"fat32.img", 0, true}, {L"ntfs.img", 0, true},
                          {L"ntfs512.img", 0, true}, {L"mbr.img", 1, true}, {L"mbr.img", 2, true},
                          {L"mbr.img", 5, false}, {L"mbr.img", 6, false}, {L"gpt.img", 1, true},
                          {L"gpt.img", 2, true}, {L"gpt.img", 3, false}};
    for (const Want& w : wants) {
        SCOPED_TRACE(Narrow(w.image) + " partition " + std::to_string(w.partition));
        Truth truth = LoadTruth(w.image);
        ASSERT_TRUE(truth.found);
        std::string fs;
        for (const LayoutEntry& e : LoadLayout(w.image))
            if (e.index == w.partition) fs = e.fs;
        ASSERT_FALSE(fs.empty()) << "not in the layout";

        std::vector<const TruthEntry*> mine;
        std::set<std::string> livePaths;
        for (const TruthEntry& e : truth.entries) {
            if (e.partition != w.partition) continue;
            mine.push_back(&e);
            if (e.state == "live") {
                EXPECT_TRUE(livePaths.insert(e.path).second) << "twice: " << e.path;
            }
        }
        ASSERT_FALSE(mine.empty());
        std::map<std::string, int> states;
        bool fragmented = false, empty = false, oneCluster = false, nonAscii = false, deepest = false;
        bool residentLive = false, residentDeleted = false, deletedTree = false;
        for (const TruthEntry* e : mine) {
            ++states[e->state];
            EXPECT_TRUE(e->state == "live" || e->state == "deleted" || e->state == "overwritten") << e->state;
            if (!e->isDir) {
                EXPECT_EQ(e->sha256.size(), 64u) << e->path;
                EXPECT_GE(e->size, 0) << e->path;
            }
            if (e->state == "live" && e->HasNote("fragmented")) fragmented |= std::stoi(e->Note("fragmented")) >= 3;
            empty |= e->state == "live" && e->HasNote("empty");
            oneCluster |= e->state == "live" && e->HasNote("one-cluster");
            residentLive |= e->state == "live" && e->HasNote("resident") && e->size > 0;
            residentDeleted |= e->state == "deleted" && e->HasNote("resident");
            nonAscii |= std::any_of(e->path.begin(), e->path.end(), [](char c) { return c & 0x80; });
            deepest |= std::count(e->path.begin(), e->path.end(), '/') >= 5 && !e->isDir;
            if (e->isDir && e->state == "deleted")
                for (const TruthEntry* c : mine)
                    deletedTree |= c->state == "deleted" && !c->isDir && c->path.compare(0, e->path.size(), e->path) == 0;
            std::string by = e->Note("overwritten-by");
            if (w.partition && !by.empty()) by = by.substr(by.find(':') + 1);
            EXPECT_TRUE(by.empty() || livePaths.count(by)) << e->path << " overwritten by unknown " << by;
        }
        EXPECT_GT(states["live"], 0);
        if (!w.full) {
            EXPECT_GT(states["deleted"], 0);
            continue;
        }
        EXPECT_TRUE(nonAscii);
        EXPECT_TRUE(empty);
        if (truth.fallback && fs == "ntfs") continue;  // one flat folder, nothing deleted
        EXPECT_TRUE(deepest) << "no file five folders deep";
        EXPECT_GT(states["deleted"], 0);
        EXPECT_GT(states["overwritten"], 0);
        EXPECT_TRUE(fragmented) << "no live file in three or more pieces";
        EXPECT_TRUE(oneCluster);
        EXPECT_TRUE(deletedTree) << "no deleted folder with deleted files in it";
        if (fs == "ntfs") {
            EXPECT_TRUE(residentLive);
            EXPECT_TRUE(residentDeleted);
        }
    }
}
