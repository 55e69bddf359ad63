// Splitting the text of a line-oriented file, as every list the program
// reads is split.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The lines of text: a line ends at CR LF, LF or CR; a final line break
// adds no empty line, and an unterminated last line is kept.
std::vector<std::string> SplitTextLines(std::string_view text);

}  // namespace platform
