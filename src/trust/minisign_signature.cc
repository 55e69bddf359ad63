#include "trust/minisign_signature.h"

#include <algorithm>
#include <vector>

#include "trust/base64.h"
#include "trust/minisign_text.h"
#include "trust/primitives.h"
#include "trust/trust_error.h"

namespace trust {

namespace {

constexpr std::string_view kHashedName = "ED";
constexpr std::string_view kLegacyName = "Ed";
constexpr size_t kSignatureBytes = 2 + 8 + 64;

template <size_t N>
std::string_view View(const std::array<unsigned char, N>& bytes) {
  return std::string_view(reinterpret_cast<const char*>(bytes.data()), N);
}

template <size_t N>
void CopyOut(std::string_view bytes, std::array<unsigned char, N>& out) {
  std::copy_n(bytes.begin(), N, out.begin());
}

// What the signature signs: the file's hash or, for the legacy kind, the file.
std::string SignedMessage(SignatureAlgorithm algorithm, std::string_view file_bytes) {
  return algorithm == SignatureAlgorithm::kHashed ? Blake2b512(file_bytes) : std::string(file_bytes);
}

std::string GlobalMessage(const Signature& signature) {
  return std::string(View(signature.signature)) + signature.trusted_comment;
}

SignatureCheck Refused(std::string problem) { return {false, std::move(problem), {}}; }

}  // namespace

Signature ParseSignature(std::string_view file_text) {
  const std::string what = "not a minisign signature";
  std::vector<std::string_view> lines = detail::MinisignLines(file_text);
  if (lines.empty()) throw ETrustError(what + ": the file is empty");
  if (lines.size() != 4)
    throw ETrustError(what + ": " + std::to_string(lines.size()) + " lines instead of 4");
  std::optional<std::string_view> untrusted = detail::LabelledText(lines[0], "untrusted comment");
  if (!untrusted) throw ETrustError(what + ": the first line does not start with \"untrusted comment: \"");
  std::optional<std::string_view> trusted = detail::LabelledText(lines[2], "trusted comment");
  if (!trusted) throw ETrustError(what + ": the third line does not start with \"trusted comment: \"");
  std::string bytes = detail::DecodeExactly(lines[1], kSignatureBytes, what + " (second line)");
  std::string global = detail::DecodeExactly(lines[3], 64, what + " (fourth line)");

  Signature signature;
  std::string_view name = std::string_view(bytes).substr(0, 2);
  if (name == kHashedName)
    signature.algorithm = SignatureAlgorithm::kHashed;
  else if (name == kLegacyName)
    signature.algorithm = SignatureAlgorithm::kLegacy;
  else
    throw ETrustError(what + ": unknown algorithm " + detail::AlgorithmText(name) + " (known: \"ED\", \"Ed\")");
  CopyOut(std::string_view(bytes).substr(2), signature.key_id);
  CopyOut(std::string_view(bytes).substr(10), signature.signature);
  signature.untrusted_comment = *untrusted;
  signature.trusted_comment = *trusted;
  CopyOut(global, signature.global_signature);
  return signature;
}

std::string FormatSignature(const Signature& signature) {
  std::string bytes = std::string(signature.algorithm == SignatureAlgorithm::kHashed ? kHashedName : kLegacyName) +
                      std::string(View(signature.key_id)) + std::string(View(signature.signature));
  return "untrusted comment: " + signature.untrusted_comment + "\n" + Base64Encode(bytes) + "\n" +
         "trusted comment: " + signature.trusted_comment + "\n" + Base64Encode(View(signature.global_signature)) +
         "\n";
}

Signature SignBytes(const SecretKey& key, std::string_view file_bytes, std::string_view trusted_comment) {
  if (trusted_comment.find_first_of("\r\n") != std::string_view::npos)
    throw ETrustError("a trusted comment is one line: it holds no line break");
  Signature signature;
  signature.algorithm = SignatureAlgorithm::kHashed;
  signature.key_id = key.id;
  signature.untrusted_comment = "signature from secret key " + KeyIdText(key.id);
  signature.trusted_comment = trusted_comment;
  std::string_view seed = View(key.seed), public_key = View(key.public_key);
  CopyOut(Ed25519Sign(seed, public_key, SignedMessage(signature.algorithm, file_bytes)), signature.signature);
  CopyOut(Ed25519Sign(seed, public_key, GlobalMessage(signature)), signature.global_signature);
  return signature;
}

SignatureCheck VerifySignature(const PublicKey& key, const Signature& signature, std::string_view file_bytes) {
  if (signature.key_id != key.id)
    return Refused("the signature was made by key " + KeyIdText(signature.key_id) + ", not by the public key " +
                   KeyIdText(key.id) + " (key id differs)");
  std::string_view public_key = View(key.key);
  if (!Ed25519Verify(public_key, SignedMessage(signature.algorithm, file_bytes), View(signature.signature)))
    return Refused("the signature does not match the file with this key: the file was changed after signing, "
                   "or another key signed it");
  if (!Ed25519Verify(public_key, GlobalMessage(signature), View(signature.global_signature)))
    return Refused("the trusted comment does not match its signature: it was changed after signing");
  return {true, {}, signature.trusted_comment};
}

SignatureCheck VerifySignatureFile(const PublicKey& key, std::string_view signature_file_text,
                                   std::string_view file_bytes) {
  Signature signature;
  try {
    signature = ParseSignature(signature_file_text);
  } catch (const ETrustError& error) {  // a malformed file is a refusal like any other
    return Refused(error.what());
  }
  return VerifySignature(key, signature, file_bytes);
}

}  // namespace trust
