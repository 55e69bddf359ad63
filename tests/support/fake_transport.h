// A transport for the engine's tests that serves files from memory: the
// engine runs its check, update run and file check without a server.
// Events come in the order the FTP transport raises them.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "transport/transport.h"

namespace test_support {

// What the fake server holds and what it was asked; shared by every
// transport the factory makes, also on other threads (under `mutex`).
struct FakeServer {
  std::map<std::string, std::string> files;  // name -> content, listed in name order
  bool refuse_login = false;
  int logins_allowed = -1;             // logins accepted before "421" refusals; -1 = any
  std::set<std::string> failing;       // downloads that fail after starting
  std::set<std::string> failing_once;  // downloads whose first attempt fails
  // Downloads that break off, as a dropped connection does, once the file
  // holds this many bytes (what arrived stays in the local file).
  std::map<std::string, int64_t> cut_off_at;
  bool refuse_rest = false;            // downloads with resume start over
  bool lists_names = true;             // false: a server without a name listing (HasNameListing)
  // Downloads whose local file another program takes away once they have
  // arrived, putting the file's first third at the same path.
  std::set<std::string> replaced_when_received;
  // "login <user>", "list", "rest <offset>" (a resumed download, before its
  // get), "get <name>", "quit"
  std::vector<std::string> requests;
  int64_t bytes_served = 0;            // file bytes sent by every download
  int64_t announced_size = -1;         // size the "server" announces; -1 = the file's own
  std::set<std::string> held;          // downloads that wait until Release
  std::mutex mutex;
  std::condition_variable released;

  void Release(const std::string& name) {
    {
      std::lock_guard lock(mutex);
      held.erase(name);
    }
    released.notify_all();
  }

  // The requests so far (a copy taken under the mutex).
  std::vector<std::string> Requests() {
    std::lock_guard lock(mutex);
    return requests;
  }
};

class FakeTransport : public Transport {
 public:
  FakeTransport(FakeServer& server, TransportEvents& events) : server_(server), events_(events) {}

  void Connect(const ServerLogin& login) override {
    std::unique_lock lock(server_.mutex);
    server_.requests.push_back("login " + login.user);
    events_.HostResolved();
    if (server_.refuse_login) {
      events_.ConnectionFailed();
      throw Exception("530 Login incorrect.\r\n");
    }
    if (server_.logins_allowed == 0) {
      events_.ConnectionFailed();
      throw Exception("421 Too many connections from this address.\r\n");
    }
    if (server_.logins_allowed > 0) --server_.logins_allowed;
    lock.unlock();
    connected_ = true;
    events_.Connected();
  }
  void StartSession() override {}
  void Disconnect() override {
    if (!connected_) return;
    std::lock_guard lock(server_.mutex);
    server_.requests.push_back("quit");
    connected_ = false;
    events_.Disconnected();
  }
  bool HasNameListing() const override {
    std::lock_guard lock(server_.mutex);
    return server_.lists_names;
  }
  void ListNames() override {
    std::lock_guard lock(server_.mutex);
    if (!server_.lists_names) throw Exception("This server has no name listing");
    server_.requests.push_back("list");
    for (const auto& [name, content] : server_.files) events_.NameListed(name);
    events_.TransferStopped();
  }
  void Download(const std::string& remote, const std::string& local_path, int64_t listed_size,
                const ByteSink& sink, bool resume) override {
    file_.reset();
    const int64_t held = resume ? LocalSize(local_path) : 0;
    const int64_t bound = listed_size >= 0 ? listed_size : kUnlistedTransferLimit;
    std::unique_lock lock(server_.mutex);
    const int64_t offset = held > 0 && held < bound && !server_.refuse_rest ? held : 0;
    if (offset > 0) server_.requests.push_back("rest " + std::to_string(offset));
    server_.requests.push_back("get " + remote);
    server_.released.wait(lock, [&] { return server_.held.count(remote) == 0; });
    const auto file = server_.files.find(remote);
    if (file == server_.files.end() || server_.failing.count(remote) > 0 || server_.failing_once.erase(remote) > 0) {
      lock.unlock();
      events_.TransferFailed(TransferCommand::kDownload);
      throw EDownloadError(DownloadFailure::kRefused, "550 " + remote + ": No such file.\r\n");
    }
    const std::string content = file->second;
    lock.unlock();
    const int64_t size = static_cast<int64_t>(content.size());
    total_ = server_.announced_size >= 0 ? server_.announced_size : size;
    if (total_ == 0 && listed_size >= 0) total_ = listed_size;
    received_ = offset;
    events_.TransferStarted();
    std::string rest = content.substr(static_cast<size_t>(std::min(offset, size)));
    lock.lock();
    const auto cut = server_.cut_off_at.find(remote);
    const bool cut_off = cut != server_.cut_off_at.end() && cut->second < offset + static_cast<int64_t>(rest.size());
    if (cut_off) rest.resize(static_cast<size_t>(std::max<int64_t>(cut->second - offset, 0)));
    server_.bytes_served += static_cast<int64_t>(rest.size());
    lock.unlock();
    if (sink && offset > 0) Sink(sink, ReadLocal(local_path));
    std::optional<platform::FileIdentity> written;
    {
      std::ofstream file(local_path, std::ios::binary | (offset > 0 ? std::ios::app : std::ios::trunc));
      file << rest << std::flush;
      written = platform::IdentityOfFile(local_path);
      // While the file is still open, as a sweep of another run would: the
      // file received cannot give its inode to the one put in its place.
      if (Replaced(remote)) {
        std::remove(local_path.c_str());
        std::ofstream(local_path, std::ios::binary) << content.substr(0, content.size() / 3);
      }
    }
    if (sink) Sink(sink, rest);
    received_ = offset + static_cast<int64_t>(rest.size());
    session_ += static_cast<int64_t>(rest.size());
    events_.BytesArrived();
    if (cut_off) {
      total_ = received_;
      events_.TransferFailed(TransferCommand::kDownload);
      throw EDownloadError(DownloadFailure::kCutOff, "10054:Connection reset by peer");
    }
    events_.TransferStopped();
    total_ = received_;
    file_ = written;
  }
  std::optional<platform::FileIdentity> ReceivedFile() const override { return file_; }
  int64_t BytesReceived() const override { return received_; }
  int64_t BytesTotal() const override { return total_; }
  // Its downloads end before they return: there is never one to end.
  void Cancel() override {}
  int64_t SessionBytesReceived() const override { return session_; }

 private:
  bool Replaced(const std::string& remote) {
    std::lock_guard lock(server_.mutex);
    return server_.replaced_when_received.count(remote) > 0;
  }
  static int64_t LocalSize(const std::string& path) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    return file ? static_cast<int64_t>(file.tellg()) : -1;
  }
  // Hands `bytes` on as a real transport does: in a block the sink may keep.
  static void Sink(const ByteSink& sink, std::string bytes) {
    const auto block = std::make_shared<const std::string>(std::move(bytes));
    sink(*block, block);
  }
  static std::string ReadLocal(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
  }

  FakeServer& server_;
  TransportEvents& events_;
  bool connected_ = false;
  int64_t received_ = 0;
  int64_t total_ = 0;
  int64_t session_ = 0;
  std::optional<platform::FileIdentity> file_;
};

inline TransportFactory FakeTransportFactory(FakeServer& server) {
  return [&server](TransportEvents& events, const NetworkSettings&) -> std::unique_ptr<Transport> {
    return std::make_unique<FakeTransport>(server, events);
  };
}

}  // namespace test_support
