// The in-memory record tables: row order, exact find, stable numeric sorts, concurrent filling.
#include <gtest/gtest.h>

#include <thread>

#include "app/pure/record_table.h"

namespace {

ZrRecordTable MakeEntries()
{
    return ZrRecordTable{ { L"Name", 100 }, { L"self", 50 }, { L"parent", 50 } };
}

std::vector<CString> Column(const ZrRecordTable& t, int col)
{
    std::vector<CString> out;
    for (int i = 0; i < t.GetItemCount(); ++i)
        out.push_back(t.GetItemText(i, col));
    return out;
}

TEST(RecordTable, OrderOutOfRangeAccessAndExactFind)
{
    ZrRecordTable t = MakeEntries();
    t.InsertRow({ L"12", L"12" });
    EXPECT_EQ(t.InsertRow({ L"b", L"120", L"5", L"extra cell dropped" }), 1);
    EXPECT_EQ(t.InsertItemAt(99, L"end"), 2);
    t.InsertRow({ L"12 ", L"12 " });
    t.InsertRow({ L"x", L"12" });
    EXPECT_EQ(t.GetRow(1).size(), 3u);
    for (const auto& [row, col] : { std::pair<int, int>{ 5, 0 }, { 0, 3 }, { -1, 0 } }) {
        EXPECT_FALSE(t.SetItemText(row, col, L"x"));
        EXPECT_EQ(t.GetItemText(row, col), CString(L""));
    }
    EXPECT_FALSE(t.DeleteItem(5));
    EXPECT_EQ(t.FindExact(1, L"12", 1), 4); // neither "120" nor "12 " is the same text
    EXPECT_EQ(t.FindExact(1, L"12", -3), 0);
    EXPECT_EQ(t.FindExact(7, L"12"), -1);
    EXPECT_EQ(t.FindExact(2, L""), 0); // empty cells are findable as ""
}

TEST(RecordTable, NumericSortsAreStableAndNumericNotTextual)
{
    ZrRecordTable t = MakeEntries(); // the name records the insertion order of equal keys
    t.InsertRow({ L"first 10", L"10", L"a" });
    t.InsertRow({ L"9", L"9", L"F" });
    t.InsertRow({ L"second 10", L"10", L"0x10" });
    t.InsertRow({ L"junk", L"x1", L"zz" });
    t.InsertRow({ L"huge", L"99999999999999999999999", L"10" });
    t.SortStable(1, ZrRecordTable::SortKey::Decimal);
    EXPECT_EQ(Column(t, 0), (std::vector<CString>{ L"junk", L"9", L"first 10", L"second 10", L"huge" }));
    t.SortStable(1, ZrRecordTable::SortKey::Decimal, false);
    EXPECT_EQ(Column(t, 0), (std::vector<CString>{ L"huge", L"first 10", L"second 10", L"9", L"junk" }));
    t.SortStable(2, ZrRecordTable::SortKey::Hex);
    EXPECT_EQ(Column(t, 2), (std::vector<CString>{ L"zz", L"a", L"F", L"10", L"0x10" }));
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
                ASSERT_EQ(row[1], row[2]); // never a half-written row
    });
    for (auto& w : writers)
        w.join();
    reader.join();
    ASSERT_EQ(t.GetItemCount(), 4 * perThread);
    t.SortStable(1, ZrRecordTable::SortKey::Decimal);
    for (int i = 0; i < t.GetItemCount(); ++i)
        ASSERT_EQ(t.GetItemNumber(i, 1), static_cast<uint64_t>(i));
}

} // namespace
