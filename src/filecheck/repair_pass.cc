#include "filecheck/repair_pass.h"

#include "app/texts/texts.h"
#include "ftp/ftp_client.h"
#include "gzip/gzip.h"
#include "platform/ascii_case.h"
#include "platform/errors.h"
#include "platform/file_system.h"
#include "platform/game_path.h"
#include "update/folder_path.h"
#include "update/install_journal.h"
#include "update/list_file.h"
#include "update/process_entry.h"
#include "update/status_display.h"
#include "vcl/label.h"
#include "vcl/list_box.h"

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

std::string GamePath(const UpdateWindow& w, const std::string& name) {
  return platform::ResolveGameFileName(w.ExeDir, name);
}

// Label3 after file `index` of `count` has been handled.
void ShowRemainingCount(UpdateWindow& w, size_t index, size_t count) {
  if (index + 1 < count) {
    SetStatusText(w, FilesCheckRemainText(static_cast<int>(count - index - 1), w.LangLetter));
  } else {
    SetStatusText(w, SelectText(kFilesChecked, w.LangLetter));
  }
  w.Label3->Invalidate();
}

// Installs every server line whose package field is `base`; the number of
// such lines. Sets window_closed when an install ended in the in-use stop.
int InstallPackage(UpdateWindow& w, const std::string& base, bool& window_closed) {
  if (!w.ServerList) return 0;
  int matched = 0;
  // Indexes, not iterators: an install may pump messages.
  for (size_t i = 1; i < w.ServerList->size(); ++i) {
    const std::string line = (*w.ServerList)[i];
    if (LineField(line, 6) != base) continue;
    ++matched;
    if (ProcessEntry(w, line, true) == EntryOutcome::kStopped) {
      window_closed = true;
      return matched;
    }
  }
  return matched;
}

// The first listing entry that may repair a file of this base name, or "".
std::string FindListingEntry(UpdateWindow& w, const std::string& base) {
  for (const std::string& entry : w.ListBox3->Items.Lines()) {
    if (!platform::EqualIgnoringAsciiCase(GetNameFirstList(entry, 1), base)) continue;
    if (IsPlainListingName(entry)) return entry;
    ReportRefusedName(w, "listing entry \"" + entry + "\" passed over: it is not a plain file name");
  }
  return "";
}

// Removes a temporary file of the repair if it is there; one that stays is reported.
void Discard(UpdateWindow& w, const std::string& path) {
  if (std::string sentence = DiscardTemporaryFile(path); !sentence.empty()) ReportRefusedName(w, sentence);
}

// Fetches the listing entry for `file`; false when the file could not be
// repaired from it (its data was damaged or could not replace the file;
// the unpacker has shown why).
bool DownloadFromListing(UpdateWindow& w, const MismatchedFile& file, const SplitName& split,
                         const std::string& entry) {
  if (!w.FtpClient) throw Exception("Not connected");
  const std::string downloaded = GamePath(w, split.folder + entry);
  const bool packed = GetNameFirstList(entry, 2) == "GZP";
  // Received under a temporary name: an unpacked file replaces the
  // mismatched one, any other download replaces the file of its own name.
  const std::string received =
      packed ? BeginDownloadFile(w.ExeDir, downloaded) : BeginPartialFile(w.ExeDir, downloaded);
  // A copy: the download pumps messages, and the window's client may be replaced meanwhile.
  const std::shared_ptr<TFtpClient> client = w.FtpClient;
  try {
    client->Download(entry, received);
  } catch (...) {
    Discard(w, received);
    throw;
  }
  if (!packed) {
    const int error = platform::ReplaceFile(received, downloaded);
    if (error == 0) return true;
    Discard(w, received);
    throw EFOpenError("Cannot create file " + downloaded + ": " + platform::ErrorText(error));
  }
  try {
    RequireFolderPath(w.ExeDir, file.name);
  } catch (...) {
    Discard(w, received);
    throw;
  }
  const std::string destination = GamePath(w, file.name);
  const std::string partial = BeginPartialFile(w.ExeDir, destination);
  w.Gzip->FileSource = received;
  w.Gzip->FileDestination = destination;
  const int status = w.Gzip->Unpack();
  Discard(w, received);  // the unpacker deletes it, except when the file could not be replaced
  Discard(w, partial);
  return status == TGzip::kUnpacked;
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

RepairResult RepairFiles(UpdateWindow& w, const std::vector<MismatchedFile>& mismatches) {
  RepairResult result;
  for (const std::string& sentence : SweepTemporaryFiles(w.ExeDir)) ReportRefusedName(w, sentence);
  const size_t count = mismatches.size();
  for (size_t index = 0; index < count; ++index) {
    const MismatchedFile& file = mismatches[index];
    const SplitName split = SplitAtLastSeparator(file.name);
    const std::string base = GetNameFirstList(split.file, 1);
    if (IsPackageExtension(GetNameFirstList(split.file, 2))) {
      const int matched = InstallPackage(w, base, result.window_closed);
      if (result.window_closed) return result;
      ShowRemainingCount(w, index, count);
      if (matched > 0) continue;
    }
    const std::string entry = FindListingEntry(w, base);
    if (entry.empty()) {
      if (w.ListBox3->Items.Count() > 0) result.unrepaired.push_back(file.path);
      continue;
    }
    // A file the download could not repair is listed like one the server
    // does not offer: it is still wrong.
    if (!DownloadFromListing(w, file, split, entry)) result.unrepaired.push_back(file.path);
    ShowRemainingCount(w, index, count);
  }
  return result;
}
