// The [NETWORK] section of "FtpConfig.ini": how the updater uses the
// network beyond what the server list says. Every key is optional; a
// player never has to write one.
#pragma once

#include <cstdint>
#include <string>

#include "ftp/ftp_client.h"

struct NetworkSettings {
  // STALLTIME=<seconds>, 1 to 86400: how long a transfer may go without
  // progress (no reply, no data connection, no byte) before it fails.
  // Missing or out of range: 30.
  int32_t StallTimeMs = kDefaultStallTime;
  // PASSIVE=0 makes every data connection active ("PORT "); anything else,
  // or no key, lets the client try passive mode first.
  bool Passive = true;
};

// Reads [NETWORK] from "FtpConfig.ini" in exe_dir (a real folder ending in
// '/'); a missing file or key gives the default. Never throws for I/O.
NetworkSettings ReadNetworkSettings(const std::string& exe_dir);
