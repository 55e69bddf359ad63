// Reading the committed skin files the way a test sees them, independently
// of the program's own code: 24-bit BMP pixels and the rectangles of a
// stored outline payload.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gtk_test {

struct Box {
  int32_t left, top, right, bottom;  // right and bottom exclusive
  bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};

struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // 0xRRGGBB, rows from the top
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

std::string ReadFileBytes(const std::string& path);
int32_t ReadInt32(const std::string& bytes, size_t offset);
// An uncompressed bottom-up 24-bit BMP; an empty bitmap when it is not one.
Bitmap ReadBmp24(const std::string& path);
// The rectangles of a Mask2 payload (no checks: see stored_outline_test).
std::vector<Box> OutlineRects(const std::string& payload);

}  // namespace gtk_test
