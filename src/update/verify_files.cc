#include "update/verify_files.h"

#include <optional>
#include <unordered_map>

#include "lists/digest_fields.h"
#include "lists/list_file.h"
#include "lists/server_entry.h"
#include "platform/ascii_case.h"
#include "platform/errors.h"
#include "platform/file_system.h"
#include "platform/game_path.h"
#include "trust/sha256.h"
#include "update/install_journal.h"
#include "update/process_entry.h"
#include "update/updater_files.h"

namespace {

// The versions the record gives, by local name without regard to ASCII
// case; the first line of a name wins, as the comparison reads the record.
class RecordedVersions {
 public:
  explicit RecordedVersions(const LineList& record) {
    for (size_t i = 1; i < record.size(); ++i)
      versions_.emplace(platform::UpperAsciiCase(std::string(RecordedNameOf(record[i]))),
                        std::string(RecordedVersionOf(record[i])));
  }
  std::optional<std::string> Of(const std::string& name) const {
    const auto found = versions_.find(platform::UpperAsciiCase(name));
    if (found == versions_.end()) return std::nullopt;
    return found->second;
  }

 private:
  std::unordered_map<std::string, std::string> versions_;
};

// The installed file's SHA-256, or "" when it cannot be read.
std::string InstalledDigest(const UpdateEngine& e, const std::string& name) {
  try {
    return trust::Sha256File(platform::ResolveGameFileName(e.ExeDir, name));
  } catch (const Exception&) {  // a missing or unreadable file differs like a changed one
    return "";
  }
}

// Gives the installed file `entry` names, whose content is right, the
// execute bits its mode flag lists: a file set right counts as repaired.
void SetListedExecuteBits(const UpdateEngine& e, const ServerEntry& entry, VerifyReport& report) {
  const platform::ExecuteBits execute = ListedExecuteBits(entry.execute_flag);
  if (execute == platform::ExecuteBits::kAsReplaced) return;
  const std::string& name = entry.local;
  if (IsUpdaterOwnFile(name)) return;  // no repair writes them, not even their mode
  bool changed = false;
  if (const int error = platform::SetExecuteBits(platform::ResolveGameFileName(e.ExeDir, name), execute, changed);
      error != 0)
    report.unrepaired.push_back(name + ": its execute permission cannot be set: " + platform::ErrorText(error));
  else if (changed)
    report.repaired.push_back(name);
}

}  // namespace

VerifyReport VerifyGameFiles(UpdateEngine& e) {
  VerifyReport report;
  if (!e.ServerList || !e.RecordList) return report;
  const LineList server = *e.ServerList;  // a copy: a repair may reload the engine's lists
  // The file check's installs add no record lines, so the record read once stays right.
  const RecordedVersions recorded(*e.RecordList);
  const platform::FolderListingScope listings;
  for (const std::string& sentence : SweepTemporaryFiles(e.ExeDir)) e.View.ReportRefusedName(sentence);
  for (size_t i = 1; i < server.size(); ++i) {
    const std::string& line = server[i];
    const ServerEntry entry = ParseServerEntry(line).entry;
    const EntryHandling handling = HandlingOf(entry.type, false);
    if (!handling.downloads) continue;
    const std::string& name = entry.local;
    if (recorded.Of(name) != entry.version) continue;
    // A bundle is taken apart and deleted: nothing installed gives its members' digests.
    if (handling.bundle) {
      report.unverifiable_bundles.push_back(name);
      continue;
    }
    const std::string& expected = entry.installed_sha256;
    if (!trust::IsSha256Hex(expected)) {
      report.unverifiable.push_back(name);
      continue;
    }
    ++report.checked;
    if (InstalledDigest(e, name) == expected) {
      SetListedExecuteBits(e, entry, report);
      continue;
    }
    if (IsUpdaterOwnFile(name)) {
      report.unrepaired.push_back(name + ": it is one of the updater's own files, which no repair writes");
      continue;
    }
    const EntryOutcome outcome = ProcessEntry(e, line, true);
    if (outcome == EntryOutcome::kStopped) {
      report.stopped = true;
      report.unrepaired.push_back(name + ": the run stopped at a file in use");
      return report;
    }
    if (outcome != EntryOutcome::kInstalled)
      report.unrepaired.push_back(name + ": it could not be fetched again (see above)");
    else if (InstalledDigest(e, name) != expected)
      report.unrepaired.push_back(name + ": the file fetched again still differs from its SHA-256");
    else
      report.repaired.push_back(name);
  }
  if (!report.repaired.empty()) {
    for (const std::string& sentence : FlushInstalledFiles(e.ExeDir)) e.View.ReportRefusedName(sentence);
  }
  return report;
}
