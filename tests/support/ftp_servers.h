// Real FTP servers from Debian for interoperability tests and benchmarks:
// started in the foreground on a free port of 127.0.0.1 (or ::1), serving
// a folder read-only, stopped by Stop() or the destructor.
//
//   auto server = test_support::FtpServer::Start(test_support::FtpServerKind::kVsftpd, root);
//   client.Host = "127.0.0.1"; client.Port = server->port();
//   client.UserID = "anonymous"; ...
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "support/update_server.h"

namespace test_support {

enum class FtpServerKind {
  kPyftpdlib,  // python3-pyftpdlib, run by Debian's /usr/bin/python3
  kVsftpd,     // vsftpd with a generated configuration
};

// "pyftpdlib" or "vsftpd", for test names and messages.
const char* FtpServerName(FtpServerKind kind);

// The loopback address a server listens on.
enum class Loopback { kIpv4, kIpv6 };
// "127.0.0.1" or "::1".
const char* LoopbackHost(Loopback loopback);
// The host as a server line or a URL names it: "127.0.0.1" or "[::1]".
const char* LoopbackHostField(Loopback loopback);
// "IPv4" or "IPv6", for test names.
const char* LoopbackName(Loopback loopback);

class FtpServer : public UpdateServer {
 public:
  // A user name every server started here refuses (530).
  static constexpr const char* kRefusedUser = "refused-user";

  // Whether the server takes "PASV" and "EPSV" (kRefused: vsftpd answers
  // 550, pyftpdlib 502; "PORT " and "EPRT " work either way).
  // kExtendedRefused (pyftpdlib only): "EPSV" answered 502, "PASV" taken.
  enum class Passive { kOffered, kRefused, kExtendedRefused };

  // Starts a server on root_dir (which must exist) and waits until it
  // greets, on `loopback`. With an empty user the login is anonymous: user "anonymous",
  // any password (vsftpd answers "USER anonymous" with 230 at once). With a
  // user (pyftpdlib only) that user and password are the only login, and
  // "anonymous" is refused. Throws std::runtime_error with the server's log
  // when it does not come up within 10 s. connections_per_address above 0
  // makes the server refuse ("421") more connections from one address.
  static std::unique_ptr<FtpServer> Start(FtpServerKind kind, const std::string& root_dir,
                                          const std::string& user = "", const std::string& password = "",
                                          Passive passive = Passive::kOffered, int connections_per_address = 0,
                                          Loopback loopback = Loopback::kIpv4);

  ~FtpServer() override;
  FtpServer(const FtpServer&) = delete;
  FtpServer& operator=(const FtpServer&) = delete;

  int port() const { return port_; }
  // Where it listens: "127.0.0.1" or "::1".
  const char* host() const { return LoopbackHost(loopback_); }
  FtpServerKind kind() const { return kind_; }
  std::string LineFields(const std::string& user) const override;
  std::string Name() const override;
  std::string MissingFileReply() const override { return "550"; }
  void Stop() override;
  // The files clients have asked for so far ("RETR"), whole or cut off.
  // The server notes a transfer a moment after its last reply: wait for
  // the names a test expects.
  std::vector<std::string> Downloads() const override;

 private:
  FtpServer(FtpServerKind kind, int port, std::string work_dir, Loopback loopback, std::string root)
      : kind_(kind), port_(port), work_dir_(work_dir), loopback_(loopback), root_(root) {}

  FtpServerKind kind_;
  int port_;
  std::string work_dir_;  // configuration, log and the empty chroot folder
  Loopback loopback_;
  std::string root_;  // the served folder, a real path ending in '/'
  pid_t pid_ = -1;
};

}  // namespace test_support
