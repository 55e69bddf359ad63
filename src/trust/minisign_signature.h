// minisign's signature files ("update3.dat.minisig" beside "update3.dat"):
//
//   untrusted comment: <any text; not protected>
//   <base64 of the algorithm, the 8-byte key id, the 64-byte signature>
//   trusted comment: <text; protected by the global signature>
//   <base64 of the 64-byte global signature>
//
// The algorithm "ED" signs the BLAKE2b-512 hash of the file, the legacy
// "Ed" the file itself. The global signature, by the same key, covers the
// signature bytes followed by the trusted comment.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "trust/minisign_keys.h"

namespace trust {

enum class SignatureAlgorithm {
  kHashed,  // "ED": the file's BLAKE2b-512 hash is signed (minisign's default)
  kLegacy,  // "Ed": the file itself is signed (minisign -l)
};

struct Signature {
  SignatureAlgorithm algorithm = SignatureAlgorithm::kHashed;
  KeyId key_id{};
  std::array<unsigned char, 64> signature{};
  std::string untrusted_comment;
  std::string trusted_comment;
  std::array<unsigned char, 64> global_signature{};
};

// The parts of a signature file, not yet verified. Throws ETrustError "not
// a minisign signature: <what is wrong>" for another layout or an unknown
// algorithm.
Signature ParseSignature(std::string_view file_text);

// The signature file of signature.
std::string FormatSignature(const Signature& signature);

// Signs file_bytes with key ("ED"), protecting trusted_comment with the
// global signature. The untrusted comment names the key id. Throws
// ETrustError when trusted_comment holds a line break.
Signature SignBytes(const SecretKey& key, std::string_view file_bytes, std::string_view trusted_comment);

// The outcome of a verification.
struct [[nodiscard]] SignatureCheck {
  bool valid = false;
  std::string problem;          // when not valid: why, one sentence for a person
  std::string trusted_comment;  // when valid: the text the signer vouched for
};

// Whether signature is key's signature of file_bytes: the key ids match,
// the signature covers the bytes, and the global signature covers the
// trusted comment. Runs no clock: the caller judges the trusted comment
// (see trusted_comment.h).
SignatureCheck VerifySignature(const PublicKey& key, const Signature& signature, std::string_view file_bytes);

// ParseSignature and VerifySignature in one: a signature file that cannot
// be parsed is a problem like a wrong signature (what a server sends is
// not to be trusted either way).
SignatureCheck VerifySignatureFile(const PublicKey& key, std::string_view signature_file_text,
                                   std::string_view file_bytes);

}  // namespace trust
