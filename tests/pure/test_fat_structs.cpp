// FAT cluster chains, found-volume rows and long names on crafted FATs and directory sectors.
#include <gtest/gtest.h>

#include "storage/pure/fat_chain.h"
#include "storage/pure/fs_names.h"
#include "storage/pure/globals.h"
#include "tests/pure/storage_test_util.h"

using storage_test::CraftedDisk;
using storage_test::PutLe16;
using storage_test::PutLe32;

namespace {

constexpr uint64_t kFat = 100;

// Sets FAT entry `cluster` to `value` on a crafted disk whose FAT starts at kFat.
void SetEntry(CraftedDisk& disk, bool fat32, uint32_t cluster, uint32_t value)
{
    if (fat32)
        PutLe32(disk.At(kFat + (cluster >> 7)).data() + 4 * (cluster & 0x7F), value);
    else
        PutLe16(disk.At(kFat + (cluster >> 8)).data() + 2 * (cluster & 0xFF), uint16_t(value));
}

std::vector<uint32_t> Walk(CraftedDisk& disk, bool fat32, uint32_t start, FatChainEnd* end,
                           uint32_t sectorsPerFat = 64, uint64_t max = UINT64_MAX)
{
    std::vector<uint32_t> chain;
    *end = WalkFatChain(disk, {fat32, kFat, sectorsPerFat}, start, max, {}, chain);
    return chain;
}

using Chain = std::vector<uint32_t>;

}  // namespace

TEST(FatChain, EndMarksAndFreeEntries)
{
    CraftedDisk disk(10000);
    FatChainEnd end;
    SetEntry(disk, false, 5, 6);
    SetEntry(disk, false, 6, 0xFFFF);
    EXPECT_EQ(Walk(disk, false, 5, &end), (Chain{5, 6}));
    EXPECT_EQ(end, FatChainEnd::EndMark);
    SetEntry(disk, false, 6, 0xFFF8);
    EXPECT_EQ(Walk(disk, false, 5, &end), (Chain{5, 6}));
    SetEntry(disk, false, 6, 1);                         // below 2 ends
    EXPECT_EQ(Walk(disk, false, 5, &end), (Chain{5, 6}));
    EXPECT_EQ(end, FatChainEnd::Free);

    SetEntry(disk, true, 9, 0xF0000007);                 // the top four bits do not count
    SetEntry(disk, true, 7, 0x0FFFFFF8);
    EXPECT_EQ(Walk(disk, true, 9, &end), (Chain{9, 7}));
    EXPECT_EQ(end, FatChainEnd::EndMark);
    SetEntry(disk, true, 7, 0xFFFFFFFF);
    EXPECT_EQ(Walk(disk, true, 9, &end), (Chain{9, 7}));
}

TEST(FatChain, LoopsEndAtTheFirstRepeatedCluster)
{
    CraftedDisk disk(10000);
    FatChainEnd end;
    SetEntry(disk, false, 2, 3);
    SetEntry(disk, false, 3, 4);
    SetEntry(disk, false, 4, 3);
    EXPECT_EQ(Walk(disk, false, 2, &end), (Chain{2, 3, 4}));
    EXPECT_EQ(end, FatChainEnd::Loop);
    SetEntry(disk, false, 9, 9);
    EXPECT_EQ(Walk(disk, false, 9, &end), (Chain{9}));

    // A tail of 50 clusters into a circle of 300: every cluster once, in order.
    Chain expected;
    for (uint32_t c = 1000; c < 1350; ++c) {
        SetEntry(disk, false, c, c + 1 < 1350 ? c + 1 : 1050);
        expected.push_back(c);
    }
    EXPECT_EQ(Walk(disk, false, 1000, &end), expected);
    EXPECT_EQ(end, FatChainEnd::Loop);
}

TEST(FatChain, FailedReadsAndClustersPastTheFatEndTheChain)
{
    CraftedDisk disk(10000);
    FatChainEnd end;
    SetEntry(disk, true, 10, 200);                       // entry of 200 is in FAT sector 1
    SetEntry(disk, true, 200, 11);
    SetEntry(disk, true, 11, 0x0FFFFFFF);
    disk.Fail(kFat + 1);
    EXPECT_EQ(Walk(disk, true, 10, &end), (Chain{10, 200}));
    EXPECT_EQ(end, FatChainEnd::ReadFailed);

    // FAT16 cluster 0x1234's entry lies in FAT sector 0x12: with 0x12 sectors per FAT the chain
    // ends there without a read.
    SetEntry(disk, false, 0x20, 0x1234);
    SetEntry(disk, false, 0x1234, 0xFFFF);
    const int before = disk.reads;
    EXPECT_EQ(Walk(disk, false, 0x20, &end, 0x12), (Chain{0x20, 0x1234}));
    EXPECT_EQ(end, FatChainEnd::BeyondFat);
    EXPECT_EQ(disk.reads - before, 1);
    EXPECT_EQ(Walk(disk, false, 0x20, &end, 0x13), (Chain{0x20, 0x1234}));
    EXPECT_EQ(end, FatChainEnd::EndMark);

    std::vector<uint32_t> chain;
    EXPECT_EQ(WalkFatChain(disk, {false, 0, 64}, 5, UINT64_MAX, {}, chain), FatChainEnd::BeyondFat);
    EXPECT_EQ(chain, (Chain{5}));
}

TEST(FatChain, SavePathStopsOneAfterTheExpectedCount)
{
    CraftedDisk disk(10000);
    SetEntry(disk, false, 5, 6);
    SetEntry(disk, false, 6, 7);
    SetEntry(disk, false, 7, 0xFFFF);
    BuildFatClusterChainFrom(disk, L"FAT16", 5, kFat, 64, 3, {});
    EXPECT_EQ(ClusterChain, (Chain{5, 6, 7}));
    EXPECT_EQ(BuildFatClusterChainFrom(disk, L"FAT16", 5, kFat, 64, 1, {}), FatChainEnd::CountReached);
    EXPECT_EQ(ClusterChain, (Chain{5, 6}));               // one more than expected: a mismatch
    BuildFatClusterChainFrom(disk, L"FAT16", 5, kFat, 64, 0, {});
    EXPECT_EQ(ClusterChain, (Chain{5}));
    BuildFatClusterChainFrom(disk, L"NTFS", 9, kFat, 64, 3, {});
    EXPECT_EQ(ClusterChain, (Chain{5}));                   // other types leave it alone

    int polls = 0;
    EXPECT_EQ(BuildFatClusterChainFrom(disk, L"FAT16", 5, kFat, 64, 3, [&] { return ++polls == 2; }),
              FatChainEnd::Stopped);
    EXPECT_EQ(ClusterChain, (Chain{5, 6}));

    FatVolumeParamsRecord params;
    params.partitionType = L"FAT16";
    params.firstFatSector = kFat;
    params.sectorsPerFat = 64;
    EXPECT_EQ(BuildFatClusterChainDeepFrom(disk, params, 5, {}), FatChainEnd::EndMark);
    EXPECT_EQ(ClusterChain, (Chain{5, 6, 7}));
}

TEST(FatCandidates, RowsCopiedWithTheirDefaults)
{
    auto row = [](const wchar_t* rootSectors, const wchar_t* rootStart, const wchar_t* type,
                  const wchar_t* cluster0) {
        return FatCandidateRow{L"1", L"200", L"4", rootSectors, rootStart, L"32", cluster0,
                               L"2080", L"2280", L"", type};
    };
    std::vector<FatCandidateRow> table = {row(L"0", L"0", L"FAT16", L"2048"),
                                          row(L"0", L"7", L"FAT32", L"99999999999")};
    FatVolumeParamsRecord p;
    p.partitionType = L"FAT16";
    ASSERT_TRUE(LoadFatCandidateRow(table, 1, p));
    EXPECT_EQ(p.rootDirSectors, 32u);                      // held as FAT16 before the load
    EXPECT_EQ(p.rootStart, 2u);
    EXPECT_EQ(p.sectorsPerFat, 200u);
    EXPECT_EQ(p.cluster0Start, 2048u);
    EXPECT_EQ(p.secondFatSector, 2280u);
    EXPECT_FALSE(LoadFatCandidateRow(table, 3, p));
    EXPECT_FALSE(LoadFatCandidateRow(table, 0, p));

    ASSERT_TRUE(LoadFatCandidateRowByIndex(table, 0, 0, 99999999999ull, p));
    EXPECT_EQ(p.partitionType, CString(L"FAT32"));
    EXPECT_EQ(p.rootStart, 7u);
    EXPECT_EQ(p.rootDirSectors, 32u);                      // the type held before this load
    p.cluster0Start = 0;
    ASSERT_TRUE(LoadFatCandidateRowByIndex(table, 1, 1, 99999999999ull, p));
    EXPECT_EQ(p.rootDirSectors, 0u);                       // held as FAT32 now
    EXPECT_FALSE(LoadFatCandidateRowByIndex(table, 1, 0, 99999999999ull, p));  // already held
    EXPECT_FALSE(LoadFatCandidateRowByIndex(table, 1, 2, 1, p));
    EXPECT_FALSE(LoadFatCandidateRowByIndex(table, 0, 0, 1, p));

    // Numbers that do not fit their field count as 0.
    table[0][1] = L"4294967296";
    LoadFatCandidateRow(table, 1, p);
    EXPECT_EQ(p.sectorsPerFat, 0u);
}

// ---- Long names ---------------------------------------------------------------------------

namespace {

const size_t kCharOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};

// A long-name entry holding up to 13 characters of `part` (with the end mark and 0xFFFF fill
// when shorter).
void PutLongNameEntry(uint8_t* e, uint8_t sequence, const std::u16string& part, uint8_t checksum = 0x5A)
{
    std::memset(e, 0, 32);
    e[0] = sequence;
    e[11] = 0x0F;
    e[13] = checksum;
    for (size_t i = 0; i < 13; ++i) {
        const uint16_t c = i < part.size() ? part[i] : i == part.size() ? 0 : 0xFFFF;
        PutLe16(e + kCharOffsets[i], c);
    }
}

void PutShortEntry(uint8_t* e, const char* name11, uint8_t attr = 0x20)
{
    std::memcpy(e, name11, 11);
    e[11] = attr;
}

std::u16string LongName(SectorSource* source, const uint8_t* sector, uint16_t offset, uint64_t number)
{
    std::u16string name;
    ParseDirectorySectors(source, sector, offset, number, name);
    return name;
}

}  // namespace

TEST(LongNames, AssembledNearestEntryFirst)
{
    uint8_t s[512] = {};
    PutLongNameEntry(s + 0, 0x42, u"ng name.txt");
    PutLongNameEntry(s + 32, 0x01, u"A rather long");  // nearest: the first 13 characters
    PutShortEntry(s + 64, "ARATHE~1TXT");
    EXPECT_EQ(LongName(nullptr, s, 64, 10), u"A rather longng name.txt");

    PutLongNameEntry(s + 32, 0x41, u"notes");           // five characters, end mark, fill
    EXPECT_EQ(LongName(nullptr, s, 64, 10), u"notes");

    // Exactly 13 characters: no end mark; the short entry before ends the assembly.
    PutShortEntry(s + 0, "OTHER   TXT");
    PutLongNameEntry(s + 32, 0x41, u"thirteen char");
    EXPECT_EQ(LongName(nullptr, s, 64, 10), u"thirteen char");

    // No long name: the output stays as it was.
    std::u16string kept = u"x";
    ParseDirectorySectors(nullptr, s, 32 + 0, 10, kept);
    EXPECT_EQ(kept, u"x");
    ParseDirectorySectors(nullptr, s, 33, 10, kept);   // not an entry's offset
    EXPECT_EQ(kept, u"x");
}

TEST(LongNames, DeletedAndMismatchedEntriesStillNameTheirFile)
{
    uint8_t s[512] = {};
    // Deleting marks every entry 0xE5, so the short name's checksum no longer matches.
    PutLongNameEntry(s + 64, 0xE5, u"Q2 report.pdf", 0x00);
    PutShortEntry(s + 96, "\xE5" "2REPO~1PDF");
    EXPECT_EQ(LongName(nullptr, s, 96, 7), u"Q2 report.pdf");

    // Orphan long-name parts separated from the entry by another short entry are not taken.
    PutLongNameEntry(s + 0, 0x41, u"orphan");
    PutShortEntry(s + 32, "PLAIN   TXT");
    PutShortEntry(s + 64, "NEXT    TXT");
    PutShortEntry(s + 96, "LAST    TXT");
    EXPECT_EQ(LongName(nullptr, s, 64, 7), u"");
}

TEST(LongNames, BeginningInTheSectorBefore)
{
    CraftedDisk disk(100);
    uint8_t* before = disk.At(40).data();
    PutLongNameEntry(before + 480, 0x41, u"split.txt");
    uint8_t s[512] = {};
    PutShortEntry(s, "SPLIT   TXT");
    EXPECT_EQ(LongName(&disk, s, 0, 41), u"split.txt");

    // When the sector before cannot be read the assembly ends with what it has.
    EXPECT_EQ(LongName(&disk, s, 0, 0), u"");           // no sector before sector 0
    disk.Fail(40);
    EXPECT_EQ(LongName(&disk, s, 0, 41), u"");
    disk.failing.clear();

    // The stale contents of the buffer never stand in for the sector that could not be read.
    uint8_t t[512] = {};
    PutLongNameEntry(t + 0, 0x01, u"abcdefghijklm");
    PutShortEntry(t + 32, "ABCDEF~1   ");
    PutLongNameEntry(t + 480, 0x41, u"stale");
    disk.Fail(40);
    EXPECT_EQ(LongName(&disk, t, 32, 41), u"abcdefghijklm");
}

TEST(LongNames, AtMostTwentyEntries)
{
    // 21 entries without an end mark over two sectors: the 20 nearest are taken.
    CraftedDisk disk(100);
    uint8_t cur[512] = {};
    const uint64_t number = 11;
    std::u16string expected;
    int k = 0;
    // The short entry at offset 160 of sector 11: 5 entries here, 16 in sector 10.
    for (int slot = 4; slot >= 0; --slot, ++k) {
        std::u16string part(13, char16_t(u'a' + k));
        PutLongNameEntry(cur + 32 * slot, uint8_t(k + 1), part);
        expected += part;
    }
    for (int slot = 15; slot >= 0; --slot, ++k) {
        std::u16string part(13, char16_t(u'a' + (k % 26)));
        PutLongNameEntry(disk.At(number - 1).data() + 32 * slot, uint8_t(k + 1), part);
        if (k < 20)
            expected += part;
    }
    PutShortEntry(cur + 160, "LONG    TXT");
    EXPECT_EQ(LongName(&disk, cur, 160, number), expected);
    EXPECT_EQ(expected.size(), 260u);
}

TEST(FatDirEntries, FieldsOfAShortEntry)
{
    uint8_t e[32] = {};
    PutShortEntry(e, "\xE5" "ANORAMAJPG", 0x20);
    PutLe16(e + 20, 0x0001);
    PutLe16(e + 26, 0x2345);
    PutLe32(e + 28, 52142);
    const FatDirEntry d = DecodeFatDirEntry(e);
    EXPECT_TRUE(d.deleted());
    EXPECT_FALSE(d.directory());
    EXPECT_EQ(d.firstCluster, 0x12345u);
    EXPECT_EQ(d.size, 52142u);
    e[11] = 0x0F;
    EXPECT_TRUE(DecodeFatDirEntry(e).longNamePart());
    EXPECT_FALSE(DecodeFatDirEntry(e).directory());
}
