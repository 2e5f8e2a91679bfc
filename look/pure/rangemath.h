// Position arithmetic of the two-handle range slider, free of any window system: bounds and
// range, the pixel layout, hit testing, drags and arrow-key steps.
//
// Every operation keeps both ends inside the bounds and gives defined pixels for an empty range
// (minimum equal to maximum) and for a control too narrow to have a track. Dragging a handle
// leaves left <= right; the range is reversed (right below left) only as it was set, or by
// Shift+Left with both ends on one step, and dragging the band keeps a reversed range reversed.
#pragma once
#include <cstdint>

namespace zr_slider {

// What a press picked up, and what RANGE_CHANGED's wParam names.
enum Part : int { kNone = -1, kLeft = 0, kRight = 1, kBand = 2 };

struct Range {
    double min = 0.0, max = 1.0;
    double left = 0.0, right = 1.0;
};

// The ends moved by Normalize, in the order they moved (kLeft or kRight each).
struct Moves {
    int count = 0;
    int part[6] = {};
    void Add(int p)
    {
        if (count < 6)
            part[count++] = p;
    }
};

// Pulls the ends inside the bounds: an end moved to a bound drags the other along when they
// would cross. A reversed range inside the bounds is left as it is.
Moves Normalize(Range& r);
// Bounds in either order, then Normalize.
Moves SetBounds(Range& r, double a, double b);
// Ends as given, then Normalize.
Moves SetEnds(Range& r, double left, double right);

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};

// Where everything lies in a client area of width x height.
struct Layout {
    int arrow = 0; // width of one handle: three quarters of the height
    int track = 0; // pixels the bounds are spread over: width minus two handles, at least 0
    int height = 0;
    int x1 = 0, x2 = 0;           // pixel positions of the left and right ends
    Rect leftHandle, rightHandle; // as drawn
    Rect leftHit, rightHit;       // the raised faces, which presses hit
    Rect band;                    // between the handles, as drawn
};

// The pixel of a value: its share of the bounds times the track, rounded, within 0..track.
// An empty or inverted bounds interval puts every value at 0.
int PixelOf(const Range& r, int track, double v);
Layout ComputeLayout(const Range& r, int width, int height);

// The part under (x, y), and the press point's offset from that part's centre.
int HitTest(const Layout& l, int x, int y, int* offsetX, int* offsetY);

// Moves the dragged part so that its centre lies at pixel centreX. Returns RANGE_CHANGED's
// wParam for this move.
int DragTo(Range& r, int part, int centreX, const Layout& l);

// One arrow-key step of one pixel: the whole range (shiftOnlyRight false) or its right end only,
// which may pass below the left end. Both ends snap to the pixel grid. A step that would take an
// end off the track changes nothing. False (the key does nothing at all) when the track or the
// bounds are empty; true otherwise, whether or not the range moved.
bool StepKey(Range& r, bool increase, bool shiftOnlyRight, int track);

// A value as a sector number: truncated toward zero, non-numbers as 0, saturated at the ends.
int64_t ToSector(double v);

} // namespace zr_slider
