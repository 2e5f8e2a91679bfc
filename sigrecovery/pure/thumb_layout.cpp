#include "sigrecovery/pure/thumb_layout.h"

ThumbPlacement FitThumbnail(uint32_t width, uint32_t height)
{
    ThumbPlacement p;
    if (width == 0 || height == 0)
        return p;
    // The ratios are single precision; what is worked out from them is not rounded back to it, so
    // every build (x87 or SSE) cuts the same pixels.
    const float sx = float(kThumbSize) / float(width);
    const float sy = float(kThumbSize) / float(height);
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
