// Bundles: several member files packed into one file, followed by a
// directory trailer. The unpacked form of the "C", "T", "A", "S" and "W"
// entries of the server list; the updater takes them apart, mkupdate
// builds and inspects them.
//
// Layout (little-endian): member data anywhere before the trailer; the
// trailer is the last 8989 bytes, 101 records of 89 bytes. Record 0 starts
// with the signed 32-bit member count; record k (1..100) holds the member's
// start and end offsets (signed 32-bit, end is one past the last byte), a
// name length byte (0..80) and 80 name bytes: a Windows-style name relative
// to the game folder. Unused bytes are zero.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr int kBundleRecordSize = 89;
inline constexpr int kBundleMaxMembers = 100;
inline constexpr int kBundleTrailerSize = kBundleRecordSize * (kBundleMaxMembers + 1);  // 8989
inline constexpr int kBundleMaxNameLength = 80;

// One member as its record holds it.
struct BundleMember {
  std::string name;  // Windows-style, backslashes; empty when name_too_long
  int64_t start = 0;
  int64_t end = 0;   // one past the last byte
  // Decoded only: the stored length byte is above kBundleMaxNameLength, so
  // the record has no usable name.
  bool name_too_long = false;

  // True when [start, end) lies within member data of data_end bytes.
  bool RangeWithin(int64_t data_end) const { return start >= 0 && end >= start && end <= data_end; }
};

// The trailer as stored, without judging it.
struct BundleTrailer {
  int32_t count = 0;                  // as stored, also outside 0..100
  std::vector<BundleMember> members;  // records 1..min(count, 100); none for a count of 0 or less
};

// Decodes the trailer from its kBundleTrailerSize bytes (the caller passes
// exactly those).
BundleTrailer DecodeBundleTrailer(std::string_view trailer_bytes);

// The kBundleTrailerSize trailer bytes for the members, in order. The
// caller has checked the limits: at most 100 members, names of at most 80
// bytes, offsets below 2 GiB.
std::string EncodeBundleTrailer(const std::vector<BundleMember>& members);
