#include "support/ftp_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>

namespace test_support {

namespace {

constexpr int kWaitMs = 10000;

void WaitFor(int fd, short events) {
  pollfd entry{fd, events, 0};
  int ready = poll(&entry, 1, kWaitMs);
  if (ready <= 0) throw std::runtime_error("ftp peer: nothing happened within 10 s");
}

int ListenOnLoopback(int& port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(fd, 4) != 0) {
    throw std::runtime_error("ftp peer: cannot listen on loopback");
  }
  socklen_t length = sizeof(address);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(address.sin_port);
  return fd;
}

int AcceptOne(int listener) {
  WaitFor(listener, POLLIN);
  int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) throw std::runtime_error("ftp peer: accept failed");
  // Replies go out as written, not held back for the client's delayed ACK.
  int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
  return fd;
}

void SendAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t sent = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (sent <= 0) throw std::runtime_error("ftp peer: send failed");
    done += static_cast<size_t>(sent);
  }
}

int64_t Trickle(int fd, const std::string& bytes, size_t piece, int delay_ms) {
  size_t done = 0;
  while (done < bytes.size()) {
    if (done > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
    const size_t length = std::min(piece, bytes.size() - done);
    if (send(fd, bytes.data() + done, length, MSG_NOSIGNAL) != static_cast<ssize_t>(length)) break;
    done += length;
  }
  return static_cast<int64_t>(done);
}

void CloseWithReset(int& fd) {
  if (fd < 0) return;
  linger option{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &option, sizeof(option));
  close(fd);
  fd = -1;
}

}  // namespace

std::string FtpPeerSession::ReadCommand() {
  for (;;) {
    size_t end = pending_.find('\n');
    if (end != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.rfind("PORT ", 0) == 0) port_address_ = line.substr(5);
      std::lock_guard<std::mutex> lock(*mutex_);
      commands_->push_back(line);
      return line;
    }
    WaitFor(control_, POLLIN);
    char buffer[4096];
    ssize_t got = recv(control_, buffer, sizeof(buffer), 0);
    if (got <= 0) return "";
    pending_.append(buffer, static_cast<size_t>(got));
  }
}

std::string FtpPeerSession::Reply(const std::string& reply) {
  std::string command = ReadCommand();
  Send(reply);
  return command;
}

void FtpPeerSession::Send(const std::string& bytes) { SendAll(control_, bytes); }

void FtpPeerSession::SendPieces(const std::vector<std::string>& pieces, int delay_ms) {
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) Sleep(delay_ms);
    Send(pieces[i]);
  }
}

int64_t FtpPeerSession::TrickleControl(const std::string& bytes, size_t piece, int delay_ms) {
  return Trickle(control_, bytes, piece, delay_ms);
}

int64_t FtpPeerSession::TrickleData(const std::string& bytes, size_t piece, int delay_ms) {
  return Trickle(data_, bytes, piece, delay_ms);
}

void FtpPeerSession::Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void FtpPeerSession::CloseControl(bool abrupt) {
  if (abrupt) {
    CloseWithReset(control_);
  } else if (control_ >= 0) {
    close(control_);
    control_ = -1;
  }
}

void FtpPeerSession::ReplyPasv(const std::string& address) {
  if (pasv_listener_ >= 0) close(pasv_listener_);  // the last transfer never used it
  int port = 0;
  pasv_listener_ = ListenOnLoopback(port);
  Send("227 Entering Passive Mode (" + address + "," + std::to_string(port / 256) + "," + std::to_string(port % 256) +
       ").\r\n");
}

std::string FtpPeerSession::AnswerDataSetup() {
  std::string command = ReadCommand();
  if (command == "PASV") {
    ReplyPasv();
  } else if (command.rfind("PORT ", 0) == 0) {
    Send("200 PORT command successful.\r\n");
  } else {
    throw std::runtime_error("ftp peer: expected PASV or PORT, got \"" + command + "\"");
  }
  return command;
}

void FtpPeerSession::OpenData() {
  if (pasv_listener_ >= 0) {
    data_ = AcceptOne(pasv_listener_);
    close(pasv_listener_);
    pasv_listener_ = -1;
    return;
  }
  unsigned h1, h2, h3, h4, p1, p2;
  if (std::sscanf(port_address_.c_str(), "%u,%u,%u,%u,%u,%u", &h1, &h2, &h3, &h4, &p1, &p2) != 6) {
    throw std::runtime_error("ftp peer: no PORT address to connect to");
  }
  data_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl((h1 << 24) | (h2 << 16) | (h3 << 8) | h4);
  address.sin_port = htons(static_cast<uint16_t>(p1 * 256 + p2));
  if (connect(data_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    throw std::runtime_error("ftp peer: cannot connect to the PORT address " + port_address_);
  }
}

void FtpPeerSession::SendData(const std::string& bytes) { SendAll(data_, bytes); }

int64_t FtpPeerSession::SendDataUntilClosed(const std::string& chunk) {
  int64_t total = 0;
  for (;;) {
    WaitFor(data_, POLLOUT);
    ssize_t sent = send(data_, chunk.data(), chunk.size(), MSG_NOSIGNAL);
    if (sent <= 0) return total;
    total += sent;
  }
}

void FtpPeerSession::CloseData(bool abrupt) {
  if (abrupt) {
    CloseWithReset(data_);
  } else if (data_ >= 0) {
    close(data_);
    data_ = -1;
  }
}

void FtpPeerSession::WaitDataClosed() {
  char buffer[256];
  for (;;) {
    WaitFor(data_, POLLIN);
    if (recv(data_, buffer, sizeof(buffer), 0) <= 0) return;
  }
}

FtpPeer::FtpPeer(Script script) {
  listener_ = ListenOnLoopback(port_);
  thread_ = std::thread([this, script = std::move(script)] { Run(script); });
}

FtpPeer::~FtpPeer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  // Wakes a peer still waiting for its client.
  if (listener_ >= 0) shutdown(listener_, SHUT_RDWR);
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) close(listener_);
}

void FtpPeer::Run(Script script) {
  FtpPeerSession session;
  session.mutex_ = &mutex_;
  session.commands_ = &commands_;
  try {
    session.control_ = AcceptOne(listener_);
    script(session);
    // Whatever the client says next (QUIT, ABOR, ...) gets a plain answer
    // until it closes or the test ends.
    while (session.control_ >= 0) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) break;
      }
      pollfd entry{session.control_, POLLIN, 0};
      if (session.pending_.find('\n') == std::string::npos && poll(&entry, 1, 20) <= 0) continue;
      std::string command = session.ReadCommand();
      if (command.empty() && session.pending_.empty()) break;
      // A client that has read a stale reply as the answer may be gone
      // already; that is its right, not the script's failure.
      std::string answer = command.rfind("QUIT", 0) == 0 ? "221 Goodbye.\r\n" : "500 Unexpected command.\r\n";
      if (send(session.control_, answer.data(), answer.size(), MSG_NOSIGNAL) < 0) break;
    }
  } catch (const std::exception& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    error_ = error.what();
  }
  if (session.control_ >= 0) close(session.control_);
  if (session.data_ >= 0) close(session.data_);
  if (session.pasv_listener_ >= 0) close(session.pasv_listener_);
  std::lock_guard<std::mutex> lock(mutex_);
  done_ = true;
  done_changed_.notify_all();
}

std::string FtpPeer::Finish() {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!done_changed_.wait_for(lock, std::chrono::milliseconds(kWaitMs), [this] { return done_; })) {
      return "ftp peer: the client did not close within 10 s";
    }
  }
  if (thread_.joinable()) thread_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}

std::vector<std::string> FtpPeer::Commands() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return commands_;
}

}  // namespace test_support
