// A list of byte-text lines, as list boxes hold them. Adding at the end
// and deleting the first line take constant time: the update run moves
// each name from the head of one box to the end of another.
#pragma once

#include <deque>
#include <string>
#include <vector>

class TStrings {
 public:
  int Count() const { return static_cast<int>(lines_.size()); }
  // Throw EListError "List index out of bounds (<index>)" outside 0..Count-1.
  const std::string& operator[](int index) const;
  void Delete(int index);
  void Add(const std::string& line) { lines_.push_back(line); }
  void Clear() { lines_.clear(); }
  // A copy of the lines.
  std::vector<std::string> Lines() const { return {lines_.begin(), lines_.end()}; }
  void Assign(const std::vector<std::string>& lines) { lines_.assign(lines.begin(), lines.end()); }

  // Replaces the lines with those of a text file (lines end with CR LF, LF
  // or CR; a last line without an end counts). Throws EFOpenError
  // "Cannot open file <path>" when the file cannot be read.
  void LoadFromFile(const std::string& real_path);

 private:
  void CheckIndex(int index) const;
  std::deque<std::string> lines_;
};
