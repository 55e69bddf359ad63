// "datec.dat", the reference list of the file check: the installed files
// with the size and last-write time of the server's current version.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One file record of the list.
struct CheckRecord {
  std::string name;    // file name (up to 30 bytes)
  std::string folder;  // folder relative to the game folder, "" or ending in '\'
  double time = 0;     // last-write time: days since 1899-12-30, local time
  int32_t size = 0;    // size in bytes
};

// Size of one record in the file, the trailer included.
inline constexpr int kCheckRecordSize = 84;
// Largest trailer count accepted (the trailer counts itself).
inline constexpr int32_t kMaxCheckRecordCount = 65536;

// Decodes one 84-byte record (shorter input is read as if zero-padded).
// A length byte above its field's width (30, 40) is cut to the width.
CheckRecord DecodeCheckRecord(const std::string& bytes, size_t offset);

// The file records of the list at path (a real path), in file order: the
// first count - 1 records, where count is the size field of the last 84
// bytes of the file. Records that lie past the end of the file read as
// all-zero records (empty names, time 0, size 0).
//
// Throws EInOutError "I/O error <errno>" when the file cannot be opened or
// read, and "I/O error 61" (no data) when it is shorter than one record;
// ERangeError "Range check error" for a count outside 1..65536.
std::vector<CheckRecord> ReadCheckList(const std::string& path);
