#include "platform/event_loop.h"

#include <winsock2.h>
// After windows.h (through winsock2.h), which it needs.
#include <timeapi.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <mutex>
#include <vector>

#include "platform/windows_api.h"
#include "platform/windows_loop.h"

namespace platform {

using Clock = std::chrono::steady_clock;

struct LoopSocketEntry {
  SOCKET socket;
  std::function<void(short)> ready;
  short conditions = 0;
  bool peer_closed = false;  // FD_CLOSE came: sticky, as the closed state is
  bool removed = false;
};

namespace {

struct TimerEntry {
  Timer* owner;
  std::chrono::milliseconds interval;
  Clock::time_point due;
  std::function<void()> tick;
  bool removed = false;
};

// One thread's loop: posted messages (from any thread), timers and
// sockets (from the owning thread only), waited for together with the
// thread's window messages.
struct Loop {
  Loop()
      : wake(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
        sockets_signalled(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    // The loops' short waits and timers (2 ms) would otherwise last a whole
    // scheduler tick (about 16 ms). Once per process; Windows ends it with
    // the process.
    static const bool fine_timer_resolution = timeBeginPeriod(1) == TIMERR_NOERROR;
    (void)fine_timer_resolution;
  }
  ~Loop() {
    CloseHandle(wake);
    CloseHandle(sockets_signalled);
  }

  HANDLE wake;               // set by Post
  HANDLE sockets_signalled;  // every socket's network events are selected onto it
  std::mutex mutex;
  std::deque<std::function<void()>> posted;  // under mutex
  bool closed = false;                       // under mutex: messages posted from now on are dropped
  std::vector<std::shared_ptr<TimerEntry>> timers;
  std::vector<std::shared_ptr<LoopSocketEntry>> sockets;
};

std::shared_ptr<Loop>& DefaultLoop() {
  static std::shared_ptr<Loop> loop = std::make_shared<Loop>();
  return loop;
}

thread_local std::shared_ptr<Loop> thread_loop;

Loop& Here() { return thread_loop ? *thread_loop : *DefaultLoop(); }

std::shared_ptr<Loop> HereShared() { return thread_loop ? thread_loop : DefaultLoop(); }

constexpr long kNetworkEvents = FD_READ | FD_WRITE | FD_ACCEPT | FD_CONNECT | FD_CLOSE;

// Learns which sockets the peer closed since the last look; the other
// network events are read as levels by WSAPoll.
void CollectNetworkEvents(Loop& loop) {
  for (const std::shared_ptr<LoopSocketEntry>& entry : loop.sockets) {
    WSANETWORKEVENTS events{};
    if (WSAEnumNetworkEvents(entry->socket, nullptr, &events) == 0 && (events.lNetworkEvents & FD_CLOSE) != 0)
      entry->peer_closed = true;
  }
}

bool RunPosted(Loop& loop) {
  std::deque<std::function<void()>> batch;
  {
    std::lock_guard<std::mutex> lock(loop.mutex);
    batch.swap(loop.posted);
  }
  for (std::function<void()>& message : batch) message();
  return !batch.empty();
}

bool RunWindowMessages() {
  bool ran = false;
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
    ran = true;
  }
  return ran;
}

bool RunDueTimers(Loop& loop) {
  const Clock::time_point now = Clock::now();
  std::vector<std::shared_ptr<TimerEntry>> due;
  for (const std::shared_ptr<TimerEntry>& timer : loop.timers)
    if (timer->due <= now) due.push_back(timer);
  for (const std::shared_ptr<TimerEntry>& timer : due) {
    if (timer->removed) continue;
    timer->due = Clock::now() + timer->interval;
    // The tick may stop or destroy its timer: run a copy.
    const std::function<void()> tick = timer->tick;
    tick();
  }
  return !due.empty();
}

// Each socket's conditions that hold now, without waiting.
std::vector<std::pair<std::shared_ptr<LoopSocketEntry>, short>> ReadySockets(Loop& loop) {
  std::vector<std::shared_ptr<LoopSocketEntry>> asked;
  std::vector<WSAPOLLFD> polls;
  for (const std::shared_ptr<LoopSocketEntry>& entry : loop.sockets) {
    if (entry->conditions == 0) continue;
    asked.push_back(entry);
    polls.push_back({entry->socket, static_cast<short>(entry->conditions & (POLLIN | POLLOUT)), 0});
  }
  std::vector<std::pair<std::shared_ptr<LoopSocketEntry>, short>> ready;
  if (polls.empty()) return ready;
  if (WSAPoll(polls.data(), static_cast<ULONG>(polls.size()), 0) < 0) return ready;
  for (size_t i = 0; i < asked.size(); ++i) {
    short revents = polls[i].revents;
    if (asked[i]->peer_closed) revents |= kPollPeerClosed;
    const short wanted = static_cast<short>(asked[i]->conditions | POLLHUP | POLLERR);
    if ((revents & wanted) != 0) ready.emplace_back(asked[i], revents);
  }
  return ready;
}

bool RunReadySockets(Loop& loop) {
  const auto ready = ReadySockets(loop);
  for (const auto& [entry, revents] : ready) {
    if (entry->removed || entry->conditions == 0) continue;
    const std::function<void(short)> callback = entry->ready;
    callback(revents);
  }
  return !ready.empty();
}

// Runs what is ready now; true when anything ran.
bool DispatchReady(Loop& loop) {
  if (WaitForSingleObject(loop.sockets_signalled, 0) == WAIT_OBJECT_0) CollectNetworkEvents(loop);
  bool ran = RunPosted(loop);
  ran |= RunWindowMessages();
  ran |= RunDueTimers(loop);
  ran |= RunReadySockets(loop);
  return ran;
}

bool AnythingReady(Loop& loop) {
  {
    std::lock_guard<std::mutex> lock(loop.mutex);
    if (!loop.posted.empty()) return true;
  }
  const Clock::time_point now = Clock::now();
  for (const std::shared_ptr<TimerEntry>& timer : loop.timers)
    if (timer->due <= now) return true;
  return !ReadySockets(loop).empty();
}

}  // namespace

void EnsureWinsock() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}

LoopSocketWatch::LoopSocketWatch(SOCKET socket, std::function<void(short revents)> ready)
    : entry_(std::make_shared<LoopSocketEntry>()) {
  entry_->socket = socket;
  entry_->ready = std::move(ready);
  Loop& loop = Here();
  WSAEventSelect(socket, loop.sockets_signalled, kNetworkEvents);
  loop.sockets.push_back(entry_);
}

LoopSocketWatch::~LoopSocketWatch() {
  entry_->removed = true;
  Loop& loop = Here();
  WSAEventSelect(entry_->socket, nullptr, 0);
  std::erase(loop.sockets, entry_);
}

void LoopSocketWatch::SetConditions(short conditions) { entry_->conditions = conditions; }

short LoopSocketWatch::Conditions() const { return entry_->conditions; }

MessageLoopRef MessageLoopRef::Current() {
  MessageLoopRef loop;
  loop.context_ = HereShared();
  return loop;
}

void MessageLoopRef::Post(std::function<void()> message) const {
  auto* loop = static_cast<Loop*>(context_.get());
  {
    std::lock_guard<std::mutex> lock(loop->mutex);
    if (loop->closed) return;
    loop->posted.push_back(std::move(message));
  }
  SetEvent(loop->wake);
}

ThreadMessageLoop::ThreadMessageLoop() {
  auto loop = std::make_shared<Loop>();
  thread_loop = loop;
  context_ = loop.get();
}

ThreadMessageLoop::~ThreadMessageLoop() {
  {
    std::lock_guard<std::mutex> lock(thread_loop->mutex);
    thread_loop->closed = true;
    thread_loop->posted.clear();
  }
  thread_loop.reset();
}

void ProcessMessages() {
  Loop& loop = Here();
  while (DispatchReady(loop)) {
  }
}

void WaitForEvent(int max_ms) {
  Loop& loop = Here();
  if (!AnythingReady(loop)) {
    auto timeout = std::chrono::milliseconds(max_ms < 0 ? 0 : max_ms);
    const Clock::time_point now = Clock::now();
    for (const std::shared_ptr<TimerEntry>& timer : loop.timers)
      timeout = std::min(timeout, std::chrono::ceil<std::chrono::milliseconds>(timer->due - now));
    const HANDLE handles[] = {loop.wake, loop.sockets_signalled};
    const DWORD woke = MsgWaitForMultipleObjectsEx(2, handles, static_cast<DWORD>(std::max<long long>(0, timeout.count())),
                                                   QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    // The wait took the sockets' signal: look at their events now.
    if (woke == WAIT_OBJECT_0 + 1) CollectNetworkEvents(loop);
  }
  ProcessMessages();
}

void PostMessage(std::function<void()> message) { MessageLoopRef::Current().Post(std::move(message)); }

Timer::~Timer() { Stop(); }

void Timer::Start(unsigned interval_ms, std::function<void()> tick) {
  Stop();
  tick_ = std::move(tick);
  auto entry = std::make_shared<TimerEntry>();
  entry->owner = this;
  entry->interval = std::chrono::milliseconds(interval_ms);
  entry->due = Clock::now() + entry->interval;
  entry->tick = tick_;
  Here().timers.push_back(entry);
  source_ = entry.get();
}

void Timer::Stop() {
  if (source_ == nullptr) return;
  Loop& loop = Here();
  auto* entry = static_cast<TimerEntry*>(source_);
  entry->removed = true;
  std::erase_if(loop.timers, [entry](const std::shared_ptr<TimerEntry>& timer) { return timer.get() == entry; });
  source_ = nullptr;
}

}  // namespace platform
