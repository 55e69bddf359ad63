// (Linux) A libcurl multi handle driven by the calling thread's message loop: each
// socket libcurl uses gets a platform::FdWatch, its timer a
// platform::Timer, and both call curl_multi_socket_action. Transfers
// therefore progress whenever the loop is pumped (a blocking call's
// WaitForEvent, the window's idle loop), with no thread and no poll of
// libcurl's own.
//
// Everything here stays on the thread that made it. No callback that
// libcurl runs (the transfers' header and write callbacks, the sinks they
// feed) may pump messages: a watch of this loop would then re-enter
// libcurl, which it does not allow.
#pragma once

#include <curl/curl.h>

#include <functional>
#include <map>
#include <memory>

#include "platform/event_loop.h"

class CurlMultiLoop {
 public:
  // Called once libcurl finished a transfer, outside libcurl, its handle
  // already removed from the multi handle.
  using Done = std::function<void(CURLcode result)>;

  CurlMultiLoop();
  ~CurlMultiLoop();
  CurlMultiLoop(const CurlMultiLoop&) = delete;
  CurlMultiLoop& operator=(const CurlMultiLoop&) = delete;

  // HTTP/2 streams share one connection; HTTP/1.1 opens up to `limit`
  // keep-alive connections to the server.
  void SetConnectionLimit(long limit);
  // Starts `easy`; `done` runs when it ends. Throws Exception when libcurl
  // refuses the handle.
  void Add(CURL* easy, Done done);
  // Stops `easy` without its Done; nothing when it is not running.
  void Remove(CURL* easy);
  // Lets a paused transfer go on (curl_easy_pause), outside libcurl.
  void Resume(CURL* easy);

 private:
  static int OnSocket(CURL* easy, curl_socket_t socket, int what, void* self, void* socket_data);
  static int OnTimer(CURLM* multi, long timeout_ms, void* self);
  void Act(curl_socket_t socket, int events);
  // Hands the finished transfers to their Done.
  void CollectFinished();

  CURLM* multi_;
  std::map<curl_socket_t, std::unique_ptr<platform::FdWatch>> watches_;
  platform::Timer timer_;
  std::map<CURL*, Done> running_;
};
