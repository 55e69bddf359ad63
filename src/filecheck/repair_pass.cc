#include "filecheck/repair_pass.h"

#include "gzip/gzip.h"
#include "lists/list_file.h"
#include "platform/ascii_case.h"
#include "platform/errors.h"
#include "platform/game_path.h"
#include "texts/texts.h"
#include "update/process_entry.h"

namespace {

struct SplitName {
  std::string folder;  // up to and including the last separator; "" for none
  std::string file;
};

SplitName SplitAtLastSeparator(const std::string& name) {
  const size_t separator = name.find_last_of("\\/");
  if (separator == std::string::npos) return {"", name};
  return {name.substr(0, separator + 1), name.substr(separator + 1)};
}

std::string GamePath(const UpdateEngine& e, const std::string& name) {
  return platform::ResolveGameFileName(e.ExeDir, name);
}

// The status line after file `index` of `count` has been handled.
void ShowRemainingCount(UpdateEngine& e, size_t index, size_t count) {
  if (index + 1 < count) {
    e.View.SetStatusText(FilesCheckRemainText(static_cast<int>(count - index - 1), e.LangLetter));
  } else {
    e.View.SetStatusText(SelectText(kFilesChecked, e.LangLetter));
  }
}

// Installs every server line whose package field is `base`; the number of
// such lines. Sets window_closed when an install ended in the in-use stop.
int InstallPackage(UpdateEngine& e, const std::string& base, bool& window_closed) {
  if (!e.ServerList) return 0;
  int matched = 0;
  // Indexes, not iterators: an install may pump messages.
  for (size_t i = 1; i < e.ServerList->size(); ++i) {
    const std::string line = (*e.ServerList)[i];
    if (LineField(line, 6) != base) continue;
    ++matched;
    if (ProcessEntry(e, line, true) == EntryOutcome::kStopped) {
      window_closed = true;
      return matched;
    }
  }
  return matched;
}

// The first listing entry that may repair a file of this base name, or "".
std::string FindListingEntry(UpdateEngine& e, const std::string& base) {
  for (const std::string& entry : e.ListingNames) {
    if (!platform::EqualIgnoringAsciiCase(GetNameFirstList(entry, 1), base)) continue;
    if (IsPlainListingName(entry)) return entry;
    e.View.ReportRefusedName("listing entry \"" + entry + "\" passed over: it is not a plain file name");
  }
  return "";
}

void DownloadFromListing(UpdateEngine& e, const MismatchedFile& file, const SplitName& split,
                         const std::string& entry) {
  if (!e.Connection) throw Exception("Not connected");
  const std::string downloaded = split.folder + entry;
  // A copy: the download pumps messages, and the connection may be replaced meanwhile.
  const std::shared_ptr<Transport> connection = e.Connection;
  connection->Download(entry, GamePath(e, downloaded), -1);
  if (GetNameFirstList(entry, 2) != "GZP") return;
  MakeFolderPath(e.ExeDir, file.name);
  e.Gzip.FileSource = GamePath(e, downloaded);
  e.Gzip.FileDestination = GamePath(e, file.name);
  // The unpacker reports its own failures in a box; the check goes on.
  (void)e.Gzip.Unpack();
}

}  // namespace

bool IsPackageExtension(const std::string& extension) {
  return extension == "utx" || extension == "uax" || extension == "ukx" || extension == "usx";
}

bool IsPlainListingName(const std::string& entry) {
  if (entry.empty() || entry == "." || entry == "..") return false;
  if (entry.find_first_of("\\/") != std::string::npos) return false;
  return platform::IsSafeRelativeName(entry);
}

RepairResult RepairFiles(UpdateEngine& e, const std::vector<MismatchedFile>& mismatches) {
  RepairResult result;
  const size_t count = mismatches.size();
  for (size_t index = 0; index < count; ++index) {
    const MismatchedFile& file = mismatches[index];
    const SplitName split = SplitAtLastSeparator(file.name);
    const std::string base = GetNameFirstList(split.file, 1);
    if (IsPackageExtension(GetNameFirstList(split.file, 2))) {
      const int matched = InstallPackage(e, base, result.window_closed);
      if (result.window_closed) return result;
      ShowRemainingCount(e, index, count);
      if (matched > 0) continue;
    }
    const std::string entry = FindListingEntry(e, base);
    if (entry.empty()) {
      if (!e.ListingNames.empty()) result.unrepaired.push_back(file.path);
      continue;
    }
    DownloadFromListing(e, file, split, entry);
    ShowRemainingCount(e, index, count);
  }
  return result;
}
