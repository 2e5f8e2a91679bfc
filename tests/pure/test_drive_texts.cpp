// Texts of the drive trees: the disk tag both ways, bus and media names, logical-drive texts and
// the device descriptor's identification strings.
#include <gtest/gtest.h>

#include <cstring>

#include "storage/pure/drive_texts.h"

namespace {

TEST(DriveTexts, DiskNumberComesBackFromTheItemText)
{
    EXPECT_TRUE(FormatDiskTag(3) == L" (Disk3 - ");
    for (int n : { 0, 2, 12, 25 }) {
        EXPECT_EQ(GetDiskNumberFromText(DiskItemText(n, L"Fixed hard disk media", L"64.00 MB")), n);
        EXPECT_EQ(GetDiskNumberFromText(CString(L"WDC WD10 ") + FormatDiskTag(n) + L"x)"), n);
    }
    EXPECT_EQ(GetDiskNumberFromText(L"X:\\ (64.00 MB - LABEL - FAT32)"), 0);
    EXPECT_EQ(GetDiskNumberFromText(L"no tag"), 0);
    EXPECT_EQ(GetDiskNumberFromText(L"(Dis"), 0);
}

TEST(DriveTexts, BusAndMediaNames)
{
    EXPECT_TRUE(BusTypeName(7) == L"USB");
    EXPECT_TRUE(BusTypeName(12) == L"Reserved");
    EXPECT_TRUE(BusTypeName(13).IsEmpty());
    EXPECT_TRUE(BusTypeName(17) == L"UNKNOWN");     // NVMe, beyond the table
    EXPECT_TRUE(BusTypeName(0xFFFFFFFFu) == L"UNKNOWN");
    EXPECT_TRUE(MediaKindText(12, L"USB") == L"External hard disk media");
    EXPECT_TRUE(MediaKindText(12, L"SATA") == L"Fixed hard disk media");
    EXPECT_TRUE(MediaKindText(11, L"USB") == L"Removable Media");
    EXPECT_TRUE(DiskItemText(1, L"Removable media other than floppy", L"1.00 GB") ==
                L" (Disk1 - Removable Media1.00 GB)");
}

TEST(DriveTexts, LogicalDriveTexts)
{
    const LogicalDriveTexts known = MakeLogicalDriveTexts(L'X', L"LBL", L"FAT32", true, 64ull << 20, 0);
    EXPECT_TRUE(known.itemText == L"X:\\ (64.00 MB - LBL - FAT32)") << known.itemText.GetString();
    EXPECT_TRUE(known.key == L"\\\\.\\X:|131072");
    EXPECT_TRUE(known.freeSpaceText.IsEmpty());
    // Beyond 2 TiB the sector count is not wrapped.
    EXPECT_EQ(MakeLogicalDriveTexts(L'D', L"", L"NTFS", true, 3ull << 40, 1).sectors, 3ull << 31);

    const LogicalDriveTexts unknown = MakeLogicalDriveTexts(L'C', L"SYS", L"", false, 999, 5);
    EXPECT_TRUE(unknown.itemText == L"C:\\ (Unknown Size  - SYS - Unknown)") << unknown.itemText.GetString();
    EXPECT_TRUE(unknown.sizeText == L"Unknown Size");
    EXPECT_TRUE(unknown.freeSpaceText == L"Unknown Size");
    EXPECT_TRUE(unknown.key == L"\\\\.\\C:|0");
}

TEST(DriveTexts, DeviceDescriptorStringsStayInsideTheAnswer)
{
    uint8_t buf[64] = {};
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(buf + at, &v, 4); };
    put32(12, 40);                              // vendor
    put32(16, 48);                              // product, runs to the end unterminated
    put32(20, 0);                               // no revision
    put32(24, 500);                             // serial offset past the answer
    std::memcpy(buf + 40, "ACME\0", 5);
    std::memcpy(buf + 48, "DISK-0123456789AB", 16);
    const StorageDeviceTexts t = ParseStorageDeviceDescriptor(buf, sizeof(buf));
    EXPECT_TRUE(t.vendor == L"ACME");
    EXPECT_TRUE(t.product == L"DISK-0123456789A");
    EXPECT_TRUE(t.revision.IsEmpty());
    EXPECT_TRUE(t.serial.IsEmpty());
    // An answer too short to hold the offsets gives nothing.
    EXPECT_TRUE(ParseStorageDeviceDescriptor(buf, 14).vendor.IsEmpty());
}

} // namespace
