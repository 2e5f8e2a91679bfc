// The sector reader and the partition and volume readers on the test images as Wine exposes
// them: "\\.\PhysicalDrive1" (GPT), "\\.\PhysicalDrive2" (MBR), "\\.\X:" (FAT32), "\\.\Y:"
// (NTFS), and a sparse file over 4 GiB that the test makes itself.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <vector>

#include "common/images.h"
#include "common/ui_wait.h"
#include "storage/partitions.h"
#include "storage/pure/globals.h"
#include "storage/pure/partition_table.h"
#include "storage/pure/storage_host.h"
#include "storage/sectorreader.h"

using namespace zr_test;

namespace {

const wchar_t kGptDisk[] = L"\\\\.\\PhysicalDrive1";
const wchar_t kMbrDisk[] = L"\\\\.\\PhysicalDrive2";

class StorageTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(ImagesDir().empty()) << "ZR_IMAGES is not set";
        PlatformProbe();
    }
};

std::vector<uint8_t> Sectors(const wchar_t* path, uint64_t sector, DWORD count, DWORD* result)
{
    std::vector<uint8_t> buf(size_t(count) * kSectorSize, 0xCC);
    *result = ReadSectors(path, DWORD(sector), DWORD(sector >> 32), count, buf.data());
    return buf;
}

TEST_F(StorageTest, PlatformIsNt)
{
    EXPECT_EQ(PlatformKind, 'N');
}

// What ReadSectors gives is what the image file holds, at any sector and run length.
TEST_F(StorageTest, ReadSectorsMatchesTheImages)
{
    const struct {
        const wchar_t* device;
        const wchar_t* image;
    } media[] = {{kMbrDisk, L"mbr.img"}, {kGptDisk, L"gpt.img"}, {L"\\\\.\\X:", L"fat32.img"},
                 {L"\\\\.\\Y:", L"ntfs.img"}};
    for (const auto& m : media) {
        SCOPED_TRACE(Narrow(m.device));
        ReadOnlyFile file(ImagePath(m.image));
        ASSERT_TRUE(file.IsOpen());
        const uint64_t sectors = file.Size() / kSectorSize;
        for (uint64_t sector : {uint64_t(0), uint64_t(1), uint64_t(2048), uint64_t(206848),
                                sectors / 2 + 3, sectors - 8}) {
            for (DWORD count : {1u, 8u}) {
                DWORD ok = 0;
                const std::vector<uint8_t> got = Sectors(m.device, sector, count, &ok);
                ASSERT_EQ(ok, 1u) << sector;
                EXPECT_EQ(got, file.Read(sector * kSectorSize, count * kSectorSize)) << sector;
            }
        }
    }
    DWORD ok = 0;
    std::vector<uint8_t> boot = Sectors(L"\\\\.\\X:", 0, 1, &ok);
    EXPECT_EQ(std::memcmp(&boot[0x52], "FAT32", 5), 0);
    boot = Sectors(L"\\\\.\\Y:", 0, 1, &ok);
    EXPECT_EQ(std::memcmp(&boot[3], "NTFS", 4), 0);
}

TEST_F(StorageTest, ShortReadZeroFillsAndReadPastTheEndFails)
{
    ReadOnlyFile file(ImagePath(L"mbr.img"));
    const uint64_t sectors = file.Size() / kSectorSize;
    DWORD ok = 0;
    std::vector<uint8_t> got = Sectors(kMbrDisk, sectors - 1, 4, &ok);
    ASSERT_EQ(ok, 1u);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + kSectorSize,
                           file.Read((sectors - 1) * kSectorSize, kSectorSize).begin()));
    for (size_t i = kSectorSize; i < got.size(); ++i)
        ASSERT_EQ(got[i], 0) << "byte " << i << " was not delivered but kept its old value";
    size_t delivered = ReadSectorsCounted(kMbrDisk, sectors - 1, 4, got.data());
    EXPECT_EQ(delivered, kSectorSize);

    got = Sectors(kMbrDisk, sectors, 1, &ok);
    EXPECT_EQ(ok, 0u);
    got = Sectors(kMbrDisk, uint64_t(1) << 40, 1, &ok);
    EXPECT_EQ(ok, 0u);
    got = Sectors(L"\\\\.\\PhysicalDrive9", 0, 1, &ok);
    EXPECT_EQ(ok, 0u);
    std::vector<uint8_t> one(kSectorSize);
    EXPECT_EQ(ReadSectors(kMbrDisk, uint64_t(0), 0, one.data()), 0u);
    EXPECT_EQ(ReadSectors(kMbrDisk, uint64_t(0), kMaxSectorsPerRead + 1, one.data()), 0u);

    // Before the platform probe every read fails.
    PlatformKind = 0;
    got = Sectors(kMbrDisk, 0, 1, &ok);
    EXPECT_EQ(ok, 0u);
    PlatformProbe();
}

// A sparse file of just over 4 GiB: sector 2^23 + 7 lies beyond byte offset 4 GiB, so the seek
// must carry the high half.
TEST_F(StorageTest, SectorsBeyondFourGiB)
{
    wchar_t path[MAX_PATH];
    swprintf(path, MAX_PATH, L"Z:\\tmp\\zr_storage_sparse_%lu.img", GetCurrentProcessId());
    const uint64_t high = (uint64_t(1) << 23) + 7;
    {
        // The test's own scratch file, the one thing here opened for writing.
        const HANDLE out = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(out, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        for (uint64_t sector : {uint64_t(3), high}) {
            char mark[kSectorSize] = {};
            sprintf(mark, "sector %llu", static_cast<unsigned long long>(sector));
            LARGE_INTEGER at;
            at.QuadPart = LONGLONG(sector * kSectorSize);
            ASSERT_TRUE(SetFilePointerEx(out, at, nullptr, FILE_BEGIN));
            ASSERT_TRUE(WriteFile(out, mark, kSectorSize, &written, nullptr));
        }
        CloseHandle(out);
    }
    std::vector<uint8_t> buf(kSectorSize);
    EXPECT_EQ(ReadSectors(path, DWORD(high), DWORD(high >> 32), 1, buf.data()), 1u);
    EXPECT_STREQ(reinterpret_cast<char*>(buf.data()), "sector 8388615");
    EXPECT_EQ(ReadSectors(path, uint64_t(3), 1, buf.data()), 1u);
    EXPECT_STREQ(reinterpret_cast<char*>(buf.data()), "sector 3");
    // Without the high half the same low half lands on sector 7, a hole of zeros.
    EXPECT_EQ(ReadSectors(path, uint64_t(7), 1, buf.data()), 1u);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(ReadSectors(path, high + 1, 1, buf.data()), 0u);

    {
        KeptHandleSectorSource kept(path);
        EXPECT_EQ(kept.Read(high, 1, buf.data()), kSectorSize);
        EXPECT_STREQ(reinterpret_cast<char*>(buf.data()), "sector 8388615");
    }
    const HANDLE h = OpenDeviceForReading(path);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(SetFilePointer64(h, DWORD(high << 9), DWORD((high << 9) >> 32), FILE_BEGIN), high << 9);
    // A low half of 0xFFFFFFFF is a position, not an error.
    EXPECT_EQ(SetFilePointer64(h, 0xFFFFFFFFu, 0, FILE_BEGIN), 0xFFFFFFFFull);
    CloseHandle(h);
    EXPECT_EQ(SetFilePointer64(INVALID_HANDLE_VALUE, 0, 0, FILE_BEGIN), UINT64_MAX);
    EXPECT_TRUE(DeleteFileW(path));
}

TEST_F(StorageTest, KeptHandleReadsLikeReadSectors)
{
    KeptHandleSectorSource kept(kMbrDisk);
    DeviceSectorSource each(kMbrDisk);
    ASSERT_TRUE(kept.IsOpen());
    std::vector<uint8_t> a(64 * kSectorSize), b(64 * kSectorSize);
    for (uint64_t sector : {0ull, 2048ull, 339968ull, 409536ull}) {
        EXPECT_EQ(kept.Read(sector, 64, a.data()), each.Read(sector, 64, b.data()));
        EXPECT_EQ(a, b) << sector;
    }
    KeptHandleSectorSource missing(L"\\\\.\\PhysicalDrive9");
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_EQ(missing.Read(0, 1, a.data()), 0u);
}

// The Windows 9x branch: only BIOS drives 0x80-0x83 below sector 2^32, through disk32.dll, which
// is not there: the read fails with the message, and the next read tries to load it again.
TEST_F(StorageTest, Windows9xBranch)
{
    EXPECT_EQ(BiosDriveOfPath(L"\\\\.\\PhysicalDrive0"), 0x80u);
    EXPECT_EQ(BiosDriveOfPath(L"\\\\.\\PhysicalDrive3"), 0x83u);
    EXPECT_EQ(BiosDriveOfPath(L"\\\\.\\PhysicalDrive4"), 0u);
    EXPECT_EQ(BiosDriveOfPath(L"\\\\.\\PhysicalDrive10"), 0u);
    EXPECT_EQ(BiosDriveOfPath(L"\\\\.\\X:"), 0u);
    EXPECT_EQ(BiosDriveOfPath(L"\\\\.\\PhysicalDrive"), 0u);

    PlatformKind = 'F';
    std::vector<uint8_t> buf(kSectorSize, 0xCC);
    {
        MessageBoxCatcher boxes;
        EXPECT_EQ(ReadSectors(L"\\\\.\\PhysicalDrive10", uint64_t(0), 1, buf.data()), 0u);
        EXPECT_EQ(ReadSectors(kMbrDisk, uint64_t(1) << 32, 1, buf.data()), 0u);
        EXPECT_EQ(boxes.Count(), 0);        // refused before the library is looked for
        EXPECT_EQ(buf[0], 0);
        EXPECT_EQ(ReadSectors(kMbrDisk, uint64_t(0), 1, buf.data()), 0u);
        EXPECT_EQ(ReadSectors(kMbrDisk, uint64_t(0), 1, buf.data()), 0u);
        EXPECT_EQ(boxes.Count(), 2);        // "disk32.dll not found." each time
    }
    EXPECT_EQ(Disk32Module, nullptr);
    PlatformProbe();
}

class TreeHost : public StorageHost {
public:
    TreeItemHandle InsertPartitionItem(TreeItemHandle parent, const CString& text) override
    {
        texts.push_back(text);
        return reinterpret_cast<TreeItemHandle>(uintptr_t(100 + texts.size()));
    }
    CString LogicalDrivePath() override { return logical; }
    void ClearScanTables() override { ++cleared; }
    AutoSearchState QueryAutoSearchState() override { return state; }
    bool StartPartitionSearch() override { return ++started, true; }

    CString logical;
    std::vector<CString> texts;
    AutoSearchState state;
    int cleared = 0;
    int started = 0;
};

struct HostScope {
    explicit HostScope(StorageHost* host) { SetStorageHost(host); }
    ~HostScope() { SetStorageHost(nullptr); }
};

void ExpectRecordMatchesLayout(const DiskPartitionRecord& disk, const std::wstring& image, bool gpt)
{
    std::vector<LayoutEntry> want;
    for (const LayoutEntry& e : LoadLayout(image))
        if (e.fs != "extended")
            want.push_back(e);
    ASSERT_EQ(disk.partitionCount, want.size());
    for (size_t n = 0; n < want.size(); ++n) {
        std::string fs = want[n].fs;
        for (char& c : fs)
            c = char(toupper(c));
        EXPECT_EQ(Narrow(std::wstring(disk.fsName[n])), fs);
        EXPECT_EQ(disk.slot[n].startSector, want[n].start);
        EXPECT_EQ(disk.slot[n].endSector, want[n].start + want[n].count - (gpt ? 1 : 0));
        EXPECT_NE(disk.slot[n].treeItem, nullptr);
    }
}

TEST_F(StorageTest, PartitionTablesOfTheDisks)
{
    TreeHost host;
    HostScope scope(&host);
    const TreeItemHandle diskItem = reinterpret_cast<TreeItemHandle>(uintptr_t(7));
    ResetDiskTable();

    SelectedDiskNumber = 2;
    AddDiskWithPartitions(0, ReadOnlyFile(ImagePath(L"mbr.img")).Size() / kSectorSize, diskItem,
                          L"Physical");
    ExpectRecordMatchesLayout(DiskPartitionTable[2], L"mbr.img", false);
    ASSERT_EQ(host.texts.size(), 4u);
    EXPECT_TRUE(host.texts[3] == L"Partition - 4 ( FAT16 )");

    SelectedDiskNumber = 1;
    AddDiskWithPartitions(0, ReadOnlyFile(ImagePath(L"gpt.img")).Size() / kSectorSize, diskItem,
                          L"Physical");
    ExpectRecordMatchesLayout(DiskPartitionTable[1], L"gpt.img", true);

    // "Logical" reads the main dialog's logical-drive path instead.
    host.logical = kMbrDisk;
    SelectedDiskNumber = 5;
    AddDiskWithPartitions(0, ReadOnlyFile(ImagePath(L"mbr.img")).Size() / kSectorSize, diskItem,
                          L"Logical");
    EXPECT_EQ(DiskPartitionTable[5].partitionCount, 4u);
    // A disk that is not there gets nothing.
    SelectedDiskNumber = 9;
    AddDiskWithPartitions(0, 1 << 20, diskItem, L"Physical");
    EXPECT_EQ(DiskPartitionTable[9].partitionCount, 0u);
    ResetDiskTable();
}

TEST_F(StorageTest, ValidateSelectedVolumeOnTheImages)
{
    TreeHost host;
    HostScope scope(&host);
    SelectedItemKind = L"Logical";

    CurrentDevicePath = L"\\\\.\\X:";
    SelectedVolumeInfo.fsName = L"FAT32";
    SelectedVolumeInfo.startSector = 0;
    SelectedVolumeInfo.endSector = 655360;
    host.logical = CurrentDevicePath;
    ASSERT_EQ(ValidateSelectedVolume(), 1);
    EXPECT_EQ(VolumeGeometry.sectorsPerCluster, 8u);
    EXPECT_EQ(host.cleared, 1);

    CurrentDevicePath = L"\\\\.\\Y:";
    host.logical = CurrentDevicePath;
    SelectedVolumeInfo.fsName = L"NTFS";
    SelectedVolumeInfo.endSector = 262144;
    ASSERT_EQ(ValidateSelectedVolume(), 1);
    EXPECT_EQ(VolumeGeometry.sectorsPerCluster, 8u);
    EXPECT_EQ(VolumeGeometry.cluster0Start, 0u);
    EXPECT_NE(VolumeGeometry.mftSector, 0u);

    // The NTFS partition of the MBR disk, with its exclusive end.
    SelectedItemKind = L"part";
    CurrentDevicePath = kMbrDisk;
    SelectedVolumeInfo.startSector = 206848;
    SelectedVolumeInfo.endSector = 206848 + 131072;
    ASSERT_EQ(ValidateSelectedVolume(), 1);
    EXPECT_EQ(VolumeGeometry.cluster0Start, 206848u);
    // Its first logical FAT16 drive.
    SelectedVolumeInfo.fsName = L"FAT16";
    SelectedVolumeInfo.startSector = 339968;
    SelectedVolumeInfo.endSector = 339968 + 32768;
    ASSERT_EQ(ValidateSelectedVolume(), 1);
    EXPECT_EQ(VolumeGeometry.sectorsPerCluster, 2u);

    // A whole disk checked as NTFS has no NTFS boot sector at its start, but a partition table
    // with the signature: no automatic search, just a refusal.
    host.state.selectedIsWholeDisk = true;
    SelectedVolumeInfo.fsName = L"NTFS";
    SelectedVolumeInfo.startSector = 0;
    SelectedVolumeInfo.endSector = 409600;
    EXPECT_EQ(ValidateSelectedVolume(), 0);
    EXPECT_EQ(host.started, 0);
    // The junk disk has no boot sector anywhere: the search starts.
    CurrentDevicePath = L"\\\\.\\PhysicalDrive3";
    AutoPartitionSearch = 0;
    EXPECT_EQ(ValidateSelectedVolume(), 0);
    EXPECT_EQ(host.started, 1);
    EXPECT_EQ(AutoPartitionSearch, 1u);
    AutoPartitionSearch = 0;
    SelectedItemKind.Empty();
    CurrentDevicePath.Empty();
}

TEST_F(StorageTest, DynamicDiskTest)
{
    PARTITION_INFORMATION_EX entry = {};
    entry.PartitionStyle = PARTITION_STYLE_MBR;
    entry.Mbr.PartitionType = 0x42;
    EXPECT_TRUE(IsLdmPartition(entry));
    entry.Mbr.PartitionType = 0x07;
    EXPECT_FALSE(IsLdmPartition(entry));
    entry = {};
    entry.PartitionStyle = PARTITION_STYLE_GPT;
    entry.Gpt.PartitionType = {0xAF9B60A0, 0x1431, 0x4F62, {0xBC, 0x68, 0x33, 0x11, 0x71, 0x4A, 0x69, 0xAD}};
    EXPECT_TRUE(IsLdmPartition(entry));
    entry.Gpt.PartitionType.Data1 ^= 1;
    EXPECT_FALSE(IsLdmPartition(entry));
    entry.PartitionStyle = PARTITION_STYLE_RAW;
    EXPECT_FALSE(IsLdmPartition(entry));

    // Wine reports no disk extents for the image drives: the answer is no and the extent
    // globals are reset.
    VolumeExtentStart = 5;
    VolumeExtentDisk = 3;
    EXPECT_FALSE(IsVolumeOnDynamicDisk(L"X:"));
    EXPECT_EQ(VolumeExtentStart, 0u);
    EXPECT_EQ(VolumeExtentDisk, 0u);
    EXPECT_FALSE(IsVolumeOnDynamicDisk(L"Q:"));
}

} // namespace
