// A release folder and a server folder for one publish test, removed
// when the test ends, and the publish run on a chosen day.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "lists/list_file.h"
#include "platform/process.h"
#include "publish.h"

namespace mkupdate {

inline std::time_t Utc(int day) {  // noon UTC on that day of December 2026
  using namespace std::chrono;
  const sys_days date = year{2026} / December / day;
  return static_cast<std::time_t>(duration_cast<seconds>((date + hours{12}).time_since_epoch()).count());
}

class PublishTest : public ::testing::Test {
 protected:
  void SetUp() override {
    namespace fs = std::filesystem;
    root_ = fs::temp_directory_path() / ("mkupdate-publish-" + std::to_string(platform::CurrentProcessId()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(game());
    fs::create_directories(server());
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  std::string game() const { return (root_ / "game").string(); }
  std::string server() const { return (root_ / "server").string(); }

  void Write(const std::string& name, const std::string& content) {
    std::filesystem::path path = root_ / "game" / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
  }

  // The options of a publish of the game folder to the server folder on the given day.
  PublishOptions Options(int day, const std::string& rules = "", const std::string& version = "") {
    PublishOptions options;
    options.game_dir = game();
    options.server_dir = server();
    options.now = Utc(day);
    options.version = version;
    if (!rules.empty()) {
      std::ofstream(root_ / "rules") << rules;
      options.rules_path = (root_ / "rules").string();
    }
    return options;
  }

  // Publishes; returns what the tool reported.
  std::string RunWith(const PublishOptions& options) {
    std::ostringstream out;
    Publish(options, out);
    return out.str();
  }

  // Publishes on the given day; returns what the tool reported.
  std::string Run(int day, const std::string& rules = "", const std::string& version = "") {
    return RunWith(Options(day, rules, version));
  }

  LineList List() const { return LoadListFile(server() + "/update3.dat"); }

  // The line of the list whose local name (field 3) is local.
  std::string Entry(const std::string& local) const {
    for (const std::string& line : List())
      if (LineField(line, 3) == local) return line;
    return "";
  }

  std::filesystem::path root_;
};

}  // namespace mkupdate
