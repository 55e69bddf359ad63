// The peer the update is measured against: curl fetching every file over
// one FTP connection in active mode (as the updater), then `gzip -dc`
// once per compressed file.
#pragma once

#include <string>
#include <vector>

struct PeerFile {
  std::string remote;      // name on the server
  std::string local;       // where curl writes it (real path)
  std::string unpacked;    // where gzip -dc writes it; "" = not compressed
};

// Runs curl once for all files (one connection, reused), then gzip -dc for
// each compressed one. Returns the wall time in seconds; throws
// std::runtime_error when a tool fails.
double TimePeerFetch(int port, const std::vector<PeerFile>& files, const std::string& work_dir);
