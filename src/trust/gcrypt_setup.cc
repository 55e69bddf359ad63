#include "trust/gcrypt_setup.h"

#include <gcrypt.h>

#include <mutex>
#include <string>

#include "trust/trust_error.h"

namespace trust::detail {

namespace {
// Ed25519 with the "eddsa" flag and BLAKE2b arrived in 1.7.
constexpr const char* kMinimumVersion = "1.7.0";
}  // namespace

void EnsureGcrypt() {
  static std::once_flag once;
  static bool usable = false;
  std::call_once(once, [] {
    if (gcry_control(GCRYCTL_INITIALIZATION_FINISHED_P)) {
      usable = true;  // the program set libgcrypt up itself
      return;
    }
    if (!gcry_check_version(kMinimumVersion)) return;
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    usable = true;
  });
  if (!usable)
    throw ETrustError(std::string("libgcrypt ") + gcry_check_version(nullptr) + " is too old; version " +
                      kMinimumVersion + " or later is needed");
}

}  // namespace trust::detail
