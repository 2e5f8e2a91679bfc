// The range slider's arithmetic: no mix of drags and keys on empty and sector-sized ranges puts
// an end outside the bounds or below the other (the keys and drags themselves are tested on the
// control under Wine).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "look/pure/rangemath.h"

namespace {

using namespace zr_slider;

// Empty bounds (every dialog's first state) and controls too narrow for a track included. Drags
// of a handle leave the range in order, the band keeps its width and its direction, and only a key
// with Shift reverses a range in order.
TEST(RangeSliderMath, NoSequenceOfDragsAndKeysLeavesTheBounds)
{
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    Range r = Range{ 0, 0, 0, 0 };
    SetEnds(r, 100000, 5000000000.0);
    int reversals = 0;
    for (int i = 0; i < 20000; ++i) {
        if (i % 2000 == 1000)
            SetBounds(r, 700, 700);
        else if (i % 2000 == 0)
            SetBounds(r, 7814037167.0, 2048); // either order
        const Layout l = ComputeLayout(r, (int)next(400), (int)next(30));
        const Range before = r;
        const bool drag = next(2) != 0, shift = next(2) != 0;
        const int part = (int)next(3);
        if (drag)
            DragTo(r, part, (int)next(700) - 100, l);
        else
            StepKey(r, next(2) != 0, shift, l.track);
        ASSERT_GE(std::min(r.left, r.right), r.min) << i;
        ASSERT_LE(std::max(r.left, r.right), r.max) << i;
        const bool ordered = r.left <= r.right;
        if (drag && part != kBand && l.track > 0) {
            ASSERT_TRUE(ordered) << i;
        }
        if (drag && part == kBand) {
            ASSERT_NEAR(r.right - r.left, before.right - before.left, 1e-6 * (1 + r.max)) << i;
        }
        if (!drag && !shift && before.left <= before.right) {
            ASSERT_TRUE(ordered) << i;
        }
        reversals += r.left > r.right && before.left <= before.right;
    }
    EXPECT_GT(reversals, 0);
    EXPECT_EQ(ToSector(std::nan("")), 0);
    EXPECT_EQ(ToSector(1e30), INT64_MAX);
    EXPECT_EQ(ToSector(7814037167.9), INT64_C(7814037167));
}

// Shift+Left with both ends on one step puts the right end a step below the left one, and on
// further down to the lower bound; the band of a reversed range is dragged whole, against either
// bound too. A key that cannot move (an end at its bound) still counts as pressed.
TEST(RangeSliderMath, ShiftLeftReversesTheRangeAndTheBandKeepsIt)
{
    const int track = 170; // one step: 1000 / 170
    const double step = 1000.0 / track;
    Range r{ 0, 1000, 400, 400 };
    EXPECT_TRUE(StepKey(r, false, true, track));
    EXPECT_NEAR(r.left, 68 * step, 1e-9);
    EXPECT_NEAR(r.right, 67 * step, 1e-9);
    EXPECT_TRUE(StepKey(r, false, true, track));
    EXPECT_NEAR(r.right, 66 * step, 1e-9);
    Range low{ 0, 1000, 300, 0 };
    EXPECT_TRUE(StepKey(low, false, true, track));
    EXPECT_EQ(0, low.right);
    Range atBound{ 0, 1000, 0, 400 };
    EXPECT_TRUE(StepKey(atBound, false, false, track));
    EXPECT_EQ(0, atBound.left);
    EXPECT_EQ(400, atBound.right);
    Range empty{ 7, 7, 7, 7 };
    EXPECT_FALSE(StepKey(empty, false, true, track));

    Range band{ 0, 1000, 600, 400 };
    const Layout l = ComputeLayout(band, 200, 20); // handles 15 wide: 170 pixels of track
    DragTo(band, kBand, 15 + 85, l);               // the middle
    EXPECT_NEAR(band.left, 600, 1e-9);
    EXPECT_NEAR(band.right, 400, 1e-9);
    DragTo(band, kBand, -100, l);
    EXPECT_EQ(0, band.right);
    EXPECT_EQ(200, band.left);
    DragTo(band, kBand, 400, l);
    EXPECT_EQ(1000, band.left);
    EXPECT_EQ(800, band.right);
}

} // namespace
