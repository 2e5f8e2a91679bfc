// The list sort class's keys and the hideable-column list's header order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "app/pure/listcolumns.h"

namespace {

using namespace zr_list;

TEST(ListSortKeys, WholeNumbersReadLikeWtoiButIn64Bits)
{
    struct Case { const wchar_t* text; int64_t value; } cases[] = {
        { L"  -42 files", -42 },
        { L"+7", 7 },
        { L"", 0 },
        { L"99999999999999999999", INT64_MAX },
        { L"-99999999999999999999", INT64_MIN },
        { L"-9223372036854775808", INT64_MIN },
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.value, ParseWholeNumber(c.text)) << std::wstring(c.text).c_str();
}

TEST(HiddenColumnOrder, HiddenColumnsStayInFrontWhateverTheSequence)
{
    const int n = 7;
    std::vector<int> order;
    for (int c = 0; c < n; ++c)
        order.push_back(c);
    std::vector<bool> hidden((size_t)n, false);
    std::vector<int> saved((size_t)n, -1);
    auto isHidden = [&](int c) { return hidden[(size_t)c]; };
    uint32_t seed = 99;
    for (int step = 0; step < 5000; ++step) {
        seed = seed * 1103515245u + 12345u;
        const int column = (int)((seed >> 8) % (uint32_t)n);
        if (!hidden[(size_t)column]) {
            saved[(size_t)column] = MoveColumnToFront(order, column);
            hidden[(size_t)column] = true;
        } else {
            MoveColumnBack(order, column, saved[(size_t)column], isHidden);
            hidden[(size_t)column] = false;
        }
        const int hiddenCount = (int)std::count(hidden.begin(), hidden.end(), true);
        ASSERT_EQ(hiddenCount, FirstVisiblePosition(order, isHidden)) << step;
        std::vector<int> sorted = order;
        std::sort(sorted.begin(), sorted.end());
        for (int c = 0; c < n; ++c)
            ASSERT_EQ(c, sorted[(size_t)c]) << step;
    }
}

} // namespace
