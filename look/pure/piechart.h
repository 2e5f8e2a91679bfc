// The pie chart's arithmetic, free of any window system: the pie and legend areas, the legend's
// rows and scrolling, the font sizes, the slices' angles in the ring, flat and 3-D styles, the
// faces a 3-D slice is drawn from, hit testing by the same geometry, and the picture format a
// file name asks for.
//
// Angles are in degrees, clockwise from the positive x axis as the screen shows it (y grows
// downwards), as GDI+ measures them. Colours are GDI+ colours, 0xAARRGGBB.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace zr_pie {

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool operator==(const Rect& o) const
    {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};

struct PointF {
    double x = 0, y = 0;
};

enum Style : int { kRing = 0, kFlat = 1, k3D = 2 };

struct Slice {
    double value = 0;
    float share = 0; // value / total
    float sweep = 0; // ring and flat styles
    float spare1 = 0, spare2 = 0;
    uint32_t color1 = 0xFF000000; // first gradient colour
    uint32_t color2 = 0xFF000000; // second gradient colour
    uint32_t color3 = 0xFF000000; // legend box, outlines, side walls
    std::wstring name;            // legend and label
    std::wstring secondText;
    float sweep3d = 0; // on the 3-D top face, computed
    uint8_t alpha3d = 255;
    PointF start3d, end3d; // on the top-face ellipse, computed
    uint32_t spareWord = 0;
    bool selected = false;
    int explode = 0; // pixels the slice is moved out along its middle angle
    std::wstring valueText;
};
using Slices = std::map<int, Slice>;

// The sum of the values, each slice's share and sweep (the sweeps add up to 360 when the total is
// above 0; all are 0 otherwise).
double AssignSweeps(Slices& slices);

// ---- Areas and legend ------------------------------------------------------------------------

// The pie area (`pie` true) or the legend area of a client rectangle: a square of at least 150
// pixels below the title band, or `override` unchanged when it is not empty. `rightBound` is the
// pie area's right edge (pie size - 10) or the client's right.
Rect ChartArea(const Rect& client, const Rect& override, int rightBound, bool pie, int horizontalOffset);
// The pie size a client width starts with: two thirds of it, at least 180.
int InitialPieSize(int clientWidth);

struct Legend {
    int boxWidth = 50;
    int rowHeight = 20;
    int rowSpacing = 10;
    int totalHeight = 0;      // height of all rows
    int visibleHeight = 1000; // height of the whole rows that fit
    int firstVisible = 0;     // key of the first row shown
    int Pitch() const { return rowHeight + rowSpacing > 0 ? rowHeight + rowSpacing : 1; }
};
// Row height, box width and spacing for a legend area (rows are at least one pixel high).
void SizeLegendRows(Legend& legend, const Rect& legendArea);
// The total and visible heights of `count` rows in an area `legendHeight` high.
void MeasureLegend(Legend& legend, int count, int legendHeight);
// The last row that can be the first visible one: with it first, the last row is shown.
int LastFirstRow(const Legend& legend, int count, int legendHeight);
// The first visible row for a scroll position `pos` (which may snap to `limit` when the thumb is
// taken to the end).
void FirstVisibleFromPosition(Legend& legend, int count, int legendHeight, int& pos, bool atEnd, int limit);
// One scroll-bar action (the SB_ codes 0 to 5; others leave the position): the new position.
int ScrollLegend(Legend& legend, int count, int legendHeight, int code, int pos, int trackPos, int limit);

// Where the legend's parts go, from the measured text sizes.
struct LegendRow {
    int key = 0;
    double valueX = 0, nameX = 0, boxX = 0, y = 0;
    bool separator = false; // every row but the first
    double separatorY = 0;
};
struct LegendPlan {
    double blockTop = 0, frameLeft = 0, frameRight = 0;
    double columnX = 0, columnY = 0, columnWidth = 0, columnHeight = 0; // the value column's ground
    std::vector<LegendRow> rows;
    int newPieSize = -1; // the pie size the rows leave room for; -1 when unchanged
};
LegendPlan PlanLegend(const Slices& slices, const Legend& legend, const Rect& legendArea, const Rect& client,
                      const Rect& legendOverride, double nameWidth, double valueWidth, double valueHeight);

// Point sizes, never below 1.
int TitlePointSize(int clientHeight, size_t titleLength);
int LegendPointSize(int legendFontSize, int legendHeight);
int LabelPointSize(int pieHeight);

// Each of red, green and blue moved `factor`/255 of the way to white; opaque.
uint32_t Shade(uint32_t argb, int factor);

// ---- Angles and the flat styles ----------------------------------------------------------------

// The angle of (x, y) about the centre of `r`, in [0, 360); 0 at the centre itself.
double AngleOfPoint(double x, double y, const Rect& r);
// The pie area moved `explode` pixels along `angle`.
Rect ExplodedRect(const Rect& pie, double angle, int explode);
// Whether (x, y) lies in the sector of the ellipse in `r` from `start` over `sweep` degrees.
bool InSector(const Rect& r, double start, double sweep, double x, double y);
// The slice under (x, y) in the ring (`ring` true) or flat style, -1 for none. A point in the
// ring's hole belongs to no slice.
int HitTestFlat(const Slices& slices, const Rect& pie, double startAngle, bool ring, double x, double y);
// Where a slice's label is centred in the ring and flat styles.
PointF LabelPointFlat(const Rect& pie, double start, double sweep, int explode);

// ---- The 3-D style -----------------------------------------------------------------------------

struct Pie3D {
    Rect flat;   // the pie area flattened by the tilt
    Rect top;    // the top face: `flat` lifted by half the thickness
    Rect bottom; // the bottom face
    int k = 0;   // pixels the tilt takes off the top and the bottom of the pie area
};
Pie3D Geometry3D(const Rect& pie, double tilt, double depthRatio);
// Each slice's 3-D sweep and its start and end points on the top face; returns the angle on the
// flattened pie where the first slice starts.
double Prepare3D(Slices& slices, const Rect& pie, double startAngle, const Pie3D& g);
// Each slice's start angle on the top face: the 3-D start angle plus the sweeps before it.
std::map<int, double> StartAngles3D(const Slices& slices, double startAngle3d);

struct FrontBack {
    int front = -1; // the slice nearest the viewer (holding 90 degrees)
    int back = -1;  // the slice farthest away (holding 270 degrees)
};
// Slices whose sweeps do not reach 90 or 270 degrees give the slice whose middle is nearest.
FrontBack FindFrontBack(const Slices& slices, double startAngle3d);

enum class DrawPart { Whole, Walls, Surface };
struct DrawStep {
    int key = 0;
    DrawPart part = DrawPart::Whole;
};
// Back to front: the back slice, the slices from it round either side to the front slice, the
// front slice. A slice holding both 90 and 270 degrees is drawn first (its walls) and last (rim
// and top). Every slice appears; the walks take at most one step per slice.
std::vector<DrawStep> DrawOrder3D(const Slices& slices, double startAngle3d, FrontBack fb);

enum class FaceKind { Top, Rim, Wall };
struct Face {
    FaceKind kind = FaceKind::Top;
    std::vector<PointF> points; // a closed polygon
};
// The faces of one slice in drawing order (walls, rim, top), moved out by its explode offset.
std::vector<Face> SliceFaces(const Slice& slice, double start, const Pie3D& g, DrawPart part);
bool InPolygon(const std::vector<PointF>& polygon, double x, double y);
// The slice whose drawn faces hold (x, y), the nearest first; -1 for none.
int HitTest3D(const Slices& slices, double startAngle3d, const Pie3D& g, const std::vector<DrawStep>& order, double x,
              double y);
// Where a slice's label is centred in the 3-D style.
PointF LabelPoint3D(const Slice& slice, double start, const Pie3D& g);

// ---- Saving ------------------------------------------------------------------------------------

// "image/" and the extension of the file name (after its last dot, lower case, "jpg" and "jpe" as
// "jpeg", "tif" as "tiff"); empty without an extension or for a path too long to save to.
std::wstring ImageMimeType(std::wstring_view path);

} // namespace zr_pie
