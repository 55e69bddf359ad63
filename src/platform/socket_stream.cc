// The parts of StreamSocket that are the same on every system: the
// selection of events, arming them again, and turning the watch's
// readiness into WinSock's notifications.
#include "platform/socket_stream.h"

#include <cstring>

#include "platform/socket_errors.h"
#include "platform/socket_internal.h"

namespace platform {

sockaddr_storage ToSockaddr(const SocketEndpoint& endpoint, socklen_t& length) {
  sockaddr_storage storage{};
  if (endpoint.address.IsIpv6()) {
    auto* address = reinterpret_cast<sockaddr_in6*>(&storage);
    address->sin6_family = AF_INET6;
    address->sin6_port = htons(endpoint.port);
    std::memcpy(&address->sin6_addr, endpoint.address.bytes.data(), 16);
    length = sizeof(sockaddr_in6);
  } else {
    auto* address = reinterpret_cast<sockaddr_in*>(&storage);
    address->sin_family = AF_INET;
    address->sin_port = htons(endpoint.port);
    std::memcpy(&address->sin_addr, endpoint.address.bytes.data(), 4);
    length = sizeof(sockaddr_in);
  }
  return storage;
}

SocketEndpoint FromSockaddr(const sockaddr_storage& storage) {
  SocketEndpoint endpoint;
  if (storage.ss_family == AF_INET6) {
    const auto* address = reinterpret_cast<const sockaddr_in6*>(&storage);
    endpoint.address.family = AddressFamily::kIpv6;
    std::memcpy(endpoint.address.bytes.data(), &address->sin6_addr, 16);
    endpoint.port = ntohs(address->sin6_port);
  } else {
    const auto* address = reinterpret_cast<const sockaddr_in*>(&storage);
    std::memcpy(endpoint.address.bytes.data(), &address->sin_addr, 4);
    endpoint.port = ntohs(address->sin_port);
  }
  return endpoint;
}

StreamSocket::StreamSocket() = default;

StreamSocket::~StreamSocket() { Close(); }

bool StreamSocket::Open(bool reset_on_close) {
  Close();
  reset_on_close_ = reset_on_close;
  fd_ = OpenDescriptor(AddressFamily::kIpv4);
  return fd_ >= 0;
}

bool StreamSocket::Close() {
  StopWatch();
  *alive_ = false;
  alive_ = std::make_shared<bool>(true);
  notify_ = nullptr;
  selected_ = armed_ = 0;
  listening_ = connected_ = false;
  race_.reset();
  if (fd_ < 0) return true;
  int fd = fd_;
  fd_ = -1;
  return CloseSocketDescriptor(fd) ? true : Fail();
}

void StreamSocket::Select(unsigned events, Notify notify) {
  notify_ = std::move(notify);
  selected_ = events;
  armed_ = events;
  UpdateWatch();
}

bool StreamSocket::BindAndListen(AddressFamily family, uint16_t port, int backlog) {
  CloseDescriptor();
  fd_ = OpenDescriptor(family);
  if (fd_ < 0) return false;
  SocketEndpoint any;
  any.address.family = family;
  any.port = port;
  socklen_t length = 0;
  sockaddr_storage address = ToSockaddr(any, length);
  if (bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0) return Fail();
  if (listen(fd_, backlog) != 0) return Fail();
  listening_ = true;
  UpdateWatch();
  return true;
}

void StreamSocket::Arm(unsigned event) {
  if ((selected_ & event) == 0 || (armed_ & event) != 0) return;
  armed_ |= event;
  UpdateWatch();
}

void StreamSocket::UpdateWatch() {
  unsigned conditions = 0;
  if (fd_ >= 0 && notify_) {
    if (listening_) {
      if (armed_ & kFdAccept) conditions |= POLLIN;
    } else if (connected_) {
      if (armed_ & kFdRead) conditions |= POLLIN;
      if (armed_ & kFdClose) conditions |= POLLRDHUP;
    }
  }
  if (conditions == watched_conditions_) return;
  watched_conditions_ = conditions;
  if (source_ == nullptr) {
    if (conditions == 0) return;
    source_ = NewWatch(fd_);
  }
  SetWatchConditions(source_, conditions);
}

void StreamSocket::StopWatch() {
  if (source_ == nullptr) return;
  DestroyWatch(source_);
  source_ = nullptr;
  watched_conditions_ = 0;
}

void StreamSocket::Dispatch(void* source, unsigned revents) {
  if (source != source_) {
    if (race_) AttemptAnswered(source);
    return;
  }
  struct Posted {
    unsigned event;
    int error;
  };
  Posted posted[2];
  int count = 0;
  bool failed = (revents & (POLLERR | POLLHUP)) != 0;
  if (listening_) {
    if ((armed_ & kFdAccept) && (revents & POLLIN || failed)) {
      armed_ &= ~kFdAccept;
      posted[count++] = {kFdAccept, failed ? PendingSocketError(fd_) : 0};
    }
  } else if (connected_) {
    if ((armed_ & kFdRead) && (revents & POLLIN)) {
      armed_ &= ~kFdRead;
      posted[count++] = {kFdRead, 0};
    }
    if ((armed_ & kFdClose) && (revents & (POLLRDHUP | POLLHUP | POLLERR))) {
      armed_ &= ~kFdClose;
      posted[count++] = {kFdClose, PendingSocketError(fd_)};
    }
  }
  if (count == 0) {
    // A condition nobody is armed for (a hang-up after kFdClose went out):
    // drop the descriptor from the poll set rather than wake again.
    armed_ &= ~(kFdRead | kFdClose);
  }
  UpdateWatch();
  if (count == 0) LeavePollSetIfIdle();
  std::shared_ptr<bool> alive = alive_;
  Notify notify = notify_;
  for (int i = 0; i < count && *alive; ++i) notify(posted[i].event, posted[i].error);
}

}  // namespace platform
