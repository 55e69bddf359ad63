#include "support/ftp_servers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "support/loopback_listeners.h"
#include "support/server_process.h"

namespace test_support {

namespace {

// True when a connection to the port is greeted with "220" within the wait.
bool Greets(Loopback loopback, int port, int wait_ms) {
  const int fd = ConnectToLoopback(loopback == Loopback::kIpv6, port);
  bool greeted = false;
  if (fd >= 0) {
    pollfd entry{fd, POLLIN, 0};
    char buffer[4];
    greeted = poll(&entry, 1, wait_ms) == 1 && recv(fd, buffer, 3, MSG_WAITALL) == 3 &&
              std::string(buffer, 3) == "220";
    close(fd);
  }
  return greeted;
}

void WriteVsftpdConfig(const std::string& path, int port, const std::string& root, const std::string& work_dir,
                       bool passive, int connections_per_address, Loopback loopback) {
  std::filesystem::create_directories(work_dir + "/empty");
  std::ofstream config(path);
  config << (loopback == Loopback::kIpv6 ? "listen=NO\nlisten_ipv6=YES\nlisten_address6=::1\n"
                                         : "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\n")
         << "background=NO\nlisten_port=" << port << "\n"
         << "anonymous_enable=YES\nlocal_enable=NO\nwrite_enable=NO\n"
         << "anon_root=" << root << "\nno_anon_password=YES\n"
         << "secure_chroot_dir=" << work_dir << "/empty\n"
         << "pasv_enable=" << (passive ? "YES" : "NO") << "\nport_enable=YES\nconnect_from_port_20=NO\n"
         << "pasv_min_port=0\npasv_max_port=0\n"
         // Sandboxing that needs privileges a container may not grant.
         << "seccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\n"
         // Transfers noted in vsftpd's own format, in its log (FtpServer::Downloads).
         << "xferlog_enable=YES\nxferlog_std_format=NO\nvsftpd_log_file=" << work_dir << "/vsftpd.log\n"
         << "max_per_ip=" << connections_per_address << "\n";
}

}  // namespace

const char* FtpServerName(FtpServerKind kind) {
  return kind == FtpServerKind::kPyftpdlib ? "pyftpdlib" : "vsftpd";
}

const char* LoopbackHost(Loopback loopback) { return loopback == Loopback::kIpv6 ? "::1" : "127.0.0.1"; }

const char* LoopbackHostField(Loopback loopback) { return loopback == Loopback::kIpv6 ? "[::1]" : "127.0.0.1"; }

const char* LoopbackName(Loopback loopback) { return loopback == Loopback::kIpv6 ? "IPv6" : "IPv4"; }

std::unique_ptr<FtpServer> FtpServer::Start(FtpServerKind kind, const std::string& root_dir, const std::string& user,
                                            const std::string& password, Passive passive,
                                            int connections_per_address, Loopback loopback) {
  if (kind == FtpServerKind::kVsftpd && !user.empty()) {
    throw std::runtime_error("vsftpd is started for anonymous logins only");
  }
  if (kind == FtpServerKind::kVsftpd && passive == Passive::kExtendedRefused) {
    throw std::runtime_error("vsftpd cannot refuse EPSV alone");
  }
  const std::string host = LoopbackHost(loopback);
  std::string root = std::filesystem::absolute(root_dir).string();
  // The anonymous session runs as an unprivileged user inside the root.
  chmod(root.c_str(), 0755);

  // A port found free may be taken before the server binds it; try again then.
  for (int attempt = 0;; ++attempt) {
    int port = LoopbackListener(loopback == Loopback::kIpv6).port();
    // Each attempt has a folder of its own, removed with its server object.
    std::string pattern = (std::filesystem::temp_directory_path() / "ftp_server.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    std::unique_ptr<FtpServer> server(
        new FtpServer(kind, port, pattern, loopback, std::filesystem::canonical(root).string() + "/"));
    std::string log = pattern + "/server.log";
    std::vector<std::string> args;
    if (kind == FtpServerKind::kPyftpdlib) {
      // Debian's interpreter: the python3 first on PATH may lack Debian's modules.
      args = {"/usr/bin/python3", "-m", "pyftpdlib", "-i", host, "-p", std::to_string(port), "-d", root};
      if (passive != Passive::kOffered || connections_per_address > 0) {
        // The module's own command line, with the handler's PASV replaced
        // or the server's limit set.
        args = {"/usr/bin/python3", "-c",
                std::string("import runpy, sys\n"
                            "from pyftpdlib.handlers import FTPHandler\n"
                            "from pyftpdlib.servers import FTPServer\n") +
                    (passive == Passive::kRefused
                         ? "FTPHandler.ftp_PASV = lambda self, line: self.respond('502 Passive mode refused.')\n"
                         : "") +
                    (passive != Passive::kOffered
                         ? "FTPHandler.ftp_EPSV = lambda self, line: self.respond('502 Passive mode refused.')\n"
                         : "") +
                    "FTPServer.max_cons_per_ip = " + std::to_string(connections_per_address) +
                    "\n"
                    "sys.argv[0] = 'pyftpdlib'\n"
                    "runpy.run_module('pyftpdlib', run_name='__main__')\n",
                "-i", host, "-p", std::to_string(port), "-d", root};
      }
      if (!user.empty()) args.insert(args.end(), {"-u", user, "-P", password});
    } else {
      std::string config = pattern + "/vsftpd.conf";
      WriteVsftpdConfig(config, port, root, pattern, passive == Passive::kOffered, connections_per_address,
                        loopback);
      args = {"/usr/sbin/vsftpd", config};
    }
    server->pid_ = StartServerProcess(args, log);

    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      if (ServerProcessEnded(server->pid_)) {
        server->pid_ = -1;
        break;
      }
      if (Greets(loopback, port, 1000)) return server;
      // The server is still starting; poll its port again shortly.
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::string text = ReadServerLog(log) + ReadServerLog(pattern + "/vsftpd.log");
    server->Stop();
    if (attempt == 2) {
      throw std::runtime_error(std::string(FtpServerName(kind)) + " did not start: " + text);
    }
  }
}

FtpServer::~FtpServer() {
  Stop();
  std::error_code ignored;
  std::filesystem::remove_all(work_dir_, ignored);
}

void FtpServer::Stop() {
  if (pid_ <= 0) return;
  StopServerProcess(pid_);
  pid_ = -1;
}

std::string FtpServer::LineFields(const std::string& user) const {
  return std::string(LoopbackHostField(loopback_)) + " " + std::to_string(port_) + " 10000 " + user;
}

std::string FtpServer::Name() const { return std::string(LoopbackHostField(loopback_)) + ":" + std::to_string(port_); }

std::vector<std::string> FtpServer::Downloads() const {
  std::vector<std::string> names;
  std::istringstream log(ReadServerLog(work_dir_ + (kind_ == FtpServerKind::kVsftpd ? "/vsftpd.log" : "/server.log")));
  for (std::string line; std::getline(log, line);) {
    std::string name;
    if (kind_ == FtpServerKind::kVsftpd) {
      // ... [ftp] OK DOWNLOAD: Client "127.0.0.1", "/name", 6 bytes, ...
      if (line.find(" DOWNLOAD: Client \"") == std::string::npos) continue;
      const size_t start = line.find(", \"/");
      const size_t end = start == std::string::npos ? start : line.find("\", ", start + 4);
      if (end == std::string::npos) continue;
      name = line.substr(start + 4, end - start - 4);
    } else {
      // ... RETR /served/folder/name completed=1 bytes=6 seconds=0.001
      const size_t start = line.find("] RETR ");
      const size_t end = start == std::string::npos ? start : line.rfind(" completed=");
      if (end == std::string::npos || end < start) continue;
      name = line.substr(start + 7, end - start - 7);
      if (name.rfind(root_, 0) == 0) name.erase(0, root_.size());
    }
    names.push_back(name);
  }
  return names;
}

}  // namespace test_support
