#include "set_signing.h"

#include <filesystem>

#include "utc_time.h"
#include "lists/digest_fields.h"
#include "lists/list_file.h"
#include "platform/errors.h"
#include "platform/file_system.h"
#include "server_folder.h"
#include "server_list.h"
#include "trust/minisign_signature.h"
#include "trust/sha256.h"
#include "trust/trust_error.h"
#include "trust/trusted_comment.h"

namespace mkupdate {

namespace {

namespace fs = std::filesystem;

constexpr int64_t kSecondsPerDay = 24 * 60 * 60;

bool Inside(const fs::path& file, const std::string& folder) {
  std::string real_folder = fs::weakly_canonical(folder).string();
  if (real_folder.empty() || real_folder.back() != '/') real_folder += '/';
  return file.string().rfind(real_folder, 0) == 0;
}

// Players who check signatures pass over entries without digests: a list
// of an older publisher must be published again before it is signed.
void RefuseListWithoutDigests(const std::string& list_path) {
  ServerListFile list = ParseServerList(LoadListFile(list_path));
  for (const ListedEntry& entry : list.entries) {
    bool installed_needed = InstalledDigestField(entry.type) != 0;
    if (!trust::IsSha256Hex(entry.served_sha256) || (installed_needed && !trust::IsSha256Hex(entry.installed_sha256)))
      throw Exception(list_path + " line " + std::to_string(entry.line) + " (" + entry.local + ") carries no "
                      "SHA-256 digests, and players who check signatures pass such entries over: publish the set "
                      "again with this mkupdate, then sign it");
  }
}

void SignFile(const std::string& server_dir, const std::string& name, const trust::SecretKey& key, std::time_t now,
              int expiry_days, std::ostream& out) {
  std::string path = InFolder(server_dir, name);
  std::string signature = SignatureFileFor(key, name, platform::ReadWholeFile(path), now, expiry_days);
  platform::WriteFileAtomically(path + kSignatureSuffix, signature);
  out << SignedReport(name, key, now, expiry_days) << "\n";
}

}  // namespace

std::string UtcText(std::time_t when) {
  const std::tm parts = UtcTime(when);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &parts);
  return text;
}

trust::SecretKey LoadSigningKey(const std::string& key_path, const std::string& server_dir,
                                const std::string& game_dir) {
  std::error_code error;
  fs::path key = fs::canonical(key_path, error);
  if (error) throw EFOpenError("Cannot open the secret key " + key_path + ": " + error.message());
  if (Inside(key, server_dir))
    throw Exception("The secret key " + key_path + " lies inside the server folder " + server_dir +
                    ", whose files the FTP server hands to anyone; keep it outside");
  if (!game_dir.empty() && Inside(key, game_dir))
    throw Exception("The secret key " + key_path + " lies inside the game folder " + game_dir +
                    ", which is published to the server; keep it outside");
  return trust::ReadSecretKeyFile(key_path);
}

void RefuseClockBehindSignature(const std::string& server_dir, std::time_t now) {
  std::string path = InFolder(server_dir, std::string(kServerListName) + kSignatureSuffix);
  if (!platform::FileExists(path)) return;
  trust::TrustedTimes times;
  try {
    times = trust::ParseTrustedTimes(trust::ParseSignature(platform::ReadWholeFile(path)).trusted_comment);
  } catch (const trust::ETrustError&) {
    return;  // a signature that cannot be read is replaced like any other
  }
  if (!times.problem.empty() || !times.timestamp) return;
  if (*times.timestamp > now + kSecondsPerDay)
    throw Exception("The signature of the set in " + server_dir + " is dated " + UtcText(*times.timestamp) +
                    ", more than a day after this machine's clock (" + UtcText(now) + "). If the clock is wrong, "
                    "set it right and sign again. If it is right, that signature was made with a clock far ahead: "
                    "players who accepted it refuse every set signed before that date as a rollback until they "
                    "remove update2.sig.ts from their game folder, so tell them to, remove " + path +
                    " and sign again");
  if (*times.timestamp > now)
    throw Exception("The signature of the set in " + server_dir + " is dated " + UtcText(*times.timestamp) +
                    ", after this machine's clock (" + UtcText(now) + "). Players who accepted it would refuse a "
                    "set signed now as an old one replayed: set the clock right, then sign again");
}

std::string SignatureFileFor(const trust::SecretKey& key, std::string_view name, std::string_view bytes,
                             std::time_t now, int expiry_days) {
  std::string comment = trust::MakeTrustedComment(now, name, now + int64_t{expiry_days} * kSecondsPerDay);
  return trust::FormatSignature(trust::SignBytes(key, bytes, comment));
}

std::string SignedReport(const std::string& name, const trust::SecretKey& key, std::time_t now, int expiry_days) {
  return "signed " + name + " with key " + trust::KeyIdText(key.id) + ", valid until " +
         UtcText(now + int64_t{expiry_days} * kSecondsPerDay);
}

void SignBulletin(const std::string& server_dir, const trust::SecretKey& key, std::time_t now, int expiry_days,
                  std::ostream& out) {
  if (platform::FileExists(InFolder(server_dir, kBulletinName)))
    SignFile(server_dir, kBulletinName, key, now, expiry_days, out);
}

void SignServerFolder(const std::string& server_dir, const trust::SecretKey& key, std::time_t now,
                      int expiry_days, std::ostream& out) {
  if (!platform::FileExists(InFolder(server_dir, kServerListName)))
    throw Exception("No " + std::string(kServerListName) + " in " + server_dir + ": publish the set first");
  ServerFolderLock lock(server_dir);
  RefuseClockBehindSignature(server_dir, now);
  RefuseListWithoutDigests(InFolder(server_dir, kServerListName));
  SignFile(server_dir, kServerListName, key, now, expiry_days, out);
  SignBulletin(server_dir, key, now, expiry_days, out);
}

}  // namespace mkupdate
