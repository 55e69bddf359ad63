// List lines and the comparison: the input is a server list and a record,
// separated by the first NUL byte, each split into lines the way list files
// are. The fast comparison must equal the nested-loop reference, and the
// field helpers must hold their contracts.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/game_path.h"
#include "platform/text_lines.h"
#include "support/pending_list_reference.h"
#include "lists/list_file.h"
#include "lists/pending_list.h"

namespace {

void CheckFields(const std::string& line) {
  for (int n = 0; n <= 8; ++n) {
    const std::string field = LineField(line, n);
    if (field.find(' ') != std::string::npos) abort();
    if (field != LineFieldView(line, n)) abort();
    if (field != test_support::nested_loops::Field(line, n)) abort();
    if (!field.empty() && line.find(field) == std::string::npos) abort();
  }
  const std::string name = LineField(line, 3);
  const std::string stem = NameStem(name);
  if (stem.size() > name.size() || name.compare(0, stem.size(), stem) != 0) abort();
  const std::string first = GetNameFirstList(name, 1), second = GetNameFirstList(name, 2);
  if (!first.empty() || !second.empty()) {
    if (first + "." + second != name) abort();
  }
  if (platform::IsSafeRelativeName(name)) {
    // A safe name has no ".." component and no absolute or drive start.
    if (name.empty() || name[0] == '\\' || name[0] == '/') abort();
    if (name.size() >= 2 && name[1] == ':') abort();
    std::string component;
    for (const char c : name + "\\") {
      if (c == '\\' || c == '/') {
        if (component == "..") abort();
        component.clear();
      } else {
        component += c;
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\0');
  const LineList server = platform::SplitTextLines(input.substr(0, split));
  LineList record = platform::SplitTextLines(split == std::string::npos ? "" : input.substr(split + 1));
  for (const std::string& line : server) CheckFields(line);
  for (const std::string& line : record) CheckFields(line);

  PrepareRecordList(record);
  const PendingEntries fast = ComparePendingEntries(server, record);
  const PendingEntries reference = test_support::nested_loops::Compare(server, record);
  if (fast.pending != reference.pending || fast.names != reference.names) abort();
  std::vector<std::string> listing(record.begin(), record.end());
  for (const std::string& name : fast.names) (void)IsListedOnServer(listing, name);
  return 0;
}
