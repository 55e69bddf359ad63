#include "lists/server_entry.h"

#include "platform/decimal_field.h"
#include "lists/digest_fields.h"
#include "lists/list_file.h"

namespace {

// The five fields every entry has, in the order they stand.
constexpr int kTypeField = 1;
constexpr int kRemoteField = 2;
constexpr int kLocalField = 3;
constexpr int kVersionField = 4;
constexpr int kSizeField = 5;
constexpr int kPackageField = 6;  // T A S W

// The record line: local name, version.
constexpr int kRecordedNameField = 1;
constexpr int kRecordedVersionField = 2;

// The pending line of a changed entry: "U", record index, server line.
constexpr int kRecordIndexField = 2;
constexpr int kChangedServerLineField = 3;

char UpperLetter(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsPackageLetter(char letter) { return letter == 'T' || letter == 'A' || letter == 'S' || letter == 'W'; }

bool IsEntryLetter(char letter) {
  return letter == 'E' || letter == 'O' || letter == 'C' || IsPackageLetter(letter);
}

// The last field number the type `letter` gives a meaning to.
int LastField(char letter) {
  if (DeltaIndexField(letter) != 0) return DeltaIndexField(letter);
  if (ServedDigestField(letter) != 0) return ServedDigestField(letter);
  return kSizeField;
}

// The rest of `line` from the start of field n on; empty when it has fewer fields.
std::string_view FromField(std::string_view line, int n) {
  const std::string_view field = LineFieldView(line, n);
  if (field.empty()) return {};
  return line.substr(static_cast<size_t>(field.data() - line.data()));
}

}  // namespace

EntryHandling HandlingOf(char type, bool changed) {
  const char letter = changed ? type : UpperLetter(type);
  if (changed && letter != 'E' && letter != 'O' && letter != 'C') return {};
  if (!IsEntryLetter(letter)) return {};
  const bool bundle = letter != 'E' && letter != 'O';
  return EntryHandling{true, letter != 'O', bundle, IsPackageLetter(letter)};
}

char ServerEntry::Letter() const { return UpperLetter(type); }

int64_t ServerEntry::InstalledSize() const { return platform::DecimalField(installed_size_text).value_or(-1); }

ServerEntryParse ParseServerEntry(std::string_view line) {
  ServerEntryParse parse;
  ServerEntry& entry = parse.entry;
  const std::string_view type = LineFieldView(line, kTypeField);
  entry.type = type.size() == 1 ? type[0] : 0;
  entry.remote = LineFieldView(line, kRemoteField);
  entry.local = LineFieldView(line, kLocalField);
  entry.version = LineFieldView(line, kVersionField);
  entry.size_text = LineFieldView(line, kSizeField);
  entry.size = platform::DecimalField(entry.size_text).value_or(-1);
  const char letter = entry.Letter();
  if (IsPackageLetter(letter)) entry.package = LineFieldView(line, kPackageField);
  if (const int field = ServedDigestField(letter); field != 0) entry.served_sha256 = LineFieldView(line, field);
  if (const int field = InstalledDigestField(letter); field != 0) entry.installed_sha256 = LineFieldView(line, field);
  // "O" lines carry the installed size too (equal to field 5), which keeps the flag in its field.
  if (const int field = ExecuteFlagField(letter); field != 0) {
    entry.installed_size_text = LineFieldView(line, field - 1);
    entry.execute_flag = LineFieldView(line, field);
  }
  if (const int field = DeltaIndexField(letter); field != 0) entry.delta_index_sha256 = LineFieldView(line, field);
  const int last = IsEntryLetter(letter) ? LastField(letter) : kSizeField;
  for (int n = last + 1;; ++n) {
    const std::string_view field = LineFieldView(line, n);
    if (field.empty()) break;
    entry.further.emplace_back(field);
  }
  if (type.empty())
    parse.reason = "empty line (the updater queues it as a file with an empty name)";
  else if (!IsEntryLetter(letter))
    parse.reason = "unknown entry type \"" + std::string(type) + "\"";
  else if (entry.size_text.empty())
    parse.reason = "fewer than five fields (type, remote name, local name, version, size)";
  return parse;
}

std::string FormatServerEntry(const ServerEntry& entry) {
  const char letter = entry.Letter();
  std::vector<const std::string*> fields{&entry.remote, &entry.local, &entry.version, &entry.size_text};
  if (IsPackageLetter(letter)) fields.push_back(&entry.package);
  if (ServedDigestField(letter) != 0) fields.push_back(&entry.served_sha256);
  if (InstalledDigestField(letter) != 0) fields.push_back(&entry.installed_sha256);
  if (ExecuteFlagField(letter) != 0) {
    fields.push_back(&entry.installed_size_text);
    fields.push_back(&entry.execute_flag);
  }
  if (DeltaIndexField(letter) != 0) fields.push_back(&entry.delta_index_sha256);
  std::string line(1, entry.type);
  for (const std::string* field : fields) {
    if (field->empty()) return line;
    line += ' ';
    line += *field;
  }
  for (const std::string& field : entry.further) line += ' ' + field;
  return line;
}

PendingEntry ParsePendingEntry(std::string_view line) {
  PendingEntry pending;
  const std::string_view kind = LineFieldView(line, kTypeField);
  if (kind == "U" || kind == "u") {
    pending.changed = true;
    pending.record_index = LineFieldView(line, kRecordIndexField);
    pending.server = ParseServerEntry(FromField(line, kChangedServerLineField));
    return pending;
  }
  pending.server = ParseServerEntry(line);
  ServerEntry& entry = pending.server.entry;
  entry.type = entry.Letter();
  return pending;
}

std::string ChangedPendingLine(size_t record_index, std::string_view server_line) {
  return "U " + std::to_string(record_index) + " " + std::string(server_line);
}

std::string_view LocalNameOf(std::string_view server_line) { return LineFieldView(server_line, kLocalField); }

std::string_view VersionOf(std::string_view server_line) { return LineFieldView(server_line, kVersionField); }

std::string_view PackageFieldOf(std::string_view server_line) {
  return LineFieldView(server_line, kPackageField);
}

std::string RecordLine(std::string_view local, std::string_view version) {
  return std::string(local) + " " + std::string(version);
}

std::string_view RecordedNameOf(std::string_view record_line) {
  return LineFieldView(record_line, kRecordedNameField);
}

std::string_view RecordedVersionOf(std::string_view record_line) {
  return LineFieldView(record_line, kRecordedVersionField);
}
