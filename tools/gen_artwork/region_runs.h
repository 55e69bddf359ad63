// Turns a one-bit shape into the rectangle list a stored window outline
// holds: horizontal runs per row, consecutive rows with identical runs merged
// into one taller rectangle, in top-to-bottom, left-to-right order.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct RunRect {
  int32_t left, top, right, bottom;  // right and bottom exclusive
};

// inside(x, y) tells whether pixel (x, y) of a width x height picture belongs
// to the shape.
std::vector<RunRect> ShapeToRuns(int width, int height,
                                 const std::function<bool(int, int)>& inside);

// The stored payload: int32 byte count n, then the region data (32-byte
// header: size 32, type 1, count, byte size of the rectangles, bounding
// rectangle) and the rectangles, 16 bytes each, all little-endian.
// An empty list gives the 4-byte payload n = 0.
std::string EncodeMask2(const std::vector<RunRect>& rects);
