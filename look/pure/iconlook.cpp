#include "look/pure/iconlook.h"

#include <cwctype>

namespace zr_look {

void BuildGreyTable(uint32_t table[256])
{
    for (uint32_t i = 0; i < 256; ++i)
        table[i] = (255 - i) * 0x010101u;
}

void MapPixelsByLuminance(uint32_t* pixels, size_t count, const uint32_t table[256])
{
    for (size_t k = 0; k < count; ++k) {
        const uint32_t p = pixels[k];
        const uint32_t blue = p & 0xFF, green = (p >> 8) & 0xFF, red = (p >> 16) & 0xFF;
        const uint32_t alpha = p >> 24;
        uint32_t index = 255 - (blue + green + red) / 3;
        if (alpha == 0 && index == 255)
            continue;
        if (index == 0)
            index = 1;
        // The table holds COLORREFs (red in the low byte); the pixel keeps blue there.
        const uint32_t c = table[index];
        const uint32_t r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
        pixels[k] = (alpha << 24) | (r << 16) | (g << 8) | b;
    }
}

IconButtonLayout LayoutIconButton(int rectRight, int rectBottom, int iconWidth, int iconHeight, bool hasCaption,
                                  int textWidth, int textHeight)
{
    IconButtonLayout l;
    if (hasCaption) {
        l.textX = (rectRight - iconWidth) / 2 - textWidth / 2 + iconWidth;
        l.textY = rectBottom / 2 - textHeight / 2;
        l.iconX = l.textX - iconWidth - 2;
        l.iconY = l.textY - 2;
    } else {
        l.iconX = (rectRight - iconWidth) / 2;
        l.iconY = (rectBottom - iconHeight) / 2;
    }
    return l;
}

std::wstring TrimCaption(const std::wstring& caption)
{
    size_t b = 0, e = caption.size();
    while (b < e && std::iswspace(caption[b]))
        ++b;
    while (e > b && std::iswspace(caption[e - 1]))
        --e;
    return caption.substr(b, e - b);
}

} // namespace zr_look
