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
    const struct {
        uint32_t in, out;
    } cases[] = {
        { 0xFFFFFFFFu, 0xFFFEFEFEu }, // opaque white comes out 254, never 255
        { 0x00FF0000u, 0x00555555u }, // transparent red turns grey, still transparent
    };
    for (const auto& c : cases) {
        uint32_t px = c.in;
        zr_look::MapPixelsByLuminance(&px, 1, grey);
        EXPECT_EQ(c.out, px) << std::hex << c.in;
    }
    uint32_t red[256]; // COLORREFs (red in the low byte); the pixel keeps red in bits 16-23
    std::fill(red, red + 256, 0x0000FFu);
    uint32_t px = 0xFF123456u;
    zr_look::MapPixelsByLuminance(&px, 1, red);
    EXPECT_EQ(0xFFFF0000u, px);
}

TEST(ListCellCompare, FirstRuleThatTakesBothTextsAndRowOrderStaysAPermutation)
{
    auto date = [](const std::wstring& text, double* d) { // "d<number>" is that day
        return text.size() > 1 && text[0] == L'd' && zr_list::ParseNumberCell(text.substr(1), d);
    };
    const struct {
        const wchar_t* a;
        const wchar_t* b;
        int expect;
    } cases[] = {
        { L"12", L"9", 1 },
        { L"9.5", L"10", -1 },
        { L"10%", L"9.5%", 1 },
        { L"abc", L"10", 1 },
        { L"", L"5", -1 }, // an empty text is never a number
        { L"d20", L"d3", 1 },
        // Sector numbers and byte sizes of nine digits and more keep their decimal order.
        { L"987654321", L"123456789", 1 },
        { L"4294967296", L"4294967295", 1 },
        { L"7814037167", L"999999999", 1 },
        { L"2000398934016", L"999999999999", 1 },
        { L"FFFFFFFFFFFFFFFF0", L"FFFFFFFFFFFFFFFFF", 0 }, // beyond 64 bits: saturated, equal
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expect, zr_list::CompareCells(c.a, c.b, date)) << std::wstring(c.a).size();
        EXPECT_EQ(-c.expect, zr_list::CompareCells(c.b, c.a, date)) << std::wstring(c.a).size();
    }
    // Mixed cells make the rules non-transitive; even a random comparison keeps every row once.
    unsigned seed = 12345;
    auto coin = [&](int, int) { return seed = seed * 1103515245u + 12345u, (int)((seed >> 16) % 3) - 1; };
    auto order = zr_list::SortedRowOrder(500, coin, true);
    std::sort(order.begin(), order.end());
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(i, order[(size_t)i]);
}

} // namespace
