#include "server_list.h"

#include "lists/digest_fields.h"
#include "lists/list_file.h"

namespace mkupdate {

namespace {
constexpr const char* kHeaderWord = "AVWSEN";
constexpr const char* kToolWord = "mkupdate";

int64_t ParseSize(const std::string& text) {
  if (text.empty() || text.size() > 18) return -1;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}
}  // namespace

std::string ServerEntry::Format() const {
  std::string line = std::string(1, type) + " " + remote + " " + local + " " + version + " " + size_text;
  if (!package.empty()) line += " " + package;
  if (!served_sha256.empty()) line += " " + served_sha256;
  if (!installed_sha256.empty()) line += " " + installed_sha256;
  if (installed_sha256.empty() || installed_size_text.empty()) return line;
  line += " " + installed_size_text;
  if (!execute_flag.empty()) line += " " + execute_flag;
  return line;
}

std::string MakeHeader(const std::string& last_issued) {
  std::string header = std::string(kHeaderWord) + " " + kToolWord;
  return last_issued.empty() ? header : header + " " + last_issued;
}

std::string JoinLines(const LineList& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

ServerListFile ParseServerList(const LineList& lines) {
  ServerListFile list;
  if (lines.empty()) return list;
  list.header = lines[0];
  if (LineField(list.header, 2) == kToolWord) list.last_issued = LineField(list.header, 3);
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    std::string where = "update3.dat line " + std::to_string(i + 1) + ": ";
    if (LineField(line, 1).empty()) {
      list.problems.push_back(where + "empty line (the updater queues it as a file with an empty name)");
      continue;
    }
    ServerEntry entry;
    std::string type = LineField(line, 1);
    if (type.size() != 1 || std::string("EOCTASW").find(type[0]) == std::string::npos) {
      list.problems.push_back(where + "unknown entry type \"" + type + "\"");
      continue;
    }
    entry.type = type[0];
    entry.remote = LineField(line, 2);
    entry.local = LineField(line, 3);
    entry.version = LineField(line, 4);
    entry.size_text = LineField(line, 5);
    // Only import bundles have a package; in the other entries field 6 is a digest.
    if (std::string("TASW").find(entry.type) != std::string::npos) entry.package = LineField(line, 6);
    entry.served_sha256 = LineField(line, ServedDigestField(entry.type));
    if (InstalledDigestField(entry.type) != 0) entry.installed_sha256 = LineField(line, InstalledDigestField(entry.type));
    // The updater bounds only "E" unpacking by field 8; "O" lines carry it to keep the flag at field 9.
    if (ExecuteFlagField(entry.type) != 0) {
      entry.installed_size_text = LineField(line, ExecuteFlagField(entry.type) - 1);
      entry.execute_flag = LineField(line, ExecuteFlagField(entry.type));
    }
    entry.line = static_cast<int>(i + 1);
    if (entry.size_text.empty()) {
      list.problems.push_back(where + "fewer than five fields (type, remote name, local name, version, size)");
      continue;
    }
    entry.size = ParseSize(entry.size_text);
    list.entries.push_back(entry);
  }
  return list;
}

}  // namespace mkupdate
