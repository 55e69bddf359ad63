#include <winsock2.h>

#include "platform/socket_internal.h"

namespace platform {

// inet_addr takes the same forms as inet_aton does elsewhere, but answers
// INADDR_NONE both for a failure and for the all-ones address.
bool ParseIpv4Text(const std::string& text, uint32_t& host_order) {
  const unsigned long address = inet_addr(text.c_str());
  if (address == INADDR_NONE && text != "255.255.255.255") return false;
  host_order = ntohl(address);
  return true;
}

}  // namespace platform
