// A fresh game folder per test, with helpers to fill it the way an
// installed game looks: skin bitmaps (small generated BMPs), server lists,
// configuration files. Names are Windows-style ('\' separators) and are
// resolved like the updater resolves them, so "FTP\x" and "Ftp\y" land in
// one folder.
#pragma once

#include <string>

#include "support/temp_folder.h"

namespace test_support {

// A valid uncompressed 24-bit BMP file of width x height pixels, all of
// one colour (0x00RRGGBB).
std::string MakeBmp(int width, int height, unsigned rgb = 0x336699);

class GameFolder {
 public:
  // The folder, a real path ending in '/'.
  const std::string& path() const { return folder_.path(); }

  // Writes bytes to windows_name (created with its folders); returns the real path.
  std::string Write(const std::string& windows_name, const std::string& bytes) const;
  std::string WriteBmp(const std::string& windows_name, int width, int height) const;
  // The content of windows_name, or "<missing>".
  std::string Read(const std::string& windows_name) const;
  bool Exists(const std::string& windows_name) const;
  // Real path of windows_name (whether or not it exists).
  std::string RealPath(const std::string& windows_name) const;

  // Every bitmap the main window and the server dialog load, both looks of
  // each button included.
  void WriteAllSkins() const;
  // Each skin bitmap name the main window loads at start-up.
  static const char* const kMainWindowSkins[8];

 private:
  TempFolder folder_;
};

}  // namespace test_support
