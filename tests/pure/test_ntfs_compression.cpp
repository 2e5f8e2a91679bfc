// NTFS compressed files: LZNT1 units copied unit by unit, damage that fails the file, and which
// records are read that way.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "fsrecovery/pure/file_copy.h"
#include "storage/pure/lznt1.h"
#include "tests/pure/ntfs_test_records.h"
#include "tests/pure/storage_test_util.h"

namespace {

using ntfs_test::Put16;
using ntfs_test::Put32;
using Bytes = std::vector<uint8_t>;

Bytes Text(size_t n)
{
    static const std::string line = "The quick brown fox jumps over the lazy dog. ";
    Bytes out(n);
    for (size_t i = 0; i < n; ++i)
        out[i] = uint8_t(line[i % line.size()]);
    return out;
}

Bytes Random(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes out(n);
    for (uint8_t& b : out)
        b = uint8_t(rng());
    return out;
}

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A chunk: its 16-bit header, then its bytes.
Bytes Chunk(uint16_t header, const Bytes& body)
{
    Bytes out(body.size() + 2);
    Put16(out.data(), header);
    std::copy(body.begin(), body.end(), out.begin() + 2);
    return out;
}

// One compressed chunk, token by token; each back-reference takes the split of offset and length
// bits its position in the chunk calls for. What the chunk stands for is kept beside it.
class ChunkWriter {
public:
    ChunkWriter& Literals(const Bytes& bytes)
    {
        for (uint8_t b : bytes) {
            Flag(false);
            m_tokens.push_back(b);
            m_plain.push_back(b);
        }
        return *this;
    }
    ChunkWriter& Ref(size_t offset, size_t length)
    {
        unsigned lengthBits = 12;
        for (size_t reach = m_plain.size() - 1; reach >= 16; reach >>= 1)
            --lengthBits;
        EXPECT_LT(length - 3, size_t(1) << lengthBits);
        EXPECT_LE(offset, m_plain.size());
        Flag(true);
        const uint16_t token = uint16_t((offset - 1) << lengthBits | (length - 3));
        m_tokens.push_back(uint8_t(token));
        m_tokens.push_back(uint8_t(token >> 8));
        for (size_t i = 0; i < length; ++i)
            m_plain.push_back(m_plain[m_plain.size() - offset]);
        return *this;
    }
    // Back-references of `offset`, each as long as its position allows, until `total` bytes.
    ChunkWriter& Repeat(size_t offset, size_t total)
    {
        while (total >= 3) {
            unsigned lengthBits = 12;
            for (size_t reach = m_plain.size() - 1; reach >= 16; reach >>= 1)
                --lengthBits;
            const size_t length = std::min(total, (size_t(1) << lengthBits) + 2);
            Ref(offset, length);
            total -= length;
        }
        return *this;
    }
    Bytes Packed() const { return Chunk(uint16_t(0xB000 | (m_tokens.size() - 1)), m_tokens); }
    const Bytes& Plain() const { return m_plain; }

private:
    void Flag(bool reference)
    {
        if (m_bits == 8) {
            m_flagAt = m_tokens.size();
            m_tokens.push_back(0);
            m_bits = 0;
        }
        if (reference)
            m_tokens[m_flagAt] |= uint8_t(1 << m_bits);
        ++m_bits;
    }
    Bytes m_tokens, m_plain;
    size_t m_flagAt = 0;
    int m_bits = 8;
};

// A chunk kept as it is: 4 KiB after a header without the compressed bit.
Bytes StoredChunk(const Bytes& bytes)
{
    return Chunk(uint16_t(0x3000 | (bytes.size() - 1)), bytes);
}

// The units of a file laid out on a disk of one-sector clusters, one after the other.
struct Unit {
    enum Kind { Stored, Packed, Hole } kind;
    Bytes bytes;          // Stored: the unit's bytes (fewer in a last unit whose runs end early);
                          // Packed: its chunks
    uint32_t sectors = 0; // Packed: sectors its clusters take (0: as many as the chunks need)
};

struct Laid {
    Bytes disk;
    std::vector<CopyExtent> extents;
    uint64_t firstPacked = 0; // the first sector of the first compressed unit
};

Laid Lay(const std::vector<Unit>& units, uint32_t unitSectors, bool holeFirst)
{
    Laid laid;
    laid.disk.resize(kSectorSize); // sector 0 holds nothing of the file
    bool packedSeen = false;
    for (const Unit& u : units) {
        const uint64_t at = laid.disk.size() / kSectorSize;
        if (u.kind == Unit::Hole) {
            laid.extents.push_back({ 0, unitSectors, true });
            continue;
        }
        uint32_t sectors = uint32_t((u.bytes.size() + kSectorSize - 1) / kSectorSize);
        if (u.kind == Unit::Packed && u.sectors != 0)
            sectors = u.sectors;
        Bytes clusters = u.bytes;
        clusters.resize(size_t(sectors) * kSectorSize);
        laid.disk.insert(laid.disk.end(), clusters.begin(), clusters.end());
        const CopyExtent data{ at, sectors, false }, tail{ 0, unitSectors - sectors, true };
        if (u.kind == Unit::Stored) {
            laid.extents.push_back(data);
        } else {
            if (!packedSeen)
                laid.firstPacked = at;
            packedSeen = true;
            if (holeFirst)
                laid.extents.push_back(tail);
            laid.extents.push_back(data);
            if (!holeFirst)
                laid.extents.push_back(tail);
        }
    }
    return laid;
}

// A file of compression units is read unit by unit in file order: a unit with all its clusters
// as it is, one whose clusters end in a hole as LZNT1 chunks (stored or compressed, each standing
// for 4 KiB), a unit that is all hole as zeros, and the file ends at its size. Any unit that does
// not decompress fails the copy as damaged.
TEST(NtfsCompression, UnitsAreCopiedAsTheyLieOrDecompressedAndDamageFails)
{
    constexpr uint32_t kUnit = 16; // sectors: 8 KiB, two chunks
    const Bytes text = Text(4096), noise = Random(4096, 7);
    ChunkWriter textChunk; // early back-references first, then ever later ones
    textChunk.Literals(Bytes(text.begin(), text.begin() + 45)).Repeat(45, 4096 - 45);
    ChunkWriter early;
    early.Literals({ 'a', 'b', 'c' }).Ref(3, 6).Ref(1, 4).Literals({ 'x' }).Ref(13, 3);
    ChunkWriter late;
    late.Literals(Random(3000, 3)).Ref(2990, 18).Literals({ 'y' }).Repeat(3019, 4096 - 3019);
    // The first back-reference at position 16 (4 offset bits), the second at 19 (5), written out.
    const Bytes handWritten = { 0x16, 0xB0, 0x00, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0x00, 'i', 'j', 'k', 'l',
                                'm',  'n',  'o',  'p', 0x03, 0x00, 0xF0, 0x01, 0x90 };
    const Bytes handPlain = { 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l',
                              'm', 'n', 'o', 'p', 'a', 'b', 'c', 'a', 'b', 'c', 'd' };
    const auto padded = [](Bytes b, size_t n) {
        b.resize(n);
        return b;
    };
    const auto packed = [](std::initializer_list<Bytes> chunks, uint32_t sectors = 0) {
        return Unit{ Unit::Packed, Join(chunks), sectors };
    };
    ChunkWriter wholeRun; // 4 KiB and then three bytes more
    wholeRun.Literals({ 'z' }).Repeat(1, 4095);
    Bytes tooLong = wholeRun.Packed();
    tooLong[tooLong.size() - 2] += 1; // the last back-reference one byte longer
    const Bytes badSignature = { 0x10, 0xA0, 0x00, 'a', 'b' };

    struct Case {
        const char* what;
        std::vector<Unit> units;
        uint64_t size;
        CopyResult result;
        Bytes want;
        bool holeFirst = false, unreadable = false;
        uint32_t unit = kUnit;
    } cases[] = {
        { "a unit stored whole", { { Unit::Stored, Join({ text, noise }) } }, 8192, CopyResult::Done,
          Join({ text, noise }) },
        { "chunks compressed and stored", { packed({ textChunk.Packed(), StoredChunk(noise) }) }, 8192,
          CopyResult::Done, Join({ textChunk.Plain(), noise }) },
        { "a wholly sparse unit between others",
          { { Unit::Stored, Join({ noise, text }) }, { Unit::Hole, {} }, packed({ StoredChunk(text) }) }, 3 * 8192,
          CopyResult::Done, Join({ noise, text, Bytes(8192), padded(text, 8192) }) },
        { "back-references early and late in a chunk", { packed({ early.Packed(), late.Packed() }) }, 8192,
          CopyResult::Done, Join({ padded(early.Plain(), 4096), padded(late.Plain(), 4096) }) },
        { "the split of a back-reference at positions 16 and 19", { packed({ handWritten }) }, 8192,
          CopyResult::Done, padded(handPlain, 8192) },
        { "a last unit partial, the size not a multiple of the unit",
          { { Unit::Stored, Join({ noise, noise }) }, packed({ StoredChunk(text) }) }, 8192 + 1000, CopyResult::Done,
          Join({ noise, noise, padded(text, 1000) }) },
        { "a last unit stored whose runs end with the file",
          { packed({ textChunk.Packed() }), { Unit::Stored, padded(noise, 1024) } }, 8192 + 1000, CopyResult::Done,
          Join({ padded(textChunk.Plain(), 8192), padded(noise, 1000) }) },
        { "runs that end before the size", { packed({ textChunk.Packed() }) }, 3 * 8192, CopyResult::RunsEnded,
          padded(textChunk.Plain(), 8192) },
        { "a header without the signature", { packed({ badSignature }) }, 8192, CopyResult::Damaged, {} },
        { "clusters overwritten by text since", { { Unit::Packed, text, 4 } }, 8192, CopyResult::Damaged, {} },
        { "a chunk longer than the unit's clusters", { packed({ StoredChunk(text) }, 4) }, 8192,
          CopyResult::Damaged, {} },
        { "a back-reference before the chunk's start", { packed({ { 0x03, 0xB0, 0x01, 0x00, 0x00, 'a' } }) }, 8192,
          CopyResult::Damaged, {} },
        { "a back-reference overlapping what it writes",
          { packed({ ChunkWriter().Literals({ 'a', 'b' }).Ref(2, 3).Packed() }) }, 8192, CopyResult::Done,
          padded({ 'a', 'b', 'a', 'b', 'a' }, 8192) },
        { "an offset past the bytes given so far", { packed({ { 0x05, 0xB0, 0x02, 'a', 0x00, 0x10 } }) }, 8192,
          CopyResult::Damaged, {} },
        { "a back-reference cut off by the chunk's end", { packed({ { 0x02, 0xB0, 0x02, 'a', 0x00 } }) }, 8192,
          CopyResult::Damaged, {} },
        { "a chunk giving more than its 4 KiB", { packed({ tooLong }) }, 8192, CopyResult::Damaged, {} },
        { "a chunk giving more than a unit of 2 KiB",
          { packed({ ChunkWriter().Literals({ 'z' }).Repeat(1, 2500).Packed() }) }, 2048, CopyResult::Damaged, {},
          false, false, 4 },
        { "a hole before the unit's clusters", { packed({ StoredChunk(text) }) }, 8192, CopyResult::Damaged, {},
          true },
        { "compressed clusters that cannot be read", { packed({ StoredChunk(text) }) }, 8192, CopyResult::Damaged,
          {}, false, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Laid laid = Lay(c.units, c.unit, c.holeFirst);
        MemorySectorSource image(laid.disk);
        storage_test::CraftedDisk disk(laid.disk.size() / kSectorSize, &image);
        if (c.unreadable)
            disk.Fail(laid.firstPacked + 1);
        Bytes out;
        const CopyResult result = CopyCompressedExtents(disk, laid.extents, c.size, c.unit,
                                                        [&out](const uint8_t* d, size_t n) {
                                                            out.insert(out.end(), d, d + n);
                                                            return true;
                                                        });
        EXPECT_EQ(c.result, result);
        if (result != CopyResult::Damaged) {
            EXPECT_TRUE(out == c.want) << out.size() << " bytes, " << c.want.size() << " wanted";
        }
    }
}

// Which records are read unit by unit: those whose unnamed $DATA is non-resident and carries the
// compressed flag, with the unit its header gives. A compression not decoded here, and a file that
// Windows keeps compressed behind a reparse point (its data a hole, its bytes in a named stream),
// cannot be copied. Resident data is copied as it lies, whatever its flags.
TEST(NtfsCompression, TheDataAttributesOwnFlagDecidesHowARecordIsRead)
{
    const Bytes runs = { 0x21, 0x10, 0x00, 0x01, 0x01, 0x10 }; // 16 clusters at 256, then a hole of 16
    struct Case {
        const char* what;
        uint16_t flags;
        uint8_t unitShift;
        uint32_t reparseTag; // 0: none
        bool resident;
        NtfsDataPlan::Kind kind;
        uint32_t unitSectors;
    } cases[] = {
        { "plain", 0x0000, 0, 0, false, NtfsDataPlan::Kind::Runs, 0 },
        { "compressed", 0x0001, 4, 0, false, NtfsDataPlan::Kind::Runs, 128 },
        { "compressed, sparse too", 0x8001, 4, 0, false, NtfsDataPlan::Kind::Runs, 128 },
        { "compressed without a unit", 0x0001, 0, 0, false, NtfsDataPlan::Kind::Unusable, 0 },
        { "compressed in units of 8 MiB", 0x0001, 11, 0, false, NtfsDataPlan::Kind::Unusable, 0 },
        { "another compression method", 0x0002, 4, 0, false, NtfsDataPlan::Kind::Unusable, 0 },
        { "a unit in the header of plain data", 0x0000, 4, 0, false, NtfsDataPlan::Kind::Runs, 0 },
        { "kept compressed by Windows behind a reparse point", 0x8000, 0, 0x80000017, false,
          NtfsDataPlan::Kind::Unusable, 0 },
        { "another reparse point", 0x0000, 0, 0xA000000C, false, NtfsDataPlan::Kind::Runs, 0 },
        { "resident with the compressed flag", 0x0001, 0, 0, true, NtfsDataPlan::Kind::InRecord, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ntfs_test::RecordBuilder b;
        const size_t at = c.resident ? b.Resident(kAttrData, Text(40)) : b.NonResident(kAttrData, runs, 0, 40000);
        Put16(&b.rec[at + 0x0C], c.flags);
        if (!c.resident)
            b.rec[at + 0x22] = c.unitShift;
        if (c.reparseTag != 0) {
            Bytes value(8);
            Put32(value.data(), c.reparseTag);
            b.Resident(0xC0, value);
        }
        Bytes rec = b.Finish();
        ApplyNtfsFixup(rec.data(), rec.size());
        const NtfsDataPlan plan = PlanNtfsData(rec.data(), c.resident ? 40 : 40000, 8, 2048);
        EXPECT_EQ(c.kind, plan.kind);
        EXPECT_EQ(c.unitSectors, plan.unitSectors);
        if (plan.kind == NtfsDataPlan::Kind::InRecord) {
            EXPECT_EQ(0, memcmp(rec.data() + plan.recordOffset, Text(40).data(), 40));
        }
        if (plan.kind == NtfsDataPlan::Kind::Runs) {
            ASSERT_EQ(2u, plan.extents.size());
            EXPECT_EQ(2048u + 256 * 8, plan.extents[0].firstSector);
            EXPECT_TRUE(plan.extents[1].sparse);
        }
    }

    // Held to the volume, a compressed file keeps whole units: a size that ends where the last
    // unit's clusters end must not lose the hole that marks the unit compressed.
    std::vector<CopyExtent> extents = { { 100, 3, false }, { 0, 13, true } };
    EXPECT_FALSE(ClipExtentsToVolume(extents, 3 * 512, { 0, 1000 }, 16));
    ASSERT_EQ(2u, extents.size());
    EXPECT_EQ(13u, extents[1].sectorCount);
}

} // namespace
