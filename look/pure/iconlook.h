// Pixel and layout arithmetic of the icon button, free of any window system.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace zr_look {

// 256 colours (0x00BBGGRR) for mapping by luminance: entry i is grey level 255 - i.
void BuildGreyTable(uint32_t table[256]);

// Maps 32-bit pixels (0xAARRGGBB as a bottom-up DIB stores them) through a table of 256 colours
// (0x00BBGGRR) indexed by 255 - luminance, luminance = (r + g + b) / 3. Alpha is kept. A pixel that
// is transparent and black stays as it is; index 0 (white) is taken as 1, so a white pixel maps to
// table[1] (grey 254 with the grey table).
void MapPixelsByLuminance(uint32_t* pixels, size_t count, const uint32_t table[256]);

// Where the button draws its icon and caption, in the coordinates of its rectangle (whose left
// and top the layout takes as 0). Without a caption the icon is centred.
struct IconButtonLayout {
    int textX = 0, textY = 0;
    int iconX = 0, iconY = 0;
};
IconButtonLayout LayoutIconButton(int rectRight, int rectBottom, int iconWidth, int iconHeight, bool hasCaption,
                                  int textWidth, int textHeight);

// The caption without white space at either end.
std::wstring TrimCaption(const std::wstring& caption);

} // namespace zr_look
