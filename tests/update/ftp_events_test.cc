#include "update/ftp_events.h"

#include <gtest/gtest.h>

#include "support/engine_window.h"
#include "support/headless_app.h"
#include "update/status_display.h"

namespace {

class FtpEventsTest : public test_support::HeadlessAppTest {
 protected:
  test_support::EngineTestWindow w;
  std::string Status() const { return w.StatusBar1->SimpleText(); }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : backend.boxes) texts.push_back(box.text);
    return texts;
  }
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

  SCOPED_TRACE("a disconnect while the window is destroyed writes no status");
  FtpClient1Connect(w);
  TStatusBar* status_bar = w.StatusBar1;
  w.StatusBar1 = nullptr;
  FtpClient1Disconnect(w);
  EXPECT_FALSE(w.IsConnected);
  EXPECT_EQ(status_bar->SimpleText(), "Connected");
  w.StatusBar1 = status_bar;
}

TEST_F(FtpEventsTest, StatusTextsAndBoxes) {
  FtpClient1HostResolved(w);
  EXPECT_EQ(Status(), "Host resolved");
  FtpClient1TransactionStop(w);
  EXPECT_EQ(Status(), "Data Transfer Complete");
  FtpClient1Status(w, "220 ready");
  FtpClient1PacketSent(w);
  EXPECT_EQ(Status(), "Data Transfer Complete") << "status reports and sent packets change nothing";
  EXPECT_TRUE(backend.boxes.empty());

  FtpClient1Error(w, 10061, "Connection refused");
  FtpClient1Error(w, 65535, "x");
  bool handled = true;
  FtpClient1InvalidHost(w, handled);
  EXPECT_TRUE(handled) << "left as the client passed it";
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Error 10061: Connection refused", "Error 65535: x",
                                                  "Invalid Host"}));
  EXPECT_FALSE(w.IsConnected);
}

TEST_F(FtpEventsTest, FailureAndUnsupportedCodes) {
  const std::vector<std::pair<TCmdType, std::string>> names = {
      {cmdChangeDir, "ChangeDir"}, {cmdUploadRestore, "UploadRestore"}, {cmdDownload, "Download"},
      {cmdNList, "NList"},         {cmdDoCommand, "DoCommand"}};
  for (const auto& [code, name] : names) {
    SCOPED_TRACE(name);
    bool handled = false;
    FtpClient1Failure(w, handled, code);
    EXPECT_FALSE(handled);
    EXPECT_EQ(Status(), name + " failure");
    FtpClient1UnSupportedFunction(w, code);
    EXPECT_EQ(backend.boxes.back().text, name + " unsupported");
  }
  SCOPED_TRACE("codes above 14 are ignored");
  const size_t boxes = backend.boxes.size();
  bool handled = false;
  FtpClient1Failure(w, handled, static_cast<TCmdType>(15));
  FtpClient1UnSupportedFunction(w, static_cast<TCmdType>(200));
  EXPECT_EQ(Status(), "DoCommand failure");
  EXPECT_EQ(backend.boxes.size(), boxes);
}

TEST_F(FtpEventsTest, TransactionStartPreparesTheGauge) {
  w.Gauge1->SetProgress(50);
  w.FtpClient = std::make_shared<TFtpClient>();
  w.FtpClient->BytesTotal = 123456;
  FtpClient1TransactionStart(w);
  EXPECT_EQ(w.Gauge1->MaxValue(), 123456);
  EXPECT_EQ(w.Gauge1->Progress(), 0);
  EXPECT_EQ(Status(), "Beginning Data Transfer");

  SCOPED_TRACE("no size announced: maximum 0, and the gauge stays at 0");
  w.FtpClient->BytesTotal = 0;
  FtpClient1TransactionStart(w);
  EXPECT_EQ(w.Gauge1->MaxValue(), 0);
  w.Gauge1->SetProgress(4096);
  EXPECT_EQ(w.Gauge1->Progress(), 0);

  SCOPED_TRACE("a size beyond the gauge's range is shown as full scale");
  w.FtpClient->BytesTotal = int64_t{5} << 32;
  FtpClient1TransactionStart(w);
  EXPECT_EQ(w.Gauge1->MaxValue(), INT32_MAX);
}

TEST_F(FtpEventsTest, ListItemsAppendAndAttachBindsEveryHandler) {
  auto client = std::make_shared<TFtpClient>();
  w.FtpClient = client;
  AttachFtpClientEvents(w, *client);
  client->OnListItem("update3.dat");
  client->OnListItem("bulletin.htm");
  EXPECT_EQ(w.ListBox3->Items.Lines(), (std::vector<std::string>{"update3.dat", "bulletin.htm"}));
  client->OnConnect();
  EXPECT_TRUE(w.IsConnected);
  client->OnDisconnect();
  EXPECT_FALSE(w.IsConnected);
  client->OnHostResolved();
  EXPECT_EQ(Status(), "Host resolved");
  bool handled = false;
  client->OnFailure(handled, cmdNList);
  EXPECT_EQ(Status(), "NList failure");
  client->OnError(10060, "Connection timed out");
  EXPECT_EQ(backend.boxes.back().text, "Error 10060: Connection timed out");
  EXPECT_FALSE(client->OnSuccess) << "OnSuccess has no handler";
  for (bool bound : {bool(client->OnPacketRecvd), bool(client->OnPacketSent), bool(client->OnTransactionStart),
                     bool(client->OnTransactionStop), bool(client->OnUnSupportedFunction),
                     bool(client->OnConnectionFailed), bool(client->OnInvalidHost), bool(client->OnStatus)})
    EXPECT_TRUE(bound);
}

TEST_F(FtpEventsTest, LabelsAreCentredOverTheGaugeAfterEachText) {
  // The headless backend measures 8 px per byte at height 16.
  SetStatusText(w, "abc");  // 24 px: 119 + (394 - 24) / 2
  EXPECT_EQ(w.Label3->Left(), 119 + 185);
  SetStatusText(w, "abcd");  // 32 px: odd half truncated
  EXPECT_EQ(w.Label3->Left(), 119 + 181);
  SetProgressText(w, std::string(51, 'x'));  // 408 px, wider than the gauge: (394 - 408) / 2 = -7
  EXPECT_EQ(w.Label4->Left(), 119 - 7);
  EXPECT_EQ(w.status_texts, (std::vector<std::string>{"abc", "abcd"}));
  EXPECT_EQ(w.progress_texts.size(), 1u);
}

}  // namespace
