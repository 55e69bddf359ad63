// Builds "datec.dat" files for the file check's tests, written from the
// format's description (not from the reader) so both are checked against it.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace test_support {

struct DatecEntry {
  std::string name;
  std::string folder;
  double time = 0;
  int32_t size = 0;
};

inline void PutLittleEndian(std::string& bytes, size_t at, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// One 84-byte record; `name_length` / `folder_length` override the stored
// length bytes (to write lying ones), -1 stores the real lengths.
inline std::string DatecRecord(const DatecEntry& entry, int name_length = -1, int folder_length = -1) {
  std::string bytes(84, '\0');
  bytes[0] = static_cast<char>(name_length < 0 ? entry.name.size() : name_length);
  bytes.replace(1, entry.name.size(), entry.name);
  bytes[31] = static_cast<char>(folder_length < 0 ? entry.folder.size() : folder_length);
  bytes.replace(32, entry.folder.size(), entry.folder);
  uint64_t time_bits = 0;
  std::memcpy(&time_bits, &entry.time, sizeof time_bits);
  PutLittleEndian(bytes, 72, time_bits, 8);
  PutLittleEndian(bytes, 80, static_cast<uint32_t>(entry.size), 4);
  return bytes;
}

// The trailer record: only its size field (the record count) is meaningful.
inline std::string DatecTrailer(int32_t count) {
  std::string bytes(84, '\x5A');  // other bytes are never read
  PutLittleEndian(bytes, 80, static_cast<uint32_t>(count), 4);
  return bytes;
}

// A whole list: the records and a trailer counting them and itself.
inline std::string BuildDatec(const std::vector<DatecEntry>& entries) {
  std::string bytes;
  for (const DatecEntry& entry : entries) bytes += DatecRecord(entry);
  return bytes + DatecTrailer(static_cast<int32_t>(entries.size() + 1));
}

// Day count of a Unix time as the check reads file times.
inline double Days(int64_t unix_seconds) { return platform::UnixTimeToDays(unix_seconds); }

// Sets the last-write (and access) time of a real path to a Unix time.
inline bool SetLastWrite(const std::string& path, int64_t unix_seconds) {
  const timespec times[2] = {{static_cast<time_t>(unix_seconds), 0}, {static_cast<time_t>(unix_seconds), 0}};
  return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

}  // namespace test_support
