#include "trust/sha256.h"

#include <gcrypt.h>

#include <utility>

#include "platform/file_blocks.h"
#include "trust/gcrypt_setup.h"
#include "trust/hex.h"
#include "trust/trust_error.h"

namespace trust {

namespace {
// Large enough that the per-call cost vanishes, small enough for the cache.
constexpr size_t kFileBlock = 1 << 20;
constexpr size_t kDigestSize = 32;
}  // namespace

Sha256Stream::Sha256Stream() {
  detail::EnsureGcrypt();
  if (gcry_md_open(&handle_, GCRY_MD_SHA256, 0) != 0) throw ETrustError("libgcrypt cannot compute SHA-256");
}

Sha256Stream::~Sha256Stream() {
  if (handle_) gcry_md_close(handle_);
}

Sha256Stream::Sha256Stream(Sha256Stream&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

Sha256Stream& Sha256Stream::operator=(Sha256Stream&& other) noexcept {
  std::swap(handle_, other.handle_);
  return *this;
}

void Sha256Stream::Update(std::string_view bytes) { gcry_md_write(handle_, bytes.data(), bytes.size()); }

std::string Sha256Stream::Final() {
  const unsigned char* digest = gcry_md_read(handle_, GCRY_MD_SHA256);
  std::string text = LowerHex(std::string_view(reinterpret_cast<const char*>(digest), kDigestSize));
  gcry_md_reset(handle_);
  return text;
}

std::string Sha256Stream::FinalBytes() {
  const unsigned char* digest = gcry_md_read(handle_, GCRY_MD_SHA256);
  std::string bytes(reinterpret_cast<const char*>(digest), kDigestSize);
  gcry_md_reset(handle_);
  return bytes;
}

std::string Sha256File(const std::string& path) {
  Sha256Stream stream;
  platform::ReadFileInBlocks(path, kFileBlock, [&stream](std::string_view block, const std::shared_ptr<const void>&) { stream.Update(block); });
  return stream.Final();
}

bool IsSha256Hex(std::string_view text) {
  if (text.size() != 2 * kDigestSize) return false;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

}  // namespace trust
