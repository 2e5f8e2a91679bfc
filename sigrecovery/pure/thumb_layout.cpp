#include "sigrecovery/pure/thumb_layout.h"

ThumbPlacement FitThumbnail(uint32_t width, uint32_t height)
{
    ThumbPlacement p;
    if (width == 0 || height == 0)
        return p;
    const float sx = float(kThumbSize) / float(width);
    const float sy = float(kThumbSize) / float(height);
    const float scale = sx <= sy ? sx : sy;
    if (sx <= sy)
        p.y = int((float(kThumbSize) - float(height) * sx) * 0.5f);
    else
        p.x = int((float(kThumbSize) - float(width) * sy) * 0.5f);
    p.width = int(float(width) * scale);
    p.height = int(float(height) * scale);
    return p;
}

ThumbGridPoint ThumbGridPosition(size_t index)
{
    ThumbGridPoint at;
    at.x = int(index % kThumbColumns) * kThumbPitch + kThumbMargin;
    at.y = int(index / kThumbColumns) * kThumbPitch + kThumbMargin;
    return at;
}
