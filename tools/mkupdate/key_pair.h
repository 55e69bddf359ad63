// `mkupdate keygen`: a minisign key pair for signing update sets.
#pragma once

#include <ostream>
#include <string>

namespace mkupdate {

inline constexpr const char* kPublicKeyName = "update.pub";
inline constexpr const char* kSecretKeyName = "update.key";

// Writes a new key pair into folder (created, readable by its owner only,
// when missing): "update.pub", the public key players' game folders hold,
// and "update.key", the secret key without a password, readable by its
// owner only. Throws Exception, writing nothing, when either file exists.
// Reports both files and the key id on out.
void WriteKeyPair(const std::string& folder, std::ostream& out);

}  // namespace mkupdate
