// The primitives under the minisign formats, from libgcrypt: Ed25519 keys
// and signatures (RFC 8032), the BLAKE2b-512 hash that signatures of the
// "ED" kind sign instead of the file, and random bytes for key ids. Byte strings are passed as they
// are stored in the files (the keys' and signatures' standard encodings).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace trust {

inline constexpr size_t kEd25519SeedSize = 32;
inline constexpr size_t kEd25519PublicKeySize = 32;
inline constexpr size_t kEd25519SignatureSize = 64;
inline constexpr size_t kBlake2b512Size = 64;
inline constexpr size_t kBlake2b256Size = 32;

struct Ed25519KeyPair {
  std::string seed;        // the secret: kEd25519SeedSize bytes
  std::string public_key;  // kEd25519PublicKeySize bytes
};

// A new key pair from libgcrypt's strong random source. Throws ETrustError
// when libgcrypt fails.
Ed25519KeyPair GenerateEd25519KeyPair();

// The 64-byte signature of message by the pair (seed, public_key). The
// pair is not checked here: a public key that does not belong to the seed
// gives a signature that verifies with neither. Throws ETrustError when
// libgcrypt refuses the key or a message of 2 GiB or more.
std::string Ed25519Sign(std::string_view seed, std::string_view public_key, std::string_view message);

// True when signature is public_key's signature of message. False for a
// wrong signature, a public key that is no curve point, sizes that are not
// the standard ones and a message of 2 GiB or more. Throws ETrustError
// only when libgcrypt itself cannot be used.
bool Ed25519Verify(std::string_view public_key, std::string_view message, std::string_view signature);

// The unkeyed BLAKE2b-512 hash of bytes.
std::string Blake2b512(std::string_view bytes);

// The unkeyed BLAKE2b-256 hash of bytes (the checksum of secret-key files).
std::string Blake2b256(std::string_view bytes);

// count bytes from libgcrypt's strong random source.
std::string StrongRandomBytes(size_t count);

}  // namespace trust
