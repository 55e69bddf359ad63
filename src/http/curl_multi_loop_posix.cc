#include "http/curl_multi_loop.h"

#include <mutex>
#include <utility>

#include "platform/errors.h"

namespace {

void InitializeCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

CurlMultiLoop::CurlMultiLoop() {
  InitializeCurlOnce();
  multi_ = curl_multi_init();
  if (multi_ == nullptr) throw Exception("libcurl could not make a multi handle");
  curl_multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, &CurlMultiLoop::OnSocket);
  curl_multi_setopt(multi_, CURLMOPT_SOCKETDATA, this);
  curl_multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, &CurlMultiLoop::OnTimer);
  curl_multi_setopt(multi_, CURLMOPT_TIMERDATA, this);
  curl_multi_setopt(multi_, CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
}

CurlMultiLoop::~CurlMultiLoop() {
  for (const auto& [easy, done] : running_) curl_multi_remove_handle(multi_, easy);
  running_.clear();
  curl_multi_cleanup(multi_);
  watches_.clear();
}

void CurlMultiLoop::SetConnectionLimit(long limit) {
  curl_multi_setopt(multi_, CURLMOPT_MAX_HOST_CONNECTIONS, limit);
}

void CurlMultiLoop::Add(CURL* easy, Done done) {
  if (const CURLMcode code = curl_multi_add_handle(multi_, easy); code != CURLM_OK)
    throw Exception(std::string("libcurl refused a transfer: ") + curl_multi_strerror(code));
  running_[easy] = std::move(done);
}

void CurlMultiLoop::Remove(CURL* easy) {
  if (running_.erase(easy) == 0) return;
  curl_multi_remove_handle(multi_, easy);
}

void CurlMultiLoop::Resume(CURL* easy) {
  if (running_.count(easy) == 0) return;
  curl_easy_pause(easy, CURLPAUSE_CONT);
  CollectFinished();
}

int CurlMultiLoop::OnSocket(CURL*, curl_socket_t socket, int what, void* self, void*) {
  auto& loop = *static_cast<CurlMultiLoop*>(self);
  if (what == CURL_POLL_REMOVE) {
    // Safe inside the watch's own callback: platform::FdWatch allows it.
    loop.watches_.erase(socket);
    return 0;
  }
  const bool read = what == CURL_POLL_IN || what == CURL_POLL_INOUT;
  const bool write = what == CURL_POLL_OUT || what == CURL_POLL_INOUT;
  std::unique_ptr<platform::FdWatch>& watch = loop.watches_[socket];
  if (watch) {
    watch->Update(read, write);
  } else {
    watch = std::make_unique<platform::FdWatch>();
    watch->Start(static_cast<int>(socket), read, write, [&loop, socket](platform::FdReadiness ready) {
      int events = 0;
      if (ready.readable) events |= CURL_CSELECT_IN;
      if (ready.writable) events |= CURL_CSELECT_OUT;
      if (ready.hangup) events |= CURL_CSELECT_ERR;
      loop.Act(socket, events);
    });
  }
  return 0;
}

int CurlMultiLoop::OnTimer(CURLM*, long timeout_ms, void* self) {
  auto& loop = *static_cast<CurlMultiLoop*>(self);
  if (timeout_ms < 0) {
    loop.timer_.Stop();
    return 0;
  }
  // libcurl may not be called back from here; the timer runs it from the loop.
  loop.timer_.Start(static_cast<unsigned>(timeout_ms), [&loop] {
    loop.timer_.Stop();
    loop.Act(CURL_SOCKET_TIMEOUT, 0);
  });
  return 0;
}

void CurlMultiLoop::Act(curl_socket_t socket, int events) {
  int running = 0;
  curl_multi_socket_action(multi_, socket, events, &running);
  CollectFinished();
}

void CurlMultiLoop::CollectFinished() {
  int queued = 0;
  while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
    if (message->msg != CURLMSG_DONE) continue;
    CURL* easy = message->easy_handle;
    const CURLcode result = message->data.result;
    const auto found = running_.find(easy);
    if (found == running_.end()) continue;
    Done done = std::move(found->second);
    running_.erase(found);
    curl_multi_remove_handle(multi_, easy);
    // May add or remove transfers; a message of one removed is gone with it.
    done(result);
  }
}
