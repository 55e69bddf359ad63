// The logged-in client of the transfer tests and the peer's side of its
// login.
#pragma once

#include <string>
#include <vector>

#include "ftp/ftp_client.h"
#include "support/ftp_peer.h"

namespace ftp_test {

using Lines = std::vector<std::string>;

// The peer's side of TransferClient's login: greeting, USER, TYPE I.
inline void Login(test_support::FtpPeerSession& s) {
  s.Send("220 Hi\r\n");
  s.Reply("230 In\r\n");
  s.Reply("200 Type set\r\n");
}

// A logged-in client that records transfer events.
struct TransferClient {
  explicit TransferClient(const test_support::FtpPeer& peer) {
    client.Host = "127.0.0.1";
    client.Port = peer.port();
    client.UserID = "anonymous";
    client.OnTransactionStart = [this] { events.push_back("start " + std::to_string(client.BytesTotal)); };
    client.OnTransactionStop = [this] { events.push_back("stop"); };
    client.OnPacketRecvd = [this] { events.push_back("packet " + std::to_string(client.BytesRecvd())); };
    client.OnSuccess = [this](TCmdType type) { events.push_back("success " + std::to_string(type)); };
    client.OnListItem = [this](const std::string& item) { events.push_back("item " + item); };
    client.Connect();
  }
  TFtpClient client;
  Lines events;
};

}  // namespace ftp_test
