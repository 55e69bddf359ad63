#include "signature_check.h"

#include "platform/file_system.h"
#include "server_folder.h"
#include "server_list.h"
#include "set_signing.h"
#include "trust/minisign_signature.h"
#include "trust/trusted_comment.h"

namespace mkupdate {

namespace {

// The problems of one file's signature; fills summary when there is none.
void CheckOne(const std::string& server_dir, const std::string& name, const trust::PublicKey& key, std::time_t now,
              std::vector<std::string>& problems, std::string& summary) {
  const std::string signature_name = name + kSignatureSuffix;
  const std::string path = InFolder(server_dir, signature_name);
  const std::string who = signature_name + ": ";
  if (!platform::FileExists(path)) {
    problems.push_back(who + "missing; sign the set with mkupdate sign");
    return;
  }
  trust::SignatureCheck check = trust::VerifySignatureFile(key, platform::ReadWholeFile(path),
                                                           platform::ReadWholeFile(InFolder(server_dir, name)));
  if (!check.valid) {
    problems.push_back(who + check.problem);
    return;
  }
  trust::TrustedTimes times = trust::ParseTrustedTimes(check.trusted_comment);
  if (!times.problem.empty()) {
    problems.push_back(who + times.problem);
    return;
  }
  if (std::string problem = trust::SignedFileProblem(times, name); !problem.empty()) {
    problems.push_back(who + problem);
    return;
  }
  if (!times.timestamp) {
    problems.push_back(who + "the trusted comment has no timestamp, which players need to refuse older sets");
    return;
  }
  if (times.expires && *times.expires <= now) {
    problems.push_back(who + "expired on " + UtcText(*times.expires) + "; sign the set again with mkupdate sign");
    return;
  }
  summary = "signed by key " + trust::KeyIdText(key.id) + " on " + UtcText(*times.timestamp) +
            (times.expires ? ", valid until " + UtcText(*times.expires) : std::string(", with no expiry"));
}

}  // namespace

SignatureReport CheckSignatures(const std::string& server_dir, const trust::PublicKey& key, std::time_t now) {
  SignatureReport report;
  CheckOne(server_dir, kServerListName, key, now, report.problems, report.summary);
  if (platform::FileExists(InFolder(server_dir, kBulletinName))) {
    std::string bulletin_summary;
    CheckOne(server_dir, kBulletinName, key, now, report.problems, bulletin_summary);
  }
  return report;
}

}  // namespace mkupdate
