// How the one-time update check ended.
#pragma once

enum class CheckOutcome {
  kUpdatesReady,  // files to update; the update run is armed
  kUpToDate,      // nothing to update; the start-game button shown
  kNoServer,      // no server usable; reported in the status line and a box
  kAborted,       // the exit was confirmed during the connection attempts
  kFailed,        // an error stopped the check (raised on to the error box)
};
