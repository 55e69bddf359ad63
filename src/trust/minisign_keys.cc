#include "trust/minisign_keys.h"

#include <algorithm>
#include <vector>

#include "platform/file_system.h"
#include "trust/base64.h"
#include "trust/minisign_text.h"
#include "trust/primitives.h"
#include "trust/trust_error.h"

namespace trust {

namespace {

using detail::AlgorithmText;

constexpr std::string_view kSignatureAlgorithm = "Ed";
constexpr std::string_view kNoKeyDerivation("\0\0", 2);
constexpr std::string_view kScryptKeyDerivation = "Sc";
constexpr std::string_view kChecksumAlgorithm = "B2";
constexpr size_t kPublicKeyBytes = 2 + 8 + 32;
// algorithm, key derivation, checksum algorithm, salt, opslimit, memlimit,
// key id, seed and public key, checksum
constexpr size_t kSecretKeyBytes = 2 + 2 + 2 + 32 + 8 + 8 + 8 + 64 + 32;
constexpr size_t kSecretKeyIdOffset = 2 + 2 + 2 + 32 + 8 + 8;
constexpr size_t kSecretKeyChecksumOffset = kSecretKeyIdOffset + 8 + 64;

template <size_t N>
void CopyOut(std::string_view bytes, size_t offset, std::array<unsigned char, N>& out) {
  std::copy_n(bytes.begin() + offset, N, out.begin());
}

template <size_t N>
std::string_view View(const std::array<unsigned char, N>& bytes) {
  return std::string_view(reinterpret_cast<const char*>(bytes.data()), N);
}

// The two lines of a key file: the comment and the base64 line.
std::string_view KeyLine(std::string_view file_text, const std::string& what) {
  std::vector<std::string_view> lines = detail::MinisignLines(file_text);
  if (lines.empty()) throw ETrustError(what + ": the file is empty");
  if (!detail::LabelledText(lines[0], "untrusted comment"))
    throw ETrustError(what + ": the first line does not start with \"untrusted comment: \"");
  if (lines.size() < 2) throw ETrustError(what + ": the key line is missing");
  if (lines.size() > 2) throw ETrustError(what + ": there is more text after the key line");
  return lines[1];
}

void CheckAlgorithm(std::string_view bytes, const std::string& what) {
  if (bytes.substr(0, 2) != kSignatureAlgorithm)
    throw ETrustError(what + ": the algorithm is " + AlgorithmText(bytes.substr(0, 2)) + ", not Ed25519 (\"Ed\")");
}

// BLAKE2b-256 of the algorithm, the key id and the key (seed, public half).
std::string Checksum(const SecretKey& key) {
  return Blake2b256(std::string(kSignatureAlgorithm) + std::string(View(key.id)) + std::string(View(key.seed)) +
                    std::string(View(key.public_key)));
}

// Text a person can act on when the file cannot be read as what it claims.
ETrustError WithPath(const std::string& path, const ETrustError& error) {
  return ETrustError(path + ": " + error.what());
}

}  // namespace

std::string KeyIdText(const KeyId& id) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (size_t i = id.size(); i-- > 0;) {
    text += kDigits[id[i] >> 4];
    text += kDigits[id[i] & 0x0F];
  }
  return text;
}

SecretKey GenerateSecretKey() {
  Ed25519KeyPair pair = GenerateEd25519KeyPair();
  SecretKey key;
  CopyOut(StrongRandomBytes(key.id.size()), 0, key.id);
  CopyOut(pair.seed, 0, key.seed);
  CopyOut(pair.public_key, 0, key.public_key);
  return key;
}

PublicKey ParsePublicKey(std::string_view file_text) {
  const std::string what = "not a minisign public key";
  std::string bytes = detail::DecodeExactly(KeyLine(file_text, what), kPublicKeyBytes, what);
  CheckAlgorithm(bytes, what);
  PublicKey key;
  CopyOut(bytes, 2, key.id);
  CopyOut(bytes, 10, key.key);
  return key;
}

std::string FormatPublicKey(const PublicKey& key) {
  std::string bytes = std::string(kSignatureAlgorithm) + std::string(View(key.id)) + std::string(View(key.key));
  return "untrusted comment: minisign public key " + KeyIdText(key.id) + "\n" + Base64Encode(bytes) + "\n";
}

SecretKey ParseSecretKey(std::string_view file_text) {
  const std::string what = "not a minisign secret key";
  std::string bytes = detail::DecodeExactly(KeyLine(file_text, what), kSecretKeyBytes, what);
  CheckAlgorithm(bytes, what);
  std::string_view derivation = std::string_view(bytes).substr(2, 2);
  if (derivation == kScryptKeyDerivation)
    throw ETrustError(
        "the secret key is protected by a password, and signing here never asks for one. Make a key "
        "without a password with `mkupdate keygen DIR` or `minisign -G -W`, or remove the password of "
        "this one with `minisign -C -W -s KEYFILE`, and keep the file where only you can read it");
  if (derivation != kNoKeyDerivation)
    throw ETrustError(what + ": unknown key protection " + AlgorithmText(derivation));
  if (std::string_view(bytes).substr(4, 2) != kChecksumAlgorithm)
    throw ETrustError(what + ": unknown checksum algorithm " + AlgorithmText(std::string_view(bytes).substr(4, 2)));
  SecretKey key;
  CopyOut(bytes, kSecretKeyIdOffset, key.id);
  CopyOut(bytes, kSecretKeyIdOffset + 8, key.seed);
  CopyOut(bytes, kSecretKeyIdOffset + 8 + 32, key.public_key);
  // `minisign -G -W` leaves the checksum zero; a password removed later leaves one.
  std::string_view checksum = std::string_view(bytes).substr(kSecretKeyChecksumOffset);
  if (checksum != std::string(checksum.size(), '\0') && checksum != Checksum(key))
    throw ETrustError("the secret key is damaged: its checksum does not match");
  // The pair itself is the last test: a signature its public half accepts.
  const std::string probe = "minisign key pair test";
  if (!Ed25519Verify(View(key.public_key), probe, Ed25519Sign(View(key.seed), View(key.public_key), probe)))
    throw ETrustError("the secret key is damaged: its public half does not belong to its secret half");
  return key;
}

std::string FormatSecretKey(const SecretKey& key) {
  std::string bytes = std::string(kSignatureAlgorithm) + std::string(kNoKeyDerivation) +
                      std::string(kChecksumAlgorithm) + std::string(32 + 8 + 8, '\0') +
                      std::string(View(key.id)) + std::string(View(key.seed)) + std::string(View(key.public_key)) +
                      Checksum(key);
  return "untrusted comment: minisign secret key without a password\n" + Base64Encode(bytes) + "\n";
}

PublicKey ReadPublicKeyFile(const std::string& path) {
  std::string text = platform::ReadWholeFile(path);
  try {
    return ParsePublicKey(text);
  } catch (const ETrustError& error) {  // the text names no file; the reader needs it
    throw WithPath(path, error);
  }
}

SecretKey ReadSecretKeyFile(const std::string& path) {
  std::string text = platform::ReadWholeFile(path);
  try {
    return ParseSecretKey(text);
  } catch (const ETrustError& error) {  // the text names no file; the reader needs it
    throw WithPath(path, error);
  }
}

}  // namespace trust
