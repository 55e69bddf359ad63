#include "update/run_bytes.h"

#include <algorithm>

#include "lists/list_file.h"
#include "platform/ascii_case.h"
#include "update/process_entry.h"

namespace {

// The types whose entries ProcessEntry downloads: new ones, changed ones.
bool DownloadsNew(const std::string& type) {
  return type == "E" || type == "O" || type == "C" || type == "T" || type == "A" || type == "S" || type == "W";
}
bool DownloadsChanged(const std::string& type) { return type == "E" || type == "O" || type == "C"; }

}  // namespace

RunBytesScope::RunBytesScope(UpdateEngine& e) : e_(e) {
  int64_t listed = 0;
  if (e.PendingList) {
    for (const std::string& line : *e.PendingList) listed += PendingDownloadBytes(line);
  }
  e.RunBytes = UpdateRunBytes{true, listed, ConnectionBytesReceived(e)};
}

RunBytesScope::~RunBytesScope() { e_.RunBytes = UpdateRunBytes{}; }

int64_t PendingDownloadBytes(const std::string& line) {
  const std::string kind = platform::UpperAsciiCase(LineField(line, 1));
  const bool changed = kind == "U";
  const bool downloads = changed ? DownloadsChanged(LineField(line, 3)) : DownloadsNew(kind);
  if (!downloads) return 0;
  return std::max<int64_t>(ListedSize(LineField(line, changed ? 7 : 5)), 0);
}

int64_t ConnectionBytesReceived(const UpdateEngine& e) {
  return e.Connection ? e.Connection->SessionBytesReceived() : 0;
}

std::optional<int64_t> RunBytesLeft(const UpdateEngine& e) {
  if (!e.RunBytes.Running) return std::nullopt;
  const int64_t received = ConnectionBytesReceived(e) - e.RunBytes.ReceivedBefore;
  return std::max<int64_t>(e.RunBytes.Listed - std::max<int64_t>(received, 0), 0);
}
