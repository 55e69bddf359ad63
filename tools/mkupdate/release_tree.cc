#include "release_tree.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/errors.h"
#include "platform/temporary_names.h"

namespace mkupdate {

namespace fs = std::filesystem;

std::string AsciiUpper(const std::string& text) {
  std::string upper = text;
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return upper;
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b) { return AsciiUpper(a) == AsciiUpper(b); }

std::string ToSlashes(std::string name) {
  std::replace(name.begin(), name.end(), '\\', '/');
  return name;
}

namespace {

bool IsUpdaterState(const std::string& top_name, const std::vector<std::string>& also_skip) {
  static const char* const kState[] = {"update2.dat",    "update3.dat", "updtmp.dat", "update2.sig.ts",
                                       "ErrorList.TXT", "isp1.dat",    "update.lck"};
  for (const char* state : kState)
    if (SameNameIgnoringCase(top_name, state)) return true;
  for (const std::string& skip : also_skip)
    if (SameNameIgnoringCase(top_name, skip)) return true;
  return false;
}

bool FitsInListLine(const std::string& name) {
  for (char c : name)
    if (c == ' ' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
  return true;
}

// True when `path` is `folder` or lies below it (both canonical).
bool Within(const fs::path& path, const fs::path& folder) {
  const std::string p = path.string(), f = folder.string();
  return p == f || (p.size() > f.size() && p.compare(0, f.size(), f) == 0 && (f.back() == '/' || p[f.size()] == '/'));
}

// One walk of the release. Folders are entered through links too, but only
// links that stay in the release and do not lead back into a folder the walk
// is inside of, so the walk ends and publishes nothing from elsewhere.
class ReleaseWalk {
 public:
  ReleaseWalk(const std::string& game_dir, const std::vector<std::string>& also_skip,
              std::vector<std::string>& problems)
      : game_dir_(game_dir), also_skip_(also_skip), problems_(problems) {}

  std::vector<ReleaseFile> Run() {
    std::error_code error;
    root_ = fs::canonical(game_dir_, error);
    if (error) Fail(error);
    Folder(game_dir_, root_, "", true);
    std::sort(files_.begin(), files_.end(), [](const ReleaseFile& a, const ReleaseFile& b) { return a.name < b.name; });
    return std::move(files_);
  }

 private:
  [[noreturn]] void Fail(const std::error_code& error) {
    throw Exception("Cannot read the game folder " + game_dir_ + ": " + error.message());
  }

  // Walks `folder` (as reached from game_dir; its canonical path `real`),
  // whose files are named `prefix` + their name; `fits` is false when a
  // folder on the way has a name a list line cannot carry.
  void Folder(const fs::path& folder, const fs::path& real, const std::string& prefix, bool fits) {
    open_.push_back(real);
    std::error_code error;
    fs::directory_iterator entries(folder, error);
    if (error) Fail(error);
    for (; entries != fs::directory_iterator(); entries.increment(error)) {
      if (error) Fail(error);
      Entry(*entries, prefix, fits);
    }
    if (error) Fail(error);
    open_.pop_back();
  }

  void Entry(const fs::directory_entry& entry, const std::string& prefix, bool fits) {
    const std::string piece = entry.path().filename().string();
    const std::string name = prefix + piece;
    fits = fits && FitsInListLine(piece);
    std::error_code error;
    if (!entry.is_symlink(error)) {
      if (entry.is_directory(error)) Folder(entry.path(), open_.back() / piece, name + "\\", fits);
      else if (entry.is_regular_file(error)) File(entry.path(), name, prefix.empty(), fits);
      return;
    }
    const fs::path target = fs::canonical(entry.path(), error);
    if (error) return;  // a link that leads nowhere names no file
    if (!Within(target, root_)) {
      Problem(entry.path(), "the link leads out of the release folder, to " + target.string() + "; copy what it names "
                    "into the release or remove the link");
    } else if (fs::is_directory(target, error)) {
      for (const fs::path& open : open_) {
        if (!Within(open, target)) continue;
        return Problem(entry.path(), "the link leads back into the folder " + target.string() + " that holds it, which "
                             "would publish its files over and over; remove the link");
      }
      Folder(entry.path(), target, name + "\\", fits);
    } else if (fs::is_regular_file(target, error)) {
      File(entry.path(), name, prefix.empty(), fits);
    }
  }

  void File(const fs::path& path, const std::string& name, bool top, bool fits) {
    if (top && IsUpdaterState(name, also_skip_)) return;
    if (!fits)
      return Problem(path, "the name holds a space, a backslash or a control character, which a list line "
                           "cannot carry; rename the file");
    if (platform::IsTemporaryFileName(name))
      return Problem(path, "the name ends in a suffix the updater gives its temporary files (.updtmp, .dltmp, "
                           "either followed by .ahead<n>), which players' updaters would delete; rename the file");
    std::error_code error;
    ReleaseFile file;
    file.name = name;
    file.real_path = path.string();
    file.size = static_cast<int64_t>(fs::file_size(path, error));
    auto time = fs::last_write_time(path, error);
    file.mtime = std::chrono::duration_cast<std::chrono::seconds>(
                     std::chrono::file_clock::to_sys(time).time_since_epoch()).count();
    const fs::perms perms = fs::status(path, error).permissions();
    file.executable = !error && (perms & (fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec)) !=
                                    fs::perms::none;
    files_.push_back(file);
  }

  // A line naming the file or link at `path` (as reached from game_dir).
  void Problem(const fs::path& path, const std::string& what) {
    problems_.push_back(path.lexically_relative(game_dir_).string() + ": " + what);
  }

  const std::string& game_dir_;
  const std::vector<std::string>& also_skip_;
  std::vector<std::string>& problems_;
  fs::path root_;
  std::vector<fs::path> open_;  // canonical paths of the folders the walk is inside of, the release's first
  std::vector<ReleaseFile> files_;
};

}  // namespace

std::vector<ReleaseFile> ScanRelease(const std::string& game_dir, const std::vector<std::string>& also_skip,
                                     std::vector<std::string>& problems) {
  return ReleaseWalk(game_dir, also_skip, problems).Run();
}

}  // namespace mkupdate
