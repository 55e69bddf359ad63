// Signing what players fetch from a server folder: "update3.dat" and, when
// present, "bulletin.htm", each by a minisign signature beside it
// ("update3.dat.minisig") whose trusted comment carries the time of
// signing and the time after which players are to refuse it.
#pragma once

#include <ctime>
#include <ostream>
#include <string>
#include <string_view>

#include "trust/minisign_keys.h"

namespace mkupdate {

inline constexpr const char* kBulletinName = "bulletin.htm";
inline constexpr const char* kSignatureSuffix = ".minisig";
inline constexpr int kDefaultExpiryDays = 30;
inline constexpr int kMaxExpiryDays = 3650;

// The secret key at key_path, for signing the set in server_dir (and, for
// a publish, the release in game_dir, empty otherwise). Throws Exception
// when the key lies inside either folder (links resolved), where it would
// be handed to anyone; the key's own errors (trust::ETrustError, a
// password-protected key included, EFOpenError) pass through.
trust::SecretKey LoadSigningKey(const std::string& key_path, const std::string& server_dir,
                                const std::string& game_dir = "");

// Throws Exception when the set's current signature is dated after now:
// players who accepted it would take a set signed now for an old one
// replayed, so the clock must be put right first. One dated more than a
// day ahead gets its own message: with this clock right, it was made with
// a clock far ahead, and must be removed and players told. A signature
// that cannot be read is no obstacle.
void RefuseClockBehindSignature(const std::string& server_dir, std::time_t now);

// The signature file of bytes, to be served as `name`, trusted comment
// "timestamp:<now>\tfile:<name>\texpires:<now + days>".
std::string SignatureFileFor(const trust::SecretKey& key, std::string_view name, std::string_view bytes,
                             std::time_t now, int expiry_days);

// "2026-12-08 12:00 UTC"
std::string UtcText(std::time_t when);

// "signed <name> with key <id>, valid until <UTC date>"
std::string SignedReport(const std::string& name, const trust::SecretKey& key, std::time_t now, int expiry_days);

// Signs bulletin.htm when the folder has one: writes bulletin.htm.minisig
// (replaced atomically) and reports it on out.
void SignBulletin(const std::string& server_dir, const trust::SecretKey& key, std::time_t now, int expiry_days,
                  std::ostream& out);

// `mkupdate sign`: signs update3.dat and bulletin.htm of a published set,
// holding the folder's lock. Throws Exception, signing nothing, when the
// folder has no update3.dat, is being published, or lists an entry
// without its digests (published by an older mkupdate).
void SignServerFolder(const std::string& server_dir, const trust::SecretKey& key, std::time_t now,
                      int expiry_days, std::ostream& out);

}  // namespace mkupdate
