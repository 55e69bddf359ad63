// The bundle file: member files stored one after another, followed by a
// directory trailer of 8989 bytes (101 records of 89 bytes, little-endian).
// Record 0 starts with the signed 32-bit member count; record k (1..100)
// holds the member's start and end offsets (signed 32-bit, end one past
// the last byte), a name length byte (0..80) and 80 name bytes, the
// member's Windows-style name relative to the game folder.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mkupdate {

inline constexpr int kBundleRecordSize = 89;
inline constexpr int kBundleMaxMembers = 100;
inline constexpr int kBundleTrailerSize = kBundleRecordSize * (kBundleMaxMembers + 1);
inline constexpr int kBundleMaxNameLength = 80;
// Offsets are signed 32-bit: the member data must end below 2 GiB.
inline constexpr int64_t kBundleMaxDataSize = INT32_MAX;

struct BundleMember {
  std::string name;  // Windows-style, backslashes
  int64_t start = 0;
  int64_t end = 0;
};

// The 8989 trailer bytes for members laid out in order. The caller has
// checked the limits (count, name lengths, offsets); unused bytes are zero.
std::string EncodeBundleTrailer(const std::vector<BundleMember>& members);

// The trailer as stored, without judging it: the count as read, and the
// records 1..min(count, 100) (none for a count of 0 or less).
struct BundleTrailer {
  int32_t count = 0;
  std::vector<BundleMember> members;
};
BundleTrailer DecodeBundleTrailer(std::string_view trailer_bytes);

// Everything wrong with a bundle of bundle_size bytes and this trailer, as
// the updater would meet it, one sentence each: a count outside 1..100, a
// member range outside the data before the trailer, a name that is empty,
// absolute, has a drive prefix or a ".." component. Empty when sound.
std::vector<std::string> BundleProblems(const BundleTrailer& trailer, int64_t bundle_size);

// Little-endian helpers shared by the binary formats.
void PutInt32(std::string& out, size_t offset, int32_t value);
int32_t GetInt32(std::string_view bytes, size_t offset);

}  // namespace mkupdate
