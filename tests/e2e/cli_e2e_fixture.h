// The setting of the end-to-end tests: a served folder for a real FTP
// server on loopback, a game folder that points at it, and updater-cli run
// in that game folder.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "support/ftp_servers.h"
#include "support/temp_folder.h"
#include "support/wait_until.h"
#include "update_set.h"

namespace test_support {

// The server a suite runs against: which program, on which loopback.
struct ServerSetting {
  FtpServerKind kind;
  Loopback loopback;
};

// Both programs on both loopbacks.
inline std::vector<ServerSetting> EveryServerSetting() {
  return {{FtpServerKind::kPyftpdlib, Loopback::kIpv4},
          {FtpServerKind::kVsftpd, Loopback::kIpv4},
          {FtpServerKind::kPyftpdlib, Loopback::kIpv6},
          {FtpServerKind::kVsftpd, Loopback::kIpv6}};
}

class CliE2eTest : public ::testing::TestWithParam<ServerSetting> {
 protected:
  CliE2eTest() : server_dir(root.path() + "server/"), game_dir(root.path() + "game/"), set(server_dir) {
    std::filesystem::create_directories(server_dir);
    std::filesystem::create_directories(game_dir);
    chmod(root.path().c_str(), 0755);
  }

  // Starts a server of the test's setting on the served folder.
  std::unique_ptr<FtpServer> StartServer(const std::string& dir = "", int connections_per_address = 0) {
    return FtpServer::Start(GetParam().kind, dir.empty() ? server_dir : dir, "", "", FtpServer::Passive::kOffered,
                            connections_per_address, GetParam().loopback);
  }
  // The host field of a server line: an IPv6 address in brackets.
  static std::string HostField(const FtpServer& server) {
    const std::string host = server.host();
    return host.find(':') == std::string::npos ? host : "[" + host + "]";
  }
  // How the updater names the server: "127.0.0.1:2121", "[::1]:2121".
  static std::string HostPort(const FtpServer& server) {
    return HostField(server) + ":" + std::to_string(server.port());
  }
  // A line of "isp0.dat" for a server on loopback.
  static std::string ServerLine(const std::string& name, const FtpServer& server,
                                const std::string& user = "anonymous") {
    return name + " " + HostField(server) + " " + std::to_string(server.port()) + " 10000 " + user;
  }
  // Writes "isp0.dat" from server lines, the end marker added.
  void WriteServers(const std::vector<std::string>& lines) const {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    root.Write("game/isp0.dat", text + "end\r\n");
  }
  // A stand-in for the game's import tool that notes each call in
  // import.log. It fails for a package whose name contains "Broken": it
  // notes the call followed by " (failed)" and exits with status 1.
  void WriteImportTool() const {
    const std::string path = root.Write("game/System/PKG",
                                        "#!/bin/sh\n"
                                        "case \"$*\" in *Broken*) echo \"$* (failed)\" >> import.log; exit 1 ;; esac\n"
                                        "echo \"$*\" >> import.log\n");
    chmod(path.c_str(), 0755);
  }
  // The import calls noted so far, once `count` have arrived (at most 10 s).
  std::vector<std::string> ImportCalls(size_t count) const {
    std::vector<std::string> calls;
    EXPECT_TRUE(test_support::WaitUntil([&] {
      calls.clear();
      const std::string log = Game("import.log");
      std::istringstream in(log == "<missing>" ? "" : log);  // the tool runs on its own: not yet started
      for (std::string line; std::getline(in, line);) calls.push_back(line);
      return calls.size() >= count;
    }, std::to_string(count) + " import calls"));
    std::sort(calls.begin(), calls.end());
    return calls;
  }

  // The content of a game file (real '/' name), or "<missing>".
  std::string Game(const std::string& name) const { return root.Read("game/" + name); }
  bool GameHas(const std::string& name) const { return std::filesystem::exists(game_dir + name); }

  CliResult Run(std::vector<std::string> args, const std::string& lang = "C",
                const Interruption& interruption = {}) const {
    args.insert(args.begin(), {"--dir", game_dir});
    return RunUpdaterCli(args, lang, interruption);
  }

  TempFolder root;
  const std::string server_dir;
  const std::string game_dir;
  UpdateSet set;
};

// "pyftpdlib" on IPv4 (the names the suites had before IPv6),
// "pyftpdlib_IPv6" on IPv6.
inline std::string SettingName(const ::testing::TestParamInfo<ServerSetting>& info) {
  const std::string kind = FtpServerName(info.param.kind);
  return info.param.loopback == Loopback::kIpv4 ? kind : kind + "_" + LoopbackName(info.param.loopback);
}

}  // namespace test_support
