// Trust in what the servers send, for a game folder that ships the
// publisher's public key as "update.pub" (minisign's format): a server
// list is used only with a valid signature "update3.dat.minisig" by that
// key, whose trusted comment carries a timestamp not older than that of
// the last set accepted here and an expiry, when given, still to come.
// Without "update.pub" nothing here is asked for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "trust/minisign_keys.h"

// The public key's name in the game folder.
inline constexpr char kGameKeyName[] = "update.pub";
// The suffix of a signature file beside the file it signs.
inline constexpr char kSignatureSuffix[] = ".minisig";
// The file beside "update2.dat" that keeps the timestamp of the last set
// accepted in this game folder.
inline constexpr char kAcceptedStampName[] = "update2.sig.ts";

// The key of "update.pub" in exe_dir (its name matched ignoring case, as
// every game file's), or nullopt when there is none and no signed set was
// accepted here. Throws Exception "<path>: ..." when the key is there but
// damaged or cannot be read, and when it is missing although
// "update2.sig.ts" is there: a folder that has accepted a signed set takes
// no unsigned one until both files are removed.
std::optional<trust::PublicKey> ReadGameKey(const std::string& exe_dir);

// The timestamp of the last accepted set (its file's name matched ignoring
// case), or nullopt when none was accepted yet. Throws Exception naming the
// file when it holds anything but a number of seconds.
std::optional<int64_t> ReadAcceptedStamp(const std::string& exe_dir);

// Replaces the stamp file atomically, under the spelling it has on disk.
// Throws the write's EFOpenError / EInOutError.
void WriteAcceptedStamp(const std::string& exe_dir, int64_t timestamp);

struct [[nodiscard]] SetVerdict {
  bool accepted = false;
  std::string problem;    // when refused: why, for a person ("the signature expired on ...")
  int64_t timestamp = 0;  // when accepted: the signed timestamp
};

// Judges list_bytes, served as "update3.dat", and its signature file
// against key, the last accepted timestamp and the current time `now`
// (Unix seconds). A trusted comment without a timestamp is refused (no
// rollback could be told from it), and so is one that does not name
// "update3.dat" (the signature could be the bulletin's).
SetVerdict JudgeSignedSet(const trust::PublicKey& key, std::string_view list_bytes,
                          std::string_view signature_text, std::optional<int64_t> last_accepted, int64_t now);

// True when signature_text is key's valid signature of bytes, made for the
// file `name` (its trusted comment names it); otherwise false and
// `problem` says why.
bool SignatureMatches(const trust::PublicKey& key, std::string_view bytes, std::string_view signature_text,
                      std::string_view name, std::string& problem);

// Whether the file at path is signed by key through path + kSignatureSuffix
// beside it, under the file's own name; false when either is missing or
// cannot be read.
bool LocalFileIsSigned(const trust::PublicKey& key, const std::string& path);

// Whether the server's file at path (the bulletin) may be shown: always
// in a game folder without "update.pub"; with it, only when
// LocalFileIsSigned; never when the key cannot be read (the check says why).
bool MayShowServedFile(const std::string& exe_dir, const std::string& path);

// "2026-01-31 12:00:00 UTC"
std::string UtcTimeText(int64_t unix_seconds);

// The current time in Unix seconds.
int64_t UnixTimeNow();
