// The results-tree builders over hand-made found-entry rows, and the directory-sector reading of
// the folder listing (long names and file records are checked on the images under Wine).
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <vector>

#include "fsrecovery/pure/folder_listing.h"
#include "fsrecovery/pure/result_tree.h"
#include "storage_test_util.h"
#include "result_tree_sink.h"

namespace {

using storage_test::PutDirEntry;

// Names each inserted folder's item and parent item, for the checks below.
class NamingSink : public RecordingSink {
public:
    TreeItemHandle Insert(TreeItemHandle parent, const FoundFolder& folder) override
    {
        const size_t before = parentOf.size();
        TreeItemHandle item = RecordingSink::Insert(parent, folder);
        if (parentOf.size() != before) {
            parents[folder.name] = parent;
            items[folder.name] = item;
        }
        return item;
    }
    std::map<CString, TreeItemHandle> parents, items;
};

struct Row {
    const wchar_t* name;
    uint32_t self, parent;
    uint64_t cluster0Start;
};

class ResultTreeTest : public ::testing::Test {
protected:
    void Fill(FsKind kind, std::initializer_list<Row> rows)
    {
        for (const Row& r : rows)
            AddFoundRow(store, kind, r.name, r.self, r.parent, r.cluster0Start);
    }
    // The passes as the scan runs them: orphans marked, then the tree built.
    void Build()
    {
        MarkOrphans(store);
        BuildResultTree(store, sink);
    }
    uint32_t ParentOf(const wchar_t* name)
    {
        for (size_t i = 0; i < store.EntryCount(); ++i)
            if (store.EntryName(i) == name)
                return uint32_t(store.Entry(i).parent);
        return UINT32_MAX;
    }

    FoundStore store;
    NamingSink sink;
};

TEST_F(ResultTreeTest, OrphansAreRowsWhoseParentIsMissingOnTheirOwnVolume)
{
    Fill(FsKind::Ntfs,
         { { L"first", 7, 5, 0 },        // parent is the root
           { L"childOfFirst", 9, 7, 0 }, // parent is the row found first
           { L"lost", 11, 40, 0 },
           { L"otherVolume", 12, 7, 900 }, // record 7 exists, but on another volume
           { L"self5", 5, 5, 0 } });
    EXPECT_EQ(MarkOrphans(store), 2u);
    EXPECT_EQ(ParentOf(L"first"), 5u);
    EXPECT_EQ(ParentOf(L"childOfFirst"), 7u);
    EXPECT_EQ(ParentOf(L"lost"), kMissingParentId);
    EXPECT_EQ(ParentOf(L"otherVolume"), kMissingParentId);
    EXPECT_EQ(ParentOf(L"self5"), 5u);
}

TEST_F(ResultTreeTest, NtfsTreeNestsChildrenAndPutsOrphansUnderTheCatchAll)
{
    Fill(FsKind::Ntfs,
         { { L"Docs", 30, 5, 0 },
           { L"A", 31, 30, 0 },
           { L"B", 32, 30, 0 },
           { L"C", 33, 30, 0 },
           { L"Deep", 34, 33, 0 },
           { L"Orphan", 50, 77, 0 },
           { L"UnderOrphan", 51, 50, 0 },
           { L"", 52, 31, 0 },
           { L"", 53, 31, 0 },
           { L"RootRow", 5, 5, 0 } });
    // A real folder of the catch-all's name, found before it, takes no orphans.
    FoundFolder namesake;
    namesake.name = kMiscFolderName;
    namesake.id = 40;
    const TreeItemHandle namesakeItem = sink.Insert(RecordingSink::kRoot, namesake);
    FoundFolder misc;
    misc.name = kMiscFolderName;
    misc.id = kMissingParentId;
    TreeItemHandle miscItem = sink.Insert(RecordingSink::kRoot, misc);
    ASSERT_NE(namesakeItem, miscItem);
    const int firstNameless = ResultTreeBuilder(store, sink).NamelessFolderCounter;
    Build();

    EXPECT_EQ(store.EntryCount(), 0u);
    EXPECT_EQ(sink.parents[L"Docs"], RecordingSink::kRoot);
    for (const wchar_t* child : { L"A", L"B", L"C" })
        EXPECT_EQ(sink.parents[child], sink.items[L"Docs"]) << child;
    EXPECT_EQ(sink.parents[L"Deep"], sink.items[L"C"]);
    EXPECT_EQ(sink.parents[L"Orphan"], miscItem);
    EXPECT_EQ(sink.parents[L"UnderOrphan"], sink.items[L"Orphan"]);
    CString one, two;
    one.Format(L"DIR_%d", firstNameless);
    two.Format(L"DIR_%d", firstNameless + 1);
    EXPECT_EQ(sink.parents[one], sink.items[L"A"]);
    EXPECT_EQ(sink.parents[two], sink.items[L"A"]);
    // The root's own row is never a top-level folder; it ends flat under the catch-all.
    EXPECT_EQ(sink.parents[L"RootRow"], miscItem);
    EXPECT_EQ(sink.folders.FolderNodeList.count, 12u);
}

// One catch-all folder on the first volume takes the orphans of every volume, each orphan with
// its own subfolders below it, found on its own volume.
TEST_F(ResultTreeTest, OrphansOfEveryVolumeNestUnderTheOneCatchAll)
{
    Fill(FsKind::Fat32, { { kMiscFolderName, kMissingParentId, 0, 100 },
                          { L"A_orphan", 20, 99, 100 },
                          { L"A_under", 21, 20, 100 },
                          { L"B_top", 3, 0, 900 },
                          { L"B_orphan", 20, 77, 900 },
                          { L"B_under", 22, 20, 900 },
                          { L"B_deeper", 23, 22, 900 },
                          { L"C_orphan", 30, 77, 1700 },
                          { L"C_under", 31, 30, 1700 } });
    Build();
    const TreeItemHandle misc = sink.items[kMiscFolderName];
    ASSERT_NE(misc, nullptr);
    EXPECT_EQ(sink.parents[kMiscFolderName], RecordingSink::kRoot);
    EXPECT_EQ(sink.parents[L"B_top"], RecordingSink::kRoot);
    for (const wchar_t* orphan : { L"A_orphan", L"B_orphan", L"C_orphan" })
        EXPECT_EQ(sink.parents[orphan], misc) << orphan;
    EXPECT_EQ(sink.parents[L"A_under"], sink.items[L"A_orphan"]);
    EXPECT_EQ(sink.parents[L"B_under"], sink.items[L"B_orphan"]);
    EXPECT_EQ(sink.parents[L"B_deeper"], sink.items[L"B_under"]);
    EXPECT_EQ(sink.parents[L"C_under"], sink.items[L"C_orphan"]);
    EXPECT_EQ(sink.folders.FolderNodeList.count, 9u);
}

TEST_F(ResultTreeTest, LeftoversGoToRootWithoutACatchAllFolder)
{
    Fill(FsKind::Fat32, { { L"Top", 8, 0, 0 }, { L"Stray", 20, 99, 0 } });
    Build();
    EXPECT_EQ(sink.parents[L"Top"], RecordingSink::kRoot);
    ASSERT_EQ(sink.parents.count(L"Stray"), 1u);
    EXPECT_EQ(sink.parents[L"Stray"], nullptr);
    EXPECT_EQ(store.EntryCount(), 0u);
}

TEST_F(ResultTreeTest, FatVolumesWithCoincidingClustersKeepTheirOwnFolders)
{
    Fill(FsKind::Fat32,
         { { L"A_top", 3, 0, 100 }, { L"A_child", 9, 3, 100 }, { L"B_top", 3, 0, 900 }, { L"B_child", 10, 3, 900 } });
    Build();
    ASSERT_NE(sink.items[L"A_top"], sink.items[L"B_top"]);
    EXPECT_EQ(sink.parents[L"A_child"], sink.items[L"A_top"]);
    EXPECT_EQ(sink.parents[L"B_child"], sink.items[L"B_top"]);
}

// Each scan numbers its nameless folders from "DIR_1" in the order it places them (root folders
// by own id, then breadth-first), however many scans ran before it in the process: the same disk
// gives the same names the second time.
// Nameless folders are numbered on from one scan to the next, so that two scans' folders saved into
// one destination never share a name.
TEST(ResultTreeNaming, NamelessFoldersAreNumberedOnAcrossScans)
{
    int next = 0;
    for (int scan = 0; scan < 2; ++scan) {
        FoundStore store;
        NamingSink sink;
        AddFoundRow(store, FsKind::Ntfs, L"Top", 30, 5, 0);
        AddFoundRow(store, FsKind::Ntfs, L"", 41, 30, 0);
        AddFoundRow(store, FsKind::Ntfs, L"", 40, 5, 0);
        AddFoundRow(store, FsKind::Ntfs, L"", 42, 41, 0);
        MarkOrphans(store);
        const int first = ResultTreeBuilder(store, sink).NamelessFolderCounter;
        if (scan > 0)
            EXPECT_EQ(first, next);
        BuildResultTree(store, sink);
        CString dir[3];
        for (int k = 0; k < 3; ++k)
            dir[k].Format(L"DIR_%d", first + k);
        ASSERT_EQ(sink.parents.size(), 4u) << "scan " << scan;
        EXPECT_EQ(sink.parents[dir[0]], RecordingSink::kRoot) << "scan " << scan;
        EXPECT_EQ(sink.parents[dir[1]], sink.items[L"Top"]) << "scan " << scan;
        EXPECT_EQ(sink.parents[dir[2]], sink.items[dir[1]]) << "scan " << scan;
        next = first + 3;
    }
}

TEST(FolderListing, ShortAndDisplayNames)
{
    const struct {
        const char* raw;
        const wchar_t* shortName;
    } cases[] = { { "\xE5"
                    "EPORT  TXT",
                    L"_EPORT.TXT" },
                  { "README     ", L"README" },
                  { "A B     C D", L"AB.CD" } };
    for (const auto& c : cases) {
        uint8_t raw[32] = {};
        std::memcpy(raw, c.raw, 11);
        EXPECT_EQ(FatShortName(DecodeFatDirEntry(raw)), c.shortName) << c.raw;
    }
    EXPECT_EQ(FatDisplayName(L"Quarterly report", L"QUARTE~1.TXT"), L"Quarterly report.TXT");
    EXPECT_EQ(FatDisplayName(L"notes.md", L"NOTES.MD"), L"notes.md");
}

TEST(FolderListing, DirectorySectorListsFilesUntilTheEndMark)
{
    uint8_t sector[512] = {};
    PutDirEntry(sector + 0, ".          ", 0x10, 5, 0);
    PutDirEntry(sector + 32, "SUBDIR     ", 0x10, 6, 0);
    PutDirEntry(sector + 64, "A\0\0\0\0\0\0\0\0\0\0", 0x0F, 0, 0); // a long-name part holding no name
    PutDirEntry(sector + 96, "BUDGET  XLS", 0x20, 0x00030007, 1234);
    PutDirEntry(sector + 128,
                "\xE5"
                "EPORT  TXT",
                0x20, 8, 10);
    PutDirEntry(sector + 160, "BAD?NAMETXT", 0x20, 9, 10);
    PutDirEntry(sector + 192, "LABEL      ", 0x08, 0, 0);
    PutDirEntry(sector + 224,
                "\x9aN\xd8"
                "C~1  TXT",
                0x20, 11, 5); // OEM letters are not garbage
    // entry 8 stays zero: the end of the directory; entry 9 must not be reached
    PutDirEntry(sector + 288, "AFTER   TXT", 0x20, 10, 1);

    std::vector<FatListedEntry> files;
    auto collect = [&](const FatListedEntry& e) { files.push_back(e); };
    EXPECT_FALSE(ListFatDirectorySector(nullptr, sector, 1000, true, false, nullptr, collect));
    ASSERT_EQ(files.size(), 3u); // neither the bad name nor the volume label is a file
    EXPECT_EQ(files[0].firstCluster, 0x00030007u);
    EXPECT_EQ(files[0].entry.size, 1234u);
    EXPECT_TRUE(files[1].deleted);
    EXPECT_EQ(files[2].entry.size, 5u);

    files.clear();
    ListFatDirectorySector(nullptr, sector, 1000, false, true, nullptr, collect);
    ASSERT_EQ(files.size(), 4u); // the folder too, with FAT16's 16-bit cluster
    EXPECT_EQ(files[0].name, L"SUBDIR");
    EXPECT_EQ(files[1].firstCluster, 7u);

    const StopFlag stop{ 1 };
    files.clear();
    EXPECT_TRUE(ListFatDirectorySector(nullptr, sector, 1000, true, false, &stop, collect));
    EXPECT_TRUE(files.empty());
}

TEST(FolderListing, NtfsFileKeys)
{
    uint64_t parent = 0, sector = 0;
    EXPECT_TRUE(ParseNtfsFileKey(L"37|123456789012|", parent, sector));
    EXPECT_EQ(parent, 37u);
    EXPECT_EQ(sector, 123456789012u);
    for (const wchar_t* bad : { L"", L"|5|", L"37", L"37||", L"x|5|" })
        EXPECT_FALSE(ParseNtfsFileKey(bad, parent, sector)) << bad;
}

} // namespace
