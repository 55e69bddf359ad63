#include "http/http_urls.h"

#include "platform/ip_address.h"

namespace {

bool Unreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

}  // namespace

std::string ServerFolderUrl(const ServerLogin& login) {
  std::string url = login.scheme + "://";
  url += login.port > 0 ? platform::JoinHostPort(login.host, std::to_string(login.port))
                        : (login.host.find(':') != std::string::npos ? "[" + login.host + "]" : login.host);
  url += login.base_path.empty() ? "/" : login.base_path;
  return url;
}

std::string EscapeRemotePath(const std::string& remote) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  size_t start = remote.find_first_not_of('/');
  std::string path;
  if (start == std::string::npos) return path;
  for (size_t i = start; i < remote.size(); ++i) {
    const auto c = static_cast<unsigned char>(remote[i]);
    if (c == '/' || Unreserved(c)) {
      path += static_cast<char>(c);
    } else {
      path += '%';
      path += kHex[c >> 4];
      path += kHex[c & 15];
    }
  }
  return path;
}
