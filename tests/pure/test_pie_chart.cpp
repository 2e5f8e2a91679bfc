// The pie chart's arithmetic: areas, legend scrolling, fonts, angles, hit tests, the 3-D walks on
// odd slice sets and the picture format of a file name. Drawing and saving are tested on the
// window under Wine.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

#include "look/pure/piechart.h"

namespace {

using namespace zr_pie;

Slices MakeSlices(std::initializer_list<double> values)
{
    Slices slices;
    int key = 0;
    for (double v : values)
        slices[key++].value = v;
    AssignSweeps(slices);
    return slices;
}

TEST(PieChartAreas, SmallClientsGiveSquaresOfAtLeast150AndThePieAnEvenHeight)
{
    const Rect client{ 0, 0, 120, 120 };
    const Rect pie = ChartArea(client, Rect{}, InitialPieSize(120) - 10, true, 0);
    const Rect legend = ChartArea(client, Rect{}, client.right, false, 0);
    EXPECT_EQ(150, pie.Width());
    EXPECT_EQ(150, pie.Height());
    EXPECT_EQ(150, legend.Width());
    EXPECT_EQ(150, legend.Height());
    EXPECT_EQ(30, pie.left);
    EXPECT_EQ(100, pie.top);

    // A tall, narrow client: the square is centred in the band below the title.
    const Rect tall{ 0, 0, 100, 1001 };
    const Rect odd = ChartArea(tall, Rect{}, 401, true, 7);
    EXPECT_EQ(odd.Width(), odd.Height());
    EXPECT_EQ(372, odd.Height()) << "371 + 1: an odd pie height grows by one";
    EXPECT_EQ(37, odd.left) << "the horizontal offset moves both sides";
    const Rect legendTall = ChartArea(tall, Rect{}, 401, false, 0);
    EXPECT_EQ(371, legendTall.Height()) << "only the pie area is made even";
    EXPECT_EQ(1071, legendTall.top + legendTall.bottom) << "centred on the band";

    const Rect fixed{ 5, 6, 7, 8 };
    EXPECT_EQ(fixed, ChartArea(client, fixed, 999, true, 50)) << "an override is used unchanged";
}

TEST(PieChartLegend, FortyRowsScrollLineByLineAndStopAtTheLastRow)
{
    const Rect area{ 30, 100, 330, 400 }; // 300 high
    Legend legend;
    SizeLegendRows(legend, area);
    EXPECT_EQ(20, legend.rowHeight);
    EXPECT_EQ(15, legend.rowSpacing);
    MeasureLegend(legend, 40, area.Height());
    EXPECT_EQ(40 * 35 - 15, legend.totalHeight);
    EXPECT_EQ(9 * 35 - 15, legend.visibleHeight) << "nine whole rows fit";

    const int limit = legend.totalHeight - area.Height() + 1; // what the scroll bar allows
    const int last = LastFirstRow(legend, 40, area.Height());
    EXPECT_EQ(31, last) << "rows 31 to 39 are the last nine";
    int pos = 0;
    for (int i = 0; i < 100; ++i)
        pos = ScrollLegend(legend, 40, area.Height(), 1 /* SB_LINEDOWN */, pos, 0, limit);
    EXPECT_EQ(last, legend.firstVisible) << "line-down stops once the last row shows";
    EXPECT_EQ(limit, pos);

    pos = ScrollLegend(legend, 40, area.Height(), 0 /* SB_LINEUP */, pos, 0, limit);
    EXPECT_EQ(last - 1, legend.firstVisible);
    for (int i = 0; i < 100; ++i)
        pos = ScrollLegend(legend, 40, area.Height(), 0, pos, 0, limit);
    EXPECT_EQ(0, legend.firstVisible);
    EXPECT_EQ(0, pos);

    pos = ScrollLegend(legend, 40, area.Height(), 5 /* SB_THUMBTRACK */, pos, limit - 3, limit);
    EXPECT_EQ(last, legend.firstVisible) << "a thumb near the end snaps to it";
    EXPECT_EQ(limit, pos);
    pos = ScrollLegend(legend, 40, area.Height(), 2 /* SB_PAGEUP */, pos, 0, limit);
    EXPECT_EQ((limit - 300) / 35, legend.firstVisible);
    pos = ScrollLegend(legend, 40, area.Height(), 3 /* SB_PAGEDOWN */, 0, 0, limit);
    EXPECT_EQ(300, pos);
    pos = ScrollLegend(legend, 40, area.Height(), 3, limit - 10, 0, limit);
    EXPECT_EQ(limit, pos) << "not beyond the limit";

    // Rows that all fit never scroll.
    Legend few;
    SizeLegendRows(few, area);
    MeasureLegend(few, 3, area.Height());
    EXPECT_EQ(0, ScrollLegend(few, 3, area.Height(), 1, 0, 0, 0));
    EXPECT_EQ(0, few.firstVisible);
}

TEST(PieChartLegend, DegenerateAreasKeepRowsAtLeastOnePixelHigh)
{
    Legend legend;
    SizeLegendRows(legend, Rect{ 0, 0, 3, 3 });
    EXPECT_GE(legend.Pitch(), 1);
    MeasureLegend(legend, 0, 3);
    EXPECT_EQ(0, legend.totalHeight) << "no rows, no negative height";
    int pos = 0;
    FirstVisibleFromPosition(legend, 5, 3, pos, true, 4);
    EXPECT_LT(legend.firstVisible, 5);
}

TEST(PieChartLegend, RowsStartAtTheFirstVisibleKeyAndEndAboveTheAreaBottom)
{
    Slices slices = MakeSlices({ 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20 });
    const Rect client{ 0, 0, 600, 300 };
    const Rect area{ 30, 100, 600, 270 };
    Legend legend;
    SizeLegendRows(legend, area);
    MeasureLegend(legend, 20, area.Height());
    legend.firstVisible = 4;
    const LegendPlan plan = PlanLegend(slices, legend, area, client, Rect{}, 60, 70, 12);
    ASSERT_FALSE(plan.rows.empty());
    EXPECT_EQ(4, plan.rows.front().key);
    EXPECT_FALSE(plan.rows.front().separator);
    EXPECT_TRUE(plan.rows.back().separator);
    EXPECT_LE(plan.rows.back().y + legend.rowHeight, area.bottom);
    EXPECT_EQ(9u, plan.rows.size()) << "only what fits";
    EXPECT_LT(plan.rows.back().boxX, plan.rows.back().nameX);
    EXPECT_LT(plan.rows.back().nameX, plan.rows.back().valueX);
    EXPECT_EQ((int)(plan.rows.back().boxX - 600 / 20), plan.newPieSize);

    const Rect box{ 100, 120, 200, 260 };
    const LegendPlan fixed = PlanLegend(slices, legend, box, client, box, 60, 70, 12);
    EXPECT_EQ(120, fixed.blockTop);
    EXPECT_EQ(100 + 70 + 60 + legend.boxWidth + 10, fixed.frameRight);
    EXPECT_EQ(-1, fixed.newPieSize) << "a fixed legend leaves the pie alone";
}

TEST(PieChartText, FontSizesStayWithinTheirBounds)
{
    EXPECT_EQ(11, TitlePointSize(1000, 50));
    EXPECT_EQ(15, TitlePointSize(1000, 49));
    EXPECT_EQ(8, TitlePointSize(80, 10));
    EXPECT_EQ(1, TitlePointSize(5, 10)) << "never 0 points";
    EXPECT_EQ(1, LegendPointSize(-1, 10));
    EXPECT_EQ(11, LegendPointSize(0, 1000));
    EXPECT_EQ(9, LegendPointSize(9, 10));
    EXPECT_EQ(7, LabelPointSize(10));
    EXPECT_EQ(11, LabelPointSize(1000));
    EXPECT_EQ(9, LabelPointSize(230));
}

TEST(PieChartGeometry, AnglesOfPointsAtTheAxesTheCentreAndBetween)
{
    const Rect r{ 0, 0, 200, 100 };
    EXPECT_DOUBLE_EQ(0, AngleOfPoint(150, 50, r));
    EXPECT_NEAR(90, AngleOfPoint(100, 90, r), 1e-6) << "straight below";
    EXPECT_DOUBLE_EQ(180, AngleOfPoint(10, 50, r));
    EXPECT_NEAR(270, AngleOfPoint(100, 3, r), 1e-6) << "straight above";
    EXPECT_DOUBLE_EQ(0, AngleOfPoint(100, 50, r)) << "the centre";
    EXPECT_NEAR(45, AngleOfPoint(110, 60, r), 1e-6);
    EXPECT_NEAR(135, AngleOfPoint(90, 60, r), 1e-6);
    EXPECT_NEAR(225, AngleOfPoint(90, 40, r), 1e-6);
    EXPECT_NEAR(315, AngleOfPoint(110, 40, r), 1e-6);
    EXPECT_NEAR(atan(0.5) * 180 / 3.14159265, AngleOfPoint(102, 51, r), 1e-6) << "no integer division";
}

TEST(PieChartGeometry, FlatHitTestsMissTheRingHoleAndTheOutside)
{
    Slices slices = MakeSlices({ 1, 1, 2 }); // 90, 90, 180 degrees
    const Rect pie{ 0, 0, 300, 300 };
    // Slice 0 spans 0..90 (lower right), slice 1 90..180, slice 2 the upper half.
    EXPECT_EQ(0, HitTestFlat(slices, pie, 0, true, 250, 200));
    EXPECT_EQ(1, HitTestFlat(slices, pie, 0, true, 60, 200));
    EXPECT_EQ(2, HitTestFlat(slices, pie, 0, true, 150, 20));
    EXPECT_EQ(-1, HitTestFlat(slices, pie, 0, true, 160, 160)) << "the ring's hole";
    EXPECT_EQ(0, HitTestFlat(slices, pie, 0, false, 160, 160)) << "the flat pie has none";
    EXPECT_EQ(-1, HitTestFlat(slices, pie, 0, false, 290, 290)) << "outside the circle";
    EXPECT_EQ(-1, HitTestFlat(slices, pie, 0, false, 400, 150));

    // An exploded slice is hit where it was moved to.
    slices[0].explode = 40;
    EXPECT_EQ(0, HitTestFlat(slices, pie, 0, false, 285, 220));
    // A start angle turns every slice.
    EXPECT_EQ(1, HitTestFlat(slices, pie, 270, false, 250, 240));
    EXPECT_EQ(0, HitTestFlat(slices, pie, 270, false, 250, 60));

    Slices none;
    EXPECT_EQ(-1, HitTestFlat(none, pie, 0, true, 150, 150));
}

// Every slice is drawn exactly once (a slice holding 90 and 270 degrees twice, in two parts),
// whatever the sweeps add up to.
void ExpectEachSliceDrawn(const Slices& slices, const std::vector<DrawStep>& order)
{
    std::multiset<int> keys;
    for (const DrawStep& s : order)
        keys.insert(s.key);
    for (const auto& [key, s] : slices) {
        const size_t times = keys.count(key);
        EXPECT_TRUE(times == 1 || (times == 2 && order.front().key == key && order.back().key == key)) << key;
    }
    EXPECT_LE(order.size(), slices.size() + 1);
}

TEST(PieChart3D, ZeroOneAndMisSummedSlicesFinishAndDrawEachSlice)
{
    const Rect pie{ 20, 100, 320, 400 };
    const Pie3D g = Geometry3D(pie, 45, 0.5);
    EXPECT_EQ(75, g.k);
    EXPECT_EQ(g.flat.top - 18, g.top.top);
    EXPECT_EQ(g.flat.bottom + 18, g.bottom.bottom);

    Slices none;
    const double start0 = Prepare3D(none, pie, 0, g);
    EXPECT_TRUE(DrawOrder3D(none, start0, FindFrontBack(none, start0)).empty()) << "no pie for no slices";

    Slices one = MakeSlices({ 5 });
    const double start1 = Prepare3D(one, pie, 30, g);
    EXPECT_FLOAT_EQ(360, one[0].sweep3d);
    const FrontBack fb1 = FindFrontBack(one, start1);
    EXPECT_EQ(0, fb1.front);
    EXPECT_EQ(0, fb1.back);
    const std::vector<DrawStep> order1 = DrawOrder3D(one, start1, fb1);
    ASSERT_EQ(2u, order1.size());
    EXPECT_EQ(DrawPart::Walls, order1[0].part);
    EXPECT_EQ(DrawPart::Surface, order1[1].part);

    // Sweeps of 10 + 20 degrees reach neither 90 nor 270; sweeps of 300 each overlap.
    for (const std::initializer_list<float> sweeps : { std::initializer_list<float>{ 10, 20 },
                                                       { 300, 300, 300 },
                                                       { 0, 0, 0, 0 },
                                                       { 90, 90, 90, 90 },
                                                       { -40, 400 } }) {
        Slices odd;
        int key = 0;
        for (float s : sweeps)
            odd[key++].sweep = s;
        const double start = Prepare3D(odd, pie, 0, g);
        const FrontBack fb = FindFrontBack(odd, start);
        EXPECT_TRUE(odd.count(fb.front) && odd.count(fb.back));
        const std::vector<DrawStep> order = DrawOrder3D(odd, start, fb);
        ExpectEachSliceDrawn(odd, order);
        for (const auto& [k, s] : odd) {
            EXPECT_GE(s.sweep3d, 0);
            EXPECT_LE(s.sweep3d, 360);
        }
    }
}

TEST(PieChart3D, SweepsFollowTheFlattenedPieAndHitTestsTakeTheNearestFace)
{
    const Rect pie{ 0, 0, 400, 400 };
    const Pie3D g = Geometry3D(pie, 60, 0.5);
    Slices slices = MakeSlices({ 1, 1, 1, 1 });
    EXPECT_DOUBLE_EQ(0, Prepare3D(slices, pie, 0, g));
    for (const auto& [k, s] : slices)
        EXPECT_NEAR(90, s.sweep3d, 1e-3) << "quarters on the axes stay quarters";

    // From 10 degrees the flattened slices run about 3..118, 118..183, 183..298 and 298..363.
    const double start = Prepare3D(slices, pie, 10, g);
    EXPECT_NEAR(3.4, start, 0.1);
    EXPECT_NEAR(114.3, slices[0].sweep3d, 0.1) << "wider near the viewer";
    double sum = 0;
    for (const auto& [k, s] : slices)
        sum += s.sweep3d;
    EXPECT_NEAR(360, sum, 1e-3);
    EXPECT_NEAR(slices[3].end3d.x, slices[0].start3d.x, 1e-9) << "the first slice starts where the last ends";

    const FrontBack fb = FindFrontBack(slices, start);
    EXPECT_EQ(0, fb.front);
    EXPECT_EQ(2, fb.back);
    const std::vector<DrawStep> order = DrawOrder3D(slices, start, fb);
    ASSERT_EQ(4u, order.size());
    EXPECT_EQ(2, order.front().key);
    EXPECT_EQ(0, order.back().key);

    const double cx = 200, topCentreY = (g.top.top + g.top.bottom) / 2.0;
    // The front rim below the top face belongs to the slice nearest the viewer.
    EXPECT_EQ(0, HitTest3D(slices, start, g, order, cx + 20, g.top.bottom + 5));
    EXPECT_EQ(1, HitTest3D(slices, start, g, order, cx - 100, g.top.bottom + 5));
    EXPECT_EQ(3, HitTest3D(slices, start, g, order, cx + 30, topCentreY - 30));
    EXPECT_EQ(2, HitTest3D(slices, start, g, order, cx - 30, topCentreY - 30));
    EXPECT_EQ(-1, HitTest3D(slices, start, g, order, cx, g.bottom.bottom + 5));
    EXPECT_EQ(-1, HitTest3D(slices, start, g, order, 2, 2));

    // A slice moved out is hit where it was moved to.
    slices[0].explode = 60;
    const PointF moved = LabelPoint3D(slices[0], StartAngles3D(slices, start).at(0), g);
    EXPECT_EQ(0, HitTest3D(slices, start, g, DrawOrder3D(slices, start, fb), moved.x, moved.y + 40));
}

TEST(PieChartColours, ShadesMoveTowardsWhite)
{
    EXPECT_EQ(0xFFFFFFFFu, Shade(0x80123456, 255));
    EXPECT_EQ(0xFF123456u, Shade(0x00123456, 0)) << "factor 0 keeps the colour, made opaque";
    EXPECT_EQ(0xFF6464DDu, Shade(0xFF0000C8, 100)) << "each channel by itself";
}

TEST(PieChartSaving, TheFileNamesExtensionPicksTheEncoder)
{
    EXPECT_EQ(L"image/png", ImageMimeType(L"C:\\out\\chart.png"));
    EXPECT_EQ(L"image/jpeg", ImageMimeType(L"C:\\out\\chart.JPG"));
    EXPECT_EQ(L"image/jpeg", ImageMimeType(L"chart.jpe"));
    EXPECT_EQ(L"image/tiff", ImageMimeType(L"chart.Tif"));
    EXPECT_EQ(L"image/bmp", ImageMimeType(L"chart.v2.bmp")) << "the last dot";
    EXPECT_EQ(L"", ImageMimeType(L"C:\\my.charts\\chart")) << "a dot in a folder name is no extension";
    EXPECT_EQ(L"", ImageMimeType(L"chart."));
    EXPECT_EQ(L"", ImageMimeType(std::wstring(250, L'a') + L"\\chart.png")) << "longer than a path can be";
}

} // namespace
