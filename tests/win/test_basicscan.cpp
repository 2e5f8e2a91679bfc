// The Basic Search scan bodies on the drive letters of the test images, filling the main
// dialog's record tables: the folders and files of the truth files, the catch-all row, the
// stop flag and a drive that cannot be opened.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "app/maindlg.h"
#include "common/images.h"
#include "fsrecovery/basicscan.h"
#include "storage/pure/globals.h"
#include "storage/sectorreader.h"

using namespace zr_test;

namespace {

struct BasicScanTest : ::testing::Test {
    CDelvaneDlg dlg;   // only its record tables are used; it never gets a window
    HWND bar = nullptr;

    void SetUp() override
    {
        g_pMainDlg = &dlg;
        PlatformProbe();
        SelectedItemKind = L"Logical";
        dlg.FoundEntryTable.SetColumns({ { L"Name", 0 }, { L"sector", 0 }, { L"self", 0 }, { L"parent", 0 },
                                         { L"date", 0 }, { L"time", 0 }, { L"size", 0 }, { L"attr", 0 },
                                         { L"sysID", 0 }, { L"Type", 0 }, { L"Deleted", 0 },
                                         { L"Cluster0Start", 0 } });
        dlg.NtfsFileTable.SetColumns({ { L"Sector", 0 }, { L"name", 0 }, { L"size", 0 }, { L"date", 0 },
                                       { L"time", 0 }, { L"type", 0 } });
        InitCommonControls();
        bar = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_POPUP, 0, 0, 100, 10, nullptr, nullptr,
                                nullptr, nullptr);
    }
    void TearDown() override
    {
        ::DestroyWindow(bar);
        g_pMainDlg = nullptr;
    }

    BasicScanStatus Scan(const wchar_t* device, const wchar_t* fs, uint64_t sectors, uint32_t stop = 0)
    {
        CurrentDevicePath = device;
        SelectedVolumeInfo.fsName = fs;
        SelectedVolumeInfo.startSector = 0;
        SelectedVolumeInfo.endSector = sectors;
        dlg.FoundEntryTable.DeleteAllItems();
        dlg.NtfsFileTable.DeleteAllItems();
        volatile uint32_t flag = stop;
        return RunBasicScan(&flag, bar);
    }

    void ExpectMiscRowFirst(const wchar_t* parent)
    {
        ASSERT_GT(dlg.FoundEntryTable.GetItemCount(), 0);
        EXPECT_EQ(dlg.FoundEntryTable.GetItemText(0, 0), CString(L"KXR_Miscellaneous"));
        EXPECT_EQ(dlg.FoundEntryTable.GetItemText(0, 2), CString(L"268435455"));
        EXPECT_EQ(dlg.FoundEntryTable.GetItemText(0, 3), CString(parent));
    }
};

TEST_F(BasicScanTest, DriveLettersFillTheRecordTables)
{
    ASSERT_EQ(Scan(L"\\\\.\\W:", L"FAT16", 131072), BasicScanStatus::Done);
    ExpectMiscRowFirst(L"0");
    EXPECT_GT(dlg.FoundEntryTable.GetItemCount(), 10);
    EXPECT_EQ(dlg.FoundEntryTable.GetItemText(1, 0), CString(L"DIR1"));
    EXPECT_EQ(dlg.FoundEntryTable.GetItemText(1, 8), CString(L"0"));
    EXPECT_GT(::SendMessageW(bar, PBM_GETPOS, 0, 0), 0);

    ASSERT_EQ(Scan(L"\\\\.\\X:", L"FAT32", 655360), BasicScanStatus::Done);
    EXPECT_GT(dlg.FoundEntryTable.GetItemCount(), 10);
    EXPECT_EQ(dlg.FoundEntryTable.GetItemText(1, 8), CString(L""));
    EXPECT_EQ(CString(FatVolumeParams.partitionType), CString(L"FAT32"));
    EXPECT_EQ(FatVolumeParams.cluster0Start, VolumeGeometry.cluster0Start);

    ASSERT_EQ(Scan(L"\\\\.\\Y:", L"NTFS", 262144), BasicScanStatus::Done);
    ExpectMiscRowFirst(L"5");
    EXPECT_GE(dlg.FoundEntryTable.FindExact(0, L"Final drafts"), 1);
    ASSERT_GT(dlg.NtfsFileTable.GetItemCount(), 20);
    for (int i = 0; i < dlg.NtfsFileTable.GetItemCount(); ++i) {
        // "parent|sector|", the parent repeated in the last column.
        const CString key = dlg.NtfsFileTable.GetItemText(i, 0);
        const CString parent = dlg.NtfsFileTable.GetItemText(i, 5);
        EXPECT_EQ(key.Left(parent.GetLength() + 1), parent + L"|") << Narrow(key.GetString());
        EXPECT_EQ(key.Right(1), CString(L"|"));
    }
}

TEST_F(BasicScanTest, StopAndUnopenableDevice)
{
    EXPECT_EQ(Scan(L"\\\\.\\X:", L"FAT32", 655360, 1), BasicScanStatus::Stopped);
    EXPECT_EQ(dlg.FoundEntryTable.GetItemCount(), 1);   // the catch-all alone
    EXPECT_EQ(Scan(L"\\\\.\\Y:", L"NTFS", 262144, 1), BasicScanStatus::Stopped);
    EXPECT_EQ(dlg.NtfsFileTable.GetItemCount(), 0);

    for (const wchar_t* fs : { L"FAT32", L"NTFS" }) {
        EXPECT_NE(Scan(L"\\\\.\\Q:", fs, 1000), BasicScanStatus::Done) << Narrow(fs);
        EXPECT_EQ(dlg.FoundEntryTable.GetItemCount(), 0);
    }
    EXPECT_EQ(Scan(L"\\\\.\\X:", L"EXT4", 1000), BasicScanStatus::NotSupported);
    EXPECT_FALSE(BasicScanStatusMessage(BasicScanStatus::DeviceNotOpened).IsEmpty());
    EXPECT_TRUE(BasicScanStatusMessage(BasicScanStatus::Stopped).IsEmpty());
}

} // namespace
