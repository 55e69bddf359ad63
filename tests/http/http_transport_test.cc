// The HTTP transport against nginx on loopback, over plain HTTP/1.1 and
// over TLS with HTTP/2 and with HTTP/1.1: every guarantee of the transport
// seam (the sink, the bound, resume, refusals, events) holds whichever
// way the bytes come.
#include "http/http_transport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/file_identity.h"
#include "transport/download_target.h"
#include "support/loopback_listeners.h"
#include "support/temp_folder.h"
#include "support/wait_until.h"
#include "support/web_server.h"

using test_support::CertificateKind;
using test_support::WebProtocol;
using test_support::WebServer;
using test_support::WebServerOptions;

namespace test_support {

void PrintTo(const WebServerOptions& options, std::ostream* out) { *out << WebServerName(options); }

}  // namespace test_support

namespace {

WebServerOptions Served(WebProtocol protocol, bool http2 = true) {
  WebServerOptions options;
  options.protocol = protocol;
  options.http2 = http2;
  return options;
}

WebServerOptions ServedWith(CertificateKind certificate) {
  WebServerOptions options;
  options.certificate = certificate;
  return options;
}

class RecordingEvents : public TransportEvents {
 public:
  void HostResolved() override { Note("resolved"); }
  void InvalidHost() override { Note("invalid host"); }
  void Connected() override { Note("connected"); }
  void ConnectionFailed() override { Note("connection failed"); }
  void Disconnected() override { Note("disconnected"); }
  void Status(const std::string&) override {}
  void Error(unsigned short number, const std::string&) override { Note("error " + std::to_string(number)); }
  void TransferStarted() override { Note("start"); }
  void TransferStopped() override { Note("stop"); }
  void BytesArrived() override {
    ++bytes_events;
    if (on_bytes) on_bytes();
  }
  void TransferFailed(TransferCommand) override { Note("failed"); }
  void NameListed(const std::string&) override {}

  void Note(const std::string& what) { seen.push_back(what); }
  std::vector<std::string> seen;
  int bytes_events = 0;
  std::function<void()> on_bytes;
};

std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

ServerLogin LoginTo(const WebServer& server, int timeout_ms = 5000) {
  const bool https = server.options().protocol == WebProtocol::kHttps;
  return ServerLogin{server.host(), server.port(), timeout_ms, "", "", https ? "https" : "http", "/"};
}

// A served folder, a local folder, and a transport logged in to nginx.
class HttpTransportTest : public ::testing::TestWithParam<WebServerOptions> {
 protected:
  void StartServer(const WebServerOptions& options) {
    server_ = WebServer::Start(served_.path(), options);
    network_.CaFile = server_->CaFile();
  }
  void ConnectTransport() {
    transport_ = HttpTransportFactory()(events_, network_);
    transport_->Connect(LoginTo(*server_));
    transport_->StartSession();
  }
  void StartAndConnect(WebServerOptions options) {
    StartServer(options);
    ConnectTransport();
  }
  // Downloads into `local`, the sink's bytes kept in heard_.
  void Download(const std::string& remote, const std::string& local, int64_t listed, bool resume = false) {
    heard_.clear();
    transport_->Download(remote, local, listed, [this](std::string_view bytes, const std::shared_ptr<const void>&) {
      heard_.append(bytes);
    }, resume);
  }
  DownloadFailure FailureOf(const std::string& remote, const std::string& local, int64_t listed, bool resume,
                            std::string& text) {
    try {
      Download(remote, local, listed, resume);
    } catch (const EDownloadError& error) {
      text = error.what();
      return error.Failure();
    }
    ADD_FAILURE() << "the download of " << remote << " passed";
    return DownloadFailure::kLocal;
  }

  test_support::TempFolder served_;
  test_support::TempFolder local_;
  NetworkSettings network_;
  std::unique_ptr<WebServer> server_;
  RecordingEvents events_;
  std::unique_ptr<Transport> transport_;
  std::string heard_;
};

std::string ParamName(const ::testing::TestParamInfo<WebServerOptions>& info) {
  return test_support::WebServerName(info.param);
}

const auto kServers = ::testing::Values(Served(WebProtocol::kHttp), Served(WebProtocol::kHttps),
                                        Served(WebProtocol::kHttps, false));

TEST_P(HttpTransportTest, AWholeFileReachesFileAndSinkInOrderWithOneStartAndStop) {
  // A name with bytes that must be escaped reaches the server as itself.
  const std::string name = "sub dir/a#b%c\xC3\xA9.bin";
  const std::string bytes = RandomBytes(3 * 1024 * 1024 + 17, 1);
  WriteFile(served_.path() + name, bytes);
  StartAndConnect(GetParam());
  EXPECT_EQ(events_.seen, std::vector<std::string>{"connected"});
  events_.seen.clear();
  const std::string local = local_.path() + "a.bin";
  Download(name, local, static_cast<int64_t>(bytes.size()));
  EXPECT_EQ(ReadFile(local) == bytes, true);
  EXPECT_EQ(heard_ == bytes, true) << "the sink heard " << heard_.size() << " bytes";
  EXPECT_EQ(events_.seen, (std::vector<std::string>{"start", "stop"}));
  EXPECT_GE(events_.bytes_events, 1);
  EXPECT_EQ(transport_->BytesTotal(), static_cast<int64_t>(bytes.size()));
  EXPECT_EQ(transport_->SessionBytesReceived(), static_cast<int64_t>(bytes.size()));
  EXPECT_EQ(transport_->ReceivedFile(), platform::IdentityOfFile(local));
  EXPECT_TRUE(test_support::WaitUntil([&] { return server_->Downloads() == std::vector<std::string>{name}; },
                                      "nginx logged the one request"));
  // An empty file is a whole file too.
  WriteFile(served_.path() + "empty", "");
  Download("empty", local_.path() + "empty", 0);
  EXPECT_TRUE(std::filesystem::exists(local_.path() + "empty"));
  EXPECT_EQ(std::filesystem::file_size(local_.path() + "empty"), 0u);
}

TEST_P(HttpTransportTest, AMissingFileIsRefusedAndTheLocalFileStaysAsItWas) {
  StartAndConnect(GetParam());
  const std::string local = local_.path() + "kept.bin";
  WriteFile(local, "old bytes");
  std::string text;
  EXPECT_EQ(FailureOf("absent.bin", local, 10, false, text), DownloadFailure::kRefused);
  EXPECT_EQ(text.rfind("404", 0), 0u) << "the status comes first, as an FTP refusal's code does: " << text;
  EXPECT_EQ(ReadFile(local), "old bytes");
  EXPECT_EQ(events_.seen, (std::vector<std::string>{"connected", "failed"}));
  EXPECT_EQ(transport_->ReceivedFile(), std::nullopt);
  // Nor does a continued download of a missing file touch what is held.
  EXPECT_EQ(FailureOf("absent.bin", local, 100, true, text), DownloadFailure::kRefused);
  EXPECT_EQ(ReadFile(local), "old bytes");
}

TEST_P(HttpTransportTest, AFileLongerThanListedIsCutOffOneBytePastTheBound) {
  const std::string bytes = RandomBytes(200000, 2);
  WriteFile(served_.path() + "long.bin", bytes);
  StartAndConnect(GetParam());
  const std::string local = local_.path() + "long.bin";
  std::string text;
  EXPECT_EQ(FailureOf("long.bin", local, 1000, false, text), DownloadFailure::kOverrun);
  EXPECT_EQ(text, TransferLimitText("long.bin", 1000));
  EXPECT_EQ(ReadFile(local), bytes.substr(0, 1001));
  EXPECT_EQ(events_.seen.back(), "failed");
}

TEST_P(HttpTransportTest, AContinuedDownloadAppendsOnlyWhatTheServerSendsFromTheHeldBytesOn) {
  const std::string bytes = RandomBytes(2 * 1024 * 1024 + 5, 3);
  WriteFile(served_.path() + "big.bin", bytes);
  const size_t held = 700001;
  for (const bool ignore_ranges : {false, true}) {
    SCOPED_TRACE(ignore_ranges ? "a server that ignores ranges" : "a server that honours ranges");
    WebServerOptions options = GetParam();
    options.ignore_ranges = ignore_ranges;
    StartAndConnect(options);
    const std::string local = local_.path() + "big.bin";
    WriteFile(local, bytes.substr(0, held));
    Download("big.bin", local, static_cast<int64_t>(bytes.size()), true);
    EXPECT_EQ(ReadFile(local) == bytes, true);
    // Each byte heard once, in order: the held ones only when appended to.
    EXPECT_EQ(heard_.size(), bytes.size());
    EXPECT_EQ(heard_ == bytes, true);
    EXPECT_EQ(transport_->BytesTotal(), static_cast<int64_t>(bytes.size()));
    EXPECT_EQ(transport_->SessionBytesReceived(), static_cast<int64_t>(ignore_ranges ? bytes.size() : bytes.size() - held));
    transport_.reset();
    server_.reset();
  }
}

TEST_P(HttpTransportTest, ACancelFromAHandlerEndsTheDownloadAsCutOff) {
  WriteFile(served_.path() + "slow.bin", RandomBytes(400000, 4));
  WebServerOptions options = GetParam();
  options.rate_limit_bps = 100000;
  StartAndConnect(options);
  events_.on_bytes = [this] {
    if (transport_->BytesReceived() > 0) transport_->Cancel();
  };
  std::string text;
  EXPECT_EQ(FailureOf("slow.bin", local_.path() + "slow.bin", 400000, false, text), DownloadFailure::kCutOff);
  EXPECT_NE(text.find("cancelled"), std::string::npos) << text;
  EXPECT_LT(transport_->BytesReceived(), 400000);
}

TEST_P(HttpTransportTest, ATricklingServerFailsBelowTheRateFloor) {
  WriteFile(served_.path() + "trickle.bin", RandomBytes(200000, 5));
  WebServerOptions options = GetParam();
  // nginx's cap sends a second's worth each whole second of its clock, so
  // bytes keep coming well within the stall time while the average stays
  // below the floor.
  options.rate_limit_bps = 16000;
  network_.StallTimeMs = 3000;
  network_.MinRateBps = 64000;
  StartAndConnect(options);
  std::string text;
  EXPECT_EQ(FailureOf("trickle.bin", local_.path() + "trickle.bin", 200000, false, text), DownloadFailure::kCutOff);
  EXPECT_NE(text.find("too slow"), std::string::npos) << text;
}

// The shared cap holds back the engine's download and every fetch ahead
// (paused and resumed by libcurl) without losing or repeating a byte, and
// the bucket pays for exactly the bytes that arrive.
TEST_P(HttpTransportTest, ASharedCapHoldsBackEveryTransferAndLosesNoByte) {
  constexpr int kFiles = 4;
  constexpr int64_t kSize = 128 * 1024;
  constexpr int64_t kCap = 256 * 1024;
  std::vector<PlannedDownload> plans;
  std::vector<std::string> contents;
  for (int i = 0; i < kFiles; ++i) {
    const std::string remote = "capped" + std::to_string(i) + ".bin";
    contents.push_back(RandomBytes(kSize, 200 + i));
    WriteFile(served_.path() + remote, contents.back());
    const std::string local = local_.path() + remote;
    plans.push_back({remote, local, local + ".ahead", kSize});
  }
  WriteFile(served_.path() + "small.bin", RandomBytes(4000, 300));
  network_.RateLimit = std::make_shared<RateLimiter>(kCap);
  StartAndConnect(GetParam());
  const auto began = std::chrono::steady_clock::now();
  for (const PlannedDownload& plan : plans) transport_->PlanDownload(plan);
  for (int i = 0; i < kFiles; ++i) {
    Download(plans[i].remote, plans[i].local_path, kSize);
    EXPECT_EQ(heard_ == contents[i], true) << plans[i].remote;
    EXPECT_EQ(ReadFile(plans[i].local_path) == contents[i], true) << plans[i].remote;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  const double least = double(kFiles * kSize - network_.RateLimit->Burst()) / kCap;
  EXPECT_GE(seconds, 0.95 * least) << "the cap was not applied to every transfer";

  // With the clock stopped the bucket refills no more: it holds its burst
  // less the bytes of the download, to the byte.
  const RateLimiter::Clock::time_point frozen = RateLimiter::Clock::now();
  network_.RateLimit = std::make_shared<RateLimiter>(32768, [frozen] { return frozen; });  // a burst of 4096
  ConnectTransport();
  Download("small.bin", local_.path() + "small.bin", 4000);
  EXPECT_EQ(heard_.size(), 4000u);
  RateLimiter::Reader probe(*network_.RateLimit);
  EXPECT_EQ(probe.Take(97).bytes, 0u);
  EXPECT_EQ(probe.Take(96).bytes, 96u);
}

TEST_P(HttpTransportTest, PlannedDownloadsArriveWholeInTheEnginesOrderOverFewConnections) {
  // Each answer of /connection/ is the number of the connection it came over.
  WebServerOptions options = GetParam();
  options.extra_lines = "location /connection/ { return 200 \"$connection\"; }\n";
  std::vector<PlannedDownload> plans;
  std::vector<std::string> contents;
  for (int i = 0; i < 60; ++i) {
    const bool connection = i % 3 == 0;
    const std::string remote = connection ? "connection/" + std::to_string(i) : "small/f" + std::to_string(i) + ".bin";
    contents.push_back(connection ? "" : RandomBytes(4096, 100 + i));
    if (!connection) WriteFile(served_.path() + remote, contents.back());
    const std::string local = local_.path() + "f" + std::to_string(i);
    plans.push_back({remote, local, local + ".ahead", connection ? -1 : 4096});
  }
  // A plan the server refuses is fetched again, and refused, by its Download.
  plans.insert(plans.begin() + 30, PlannedDownload{"absent.bin", local_.path() + "absent", local_.path() + "absent.ahead", 9});
  contents.insert(contents.begin() + 30, "");
  network_.Connections = 4;
  StartAndConnect(options);
  for (const PlannedDownload& plan : plans) transport_->PlanDownload(plan);
  std::set<std::string> connections;
  for (size_t i = 0; i < plans.size(); ++i) {
    const PlannedDownload& plan = plans[i];
    SCOPED_TRACE(plan.remote);
    events_.seen.clear();
    if (plan.remote == "absent.bin") {
      std::string text;
      EXPECT_EQ(FailureOf(plan.remote, plan.local_path, plan.listed_size, false, text), DownloadFailure::kRefused);
      continue;
    }
    Download(plan.remote, plan.local_path, plan.listed_size);
    EXPECT_EQ(events_.seen, (std::vector<std::string>{"start", "stop"}));
    EXPECT_EQ(heard_, ReadFile(plan.local_path));
    EXPECT_EQ(transport_->ReceivedFile(), platform::IdentityOfFile(plan.local_path));
    EXPECT_FALSE(std::filesystem::exists(plan.ahead_path));
    if (plan.listed_size < 0) {
      connections.insert(heard_);
    } else {
      EXPECT_EQ(heard_ == contents[i], true);
    }
  }
  if (GetParam().protocol == WebProtocol::kHttps && GetParam().http2) {
    EXPECT_EQ(connections.size(), 1u) << "HTTP/2 multiplexes the fetches over one connection";
  } else {
    EXPECT_LE(connections.size(), 5u) << "one keep-alive connection per fetch at once and the engine's own";
  }
  // Each file was asked for once, the refused one twice.
  EXPECT_TRUE(test_support::WaitUntil([&] { return server_->Downloads().size() == plans.size() + 1; },
                                      "nginx logged every request"));
  // Dropped plans stop and leave no file behind.
  for (const PlannedDownload& plan : plans) transport_->PlanDownload(plan);
  EXPECT_TRUE(test_support::WaitUntil([&] { return std::filesystem::exists(plans[1].ahead_path); },
                                      "a fetch ahead began"));
  transport_->DropPlans();
  for (const PlannedDownload& plan : plans) EXPECT_FALSE(std::filesystem::exists(plan.ahead_path)) << plan.ahead_path;
}

INSTANTIATE_TEST_SUITE_P(Servers, HttpTransportTest, kServers, ParamName);

// Over TLS the certificate is always checked: only the test CA, given as
// CAFILE, makes the trusted one good, and nothing makes the others good.
class HttpsCertificateTest : public HttpTransportTest {};

TEST_F(HttpsCertificateTest, OnlyAValidCertificateForTheHostSignedByATrustedCaIsAccepted) {
  for (const CertificateKind kind :
       {CertificateKind::kSelfSigned, CertificateKind::kOtherHost, CertificateKind::kExpired}) {
    SCOPED_TRACE(test_support::CertificateKindName(kind));
    StartServer(ServedWith(kind));
    transport_ = HttpTransportFactory()(events_, network_);
    try {
      transport_->Connect(LoginTo(*server_));
      ADD_FAILURE() << "the login passed";
    } catch (const Exception& error) {
      EXPECT_NE(std::string(error.what()).find("certificate not trusted: "), std::string::npos) << error.what();
    }
    transport_.reset();
    server_.reset();
  }
  StartServer(Served(WebProtocol::kHttps));
  {
    SCOPED_TRACE("the system's store alone");
    network_.CaFile.clear();
    transport_ = HttpTransportFactory()(events_, network_);
    EXPECT_THROW(transport_->Connect(LoginTo(*server_)), Exception);
  }
  network_.CaFile = server_->CaFile();
  ConnectTransport();
}

TEST_F(HttpsCertificateTest, RedirectsAreFollowedButNeverFromHttpsToHttp) {
  WriteFile(served_.path() + "x.bin", "payload");
  const std::unique_ptr<WebServer> plain = WebServer::Start(served_.path(), Served(WebProtocol::kHttp));
  WebServerOptions options = Served(WebProtocol::kHttps);
  options.extra_lines = "location = /same.bin { return 301 /x.bin; }\n"
                        "location = /down.bin { return 301 " + plain->Url() + "x.bin; }\n";
  StartAndConnect(options);
  Download("same.bin", local_.path() + "same.bin", 7);
  EXPECT_EQ(ReadFile(local_.path() + "same.bin"), "payload");
  std::string text;
  EXPECT_EQ(FailureOf("down.bin", local_.path() + "down.bin", 7, false, text), DownloadFailure::kRefused);
  EXPECT_NE(text.find("redirect"), std::string::npos) << text;
  EXPECT_FALSE(std::filesystem::exists(local_.path() + "down.bin"));
  EXPECT_TRUE(plain->Downloads().empty());
}

// A login fails with the events and texts an FTP login has for the like
// failure, so the line about servers tried reads the same.
TEST(HttpLoginTest, AClosedPortOrASilentServerFailsTheLogin) {
  RecordingEvents events;
  NetworkSettings network;
  network.StallTimeMs = 300;
  int closed_port;
  { closed_port = test_support::LoopbackListener(false).port(); }
  {
    SCOPED_TRACE("a closed port");
    std::unique_ptr<Transport> transport = HttpTransportFactory()(events, network);
    try {
      transport->Connect({"127.0.0.1", closed_port, 2000, "", "", "http", "/"});
      ADD_FAILURE() << "the login passed";
    } catch (const Exception& error) {
      EXPECT_STREQ(error.what(), "Connection Failed");
    }
    EXPECT_EQ(events.seen, std::vector<std::string>{"connection failed"});
  }
  const test_support::LoopbackListener silent(false);
  {
    SCOPED_TRACE("a silent server within the login's time-out");
    events.seen.clear();
    std::unique_ptr<Transport> transport = HttpTransportFactory()(events, network);
    try {
      transport->Connect({"127.0.0.1", silent.port(), 250, "", "", "http", "/"});
      ADD_FAILURE() << "the login passed";
    } catch (const Exception& error) {
      EXPECT_STREQ(error.what(), "Connection Timed out");
    }
    EXPECT_EQ(events.seen, std::vector<std::string>{}) << "the port took the connection";
  }
  {
    SCOPED_TRACE("a silent server without a time-out: the stall time ends it");
    std::unique_ptr<Transport> transport = HttpTransportFactory()(events, network);
    try {
      transport->Connect({"127.0.0.1", silent.port(), 0, "", "", "http", "/"});
      ADD_FAILURE() << "the login passed";
    } catch (const Exception& error) {
      EXPECT_NE(std::string(error.what()).find("timed out: nothing received for 0.3 s"), std::string::npos)
          << error.what();
    }
  }
}

}  // namespace
