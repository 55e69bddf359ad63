// The system's own name lookup, behind HostLookup. Internal to platform,
// a twin per system.
#pragma once

#include <string>
#include <vector>

#include "platform/ip_address.h"

namespace platform {

// Looks `name` up (blocking): 0 with `found` filled, else the WinSock number
// of the failure (11001 host not found, 11002 try again, 11003, 11004).
int SystemResolve(const std::string& name, std::vector<IpAddress>& found);

}  // namespace platform
