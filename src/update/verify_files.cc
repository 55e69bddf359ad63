#include "update/verify_files.h"

#include <optional>

#include "lists/digest_fields.h"
#include "lists/list_file.h"
#include "platform/ascii_case.h"
#include "platform/errors.h"
#include "platform/game_path.h"
#include "trust/sha256.h"
#include "update/install_journal.h"
#include "update/process_entry.h"

namespace {

// The version the record gives for local name `name`, if it names it.
std::optional<std::string> RecordedVersion(const LineList& record, const std::string& name) {
  for (size_t i = 1; i < record.size(); ++i) {
    if (platform::EqualIgnoringAsciiCase(LineFieldView(record[i], 1), name)) return LineField(record[i], 2);
  }
  return std::nullopt;
}

// The installed file's SHA-256, or "" when it cannot be read.
std::string InstalledDigest(const UpdateEngine& e, const std::string& name) {
  try {
    return trust::Sha256File(platform::ResolveGameFileName(e.ExeDir, name));
  } catch (const Exception&) {  // a missing or unreadable file differs like a changed one
    return "";
  }
}

}  // namespace

VerifyReport VerifyGameFiles(UpdateEngine& e) {
  VerifyReport report;
  if (!e.ServerList || !e.RecordList) return report;
  const LineList server = *e.ServerList;  // a copy: a repair may reload the engine's lists
  for (const std::string& sentence : SweepTemporaryFiles(e.ExeDir)) e.View.ReportRefusedName(sentence);
  for (size_t i = 1; i < server.size(); ++i) {
    const std::string& line = server[i];
    const std::string type = LineField(line, 1);
    if (type != "E" && type != "O") continue;
    const std::string name = LineField(line, 3);
    if (!e.RecordList || RecordedVersion(*e.RecordList, name) != LineField(line, 4)) continue;
    const std::string expected = LineField(line, InstalledDigestField(type[0]));
    if (!trust::IsSha256Hex(expected)) {
      report.unverifiable.push_back(name);
      continue;
    }
    ++report.checked;
    if (InstalledDigest(e, name) == expected) continue;
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
