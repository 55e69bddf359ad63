// A fresh temporary folder for one test, removed with everything in it
// when the test ends.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>

namespace test_support {

class TempFolder {
 public:
  TempFolder() : path_(NewFolder() + "/") {}
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder, ending in '/'.
  const std::string& path() const { return path_; }

  // Writes bytes to the file relative_name (real, '/'-separated), creating its folders.
  std::string Write(const std::string& relative_name, const std::string& bytes) const {
    const std::filesystem::path file = path_ + relative_name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
    return file.string();
  }

  // The content of relative_name, or "<missing>" when it cannot be read.
  std::string Read(const std::string& relative_name) const {
    std::ifstream file(path_ + relative_name, std::ios::binary);
    if (!file) return "<missing>";
    return std::string(std::istreambuf_iterator<char>(file), {});
  }

 private:
  // A folder of a new random name under the system's temporary folder,
  // spelled with '/' on either system.
  static std::string NewFolder() {
    std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::filesystem::path folder =
          std::filesystem::temp_directory_path() / ("updater_test." + std::to_string(random() % 1000000000000));
      std::error_code error;
      if (std::filesystem::create_directory(folder, error)) return folder.generic_string();
    }
    throw std::runtime_error("cannot create a temporary folder");
  }

  std::string path_;
};

}  // namespace test_support
