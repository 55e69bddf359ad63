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

  // Whether the temporary file `name` (relative to the game folder) is the
  // ahead file of a plan that a fetch ahead may still create: one of a
  // line after the last one reached. A plan of a line reached is settled
  // once that line's entry has been processed: its download took the plan,
  // or skipped over it, which dropped it (Transport::PlanDownload).
  bool MayStillCreate(const std::string& name) const;

 private:
  UpdateEngine& e_;
  std::weak_ptr<Transport> connection_;  // the one the plans went to
  int depth_;
  int next_ = 0;      // the first line not planned yet
  int reached_ = -1;  // the last line reached
};
