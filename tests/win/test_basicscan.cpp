// The Basic Search scan bodies below the dialog (whose results are checked end to end through it):
// the stop flag, and a drive that cannot be opened or holds no supported file system.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "app/maindlg.h"
#include "common/images.h"
#include "fsrecovery/basic_scan.h"
#include "storage/pure/globals.h"
#include "storage/sector_source.h"

using namespace zr_test;

namespace {

struct BasicScanTest : ::testing::Test {
    CDelvaneDlg dlg; // the progress services only; it never gets a window
    FoundStore store;
    HWND bar = nullptr;

    void SetUp() override
    {
        SetSearchHost(&dlg);
        PlatformProbe();
        InitCommonControls();
        bar = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_POPUP, 0, 0, 100, 10, nullptr, nullptr, nullptr, nullptr);
    }
    void TearDown() override
    {
        ::DestroyWindow(bar);
        SetSearchHost(nullptr);
    }

    BasicScanStatus Scan(const wchar_t* device, const wchar_t* fs, uint64_t sectors, uint32_t stop = 0)
    {
        ScanTarget target;
        target.devicePath = device;
        target.kind = FsKindFromName(fs);
        target.firstSector = 0;
        target.endSector = sectors;
        store.Clear();
        StopFlag flag{ stop };
        return RunBasicScan(target, store, &flag, &dlg, bar);
    }
};

TEST_F(BasicScanTest, StopAndUnopenableDevice)
{
    EXPECT_EQ(Scan(L"\\\\.\\X:", L"FAT32", 655360, 1), BasicScanStatus::Stopped);
    EXPECT_EQ(store.EntryCount(), 1u); // the catch-all alone
    EXPECT_EQ(Scan(L"\\\\.\\Y:", L"NTFS", 262144, 1), BasicScanStatus::Stopped);
    EXPECT_EQ(store.NtfsFileCount(), 0u);

    // An error the user is told of, not an empty result.
    for (const wchar_t* fs : { L"FAT32", L"NTFS" }) {
        EXPECT_NE(Scan(L"\\\\.\\Q:", fs, 1000), BasicScanStatus::Done) << Narrow(fs);
        EXPECT_EQ(store.EntryCount(), 0u);
    }
    EXPECT_EQ(Scan(L"\\\\.\\X:", L"EXT4", 1000), BasicScanStatus::NotSupported);
    EXPECT_FALSE(BasicScanStatusMessage(BasicScanStatus::DeviceNotOpened).IsEmpty());
}

} // namespace
