// A transport for the engine's tests that serves files from memory: the
// engine runs its check, update run and file check without a server.
// Events come in the order the FTP transport raises them.
#pragma once

#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "transport/transport.h"

namespace test_support {

// What the fake server holds and what it was asked; shared by every
// transport the factory makes.
struct FakeServer {
  std::map<std::string, std::string> files;  // name -> content, listed in name order
  bool refuse_login = false;
  std::set<std::string> failing;       // downloads that fail after starting
  std::vector<std::string> requests;   // "login <user>", "list", "get <name>", "quit"
  int64_t announced_size = -1;         // size the "server" announces; -1 = the file's own
};

class FakeTransport : public Transport {
 public:
  FakeTransport(FakeServer& server, TransportEvents& events) : server_(server), events_(events) {}

  void Connect(const ServerLogin& login) override {
    server_.requests.push_back("login " + login.user);
    events_.HostResolved();
    if (server_.refuse_login) {
      events_.ConnectionFailed();
      throw Exception("530 Login incorrect.\r\n");
    }
    connected_ = true;
    events_.Connected();
  }
  void StartSession() override {}
  void Disconnect() override {
    if (!connected_) return;
    server_.requests.push_back("quit");
    connected_ = false;
    events_.Disconnected();
  }
  void ListNames() override {
    server_.requests.push_back("list");
    for (const auto& [name, content] : server_.files) events_.NameListed(name);
    events_.TransferStopped();
  }
  void Download(const std::string& remote, const std::string& local_path, int64_t listed_size,
                const ByteSink& sink) override {
    server_.requests.push_back("get " + remote);
    const auto file = server_.files.find(remote);
    if (file == server_.files.end() || server_.failing.count(remote) > 0) {
      events_.TransferFailed(TransferCommand::kDownload);
      throw Exception("550 " + remote + ": No such file.\r\n");
    }
    const int64_t size = static_cast<int64_t>(file->second.size());
    total_ = server_.announced_size >= 0 ? server_.announced_size : size;
    if (total_ == 0 && listed_size >= 0) total_ = listed_size;
    received_ = 0;
    events_.TransferStarted();
    std::ofstream(local_path, std::ios::binary) << file->second;
    if (sink) sink(file->second);
    received_ = size;
    session_ += size;
    events_.BytesArrived();
    events_.TransferStopped();
    events_.TransferStopped();
    total_ = size;
  }
  int64_t BytesReceived() const override { return received_; }
  int64_t BytesTotal() const override { return total_; }
  int64_t SessionBytesReceived() const override { return session_; }

 private:
  FakeServer& server_;
  TransportEvents& events_;
  bool connected_ = false;
  int64_t received_ = 0;
  int64_t total_ = 0;
  int64_t session_ = 0;
};

inline TransportFactory FakeTransportFactory(FakeServer& server) {
  return [&server](TransportEvents& events, const NetworkSettings&) -> std::unique_ptr<Transport> {
    return std::make_unique<FakeTransport>(server, events);
  };
}

}  // namespace test_support
