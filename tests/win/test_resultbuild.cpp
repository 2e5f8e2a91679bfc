// The results tree built from the found-entry rows: the folders of two volumes whose cluster
// numbers coincide stay apart, and the tree paints again once built.
#include <gtest/gtest.h>

#include <map>

#include "app/pure/folder_nodes.h"
#include "app/treeclass.h"
#include "common/plain_dialog.h"
#include "fsrecovery/result_tree.h"
#include "tests/pure/result_tree_sink.h"
#include "storage/pure/globals.h"
#include "test_resource.h"

namespace {

class ResultBuildTest : public ::testing::Test {
protected:
    CWnd dlg;
    CTreeClass tree;

    void SetUp() override
    {
        ASSERT_TRUE(zr_test::OpenPlainTestDialog(dlg));
        ASSERT_TRUE(tree.SubclassDlgItem(IDC_TEST_TREE, &dlg));
        ActiveTree = &tree;
        ScanLogLoading = 0;
        SigVideoSearchPage = 0;
        PlatformKind = 'N';
    }

    void TearDown() override
    {
        tree.DeleteAllResults();
        if (dlg.m_hWnd)
            ::DestroyWindow(dlg.m_hWnd);
        CWnd::DeleteTempMap();
        ActiveTree = nullptr;
    }
};

TEST_F(ResultBuildTest, TreeKeepsTheFoldersOfTwoVolumesWithEqualClustersApart)
{
    FoundStore rows;
    for (uint64_t volume : { 100, 900 }) {
        CString name;
        name.Format(L"top %llu", (unsigned long long)volume);
        AddFoundRow(rows, FsKind::Fat32, name, 3, 0, volume, true, true);
        name.Format(L"child %llu", (unsigned long long)volume);
        AddFoundRow(rows, FsKind::Fat32, name, 9, 3, volume, true, true);
    }
    MarkOrphansShowing(rows, nullptr);
    BuildFoundTree(rows, &tree, nullptr, nullptr);

    std::map<CString, HTREEITEM> items;
    for (FolderNode* node = tree.Folders.FolderNodeList.head; node; node = node->next)
        items[node->name] = node->item;
    ASSERT_EQ(tree.Folders.FolderNodeList.count, 4u);
    EXPECT_EQ(tree.GetParentItem(items[L"child 100"]), items[L"top 100"]);
    EXPECT_EQ(tree.GetParentItem(items[L"child 900"]), items[L"top 900"]);
    EXPECT_EQ(rows.EntryCount(), 0u);
}

// The tree is not repainted while it is built, and paints again once it is.
int g_treeDraws = 0;
WNDPROC g_dialogProc = nullptr;
LRESULT CALLBACK CountTreeDraws(HWND wnd, UINT msg, WPARAM w, LPARAM l)
{
    if (msg == WM_NOTIFY && reinterpret_cast<NMHDR*>(l)->code == NM_CUSTOMDRAW)
        ++g_treeDraws;
    return ::CallWindowProcW(g_dialogProc, wnd, msg, w, l);
}

TEST_F(ResultBuildTest, BuiltTreePaintsAgain)
{
    dlg.ShowWindow(SW_SHOW);
    g_dialogProc = (WNDPROC)::SetWindowLongPtrW(dlg.GetSafeHwnd(), GWLP_WNDPROC, (LONG_PTR)CountTreeDraws);
    for (bool ntfs : { false, true }) {
        SCOPED_TRACE(ntfs ? "NTFS" : "FAT");
        tree.DeleteAllResults();
        FoundStore rows;
        AddFoundRow(rows, ntfs ? FsKind::Ntfs : FsKind::Fat32, L"top", 30, ntfs ? 5 : 0, 0);
        BuildFoundTree(rows, &tree, nullptr, nullptr);
        g_treeDraws = 0;
        tree.Invalidate();
        tree.UpdateWindow();
        EXPECT_GT(g_treeDraws, 0);
    }
    ::SetWindowLongPtrW(dlg.GetSafeHwnd(), GWLP_WNDPROC, (LONG_PTR)g_dialogProc);
}

} // namespace
