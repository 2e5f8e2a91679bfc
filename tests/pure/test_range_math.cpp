// The range slider's arithmetic: ends pulled inside the bounds, arrow keys, and any mix of
// drags and keys on empty and sector-sized ranges.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "look/pure/rangemath.h"

namespace {

using namespace zr_slider;

TEST(RangeSliderMath, EndsArePulledInsideAndEachMoveReported) {
    const struct { double left, right, wantLeft, wantRight; std::vector<int> moves; } cases[] = {
        {-5, -10, 0, 0, {kLeft, kRight}},
        {150, 120, 100, 100, {kRight, kLeft}},
        {50, -3, 50, 0, {kRight}},
        {std::numeric_limits<double>::quiet_NaN(), 40, 0, 40, {kLeft}},
    };
    for (const auto& c : cases) {
        Range r = Range{0, 100, 0, 0};
        const Moves m = SetEnds(r, c.left, c.right);
        EXPECT_EQ(c.wantLeft, r.left) << c.left << " " << c.right;
        EXPECT_EQ(c.wantRight, r.right) << c.left << " " << c.right;
        EXPECT_EQ(c.moves, std::vector<int>(m.part, m.part + m.count)) << c.left << " " << c.right;
    }
}

TEST(RangeSliderMath, ArrowKeysStepOnePixelAndNeverCrossTheEnds) {
    const struct { double left, right; bool increase, shift, moved; double wantLeft, wantRight; } cases[] = {
        {203, 398, false, false, true, 190, 390},  // snaps to the grid
        {200, 400, true, true, true, 200, 410},
        {0, 400, false, false, false, 0, 400},     // would leave the track
        {300, 301, false, true, false, 300, 301},  // right end would fall below the left
    };
    for (const auto& c : cases) {
        Range r = Range{0, 1000, c.left, c.right};
        EXPECT_EQ(c.moved, StepKey(r, c.increase, c.shift, 100)) << c.left << " " << c.right;
        EXPECT_DOUBLE_EQ(c.wantLeft, r.left) << c.left << " " << c.right;
        EXPECT_DOUBLE_EQ(c.wantRight, r.right) << c.left << " " << c.right;
    }
}

// Empty bounds (every dialog's first state) and controls too narrow for a track included.
TEST(RangeSliderMath, NoSequenceOfDragsAndKeysReversesOrLeavesTheBounds) {
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    Range r = Range{0, 0, 0, 0};
    SetEnds(r, 100000, 5000000000.0);
    for (int i = 0; i < 20000; ++i) {
        if (i % 2000 == 1000)
            SetBounds(r, 700, 700);
        else if (i % 2000 == 0)
            SetBounds(r, 7814037167.0, 2048);  // either order
        const Layout l = ComputeLayout(r, (int)next(400), (int)next(30));
        if (next(2))
            DragTo(r, (int)next(3), (int)next(700) - 100, l);
        else
            StepKey(r, next(2) != 0, next(2) != 0, l.track);
        ASSERT_LE(r.left, r.right) << i;
        ASSERT_GE(r.left, r.min) << i;
        ASSERT_LE(r.right, r.max) << i;
    }
    EXPECT_EQ(ToSector(std::nan("")), 0);
    EXPECT_EQ(ToSector(1e30), INT64_MAX);
    EXPECT_EQ(ToSector(7814037167.9), INT64_C(7814037167));
}

}  // namespace
