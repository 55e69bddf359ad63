#include "platform/ini_file.h"

#include <fstream>
#include <sstream>
#include <string_view>

#include "platform/ascii_case.h"

namespace platform {

namespace {

std::string_view TrimBlanks(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace

std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& default_value) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return default_value;
  std::stringstream buffer;
  buffer << file.rdbuf();
  const std::string content = buffer.str();
  std::string_view rest = content;
  if (rest.substr(0, 3) == "\xEF\xBB\xBF") rest.remove_prefix(3);  // UTF-8 byte-order mark

  const std::string_view wanted_section = TrimBlanks(section);
  const std::string_view wanted_key = TrimBlanks(key);
  bool in_section = false;
  bool section_seen = false;
  while (!rest.empty()) {
    const size_t end = rest.find_first_of("\r\n");
    const std::string_view line = TrimBlanks(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      // Only the first section of that name is read.
      if (in_section) break;
      const size_t close = line.find(']');
      const std::string_view name =
          TrimBlanks(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
      in_section = !section_seen && EqualIgnoringAsciiCase(name, wanted_section);
      section_seen = section_seen || in_section;
      continue;
    }
    if (!in_section) continue;
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    if (EqualIgnoringAsciiCase(TrimBlanks(line.substr(0, equals)), wanted_key)) {
      return std::string(Unquote(TrimBlanks(line.substr(equals + 1))));
    }
  }
  return default_value;
}

}  // namespace platform
