// What an open request does with a file-list row depends on its type cell alone.
#include <gtest/gtest.h>

#include "fsrecovery/pure/open_row.h"

TEST(OpenRow, TypeCellDecidesFolderFileOrNothing)
{
    const struct {
        const wchar_t* type;
        OpenRowKind kind;
    } cases[] = {
        { L"  FOLDER \t", OpenRowKind::Folder },
        { L"PDF file", OpenRowKind::File },
        { L" JPG File ", OpenRowKind::File },
        // Neither spelling the listings write: nothing is opened.
        { L"folder", OpenRowKind::None },
        { L"Files", OpenRowKind::None },
        { L"   ", OpenRowKind::None },
        { L"ile", OpenRowKind::None },
    };
    int index = 0;
    for (const auto& c : cases)
        EXPECT_EQ(int(c.kind), int(ClassifyOpenRowType(c.type))) << "case " << index++;
}
