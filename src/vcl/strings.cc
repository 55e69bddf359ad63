#include "vcl/strings.h"

#include "platform/errors.h"
#include "platform/file_system.h"
#include "platform/text_lines.h"

void TStrings::CheckIndex(int index) const {
  if (index < 0 || index >= Count())
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

const std::string& TStrings::operator[](int index) const {
  CheckIndex(index);
  return lines_[index];
}

void TStrings::Delete(int index) {
  CheckIndex(index);
  lines_.erase(lines_.begin() + index);
}

void TStrings::LoadFromFile(const std::string& real_path) {
  std::string text;
  try {
    text = platform::ReadWholeFile(real_path);
  } catch (const Exception&) {
    // A file that opens but cannot be read (a folder, an I/O error) is as
    // unusable as a missing one, and is reported the same way.
    throw EFOpenError("Cannot open file " + real_path);
  }
  const std::vector<std::string> lines = platform::SplitTextLines(text);
  lines_.assign(lines.begin(), lines.end());
}
