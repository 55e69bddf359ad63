// A game release of a few hundred files of every entry type, published by
// mkupdate into a folder that a real FTP server on loopback serves, and the
// checks that a player's game folder holds exactly that release.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/ftp_servers.h"
#include "support/temp_folder.h"

namespace reliability {

// One line of the server's "update3.dat".
struct ServerEntry {
  std::string type, remote, local, version;
};

class ReleaseFixture {
 public:
  // Builds release 1 (and release 2, which changes and adds files of every
  // type) under a fresh folder; nothing is published yet.
  ReleaseFixture();

  // Publishes release `number` (1 or 2) into the served folder with
  // mkupdate; throws std::runtime_error with mkupdate's output on failure.
  void Publish(int number);
  // Starts vsftpd on the served folder (once).
  void StartServer();

  // A fresh player folder: the server list "isp0.dat" pointing at the
  // server and the stand-in for the game's import tool, nothing else.
  std::string NewPlayerFolder(const std::string& name) const;
  // Copies a player folder to a new one.
  std::string CopyPlayerFolder(const std::string& from, const std::string& name) const;
  // The arguments that update `player` from the server with updater-cli.
  std::vector<std::string> UpdateArgs(const std::string& player) const;

  // Every way in which `player` differs from release `number`: missing or
  // different files, files that belong to no release and no updater file,
  // and a record "update2.dat" that is malformed or does not list each
  // server entry with the server's version. Empty when they are equal.
  std::vector<std::string> DifferencesFromRelease(const std::string& player, int number) const;
  // Record lines of `player` that claim an entry at the server's version
  // whose installed file (or, for bundles, member files) differ from the
  // release: what a crash must never leave behind.
  std::vector<std::string> RecordedButNotInstalled(const std::string& player, int number) const;

  std::vector<ServerEntry> ServerEntries() const;
  // The remote names of the entries that `player`'s record lists at the
  // server's version, in server-list order.
  std::vector<std::string> RecordedRemotes(const std::string& player) const;
  // The files the server has been asked for so far, in order (see
  // test_support::FtpServer::Downloads).
  std::vector<std::string> ServerDownloads() const { return server_->Downloads(); }
  const std::string& server_dir() const { return server_dir_; }
  int FileCount(int number) const;

 private:
  std::string ReleaseDir(int number) const { return root_.path() + "release" + std::to_string(number) + "/"; }
  // The release files that an entry installs (real '/' names).
  std::vector<std::string> InstalledFiles(const ServerEntry& entry, int number) const;

  test_support::TempFolder root_;
  std::string server_dir_;
  std::unique_ptr<test_support::FtpServer> server_;
};

}  // namespace reliability
