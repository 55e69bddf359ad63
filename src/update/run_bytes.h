// The byte totals of the update run (UpdateEngine::RunBytes): what its
// downloads list and what the connection has received since it began,
// for a front-end that shows the rate and the time left.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "update/update_engine.h"

// Notes the run's totals for the entries of PendingList while it lives,
// and that no run is in progress once it ends (the totals then go to
// LastRunBytes).
class RunBytesScope {
 public:
  explicit RunBytesScope(UpdateEngine& e);
  ~RunBytesScope();
  RunBytesScope(const RunBytesScope&) = delete;
  RunBytesScope& operator=(const RunBytesScope&) = delete;

 private:
  UpdateEngine& e_;
};

// The listed size of what the pending entry `line` downloads: field 5 of a
// server line, field 7 of "U <index> <server line>"; 0 for an entry that
// downloads nothing (a type the run passes over) or lists no size.
int64_t PendingDownloadBytes(const std::string& line);

// A patch of the running update run fetches `bytes` fewer than its
// entry's listed size (negative: gives them back). Nothing outside a run.
void SpareRunBytes(UpdateEngine& e, int64_t bytes);

// The bytes the current connection received since it was made, over all
// its connections; 0 without a connection.
int64_t ConnectionBytesReceived(const UpdateEngine& e);

// The listed bytes of the running update run that have not arrived yet (0
// once more arrived than listed); nullopt while no run is in progress.
std::optional<int64_t> RunBytesLeft(const UpdateEngine& e);
