#include "support/game_folder.h"

#include <filesystem>
#include <fstream>

#include "platform/game_path.h"

namespace test_support {

namespace {

void PutLe(std::string& out, unsigned value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace

std::string MakeBmp(int width, int height, unsigned rgb) {
  const int row_bytes = (width * 3 + 3) / 4 * 4;
  const unsigned pixel_bytes = static_cast<unsigned>(row_bytes * height);
  std::string bmp = "BM";
  PutLe(bmp, 54 + pixel_bytes, 4);
  PutLe(bmp, 0, 4);
  PutLe(bmp, 54, 4);
  PutLe(bmp, 40, 4);  // BITMAPINFOHEADER
  PutLe(bmp, static_cast<unsigned>(width), 4);
  PutLe(bmp, static_cast<unsigned>(height), 4);
  PutLe(bmp, 1, 2);   // planes
  PutLe(bmp, 24, 2);  // bits per pixel
  PutLe(bmp, 0, 4);   // no compression
  PutLe(bmp, pixel_bytes, 4);
  PutLe(bmp, 2835, 4);
  PutLe(bmp, 2835, 4);
  PutLe(bmp, 0, 4);
  PutLe(bmp, 0, 4);
  std::string row;
  for (int x = 0; x < width; ++x) {
    row += static_cast<char>(rgb & 0xFF);
    row += static_cast<char>((rgb >> 8) & 0xFF);
    row += static_cast<char>((rgb >> 16) & 0xFF);
  }
  row.resize(row_bytes, '\0');
  for (int y = 0; y < height; ++y) bmp += row;
  return bmp;
}

const char* const GameFolder::kMainWindowSkins[8] = {
    "FTP\\fbar1.bmp",
    "Ftp\\FTP_ORVEL_001b.bmp",
    "Ftp\\FTP_cool_a_D_001b.bmp",
    "Ftp\\FTP_cool_b_D_001b.bmp",
    "Ftp\\FTP_cool_d_D_001b.bmp",
    "Ftp\\FTP_cool_c_D_001b.bmp",
    "Ftp\\FTP_cool_k_D_001b.bmp",
    "Ftp\\FTP_cool_n_D_001b.bmp",
};

std::string GameFolder::RealPath(const std::string& windows_name) const {
  return platform::ResolveGameFileName(path(), windows_name);
}

std::string GameFolder::Write(const std::string& windows_name, const std::string& bytes) const {
  const std::string real = RealPath(windows_name);
  std::filesystem::create_directories(std::filesystem::path(real).parent_path());
  std::ofstream(real, std::ios::binary) << bytes;
  return real;
}

std::string GameFolder::WriteBmp(const std::string& windows_name, int width, int height) const {
  return Write(windows_name, MakeBmp(width, height));
}

std::string GameFolder::Read(const std::string& windows_name) const {
  std::ifstream file(RealPath(windows_name), std::ios::binary);
  if (!file) return "<missing>";
  return std::string(std::istreambuf_iterator<char>(file), {});
}

bool GameFolder::Exists(const std::string& windows_name) const {
  return std::filesystem::exists(RealPath(windows_name));
}

void GameFolder::WriteAllSkins() const {
  WriteBmp("FTP\\fbar1.bmp", 680, 21);
  WriteBmp("Ftp\\FTP_ORVEL_001b.bmp", 924, 680);
  WriteBmp("FTP\\FTP_ORVEL_003b.bmp", 924, 644);
  for (const char letter : {'a', 'b', 'c', 'd', 'k', 'n'})
    for (const char look : {'D', 'H'})
      WriteBmp(std::string("Ftp\\FTP_cool_") + letter + "_" + look + "_001b.bmp", 98, 36);
  for (const char look : {'D', 'H'})
    WriteBmp(std::string("FTP\\FTP_cool_e_") + look + "_001b.bmp", 36, 24);
}

}  // namespace test_support
