// Texts of the drive trees: bus numbers beyond the table, logical-drive sizes and the device
// descriptor's identification strings.
#include <gtest/gtest.h>

#include <cstring>

#include "storage/pure/drive_texts.h"

namespace {

TEST(DriveTexts, UnknownBusesAndHugeDrives)
{
    EXPECT_TRUE(BusTypeName(17) == L"UNKNOWN"); // NVMe, beyond the table
    EXPECT_TRUE(BusTypeName(0xFFFFFFFFu) == L"UNKNOWN");
    EXPECT_EQ(MakeLogicalDriveTexts(L'D', L"", L"NTFS", true, 3ull << 40, 1).sectors, 3ull << 31); // not wrapped
    const LogicalDriveTexts unknown = MakeLogicalDriveTexts(L'C', L"SYS", L"", false, 999, 5);
    EXPECT_TRUE(unknown.itemText == L"C:\\ (Unknown Size  - SYS - Unknown)") << unknown.itemText.GetString();
    EXPECT_TRUE(unknown.key == L"\\\\.\\C:|0");
}

TEST(DriveTexts, DeviceDescriptorStringsStayInsideTheAnswer)
{
    uint8_t buf[64] = {};
    const uint32_t offsets[] = { 40, 48, 0, 500 }; // vendor, product (unterminated), none, past the answer
    std::memcpy(buf + 12, offsets, sizeof offsets);
    std::memcpy(buf + 40, "ACME\0", 5);
    std::memcpy(buf + 48, "DISK-0123456789AB", 16);
    const StorageDeviceTexts t = ParseStorageDeviceDescriptor(buf, sizeof(buf));
    EXPECT_TRUE(t.vendor == L"ACME");
    EXPECT_TRUE(t.product == L"DISK-0123456789A");
    EXPECT_TRUE(t.revision.IsEmpty() && t.serial.IsEmpty());
    EXPECT_TRUE(ParseStorageDeviceDescriptor(buf, 14).vendor.IsEmpty()); // too short for the offsets
}

} // namespace
