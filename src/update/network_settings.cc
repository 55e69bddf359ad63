#include "update/network_settings.h"

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
  return settings;
}
