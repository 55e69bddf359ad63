#include "update/downloads_ahead.h"

#include <algorithm>
#include <string>

#include "update/process_entry.h"

namespace {

// Lines planned per connection: enough that a helper finds the next one
// waiting while the engine installs, and that an HTTP/2 connection, which
// fetches as many at once as it is told of (up to 32 with the default 4
// connections), keeps that many in flight over a link with real round
// trips; few enough that a run stopped early has fetched little for nothing.
constexpr int kPlannedPerConnection = 8;

}  // namespace

DownloadsAhead::DownloadsAhead(UpdateEngine& e)
    : e_(e),
      connection_(e.Connection),
      depth_(e.Network.Connections > 1 ? e.Network.Connections * kPlannedPerConnection : 0) {}

DownloadsAhead::~DownloadsAhead() {
  if (const std::shared_ptr<Transport> connection = connection_.lock()) connection->DropPlans();
}

void DownloadsAhead::Reach(int index) {
  reached_ = std::max(reached_, index);
  const std::shared_ptr<Transport> connection = connection_.lock();
  if (!connection || connection != e_.Connection || !e_.PendingList) return;
  // The line reached is fetched on the engine's connection at once.
  const int last = std::min(index + depth_, static_cast<int>(e_.PendingList->size()) - 1);
  for (next_ = std::max(next_, index + 1); next_ <= last; ++next_) {
    const AheadPlan plan = PlanEntryDownload(e_, (*e_.PendingList)[next_], next_);
    // Plans keep the run's order: the lines after one that must wait, wait too.
    if (plan.folder_missing) break;
    if (plan.download) connection->PlanDownload(*plan.download);
  }
}

bool DownloadsAhead::MayStillCreate(const std::string& name) const {
  // Ahead files are named <download file> + kAheadFileSuffix + <line> (PlanEntryDownload).
  const size_t suffix = name.rfind(kAheadFileSuffix);
  if (suffix == std::string::npos) return false;
  const std::string digits = name.substr(suffix + kAheadFileSuffix.size());
  if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) return false;
  return std::stoi(digits) > reached_;
}
