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

} // namespace

TEST(NtfsFixup, RestoresEverySectorTailAndStaysInsideTheBuffer)
{
    RecordBuilder b;
    b.rec[510] = 0x11;
    b.rec[1023] = 0x44;
    std::vector<uint8_t> torn = b.Finish();
    EXPECT_TRUE(ApplyNtfsFixup(b.Finish().data(), 1024));
    torn[1022] = 0x99; // second sector from another update
    EXPECT_FALSE(ApplyNtfsFixup(torn.data(), torn.size()));
    EXPECT_EQ(torn[510], 0x11);
    EXPECT_EQ(torn[1023], 0x44);
    // An array that covers the first sector only leaves the second unchecked: not whole.
    std::vector<uint8_t> unchecked = b.Finish();
    Put16(&unchecked[6], 2);
    EXPECT_FALSE(ApplyNtfsFixup(unchecked.data(), unchecked.size()));

    const std::vector<uint8_t> original = b.Finish();
    std::vector<uint8_t> rec = original;
    ApplyNtfsFixup(rec.data(), 2); // too short to hold the header
    Put16(&rec[6], 40);            // more entries than sectors: ASan watches
    ApplyNtfsFixup(rec.data(), rec.size());
    std::vector<uint8_t> half(original.begin(), original.begin() + 512);
    ApplyNtfsFixup(half.data(), half.size());
    EXPECT_EQ(half[510], 0x11);
    EXPECT_EQ(half[511], 0);
}

TEST(NtfsAttributeWalk, FindsUnnamedDataAndEndsAtAnyPartOutside)
{
    RecordBuilder b;
    const size_t si = b.Resident(kAttrStandardInfo, std::vector<uint8_t>(48));
    const size_t data = b.Resident(kAttrData, { 1, 2, 3, 4 });
    RecordBuilder nr;
    nr.Resident(kAttrData, { 1, 2, 3 }, u"Zone.Identifier");
    const size_t pairs = nr.NonResident(kAttrData, { 0x11, 1, 1 });
    size_t offset = 0;
    ASSERT_EQ(FindUnnamedDataAttribute(nr.rec.data(), &offset), 2); // past the named stream
    EXPECT_EQ(offset, pairs);
    auto walkFails = [&](const RecordBuilder& from, auto corrupt) {
        RecordBuilder c = from;
        corrupt(c.rec.data());
        return FindUnnamedDataAttribute(c.rec.data(), &offset) == 0;
    };
    EXPECT_TRUE(walkFails(b, [&](uint8_t* r) { Put32(r + si + 4, 0); }));          // zero length
    EXPECT_TRUE(walkFails(b, [&](uint8_t* r) { Put32(r + data + 4, 1024); }));     // past the record
    EXPECT_TRUE(walkFails(b, [&](uint8_t* r) { Put16(r + data + 20, 0x200); }));   // value outside
    EXPECT_TRUE(walkFails(b, [&](uint8_t* r) { Put32(r + data + 16, 0x100); }));   // value too long
    EXPECT_TRUE(walkFails(b, [&](uint8_t* r) { r[data + 9] = 200; }));             // name outside
    EXPECT_TRUE(walkFails(b, [&](uint8_t* r) { Put16(r + 20, 1020); }));           // header cut off
    EXPECT_TRUE(walkFails(nr, [&](uint8_t* r) { Put16(r + pairs + 32, 0x300); })); // pairs outside
    EXPECT_FALSE(walkFails(b, [](uint8_t*) {}));
}

TEST(AttributeList, EntriesEndAtAnyThatDoesNotFitTheValue)
{
    // Four 32-byte entries; the walk is cut by each kind of damage in turn.
    std::vector<uint8_t> list(4 * 32);
    for (int k = 0; k < 4; ++k) {
        Put32(&list[32 * k], k == 1 ? kAttrFileName : kAttrData);
        Put16(&list[32 * k + 4], 32);
        list[32 * k + 6] = k == 2 ? 4 : 0;
        Put64(&list[32 * k + 8], 7 * k);
        Put64(&list[32 * k + 16], (100 + k) | uint64_t(3) << 48); // the sequence number is dropped
    }
    auto walk = [](const std::vector<uint8_t>& value, size_t length) {
        std::vector<AttributeListEntry> got;
        WalkAttributeList(value.data(), length, [&](const AttributeListEntry& e) { return got.push_back(e), true; });
        return got;
    };
    const auto all = walk(list, list.size());
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[1].type, kAttrFileName);
    EXPECT_EQ(all[2].nameLength, 4);
    EXPECT_EQ(all[3].lowestVcn, 21u);
    EXPECT_EQ(all[3].recordNumber, 103u);

    EXPECT_EQ(walk(list, 3 * 32 + kAttributeListEntryHeader - 1).size(), 3u); // fixed part cut off
    EXPECT_EQ(walk(list, 3 * 32 + 31).size(), 3u);                            // whole entry cut off
    std::vector<uint8_t> damaged = list;
    Put16(&damaged[2 * 32 + 4], 0x18); // shorter than an entry can be
    EXPECT_EQ(walk(damaged, damaged.size()).size(), 2u);
    damaged = list;
    Put32(&damaged[1 * 32], 0); // no attribute has type 0
    EXPECT_EQ(walk(damaged, damaged.size()).size(), 1u);
    size_t visits = 0;
    EXPECT_EQ(WalkAttributeList(list.data(), list.size(), [&](const AttributeListEntry&) { return ++visits < 2; }), 2u);
}

TEST(DataRuns, AbsoluteFirstRunSignedDeltasAndSparseRuns)
{
    // 0x5634, then -1, -128, a sparse run, 0 (four-byte zero delta), +0x10000.
    const std::vector<ClusterRun> runs =
        Decode({ 0x21, 0x10, 0x34, 0x56, 0x11, 0x01, 0xFF, 0x21, 0x02, 0x80, 0xFF, 0x01, 0x08,
                 0x41, 0x03, 0x00, 0x00, 0x00, 0x00, 0x31, 0x04, 0x00, 0x00, 0x01, 0x00 });
    const uint64_t want[] = { 0x5634, 0x5633, 0x5633 - 128, 0, 0x5633 - 128, 0x5633 - 128 + 0x10000 };
    ASSERT_EQ(runs.size(), 6u);
    for (size_t i = 0; i < runs.size(); ++i)
        EXPECT_EQ(runs[i].firstCluster, want[i]) << i;
    EXPECT_TRUE(runs[3].sparse);
    EXPECT_EQ(runs[3].clusterCount, 8u);
    EXPECT_EQ(Decode({ 0x11, 0x01, 0xC0, 0x00 })[0].firstCluster, 0xC0u); // first is unsigned
}

TEST(DataRuns, MalformedPairsEndTheList)
{
    const struct {
        std::vector<uint8_t> pairs;
        size_t runs;
    } cases[] = {
        { { 0x11, 0x05, 0x40, 0x31, 0x01, 0x02 }, 1 },       // offset field past the bytes given
        { { 0x11, 0x05, 0x04, 0x11, 0x01, 0xF0, 0x00 }, 1 }, // a delta below cluster 0
        { { 0x11, 0x05, 0x04 }, 1 },                         // no terminator
        { { 0x19, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0 }, 0 },    // widths above 8 bytes
    };
    for (const auto& c : cases) {
        bool complete = true;
        EXPECT_EQ(Decode(c.pairs, &complete).size(), c.runs) << (&c - cases);
        EXPECT_FALSE(complete) << (&c - cases);
    }

    RecordBuilder b;
    const size_t at = b.NonResident(kAttrData, { 0x21, 0x18, 0x34, 0x56, 0x01, 0x02 });
    std::vector<ClusterRun> runs;
    ASSERT_TRUE(DecodeAttributeRuns(1024, b.rec.data(), at, runs));
    EXPECT_EQ(runs.size(), 2u);
    Put16(&b.rec[at + 32], 0x400); // pairs beyond the attribute
    EXPECT_FALSE(DecodeAttributeRuns(1024, b.rec.data(), at, runs));
}

// ---- The $MFT run table -------------------------------------------------------------------

namespace {

constexpr uint64_t kPartStart = 1000;
constexpr uint32_t kSpc = 8;

void PutRecord(storage_test::CraftedDisk& disk, uint64_t sector, const std::vector<uint8_t>& rec)
{
    std::memcpy(disk.At(sector).data(), rec.data(), 512);
    std::memcpy(disk.At(sector + 1).data(), rec.data() + 512, 512);
}

} // namespace

TEST(MftRunTable, MapsRecordsAcrossRunsAndRefusesHoles)
{
    MftRunTableRecord t;
    t.starts = { 5000, 0, 9000 }, t.lengths = { 1600, 200, 800 };
    uint64_t sector = 77;
    ASSERT_TRUE(MftRecordToLbaIn(799, t, &sector));
    EXPECT_EQ(sector, 5000u + 1598);
    EXPECT_FALSE(MftRecordToLbaIn(850, t, &sector)); // in the sparse run
    EXPECT_EQ(sector, 5000u + 1598);
    ASSERT_TRUE(MftRecordToLbaIn(900, t, &sector));
    EXPECT_EQ(sector, 9000u);
    EXPECT_FALSE(MftRecordToLbaIn(1300, t, &sector)); // past every run
    EXPECT_FALSE(MftRecordToLbaIn(UINT64_MAX / 2, t, &sector));

    t.starts = { uint64_t(5) << 32 }, t.lengths = { uint64_t(3) << 32 }; // exact above 2^32 sectors
    ASSERT_TRUE(MftRecordToLbaIn(uint64_t(1) << 32, t, &sector));
    EXPECT_EQ(sector, (uint64_t(7) << 32));
    EXPECT_FALSE(MftRecordToLbaIn(uint64_t(3) << 31, t, &sector)); // just past the run
    EXPECT_EQ(sector, (uint64_t(7) << 32));
}

TEST(MftRunTable, LoadsRecordZeroAndAppendsExtensionRecords)
{
    storage_test::CraftedDisk disk(1 << 20);
    const uint64_t mftStart = kPartStart + 0x100 * kSpc;
    RecordBuilder r0;
    // Clusters 0x100..0x101 (8 records), then 0x200; record 6 continues from virtual cluster 3.
    r0.NonResident(kAttrData, { 0x21, 0x02, 0x00, 0x01, 0x21, 0x01, 0x00, 0x01 }, 0, 0);
    std::vector<uint8_t> list(64);
    for (uint32_t k = 0; k < 2; ++k) {
        Put32(&list[32 * k], kAttrData);
        Put16(&list[32 * k + 4], 32);
        Put64(&list[32 * k + 8], 3 * k);
        Put64(&list[32 * k + 16], 6 * k | (uint64_t(1) << 48));
    }
    r0.Resident(kAttrAttributeList, list);
    PutRecord(disk, mftStart, r0.Finish());
    RecordBuilder r6(1, 0);
    r6.NonResident(kAttrData, { 0x21, 0x02, 0x00, 0x03 }, 3);
    PutRecord(disk, mftStart + 12, r6.Finish());

    MftRunTableRecord t;
    ASSERT_TRUE(LoadMftRunTableFrom(disk, kPartStart, mftStart, 0, kSpc, t));
    ASSERT_EQ(t.count(), 3u);
    uint64_t sector = 0;
    ASSERT_TRUE(MftRecordToLbaIn(12, t, &sector));
    EXPECT_EQ(sector, kPartStart + 0x300 * kSpc);

    // A piece that does not continue where the runs end is not appended.
    RecordBuilder bad(1, 0);
    bad.NonResident(kAttrData, { 0x21, 0x02, 0x00, 0x03 }, 9);
    PutRecord(disk, mftStart + 12, bad.Finish());
    ASSERT_TRUE(LoadMftRunTableFrom(disk, kPartStart, mftStart, 0, kSpc, t));
    EXPECT_EQ(t.count(), 2u);
    // Nor one from a record torn by a write cut short (its second sector of another write).
    std::vector<uint8_t> torn = r6.Finish();
    Put16(&torn[1022], 0x0A0A);
    PutRecord(disk, mftStart + 12, torn);
    ASSERT_TRUE(LoadMftRunTableFrom(disk, kPartStart, mftStart, 0, kSpc, t));
    EXPECT_EQ(t.count(), 2u);

    // A damaged or unreadable record 0 keeps the table as it was.
    std::memset(disk.At(mftStart).data(), 0, 512);
    EXPECT_FALSE(LoadMftRunTableFrom(disk, kPartStart, mftStart, 0, kSpc, t));
    disk.Fail(mftStart);
    EXPECT_FALSE(LoadMftRunTableFrom(disk, kPartStart, mftStart, 0, kSpc, t));
    EXPECT_EQ(t.count(), 2u);

    t.starts = { 100, 500 }, t.lengths = { 3, 10 }; // record 1 = sector 102 and then sector 500
    const std::vector<uint8_t> rec = r6.Finish();
    PutRecord(disk, 102, rec);
    PutRecord(disk, 499, rec);
    std::vector<uint8_t> got(1024);
    ASSERT_TRUE(ReadMftRecordAt(disk, t, 1, got.data()));
    EXPECT_EQ(got, rec);

    // Record 0 torn by a write cut short: its second sector, which holds $DATA, is left from the
    // write before, when the $MFT's second run lay at cluster 0x200 (or there was none). Only a
    // whole copy gives runs: the $MFT's, else the mirror's at cluster 0x400, else none.
    const auto recordZero = [](const std::vector<uint8_t>& pairs, uint16_t usn) {
        RecordBuilder b;
        b.Resident(kAttrStandardInfo, std::vector<uint8_t>(480)); // $DATA in the second sector
        b.NonResident(kAttrData, pairs);
        return b.Finish(usn);
    };
    const std::vector<uint8_t> now = recordZero({ 0x21, 0x02, 0x00, 0x01, 0x21, 0x02, 0x00, 0x02 }, 0x0A0B);
    const std::vector<uint8_t> before = recordZero({ 0x21, 0x02, 0x00, 0x01, 0x21, 0x02, 0x00, 0x01 }, 0x0909);
    const std::vector<uint8_t> shorter = recordZero({ 0x21, 0x02, 0x00, 0x01 }, 0x0909);
    const auto tornOver = [&](const std::vector<uint8_t>& stale) {
        std::vector<uint8_t> copy = now;
        std::memcpy(copy.data() + 512, stale.data() + 512, 512);
        return copy;
    };
    const uint64_t mirror = kPartStart + 0x400 * kSpc;
    const struct {
        const char* what;
        std::vector<uint8_t> mft, mirror; // the mirror's copy: none when empty
        uint64_t lastSector;
        uint64_t second; // the cluster of the second run loaded; 0: the load fails
    } copies[] = {
        { "torn over an older list, the mirror whole", tornOver(before), now, UINT64_MAX, 0x300 },
        { "torn over a shorter list, the mirror whole", tornOver(shorter), now, UINT64_MAX, 0x300 },
        { "torn, no mirror", tornOver(before), {}, UINT64_MAX, 0 },
        { "torn, the mirror torn too", tornOver(before), tornOver(before), UINT64_MAX, 0 },
        { "torn, the mirror whole but ending past the volume", tornOver(before), now, mirror, 0 },
        { "whole, the mirror's list another", now, before, UINT64_MAX, 0x300 },
    };
    for (const auto& c : copies) {
        SCOPED_TRACE(c.what);
        storage_test::CraftedDisk volume(1 << 20);
        PutRecord(volume, mftStart, c.mft);
        if (!c.mirror.empty())
            PutRecord(volume, mirror, c.mirror);
        MftRunTableRecord loaded;
        loaded.starts = { 7 }, loaded.lengths = { 2 };
        EXPECT_EQ(LoadMftRunTableFrom(volume, kPartStart, mftStart, c.mirror.empty() ? 0 : mirror, kSpc, loaded,
                                      c.lastSector),
                  c.second != 0);
        const std::vector<uint64_t> starts = { mftStart, kPartStart + c.second * kSpc };
        EXPECT_EQ(loaded.starts, c.second != 0 ? starts : std::vector<uint64_t>{ 7 });
    }
}

TEST(MftRunTable, RunsAreClampedToTheVolumeWhenLoaded)
{
    // The volume: sectors 1000 to 9191 of a disk that goes on beyond it.
    constexpr uint64_t kLast = kPartStart + 8191;
    const uint64_t mftStart = kPartStart + 4 * kSpc;
    const std::vector<uint8_t> huge[] = {
        { 0x14, 0xFF, 0xFF, 0xFF, 0x7F, 0x04 },    // 2^31 - 1 clusters at cluster 4
        { 0x16, 0, 0, 0, 0, 0, 0x01, 0x04 },       // 2^40 clusters at cluster 4
        { 0x26, 0, 0, 0, 0, 0, 0x01, 0x00, 0x08 }, // past the volume's end entirely
    };
    for (const auto& pairs : huge) {
        storage_test::CraftedDisk disk(1 << 20);
        RecordBuilder r0;
        r0.NonResident(kAttrData, pairs);
        PutRecord(disk, mftStart, r0.Finish());
        MftRunTableRecord t;
        const bool inside = &pairs != &huge[2];
        EXPECT_EQ(LoadMftRunTableFrom(disk, kPartStart, mftStart, 0, kSpc, t, kLast), inside);
        EXPECT_EQ(t.totalSectors(), inside ? kLast + 1 - mftStart : 0u) << (&pairs - huge);
    }

    // The same in an extension record: 2 clusters in record 0, the rest in record 1.
    storage_test::CraftedDisk disk(1 << 20);
    RecordBuilder r0;
    r0.NonResident(kAttrData, { 0x11, 0x02, 0x04 });
    std::vector<uint8_t> list(64);
    for (uint32_t k = 0; k < 2; ++k) {
        Put32(&list[32 * k], kAttrData);
        Put16(&list[32 * k + 4], 32);
        Put64(&list[32 * k + 8], 2 * k);
        Put64(&list[32 * k + 16], k);
    }
    r0.Resident(kAttrAttributeList, list);
    PutRecord(disk, mftStart, r0.Finish());
    RecordBuilder r1(1, 0);
    r1.NonResident(kAttrData, { 0x16, 0, 0, 0, 0, 0, 0x01, 0x08 }, 2);
    PutRecord(disk, mftStart + 2, r1.Finish());
    MftRunTableRecord t;
    ASSERT_TRUE(LoadMftRunTableFrom(disk, kPartStart, mftStart, 0, kSpc, t, kLast));
    ASSERT_EQ(t.count(), 2u);
    EXPECT_EQ(t.lengths[1], kLast + 1 - (kPartStart + 8 * kSpc));

    // No more sectors than the volume has, sparse runs counted: the third run finds no room.
    t.starts = { 1100, 0, 1200 }, t.lengths = { 100, uint64_t(1) << 40, 50 };
    ClampMftRunsToVolume(t, 1000, 1999);
    EXPECT_EQ(t.starts, (std::vector<uint64_t>{ 1100, 0 }));
    EXPECT_EQ(t.lengths, (std::vector<uint64_t>{ 100, 900 }));
    t.starts = { 900, 1100 }, t.lengths = { 10, 5 }; // a run before the volume maps nothing of it
    ClampMftRunsToVolume(t, 1000, 1999);
    EXPECT_EQ(t.starts, (std::vector<uint64_t>{ 0, 1100 }));
    ClampMftRunsToVolume(t, 1000, 999); // an unknown end bounds nothing
    EXPECT_EQ(t.count(), 2u);
}

TEST(MftRunTable, RunsOutsideTheVolumeKeepTheirPlaceAsHoles)
{
    // The volume is sectors 1000 to 1999. Whatever of a run lies outside it stays in the table as
    // a hole of its length, so that every record after it keeps its number.
    MftRunTableRecord t;
    t.starts = { 1100, 5000, 1300 }, t.lengths = { 16, 8, 16 }; // in, out, in
    uint64_t before = 0, after = 0;
    ASSERT_TRUE(MftRecordToLbaIn(13, t, &before));
    ClampMftRunsToVolume(t, 1000, 1999);
    EXPECT_EQ(t.starts, (std::vector<uint64_t>{ 1100, 0, 1300 }));
    EXPECT_EQ(t.lengths, (std::vector<uint64_t>{ 16, 8, 16 }));
    ASSERT_TRUE(MftRecordToLbaIn(13, t, &after));
    EXPECT_EQ(after, before);
    EXPECT_FALSE(MftRecordToLbaIn(9, t, &after)); // in the hole: unreadable

    // A run that crosses the volume's end maps its part inside; one that begins before the
    // volume and reaches into it maps its part inside too.
    t.starts = { 1995, 1200 }, t.lengths = { 10, 4 };
    ClampMftRunsToVolume(t, 1000, 1999);
    EXPECT_EQ(t.starts, (std::vector<uint64_t>{ 1995, 0, 1200 }));
    EXPECT_EQ(t.lengths, (std::vector<uint64_t>{ 5, 5, 4 }));
    ASSERT_TRUE(MftRecordToLbaIn(5, t, &after));
    EXPECT_EQ(after, 1200u);
    t.starts = { 996, 1500 }, t.lengths = { 8, 2 };
    ClampMftRunsToVolume(t, 1000, 1999);
    EXPECT_EQ(t.starts, (std::vector<uint64_t>{ 0, 1000, 1500 }));
    EXPECT_EQ(t.lengths, (std::vector<uint64_t>{ 4, 4, 2 }));
}

// ---- $FILE_NAME readers --------------------------------------------------------------------

namespace {

std::vector<uint8_t> NamedRecord(uint8_t flags, const std::u16string& name, uint64_t parent = 5, uint64_t created = 7)
{
    RecordBuilder b(flags);
    b.Resident(kAttrStandardInfo, std::vector<uint8_t>(48));
    b.Resident(kAttrFileName, FileNameValue(parent | (uint64_t(5) << 48), created, kNameSpaceWin32, name));
    return b.rec;
}

// The name ReadMftRecordNameBuffer gives, "-" when it gives none.
std::u16string ReadName(const std::vector<uint8_t>& rec, bool files, int ns = kNameSpaceWin32, StopFlag* stop = nullptr)
{
    uint32_t parent = 0;
    uint64_t created = 0;
    std::u16string name;
    return ReadMftRecordNameBuffer(rec.data(), ns, files, stop, &parent, &created, name) ? name : u"-";
}

// A record with one $FILE_NAME per (name space, name), their parents 40, 41, ... and their times
// 140, 141, ...
RecordBuilder RecordOfNames(uint8_t flags, const std::vector<std::pair<int, std::u16string>>& names)
{
    RecordBuilder b(flags);
    uint64_t parent = 40;
    for (const auto& [ns, name] : names) {
        b.Resident(kAttrFileName, FileNameValue(parent, 100 + parent, ns, name));
        ++parent;
    }
    return b;
}

} // namespace

TEST(MftNames, FoldersAlwaysFilesWhenAskedNamesCleaned)
{
    uint32_t parent = 0;
    uint64_t created = 0;
    std::u16string name = u"x/";
    ASSERT_EQ(ParseMftRecordBuffer(NamedRecord(3, u"Docs").data(), kNameSpaceWin32, &parent, &created, name), 1);
    EXPECT_EQ(name, u"x/Docs");
    EXPECT_EQ(parent, 5u);
    EXPECT_EQ(ReadName(NamedRecord(3, u"Docs"), true, kNameSpaceDos), u"-");
    StopFlag stop{ 1 };
    EXPECT_EQ(ReadName(NamedRecord(3, u"Docs"), true, kNameSpaceWin32, &stop), u"-");
    EXPECT_EQ(ReadName(NamedRecord(1, u"a.txt"), false), u"");
    EXPECT_EQ(ReadName(NamedRecord(3, std::u16string(u"\u00E9\0z\tb", 5)), true), u"\u00E9 z b");
    EXPECT_EQ(ReadName(NamedRecord(3, u" a:b? "), true), u"ab");
}

// One walk for several name spaces finds what trying them one by one finds: the first value of
// the first name space in the order that the record has; a file's name is not taken.
TEST(MftNames, PreferredNameSpaceInOneWalkMatchesOneByOne)
{
    const int order[] = { kNameSpaceWin32, kNameSpaceWin32AndDos, kNameSpaceDos, kNameSpacePosix };
    const std::vector<std::vector<std::pair<int, std::u16string>>> records = {
        { { kNameSpaceDos, u"DOCS~1" }, { kNameSpaceWin32, u"Documents" }, { kNameSpaceWin32, u"second" } },
        { { kNameSpacePosix, u"posix" }, { kNameSpaceDos, u"DOS" }, { kNameSpaceWin32AndDos, u"BOTH" } },
        { { kNameSpacePosix, u"p1" }, { kNameSpacePosix, u"p2" } },
        { { 7, u"odd" } },
        {},
    };
    for (const uint8_t flags : { uint8_t(3), uint8_t(1) }) {
        for (size_t i = 0; i < records.size(); ++i) {
            const RecordBuilder b = RecordOfNames(flags, records[i]);
            uint32_t wantParent = 0, gotParent = 0;
            uint64_t wantCreated = 0, gotCreated = 0;
            std::u16string want, got;
            int wantFound = 0;
            for (int ns : order)
                if ((wantFound = ParseMftRecordBuffer(b.rec.data(), ns, &wantParent, &wantCreated, want)) == 1)
                    break;
            SCOPED_TRACE(testing::Message() << "record " << i << " flags " << int(flags));
            EXPECT_EQ(ParsePreferredMftName(b.rec.data(), order, 4, &gotParent, &gotCreated, got), wantFound);
            EXPECT_EQ(got, want);
            EXPECT_EQ(gotParent, wantParent);
            EXPECT_EQ(gotCreated, wantCreated);
        }
    }
    uint32_t parent = 0;
    uint64_t created = 0;
    std::u16string name;
    RecordBuilder b(3);
    b.Resident(kAttrFileName, FileNameValue(41, 0, kNameSpaceDos, u"DOCS~1"));
    b.Resident(kAttrFileName, FileNameValue(42, 0, kNameSpaceWin32, u"Documents"));
    ASSERT_EQ(ParsePreferredMftName(b.rec.data(), order, 4, &parent, &created, name), 1);
    EXPECT_EQ(name, u"Documents");
    EXPECT_EQ(parent, 42u);
}

// The listed name for several name spaces in one walk is what trying them one by one with
// ReadMftRecordNameBuffer gives, cleaning included (a file's extension from its characters' low
// bytes, blanks, forbidden characters); the stop flag is polled before each character.
TEST(MftNames, ListedNameInOneWalkMatchesOneByOne)
{
    const int order[] = { kNameSpaceWin32, kNameSpaceWin32AndDos, kNameSpaceDos, kNameSpacePosix };
    const std::vector<std::vector<std::pair<int, std::u16string>>> records = {
        { { kNameSpaceDos, u"DOCS~1" }, { kNameSpaceWin32, u" Doc:u*ments\t " }, { kNameSpaceWin32, u"second" } },
        { { kNameSpacePosix, u"posix" }, { kNameSpaceDos, u"DOS.TXT" }, { kNameSpaceWin32AndDos, u"report\u042Epdf" } },
        { { kNameSpacePosix, u"p1" }, { kNameSpacePosix, u"p2" } },
        { { kNameSpaceWin32, u"name. withblank" } },
        { { kNameSpaceWin32, std::u16string(u"a\0\u0100.b\t", 6) } },
        { { 7, u"odd" } },
        {},
    };
    for (const uint8_t flags : { uint8_t(3), uint8_t(1) }) {
        for (const bool files : { true, false }) {
            for (size_t i = 0; i < records.size(); ++i) {
                const RecordBuilder b = RecordOfNames(flags, records[i]);
                uint32_t wantParent = 0, gotParent = 0;
                uint64_t wantCreated = 0, gotCreated = 0;
                std::u16string want = u"x", got = u"x";
                int wantFound = 0;
                for (int ns : order)
                    if ((wantFound = ReadMftRecordNameBuffer(b.rec.data(), ns, files, nullptr, &wantParent,
                                                             &wantCreated, want)) == 1)
                        break;
                SCOPED_TRACE(testing::Message() << "record " << i << " flags " << int(flags) << " files " << files);
                EXPECT_EQ(ReadPreferredMftRecordName(b.rec.data(), order, 4, files, nullptr, &gotParent, &gotCreated,
                                                     got),
                          wantFound);
                EXPECT_EQ(got, want);
                EXPECT_EQ(gotParent, wantParent);
                EXPECT_EQ(gotCreated, wantCreated);
            }
        }
    }
    // A U+042E whose low byte is '.' gives a name without an extension the one its low bytes show.
    EXPECT_EQ(ReadName(NamedRecord(1, u"report\u042Epdf"), true), u"report.pdf");
    EXPECT_EQ(ReadName(NamedRecord(1, u"ab\u042Ex"), true), u"ab.x");
    // Not where a blank follows the dot, nor for a folder.
    EXPECT_EQ(ReadName(NamedRecord(1, u"report\u042Epdf  "), true), u"report\u042Epdf");
    EXPECT_EQ(ReadName(NamedRecord(3, u"report\u042Epdf"), true), u"report\u042Epdf");
}

TEST(MftNames, NameBoundedByItsAttribute)
{
    RecordBuilder b(3);
    const size_t at = b.Resident(kAttrFileName, FileNameValue(5, 0, kNameSpaceWin32, u"abc"));
    b.rec[at + 24 + 64] = 250; // name length far past the attribute
    MftFileName fn;
    ASSERT_TRUE(FindMftFileName(b.rec.data(), kNameSpaceWin32, fn));
    EXPECT_LE(fn.valueOffset + 66 + 2 * fn.name.size(), at + Le32At(&b.rec[at + 4]));

    RecordBuilder s(3); // too short for the fixed fields
    s.Resident(kAttrFileName, std::vector<uint8_t>(40));
    EXPECT_FALSE(FindMftFileName(s.rec.data(), kNameSpaceWin32, fn));
}
