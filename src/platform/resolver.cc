#include "platform/resolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <atomic>
#include <thread>

#include "platform/event_loop.h"

namespace platform {

struct HostLookup::Pending {
  std::atomic<bool> canceled{false};
};

namespace {

bool LooksLikeHostName(const std::string& name) {
  if (name.empty() || name.size() > 253) return false;
  for (unsigned char c : name) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
              c == '_' || c == '.';
    if (!ok) return false;
  }
  return true;
}

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

bool ParseDottedAddress(const std::string& text, uint32_t& address) {
  in_addr parsed{};
  if (inet_aton(text.c_str(), &parsed) == 0) return false;
  address = ntohl(parsed.s_addr);
  return true;
}

HostLookup::~HostLookup() { Cancel(); }

void HostLookup::Cancel() {
  if (pending_) pending_->canceled = true;
  pending_.reset();
}

void HostLookup::Start(const std::string& name, Done done) {
  Cancel();
  auto pending = std::make_shared<Pending>();
  pending_ = pending;
  // The answer goes back to the loop of the thread that asked.
  auto deliver = [pending, done = std::move(done), origin = MessageLoopRef::Current()](int error, uint32_t address) {
    origin.Post([pending, done, error, address] {
      if (!pending->canceled) done(error, address);
    });
  };
  if (!LooksLikeHostName(name)) {
    deliver(11001, 0);
    return;
  }
  // getaddrinfo blocks for as long as the resolver takes, so it runs on a
  // thread of its own; the answer comes back through the message loop.
  std::thread([name, deliver] {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    int error = getaddrinfo(name.c_str(), nullptr, &hints, &result);
    uint32_t address = 0;
    if (error == 0 && result != nullptr) {
      address = ntohl(reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr.s_addr);
    } else if (error == 0) {
      error = EAI_NONAME;
    }
    if (result != nullptr) freeaddrinfo(result);
    deliver(WinSockErrorFromLookup(error), address);
  }).detach();
}

}  // namespace platform
