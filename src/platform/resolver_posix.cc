#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

#include "platform/system_resolver.h"

namespace platform {

namespace {

int WinSockErrorFromLookup(int gai_error) {
  switch (gai_error) {
    case 0: return 0;
    case EAI_AGAIN: return 11002;
    case EAI_FAIL: return 11003;
#ifdef EAI_NODATA
    case EAI_NODATA: return 11004;
#endif
    case EAI_ADDRFAMILY: return 11004;
    default: return 11001;
  }
}

}  // namespace

int SystemResolve(const std::string& name, std::vector<IpAddress>& found) {
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
  if (error == 0 && found.empty()) error = EAI_NONAME;
  return WinSockErrorFromLookup(error);
}

}  // namespace platform
