#include "look/pure/piechart.h"

#include <algorithm>
#include <cmath>
#include <cwctype>

namespace zr_pie {

namespace {

constexpr double kPi = 3.14159265;

double Radians(double degrees)
{
    return degrees * kPi / 180.0;
}

// An angle in [0, 360).
double Wrap(double angle)
{
    if (!std::isfinite(angle))
        return 0.0;
    double a = std::fmod(angle, 360.0);
    if (a < 0)
        a += 360.0;
    return a >= 360.0 ? 0.0 : a;
}

PointF Centre(const Rect& r)
{
    return PointF{ (r.left + r.right) / 2.0, (r.top + r.bottom) / 2.0 };
}

// The point of the ellipse in `r` on the ray from its centre at `angle` (the angle GDI+ arcs
// use, not the ellipse's parameter).
PointF OnEllipse(const Rect& r, double angle)
{
    const PointF c = Centre(r);
    const double a = r.Width() / 2.0, b = r.Height() / 2.0;
    const double cs = std::cos(Radians(angle)), sn = std::sin(Radians(angle));
    const double den = std::sqrt(b * cs * b * cs + a * sn * a * sn);
    const double radius = den > 0 ? a * b / den : 0.0;
    return PointF{ c.x + radius * cs, c.y + radius * sn };
}

// The arc of the ellipse in `r` from `from` to `to` degrees, both ends included, in steps of at
// most two degrees.
void AppendArc(std::vector<PointF>& out, const Rect& r, double from, double to)
{
    const int steps = std::max(1, (int)std::ceil(std::fabs(to - from) / 2.0));
    for (int i = 0; i <= steps; ++i)
        out.push_back(OnEllipse(r, from + (to - from) * i / steps));
}

Rect Offset(const Rect& r, int dx, int dy)
{
    return Rect{ r.left + dx, r.top + dy, r.right + dx, r.bottom + dy };
}

// The key after (or before) `key` in key order, wrapping round.
int Neighbour(const Slices& slices, int key, int direction)
{
    auto it = slices.find(key);
    if (it == slices.end())
        return direction > 0 ? slices.begin()->first : slices.rbegin()->first;
    if (direction > 0) {
        ++it;
        return it == slices.end() ? slices.begin()->first : it->first;
    }
    return it == slices.begin() ? slices.rbegin()->first : std::prev(it)->first;
}

bool Holds(double start, double sweep, double angle)
{
    if (sweep >= 360.0)
        return true;
    return sweep > 0 && Wrap(angle - start) < sweep;
}

double AngularDistance(double a, double b)
{
    const double d = Wrap(a - b);
    return std::min(d, 360.0 - d);
}

} // namespace

double AssignSweeps(Slices& slices)
{
    double total = 0;
    for (const auto& [key, s] : slices)
        total += s.value;
    for (auto& [key, s] : slices) {
        s.share = total > 0 ? float(s.value / total) : 0.0f;
        s.sweep = total > 0 ? float(s.value / total * 360.0) : 0.0f;
    }
    return total;
}

// ---- Areas and legend ------------------------------------------------------------------------

Rect ChartArea(const Rect& client, const Rect& override, int rightBound, bool pie, int horizontalOffset)
{
    if (!override.IsEmpty())
        return override;
    Rect r{ client.left + 30, client.top + 100, rightBound, client.bottom - 30 };
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (h > w) {
        r.right = std::max(r.right, r.left + 150);
        const int side = r.right - r.left;
        r.top = (r.top + r.bottom) / 2 - side / 2;
        r.bottom = r.top + side;
    } else {
        r.bottom = std::max(r.bottom, r.top + 150);
        r.right = r.left + (r.bottom - r.top);
    }
    if (pie && (r.bottom - r.top) % 2 != 0) {
        ++r.bottom;
        ++r.right;
    }
    r.left += horizontalOffset;
    r.right += horizontalOffset;
    return r;
}

int InitialPieSize(int clientWidth)
{
    return std::max(2 * clientWidth / 3, 180);
}

void SizeLegendRows(Legend& legend, const Rect& area)
{
    legend.rowHeight = std::max(1, std::min(area.Height() / 15, 25));
    legend.boxWidth = std::max(0, std::min(area.Width(), 375) / 8);
    legend.rowSpacing = std::max(0, std::min(area.Height() / 20, 18));
}

void MeasureLegend(Legend& legend, int count, int legendHeight)
{
    const int pitch = legend.Pitch();
    int sum = 0;
    legend.visibleHeight = 0;
    for (int i = 0; i < count; ++i) {
        sum += pitch;
        if (sum - legend.rowSpacing <= legendHeight)
            legend.visibleHeight = sum - legend.rowSpacing;
    }
    legend.totalHeight = std::max(0, sum - legend.rowSpacing);
}

int LastFirstRow(const Legend& legend, int count, int legendHeight)
{
    if (count <= 0)
        return 0;
    const int last = count - (legendHeight - legend.rowHeight) / legend.Pitch() - 1;
    return std::clamp(last, 0, count - 1);
}

void FirstVisibleFromPosition(Legend& legend, int count, int legendHeight, int& pos, bool atEnd, int limit)
{
    if (atEnd && limit == 0)
        return;
    const int last = LastFirstRow(legend, count, legendHeight);
    if (atEnd && limit - pos < legend.rowHeight) {
        legend.firstVisible = last;
        pos = limit;
        return;
    }
    if (pos > 0)
        legend.firstVisible = std::min(pos / legend.Pitch(), last);
    else if (pos == 0)
        legend.firstVisible = 0;
}

int ScrollLegend(Legend& legend, int count, int legendHeight, int code, int pos, int trackPos, int limit)
{
    enum { LineUp, LineDown, PageUp, PageDown, ThumbPosition, ThumbTrack };
    const int pitch = legend.Pitch();
    limit = std::max(limit, 0);
    switch (code) {
    case LineUp:
        pos -= pitch;
        if (legend.firstVisible > 0 && --legend.firstVisible == 0)
            pos = 0;
        break;
    case LineDown:
        // Stops once the last row shows: the first row never passes LastFirstRow.
        if (legend.firstVisible < LastFirstRow(legend, count, legendHeight)) {
            pos += pitch;
            if (++legend.firstVisible == LastFirstRow(legend, count, legendHeight))
                pos = limit;
        }
        break;
    case PageUp:
        pos = std::max(pos - legendHeight, 0);
        FirstVisibleFromPosition(legend, count, legendHeight, pos, false, limit);
        break;
    case PageDown:
        pos = std::min(pos + legendHeight, limit);
        FirstVisibleFromPosition(legend, count, legendHeight, pos, false, limit);
        break;
    case ThumbPosition:
    case ThumbTrack:
        pos = trackPos;
        FirstVisibleFromPosition(legend, count, legendHeight, pos, true, limit);
        break;
    default:
        break;
    }
    return std::clamp(pos, 0, limit);
}

LegendPlan PlanLegend(const Slices& slices, const Legend& legend, const Rect& area, const Rect& client,
                      const Rect& legendOverride, double nameWidth, double valueWidth, double valueHeight)
{
    LegendPlan plan;
    const int count = (int)slices.size();
    const int pitch = legend.Pitch();
    plan.blockTop = std::max(area.top, (area.top + area.bottom) / 2 - pitch * count / 2);
    const bool overridden = !legendOverride.IsEmpty();
    int frameLeft = client.left, frameRight = client.right;
    if (overridden) {
        frameLeft = legendOverride.left;
        frameRight = legendOverride.right;
        plan.blockTop = legendOverride.top;
    }
    const int frame = frameRight - frameLeft;
    const double needed = valueWidth + nameWidth + legend.boxWidth + frame / 10;
    if (!overridden) {
        if (frame < needed + 150)
            frameRight = (int)(needed + 150);
    } else {
        frameRight = (int)(frameLeft + needed);
    }
    plan.frameLeft = frameLeft;
    plan.frameRight = frameRight;
    const int gap = frame / 30;
    plan.columnX = frameRight - valueWidth - gap;
    plan.columnY = plan.blockTop;
    plan.columnWidth = valueWidth;
    plan.columnHeight = std::min(legend.totalHeight, legend.visibleHeight);

    double y = plan.blockTop + 1;
    for (auto it = slices.find(legend.firstVisible); it != slices.end() && y + legend.rowHeight <= area.bottom; ++it) {
        LegendRow row;
        row.key = it->first;
        row.y = y;
        row.valueX = frameRight - valueWidth - frame / 35;
        row.separator = !plan.rows.empty();
        row.separatorY = y - (pitch - valueHeight) / 2;
        row.nameX = row.valueX - gap - nameWidth;
        row.boxX = row.nameX - legend.boxWidth - gap;
        plan.rows.push_back(row);
        y += pitch;
    }
    if (!overridden && !plan.rows.empty())
        plan.newPieSize = (int)(plan.rows.back().boxX - frame / 20);
    return plan;
}

int TitlePointSize(int clientHeight, size_t titleLength)
{
    return std::max(1, std::min(clientHeight / 10, titleLength >= 50 ? 11 : 15));
}

int LegendPointSize(int legendFontSize, int legendHeight)
{
    if (legendFontSize > 0)
        return legendFontSize;
    const int size = legendHeight / 25;
    return size > 10 ? 11 : std::max(1, size);
}

int LabelPointSize(int pieHeight)
{
    const int size = pieHeight / 25;
    return size > 10 ? 11 : size < 8 ? 7 : size;
}

uint32_t Shade(uint32_t argb, int factor)
{
    uint32_t out = 0xFF000000u;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int x = (argb >> shift) & 0xFF;
        const int v = std::clamp(x + factor * (255 - x) / 255, 0, 255);
        out |= uint32_t(v) << shift;
    }
    return out;
}

// ---- Angles and the flat styles ----------------------------------------------------------------

double AngleOfPoint(double x, double y, const Rect& r)
{
    const PointF c = Centre(r);
    const double dx = x - c.x, dy = y - c.y;
    if (dx == 0 && dy == 0)
        return 0.0;
    double angle = std::atan(dy / dx) * 180.0 / kPi;
    if (dx < 0)
        angle += 180.0;
    else if (dy < 0)
        angle += 360.0;
    return Wrap(angle);
}

Rect ExplodedRect(const Rect& pie, double angle, int explode)
{
    return Offset(pie, (int)(std::cos(Radians(angle)) * explode), (int)(std::sin(Radians(angle)) * explode));
}

bool InSector(const Rect& r, double start, double sweep, double x, double y)
{
    if (!(sweep > 0) || r.IsEmpty())
        return false;
    const PointF c = Centre(r);
    const double nx = (x - c.x) / (r.Width() / 2.0), ny = (y - c.y) / (r.Height() / 2.0);
    if (nx * nx + ny * ny > 1.0)
        return false;
    return Holds(start, sweep, AngleOfPoint(x, y, r));
}

int HitTestFlat(const Slices& slices, const Rect& pie, double startAngle, bool ring, double x, double y)
{
    const double d = pie.Width() / 15.0;
    double a = startAngle;
    for (const auto& [key, s] : slices) {
        const Rect r = ExplodedRect(pie, a + s.sweep / 2.0, s.explode);
        bool inside = InSector(r, a, s.sweep, x, y);
        if (inside && ring) {
            const PointF c = Centre(r);
            const Rect hole{ (int)std::lround(c.x - 3 * d), (int)std::lround(c.y - 3 * d),
                             (int)std::lround(c.x + 3 * d), (int)std::lround(c.y + 3 * d) };
            inside = !InSector(hole, a, s.sweep, x, y);
        }
        if (inside)
            return key;
        a += s.sweep;
    }
    return -1;
}

PointF LabelPointFlat(const Rect& pie, double start, double sweep, int explode)
{
    const PointF c = Centre(pie);
    const double distance = (explode / 2 + pie.Width() / 5) * 2;
    const double m = Radians(start + sweep / 2);
    return PointF{ c.x + std::cos(m) * distance, c.y + std::sin(m) * distance };
}

// ---- The 3-D style -----------------------------------------------------------------------------

Pie3D Geometry3D(const Rect& pie, double tilt, double depthRatio)
{
    Pie3D g;
    g.k = (int)(pie.Height() * tilt / 180.0);
    g.flat = Rect{ pie.left, pie.top + g.k, pie.right, pie.bottom - g.k };
    const int lift = (int)(g.k * depthRatio / 2.0);
    g.top = Offset(g.flat, 0, -lift);
    g.bottom = Offset(g.flat, 0, lift);
    return g;
}

double Prepare3D(Slices& slices, const Rect& pie, double startAngle, const Pie3D& g)
{
    const PointF c = Centre(pie);
    const double radius = pie.Width() / 2.0;
    const double lift = g.flat.top - g.top.top;
    // The point of the round pie at `angle`, pulled onto the flattened one.
    auto flattened = [&](double angle) {
        return PointF{ c.x + radius * std::cos(Radians(angle)), c.y + (radius - g.k) * std::sin(Radians(angle)) };
    };
    const PointF first = flattened(startAngle);
    const double start3d = AngleOfPoint(first.x, first.y, g.flat);
    double running = startAngle, previous = start3d;
    for (auto& [key, s] : slices) {
        running += s.sweep;
        const PointF end = flattened(running);
        const double angle = AngleOfPoint(end.x, end.y, g.flat);
        double sweep = angle - previous;
        if (previous > angle)
            sweep += 360.0;
        if (s.sweep >= 360.0f)
            sweep = 360.0;
        else if (!(s.sweep > 0.0f))
            sweep = 0.0;
        s.sweep3d = (float)sweep;
        s.end3d = PointF{ end.x, end.y - lift };
        previous = angle;
    }
    PointF last = slices.empty() ? PointF{} : slices.rbegin()->second.end3d;
    for (auto& [key, s] : slices) {
        s.start3d = last;
        last = s.end3d;
    }
    return start3d;
}

std::map<int, double> StartAngles3D(const Slices& slices, double startAngle3d)
{
    std::map<int, double> starts;
    double a = startAngle3d;
    for (const auto& [key, s] : slices) {
        starts[key] = Wrap(a);
        a += s.sweep3d;
    }
    return starts;
}

FrontBack FindFrontBack(const Slices& slices, double startAngle3d)
{
    FrontBack fb;
    if (slices.empty())
        return fb;
    const std::map<int, double> starts = StartAngles3D(slices, startAngle3d);
    double frontDistance = 1e9, backDistance = 1e9;
    int nearestFront = slices.begin()->first, nearestBack = nearestFront;
    for (const auto& [key, s] : slices) {
        const double start = starts.at(key);
        if (fb.front < 0 && Holds(start, s.sweep3d, 90.0))
            fb.front = key;
        if (fb.back < 0 && Holds(start, s.sweep3d, 270.0))
            fb.back = key;
        const double middle = start + s.sweep3d / 2.0;
        if (AngularDistance(middle, 90.0) < frontDistance) {
            frontDistance = AngularDistance(middle, 90.0);
            nearestFront = key;
        }
        if (AngularDistance(middle, 270.0) < backDistance) {
            backDistance = AngularDistance(middle, 270.0);
            nearestBack = key;
        }
    }
    if (fb.front < 0)
        fb.front = nearestFront;
    if (fb.back < 0)
        fb.back = nearestBack;
    return fb;
}

std::vector<DrawStep> DrawOrder3D(const Slices& slices, double startAngle3d, FrontBack fb)
{
    std::vector<DrawStep> order;
    if (slices.empty() || !slices.count(fb.front) || !slices.count(fb.back))
        return order;
    const bool spanning = fb.front == fb.back;
    order.push_back(DrawStep{ fb.back, spanning ? DrawPart::Walls : DrawPart::Whole });
    const double backStart = StartAngles3D(slices, startAngle3d).at(fb.back);
    auto walk = [&](int direction) {
        int key = fb.back;
        for (size_t i = 0; i < slices.size(); ++i) {
            key = Neighbour(slices, key, direction);
            if (key == fb.front || key == fb.back)
                break;
            order.push_back(DrawStep{ key, DrawPart::Whole });
        }
    };
    if (!spanning || (backStart > 90.0 && backStart <= 270.0))
        walk(-1);
    if (!spanning || backStart <= 90.0 || backStart > 270.0)
        walk(+1);
    order.push_back(DrawStep{ fb.front, spanning ? DrawPart::Surface : DrawPart::Whole });
    return order;
}

std::vector<Face> SliceFaces(const Slice& slice, double start, const Pie3D& g, DrawPart part)
{
    std::vector<Face> faces;
    const double sweep = std::clamp((double)slice.sweep3d, 0.0, 360.0);
    const double end = start + sweep;
    const double middle = Radians(start + sweep / 2.0);
    const int dx = (int)(std::cos(middle) * slice.explode), dy = (int)(std::sin(middle) * slice.explode);
    const Rect top = Offset(g.top, dx, dy), bottom = Offset(g.bottom, dx, dy);
    const PointF topCentre = Centre(top), bottomCentre = Centre(bottom);
    const bool whole = sweep >= 360.0;

    if (part != DrawPart::Surface && !whole && sweep > 0) {
        // A radial wall shows when it faces the viewer: the one at the start faces a quarter turn
        // anticlockwise, the one at the end a quarter turn clockwise.
        for (const double angle : { start, end }) {
            const bool facing = angle == start ? std::cos(Radians(angle)) < 0 : std::cos(Radians(angle)) > 0;
            if (!facing)
                continue;
            Face wall{ FaceKind::Wall, {} };
            wall.points = { topCentre, OnEllipse(top, angle), OnEllipse(bottom, angle), bottomCentre };
            faces.push_back(std::move(wall));
        }
    }
    if (part == DrawPart::Walls || !(sweep > 0))
        return faces;
    // The rim shows where it faces the viewer, from 0 to 180 degrees (and again a turn later).
    for (const double low : { 0.0, 360.0 }) {
        const double from = std::max(start, low), to = std::min(end, low + 180.0);
        if (to <= from)
            continue;
        Face rim{ FaceKind::Rim, {} };
        AppendArc(rim.points, top, from, to);
        std::vector<PointF> lower;
        AppendArc(lower, bottom, from, to);
        rim.points.insert(rim.points.end(), lower.rbegin(), lower.rend());
        faces.push_back(std::move(rim));
    }
    Face face{ FaceKind::Top, {} };
    if (!whole)
        face.points.push_back(topCentre);
    AppendArc(face.points, top, start, end);
    faces.push_back(std::move(face));
    return faces;
}

bool InPolygon(const std::vector<PointF>& polygon, double x, double y)
{
    bool inside = false;
    const size_t n = polygon.size();
    for (size_t i = 0, j = n - 1; i < n; j = i++) {
        const PointF& a = polygon[i];
        const PointF& b = polygon[j];
        if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x)
            inside = !inside;
    }
    return inside;
}

int HitTest3D(const Slices& slices, double startAngle3d, const Pie3D& g, const std::vector<DrawStep>& order, double x,
              double y)
{
    const std::map<int, double> starts = StartAngles3D(slices, startAngle3d);
    for (auto step = order.rbegin(); step != order.rend(); ++step) {
        const auto it = slices.find(step->key);
        if (it == slices.end())
            continue;
        for (const Face& face : SliceFaces(it->second, starts.at(step->key), g, step->part))
            if (InPolygon(face.points, x, y))
                return step->key;
    }
    return -1;
}

PointF LabelPoint3D(const Slice& slice, double start, const Pie3D& g)
{
    const double middle = Radians(start + slice.sweep3d / 2.0);
    const int dx = (int)(std::cos(middle) * slice.explode), dy = (int)(std::sin(middle) * slice.explode);
    Rect inner = Offset(g.top, dx, dy);
    const int w = inner.Width() / 10, h = inner.Height() / 10;
    inner = Rect{ inner.left + w, inner.top + h, inner.right - w, inner.bottom - h };
    return OnEllipse(inner, start + slice.sweep3d / 2.0);
}

// ---- Saving ------------------------------------------------------------------------------------

std::wstring ImageMimeType(std::wstring_view path)
{
    constexpr size_t kLimit = 259;
    if (path.size() > kLimit)
        return std::wstring();
    const size_t slash = path.find_last_of(L"\\/");
    const std::wstring_view name = slash == std::wstring_view::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind(L'.');
    if (dot == std::wstring_view::npos || dot + 1 >= name.size())
        return std::wstring();
    std::wstring ext(name.substr(dot + 1));
    for (wchar_t& ch : ext)
        ch = (wchar_t)std::towlower(ch);
    if (ext == L"jpg" || ext == L"jpe")
        ext = L"jpeg";
    else if (ext == L"tif")
        ext = L"tiff";
    std::wstring mime = L"image/" + ext;
    return mime.size() > kLimit ? std::wstring() : mime;
}

} // namespace zr_pie
