// The range slider's arithmetic: bounds and range, empty ranges, arrow keys, any mix of drags and keys.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "look/pure/rangemath.h"

namespace {

using namespace zr_slider;

std::vector<int> MovesOf(const Moves& m)
{
    return std::vector<int>(m.part, m.part + m.count);
}

TEST(RangeSliderMath, NormalizePullsEndsInsideAndReportsEachMove)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        double left, right;
        double wantLeft, wantRight;
        std::vector<int> moves;
    } cases[] = {
        { -5, 50, 0, 50, { kLeft } },
        { -5, -10, 0, 0, { kLeft, kRight } },
        { 50, 150, 50, 100, { kRight } },
        { 150, 120, 100, 100, { kRight, kLeft } },
        { 70, 30, 70, 30, {} },            // reversed inside the bounds stays reversed
        { 50, -3, 50, 0, { kRight } },     // but never reaches outside them
        { nan, 40, 0, 40, { kLeft } },
    };
    for (const Case& c : cases) {
        Range r = Range{ 0, 100, 0, 0 };
        const Moves m = SetEnds(r, c.left, c.right);
        EXPECT_EQ(c.wantLeft, r.left) << c.left << " " << c.right;
        EXPECT_EQ(c.wantRight, r.right) << c.left << " " << c.right;
        EXPECT_EQ(c.moves, MovesOf(m)) << c.left << " " << c.right;
    }
    Range r = Range{ 0, 1, 0, 1 };
    SetBounds(r, 5000, 20);   // either order
    EXPECT_EQ(20, r.min);
    EXPECT_EQ(5000, r.max);
    EXPECT_EQ(20, r.right);
}

TEST(RangeSliderMath, ArrowKeysStepOnePixelAndNeverCrossTheEnds)
{
    const int track = 100;   // one pixel = 10 on 0..1000
    struct Case {
        double left, right;
        bool increase, shift, moved;
        double wantLeft, wantRight;
    } cases[] = {
        { 200, 400, true, false, true, 210, 410 },
        { 203, 398, false, false, true, 190, 390 },   // snaps to the grid
        { 200, 400, true, true, true, 200, 410 },
        { 0, 400, false, false, false, 0, 400 },      // would leave the track
        { 600, 1000, true, false, false, 600, 1000 },
        { 300, 300, false, true, false, 300, 300 },   // right end would fall below the left
        { 300, 301, false, true, false, 300, 301 },   // same pixel step
    };
    for (const Case& c : cases) {
        Range r = Range{ 0, 1000, c.left, c.right };
        EXPECT_EQ(c.moved, StepKey(r, c.increase, c.shift, track)) << c.left << " " << c.right;
        EXPECT_DOUBLE_EQ(c.wantLeft, r.left) << c.left << " " << c.right;
        EXPECT_DOUBLE_EQ(c.wantRight, r.right) << c.left << " " << c.right;
    }
}

// Empty bounds (every dialog's first state) and controls too narrow for a track included.
TEST(RangeSliderMath, NoSequenceOfDragsAndKeysReversesOrLeavesTheBounds)
{
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    // Sector-sized bounds, as the search dialogs set them.
    Range r = Range{ 0, 0, 0, 0 };
    SetEnds(r, 100000, 5000000000.0);
    for (int i = 0; i < 20000; ++i) {
        if (i % 2000 == 1000)
            SetBounds(r, 700, 700);
        else if (i % 2000 == 0)
            SetBounds(r, 2048, 7814037167.0);
        const Layout l = ComputeLayout(r, (int)next(400), (int)next(30));
        if (next(2))
            DragTo(r, (int)next(3), (int)next(700) - 100, l);
        else
            StepKey(r, next(2) != 0, next(2) != 0, l.track);
        ASSERT_LE(r.left, r.right) << i;
        ASSERT_GE(r.left, r.min) << i;
        ASSERT_LE(r.right, r.max) << i;
    }
}

TEST(RangeSliderMath, SectorNumbersTruncateTowardZero)
{
    const double in[] = { 1.9, -1.9, 7814037167.0, std::nan(""), 1e30, -1e30 };
    const int64_t out[] = { 1, -1, INT64_C(7814037167), 0, INT64_MAX, INT64_MIN };
    for (size_t i = 0; i < 6; ++i)
        EXPECT_EQ(out[i], ToSector(in[i])) << in[i];
}

} // namespace
