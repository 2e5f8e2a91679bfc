// The date and time of folder rows, and when a listing must say that nothing could be recovered.
#include <gtest/gtest.h>

#include "app/pure/textservices.h"
#include "fsrecovery/pure/result_browse.h"

TEST(ResultBrowse, FolderRowsShowTheirOwnStampByFileSystem)
{
    const uint16_t fatDate = uint16_t(((2024 - 1980) << 9) | (7 << 5) | 9),
                   fatTime = uint16_t((13 << 11) | (45 << 5) | 15);
    const CString today = FormatDayMonthYear(7, 12, 2026);
    EXPECT_EQ(CString(L"07-DEC-2026"), today);
    const FolderRowStamp fat = FolderRowDateTime(false, L"DOCS", fatDate, fatTime, today);
    EXPECT_EQ(CString(L"09-JUL-2024 13:45:30"), fat.date + L" " + fat.time);
    // NTFS keeps a file time in the date value.
    const FolderRowStamp ntfs =
        FolderRowDateTime(true, L"DOCS", 116444736000000000ull + 1352901234ull * 10000000ull, 0, today);
    EXPECT_EQ(CString(L"14-NOV-2012 13:53:54"), ntfs.date + L" " + ntfs.time);
    // The catch-all folder was made by the scan: today, and the scan's time word.
    for (bool isNtfs : { false, true }) {
        const FolderRowStamp misc = FolderRowDateTime(isNtfs, L"KXR_Miscellaneous", 0, fatTime, today);
        EXPECT_EQ(CString(L"07-DEC-2026 13:45:30"), misc.date + L" " + misc.time);
    }
}

// The catch-all folder's date (today, as the listing formats it) takes the form of every other
// row's date, FAT or NTFS, on any day of any month.
TEST(ResultBrowse, TheCatchAllsDateHasTheFormOfEveryOtherDate)
{
    const struct {
        unsigned day, month, year;
    } days[] = { { 1, 1, 1980 }, { 9, 2, 2000 }, { 31, 3, 2013 }, { 30, 4, 2024 }, { 15, 5, 2099 },
                 { 1, 6, 2026 },  { 4, 7, 2031 }, { 22, 8, 2047 }, { 10, 9, 2015 }, { 31, 10, 2019 },
                 { 11, 11, 2011 }, { 7, 12, 2026 } };
    for (const auto& d : days) {
        const CString today = FormatDayMonthYear(d.day, d.month, d.year);
        const uint16_t fatDate = uint16_t(((d.year - 1980) << 9) | (d.month << 5) | d.day);
        // Midnight of the same day as an NTFS time stamp.
        const int64_t y = int64_t(d.year) - (d.month <= 2 ? 1 : 0);
        const int64_t era = y / 400, yoe = y - era * 400, mp = (int64_t(d.month) + 9) % 12;
        const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + (153 * mp + 2) / 5 + int64_t(d.day) - 1;
        const int64_t daysSince1601 = era * 146097 + doe - 584694;
        const uint64_t fileTime = uint64_t(daysSince1601) * 86400 * 10000000;
        CString ntfsDate, ntfsTime;
        FormatFileTime(fileTime, ntfsDate, ntfsTime);
        for (bool ntfs : { false, true }) {
            SCOPED_TRACE(ntfs ? "NTFS" : "FAT");
            const FolderRowStamp misc = FolderRowDateTime(ntfs, L"KXR_Miscellaneous", 0, 0, today);
            const FolderRowStamp other = ntfs ? FolderRowDateTime(true, L"DOCS", fileTime, 0, today)
                                              : FolderRowDateTime(false, L"DOCS", fatDate, 0, today);
            EXPECT_EQ(other.date, misc.date) << d.day << "." << d.month << "." << d.year;
        }
        EXPECT_EQ(ntfsDate, today);
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
