// StreamSocket::Connect: a race of connection attempts, one address after
// another with a head start each, the first connection made winning. A
// host with addresses of both families then costs a player whose network
// lacks one family a head start, not a time-out.
#include "platform/socket_errors.h"
#include "platform/socket_internal.h"

namespace platform {

StreamSocket::ConnectRace::~ConnectRace() {
  for (Attempt& attempt : running) {
    DestroyWatch(attempt.watch);
    CloseSocketDescriptor(attempt.fd);
  }
  if (failed_fd >= 0) CloseSocketDescriptor(failed_fd);
}

bool StreamSocket::Connect(const std::vector<IpAddress>& addresses, uint16_t port) {
  CloseDescriptor();
  race_ = std::make_unique<ConnectRace>();
  for (const IpAddress& address : addresses) race_->addresses.push_back({address, port});
  race_->head_start.SetInterval(static_cast<unsigned>(kConnectHeadStart.count()));
  race_->head_start.SetOnTimer([this] { HeadStartPassed(); });
  if (!StartNextAttempt()) {
    const int error = race_->last_error;
    EndRace(race_->failed_fd, error, false);
    SetLastSocketError(error);
    return false;
  }
  race_->head_start.SetEnabled(race_->next < race_->addresses.size());
  return true;
}

bool StreamSocket::StartNextAttempt() {
  ConnectRace& race = *race_;
  while (race.next < race.addresses.size()) {
    const SocketEndpoint remote = race.addresses[race.next++];
    const int fd = OpenDescriptor(remote.address.family);
    if (fd < 0) {
      race.last_error = LastSocketError();
      continue;
    }
    if (const int error = StartConnecting(fd, remote); error != 0) {
      race.last_error = error;
      if (race.failed_fd >= 0) CloseSocketDescriptor(race.failed_fd);
      race.failed_fd = fd;
      continue;
    }
    // Writable once connected (at once or later), or failed: either way
    // the answer comes on the loop.
    void* watch = NewWatch(fd);
    SetWatchConditions(watch, POLLOUT);
    race.running.push_back({fd, remote, watch});
    return true;
  }
  return !race.running.empty();
}

void StreamSocket::HeadStartPassed() {
  if (!race_) return;
  const bool under_way = StartNextAttempt();
  if (race_->next >= race_->addresses.size()) race_->head_start.SetEnabled(false);
  if (!under_way) EndRace(race_->failed_fd, race_->last_error, true);
}

void StreamSocket::AttemptAnswered(void* watch) {
  ConnectRace& race = *race_;
  size_t index = 0;
  while (race.running[index].watch != watch) ++index;
  const ConnectRace::Attempt attempt = race.running[index];
  race.running.erase(race.running.begin() + static_cast<long>(index));
  const int fd = attempt.fd;
  const int error = PendingSocketError(fd);
  if (error == 0) {
    // The attempt's watch goes on as the socket's: changing what it asks
    // wakes nobody, where a fresh watch would wake the loop.
    peer_ = attempt.remote;
    source_ = watch;
    watched_conditions_ = POLLOUT;
    EndRace(fd, 0, true);
    return;
  }
  DestroyWatch(watch);
  race.last_error = error;
  if (race.failed_fd >= 0) CloseSocketDescriptor(race.failed_fd);
  race.failed_fd = fd;
  // A failure hands the turn on at once, with a fresh head start.
  race.head_start.SetEnabled(false);
  const bool under_way = StartNextAttempt();
  race.head_start.SetEnabled(race.next < race.addresses.size());
  if (!under_way) EndRace(race.failed_fd, race.last_error, true);
}

void StreamSocket::EndRace(int fd, int error, bool notify) {
  if (fd == race_->failed_fd) race_->failed_fd = -1;
  race_.reset();  // drops the other attempts
  fd_ = fd;
  connected_ = error == 0;
  UpdateWatch();
  if (!notify || (armed_ & kFdConnect) == 0) return;
  armed_ &= ~kFdConnect;
  std::shared_ptr<bool> alive = alive_;
  Notify deliver = notify_;
  if (*alive && deliver) deliver(kFdConnect, error);
}

}  // namespace platform
