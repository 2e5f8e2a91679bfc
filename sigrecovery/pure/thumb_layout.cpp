#include "sigrecovery/pure/thumb_layout.h"

#include <cstring>

namespace {

// v rounded to single precision. Going through the float's bytes makes the rounding happen on
// every build: x87 code would otherwise keep the ratio at a higher precision.
double SinglePrecision(double v)
{
    const float f = float(v);
    uint32_t bits = 0;
    std::memcpy(&bits, &f, sizeof bits);
    float back = 0;
    std::memcpy(&back, &bits, sizeof back);
    return back;
}

} // namespace

ThumbPlacement FitThumbnail(uint32_t width, uint32_t height)
{
    ThumbPlacement p;
    if (width == 0 || height == 0)
        return p;
    // The ratios are single precision; what is worked out from them is not rounded back to it.
    const double sx = SinglePrecision(double(kThumbSize) / width);
    const double sy = SinglePrecision(double(kThumbSize) / height);
    const double scale = sx <= sy ? sx : sy;
    if (sx <= sy)
        p.y = int((kThumbSize - double(height) * scale) * 0.5);
    else
        p.x = int((kThumbSize - double(width) * scale) * 0.5);
    p.width = int(double(width) * scale);
    p.height = int(double(height) * scale);
    return p;
}

ThumbGridPoint ThumbGridPosition(size_t index)
{
    ThumbGridPoint at;
    at.x = int(index % kThumbColumns) * kThumbPitch + kThumbMargin;
    at.y = int(index / kThumbColumns) * kThumbPitch + kThumbMargin;
    return at;
}
