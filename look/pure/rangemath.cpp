#include "look/pure/rangemath.h"

namespace zr_slider {

Moves Normalize(Range& r)
{
    Moves moves;
    // Written as "not inside" so that a value that is not a number is pulled in as well.
    if (!(r.left >= r.min)) {
        r.left = r.min;
        moves.Add(kLeft);
        if (r.left > r.right || r.right != r.right) {
            r.right = r.left;
            moves.Add(kRight);
        }
    }
    if (!(r.right <= r.max)) {
        r.right = r.max;
        moves.Add(kRight);
        if (r.right < r.left) {
            r.left = r.right;
            moves.Add(kLeft);
        }
    }
    // An end beyond the opposite bound: a reversed range that does not lie inside the bounds.
    if (r.right < r.min) {
        r.right = r.min;
        moves.Add(kRight);
    }
    if (r.left > r.max) {
        r.left = r.max;
        moves.Add(kLeft);
    }
    return moves;
}

Moves SetBounds(Range& r, double a, double b)
{
    if (a == a && b == b) {
        r.min = a < b ? a : b;
        r.max = a < b ? b : a;
    }
    return Normalize(r);
}

Moves SetEnds(Range& r, double left, double right)
{
    r.left = left;
    r.right = right;
    return Normalize(r);
}

int PixelOf(const Range& r, int track, double v)
{
    const double span = r.max - r.min;
    if (!(span > 0) || track <= 0)
        return 0;
    double share = (v - r.min) / span;
    if (!(share > 0))
        share = 0;
    if (share > 1)
        share = 1;
    return (int)(share * track + 0.5);
}

static Rect Raised(const Rect& r)
{
    return Rect{ r.left + 1, r.top + 1, r.right - 2, r.bottom - 2 };
}

Layout ComputeLayout(const Range& r, int width, int height)
{
    Layout l;
    l.height = height > 0 ? height : 0;
    l.arrow = (3 * l.height) / 4;
    l.track = width - 2 * l.arrow;
    if (l.track < 0)
        l.track = 0;
    l.x1 = PixelOf(r, l.track, r.left);
    l.x2 = PixelOf(r, l.track, r.right);
    const int a = l.arrow;
    l.leftHandle = Rect{ l.x1, 0, l.x1 + a, l.height };
    l.rightHandle = Rect{ l.x2 + a, 0, l.x2 + 2 * a, l.height };
    l.leftHit = Raised(l.leftHandle);
    l.rightHit = Raised(l.rightHandle);
    l.band = Rect{ l.x1 + a + 1, 1, l.x2 + a, l.height - 1 };
    return l;
}

int HitTest(const Layout& l, int x, int y, int* offsetX, int* offsetY)
{
    const Rect band{ l.leftHit.right + 1, 0, l.rightHit.left - 1, l.height };
    const Rect* hit = nullptr;
    int part = kNone;
    if (l.leftHit.Contains(x, y)) {
        hit = &l.leftHit;
        part = kLeft;
    } else if (l.rightHit.Contains(x, y)) {
        hit = &l.rightHit;
        part = kRight;
    } else if (band.Contains(x, y)) {
        hit = &band;
        part = kBand;
    }
    if (hit) {
        *offsetX = x - (hit->left + hit->right) / 2;
        *offsetY = y - (hit->top + hit->bottom) / 2;
    }
    return part;
}

// The value whose pixel is `pixel` on the track.
static double ValueAt(const Range& r, int pixel, int track)
{
    return (double)pixel / track * (r.max - r.min) + r.min;
}

int DragTo(Range& r, int part, int centreX, const Layout& l)
{
    const int a = l.arrow;
    switch (part) {
    case kLeft:
        if (l.track > 0) {
            r.left = ValueAt(r, centreX - a / 2, l.track);
            if (r.left >= r.right)
                r.left = r.right;
            if (r.left <= r.min)
                r.left = r.min;
        }
        return kLeft;
    case kRight: {
        const double before = r.right;
        if (l.track > 0) {
            r.right = ValueAt(r, centreX - (3 * a) / 2, l.track);
            if (r.right <= r.left)
                r.right = r.left;
            if (r.right >= r.max)
                r.right = r.max;
        }
        return r.right != before ? kRight : kLeft;
    }
    case kBand:
        if (l.track > 0) {
            // The band keeps its width, also in a reversed range (right end below the left one):
            // its lower end stops at the lower bound, its upper end at the upper bound.
            const double w = r.right - r.left;
            const double m = ValueAt(r, centreX - a, l.track);
            r.left = m - w * 0.5;
            r.right = m + w * 0.5;
            const bool reversed = w < 0;
            const double width = reversed ? -w : w;
            double& lower = reversed ? r.right : r.left;
            double& upper = reversed ? r.left : r.right;
            if (lower <= r.min) {
                lower = r.min;
                upper = r.min + width;
            }
            if (upper >= r.max) {
                upper = r.max;
                lower = r.max - width;
            }
            if (lower < r.min) // rounding of max - width
                lower = r.min;
        }
        return kBand;
    default:
        return kNone;
    }
}

bool StepKey(Range& r, bool increase, bool shiftOnlyRight, int track)
{
    if (track <= 0)
        return false;
    const double step = (r.max - r.min) / track;
    if (!(step > 0))
        return false;
    int64_t lp = (int64_t)((r.left - r.min) / step + 0.5);
    int64_t rp = (int64_t)((r.right - r.min) / step + 0.5);
    const int delta = increase ? 1 : -1;
    if (!shiftOnlyRight)
        lp += delta;
    rp += delta;
    // Each end stays on the track. The right end alone may pass below the left one: Shift+Left
    // with both ends on one step reverses the range.
    if (lp < 0 || lp > track || rp < 0 || rp > track)
        return true;
    r.left = lp * step + r.min;
    r.right = rp * step + r.min;
    // The grid's last step may land a rounding error beyond the upper bound.
    if (r.right > r.max)
        r.right = r.max;
    if (r.left > r.max)
        r.left = r.max;
    return true;
}

int64_t ToSector(double v)
{
    if (v != v)
        return 0;
    if (v >= 9223372036854775807.0)
        return INT64_MAX;
    if (v <= -9223372036854775808.0)
        return INT64_MIN;
    return (int64_t)v;
}

} // namespace zr_slider
