// NTFS record decoding on crafted records: fix-up, attribute walk, mapping pairs, the $MFT run
// table and the $FILE_NAME readers.
#include <gtest/gtest.h>

#include "storage/pure/fs_names.h"
#include "storage/pure/globals.h"
#include "storage/pure/mft_runs.h"
#include "storage/pure/ntfs_record.h"
#include "tests/pure/ntfs_test_records.h"
#include "tests/pure/storage_test_util.h"

using namespace ntfs_test;

namespace {

std::vector<ClusterRun> Decode(const std::vector<uint8_t>& pairs, bool* complete = nullptr)
{
    std::vector<ClusterRun> runs;
    const bool ok = DecodeMappingPairs(pairs.data(), pairs.size(), runs);
    if (complete)
        *complete = ok;
    return runs;
}

}  // namespace

TEST(NtfsFixup, RestoresEverySectorTailAndReportsTornRecords)
{
    RecordBuilder b;
    b.rec[510] = 0x11; b.rec[511] = 0x22; b.rec[1022] = 0x33; b.rec[1023] = 0x44;
    std::vector<uint8_t> rec = b.Finish();
    EXPECT_TRUE(ApplyNtfsFixup(rec.data(), rec.size()));
    EXPECT_EQ(rec[510], 0x11); EXPECT_EQ(rec[511], 0x22);
    EXPECT_EQ(rec[1022], 0x33); EXPECT_EQ(rec[1023], 0x44);

    // A torn record (second sector written by another update) is still fixed up.
    std::vector<uint8_t> torn = b.Finish();
    torn[1022] = 0x99;
    EXPECT_FALSE(ApplyNtfsFixup(torn.data(), torn.size()));
    EXPECT_EQ(torn[510], 0x11); EXPECT_EQ(torn[1023], 0x44);
}

TEST(NtfsFixup, StaysInsideTheBufferAndTheArray)
{
    std::vector<uint8_t> rec = RecordBuilder().Finish();
    const std::vector<uint8_t> original = rec;
    ApplyNtfsFixup(rec.data(), 2);              // too short to hold the header
    EXPECT_EQ(rec, original);

    Put16(&rec[4], 1023);                       // array offset past the buffer
    ApplyNtfsFixup(rec.data(), rec.size());
    EXPECT_EQ(rec[510], original[510]);

    rec = original;
    Put16(&rec[6], 40);                         // more entries than sectors in 1024 bytes
    ApplyNtfsFixup(rec.data(), rec.size());     // ASan checks no write passes byte 1023
    Put16(&rec[6], 1);                          // no entry beyond the sequence number
    rec[510] = 0x5A;
    ApplyNtfsFixup(rec.data(), rec.size());
    EXPECT_EQ(rec[510], 0x5A);

    // A 512-byte buffer gets its one sector restored and nothing beyond.
    std::vector<uint8_t> half(original.begin(), original.begin() + 512);
    ApplyNtfsFixup(half.data(), half.size());
    EXPECT_EQ(half[510], 0);
}

TEST(NtfsAttributeWalk, FindsUnnamedDataPastNamedStreams)
{
    RecordBuilder b;
    b.Resident(kAttrStandardInfo, std::vector<uint8_t>(48));
    b.Resident(kAttrData, {1, 2, 3}, u"Zone.Identifier");
    const size_t unnamed = b.NonResident(kAttrData, {0x11, 0x04, 0x20, 0x00});
    size_t offset = 0;
    EXPECT_EQ(FindUnnamedDataAttribute(b.rec.data(), &offset), 2);
    EXPECT_EQ(offset, unnamed);

    RecordBuilder onlyNamed;
    onlyNamed.Resident(kAttrData, {1}, u"alt");
    EXPECT_EQ(FindUnnamedDataAttribute(onlyNamed.rec.data(), &offset), 0);

    RecordBuilder resident;
    const size_t at = resident.Resident(kAttrData, {'h', 'i'});
    EXPECT_EQ(FindUnnamedDataAttribute(resident.rec.data(), &offset), 1);
    EXPECT_EQ(offset, at);
}

TEST(NtfsAttributeWalk, EndsAtAnyPartOutsideTheAttributeOrRecord)
{
    RecordBuilder b;
    const size_t si = b.Resident(kAttrStandardInfo, std::vector<uint8_t>(48));
    const size_t data = b.Resident(kAttrData, {1, 2, 3, 4});
    size_t offset = 0;

    auto walkFails = [&](auto corrupt) {
        RecordBuilder c = b;
        corrupt(c.rec.data());
        return FindUnnamedDataAttribute(c.rec.data(), &offset) == 0;
    };
    EXPECT_TRUE(walkFails([&](uint8_t* r) { Put32(r + si + 4, 0); }));               // zero length
    EXPECT_TRUE(walkFails([&](uint8_t* r) { Put32(r + data + 4, 1024); }));          // past the record
    EXPECT_TRUE(walkFails([&](uint8_t* r) { Put16(r + data + 20, 0x200); }));        // value outside
    EXPECT_TRUE(walkFails([&](uint8_t* r) { Put32(r + data + 16, 0x100); }));        // value too long
    EXPECT_TRUE(walkFails([&](uint8_t* r) { r[data + 9] = 200; }));                  // name outside
    EXPECT_TRUE(walkFails([&](uint8_t* r) { Put16(r + 20, 1020); }));                // header cut off
    EXPECT_TRUE(walkFails([&](uint8_t* r) { Put16(r + 20, 0xFFFF); }));
    EXPECT_TRUE(walkFails([&](uint8_t* r) { r[data + 8] = 7; }));                    // resident flag
    EXPECT_TRUE(walkFails([&](uint8_t* r) { Put32(r + si, 0); }));                   // type 0 ends
    EXPECT_FALSE(walkFails([](uint8_t*) {}));

    RecordBuilder nr;
    const size_t at = nr.NonResident(kAttrData, {0x11, 1, 1});
    EXPECT_TRUE([&] { RecordBuilder c = nr; Put16(&c.rec[at + 32], 0x300); return FindUnnamedDataAttribute(c.rec.data(), &offset) == 0; }());
}

TEST(DataRuns, DecodesAbsoluteFirstRunAndSignedDeltas)
{
    std::vector<ClusterRun> runs = Decode({0x21, 0x18, 0x34, 0x56, 0x00});
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].clusterCount, 24u);
    EXPECT_EQ(runs[0].firstCluster, 0x5634u);

    // -1, -128, 0 (four-byte zero delta), +0x10000.
    runs = Decode({0x21, 0x10, 0x00, 0x10, 0x11, 0x01, 0xFF, 0x21, 0x02, 0x80, 0xFF,
                   0x41, 0x03, 0x00, 0x00, 0x00, 0x00, 0x31, 0x04, 0x00, 0x00, 0x01, 0x00});
    ASSERT_EQ(runs.size(), 5u);
    EXPECT_EQ(runs[1].firstCluster, 0x0FFFu);
    EXPECT_EQ(runs[2].firstCluster, 0x0FFFu - 128);
    EXPECT_EQ(runs[3].firstCluster, 0x0FFFu - 128);
    EXPECT_EQ(runs[4].firstCluster, 0x0FFFu - 128 + 0x10000);

    // The first offset is a cluster number even when its top bit is set.
    runs = Decode({0x11, 0x01, 0xC0, 0x00});
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].firstCluster, 0xC0u);
}

TEST(DataRuns, SparseRunKeepsItsPlaceAndTheBaseBeforeIt)
{
    std::vector<ClusterRun> runs = Decode({0x11, 0x05, 0x40, 0x01, 0x08, 0x11, 0x02, 0x10, 0x00});
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_TRUE(runs[1].sparse);
    EXPECT_EQ(runs[1].firstCluster, 0u);
    EXPECT_EQ(runs[1].clusterCount, 8u);
    EXPECT_EQ(runs[2].firstCluster, 0x50u);
}

TEST(DataRuns, MalformedPairsEndTheListWithoutReadingPastIt)
{
    bool complete = true;
    // The second run's offset field runs past the bytes given.
    std::vector<ClusterRun> runs = Decode({0x11, 0x05, 0x40, 0x31, 0x01, 0x02}, &complete);
    EXPECT_FALSE(complete);
    EXPECT_EQ(runs.size(), 1u);
    // A delta below cluster 0.
    runs = Decode({0x11, 0x05, 0x04, 0x11, 0x01, 0xF0, 0x00}, &complete);
    EXPECT_FALSE(complete);
    EXPECT_EQ(runs.size(), 1u);
    // Zero length, and no terminator.
    EXPECT_TRUE(Decode({0x01, 0x00, 0x00}).empty());
    runs = Decode({0x11, 0x05, 0x04}, &complete);
    EXPECT_FALSE(complete);
    EXPECT_EQ(runs.size(), 1u);
    // Widths above 8 bytes.
    EXPECT_TRUE(Decode({0x19, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}).empty());
}

TEST(DataRuns, DecodeDataRunsRebuildsTheGlobalList)
{
    RecordBuilder b;
    const size_t at = b.NonResident(kAttrData, {0x21, 0x18, 0x34, 0x56, 0x01, 0x02});
    ASSERT_EQ(DecodeDataRuns(1024, b.rec.data(), at), 1);
    ASSERT_EQ(DataRunList.size(), 2u);
    EXPECT_EQ(DataRunCount, 2u);
    EXPECT_TRUE(DataRunList[1].sparse);

    EXPECT_EQ(DecodeDataRuns(1024, b.rec.data(), 1020), 0);
    EXPECT_TRUE(DataRunList.empty());
    EXPECT_EQ(DataRunCount, 0u);
    Put16(&b.rec[at + 32], 0x400);                  // pairs beyond the attribute
    EXPECT_EQ(DecodeDataRuns(1024, b.rec.data(), at), 0);
}

TEST(HexText, DigitsAndOverflow)
{
    EXPECT_EQ(HexToInt(L"ff"), 255);
    EXPECT_EQ(HexToInt(L"1A2"), 418);
    EXPECT_EQ(HexToInt(L"g1"), 1);
    EXPECT_EQ(HexToInt(L""), 0);
    EXPECT_EQ(HexToInt(L"7fffffff"), INT32_MAX);
    EXPECT_EQ(HexToInt(L"80000000"), INT32_MIN);
    EXPECT_EQ(HexDigitValue(0x0141), 10);           // only the low byte counts ('A')
    EXPECT_EQ(MakeDword(0x78, 0x56, 0x34, 0x12), 0x12345678u);
}

// ---- The $MFT run table -------------------------------------------------------------------

namespace {

constexpr uint64_t kPartStart = 1000;
constexpr uint32_t kSpc = 8;

// A volume whose record 0 at mftStart carries the given $DATA pairs (and attribute list).
struct MftVolume {
    storage_test::CraftedDisk disk{1 << 20};

    void PutRecord(uint64_t sector, const std::vector<uint8_t>& rec)
    {
        std::memcpy(disk.At(sector).data(), rec.data(), 512);
        std::memcpy(disk.At(sector + 1).data(), rec.data() + 512, 512);
    }
};

std::vector<uint8_t> AttributeListEntry(uint32_t type, uint64_t lowestVcn, uint64_t record)
{
    std::vector<uint8_t> e(32);
    Put32(&e[0], type);
    Put16(&e[4], 32);
    Put64(&e[8], lowestVcn);
    Put64(&e[16], record | (uint64_t(1) << 48));
    return e;
}

}  // namespace

TEST(MftRunTable, MapsRecordsAcrossRunsAndRefusesHoles)
{
    MftRunTableRecord t;
    t.starts = {5000, 0, 9000};
    t.lengths = {1600, 200, 800};
    uint64_t sector = 77;
    ASSERT_TRUE(MftRecordToLbaIn(799, t, &sector));
    EXPECT_EQ(sector, 5000u + 1598);
    EXPECT_FALSE(MftRecordToLbaIn(850, t, &sector));        // in the sparse run
    EXPECT_EQ(sector, 5000u + 1598);                        // left as it was
    ASSERT_TRUE(MftRecordToLbaIn(900, t, &sector));
    EXPECT_EQ(sector, 9000u);
    EXPECT_FALSE(MftRecordToLbaIn(1300, t, &sector));       // past every run
    EXPECT_FALSE(MftRecordToLbaIn(UINT64_MAX / 2, t, &sector));

    // Above 2^32 sectors the arithmetic stays exact.
    t.starts = {uint64_t(5) << 32};
    t.lengths = {uint64_t(3) << 32};
    ASSERT_TRUE(MftRecordToLbaIn(uint64_t(1) << 32, t, &sector));
    EXPECT_EQ(sector, (uint64_t(5) << 32) + (uint64_t(2) << 32));

    MftRunTable = t;
    EXPECT_FALSE(MftRecordToLba(uint64_t(3) << 31, &sector));
    EXPECT_EQ(sector, 0u);
}

TEST(MftRunTable, LoadsRecordZeroAndAppendsExtensionRecords)
{
    MftVolume v;
    const uint64_t mftStart = kPartStart + 0x100 * kSpc;
    RecordBuilder r0;
    // Record 0: clusters 0x100..0x101 (16 sectors = 8 records), then 0x200..0x200 (1 cluster).
    r0.NonResident(kAttrData, {0x21, 0x02, 0x00, 0x01, 0x21, 0x01, 0x00, 0x01}, 0, 0);
    std::vector<uint8_t> list = AttributeListEntry(kAttrData, 0, 0);
    std::vector<uint8_t> e2 = AttributeListEntry(kAttrData, 3, 6);
    list.insert(list.end(), e2.begin(), e2.end());
    r0.Resident(kAttrAttributeList, list);
    v.PutRecord(mftStart, r0.Finish());
    // Record 6 holds the next piece, from virtual cluster 3: cluster 0x300, 2 clusters.
    RecordBuilder r6(1, 0);
    r6.NonResident(kAttrData, {0x21, 0x02, 0x00, 0x03}, 3);
    v.PutRecord(mftStart + 12, r6.Finish());

    MftRunTableRecord t;
    ASSERT_TRUE(LoadMftRunTableFrom(v.disk, kPartStart, mftStart, kSpc, t));
    ASSERT_EQ(t.count(), 3u);
    EXPECT_EQ(t.starts[2], kPartStart + 0x300 * kSpc);
    uint64_t sector = 0;
    ASSERT_TRUE(MftRecordToLbaIn(12, t, &sector));          // first record of the third run
    EXPECT_EQ(sector, kPartStart + 0x300 * kSpc);

    // An extension whose piece does not continue where the runs end is not appended.
    RecordBuilder bad(1, 0);
    bad.NonResident(kAttrData, {0x21, 0x02, 0x00, 0x03}, 9);
    v.PutRecord(mftStart + 12, bad.Finish());
    ASSERT_TRUE(LoadMftRunTableFrom(v.disk, kPartStart, mftStart, kSpc, t));
    EXPECT_EQ(t.count(), 2u);
}

TEST(MftRunTable, UnreadableRecordZeroKeepsThePreviousTable)
{
    MftVolume v;
    MftRunTableRecord t;
    t.starts = {1234};
    t.lengths = {64};
    const uint64_t mftStart = 4096;
    EXPECT_FALSE(LoadMftRunTableFrom(v.disk, 0, mftStart, kSpc, t));     // no "FILE"
    v.disk.Fail(mftStart);
    EXPECT_FALSE(LoadMftRunTableFrom(v.disk, 0, mftStart, kSpc, t));     // read fails
    EXPECT_EQ(t.count(), 1u);
    EXPECT_EQ(t.starts[0], 1234u);
}

TEST(MftRunTable, RecordSplitAcrossRunsReadsBothHalves)
{
    MftVolume v;
    MftRunTableRecord t;
    t.starts = {100, 500};
    t.lengths = {3, 10};        // record 1 = sector 102 and then sector 500
    std::vector<uint8_t> rec = RecordBuilder().Finish();
    std::memcpy(v.disk.At(102).data(), rec.data(), 512);
    std::memcpy(v.disk.At(500).data(), rec.data() + 512, 512);
    std::vector<uint8_t> got(1024);
    ASSERT_TRUE(ReadMftRecordAt(v.disk, t, 1, got.data()));
    EXPECT_EQ(got, rec);
}

// ---- $FILE_NAME readers --------------------------------------------------------------------

namespace {

std::vector<uint8_t> NamedRecord(uint8_t flags, int nameSpace, const std::u16string& name,
                                 uint64_t parent = 0x0005000000000005ull, uint64_t created = 0x01D9000011112222ull)
{
    RecordBuilder b(flags);
    b.Resident(kAttrStandardInfo, std::vector<uint8_t>(48));
    b.Resident(kAttrFileName, FileNameValue(parent, created, nameSpace, name));
    return b.rec;
}

}  // namespace

TEST(MftNames, FolderNamedByWantedNameSpaceOnly)
{
    std::vector<uint8_t> rec = NamedRecord(3, kNameSpaceWin32, u"Docs");
    uint32_t parent = 0;
    uint64_t created = 0;
    std::u16string name = u"x/";
    ASSERT_EQ(ParseMftRecordBuffer(rec.data(), kNameSpaceWin32, &parent, &created, name), 1);
    EXPECT_EQ(name, u"x/Docs");                              // appended to what was there
    EXPECT_EQ(parent, 5u);
    EXPECT_EQ(created, 0x01D9000011112222ull);
    name.clear();
    EXPECT_EQ(ParseMftRecordBuffer(rec.data(), kNameSpaceDos, &parent, &created, name), 0);
    EXPECT_TRUE(name.empty());
}

TEST(MftNames, FilesNamedOnlyWhenAsked)
{
    std::vector<uint8_t> rec = NamedRecord(1, kNameSpaceWin32, u"a.txt", 42, 7);
    uint32_t parent = 0;
    uint64_t created = 0;
    std::u16string name;
    ASSERT_EQ(ParseMftRecordBuffer(rec.data(), kNameSpaceWin32, &parent, &created, name), 1);
    EXPECT_TRUE(name.empty());
    EXPECT_EQ(parent, 42u);
    EXPECT_EQ(created, 7u);

    created = 0;
    ASSERT_EQ(ReadMftRecordNameBuffer(rec.data(), kNameSpaceWin32, false, nullptr, &parent, &created, name), 1);
    EXPECT_TRUE(name.empty());
    EXPECT_EQ(created, 0u);
    ASSERT_EQ(ReadMftRecordNameBuffer(rec.data(), kNameSpaceWin32, true, nullptr, &parent, &created, name), 1);
    EXPECT_EQ(name, u"a.txt");
    EXPECT_EQ(created, 7u);
}

TEST(MftNames, CharactersKeptReplacedAndRemoved)
{
    uint32_t parent = 0;
    uint64_t created = 0;
    std::u16string name;
    std::vector<uint8_t> rec = NamedRecord(3, kNameSpaceWin32, std::u16string(u"\u00E9\u0416\0z", 4));
    ParseMftRecordBuffer(rec.data(), kNameSpaceWin32, &parent, &created, name);
    EXPECT_EQ(name, u"\u00E9\u0416z");                       // only 0x0000 is dropped

    name.clear();
    rec = NamedRecord(3, kNameSpaceWin32, u"a\tb");
    ReadMftRecordNameBuffer(rec.data(), kNameSpaceWin32, false, nullptr, &parent, &created, name);
    EXPECT_EQ(name, u"a b");

    name.clear();
    rec = NamedRecord(3, kNameSpaceWin32, u" a:b? ");
    ReadMftRecordNameBuffer(rec.data(), kNameSpaceWin32, false, nullptr, &parent, &created, name);
    EXPECT_EQ(name, u"ab");

    // A file name without an extension whose 8-bit form has one (U+042E has the low byte '.').
    name.clear();
    rec = NamedRecord(1, kNameSpaceWin32, u"photo\u042Ejpg");
    ReadMftRecordNameBuffer(rec.data(), kNameSpaceWin32, true, nullptr, &parent, &created, name);
    EXPECT_EQ(name, u"photo.jpg");
    name.clear();
    rec = NamedRecord(3, kNameSpaceWin32, u"photo\u042Ejpg");  // folders keep theirs
    ReadMftRecordNameBuffer(rec.data(), kNameSpaceWin32, true, nullptr, &parent, &created, name);
    EXPECT_EQ(name, u"photo\u042Ejpg");
}

TEST(MftNames, NameBoundedByItsAttribute)
{
    RecordBuilder b(3);
    const size_t at = b.Resident(kAttrFileName, FileNameValue(5, 0, kNameSpaceWin32, u"abc"));
    b.rec[at + 24 + 64] = 250;                     // name length far past the attribute
    MftFileName fn;
    ASSERT_TRUE(FindMftFileName(b.rec.data(), kNameSpaceWin32, fn));
    EXPECT_LE(fn.valueOffset + 66 + 2 * fn.name.size(), at + Le32At(&b.rec[at + 4]));
    EXPECT_EQ(fn.name.substr(0, 3), u"abc");

    // A value too short for the fixed fields is skipped.
    RecordBuilder s(3);
    s.Resident(kAttrFileName, std::vector<uint8_t>(40));
    EXPECT_FALSE(FindMftFileName(s.rec.data(), kNameSpaceWin32, fn));
}

TEST(MftNames, StopFlagEndsTheReading)
{
    std::vector<uint8_t> rec = NamedRecord(3, kNameSpaceWin32, u"Docs");
    volatile uint32_t stop = 1;
    uint32_t parent = 0;
    uint64_t created = 0;
    std::u16string name;
    EXPECT_EQ(ReadMftRecordNameBuffer(rec.data(), kNameSpaceWin32, true, &stop, &parent, &created, name), 0);
    EXPECT_EQ(parent, 0u);
}
