#include "update/signed_set.h"

#include <chrono>
#include <cstdio>

#include "platform/decimal_field.h"
#include "lists/list_file.h"
#include "platform/errors.h"
#include "platform/file_system.h"
#include "platform/game_path.h"
#include "trust/minisign_signature.h"
#include "trust/trusted_comment.h"

namespace {

std::string InFolder(const std::string& exe_dir, const char* name) {
  return platform::ResolveGameFileName(exe_dir, name);
}

constexpr char kListName[] = "update3.dat";

// A timestamp as this updater writes it: decimal seconds.
std::optional<int64_t> ParseSeconds(std::string_view text) { return platform::DecimalField(text); }

}  // namespace

std::optional<trust::PublicKey> ReadGameKey(const std::string& exe_dir) {
  const std::string path = InFolder(exe_dir, kGameKeyName);
  if (platform::FileExists(path)) return trust::ReadPublicKeyFile(path);
  const std::string stamp = InFolder(exe_dir, kAcceptedStampName);
  if (platform::FileExists(stamp))
    throw Exception(stamp + ": this game folder has accepted update sets signed by " + kGameKeyName +
                    ", which is missing now, so no unsigned set is taken: put " + kGameKeyName +
                    " back, or remove both " + kGameKeyName + " and " + kAcceptedStampName +
                    " to take unsigned sets again");
  return std::nullopt;
}

std::optional<int64_t> ReadAcceptedStamp(const std::string& exe_dir) {
  const std::string path = InFolder(exe_dir, kAcceptedStampName);
  if (!platform::FileExists(path)) return std::nullopt;
  std::string text = platform::ReadWholeFile(path);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  const std::optional<int64_t> stamp = ParseSeconds(text);
  if (!stamp)
    throw Exception(path + ": damaged: it holds no timestamp of an accepted update set; remove it to accept "
                    "the next set signed by " + kGameKeyName);
  return stamp;
}

void WriteAcceptedStamp(const std::string& exe_dir, int64_t timestamp) {
  platform::WriteFileAtomically(InFolder(exe_dir, kAcceptedStampName), std::to_string(timestamp) + "\n");
}

bool SignatureMatches(const trust::PublicKey& key, std::string_view bytes, std::string_view signature_text,
                      std::string_view name, std::string& problem) {
  const trust::SignatureCheck check = trust::VerifySignatureFile(key, signature_text, bytes);
  if (!check.valid) {
    problem = "the signature does not match " + std::string(kGameKeyName) + ": " + check.problem;
    return false;
  }
  const trust::TrustedTimes times = trust::ParseTrustedTimes(check.trusted_comment);
  problem = times.problem.empty() ? trust::SignedFileProblem(times, name) : times.problem;
  return problem.empty();
}

SetVerdict JudgeSignedSet(const trust::PublicKey& key, std::string_view list_bytes,
                          std::string_view signature_text, std::optional<int64_t> last_accepted, int64_t now) {
  const trust::SignatureCheck check = trust::VerifySignatureFile(key, signature_text, list_bytes);
  if (!check.valid) return {false, "the signature does not match " + std::string(kGameKeyName) + ": " + check.problem};
  const trust::TrustedTimes times = trust::ParseTrustedTimes(check.trusted_comment);
  if (!times.problem.empty()) return {false, times.problem};
  if (std::string problem = trust::SignedFileProblem(times, kListName); !problem.empty()) return {false, problem};
  if (!times.timestamp) return {false, "the trusted comment carries no timestamp, so a rollback cannot be ruled out"};
  if (last_accepted && *times.timestamp < *last_accepted)
    return {false, "signed on " + UtcTimeText(*times.timestamp) + ", it is older than the set already installed "
                   "(signed on " + UtcTimeText(*last_accepted) + "): a rollback"};
  if (times.expires && *times.expires <= now)
    return {false, "the signature expired on " + UtcTimeText(*times.expires)};
  return {true, "", *times.timestamp};
}

bool LocalFileIsSigned(const trust::PublicKey& key, const std::string& path) {
  const std::string signature_path = path + kSignatureSuffix;
  if (!platform::FileExists(path) || !platform::FileExists(signature_path)) return false;
  try {
    std::string problem;
    const std::string name = path.substr(path.rfind('/') + 1);
    return SignatureMatches(key, platform::ReadWholeFile(path), platform::ReadWholeFile(signature_path), name,
                            problem);
  } catch (const EFOpenError&) {  // unreadable counts as unsigned: the file is not shown
    return false;
  } catch (const EInOutError&) {  // as above
    return false;
  }
}

bool MayShowServedFile(const std::string& exe_dir, const std::string& path) {
  std::optional<trust::PublicKey> key;
  try {
    key = ReadGameKey(exe_dir);
  } catch (const Exception&) {  // a damaged key vouches for nothing; the check reports it
    return false;
  }
  return !key || LocalFileIsSigned(*key, path);
}

std::string UtcTimeText(int64_t unix_seconds) {
  using namespace std::chrono;
  const sys_seconds time{seconds{unix_seconds}};
  const sys_days day = floor<days>(time);
  const year_month_day date{day};
  const hh_mm_ss clock{time - day};
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02lld:%02lld:%02lld UTC", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<long long>(clock.hours().count()), static_cast<long long>(clock.minutes().count()),
                static_cast<long long>(clock.seconds().count()));
  return text;
}

int64_t UnixTimeNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}
