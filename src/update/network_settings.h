// The [NETWORK] section of "FtpConfig.ini": how the updater uses the
// network beyond what the server list says. Every key is optional; a
// player never has to write one.
#pragma once

#include <cstdint>
#include <string>

#include "transport/transport.h"

// Reads [NETWORK] from "FtpConfig.ini" in exe_dir (a real folder ending in
// '/'); a missing file or key gives the default. Never throws for I/O.
// STALLTIME=<seconds>, 1 to 86400 (else 30): NetworkSettings::StallTimeMs.
// PASSIVE=0 makes every data connection active ("PORT "); anything else,
// or no key, lets the client try passive mode first.
// CONNECTIONS=<n>, 1 to 16 (else 4): NetworkSettings::Connections.
NetworkSettings ReadNetworkSettings(const std::string& exe_dir);
