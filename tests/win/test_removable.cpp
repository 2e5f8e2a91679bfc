// Searching a removable medium without a partition table: a file at the name Wine looks up for
// "\\.\PhysicalDrive7", holding fat16.img's boot sector.
#include <algorithm>

#include "app/pure/tree_rules.h"
#include "app/startup.h"
#include "common/basic_search_fixture.h"
#include "common/images.h"
#include "common/ui_wait.h"
#include "resources/resource.h"
#include "storage/driverecords.h"
#include "storage/pure/drive_texts.h"
#include "storage/pure/globals.h"

using namespace zr_test;

namespace {

constexpr int kMediumDisk = 7;
constexpr uint32_t kHeads = 16, kSectorsPerTrack = 63;
constexpr uint64_t kCylinder = kHeads * kSectorsPerTrack;
const wchar_t kStopQuestion[] = L"Do you want to stop searching partition?";

class RemovableTest : public BasicSearchTest {
protected:
    void SetUp() override
    {
        BasicSearchTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        file = DosDeviceFile(L"physicaldrive7");
        boot = ReadAt(ImagePath(L"fat16.img"), 0, 512);
        ASSERT_TRUE(!file.empty() && boot.size() == 512u);
    }
    void TearDown() override
    {
        if (dlg.GetSafeHwnd() != nullptr)
            dlg.DestroyWindow();
        ClearCommandLineLogPath();
        ::DeleteFileW(file.c_str());
        DiskPartitionTable[kMediumDisk] = DiskPartitionRecord();
        DiskSearchList.clear();
        BasicSearchTest::TearDown();
    }

    // The medium with the boot sector at each of `at` (no file when empty), as a removable disk.
    HTREEITEM AddMedium(const std::vector<uint64_t>& at, uint64_t fileSectors, uint32_t cylinders)
    {
        DiskPartitionTable[kMediumDisk] = DiskPartitionRecord();
        ::DeleteFileW(file.c_str());
        if (!at.empty()) { // else no file: a medium that cannot be opened
            HANDLE h = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            auto seek = [&](uint64_t sector) {
                LARGE_INTEGER where;
                where.QuadPart = LONGLONG(sector * 512);
                ::SetFilePointerEx(h, where, nullptr, FILE_BEGIN);
            };
            DWORD written = 0;
            for (uint64_t sector : at)
                seek(sector), ::WriteFile(h, boot.data(), 512, &written, nullptr);
            seek(fileSectors);
            ::SetEndOfFile(h);
            ::CloseHandle(h);
        }
        auto* record = new DriveInfoRecord; // drive records live as long as the program
        record->itemText = DiskItemText(kMediumDisk, L"Removable Media", L" 64 MB");
        record->totalSectors.Format(L"%llu", (unsigned long long)(cylinders * kCylinder));
        const HTREEITEM item = dlg.DriveTree().InsertItem(record->itemText, dlg.PhysicalDrivesItem());
        dlg.DriveTree().SetItemData(item, DWORD_PTR(record));
        smpparam entry;
        entry.cylinders = cylinders;
        entry.heads = kHeads;
        entry.sectorsPerTrack = kSectorsPerTrack;
        entry.diskItem = item;
        entry.devicePath = PhysicalDrivePathTable[kMediumDisk];
        DiskSearchList.assign(1, entry);
        return item;
    }

    std::vector<CString> Children(HTREEITEM item)
    {
        std::vector<CString> texts;
        for (HTREEITEM c = dlg.DriveTree().GetChildItem(item); c; c = dlg.DriveTree().GetNextSiblingItem(c))
            texts.push_back(dlg.DriveTree().GetItemText(c));
        return texts;
    }
    bool ControlsBack()
    {
        return g_pBasicDriveTreeThread == nullptr && Enabled(IDC_BS_NEXT) && Enabled(IDC_BS_BACK) &&
            Enabled(IDC_BS_DRIVE_TREE) && Enabled(IDC_BS_MORE_PARTITIONS) &&
            !dlg.GetDlgItem(IDC_BS_STOP_PARTITIONS)->IsWindowVisible();
    }
    long Boxes(const wchar_t* text) { return long(std::count(g_boxes.begin(), g_boxes.end(), CString(text))); }

    std::wstring file;
    std::vector<uint8_t> boot;
};

} // namespace

// Found, shown, recorded and reported (not when started with a scan log); an unreadable medium
// still gives the controls back, offered whole as one partition.
TEST_F(RemovableTest, SearchEndsWithThePartitionShownAndReported)
{
    const uint32_t volumeSectors = Le32At(boot.data() + 0x20) ? Le32At(boot.data() + 0x20) : Le16At(boot.data() + 0x13);
    const struct {
        bool readable, startupLog;
    } cases[] = { { true, false }, { true, true }, { false, false } };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "readable " << c.readable << " log " << c.startupLog);
        if (c.startupLog)
            SetCommandLineLogPath(L"C:\\results.log");
        g_boxes.clear();
        const HTREEITEM medium =
            AddMedium(c.readable ? std::vector<uint64_t>{ 0 } : std::vector<uint64_t>{}, 130 * kCylinder, 130);
        ASSERT_TRUE(dlg.StartRemovableMediaSearch());
        EXPECT_FALSE(Enabled(IDC_BS_NEXT));
        ASSERT_TRUE(PumpUntil([&] { return ControlsBack(); }, 20000));
        EXPECT_EQ(Boxes(L"Found 1 more partitions in selected Disk ( Disk - 7 )"), c.startupLog ? 0 : 1);
        ASSERT_EQ(Children(medium).size(), 1u);
        const HTREEITEM partition = dlg.DriveTree().GetChildItem(medium);
        EXPECT_EQ(dlg.DriveTree().GetSelectedItem(), partition);
        if (c.readable) {
            EXPECT_TRUE(Children(medium)[0] == L"Partition - 1 ( FAT16 )");
            EXPECT_EQ(dlg.DriveTree().FindColorFont(partition)->color, kFoundGreen);
            const DiskPartitionRecord& table = DiskPartitionTable[kMediumDisk];
            ASSERT_EQ(table.partitionCount, 1u);
            EXPECT_EQ(table.slot[0].endSector, volumeSectors);
            EXPECT_EQ(table.slot[0].treeItem, partition);
        }
        dlg.DriveTree().DeleteItem(medium);
        ClearCommandLineLogPath();
    }
}

// No changes nothing; Yes ends the search at once, keeping what it found.
TEST_F(RemovableTest, StopAsksThenKeepsWhatWasFound)
{
    // Two volumes on the first cylinders, then a walk of some seconds over unreadable ones.
    constexpr uint32_t kWalk = 20000;
    const HTREEITEM medium = AddMedium({ 0, kCylinder + kSectorsPerTrack }, 2 * kCylinder, kWalk);
    ASSERT_TRUE(dlg.StartRemovableMediaSearch());
    ASSERT_TRUE(PumpUntil([&] { return Children(medium).size() == 2; }, 20000));

    dlg.OnBnClickedStopSearchingPartitions();
    EXPECT_EQ(Boxes(kStopQuestion), 1);
    EXPECT_NE(nullptr, g_pBasicDriveTreeThread);
    EXPECT_FALSE(Enabled(IDC_BS_NEXT));

    g_boxAnswer = IDYES;
    dlg.OnBnClickedStopSearchingPartitions();
    EXPECT_TRUE(ControlsBack());
    EXPECT_LT(StrToUInt64(dlg.GetDlgItemText(IDC_BS_SECTORS).GetString()), kWalk - 1u) << "not stopped";
    const std::vector<CString> want = { L"Partition - 1 ( FAT16 )", L"Partition - 2 ( FAT16 )" };
    EXPECT_EQ(Children(medium), want);
    EXPECT_EQ(DiskPartitionTable[kMediumDisk].partitionCount, 2u);

    // Nothing is left running: the ended worker's message and another stop change nothing.
    PumpPending();
    dlg.OnBnClickedStopSearchingPartitions();
    EXPECT_EQ(Boxes(kStopQuestion), 2);
    EXPECT_EQ(Boxes(L"Found 2 more partitions in selected Disk ( Disk - 7 )"), 1);
}
