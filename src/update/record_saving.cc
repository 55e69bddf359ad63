#include "update/record_saving.h"

RecordSaveSchedule::RecordSaveSchedule(const RecordSavePolicy& policy, int64_t now_ms, int64_t bytes_received)
    : policy_(policy), saved_ms_(now_ms), saved_bytes_(bytes_received) {}

bool RecordSaveSchedule::Due(int64_t now_ms, int64_t bytes_received) const {
  return unsaved_ && (now_ms - saved_ms_ >= policy_.IntervalMs || bytes_received - saved_bytes_ >= policy_.Bytes);
}

void RecordSaveSchedule::Saved(int64_t now_ms, int64_t bytes_received) {
  saved_ms_ = now_ms;
  saved_bytes_ = bytes_received;
  unsaved_ = false;
}
