// The property and file-type texts of the drive tree and file lists, and the range shown for a
// partition recognised on a logical drive.
#include <gtest/gtest.h>

#include <vector>

#include "app/pure/descriptions.h"
#include "app/pure/folder_nodes.h"
#include "app/pure/recognised_range.h"

// The sanitizer build reports any record the emptying leaves behind.
TEST(FolderNodes, EmptyingFreesEveryRecordAndCanRefill)
{
    for (uint32_t id = 10; id < 13; ++id) {
        FolderNode values;
        values.ownId = id;
        AppendFolderNode(FolderNodeList, values);
    }
    EXPECT_EQ(FolderNodeList.head->next->next, FolderNodeList.tail);
    ResetResultsState();
    EXPECT_EQ(FolderNodeList.tail, nullptr);
    AppendFolderNode(FolderNodeList, FolderNode{});
    EXPECT_EQ(FolderNodeList.head, FolderNodeList.tail);
    ResetResultsState();
}

TEST(Descriptions, PropertyRowsKeepTheirLabelsExactly)
{
    PartitionPropertyTexts p;
    p.endSector = L"2048";
    const auto rows = PartitionPropertyRows(p);
    ASSERT_EQ(rows.size(), 9u);
    EXPECT_EQ(CString(rows[0].label), CString(L"1. Start Sector :"));   // no blank after the colon
    EXPECT_EQ(rows[0].value, CString(L"0"));
    EXPECT_EQ(CString(rows[1].label), CString(L"2. End Sector : "));

    DiskPropertyTexts d;
    d.sectors = L"409600";
    const auto disk = DiskPropertyRows(d);
    ASSERT_EQ(disk.size(), 13u);
    EXPECT_EQ(disk[kDiskSectorsRow].value, CString(L"409600"));
}

TEST(Descriptions, FileTypeByExtension)
{
    const struct { const wchar_t* ext; const wchar_t* type; } cases[] = {
        { L".docx", L"Microsoft Word File" },
        { L".DOCX", L"Microsoft Word File" },
        { L".Docx", L"DOCX File" },            // mixed case is not in the table
        { L"  .pdf ", L"PDF file" },
        { L".", L" File" },
        { L"", L"File" },
        { L".xyz", L"XYZ File" },
        { L".c", L"C++ file" },
        { L".contact", L"Contact File" },
        { L".oc", L"OC File" },                // the tail of ".DOC" is no extension of its own
        { L".doc .xls", L"DOC .XLS File" },     // one extension at a time
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetFileTypeDescription(c.ext), CString(c.type)) << ToUtf8(c.ext);
}

TEST(RecognisedRange, ItemTextNamesPartitionAndFileSystem)
{
    const RecognisedItemText t = ParseRecognisedItemText(L" Recognised2 - 64.00 MB - NTFS ");
    EXPECT_EQ(t.name, CString(L"Recognised2"));
    EXPECT_EQ(t.number, 2);
    EXPECT_EQ(t.fsName, CString(L"NTFS"));
    EXPECT_EQ(ParseRecognisedItemText(L"Recognised").number, 0);
}

TEST(RecognisedRange, DriveSizeLimitsTheRange)
{
    CStringArray keys;
    keys.Add(L"\\\\.\\D:");             // the drive but no size: passed over
    keys.Add(L"\\\\.\\C:|999");
    keys.Add(L"\\\\.\\D:| 5000 ");
    const struct { const wchar_t* drive; const wchar_t* end; const wchar_t* endShown; const wchar_t* limit; uint64_t sectors; } cases[] = {
        { L"D:", L"4000", L"4000", L"5000", 5000 },
        { L"D:", L"7000", L"5000", L"5000", 5000 },   // an end beyond the drive is cut to it
        { L"E:", L"7000", L"7000", L"", 7000 },       // no key: the partition's end is the limit
        { L"E:", L"", L"", L"", 0 },
    };
    for (const auto& c : cases) {
        const RecognisedRange r = ComputeRecognisedRange(L"63", c.end, keys, c.drive);
        EXPECT_EQ(r.startText, CString(L"63"));
        EXPECT_EQ(r.endText, CString(c.endShown)) << ToUtf8(c.end);
        EXPECT_EQ(r.limitText, CString(c.limit)) << ToUtf8(c.end);
        EXPECT_EQ(r.driveSectors, c.sectors);
    }
}
