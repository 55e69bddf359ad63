// Name lookup for the socket layer: dotted addresses parsed at once, names
// looked up on a worker thread with the answer delivered on the message
// loop, the way WSAAsyncGetHostByName posts its completion message.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

// Parses a dotted IPv4 address the way inet_addr does ("192.168.0.1",
// also the short and octal forms). True with the address in host byte
// order; false for anything else, including a name.
bool ParseDottedAddress(const std::string& text, uint32_t& address);

// One asynchronous lookup of an IPv4 address for a host name.
class HostLookup {
 public:
  // error is 0 with the first IPv4 address (host byte order) on success,
  // else a WinSock number (11001 host not found, 11002 try again, 11003
  // non-recoverable, 11004 no address of the asked type).
  using Done = std::function<void(int error, uint32_t address)>;

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
