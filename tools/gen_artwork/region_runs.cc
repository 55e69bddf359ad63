#include "region_runs.h"

#include <algorithm>

namespace {

using Runs = std::vector<std::pair<int, int>>;

Runs RowRuns(int width, int y, const std::function<bool(int, int)>& inside) {
  Runs runs;
  int x = 0;
  while (x < width) {
    while (x < width && !inside(x, y)) ++x;
    if (x == width) break;
    const int start = x;
    while (x < width && inside(x, y)) ++x;
    runs.emplace_back(start, x);
  }
  return runs;
}

void PutInt32(std::string& out, int32_t value) {
  const auto u = static_cast<uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((u >> shift) & 0xFF));
}

}  // namespace

std::vector<RunRect> ShapeToRuns(int width, int height,
                                 const std::function<bool(int, int)>& inside) {
  std::vector<RunRect> rects;
  Runs previous;
  size_t band_start = 0;  // first rectangle of the band that previous describes
  for (int y = 0; y < height; ++y) {
    Runs runs = RowRuns(width, y, inside);
    if (!runs.empty() && runs == previous) {
      for (size_t i = band_start; i < rects.size(); ++i) rects[i].bottom = y + 1;
      continue;
    }
    band_start = rects.size();
    for (const auto& [left, right] : runs) rects.push_back({left, y, right, y + 1});
    previous = std::move(runs);
  }
  return rects;
}

std::string EncodeMask2(const std::vector<RunRect>& rects) {
  std::string out;
  if (rects.empty()) {
    PutInt32(out, 0);
    return out;
  }
  RunRect bound = rects.front();
  for (const RunRect& r : rects) {
    bound.left = std::min(bound.left, r.left);
    bound.top = std::min(bound.top, r.top);
    bound.right = std::max(bound.right, r.right);
    bound.bottom = std::max(bound.bottom, r.bottom);
  }
  const auto count = static_cast<int32_t>(rects.size());
  PutInt32(out, 32 + 16 * count);
  PutInt32(out, 32);  // header size
  PutInt32(out, 1);   // type: list of rectangles
  PutInt32(out, count);
  PutInt32(out, 16 * count);
  for (int32_t v : {bound.left, bound.top, bound.right, bound.bottom}) PutInt32(out, v);
  for (const RunRect& r : rects)
    for (int32_t v : {r.left, r.top, r.right, r.bottom}) PutInt32(out, v);
  return out;
}
