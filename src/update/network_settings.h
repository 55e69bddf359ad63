// The [NETWORK] section of "FtpConfig.ini": how the updater uses the
// network beyond what the server list says. Every key is optional; a
// player never has to write one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "transport/transport.h"

// Reads [NETWORK] from "FtpConfig.ini" in exe_dir (a real folder ending in
// '/'); a missing file or key gives the default. Never throws for I/O.
// STALLTIME=<seconds>, 1 to 86400 (else 30): NetworkSettings::StallTimeMs.
// PASSIVE=0 makes every data connection active ("PORT "); anything else,
// or no key, lets the client try passive mode first.
// CONNECTIONS=<n>, 1 to 16 (else 4): NetworkSettings::Connections.
// MAXRATE=<KiB/s>, 0 or more (else 0): NetworkSettings::MaxRateKiBps, 0 =
// no cap. RateLimit stays null (see ConnectionNetworkSettings).
// MINRATE=<bytes per second>, 0 or more (else 1024):
// NetworkSettings::MinRateBps, 0 = no floor.
// CAFILE=<name of a PEM file, relative to the game folder>: certificate
// authorities an https server's certificate may be signed by beside the
// system's, NetworkSettings::CaFile as a real path; none without the key.
NetworkSettings ReadNetworkSettings(const std::string& exe_dir);

// How often the update run saves the record on its way (see
// update/record_saving.h).
struct RecordSavePolicy {
  int64_t IntervalMs = 5000;                   // at most this long between saves
  int64_t Bytes = int64_t{256} * 1024 * 1024;  // or this many bytes received, whichever comes first
};

// Reads the policy from [NETWORK] of "FtpConfig.ini" in exe_dir, as
// ReadNetworkSettings reads its keys: SAVEEVERYMS=<milliseconds>, 100 to
// 3600000 (else 5000); SAVEEVERYMIB=<MiB>, 1 to 65536 (else 256).
RecordSavePolicy ReadRecordSavePolicy(const std::string& exe_dir);

// Settings a front-end gives beyond the file (updater-cli's options); each
// one that is set replaces the file's value.
struct NetworkOverrides {
  std::optional<int32_t> MaxRateKiBps;
  std::optional<int> Connections;
};

// The settings of one connection attempt: the file's (ReadNetworkSettings)
// with the overrides applied, and with a cap a fresh RateLimit at
// MaxRateKiBps, which every connection of the attempt shares.
NetworkSettings ConnectionNetworkSettings(const std::string& exe_dir, const NetworkOverrides& overrides);
