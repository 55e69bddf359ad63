#include "filecheck/measure_pass.h"

#include <exception>
#include <unordered_map>

#include "platform/file_probe.h"
#include "platform/game_path.h"

namespace {

constexpr size_t kDisplayWidth = 70;

size_t FileNameStart(const std::string& name) {
  const size_t separator = name.find_last_of("\\/");
  return separator == std::string::npos ? 0 : separator + 1;
}

// Real paths of the records' folders, each resolved once: a reference list
// names thousands of files in a handful of folders.
class FolderResolver {
 public:
  explicit FolderResolver(const std::string& exe_dir) : exe_dir_(exe_dir) {}

  // Real path of the folder part of name (up to its last separator).
  const std::string& RealFolder(const std::string& name) {
    const std::string folder = name.substr(0, FileNameStart(name));
    auto found = folders_.find(folder);
    if (found == folders_.end())
      found = folders_.emplace(folder, platform::ResolveGameFileName(exe_dir_, folder)).first;
    return found->second;
  }

 private:
  const std::string& exe_dir_;
  std::unordered_map<std::string, std::string> folders_;
};

struct LocatedFile {
  std::string path;
  platform::FileProbe probe;
};

// Probes the file under its exact spelling first (the common case, one
// system call), and only when that is missing under the spelling the game
// folder has, matched ignoring case.
LocatedFile Locate(FolderResolver& folders, const std::string& name) {
  const std::string& folder = folders.RealFolder(name);
  const std::string file = name.substr(FileNameStart(name));
  LocatedFile located{folder + file, platform::ProbeFileForWriting(folder + file)};
  if (located.probe.state != platform::FileProbe::State::kMissing) return located;
  std::string resolved = platform::ResolveGameFileName(folder, file);
  if (resolved != located.path) {
    located.probe = platform::ProbeFileForWriting(resolved);
    located.path = std::move(resolved);
  }
  return located;
}

bool Matches(const platform::FileProbe& probe, const CheckRecord& record) {
  return probe.size == static_cast<int64_t>(record.size) && probe.last_write_days >= record.time;
}

}  // namespace

std::string SafeRecordName(const CheckRecord& record) {
  std::string name = record.folder + record.name;
  if (!platform::IsSafeRelativeName(name)) return "";
  const std::string file = name.substr(FileNameStart(name));
  if (file.empty() || file == "." || file == "..") return "";
  return name;
}

std::string RecordDisplayText(const CheckRecord& record) {
  return (record.folder + record.name).substr(0, kDisplayWidth);
}

std::vector<MismatchedFile> MeasureFiles(UpdateEngine& e, const std::vector<CheckRecord>& records) {
  std::vector<MismatchedFile> mismatches;
  // Each missing file is searched for among its folder's names.
  const platform::FolderListingScope listings;
  FolderResolver folders(e.ExeDir);
  for (const CheckRecord& record : records) {
    try {
      std::string name = SafeRecordName(record);
      if (name.empty()) {
        e.View.ReportRefusedName("datec.dat: record \"" + record.folder + record.name +
                                 "\" skipped: it names no file inside the game folder");
        continue;
      }
      LocatedFile file = Locate(folders, name);
      if (file.probe.state == platform::FileProbe::State::kMissing) {
        mismatches.push_back({std::move(name), std::move(file.path)});
        continue;
      }
      e.View.SetStatusTextUncentred(RecordDisplayText(record));
      if (file.probe.state == platform::FileProbe::State::kBusy) continue;
      if (!Matches(file.probe, record)) mismatches.push_back({std::move(name), std::move(file.path)});
    } catch (const std::exception&) {
      // One record's failure must not stop the check; that record is
      // simply not listed.
    }
  }
  return mismatches;
}
