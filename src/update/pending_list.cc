#include "update/pending_list.h"

#include <cstring>
#include <string_view>
#include <unordered_map>

#include "update/list_file.h"

namespace {

std::string FoldAsciiCase(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// Byte order of unsigned bytes; a text that is a prefix of the other is smaller.
bool VersionGreater(const std::string& server_version, const std::string& record_version) {
  const size_t common = std::min(server_version.size(), record_version.size());
  const int order = std::memcmp(server_version.data(), record_version.data(), common);
  if (order != 0) return order > 0;
  return server_version.size() > record_version.size();
}

}  // namespace

void PrepareRecordList(LineList& record) {
  if (record.empty()) record.push_back(kRecordHeader);
  if (record.size() == 1) record.push_back("");
}

PendingEntries ComparePendingEntries(const LineList& server, const LineList& record) {
  PendingEntries result;
  // Every server line is compared with record lines 1 .. M-1 and the first
  // match decides; with no record line to compare against, nothing is queued.
  if (record.size() < 2) return result;

  std::unordered_map<std::string, size_t> first_index_of_name;
  first_index_of_name.reserve(record.size());
  for (size_t index = 1; index < record.size(); ++index) {
    first_index_of_name.try_emplace(FoldAsciiCase(LineField(record[index], 1)), index);
  }

  for (size_t i = 1; i < server.size(); ++i) {
    const std::string& line = server[i];
    std::string name = LineField(line, 3);
    const auto found = first_index_of_name.find(FoldAsciiCase(name));
    if (found == first_index_of_name.end()) {
      result.pending.push_back(line);
      result.names.push_back(std::move(name));
      continue;
    }
    const size_t index = found->second;
    if (VersionGreater(LineField(line, 4), LineField(record[index], 2))) {
      result.pending.push_back("U " + std::to_string(index) + " " + line);
      result.names.push_back(std::move(name));
    }
  }
  return result;
}
