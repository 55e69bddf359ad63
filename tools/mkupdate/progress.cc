#include "progress.h"

#include <algorithm>
#include <cstdio>

#include "platform/process.h"

namespace mkupdate {

namespace {
constexpr int kBarWidth = 30;

std::string Mebibytes(int64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / (1024.0 * 1024.0));
  return text;
}
}  // namespace

Progress::Progress(const std::string& label, int64_t total_bytes, int64_t total_files)
    : enabled_(platform::IsTerminal(platform::StandardStream::kError)), label_(label), total_bytes_(total_bytes), total_files_(total_files) {}

Progress::~Progress() {
  if (!drawn_) return;
  Draw(true);
  std::fputc('\n', stderr);
}

void Progress::AddBytes(int64_t bytes) {
  bytes_ += bytes;
  Draw(false);
}

void Progress::FileDone() {
  ++files_;
  Draw(false);
}

void Progress::Clear() {
  if (!drawn_) return;
  std::fputs("\r\033[K", stderr);
  drawn_ = false;
}

void Progress::Draw(bool force) {
  if (!enabled_) return;
  auto now = std::chrono::steady_clock::now();
  if (!force && drawn_ && now - last_draw_ < std::chrono::milliseconds(100)) return;
  last_draw_ = now;
  double fraction = total_bytes_ > 0 ? static_cast<double>(bytes_) / static_cast<double>(total_bytes_)
                                     : (total_files_ > 0 ? static_cast<double>(files_) / total_files_ : 1.0);
  int filled = static_cast<int>(std::clamp(fraction, 0.0, 1.0) * kBarWidth);
  std::string bar(filled, '#');
  bar.resize(kBarWidth, '.');
  std::fprintf(stderr, "\r%s [%s] %s/%s MiB  %lld/%lld files\033[K", label_.c_str(), bar.c_str(),
               Mebibytes(bytes_).c_str(), Mebibytes(total_bytes_).c_str(), static_cast<long long>(files_),
               static_cast<long long>(total_files_));
  std::fflush(stderr);
  drawn_ = true;
}

}  // namespace mkupdate
