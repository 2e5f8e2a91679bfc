#include "app/pure/listsort.h"

#include <cwchar>
#include <cwctype>

namespace zr_list {

static int Sign(int v)
{
    return (v > 0) - (v < 0);
}

bool ParseHexCell(const std::wstring& text, uint64_t* value)
{
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && std::iswspace(text[i]))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == L'+' || text[i] == L'-'))
        negative = text[i++] == L'-';
    if (i + 1 < n && text[i] == L'0' && (text[i + 1] == L'x' || text[i + 1] == L'X') && i + 2 < n &&
        std::iswxdigit(text[i + 2]))
        i += 2;
    const size_t digits = i;
    uint64_t v = 0;
    bool overflow = false;
    for (; i < n && std::iswxdigit(text[i]); ++i) {
        const wchar_t c = text[i];
        const unsigned d = c <= L'9' ? c - L'0' : (std::towlower(c) - L'a' + 10);
        if (v > (UINT64_MAX - d) / 16)
            overflow = true;
        else
            v = v * 16 + d;
    }
    if (i == digits || i != n)
        return false;
    *value = overflow ? UINT64_MAX : negative ? 0 - v : v;
    return true;
}

bool ParseNumberCell(const std::wstring& text, double* value)
{
    if (text.empty())
        return false;
    const wchar_t* s = text.c_str();
    wchar_t* end = nullptr;
    const double d = std::wcstod(s, &end);
    const size_t used = (size_t)(end - s);
    if (used == 0)
        return false;
    if (used != text.size() && !(used + 1 == text.size() && text.back() == L'%'))
        return false;
    *value = d;
    return true;
}

int CompareCells(const std::wstring& a, const std::wstring& b, DateParser parseDate)
{
    uint64_t ha, hb;
    if (ParseHexCell(a, &ha) && ParseHexCell(b, &hb))
        return (ha > hb) - (ha < hb);
    double da, db;
    if (ParseNumberCell(a, &da) && ParseNumberCell(b, &db))
        return (da > db) - (da < db);
    if (parseDate && parseDate(a, &da) && parseDate(b, &db))
        return (da > db) - (da < db);
    return Sign(a.compare(b));
}

std::vector<int> SortedRowOrder(int n, const std::function<int(int, int)>& compare, bool ascending)
{
    std::vector<int> idx(n > 0 ? (size_t)n : 0);
    for (int i = 0; i < n; ++i)
        idx[(size_t)i] = i;
    auto cmp = [&](int x, int y) { return ascending ? compare(x, y) : -compare(x, y); };
    // Hoare quicksort on the middle pivot; recursion on the smaller part keeps the stack at
    // log n. Every scan is bounded by the range, so an inconsistent comparison cannot run off.
    std::function<void(int, int)> sort = [&](int lo, int hi) {
        while (lo < hi) {
            const int pivot = idx[(size_t)(lo + (hi - lo) / 2)];
            int i = lo, j = hi;
            while (i <= j) {
                while (i < hi && cmp(idx[(size_t)i], pivot) < 0)
                    ++i;
                while (j > lo && cmp(idx[(size_t)j], pivot) > 0)
                    --j;
                if (i <= j) {
                    std::swap(idx[(size_t)i], idx[(size_t)j]);
                    ++i;
                    --j;
                }
            }
            if (j - lo < hi - i) {
                sort(lo, j);
                lo = i;
            } else {
                sort(i, hi);
                hi = j;
            }
        }
    };
    sort(0, n - 1);
    return idx;
}

} // namespace zr_list
