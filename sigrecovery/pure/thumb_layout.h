// Where a found picture's thumbnail goes: the picture scaled into a 100 x 100 square with its
// shape kept and centred, and the square's place on the five-column grid of the thumbnail list.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kThumbSize = 100;
constexpr int kThumbColumns = 5;
constexpr int kThumbPitch = 135; // from one square to the next, across and down
constexpr int kThumbMargin = 35; // of the first square from the list's corner

struct ThumbPlacement {
    int x = 0, y = 0;          // of the picture inside the square
    int width = 0, height = 0; // the picture's size there; 0 when it has none
};

// A width x height picture fitted into the square: the smaller of 100 / width and 100 / height
// (single precision, as the drawing gets it) scales both sides, each cut to whole pixels, and the
// picture is centred along the other side. A picture without pixels gets an empty placement.
ThumbPlacement FitThumbnail(uint32_t width, uint32_t height);

struct ThumbGridPoint {
    int x = 0, y = 0;
};

// The top left corner of the index-th square since the list was last emptied, row by row.
ThumbGridPoint ThumbGridPosition(size_t index);
