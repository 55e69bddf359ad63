#include "support/web_server.h"

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "support/loopback_listeners.h"
#include "support/server_process.h"

namespace test_support {

namespace {

// The access log's line per request: "GET 206 1048576 /Data/Big%20File.bin".
constexpr const char* kAccessLogFormat = "'$request_method $status $body_bytes_sent $request_uri'";

void WriteNginxConfig(const std::string& path, const std::string& work_dir, const std::string& root, int port,
                      Loopback loopback, const WebServerOptions& options) {
  const bool https = options.protocol == WebProtocol::kHttps;
  std::ofstream config(path);
  // One process in the foreground, which keeps the rights it was started with.
  config << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
         << "pid " << work_dir << "nginx.pid;\nerror_log " << work_dir << "error.log info;\n"
         << "events { worker_connections 512; }\n"
         << "http {\n";
  for (const char* temporary : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
    config << "  " << temporary << "_temp_path " << work_dir << "temp/" << temporary << ";\n";
  config << "  default_type application/octet-stream;\n  sendfile on;\n"
         << "  log_format downloads " << kAccessLogFormat << ";\n"
         << "  access_log " << work_dir << "access.log downloads;\n"
         << "  server {\n    listen " << LoopbackHostField(loopback) << ":" << port
         << (https ? " ssl" : "") << (https && options.http2 ? " http2" : "") << ";\n"
         << "    root " << root << ";\n";
  if (https) {
    const CertificateFiles files = TestCertificate(options.certificate);
    config << "    ssl_certificate " << files.certificate << ";\n    ssl_certificate_key " << files.key << ";\n";
  }
  if (options.ignore_ranges) config << "    max_ranges 0;\n";
  if (options.rate_limit_bps > 0) config << "    limit_rate " << options.rate_limit_bps << ";\n";
  config << options.extra_lines << "\n  }\n}\n";
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "%XX" sequences as the bytes they stand for; anything else as it is.
std::string Unescaped(const std::string& text) {
  std::string bytes;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      bytes += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      bytes += text[i];
    }
  }
  return bytes;
}

}  // namespace

std::string WebServerName(const WebServerOptions& options) {
  if (options.protocol == WebProtocol::kHttp) return "http";
  return options.http2 ? "https" : "https_h1";
}

std::unique_ptr<WebServer> WebServer::Start(const std::string& root_dir, const WebServerOptions& options,
                                            Loopback loopback) {
  const std::string root = std::filesystem::canonical(root_dir).string();
  // A port found free may be taken before nginx binds it; try again then.
  for (int attempt = 0;; ++attempt) {
    const int port = LoopbackListener(loopback == Loopback::kIpv6).port();
    // Each attempt has a folder of its own, removed with its server object.
    std::string pattern = (std::filesystem::temp_directory_path() / "web_server.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    const std::string work_dir = pattern + "/";
    std::unique_ptr<WebServer> server(new WebServer(options, port, work_dir, loopback));
    std::filesystem::create_directories(work_dir + "temp");
    WriteNginxConfig(work_dir + "nginx.conf", work_dir, root, port, loopback, options);
    server->pid_ = StartServerProcess({"/usr/sbin/nginx", "-p", work_dir, "-c", work_dir + "nginx.conf", "-e",
                                       work_dir + "error.log"},
                                      work_dir + "server.log");

    // nginx writes its pid file once its port is bound, so a connection
    // then reaches nginx and not whatever took the port first.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      if (ServerProcessEnded(server->pid_)) {
        server->pid_ = -1;
        break;
      }
      if (std::filesystem::exists(work_dir + "nginx.pid")) {
        const int fd = ConnectToLoopback(loopback == Loopback::kIpv6, port);
        if (fd >= 0) {
          close(fd);
          return server;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const std::string text = ReadServerLog(work_dir + "server.log") + ReadServerLog(work_dir + "error.log");
    server->Stop();
    if (attempt == 2) throw std::runtime_error("nginx did not start: " + text);
  }
}

WebServer::~WebServer() {
  Stop();
  std::error_code ignored;
  std::filesystem::remove_all(work_dir_, ignored);
}

void WebServer::Stop() {
  if (pid_ <= 0) return;
  StopServerProcess(pid_);
  pid_ = -1;
}

std::string WebServer::Url() const {
  return std::string(options_.protocol == WebProtocol::kHttps ? "https" : "http") + "://" +
         LoopbackHostField(loopback_) + ":" + std::to_string(port_) + "/";
}

std::string WebServer::LineFields(const std::string& user) const { return Url() + " 0 10000 " + user; }

std::string WebServer::CaFile() const { return options_.protocol == WebProtocol::kHttps ? TestCaFile() : ""; }

std::vector<WebRequest> WebServer::Requests() const {
  std::vector<WebRequest> requests;
  std::istringstream log(ReadServerLog(work_dir_ + "access.log"));
  for (std::string line; std::getline(log, line);) {
    std::istringstream fields(line);
    WebRequest request;
    std::string uri;
    if (!(fields >> request.method >> request.status >> request.body_bytes >> uri) || uri.empty() || uri[0] != '/')
      continue;
    request.path = Unescaped(uri.substr(1, uri.find('?') - 1));
    requests.push_back(request);
  }
  return requests;
}

std::vector<std::string> WebServer::Downloads() const {
  std::vector<std::string> names;
  for (const WebRequest& request : Requests()) {
    if (request.method == "GET" && !request.path.empty() && request.path.back() != '/') names.push_back(request.path);
  }
  return names;
}

}  // namespace test_support
