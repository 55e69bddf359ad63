#include "lists/pending_list.h"

#include <cstdint>
#include <string_view>

#include "platform/ascii_case.h"
#include "lists/list_file.h"
#include "lists/server_entry.h"

namespace {

// Byte order of unsigned bytes; a text that is a prefix of the other is
// smaller. (std::char_traits<char> compares as unsigned char.)
bool VersionGreater(std::string_view server_version, std::string_view record_version) {
  return server_version.compare(record_version) > 0;
}

uint64_t HashIgnoringAsciiCase(std::string_view text) {
  uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(platform::FoldAsciiCase(c));
    hash *= 1099511628211ull;
  }
  return hash;
}

// Record index of the first record line carrying each name (field 1),
// names matched ignoring the case of a-z. Open addressing over the record's
// own lines: one table, no copies of names. Each slot keeps the upper half
// of the name's hash beside the index, so a probe reads a record line only
// when the hashes agree.
class FirstRecordIndex {
 public:
  explicit FirstRecordIndex(const LineList& record) : record_(record) {
    size_t capacity = 16;
    while (capacity < record.size() * 2) capacity *= 2;
    slots_.assign(capacity, Slot{});
    mask_ = capacity - 1;
    for (size_t index = 1; index < record.size(); ++index) {
      const std::string_view name = NameAt(index);
      const uint64_t hash = HashIgnoringAsciiCase(name);
      size_t slot = hash & mask_;
      while (slots_[slot].index != 0 && !Holds(slots_[slot], hash, name)) slot = (slot + 1) & mask_;
      // A later duplicate never replaces the first occurrence.
      if (slots_[slot].index == 0) slots_[slot] = Slot{HashTag(hash), static_cast<uint32_t>(index)};
    }
  }

  // The record index for name, or 0 when no record line carries it.
  size_t Find(std::string_view name) const {
    const uint64_t hash = HashIgnoringAsciiCase(name);
    for (size_t slot = hash & mask_; slots_[slot].index != 0; slot = (slot + 1) & mask_) {
      if (Holds(slots_[slot], hash, name)) return slots_[slot].index;
    }
    return 0;
  }

 private:
  struct Slot {
    uint32_t hash_tag = 0;
    uint32_t index = 0;  // record index; 0 marks a free slot (line 0 is the header)
  };

  static uint32_t HashTag(uint64_t hash) { return static_cast<uint32_t>(hash >> 32); }

  std::string_view NameAt(size_t index) const { return RecordedNameOf(record_[index]); }

  bool Holds(const Slot& slot, uint64_t hash, std::string_view name) const {
    return slot.hash_tag == HashTag(hash) &&
           platform::EqualIgnoringAsciiCase(NameAt(slot.index), name);
  }

  const LineList& record_;
  std::vector<Slot> slots_;
  size_t mask_ = 0;
};

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

  const FirstRecordIndex first_index(record);
  for (size_t i = 1; i < server.size(); ++i) {
    const std::string& line = server[i];
    const std::string_view name = LocalNameOf(line);
    const size_t index = first_index.Find(name);
    if (index == 0) {
      result.pending.push_back(line);
      result.names.emplace_back(name);
    } else if (VersionGreater(VersionOf(line), RecordedVersionOf(record[index]))) {
      result.pending.push_back(ChangedPendingLine(index, line));
      result.names.emplace_back(name);
    }
  }
  return result;
}
