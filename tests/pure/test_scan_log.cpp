// The scan-log codec: round trips of the four kinds of log, one log pinned byte for byte, names
// that would break a line, the tree rebuild on awkward depths, and logs that are cut, refused
// or damaged at random.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <vector>

#include "app/pure/shell_rules.h"
#include "fsrecovery/pure/scan_log.h"
#include "storage/pure/drive_texts.h"
#include "tests/pure/alloc_watch.h"
#include "tests/pure/result_tree_sink.h"
#include "tests/pure/scan_log_samples.h"

namespace {

using namespace scan_log_test;

ScanLogResult Load(const Bytes& bytes, ScanLogData& data, uint32_t dialogMode = 0)
{
    CMemFile f(bytes.data(), bytes.size());
    CArchive ar(&f, CArchive::load);
    return ReadScanLog(ar, dialogMode, data);
}

std::vector<int64_t> Parents(const std::vector<ScanLogTreeItem>& items)
{
    std::vector<int64_t> out;
    for (const auto& item : items)
        out.push_back(item.parent);
    return out;
}

// Bytes written out by hand from the format, independently of the writer.
struct HandBytes {
    Bytes b;
    HandBytes& Le(uint64_t v, int size)
    {
        for (int i = 0; i < size; ++i)
            b.push_back(uint8_t(v >> (8 * i)));
        return *this;
    }
    HandBytes& Units(const std::u16string& s)
    {
        for (char16_t c : s)
            Le(c, 2);
        return *this;
    }
    HandBytes& Str(const std::u16string& s) // short texts only: one length byte
    {
        b.insert(b.end(), { 0xFF, 0xFE, 0xFF, uint8_t(s.size()) });
        return Units(s);
    }
    HandBytes& Line(const std::u16string& s) { return Units(s + u"\r\n"); }
};

TEST(ScanLogRoundTrip, EveryKindOfLogReadsBackAsWritten)
{
    for (const ScanLogData& original : Samples()) {
        SCOPED_TRACE(testing::Message() << "mode " << original.header.mode << " "
                                        << original.volume.fsName.GetString());
        const Bytes bytes = Save(original);
        ScanLogData read;
        const ScanLogResult r = Load(bytes, read, original.header.mode);
        ASSERT_EQ(r.status, ScanLogStatus::Ok) << r.errorText.GetString();
        EXPECT_EQ(r.complete, ScanLogPart::Tables);
        EXPECT_EQ(Save(read), bytes);
        EXPECT_EQ(read.volume.sizeBytes, original.volume.sizeSectors * 512);
        EXPECT_EQ(read.fatVolumes.size(), original.fatVolumes.size());
        EXPECT_EQ(read.recognisedRows.size(), original.recognisedRows.size());
        ASSERT_EQ(read.tree.size(), original.tree.size());
        EXPECT_EQ(Parents(read.tree), (std::vector<int64_t>{ -1, 0, 0, 2, 3, 0 }));
        for (size_t i = 0; i < read.tree.size(); ++i)
            EXPECT_EQ(read.tree[i].hasFolder, i > 0) << i;
        EXPECT_EQ(read.tree[4].folder.name, L"");
    }
}

TEST(ScanLogBytes, ASmallBasicLogIsExactlyTheDocumentedLayout)
{
    ScanLogData d;
    d.header = { L"Logical", L"WD", kScanLogModeBasic };
    d.device.source = ScanLogSource::Drive;
    d.device.drivePath = L"\\\\.\\E:";
    d.device.driveSectors = 0x1F400;
    d.volume = { 2, 7, L"FAT16", L"Basic Search", 63, 0x1F43F, 0, 63, 0x1F400 };
    d.geometry = { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12 };
    static_cast<VolumeGeometryRecord&>(d.params) = { 21, 4, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32 };
    d.params.partitionType = L"FAT16";
    d.folderCount = 1;
    d.tree = { Item(0, L"Root"), Item(1, L"DOCS", 3, 0) };
    d.tree[1].folder.date = 0x0102;
    d.tree[1].folder.time = 0x0304;
    d.tree[1].folder.deleted = 1;

    HandBytes h;
    h.Str(u"Logical").Str(u"ZembrolixWIN7SR2013").Str(u"WD").Le(1, 4);
    h.Str(u"LOG").Str(u"\\\\.\\E:").Le(0x1F400, 8);
    h.Le(2, 2).Le(7, 4).Str(u"FAT16").Str(u"Basic Search").Le(63, 8).Le(0x1F43F, 8).Le(63, 8).Le(0x1F400, 8);
    for (uint64_t base : { 0, 20 }) {
        const uint64_t spc = base ? 4 : 2;
        h.Le(base + 1, 4).Le(spc, 4).Le(base + 3, 4).Le(base + 4, 4).Le(base + 5, 4).Le(base + 6, 8);
        h.Le(base + 7, 4).Le(base + 8, 4).Le(base + 9, 8).Le(base + 10, 8).Le(base + 11, 4).Le(base + 12, 4);
    }
    h.Str(u"FAT16").Le(1, 8);
    h.Line(u"Root");
    const size_t rootRecord = h.b.size();
    h.Str(u"Root_Item").Le(0, 4).Le(0, 4).Le(0, 8).Le(0, 8).Le(0, 4);
    EXPECT_EQ(h.b.size() - rootRecord, 50u);
    h.Line(u"\tDOCS").Str(u"DOCS").Le(3, 4).Le(0, 4).Le(0x0102, 8).Le(0x0304, 8).Le(1, 4);
    h.Line(u"ZembrolixWIN7SR2013/:*?\"<>|");
    EXPECT_EQ(Save(d), h.b);

    // Deep records carry the cluster-0 start: the "Root_Item" record is 58 bytes there.
    const Bytes deep = Save(Sample(kScanLogModeDeep, L"NTFS", ScanLogSource::Disk));
    HandBytes root;
    root.Line(u"Root");
    const size_t start = root.b.size();
    root.Str(u"Root_Item").Le(0, 4).Le(0, 4).Le(0, 8).Le(0, 8).Le(0, 4).Le(0, 8);
    EXPECT_EQ(root.b.size() - start, 58u);
    root.Units(u"\tKXR");
    EXPECT_NE(std::search(deep.begin(), deep.end(), root.b.begin(), root.b.end()), deep.end());
}

TEST(ScanLogNames, EveryLengthFormAndAwkwardCharactersSurviveWithoutMovingTheTree)
{
    ScanLogData d = Sample(kScanLogModeBasic, L"NTFS", ScanLogSource::Disk);
    const CString awkward[] = {
        L"",
        CString(L'a', 254),
        CString(L'b', 255),
        CString(L'c', 0xFFFE),
        CString(L'd', 0x10000),
        L"two\r\nlines",
        L"\tleading tab",
        L"cr only\r",
        CString(L"nul\0inside", 10),
        L"caf\u00E9 \u4E2D\u6587 \U0001F600",
        L"ZembrolixWIN7SR2013/:*?\"<>|",
    };
    for (const CString& name : awkward) {
        d.tree.push_back(Item(2, name, uint32_t(60 + d.tree.size()), 50));
        d.ntfsRows.push_back({ name, name, L"", L"", L"", L"" });
    }
    ScanLogData read;
    ASSERT_EQ(Load(Save(d), read).status, ScanLogStatus::Ok);
    ASSERT_EQ(read.tree.size(), d.tree.size());
    for (size_t i = 0; i < d.tree.size(); ++i) {
        EXPECT_EQ(read.tree[i].folder.name, d.tree[i].folder.name) << i;
        EXPECT_EQ(read.tree[i].depth, d.tree[i].depth) << i;
        EXPECT_EQ(read.tree[i].text, ScanLogLineText(d.tree[i].text)) << i;
        EXPECT_EQ(read.tree[i].text.FindOneOf(L"\r\n\t"), -1) << i;
    }
    EXPECT_EQ(read.tree.back().parent, 5); // still under "Photos"
    ASSERT_EQ(read.ntfsRows.size(), d.ntfsRows.size());
    EXPECT_EQ(read.ntfsRows.back()[1], d.ntfsRows.back()[1]);
    EXPECT_EQ(read.ntfsRows[3 + 4][0].GetLength(), 0x10000);
}

TEST(ScanLogTree, LinesArePlacedAsTheirDepthsSay)
{
    struct Case {
        std::vector<uint32_t> depths;
        std::vector<int64_t> parents;
    } cases[] = {
        { { 0, 1, 2, 2, 1, 2 }, { -1, 0, 1, 1, 0, 4 } },
        { { 0, 3, 2, 1 }, { -1, 0, 1, 0 } },              // a skip of levels makes a child, then counts as one level
        { { 0, 1, 4, 4, 2, 1 }, { -1, 0, 1, 2, 1, 0 } },  // each further deep line nests in the one before
        { { 0, 1, 2, 3, 0, 1 }, { -1, 0, 1, 2, -1, 4 } }, // a second top-level item takes what follows
        { { 0, 1, 2, 3, 1 }, { -1, 0, 1, 2, 0 } },        // back up several levels
        { { 2, 0, 1 }, { -1, -1, 1 } },
    };
    for (const Case& c : cases) {
        std::vector<ScanLogTreeItem> items;
        for (uint32_t depth : c.depths)
            items.push_back(Item(depth, L"x"));
        LinkScanLogTree(items);
        EXPECT_EQ(Parents(items), c.parents) << testing::PrintToString(c.depths);
    }

    // Through the file: the count of folder records only scales the progress, so a count below
    // the real number, or 0, still loads every folder; a level-skipping line is kept as written;
    // a further top-level item has no record and shows as "Root".
    ScanLogData d = Sample(kScanLogModeDeep, L"FAT16", ScanLogSource::Disk);
    d.tree.push_back(Item(4, L"skipped", 70, 50));
    d.tree.push_back(Item(0, L""));
    d.tree.push_back(Item(1, L"second", 80, RootId(d)));
    const std::vector<int64_t> parents{ -1, 0, 0, 2, 3, 0, 5, -1, 7 };
    for (uint64_t count : { uint64_t(0), uint64_t(1), uint64_t(1) << 62 }) {
        d.folderCount = count;
        ScanLogData read;
        ASSERT_EQ(Load(Save(d), read).status, ScanLogStatus::Ok);
        EXPECT_EQ(read.folderCount, count);
        EXPECT_EQ(Parents(read.tree), parents);
        EXPECT_EQ(read.tree[6].depth, 4u);
        EXPECT_EQ(read.tree[7].text, L"Root");
        EXPECT_FALSE(read.tree[7].hasFolder);
        EXPECT_EQ(read.tree[8].folder.name, L"second");
    }

    // Lines no save of ours writes: an empty line is taken for damage (it would hide a line end
    // written over a line's TABs); a first line of one TAB, the form the loaders know, has no
    // record and sets the depth every later line is counted from.
    const Bytes bytes = Save(d);
    HandBytes top, oneTab, documents;
    top.Line(u"Root");
    oneTab.Line(u"\t");
    documents.Units(u"\tDocuments");
    Bytes odd = bytes;
    odd.insert(std::search(odd.begin(), odd.end(), documents.b.begin(), documents.b.end()), { 0x0D, 0, 0x0A, 0 });
    ScanLogData read;
    ASSERT_EQ(Load(odd, read).status, ScanLogStatus::Damaged);
    odd = bytes;
    auto first = std::search(odd.begin(), odd.end(), top.b.begin(), top.b.end());
    first = odd.erase(first, first + top.b.size() + 58); // the line and its Deep "Root_Item" record
    odd.insert(first, oneTab.b.begin(), oneTab.b.end());
    ASSERT_EQ(Load(odd, read).status, ScanLogStatus::Ok);
    EXPECT_EQ(Parents(read.tree), (std::vector<int64_t>{ -1, -1, -1, 2, 3, -1, 5, -1, -1 }));
    EXPECT_EQ(read.tree[1].folder.name, L"KXR_Miscellaneous");
}

TEST(ScanLogHead, TheHeaderReadStopsAfterTheModeAndJudgesMarkerAndMode)
{
    const Bytes bytes = Save(Sample(kScanLogModeDeep, L"NTFS", ScanLogSource::Drive));
    CMemFile f(bytes.data(), bytes.size());
    CArchive ar(&f, CArchive::load);
    ScanLogHeader header;
    const ScanLogResult r = ReadScanLogHeader(ar, header);
    EXPECT_EQ(r.status, ScanLogStatus::Ok);
    EXPECT_EQ(header.mode, kScanLogModeDeep);
    EXPECT_EQ(header.kind, L"Logical");
    CString next;
    ar >> next;
    EXPECT_EQ(next, L"LOG");

    auto headOf = [](const CString& marker, uint32_t mode) {
        CMemFile out;
        CArchive w(&out, CArchive::store);
        w << CString(L"Logical") << marker << CString(L"id") << mode;
        w.Close();
        return out.Detach();
    };
    struct Case {
        Bytes bytes;
        ScanLogStatus header, basicDialog;
    } cases[] = {
        { headOf(kScanLogMarker, 1), ScanLogStatus::Ok, ScanLogStatus::Damaged }, // the rest is missing
        { headOf(kScanLogMarker, 2), ScanLogStatus::Ok, ScanLogStatus::OtherMode },
        { headOf(kScanLogMarker, 3), ScanLogStatus::UnknownMode, ScanLogStatus::UnknownMode },
        { headOf(L"ZembrolixWIN7SR2012", 1), ScanLogStatus::NotALog, ScanLogStatus::NotALog },
        { Bytes(bytes.begin(), bytes.begin() + 20), ScanLogStatus::Damaged, ScanLogStatus::Damaged },
        { Bytes(), ScanLogStatus::Damaged, ScanLogStatus::Damaged },
    };
    for (const Case& c : cases) {
        CMemFile in(c.bytes.data(), c.bytes.size());
        CArchive load(&in, CArchive::load);
        EXPECT_EQ(ReadScanLogHeader(load, header).status, c.header);
        ScanLogData data;
        const ScanLogResult full = Load(c.bytes, data, kScanLogModeBasic);
        EXPECT_EQ(full.status, c.basicDialog);
        EXPECT_EQ(full.status == ScanLogStatus::Damaged, !full.errorText.IsEmpty());
    }
}

TEST(ScanLogRefusals, DeviceBlocksAndVolumesNoScanWritesAreInvalid)
{
    struct Case {
        const char* what;
        std::function<void(ScanLogData&)> spoil;
        ScanLogPart complete;
    } cases[] = {
        { "drive block for a disk kind", [](ScanLogData& d) { d.header.kind = L"Hard Disk"; }, ScanLogPart::Head },
        { "drive block for a recognised volume in Basic", [](ScanLogData& d) { d.header.kind = L"Recognised"; },
          ScanLogPart::Head },
        { "disk number 26",
          [](ScanLogData& d) {
              d.device.source = ScanLogSource::Disk;
              d.device.diskNumber = 26;
          },
          ScanLogPart::Head },
        { "volume disk 26", [](ScanLogData& d) { d.volume.diskNumber = 26; }, ScanLogPart::Device },
        { "exFAT volume", [](ScanLogData& d) { d.volume.fsName = L"exFAT"; }, ScanLogPart::Device },
        { "unknown type", [](ScanLogData& d) { d.params.partitionType = L"Unknown"; }, ScanLogPart::Device },
        { "empty range", [](ScanLogData& d) { d.volume.endSector = d.volume.startSector; }, ScanLogPart::Device },
        { "3 sectors a cluster", [](ScanLogData& d) { d.geometry.sectorsPerCluster = 3; }, ScanLogPart::Device },
        { "256 sectors a cluster", [](ScanLogData& d) { d.params.sectorsPerCluster = 256; }, ScanLogPart::Device },
    };
    // A control character in a disk's description: damage, never a disk that was moved. The
    // description a save writes never holds one, whatever the disk's model.
    for (const wchar_t* control : { L"\x01", L"\t", L"\r", L"\n", L"\x1F" }) {
        ScanLogData d = Sample(kScanLogModeBasic, L"NTFS", ScanLogSource::Disk);
        d.device.diskDescription = CString(L"ST500") + control + L"||465.8 GB||976773168||1";
        ScanLogData read;
        const ScanLogResult r = Load(Save(d), read);
        EXPECT_EQ(r.status, ScanLogStatus::Invalid) << int(control[0]);
        EXPECT_EQ(r.complete, ScanLogPart::Head) << int(control[0]);
        d.device.diskDescription = DiskDescription(CString(L"ST500") + control, L"465.8 GB", 976773168, L"1");
        EXPECT_EQ(Load(Save(d), read).status, ScanLogStatus::Ok) << int(control[0]);
        EXPECT_EQ(read.device.diskDescription, L"ST500 ||465.8 GB||976773168||1");
    }
    for (const Case& c : cases) {
        ScanLogData d = Sample(kScanLogModeBasic, L"FAT32", ScanLogSource::Drive);
        c.spoil(d);
        ScanLogData read;
        const ScanLogResult r = Load(Save(d), read);
        EXPECT_EQ(r.status, ScanLogStatus::Invalid) << c.what;
        EXPECT_EQ(r.complete, c.complete) << c.what;
    }

    // An unknown tag is refused too, and a geometry a scan left unfound (0) is accepted.
    Bytes bytes = Save(Sample(kScanLogModeBasic, L"FAT32", ScanLogSource::Drive));
    HandBytes log;
    log.Str(u"LOG");
    auto at = std::search(bytes.begin(), bytes.end(), log.b.begin(), log.b.end());
    ASSERT_NE(at, bytes.end());
    at[4] = 'X';
    ScanLogData read;
    EXPECT_EQ(Load(bytes, read).status, ScanLogStatus::Invalid);
    ScanLogData unfound = Sample(kScanLogModeDeep, L"FAT32", ScanLogSource::Disk);
    unfound.geometry.sectorsPerCluster = unfound.params.sectorsPerCluster = 0;
    EXPECT_EQ(Load(Save(unfound), read).status, ScanLogStatus::Ok);

    // Whatever a save chooses for a selection, the reader takes it back.
    for (uint32_t mode : { kScanLogModeBasic, kScanLogModeDeep })
        for (const wchar_t* kind : { L"Logical", L"Recognised", L"Hard Disk", L"part", L"Physical Drives" })
            for (bool physical : { false, true }) {
                ScanLogData d = Sample(mode, L"NTFS", ScanLogSourceFor(mode, kind, physical));
                d.header.kind = kind;
                EXPECT_EQ(Load(Save(d), read).status, ScanLogStatus::Ok) << mode << " " << physical;
            }
    EXPECT_EQ(ScanLogSourceFor(kScanLogModeBasic, L"Logical", true), ScanLogSource::Disk);
}

// A drive block names its drive as the drive list does; any other path is damage, which the
// medium check would otherwise take for a drive under another letter or for a missing one.
TEST(ScanLogRefusals, ADrivePathNoDriveHasIsInvalid)
{
    ScanLogData d = Sample(kScanLogModeBasic, L"NTFS", ScanLogSource::Drive);
    ScanLogData read;
    for (const wchar_t* path : { L"\\\\.\\A:", L"\\\\.\\Z:" }) {
        d.device.drivePath = path;
        EXPECT_EQ(Load(Save(d), read).status, ScanLogStatus::Ok);
    }
    for (const wchar_t* path : { L"\\\\,\\Y:", L"\\\\.]Y:", L"\\\\.\\y:", L"\\\\.\\Y;", L"\\\\.\\Y:\\", L"Y:",
                                 L"\\\\.\\\x0419:", L"\\\\.\\PhysicalDrive1", L"" }) {
        d.device.drivePath = path;
        const ScanLogResult r = Load(Save(d), read);
        EXPECT_EQ(r.status, ScanLogStatus::Invalid) << ToUtf8(path);
        EXPECT_EQ(r.complete, ScanLogPart::Head) << ToUtf8(path);
    }
}

// Every prefix of a log is a cut log: reported Damaged with what was read whole kept (the
// sections before the cut, and whole folders and rows of the section being read), never more.
TEST(ScanLogDamage, ACutAtEveryByteKeepsOnlyWhatWasReadWhole)
{
    for (const ScanLogData& original : Samples()) {
        const Bytes bytes = Save(original);
        const bool endsWithTree = original.params.partitionType != L"NTFS";
        for (size_t n = 0; n < bytes.size(); ++n) {
            ScanLogData read;
            const ScanLogResult r = Load(Bytes(bytes.begin(), bytes.begin() + n), read);
            // A FAT log cut just before its final CR LF holds all of its tree, but no save ends
            // a line without them: it is refused too.
            if (endsWithTree && n == bytes.size() - 4)
                EXPECT_EQ(read.tree.size(), original.tree.size());
            ASSERT_EQ(r.status, ScanLogStatus::Damaged) << n;
            ASSERT_NE(r.complete, ScanLogPart::Tables) << n;
            ASSERT_LE(read.tree.size(), original.tree.size()) << n;
            for (size_t i = 0; i < read.tree.size(); ++i)
                ASSERT_EQ(read.tree[i].folder.name, original.tree[i].hasFolder ? original.tree[i].folder.name : L"");
            ASSERT_LE(read.ntfsRows.size(), original.ntfsRows.size()) << n;
            ASSERT_LE(read.fatVolumes.size(), original.fatVolumes.size()) << n;
            if (!read.ntfsRows.empty())
                ASSERT_EQ(read.ntfsRows.back(), original.ntfsRows[read.ntfsRows.size() - 1]) << n;
            if (r.complete >= ScanLogPart::Tree)
                ASSERT_EQ(read.tree.size(), original.tree.size()) << n;
        }
    }
}

TEST(ScanLogDamage, CountsThatTheFileCannotHoldAreRefusedBeforeAllocating)
{
#ifdef ZR_WATCH_ALLOCATIONS
    ASSERT_NE(alloc_watch::hooks, 0);
#endif
    const Bytes fat = Save(Sample(kScanLogModeDeep, L"FAT32", ScanLogSource::Disk));
    const Bytes ntfs = Save(Sample(kScanLogModeDeep, L"NTFS", ScanLogSource::Disk));
    HandBytes fatType, endLine;
    fatType.Str(u"FAT16"); // the parameters' type, which the FAT volume count follows
    endLine.Line(u"ZembrolixWIN7SR2013/:*?\"<>|");
    auto after = [](const Bytes& log, const Bytes& what) {
        return size_t(std::search(log.begin(), log.end(), what.begin(), what.end()) - log.begin()) + what.size();
    };
    struct Case {
        const Bytes& log;
        size_t at;
        int size;
        uint8_t count; // the count written there
        uint64_t claim;
        ScanLogPart complete;
    } cases[] = {
        { fat, after(fat, fatType.b), 8, 2, uint64_t(1) << 40, ScanLogPart::Volume },
        { ntfs, after(ntfs, endLine.b), 8, 3, UINT64_MAX, ScanLogPart::Tree },
        { ntfs, ntfs.size() - 6 * 12 - 4, 4, 1, 0xFFFFFFFF, ScanLogPart::Tree }, // before one row of 4-letter texts
    };
    for (const Case& c : cases) {
        Bytes bytes = c.log;
        ASSERT_EQ(bytes[c.at], c.count);
        for (int i = 0; i < c.size; ++i)
            bytes[c.at + i] = uint8_t(c.claim >> (8 * i));
        ScanLogData read;
        ScanLogResult r;
        EXPECT_LT(alloc_watch::Largest([&] { r = Load(bytes, read); }), 64u * 1024);
        EXPECT_EQ(r.status, ScanLogStatus::Damaged);
        EXPECT_EQ(r.complete, c.complete);
        // Not one row of the refused count is read; the rows before it stay.
        EXPECT_TRUE(read.fatVolumes.empty() && read.recognisedRows.empty());
        EXPECT_EQ(read.ntfsRows.size(), c.size == 4 ? 3u : 0u);
    }
}

// The results tree as the loaders build it from a log: where each item goes and its label.
std::vector<std::pair<int64_t, CString>> Placed(const std::vector<ScanLogTreeItem>& items)
{
    std::vector<std::pair<int64_t, CString>> out;
    for (const auto& item : items)
        out.emplace_back(item.parent, item.hasFolder ? item.folder.name : CString(L"Root"));
    return out;
}

// Logs as a save writes them (every folder with its record) with 8 bytes written over them at
// every offset: as zeros, as FF, as text, as line ends, and as bytes taken from elsewhere in the
// same log (lengths, names and records that fit the format). Numbers inside a record cannot be
// told from their neighbours without a change of format; but a log that loads must place the
// same folders under the same names, or be refused.
TEST(ScanLogDamage, OverwrittenLogsAreRefusedOrGiveTheSameTree)
{
    for (ScanLogData original : Samples()) {
        original.tree[4].hasFolder = true;
        original.tree[4].folder = Folder(L"2013", 42, 41);
        original.tree.push_back(Item(1, L"PICS", 60, RootId(original)));
        const Bytes bytes = Save(original);
        ScanLogData clean;
        ASSERT_EQ(Load(bytes, clean).status, ScanLogStatus::Ok);
        const auto expected = Placed(clean.tree);
        auto units = [](const std::u16string& s) {
            Bytes b;
            for (char16_t c : s)
                b.insert(b.end(), { uint8_t(c), uint8_t(c >> 8) });
            return b;
        };
        const Bytes fixed[] = { Bytes(8, 0), Bytes(8, 0xFF), units(u"PI\t\t"), units(u"\r\n\r\n") };
        int loadedOk = 0;
        for (size_t at = 0; at < bytes.size(); ++at) {
            const size_t n = std::min<size_t>(8, bytes.size() - at);
            std::vector<Bytes> over(std::begin(fixed), std::end(fixed));
            for (size_t from : { at + 2, at + 4, at - 2 })
                if (from < bytes.size() - 8)
                    over.emplace_back(bytes.begin() + from, bytes.begin() + from + 8);
            for (const Bytes& with : over) {
                Bytes damaged = bytes;
                std::copy(with.begin(), with.begin() + n, damaged.begin() + at);
                if (damaged == bytes)
                    continue;
                ScanLogData read;
                if (Load(damaged, read).status != ScanLogStatus::Ok)
                    continue;
                ++loadedOk;
                ASSERT_EQ(Placed(read.tree), expected)
                    << "mode " << original.header.mode << " " << original.volume.fsName.GetString() << " at " << at;
            }
        }
        // Most of a log is numbers and table texts that no check can tell: the test did load some.
        EXPECT_GT(loadedOk, 0);

        // Nothing follows the last table of a save: bytes after it, or a count of NTFS rows
        // written over with a smaller one, are damage too.
        Bytes longer = bytes;
        longer.insert(longer.end(), { 0x0D, 0, 0x0A, 0 });
        ScanLogData read;
        EXPECT_EQ(Load(longer, read).status, ScanLogStatus::Damaged);
        if (!original.ntfsRows.empty()) {
            HandBytes endLine;
            endLine.Line(u"ZembrolixWIN7SR2013/:*?\"<>|");
            Bytes fewer = bytes;
            auto count = std::search(fewer.begin(), fewer.end(), endLine.b.begin(), endLine.b.end()) + endLine.b.size();
            *count -= 1;
            EXPECT_EQ(Load(fewer, read).status, ScanLogStatus::Damaged);
        }
    }
}

// A tree no results tree is: a folder under an item other than its record's parent, or one
// placed twice. The log is damaged there, as if cut: the folders before stay, nothing after.
// Under the catch-all folder anything may hang; under a top item, the volume's root folders
// and folders whose parent was not found.
TEST(ScanLogDamage, TreesNoResultsTreeIsAreDamageWhereTheyGoWrong)
{
    constexpr uint32_t kNone = 0x0FFFFFFF;
    const uint64_t kOtherVolume = 0x9000000009;
    struct Case {
        const char* what;
        // Items put after the sample's tree (Root, KXR_Miscellaneous, Documents 40 > Letters 41 >
        // (no record), Photos 50); `root` is the log's root id, `other` the other kind's.
        std::function<std::vector<ScanLogTreeItem>(uint32_t root, uint32_t other, uint64_t c0)> items;
        // The index of the first item that breaks the tree (the sample has 6 items), or -1.
        int brokenAt;
        int brokenAtInBasic; // the same in a Basic log, whose folders carry no cluster-0 start
        bool underCatchAll = false; // the items go right after the catch-all folder instead
    } cases[] = {
        { "top folders of the root and of no parent",
          [](uint32_t root, uint32_t, uint64_t c0) {
              return std::vector<ScanLogTreeItem>{ Item(1, L"A", 60, root, c0), Item(1, L"B", 61, kNone, c0) };
          },
          -1, -1 },
        { "anything under the catch-all",
          [](uint32_t, uint32_t other, uint64_t c0) {
              return std::vector<ScanLogTreeItem>{ Item(2, L"orphan", 60, 77, c0), Item(3, L"child", 62, 60, c0),
                                                   Item(2, L"rooted", 61, other, c0) };
          },
          -1, -1, true },
        { "the same folder on another volume",
          [](uint32_t root, uint32_t, uint64_t) {
              return std::vector<ScanLogTreeItem>{ Item(1, L"Documents", 40, root, kOtherVolume) };
          },
          -1, 6 },
        { "a top folder whose parent is a folder",
          [](uint32_t, uint32_t, uint64_t c0) {
              return std::vector<ScanLogTreeItem>{ Item(1, L"A", 60, kNone, c0), Item(1, L"B", 61, 40, c0) };
          },
          7, 7 },
        { "a top folder under the other file system's root",
          [](uint32_t, uint32_t other, uint64_t c0) {
              return std::vector<ScanLogTreeItem>{ Item(1, L"A", 60, other, c0) };
          },
          6, 6 },
        { "a folder under another folder than its parent",
          [](uint32_t root, uint32_t, uint64_t c0) {
              return std::vector<ScanLogTreeItem>{ Item(1, L"A", 60, root, c0), Item(2, L"B", 61, 50, c0) };
          },
          7, 7 },
        { "a line moved up a level",
          [](uint32_t root, uint32_t, uint64_t c0) {
              return std::vector<ScanLogTreeItem>{ Item(1, L"A", 60, root, c0), Item(2, L"B", 61, 60, c0),
                                                   Item(2, L"C", 62, 61, c0) };
          },
          8, 8 },
        { "a folder placed twice",
          [](uint32_t root, uint32_t, uint64_t c0) {
              return std::vector<ScanLogTreeItem>{ Item(1, L"Photos", 50, root, c0) };
          },
          6, 6 },
        { "a folder placed again under another",
          [](uint32_t, uint32_t, uint64_t c0) {
              return std::vector<ScanLogTreeItem>{ Item(1, L"KXR_Miscellaneous", kNone, kNone, c0),
                                                   Item(2, L"Letters", 41, 40, c0 + 1) };
          },
          6, 6 },
        { "a folder named as the catch-all is not it",
          [](uint32_t root, uint32_t, uint64_t c0) {
              return std::vector<ScanLogTreeItem>{ Item(1, L"KXR_Miscellaneous", 60, root, c0),
                                                   Item(2, L"A", 61, 77, c0) };
          },
          7, 7 },
    };
    for (const ScanLogData& sample : Samples()) {
        const bool deep = sample.header.mode == kScanLogModeDeep;
        const uint32_t root = RootId(sample);
        const uint64_t c0 = sample.tree[2].folder.cluster0Start;
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.what << ", mode " << sample.header.mode << " "
                                            << sample.params.partitionType.GetString());
            ScanLogData d = sample;
            const std::vector<ScanLogTreeItem> items = c.items(root, root == 5 ? 0 : 5, c0);
            d.tree.insert(c.underCatchAll ? d.tree.begin() + 2 : d.tree.end(), items.begin(), items.end());
            ScanLogData read;
            const ScanLogResult r = Load(Save(d), read);
            const int brokenAt = deep ? c.brokenAt : c.brokenAtInBasic;
            if (brokenAt < 0) {
                EXPECT_EQ(r.status, ScanLogStatus::Ok);
                EXPECT_EQ(read.tree.size(), d.tree.size());
                continue;
            }
            EXPECT_EQ(r.status, ScanLogStatus::Damaged);
            EXPECT_EQ(r.complete, ScanLogPart::FatVolumes);
            EXPECT_EQ(read.tree.size(), size_t(brokenAt));
            EXPECT_TRUE(read.ntfsRows.empty() && read.recognisedRows.empty());
        }
    }
}

// Every tree the results-tree builder makes, from folders of every shape (orphans, loops, a
// parent on another volume, folders found twice, leftovers), written into a log, reads back
// whole and the same: the reader's idea of a results tree is the builder's.
TEST(ScanLogTree, EveryTreeTheBuilderMakesReadsBack)
{
    std::mt19937 random(35);
    for (int round = 0; round < 300; ++round) {
        const bool deep = round % 2 == 1, ntfs = round % 4 >= 2;
        const FsKind kind = ntfs ? FsKind::Ntfs : FsKind::Fat32;
        const uint32_t root = ntfs ? 5 : 0;
        FoundStore store;
        // Basic Search reads one volume; Deep Search may find several.
        const int volumes = deep ? 1 + int(random() % 3) : 1;
        if (round % 5 != 4) // and a scan may end without a catch-all row
            AddFoundRow(store, kind, L"KXR_Miscellaneous", kMissingParentId, root, 1000);
        const int rows = int(random() % 40);
        for (int i = 0; i < rows; ++i) {
            const uint64_t c0 = 1000 + 1000 * (random() % volumes);
            const uint64_t self = 6 + random() % 30;
            const uint64_t parent = random() % 4 == 0 ? root : 6 + random() % 34;
            AddFoundRow(store, kind, L"", self, parent, c0, true, random() % 2 == 0);
        }
        MarkOrphans(store);
        RecordingSink sink;
        BuildResultTree(store, sink);

        ScanLogData d = Sample(deep ? kScanLogModeDeep : kScanLogModeBasic, ntfs ? L"NTFS" : L"FAT32",
                               ScanLogSource::Disk);
        d.tree.resize(1);
        std::vector<const FolderNode*> order;
        std::function<void(TreeItemHandle, uint32_t)> walk = [&](TreeItemHandle parent, uint32_t depth) {
            for (const FolderNode* node = sink.folders.FolderNodeList.head; node; node = node->next) {
                // Leftovers without a catch-all folder go under the "Root" item (null).
                const TreeItemHandle above = sink.parentOf[node->item];
                if ((above != nullptr ? above : RecordingSink::kRoot) != parent)
                    continue;
                ScanLogTreeItem item = Item(depth, node->name, node->ownId, node->parentId, deep ? node->cluster0Start : 0);
                d.tree.push_back(item);
                walk(node->item, depth + 1);
            }
        };
        walk(RecordingSink::kRoot, 1);
        ScanLogData read;
        const ScanLogResult r = Load(Save(d), read);
        ASSERT_EQ(r.status, ScanLogStatus::Ok) << round << " " << r.errorText.GetString();
        ASSERT_EQ(read.tree.size(), d.tree.size()) << round;
    }
}

TEST(ScanLogDamage, RandomlyMutatedLogsEndInAStatusWithinBoundedMemory)
{
    std::mt19937 rng(14);
    const std::vector<ScanLogData> samples = Samples();
    for (int round = 0; round < 1000; ++round) {
        Bytes bytes = Save(samples[round % samples.size()]);
        const int edits = 1 + int(rng() % 8);
        for (int e = 0; e < edits; ++e) {
            const size_t at = rng() % bytes.size();
            switch (rng() % 4) {
            case 0:
                bytes[at] = uint8_t(rng());
                break;
            case 1:
                bytes[at] = 0xFF; // lengths and counts at their largest
                break;
            case 2:
                bytes.erase(bytes.begin() + at);
                break;
            default:
                bytes.insert(bytes.begin() + at, uint8_t(rng() % 2 ? 9 : 10)); // TAB or LF
            }
        }
        ScanLogData read;
        ScanLogResult r;
        const size_t largest = alloc_watch::Largest([&] { r = Load(bytes, read); });
        ASSERT_LE(largest, 64 * bytes.size() + 64 * 1024) << round; // follows the data, never a count
        ASSERT_EQ(r.status == ScanLogStatus::Ok, r.complete == ScanLogPart::Tables) << round;
        for (size_t i = 0; i < read.tree.size(); ++i)
            ASSERT_LT(read.tree[i].parent, int64_t(i)) << round;
    }
}

} // namespace
