// Numeric IP addresses of either family, as the socket layer takes them
// and as texts show them.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace platform {

enum class AddressFamily { kIpv4, kIpv6 };

// An IPv4 or IPv6 address; bytes in network order, an IPv4 address in the
// first four.
struct IpAddress {
  AddressFamily family = AddressFamily::kIpv4;
  std::array<uint8_t, 16> bytes{};

  // An IPv4 address from its host-byte-order number (INADDR_LOOPBACK...).
  static IpAddress V4(uint32_t host_order);
  bool IsIpv6() const { return family == AddressFamily::kIpv6; }
  // 0.0.0.0 or ::, which names no peer.
  bool IsUnspecified() const;
  bool operator==(const IpAddress&) const = default;
};

// An address and a port (host byte order).
struct SocketEndpoint {
  IpAddress address;
  uint16_t port = 0;
};

// Parses a numeric address: a dotted IPv4 address the way inet_addr takes
// it ("192.168.0.1", also the short and octal forms), or an IPv6 address,
// bare ("::1") or in brackets ("[::1]"). False for anything else,
// including a name.
bool ParseNumericAddress(const std::string& text, IpAddress& address);

// "127.0.0.1" or "::1" (the shortest IPv6 form, no brackets).
std::string FormatAddress(const IpAddress& address);

// "host:port", with an IPv6 address in brackets ("[::1]:2121") so that its
// colons cannot be taken for the port's. A host already in brackets stays
// as it is.
std::string JoinHostPort(const std::string& host, const std::string& port);

}  // namespace platform
