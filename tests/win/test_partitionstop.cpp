// "Stop Searching Partitions" in the Photo and Signature Search dialogs, on a disk whose partition
// table was wiped (\\.\PhysicalDrive21, mbr.img's volumes made at set-up): the question, No (the
// search goes on) and Yes (it ends keeping what it found, or offers the whole disk).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <vector>

#include "app/devicetree.h"
#include "app/pure/tree_rules.h"
#include "common/basic_search_fixture.h"
#include "common/carve_search_fixture.h"
#include "common/images.h"
#include "common/ui_wait.h"
#include "resources/resource.h"
#include "storage/pure/bootsector.h"
#include "storage/pure/globals.h"
#include "storage/pure/partition_search.h"
#include "storage/pure/partition_table.h"

using namespace zr_test;

namespace {

constexpr int kWipedDisk = 21;
const wchar_t kStopQuestion[] = L"Do you want to stop searching partition?";

struct Asked {
    CString text, caption;
    UINT type;
};
std::vector<Asked> g_asked;
int RecordAsked(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    g_asked.push_back({ text, caption, type });
    return RecordBox(owner, text, caption, type);
}

class PartitionStopTest : public CarveSearchTest {
protected:
    static void SetUpTestSuite()
    {
        file = DosDeviceFile(L"physicaldrive21");
        made = !file.empty() && !ImagesDir().empty() && MakeWipedMbrDisk(file);
    }
    static void TearDownTestSuite()
    {
        if (!file.empty())
            ::DeleteFileW(file.c_str());
    }

    void SetUp() override
    {
        CarveSearchTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(made);
        diskSectors = ReadOnlyFile(file).Size() / 512;
        g_asked.clear();
        ZrSetMessageBoxHook(RecordAsked); // the fixture puts its own hook back
    }
    void TearDown() override
    {
        CarveSearchTest::TearDown();
        DiskPartitionTable[kWipedDisk] = DiskPartitionRecord();
    }

    // Opens the dialog on the wiped disk and starts an Advanced search. Nothing has been pumped
    // since: the search waits for this thread at its first change of the dialog.
    HTREEITEM StartSearch(CarveSearchKind kind)
    {
        Open(kind);
        const HTREEITEM disk = ChildWith(dlg->PhysicalDrivesItem(), L"(Disk21 - ");
        if (disk == nullptr)
            return nullptr;
        EXPECT_EQ(nullptr, dlg->DriveTree().GetChildItem(disk)); // no table, no partition
        dlg->DriveTree().SelectItem(disk);
        PumpPending();
        DialogAnswerer advanced(IDC_SMP_CONTINUE, IDC_SMP_CONTINUE, nullptr, IDC_SMP_ADVANCED);
        dlg->OnBnClickedSearchMorePartitions();
        EXPECT_EQ(1, advanced.Count());
        EXPECT_EQ(kSearchAdvanced, SmpSelMode.load());
        return disk;
    }

    // "Stop Searching Partitions" clicked, the question answered `answer`.
    void ClickStop(int answer)
    {
        g_boxAnswer = answer;
        const int id = dlg->Layout().stopPartitions;
        dlg->SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(dlg->GetDlgItem(id)->GetSafeHwnd()));
        g_boxAnswer = IDNO;
    }

    std::vector<CString> Children(HTREEITEM item)
    {
        std::vector<CString> texts;
        for (HTREEITEM c = dlg->DriveTree().GetChildItem(item); c; c = dlg->DriveTree().GetNextSiblingItem(c))
            texts.push_back(dlg->DriveTree().GetItemText(c));
        return texts;
    }
    int EmptyTopChildren()
    {
        int n = 0;
        for (const CString& text : Children(dlg->DriveTree().GetRootItem()))
            n += text.IsEmpty();
        return n;
    }
    CString Detail(int row) { return dlg->DetailList()->GetItemText(row, 1); }
    int Boxes(const CString& text) { return int(std::count(g_boxes.begin(), g_boxes.end(), text)); }

    // The search has ended and the drive step is back as it was before it.
    void ExpectDriveStepBack()
    {
        const SearchDialogLayout& l = dlg->Layout();
        EXPECT_EQ(nullptr, g_pPartitionSearchThread);
        EXPECT_TRUE(Visible(l.morePartitions) && Enabled(l.morePartitions));
        EXPECT_FALSE(Visible(l.stopPartitions));
        EXPECT_FALSE(Visible(l.partitionProgress));
        EXPECT_TRUE(Enabled(l.next) && Enabled(l.back));
        EXPECT_TRUE(dlg->DriveTree().IsWindowEnabled());
    }

    static std::wstring file;
    static bool made;
    uint64_t diskSectors = 0;
};
std::wstring PartitionStopTest::file;
bool PartitionStopTest::made = false;

// No lets the search go on and takes away a stray item without text below "My Computer"; Yes ends
// it before it found anything, so the whole disk is offered as one partition, selected, recorded
// and shown, and Next takes it.
TEST_F(PartitionStopTest, NoGoesOnAndYesOffersTheWholeDisk)
{
    for (CarveSearchKind kind : { CarveSearchKind::Photo, CarveSearchKind::Signature }) {
        const HTREEITEM disk = StartSearch(kind);
        SCOPED_TRACE(ToUtf8(dlg->Info().caption));
        ASSERT_NE(nullptr, disk);
        ASSERT_NE(nullptr, g_pPartitionSearchThread);
        CTreeClass& tree = dlg->DriveTree();
        tree.InsertItem(L"", tree.GetRootItem());
        tree.InsertItem(L"", tree.GetRootItem());

        ClickStop(IDNO);
        ASSERT_EQ(1u, g_asked.size());
        EXPECT_EQ(CString(kStopQuestion), g_asked[0].text);
        EXPECT_EQ(CString(L"Message"), g_asked[0].caption);
        EXPECT_EQ(UINT(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2), g_asked[0].type & ~UINT(MB_SETFOREGROUND));
        // Still running, and known to run: no second search can start beside it.
        EXPECT_NE(nullptr, g_pPartitionSearchThread);
        EXPECT_NE(0, main.PartitionSearchRunning.load());
        EXPECT_TRUE(Visible(dlg->Layout().stopPartitions));
        EXPECT_FALSE(Enabled(dlg->Layout().next));
        EXPECT_EQ(1, EmptyTopChildren());

        ClickStop(IDYES);
        EXPECT_EQ(2, Boxes(kStopQuestion));
        ExpectDriveStepBack();
        EXPECT_EQ(0, EmptyTopChildren());
        const CString fs = GuessFsBySize(0, diskSectors);
        const CString name = fs == L"Unknown" ? CString(L"Unknown Partition") : PartitionItemText(0, fs);
        ASSERT_EQ(std::vector<CString>{ name }, Children(disk));
        const HTREEITEM whole = tree.GetChildItem(disk);
        EXPECT_EQ(whole, tree.GetSelectedItem());
        ASSERT_NE(nullptr, tree.FindColorFont(whole));
        EXPECT_EQ(kFoundGreen, tree.FindColorFont(whole)->color);
        EXPECT_EQ(CString(L"part"), SelectedItemKind);
        const DiskPartitionRecord& table = DiskPartitionTable[kWipedDisk];
        EXPECT_EQ(1u, table.partitionCount);
        EXPECT_EQ(fs, table.fsName[0]);
        EXPECT_EQ(0u, table.slot[0].startSector);
        EXPECT_EQ(diskSectors, table.slot[0].endSector);
        EXPECT_EQ(whole, table.slot[0].treeItem);
        EXPECT_EQ(CString(L"21"), Detail(0));
        EXPECT_EQ(CString(L"1"), Detail(1));
        EXPECT_EQ(fs, Detail(2));
        EXPECT_EQ(CString(dlg->Info().caption), Detail(3));
        EXPECT_EQ(diskSectors, StrToUInt64(Detail(5).GetString()));
        EXPECT_EQ(1, Boxes(L"Found 1 more partitions in selected Disk ( Disk - 21 )"));

        // The whole disk is the range offered, and Next takes it.
        EXPECT_EQ(diskSectors, StrToUInt64(Text(IDC_RANGE_END)));
        NextFromDriveStep();
        ASSERT_EQ(CCarveSession::kOptionsStep, dlg->Page()) << (g_boxes.empty() ? "" : ToUtf8(g_boxes.back()));
        EXPECT_EQ(CString(L"\\\\.\\PhysicalDrive21"), dlg->Target().devicePath);

        dlg->DestroyWindow();
        PumpPending();
        DiskPartitionTable[kWipedDisk] = DiskPartitionRecord();
        g_asked.clear();
        g_boxes.clear();
    }
}

// A stop after the first partition was found keeps it, selects it and shows its details; the
// partitions the search had not reached yet stay unfound.
TEST_F(PartitionStopTest, YesKeepsWhatWasFound)
{
    const HTREEITEM disk = StartSearch(CarveSearchKind::Photo);
    ASSERT_NE(nullptr, disk);
    ASSERT_TRUE(PumpEachUntil([&] { return dlg->DriveTree().GetChildItem(disk) != nullptr; }, 30000));
    ClickStop(IDYES);
    ExpectDriveStepBack();
    const std::vector<CString> found = Children(disk);
    ASSERT_GE(found.size(), 1u);
    EXPECT_LT(found.size(), 5u) << "the search ran to its end";
    EXPECT_EQ(CString(L"Partition - 1 ( FAT32 )"), found[0]);
    EXPECT_EQ(dlg->DriveTree().GetChildItem(disk), dlg->DriveTree().GetSelectedItem());
    EXPECT_EQ(CString(L"part"), SelectedItemKind);
    EXPECT_EQ(63u, DiskPartitionTable[kWipedDisk].slot[0].startSector);
    EXPECT_EQ(CString(L"FAT32"), Detail(2));
    EXPECT_EQ(CString(L"Photo Search"), Detail(3));
    CString report;
    report.Format(L"Found %d more partitions in selected Disk ( Disk - 21 )", int(found.size()));
    EXPECT_EQ(1, Boxes(report));
}

} // namespace
