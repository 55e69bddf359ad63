// When the update run saves the record on its way: a run that is killed,
// or whose machine loses power, then costs at most the files installed
// since the last save, which the next run fetches again. Each save flushes
// what was installed before the record is written, so saving after every
// entry would cost a run of small files most of its time; the schedule
// bounds the loss by time and by bytes instead.
#pragma once

#include <cstdint>

#include "update/network_settings.h"

// Says when the next save is due. No I/O: the caller gives the time (any
// steady clock in milliseconds) and the bytes received so far.
class RecordSaveSchedule {
 public:
  RecordSaveSchedule(const RecordSavePolicy& policy, int64_t now_ms, int64_t bytes_received);
  // An entry changed the record (or may have) since the last save.
  void EntryDone() { unsaved_ = true; }
  // Whether a save is due: something is unsaved, and the interval has
  // passed or the bytes have arrived since the last save.
  bool Due(int64_t now_ms, int64_t bytes_received) const;
  void Saved(int64_t now_ms, int64_t bytes_received);

 private:
  RecordSavePolicy policy_;
  int64_t saved_ms_;
  int64_t saved_bytes_;
  bool unsaved_ = false;
};
