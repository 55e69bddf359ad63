// Name lookup for the socket layer: names looked up on a worker thread with
// the answer delivered on the message loop, the way WSAAsyncGetHostByName
// posts its completion message. Numeric addresses need no lookup
// (ip_address.h).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ip_address.h"

namespace platform {

// What a lookup asks: 0 with the addresses of `name` (both families), or
// a WinSock number (11001 host not found, 11002 try again, 11003
// non-recoverable, 11004 no address of the asked type).
using HostResolver = std::function<int(const std::string& name, std::vector<IpAddress>& found)>;

// Replaces what the lookups started from now on ask (an empty one: the
// system's resolver, the default) and returns the one it replaces. For
// tests that need a name with answers no host file gives.
HostResolver ReplaceHostResolver(HostResolver resolver);

// The order to try addresses in: the family of the first one first, then
// alternating between the families, each family in its own order (so a
// host whose first family is unreachable costs one attempt, not all).
std::vector<IpAddress> InterleaveFamilies(const std::vector<IpAddress>& addresses);

// One asynchronous lookup of the addresses of a host name.
class HostLookup {
 public:
  // error is 0 with at least one address, in the order to try them
  // (InterleaveFamilies), else a WinSock number as HostResolver gives.
  using Done = std::function<void(int error, std::vector<IpAddress> addresses)>;

  HostLookup() = default;
  // Cancels a running lookup: its answer is then dropped.
  ~HostLookup();
  HostLookup(const HostLookup&) = delete;
  HostLookup& operator=(const HostLookup&) = delete;

  // Starts looking up `name` (cancelling any earlier lookup of this
  // object); `done` runs once, on the message loop, never inside Start.
  // A name with characters no host name may carry (spaces, controls,
  // anything outside letters, digits, '-', '_' and '.') fails with 11001
  // without asking the resolver.
  void Start(const std::string& name, Done done);
  void Cancel();

 private:
  struct Pending;
  std::shared_ptr<Pending> pending_;
};

}  // namespace platform
