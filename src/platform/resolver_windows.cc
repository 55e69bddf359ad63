#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

#include "platform/system_resolver.h"
#include "platform/windows_loop.h"

namespace platform {

// getaddrinfo reports WinSock's own numbers here (11001 and the rest).
int SystemResolve(const std::string& name, std::vector<IpAddress>& found) {
  EnsureWinsock();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  int error = getaddrinfo(name.c_str(), nullptr, &hints, &result);
  for (const addrinfo* entry = result; error == 0 && entry != nullptr; entry = entry->ai_next) {
    IpAddress address;
    if (entry->ai_family == AF_INET) {
      std::memcpy(address.bytes.data(), &reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr, 4);
    } else if (entry->ai_family == AF_INET6) {
      address.family = AddressFamily::kIpv6;
      std::memcpy(address.bytes.data(), &reinterpret_cast<const sockaddr_in6*>(entry->ai_addr)->sin6_addr, 16);
    } else {
      continue;
    }
    found.push_back(address);
  }
  if (result != nullptr) freeaddrinfo(result);
  if (error == 0 && found.empty()) error = WSAHOST_NOT_FOUND;
  return error;
}

}  // namespace platform
