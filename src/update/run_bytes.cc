#include "update/run_bytes.h"

#include <algorithm>
#include <cstdint>

#include "lists/server_entry.h"

RunBytesScope::RunBytesScope(UpdateEngine& e) : e_(e) {
  int64_t listed = 0;
  if (e.PendingList) {
    // Saturated: a list may give sizes up to 2^63 - 1 each.
    for (const std::string& line : *e.PendingList) {
      const int64_t bytes = PendingDownloadBytes(line);
      listed = listed > INT64_MAX - bytes ? INT64_MAX : listed + bytes;
    }
  }
  e.RunBytes = UpdateRunBytes{true, listed, listed, ConnectionBytesReceived(e)};
}

RunBytesScope::~RunBytesScope() {
  e_.LastRunBytes = e_.RunBytes;
  e_.LastRunBytes.Running = false;
  e_.LastRunBytes.Received = std::max<int64_t>(ConnectionBytesReceived(e_) - e_.RunBytes.ReceivedBefore, 0);
  e_.RunBytes = UpdateRunBytes{};
}

void SpareRunBytes(UpdateEngine& e, int64_t bytes) {
  if (e.RunBytes.Running) e.RunBytes.Listed -= bytes;
}

int64_t PendingDownloadBytes(const std::string& line) {
  const PendingEntry pending = ParsePendingEntry(line);
  const ServerEntry& entry = pending.server.entry;
  if (!HandlingOf(entry.type, pending.changed).downloads) return 0;
  return std::max<int64_t>(entry.size, 0);
}

int64_t ConnectionBytesReceived(const UpdateEngine& e) {
  return e.Connection ? e.Connection->SessionBytesReceived() : 0;
}

std::optional<int64_t> RunBytesLeft(const UpdateEngine& e) {
  if (!e.RunBytes.Running) return std::nullopt;
  const int64_t received = ConnectionBytesReceived(e) - e.RunBytes.ReceivedBefore;
  return std::max<int64_t>(e.RunBytes.Listed - std::max<int64_t>(received, 0), 0);
}
