#include "platform/ip_address.h"

#include <algorithm>
#include <cstring>

#include "platform/socket_internal.h"

namespace platform {

IpAddress IpAddress::V4(uint32_t host_order) {
  IpAddress address;
  const uint32_t network = htonl(host_order);
  std::memcpy(address.bytes.data(), &network, 4);
  return address;
}

bool IpAddress::IsUnspecified() const {
  const auto end = bytes.begin() + (IsIpv6() ? 16 : 4);
  return std::all_of(bytes.begin(), end, [](uint8_t b) { return b == 0; });
}

bool ParseNumericAddress(const std::string& text, IpAddress& address) {
  if (uint32_t v4 = 0; ParseIpv4Text(text, v4)) {
    address = IpAddress::V4(v4);
    return true;
  }
  std::string bare = text;
  if (bare.size() > 2 && bare.front() == '[' && bare.back() == ']') bare = bare.substr(1, bare.size() - 2);
  in6_addr v6{};
  if (inet_pton(AF_INET6, bare.c_str(), &v6) != 1) return false;
  address = IpAddress{};
  address.family = AddressFamily::kIpv6;
  std::memcpy(address.bytes.data(), &v6, 16);
  return true;
}

std::string FormatAddress(const IpAddress& address) {
  char text[INET6_ADDRSTRLEN] = {};
  inet_ntop(address.IsIpv6() ? AF_INET6 : AF_INET, address.bytes.data(), text, sizeof(text));
  return text;
}

std::string JoinHostPort(const std::string& host, const std::string& port) {
  const bool bracket = host.find(':') != std::string::npos && host.front() != '[';
  return (bracket ? "[" + host + "]" : host) + ":" + port;
}

}  // namespace platform
