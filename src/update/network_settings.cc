#include "update/network_settings.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>

#include "platform/errors.h"
#include "platform/game_path.h"
#include "platform/ini_file.h"

namespace {

constexpr int kMaxStallSeconds = 86400;
// More connections than this gain nothing on any link and look like abuse to a server.
constexpr int kMaxConnections = 16;
constexpr int kMaxSaveIntervalMs = 3600 * 1000;
constexpr int kMaxSaveMiB = 65536;

// The key's whole-number value within [low, high]; nullopt for a missing
// key, a value that is no number or one out of range.
std::optional<int> ReadBoundedInt(const std::string& ini, const char* key, int low, int high) {
  const std::string text = platform::ReadProfileString(ini, "NETWORK", key, "");
  if (text.empty()) return std::nullopt;
  try {
    const int value = platform::StrToInt(text);
    if (value >= low && value <= high) return value;
  } catch (const EConvertError&) {
    // No number: as if missing.
  }
  return std::nullopt;
}

}  // namespace

NetworkSettings ReadNetworkSettings(const std::string& exe_dir) {
  const std::string ini = platform::ResolveGameFileName(exe_dir, "FtpConfig.ini");
  NetworkSettings settings;
  if (const auto seconds = ReadBoundedInt(ini, "STALLTIME", 1, kMaxStallSeconds)) settings.StallTimeMs = *seconds * 1000;
  settings.Passive = platform::ReadProfileString(ini, "NETWORK", "PASSIVE", "1") != "0";
  if (const auto connections = ReadBoundedInt(ini, "CONNECTIONS", 1, kMaxConnections))
    settings.Connections = *connections;
  // A value that is no number, or not above 0, sets no cap, as a missing one does.
  if (const auto kib = ReadBoundedInt(ini, "MAXRATE", 1, std::numeric_limits<int>::max())) settings.MaxRateKiBps = *kib;
  // A value that is no number, or below 0, keeps the floor that guards
  // against a trickling server.
  if (const auto floor = ReadBoundedInt(ini, "MINRATE", 0, std::numeric_limits<int>::max())) settings.MinRateBps = *floor;
  if (const std::string ca_file = platform::ReadProfileString(ini, "NETWORK", "CAFILE", ""); !ca_file.empty())
    settings.CaFile = platform::ResolveGameFileName(exe_dir, ca_file);
  return settings;
}

RecordSavePolicy ReadRecordSavePolicy(const std::string& exe_dir) {
  const std::string ini = platform::ResolveGameFileName(exe_dir, "FtpConfig.ini");
  RecordSavePolicy policy;
  if (const auto ms = ReadBoundedInt(ini, "SAVEEVERYMS", 100, kMaxSaveIntervalMs)) policy.IntervalMs = *ms;
  if (const auto mib = ReadBoundedInt(ini, "SAVEEVERYMIB", 1, kMaxSaveMiB)) policy.Bytes = int64_t{*mib} * 1024 * 1024;
  return policy;
}

NetworkSettings ConnectionNetworkSettings(const std::string& exe_dir, const NetworkOverrides& overrides) {
  NetworkSettings settings = ReadNetworkSettings(exe_dir);
  if (overrides.Connections) settings.Connections = std::clamp(*overrides.Connections, 1, kMaxConnections);
  if (overrides.MaxRateKiBps) settings.MaxRateKiBps = std::max(*overrides.MaxRateKiBps, 0);
  if (settings.MaxRateKiBps > 0) {
    settings.RateLimit = std::make_shared<RateLimiter>(int64_t{settings.MaxRateKiBps} * 1024);
  }
  return settings;
}
