// The FTP client's reading of replies through a fake server on loopback:
// the input is split at NUL bytes into the greeting and the replies the
// server gives, one per command of the client, in order; each "NLST" and
// "RETR " gets its reply, then that reply's bytes over the data connection
// (to the client's "PORT " address), then the next piece as the final
// reply. The client logs in, lists in active mode, and downloads in active
// and passive mode (which falls back to "PORT " when a piece is no "227").
// Exercises multi-line replies, byte counts and the passive reply.
// Run in a network namespace of its own (scripts/fuzz.sh does), since a
// passive reply names any port.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "ftp/ftp_client.h"
#include "platform/errors.h"
#include "scratch_folder.h"

namespace {

constexpr int kWaitMs = 100;  // the client's TimeOut and StallTime are shorter still

void SendAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t sent = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (sent <= 0) return;
    done += static_cast<size_t>(sent);
  }
}

// One line from the client, "" when it closed or stayed silent.
std::string ReadLine(int fd, std::string& pending) {
  for (;;) {
    const size_t end = pending.find('\n');
    if (end != std::string::npos) {
      std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, kWaitMs) <= 0) return "";
    char buffer[512];
    const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0) return "";
    pending.append(buffer, static_cast<size_t>(got));
  }
}

// The address of "PORT h1,h2,h3,h4,p1,p2" with the host forced to loopback.
bool ParsePort(const std::string& command, sockaddr_in& address) {
  unsigned h[4], p[2];
  if (std::sscanf(command.c_str() + 5, "%u,%u,%u,%u,%u,%u", &h[0], &h[1], &h[2], &h[3], &p[0], &p[1]) != 6)
    return false;
  address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>((p[0] & 255) * 256 + (p[1] & 255)));
  return true;
}

void SendOverData(const sockaddr_in& address, const std::string& bytes) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) SendAll(fd, bytes);
  close(fd);
}

void Serve(int listener, std::vector<std::string> pieces) {
  pollfd ready{listener, POLLIN, 0};
  if (poll(&ready, 1, kWaitMs) <= 0) return;
  const int control = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  if (control < 0) return;
  size_t next = 0;
  auto piece = [&]() -> std::string { return next < pieces.size() ? pieces[next++] : std::string(); };
  SendAll(control, piece());
  std::string pending;
  sockaddr_in port{};
  bool have_port = false;
  while (next < pieces.size()) {
    const std::string command = ReadLine(control, pending);
    if (command.empty()) break;
    if (command.rfind("PORT ", 0) == 0) have_port = ParsePort(command, port);
    const std::string reply = piece();
    SendAll(control, reply);
    if ((command == "NLST" || command.rfind("RETR ", 0) == 0) && have_port) {
      SendOverData(port, reply);
      SendAll(control, piece());
    }
  }
  // Whatever comes last, a client waiting for a data connection gets one.
  if (have_port) SendOverData(port, "");
  close(control);
}

std::vector<std::string> Pieces(const uint8_t* data, size_t size) {
  std::vector<std::string> pieces(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      pieces.emplace_back();
    } else {
      pieces.back() += static_cast<char>(data[i]);
    }
  }
  return pieces;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fuzz::ScratchFolder scratch;
  scratch.Empty();
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 1) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(listener);
    return 0;
  }
  std::thread server(Serve, listener, Pieces(data, size));
  {
    TFtpClient client;
    client.Host = "127.0.0.1";
    client.Port = ntohs(address.sin_port);
    client.TimeOut = 40;
    client.StallTime = 40;
    client.Passive = false;
    client.UserID = "player";
    client.Password = "secret";
    try {
      client.Connect();
      client.Nlist();
    } catch (const Exception&) {
      // Refusals, closes and timeouts are reported by exceptions.
    }
    for (const bool passive : {false, true}) {
      if (!client.Connected()) break;
      client.Passive = passive;
      try {
        client.Download(passive ? "b.bin" : "a.bin", scratch.path() + (passive ? "b.bin" : "a.bin"));
        if (client.BytesTotal < 0) abort();
      } catch (const Exception&) {
      }
    }
  }
  server.join();
  close(listener);
  return 0;
}
