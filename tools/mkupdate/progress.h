// A one-line progress bar on standard error, shown only when standard error
// is a terminal: bytes and files done out of the totals, redrawn at most
// ten times a second. Off a terminal it prints nothing.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace mkupdate {

class Progress {
 public:
  // total_bytes and total_files: the work announced; label: what is done.
  Progress(const std::string& label, int64_t total_bytes, int64_t total_files);
  ~Progress();  // ends the line when a bar was drawn

  void AddBytes(int64_t bytes);
  void FileDone();
  // Clears the bar so that a message can be printed on its own line.
  void Clear();

 private:
  void Draw(bool force);

  bool enabled_;
  std::string label_;
  int64_t total_bytes_, total_files_;
  int64_t bytes_ = 0, files_ = 0;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point last_draw_{};
};

}  // namespace mkupdate
