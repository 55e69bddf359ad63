#include "server_list.h"

#include "lists/list_file.h"

namespace mkupdate {

namespace {
constexpr const char* kHeaderWord = "AVWSEN";
constexpr const char* kToolWord = "mkupdate";
}  // namespace

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
    ServerEntryParse parse = ParseServerEntry(line);
    if (parse.Valid() && parse.entry.type != parse.entry.Letter())
      parse.reason = "unknown entry type \"" + std::string(1, parse.entry.type) + "\"";
    if (!parse.Valid()) {
      list.problems.push_back(where + parse.reason);
      continue;
    }
    ListedEntry entry;
    static_cast<ServerEntry&>(entry) = std::move(parse.entry);
    entry.line = static_cast<int>(i + 1);
    list.entries.push_back(entry);
  }
  return list;
}

}  // namespace mkupdate
