// DownloadRanges over every transport against real servers: scattered
// ranges (the first and the last byte, adjacent and nearby ones, one
// that is the whole file) arrive exactly, as one transfer counting only
// their bytes; a server that cannot serve ranges refuses them without
// sending the whole file; a cancel ends the call, and the connection
// serves the next one.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "ftp/ftp_transport.h"
#include "http/http_transport.h"
#include "prefetch/prefetching_transport.h"
#include "support/ftp_peer.h"
#include "support/ftp_servers.h"
#include "support/temp_folder.h"
#include "support/wait_until.h"
#include "support/web_server.h"
#include "transport/range_requests.h"

using test_support::FtpServer;
using test_support::FtpServerKind;
using test_support::WebProtocol;
using test_support::WebServer;
using test_support::WebServerOptions;

namespace {

enum class Peer { kVsftpd, kPyftpdlib, kNginxHttp, kNginxHttps };

std::string PeerName(const ::testing::TestParamInfo<Peer>& info) {
  switch (info.param) {
    case Peer::kVsftpd: return "vsftpd";
    case Peer::kPyftpdlib: return "pyftpdlib";
    case Peer::kNginxHttp: return "nginx_http";
    case Peer::kNginxHttps: return "nginx_https";
  }
  return "";
}

class CountingEvents : public TransportEvents {
 public:
  void HostResolved() override {}
  void InvalidHost() override {}
  void Connected() override {}
  void ConnectionFailed() override {}
  void Disconnected() override {}
  void Status(const std::string&) override {}
  void Error(unsigned short, const std::string&) override {}
  void TransferStarted() override { seen.push_back("start"); }
  void TransferStopped() override { seen.push_back("stop"); }
  void BytesArrived() override {
    if (on_bytes) on_bytes();
  }
  void TransferFailed(TransferCommand) override { seen.push_back("failed"); }
  void NameListed(const std::string&) override {}
  std::vector<std::string> seen;
  std::function<void()> on_bytes;
};

std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

void WriteFile(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// What the sink heard, per range, and whether it came in order.
struct Heard {
  std::vector<std::string> ranges;
  bool in_order = true;
  size_t last = 0;

  RangeSink Sink(size_t count) {
    ranges.assign(count, "");
    in_order = true;
    last = 0;
    return [this](size_t range, std::string_view bytes, const std::shared_ptr<const void>& owner) {
      if (range < last || range >= ranges.size() || owner == nullptr) in_order = false;
      last = range;
      ranges[range] += bytes;
    };
  }
  int64_t Bytes() const {
    int64_t bytes = 0;
    for (const std::string& range : ranges) bytes += static_cast<int64_t>(range.size());
    return bytes;
  }
};

class RangeDownloadTest : public ::testing::TestWithParam<Peer> {
 protected:
  bool OverFtp() const { return GetParam() == Peer::kVsftpd || GetParam() == Peer::kPyftpdlib; }

  // Starts the parameter's server on served_ and logs a transport in, as
  // the updater makes them (FTP fetching ahead over helper connections).
  void Connect(NetworkSettings network = {}) {
    ServerLogin login;
    TransportFactory factory;
    if (OverFtp()) {
      const FtpServerKind kind = GetParam() == Peer::kVsftpd ? FtpServerKind::kVsftpd : FtpServerKind::kPyftpdlib;
      ftp_ = FtpServer::Start(kind, served_.path());
      login = ServerLogin{ftp_->host(), ftp_->port(), 5000, "anonymous", "updater@example.com"};
      factory = PrefetchingTransportFactory(FtpTransportFactory());
    } else {
      WebServerOptions options;
      options.protocol = GetParam() == Peer::kNginxHttps ? WebProtocol::kHttps : WebProtocol::kHttp;
      web_ = WebServer::Start(served_.path(), options);
      network.CaFile = web_->CaFile();
      const bool https = options.protocol == WebProtocol::kHttps;
      login = ServerLogin{web_->host(), web_->port(), 5000, "", "", https ? "https" : "http", "/"};
      factory = HttpTransportFactory();
    }
    transport_ = factory(events_, network);
    transport_->Connect(login);
    transport_->StartSession();
  }

  // Fetches `ranges` of `file` (as served) and checks that each arrived
  // exactly, as one transfer of their bytes.
  void ExpectRangesArrive(const std::string& name, const std::string& file, const std::vector<ByteRange>& ranges) {
    events_.seen.clear();
    Heard heard;
    transport_->DownloadRanges(name, ranges, static_cast<int64_t>(file.size()), heard.Sink(ranges.size()));
    EXPECT_TRUE(heard.in_order);
    for (size_t i = 0; i < ranges.size(); ++i) {
      EXPECT_TRUE(heard.ranges[i] ==
                  file.substr(static_cast<size_t>(ranges[i].offset), static_cast<size_t>(ranges[i].length)))
          << "range " << i << ": " << heard.ranges[i].size() << " bytes heard of " << ranges[i].length;
    }
    EXPECT_EQ(events_.seen, (std::vector<std::string>{"start", "stop"}));
    EXPECT_EQ(transport_->BytesTotal(), RangesBytes(ranges));
    EXPECT_EQ(transport_->BytesReceived(), RangesBytes(ranges));
  }

  test_support::TempFolder served_;
  test_support::TempFolder local_;
  std::unique_ptr<FtpServer> ftp_;
  std::unique_ptr<WebServer> web_;
  CountingEvents events_;
  std::unique_ptr<Transport> transport_;
};

TEST_P(RangeDownloadTest, ScatteredRangesArriveExactlyAsOneTransferOfTheirBytes) {
  const std::string file = RandomBytes((3 << 20) + 17, 7);
  WriteFile(served_.path() + "game.pak.gz", file);
  Connect();
  const int64_t size = static_cast<int64_t>(file.size());
  // The first byte, one adjacent to it, nearby ones (merged over a small
  // gap), distant ones in the middle, and the last byte.
  ExpectRangesArrive("game.pak.gz", file,
                     {{0, 1}, {1, 4095}, {4200, 100}, {70000, 1000}, {900000, 300000}, {2000000, 65536},
                      {size - 1, 1}});
  if (web_) {
    // Over HTTP all of them went out in one request.
    EXPECT_TRUE(test_support::WaitUntil([&] { return web_->Downloads().size() == 1; }, "nginx logged the GET"));
    EXPECT_EQ(web_->Requests().back().status, 206);
  }
  // The last bytes of the file, and then the whole file as one range.
  ExpectRangesArrive("game.pak.gz", file, {{size - 100000, 100000}});
  ExpectRangesArrive("game.pak.gz", file, {{0, size}});
  // The connection stays in step for a plain download after the ranges.
  transport_->Download("game.pak.gz", local_.path() + "whole.gz", size, {}, false);
  EXPECT_EQ(std::filesystem::file_size(local_.path() + "whole.gz"), file.size());
}

TEST_P(RangeDownloadTest, ACancelEndsTheCallAndTheConnectionServesTheNextOne) {
  const std::string file = RandomBytes(16 << 20, 8);
  WriteFile(served_.path() + "big.pak", file);
  NetworkSettings network;
  // Slow enough that the cancel comes while the bytes still flow.
  network.MaxRateKiBps = 2048;
  network.RateLimit = std::make_shared<RateLimiter>(int64_t{2048} * 1024);
  Connect(network);
  const int64_t size = static_cast<int64_t>(file.size());
  events_.on_bytes = [this] { transport_->Cancel(); };
  Heard heard;
  try {
    transport_->DownloadRanges("big.pak", {{100, size - 200}}, size, heard.Sink(1));
    ADD_FAILURE() << "the cancelled call passed";
  } catch (const EDownloadError& error) {
    EXPECT_EQ(error.Failure(), DownloadFailure::kCutOff) << error.what();
  }
  EXPECT_LT(heard.Bytes(), size - 200);
  EXPECT_EQ(events_.seen.back(), "failed");
  events_.on_bytes = nullptr;
  ExpectRangesArrive("big.pak", file, {{5, 10}, {size - 10, 10}});
}

INSTANTIATE_TEST_SUITE_P(Servers, RangeDownloadTest,
                         ::testing::Values(Peer::kVsftpd, Peer::kPyftpdlib, Peer::kNginxHttp, Peer::kNginxHttps),
                         PeerName);

// A server that cannot serve ranges: the call is refused, so the caller
// downloads the whole file, and the whole file was not sent meanwhile.
TEST(RangeRefusalTest, NginxIgnoringRangesIsRefusedAtOnce) {
  for (const WebProtocol protocol : {WebProtocol::kHttp, WebProtocol::kHttps}) {
    test_support::TempFolder served;
    const std::string file = RandomBytes(32 << 20, 9);
    WriteFile(served.path() + "big.pak", file);
    WriteFile(served.path() + "small", "small");
    WebServerOptions options;
    options.protocol = protocol;
    options.ignore_ranges = true;
    const std::unique_ptr<WebServer> web = WebServer::Start(served.path(), options);
    SCOPED_TRACE(test_support::WebServerName(options));
    NetworkSettings network;
    network.CaFile = web->CaFile();
    CountingEvents events;
    const std::unique_ptr<Transport> transport = HttpTransportFactory()(events, network);
    const bool https = protocol == WebProtocol::kHttps;
    transport->Connect({web->host(), web->port(), 5000, "", "", https ? "https" : "http", "/"});
    transport->StartSession();
    Heard heard;
    try {
      transport->DownloadRanges("big.pak", {{10, 10}, {1 << 20, 10}}, static_cast<int64_t>(file.size()),
                                heard.Sink(2));
      ADD_FAILURE() << "ranges from a server that ignores them passed";
    } catch (const EDownloadError& error) {
      EXPECT_EQ(error.Failure(), DownloadFailure::kRefused) << error.what();
      EXPECT_NE(std::string(error.what()).find("whole file"), std::string::npos) << error.what();
    }
    EXPECT_EQ(heard.Bytes(), 0);
    EXPECT_EQ(events.seen, std::vector<std::string>{"failed"});
    // The caller then downloads the whole file over the same transport.
    transport->Download("small", served.path() + "small.copy", 5, {}, false);
    ASSERT_TRUE(test_support::WaitUntil(
        [&] {
          for (const test_support::WebRequest& request : web->Requests())
            if (request.path == "big.pak") return true;
          return false;
        },
        "nginx logged the GET of big.pak"));
    test_support::WebRequest get;
    for (const test_support::WebRequest& request : web->Requests())
      if (request.path == "big.pak") get = request;
    EXPECT_EQ(get.status, 200);
    EXPECT_LT(get.body_bytes, static_cast<int64_t>(file.size()) / 2) << "the whole file was sent";
  }
}

TEST(RangeRefusalTest, AnFtpServerRefusingRestIsRefusedBeforeAnyRetr) {
  for (const char* refusal :
       {"502 Command not implemented.\r\n", "500 Unknown command.\r\n", "504 Not for this type.\r\n"}) {
    SCOPED_TRACE(refusal);
    test_support::FtpPeer peer([refusal](test_support::FtpPeerSession& s) {
      s.Send("220 Hi\r\n");
      s.Reply("230 In\r\n");
      s.Reply("200 Type set\r\n");
      s.AnswerDataSetup();
      s.Reply(refusal);
    });
    CountingEvents events;
    const std::unique_ptr<Transport> transport = FtpTransportFactory()(events, NetworkSettings{});
    transport->Connect({"127.0.0.1", peer.port(), 5000, "anonymous", ""});
    try {
      transport->DownloadRanges("x.pak", {{100, 10}}, 1000, {});
      ADD_FAILURE() << "ranges from a server that refuses REST passed";
    } catch (const EDownloadError& error) {
      EXPECT_EQ(error.Failure(), DownloadFailure::kRefused);
      EXPECT_EQ(std::string(error.what()).rfind(std::string(refusal, 3), 0), 0u) << error.what();
    }
    EXPECT_EQ(events.seen, std::vector<std::string>{"failed"});
    const std::vector<std::string> commands = peer.Commands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back(), "REST 100");
  }
}

}  // namespace
