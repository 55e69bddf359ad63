// The times a signer puts in a signature's trusted comment, as fields
// separated by tabs or spaces:
//   timestamp:<unix seconds>  when the file was signed (minisign writes it too)
//   expires:<unix seconds>    after when the signature is not to be used
// Other fields ("file:update3.dat", "hashed") are left alone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace trust {

struct TrustedTimes {
  std::optional<int64_t> timestamp;
  std::optional<int64_t> expires;
  // Set when a timestamp or expires field is unusable: its value is not a
  // decimal number of at most 18 digits, or the field is given twice.
  // The times are then not to be relied on.
  std::string problem;
};

TrustedTimes ParseTrustedTimes(std::string_view trusted_comment);

// "timestamp:<timestamp>\texpires:<expires>"
std::string MakeTrustedComment(int64_t timestamp, int64_t expires);

}  // namespace trust
