#include "trust/primitives.h"

#include <gcrypt.h>

#include <climits>
#include <memory>

#include "trust/gcrypt_setup.h"
#include "trust/trust_error.h"

namespace trust {

namespace {

struct SexpRelease {
  void operator()(gcry_sexp_t sexp) const { gcry_sexp_release(sexp); }
};
using Sexp = std::unique_ptr<gcry_sexp, SexpRelease>;

Sexp Build(const char* format, std::string_view a, std::string_view b = {}) {
  gcry_sexp_t sexp = nullptr;
  gcry_error_t error = gcry_sexp_build(&sexp, nullptr, format, static_cast<int>(a.size()), a.data(),
                                       static_cast<int>(b.size()), b.data());
  if (error) throw ETrustError(std::string("libgcrypt cannot take the key: ") + gcry_strerror(error));
  return Sexp(sexp);
}

// The byte string of the token's value inside sexp, or empty when it is missing.
std::string TokenBytes(gcry_sexp_t sexp, const char* token) {
  Sexp found(gcry_sexp_find_token(sexp, token, 0));
  if (!found) return {};
  size_t length = 0;
  const char* data = gcry_sexp_nth_data(found.get(), 1, &length);
  return data ? std::string(data, length) : std::string();
}

Sexp MessageSexp(std::string_view message) {
  return Build("(data (flags eddsa) (hash-algo sha512) (value %b))", message);
}

}  // namespace

Ed25519KeyPair GenerateEd25519KeyPair() {
  detail::EnsureGcrypt();
  Sexp parameters = Build("(genkey (ecc (curve Ed25519) (flags eddsa)))", {});
  gcry_sexp_t generated = nullptr;
  gcry_error_t error = gcry_pk_genkey(&generated, parameters.get());
  if (error) throw ETrustError(std::string("libgcrypt cannot make an Ed25519 key: ") + gcry_strerror(error));
  Sexp key(generated);
  Sexp secret(gcry_sexp_find_token(key.get(), "private-key", 0));
  Ed25519KeyPair pair;
  if (secret) pair.seed = TokenBytes(secret.get(), "d"), pair.public_key = TokenBytes(secret.get(), "q");
  if (pair.seed.size() != kEd25519SeedSize || pair.public_key.size() != kEd25519PublicKeySize)
    throw ETrustError("libgcrypt made an Ed25519 key of an unexpected form");
  return pair;
}

std::string Ed25519Sign(std::string_view seed, std::string_view public_key, std::string_view message) {
  detail::EnsureGcrypt();
  if (message.size() >= INT_MAX) throw ETrustError("cannot sign 2 GiB or more at once");
  Sexp key = Build("(private-key (ecc (curve Ed25519) (flags eddsa) (q %b) (d %b)))", public_key, seed);
  Sexp data = MessageSexp(message);
  gcry_sexp_t made = nullptr;
  gcry_error_t error = gcry_pk_sign(&made, data.get(), key.get());
  if (error) throw ETrustError(std::string("libgcrypt cannot sign with this key: ") + gcry_strerror(error));
  Sexp signature(made);
  std::string bytes = TokenBytes(signature.get(), "r") + TokenBytes(signature.get(), "s");
  if (bytes.size() != kEd25519SignatureSize) throw ETrustError("libgcrypt made a signature of an unexpected form");
  return bytes;
}

bool Ed25519Verify(std::string_view public_key, std::string_view message, std::string_view signature) {
  detail::EnsureGcrypt();
  if (public_key.size() != kEd25519PublicKeySize || signature.size() != kEd25519SignatureSize ||
      message.size() >= INT_MAX)
    return false;
  Sexp key = Build("(public-key (ecc (curve Ed25519) (flags eddsa) (q %b)))", public_key);
  Sexp data = MessageSexp(message);
  Sexp sig = Build("(sig-val (eddsa (r %b) (s %b)))", signature.substr(0, 32), signature.substr(32));
  return gcry_pk_verify(sig.get(), data.get(), key.get()) == 0;
}

namespace {
std::string HashOf(int algorithm, size_t size, std::string_view bytes) {
  detail::EnsureGcrypt();
  std::string digest(size, '\0');
  gcry_md_hash_buffer(algorithm, digest.data(), bytes.data(), bytes.size());
  return digest;
}
}  // namespace

std::string Blake2b512(std::string_view bytes) { return HashOf(GCRY_MD_BLAKE2B_512, kBlake2b512Size, bytes); }

std::string Blake2b256(std::string_view bytes) { return HashOf(GCRY_MD_BLAKE2B_256, kBlake2b256Size, bytes); }

std::string StrongRandomBytes(size_t count) {
  detail::EnsureGcrypt();
  std::string bytes(count, '\0');
  gcry_randomize(bytes.data(), count, GCRY_STRONG_RANDOM);
  return bytes;
}

}  // namespace trust
