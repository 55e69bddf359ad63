#include "update/ftp_events.h"

#include <gtest/gtest.h>

#include "support/engine_window.h"
#include "support/fake_transport.h"
#include "update/gauge_units.h"

namespace {

class FtpEventsTest : public ::testing::Test {
 protected:
  test_support::FakeServer server;
  test_support::EngineTestWindow w{test_support::FakeTransportFactory(server)};
  const std::string& Status() const { return w.connection_status; }
};

TEST_F(FtpEventsTest, ConnectionFlagFollowsTheEvents) {
  FtpClient1Connect(w);
  EXPECT_TRUE(w.IsConnected);
  EXPECT_EQ(Status(), "Connected");
  FtpClient1Disconnect(w);
  EXPECT_FALSE(w.IsConnected);
  EXPECT_EQ(Status(), "Disconnected");

  FtpClient1Connect(w);
  FtpClient1ConnectionFailed(w);
  EXPECT_FALSE(w.IsConnected);
  EXPECT_EQ(Status(), "Connected") << "a failed connection shows nothing";
}

TEST_F(FtpEventsTest, StatusTextsAndBoxes) {
  FtpClient1HostResolved(w);
  EXPECT_EQ(Status(), "Host resolved");
  FtpClient1TransactionStop(w);
  EXPECT_EQ(Status(), "Data Transfer Complete");
  FtpClient1Status(w, "220 ready");
  EXPECT_EQ(Status(), "Data Transfer Complete") << "status reports change nothing";
  EXPECT_TRUE(w.boxes.empty());

  FtpClient1Error(w, 10061, "Connection refused");
  FtpClient1Error(w, 65535, "x");
  FtpClient1InvalidHost(w);
  EXPECT_EQ(w.BoxTexts(), (std::vector<std::string>{"Error 10061: Connection refused", "Error 65535: x",
                                                    "Invalid Host"}));
  EXPECT_FALSE(w.IsConnected);

  FtpClient1Failure(w, TransferCommand::kDownload);
  EXPECT_EQ(Status(), "Download failure");
  FtpClient1Failure(w, TransferCommand::kList);
  EXPECT_EQ(Status(), "NList failure");
}

TEST_F(FtpEventsTest, TransactionStartPreparesTheGauge) {
  server.files["big"] = "data";
  w.NewConnection();
  w.gauge_position = 50;
  for (const auto& [announced, shown] : std::vector<std::pair<int64_t, int>>{
           {123456, 123456}, {0, 0}, {INT32_MAX, INT32_MAX}, {int64_t{5} << 32, int64_t{5} << 28}}) {
    SCOPED_TRACE(announced);
    server.announced_size = announced;
    w.Connection->Download("big", w.folder.path() + "big", -1, {}, false);
    EXPECT_EQ(w.gauge_max, shown) << "a size beyond the gauge's range is shown in larger units";
  }
  EXPECT_EQ(w.gauge_position, 0);
  EXPECT_EQ(Status(), "Data Transfer Complete");
}

TEST(GaugeUnitsTest, LargeTransfersKeepTheirProportion) {
  const int64_t five_gib = int64_t{5} << 30;
  EXPECT_EQ(GaugeUnits(1000, 123456), 1000);
  EXPECT_EQ(GaugeUnits(INT32_MAX, INT32_MAX), INT32_MAX);
  EXPECT_EQ(GaugeUnits(int64_t{1} << 31, int64_t{1} << 31), 1 << 30);
  EXPECT_EQ(GaugeUnits(five_gib, five_gib), five_gib >> 2);
  EXPECT_EQ(GaugeUnits(five_gib / 2, five_gib), GaugeUnits(five_gib, five_gib) / 2) << "half way, half the gauge";
  EXPECT_EQ(GaugeUnits(INT64_MAX, INT64_MAX), INT64_MAX >> 32);
  EXPECT_EQ(GaugeUnits(-5, five_gib), 0);
  EXPECT_EQ(GaugeUnits(five_gib, 100), INT32_MAX) << "more than the total stays within the gauge";
}

TEST_F(FtpEventsTest, TheConnectionsEventsReachTheHandlers) {
  server.files = {{"bulletin.htm", ""}, {"update3.dat", ""}};
  Transport& connection = *w.NewConnection();
  connection.Connect({"127.0.0.1", 21, 1000, "anonymous", ""});
  EXPECT_TRUE(w.IsConnected);
  EXPECT_EQ(Status(), "Connected");
  connection.ListNames();
  EXPECT_EQ(w.ListingNames, (std::vector<std::string>{"bulletin.htm", "update3.dat"}));
  EXPECT_EQ(w.listing, w.ListingNames) << "the view mirrors the listing";
  EXPECT_THROW(connection.Download("missing", w.folder.path() + "missing", -1, {}, false), Exception);
  EXPECT_EQ(Status(), "Download failure");
  connection.Disconnect();
  EXPECT_FALSE(w.IsConnected);
  EXPECT_EQ(Status(), "Disconnected");

  SCOPED_TRACE("a new connection starts unconnected");
  w.NewConnection()->Connect({"127.0.0.1", 21, 1000, "anonymous", ""});
  EXPECT_TRUE(w.IsConnected);
  w.NewConnection();
  EXPECT_FALSE(w.IsConnected);
}

}  // namespace
