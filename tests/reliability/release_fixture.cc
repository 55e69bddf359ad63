#include "reliability/release_fixture.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace reliability {
namespace {

// Bundle local names and the release folder whose files each one carries.
const std::map<std::string, std::string> kBundleFolders = {
    {"maps.bnd", "Maps"},   {"trees.bnd", "Trees"},   {"anims.bnd", "Anims"},
    {"rocks.bnd", "Rocks"}, {"sounds.bnd", "Sounds"}, {"leaves.bnd", "Leaves"}};

// Files the updater itself keeps or is given beside the release.
const std::set<std::string> kUpdaterFiles = {"isp0.dat",     "isp1.dat",   "update2.dat", "update3.dat", "update.lck", "FtpConfig.ini",
                                             "bulletin.htm", "import.log", "System/PKG"};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string RealName(std::string windows_name) {
  std::replace(windows_name.begin(), windows_name.end(), '\\', '/');
  return windows_name;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing>";
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// Compressible text that differs per file and per release.
std::string Content(const std::string& name, int release, int lines) {
  std::string text;
  for (int i = 0; i < lines; ++i)
    text += "line " + std::to_string(i) + " of " + name + " in release " + std::to_string(release) + "\r\n";
  return text;
}

void Run(const std::string& command) {
  const std::string log = fs::temp_directory_path() / ("reliability_cmd_" + std::to_string(getpid()));
  const int status = std::system((command + " >" + log + " 2>&1").c_str());
  const std::string output = ReadFile(log);
  fs::remove(log);
  if (status != 0) throw std::runtime_error(command + " failed:\n" + output);
}

void WriteRelease(const std::string& dir, int release) {
  auto put = [&](const std::string& name, int version, int lines) {
    WriteFile(dir + name, Content(name, version, lines));
  };
  // Files of release 1, some changed in release 2 (version 2), some not.
  for (int i = 0; i < 160; ++i) put("System/Mod" + std::to_string(1000 + i) + ".u", release == 2 && i < 40 ? 2 : 1, 20 + i * 7 % 200);
  for (int i = 0; i < 4; ++i) put("System/Big" + std::to_string(i) + ".u", 1, 12000);
  for (int i = 0; i < 30; ++i) put("Music/Track" + std::to_string(10 + i) + ".ogg", release == 2 && i < 10 ? 2 : 1, 40 + i);
  for (int i = 0; i < 20; ++i) put("Data/Sub/Deep/Conf" + std::to_string(10 + i) + ".ini", 1, 5 + i);
  for (int i = 0; i < 40; ++i) put("Maps/Map" + std::to_string(10 + i) + ".map", release == 2 && i == 3 ? 2 : 1, 30 + i);
  for (int i = 0; i < 20; ++i) put("Trees/Tree" + std::to_string(10 + i) + ".bmp", 1, 25);
  for (int i = 0; i < 10; ++i) put("Anims/Anim" + std::to_string(10 + i) + ".psa", 1, 25);
  for (int i = 0; i < 10; ++i) put("Rocks/Rock" + std::to_string(10 + i) + ".usx", 1, 25);
  for (int i = 0; i < 10; ++i) put("Sounds/Snd" + std::to_string(10 + i) + ".wav", 1, 25);
  put("Readme.txt", release, 50);
  if (release == 2) {
    for (int i = 0; i < 20; ++i) put("System/New" + std::to_string(10 + i) + ".u", 2, 30);
    for (int i = 0; i < 8; ++i) put("Leaves/Leaf" + std::to_string(10 + i) + ".bmp", 2, 25);
  }
  std::string rules =
      "C Maps.bnd - Maps/*\nT Trees.bnd Trees Trees/*\nA Anims.bnd Anims Anims/*\n"
      "S Rocks.bnd Rocks Rocks/*\nW Sounds.bnd Sounds Sounds/*\nraw Music/*.ogg\n";
  if (release == 2) rules += "T Leaves.bnd Leaves Leaves/*\n";
  WriteFile(dir + "../rules" + std::to_string(release), rules);
}

// The lines of a CR LF text file; malformed endings are reported.
std::vector<std::string> CrLfLines(const std::string& text, std::vector<std::string>& problems) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find("\r\n", at);
    if (end == std::string::npos) {
      problems.push_back("record ends without CR LF");
      break;
    }
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

// name (lower case) -> version of the record at `path`, with what is wrong in it.
std::map<std::string, std::string> ReadRecord(const std::string& path, std::vector<std::string>& problems) {
  std::map<std::string, std::string> record;
  const std::string text = ReadFile(path);
  if (text == "<missing>") {
    problems.push_back("update2.dat missing");
    return record;
  }
  const std::vector<std::string> lines = CrLfLines(text, problems);
  if (lines.empty() || lines[0] != "AVWSEN") problems.push_back("update2.dat does not start with AVWSEN");
  for (size_t i = 1; i < lines.size(); ++i) {
    if (lines[i].empty() && i == 1) continue;
    std::istringstream fields(lines[i]);
    std::string name, version, extra;
    fields >> name >> version >> extra;
    if (name.empty() || version.empty() || !extra.empty() || lines[i] != name + " " + version) {
      problems.push_back("malformed record line " + std::to_string(i) + ": \"" + lines[i] + "\"");
      continue;
    }
    if (!record.emplace(Lower(name), version).second) problems.push_back("record lists " + name + " twice");
  }
  return record;
}

}  // namespace

ReleaseFixture::ReleaseFixture() : server_dir_(root_.path() + "server/") {
  fs::create_directories(server_dir_);
  chmod(root_.path().c_str(), 0755);
  WriteRelease(ReleaseDir(1), 1);
  WriteRelease(ReleaseDir(2), 2);
}

void ReleaseFixture::Publish(int number) {
  const std::string tool = std::string(UPDATER_BINARY_DIR) + "/tools/mkupdate/mkupdate";
  Run(tool + " publish " + ReleaseDir(number) + " " + server_dir_ + " --rules " + root_.path() + "rules" +
      std::to_string(number) + " --version " + std::to_string(2026000000 + number));
  WriteFile(server_dir_ + "bulletin.htm", "<html>release " + std::to_string(number) + "</html>\r\n");
}

void ReleaseFixture::StartServer() {
  if (!server_) server_ = test_support::FtpServer::Start(test_support::FtpServerKind::kVsftpd, server_dir_);
}

std::string ReleaseFixture::NewPlayerFolder(const std::string& name) const {
  const std::string dir = root_.path() + name + "/";
  fs::remove_all(dir);
  WriteFile(dir + "isp0.dat", "Local 127.0.0.1 " + std::to_string(server_->port()) + " 10000 anonymous\r\nend\r\n");
  WriteFile(dir + "System/PKG", "#!/bin/sh\necho \"$*\" >> import.log\n");
  chmod((dir + "System/PKG").c_str(), 0755);
  return dir;
}

std::string ReleaseFixture::CopyPlayerFolder(const std::string& from, const std::string& name) const {
  const std::string dir = root_.path() + name + "/";
  fs::remove_all(dir);
  fs::copy(from, dir, fs::copy_options::recursive);
  return dir;
}

std::vector<std::string> ReleaseFixture::UpdateArgs(const std::string& player) const {
  return {"--dir", player, "--server", "0", "--update"};
}

std::vector<ServerEntry> ReleaseFixture::ServerEntries() const {
  std::vector<std::string> problems;
  const std::vector<std::string> lines = CrLfLines(ReadFile(server_dir_ + "update3.dat"), problems);
  std::vector<ServerEntry> entries;
  for (size_t i = 1; i < lines.size(); ++i) {
    std::istringstream fields(lines[i]);
    ServerEntry entry;
    fields >> entry.type >> entry.remote >> entry.local >> entry.version;
    entries.push_back(entry);
  }
  return entries;
}

std::vector<std::string> ReleaseFixture::RecordedRemotes(const std::string& player) const {
  std::vector<std::string> problems;
  const std::map<std::string, std::string> record = ReadRecord(player + "update2.dat", problems);
  std::vector<std::string> remotes;
  for (const ServerEntry& entry : ServerEntries()) {
    const auto line = record.find(Lower(entry.local));
    if (line != record.end() && line->second == entry.version) remotes.push_back(entry.remote);
  }
  return remotes;
}

int ReleaseFixture::FileCount(int number) const {
  int count = 0;
  for (const auto& file : fs::recursive_directory_iterator(ReleaseDir(number))) count += file.is_regular_file();
  return count;
}

std::vector<std::string> ReleaseFixture::InstalledFiles(const ServerEntry& entry, int number) const {
  const auto bundle = kBundleFolders.find(Lower(entry.local));
  if (bundle == kBundleFolders.end()) return {RealName(entry.local)};
  std::vector<std::string> files;
  for (const auto& file : fs::recursive_directory_iterator(ReleaseDir(number) + bundle->second))
    if (file.is_regular_file()) files.push_back(fs::relative(file.path(), ReleaseDir(number)).string());
  return files;
}

std::vector<std::string> ReleaseFixture::DifferencesFromRelease(const std::string& player, int number) const {
  std::vector<std::string> problems;
  std::set<std::string> expected = kUpdaterFiles;
  for (const auto& file : fs::recursive_directory_iterator(ReleaseDir(number))) {
    if (!file.is_regular_file()) continue;
    const std::string name = fs::relative(file.path(), ReleaseDir(number)).string();
    expected.insert(name);
    if (ReadFile(player + name) != ReadFile(file.path().string())) problems.push_back(name + " differs from the release");
  }
  for (const auto& file : fs::recursive_directory_iterator(player)) {
    const std::string name = fs::relative(file.path(), player).string();
    if (file.is_regular_file() && expected.count(name) == 0) problems.push_back("stray file " + name);
  }
  const std::map<std::string, std::string> record = ReadRecord(player + "update2.dat", problems);
  for (const ServerEntry& entry : ServerEntries()) {
    const auto line = record.find(Lower(entry.local));
    if (line == record.end()) {
      problems.push_back("record lacks " + entry.local);
    } else if (line->second != entry.version) {
      problems.push_back("record has " + entry.local + " at " + line->second + ", server at " + entry.version);
    }
  }
  return problems;
}

std::vector<std::string> ReleaseFixture::RecordedButNotInstalled(const std::string& player, int number) const {
  std::vector<std::string> problems;
  // A run killed before its first save has left no record, which claims nothing.
  if (!fs::exists(player + "update2.dat")) return problems;
  const std::map<std::string, std::string> record = ReadRecord(player + "update2.dat", problems);
  for (const ServerEntry& entry : ServerEntries()) {
    const auto line = record.find(Lower(entry.local));
    if (line == record.end() || line->second != entry.version) continue;
    for (const std::string& name : InstalledFiles(entry, number))
      if (ReadFile(player + name) != ReadFile(ReleaseDir(number) + name))
        problems.push_back(entry.local + " " + entry.version + " is recorded but " + name + " is not the release's");
  }
  return problems;
}

}  // namespace reliability
