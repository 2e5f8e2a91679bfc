// Sort keys of the list sort class and the header-order arithmetic of the hideable-column list,
// free of any window system.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zr_list {

// A cell read as a whole decimal number the way _wtoi reads one (leading blanks, one sign, the
// leading digits; 0 when there are none), in 64 bits; saturates instead of overflowing.
int64_t ParseWholeNumber(const std::wstring& text);
// -1, 0 or 1.
int CompareWholeNumbers(int64_t a, int64_t b);
// -1, 0 or 1 by code unit (ordinal, case-sensitive). A missing text counts as empty.
int CompareOrdinalTexts(const wchar_t* a, const wchar_t* b);

// The header order (order[position] = column) with hidden columns kept at the front.
//
// Moves `column` to position 0, the columns before it one place on, and returns the position it
// stood at (-1, order unchanged, when it is not in the order).
int MoveColumnToFront(std::vector<int>& order, int column);
// Moves `column` back towards `savedPosition`: it passes every column up to that position and,
// beyond it, every hidden column, stopping before the first visible one. hidden(c) tells whether
// column c is hidden.
template <class IsHidden> void MoveColumnBack(std::vector<int>& order, int column, int savedPosition, IsHidden hidden)
{
    size_t i = 0;
    while (i < order.size() && order[i] != column)
        ++i;
    for (; i + 1 < order.size(); ++i) {
        if ((int)(i + 1) > savedPosition && !hidden(order[i + 1]))
            break;
        std::swap(order[i], order[i + 1]);
    }
}
// The position of the first visible column (the order's length when all are hidden).
template <class IsHidden> int FirstVisiblePosition(const std::vector<int>& order, IsHidden hidden)
{
    size_t i = 0;
    while (i < order.size() && hidden(order[i]))
        ++i;
    return (int)i;
}

} // namespace zr_list
