#include "update/network_settings.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "ftp/ftp_transport.h"
#include "support/engine_window.h"
#include "support/ftp_peer.h"
#include "support/temp_folder.h"

namespace {

struct SettingsCase {
  const char* name;
  const char* ini;  // FtpConfig.ini, nullptr for none
  int32_t stall_time_ms;
  bool passive;
  int connections;
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
  EXPECT_EQ(settings.Connections, c.connections);
}

INSTANTIATE_TEST_SUITE_P(
    Files, NetworkSettingsTest,
    ::testing::Values(
        SettingsCase{"NoFile", nullptr, 30000, true, 4},
        SettingsCase{"OtherSectionsOnly", "[HOMEPAGE]\r\nHOME=http://example.com/\r\n", 30000, true, 4},
        SettingsCase{"Both", "[NETWORK]\r\nSTALLTIME=5\r\nPASSIVE=0\r\n", 5000, false, 4},
        SettingsCase{"AnyCaseAndSpaces", "[network]\r\n stalltime = 120 \r\npassive=0\r\n", 120000, false, 4},
        SettingsCase{"PassiveOne", "[NETWORK]\r\nPASSIVE=1\r\n", 30000, true, 4},
        SettingsCase{"Longest", "[NETWORK]\r\nSTALLTIME=86400\r\n", 86400000, true, 4},
        // Values the updater cannot use keep the default.
        SettingsCase{"Zero", "[NETWORK]\r\nSTALLTIME=0\r\n", 30000, true, 4},
        SettingsCase{"Negative", "[NETWORK]\r\nSTALLTIME=-3\r\n", 30000, true, 4},
        SettingsCase{"TooLong", "[NETWORK]\r\nSTALLTIME=86401\r\n", 30000, true, 4},
        SettingsCase{"NotANumber", "[NETWORK]\r\nSTALLTIME=soon\r\nPASSIVE=\r\n", 30000, true, 4},
        SettingsCase{"OneConnection", "[NETWORK]\r\nCONNECTIONS=1\r\n", 30000, true, 1},
        SettingsCase{"MostConnections", "[NETWORK]\r\nCONNECTIONS=16\r\n", 30000, true, 16},
        SettingsCase{"TooManyConnections", "[NETWORK]\r\nCONNECTIONS=17\r\n", 30000, true, 4},
        SettingsCase{"NoConnections", "[NETWORK]\r\nCONNECTIONS=0\r\n", 30000, true, 4}),
    [](const ::testing::TestParamInfo<SettingsCase>& info) { return std::string(info.param.name); });

}  // namespace

namespace {

struct MaxRateCase {
  const char* name;
  const char* ini;  // FtpConfig.ini
  int32_t max_rate_kib;
};

class MaxRateTest : public ::testing::TestWithParam<MaxRateCase> {};

void PrintTo(const MaxRateCase& c, std::ostream* out) { *out << c.name; }

TEST_P(MaxRateTest, ReadsTheCapInKiBPerSecond) {
  const MaxRateCase& c = GetParam();
  test_support::TempFolder folder;
  folder.Write("FtpConfig.ini", c.ini);
  const NetworkSettings settings = ReadNetworkSettings(folder.path());
  EXPECT_EQ(settings.MaxRateKiBps, c.max_rate_kib);
  EXPECT_EQ(settings.RateLimit, nullptr) << "the limiter is made per connection attempt";
  const NetworkSettings connection = ConnectionNetworkSettings(folder.path(), {});
  if (c.max_rate_kib == 0) {
    EXPECT_EQ(connection.RateLimit, nullptr);
  } else {
    ASSERT_NE(connection.RateLimit, nullptr);
    EXPECT_EQ(connection.RateLimit->BytesPerSecond(), int64_t{c.max_rate_kib} * 1024);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, MaxRateTest,
    ::testing::Values(MaxRateCase{"NoKey", "[NETWORK]\r\nSTALLTIME=5\r\n", 0},
                      MaxRateCase{"Cap", "[NETWORK]\r\nMAXRATE=20480\r\n", 20480},
                      MaxRateCase{"AnyCaseAndSpaces", "[network]\r\n maxrate = 64 \r\n", 64},
                      MaxRateCase{"Zero", "[NETWORK]\r\nMAXRATE=0\r\n", 0},
                      // Values the updater cannot use set no cap.
                      MaxRateCase{"Negative", "[NETWORK]\r\nMAXRATE=-5\r\n", 0},
                      MaxRateCase{"NotANumber", "[NETWORK]\r\nMAXRATE=fast\r\n", 0},
                      MaxRateCase{"Empty", "[NETWORK]\r\nMAXRATE=\r\n", 0}),
    [](const ::testing::TestParamInfo<MaxRateCase>& info) { return std::string(info.param.name); });

TEST(NetworkSettingsMinRateTest, ReadsTheFloorAndKeepsItForValuesItCannotUse) {
  struct Case {
    const char* ini;
    int32_t min_rate;
  };
  const Case cases[] = {
      {"[NETWORK]\r\nSTALLTIME=5\r\n", 1024}, {"[NETWORK]\r\nMINRATE=4096\r\n", 4096},
      {"[network]\r\n minrate = 0 \r\n", 0},   {"[NETWORK]\r\nMINRATE=-1\r\n", 1024},
      {"[NETWORK]\r\nMINRATE=slow\r\n", 1024}, {"[NETWORK]\r\nMINRATE=\r\n", 1024},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ini);
    test_support::TempFolder folder;
    folder.Write("FtpConfig.ini", c.ini);
    EXPECT_EQ(ReadNetworkSettings(folder.path()).MinRateBps, c.min_rate);
    EXPECT_EQ(ConnectionNetworkSettings(folder.path(), {}).MinRateBps, c.min_rate);
  }
}

TEST(NetworkSettingsCaFileTest, NamesTheFileInTheGameFolderWhateverTheCaseItIsWrittenIn) {
  test_support::TempFolder folder;
  folder.Write("FtpConfig.ini", "[NETWORK]\r\nSTALLTIME=5\r\n");
  EXPECT_EQ(ReadNetworkSettings(folder.path()).CaFile, "");
  folder.Write("Certs/Publisher.pem", "PEM");
  folder.Write("FtpConfig.ini", "[NETWORK]\r\nCAFILE=certs\\publisher.pem\r\n");
  EXPECT_EQ(ReadNetworkSettings(folder.path()).CaFile, folder.path() + "Certs/Publisher.pem");
  EXPECT_EQ(ConnectionNetworkSettings(folder.path(), {}).CaFile, folder.path() + "Certs/Publisher.pem");
}

TEST(RecordSavePolicyTest, ReadsHowOftenTheRunSavesAndKeepsTheDefaultForValuesItCannotUse) {
  constexpr int64_t kMiB = 1024 * 1024;
  const struct {
    const char* ini;
    int64_t interval_ms, bytes;
  } cases[] = {
      {"[HOMEPAGE]\r\nHOME=x\r\n", 5000, 256 * kMiB},
      {"[NETWORK]\r\nSAVEEVERYMS=100\r\nSAVEEVERYMIB=1\r\n", 100, kMiB},
      {"[network]\r\n saveeveryms = 3600000 \r\nsaveeverymib=65536\r\n", 3600000, 65536 * kMiB},
      {"[NETWORK]\r\nSAVEEVERYMS=99\r\nSAVEEVERYMIB=0\r\n", 5000, 256 * kMiB},
      {"[NETWORK]\r\nSAVEEVERYMS=3600001\r\nSAVEEVERYMIB=65537\r\n", 5000, 256 * kMiB},
      {"[NETWORK]\r\nSAVEEVERYMS=often\r\nSAVEEVERYMIB=-1\r\n", 5000, 256 * kMiB},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ini);
    test_support::TempFolder folder;
    folder.Write("FtpConfig.ini", c.ini);
    const RecordSavePolicy policy = ReadRecordSavePolicy(folder.path());
    EXPECT_EQ(policy.IntervalMs, c.interval_ms);
    EXPECT_EQ(policy.Bytes, c.bytes);
  }
}

TEST(ConnectionNetworkSettingsTest, OverrideWinsOverTheFileAndEachAttemptGetsItsOwnLimiter) {
  test_support::TempFolder folder;
  folder.Write("FtpConfig.ini", "[NETWORK]\r\nMAXRATE=100\r\nSTALLTIME=7\r\n");
  const auto rate = [&](const NetworkOverrides& overrides) -> int64_t {
    const NetworkSettings settings = ConnectionNetworkSettings(folder.path(), overrides);
    return settings.RateLimit ? settings.RateLimit->BytesPerSecond() : 0;
  };
  EXPECT_EQ(ConnectionNetworkSettings(folder.path(), {50, {}}).StallTimeMs, 7000) << "the rest of the file stays";
  EXPECT_EQ(rate({}), 102400);
  EXPECT_EQ(rate({50, {}}), 51200);
  EXPECT_EQ(rate({0, {}}), 0) << "0 lifts the file's cap";
  EXPECT_EQ(ConnectionNetworkSettings(folder.path(), {{}, 1}).Connections, 1);
  EXPECT_EQ(ConnectionNetworkSettings(folder.path(), {{}, {}}).Connections, 4);
  folder.Write("FtpConfig.ini", "");
  EXPECT_EQ(rate({10, {}}), 10240);
  EXPECT_NE(ConnectionNetworkSettings(folder.path(), {10, {}}).RateLimit,
            ConnectionNetworkSettings(folder.path(), {10, {}}).RateLimit);
}

// NewConnection hands the transport the file's settings with the engine's
// overrides; over FTP the cap reaches the data connections, and the
// transport counts the bytes of every download.
TEST(ConnectionNetworkSettingsTest, NewConnectionAppliesTheOverrideAndTheFtpTransportCountsItsBytes) {
  const std::string first(4000, 'f');
  const std::string second = "second file";
  test_support::FtpPeer peer([&](test_support::FtpPeerSession& s) {
    s.Send("220 Hi\r\n");
    s.Reply("230 In\r\n");
    s.Reply("200 Type set\r\n");
    for (const std::string* data : {&first, &second}) {
      s.AnswerDataSetup();
      s.Reply("150 Opening data connection\r\n");
      s.OpenData();
      s.SendData(*data);
      s.CloseData();
      s.Send("226 Done\r\n");
    }
  });
  std::vector<NetworkSettings> made;
  test_support::EngineTestWindow w([&made](TransportEvents& events, const NetworkSettings& network) {
    made.push_back(network);
    return FtpTransportFactory()(events, network);
  });
  w.folder.Write("FtpConfig.ini", "[NETWORK]\r\nMAXRATE=100\r\n");
  w.NetworkOverride.MaxRateKiBps = 1;  // 1 KiB/s: a bucket of 4 KiB
  Transport& connection = *w.NewConnection();
  ASSERT_EQ(made.size(), 1u);
  ASSERT_NE(made[0].RateLimit, nullptr);
  EXPECT_EQ(made[0].RateLimit->BytesPerSecond(), 1024);
  EXPECT_EQ(connection.SessionBytesReceived(), 0);

  connection.Connect({"127.0.0.1", peer.port(), 2000, "guest", ""});
  connection.StartSession();
  std::string sunk;
  connection.Download("first", w.folder.path() + "first", 4000, [&sunk](std::string_view bytes, const std::shared_ptr<const void>&) { sunk += bytes; },
                      false);
  EXPECT_EQ(sunk, first);
  EXPECT_EQ(connection.SessionBytesReceived(), 4000);
  {
    RateLimiter::Reader probe(*made[0].RateLimit);
    EXPECT_EQ(probe.Take(4096).bytes, 0u) << "the download took from the bucket";
  }
  connection.Download("second", w.folder.path() + "second", static_cast<int64_t>(second.size()), {}, false);
  EXPECT_EQ(connection.SessionBytesReceived(), 4000 + static_cast<int64_t>(second.size()));
  EXPECT_EQ(w.folder.Read("second"), second);

  w.NewConnection();
  ASSERT_EQ(made.size(), 2u);
  EXPECT_NE(made[1].RateLimit, made[0].RateLimit) << "a fresh limiter for the next attempt";
  EXPECT_EQ(w.Connection->SessionBytesReceived(), 0);
  w.Connection.reset();
  EXPECT_EQ(peer.Finish(), "");
}

}  // namespace
