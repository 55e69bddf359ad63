#include <arpa/inet.h>

#include "platform/socket_internal.h"

namespace platform {

bool ParseIpv4Text(const std::string& text, uint32_t& host_order) {
  in_addr v4{};
  if (inet_aton(text.c_str(), &v4) == 0) return false;
  host_order = ntohl(v4.s_addr);
  return true;
}

}  // namespace platform
