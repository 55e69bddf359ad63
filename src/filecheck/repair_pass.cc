#include "filecheck/repair_pass.h"

#include "filecheck/repair_targets.h"
#include "filecheck/signed_repair.h"
#include "texts/texts.h"
#include "platform/ascii_case.h"
#include "platform/file_system.h"
#include "platform/game_path.h"
#include "update/install_journal.h"
#include "lists/digest_fields.h"
#include "lists/list_file.h"
#include "lists/server_entry.h"
#include "update/process_entry.h"
#include "update/updater_files.h"

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

// The status line after file `index` of `count` has been handled.
void ShowRemainingCount(UpdateEngine& e, size_t index, size_t count) {
  if (index + 1 < count) {
    e.View.SetStatusText(FilesCheckRemainText(static_cast<int>(count - index - 1), e.LangLetter));
  } else {
    e.View.SetStatusText(SelectText(kFilesChecked, e.LangLetter));
  }
}

// Installs every server line whose package field is `base`; the number of
// such lines. A line whose local name is one of the updater's own files is
// passed over (the view hears of it) and not counted. Sets window_closed
// when an install ended in the in-use stop.
int InstallPackage(UpdateEngine& e, const std::string& base, bool& window_closed) {
  if (!e.ServerList) return 0;
  int matched = 0;
  // Indexes, not iterators: an install may pump messages.
  for (size_t i = 1; i < e.ServerList->size(); ++i) {
    const std::string line = (*e.ServerList)[i];
    if (PackageFieldOf(line) != base) continue;
    if (const std::string local(LocalNameOf(line)); IsUpdaterOwnFile(local)) {
      e.View.ReportRefusedName("entry \"" + local + "\" passed over: it is one of the updater's own files");
      continue;
    }
    ++matched;
    if (ProcessEntry(e, line, true) == EntryOutcome::kStopped) {
      window_closed = true;
      return matched;
    }
  }
  return matched;
}

// The names a repair by base name picks from: the server folder's
// listing, or, over a transport without one, the remote names of the
// server list.
LineList RepairSourceNames(const UpdateEngine& e) {
  if (!e.Connection || e.Connection->HasNameListing()) return e.ListingNames;
  LineList names;
  if (!e.ServerList) return names;
  for (size_t i = 1; i < e.ServerList->size(); ++i) names.push_back(LineField((*e.ServerList)[i], 2));
  return names;
}

// The first of `names` (see RepairSourceNames) that may repair `file`,
// whose base name is `base`, or "". An entry is passed over (the view
// hears why) when it is no plain file name or its download name is one
// that `targets` keeps from the repair; the unpacked destination of a
// "GZP" entry is the file itself, which RepairFiles has judged already.
std::string FindListingEntry(UpdateEngine& e, const LineList& names, const MismatchedFile& file,
                             const SplitName& split, const std::string& base, const RepairTargets& targets) {
  for (const std::string& entry : names) {
    if (!platform::EqualIgnoringAsciiCase(GetNameFirstList(entry, 1), base)) continue;
    std::string why = "it is not a plain file name";
    if (IsPlainListingName(entry)) {
      why = targets.WhyNotWritten(split.folder + entry, file.name);
      if (why.empty()) return entry;
    }
    e.View.ReportRefusedName("listing entry \"" + entry + "\" passed over: " + why);
  }
  return "";
}

// The execute bits the server list's "E" or "O" line for the game file
// `name` gives it: a listing entry carries no mode of its own.
platform::ExecuteBits ListedExecuteBitsOf(const UpdateEngine& e, const std::string& name) {
  if (!e.ServerList) return platform::ExecuteBits::kAsReplaced;
  const std::string key = GameFileKey(name);
  for (size_t i = 1; i < e.ServerList->size(); ++i) {
    const ServerEntry entry = ParseServerEntry((*e.ServerList)[i]).entry;
    const EntryHandling handling = HandlingOf(entry.type, false);
    if (handling.downloads && !handling.bundle && GameFileKey(entry.local) == key)
      return ListedExecuteBits(entry.execute_flag);
  }
  return platform::ExecuteBits::kAsReplaced;
}

// Fetches the listing entry for `file`; false when the file could not be
// repaired from it (its data was damaged or could not replace the file;
// the installer has shown why). A packed entry unpacks into the
// mismatched file; any other replaces the file of its own name.
bool DownloadFromListing(UpdateEngine& e, const MismatchedFile& file, const SplitName& split,
                         const std::string& entry) {
  UnlistedDownload download;
  download.remote = entry;
  download.unpacks = GetNameFirstList(entry, 2) == "GZP";
  download.received_beside = split.folder + entry;
  download.local = download.unpacks ? file.name : download.received_beside;
  download.execute = ListedExecuteBitsOf(e, download.local);
  return InstallUnlistedDownload(e, download);
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
  const platform::FolderListingScope listings;
  for (const std::string& sentence : SweepTemporaryFiles(e.ExeDir)) e.View.ReportRefusedName(sentence);
  const bool signed_only = RepairTakesOnlySignedEntries(e);
  const RepairTargets targets(e);
  const LineList source_names = RepairSourceNames(e);
  const size_t count = mismatches.size();
  for (size_t index = 0; index < count; ++index) {
    const MismatchedFile& file = mismatches[index];
    if (IsUpdaterOwnFile(file.name)) {
      e.View.ReportRefusedName("\"" + file.name + "\" not repaired: it is one of the updater's own files");
      result.unrepaired.push_back(file.path);
      continue;
    }
    const SplitName split = SplitAtLastSeparator(file.name);
    const std::string base = GetNameFirstList(split.file, 1);
    // Without a list accepted under the key, ServerList vouches for nothing.
    if (IsPackageExtension(GetNameFirstList(split.file, 2)) && (!signed_only || e.SignedSet)) {
      const int matched = InstallPackage(e, base, result.window_closed);
      if (result.window_closed) return result;
      ShowRemainingCount(e, index, count);
      if (matched > 0) continue;
    }
    if (signed_only) {
      const SignedRepair repair = RepairFromSignedList(e, file);
      if (repair == SignedRepair::kStopped) {
        result.window_closed = true;
        return result;
      }
      if (repair != SignedRepair::kRepaired) result.unrepaired.push_back(file.path);
      if (repair != SignedRepair::kNoEntry) ShowRemainingCount(e, index, count);
      continue;
    }
    const std::string entry = FindListingEntry(e, source_names, file, split, base, targets);
    if (entry.empty()) {
      if (!source_names.empty()) result.unrepaired.push_back(file.path);
      continue;
    }
    // A file the download could not repair is listed like one the server
    // does not offer: it is still wrong.
    if (!DownloadFromListing(e, file, split, entry)) result.unrepaired.push_back(file.path);
    ShowRemainingCount(e, index, count);
  }
  return result;
}
