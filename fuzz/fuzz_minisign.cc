// minisign files from outside: a server's "update3.dat.minisig", a game's
// "update.pub", a publisher's secret key. Any bytes are read or refused
// with ETrustError, never anything else; whatever is read writes back to
// a file that reads the same; a signature is verified (or refused with a
// reason) against a fixed key and file without throwing.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "trust/minisign_keys.h"
#include "trust/minisign_signature.h"
#include "trust/trust_error.h"
#include "trust/trusted_comment.h"

namespace {

// The key the seeds' signatures were made with, and the file they sign.
constexpr const char* kPublicKey =
    "untrusted comment: minisign public key 6F4FDC0121191270\n"
    "RWRwEhkhAdxPb9iCl7rRQEKWsTGtxXx3Cj+D6KgHTC0O18cBcIppYMfT\n";
constexpr const char* kSignedFile = "AVWSEN mkupdate 2026120800\r\nE Core.GZP System\\Core.u 2026120800 40\r\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const trust::PublicKey key = trust::ParsePublicKey(kPublicKey);
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const trust::PublicKey parsed = trust::ParsePublicKey(text);
    if (!(trust::ParsePublicKey(trust::FormatPublicKey(parsed)) == parsed)) abort();
  } catch (const trust::ETrustError&) {  // refused: the expected outcome of most inputs
  }
  try {
    const trust::SecretKey parsed = trust::ParseSecretKey(text);
    const trust::SecretKey again = trust::ParseSecretKey(trust::FormatSecretKey(parsed));
    if (!(again.Public() == parsed.Public()) || again.seed != parsed.seed) abort();
  } catch (const trust::ETrustError&) {  // refused
  }
  try {
    const trust::Signature parsed = trust::ParseSignature(text);
    if (trust::FormatSignature(trust::ParseSignature(trust::FormatSignature(parsed))) !=
        trust::FormatSignature(parsed))
      abort();
    (void)trust::ParseTrustedTimes(parsed.trusted_comment);
  } catch (const trust::ETrustError&) {  // refused
  }
  const trust::SignatureCheck check = trust::VerifySignatureFile(key, text, kSignedFile);
  if (check.valid == !check.problem.empty()) abort();  // a verdict is a reason or a comment, not both
  return 0;
}
