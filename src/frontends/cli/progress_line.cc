#include "frontends/cli/progress_line.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>
#include <vector>

namespace {

// Samples closer together than this replace nothing, so a fast transfer's
// many blocks keep the window small.
constexpr std::chrono::milliseconds kSpacing{100};

constexpr std::string_view kEllipsis = "\u2026";

// One character of a UTF-8 text: its bytes and the columns it takes.
struct Glyph {
  std::string_view bytes;
  int width;
};

bool IsWide(char32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
         (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

// The characters of `text`; a byte that starts no whole sequence is a
// character of its own, one column wide.
std::vector<Glyph> Glyphs(std::string_view text) {
  std::vector<Glyph> glyphs;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t size = lead >= 0xF0 && lead < 0xF8 ? 4 : lead >= 0xE0 && lead < 0xF0 ? 3 : lead >= 0xC0 && lead < 0xE0 ? 2 : 1;
    char32_t c = size == 1 ? lead : lead & (0x7F >> size);
    if (i + size > text.size()) size = 1;
    for (size_t k = 1; k < size; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) {
        size = 1;
        break;
      }
      c = (c << 6) | (next & 0x3F);
    }
    glyphs.push_back({text.substr(i, size), size > 1 && IsWide(c) ? 2 : 1});
    i += size;
  }
  return glyphs;
}

int Width(std::string_view text) {
  int width = 0;
  for (const Glyph& glyph : Glyphs(text)) width += glyph.width;
  return width;
}

// The longest start of `text` that takes at most `columns`.
std::string_view Head(std::string_view text, int columns) {
  size_t size = 0;
  for (const Glyph& glyph : Glyphs(text)) {
    if (glyph.width > columns) break;
    columns -= glyph.width;
    size += glyph.bytes.size();
  }
  return text.substr(0, size);
}

// The longest end of `text` that takes at most `columns`.
std::string_view Tail(std::string_view text, int columns) {
  const std::vector<Glyph> glyphs = Glyphs(text);
  size_t size = 0;
  for (auto glyph = glyphs.rbegin(); glyph != glyphs.rend() && glyph->width <= columns; ++glyph) {
    columns -= glyph->width;
    size += glyph->bytes.size();
  }
  return text.substr(text.size() - size);
}

// Where the file name before the byte counts ("<name> 10 of 20") ends, or 0
// when the line has no name (the file check's progress).
size_t NameEnd(std::string_view line) {
  const size_t of = line.rfind(" of ");
  if (of == std::string_view::npos) return 0;
  size_t counts = of;
  while (counts > 0 && line[counts - 1] >= '0' && line[counts - 1] <= '9') --counts;
  if (counts == of || counts < 2 || line[counts - 1] != ' ') return 0;
  return counts - 1;
}

}  // namespace

void RateMeter::Add(Clock::time_point at, int64_t bytes) {
  if (!samples_.empty() && bytes < latest_.bytes) samples_.clear();
  latest_ = {at, bytes};
  if (samples_.empty() || at - samples_.back().at >= kSpacing) samples_.push_back(latest_);
  // Keeps one sample at or before the window's start.
  while (samples_.size() > 1 && samples_[1].at <= at - kWindow) samples_.pop_front();
}

std::optional<double> RateMeter::BytesPerSecond() const {
  if (samples_.empty()) return std::nullopt;
  const Sample& oldest = samples_.front();
  const std::chrono::duration<double> span = latest_.at - oldest.at;
  if (span < kFirstSpan) return std::nullopt;
  return static_cast<double>(latest_.bytes - oldest.bytes) / span.count();
}

std::string RateText(double bytes_per_second) {
  static const char* const kUnits[] = {"KiB/s", "MiB/s", "GiB/s"};
  if (bytes_per_second < 1024) return std::to_string(static_cast<int64_t>(bytes_per_second)) + " B/s";
  double value = bytes_per_second / 1024;
  int unit = 0;
  while (value >= 1023.95 && unit < 2) {  // no "1024.0" of the smaller unit
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  return text;
}

std::string DurationText(int64_t seconds) {
  char text[32];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
  }
  return text;
}

std::string ProgressLine(const std::string& window_text, std::optional<double> bytes_per_second,
                         std::optional<int64_t> bytes_left) {
  if (!bytes_per_second) return window_text;
  std::string line = window_text + "  " + RateText(*bytes_per_second);
  if (bytes_left && *bytes_per_second > 0) {
    const auto seconds = static_cast<int64_t>(std::ceil(static_cast<double>(*bytes_left) / *bytes_per_second));
    line += "  " + DurationText(seconds) + " left";
  }
  return line;
}

std::string FitToColumns(const std::string& utf8_line, int columns) {
  const int limit = std::max(columns - 1, 0);
  if (Width(utf8_line) <= limit) return utf8_line;
  const std::string_view line = utf8_line;
  std::string fitted(line);
  if (const size_t name_end = NameEnd(line); name_end > 0) {
    const std::string_view name = line.substr(0, name_end);
    const std::string_view rest = line.substr(name_end);
    // The columns the name keeps beside the ellipsis, its start getting the odd one.
    const int room = std::max(limit - Width(rest) - static_cast<int>(Width(kEllipsis)), 0);
    const std::string_view head = Head(name, (room + 1) / 2);
    const std::string_view tail = Tail(name, room - Width(head));
    fitted = std::string(head) + std::string(kEllipsis) + std::string(tail) + std::string(rest);
  }
  return std::string(Head(fitted, limit));
}
