// "datec.dat", the reference list of the file check: fixed 84-byte records,
// little-endian, no header. Record: name (length byte 0..30 + 30 bytes),
// folder (length byte 0..40 + 40 bytes, ends with a backslash unless
// empty), time (double, days since 1899-12-30 local time) at 72, size
// (signed 32-bit) at 80. The last record is a trailer whose size field is
// the number of records including itself.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "release_tree.h"

namespace mkupdate {

inline constexpr int kDatecRecordSize = 84;
inline constexpr int kDatecMaxName = 30;
inline constexpr int kDatecMaxFolder = 40;
inline constexpr int kDatecMaxFiles = 65535;

struct CheckRecord {
  std::string name;
  std::string folder;
  double time = 0;
  int32_t size = 0;
};

// Day count of a Unix time in the local time zone, seconds truncated to an
// even number (the two-second resolution at which the check reads file
// times), so an untouched file is never judged older than its record.
double UnixTimeToDayCount(int64_t unix_seconds);

// The records of the release, one per file, in name order. Throws Exception
// listing every file (one per line) whose name exceeds 30 bytes, whose
// folder exceeds 40 bytes, or whose size does not fit the signed 32-bit
// field, and when there are more than 65535 files; nothing is cut short.
std::vector<CheckRecord> MakeCheckRecords(const std::vector<ReleaseFile>& files);

// The file bytes: the records followed by the trailer.
std::string EncodeDatec(const std::vector<CheckRecord>& records);

// Records of a file as the check reads them: count from the trailer, the
// first count - 1 records. Throws Exception for a file shorter than one
// record or a count outside 1..65536. Records past the end read as empty.
std::vector<CheckRecord> DecodeDatec(std::string_view bytes, int32_t* count_out);

}  // namespace mkupdate
