// The date and time of folder rows, and when a listing must say that nothing could be recovered.
#include <gtest/gtest.h>

#include "fsrecovery/pure/result_browse.h"

TEST(ResultBrowse, FolderRowsShowTheirOwnStampByFileSystem)
{
    const uint16_t fatDate = uint16_t(((2024 - 1980) << 9) | (7 << 5) | 9),
                   fatTime = uint16_t((13 << 11) | (45 << 5) | 15);
    const CString today = FormatDayMonthYear(7, 12, 2026);
    EXPECT_EQ(CString(L"07-Dec-2026"), today);
    const FolderRowStamp fat = FolderRowDateTime(false, L"DOCS", fatDate, fatTime, today);
    EXPECT_EQ(CString(L"09-JUL-2024 13:45:30"), fat.date + L" " + fat.time);
    // NTFS keeps a file time in the date value.
    const FolderRowStamp ntfs =
        FolderRowDateTime(true, L"DOCS", 116444736000000000ull + 1352901234ull * 10000000ull, 0, today);
    EXPECT_EQ(CString(L"14-NOV-2012 13:53:54"), ntfs.date + L" " + ntfs.time);
    // The catch-all folder was made by the scan: today, and the scan's time word.
    for (bool isNtfs : { false, true }) {
        const FolderRowStamp misc = FolderRowDateTime(isNtfs, L"KXR_Miscellaneous", 0, fatTime, today);
        EXPECT_EQ(CString(L"07-Dec-2026 13:45:30"), misc.date + L" " + misc.time);
    }
}

TEST(ResultBrowse, NoResultsNoticeOnlyForAnEmptyTreeAfterAScan)
{
    EXPECT_TRUE(NoResultsNoticeDue(0, 1, L"", 1));
    EXPECT_TRUE(NoResultsNoticeDue(0, 2, L"KXR_Miscellaneous", 1));
    EXPECT_FALSE(NoResultsNoticeDue(0, 2, L"DOCS", 1));
    EXPECT_FALSE(NoResultsNoticeDue(1, 1, L"", 1));
    EXPECT_FALSE(NoResultsNoticeDue(0, 1, L"", kLogLoadedPage));
}
