// The checks of the carving searches before a scan: sector fields, a drive letter's range on its
// disk, the destination folder; and the folder names the texts promise.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "app/pure/sector_fields.h"
#include "sigrecovery/pure/carve_search.h"
#include "storage/pure/destination_check.h"

namespace {

const uint64_t kMax = UINT64_MAX;

TEST(CarveSectorFields, EachSearchRefusesWhatItsDriveStepRefuses)
{
    const uint64_t photo = DescribeCarveSearch(CarveSearchKind::Photo).minSectorSpan;
    const uint64_t signature = DescribeCarveSearch(CarveSearchKind::Signature).minSectorSpan;
    EXPECT_EQ(DescribeCarveSearch(CarveSearchKind::Video).minSectorSpan, signature);
    const struct {
        const wchar_t *start, *end;
        uint64_t span;
        SectorFieldsCheck expect;
    } cases[] = {
        { L"0", L"1", photo, SectorFieldsCheck::EndNotAfterStart },
        { L"0", L"2", photo, SectorFieldsCheck::Ok },
        { L"0", L"1", signature, SectorFieldsCheck::Ok },
        { L"100", L"100", signature, SectorFieldsCheck::EndNotAfterStart },
        { L"  ", L"50", signature, SectorFieldsCheck::StartMissing },
        { L" 7 ", L"   ", signature, SectorFieldsCheck::EndNotAfterStart },
        { L"0", L"0", signature, SectorFieldsCheck::EndNotAfterStart },
        { L"0", L"-5", signature, SectorFieldsCheck::EndNotAfterStart }, // not a huge end sector
        { L"abc", L"9", signature, SectorFieldsCheck::Ok },              // not a number: sector 0
        // At the top of the sector numbers nothing wraps into an accepted range.
        { L"18446744073709551615", L"18446744073709551615", signature, SectorFieldsCheck::EndNotAfterStart },
        { L"18446744073709551614", L"18446744073709551615", photo, SectorFieldsCheck::EndNotAfterStart },
        { L"5", L"99999999999999999999999", photo, SectorFieldsCheck::Ok },
    };
    for (const auto& c : cases) {
        const SectorFields f = CheckSectorFields(c.start, c.end, c.span);
        EXPECT_EQ(f.check, c.expect) << ToUtf8(c.start) << " / " << ToUtf8(c.end) << " span " << c.span;
        EXPECT_EQ(SectorFieldsRefusalText(f.check).IsEmpty(), f.check == SectorFieldsCheck::Ok);
    }
    const SectorFields big = CheckSectorFields(L" 4294967296 ", L"7814037167", photo);
    EXPECT_EQ(big.start, 4294967296u);
    EXPECT_EQ(big.end, 7814037167u);
    EXPECT_FALSE(IsScanRange(10, 10));
}

TEST(CarveVolumeRange, FieldsMapOntoTheVolumesSectorsAndNeverPastThemOrTheDisk)
{
    const VolumeOnDisk volume{ 2048, 2048 + 999999, 2048 + 999999 + 1 };
    const struct {
        VolumeRangeFields fields;
        VolumeOnDisk on;
        bool ok;
        uint64_t start, end;
    } cases[] = {
        // Start = Min and End = Max: the whole volume.
        { { 0, 999999, 0, 999999 }, volume, true, 2048, 1002047 },
        { { 0, 999999, 10, 500 }, volume, true, 2058, 2548 },
        // Fields outside their bounds are taken at the bounds: no wrap below Min, nothing past Max.
        { { 100, 999999, 5, kMax }, volume, true, 2048, 1002047 },
        // The volume said to reach past its disk: cut at the disk's last sector.
        { { 0, 999999, 0, 999999 }, { 2048, 2048 + 999999, 500000 }, true, 2048, 499999 },
        // Bounds wider than the volume (facts that disagree): only what lies in the volume.
        { { 0, kMax, kMax - 10, kMax }, volume, false, 0, 0 },
        { { 0, kMax, 0, 0 }, volume, false, 0, 0 },
        // The volume's start beyond the disk's end.
        { { 0, 99, 0, 99 }, { 5000, 5099, 4000 }, false, 0, 0 },
        // Min and Max swapped are still bounds.
        { { 999999, 0, 10, 20 }, volume, true, 2058, 2068 },
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        uint64_t start = 1, end = 1;
        EXPECT_EQ(MapVolumeRangeToDisk(cases[i].fields, cases[i].on, &start, &end), cases[i].ok) << i;
        if (cases[i].ok) {
            EXPECT_EQ(start, cases[i].start) << i;
            EXPECT_EQ(end, cases[i].end) << i;
        } else {
            EXPECT_EQ(start, 1u) << i; // nothing set
        }
    }
}

// A usable folder with the facts the system gives for a folder of a drive letter: the drive's
// root, the volume's name (one per letter here) and where it lies (on no disk, unless a test
// says so).
DestinationFacts Usable(const wchar_t* folder)
{
    DestinationFacts d;
    d.folder = folder;
    d.isFolder = d.writable = true;
    const CString path = folder;
    const int at = path.Left(4) == L"\\\\?\\" ? 4 : 0;
    if (path.GetLength() > at + 1 && path[at + 1] == L':') {
        const CString letter = CString(path[at]).MakeUpper();
        d.volumeRoot = letter + L":\\";
        d.volumeName = L"\\\\?\\Volume{" + letter + L"}\\";
        d.extentsKnown = true;
    }
    return d;
}

ScannedMedium Scanning(const wchar_t* device, uint64_t first = 0, uint64_t end = 1000000)
{
    ScannedMedium m;
    m.devicePath = device;
    m.firstSector = first;
    m.endSector = end;
    return m;
}

TEST(CarveDestination, MustBeAWritableFolderAwayFromWhatIsRead)
{
    const ScannedMedium drive6 = Scanning(L"\\\\.\\PhysicalDrive6", 0, 999);
    const ScannedMedium letterM = Scanning(L"\\\\.\\M:");
    EXPECT_EQ(CheckDestination(Usable(L"  "), drive6), DestinationCheck::Empty);
    EXPECT_EQ(CheckDestination(Usable(L"out\\found"), drive6), DestinationCheck::NotAFolderPath);
    EXPECT_EQ(CheckDestination(Usable(L"\\\\.\\PhysicalDrive0"), drive6), DestinationCheck::NotAFolderPath);
    DestinationFacts missing = Usable(L"C:\\out");
    missing.isFolder = false;
    EXPECT_EQ(CheckDestination(missing, drive6), DestinationCheck::Missing);
    DestinationFacts readOnly = Usable(L"C:\\out");
    readOnly.writable = false;
    EXPECT_EQ(CheckDestination(readOnly, drive6), DestinationCheck::NotWritable);

    // The scanned drive letter itself, however the folder is written.
    for (const wchar_t* folder : { L"M:\\out", L"m:\\", L"\\\\?\\M:\\deep\\folder" })
        EXPECT_EQ(CheckDestination(Usable(folder), letterM), DestinationCheck::OnScannedMedium) << ToUtf8(folder);
    EXPECT_EQ(CheckDestination(Usable(L"C:\\out"), letterM), DestinationCheck::Ok);

    // A volume on the scanned disk: refused where it overlaps the sectors read.
    const struct {
        DiskExtent extent;
        DestinationCheck expect;
    } disks[] = {
        { { 6, 2048, 100000 }, DestinationCheck::Ok },             // after the range
        { { 6, 900, 100000 }, DestinationCheck::OnScannedMedium }, // begins inside it
        { { 6, 0, 1 }, DestinationCheck::OnScannedMedium },        // its first sector only
        { { 5, 0, 100000 }, DestinationCheck::Ok },                // another disk
        { { 6, 500, 0 }, DestinationCheck::Ok },                   // an empty extent is nothing
        { { 6, kMax - 5, kMax }, DestinationCheck::Ok },           // no wrap at the top
    };
    for (const auto& d : disks) {
        DestinationFacts facts = Usable(L"D:\\out");
        facts.volumeExtents = { { 1, 0, 5000 }, d.extent };
        EXPECT_EQ(CheckDestination(facts, drive6), d.expect) << d.extent.disk << " " << d.extent.firstSector;
    }
    // A scanned volume whose place on its disk is known: another letter for the same sectors.
    ScannedMedium volume = letterM;
    volume.volumeExtents = { { 6, 2048, 131072 } };
    DestinationFacts sameSectors = Usable(L"N:\\out");
    sameSectors.volumeExtents = { { 6, 100000, 10 } };
    EXPECT_EQ(CheckDestination(sameSectors, volume), DestinationCheck::OnScannedMedium);
    sameSectors.volumeExtents = { { 6, 200000, 10 } };
    EXPECT_EQ(CheckDestination(sameSectors, volume), DestinationCheck::Ok);

    for (DestinationCheck c : { DestinationCheck::Empty, DestinationCheck::NotAFolderPath, DestinationCheck::Missing,
                                DestinationCheck::NotWritable, DestinationCheck::OnScannedMedium })
        EXPECT_FALSE(DestinationRefusalText(c).IsEmpty());
}

// A folder is tried for writing (a file made in it) only after every other rule let it through:
// on the scanned medium even a file made and deleted at once takes a deleted file's place.
TEST(CarveDestination, ARefusedFolderIsNeverProbedAndBothEndsOfTheRangeAreRead)
{
    int probes = 0;
    bool writable = true;
    const auto probe = [&] {
        ++probes;
        return writable;
    };
    const std::vector<ScannedMedium> letterM = { Scanning(L"\\\\.\\M:") };
    DestinationFacts missing = Usable(L"C:\\out");
    missing.isFolder = false;
    for (const DestinationFacts& refused : { Usable(L"M:\\found"), Usable(L""), Usable(L"out"), missing })
        EXPECT_NE(CheckDestinationInOrder(refused, letterM, probe), DestinationCheck::Ok) << ToUtf8(refused.folder);
    EXPECT_EQ(probes, 0);
    EXPECT_EQ(CheckDestinationInOrder(Usable(L"C:\\out"), letterM, probe), DestinationCheck::Ok);
    writable = false;
    EXPECT_EQ(CheckDestinationInOrder(Usable(L"C:\\out"), letterM, probe), DestinationCheck::NotWritable);
    EXPECT_EQ(probes, 2);
    // Each of several media refuses on its own.
    const std::vector<ScannedMedium> two = { Scanning(L"\\\\.\\PhysicalDrive2", 0, 99), letterM[0] };
    EXPECT_EQ(CheckDestinationPlace(Usable(L"m:\\"), two), DestinationCheck::OnScannedMedium);

    // A scan of sectors 0 up to 2048 reads sector 2047: a volume beginning there is on the medium.
    const ScannedMedium range = ScannedRange(L"\\\\.\\PhysicalDrive6", 0, 2048);
    EXPECT_EQ(range.endSector, 2048u);
    for (const auto& [first, expect] : { std::pair{ uint64_t(2047), DestinationCheck::OnScannedMedium },
                                         std::pair{ uint64_t(2048), DestinationCheck::Ok } }) {
        DestinationFacts facts = Usable(L"E:\\out");
        facts.volumeExtents = { { 6, first, 4096 } };
        EXPECT_EQ(CheckDestination(facts, range), expect) << first;
    }
    // A volume that ends at the range's first sector is on it too; a range given backwards is one sector.
    DestinationFacts before = Usable(L"E:\\out");
    before.volumeExtents = { { 6, 0, 1 } };
    EXPECT_EQ(CheckDestination(before, ScannedRange(L"\\\\.\\PhysicalDrive6", 0, 0)),
              DestinationCheck::OnScannedMedium);
    EXPECT_EQ(ScannedRange(L"x", 10, 5).endSector, 11u);
}

// A folder under a mount point, as the system describes it: its root is the mount point and the
// volume's name and sectors are those of the volume mounted there, not of the drive that holds
// the mount point.
TEST(CarveDestination, AFolderUnderAMountPointBelongsToTheVolumeMountedThere)
{
    DestinationFacts card = Usable(L"C:\\mnt\\card\\out");
    card.volumeRoot = L"C:\\mnt\\card\\";
    card.volumeName = L"\\\\?\\Volume{card}\\";
    card.volumeExtents = { { 6, 2048, 131072 } };
    ScannedMedium letterM = Scanning(L"\\\\.\\M:"); // the same card under a letter of its own
    letterM.volumeName = L"\\\\?\\Volume{CARD}\\";
    EXPECT_EQ(CheckDestination(card, letterM), DestinationCheck::OnScannedMedium);
    letterM.volumeName.Empty();
    letterM.volumeExtents = card.volumeExtents;
    EXPECT_EQ(CheckDestination(card, letterM), DestinationCheck::OnScannedMedium);
    EXPECT_EQ(CheckDestination(card, Scanning(L"\\\\.\\PhysicalDrive6", 4000, 5000)),
              DestinationCheck::OnScannedMedium);

    ScannedMedium letterC = Scanning(L"\\\\.\\C:");
    letterC.volumeName = L"\\\\?\\Volume{C}\\";
    letterC.volumeExtents = { { 0, 2048, 1000000 } };
    EXPECT_EQ(CheckDestination(card, letterC), DestinationCheck::Ok);
    EXPECT_EQ(CheckDestination(card, Scanning(L"\\\\.\\PhysicalDrive0")), DestinationCheck::Ok);
    // A root given with "\\?\" is a drive's root all the same.
    DestinationFacts prefixed = Usable(L"\\\\?\\M:\\found");
    prefixed.volumeRoot = L"\\\\?\\M:\\";
    EXPECT_EQ(CheckDestination(prefixed, Scanning(L"\\\\.\\M:")), DestinationCheck::OnScannedMedium);
}

// While a disk or a volume is read, a folder whose volume the system does not tell apart from it
// may lie on it: refused, and never tried for writing. For a disk, where the volume lies must be
// known; for a volume, that or its name. A folder on another machine lies on neither, known or
// not. A missing folder is told so first.
TEST(CarveDestination, AFolderOfAnUnknownVolumeIsRefusedWhileADiskOrVolumeIsRead)
{
    int probes = 0;
    const auto probe = [&probes] {
        ++probes;
        return true;
    };
    const ScannedMedium disk = Scanning(L"\\\\.\\PhysicalDrive6", 0, 999);
    const ScannedMedium volume = Scanning(L"\\\\.\\M:");
    const ScannedMedium image = Scanning(L"Z:\\tmp\\card.img");
    DestinationFacts share; // a share of this machine (one of its own folders): a root and nothing more
    share.folder = L"\\\\server\\share\\out";
    share.isFolder = share.writable = true;
    share.volumeRoot = L"\\\\server\\share\\";
    DestinationFacts remote = share; // a share of another machine, or a mapped network drive
    remote.remote = true;
    DestinationFacts mapped = Usable(L"K:\\out");
    mapped.volumeName.Empty();
    mapped.extentsKnown = false;
    mapped.remote = true;
    DestinationFacts letterOnly = Usable(L"K:\\out"); // a letter of a folder or an image
    letterOnly.volumeName.Empty();
    letterOnly.extentsKnown = false;
    DestinationFacts named = Usable(L"K:\\out"); // a volume the system names but does not place
    named.extentsKnown = false;
    DestinationFacts noDisk = Usable(L"K:\\out"); // placed: on no disk
    noDisk.volumeName.Empty();
    const struct {
        const DestinationFacts& facts;
        const ScannedMedium& medium;
        DestinationCheck expect;
    } cases[] = {
        { share, disk, DestinationCheck::OnScannedMedium },
        { share, volume, DestinationCheck::OnScannedMedium },
        { share, image, DestinationCheck::Ok },
        { letterOnly, disk, DestinationCheck::OnScannedMedium },
        { letterOnly, volume, DestinationCheck::OnScannedMedium },
        { letterOnly, image, DestinationCheck::Ok },
        { named, disk, DestinationCheck::OnScannedMedium },
        { named, volume, DestinationCheck::Ok },
        { noDisk, disk, DestinationCheck::Ok },
        { noDisk, volume, DestinationCheck::Ok },
        { remote, disk, DestinationCheck::Ok },
        { remote, volume, DestinationCheck::Ok },
        { remote, image, DestinationCheck::Ok },
        { mapped, disk, DestinationCheck::Ok },
        { mapped, volume, DestinationCheck::Ok },
        // The scanned letter itself stays refused, whatever the system calls it.
        { mapped, Scanning(L"\\\\.\\K:"), DestinationCheck::OnScannedMedium },
    };
    int allowed = 0;
    for (const auto& c : cases) {
        EXPECT_EQ(CheckDestinationInOrder(c.facts, { c.medium }, probe), c.expect)
            << ToUtf8(c.facts.folder) << " " << ToUtf8(c.medium.devicePath);
        allowed += c.expect == DestinationCheck::Ok;
    }
    EXPECT_EQ(probes, allowed);
    EXPECT_EQ(CheckDestinationPlace(noDisk, { image, disk, volume }), DestinationCheck::Ok);
    EXPECT_EQ(CheckDestinationPlace(named, { image, volume, disk }), DestinationCheck::OnScannedMedium);
    DestinationFacts missing = share;
    missing.isFolder = false;
    EXPECT_EQ(CheckDestination(missing, disk), DestinationCheck::Missing);
    EXPECT_EQ(CheckDestinationPlace(remote, { image, volume, disk }), DestinationCheck::Ok);
}

// A share is on another machine unless its server is this one: by name, as "localhost" or by a
// loopback address. Only UNC paths name a server.
TEST(CarveDestination, AShareIsOnAnotherMachineUnlessItsServerIsThisOne)
{
    const struct {
        const wchar_t* path;
        const wchar_t* server;
    } paths[] = {
        { L"\\\\srv\\share\\out", L"srv" },
        { L"//srv/share", L"srv" },
        { L"\\\\?\\UNC\\srv.example.org\\share\\out", L"srv.example.org" },
        { L"C:\\out", L"" },
        { L"\\\\?\\C:\\out", L"" },
        { L"\\\\.\\C:", L"" },
        { L"\\\\?\\Volume{abc}\\out", L"" },
        { L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1\\out", L"" },
        { L"\\\\\\share", L"" },
        { L"\\out", L"" },
    };
    for (const auto& p : paths)
        EXPECT_EQ(UncServerName(p.path), CString(p.server)) << ToUtf8(p.path);

    const std::vector<CString> own = { L"DESK-7", L"desk-7.home.example" };
    for (const wchar_t* server : { L"localhost", L"LocalHost", L"127.0.0.1", L"127.8.9.10", L"::1", L"desk-7",
                                   L"DESK-7.HOME.EXAMPLE" })
        EXPECT_TRUE(IsThisMachine(server, own)) << ToUtf8(server);
    for (const wchar_t* server : { L"srv", L"desk-70", L"desk", L"128.0.0.1", L"127.0.0.1.5", L"1270.0.0.1", L"",
                                   L"localhost2" })
        EXPECT_FALSE(IsThisMachine(server, own)) << ToUtf8(server);
}

// The guide line promises the folders that the found files are saved in.
TEST(CarveTexts, LocationTextNamesThePassFoldersAndSummaryKeepsLargeSectors)
{
    for (CarveSearchKind kind : { CarveSearchKind::Photo, CarveSearchKind::Signature, CarveSearchKind::Video }) {
        const CString text = CarveResultsLocationText(kind);
        for (bool thorough : { false, true }) {
            CString shown;
            for (const CString& name : CarvePassFolderNames(kind, thorough))
                shown += (shown.IsEmpty() ? CString() : CString(L" >> ")) + name;
            EXPECT_GE(text.Find(shown), 0) << ToUtf8(text) << " lacks " << ToUtf8(shown);
            CString folder, search;
            ASSERT_TRUE(CarvePassFolder(L"E:\\Saved", kind, thorough, &folder));
            // "Open Containing Folder" opens the folder that holds both passes' folders.
            ASSERT_TRUE(CarveSearchFolder(L"E:\\Saved", kind, &search));
            EXPECT_EQ(folder.Left(search.GetLength() + 1), search + L"\\");
            EXPECT_EQ(folder.Find(L'\\', search.GetLength() + 1), -1);
            CString file;
            ASSERT_TRUE(CarveFilePath(L"E:\\Saved", kind, thorough, L".jpg", L"JPG00001.JPG", &file));
            EXPECT_EQ(file.Left(folder.GetLength() + 1), folder + L"\\");
        }
    }
    const auto rows = CarveSelectionSummary(CarveSearchKind::Video, L"part", L"NTFS", 4294967296u, 7814037167u);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[2].value, L"4294967296");
    EXPECT_EQ(rows[3].value, L"7814037167");
    EXPECT_TRUE(CarveSelectionSummary(CarveSearchKind::Photo, L"Physical Drives", L"", 0, 1).empty());
}

} // namespace
