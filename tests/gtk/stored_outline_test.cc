// Reads the stored window outlines byte by byte, independently of the code
// that wrote them, and checks the layout the program relies on: the int32
// byte count, the 32-byte region header, and a list of non-overlapping
// horizontal runs that make up a shape inside the expected bounds.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "skin_design_data.h"
#include "skin_files.h"

namespace {

using gtk_test::Box;
using gtk_test::ReadInt32;

std::string ReadFile(const std::string& path) { return gtk_test::ReadFileBytes(path); }

// Checks one payload against the outline the form's skin is cut to.
std::vector<Box> CheckOutline(const std::string& payload, Box expected_bound) {
  std::vector<Box> rects;
  EXPECT_GE(payload.size(), 36u);
  if (payload.size() < 36) return rects;
  const int32_t n = ReadInt32(payload, 0);
  EXPECT_EQ(static_cast<size_t>(n) + 4, payload.size()) << "byte count covers the rest";
  EXPECT_EQ(32, ReadInt32(payload, 4)) << "header size";
  EXPECT_EQ(1, ReadInt32(payload, 8)) << "type: rectangles";
  const int32_t count = ReadInt32(payload, 12);
  EXPECT_EQ(16 * count, ReadInt32(payload, 16)) << "byte size of the rectangles";
  EXPECT_EQ(32 + 16 * count, n);
  if (32 + 16 * count != n || static_cast<size_t>(n) + 4 != payload.size()) return rects;
  const Box bound{ReadInt32(payload, 20), ReadInt32(payload, 24), ReadInt32(payload, 28),
                  ReadInt32(payload, 32)};
  EXPECT_EQ(std::tie(expected_bound.left, expected_bound.top, expected_bound.right, expected_bound.bottom),
            std::tie(bound.left, bound.top, bound.right, bound.bottom));

  for (int32_t i = 0; i < count; ++i) {
    const size_t at = 36 + 16 * static_cast<size_t>(i);
    rects.push_back({ReadInt32(payload, at), ReadInt32(payload, at + 4), ReadInt32(payload, at + 8),
                     ReadInt32(payload, at + 12)});
  }
  Box seen{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  int64_t area = 0;
  for (size_t i = 0; i < rects.size(); ++i) {
    const Box& r = rects[i];
    SCOPED_TRACE("rectangle " + std::to_string(i));
    EXPECT_LT(r.left, r.right);
    EXPECT_LT(r.top, r.bottom);
    if (i > 0) {  // banded order: by top, then left, bands never interleave
      const Box& p = rects[i - 1];
      EXPECT_TRUE(p.top < r.top || (p.top == r.top && p.bottom == r.bottom && p.right < r.left));
      if (p.top < r.top) {
        EXPECT_LE(p.bottom, r.top);
      }
    }
    seen = {std::min(seen.left, r.left), std::min(seen.top, r.top), std::max(seen.right, r.right),
            std::max(seen.bottom, r.bottom)};
    area += int64_t{r.right - r.left} * (r.bottom - r.top);
  }
  EXPECT_EQ(std::tie(bound.left, bound.top, bound.right, bound.bottom),
            std::tie(seen.left, seen.top, seen.right, seen.bottom))
      << "bounding rectangle is the union's";
  // A real outline: not the plain bounding rectangle, yet most of it.
  const int64_t bound_area = int64_t{bound.right - bound.left} * (bound.bottom - bound.top);
  EXPECT_LT(area, bound_area);
  EXPECT_GT(area, bound_area * 8 / 10);
  return rects;
}

// The skin is cut to its outline: black outside every run, painted inside.
void CheckSkinMatchesOutline(const std::string& skin, const std::vector<Box>& rects, int w, int h) {
  const gtk_test::Bitmap bitmap = gtk_test::ReadBmp24(skin);
  ASSERT_EQ(w, bitmap.width);
  ASSERT_EQ(h, bitmap.height);
  const std::vector<uint32_t>& pixels = bitmap.pixels;
  std::vector<bool> inside(pixels.size());
  for (const Box& r : rects)
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) inside[static_cast<size_t>(y) * w + x] = true;
  int outside_painted = 0, inside_black = 0;
  for (size_t i = 0; i < pixels.size(); ++i) {
    if (!inside[i] && pixels[i] != 0) ++outside_painted;
    if (inside[i] && pixels[i] == 0) ++inside_black;
  }
  EXPECT_EQ(0, outside_painted);
  EXPECT_LT(inside_black, w * h / 100) << "the skin fills its outline";
}

TEST(StoredOutline, PayloadsHaveTheRegionLayoutAndFitTheSkins) {
  {
    SCOPED_TRACE("main window");
    const std::string file = ReadFile(UPDATER_SOURCE_DIR "/data/skin/form1.mask2");
    EXPECT_EQ(file, std::string(Form1StoredMask2()));
    const auto rects = CheckOutline(std::string(Form1StoredMask2()), {1, 8, 866, 660});
    CheckSkinMatchesOutline(UPDATER_SOURCE_DIR "/data/skin/Ftp/FTP_ORVEL_001b.bmp", rects, 924, 680);
  }
  {
    SCOPED_TRACE("server dialog");
    const std::string file = ReadFile(UPDATER_SOURCE_DIR "/data/skin/form2.mask2");
    EXPECT_EQ(file, std::string(Form2StoredMask2()));
    const auto rects = CheckOutline(std::string(Form2StoredMask2()), {1, 8, 866, 640});
    CheckSkinMatchesOutline(UPDATER_SOURCE_DIR "/data/skin/Ftp/FTP_ORVEL_003b.bmp", rects, 924, 644);
  }
}

}  // namespace
