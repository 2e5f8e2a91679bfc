// The list sort class's keys and the hideable-column list's header order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "app/pure/listcolumns.h"

namespace {

using namespace zr_list;

TEST(ListSortKeys, WholeNumbersReadLikeWtoiButIn64Bits)
{
    EXPECT_EQ(-42, ParseWholeNumber(L"  -42 files"));
    EXPECT_EQ(INT64_MAX, ParseWholeNumber(L"99999999999999999999"));
    EXPECT_EQ(INT64_MIN, ParseWholeNumber(L"-99999999999999999999"));
}

TEST(HiddenColumnOrder, HiddenColumnsStayInFrontWhateverTheSequence)
{
    const int n = 7;
    std::vector<int> order{ 0, 1, 2, 3, 4, 5, 6 };
    std::vector<bool> hidden(n, false);
    std::vector<int> saved(n, -1);
    auto isHidden = [&](int c) { return hidden[(size_t)c]; };
    uint32_t seed = 99;
    for (int step = 0; step < 5000; ++step) {
        seed = seed * 1103515245u + 12345u;
        const int column = (int)((seed >> 8) % (uint32_t)n);
        if (!hidden[(size_t)column])
            saved[(size_t)column] = MoveColumnToFront(order, column);
        else
            MoveColumnBack(order, column, saved[(size_t)column], isHidden);
        hidden[(size_t)column] = !hidden[(size_t)column];
        ASSERT_EQ((int)std::count(hidden.begin(), hidden.end(), true), FirstVisiblePosition(order, isHidden)) << step;
        std::vector<int> sorted = order;
        std::sort(sorted.begin(), sorted.end());
        ASSERT_EQ(sorted, (std::vector<int>{ 0, 1, 2, 3, 4, 5, 6 })) << step;
    }
}

} // namespace
