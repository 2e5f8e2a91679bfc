// The in-memory record tables: row order, exact find, stable numeric sorts, concurrent filling.
#include <gtest/gtest.h>

#include <thread>
#include <utility>

#include "app/pure/record_table.h"

namespace {

ZrRecordTable MakeEntries() { return ZrRecordTable{ { L"Name", 100 }, { L"self", 50 }, { L"parent", 50 } }; }

std::vector<CString> Column(const ZrRecordTable& t, int col)
{
    std::vector<CString> out;
    for (int i = 0; i < t.GetItemCount(); ++i)
        out.push_back(t.GetItemText(i, col));
    return out;
}

} // namespace

TEST(RecordTable, RowsKeepOrderAndOutOfRangeIsHarmless)
{
    ZrRecordTable t = MakeEntries();
    t.InsertItem(L"a");
    EXPECT_EQ(t.InsertRow({ L"b", L"7", L"5", L"extra cell dropped" }), 1);
    EXPECT_EQ(t.InsertItemAt(1, L"front of b"), 1);
    EXPECT_EQ(t.InsertItemAt(99, L"end"), 3);
    EXPECT_EQ(Column(t, 0), (std::vector<CString>{ L"a", L"front of b", L"b", L"end" }));
    EXPECT_EQ(t.GetRow(2).size(), 3u);
    const std::pair<int, int> outside[] = { { 4, 0 }, { 0, 3 }, { -1, 0 } };
    for (const auto& [row, col] : outside) {
        EXPECT_FALSE(t.SetItemText(row, col, L"x"));
        EXPECT_EQ(t.GetItemText(row, col), CString(L""));
    }
    EXPECT_TRUE(t.GetRow(4).empty());
    EXPECT_FALSE(t.DeleteItem(4));
    EXPECT_TRUE(t.DeleteItem(1));
    EXPECT_EQ(t.GetItemText(1, 0), CString(L"b"));
}

TEST(RecordTable, FindExactMatchesWholeCellCaseSensitiveFromStart)
{
    ZrRecordTable t = MakeEntries();
    for (const wchar_t* self : { L"12", L"120", L"12 ", L"12" })
        t.InsertRow({ L"DOCS", self });
    EXPECT_EQ(t.FindExact(0, L"docs"), -1);
    EXPECT_EQ(t.FindExact(1, L"12"), 0);
    EXPECT_EQ(t.FindExact(1, L"12", 1), 3);   // neither "120" nor "12 " is the same text
    EXPECT_EQ(t.FindExact(1, L"12", 4), -1);
    EXPECT_EQ(t.FindExact(1, L"12", -3), 0);
    EXPECT_EQ(t.FindExact(7, L"12"), -1);
    EXPECT_EQ(t.FindExact(2, L""), 0);        // empty cells are findable as ""
}

TEST(RecordTable, NumericSortsAreStableAndNumericNotTextual)
{
    ZrRecordTable t = MakeEntries();
    // the name records the insertion order of equal keys
    t.InsertRow({ L"first 10", L"10", L"a" });
    t.InsertRow({ L"9", L"9", L"F" });
    t.InsertRow({ L"second 10", L"10", L"0x10" });
    t.InsertRow({ L"100", L"100", L"b" });
    t.InsertRow({ L"junk", L"x1", L"zz" });
    t.InsertRow({ L"huge", L"99999999999999999999999", L"10" });

    t.SortStable(1, ZrRecordTable::SortKey::Decimal);
    EXPECT_EQ(Column(t, 0), (std::vector<CString>{ L"junk", L"9", L"first 10", L"second 10", L"100", L"huge" }));
    t.SortStable(1, ZrRecordTable::SortKey::Decimal, false);
    EXPECT_EQ(Column(t, 0), (std::vector<CString>{ L"huge", L"100", L"first 10", L"second 10", L"9", L"junk" }));
    t.SortStable(2, ZrRecordTable::SortKey::Hex);
    EXPECT_EQ(Column(t, 2), (std::vector<CString>{ L"zz", L"a", L"b", L"F", L"10", L"0x10" }));

    uint64_t v = 0;
    EXPECT_TRUE(ZrRecordTable::ParseNumber(L"99999999999999999999999", ZrRecordTable::SortKey::Decimal, v));
    EXPECT_EQ(v, UINT64_MAX);
    for (const wchar_t* bad : { L"", L"  ", L"-1", L"12ab", L"0x", L"1 2" })
        EXPECT_FALSE(ZrRecordTable::ParseNumber(bad, ZrRecordTable::SortKey::Decimal, v));
}

TEST(RecordTable, ConcurrentWritersLoseNoRowAndReadersSeeWholeRows)
{
    ZrRecordTable t = MakeEntries();
    const int perThread = 2000;
    std::vector<std::thread> writers;
    for (int w = 0; w < 4; ++w)
        writers.emplace_back([&t, w] {
            for (int i = 0; i < perThread; ++i) {
                CString self;
                self.Format(L"%d", w * perThread + i);
                t.InsertRow({ L"n", self, self });
            }
        });
    std::thread reader([&t] {
        for (int i = 0; i < 200; ++i)
            for (const auto& row : t.Snapshot())
                ASSERT_EQ(row[1], row[2]);   // never a half-written row
    });
    for (auto& w : writers)
        w.join();
    reader.join();
    ASSERT_EQ(t.GetItemCount(), 4 * perThread);
    t.SortStable(1, ZrRecordTable::SortKey::Decimal);
    for (int i = 0; i < t.GetItemCount(); ++i)
        ASSERT_EQ(t.GetItemNumber(i, 1), static_cast<uint64_t>(i));
}
