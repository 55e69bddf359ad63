#include "skin_files.h"

#include <fstream>
#include <iterator>

namespace gtk_test {

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

int32_t ReadInt32(const std::string& bytes, size_t offset) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes.at(offset + i));
  return static_cast<int32_t>(v);
}

Bitmap ReadBmp24(const std::string& path) {
  const std::string bytes = ReadFileBytes(path);
  Bitmap bitmap;
  if (bytes.size() < 54 || bytes.compare(0, 2, "BM") != 0) return bitmap;
  const size_t data = static_cast<size_t>(ReadInt32(bytes, 10));
  const int width = ReadInt32(bytes, 18);
  const int height = ReadInt32(bytes, 22);
  if ((ReadInt32(bytes, 28) & 0xFFFF) != 24 || width <= 0 || height <= 0) return bitmap;
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  if (bytes.size() < data + stride * height) return bitmap;
  bitmap.width = width;
  bitmap.height = height;
  for (int y = 0; y < height; ++y) {
    const size_t row = data + stride * (height - 1 - y);
    for (int x = 0; x < width; ++x) {
      const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + row + 3 * x);
      bitmap.pixels.push_back(uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]);
    }
  }
  return bitmap;
}

std::vector<Box> OutlineRects(const std::string& payload) {
  std::vector<Box> rects;
  if (payload.size() < 36) return rects;
  const int32_t count = ReadInt32(payload, 12);
  for (int32_t i = 0; i < count && 36 + 16 * static_cast<size_t>(i + 1) <= payload.size(); ++i) {
    const size_t at = 36 + 16 * static_cast<size_t>(i);
    rects.push_back({ReadInt32(payload, at), ReadInt32(payload, at + 4), ReadInt32(payload, at + 8),
                     ReadInt32(payload, at + 12)});
  }
  return rects;
}

}  // namespace gtk_test
