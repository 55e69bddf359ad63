// Tells the connection which downloads the update run will ask for next,
// so that a connection with helpers fetches them ahead (see
// Transport::PlanDownload). The run itself still installs one entry at a
// time, in its order.
#pragma once

#include <memory>

#include "update/update_engine.h"

class DownloadsAhead {
 public:
  explicit DownloadsAhead(UpdateEngine& e);
  // Drops the plans not yet downloaded: a run that stops early leaves no
  // fetch ahead running and no ahead file behind.
  ~DownloadsAhead();
  DownloadsAhead(const DownloadsAhead&) = delete;
  DownloadsAhead& operator=(const DownloadsAhead&) = delete;

  // Called as the run reaches pending line `index`: plans the lines after
  // it that are not planned yet, up to a depth that keeps every connection
  // busy, stopping before a line whose folder is not there yet (it is
  // planned once an earlier line has made it).
  void Reach(int index);

 private:
  UpdateEngine& e_;
  std::weak_ptr<Transport> connection_;  // the one the plans went to
  int depth_;
  int next_ = 0;  // the first line not planned yet
};
