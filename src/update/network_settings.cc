#include "update/network_settings.h"

#include <algorithm>
#include <memory>

#include "platform/errors.h"
#include "platform/game_path.h"
#include "platform/ini_file.h"

namespace {

constexpr int kMaxStallSeconds = 86400;

}  // namespace

NetworkSettings ReadNetworkSettings(const std::string& exe_dir) {
  const std::string ini = platform::ResolveGameFileName(exe_dir, "FtpConfig.ini");
  NetworkSettings settings;
  const std::string stall = platform::ReadProfileString(ini, "NETWORK", "STALLTIME", "");
  try {
    const int seconds = stall.empty() ? 0 : platform::StrToInt(stall);
    if (seconds >= 1 && seconds <= kMaxStallSeconds) settings.StallTimeMs = seconds * 1000;
  } catch (const EConvertError&) {
    // A value that is no number keeps the default, as a missing one does.
  }
  settings.Passive = platform::ReadProfileString(ini, "NETWORK", "PASSIVE", "1") != "0";
  const std::string max_rate = platform::ReadProfileString(ini, "NETWORK", "MAXRATE", "");
  try {
    const int kib = max_rate.empty() ? 0 : platform::StrToInt(max_rate);
    if (kib > 0) settings.MaxRateKiBps = kib;
  } catch (const EConvertError&) {
    // A value that is no number sets no cap, as a missing one does.
  }
  return settings;
}

NetworkSettings ConnectionNetworkSettings(const std::string& exe_dir, const NetworkOverrides& overrides) {
  NetworkSettings settings = ReadNetworkSettings(exe_dir);
  if (overrides.MaxRateKiBps) settings.MaxRateKiBps = std::max(*overrides.MaxRateKiBps, 0);
  if (settings.MaxRateKiBps > 0) {
    settings.RateLimit = std::make_shared<RateLimiter>(int64_t{settings.MaxRateKiBps} * 1024);
  }
  return settings;
}
