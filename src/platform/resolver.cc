#include "platform/resolver.h"

#include <atomic>
#include <thread>

#include "platform/event_loop.h"
#include "platform/socket_errors.h"
#include "platform/system_resolver.h"

namespace platform {

struct HostLookup::Pending {
  std::atomic<bool> canceled{false};
};

namespace {

HostResolver& ReplacedResolver() {
  static HostResolver resolver;
  return resolver;
}

bool LooksLikeHostName(const std::string& name) {
  if (name.empty() || name.size() > 253) return false;
  for (unsigned char c : name) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
              c == '_' || c == '.';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

HostResolver ReplaceHostResolver(HostResolver resolver) {
  HostResolver previous = std::move(ReplacedResolver());
  ReplacedResolver() = std::move(resolver);
  return previous;
}

std::vector<IpAddress> InterleaveFamilies(const std::vector<IpAddress>& addresses) {
  if (addresses.empty()) return {};
  const AddressFamily first = addresses.front().family;
  std::vector<IpAddress> leading, other;
  for (const IpAddress& address : addresses) (address.family == first ? leading : other).push_back(address);
  std::vector<IpAddress> ordered;
  for (size_t i = 0; i < leading.size() || i < other.size(); ++i) {
    if (i < leading.size()) ordered.push_back(leading[i]);
    if (i < other.size()) ordered.push_back(other[i]);
  }
  return ordered;
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
  auto deliver = [pending, done = std::move(done), origin = MessageLoopRef::Current()](
                     int error, std::vector<IpAddress> addresses) {
    origin.Post([pending, done, error, addresses = std::move(addresses)] {
      if (!pending->canceled) done(error, addresses);
    });
  };
  if (!LooksLikeHostName(name)) {
    deliver(kWsaHostNotFound, {});
    return;
  }
  HostResolver resolve = ReplacedResolver() ? ReplacedResolver() : HostResolver(&SystemResolve);
  // A lookup blocks for as long as the resolver takes, so it runs on a
  // thread of its own; the answer comes back through the message loop.
  std::thread([name, deliver, resolve] {
    std::vector<IpAddress> found;
    int error = resolve(name, found);
    if (error == 0 && found.empty()) error = kWsaHostNotFound;
    deliver(error, error == 0 ? InterleaveFamilies(found) : std::vector<IpAddress>{});
  }).detach();
}

}  // namespace platform
