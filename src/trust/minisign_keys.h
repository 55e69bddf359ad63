// minisign's key files: the public key a game ships ("update.pub") and the
// secret key a publisher signs with. Only keys without a password are
// handled, since signing happens in scripts that cannot be asked for one.
//
//   untrusted comment: minisign public key <KEY ID>
//   <base64 of "Ed", the 8-byte key id, the 32-byte Ed25519 public key>
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace trust {

// Eight bytes that name a key pair; every signature carries its key's id.
using KeyId = std::array<unsigned char, 8>;

// The id as minisign shows it: 16 upper-case hex digits, the bytes read as
// a little-endian number ("F13122AFEFCA0444").
std::string KeyIdText(const KeyId& id);

struct PublicKey {
  KeyId id{};
  std::array<unsigned char, 32> key{};  // Ed25519

  bool operator==(const PublicKey&) const = default;
};

struct SecretKey {
  KeyId id{};
  std::array<unsigned char, 32> seed{};        // Ed25519 secret
  std::array<unsigned char, 32> public_key{};  // belongs to seed (checked when parsed)

  PublicKey Public() const { return {id, public_key}; }
};

// A new key pair with a random key id. Throws ETrustError when libgcrypt fails.
SecretKey GenerateSecretKey();

// The key of a public-key file. Throws ETrustError "not a minisign public
// key: <what is wrong>" for another layout or algorithm.
PublicKey ParsePublicKey(std::string_view file_text);

// The public-key file minisign writes for key.
std::string FormatPublicKey(const PublicKey& key);

// The key of a secret-key file without a password (written by
// `minisign -G -W` or FormatSecretKey). Throws ETrustError: for a key
// protected by a password, a text that says how to make one without; "not
// a minisign secret key: ..." for another layout or algorithm; "damaged"
// when its public half does not belong to its secret half.
SecretKey ParseSecretKey(std::string_view file_text);

// A secret-key file without a password, with its checksum (as `minisign
// -C -W` leaves one); minisign reads it as well.
std::string FormatSecretKey(const SecretKey& key);

// ParsePublicKey and ParseSecretKey of a file: their ETrustError texts are
// prefixed with "<path>: "; EFOpenError or EInOutError when it cannot be read.
PublicKey ReadPublicKeyFile(const std::string& path);
SecretKey ReadSecretKeyFile(const std::string& path);

}  // namespace trust
