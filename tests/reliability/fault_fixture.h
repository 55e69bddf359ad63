// A small update served by the scripted server to a game folder that
// already holds one recorded file, and the checks that a fault lost
// nothing recorded and that the next run completes the update.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "reliability/child_run.h"
#include "reliability/scripted_server.h"
#include "support/temp_folder.h"

namespace reliability {

// The gzip form of `data`.
std::string GzipBytes(const std::string& data);
// Compressible text of `size` bytes, different for each `seed`.
std::string TextOfSize(size_t size, int seed);

class FaultFixture : public ::testing::Test {
 protected:
  FaultFixture();

  // Adds an entry to the served list: the served bytes under `remote`, and
  // what the game folder must hold at `local` once it is installed; with
  // `digests`, its line gives the SHA-256 of both ("E" and "O" only).
  void AddEntry(const std::string& type, const std::string& remote, const std::string& local,
                const std::string& version, const std::string& served, const std::string& installed,
                bool digests = false);
  // Runs updater-cli --update against a scripted server committing `fault`;
  // `host` replaces 127.0.0.1 and `port` the server's port when given. The
  // server's commands and the bytes it sent are kept in commands_ and
  // served_bytes_.
  ChildResult RunAgainst(ServerFault fault, const std::string& target, ChildOptions options = {},
                         const std::string& host = "", int port = -1);
  // Two updater-cli --update runs in the game folder at once, each with a
  // scripted server of its own (entries 1 and 2 of "isp0.dat"), which
  // pauses the transfer of `target` halfway until one of the runs has
  // ended. With `second_mid_transfer` the second run starts once the
  // first's transfer has paused, otherwise both start together.
  std::pair<ChildResult, ChildResult> RunTwoAtOnce(const std::string& target, bool second_mid_transfer);
  // The list of the runs to come, and names the listing adds to the files.
  std::string& list() { return list_; }
  std::string extra_listing_;
  // The run that follows a fault: no fault (or `fault`, one that lets the
  // run complete), no limit. Expects it to end with every entry installed
  // and recorded at its version.
  void ExpectNextRunCompletes(ServerFault fault = ServerFault::kNone);
  // Expects every entry installed whole and recorded at its version.
  void ExpectAllInstalledAndRecorded();
  // Expects the file recorded before the fault to be recorded and whole,
  // and every other record line to name a file installed whole.
  void ExpectNothingRecordedLost();

  std::string Game(const std::string& name) const { return game_.Read(name); }
  const std::string& game_dir() const { return game_.path(); }

  std::map<std::string, std::string> served_;
  std::string list_ = "UPDATE\r\n";
  std::map<std::string, std::string> installed_;  // real local name -> bytes
  std::map<std::string, std::string> versions_;   // Windows local name -> version
  std::set<std::string> bundle_locals_;           // recorded names that stand for no file
  std::vector<std::string> commands_;             // what the client sent in the last run
  ServedBytes served_bytes_;                      // what the server sent in the last run

 private:
  test_support::TempFolder game_;
};

bool Printed(const ChildResult& result, const std::string& fragment);

}  // namespace reliability
