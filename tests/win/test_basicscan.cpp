// The Basic Search scan bodies below the dialog (whose results are checked end to end through it):
// the stop flag, and a drive that cannot be opened or holds no supported file system.
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
    CDelvaneDlg dlg; // only its record tables are used; it never gets a window
    HWND bar = nullptr;

    void SetUp() override
    {
        g_pMainDlg = &dlg;
        PlatformProbe();
        SelectedItemKind = L"Logical";
        dlg.FoundEntryTable.SetColumns({ { L"Name", 0 },
                                         { L"sector", 0 },
                                         { L"self", 0 },
                                         { L"parent", 0 },
                                         { L"date", 0 },
                                         { L"time", 0 },
                                         { L"size", 0 },
                                         { L"attr", 0 },
                                         { L"sysID", 0 },
                                         { L"Type", 0 },
                                         { L"Deleted", 0 },
                                         { L"Cluster0Start", 0 } });
        dlg.NtfsFileTable.SetColumns(
            { { L"Sector", 0 }, { L"name", 0 }, { L"size", 0 }, { L"date", 0 }, { L"time", 0 }, { L"type", 0 } });
        InitCommonControls();
        bar = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_POPUP, 0, 0, 100, 10, nullptr, nullptr, nullptr, nullptr);
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
};

TEST_F(BasicScanTest, StopAndUnopenableDevice)
{
    EXPECT_EQ(Scan(L"\\\\.\\X:", L"FAT32", 655360, 1), BasicScanStatus::Stopped);
    EXPECT_EQ(dlg.FoundEntryTable.GetItemCount(), 1); // the catch-all alone
    EXPECT_EQ(Scan(L"\\\\.\\Y:", L"NTFS", 262144, 1), BasicScanStatus::Stopped);
    EXPECT_EQ(dlg.NtfsFileTable.GetItemCount(), 0);

    // An error the user is told of, not an empty result.
    for (const wchar_t* fs : { L"FAT32", L"NTFS" }) {
        EXPECT_NE(Scan(L"\\\\.\\Q:", fs, 1000), BasicScanStatus::Done) << Narrow(fs);
        EXPECT_EQ(dlg.FoundEntryTable.GetItemCount(), 0);
    }
    EXPECT_EQ(Scan(L"\\\\.\\X:", L"EXT4", 1000), BasicScanStatus::NotSupported);
    EXPECT_FALSE(BasicScanStatusMessage(BasicScanStatus::DeviceNotOpened).IsEmpty());
}

} // namespace
