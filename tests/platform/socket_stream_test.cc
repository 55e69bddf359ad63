// StreamSocket's notifications on the message loop, driven one loop
// iteration at a time so that what an iteration leaves behind shows.
#include "platform/socket_stream.h"

#include <arpa/inet.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/socket_errors.h"
#include "support/loopback_listeners.h"

namespace {

// Runs one iteration of the default loop: waits at most wait_ms for a
// source, dispatches what is ready. Returns whether anything was dispatched.
bool IterateOnce(int wait_ms) {
  GMainContext* context = g_main_context_default();
  if (!g_main_context_acquire(context)) return false;
  gint priority = 0;
  g_main_context_prepare(context, &priority);
  std::vector<GPollFD> fds(16);
  gint timeout = 0;
  const gint count = g_main_context_query(context, priority, &timeout, fds.data(), static_cast<gint>(fds.size()));
  g_poll(fds.data(), count, wait_ms);
  const bool ready = g_main_context_check(context, priority, fds.data(), count);
  if (ready) g_main_context_dispatch(context);
  g_main_context_release(context);
  return ready;
}

// How many of the descriptors the loop polls are ready at once (its own
// wake-up descriptor among them).
int ReadyDescriptors() {
  GMainContext* context = g_main_context_default();
  if (!g_main_context_acquire(context)) return -1;
  gint priority = 0;
  g_main_context_prepare(context, &priority);
  std::vector<GPollFD> fds(16);
  gint timeout = 0;
  const gint count = g_main_context_query(context, priority, &timeout, fds.data(), static_cast<gint>(fds.size()));
  const int ready = g_poll(fds.data(), count, 0);
  g_main_context_check(context, priority, fds.data(), count);
  g_main_context_release(context);
  return ready;
}

platform::IpAddress Loopback(bool ipv6) {
  platform::IpAddress address;
  EXPECT_TRUE(platform::ParseNumericAddress(ipv6 ? "::1" : "127.0.0.1", address));
  return address;
}

}  // namespace

TEST(StreamSocketTest, ConnectRacesTheAddressesAndKeepsTheFirstConnection) {
  // The address tried first is one that never answers or one that refuses;
  // the other family's loopback listens at the same port.
  for (const bool first_answers_not : {true, false}) {
    for (const bool first_ipv6 : {true, false}) {
      SCOPED_TRACE(std::string(first_answers_not ? "unanswered " : "refused ") + (first_ipv6 ? "::1" : "127.0.0.1"));
      const test_support::LoopbackListener listener(!first_ipv6);
      const int port = listener.port();
      std::unique_ptr<test_support::UnansweredPort> unanswered;
      if (first_answers_not) unanswered = std::make_unique<test_support::UnansweredPort>(first_ipv6, port);

      platform::StreamSocket socket;
      ASSERT_TRUE(socket.Open(false));
      std::vector<std::pair<unsigned, int>> events;
      socket.Select(platform::kFdConnect, [&](unsigned event, int error) { events.emplace_back(event, error); });
      ASSERT_TRUE(socket.Connect({Loopback(first_ipv6), Loopback(!first_ipv6)}, static_cast<uint16_t>(port)));
      // Well inside the minutes an unanswered attempt would wait on its own.
      for (int i = 0; i < 100 && events.empty(); ++i) IterateOnce(50);
      ASSERT_EQ(events, (std::vector<std::pair<unsigned, int>>{{platform::kFdConnect, 0}}));
      EXPECT_EQ(socket.Peer().address, Loopback(!first_ipv6));
      EXPECT_EQ(socket.Peer().port, port);
      const int peer = listener.Accept();
      ASSERT_GE(peer, 0);
      ASSERT_EQ(send(peer, "x", 1, 0), 1);
      char byte = 0;
      for (int i = 0; i < 100 && socket.Receive(&byte, 1, false) != 1; ++i) IterateOnce(50);
      EXPECT_EQ(byte, 'x') << "the socket kept is not the one connected";
      close(peer);
    }
  }
}

TEST(StreamSocketTest, ConnectFailingEverywhereNotifiesOnceWithTheError) {
  const int port = std::make_unique<test_support::LoopbackListener>(false)->port();  // closed again at once
  platform::StreamSocket socket;
  ASSERT_TRUE(socket.Open(false));
  std::vector<std::pair<unsigned, int>> events;
  socket.Select(platform::kFdConnect | platform::kFdRead,
                [&](unsigned event, int error) { events.emplace_back(event, error); });
  // A refusal comes at once or on the loop, as the system has it.
  const bool under_way = socket.Connect({Loopback(true), Loopback(false)}, static_cast<uint16_t>(port));
  if (!under_way) {
    EXPECT_EQ(platform::LastSocketError(), 10061);
  }
  for (int i = 0; i < 100 && under_way && events.empty(); ++i) IterateOnce(50);
  for (int i = 0; i < 5; ++i) IterateOnce(50);  // room for a further notification
  using Events = std::vector<std::pair<unsigned, int>>;
  const Events expected = under_way ? Events{{platform::kFdConnect, 10061}} : Events{};
  EXPECT_EQ(events, expected);
  EXPECT_TRUE(socket.IsOpen());
  EXPECT_TRUE(socket.Close());
}

TEST(StreamSocketTest, NotificationsLeaveTheLoopNothingToWakeFor) {
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);

  platform::StreamSocket socket;
  ASSERT_TRUE(socket.Open(false));
  std::vector<unsigned> events;
  socket.Select(platform::kFdRead | platform::kFdConnect, [&](unsigned event, int) { events.push_back(event); });
  socket.Connect({platform::IpAddress::V4(INADDR_LOOPBACK), ntohs(address.sin_port)});
  const int peer = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  ASSERT_GE(peer, 0);
  for (int i = 0; i < 100 && events.empty(); ++i) IterateOnce(50);
  ASSERT_EQ(events, std::vector<unsigned>{platform::kFdConnect});
  EXPECT_EQ(ReadyDescriptors(), 0) << "dispatching the connect notification left the loop a wake-up";

  ASSERT_EQ(send(peer, "x", 1, 0), 1);
  for (int i = 0; i < 100 && events.size() < 2; ++i) IterateOnce(50);
  ASSERT_EQ(events, (std::vector<unsigned>{platform::kFdConnect, platform::kFdRead}));
  // The byte stays unread and kFdRead waits to be re-enabled: the socket
  // asks for nothing, and the next iteration must not be woken for it.
  EXPECT_EQ(ReadyDescriptors(), 0) << "the read notification left the loop a wake-up";
  char byte = 0;
  ASSERT_EQ(socket.Receive(&byte, 1, false), 1);
  EXPECT_EQ(ReadyDescriptors(), 0) << "re-enabling kFdRead left the loop a wake-up";

  SCOPED_TRACE("a reset while nothing is asked wakes the loop once, not for good");
  ASSERT_EQ(send(peer, "y", 1, 0), 1);
  for (int i = 0; i < 100 && events.size() < 3; ++i) IterateOnce(50);
  ASSERT_EQ(events.size(), 3u);
  const linger reset{1, 0};
  ASSERT_EQ(setsockopt(peer, SOL_SOCKET, SO_LINGER, &reset, sizeof reset), 0);
  close(peer);
  IterateOnce(1000);  // the hang-up
  IterateOnce(0);     // the loop's own wake-up as the socket leaves the poll set
  EXPECT_EQ(ReadyDescriptors(), 0) << "the hang-up keeps waking the loop";
  EXPECT_EQ(events.size(), 3u);

  socket.Close();
  close(listener);
}
