// SHA-256 digests as the update lists carry them: 64 lower-case hex digits.
#pragma once

#include <string>
#include <string_view>

// libgcrypt's hash state (gcry_md_hd_t), kept out of this header.
struct gcry_md_handle;

namespace trust {

// SHA-256 over bytes that arrive in pieces (a download as it comes in, a
// file as it is written), so no second pass over the data is needed. A
// moved-from stream may only be assigned to or destroyed.
class Sha256Stream {
 public:
  // Throws ETrustError when libgcrypt cannot be used.
  Sha256Stream();
  ~Sha256Stream();
  Sha256Stream(Sha256Stream&& other) noexcept;
  Sha256Stream& operator=(Sha256Stream&& other) noexcept;
  Sha256Stream(const Sha256Stream&) = delete;
  Sha256Stream& operator=(const Sha256Stream&) = delete;

  void Update(std::string_view bytes);
  // The digest of every byte given since construction or the last Final,
  // in lower-case hex. The stream then starts afresh.
  std::string Final();
  // The same digest as its 32 bytes.
  std::string FinalBytes();

 private:
  gcry_md_handle* handle_ = nullptr;
};

// The SHA-256 of the file's bytes, read once in blocks. Throws EFOpenError
// or EInOutError naming the file (platform::ReadFileInBlocks).
std::string Sha256File(const std::string& path);

// True when text has the form of a digest: exactly 64 characters 0-9, a-f.
bool IsSha256Hex(std::string_view text);

}  // namespace trust
