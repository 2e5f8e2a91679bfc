// The scan request Next builds from the selection: which device it reads, over which range, and
// the selection the scan log keeps.
#include <gtest/gtest.h>

#include "storage/pure/scan_target.h"
#include "tests/pure/storage_test_util.h"

using storage_test::PartitionSelection;

TEST(ScanRequest, APartitionOrADiskIsReadThroughItsDisk)
{
    ScanSelection part = PartitionSelection(2, 2048, 206848, L"FAT32");
    ScanSource source;
    source.drivePath = L"\\\\.\\X:"; // not read: a partition has its disk
    const ScanRequest request = BuildScanRequest(part, source, L"Deep Search");
    EXPECT_EQ(CString(L"\\\\.\\PhysicalDrive2"), request.target.devicePath);
    EXPECT_TRUE(request.target.volumePath.IsEmpty());
    EXPECT_EQ(2048u, request.target.firstSector);
    EXPECT_EQ(206848u, request.target.endSector);
    EXPECT_EQ(FsKind::Fat32, request.target.kind);
    EXPECT_FALSE(request.target.wholeDisk);
    EXPECT_FALSE(request.ScanAsPhysicalDisk);
    // The selection as its log keeps it: the end doubles as the size.
    const SelectedVolumeRecord& v = request.SelectedVolumeInfo;
    EXPECT_EQ(2, v.diskNumber);
    EXPECT_EQ(CString(L"FAT32"), v.fsName);
    EXPECT_EQ(CString(L"Deep Search"), v.searchModeName);
    EXPECT_EQ(2048u, v.startSector);
    EXPECT_EQ(2048u, v.startSectorCopy);
    EXPECT_EQ(206848u, v.endSector);
    EXPECT_EQ(206848u, v.sizeSectors);
    EXPECT_EQ(206848u * 512, v.sizeBytes);
    // A scan that finds no volume still logs the selected file system.
    EXPECT_EQ(CString(L"FAT32"), request.FatVolumeParams.partitionType);
    EXPECT_EQ(0u, request.FatVolumeParams.sectorsPerCluster);

    ScanSelection disk = PartitionSelection(30, 63, 1000, L"NTFS"); // a number past the table
    disk.kind = L"Hard Disk";
    const ScanRequest whole = BuildScanRequest(disk, ScanSource{}, L"Basic Search");
    EXPECT_TRUE(whole.target.wholeDisk);
    EXPECT_EQ(CString(L"\\\\.\\PhysicalDrive0"), whole.target.devicePath);
}

TEST(ScanRequest, ADriveLetterIsReadThroughItsVolumeOrItsDisk)
{
    ScanSource source;
    source.drivePath = L"\\\\.\\X:";
    source.place.SelectedItemDiskNumber = 3;
    source.place.SelectedItemVolumeStart = 2048;
    source.place.SelectedItemVolumeEnd = 411648;

    ScanSelection drive = PartitionSelection(1, 0, 409600, L"NTFS");
    drive.kind = L"Logical";
    ScanRequest request = BuildScanRequest(drive, source, L"Basic Search");
    EXPECT_EQ(CString(L"\\\\.\\X:"), request.target.devicePath);
    EXPECT_EQ(CString(L"\\\\.\\X:"), request.target.volumePath);
    EXPECT_EQ(0u, request.target.firstSector);
    EXPECT_EQ(1, request.diskNumber);

    // Through its disk: the drive's place there, on that disk, whatever disk was selected.
    drive.physical = true;
    request = BuildScanRequest(drive, source, L"Basic Search");
    EXPECT_TRUE(drive.physical);
    EXPECT_TRUE(request.ScanAsPhysicalDisk);
    EXPECT_EQ(CString(L"\\\\.\\PhysicalDrive3"), request.target.devicePath);
    EXPECT_EQ(2048u, request.target.firstSector);
    EXPECT_EQ(411648u, request.target.endSector);
    EXPECT_EQ(2048u, request.volumeStart);
    EXPECT_EQ(411648u, request.volumeEnd);
    EXPECT_EQ(3, request.diskNumber);
    EXPECT_EQ(3, request.SelectedVolumeInfo.diskNumber);
    EXPECT_EQ(2048u, request.SelectedVolumeInfo.startSector);

    // A place that is not known (or names no disk) leaves the drive on its volume path.
    for (const SelectedItemPlace place : { SelectedItemPlace{}, SelectedItemPlace{ 26, 0, 0, 100 } }) {
        source.place = place;
        drive.physical = true;
        request = BuildScanRequest(drive, source, L"Basic Search");
        EXPECT_FALSE(drive.physical);
        EXPECT_FALSE(request.ScanAsPhysicalDisk);
        EXPECT_EQ(CString(L"\\\\.\\X:"), request.target.devicePath);
        EXPECT_EQ(409600u, request.target.endSector);
    }
}

TEST(ScanRequest, TheRangeIsHeldToTheDiskItIsReadFrom)
{
    ScanSelection part = PartitionSelection(0, 100, 5000, L"FAT16");
    ScanSource source;
    source.diskSectors = 4000;
    EXPECT_EQ(4000u, BuildScanRequest(part, source, L"Basic Search").target.endSector);
    source.diskSectors = 4900; // the range fits
    EXPECT_EQ(5000u, BuildScanRequest(part, source, L"Basic Search").target.endSector);
    source.diskSectors = 0; // not held
    EXPECT_EQ(5000u, BuildScanRequest(part, source, L"Basic Search").target.endSector);
}

TEST(ScanRequest, TheDiskReadIsTheOneThatHoldsTheRange)
{
    SelectedItemPlace onDisk3{ 3, 0, 2048, 411648 };
    ScanSelection part = PartitionSelection(2, 2048, 206848, L"FAT32");
    EXPECT_EQ(2, ScanDiskOf(part, onDisk3));
    part.diskNumber = 30; // past the table: read from disk 0, as the device path says
    EXPECT_EQ(0, ScanDiskOf(part, onDisk3));
    ScanSelection drive = PartitionSelection(1, 0, 409600, L"NTFS");
    for (const wchar_t* kind : { L"Logical", L"Recognised" }) {
        drive.kind = kind;
        EXPECT_EQ(-1, ScanDiskOf(drive, onDisk3)) << kind;
    }
    drive.kind = L"Logical";
    drive.physical = true;
    EXPECT_EQ(3, ScanDiskOf(drive, onDisk3));
    EXPECT_EQ(-1, ScanDiskOf(drive, SelectedItemPlace{}));

    // Read through its disk, the drive ends where the disk does.
    ScanSource source;
    source.place = onDisk3;
    source.diskSectors = 410000;
    const ScanRequest request = BuildScanRequest(drive, source, L"Basic Search");
    EXPECT_EQ(2048u, request.target.firstSector);
    EXPECT_EQ(410000u, request.target.endSector);
}

TEST(ScanRequest, ADriveLetterReadThroughItsVolumeIsLoggedWithItsOwnSize)
{
    ScanSource source;
    source.drivePath = L"\\\\.\\P:";
    for (const wchar_t* kind : { L"Logical", L"Recognised" }) {
        ScanSelection drive = PartitionSelection(0, 100, 24576, L"NTFS");
        drive.kind = kind;
        drive.driveSectors = 49152;
        const SelectedVolumeRecord v = BuildScanRequest(drive, source, L"Deep Search").SelectedVolumeInfo;
        EXPECT_EQ(100u, v.startSector) << kind;
        EXPECT_EQ(24576u, v.endSector) << kind;
        EXPECT_EQ(49152u, v.sizeSectors) << kind;
        EXPECT_EQ(49152u * 512, v.sizeBytes) << kind;
    }
    // Read through its disk, the log finds the disk by its texts: the range's end stays the size.
    ScanSelection drive = PartitionSelection(0, 0, 49152, L"NTFS");
    drive.kind = L"Logical";
    drive.physical = true;
    drive.driveSectors = 49152;
    source.place = SelectedItemPlace{ 1, 0, 2048, 51200 };
    EXPECT_EQ(51200u, BuildScanRequest(drive, source, L"Deep Search").SelectedVolumeInfo.sizeSectors);
}

// However the disk's size and the selection's place fall, the range is never turned round: a
// partition, or a drive letter read through its disk, that begins at or past the disk's end
// leaves nothing to scan (Next refuses it); one that begins before it ends there at the latest.
TEST(ScanRequest, ARangeIsNeverInverted)
{
    for (const bool throughDisk : { false, true }) {
        for (const uint64_t start : { 0u, 4000u, 4999u, 5000u, 6000u }) {
            for (const uint64_t length : { 1u, 1000u, 6000u }) {
                for (const uint64_t diskSectors : { 0u, 5000u }) {
                    SCOPED_TRACE(testing::Message() << (throughDisk ? "drive through its disk " : "partition ") << start
                                                    << "+" << length << " on " << diskSectors);
                    ScanSelection selection = PartitionSelection(1, start, start + length, L"FAT32");
                    ScanSource source;
                    source.diskSectors = diskSectors;
                    if (throughDisk) {
                        selection = PartitionSelection(1, 0, length, L"FAT32");
                        selection.kind = L"Logical";
                        selection.physical = true;
                        source.place = SelectedItemPlace{ 1, 0, start, start + length };
                    }
                    const ScanTarget target = BuildScanRequest(selection, source, L"Basic Search").target;
                    EXPECT_LE(target.firstSector, target.endSector);
                    const bool held = diskSectors != 0 && (throughDisk || length > diskSectors);
                    if (held)
                        EXPECT_EQ(start < diskSectors, (target.endSector > target.firstSector));
                    if (held && start < diskSectors)
                        EXPECT_LE(target.endSector, diskSectors);
                }
            }
        }
    }
}
