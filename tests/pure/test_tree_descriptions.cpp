// File-type texts of the file lists, the folder-node list, the range shown for a partition
// recognised on a logical drive, and how a folder's tick box follows its subfolders'.
#include <gtest/gtest.h>

#include <vector>

#include "app/pure/descriptions.h"
#include "app/pure/folder_nodes.h"
#include "app/pure/recognised_range.h"
#include "app/pure/tree_rules.h"

// The sanitizer build reports any record the emptying leaves behind.
TEST(FolderNodes, EmptyingFreesEveryRecordAndCanRefill)
{
    ResultFolders folders;
    FolderNodeListRecord& FolderNodeList = folders.FolderNodeList;
    for (uint32_t id = 10; id < 13; ++id) {
        FolderNode values;
        values.ownId = id;
        AppendFolderNode(FolderNodeList, values);
    }
    folders.Reset();
    EXPECT_EQ(FolderNodeList.tail, nullptr);
    AppendFolderNode(FolderNodeList, FolderNode{});
    EXPECT_EQ(FolderNodeList.head, FolderNodeList.tail);
}

// A record that could not be shown leaves the chain whole: head, middle and tail alike.
TEST(FolderNodes, RemovingOneRecordKeepsTheChain)
{
    ResultFolders folders;
    FolderNodeListRecord& FolderNodeList = folders.FolderNodeList;
    std::vector<FolderNode*> nodes;
    for (uint32_t id = 1; id <= 4; ++id) {
        FolderNode values;
        values.ownId = id;
        nodes.push_back(AppendFolderNode(FolderNodeList, values));
    }
    const uint64_t version = FolderNodeList.version;
    RemoveFolderNode(FolderNodeList, nodes[3]);
    RemoveFolderNode(FolderNodeList, nodes[0]);
    std::vector<uint32_t> ids;
    for (FolderNode* n = FolderNodeList.head; n; n = n->next)
        ids.push_back(n->ownId);
    EXPECT_EQ(ids, (std::vector<uint32_t>{ 2, 3 }));
    EXPECT_EQ(FolderNodeList.count, 2u);
    EXPECT_EQ(FolderNodeList.tail->ownId, 3u);
    EXPECT_NE(FolderNodeList.version, version);
    EXPECT_EQ(AppendFolderNode(FolderNodeList, FolderNode{}), FolderNodeList.tail);
}

TEST(Descriptions, FileTypeByExtension)
{
    const struct {
        const wchar_t* ext;
        const wchar_t* type;
    } cases[] = {
        { L".Docx", L"DOCX File" },
        { L"", L"File" },       // mixed case is not in the table
        { L".oc", L"OC File" }, // the tail of ".DOC" is no extension of its own
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetFileTypeDescription(c.ext), CString(c.type)) << ToUtf8(c.ext);
}

TEST(RecognisedRange, ItemTextAndTheDriveSizeLimitingTheRange)
{
    const RecognisedItemText t = ParseRecognisedItemText(L" Recognised2 - 64.00 MB - NTFS ");
    EXPECT_EQ(t.number, 2);
    EXPECT_EQ(t.fsName, CString(L"NTFS"));
    CStringArray keys;
    keys.Add(L"\\\\.\\D:"); // the drive but no size: passed over
    keys.Add(L"\\\\.\\D:| 5000 ");
    const struct {
        const wchar_t* drive;
        const wchar_t* end;
        const wchar_t* endShown;
        uint64_t sectors;
    } cases[] = {
        { L"D:", L"4000", L"4000", 5000 },
        { L"D:", L"7000", L"5000", 5000 }, // an end beyond the drive is cut to it
        { L"E:", L"7000", L"7000", 7000 }, // no key: the partition's end is the limit
    };
    for (const auto& c : cases) {
        const RecognisedRange r = ComputeRecognisedRange(L"63", c.end, keys, c.drive);
        EXPECT_EQ(r.endText, CString(c.endShown)) << ToUtf8(c.end);
        EXPECT_EQ(r.driveSectors, c.sectors);
    }
}

// A folder is ticked only by its own tick: its subfolders all ticked leave it partly ticked, while
// a folder ticked itself stays ticked as long as all of them are.
TEST(TreeRules, AFolderIsTickedOnlyByItsOwnTick)
{
    const int all[] = { kCheckChecked, kCheckNone, kCheckChecked };
    const int some[] = { kCheckChecked, kCheckUnchecked };
    const int deep[] = { kCheckPartial, kCheckChecked };
    const int none[] = { kCheckUnchecked, kCheckUnchecked };
    EXPECT_EQ(kCheckPartial, ParentStateAfterCheck(kCheckUnchecked, all, 3));
    EXPECT_EQ(kCheckPartial, ParentStateAfterCheck(kCheckPartial, all, 3));
    EXPECT_EQ(kCheckChecked, ParentStateAfterCheck(kCheckChecked, all, 3));
    for (int parent : { kCheckUnchecked, kCheckPartial, kCheckChecked }) {
        EXPECT_EQ(kCheckPartial, ParentStateAfterCheck(parent, some, 2)) << parent;
        EXPECT_EQ(kCheckPartial, ParentStateAfterCheck(parent, deep, 2)) << parent;
        EXPECT_EQ(kCheckUnchecked, ParentStateAfterCheck(parent, none, 2)) << parent;
    }
    EXPECT_EQ(kCheckPartial, ParentStateAfterUncheck(some, 2));
    EXPECT_EQ(kCheckUnchecked, ParentStateAfterUncheck(none, 2));
}
