// What the carving dialogs work out without a window: where a thumbnail goes, the number in a
// find's name, and the hand-off of finds from the scan threads to the dialog.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "sigrecovery/pure/carve_search.h"
#include "sigrecovery/pure/handoff.h"
#include "sigrecovery/pure/thumb_layout.h"

namespace {

// The picture keeps its shape inside the square, centred, with sides cut to whole pixels in single
// precision (a 3 x 1 picture is 99 x 33, not 100 x 33).
TEST(ThumbLayout, PicturesKeepTheirShapeCentredInTheSquare)
{
    struct Case {
        uint32_t w, h;
        int x, y, width, height;
    };
    for (const Case& c :
         { Case{ 200, 100, 0, 25, 100, 50 }, Case{ 100, 200, 25, 0, 50, 100 }, Case{ 640, 480, 0, 12, 100, 75 },
           Case{ 3, 1, 0, 33, 99, 33 }, Case{ 64, 64, 0, 0, 100, 100 }, Case{ 1, 65536, 49, 0, 0, 100 },
           Case{ 4000000000u, 3, 0, 49, 100, 0 } }) {
        const ThumbPlacement p = FitThumbnail(c.w, c.h);
        EXPECT_EQ(c.x, p.x) << c.w << "x" << c.h;
        EXPECT_EQ(c.y, p.y) << c.w << "x" << c.h;
        EXPECT_EQ(c.width, p.width) << c.w << "x" << c.h;
        EXPECT_EQ(c.height, p.height) << c.w << "x" << c.h;
        EXPECT_LE(p.x + p.width, kThumbSize);
        EXPECT_LE(p.y + p.height, kThumbSize);
    }
    const ThumbPlacement none = FitThumbnail(0, 480);
    EXPECT_EQ(0, none.width);
    EXPECT_EQ(0, none.height);
}

TEST(ThumbLayout, FiveSquaresToARow)
{
    EXPECT_EQ(35, ThumbGridPosition(0).x);
    EXPECT_EQ(35, ThumbGridPosition(0).y);
    EXPECT_EQ(575, ThumbGridPosition(4).x);
    // The sixth starts the second row.
    EXPECT_EQ(35, ThumbGridPosition(5).x);
    EXPECT_EQ(170, ThumbGridPosition(5).y);
    EXPECT_EQ(35 + 399 * 135, ThumbGridPosition(1999).y);
}

// The bar moves in proportion over short ranges as over long ones: halfway is half the bar, the
// end is the end and nothing runs past it.
TEST(CarveProgress, HalfwayIsHalfTheBarOverAnySpan)
{
    for (uint64_t span : { 1ull, 7ull, 1999ull, 19999ull, 20000ull, 1ull << 40, ~0ull }) {
        SCOPED_TRACE(span);
        EXPECT_EQ(0u, CarveProgressPosition(0, span, 1000));
        EXPECT_NEAR(500.0, double(CarveProgressPosition(span / 2, span, 1000)), span < 1000 ? 1000.0 / double(span) : 1.0);
        EXPECT_EQ(1000u, CarveProgressPosition(span, span, 1000));
        EXPECT_EQ(1000u, CarveProgressPosition(span + (span < ~0ull ? 1 : 0), span, 1000));
        EXPECT_LT(CarveProgressPosition(span - 1, span, 1000), span > 1 ? 1000u : 1001u);
    }
    EXPECT_EQ(0u, CarveProgressPosition(5, 0, 1000));
}

TEST(FoundNames, TheNumberAfterTheTypeKey)
{
    EXPECT_EQ(12u, FoundNameNumber(L"JPG00012.JPG", L"JPG"));
    EXPECT_EQ(123456u, FoundNameNumber(L"mp4123456.MP4", L"MP4"));
    EXPECT_EQ(0u, FoundNameNumber(L"GNKX00001.jpg", L"JPG"));
    EXPECT_EQ(0u, FoundNameNumber(L"JPG", L"JPG"));
    EXPECT_EQ(0u, FoundNameNumber(L"JPG99999999999999999999999.JPG", L"JPG"));
}

// Items put by one thread reach the other in order, each once, with one call to tell per batch.
TEST(HandOff, EveryItemArrivesOnceInOrderWithOneNoticePerBatch)
{
    HandOff<int> box;
    EXPECT_TRUE(box.Put(1));
    EXPECT_FALSE(box.Put(2));
    EXPECT_EQ((std::vector<int>{ 1, 2 }), box.TakeAll());
    EXPECT_TRUE(box.Empty());
    EXPECT_TRUE(box.Put(3));

    HandOff<int> shared;
    std::atomic<int> notices{ 0 };
    std::atomic<bool> done{ false };
    std::thread sender([&] {
        for (int i = 0; i < 20000; ++i)
            if (shared.Put(i))
                ++notices;
        done = true;
    });
    std::vector<int> got;
    int batches = 0;
    while (!done.load() || !shared.Empty()) {
        std::vector<int> batch = shared.TakeAll();
        batches += batch.empty() ? 0 : 1;
        got.insert(got.end(), batch.begin(), batch.end());
    }
    sender.join();
    ASSERT_EQ(20000u, got.size());
    for (int i = 0; i < 20000; ++i)
        ASSERT_EQ(i, got[size_t(i)]);
    EXPECT_EQ(batches, notices.load());
}

} // namespace
