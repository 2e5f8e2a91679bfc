// The results of a search through a scan log and back: the store's tables, the tree, and where
// the logged medium is attached now.
#include <gtest/gtest.h>

#include <random>

#include "fsrecovery/pure/scan_log_results.h"
#include "scan_log_samples.h"
#include "storage/pure/fs_names.h"
#include "storage/pure/ntfs_record.h"
#include "tests/pure/ntfs_test_records.h"
#include "tests/pure/storage_test_util.h"

namespace {

using namespace scan_log_test;

ScanLogData Load(const Bytes& bytes, ScanLogResult* result = nullptr)
{
    CMemFile f(bytes.data(), bytes.size());
    CArchive ar(&f, CArchive::load);
    ScanLogData data;
    const ScanLogResult r = ReadScanLog(ar, 0, data);
    if (result != nullptr)
        *result = r;
    return data;
}

// A tree sink that records where each item went.
struct RecordingSink : ScanLogTreeSink {
    struct Placed {
        int parent; // index into `placed`, -1 for a top item, -2 for "under the first Root"
        CString name;
    };
    std::vector<Placed> placed;
    size_t failAt = SIZE_MAX;
    TreeItemHandle Handle(size_t index) { return TreeItemHandle(index + 1); }
    TreeItemHandle InsertTop() override { return Add(-1, L"Root"); }
    TreeItemHandle Insert(TreeItemHandle parent, const ScanLogFolder& folder) override
    {
        return Add(parent ? int(size_t(parent) - 1) : -2, folder.name);
    }
    TreeItemHandle Add(int parent, const CString& name)
    {
        if (placed.size() == failAt)
            return nullptr;
        placed.push_back({ parent, name });
        return Handle(placed.size() - 1);
    }
};

TEST(ScanLogResults, StoreTablesComeBackFromTheLog)
{
    FoundStore store;
    FoundVolume volume;
    volume.kind = FsKind::Ntfs;
    store.AddVolume(volume);
    NtfsFileRow named;
    named.parent = 0x100000005ull; // above 32 bits: the key cell keeps only the low half
    named.sector = 0x123456789ull;
    named.size = 5000000000ull;
    named.fileTime = 0x01D9A0B0C0D0E0F0ull;
    named.flags = NtfsFileRow::kNamed | NtfsFileRow::kSized | NtfsFileRow::kStamped;
    store.AddNtfsFile(named, u"r\u00e9sum\u00e9 \U0001F600.txt");
    NtfsFileRow unread; // found by the scan, its record not read yet
    unread.parent = 5;
    unread.sector = 4096;
    store.AddNtfsFile(unread, u"");
    NtfsFileRow empty = named;
    empty.size = 0;
    store.AddNtfsFile(empty, u"zero");
    FatVolumeRow fat{ 63, 245, 8, 32, 2, 32, 0x200000000ull, 95, 340, 0x300000000ull, FsKind::Fat32, 0x300000001ull };
    store.fatVolumes.push_back(fat);
    store.recognisedPartitions.push_back({ L"Log|\\\\.\\E:|", L"Recognised1", 63, 1000, 2000, 3000 });

    ScanLogData data = Sample(kScanLogModeDeep, L"NTFS", ScanLogSource::Disk);
    data.fatVolumes.clear();
    data.ntfsRows.clear();
    data.recognisedRows.clear();
    AddStoreTablesToLog(store, data);
    ScanLogData read = Load(Save(data));

    FoundStore back;
    AddScanLogToStore(read, L"\\\\.\\PhysicalDrive1", back);
    EXPECT_TRUE(read.ntfsRows.empty()); // released as they were taken
    ASSERT_EQ(store.NtfsFileCount(), back.NtfsFileCount());
    for (size_t i = 0; i < store.NtfsFileCount(); ++i) {
        const NtfsFileRow &a = store.NtfsFile(i), &b = back.NtfsFile(i);
        EXPECT_EQ(a.parent, b.parent) << i;
        EXPECT_EQ(a.sector, b.sector) << i;
        EXPECT_EQ(a.flags, b.flags) << i;
        EXPECT_EQ(a.flags & NtfsFileRow::kSized ? a.size : 0, b.size) << i;
        EXPECT_EQ(a.flags & NtfsFileRow::kStamped ? a.fileTime : 0, b.fileTime) << i;
        EXPECT_EQ(store.NtfsFileName(i), back.NtfsFileName(i)) << i;
    }
    // The listing finds the files by their full parent.
    const auto files = back.NtfsFilesOf(0, 0x100000005ull);
    EXPECT_EQ(2, files.second - files.first);
    // An NTFS selection's log has no place for FAT volumes.
    EXPECT_TRUE(back.fatVolumes.empty());
    ASSERT_EQ(1u, back.recognisedPartitions.size());
    EXPECT_EQ(RecognisedPartitionCells(store.recognisedPartitions[0]),
              RecognisedPartitionCells(back.recognisedPartitions[0]));
}

TEST(ScanLogResults, EachLoggedVolumeIsReadFromTheMediumFoundForIt)
{
    // Basic, and a Deep log of an NTFS range: one volume, the selection's, with its parameters.
    for (const ScanLogData& sample : { Sample(kScanLogModeBasic, L"FAT32", ScanLogSource::Drive),
                                       Sample(kScanLogModeDeep, L"NTFS", ScanLogSource::Drive) }) {
        ScanLogData data = Load(Save(sample));
        FoundStore store;
        AddScanLogToStore(data, L"\\\\.\\F:", store);
        ASSERT_EQ(1u, store.VolumeCount());
        const FoundVolume& v = store.Volume(0);
        EXPECT_EQ(CString(L"\\\\.\\F:"), v.devicePath);
        EXPECT_EQ(FsKindFromName(sample.params.partitionType), v.kind);
        EXPECT_EQ(sample.volume.startSector, v.firstSector);
        EXPECT_EQ(sample.volume.endSector, v.endSector);
        EXPECT_EQ(sample.params.sectorsPerCluster, v.params.sectorsPerCluster);
        EXPECT_EQ(sample.params.cluster0Start, v.params.cluster0Start);
        // Folders of a log without cluster-0 starts belong to it.
        EXPECT_EQ(0u, store.VolumeOfCluster0(0));
    }
    // A Deep FAT log: one volume per FAT volume row, each found by its folders' cluster-0 start.
    ScanLogData deep = Sample(kScanLogModeDeep, L"FAT32", ScanLogSource::Disk);
    deep.fatVolumes.clear();
    for (uint64_t c0 : { 2000ull, 0x900000000ull }) {
        FatVolumeRow row{ c0 - 100, 200, 4, 0, 2, 32, c0, c0 - 90, c0 - 50, c0 + 100000, FsKind::Fat32, c0 + 100001 };
        std::vector<CString> cells = FatVolumeCells(row);
        ScanLogFatVolumeRow text;
        std::copy(cells.begin(), cells.end(), text.begin());
        deep.fatVolumes.push_back(text);
    }
    ScanLogData read = Load(Save(deep));
    FoundStore store;
    AddScanLogToStore(read, L"\\\\.\\PhysicalDrive4", store);
    ASSERT_EQ(2u, store.VolumeCount());
    ASSERT_EQ(2u, store.fatVolumes.size());
    EXPECT_EQ(deep.fatVolumes[1][6], FatVolumeCells(store.fatVolumes[1])[6]);
    EXPECT_EQ(std::vector<CString>(deep.fatVolumes[0].begin(), deep.fatVolumes[0].end()),
              FatVolumeCells(store.fatVolumes[0]));
    EXPECT_EQ(1u, store.VolumeOfCluster0(0x900000000ull));
    EXPECT_EQ(4u, store.Volume(1).params.sectorsPerCluster);
    EXPECT_EQ(CString(L"\\\\.\\PhysicalDrive4"), store.Volume(1).devicePath);
    EXPECT_EQ(FoundStore::kNoVolume, store.VolumeOfCluster0(12345));
}

TEST(ScanLogResults, TreeItemsGoUnderTheParentsTheirLinesGive)
{
    // Labels come from the records; a line three levels deeper than the one before is its
    // child; a shallower one goes back up; a top-level line is another "Root".
    std::vector<ScanLogTreeItem> items = { Item(0, L"Root"),      Item(1, L"A", 10, 5), Item(4, L"deep", 11, 10),
                                           Item(2, L"B", 12, 10), Item(1, L"C", 13, 5), Item(0, L"Root") };
    items[1].text = L"line text, not the label";
    items.push_back(Item(1, L"D", 14, 5));
    LinkScanLogTree(items);
    RecordingSink sink;
    ASSERT_EQ(items.size(), RebuildScanLogTree(items, sink));
    const std::vector<std::pair<int, CString>> expected = { { -1, L"Root" }, { 0, L"A" }, { 1, L"deep" },
                                                            { 1, L"B" },     { 0, L"C" }, { -1, L"Root" },
                                                            { 5, L"D" } };
    ASSERT_EQ(expected.size(), sink.placed.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(expected[i].first, sink.placed[i].parent) << i;
        EXPECT_EQ(expected[i].second, sink.placed[i].name) << i;
    }
    // An item the tree cannot make ends the rebuild: nothing is put under a wrong parent.
    RecordingSink failing;
    failing.failAt = 3;
    EXPECT_EQ(3u, RebuildScanLogTree(items, failing));
    EXPECT_EQ(3u, failing.placed.size());
}

TEST(ScanLogResults, TheLoggedDriveIsFoundByPathAndSizeOrOfferedBySize)
{
    ScanLogDevice drive;
    drive.source = ScanLogSource::Drive;
    drive.drivePath = L"\\\\.\\E:";
    drive.driveSectors = 131072;
    CStringArray keys, disks;
    keys.Add(L"\\\\.\\C:|999");
    keys.Add(L"no bar at all");
    keys.Add(L"\\\\.\\F:| 131072 ");
    keys.Add(L"\\\\.\\G:|131072");
    // Not there: the first drive of the logged size, with the letters for the question.
    LoggedMedium m = FindLoggedMedium(drive, keys, disks);
    EXPECT_EQ(LoggedMedium::Found::Other, m.found);
    EXPECT_EQ(CString(L"\\\\.\\F:"), m.devicePath);
    EXPECT_EQ(CString(L"E:"), m.loggedName);
    EXPECT_EQ(CString(L"F:"), m.foundName);
    EXPECT_GE(MediumReplacedQuestion(drive, m).Find(L"Drive letter 'E:'"), 0);
    // There: read where it was.
    keys.Add(L"\\\\.\\E:|131072");
    m = FindLoggedMedium(drive, keys, disks);
    EXPECT_EQ(LoggedMedium::Found::Same, m.found);
    EXPECT_EQ(CString(L"\\\\.\\E:"), m.devicePath);
    // Nothing of its size: missing, and no path to read.
    drive.driveSectors = 5;
    m = FindLoggedMedium(drive, keys, disks);
    EXPECT_EQ(LoggedMedium::Found::Missing, m.found);
    EXPECT_TRUE(m.devicePath.IsEmpty());
}

TEST(ScanLogResults, TheLoggedDiskIsFoundByItsDescriptionAndANumberThatExists)
{
    ScanLogDevice disk;
    disk.source = ScanLogSource::Disk;
    disk.diskDescription = L"  ST500||465.8 GB||976773168||1 ";
    disk.diskNumber = 1;
    CStringArray keys, disks;
    disks.Add(L"Other||1 GB||2097152||0");
    disks.Add(L"ST500||465.8 GB||976773168||x");  // not a number: never offered
    disks.Add(L"ST500||465.8 GB||976773168||26"); // past the disks there can be
    disks.Add(L"ST500||465.8 GB||976773168||2");
    LoggedMedium m = FindLoggedMedium(disk, keys, disks);
    EXPECT_EQ(LoggedMedium::Found::Other, m.found);
    EXPECT_EQ(2, m.diskNumber);
    EXPECT_EQ(CString(L"\\\\.\\PhysicalDrive2"), m.devicePath);
    EXPECT_EQ(CString(L"1"), m.loggedName);
    EXPECT_EQ(CString(L"2"), m.foundName);
    EXPECT_GE(MediumReplacedQuestion(disk, m).Find(L"Disk number '1'"), 0);
    disks.Add(L"ST500||465.8 GB||976773168||1");
    m = FindLoggedMedium(disk, keys, disks);
    EXPECT_EQ(LoggedMedium::Found::Same, m.found);
    EXPECT_EQ(1, m.diskNumber);
    // The same description whose number cannot be a disk is not taken for it either.
    CStringArray bad;
    bad.Add(L"ST500||465.8 GB||976773168||99");
    disk.diskDescription = L"ST500||465.8 GB||976773168||99";
    EXPECT_EQ(LoggedMedium::Found::Missing, FindLoggedMedium(disk, keys, bad).found);
}

// Damaged logs through everything a load does with them: read, medium, store and tree. Only
// whole folders are inserted, each under an item made before it.
TEST(ScanLogResults, DamagedLogsRebuildOnlyWhatWasReadWhole)
{
    std::mt19937 random(1401);
    CStringArray keys, disks;
    keys.Add(L"\\\\.\\E:|976773168");
    disks.Add(L"ST500||465.8 GB||976773168||1");
    const std::vector<ScanLogData> samples = Samples();
    for (int round = 0; round < 1000; ++round) {
        Bytes bytes = Save(samples[size_t(round) % samples.size()]);
        for (int f = 1 + int(random() % 6); f > 0; --f)
            bytes[random() % bytes.size()] = uint8_t(random());
        if (random() % 3 == 0)
            bytes.resize(random() % bytes.size());
        ScanLogResult result;
        ScanLogData data = Load(bytes, &result);
        if (result.complete < ScanLogPart::Device)
            continue;
        const LoggedMedium medium = FindLoggedMedium(data.device, keys, disks);
        if (medium.found != LoggedMedium::Found::Missing) {
            EXPECT_TRUE(medium.devicePath == L"\\\\.\\E:" || medium.devicePath == L"\\\\.\\PhysicalDrive1") << round;
        }
        if (result.complete < ScanLogPart::Volume)
            continue;
        FoundStore store;
        AddScanLogToStore(data, medium.devicePath, store);
        EXPECT_GE(store.VolumeCount(), 1u);
        RecordingSink sink;
        EXPECT_EQ(data.tree.size(), RebuildScanLogTree(data.tree, sink)) << round;
        for (size_t i = 0; i < sink.placed.size(); ++i)
            EXPECT_LT(sink.placed[i].parent, int(i)) << round;
    }
}

// A Deep NTFS log of a disk with several volumes keeps one volume's geometry: loading works each
// volume out again from its system files' records on the medium and puts every row on the
// volume its record lies in; nothing readable keeps the logged volume for every row.
TEST(ScanLogResults, DeepNtfsRowsGoBackToTheVolumesTheirRecordsShow)
{
    storage_test::CraftedDisk disk(20000);
    // $MFT (record 0) and $MFTMirr (record 1) at both the $MFT's and the mirror's start.
    auto put = [&](uint64_t sector, uint32_t number, const std::u16string& name, const std::vector<uint8_t>& run) {
        ntfs_test::RecordBuilder b(1);
        ntfs_test::Put32(&b.rec[0x1C], 1024);
        ntfs_test::Put32(&b.rec[0x2C], number);
        b.Resident(kAttrFileName, ntfs_test::FileNameValue(5, 77, kNameSpaceWin32AndDos, name));
        b.NonResident(kAttrData, run, 0, 16384);
        const std::vector<uint8_t> raw = b.Finish();
        std::memcpy(disk.At(sector).data(), raw.data(), kSectorSize);
        std::memcpy(disk.At(sector + 1).data(), raw.data() + kSectorSize, kSectorSize);
    };
    struct Vol {
        uint64_t cluster0;
        uint32_t spc;
        uint16_t mft, mirror;
    };
    const Vol vols[] = { { 1000, 1, 64, 4000 }, { 9000, 8, 8, 500 } };
    FoundStore scanned;
    scanned.AddVolume(FoundVolume());
    auto row = [&](uint64_t sector, uint64_t parent, const std::u16string& name) {
        NtfsFileRow r;
        r.parent = parent;
        r.sector = sector;
        r.flags = NtfsFileRow::kNamed;
        scanned.AddNtfsFile(r, name);
    };
    for (const Vol& v : vols) {
        const std::vector<uint8_t> mftRun = { 0x21, 0x10, uint8_t(v.mft), uint8_t(v.mft >> 8) };
        const std::vector<uint8_t> mirrorRun = { 0x21, 0x01, uint8_t(v.mirror), uint8_t(v.mirror >> 8) };
        for (uint64_t at : { v.cluster0 + uint64_t(v.mft) * v.spc, v.cluster0 + uint64_t(v.mirror) * v.spc }) {
            put(at, 0, u"$MFT", mftRun);
            put(at + 2, 1, u"$MFTMirr", mirrorRun);
            row(at, 5, u"$MFT");
            row(at + 2, 5, u"$MFTMirr");
        }
        row(v.cluster0 + uint64_t(v.mft) * v.spc + 80, 5, u"a.txt");
    }
    row(100, 5, u"before.txt"); // in no volume
    row(19990, 5, u"$MFT");     // its record reaches past the medium's end
    row(1064, 40, u"$MFT");     // not in the root
    ScanLogData data = Sample(kScanLogModeDeep, L"NTFS", ScanLogSource::Disk);
    data.ntfsRows.clear();
    data.fatVolumes.clear();
    data.volume.startSector = data.volume.startSectorCopy = 0;
    data.volume.endSector = data.volume.sizeSectors = 20000;
    data.params.cluster0Start = 0;
    data.params.sectorsPerCluster = 4;
    AddStoreTablesToLog(scanned, data);

    const NtfsGeometryMap map = InferLoggedNtfsVolumes(data, disk);
    EXPECT_EQ(9, disk.reads); // the rows of the root named as system files, nothing else
    ASSERT_EQ(2u, map.volumes.size());
    FoundStore store;
    AddScanLogToStore(data, L"\\\\.\\PhysicalDrive14", store, &map);
    ASSERT_EQ(3u, store.VolumeCount());
    for (uint32_t k = 0; k < 2; ++k) {
        EXPECT_EQ(vols[k].cluster0, store.Volume(k).params.cluster0Start);
        EXPECT_EQ(vols[k].spc, store.Volume(k).params.sectorsPerCluster);
        EXPECT_EQ(k, store.VolumeOfCluster0(vols[k].cluster0));
    }
    // The rows of no volume keep the logged geometry, over the logged range.
    EXPECT_EQ(0u, store.Volume(2).params.cluster0Start);
    EXPECT_EQ(4u, store.Volume(2).params.sectorsPerCluster);
    EXPECT_EQ(20000u, store.Volume(2).endSector);
    ASSERT_EQ(scanned.NtfsFileCount(), store.NtfsFileCount());
    for (size_t i = 0; i < store.NtfsFileCount(); ++i) {
        const uint64_t sector = store.NtfsFile(i).sector;
        const uint32_t want = sector < 1000 ? 2 : sector < 9000 ? 0 : 1;
        EXPECT_EQ(want, store.NtfsFile(i).volume) << sector;
    }

    // Nothing readable: today's one volume, the logged geometry.
    ScanLogData again = Sample(kScanLogModeDeep, L"NTFS", ScanLogSource::Disk);
    again.ntfsRows.clear();
    AddStoreTablesToLog(scanned, again);
    storage_test::CraftedDisk blank(20000);
    const NtfsGeometryMap none = InferLoggedNtfsVolumes(again, blank);
    EXPECT_TRUE(none.volumes.empty());
    FoundStore one;
    AddScanLogToStore(again, L"\\\\.\\PhysicalDrive14", one, &none);
    ASSERT_EQ(1u, one.VolumeCount());
    EXPECT_EQ(again.params.cluster0Start, one.Volume(0).params.cluster0Start);
    EXPECT_EQ(0u, one.NtfsFile(0).volume);
}

} // namespace

namespace {

FoundVolume VolumeWithGeometry(const wchar_t* device, uint64_t cluster0, uint32_t spc, const wchar_t* fs)
{
    FoundVolume v;
    v.kind = FsKindFromName(fs);
    v.devicePath = device;
    v.params.cluster0Start = cluster0;
    v.params.sectorsPerCluster = spc;
    v.params.partitionType = fs;
    return v;
}

ScanRequest RequestFor(uint16_t disk, uint64_t first, uint64_t end, uint32_t spc, const wchar_t* fs)
{
    ScanSelection selection = storage_test::PartitionSelection(disk, first, end, fs);
    ScanRequest request = BuildScanRequest(selection, ScanSource{}, L"Basic Search");
    request.target.geometry.cluster0Start = first;
    request.target.geometry.sectorsPerCluster = spc;
    return request;
}

ScanLogData Logged(uint32_t mode, const ScanRequest& request, const FoundStore& store)
{
    ScanLogData data;
    data.header.mode = mode;
    AddRequestToLog(request, store, data);
    return data;
}

} // namespace

// A log is written from the request its results were made for: a second scan's log carries the
// second volume's selection and geometry, never the first's.
TEST(ScanLogResults, ALogCarriesTheSelectionAndGeometryOfItsOwnRequest)
{
    const ScanRequest first = RequestFor(1, 2048, 206848, 8, L"FAT32");
    const ScanRequest second = RequestFor(2, 63, 40000, 4, L"FAT16");
    FoundStore firstStore, secondStore;
    firstStore.AddVolume(VolumeWithGeometry(L"\\\\.\\PhysicalDrive1", 2048, 8, L"FAT32"));
    secondStore.AddVolume(VolumeWithGeometry(L"\\\\.\\PhysicalDrive2", 63, 4, L"FAT16"));
    (void)Logged(kScanLogModeBasic, first, firstStore);
    const ScanLogData data = Logged(kScanLogModeBasic, second, secondStore);
    EXPECT_EQ(CString(L"part"), data.header.kind);
    EXPECT_EQ(ScanLogSource::Disk, data.device.source);
    EXPECT_EQ(CString(L"\\\\.\\PhysicalDrive2"), data.device.drivePath);
    EXPECT_EQ(40000u, data.device.driveSectors);
    EXPECT_EQ(2, data.device.diskNumber);
    EXPECT_EQ(63u, data.volume.startSector);
    EXPECT_EQ(CString(L"FAT16"), data.volume.fsName);
    EXPECT_EQ(4u, data.geometry.sectorsPerCluster);
    EXPECT_EQ(63u, data.geometry.cluster0Start);
    EXPECT_EQ(4u, data.params.sectorsPerCluster);
    EXPECT_EQ(CString(L"FAT16"), data.params.partitionType);
}

// Basic keeps the geometry its check found, Deep its first volume's; with no volume found the
// log keeps the selected file system and the device the request read.
TEST(ScanLogResults, TheLoggedGeometryComesFromTheScanOrTheStoreByMode)
{
    ScanRequest request = RequestFor(0, 0, 409600, 8, L"FAT32");
    FoundStore store;
    store.AddVolume(VolumeWithGeometry(L"\\\\.\\PhysicalDrive0", 5000, 16, L"FAT32"));
    store.AddVolume(VolumeWithGeometry(L"\\\\.\\PhysicalDrive0", 90000, 32, L"FAT32"));
    EXPECT_EQ(8u, Logged(kScanLogModeBasic, request, store).geometry.sectorsPerCluster);
    const ScanLogData deep = Logged(kScanLogModeDeep, request, store);
    EXPECT_EQ(16u, deep.geometry.sectorsPerCluster);
    EXPECT_EQ(5000u, deep.geometry.cluster0Start);
    EXPECT_EQ(16u, deep.params.sectorsPerCluster);

    const FoundStore empty;
    for (uint32_t mode : { kScanLogModeBasic, kScanLogModeDeep }) {
        const ScanLogData none = Logged(mode, request, empty);
        EXPECT_EQ(CString(L"\\\\.\\PhysicalDrive0"), none.device.drivePath);
        EXPECT_EQ(CString(L"FAT32"), none.params.partitionType);
        EXPECT_EQ(0u, none.params.sectorsPerCluster);
        EXPECT_EQ(8u, none.geometry.sectorsPerCluster);
    }

    // A drive letter is logged as a drive when read as one, as a disk when read through it.
    request.itemKind = L"Logical";
    EXPECT_EQ(ScanLogSource::Drive, Logged(kScanLogModeBasic, request, store).device.source);
    request.ScanAsPhysicalDisk = true;
    EXPECT_EQ(ScanLogSource::Disk, Logged(kScanLogModeBasic, request, store).device.source);
}

// The request a loaded log stands for writes the log's own selection again.
TEST(ScanLogResults, ALoadedLogsRequestWritesItsSelectionAgain)
{
    ScanLogData loaded;
    loaded.header.mode = kScanLogModeBasic;
    loaded.header.kind = L"Logical";
    loaded.header.diskIdentity = L"Model";
    loaded.device.source = ScanLogSource::Disk; // a drive letter read through its disk
    loaded.device.diskNumber = 4;
    loaded.device.diskDescription = L"Model||1 GB||2097152||4";
    loaded.volume.fsName = L"NTFS";
    loaded.volume.startSector = 2048;
    loaded.volume.endSector = loaded.volume.sizeSectors = 411648;
    loaded.geometry.sectorsPerCluster = 8;
    loaded.params.sectorsPerCluster = 16; // differs from the geometry: each is kept as it was
    loaded.params.partitionType = L"NTFS";
    // The disk is found under another number now.
    LoggedMedium medium;
    medium.devicePath = L"\\\\.\\PhysicalDrive6";
    medium.diskNumber = 6;
    medium.description = L"Model||1 GB||2097152||6";
    const ScanRequest request = RequestOfLog(loaded, medium);
    EXPECT_TRUE(request.ScanAsPhysicalDisk);
    ScanLogData again = Logged(kScanLogModeBasic, request, FoundStore());
    EXPECT_EQ(CString(L"Model"), again.header.diskIdentity);
    EXPECT_EQ(medium.description, again.device.diskDescription);
    EXPECT_EQ(CString(L"Logical"), again.header.kind);
    EXPECT_EQ(ScanLogSource::Disk, again.device.source);
    EXPECT_EQ(CString(L"\\\\.\\PhysicalDrive6"), again.device.drivePath);
    EXPECT_EQ(6, again.device.diskNumber);
    EXPECT_EQ(411648u, again.device.driveSectors);
    EXPECT_EQ(2048u, again.volume.startSector);
    EXPECT_EQ(8u, again.geometry.sectorsPerCluster);
    EXPECT_EQ(16u, again.params.sectorsPerCluster);

    // A drive's log keeps its own disk texts and number.
    loaded.device.source = ScanLogSource::Drive;
    medium.devicePath = L"\\\\.\\Q:";
    again = Logged(kScanLogModeBasic, RequestOfLog(loaded, medium), FoundStore());
    EXPECT_EQ(4, again.device.diskNumber);
    EXPECT_EQ(loaded.device.diskDescription, again.device.diskDescription);
    EXPECT_EQ(CString(L"\\\\.\\Q:"), again.device.drivePath);
}

// ---- Reading the rows as a load does ----

ScanLogResult LoadToShow(const Bytes& bytes, ScanLogData& data)
{
    CMemFile f(bytes.data(), bytes.size());
    CArchive ar(&f, CArchive::load);
    return ReadScanLogToLoad(ar, 0, data);
}

// The NTFS files of a scan as its log rows: named, sized and stamped files, a record not read
// yet, an empty file and a parent past 32 bits.
void AddLoggedFiles(FoundStore& store)
{
    FoundVolume volume;
    volume.kind = FsKind::Ntfs;
    store.AddVolume(volume);
    auto add = [&](uint64_t parent, uint64_t sector, const char16_t* name, uint64_t size, uint32_t flags) {
        NtfsFileRow row;
        row.parent = parent;
        row.sector = sector;
        row.size = size;
        row.fileTime = 0x01D9A0B0C0D0E0F0ull + sector;
        row.flags = flags;
        store.AddNtfsFile(row, name);
    };
    const uint32_t all = NtfsFileRow::kNamed | NtfsFileRow::kSized | NtfsFileRow::kStamped;
    add(5, 38, u"$MFT", 262144, all);
    add(5, 40, u"a.txt", 66, all);
    add(64, 4096, u"", 0, 0);
    add(64, 4098, u"empty", 0, all);
    add(0x100000005ull, 0x123456789ull, u"r\u00e9sum\u00e9.doc", 5000000000ull, all);
}

// A log of `store`'s tables.
ScanLogData LogOf(const FoundStore& store, uint32_t mode, const wchar_t* fs = L"NTFS")
{
    ScanLogData data = Sample(mode, fs, ScanLogSource::Drive);
    data.ntfsRows.clear();
    data.fatVolumes.clear();
    data.recognisedRows.clear();
    AddStoreTablesToLog(store, data);
    return data;
}

// Rows that no save writes (a letter or a sign in a number, a number out of its range, a field
// too many or too few, parents that disagree) are damage: the rows before them stay, they and
// all after them go, as at a cut.
TEST(ScanLogRows, RowsNoSaveWritesAreDamageThatEndsTheLogThere)
{
    FoundStore files;
    AddLoggedFiles(files);
    files.recognisedPartitions.push_back({ L"Log|\\\\.\\E:|", L"Recognised1", 63, 1000, 2000, 3000 });
    const ScanLogData deep = LogOf(files, kScanLogModeDeep);
    ScanLogData read;
    ASSERT_EQ(ScanLogStatus::Ok, LoadToShow(Save(deep), read).status);
    ASSERT_EQ(5u, read.ntfsRows.size());
    ASSERT_EQ(1u, read.recognisedRows.size());

    const struct {
        size_t cell;
        const wchar_t* text;
    } spoilt[] = {
        { 2, L"6>" },      { 0, L"5|3\x0438|" },
        { 2, L"+66" },     { 2, L" 66" },
        { 2, L"066" },     { 2, L"18446744073709551616" },
        { 3, L"1e5" },     { 0, L"4294967301|40|" }, // the parent's low 32 bits only are kept there
        { 0, L"5|40|1|" }, { 0, L"5|40" },
        { 0, L"5||" },     { 0, L"|40|" },
        { 0, L"" },        { 5, L"6" }, // the key says 5
        { 5, L"" },        { 4, L"1" }, // the time cell stays empty
    };
    for (const auto& s : spoilt) {
        SCOPED_TRACE(testing::Message() << s.cell << " " << ToUtf8(s.text));
        ScanLogData d = deep;
        d.ntfsRows[1][s.cell] = s.text;
        const ScanLogResult r = LoadToShow(Save(d), read);
        EXPECT_EQ(ScanLogStatus::Damaged, r.status);
        EXPECT_EQ(ScanLogPart::Tree, r.complete);
        EXPECT_FALSE(r.errorText.IsEmpty());
        EXPECT_EQ(deep.tree.size(), read.tree.size());
        ASSERT_EQ(1u, read.ntfsRows.size());
        EXPECT_EQ(deep.ntfsRows[0], read.ntfsRows[0]);
        EXPECT_TRUE(read.recognisedRows.empty());
    }

    // The recognised partitions and the FAT volumes of a Deep log are held to their numbers too.
    ScanLogData d = deep;
    d.recognisedRows[0][3] = L"1000x";
    ScanLogResult r = LoadToShow(Save(d), read);
    EXPECT_EQ(ScanLogStatus::Damaged, r.status);
    EXPECT_EQ(5u, read.ntfsRows.size());
    EXPECT_TRUE(read.recognisedRows.empty());
    FoundStore volumes;
    for (uint64_t c0 : { 2000ull, 0x900000000ull })
        volumes.fatVolumes.push_back(
            { c0 - 100, 200, 4, 0, 2, 32, c0, c0 - 90, c0 - 50, c0 + 100000, FsKind::Fat32, c0 + 1 });
    const ScanLogData fat = LogOf(volumes, kScanLogModeDeep, L"FAT32");
    ASSERT_EQ(ScanLogStatus::Ok, LoadToShow(Save(fat), read).status);
    for (const auto& [cell, text] :
         { std::pair<size_t, const wchar_t*>{ 2, L"4x" }, { 1, L"4294967296" }, { 10, L"FAT12" }, { 3, L"" } }) {
        d = fat;
        d.fatVolumes[1][cell] = text;
        r = LoadToShow(Save(d), read);
        EXPECT_EQ(ScanLogStatus::Damaged, r.status) << cell;
        EXPECT_EQ(ScanLogPart::Volume, r.complete) << cell;
        EXPECT_EQ(1u, read.fatVolumes.size()) << cell;
        EXPECT_TRUE(read.tree.empty()) << cell;
    }
}

// FAT volume rows as the design leaves them, a boot sector's without its "End Sector" and an
// inferred volume's with no more than its "Sector" 0, cluster size, cluster 0 and type, are read
// with the log's tree, their empty cells as 0; an empty cell anywhere else is damage.
TEST(ScanLogRows, FatVolumeRowsMayLeaveEmptyWhatTheirKindDoesNotKnow)
{
    const ScanLogFatVolumeRow boot = { L"63",   L"245", L"8",   L"0",      L"2",     L"32",
                                       L"5000", L"95",  L"340", L"409600", L"FAT32", L"" };
    const ScanLogFatVolumeRow inferred = { L"0", L"", L"8", L"", L"", L"", L"7000", L"", L"", L"", L"FAT32", L"" };
    auto with = [](ScanLogFatVolumeRow row, size_t cell, const wchar_t* text) {
        row[cell] = text;
        return row;
    };
    const struct {
        std::vector<ScanLogFatVolumeRow> rows;
        bool read;
    } cases[] = {
        { { boot }, true },
        { { inferred }, true },
        { { boot, inferred, with(boot, 11, L"409663") }, true },
        { { with(inferred, 4, L"2") }, true },
        { { with(boot, 3, L"") }, false },
        { { with(boot, 9, L"") }, false },
        { { with(inferred, 0, L"") }, false },
        { { with(inferred, 2, L"") }, false },
        { { with(inferred, 6, L"") }, false },
        { { with(inferred, 10, L"") }, false },
        { { boot, with(with(boot, 0, L"1"), 1, L"") }, false },
    };
    FoundStore none;
    for (size_t i = 0; i < std::size(cases); ++i) {
        ScanLogData d = LogOf(none, kScanLogModeDeep, L"FAT32");
        d.fatVolumes = cases[i].rows;
        ScanLogData read;
        const ScanLogResult r = LoadToShow(Save(d), read);
        EXPECT_EQ(cases[i].read ? ScanLogStatus::Ok : ScanLogStatus::Damaged, r.status) << i;
        EXPECT_EQ(cases[i].read ? d.tree.size() : 0u, read.tree.size()) << i;
        if (!cases[i].read)
            continue;
        ASSERT_EQ(d.fatVolumes.size(), read.fatVolumes.size()) << i;
        for (size_t k = 0; k < read.fatVolumes.size(); ++k) {
            // Each cell as a save of the row writes it: an empty one as 0.
            const std::vector<CString> written = FatVolumeCells(FatVolumeRowOfCells(read.fatVolumes[k]));
            for (size_t c = 0; c < written.size(); ++c)
                EXPECT_EQ(d.fatVolumes[k][c].IsEmpty() ? CString(L"0") : d.fatVolumes[k][c], written[c])
                    << i << " " << c;
        }
    }
}

// A Basic NTFS log with each byte of its file rows made a non-digit, or each bit of it flipped,
// is refused or gives the same files. A digit turned into another digit, or a letter of a name
// changed, leaves a well-formed log and cannot be told; everything else is.
TEST(ScanLogRows, EveryByteOfTheFileRowsChangedIsRefusedOrReadTheSame)
{
    FoundStore files;
    AddLoggedFiles(files);
    const ScanLogData basic = LogOf(files, kScanLogModeBasic);
    const Bytes bytes = Save(basic);
    // The rows lie between their count after the end line and the closing 32-bit word.
    Bytes endLine;
    for (char16_t c : std::u16string(u"ZembrolixWIN7SR2013/:*?\"<>|\r\n"))
        endLine.insert(endLine.end(), { uint8_t(c), uint8_t(c >> 8) });
    const size_t first =
        size_t(std::search(bytes.begin(), bytes.end(), endLine.begin(), endLine.end()) - bytes.begin()) +
        endLine.size() + 8;
    ASSERT_LT(first, bytes.size());
    auto isDigit = [](uint8_t b) { return b >= '0' && b <= '9'; };
    int refused = 0, readOk = 0;
    for (size_t at = first; at < bytes.size() - 4; ++at) {
        std::vector<uint8_t> values = { '>', 0x04 };
        for (int bit = 0; bit < 8; ++bit)
            if (!(isDigit(bytes[at]) && isDigit(uint8_t(bytes[at] ^ (1 << bit)))))
                values.push_back(uint8_t(bytes[at] ^ (1 << bit)));
        for (uint8_t value : values) {
            if (value == bytes[at])
                continue;
            Bytes damaged = bytes;
            damaged[at] = value;
            ScanLogData read;
            if (LoadToShow(damaged, read).status != ScanLogStatus::Ok) {
                ++refused;
                continue;
            }
            ++readOk;
            FoundStore back;
            AddScanLogToStore(read, L"\\\\.\\E:", back);
            ASSERT_EQ(files.NtfsFileCount(), back.NtfsFileCount()) << at;
            int renamed = 0;
            for (size_t i = 0; i < files.NtfsFileCount(); ++i) {
                const NtfsFileRow &a = files.NtfsFile(i), &b = back.NtfsFile(i);
                ASSERT_TRUE(a.parent == b.parent && a.sector == b.sector && a.flags == b.flags &&
                            (a.flags & NtfsFileRow::kSized ? a.size : 0) == b.size &&
                            (a.flags & NtfsFileRow::kStamped ? a.fileTime : 0) == b.fileTime)
                    << "byte " << at << " made " << int(value) << ", row " << i;
                renamed += files.NtfsFileName(i) != back.NtfsFileName(i);
            }
            ASSERT_LE(renamed, 1) << at;
        }
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(readOk, 0); // the names' letters
}
