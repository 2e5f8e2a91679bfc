// Browsing the results of a Basic Search: a FAT folder's directory is read once (by its listing
// or its expansion) to name its subfolders, collapsing shows the closed pictures, folder rows
// carry their own date and time, a scan that found nothing says so once, and Back or Next while
// a folder listing runs leave no worker, stale row or disabled dialog behind.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "afxwin.h"
#include "app/basicsearch.h"
#include "app/maindlg.h"
#include "app/notices.h"
#include "app/pure/textservices.h"
#include "app/waitdialogs.h"
#include "common/basic_search_fixture.h"
#include "common/images.h"
#include "common/ui_wait.h"
#include "fsrecovery/fsglobals.h"
#include "resources/resource.h"
#include "storage/pure/globals.h"

namespace {

using namespace zr_test;

// Through the tree's keyboard path, which sends the expansion notifications as for the user.
void PressKey(CTreeClass& tree, HTREEITEM item, WPARAM key)
{
    tree.SelectItem(item);
    PumpUntil([] { return g_pPopulateListThread == nullptr; }, 30000);
    tree.SendMessage(WM_KEYDOWN, key, 0);
}

FolderNode* NodeOf(CTreeClass& tree, HTREEITEM item) { return (FolderNode*)tree.GetItemData(item); }

// A scan-style placeholder name, as if the folder's parent had never been read.
void Unname(CTreeClass& tree, HTREEITEM item)
{
    tree.SetItemText(item, L"DIR_UNREAD");
    NodeOf(tree, item)->name = L"DIR_UNREAD";
}

int ImageOf(CTreeClass& tree, HTREEITEM item)
{
    int image = -1, selected = -1;
    tree.GetItemImage(item, image, selected);
    return image;
}

TEST_F(BasicSearchTest, FatFolderIsReadOnceWhenListedOrExpandedAndCollapseShowsClosedPictures)
{
    ScanDrive(L"X:");
    CTreeClass& tree = dlg.ResultTree();
    const HTREEITEM root = tree.GetRootItem(), photos = ResultChild(root, "PHOTOS"), docs = ResultChild(root, "DOCS");
    const HTREEITEM album = ResultChild(photos, "Album");
    ASSERT_TRUE(album != nullptr && docs != nullptr);

    // Listing a folder never read reads it first, so the rows show real names.
    NodeOf(tree, photos)->expanded = 0;
    Unname(tree, album);
    ListFolder(photos);
    EXPECT_EQ(CString(L"Album"), tree.GetItemText(album));
    EXPECT_EQ(CString(L"Album"), dlg.DetailList()->GetItemText(0, 0));

    // Once read, expanding reads nothing more; a folder not read yet is read by its expansion.
    Unname(tree, album);
    PressKey(tree, photos, VK_ADD);
    EXPECT_EQ(CString(L"DIR_UNREAD"), tree.GetItemText(album));
    tree.SetItemImage(photos, 2, 2);
    PressKey(tree, photos, VK_SUBTRACT);
    EXPECT_EQ(1, ImageOf(tree, photos));
    NodeOf(tree, photos)->expanded = 0;
    PressKey(tree, photos, VK_ADD);
    EXPECT_EQ(CString(L"Album"), tree.GetItemText(album));
    EXPECT_EQ(1u, NodeOf(tree, photos)->expanded);

    // The top item keeps picture 0 and is never read by an expansion.
    Unname(tree, docs);
    tree.SetItemImage(root, 2, 2);
    PressKey(tree, root, VK_SUBTRACT);
    EXPECT_EQ(0, ImageOf(tree, root));
    PressKey(tree, root, VK_ADD);
    EXPECT_EQ(CString(L"DIR_UNREAD"), tree.GetItemText(docs));
}

// First cluster -> date and time words of the folders in a FAT32 image's root directory.
std::map<uint32_t, std::pair<uint16_t, uint16_t>> RootFolderStamps(const std::wstring& path)
{
    auto le16 = [](const uint8_t* p) { return uint32_t(p[0] | (p[1] << 8)); };
    auto le32 = [&](const uint8_t* p) { return le16(p) | (le16(p + 2) << 16); };
    const std::vector<uint8_t> boot = ReadAt(path, 0, 512);
    const uint32_t spc = boot[13];
    const uint64_t cluster0 = le16(&boot[14]) + uint64_t(boot[16]) * le32(&boot[36]) - 2ull * spc;
    const std::vector<uint8_t> dir = ReadAt(path, (cluster0 + uint64_t(le32(&boot[44])) * spc) * 512, spc * 512);
    std::map<uint32_t, std::pair<uint16_t, uint16_t>> stamps;
    for (size_t at = 0; at + 32 <= dir.size() && dir[at] != 0; at += 32) {
        const uint8_t* e = &dir[at];
        if (e[11] != 0x0F && (e[11] & 0x10))
            stamps[le16(e + 26) | (le16(e + 20) << 16)] = { uint16_t(le16(e + 24)), uint16_t(le16(e + 22)) };
    }
    return stamps;
}

TEST_F(BasicSearchTest, FolderRowsShowTheStampOfTheirDirectoryEntry)
{
    ScanDrive(L"X:");
    const auto stamps = RootFolderStamps(ImagePath(L"fat32.img"));
    CListCtrl& list = *dlg.DetailList();
    size_t folders = 0;
    for (int row = 0; row < list.GetItemCount(); ++row) {
        const auto entry = stamps.find(uint32_t(StrToUInt64(list.GetItemText(row, 5))));
        if (list.GetItemText(row, 1) != L"FOLDER" || entry == stamps.end())
            continue;
        ++folders;
        EXPECT_EQ(FormatFatDate(entry->second.first) + L" " + FormatFatTime(entry->second.second),
                  list.GetItemText(row, 3) + L" " + list.GetItemText(row, 4));
        EXPECT_TRUE(list.GetItemText(row, 2).IsEmpty());
    }
    EXPECT_GE(folders, 5u);
    EXPECT_EQ(stamps.size(), folders);

    // NTFS folders show their creation stamp: a real date, not the zero stamp of 1601.
    dlg.OnBnClickedBack();
    ScanDrive(L"Y:", L"ntfs.img", L"NTFS");
    folders = 0;
    for (int row = 0; row < list.GetItemCount(); ++row) {
        if (list.GetItemText(row, 1) != L"FOLDER" || list.GetItemText(row, 0) == L"KXR_Miscellaneous")
            continue;
        ++folders;
        EXPECT_GE(StrToInt32(list.GetItemText(row, 3).Right(4)), 2000) << row;
    }
    EXPECT_GE(folders, 4u);
}

UINT EmptyScan(LPVOID) { return 0; }

TEST_F(BasicSearchTest, ScanThatFindsNothingSaysSoOncePerScan)
{
    SetBasicScanProc(EmptyScan);
    for (int scan = 1; scan <= 2; ++scan) {
        ScanDrive(L"X:");
        ASSERT_TRUE(PumpUntil([&] { return g_noResultNotices == scan && BasicNoticeState == 2; }, 10000)) << scan;
        LastPopulatedItem = nullptr;   // "Root" listed again, as after another folder
        ListFolder(dlg.ResultTree().GetRootItem());
        PumpUntil([] { return false; }, 300);
        EXPECT_EQ(scan, g_noResultNotices);
        dlg.OnBnClickedBack();
    }
    SetBasicScanProc(nullptr);
    ScanDrive(L"X:");
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(2, g_noResultNotices);
}

// Enough files to keep a listing running for a while, even with rows handed over in batches.
constexpr int kManyFiles = 20000;
// An NTFS "scan" whose root holds many files with names and sizes known (nothing is read).
UINT ManyFilesScan(LPVOID param)
{
    FatVolumeParams.partitionType = L"NTFS";
    for (int i = 0; i < kManyFiles; ++i) {
        CString key, name;
        key.Format(L"5|%d|", 1000 + i);
        name.Format(L"many%05d.txt", i);
        g_pMainDlg->NtfsFileTable.InsertRow({ key, name, L"123", L"130000000000000000", L"", L"5" });
    }
    ResultsPresent = 1;
    static_cast<CBasicSearch*>(param)->ResultTree().EnsureRootItem();
    return 0;
}

TEST_F(BasicSearchTest, BackOrNextDuringAListingLeavesNoWorkerNoticeOrStaleRow)
{
    SetBasicScanProc(ManyFilesScan);
    CListCtrl& list = *dlg.DetailList();
    auto manyListed = [&] {
        int rows = 0;
        for (int row = 0; row < list.GetItemCount(); ++row)
            rows += list.GetItemText(row, 0).Left(4) == L"many" ? 1 : 0;
        return rows;
    };
    // The results page selects "Root", which starts its listing.
    auto startListing = [&] {
        SelectDrive(L"Y:", L"ntfs.img", L"NTFS");
        NextAnswering(IDC_LOG_LOGICAL);
        return PumpUntil([] { return g_pBasicScanThread == nullptr && g_pPopulateListThread != nullptr; }, 20000);
    };
    std::mt19937 random(11);
    for (int round = 0; round < 6; ++round) {
        ASSERT_TRUE(startListing()) << round;
        const DWORD until = ::GetTickCount() + random() % 300;
        PumpUntil([&] { return ::GetTickCount() >= until; }, 1000);
        dlg.OnBnClickedBack();
        EXPECT_TRUE(g_pPopulateListThread == nullptr && g_pPopulateDlg == nullptr) << round;
        PumpUntil([] { return false; }, 50);   // the worker's own "ended" message, if on its way
        EXPECT_TRUE(dlg.IsWindowEnabled()) << round;
        EXPECT_EQ(0, manyListed()) << round;
    }
    // A Next on the results page is refused and leaves the listing to finish whole.
    ASSERT_TRUE(startListing());
    dlg.OnBnClickedNext();
    ASSERT_TRUE(PumpUntil([] { return g_pPopulateListThread == nullptr; }, 60000));
    EXPECT_EQ(kManyFiles, list.GetItemCount());
    EXPECT_EQ(kManyFiles, manyListed());
    EXPECT_TRUE(dlg.IsWindowEnabled() && g_pPopulateDlg == nullptr && g_boxes.empty());
}

} // namespace
