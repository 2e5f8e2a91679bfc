// Files spread over several NTFS file records: the data and name gathered from every record the
// base record's attribute list names, a record that is no longer the file's ending the file short,
// and extension records never a file or folder of their own in Basic or Deep Search.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <random>
#include <set>

#include "fsrecovery/pure/basic_scan.h"
#include "fsrecovery/pure/deep_results.h"
#include "fsrecovery/pure/file_copy.h"
#include "fsrecovery/pure/folder_listing.h"
#include "fsrecovery/pure/ntfs_volume_records.h"
#include "fsrecovery/pure/result_tree.h"
#include "fsrecovery/pure/volume_listing.h"
#include "storage/pure/fs_names.h"
#include "tests/pure/ntfs_test_records.h"

namespace {

using ntfs_test::Put16;
using ntfs_test::Put32;
using ntfs_test::Put64;
using Bytes = std::vector<uint8_t>;

// A volume of one-sector clusters from sector 0: the $MFT at sector 100 (record n at 100 + 2n),
// data clusters from 1000, its attribute lists at 900.
constexpr uint64_t kMft = 100, kDisk = 4000;
constexpr uint64_t kBase = 40, kExtA = 12, kExtB = 13, kExtName = 14;

uint64_t RecordSector(uint64_t n)
{
    return kMft + 2 * n;
}

// Mapping pairs of (first cluster, count) runs; a first cluster of 0 is a hole.
Bytes Pairs(const std::vector<std::pair<uint64_t, uint64_t>>& runs)
{
    Bytes out;
    int64_t last = 0;
    for (const auto& [lcn, count] : runs) {
        out.push_back(lcn == 0 ? 0x02 : 0x22);
        out.push_back(uint8_t(count));
        out.push_back(uint8_t(count >> 8));
        if (lcn != 0) {
            const int64_t delta = int64_t(lcn) - last;
            out.push_back(uint8_t(delta));
            out.push_back(uint8_t(delta >> 8));
            last = int64_t(lcn);
        }
    }
    return out;
}

Bytes ListEntry(uint32_t type, uint64_t lowestVcn, uint64_t record, uint16_t sequence)
{
    Bytes e(32);
    Put32(&e[0], type);
    Put16(&e[4], 32);
    e[7] = 26;
    Put64(&e[8], lowestVcn);
    Put64(&e[16], record | uint64_t(sequence) << 48);
    return e;
}

ntfs_test::RecordBuilder Record(uint64_t number, uint8_t flags, uint16_t sequence, uint64_t base = 0,
                                uint16_t baseSequence = 0)
{
    ntfs_test::RecordBuilder b(flags, base == 0 ? 0 : base | uint64_t(baseSequence) << 48);
    Put16(&b.rec[0x10], sequence);
    Put32(&b.rec[0x1C], 1024);
    Put32(&b.rec[0x2C], uint32_t(number));
    return b;
}

// A compressed chunk standing for 4096 bytes of `a` and `b` in turn.
Bytes PairChunk(char a, char b)
{
    return { 0x04, 0xB0, 0x04, uint8_t(a), uint8_t(b), 0xFB, 0x1F };
}

// How the test file is spread and what became of its records.
struct Spread {
    bool listResident = true;
    bool dataInBase = true; // its first extent in the base record, else in kExtA with the second
    bool nameInExtension = false; // in a record of its own, kExtName
    bool nameRemoved = false;     // and that record emptied when it was freed, as ntfs-3g leaves it
    bool reversedList = false;
    bool compressed = false;
    bool baseDeleted = false;
    bool listLacksLast = false; // the last extent's entry dropped, as ntfs-3g deletes a file
    uint64_t initialized = UINT64_MAX;
    // EarlierBase: kExtB names the base record as an earlier file of its number had it; LaterBase:
    // as the file that had the number next had it (the base's present, freed sequence), its extent
    // at cluster 1500. StaleBeside: another freed record naming the base as kExtB does, lying before
    // it, goes on at the same cluster with the extent at 1500; CopyBeside: one with kExtB's own runs.
    enum Damage {
        None,
        Missing,
        OtherBase,
        InUseAfterDelete,
        OtherSequence,
        Gap,
        EarlierBase,
        LaterBase,
        StaleBeside,
        CopyBeside
    } damage = None;
    // Kept: the freed records as a scan kept them, the others by distance.
    enum Lookup { AlongMft, Carved, Nearby, Kept } lookup = AlongMft;
    // kExtA torn where it is looked for: a write cut off after its first sector left the second
    // sector of an older version, whose second extent ran at cluster 1500.
    bool tornA = false;
    bool wholeAlongMft = false; // with Carved: the $MFT's runs known too, every record whole there
    bool unnumberedBase = false; // an NTFS 3.0 header, which keeps no record number
    bool listless = false; // no list: every extent in the base record, one attribute
    // The base record torn: its extents in its second sector, left by an older write whose first
    // extent (listless: second) ran at cluster 1500.
    bool tornBase = false;
    bool baseAcrossRuns = false; // the $MFT goes on with the base record's second sector in another run
    bool stopLookup = false;     // the look for freed records stopped as it begins
    bool olderCopyOfA = false;   // a carving also found an older write of kExtA (its extent at 1500), before it
};

struct Volume {
    Bytes disk = Bytes(kDisk * kSectorSize);
    FoundVolume volume;
    Bytes want; // the file's bytes
    uint64_t size = 0;
    uint64_t baseSector = 0;

    uint8_t* At(uint64_t sector) { return &disk[sector * kSectorSize]; }
    void Put(uint64_t sector, const ntfs_test::RecordBuilder& b) { Put(sector, b.Finish()); }
    void Put(uint64_t sector, const Bytes& r) { std::copy(r.begin(), r.end(), disk.begin() + sector * kSectorSize); }
};

// The file: three extents of its unnamed $DATA (plain: 10 clusters each at 1000, 1100 and 1200, 15000
// bytes; compressed: two units of 16 clusters, each one stored cluster and a hole, the first unit
// spanning the first two extents), the third extent always in kExtB.
Volume Make(const Spread& s)
{
    Volume v;
    v.volume.kind = FsKind::Ntfs;
    v.volume.endSector = kDisk;
    v.volume.params.sectorsPerCluster = 1;
    std::vector<std::vector<std::pair<uint64_t, uint64_t>>> extents;
    if (s.compressed) {
        v.size = 16384;
        const Bytes unit0 = PairChunk('a', 'b'), unit1 = PairChunk('c', 'd');
        std::copy(unit0.begin(), unit0.end(), v.At(1000));
        std::copy(unit0.begin(), unit0.end(), v.At(1000) + 7);
        std::copy(unit1.begin(), unit1.end(), v.At(1100));
        std::copy(unit1.begin(), unit1.end(), v.At(1100) + 7);
        for (size_t i = 0; i < 8192; ++i)
            v.want.push_back(uint8_t(i % 2 ? 'b' : 'a'));
        for (size_t i = 0; i < 8192; ++i)
            v.want.push_back(uint8_t(i % 2 ? 'd' : 'c'));
        extents = { { { 1000, 1 }, { 0, 9 } }, { { 0, 6 }, { 1100, 1 }, { 0, 3 } }, { { 0, 12 } } };
    } else {
        v.size = 15000;
        std::mt19937 rng(5);
        for (uint64_t sector : { 1000, 1100, 1200, 1500 })
            for (size_t i = 0; i < 10 * kSectorSize; ++i)
                v.At(sector)[i] = uint8_t(rng());
        for (uint64_t sector : { 1000, 1100, 1200 })
            v.want.insert(v.want.end(), v.At(sector), v.At(sector) + 10 * kSectorSize);
        v.want.resize(size_t(v.size));
        extents = { { { 1000, 10 } }, { { 1100, 10 } }, { { 1200, 10 } } };
    }
    if (s.damage == Spread::Gap)
        extents[2] = { { 1200, 5 } }; // listed from cluster 25 below
    const uint8_t baseFlags = s.baseDeleted ? 0 : 1;
    const uint16_t seq = s.baseDeleted ? 4 : 3; // freeing a record counts its sequence up
    auto extension = [&](uint64_t n) {
        const bool freed = s.baseDeleted;
        uint64_t base = kBase;
        uint8_t flags = baseFlags;
        uint16_t own = freed ? 8 : 7;
        if (n == kExtB && s.damage == Spread::OtherBase)
            base = 41;
        if (n == kExtB && s.damage == Spread::InUseAfterDelete)
            flags = 1;
        if (n == kExtB && s.damage == Spread::OtherSequence)
            own = 9;
        const uint16_t baseWas = n == kExtB && s.damage == Spread::EarlierBase ? 2
            : n == kExtB && s.damage == Spread::LaterBase                    ? 4
                                                                              : 3;
        return Record(n, flags, own, base, baseWas);
    };
    const uint16_t data = kAttrData;
    auto putExtent = [&](ntfs_test::RecordBuilder& b, size_t k,
                         const std::vector<std::pair<uint64_t, uint64_t>>* runs = nullptr) {
        const uint64_t vcn = k * 10 + (s.damage == Spread::Gap && k == 2 ? 5 : 0);
        const size_t at = b.NonResident(data, Pairs(runs ? *runs : extents[k]), vcn, k == 0 ? v.size : 0);
        uint64_t clusters = 0;
        for (const auto& run : extents[k])
            clusters += run.second;
        Put64(&b.rec[at + 24], vcn + clusters - 1);
        if (s.compressed) {
            Put16(&b.rec[at + 12], kAttrFlagLznt1);
            b.rec[at + 34] = 4;
        }
        if (k == 0 && s.initialized != UINT64_MAX)
            Put64(&b.rec[at + 56], s.initialized);
    };

    // The list: where each attribute lies.
    Bytes list;
    auto add = [&list](const Bytes& e) { list.insert(list.end(), e.begin(), e.end()); };
    std::vector<Bytes> dataEntries = { ListEntry(data, 0, s.dataInBase ? kBase : kExtA, s.dataInBase ? 3 : 7),
                                       ListEntry(data, 10, kExtA, 7),
                                       ListEntry(data, s.damage == Spread::Gap ? 25 : 20, kExtB, 7) };
    if (s.listLacksLast)
        dataEntries.pop_back();
    if (s.reversedList)
        std::reverse(dataEntries.begin(), dataEntries.end());
    add(ListEntry(kAttrStandardInfo, 0, kBase, 3));
    add(ListEntry(kAttrFileName, 0, s.nameInExtension ? kExtName : kBase, s.nameInExtension ? 7 : 3));
    for (const Bytes& e : dataEntries)
        add(e);

    ntfs_test::RecordBuilder base = Record(kBase, baseFlags, seq);
    if (s.unnumberedBase)
        base.OldHeader();
    base.Resident(kAttrStandardInfo, Bytes(48));
    if (s.listless) {
    } else if (s.listResident) {
        base.Resident(kAttrAttributeList, list);
    } else {
        std::copy(list.begin(), list.end(), v.At(900));
        base.NonResident(kAttrAttributeList, Pairs({ { 900, 1 } }), 0, list.size());
    }
    const Bytes name = ntfs_test::FileNameValue(5, 77, kNameSpaceWin32, u"spread.bin");
    if (!s.nameInExtension)
        base.Resident(kAttrFileName, name);
    if (s.tornBase)
        base.Resident(0x40, Bytes(s.listless ? 480 : 400)); // the extents in the record's second sector
    ntfs_test::RecordBuilder staleBase = base;
    const std::vector<std::pair<uint64_t, uint64_t>> staleFirst = { { 1500, 10 } };
    if (s.listless) {
        // One attribute of all three extents' runs.
        std::vector<std::pair<uint64_t, uint64_t>> all, stale;
        for (const auto& runs : extents)
            all.insert(all.end(), runs.begin(), runs.end());
        stale = all;
        stale[1] = { 1500, 10 };
        for (auto [b, runs] : { std::make_pair(&base, &all), std::make_pair(&staleBase, &stale) }) {
            const size_t at = b->NonResident(data, Pairs(*runs), 0, v.size);
            Put64(&b->rec[at + 24], 29);
        }
    } else if (s.dataInBase) {
        putExtent(base, 0);
        putExtent(staleBase, 0, &staleFirst);
    }
    Bytes baseBytes = base.Finish();
    if (s.tornBase) {
        const Bytes older = staleBase.Finish(0x0A0A);
        std::copy(older.begin() + kSectorSize, older.end(), baseBytes.begin() + kSectorSize);
    }
    ntfs_test::RecordBuilder a = extension(kExtA), b = extension(kExtB), named = extension(kExtName);
    named.Resident(kAttrFileName, name);
    if (s.nameRemoved)
        std::fill_n(&named.rec[56], 8, uint8_t(0xFF)), std::fill_n(&named.rec[60], 4, uint8_t(0));
    if (s.tornA)
        a.Resident(0x40, Bytes(480)); // the extents in the record's second sector
    ntfs_test::RecordBuilder stale = a;
    if (!s.dataInBase)
        putExtent(a, 0);
    putExtent(a, 1);
    const std::vector<std::pair<uint64_t, uint64_t>> staleRuns = { { 1500, 10 } };
    putExtent(b, 2, s.damage == Spread::LaterBase ? &staleRuns : nullptr);
    putExtent(stale, 1, &staleRuns);
    Bytes extA = a.Finish();
    if (s.tornA) {
        const Bytes older = stale.Finish(0x0A0A);
        std::copy(older.begin() + kSectorSize, older.end(), extA.begin() + kSectorSize);
    }

    // Where the records lie, and what the volume knows of it.
    auto index = std::make_shared<NtfsRecordIndex>();
    v.baseSector = s.lookup == Spread::Carved ? 3000 : RecordSector(kBase);
    v.Put(v.baseSector, baseBytes);
    uint64_t extAt[2] = { RecordSector(kExtA), RecordSector(kExtB) };
    if (s.lookup == Spread::Carved) {
        extAt[0] = 3100;
        extAt[1] = 3200;
        index->found = { { kExtA, extAt[0] }, { kExtB, extAt[1] } };
    }
    if (s.lookup == Spread::AlongMft || s.wholeAlongMft)
        index->mftRuns = { { kMft }, { 200 } };
    if (s.baseAcrossRuns) {
        // The $MFT's first run ends inside the base record; the second, at 2000, holds the rest of
        // it, and sector 181 after the first run is none of the $MFT's.
        const uint64_t first = 2 * kBase + 1;
        index->mftRuns = { { kMft, 2000 }, { first, 200 - first } };
        std::copy(baseBytes.begin() + kSectorSize, baseBytes.end(), v.At(2000));
    }
    if (s.lookup == Spread::Kept) {
        index->freed = { { kBase, 20, extAt[1] } };
        index->freedKept = true;
    }
    v.Put(extAt[0], extA);
    if (s.olderCopyOfA) {
        v.Put(3050, stale);
        index->found.emplace_back(kExtA, 3050);
        std::sort(index->found.begin(), index->found.end());
    }
    if (s.wholeAlongMft) {
        v.Put(RecordSector(kExtA), a);
        v.Put(RecordSector(kExtB), b);
    }
    if (s.nameInExtension)
        v.Put(s.lookup == Spread::Carved ? 3300 : RecordSector(kExtName), named);
    if (s.lookup == Spread::Carved)
        index->found.emplace_back(kExtName, 3300);
    if (s.damage != Spread::Missing)
        v.Put(extAt[1], b);
    if (s.damage == Spread::StaleBeside || s.damage == Spread::CopyBeside) {
        // Record 11, before kExtB along the $MFT and where a carving found it.
        ntfs_test::RecordBuilder beside = Record(11, 0, 8, kBase, 3);
        putExtent(beside, 2, s.damage == Spread::StaleBeside ? &staleRuns : nullptr);
        const uint64_t at = s.lookup == Spread::Carved ? 3400 : RecordSector(11);
        v.Put(at, beside);
        index->found.emplace_back(11, at);
        std::sort(index->found.begin(), index->found.end());
    }
    v.volume.ntfsRecords = index;
    return v;
}

// Counts the sectors read.
struct CountingDisk : MemorySectorSource {
    using MemorySectorSource::MemorySectorSource;
    size_t Read(uint64_t sector, uint32_t count, uint8_t* buf) override
    {
        const size_t got = MemorySectorSource::Read(sector, count, buf);
        sectors += got / kSectorSize;
        return got;
    }
    uint64_t sectors = 0;
};

// The file as a save writes it: planned from its base record, copied, zeros past its initialized size.
Bytes Save(Volume& v, const Spread& s, NtfsDataPlan& plan, CString& name)
{
    CountingDisk disk(v.disk.data(), v.disk.size());
    VolumeRecordReader records(disk, v.volume);
    if (s.stopLookup)
        records.SetStop([] { return true; });
    Bytes base;
    plan = PlanFoundNtfsData(v.baseSector, v.size, records, base);
    records.SetStop({});
    // As the file is listed: its name and size from its records; a torn base record keeps its own.
    if (HasNtfsAttributeList(base.data())) {
        const NtfsFileParts parts = records.Gather(base.data(), v.baseSector, kGatherName | kGatherData);
        name = parts.nameRecord.empty() ? CString() : ReadNtfsFileInfo(parts.nameRecord.data(), nullptr).name;
        EXPECT_EQ(v.size, parts.dataSize);
    } else {
        const NtfsFileInfo info = ReadNtfsFileInfo(base.data(), nullptr);
        name = info.name;
        EXPECT_EQ(v.size, info.size);
    }
    // Opened again (another reader of the same results): what the volume was looked up for once is
    // not looked up again; only a look that was stopped is made anew, and gives the file whole.
    const uint64_t before = disk.sectors;
    VolumeRecordReader again(disk, v.volume);
    Bytes copy;
    const NtfsDataPlan second = PlanFoundNtfsData(v.baseSector, v.size, again, copy);
    EXPECT_EQ(plan.kind, second.kind);
    EXPECT_EQ(plan.incomplete && !s.stopLookup, second.incomplete);
    if (!s.stopLookup) {
        EXPECT_LE(disk.sectors - before, 40u);
    }
    Bytes out;
    CopySink sink = [&out](const uint8_t* d, size_t n) {
        out.insert(out.end(), d, d + n);
        return true;
    };
    if (plan.validBytes < v.size)
        sink = ZerosFrom(plan.validBytes, sink);
    if (plan.unitSectors != 0)
        CopyCompressedExtents(disk, plan.extents, v.size, plan.unitSectors, sink);
    else
        CopyExtents(disk, plan.extents, v.size, kCopyReadSectors, sink);
    return out;
}

// A deleted file whose list lost its last extent's entry, as ntfs-3g leaves it.
std::function<void(Spread&)> Unlisted(Spread::Damage damage, Spread::Lookup lookup = Spread::AlongMft)
{
    return [damage, lookup](Spread& s) {
        s.baseDeleted = s.listLacksLast = true;
        s.damage = damage;
        s.lookup = lookup;
    };
}

} // namespace

// The unnamed $DATA of a file in several records is gathered from every record its list names, in
// the order of each extent's first cluster, and copied as one; a record that is missing, reused or
// leaves a gap ends the file where its extents stop, never as the whole file.
TEST(NtfsFileRecords, DataIsGatheredFromEveryRecordTheListNames)
{
    using S = Spread;
    struct Case {
        const char* what;
        std::function<void(Spread&)> spread;
        size_t wholeBytes; // of the file's own bytes at its start; the rest written is zeros
        bool incomplete;
        bool unusable = false; // no data at all: nothing is read or written
    } cases[] = {
        { "a resident list, the data in the base and two extension records", [](S&) {}, 15000, false },
        { "a list kept outside the record", [](S& s) { s.listResident = false; }, 15000, false },
        { "the data wholly in extension records", [](S& s) { s.dataInBase = false; }, 15000, false },
        { "the name in an extension record", [](S& s) { s.nameInExtension = true; }, 15000, false },
        { "extents listed out of order", [](S& s) { s.reversedList = true; }, 15000, false },
        { "a compressed file whose units run across extents", [](S& s) { s.compressed = true; }, 16384, false },
        { "records found by a carving scan", [](S& s) { s.lookup = S::Carved; }, 15000, false },
        { "records as far apart as their numbers", [](S& s) { s.lookup = S::Nearby; }, 15000, false },
        { "a deleted file, its records freed with it", [](S& s) { s.baseDeleted = true; }, 15000, false },
        { "a deleted file whose name record was emptied as it was freed",
          [](S& s) { s.baseDeleted = s.nameInExtension = s.nameRemoved = true; }, 15000, false },
        { "an initialized size short of the real size", [](S& s) { s.initialized = 6000; }, 6000, false },
        { "a missing extension record", [](S& s) { s.damage = S::Missing; }, 10240, true },
        { "an extension record reused by another file", [](S& s) { s.damage = S::OtherBase; }, 10240, true },
        { "a deleted file whose record is in use again",
          [](S& s) {
              s.baseDeleted = true;
              s.damage = S::InUseAfterDelete;
          },
          10240, true },
        { "an extension record freed and taken again", [](S& s) { s.damage = S::OtherSequence; }, 10240, true },
        { "a gap between extents", [](S& s) { s.damage = S::Gap; }, 10240, true },
        { "a compressed file missing its last extent",
          [](S& s) {
              s.compressed = true;
              s.damage = S::Missing;
          },
          8192, true },
        { "an extension record torn by a write cut short", [](S& s) { s.tornA = true; }, 5120, true },
        { "a carved extension record torn, whole along the $MFT",
          [](S& s) {
              s.lookup = S::Carved;
              s.tornA = s.wholeAlongMft = true;
          },
          15000, false },
        { "a base record without its number, on a volume whose $MFT is not known",
          [](S& s) {
              s.lookup = S::Carved;
              s.unnumberedBase = true;
          },
          5120, true },
        // A deleted file whose list lost its last extent's entry: the freed record that names it and
        // goes on where the others end holds the rest, wherever it is found.
        { "a deleted file whose list lost its last extent", Unlisted(S::None, S::AlongMft), 15000, false },
        { "the same, its records found by a carving scan", Unlisted(S::None, S::Carved), 15000, false },
        { "the same, as a scan kept its freed records", Unlisted(S::None, S::Kept), 15000, false },
        { "the same, the freed record beginning past where the others end", Unlisted(S::Gap), 10240, true },
        { "the same, the freed record naming another base", Unlisted(S::OtherBase), 10240, true },
        { "the same, the freed record an earlier file's of the base's number", Unlisted(S::EarlierBase), 10240, true },
        { "the same, the freed record a later file's of the base's number", Unlisted(S::LaterBase), 10240, true },
        { "the same, the freed record named by the base's present sequence, carved",
          Unlisted(S::LaterBase, S::Carved), 10240, true },
        { "the same, a stale freed record before it going on there too", Unlisted(S::StaleBeside), 10240, true },
        { "the same, carved", Unlisted(S::StaleBeside, S::Carved), 10240, true },
        { "the same, a second freed record going on there alike", Unlisted(S::CopyBeside), 15000, false },
        { "the same, the look for freed records stopped",
          [](S& s) {
              Unlisted(S::None)(s);
              s.stopLookup = true;
          },
          10240, true },
        // A torn base record gives no data, whatever its stale sector says, in use or deleted.
        { "a base record without a list, torn", [](S& s) { s.listless = s.tornBase = true; }, 0, true, true },
        { "a deleted base record without a list, torn",
          [](S& s) { s.listless = s.tornBase = s.baseDeleted = true; }, 0, true, true },
        { "a base record with a list, torn", [](S& s) { s.tornBase = true; }, 0, true, true },
        { "a carved base record with a list, torn", [](S& s) { s.tornBase = true, s.lookup = S::Carved; }, 0, true,
          true },
        { "a base record without a list", [](S& s) { s.listless = true; }, 15000, false },
        { "a base record the $MFT goes on with in another run",
          [](S& s) { s.listless = s.baseAcrossRuns = true; }, 15000, false },
        { "a base record with a list the $MFT goes on with in another run",
          [](S& s) { s.baseAcrossRuns = true; }, 15000, false },
        // An older write of an extension record found elsewhere: the $MFT's own is taken; with no
        // $MFT to read, copies that disagree leave the file short.
        { "an older copy of an extension record carved elsewhere", [](S& s) { s.olderCopyOfA = true; }, 15000,
          false },
        { "the same, the records found by a carving scan only",
          [](S& s) { s.olderCopyOfA = true, s.lookup = S::Carved; }, 5120, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Spread s;
        c.spread(s);
        Volume v = Make(s);
        NtfsDataPlan plan;
        CString name;
        const Bytes out = Save(v, s, plan, name);
        EXPECT_EQ(c.unusable ? NtfsDataPlan::Kind::Unusable : NtfsDataPlan::Kind::Runs, plan.kind);
        EXPECT_EQ(c.incomplete, plan.incomplete || c.unusable);
        EXPECT_EQ(CString(L"spread.bin"), name);
        ASSERT_EQ(c.incomplete ? c.wholeBytes : v.size, out.size());
        EXPECT_TRUE(std::equal(out.begin(), out.begin() + c.wholeBytes, v.want.begin()));
        EXPECT_TRUE(std::all_of(out.begin() + c.wholeBytes, out.end(), [](uint8_t b) { return b == 0; }));
    }
}

// Extension records are never files or folders of their own: the names they hold name their base
// records, in Basic and in Deep Search, through the base's list or, a deleted file's list gone, by
// the base they name, never from a torn record; the best name space among a file's records wins
// over the base's own DOS name, in the scans and the listing; a folder whose name is in no record
// it still has stands nameless under the catch-all folder, with its files, as does a deleted folder
// that kept only its index when a file lies in it.
TEST(NtfsFileRecords, ExtensionRecordsNameTheirBaseAndAreNoRowsOfTheirOwn)
{
    Volume v;
    v.volume.kind = FsKind::Ntfs;
    v.volume.endSector = kDisk;
    v.volume.params.sectorsPerCluster = 1;
    auto runs = std::make_shared<NtfsRecordIndex>();
    runs->mftRuns = { { kMft }, { 200 } };
    v.volume.ntfsRecords = runs;
    auto listNaming = [](uint64_t record) {
        Bytes list = ListEntry(kAttrStandardInfo, 0, 0, 1);
        const Bytes name = ListEntry(kAttrFileName, 0, record, 1);
        list.insert(list.end(), name.begin(), name.end());
        return list;
    };
    auto put = [&v](uint64_t n, ntfs_test::RecordBuilder b) { v.Put(RecordSector(n), b); };
    ntfs_test::RecordBuilder many = Record(30, 3, 1), manyName = Record(31, 1, 1, 30, 1);
    many.Resident(kAttrAttributeList, listNaming(31));
    manyName.Resident(kAttrFileName, ntfs_test::FileNameValue(5, 9, kNameSpaceWin32, u"Many"));
    ntfs_test::RecordBuilder file = Record(32, 1, 1), fileName = Record(33, 1, 1, 32, 1);
    file.Resident(kAttrAttributeList, listNaming(33));
    file.Resident(kAttrData, { 'h', 'e', 'l', 'l', 'o' });
    fileName.Resident(kAttrFileName, ntfs_test::FileNameValue(30, 9, kNameSpaceWin32, u"inside.txt"));
    ntfs_test::RecordBuilder lost = Record(34, 3, 1), lostFile = Record(36, 1, 1);
    lost.Resident(kAttrAttributeList, listNaming(35)); // record 35 holds nothing
    lostFile.Resident(kAttrFileName, ntfs_test::FileNameValue(34, 9, kNameSpaceWin32, u"kept.txt"));
    // A deleted file whose list went with its name: its extension record, freed and emptied, still
    // names it and keeps the name's bytes.
    ntfs_test::RecordBuilder gone = Record(37, 0, 2), goneName = Record(38, 0, 2, 37, 1);
    gone.Resident(kAttrData, { 'g', 'o', 'n', 'e' });
    goneName.Resident(kAttrFileName, ntfs_test::FileNameValue(30, 9, kNameSpaceWin32, u"gone.txt"));
    std::fill_n(&goneName.rec[56], 4, uint8_t(0xFF));
    std::fill_n(&goneName.rec[60], 4, uint8_t(0));
    put(37, gone);
    put(38, goneName);
    // Bases that hold only a DOS name, their long names in extension records: a file and a folder.
    ntfs_test::RecordBuilder dos = Record(39, 1, 1), dosLong = Record(41, 1, 1, 39, 1);
    dos.Resident(kAttrAttributeList, listNaming(41));
    dos.Resident(kAttrFileName, ntfs_test::FileNameValue(30, 9, kNameSpaceDos, u"LONGNA~1.TXT"));
    dosLong.Resident(kAttrFileName, ntfs_test::FileNameValue(30, 9, kNameSpaceWin32, u"long name.txt"));
    ntfs_test::RecordBuilder dosFolder = Record(42, 3, 1), dosFolderLong = Record(43, 1, 1, 42, 1);
    dosFolder.Resident(kAttrAttributeList, listNaming(43));
    dosFolder.Resident(kAttrFileName, ntfs_test::FileNameValue(5, 9, kNameSpaceDos, u"LONGFO~1"));
    dosFolderLong.Resident(kAttrFileName, ntfs_test::FileNameValue(5, 9, kNameSpaceWin32, u"Long folder"));
    put(39, dos);
    put(41, dosLong);
    put(42, dosFolder);
    put(43, dosFolderLong);
    // Deleted folders that lost their name and list but keep their index: one a file still lies in,
    // one that nothing names.
    ntfs_test::RecordBuilder indexOnly = Record(44, 2, 2), inIt = Record(45, 0, 2), unused = Record(46, 2, 2);
    for (ntfs_test::RecordBuilder* folder : { &indexOnly, &unused }) {
        folder->Resident(kAttrStandardInfo, Bytes(48));
        folder->Resident(kAttrIndexRoot, Bytes(48), u"$I30");
    }
    inIt.Resident(kAttrFileName, ntfs_test::FileNameValue(44, 9, kNameSpaceWin32, u"orphan.txt"));
    put(44, indexOnly);
    put(45, inIt);
    put(46, unused);
    // A deleted file whose list is gone, named only by a torn extension record (its second sector
    // written after the name was taken out).
    ntfs_test::RecordBuilder torn = Record(47, 0, 2), tornName = Record(48, 0, 2, 47, 1);
    torn.Resident(kAttrData, { 't' });
    tornName.Resident(kAttrFileName, ntfs_test::FileNameValue(30, 9, kNameSpaceWin32, u"torn.txt"));
    put(47, torn);
    put(48, tornName);
    v.At(RecordSector(48) + 1)[510] ^= 0xFF;
    put(30, many);
    put(31, manyName);
    put(32, file);
    put(33, fileName);
    put(34, lost);
    put(36, lostFile);
    MemorySectorSource disk(v.disk.data(), v.disk.size());

    // Basic Search: the $MFT read record by record.
    std::map<uint64_t, NtfsScanRecord> basic;
    for (NtfsScanRecord& r : ScanNtfsRecords(disk, { { kMft }, { 200 } }, nullptr, {}, { 0, 1, kDisk }))
        basic[r.record] = std::move(r);
    ASSERT_EQ(9u, basic.size());
    EXPECT_TRUE(basic[37].deleted);
    EXPECT_EQ(30u, basic[37].parent);
    EXPECT_EQ(u"Many", basic[30].name);
    EXPECT_EQ(5u, basic[30].parent);
    EXPECT_EQ(30u, basic[32].parent);
    EXPECT_FALSE(basic[32].folder);
    EXPECT_TRUE(basic[34].folder && basic[34].name.empty());
    EXPECT_EQ(kMiscFolderId, basic[34].parent);
    EXPECT_EQ(34u, basic[36].parent);
    EXPECT_EQ(30u, basic[39].parent);
    EXPECT_EQ(u"Long folder", basic[42].name);
    EXPECT_TRUE(basic[44].folder && basic[44].deleted && basic[44].name.empty());
    EXPECT_EQ(kMiscFolderId, basic[44].parent);
    EXPECT_EQ(44u, basic[45].parent);
    EXPECT_EQ(0u, basic.count(46));
    EXPECT_EQ(0u, basic.count(47));

    // The listing of Basic's rows: a file's name is read where the scan left it unnamed.
    FoundStore listed;
    listed.AddVolume(v.volume);
    for (auto& [number, r] : basic)
        AddNtfsRecord(listed, 0, NtfsScanRecord(r));
    struct Names : FileSink {
        void Add(const FoundFileRef& file, const CString (&)[10]) override { names.insert(file.name); }
        std::set<CString> names;
    } inMany;
    ListNtfsFilesFrom(listed, 0, 30, disk, nullptr, inMany);
    EXPECT_EQ((std::set<CString>{ L"inside.txt", L"gone.txt", L"long name.txt" }), inMany.names);

    // Deep Search: the records carved wherever they lie.
    std::map<uint64_t, std::pair<CString, uint64_t>> folders, files;
    auto deep = [&folders, &files](const Bytes& image, bool stopped) {
        MemorySectorSource carved(image.data(), image.size());
        FoundStore store;
        DeepNtfsStoreSink sink(store);
        RunDeepScan(carved, 0, kDisk, { false, true }, sink);
        const NtfsGeometryMap map = InferNtfsVolumeGeometry(sink.systemRecords, sink.boots, { 0 }, 0);
        const StopFlag stop{ stopped ? 1u : 0u };
        FinishDeepNtfsStore(store, map, L"", 0, kDisk, 0, {}, &sink.records, &carved, &stop);
        folders.clear();
        files.clear();
        for (size_t i = 0; i < store.EntryCount(); ++i)
            folders[store.Entry(i).self] = { store.EntryName(i), store.Entry(i).parent };
        for (size_t i = 0; i < store.NtfsFileCount(); ++i)
            files[store.NtfsFile(i).sector] = { store.NtfsFileName(i), store.NtfsFile(i).parent };
    };
    deep(v.disk, false);
    EXPECT_EQ(std::make_pair(CString(L"Many"), uint64_t(5)), folders[30]);
    EXPECT_EQ(std::make_pair(CString(), uint64_t(kMissingParentId)), folders[34]);
    EXPECT_EQ(std::make_pair(CString(L"Long folder"), uint64_t(5)), folders[42]);
    EXPECT_EQ(std::make_pair(CString(), uint64_t(kMissingParentId)), folders[44]);
    EXPECT_EQ(0u, folders.count(46));
    EXPECT_EQ(5u, folders.size()); // and the catch-all folder
    EXPECT_EQ(std::make_pair(CString(L"inside.txt"), uint64_t(30)), files[RecordSector(32)]);
    EXPECT_EQ(std::make_pair(CString(L"kept.txt"), uint64_t(34)), files[RecordSector(36)]);
    EXPECT_EQ(std::make_pair(CString(L"gone.txt"), uint64_t(30)), files[RecordSector(37)]);
    EXPECT_EQ(std::make_pair(CString(L"long name.txt"), uint64_t(30)), files[RecordSector(39)]);
    EXPECT_EQ(std::make_pair(CString(L"orphan.txt"), uint64_t(44)), files[RecordSector(45)]);
    EXPECT_TRUE(files[RecordSector(47)].first.IsEmpty());
    EXPECT_EQ(6u, files.size());

    // Stopped as the naming begins: the folders left nameless stand where nameless folders stand,
    // under the catch-all folder (a deleted one that kept only its index, when a row lies in it), or
    // are dropped; none is left under a folder no row is.
    deep(v.disk, true);
    EXPECT_EQ(std::make_pair(CString(), uint64_t(kMissingParentId)), folders[30]);
    EXPECT_EQ(std::make_pair(CString(), uint64_t(kMissingParentId)), folders[34]);
    EXPECT_EQ(std::make_pair(CString(L"LONGFO~1"), uint64_t(5)), folders[42]);
    EXPECT_EQ(std::make_pair(CString(), uint64_t(kMissingParentId)), folders[44]);
    EXPECT_EQ(0u, folders.count(46));
    for (const auto& [self, folder] : folders)
        EXPECT_TRUE(folder.second == 5 || folder.second == kMissingParentId || folders.count(folder.second) != 0)
            << self << " under " << folder.second;

    // Two copies of one record, the first torn (its list, in its stale second sector, names another
    // record for its name): the copies are named from the whole one.
    Bytes copies = v.disk;
    auto putAt = [&copies](uint64_t sector, const Bytes& r) { std::copy(r.begin(), r.end(), copies.begin() + sector * kSectorSize); };
    ntfs_test::RecordBuilder twice = Record(60, 1, 1), stale = Record(60, 1, 1);
    ntfs_test::RecordBuilder right = Record(61, 1, 1, 60, 1), wrong = Record(62, 1, 1, 60, 1);
    right.Resident(kAttrFileName, ntfs_test::FileNameValue(30, 9, kNameSpaceWin32, u"right.txt"));
    wrong.Resident(kAttrFileName, ntfs_test::FileNameValue(30, 9, kNameSpaceWin32, u"stale.txt"));
    for (auto [copy, named] : { std::make_pair(&twice, uint64_t(61)), std::make_pair(&stale, uint64_t(62)) }) {
        copy->Resident(kAttrData, { 'x' });
        copy->Resident(0x40, Bytes(400)); // the list in the second sector
        copy->Resident(kAttrAttributeList, listNaming(named));
    }
    Bytes cutShort = twice.Finish();
    const Bytes older = stale.Finish(0x0A0A);
    std::copy(older.begin() + kSectorSize, older.end(), cutShort.begin() + kSectorSize);
    putAt(20, cutShort);
    putAt(3000, twice.Finish());
    putAt(3100, right.Finish());
    putAt(3200, wrong.Finish());
    deep(copies, false);
    EXPECT_EQ(std::make_pair(CString(L"right.txt"), uint64_t(30)), files[20]);
    EXPECT_EQ(std::make_pair(CString(L"right.txt"), uint64_t(30)), files[3000]);
}

// Deep Search names the copies of one base record once: 200 copies of a deleted file whose list is
// gone, named by 200 extension records that still name it (none of the best name space, so that
// every one is read), cost about one read each, not one per copy and extension; a record of that
// number used again since (another sequence number) is no copy and keeps no name of theirs; a stop
// pressed as the carving ends leaves them nameless, each still a row.
TEST(NtfsFileRecords, DeepSearchNamesEachBaseOnceAndHeedsStop)
{
    constexpr size_t kCopies = 200, kNaming = 200;
    Volume v;
    ntfs_test::RecordBuilder base = Record(50, 0, 2);
    base.Resident(kAttrData, { 'c' });
    const Bytes copy = base.Finish();
    for (size_t i = 0; i < kCopies; ++i)
        std::copy(copy.begin(), copy.end(), v.At(1000 + 2 * i));
    ntfs_test::RecordBuilder reused = Record(50, 0, 5);
    reused.Resident(kAttrData, { 'r' });
    v.Put(1000 + 2 * kCopies, reused);
    ntfs_test::RecordBuilder naming = Record(100, 0, 2, 50, 1);
    naming.Resident(kAttrFileName, ntfs_test::FileNameValue(5, 9, kNameSpacePosix, u"copy.bin"));
    Bytes named = naming.Finish();
    for (size_t i = 0; i < kNaming; ++i) {
        Put32(&named[0x2C], uint32_t(100 + i));
        std::copy(named.begin(), named.end(), v.At(2000 + 2 * i));
    }
    // Reads counted once the carving is over.
    struct Counting : SectorSource {
        explicit Counting(const Bytes& disk) : below(disk.data(), disk.size()) { }
        size_t Read(uint64_t sector, uint32_t count, uint8_t* buf) override
        {
            ++reads;
            return below.Read(sector, count, buf);
        }
        MemorySectorSource below;
        std::atomic<size_t> reads{ 0 };
    };
    for (const bool stopped : { false, true }) {
        SCOPED_TRACE(stopped ? "stopped" : "run to its end");
        Counting disk(v.disk);
        ScanRequest request;
        request.target.kind = FsKind::Ntfs;
        request.target.endSector = kDisk;
        request.volumeEnd = kDisk;
        request.volumeStarts = { 0 };
        FoundStore store;
        StopFlag stop{ 0 };
        DeepScanObserver observer;
        observer.finishing = [&] {
            disk.reads = 0;
            if (stopped)
                stop = 1;
        };
        ScanDeepRequest(disk, request, store, 0, &stop, observer);
        EXPECT_LE(disk.reads, stopped ? 0 : 2 * (kCopies + kNaming));
        ASSERT_EQ(kCopies + 1, store.NtfsFileCount());
        for (size_t i = 0; i < kCopies; ++i)
            EXPECT_EQ(stopped ? CString() : CString(L"copy.bin"), store.NtfsFileName(i));
        EXPECT_EQ(CString(), store.NtfsFileName(kCopies));
        EXPECT_EQ(1u, store.EntryCount()); // the catch-all folder
    }
}
