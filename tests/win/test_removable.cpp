// The Basic Search dialog on a removable medium without a partition table: the drive-tree worker
// finds the bare volume, shows it in green under the medium and reports; a stop asks first, keeps
// what was found and gives the controls back. The medium is a file at the name Wine looks up
// for "\\.\PhysicalDrive7", holding boot sectors copied from fat16.img (a bare FAT16 volume).
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "afxwin.h"
#include "app/basicsearch.h"
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

// Every box is recorded and answered with g_answer.
int g_answer = IDNO;
int AnswerBox(HWND, LPCWSTR text, LPCWSTR, UINT)
{
    g_boxes.push_back(text);
    return g_answer;
}

class RemovableTest : public BasicSearchTest {
protected:
    void SetUp() override
    {
        BasicSearchTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        file = DosDeviceFile(L"physicaldrive7");
        boot = ReadAt(ImagePath(L"fat16.img"), 0, 512);
        ASSERT_FALSE(file.empty());
        ASSERT_EQ(boot.size(), 512u);
        g_answer = IDNO;
        ZrSetMessageBoxHook(AnswerBox);
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

    // Writes the medium (`fileSectors` long, fat16.img's boot sector at each of `at`; none at all
    // when `at` is empty) and lists it as a removable disk of `cylinders` cylinders.
    HTREEITEM AddMedium(const std::vector<uint64_t>& at, uint64_t fileSectors, uint32_t cylinders)
    {
        DiskPartitionTable[kMediumDisk] = DiskPartitionRecord();
        ::DeleteFileW(file.c_str());
        if (!at.empty()) {
            HANDLE h = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            for (uint64_t sector : at) {
                LARGE_INTEGER where;
                where.QuadPart = LONGLONG(sector * 512);
                DWORD written = 0;
                ::SetFilePointerEx(h, where, nullptr, FILE_BEGIN);
                ::WriteFile(h, boot.data(), 512, &written, nullptr);
            }
            LARGE_INTEGER end;
            end.QuadPart = LONGLONG(fileSectors * 512);
            ::SetFilePointerEx(h, end, nullptr, FILE_BEGIN);
            ::SetEndOfFile(h);
            ::CloseHandle(h);
        }
        auto* record = new DriveInfoRecord;   // drive records live as long as the program
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
        CTreeClass& tree = dlg.DriveTree();
        for (HTREEITEM c = tree.GetChildItem(item); c != nullptr; c = tree.GetNextSiblingItem(c))
            texts.push_back(tree.GetItemText(c));
        return texts;
    }
    // The worker is gone and the drive page's controls are back.
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

// Found, shown in green, recorded and reported; started with a scan-log path it is not
// reported; a medium that cannot be opened still ends with the controls back and the whole
// medium offered as one partition.
TEST_F(RemovableTest, SearchEndsWithThePartitionShownAndReported)
{
    const uint32_t volumeSectors = Le32(boot.data() + 0x20) ? Le32(boot.data() + 0x20) : Le16(boot.data() + 0x13);
    const struct {
        const char* name;
        bool readable, startupLog;
    } cases[] = { { "plain", true, false }, { "with a start-up log", true, true }, { "unreadable", false, false } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.startupLog)
            SetCommandLineLogPath(L"C:\\results.log");
        g_boxes.clear();
        const HTREEITEM medium = AddMedium(c.readable ? std::vector<uint64_t>{ 0 } : std::vector<uint64_t>{},
                                           130 * kCylinder, 130);
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
            EXPECT_TRUE(dlg.DetailList()->GetItemText(2, 1) == L"FAT16");
        }
        dlg.DriveTree().DeleteItem(medium);
        ClearCommandLineLogPath();
    }
}

// No changes nothing; Yes ends the search at once, keeps what it found, gives the controls back
// and reports once.
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

    g_answer = IDYES;
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
