#include "release_tree.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/errors.h"

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
  static const char* const kState[] = {"update2.dat", "update3.dat", "ErrorList.TXT", "isp1.dat", "update.lck"};
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

}  // namespace

std::vector<ReleaseFile> ScanRelease(const std::string& game_dir, const std::vector<std::string>& also_skip,
                                     std::vector<std::string>& problems) {
  std::vector<ReleaseFile> files;
  std::error_code error;
  fs::recursive_directory_iterator walk(game_dir, fs::directory_options::follow_directory_symlink, error);
  if (error) throw Exception("Cannot read the game folder " + game_dir + ": " + error.message());
  for (; walk != fs::recursive_directory_iterator(); walk.increment(error)) {
    if (error) throw Exception("Cannot read the game folder " + game_dir + ": " + error.message());
    if (!walk->is_regular_file(error)) continue;
    fs::path relative = walk->path().lexically_relative(game_dir);
    std::string name;
    bool fits = true;
    for (const fs::path& part : relative) {
      std::string piece = part.string();
      fits = fits && FitsInListLine(piece);
      name += (name.empty() ? "" : "\\") + piece;
    }
    if (walk.depth() == 0 && IsUpdaterState(name, also_skip)) continue;
    if (!fits) {
      problems.push_back(relative.string() + ": the name holds a space, a backslash or a control character, "
                         "which a list line cannot carry; rename the file");
      continue;
    }
    ReleaseFile file;
    file.name = name;
    file.real_path = walk->path().string();
    file.size = static_cast<int64_t>(walk->file_size(error));
    auto time = walk->last_write_time(error);
    file.mtime = std::chrono::duration_cast<std::chrono::seconds>(
                     std::chrono::file_clock::to_sys(time).time_since_epoch()).count();
    files.push_back(file);
  }
  std::sort(files.begin(), files.end(), [](const ReleaseFile& a, const ReleaseFile& b) { return a.name < b.name; });
  return files;
}

}  // namespace mkupdate
