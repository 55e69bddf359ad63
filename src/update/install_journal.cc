#include "update/install_journal.h"

#include <algorithm>
#include <optional>
#include <set>

#include "platform/decimal_field.h"
#include "lists/list_file.h"
#include "platform/errors.h"
#include "platform/file_system.h"
#include "platform/game_path.h"

namespace {

std::function<void(const std::vector<std::string>&)>& Flusher() {
  static std::function<void(const std::vector<std::string>&)> flusher;
  return flusher;
}

std::string JournalPath(const std::string& exe_dir) { return exe_dir + kInstallJournalName; }

bool EndsWith(const std::string& text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// One name the journal holds, relative to exe_dir, and for a download file
// what it is a download of.
struct Note {
  std::string name;
  std::optional<DownloadOrigin> origin;
};

// The record that follows a download file's name: "/download", then the
// listed size, version, digest and remote name, each after a line end
// (which no field of a list line holds; the remote name comes last).
constexpr std::string_view kOriginMark = "/download\n";

std::string OriginRecord(const DownloadOrigin& origin) {
  return std::string(kOriginMark) + std::to_string(origin.listed_size) + '\n' + origin.version + '\n' +
         origin.digest + '\n' + origin.remote;
}

// The origin in a record after kOriginMark; nullopt when it is malformed.
std::optional<DownloadOrigin> ParseOrigin(std::string_view record) {
  DownloadOrigin origin;
  std::string_view fields[3];
  for (std::string_view& field : fields) {
    const size_t end = record.find('\n');
    if (end == std::string_view::npos) return std::nullopt;
    field = record.substr(0, end);
    record.remove_prefix(end + 1);
  }
  const std::optional<int64_t> listed_size = platform::DecimalField(fields[0]);
  if (!listed_size) return std::nullopt;
  origin.listed_size = *listed_size;
  origin.version = fields[1];
  origin.digest = fields[2];
  origin.remote = record;
  return origin;
}

// The notes of the journal in the order written; names that would leave
// the game folder (a journal not written by us) are dropped, and so is an
// origin record that follows no name or cannot be read.
std::vector<Note> ReadJournal(const std::string& exe_dir) {
  const std::string path = JournalPath(exe_dir);
  if (!platform::FileExists(path)) return {};
  const std::string content = platform::ReadWholeFile(path);
  std::vector<Note> notes;
  bool origin_expected = false;  // the last record was a name
  for (size_t start = 0; start < content.size();) {
    size_t end = content.find('\0', start);
    if (end == std::string::npos) end = content.size();
    std::string record = content.substr(start, end - start);
    start = end + 1;
    if (record.starts_with(kOriginMark)) {
      if (origin_expected) notes.back().origin = ParseOrigin(std::string_view(record).substr(kOriginMark.size()));
      origin_expected = false;
      continue;
    }
    origin_expected = platform::IsSafeRelativeName(record);
    if (origin_expected) notes.push_back({std::move(record), std::nullopt});
  }
  return notes;
}

// Each name once, with the origin of its last note (the one written last
// describes the file), in name order.
std::map<std::string, std::optional<DownloadOrigin>> LastNotes(const std::vector<Note>& notes) {
  std::map<std::string, std::optional<DownloadOrigin>> last;
  for (const Note& note : notes) last[note.name] = note.origin;
  return last;
}

// Keeps in the journal only `notes`; removes it when there are none.
// Returns a sentence when that fails.
std::string RewriteJournal(const std::string& exe_dir, const std::vector<Note>& notes) {
  const std::string path = JournalPath(exe_dir);
  if (notes.empty()) {
    const int error = platform::RemoveFileIfPresent(path);
    if (error == 0) return "";
    return "could not remove " + path + ": " + platform::ErrorText(error);
  }
  std::string content;
  for (const Note& note : notes) {
    content += note.name + '\0';
    if (note.origin) content += OriginRecord(*note.origin) + '\0';
  }
  try {
    platform::WriteFileAtomically(path, content);
  } catch (const Exception& error) {
    return "could not rewrite " + path + ": " + error.what();
  }
  return "";
}

// Every folder that holds one of `files`, from the game folder down: a
// folder created for a file is durable only once its own folder is flushed.
std::vector<std::string> FoldersOf(const std::string& exe_dir, const std::vector<std::string>& files) {
  std::set<std::string> folders = {exe_dir};
  for (const std::string& file : files) {
    for (size_t slash = file.find('/', exe_dir.size()); slash != std::string::npos; slash = file.find('/', slash + 1))
      folders.insert(file.substr(0, slash + 1));
  }
  return {folders.begin(), folders.end()};
}

}  // namespace

std::string NoteTemporaryFile(const std::string& exe_dir, const std::string& path) {
  if (path.compare(0, exe_dir.size(), exe_dir) != 0)
    throw Exception("A temporary file outside the game folder: " + path);
  platform::AppendToFile(JournalPath(exe_dir), path.substr(exe_dir.size()) + '\0');
  return path;
}

std::string BeginPartialFile(const std::string& exe_dir, const std::string& destination) {
  return NoteTemporaryFile(exe_dir, platform::PartialFileOf(destination));
}

std::string BeginDownloadFile(const std::string& exe_dir, const std::string& path) {
  return NoteTemporaryFile(exe_dir, path + std::string(kDownloadFileSuffix));
}

std::string DiscardTemporaryFile(const std::string& path) {
  const int error = platform::RemoveFileIfPresent(path);
  if (error == 0) return "";
  return "could not remove the temporary file " + path + ": " + platform::ErrorText(error);
}

std::vector<std::string> SweepTemporaryFiles(const std::string& exe_dir) {
  std::vector<std::string> problems;
  std::vector<Note> stuck;
  for (const Note& note : ReadJournal(exe_dir)) {
    const std::string sentence = DiscardTemporaryFile(exe_dir + note.name);
    if (sentence.empty()) continue;
    problems.push_back(sentence);
    stuck.push_back({note.name, std::nullopt});
  }
  if (std::string sentence = RewriteJournal(exe_dir, stuck); !sentence.empty()) problems.push_back(sentence);
  return problems;
}

std::string NoteDownloadOf(const std::string& exe_dir, const std::string& path, const DownloadOrigin& origin) {
  if (path.compare(0, exe_dir.size(), exe_dir) != 0)
    throw Exception("A temporary file outside the game folder: " + path);
  platform::AppendToFile(JournalPath(exe_dir), path.substr(exe_dir.size()) + '\0' + OriginRecord(origin) + '\0');
  return path;
}

KeptDownloads::Match KeptDownloads::Take(const std::string& path, const DownloadOrigin& origin) {
  const auto kept = partials_.find(path);
  if (kept == partials_.end()) return Match::kNone;
  const bool same = kept->second.origin == origin && platform::FileSize(path) == kept->second.size;
  partials_.erase(kept);
  return same ? Match::kSame : Match::kChanged;
}

std::vector<std::string> KeptDownloads::DiscardUnused() {
  std::vector<std::string> problems;
  for (const auto& [path, partial] : partials_) {
    if (std::string sentence = DiscardTemporaryFile(path); !sentence.empty()) problems.push_back(sentence);
  }
  partials_.clear();
  return problems;
}

void KeptDownloads::Add(const std::string& path, const DownloadOrigin& origin, int64_t size) {
  partials_[path] = {origin, size};
}

std::vector<std::string> SweepTemporaryFiles(const std::string& exe_dir, KeptDownloads& kept) {
  std::vector<std::string> problems;
  std::vector<Note> staying;
  for (const auto& [name, origin] : LastNotes(ReadJournal(exe_dir))) {
    const std::string path = exe_dir + name;
    const int64_t size = platform::FileExists(path) ? platform::FileSize(path) : -1;
    if (origin && size > 0 && size < origin->listed_size) {
      kept.Add(path, *origin, size);
      staying.push_back({name, origin});
      continue;
    }
    const std::string sentence = DiscardTemporaryFile(path);
    if (sentence.empty()) continue;
    problems.push_back(sentence);
    staying.push_back({name, std::nullopt});
  }
  if (std::string sentence = RewriteJournal(exe_dir, staying); !sentence.empty()) problems.push_back(sentence);
  return problems;
}

std::vector<std::string> FlushInstalledFiles(const std::string& exe_dir, const StillToCome& still_to_come) {
  std::vector<std::string> installed;
  // Temporary files still there (in use, stuck, or kept to be continued)
  // or still to come: dropping the note of one that is created after the
  // rewrite below would leave it to no sweep.
  std::vector<Note> present;
  for (const auto& [name, origin] : LastNotes(ReadJournal(exe_dir))) {
    const std::string path = exe_dir + name;
    if (platform::FileExists(path) || (still_to_come && still_to_come(name))) {
      present.push_back({name, origin});
    } else if (EndsWith(path, platform::kPartialFileSuffix)) {
      const std::string destination = path.substr(0, path.size() - platform::kPartialFileSuffix.size());
      if (platform::FileExists(destination)) installed.push_back(destination);
    }
  }
  std::sort(installed.begin(), installed.end());
  installed.erase(std::unique(installed.begin(), installed.end()), installed.end());
  if (!installed.empty()) {
    std::vector<std::string> paths = installed;
    const std::vector<std::string> folders = FoldersOf(exe_dir, installed);
    paths.insert(paths.end(), folders.begin(), folders.end());
    if (Flusher()) {
      Flusher()(paths);
    } else {
      platform::FlushFiles(paths);
    }
  }
  std::vector<std::string> problems;
  if (std::string sentence = RewriteJournal(exe_dir, present); !sentence.empty()) problems.push_back(sentence);
  return problems;
}

void SetInstalledFileFlusher(std::function<void(const std::vector<std::string>& paths)> flusher) {
  Flusher() = std::move(flusher);
}
