// FAT cluster chains, found-volume rows and long names on crafted FATs and directory sectors.
#include <gtest/gtest.h>

#include "storage/pure/fat_chain.h"
#include "storage/pure/fs_names.h"
#include "storage/pure/globals.h"
#include "tests/pure/storage_test_util.h"

using storage_test::CraftedDisk;
using storage_test::PutDirEntry;
using storage_test::PutLe16;
using storage_test::PutLe32;

namespace {

constexpr uint64_t kFat = 100;
using Chain = std::vector<uint32_t>;

// Sets FAT entry `cluster` on a crafted disk whose FAT starts at kFat.
void SetEntry(CraftedDisk& disk, bool fat32, uint32_t cluster, uint32_t value)
{
    if (fat32)
        PutLe32(disk.At(kFat + (cluster >> 7)).data() + 4 * (cluster & 0x7F), value);
    else
        PutLe16(disk.At(kFat + (cluster >> 8)).data() + 2 * (cluster & 0xFF), uint16_t(value));
}

Chain Walk(CraftedDisk& disk, bool fat32, uint32_t start, FatChainEnd* end, uint32_t sectorsPerFat = 64)
{
    Chain chain;
    *end = WalkFatChain(disk, { fat32, kFat, sectorsPerFat }, start, UINT64_MAX, {}, chain);
    return chain;
}

} // namespace

TEST(FatChain, EndMarksFreeEntriesAndLoops)
{
    CraftedDisk disk(10000);
    FatChainEnd end;
    SetEntry(disk, false, 5, 6);
    SetEntry(disk, false, 6, 1); // below 2 ends
    EXPECT_EQ(Walk(disk, false, 5, &end), (Chain{ 5, 6 }));
    EXPECT_EQ(end, FatChainEnd::Free);
    SetEntry(disk, true, 9, 0xF0000007); // the top four bits do not count
    SetEntry(disk, true, 7, 0x0FFFFFF8);
    EXPECT_EQ(Walk(disk, true, 9, &end), (Chain{ 9, 7 }));
    EXPECT_EQ(end, FatChainEnd::EndMark);

    SetEntry(disk, false, 9, 9);
    EXPECT_EQ(Walk(disk, false, 9, &end), (Chain{ 9 }));
    EXPECT_EQ(end, FatChainEnd::Loop);

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
    SetEntry(disk, true, 10, 200); // entry of 200 is in FAT sector 1
    SetEntry(disk, true, 200, 0x0FFFFFFF);
    disk.Fail(kFat + 1);
    EXPECT_EQ(Walk(disk, true, 10, &end), (Chain{ 10, 200 }));
    EXPECT_EQ(end, FatChainEnd::ReadFailed);

    // Cluster 0x1234's FAT16 entry lies in FAT sector 0x12: past a FAT of 0x12 sectors.
    SetEntry(disk, false, 0x20, 0x1234);
    SetEntry(disk, false, 0x1234, 0xFFFF);
    const int before = disk.reads;
    EXPECT_EQ(Walk(disk, false, 0x20, &end, 0x12), (Chain{ 0x20, 0x1234 }));
    EXPECT_EQ(end, FatChainEnd::BeyondFat);
    EXPECT_EQ(disk.reads - before, 1);
    Walk(disk, false, 0x20, &end, 0x13);
    EXPECT_EQ(end, FatChainEnd::EndMark);
}

TEST(FatChain, SavePathStopsOneAfterTheExpectedCount)
{
    CraftedDisk disk(10000);
    SetEntry(disk, false, 5, 6);
    SetEntry(disk, false, 6, 7);
    SetEntry(disk, false, 7, 0xFFFF);
    Chain chain;
    // The save asks for one cluster more than the size needs: more is a mismatch.
    EXPECT_EQ(WalkFatChain(disk, { false, kFat, 64 }, 5, 2, {}, chain), FatChainEnd::CountReached);
    EXPECT_EQ(chain, (Chain{ 5, 6 }));
    int polls = 0;
    EXPECT_EQ(WalkFatChain(
                  disk, { false, kFat, 64 }, 5, 4, [&] { return ++polls == 2; }, chain),
              FatChainEnd::Stopped);
    EXPECT_EQ(chain, (Chain{ 5, 6 }));
}

// A directory is read cluster by cluster: the reader takes only the clusters it asks for, and a
// chain that loops back yields each cluster once.
TEST(FatChain, CursorReadsTheFatOnlyAsFarAsAskedAndNeverRepeats)
{
    CraftedDisk disk(10000);
    for (uint32_t c = 2; c < 4000; ++c)
        SetEntry(disk, true, c, c + 1); // a damaged FAT whose chain runs through the whole table
    FatChainCursor cursor(disk, { true, kFat, 64 }, 2);
    uint32_t cluster = 0;
    const int before = disk.reads;
    ASSERT_TRUE(cursor.Next(cluster));
    EXPECT_EQ(cluster, 2u);
    ASSERT_TRUE(cursor.Next(cluster));
    EXPECT_EQ(cluster, 3u);
    EXPECT_EQ(disk.reads - before, 1);

    SetEntry(disk, false, 20, 21);
    SetEntry(disk, false, 21, 22);
    SetEntry(disk, false, 22, 21);
    FatChainCursor looped(disk, { false, kFat, 64 }, 20);
    Chain seen;
    while (looped.Next(cluster))
        seen.push_back(cluster);
    EXPECT_EQ(seen, (Chain{ 20, 21, 22 }));
    EXPECT_EQ(looped.End(), FatChainEnd::Loop);
}

TEST(FatCandidates, RowsLoadedAndBadNumbersCountAsZero)
{
    const FatCandidateRow row{ L"1", L"200", L"4", L"0", L"7", L"32", L"2048", L"2080", L"2280", L"", L"FAT32" };
    std::vector<FatCandidateRow> table = { row, row };
    table[1][1] = L"4294967296"; // too large for the 32-bit field: not wrapped
    FatVolumeParamsRecord p;
    ASSERT_TRUE(LoadFatCandidateRow(table, 2, p));
    EXPECT_EQ(p.sectorsPerFat, 0u);
    EXPECT_EQ(p.cluster0Start, 2048u);
    EXPECT_FALSE(LoadFatCandidateRow(table, 3, p));
    EXPECT_FALSE(LoadFatCandidateRow(table, 0, p));
}

namespace {

// A long-name entry with up to 13 characters of `part` (end mark and 0xFFFF fill when shorter).
void PutLongNameEntry(uint8_t* e, uint8_t sequence, const std::u16string& part, uint8_t checksum = 0x5A)
{
    static const size_t kCharOffsets[13] = { 1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30 };
    std::memset(e, 0, 32);
    e[0] = sequence;
    e[11] = 0x0F;
    e[13] = checksum;
    for (size_t i = 0; i < 13; ++i)
        PutLe16(e + kCharOffsets[i], i < part.size() ? part[i] : i == part.size() ? 0 : 0xFFFF);
}

std::u16string LongName(SectorSource* source, const uint8_t* sector, uint16_t offset, uint64_t number)
{
    std::u16string name;
    ParseDirectorySectors(source, sector, offset, number, name);
    return name;
}

} // namespace

TEST(LongNames, AssembledNearestEntryFirst)
{
    uint8_t s[512] = {};
    PutLongNameEntry(s + 0, 0x42, u"ng name.txt");
    PutLongNameEntry(s + 32, 0x01, u"A rather long");
    PutDirEntry(s + 64, "ARATHE~1TXT");
    EXPECT_EQ(LongName(nullptr, s, 64, 10), u"A rather longng name.txt");
    EXPECT_EQ(LongName(nullptr, s, 33, 7), u""); // not an entry's offset
    // Deleting marks every entry 0xE5, so the checksum no longer matches: still the name.
    uint8_t d[512] = {};
    PutLongNameEntry(d + 32, 0xE5, u"Q2 report.pdf", 0x00);
    PutDirEntry(d + 64,
                "\xE5"
                "2REPO~1PDF");
    EXPECT_EQ(LongName(nullptr, d, 64, 7), u"Q2 report.pdf");
    // Parts separated from the entry by another short entry are not taken.
    PutDirEntry(d + 64, "NEXT    TXT");
    PutDirEntry(d + 96, "LAST    TXT");
    EXPECT_EQ(LongName(nullptr, d, 96, 7), u"");
}

TEST(LongNames, BeginningInTheSectorBefore)
{
    CraftedDisk disk(100);
    PutLongNameEntry(disk.At(40).data() + 480, 0x41, u"split.txt");
    uint8_t s[512] = {};
    PutDirEntry(s, "SPLIT   TXT");
    EXPECT_EQ(LongName(&disk, s, 0, 41), u"split.txt");
    EXPECT_EQ(LongName(&disk, s, 0, 0), u""); // no sector before sector 0

    // When the sector before cannot be read the assembly ends with what it has, and the
    // buffer's stale contents never stand in for it.
    disk.Fail(40);
    EXPECT_EQ(LongName(&disk, s, 0, 41), u"");
    uint8_t t[512] = {};
    PutLongNameEntry(t + 0, 0x01, u"abcdefghijklm");
    PutDirEntry(t + 32, "ABCDEF~1   ");
    PutLongNameEntry(t + 480, 0x41, u"stale");
    EXPECT_EQ(LongName(&disk, t, 32, 41), u"abcdefghijklm");
}

TEST(LongNames, AtMostTwentyEntries)
{
    // 21 entries without an end mark: 5 before the short entry, 16 in the sector before.
    CraftedDisk disk(100);
    uint8_t cur[512] = {};
    std::u16string expected;
    int k = 0;
    for (int slot = 4; slot >= 0; --slot, ++k) {
        std::u16string part(13, char16_t(u'a' + k));
        PutLongNameEntry(cur + 32 * slot, uint8_t(k + 1), part);
        expected += part;
    }
    for (int slot = 15; slot >= 0; --slot, ++k) {
        std::u16string part(13, char16_t(u'a' + (k % 26)));
        PutLongNameEntry(disk.At(10).data() + 32 * slot, uint8_t(k + 1), part);
        if (k < 20)
            expected += part;
    }
    PutDirEntry(cur + 160, "LONG    TXT");
    EXPECT_EQ(LongName(&disk, cur, 160, 11), expected);
}
