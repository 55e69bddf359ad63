// The prefetching transport over fake connections: what its helpers fetch
// ahead reaches the engine's Download whole, in the engine's order, with
// the events of a transfer; what they cannot fetch, the engine's own
// connection fetches; nothing they fetched for nothing stays on disk.
#include "prefetch/prefetching_transport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/fake_transport.h"
#include "support/temp_folder.h"
#include "support/wait_until.h"

namespace {

using test_support::FakeServer;
using test_support::TempFolder;
using test_support::WaitUntil;

class EventLog : public TransportEvents {
 public:
  std::vector<std::string> events;
  void HostResolved() override {}
  void InvalidHost() override {}
  void Connected() override { events.push_back("connected"); }
  void ConnectionFailed() override { events.push_back("refused"); }
  void Disconnected() override {}
  void Status(const std::string&) override {}
  void Error(unsigned short, const std::string&) override {}
  std::function<void()> on_started;  // runs inside the transfer, as a handler would
  void TransferStarted() override {
    events.push_back("started");
    if (on_started) on_started();
  }
  void TransferStopped() override { events.push_back("stopped"); }
  void BytesArrived() override {}
  void TransferFailed(TransferCommand) override { events.push_back("failed"); }
  void NameListed(const std::string&) override {}
};

class PrefetchingTransportTest : public ::testing::Test {
 protected:
  PrefetchingTransportTest() {
    for (char name = 'a'; name <= 'h'; ++name) server.files[std::string(1, name)] = std::string(1000, name);
  }

  std::unique_ptr<Transport> Connected(int connections) {
    NetworkSettings network;
    network.Connections = connections;
    auto transport = PrefetchingTransportFactory(test_support::FakeTransportFactory(server))(events, network);
    transport->Connect({"127.0.0.1", 21, 1000, "guest", ""});
    transport->StartSession();
    return transport;
  }
  std::string Local(const std::string& name) const { return folder.path() + name; }
  PlannedDownload Plan(const std::string& name) const {
    return {name, Local(name + ".dltmp"), Local(name + ".dltmp.ahead"), 1000};
  }
  // Downloads `name` as the engine does; returns what the sink heard.
  std::string Fetch(Transport& transport, const std::string& name) {
    std::string heard;
    transport.Download(name, Local(name + ".dltmp"), 1000, [&heard](std::string_view bytes, const std::shared_ptr<const void>&) { heard += bytes; },
                       false);
    EXPECT_EQ(transport.BytesTotal(), 1000) << name;
    EXPECT_EQ(folder.Read(name + ".dltmp"), server.files[name]) << name;
    return heard;
  }
  long Count(const std::string& request) {
    const std::vector<std::string> requests = server.Requests();
    return std::count(requests.begin(), requests.end(), request);
  }
  std::vector<std::string> AheadFilesLeft() const {
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
      if (entry.path().extension() == ".ahead") left.push_back(entry.path().filename());
    return left;
  }
  // Waits until every one of `names` was asked for by some connection.
  void AwaitRequested(const std::vector<std::string>& names) {
    ASSERT_TRUE(WaitUntil(
        [&] { return std::all_of(names.begin(), names.end(), [&](const auto& name) { return Count("get " + name) > 0; }); },
        "the helpers fetching ahead"));
  }

  TempFolder folder;
  FakeServer server;
  EventLog events;
};

TEST_F(PrefetchingTransportTest, PlannedDownloadsArriveWholeInTheEnginesOrder) {
  auto transport = Connected(3);
  const std::vector<std::string> names = {"a", "b", "c", "d", "e"};
  for (const std::string& name : names) transport->PlanDownload(Plan(name));
  AwaitRequested(names);
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    events.events.clear();
    EXPECT_EQ(Fetch(*transport, name), server.files[name]) << "the sink hears every byte";
    EXPECT_EQ(events.events, (std::vector<std::string>{"started", "stopped"})) << "one transfer, one stop";
    EXPECT_EQ(Count("get " + name), 1) << "fetched once, ahead";
  }
  // Each helper logs in, also when the others leave it nothing to fetch.
  EXPECT_TRUE(WaitUntil([&] { return Count("login guest") == 4; }, "the engine's connection and three helpers logged in"));
  EXPECT_TRUE(AheadFilesLeft().empty());

  SCOPED_TRACE("a download nobody planned runs on the engine's connection");
  EXPECT_EQ(Fetch(*transport, "f"), server.files["f"]);
}

TEST_F(PrefetchingTransportTest, AFailedFetchAheadIsFetchedAgainByTheEngine) {
  server.failing_once = {"b"};
  auto transport = Connected(2);
  for (const std::string name : {"a", "b", "c"}) transport->PlanDownload(Plan(name));
  AwaitRequested({"a", "b", "c"});
  for (const std::string name : {"a", "b", "c"}) EXPECT_EQ(Fetch(*transport, name), server.files[name]);
  EXPECT_EQ(Count("get b"), 2);
  EXPECT_TRUE(AheadFilesLeft().empty());

  SCOPED_TRACE("cut off part of the way: the engine's connection continues it");
  {
    std::lock_guard lock(server.mutex);  // the helpers are still logged in
    server.cut_off_at["d"] = 400;
  }
  transport->PlanDownload(Plan("d"));
  EXPECT_TRUE(WaitUntil(
      [&] {
        std::error_code missing;
        return std::filesystem::file_size(Local("d.dltmp.ahead"), missing) == 400;
      },
      "400 bytes of d fetched ahead"));
  {
    std::lock_guard lock(server.mutex);
    server.cut_off_at.clear();
  }
  EXPECT_EQ(Fetch(*transport, "d"), server.files["d"]) << "the sink hears the kept bytes too";
  EXPECT_EQ(Count("rest 400"), 1);
  EXPECT_TRUE(AheadFilesLeft().empty());

  SCOPED_TRACE("failing while the engine waits for it: fetched again as the same transfer");
  server.held = {"e"};
  server.failing_once = {"e"};
  transport->PlanDownload(Plan("e"));
  AwaitRequested({"e"});
  events.events.clear();
  events.on_started = [&] { server.Release("e"); };
  EXPECT_EQ(Fetch(*transport, "e"), server.files["e"]);
  events.on_started = nullptr;
  EXPECT_EQ(Count("get e"), 2);
  EXPECT_EQ(events.events, (std::vector<std::string>{"started", "stopped"})) << "one transfer, one start";
}

TEST_F(PrefetchingTransportTest, WhileAHelperIsBusyTheEnginesConnectionFetchesSmallFilesAhead) {
  server.files["big"] = std::string(1000, 'B');
  server.held = {"big", "a"};
  auto transport = Connected(2);
  transport->PlanDownload(Plan("big"));
  transport->PlanDownload(Plan("a"));
  transport->PlanDownload(Plan("b"));
  server.files["c"] = std::string(1000, 'c');
  transport->PlanDownload({"c", Local("c.dltmp"), Local("c.dltmp.ahead"), 1 << 20});
  AwaitRequested({"big", "a"});
  // Both helpers are held: only the engine's connection can fetch b, and
  // it does so while it waits for big.
  std::thread server_side([this] {
    for (int i = 0; i < 1000 && Count("get b") == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    {
      std::lock_guard lock(server.mutex);
      server.requests.push_back("released");
    }
    server.Release("big");
    server.Release("a");
  });
  EXPECT_EQ(Fetch(*transport, "big"), server.files["big"]);
  server_side.join();
  const std::vector<std::string> requests = server.Requests();
  const auto released = std::find(requests.begin(), requests.end(), "released");
  EXPECT_LT(std::find(requests.begin(), requests.end(), "get b"), released) << "b was fetched while big was on its way";
  EXPECT_GT(std::find(requests.begin(), requests.end(), "get c"), released) << "c is too large to fetch meanwhile";
  for (const std::string name : {"a", "b", "c"}) {
    transport->Download(name, Local(name + ".dltmp"), -1, {}, false);
    EXPECT_EQ(folder.Read(name + ".dltmp"), server.files[name]);
  }
  EXPECT_EQ(Count("get b"), 1);
}

TEST_F(PrefetchingTransportTest, HelpersTheServerRefusesLeaveTheWorkToTheOthers) {
  for (const int allowed : {1, 2}) {
    SCOPED_TRACE(std::to_string(allowed) + " logins allowed");
    server.logins_allowed = allowed;
    auto transport = Connected(4);
    for (const std::string name : {"a", "b", "c", "d"}) transport->PlanDownload(Plan(name));
    for (const std::string name : {"a", "b", "c", "d"}) EXPECT_EQ(Fetch(*transport, name), server.files[name]);
    EXPECT_EQ(Count("get a") + Count("get b") + Count("get c") + Count("get d"), 4);
    EXPECT_TRUE(AheadFilesLeft().empty());
    server.requests.clear();
  }
}

TEST_F(PrefetchingTransportTest, PlansNobodyAsksForLeaveNoFileBehind) {
  {
    auto transport = Connected(2);
    for (const std::string name : {"a", "b", "c", "d"}) transport->PlanDownload(Plan(name));
    AwaitRequested({"a", "b", "c", "d"});
    SCOPED_TRACE("plans skipped over are dropped");
    EXPECT_EQ(Fetch(*transport, "c"), server.files["c"]);
    // A helper still writing one removes it as it ends.
    EXPECT_TRUE(WaitUntil(
        [&] { return !std::filesystem::exists(Local("a.dltmp.ahead")) && !std::filesystem::exists(Local("b.dltmp.ahead")); },
        "the skipped plans' files removed"));
    transport->DropPlans();
    EXPECT_TRUE(AheadFilesLeft().empty()) << "d, fetched and dropped";
    SCOPED_TRACE("after dropping, new plans bring the helpers back");
    transport->PlanDownload(Plan("e"));
    AwaitRequested({"e"});
    EXPECT_EQ(Fetch(*transport, "e"), server.files["e"]);
    transport->PlanDownload(Plan("f"));
  }
  EXPECT_TRUE(AheadFilesLeft().empty()) << "f, planned when the transport went";
}

TEST_F(PrefetchingTransportTest, OneConnectionFetchesNothingAhead) {
  auto transport = Connected(1);
  transport->PlanDownload(Plan("a"));
  EXPECT_EQ(Fetch(*transport, "a"), server.files["a"]);
  EXPECT_EQ(server.Requests(), (std::vector<std::string>{"login guest", "get a"}));
}

// A stop asked for while the engine waits for a helper's fetch ahead ends
// that wait at once, as a cut-off transfer, not when the helper is done.
TEST_F(PrefetchingTransportTest, ACancelEndsTheWaitForAFetchAhead) {
  server.held = {"a"};
  auto transport = Connected(2);
  transport->PlanDownload(Plan("a"));
  AwaitRequested({"a"});
  events.events.clear();
  events.on_started = [&] { transport->Cancel(); };
  // Were the wait to last, the helper would be let go after a while and the
  // download would end whole instead.
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::seconds(3));
    server.Release("a");
  });
  try {
    transport->Download("a", Local("a.dltmp"), 1000, {}, false);
    ADD_FAILURE() << "the download waited for the helper";
  } catch (const EDownloadError& error) {
    EXPECT_EQ(error.Failure(), DownloadFailure::kCutOff) << error.what();
  }
  EXPECT_EQ(events.events, (std::vector<std::string>{"started", "failed"}));
  events.on_started = nullptr;
  releaser.join();
}

}  // namespace
