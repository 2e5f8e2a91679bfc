// The check-box tree on a real tree control: check propagation by clicks on the state icons, its
// GDI balance, and the results-tree items with their folder records.
#include <gtest/gtest.h>

#include <vector>

#include "afxwin.h"
#include "app/treeclass.h"
#include "common/plain_dialog.h"
#include "common/ui_wait.h"
#include "test_resource.h"

using zr_test::PumpPending;

namespace {

class TreeClassTest : public ::testing::Test {
protected:
    CWnd dlg;
    CTreeClass tree;

    void SetUp() override
    {
        ASSERT_TRUE(zr_test::OpenPlainTestDialog(dlg));
        ASSERT_TRUE(tree.SubclassDlgItem(IDC_TEST_TREE, &dlg));
        tree.ModifyStyle(0, TVS_CHECKBOXES);
        dlg.ShowWindow(SW_SHOW);
        dlg.UpdateWindow();
        ActiveTree = &tree;
        ScanLogLoading = 0;
        SigVideoSearchPage = 0;
        PumpPending();
    }

    void TearDown() override
    {
        tree.DeleteAllResults();
        if (dlg.m_hWnd)
            ::DestroyWindow(dlg.m_hWnd);
        PumpPending();
        CWnd::DeleteTempMap();
        SigVideoSearchPage = 0;
        ScanLogLoading = 0;
    }

    void ClickStateIcon(HTREEITEM item)
    {
        CRect label;
        ASSERT_TRUE(tree.GetItemRect(item, &label, TRUE));
        CImageList* states = tree.GetImageList(TVSIL_STATE);
        ASSERT_NE(nullptr, states);
        const CPoint at(label.left - states->GetIconSize().cx / 2, label.CenterPoint().y);
        tree.PostMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
        tree.PostMessage(WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
        PumpPending();
    }

    std::vector<int> States(std::initializer_list<HTREEITEM> items)
    {
        std::vector<int> out;
        for (HTREEITEM h : items)
            out.push_back(tree.GetCheckState(h));
        return out;
    }
};

} // namespace

TEST_F(TreeClassTest, ClicksOnStateIconsPropagateUpAndDown)
{
    HTREEITEM root = tree.InsertItem(L"Root");
    HTREEITEM a = tree.InsertItem(L"A", root);
    HTREEITEM a1 = tree.InsertItem(L"a1", a);
    HTREEITEM a2 = tree.InsertItem(L"a2", a);
    HTREEITEM b = tree.InsertItem(L"B", root);
    tree.Expand(root, TVE_EXPAND);
    tree.Expand(a, TVE_EXPAND);
    tree.UpdateWindow();

    ClickStateIcon(a1);
    EXPECT_EQ(States({ a1, a2, a, b, root }), (std::vector<int>{ 2, 1, 3, 1, 3 }));
    EXPECT_EQ(SelectedTreeItem, a1);
    EXPECT_EQ(tree.GetSelectedItem(), a1);
    // Every child ticked does not tick a folder: its own files are not among them.
    ClickStateIcon(a2);
    ClickStateIcon(b);
    EXPECT_EQ(States({ a, root }), (std::vector<int>{ 3, 3 }));
    // Unticking a leaf reaches every ancestor.
    ClickStateIcon(a2);
    EXPECT_EQ(States({ a2, a, root }), (std::vector<int>{ 1, 3, 3 }));
    // A partly checked item is unticked with its whole subtree.
    ClickStateIcon(root);
    EXPECT_EQ(States({ root, a, a1, a2, b }), (std::vector<int>{ 1, 1, 1, 1, 1 }));
    ClickStateIcon(root);
    EXPECT_EQ(States({ root, a, a1, a2, b }), (std::vector<int>{ 2, 2, 2, 2, 2 }));

    // An item without a state image counts as checked: a toggle unchecks it.
    tree.SetItemState(b, 0, TVIS_STATEIMAGEMASK);
    tree.ToggleCheck(b);
    EXPECT_EQ(tree.GetCheckState(b), 1);
}

TEST_F(TreeClassTest, RepaintingKeepsTheGdiCountStable)
{
    for (int i = 0; i < 5; ++i)
        tree.SetItemColor(tree.InsertItem(L"found"), kFoundGreen);
    tree.Invalidate();
    tree.UpdateWindow();
    const int before = ZrGdiLiveObjects();
    for (int i = 0; i < 200; ++i) {
        tree.Invalidate();
        tree.UpdateWindow();
    }
    EXPECT_EQ(ZrGdiLiveObjects(), before);
}

TEST_F(TreeClassTest, ResultItemsShareOneRootAndOneItemPerId)
{
    HTREEITEM docs = tree.InsertResultItem(nullptr, L"Docs", 0, 40, 0, 0, 7, 8, 5, 0, 1, 123);
    ASSERT_NE(nullptr, docs);
    HTREEITEM root = tree.GetRootItem();
    EXPECT_EQ(tree.GetParentItem(docs), root);
    EXPECT_EQ(reinterpret_cast<FolderNode*>(tree.GetItemData(docs))->cluster0Start, 123u);

    // The same id again: the first item, no new item, no new record.
    const UINT count = tree.GetCount();
    EXPECT_EQ(tree.InsertResultItem(root, L"Docs again", 0, 40, 0, 0, 0, 0, 5, 0, 0, 123), docs);
    EXPECT_EQ(tree.GetCount(), count);
    EXPECT_EQ(tree.Folders.FolderNodeList.count, 1u);
    EXPECT_EQ(tree.Folders.LastInsertedItem.item, docs);

    // Parent 0 with "Root" present: the existing "Root"; a name starting "Root" is a folder.
    HTREEITEM rootish = tree.InsertResultItem(nullptr, L"Rootkit", 0, 41, 0, 0, 0, 0, 5, 0, 0, 0);
    EXPECT_EQ(tree.GetParentItem(rootish), root);
    EXPECT_EQ(tree.GetNextSiblingItem(root), nullptr);

    // While a log loads, every call makes its own item.
    ScanLogLoading = 1;
    HTREEITEM twice = tree.InsertResultItem(docs, L"Sub", 0, 50, 0, 0, 0, 0, 40, 0, 0, 0);
    EXPECT_NE(tree.InsertResultItem(docs, L"Sub", 0, 50, 0, 0, 0, 0, 40, 0, 0, 0), twice);
    EXPECT_EQ(tree.Folders.FolderNodeList.count, 4u);
}

TEST_F(TreeClassTest, TicksAndOtherIdsSurviveLaterInserts)
{
    HTREEITEM ticked = tree.InsertResultItem(nullptr, L"Ticked", 0, 60, 0, 0, 0, 0, 5, 0, 0, 0);
    HTREEITEM unticked = tree.InsertResultItem(nullptr, L"Unticked", 0, 61, 0, 0, 0, 0, 5, 0, 0, 0);
    tree.SetCheckRecursive(ticked, kCheckChecked);
    // A folder found in a ticked one starts unticked all the same.
    EXPECT_EQ(tree.GetCheckState(tree.InsertResultItem(ticked, L"in", 0, 62, 0, 0, 0, 0, 60, 0, 0, 0)),
              kCheckUnchecked);
    EXPECT_EQ(tree.GetCheckState(ticked), kCheckChecked);
    EXPECT_EQ(tree.GetCheckState(tree.InsertResultItem(unticked, L"in", 0, 63, 0, 0, 0, 0, 61, 0, 0, 0)),
              kCheckUnchecked);

    // A page index left over from a Signature or Video Search never rewrites another id's entry.
    SigVideoSearchPage = 2;
    EXPECT_NE(tree.InsertResultItem(nullptr, L"Other", 0, 64, 0, 0, 0, 0, 5, 0, 0, 0), ticked);
    SigVideoSearchPage = 0;
    EXPECT_EQ(tree.InsertResultItem(nullptr, L"Ticked", 0, 60, 0, 0, 0, 0, 5, 0, 0, 0), ticked);
}

TEST_F(TreeClassTest, LargeTreesUseTheIndexAndEmptyingFreesTheRecords)
{
    HTREEITEM top = tree.InsertResultItem(nullptr, L"Top", 0, 1, 0, 0, 0, 0, 5, 0, 0, 0);
    tree.Expand(top, TVE_COLLAPSE);
    const int kFolders = 20000;
    std::vector<HTREEITEM> items;
    items.reserve(kFolders);
    for (int i = 0; i < kFolders; ++i)
        items.push_back(tree.InsertResultItem(top, L"f", 0, 1000 + i, 0, 0, 0, 0, 1, 0, 0, 0));
    EXPECT_EQ(tree.Folders.TreeItemIndex.Size(), (size_t)kFolders + 1);
    for (int i = 0; i < kFolders; i += 997)
        EXPECT_EQ(tree.InsertResultItem(top, L"f", 0, 1000 + i, 0, 0, 0, 0, 1, 0, 0, 0), items[(size_t)i]);
    EXPECT_EQ(tree.Folders.FolderNodeList.count, (uint64_t)kFolders + 1);

    tree.DeleteAllResults();
    EXPECT_EQ(tree.Folders.FolderNodeList.head, nullptr);
    EXPECT_EQ(tree.Folders.TreeItemIndex.Size(), 0u);
    tree.InsertResultItem(nullptr, L"Top", 0, 1, 0, 0, 0, 0, 5, 0, 0, 0); // a new item, not a stale one
    EXPECT_EQ(tree.GetCount(), 2u);
}

// Two search dialogs' trees never share folder records: the same id in another tree is that
// tree's own item, and emptying one leaves the other's records whole.
TEST_F(TreeClassTest, EachTreeKeepsItsOwnFolderRecords)
{
    CTreeClass other;
    ASSERT_TRUE(other.Create(WS_CHILD | TVS_CHECKBOXES, CRect(0, 0, 100, 100), &dlg, 4321));
    ActiveTree = &tree;
    HTREEITEM docs = tree.InsertResultItem(nullptr, L"Docs", 0, 40, 0, 0, 0, 0, 5, 0, 0, 0);
    HTREEITEM theirs = other.InsertResultItem(nullptr, L"Docs", 0, 40, 0, 0, 0, 0, 5, 0, 0, 0);
    ASSERT_NE(nullptr, theirs);
    EXPECT_EQ(other.GetParentItem(theirs), other.GetRootItem());
    EXPECT_EQ(tree.Folders.FolderNodeList.count, 1u);
    EXPECT_EQ(other.Folders.FolderNodeList.count, 1u);
    other.DeleteAllResults();
    EXPECT_EQ(tree.Folders.FolderNodeList.count, 1u);
    EXPECT_EQ(tree.Folders.TreeItemIndex.Find(40), docs);
    other.DestroyWindow();
}

// A batch makes the same items as single calls: texts, pictures, ticks, records,
// one item per id, the top item's tick box; the records list each parent's folders in tree order.
TEST_F(TreeClassTest, BatchedInsertsMatchSingleOnesAndListChildrenInTreeOrder)
{
    auto build = [&](bool batch) {
        tree.DeleteAllResults();
        HTREEITEM ticked = tree.InsertResultItem(nullptr, L"Ticked", 0, 60, 0, 0, 0, 0, 5, 0, 0, 0);
        tree.SetCheckRecursive(ticked, kCheckChecked);
        if (batch)
            tree.BeginResultInsert();
        const HTREEITEM root = tree.GetRootItem();
        tree.InsertResultItem(ticked, L"in", 0, 62, 0, 0, 0, 0, 60, 0, 0, 0);
        HTREEITEM b = tree.InsertResultItem(root, L"B", 0, 70, 0, 0, 3, 4, 5, 0, 1, 9);
        tree.InsertResultItem(b, L"b1", 0, 71, 0, 0, 0, 0, 70, 0, 0, 9);
        tree.InsertResultItem(root, L"B again", 0, 70, 0, 0, 0, 0, 5, 0, 0, 9);
        tree.InsertResultItem(root, L"A", 0, 80, 0, 0, 0, 0, 5, 0, 0, 0);
        if (batch)
            tree.EndResultInsert();
        std::vector<std::wstring> shown;
        for (HTREEITEM top = tree.GetRootItem(); top; top = tree.GetNextSiblingItem(top)) {
            std::vector<HTREEITEM> pending{ top };
            while (!pending.empty()) {
                const HTREEITEM item = pending.back();
                pending.pop_back();
                int image = -1, selected = -1;
                tree.GetItemImage(item, image, selected);
                const FolderNode* node = (const FolderNode*)tree.GetItemData(item);
                wchar_t line[128];
                swprintf(line, 128, L"%ls %d %d %d %u %llu", tree.GetItemText(item).GetString(), image, selected,
                         tree.GetCheckState(item), node ? node->ownId : 0u,
                         (unsigned long long)(node ? node->cluster0Start : 0));
                shown.push_back(line);
                // The records' children are the tree's, in its order.
                std::vector<HTREEITEM> children;
                for (HTREEITEM c = tree.GetChildItem(item); c; c = tree.GetNextSiblingItem(c))
                    children.push_back(c);
                std::vector<HTREEITEM> recorded;
                if (const std::vector<FolderNode*>* kept = tree.ResultChildren(item))
                    for (const FolderNode* n : *kept)
                        recorded.push_back((HTREEITEM)n->item);
                EXPECT_EQ(children, recorded) << ToUtf8(tree.GetItemText(item));
                pending.insert(pending.end(), children.rbegin(), children.rend());
            }
        }
        EXPECT_EQ(tree.Folders.FolderNodeList.count, 5u);
        return shown;
    };
    const std::vector<std::wstring> single = build(false), batched = build(true);
    EXPECT_EQ(single, batched);
    EXPECT_EQ(single.size(), 6u);
    EXPECT_EQ(single[2], L"in 1 1 1 62 0"); // under a ticked folder, unticked all the same
    EXPECT_EQ(tree.GetCheckState(tree.GetRootItem()), kCheckUnchecked);
}
