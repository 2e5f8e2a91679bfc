// Icon greying by luminance; the coloured list's cell comparison and row order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "app/pure/listsort.h"
#include "look/pure/iconlook.h"

namespace {

TEST(IconGrey, PixelsMapToTheirLuminanceKeepingAlpha)
{
    uint32_t grey[256];
    zr_look::BuildGreyTable(grey);
    struct Case { uint32_t in, out; } cases[] = {
        { 0xFFFFFFFFu, 0xFFFEFEFEu },   // opaque white comes out 254, never 255
        { 0x00FF0000u, 0x00555555u },   // transparent red turns grey, still transparent
        { 0x80102030u, 0x80202020u },
    };
    for (const Case& c : cases) {
        uint32_t px = c.in;
        zr_look::MapPixelsByLuminance(&px, 1, grey);
        EXPECT_EQ(c.out, px) << std::hex << c.in;
    }
    // The table holds COLORREFs (red in the low byte); the pixel keeps red in bits 16-23.
    uint32_t red[256];
    std::fill(red, red + 256, 0x0000FFu);
    uint32_t px = 0xFF123456u;
    zr_look::MapPixelsByLuminance(&px, 1, red);
    EXPECT_EQ(0xFFFF0000u, px);
}

// "d<number>" is that day.
bool TestDate(const std::wstring& text, double* date)
{
    return text.size() > 1 && text[0] == L'd' && zr_list::ParseNumberCell(text.substr(1), date);
}

TEST(ListCellCompare, FirstRuleThatTakesBothTexts)
{
    struct Case { const wchar_t* a; const wchar_t* b; int expect; const char* what; } cases[] = {
        { L"12", L"9", 1, "hexadecimal: 0x12 > 0x9" },
        { L"9.5", L"10", -1, "decimal when one is not hexadecimal" },
        { L"10%", L"9.5%", 1, "percentages" },
        { L"abc", L"10", 1, "a word against a number: text order" },
        { L"", L"5", -1, "an empty text is never a number" },
        { L"d20", L"d3", 1, "dates: the parser's order, not the text's" },
        { L"FFFFFFFFF", L"FFFFFFFFFF", 0, "values beyond 32 bits saturate and compare equal" },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expect, zr_list::CompareCells(c.a, c.b, TestDate)) << c.what;
        EXPECT_EQ(-c.expect, zr_list::CompareCells(c.b, c.a, TestDate)) << c.what << " (swapped)";
    }
}

TEST(ListRowOrder, SortsBothWaysAndStaysAPermutation)
{
    const std::vector<std::wstring> keys = { L"FF", L"1A", L"3", L"100", L"0" };
    auto byKey = [&](int a, int b) { return zr_list::CompareCells(keys[(size_t)a], keys[(size_t)b], nullptr); };
    EXPECT_EQ((std::vector<int>{ 4, 2, 1, 0, 3 }), zr_list::SortedRowOrder(5, byKey, true));
    EXPECT_EQ((std::vector<int>{ 3, 0, 1, 2, 4 }), zr_list::SortedRowOrder(5, byKey, false));

    // Mixed cells make the rules non-transitive; even a random comparison must keep every row once.
    unsigned seed = 12345;
    auto coin = [&](int, int) {
        seed = seed * 1103515245u + 12345u;
        return (int)((seed >> 16) % 3) - 1;
    };
    for (int n : { 0, 1, 500 }) {
        auto order = zr_list::SortedRowOrder(n, coin, true);
        std::sort(order.begin(), order.end());
        for (int i = 0; i < n; ++i)
            ASSERT_EQ(i, order[(size_t)i]) << n;
    }
}

} // namespace
