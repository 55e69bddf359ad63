// Builds bundle files for tests, including malformed ones: each member's
// record can be given explicitly, so ranges and names can lie.
#pragma once

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace test_support {

struct BundleMember {
  std::string name;  // Windows-style name as stored in the record
  std::string data;  // bytes placed in the member data
};

// A raw directory record, written as given (for hostile bundles).
struct BundleRecord {
  int32_t start = 0;
  int32_t end = 0;
  std::string name;
  int name_length = -1;  // -1: the length of `name`; otherwise stored as given (0..255)
};

namespace bundle_detail {

inline constexpr int kRecordSize = 89;
inline constexpr int kRecords = 101;

inline void PutInt32LE(std::string& bytes, std::size_t at, int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace bundle_detail

// The bytes of a bundle whose data area is `data` and whose trailer holds
// `count` and the given records (at most 100).
inline std::string BuildRawBundle(const std::string& data, int32_t count,
                                  const std::vector<BundleRecord>& records) {
  if (records.size() > 100) throw std::invalid_argument("a bundle trailer holds at most 100 records");
  using namespace bundle_detail;
  std::string trailer(kRecordSize * kRecords, '\0');
  PutInt32LE(trailer, 0, count);
  for (std::size_t i = 0; i < records.size(); ++i) {
    const std::size_t at = (i + 1) * kRecordSize;
    const BundleRecord& r = records[i];
    PutInt32LE(trailer, at, r.start);
    PutInt32LE(trailer, at + 4, r.end);
    trailer[at + 8] = static_cast<char>(r.name_length < 0 ? r.name.size() : r.name_length);
    trailer.replace(at + 9, std::min<std::size_t>(r.name.size(), 80), r.name.substr(0, 80));
  }
  return data + trailer;
}

// The bytes of a well-formed bundle holding `members` in order.
inline std::string BuildBundle(const std::vector<BundleMember>& members) {
  std::string data;
  std::vector<BundleRecord> records;
  for (const BundleMember& m : members) {
    BundleRecord r;
    r.start = static_cast<int32_t>(data.size());
    data += m.data;
    r.end = static_cast<int32_t>(data.size());
    r.name = m.name;
    records.push_back(r);
  }
  return BuildRawBundle(data, static_cast<int32_t>(members.size()), records);
}

}  // namespace test_support
