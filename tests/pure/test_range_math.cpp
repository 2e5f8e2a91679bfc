// The range slider's arithmetic: no mix of drags and keys on empty and sector-sized ranges puts
// an end outside the bounds or below the other (the keys and drags themselves are tested on the
// control under Wine).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "look/pure/rangemath.h"

namespace {

using namespace zr_slider;

// Empty bounds (every dialog's first state) and controls too narrow for a track included.
TEST(RangeSliderMath, NoSequenceOfDragsAndKeysReversesOrLeavesTheBounds)
{
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    Range r = Range{ 0, 0, 0, 0 };
    SetEnds(r, 100000, 5000000000.0);
    for (int i = 0; i < 20000; ++i) {
        if (i % 2000 == 1000)
            SetBounds(r, 700, 700);
        else if (i % 2000 == 0)
            SetBounds(r, 7814037167.0, 2048); // either order
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

} // namespace
