// The fields a signer puts in a signature's trusted comment, separated by
// tabs or spaces:
//   timestamp:<unix seconds>  when the file was signed (minisign writes it too)
//   file:<name>               the name of the signed file (minisign writes it too)
//   expires:<unix seconds>    after when the signature is not to be used
// Other fields ("hashed") are left alone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace trust {

struct TrustedTimes {
  std::optional<int64_t> timestamp;
  std::optional<int64_t> expires;
  std::optional<std::string> file;
  // Set when a field is unusable: a timestamp or expires value is not a
  // decimal number of at most 18 digits, or a field is given twice. The
  // fields are then not to be relied on.
  std::string problem;
};

TrustedTimes ParseTrustedTimes(std::string_view trusted_comment);

// "" when the trusted comment of `times` names the file `name` (ignoring
// ASCII case, as the game's file names do); otherwise why a signature with
// this comment is not to be taken for `name`: it names another file, or
// none, so it may be the signature of any file the same key signed.
std::string SignedFileProblem(const TrustedTimes& times, std::string_view name);

// "timestamp:<timestamp>\tfile:<file>\texpires:<expires>"
std::string MakeTrustedComment(int64_t timestamp, std::string_view file, int64_t expires);

}  // namespace trust
