#include "app/pure/listcolumns.h"

#include <cwchar>

namespace zr_list {

int64_t ParseWholeNumber(const std::wstring& text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || (text[i] >= L'\t' && text[i] <= L'\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
        negative = text[i] == L'-';
        ++i;
    }
    // Accumulated as a negative number, which reaches INT64_MIN without overflow.
    int64_t value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        const int digit = text[i] - L'0';
        if (value < (INT64_MIN + digit) / 10) {
            value = INT64_MIN;
            break;
        }
        value = value * 10 - digit;
    }
    if (negative)
        return value;
    return value == INT64_MIN ? INT64_MAX : -value;
}

int CompareWholeNumbers(int64_t a, int64_t b)
{
    return a == b ? 0 : (a > b ? 1 : -1);
}

int CompareOrdinalTexts(const wchar_t* a, const wchar_t* b)
{
    a = a ? a : L"";
    b = b ? b : L"";
    // Compared as unsigned 16-bit units, so the order is the same whatever size wchar_t has.
    for (;; ++a, ++b) {
        const unsigned ca = (unsigned)(*a) & 0xFFFFu, cb = (unsigned)(*b) & 0xFFFFu;
        if (ca != cb)
            return ca < cb ? -1 : 1;
        if (ca == 0)
            return 0;
    }
}

int MoveColumnToFront(std::vector<int>& order, int column)
{
    for (size_t i = 0; i < order.size(); ++i) {
        if (order[i] != column)
            continue;
        for (size_t j = i; j > 0; --j)
            order[j] = order[j - 1];
        order[0] = column;
        return (int)i;
    }
    return -1;
}

} // namespace zr_list
