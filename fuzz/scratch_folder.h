// A scratch game folder for fuzz targets that need files: made once per
// process inside a folder of its own, emptied between inputs, removed at
// exit.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace fuzz {

class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "updater_fuzz.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) abort();
    root_ = pattern + "/";
    std::filesystem::create_directory(root_ + "game");
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  // The game folder, ending in '/'.
  std::string path() const { return root_ + "game/"; }
  // Empties the game folder. Aborts (a finding for the fuzzer) when
  // anything appeared beside it: a name that climbed out.
  void Empty() const {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(root_, ignored))
      if (entry.path().filename() != "game") abort();
    for (const auto& entry : std::filesystem::directory_iterator(path(), ignored))
      std::filesystem::remove_all(entry.path(), ignored);
  }
  // Writes `size` bytes to name inside the game folder; its real path.
  std::string Write(const std::string& name, const uint8_t* data, size_t size) const {
    const std::string file = path() + name;
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return file;
  }

 private:
  std::string root_;
};

}  // namespace fuzz
