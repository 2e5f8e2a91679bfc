// Browsing the results of a Basic Search: reading folders, notices, and leaving a listing midway.

#include <random>

#include "app/notices.h"
#include "app/waitdialogs.h"
#include "common/basic_search_fixture.h"
#include "common/images.h"
#include "common/ui_wait.h"
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

FolderNode* NodeOf(CTreeClass& tree, HTREEITEM item)
{
    return (FolderNode*)tree.GetItemData(item);
}

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

// An NTFS "scan" whose root holds enough files (known without reading) to keep a listing busy.
constexpr int kManyFiles = 20000;
UINT ManyFilesScan(LPVOID param)
{
    CBasicSearch* dlg = static_cast<CBasicSearch*>(param);
    FoundVolume ntfs;
    ntfs.kind = FsKind::Ntfs;
    ntfs.params.partitionType = L"NTFS";
    const uint32_t volume = dlg->Store().AddVolume(ntfs);
    for (int i = 0; i < kManyFiles; ++i) {
        NtfsFileRow row;
        row.volume = volume;
        row.parent = 5;
        row.sector = 1000 + i;
        row.size = 123;
        row.fileTime = 130000000000000000ull;
        row.flags = NtfsFileRow::kSized | NtfsFileRow::kStamped;
        CString name;
        name.Format(L"many%05d.txt", i);
        dlg->Store().AddNtfsFile(row, ToUtf16Units(name));
    }
    dlg->SetResultsPresent(true);
    dlg->ResultTree().EnsureRootItem();
    return 0;
}

TEST_F(BasicSearchTest, BackOrNextDuringAListingLeavesNoWorkerNoticeOrStaleRow)
{
    SetBasicScanProc(ManyFilesScan);
    CListCtrl& list = *dlg.DetailList();
    auto manyListed = [&] {
        int rows = 0;
        for (int row = 0; row < list.GetItemCount(); ++row)
            rows += list.GetItemText(row, 0).Left(4) == L"many";
        return rows;
    };
    // The results page selects "Root", which starts its listing. The listing lasts from one
    // message (the scan's end) to another (its own end): both may come in one drain of the queue.
    auto startListing = [&] {
        SelectDrive(L"Y:", L"ntfs.img", L"NTFS");
        NextAnswering(IDC_LOG_LOGICAL);
        return PumpEachUntil([&] { return dlg.ScanThread() == nullptr && g_pPopulateListThread != nullptr; }, 20000);
    };
    std::mt19937 random(11);
    for (int round = 0; round < 6; ++round) {
        ASSERT_TRUE(startListing()) << round;
        const DWORD until = ::GetTickCount() + random() % 300;
        PumpUntil([&] { return ::GetTickCount() >= until; }, 1000);
        dlg.OnBnClickedBack();
        EXPECT_TRUE(g_pPopulateListThread == nullptr && g_pPopulateDlg == nullptr) << round;
        PumpUntil([] { return false; }, 50); // the worker's own "ended" message, if on its way
        EXPECT_TRUE(dlg.IsWindowEnabled()) << round;
        EXPECT_EQ(0, manyListed()) << round;
    }
    // The about box, closed while a listing runs, leaves the tree locked and the listing's notice
    // in front: the box enabled its owner when it ended.
    ASSERT_TRUE(startListing());
    {
        DialogAnswerer ok(IDC_ABOUT_MAIL, IDC_NOTICE_OK);
        ShowAboutDialog();
        EXPECT_EQ(1, ok.Count());
    }
    if (g_pPopulateListThread != nullptr) {
        EXPECT_FALSE(dlg.ResultTree().IsWindowEnabled());
        ASSERT_NE(nullptr, g_pPopulateDlg);
        EXPECT_TRUE(g_pPopulateDlg->IsWindowVisible());
    }
    dlg.OnBnClickedBack();

    // A Next on the results page is refused and leaves the listing to finish whole.
    ASSERT_TRUE(startListing());
    dlg.OnBnClickedNext();
    ASSERT_TRUE(PumpUntil([] { return g_pPopulateListThread == nullptr; }, 60000));
    EXPECT_EQ(kManyFiles, list.GetItemCount());
    EXPECT_EQ(kManyFiles, manyListed());
    EXPECT_TRUE(dlg.IsWindowEnabled() && g_pPopulateDlg == nullptr && g_boxes.empty());
}

} // namespace
