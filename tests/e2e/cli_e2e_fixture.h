// The setting of the end-to-end tests: a served folder for a real server
// on loopback (FTP or HTTP(S)), a game folder that points at it, and
// updater-cli run in that game folder.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "support/ftp_servers.h"
#include "support/web_server.h"
#include "support/temp_folder.h"
#include "support/update_server.h"
#include "support/wait_until.h"
#include "update_set.h"

namespace test_support {

enum class ServerKind {
  kPyftpdlib,   // FtpServerKind::kPyftpdlib
  kVsftpd,      // FtpServerKind::kVsftpd
  kNginxHttp,   // nginx over plain http (HTTP/1.1)
  kNginxHttps,  // nginx over https, HTTP/2 offered, the test CA's certificate
};

// The server a suite runs against: which program, on which loopback.
struct ServerSetting {
  ServerKind kind;
  Loopback loopback;
};

// Both FTP programs on both loopbacks, for what depends on FTP.
inline std::vector<ServerSetting> FtpServerSettings() {
  return {{ServerKind::kPyftpdlib, Loopback::kIpv4},
          {ServerKind::kVsftpd, Loopback::kIpv4},
          {ServerKind::kPyftpdlib, Loopback::kIpv6},
          {ServerKind::kVsftpd, Loopback::kIpv6}};
}

// nginx over http on IPv4, and over https (HTTP/2) on both loopbacks.
inline std::vector<ServerSetting> WebServerSettings() {
  return {{ServerKind::kNginxHttp, Loopback::kIpv4},
          {ServerKind::kNginxHttps, Loopback::kIpv4},
          {ServerKind::kNginxHttps, Loopback::kIpv6}};
}

// The FTP settings and the web ones, for what holds whatever the protocol.
inline std::vector<ServerSetting> EveryServerSetting() {
  std::vector<ServerSetting> settings = FtpServerSettings();
  for (const ServerSetting& setting : WebServerSettings()) settings.push_back(setting);
  return settings;
}

// The program of an FTP setting; throws std::logic_error for another protocol's.
inline FtpServerKind FtpKindOf(ServerKind kind) {
  switch (kind) {
    case ServerKind::kPyftpdlib: return FtpServerKind::kPyftpdlib;
    case ServerKind::kVsftpd: return FtpServerKind::kVsftpd;
    default: throw std::logic_error("an FTP server asked for in a setting of another protocol");
  }
}

// A server of `setting` on root_dir.
inline std::unique_ptr<UpdateServer> StartServerOf(const ServerSetting& setting, const std::string& root_dir) {
  switch (setting.kind) {
    case ServerKind::kPyftpdlib:
    case ServerKind::kVsftpd:
      return FtpServer::Start(FtpKindOf(setting.kind), root_dir, "", "", FtpServer::Passive::kOffered, 0,
                              setting.loopback);
    case ServerKind::kNginxHttp:
      return WebServer::Start(root_dir, {.protocol = WebProtocol::kHttp}, setting.loopback);
    case ServerKind::kNginxHttps:
      return WebServer::Start(root_dir, {.protocol = WebProtocol::kHttps}, setting.loopback);
  }
  throw std::logic_error("no such server kind");
}

class CliE2eTest : public ::testing::TestWithParam<ServerSetting> {
 protected:
  CliE2eTest() : server_dir(root.path() + "server/"), game_dir(root.path() + "game/"), set(server_dir) {
    std::filesystem::create_directories(server_dir);
    std::filesystem::create_directories(game_dir);
    chmod(root.path().c_str(), 0755);
  }

  // Starts a server of the test's setting on the served folder (or `dir`);
  // the game folder then trusts the CA it needs (see WriteServers).
  std::unique_ptr<UpdateServer> StartServer(const std::string& dir = "") {
    std::unique_ptr<UpdateServer> server = StartServerOf(GetParam(), dir.empty() ? server_dir : dir);
    if (!server->CaFile().empty()) ca_file_ = server->CaFile();
    return server;
  }
  // An FTP server of the test's setting, for the suites that run over FTP
  // alone; connections_per_address above 0 makes it refuse ("421") more
  // connections from one address.
  std::unique_ptr<FtpServer> StartFtpServer(const std::string& dir, int connections_per_address) const {
    return FtpServer::Start(FtpKindOf(GetParam().kind), dir, "", "", FtpServer::Passive::kOffered,
                            connections_per_address, GetParam().loopback);
  }
  // A line of "isp0.dat" for a server on loopback.
  static std::string ServerLine(const std::string& name, const UpdateServer& server,
                                const std::string& user = "anonymous") {
    return name + " " + server.LineFields(user);
  }
  // Writes "isp0.dat" from server lines, the end marker added, and the
  // network settings (WriteNetworkSettings) again.
  void WriteServers(const std::vector<std::string>& lines) const {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    root.Write("game/isp0.dat", text + "end\r\n");
    SaveNetworkSettings();
  }
  // Writes "FtpConfig.ini" with `lines` ("KEY=value\r\n" each) under
  // [NETWORK], after the CAFILE line of the CA that the servers started
  // need (kGameCaFile, a copy of it); without either there is no file.
  void WriteNetworkSettings(const std::string& lines) {
    network_lines_ = lines;
    SaveNetworkSettings();
  }
  // The game folder trusts the CA of ca_file from the next WriteServers or
  // WriteNetworkSettings on.
  void TrustCa(const std::string& ca_file) { ca_file_ = ca_file; }
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

  // The copy of the servers' CA in the game folder that CAFILE names.
  static constexpr const char* kGameCaFile = "TestCA.pem";

  TempFolder root;
  const std::string server_dir;
  const std::string game_dir;
  UpdateSet set;

 private:
  void SaveNetworkSettings() const {
    if (!ca_file_.empty()) {
      std::filesystem::copy_file(ca_file_, game_dir + kGameCaFile, std::filesystem::copy_options::overwrite_existing);
    }
    const std::string ca_line = ca_file_.empty() ? "" : std::string("CAFILE=") + kGameCaFile + "\r\n";
    if (!ca_line.empty() || !network_lines_.empty())
      root.Write("game/FtpConfig.ini", "[NETWORK]\r\n" + ca_line + network_lines_);
  }

  std::string ca_file_;        // "" while no server needs a CA
  std::string network_lines_;  // what WriteNetworkSettings was last given
};

// "pyftpdlib" on IPv4 (the names the suites had before IPv6),
// "pyftpdlib_IPv6" on IPv6; "nginx_http", "nginx_https_IPv6".
inline std::string SettingName(const ::testing::TestParamInfo<ServerSetting>& info) {
  static constexpr const char* kNames[] = {"pyftpdlib", "vsftpd", "nginx_http", "nginx_https"};
  const std::string kind = kNames[static_cast<int>(info.param.kind)];
  return info.param.loopback == Loopback::kIpv4 ? kind : kind + "_" + LoopbackName(info.param.loopback);
}

}  // namespace test_support
