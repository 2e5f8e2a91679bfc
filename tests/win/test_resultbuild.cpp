// The results tree and the folder listings on the test images: FAT16 and NTFS folders listed from
// the devices hold every live and intact deleted file of the truth files, with their sizes; the
// tree keeps the folders of two volumes apart and takes the long names of FAT sub-folders.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "app/pure/folder_nodes.h"
#include "app/treeclass.h"
#include "common/images.h"
#include "common/plain_dialog.h"
#include "fsrecovery/folderlist.h"
#include "fsrecovery/fsglobals.h"
#include "fsrecovery/pure/folder_listing.h"
#include "fsrecovery/resultbuild.h"
#include "storage/pure/bootsector.h"
#include "storage/pure/globals.h"
#include "storage/pure/mft_runs.h"
#include "storage/sectorreader.h"
#include "test_resource.h"
#include "tests/pure/fs_image_walk.h"

namespace {

const wchar_t kFat16Device[] = L"\\\\.\\W:";
const wchar_t kNtfsDevice[] = L"\\\\.\\Y:";

// The files directly in `folder` ("/DOCS/") that the truth promises readable: name -> size.
std::map<std::string, int64_t> TruthFilesIn(const wchar_t* image, const std::string& folder)
{
    std::map<std::string, int64_t> files;
    std::ifstream in(zr_test::Narrow(zr_test::ImagePath(std::wstring(image) + L".truth.tsv")));
    for (const auto& t : fs_walk::ParseTruth(in)) {
        if (t.isDir() || t.state == "overwritten" || t.path.compare(0, folder.size(), folder) != 0)
            continue;
        const std::string name = t.path.substr(folder.size());
        if (name.find('/') == std::string::npos)
            files[name] = t.size;
    }
    return files;
}

class ResultBuildTest : public ::testing::Test {
protected:
    CWnd dlg;
    CTreeClass tree;
    CListCtrl list;

    void SetUp() override
    {
        if (zr_test::ImagesDir().empty())
            GTEST_SKIP() << "ZR_IMAGES not set";
        ASSERT_TRUE(zr_test::OpenPlainTestDialog(dlg));
        ASSERT_TRUE(tree.SubclassDlgItem(IDC_TEST_TREE, &dlg));
        ASSERT_TRUE(list.SubclassDlgItem(IDC_TEST_LIST, &dlg));
        list.ModifyStyle(0, LVS_REPORT);
        for (int column = 0; column < 10; ++column)
            list.InsertColumn(column, L"c", LVCFMT_LEFT, 60);
        ActiveTree = &tree;
        ResetResultsState();
        ScanLogLoading = 0;
        SigVideoSearchPage = 0;
        StopFolderRead = 0;
        FoundFileCount = 0;
        PlatformKind = 'N';
    }

    void TearDown() override
    {
        tree.DeleteAllResults();
        if (dlg.m_hWnd)
            ::DestroyWindow(dlg.m_hWnd);
        CWnd::DeleteTempMap();
        ActiveTree = nullptr;
        FatVolumeParams = FatVolumeParamsRecord{};
        CurrentDevicePath.Empty();
    }

    // name -> size text of every listed row.
    std::map<std::string, std::string> Listed()
    {
        std::map<std::string, std::string> rows;
        for (int row = 0; row < list.GetItemCount(); ++row)
            rows[zr_test::Narrow(list.GetItemText(row, 0).GetString())] =
                zr_test::Narrow(list.GetItemText(row, 2).GetString());
        return rows;
    }

    void ExpectTruthListed(const std::map<std::string, int64_t>& truth)
    {
        const std::map<std::string, std::string> rows = Listed();
        for (const auto& [name, size] : truth) {
            bool found = false;
            for (const auto& [listedName, listedSize] : rows) {
                if (fs_walk::PathMatches(name, listedName) || fs_walk::PathMatches(name, "\xE5" + listedName.substr(1))) {
                    found = true;
                    EXPECT_EQ(listedSize, std::to_string(size)) << name;
                }
            }
            EXPECT_TRUE(found) << name << " is not listed";
        }
        EXPECT_EQ(FoundFileCount, (uint64_t)list.GetItemCount());
    }

    // FatVolumeParams and CurrentDevicePath for the FAT16 image; the volume as the walker reads it.
    fs_walk::FatVolume LoadFat16()
    {
        KeptHandleSectorSource device(kFat16Device);
        fs_walk::FatVolume v;
        EXPECT_TRUE(fs_walk::ReadFatVolume(device, 0, v));
        FatVolumeParams.partitionType = L"FAT16";
        FatVolumeParams.sectorsPerCluster = v.spc;
        FatVolumeParams.sectorsPerFat = v.sectorsPerFat;
        FatVolumeParams.firstFatSector = uint32_t(v.fatStart);
        FatVolumeParams.rootStart = uint32_t(v.rootStart);
        FatVolumeParams.rootDirSectors = uint32_t(v.rootSectors);
        FatVolumeParams.cluster0Start = v.dataStart - 2ull * v.spc;
        CurrentDevicePath = kFat16Device;
        return v;
    }

    // The first cluster of a live folder of the FAT16 root, by its short name.
    uint32_t Fat16RootFolder(const fs_walk::FatVolume& v, const wchar_t* shortName)
    {
        KeptHandleSectorSource device(kFat16Device);
        uint32_t cluster = 0;
        for (uint64_t s = 0; s < v.rootSectors && cluster == 0; ++s) {
            uint8_t sector[512];
            if (device.Read(v.rootStart + s, 1, sector) == 0)
                break;
            ListFatDirectorySector(&device, sector, v.rootStart + s, false, true, nullptr,
                                   [&](const FatListedEntry& e) {
                if (e.entry.directory() && e.shortName == shortName)
                    cluster = e.firstCluster;
            });
        }
        return cluster;
    }
};

TEST_F(ResultBuildTest, Fat16RootAndSubfolderListTheTruthsFiles)
{
    const fs_walk::FatVolume v = LoadFat16();
    FillFileListFat(&list, 0, 0, 0, 0);
    ExpectTruthListed(TruthFilesIn(L"fat16.img", "/"));
    EXPECT_EQ(FilesListedFlag, 1u);

    const uint32_t docs = Fat16RootFolder(v, L"DOCS");
    ASSERT_NE(docs, 0u);
    list.DeleteAllItems();
    FoundFileCount = 0;
    FillFileListFat(&list, 0, docs, 0, 0);
    const auto truth = TruthFilesIn(L"fat16.img", "/DOCS/");
    ASSERT_FALSE(truth.empty());
    ExpectTruthListed(truth);

    // A cancelled listing shows nothing more.
    list.DeleteAllItems();
    StopFolderRead = 1;
    FillFileListFat(&list, 0, docs, 0, 0);
    EXPECT_EQ(list.GetItemCount(), 0);
    StopFolderRead = 0;
}

TEST_F(ResultBuildTest, ExpandingAFat16FolderGivesItsSubfoldersTheirLongNames)
{
    const fs_walk::FatVolume v = LoadFat16();
    const uint32_t docs = Fat16RootFolder(v, L"DOCS");
    const uint32_t scratch = Fat16RootFolder(v, L"SCRATCH");
    ASSERT_NE(docs, 0u);
    ASSERT_NE(scratch, 0u);
    // A folder node for the root's folders as a scan finds them: short names only.
    HTREEITEM root = tree.InsertResultItem(nullptr, L"ROOTDIR", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    HTREEITEM scratchItem = tree.InsertResultItem(root, L"SCRATCH", 0, scratch, 0, 0, 0, 0, 0, 0, 1, 0);
    ASSERT_TRUE(ExpandFatFolder(&tree, root));
    EXPECT_EQ(tree.GetItemText(scratchItem), L"Scratch");
    EXPECT_EQ(((FolderNode*)tree.GetItemData(scratchItem))->deleted, 0u);
    EXPECT_EQ(((FolderNode*)tree.GetItemData(root))->expanded, 1u);
}

TEST_F(ResultBuildTest, NtfsFolderListsTheTruthsFilesAndCachesWhatItRead)
{
    KeptHandleSectorSource device(kNtfsDevice);
    uint8_t boot[512];
    ASSERT_NE(device.Read(0, 1, boot), 0u);
    const NtfsBootFields f = ReadNtfsBootFields(boot);
    MftRunTableRecord runs;
    ASSERT_TRUE(LoadMftRunTableFrom(device, 0, f.mftCluster * f.sectorsPerCluster, f.sectorsPerCluster, runs));

    // Rows as a scan leaves them: parent and sector only; the folder records give DOCS' number.
    ZrRecordTable files{ { L"Sector" }, { L"name" }, { L"size" }, { L"date" }, { L"time" }, { L"type" } };
    uint64_t docs = 0;
    std::vector<uint8_t> rec(1024);
    for (uint64_t n = 16; n < runs.totalSectors() / 2; ++n) {
        uint64_t sector = 0;
        if (!MftRecordToLbaIn(n, runs, &sector) || device.Read(sector, 2, rec.data()) != 1024 ||
            !IsFileRecord(rec.data(), rec.size()) || !ApplyNtfsFixup(rec.data(), rec.size()))
            continue;
        MftFileName fn;
        if (!FindMftFileName(rec.data(), kNameSpaceWin32, fn) && !FindMftFileName(rec.data(), kNameSpaceWin32AndDos, fn) &&
            !FindMftFileName(rec.data(), kNameSpacePosix, fn))
            continue;
        if (rec[22] & 2) {
            if (fn.parent == 5 && fn.name == u"DOCS")
                docs = n;
            continue;
        }
        CString key;
        key.Format(L"%lu|%llu|", (unsigned long)fn.parent, (unsigned long long)sector);
        files.InsertItem(key);
    }
    ASSERT_NE(docs, 0u);

    CurrentDevicePath = kNtfsDevice;
    FillFileListNtfsFrom(files, &list, 0, docs);
    const auto truth = TruthFilesIn(L"ntfs.img", "/DOCS/");
    ASSERT_FALSE(truth.empty());
    ExpectTruthListed(truth);
    const auto first = Listed();

    // The second listing reads nothing: it works with no device at all.
    CurrentDevicePath = L"\\\\.\\NoSuchDevice:";
    list.DeleteAllItems();
    FoundFileCount = 0;
    FillFileListNtfsFrom(files, &list, 0, docs);
    EXPECT_EQ(Listed(), first);
}

ZrRecordTable EmptyFoundTable()
{
    return ZrRecordTable{ { L"Name" }, { L"sector" }, { L"self" }, { L"parent" }, { L"date" }, { L"time" },
                          { L"size" }, { L"attr" }, { L"sysID" }, { L"Type" }, { L"Deleted" }, { L"Cluster0Start" } };
}

TEST_F(ResultBuildTest, TreeKeepsTheFoldersOfTwoVolumesWithEqualClustersApart)
{
    ZrRecordTable rows = EmptyFoundTable();
    for (const wchar_t* volume : { L"100", L"900" }) {
        rows.InsertRow({ CString(L"top ") + volume, L"", L"3", L"0", L"0", L"0", L"0", L"16", L"0", L"FOLDER", L"1", volume });
        rows.InsertRow({ CString(L"child ") + volume, L"", L"9", L"3", L"0", L"0", L"0", L"16", L"0", L"FOLDER", L"1", volume });
    }
    rows.SortStable(kFoundSelf, ZrRecordTable::SortKey::Decimal);
    MarkOrphansFat(rows, nullptr);
    rows.SortStable(kFoundParent, ZrRecordTable::SortKey::Decimal);
    BuildFatTree(rows, &tree, nullptr);

    std::map<CString, HTREEITEM> items;
    for (FolderNode* node = FolderNodeList.head; node; node = node->next)
        items[node->name] = node->item;
    ASSERT_EQ(FolderNodeList.count, 4u);
    EXPECT_EQ(tree.GetParentItem(items[L"child 100"]), items[L"top 100"]);
    EXPECT_EQ(tree.GetParentItem(items[L"child 900"]), items[L"top 900"]);
    EXPECT_EQ(rows.GetItemCount(), 0);
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
        ZrRecordTable rows = EmptyFoundTable();
        rows.InsertRow({ L"top", L"", L"30", ntfs ? L"5" : L"0", L"0", L"0", L"0", L"16", L"0", L"FOLDER", L"0", L"0" });
        tree.EnsureRootItem();
        if (ntfs)
            BuildResultTree(rows, &tree, nullptr);
        else
            BuildFatTree(rows, &tree, nullptr);
        g_treeDraws = 0;
        tree.Invalidate();
        tree.UpdateWindow();
        EXPECT_GT(g_treeDraws, 0);
    }
    ::SetWindowLongPtrW(dlg.GetSafeHwnd(), GWLP_WNDPROC, (LONG_PTR)g_dialogProc);
}

}  // namespace
