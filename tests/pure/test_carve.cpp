// The carving engine and its pass: invariants on random media, exact events on crafted edges.
#include <gtest/gtest.h>

#include "carve_reference.h"
#include "sigrecovery/pure/carve_output.h"
#include "storage/pure/namesanitiser.h"

using namespace carve_test;

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> v)
{
    return std::vector<uint8_t>(v.begin(), v.end());
}

struct RunResult {
    std::vector<std::string> events;
    CarvePassEnd end;
    uint64_t scannedEnd;
    unsigned asked;
    Recorder rec;
};

void RunEngine(const Medium& m, const std::vector<FileType1>& list, CarvePolicy policy, uint64_t start, uint64_t end,
               uint32_t chunk, SectorSource& src, RunResult& out, MediaAnswer answer = MediaAnswer::Skip,
               StopFlag* stop = nullptr)
{
    FixedAnswer host(answer);
    out.end = RunCarve(m, list, policy, start, end, chunk, src, out.rec, host, stop, &out.scannedEnd);
    out.events = out.rec.events;
    out.asked = host.asked;
    EXPECT_EQ(CheckItemBytes(m, out.rec, SignatureSet(list)), "");
}

std::vector<std::string> Opens(const std::vector<std::string>& events)
{
    std::vector<std::string> opens;
    for (const std::string& e : events)
        if (e.rfind("open", 0) == 0)
            opens.push_back(e);
    return opens;
}

// A random medium of mostly small-alphabet bytes (so partial matches are common) with headers of
// the list planted at random sectors, some at chunk edges.
Medium MakeMedium(std::mt19937& rng, const std::vector<FileType1>& list, uint64_t sectors, bool faults)
{
    Medium m;
    m.bytes.resize(sectors * 512 - (rng() % 3 == 0 ? rng() % 511 : 0));
    for (auto& b : m.bytes)
        b = static_cast<uint8_t>(rng() % 4 == 0 ? rng() % 256 : "ABab"[rng() % 4]);
    const uint64_t plants = sectors / 24;
    for (uint64_t i = 0; i < plants; ++i) {
        const FileType1& t = list[rng() % list.size()];
        uint64_t s = rng() % sectors;
        if (i % 5 == 0)
            s = (s | 7) & ~uint64_t(0); // last sector of an 8-sector chunk
        if (i % 7 == 0)
            s = (s & ~uint64_t(511)) + 511 - (i % 2) * 511;
        const uint64_t p = s * 512 + uint64_t(t.offset - 1);
        for (int j = 0; j < t.signatureLength && p + j < m.bytes.size(); ++j)
            m.bytes[p + j] = uint8_t(t.signature[j]);
    }
    if (faults)
        for (uint64_t i = 0; i < sectors / 64; ++i) {
            const uint64_t s = rng() % sectors;
            for (uint64_t k = 0; k < 1 + rng() % 12; ++k)
                m.bad.insert(s + k);
        }
    return m;
}

std::vector<FileType1> RandomList(std::mt19937& rng)
{
    static const int kOffsets[] = { 1, 1, 2, 100, 480, 497, 511, 512 };
    std::vector<FileType1> list;
    const size_t n = 3 + rng() % 6;
    for (size_t i = 0; i < n; ++i) {
        std::vector<uint8_t> sig(1 + rng() % 20);
        for (auto& b : sig)
            b = static_cast<uint8_t>("ABab\xFF\xD8"[rng() % 6]);
        if (i > 0 && rng() % 4 == 0)
            sig = std::vector<uint8_t>(list[0].signature, list[0].signature + list[0].signatureLength);
        const std::string size = std::to_string(200 + rng() % 600000);
        list.push_back(MakeSignature(i % 2 ? ".JPG" : ".PNG", sig, kOffsets[rng() % 8], size.c_str()));
    }
    return list;
}

} // namespace

TEST(CarveSet, RefusesRecordsOutsideTheFormatAndKeepsListOrder)
{
    std::vector<FileType1> list = { MakeSignature(".A", Bytes({ 7, 1 }), 3, "100"),
                                    MakeSignature(".B", Bytes({ 7, 2 }), 1, "0"), // size 0 never ends
                                    MakeSignature(".C", Bytes({ 7, 3 }), 0, "100"),
                                    MakeSignature(".D", Bytes({ 7, 4 }), 513, "100"),
                                    MakeSignature(".E", Bytes({}), 1, "100"),
                                    MakeSignature(".F", Bytes({ 7, 5 }), 3, "x"),
                                    MakeSignature(".G", Bytes({ 7, 6 }), 512, "100"),
                                    MakeSignature(".H", Bytes({ 7, 7 }), 3, "100"),
                                    MakeSignature(".I", Bytes({ 7, 8 }), 3, "100") };
    list[7].signatureLength = 51;
    const SignatureSet set(list);
    EXPECT_EQ(set.RefusedCount(), 6u);
    ASSERT_EQ(set.Size(), 3u);
    ASSERT_EQ(set.ProbeCount(), 2u);
    EXPECT_EQ(set.ProbePos(1), 511);
    EXPECT_EQ(std::vector<int32_t>(set.CandidatesBegin(0, 7), set.CandidatesEnd(0, 7)), (std::vector<int32_t>{ 0, 2 }));
}

// On random media every item starts at a real header and holds the medium's bytes; and neither
// the chunk size nor short reads change what is found: one sector at a time is the baseline.
TEST(CarveEngine, ChunkSizeAndShortReadsNeverChangeTheResult)
{
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        std::mt19937 rng(seed);
        const std::vector<FileType1> list = RandomList(rng);
        const bool faults = seed % 2 == 0;
        const Medium m = MakeMedium(rng, list, 3000 + rng() % 2000, faults);
        const uint64_t start = seed % 3 == 0 ? rng() % 700 : 0;
        const uint64_t end = seed % 3 == 1 ? m.Sectors() + 100 : start + rng() % (m.Sectors() - start);
        for (CarvePolicy policy : { CarvePolicy::AllMatches, CarvePolicy::FirstMatch }) {
            FaultySource plain(m, seed, false);
            RunResult base;
            RunEngine(m, list, policy, start, end, 1, plain, base);
            ASSERT_GT(Opens(base.events).size(), 3u);
            for (uint32_t chunk : { 8u, 512u, 2048u, uint32_t(2 + rng() % 300) }) {
                SCOPED_TRACE("seed " + std::to_string(seed) + " chunk " + std::to_string(chunk) + " policy " +
                             std::to_string(int(policy)));
                FaultySource src(m, seed * 31 + chunk, faults);
                RunResult r;
                RunEngine(m, list, policy, start, end, chunk, src, r);
                EXPECT_EQ(r.end, CarvePassEnd::Completed);
                ASSERT_EQ(r.events, base.events);
            }
        }
    }
}

// A stop at any point keeps and closes every item opened before it, with the bytes read so far.
TEST(CarveEngine, StopsKeepEveryItemFoundBeforeTheStop)
{
    std::mt19937 rng(99);
    const std::vector<FileType1> list = RandomList(rng);
    const Medium m = MakeMedium(rng, list, 4000, true);
    FaultySource plain(m, 0, false);
    RunResult full;
    RunEngine(m, list, CarvePolicy::AllMatches, 0, m.Sectors(), 512, plain, full);
    const std::vector<std::string> opens = Opens(full.events);
    ASSERT_GT(opens.size(), 10u);
    for (int trial = 0; trial < 12; ++trial) {
        StopFlag stop{ 0 };
        RunResult r;
        r.rec.stopAfterOpens = &stop;
        r.rec.stopAt = 1 + rng() % opens.size();
        FaultySource src(m, trial, true);
        RunEngine(m, list, CarvePolicy::AllMatches, 0, m.Sectors(), trial % 2 ? 8 : 512, src, r, MediaAnswer::Skip,
                  &stop);
        EXPECT_EQ(r.end, CarvePassEnd::Stopped);
        const std::vector<std::string> got = Opens(r.events);
        ASSERT_GE(got.size(), r.rec.stopAt);
        ASSERT_LE(got.size(), opens.size());
        EXPECT_TRUE(std::equal(got.begin(), got.end(), opens.begin()));
        EXPECT_EQ(r.rec.items.size(), r.rec.ends.size());
    }
}

namespace {

using Events = std::vector<std::string>;

// A zeroed medium with headers planted where a test wants them. By default one signature "HDR!"
// at offset 510 (its last byte lies in the next sector) and one "TOP" at offset 100.
struct EdgeCase {
    std::vector<FileType1> list = { MakeSignature(".CRS", Bytes({ 'H', 'D', 'R', '!' }), 510, "1000000"),
                                    MakeSignature(".TOP", Bytes({ 'T', 'O', 'P' }), 100, "1000000") };
    Medium m;
    EdgeCase() { m.bytes.assign(2048 * 512, 0); }
    void Plant(uint64_t sector, int which)
    {
        const FileType1& t = list[which];
        for (int j = 0; j < t.signatureLength; ++j)
            m.bytes[sector * 512 + t.offset - 1 + j] = uint8_t(t.signature[j]);
    }
    RunResult Run(uint64_t start, uint64_t end, uint32_t chunk, MediaAnswer answer = MediaAnswer::Skip,
                  CarvePolicy policy = CarvePolicy::AllMatches, size_t failDataAt = 0, size_t failOpenAt = 0,
                  size_t failCloseAt = 0)
    {
        FaultySource src(m, 1, false); // only the bad sectors fail
        RunResult r;
        r.rec.failDataAt = failDataAt;
        r.rec.failOpenAt = failOpenAt;
        r.rec.failCloseAt = failCloseAt;
        RunEngine(m, list, policy, start, end, chunk, src, r, answer);
        return r;
    }
};

} // namespace

TEST(CarveEngine, SignatureRunningIntoTheNextChunkIsComparedWithItsBytes)
{
    EdgeCase e;
    e.Plant(511, 0); // last sector of the first chunk; "!" lies in sector 512
    e.Plant(512, 1); // first sector of the next chunk
    EXPECT_EQ(e.Run(0, 2047, 512).events,
              (Events{ "open 0 r0 @261632 CRS00001.CRS", "close 0 @262144 header", "open 1 r1 @262144 TOP00001.TOP",
                       "close 1 @1048576 end" }));
    // When the range ends at sector 511 the bytes after it are not read: no header there.
    EXPECT_TRUE(e.Run(0, 511, 512).events.empty());
    // A range ending inside a chunk ends the data there.
    e.Plant(700, 1);
    e.Plant(701, 1);
    const RunResult r = e.Run(600, 700, 512);
    EXPECT_EQ(r.events, (Events{ "open 0 r1 @358400 TOP00001.TOP", "close 0 @358912 end" }));
    EXPECT_EQ(r.rec.data.at(0).size(), 512u);
}

TEST(CarveEngine, ItemsOpenedTogetherCountTheirOwnBytes)
{
    EdgeCase e;
    e.list = { MakeSignature(".A", Bytes({ 'Q' }), 1, "1000"), MakeSignature(".B", Bytes({ 'Q' }), 1, "300000") };
    e.m.bytes[512] = 'Q';
    EXPECT_EQ(
        e.Run(0, 1023, 8).events,
        (Events{ "open 0 r0 @512 A00001.A", "open 1 r1 @512 B00001.B", "close 0 @1512 size", "close 1 @300512 size" }));
    // Photo opens only the first match of a sector.
    EXPECT_EQ(e.Run(0, 1023, 8, MediaAnswer::Skip, CarvePolicy::FirstMatch).events,
              (Events{ "open 0 r0 @512 GNKX00001.A", "close 0 @1512 size" }));
}

TEST(CarvePass, UnreadableChunkIsNeverScannedAndTheQuestionFollowsTheAnswer)
{
    EdgeCase e;
    e.Plant(10, 1);
    e.Plant(20, 1); // inside the bad chunk [16, 24): its stale or zero bytes must not count
    e.Plant(30, 1);
    for (uint64_t s = 16; s < 24; ++s)
        e.m.bad.insert(s);
    e.m.bad.insert(12); // one bad sector costs only itself
    RunResult r = e.Run(0, 63, 8, MediaAnswer::Retry);
    EXPECT_EQ(r.events,
              (Events{ "open 0 r1 @5120 TOP00001.TOP", "close 0 @15360 header", "open 1 r1 @15360 TOP00002.TOP",
                       "close 1 @32768 end" }));
    EXPECT_EQ(r.asked, 1u);
    r = e.Run(0, 63, 8, MediaAnswer::Cancel);
    EXPECT_EQ(r.end, CarvePassEnd::Cancelled);
    EXPECT_EQ(r.events, (Events{ "open 0 r1 @5120 TOP00001.TOP", "close 0 @8192 end" }));
    // "Apply this action until the searching completes": asked once for three dead chunks.
    for (uint64_t s = 40; s < 64; ++s)
        e.m.bad.insert(s);
    r = e.Run(0, 63, 8, MediaAnswer::RetryAlways);
    EXPECT_EQ(r.asked, 1u);
    EXPECT_EQ(r.end, CarvePassEnd::Completed);
}

// The last chunk ends at the range, at the device's end, and at the top of the sector numbers.
TEST(CarvePass, ChunksStopAtTheRangeAndTheDevice)
{
    CarveRange r;
    r.start = 0, r.end = 1000, r.chunkSectors = 512, r.deviceBytes = 600 * 512 - 100;
    EXPECT_EQ(CarveChunkLength(r, 512), 88u);
    EXPECT_EQ(CarveChunkLength(r, 600), 0u);
    r.end = UINT64_MAX, r.deviceBytes = 0;
    EXPECT_EQ(CarveChunkLength(r, UINT64_MAX - 3), 4u);
}

TEST(CarvePass, FailingSinkEndsThePassAndClosesEverything)
{
    EdgeCase e;
    for (uint64_t s = 0; s < 100; s += 10)
        e.Plant(s, 1);
    const RunResult r = e.Run(0, 2047, 8, MediaAnswer::Skip, CarvePolicy::AllMatches, 3);
    EXPECT_EQ(r.end, CarvePassEnd::SinkFailed);
    EXPECT_EQ(r.rec.items.size(), r.rec.ends.size());
    EXPECT_LT(r.rec.items.size(), 10u);
}

// A destination that fails (a write, a create, a close) cuts short every item open then that had
// not got its bytes up to its own end: the one whose write failed, those the failed stretch had
// not reached yet, those that took it but still fell short of their size, and those opened
// beside a file that could not be created. An item that took the stretch up to its size or to
// the next header is whole and ends there.
TEST(CarvePass, AFailedWriteCutsShortEveryItemTheStretchDidNotReach)
{
    const struct {
        size_t failDataAt;
        Events closes;
        const char* firstMaxSize = "1000";
        uint64_t header = 0; // a sector with a second header, 0 none
        size_t failOpenAt = 0;
        size_t failCloseAt = 0;
    } cases[] = {
        { 1, { "close 0 @512 cut", "close 1 @512 cut" } },    // the first item's write: neither got it
        { 2, { "close 0 @1512 end", "close 1 @512 cut" } },   // the second's: the first took it
        { 3, { "close 0 @1512 size", "close 1 @1512 cut" } }, // the second alone, after the first
        // The first took the stretch, but its size goes on past it.
        { 2, { "close 0 @3584 cut", "close 1 @512 cut" }, "300000" },
        // The first took the stretch up to the next header: it is whole.
        { 2, { "close 0 @1536 end", "close 1 @512 cut" }, "300000", 3 },
        // The second file could not be created: the first, opened at the same place, holds nothing.
        { 0, { "close 0 @512 cut" }, "1000", 0, 2 },
        // The same at a later header: those the header ended are whole, the one opened there is not.
        { 0,
          { "close 0 @1536 header", "close 1 @1536 header", "open 2 r0 @1536 A00002.A", "open 3 r1 @1536 B00002.B",
            "close 2 @1536 cut" },
          "300000",
          3,
          4 },
        // The first's close at its size failed: the second had got no further.
        { 0, { "close 0 @1512 size", "close 1 @1512 cut" }, "1000", 0, 0, 1 },
    };
    for (const auto& c : cases) {
        EdgeCase e;
        e.list = { MakeSignature(".A", Bytes({ 'Q' }), 1, c.firstMaxSize),
                   MakeSignature(".B", Bytes({ 'Q' }), 1, "300000") };
        e.m.bytes[512] = 'Q';
        if (c.header != 0)
            e.m.bytes[c.header * 512] = 'Q';
        const RunResult r =
            e.Run(0, 1023, 8, MediaAnswer::Skip, CarvePolicy::AllMatches, c.failDataAt, c.failOpenAt, c.failCloseAt);
        const std::string row = std::to_string(&c - cases);
        EXPECT_EQ(r.end, CarvePassEnd::SinkFailed) << row;
        EXPECT_EQ(Events(r.events.begin() + 2, r.events.end()), c.closes) << row;
    }
}

TEST(CarveOutput, FoundFilesLieBelowTheirSearchFolder)
{
    CString path;
    ASSERT_TRUE(CarveFilePath(L"C:\\Out", CarveSearchKind::Signature, false, L".jpg", L"JPG00001.JPG", &path));
    EXPECT_EQ(path, CString(L"C:\\Out\\Zembrolix Recovery (Premium)\\Signature Search\\General\\JPG\\JPG00001.JPG"));
    // An extension from a data file cannot lead outside the destination.
    ASSERT_TRUE(CarveFilePath(L"C:\\Out", CarveSearchKind::Photo, false, L"..\\..\\x", L"..", &path));
    const CString general = L"C:\\Out\\Zembrolix Recovery (Premium)\\Photo Search\\General";
    EXPECT_TRUE(PathIsInsideFolder(general, path)) << path.GetString();
    EXPECT_NE(path, general);
}
