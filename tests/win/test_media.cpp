// The test media as the program will meet them under Wine: images by their Z: paths and through
// the volume and disk devices the setup links in, checked against the layout and manifest files
// written when the images were made. Later tests trust those files; these checks earn the trust.
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
    return off + n > b.size() ? "" : std::string(b.begin() + off, b.begin() + off + n);
}

bool HasBootSignature(const std::vector<uint8_t>& s) { return s.size() >= 512 && s[510] == 0x55 && s[511] == 0xAA; }

// A GPT GUID as text: the first three fields are stored little-endian, the rest as bytes.
std::string GuidText(const uint8_t* p) {
    char buf[40];
    snprintf(buf, sizeof buf, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", unsigned(Le32(p)),
             unsigned(Le16(p + 4)), unsigned(Le16(p + 6)), p[8], p[9], p[10], p[11], p[12], p[13], p[14], p[15]);
    return buf;
}

// The boot sector of the volume at byte base of dev against its layout line; for FAT, whether
// it is FAT16 or FAT32 follows from its cluster count alone, so that is checked too.
void CheckBootSector(const ReadOnlyFile& dev, const LayoutEntry& e, uint64_t base) {
    SCOPED_TRACE("partition " + std::to_string(e.index) + " (" + e.fs + ")");
    std::vector<uint8_t> b = dev.Read(base, kSector);
    ASSERT_TRUE(HasBootSignature(b));
    const unsigned bps = Le16(&b[11]), cluster = bps * b[13];
    EXPECT_EQ(bps, kSector);
    EXPECT_EQ(cluster, e.cluster);
    if (e.fs == "ntfs" || e.index < 5) {
        EXPECT_EQ(Le32(&b[28]), e.start);  // hidden sectors
    }
    if (e.fs == "ntfs") {
        EXPECT_EQ(Bytes(b, 3, 8), "NTFS    ");
        EXPECT_EQ(Le64(&b[40]), e.count - 1) << "all but the sector of the backup boot sector";
        EXPECT_EQ(dev.Read(base + (e.count - 1) * kSector, kSector), b) << "backup boot sector";
        EXPECT_EQ(Bytes(dev.Read(base + Le64(&b[48]) * cluster, 4), 0, 4), "FILE") << "$MFT";
        EXPECT_EQ(Bytes(dev.Read(base + Le64(&b[56]) * cluster, 4), 0, 4), "FILE") << "$MFTMirr";
        return;
    }
    const unsigned reserved = Le16(&b[14]), fats = b[16], rootEntries = Le16(&b[17]);
    const uint32_t total = Le16(&b[19]) ? Le16(&b[19]) : Le32(&b[32]);
    const uint32_t fatSectors = Le16(&b[22]) ? Le16(&b[22]) : Le32(&b[36]);
    EXPECT_LE(total, e.count);  // mkfs.fat may leave a few sectors at the end unused
    EXPECT_GT(total, e.count - 128);
    const uint32_t clusters = (total - reserved - fats * fatSectors - (rootEntries * 32 + bps - 1) / bps) / b[13];
    if (e.fs == "fat32") {
        EXPECT_GE(clusters, 65525u);
        EXPECT_EQ(rootEntries, 0u);
        EXPECT_EQ(Bytes(b, 82, 8), "FAT32   ");
        EXPECT_EQ(dev.Read(base + Le16(&b[50]) * kSector, kSector), b) << "backup boot sector";
    } else {
        EXPECT_GE(clusters, 4085u);
        EXPECT_LT(clusters, 65525u);
        EXPECT_EQ(Bytes(b, 54, 8), "FAT16   ");
    }
    EXPECT_EQ(dev.Read(base + reserved * kSector, 1), std::vector<uint8_t>{b[21]}) << "FAT[0] is the media byte";
}

// Does b start as a file of this type does? (Its bytes are the sample's: the digest says so.)
bool LooksLike(const std::string& type, const std::vector<uint8_t>& b) {
    static const std::map<std::string, std::string> magic = {
        {"jpeg", "\xFF\xD8\xFF"}, {"png", "\x89PNG\r\n\x1a\n"}, {"gif", "GIF8"}, {"bmp", "BM"},
        {"pdf", "%PDF-"},         {"zip", std::string("PK\3\4", 4)}, {"wav", "RIFF"}, {"rtf", "{\\rtf1"}};
    auto m = magic.find(type);
    return m != magic.end() && Bytes(b, 0, m->second.size()) == m->second;
}

struct Medium {
    const wchar_t* image;
    const wchar_t* device;
};
const Medium kMedia[] = {{L"fat16.img", L"\\\\.\\W:"},           {L"fat32.img", L"\\\\.\\X:"},
                         {L"ntfs.img", L"\\\\.\\Y:"},            {L"ntfs512.img", L"\\\\.\\V:"},
                         {L"gpt.img", L"\\\\.\\PhysicalDrive1"}, {L"mbr.img", L"\\\\.\\PhysicalDrive2"},
                         {L"carve.img", L"\\\\.\\PhysicalDrive3"}};

} // namespace

TEST(Media, EveryImageReadsTheSameThroughPathAndDevice) {
    ASSERT_FALSE(ImagesDir().empty()) << "ZR_IMAGES is not set";
    for (const Medium& m : kMedia) {
        SCOPED_TRACE(Narrow(m.image));
        ReadOnlyFile file(ImagePath(m.image)), dev(m.device);
        ASSERT_TRUE(file.IsOpen()) << "error " << file.OpenError();
        ASSERT_TRUE(dev.IsOpen()) << "error " << dev.OpenError();
        const uint64_t size = file.Size();
        ASSERT_GT(size, 16 * kSector);
        EXPECT_EQ(dev.Size(), size);
        for (uint64_t off : {uint64_t(0), size / 2 + 3 * kSector, size - 8 * kSector}) {
            std::vector<uint8_t> a = dev.Read(off, 4096);
            EXPECT_EQ(a.size(), 4096u);
            EXPECT_EQ(a, file.Read(off, 4096)) << "at " << off;
        }
        if (std::wstring(m.device).find(L"Physical") != std::wstring::npos) continue;
        std::vector<LayoutEntry> layout = LoadLayout(m.image);  // a bare volume: one line
        ASSERT_EQ(layout.size(), 1u);
        EXPECT_EQ(layout[0].start, 0u);
        EXPECT_EQ(size, layout[0].count * kSector);
        CheckBootSector(dev, layout[0], 0);
    }
}

TEST(Media, MbrDiskAndItsExtendedChainMatchTheLayout) {
    std::vector<LayoutEntry> layout = LoadLayout(L"mbr.img");
    ReadOnlyFile disk(L"\\\\.\\PhysicalDrive2");
    std::vector<uint8_t> mbr = disk.Read(0, kSector);
    ASSERT_TRUE(HasBootSignature(mbr));
    struct Part { unsigned type; uint64_t start, count; };
    std::map<int, Part> got;
    for (int i = 0; i < 4; ++i) {
        const uint8_t* p = &mbr[446 + 16 * i];
        if (p[4]) got[i + 1] = {p[4], Le32(p + 8), Le32(p + 12)};
    }
    // Each extended boot record places its drive relative to itself and links the next
    // relative to the start of the extended partition.
    auto ext = std::find_if(got.begin(), got.end(),
                            [](auto& kv) { return kv.second.type == 0x05 || kv.second.type == 0x0F; });
    ASSERT_NE(ext, got.end()) << "no extended partition";
    const Part extended = ext->second;
    uint64_t ebr = extended.start;
    for (int index = 5; index < 64; ++index) {
        std::vector<uint8_t> s = disk.Read(ebr * kSector, kSector);
        ASSERT_TRUE(HasBootSignature(s)) << "EBR at " << ebr;
        const uint8_t *drive = &s[446], *next = &s[462];
        ASSERT_NE(drive[4], 0) << "EBR at " << ebr;
        got[index] = {drive[4], ebr + Le32(drive + 8), Le32(drive + 12)};
        EXPECT_LE(ebr + Le32(drive + 8) + Le32(drive + 12), extended.start + extended.count);
        if (next[4] == 0) break;
        ebr = extended.start + Le32(next + 8);
    }
    ASSERT_EQ(got.size(), layout.size());
    for (const LayoutEntry& e : layout) {
        char type[4];
        snprintf(type, sizeof type, "%02x", got[e.index].type);
        EXPECT_EQ(type, e.type) << "partition " << e.index;
        EXPECT_EQ(got[e.index].start, e.start) << "partition " << e.index;
        EXPECT_EQ(got[e.index].count, e.count) << "partition " << e.index;
        if (e.fs != "extended") CheckBootSector(disk, e, e.start * kSector);
    }
}

TEST(Media, GptDiskMatchesItsLayout) {
    std::vector<LayoutEntry> layout = LoadLayout(L"gpt.img");
    ReadOnlyFile disk(L"\\\\.\\PhysicalDrive1");
    const uint64_t last = disk.Size() / kSector - 1;
    ASSERT_GT(last, 67u);
    std::vector<uint8_t> pmbr = disk.Read(0, kSector);
    ASSERT_TRUE(HasBootSignature(pmbr));
    EXPECT_EQ(pmbr[446 + 4], 0xEE) << "protective MBR";
    EXPECT_EQ(Le32(&pmbr[446 + 12]), std::min<uint64_t>(last, 0xFFFFFFFF));

    // Checks a header and returns the partition entries it describes.
    auto header = [&](uint64_t lba, uint64_t other, uint64_t entriesLba) {
        SCOPED_TRACE("GPT header at LBA " + std::to_string(lba));
        std::vector<uint8_t> h = disk.Read(lba * kSector, kSector);
        h.resize(kSector);
        EXPECT_EQ(Bytes(h, 0, 8), "EFI PART");
        EXPECT_EQ(Le64(&h[24]), lba);
        EXPECT_EQ(Le64(&h[32]), other);
        EXPECT_EQ(Le64(&h[72]), entriesLba);
        return disk.Read(entriesLba * kSector, size_t(Le32(&h[80])) * Le32(&h[84]));
    };
    std::vector<uint8_t> primary = header(1, last, 2);
    ASSERT_EQ(primary.size(), 128u * 128u);
    EXPECT_EQ(primary, header(last, 1, last - 32));

    size_t used = 0;
    for (size_t i = 0; i < primary.size() / 128; ++i)
        used += GuidText(&primary[i * 128]) != "00000000-0000-0000-0000-000000000000";
    EXPECT_EQ(used, layout.size());
    for (const LayoutEntry& e : layout) {
        const uint8_t* p = &primary[(e.index - 1) * 128];
        std::wstring name;
        for (int k = 0; k < 36 && Le16(p + 56 + 2 * k); ++k) name += wchar_t(Le16(p + 56 + 2 * k));
        EXPECT_EQ(GuidText(p) + " " + GuidText(p + 16) + " " + Narrow(name), e.type + " " + e.guid + " " + e.name);
        EXPECT_EQ(Le64(p + 32), e.start);
        EXPECT_EQ(Le64(p + 40), e.start + e.count - 1);
        CheckBootSector(disk, e, e.start * kSector);
    }
}

TEST(Media, CarvedFilesLieWholeAtTheirOffsets) {
    std::vector<CarveEntry> manifest = LoadCarveManifest(L"carve.img");
    ASSERT_GE(manifest.size(), 8u);
    ReadOnlyFile disk(L"\\\\.\\PhysicalDrive3");
    EXPECT_FALSE(HasBootSignature(disk.Read(0, kSector))) << "junk, not a partition table, starts the disk";
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
    std::vector<std::wstring> paths = {ImagePath(L"fat16.img")};
    for (const Medium& m : kMedia) paths.push_back(m.device);
    for (const std::wstring& path : paths) {
        SCOPED_TRACE(Narrow(path));
        ReadOnlyFile f(path);
        const uint64_t size = f.Size();
        ASSERT_GT(size, 0u);
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
        std::vector<uint8_t> tail = f.Read(size - 100, 300), last = f.Read(size - kSector, kSector);
        ASSERT_EQ(tail.size(), 100u);
        ASSERT_EQ(last.size(), kSector);
        EXPECT_TRUE(std::equal(tail.begin(), tail.end(), last.end() - 100));
    }
}
