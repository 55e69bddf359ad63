#include "update/install_journal.h"

#include <algorithm>
#include <set>

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

// The names the journal holds, relative to exe_dir; names that would leave
// it (a journal not written by us) are dropped.
std::vector<std::string> ReadJournal(const std::string& exe_dir) {
  const std::string path = JournalPath(exe_dir);
  if (!platform::FileExists(path)) return {};
  const std::string content = platform::ReadWholeFile(path);
  std::vector<std::string> names;
  for (size_t start = 0; start < content.size();) {
    size_t end = content.find('\0', start);
    if (end == std::string::npos) end = content.size();
    std::string name = content.substr(start, end - start);
    if (platform::IsSafeRelativeName(name)) names.push_back(std::move(name));
    start = end + 1;
  }
  return names;
}

// Keeps in the journal only `names`; removes it when there are none.
// Returns a sentence when that fails.
std::string RewriteJournal(const std::string& exe_dir, const std::vector<std::string>& names) {
  const std::string path = JournalPath(exe_dir);
  if (names.empty()) {
    const int error = platform::RemoveFileIfPresent(path);
    if (error == 0) return "";
    return "could not remove " + path + ": " + platform::ErrorText(error);
  }
  std::string content;
  for (const std::string& name : names) content += name + '\0';
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
  std::vector<std::string> stuck;
  for (const std::string& name : ReadJournal(exe_dir)) {
    const std::string sentence = DiscardTemporaryFile(exe_dir + name);
    if (sentence.empty()) continue;
    problems.push_back(sentence);
    stuck.push_back(name);
  }
  if (std::string sentence = RewriteJournal(exe_dir, stuck); !sentence.empty()) problems.push_back(sentence);
  return problems;
}

std::vector<std::string> FlushInstalledFiles(const std::string& exe_dir) {
  std::vector<std::string> installed;
  std::vector<std::string> present;  // temporary files still there: in use, or stuck
  for (const std::string& name : ReadJournal(exe_dir)) {
    const std::string path = exe_dir + name;
    if (platform::FileExists(path)) {
      present.push_back(name);
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
  std::sort(present.begin(), present.end());
  present.erase(std::unique(present.begin(), present.end()), present.end());
  std::vector<std::string> problems;
  if (std::string sentence = RewriteJournal(exe_dir, present); !sentence.empty()) problems.push_back(sentence);
  return problems;
}

void SetInstalledFileFlusher(std::function<void(const std::vector<std::string>& paths)> flusher) {
  Flusher() = std::move(flusher);
}
