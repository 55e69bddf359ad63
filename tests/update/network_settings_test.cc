#include "update/network_settings.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace {

struct SettingsCase {
  const char* name;
  const char* ini;  // FtpConfig.ini, nullptr for none
  int32_t stall_time_ms;
  bool passive;
};

class NetworkSettingsTest : public ::testing::TestWithParam<SettingsCase> {};

void PrintTo(const SettingsCase& c, std::ostream* out) { *out << c.name; }

TEST_P(NetworkSettingsTest, ReadsTheNetworkSection) {
  const SettingsCase& c = GetParam();
  test_support::TempFolder folder;
  if (c.ini != nullptr) folder.Write("FtpConfig.ini", c.ini);
  const NetworkSettings settings = ReadNetworkSettings(folder.path());
  EXPECT_EQ(settings.StallTimeMs, c.stall_time_ms);
  EXPECT_EQ(settings.Passive, c.passive);
}

INSTANTIATE_TEST_SUITE_P(
    Files, NetworkSettingsTest,
    ::testing::Values(
        SettingsCase{"NoFile", nullptr, 30000, true},
        SettingsCase{"OtherSectionsOnly", "[HOMEPAGE]\r\nHOME=http://example.com/\r\n", 30000, true},
        SettingsCase{"Both", "[NETWORK]\r\nSTALLTIME=5\r\nPASSIVE=0\r\n", 5000, false},
        SettingsCase{"AnyCaseAndSpaces", "[network]\r\n stalltime = 120 \r\npassive=0\r\n", 120000, false},
        SettingsCase{"PassiveOne", "[NETWORK]\r\nPASSIVE=1\r\n", 30000, true},
        SettingsCase{"Longest", "[NETWORK]\r\nSTALLTIME=86400\r\n", 86400000, true},
        // Values the updater cannot use keep the default.
        SettingsCase{"Zero", "[NETWORK]\r\nSTALLTIME=0\r\n", 30000, true},
        SettingsCase{"Negative", "[NETWORK]\r\nSTALLTIME=-3\r\n", 30000, true},
        SettingsCase{"TooLong", "[NETWORK]\r\nSTALLTIME=86401\r\n", 30000, true},
        SettingsCase{"NotANumber", "[NETWORK]\r\nSTALLTIME=soon\r\nPASSIVE=\r\n", 30000, true}),
    [](const ::testing::TestParamInfo<SettingsCase>& info) { return std::string(info.param.name); });

}  // namespace
