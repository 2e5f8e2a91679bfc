// Copying found files out of a medium: exact sizes, zeros for what cannot be read, and the
// names given to files opened for viewing.
#include <gtest/gtest.h>

#include "fsrecovery/pure/file_copy.h"
#include "fsrecovery/pure/save_names.h"
#include "tests/pure/ntfs_test_records.h"
#include "tests/pure/storage_test_util.h"

namespace {

using storage_test::CraftedDisk;

// A disk whose sector n is filled with the byte n + 1, so every copied byte shows where it came from.
CraftedDisk PatternDisk(uint64_t sectors)
{
    CraftedDisk disk(sectors);
    for (uint64_t s = 0; s < sectors; ++s)
        disk.At(s).fill(uint8_t(s + 1));
    return disk;
}

struct Copied {
    CopyResult result;
    std::vector<uint8_t> bytes;
    std::vector<size_t> pieces;
};

Copied Copy(SectorSource& src, const std::vector<CopyExtent>& extents, uint64_t size, uint32_t block,
            const CopyStop& stop = {})
{
    Copied c;
    c.result = CopyExtents(
        src, extents, size, block,
        [&c](const uint8_t* d, size_t n) {
            c.bytes.insert(c.bytes.end(), d, d + n);
            c.pieces.push_back(n);
            return true;
        },
        stop);
    return c;
}

TEST(FileCopy, WritesExactlyTheSizeInBlocks)
{
    CraftedDisk disk = PatternDisk(64);
    // 5000 bytes in 8-sector blocks: one 4096-byte block and 904 bytes.
    Copied c = Copy(disk, { { 16, 16, false } }, 5000, 8);
    EXPECT_EQ(c.result, CopyResult::Done);
    EXPECT_EQ(c.pieces, (std::vector<size_t>{ 4096, 904 }));
    EXPECT_EQ(c.bytes[4999], 16 + 9 + 1);
}

TEST(FileCopy, UnreadableAndSparseStretchesBecomeZerosKeepingOffsets)
{
    CraftedDisk disk = PatternDisk(64);
    disk.Fail(3);
    Copied c = Copy(disk, { { 0, 4, false }, { 0, 2, true }, { 10, 2, false } }, 8 * 512, 1);
    ASSERT_EQ(c.result, CopyResult::Done);
    ASSERT_EQ(c.bytes.size(), 8u * 512);
    EXPECT_EQ(c.bytes[2 * 512], 3);
    for (size_t i = 3 * 512; i < 6 * 512; ++i)
        ASSERT_EQ(c.bytes[i], 0) << i;
    EXPECT_EQ(c.bytes[6 * 512], 11); // the run after the gaps lands at its own offset
    // In an 8-sector block only the bad sector is lost, even when the whole read fails.
    disk.Fail(0);
    Copied big = Copy(disk, { { 0, 16, false } }, 16 * 512, 8);
    EXPECT_EQ(std::vector<uint8_t>({ big.bytes[0], big.bytes[512], big.bytes[3 * 512], big.bytes[4 * 512] }),
              std::vector<uint8_t>({ 0, 2, 0, 5 }));
}

TEST(FileCopy, EndsAndStops)
{
    CraftedDisk disk = PatternDisk(16);
    EXPECT_EQ(Copy(disk, { { 0, 2, false } }, 0, 1).pieces.size(), 0u); // size 0 writes nothing
    Copied shortRuns = Copy(disk, { { 0, 2, false } }, 4096, 1);
    EXPECT_EQ(shortRuns.result, CopyResult::RunsEnded);
    EXPECT_EQ(shortRuns.bytes.size(), 1024u);
    int polls = 0;
    Copied stopped = Copy(disk, { { 0, 8, false } }, 4096, 1, [&] { return ++polls > 2; });
    EXPECT_EQ(stopped.result, CopyResult::Stopped);
    EXPECT_EQ(stopped.bytes.size(), 1024u);
    int writes = 0;
    EXPECT_EQ(CopyExtents(disk, { { 0, 8, false } }, 4096, 1, [&](const uint8_t*, size_t) { return ++writes < 2; }),
              CopyResult::WriteFailed);
    EXPECT_EQ(writes, 2);
    EXPECT_EQ(Copy(disk, { { 0, 8, false } }, 4096, 0).result, CopyResult::BadGeometry);
}

TEST(FileCopy, ExtentsFromChainsAndRuns)
{
    std::vector<CopyExtent> out;
    ASSERT_TRUE(FatChainExtents({ 5, 6, 7, 20, 8 }, 4, 100, out));
    ASSERT_EQ(out.size(), 3u); // neighbouring clusters merge
    EXPECT_EQ(out[0].sectorCount, 12u);
    EXPECT_EQ(out[2].firstSector, 132u);
    EXPECT_FALSE(FatContiguousExtents(9, 3, 0, 10, out)); // zero sectors per cluster
    EXPECT_FALSE(FatChainExtents({ 9 }, 0, 10, out));
    ASSERT_TRUE(NtfsRunExtents({ { 4, 2, false }, { 0, 3, true }, { 6, 1, false } }, 8, 2048, out));
    ASSERT_EQ(out.size(), 3u);
    EXPECT_TRUE(out[1].sparse);
    EXPECT_EQ(out[2].firstSector, 2048u + 48);
    EXPECT_FALSE(NtfsRunExtents({ { UINT64_MAX / 4, 1, false } }, 8, 0, out));
    EXPECT_FALSE(NtfsRunExtents({ { 1, 1, false } }, 0, 0, out));
    EXPECT_EQ(ClustersForSize(4096, 0), 0u);
}

TEST(FileCopy, ResidentDataMustLieInsideItsValue)
{
    ntfs_test::RecordBuilder b;
    const size_t at = b.Resident(kAttrData, { 'h', 'i', '!' });
    std::vector<uint8_t> rec = b.Finish();
    ApplyNtfsFixup(rec.data(), rec.size());
    size_t offset = 0;
    ASSERT_TRUE(ResidentDataSpan(rec.data(), at, 3, &offset));
    EXPECT_EQ(rec[offset], 'h');
    EXPECT_TRUE(ResidentDataSpan(rec.data(), at, 0, &offset));
    EXPECT_FALSE(ResidentDataSpan(rec.data(), at, 4, &offset));
    EXPECT_FALSE(ResidentDataSpan(rec.data(), at + 8, 3, &offset));
}

TEST(SaveNames, TemporaryNamesKeepOnlyACleanExtension)
{
    const struct {
        int counter;
        const wchar_t* name;
        const wchar_t* want;
    } cases[] = {
        { 3, L"README", L"VKD3" }, { 7, L"a.b.txt", L"VKD7.txt" }, { 1, L"f.txt:evil", L"VKD1.txtevil" },
        { 2, L"f.. ", L"VKD2" },   { 4, L"f.\\..\\x", L"VKD4.x" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(TempViewName(c.counter, c.name), CString(c.want)) << c.name;
}

} // namespace
