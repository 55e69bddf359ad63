// A scripted FTP server for exact-exchange tests: it takes one client
// connection on a free loopback port and runs the test's script on a thread
// of its own, so the client under test can block and pump messages on the
// test's thread meanwhile. Every line the client sends is recorded.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace test_support {

// What a script can do with its one client. Every wait gives up after
// 10 s with a std::runtime_error, which FtpPeer reports as the script's error.
class FtpPeerSession {
 public:
  // The next line from the client without its CR LF, recorded; "" when the
  // client closed the connection.
  std::string ReadCommand();
  // Reads one command and answers it with `reply` (sent as given).
  std::string Reply(const std::string& reply);
  void Send(const std::string& bytes);
  // Sends the pieces one by one with delay_ms between them, so the client
  // gets them in separate segments.
  void SendPieces(const std::vector<std::string>& pieces, int delay_ms);
  // Sends `bytes` in pieces of `piece` bytes, delay_ms apart, on the control
  // or the data connection, until all are sent or the client has closed
  // that connection; the bytes sent.
  int64_t TrickleControl(const std::string& bytes, size_t piece, int delay_ms);
  int64_t TrickleData(const std::string& bytes, size_t piece, int delay_ms);
  void Sleep(int ms);
  // Closes the control connection gracefully, or with a reset when abrupt.
  void CloseControl(bool abrupt = false);

  // Data connections. After the client's "PASV" has been read: listens on
  // a fresh loopback port and answers 227 with it and `address` (which the
  // client must not use: it connects where the control connection goes).
  void ReplyPasv(const std::string& address = "127,0,0,1");
  // Reads the client's "PASV" or "PORT " and accepts it (227 or 200);
  // returns the command. Any other command is the script's error.
  std::string AnswerDataSetup();
  // Connects to the address of the last "PORT " read, or accepts the
  // client's connection to the "PASV" port.
  void OpenData();
  void SendData(const std::string& bytes);
  // Sends chunk after chunk until the client closes the data connection;
  // the bytes the client's system took.
  int64_t SendDataUntilClosed(const std::string& chunk);
  // Closes the data connection gracefully, or with a reset when abrupt.
  void CloseData(bool abrupt = false);
  // Waits until the client closes the data connection.
  void WaitDataClosed();

 private:
  friend class FtpPeer;
  int control_ = -1;
  int data_ = -1;
  int pasv_listener_ = -1;
  std::string port_address_;  // "h1,h2,h3,h4,p1,p2" of the last PORT
  std::string pending_;       // bytes read past the last command
  std::mutex* mutex_ = nullptr;
  std::vector<std::string>* commands_ = nullptr;
};

class FtpPeer {
 public:
  using Script = std::function<void(FtpPeerSession&)>;

  // Starts listening and runs `script` for the first client. After the
  // script, the peer answers further commands ("221" to QUIT, "500" to the
  // rest) until the client closes.
  explicit FtpPeer(Script script);
  // Stops the peer (closing its sockets) and joins its thread.
  ~FtpPeer();
  FtpPeer(const FtpPeer&) = delete;
  FtpPeer& operator=(const FtpPeer&) = delete;

  int port() const { return port_; }
  // Waits until the client has closed (at most 10 s) and returns what the
  // script reported wrong, "" when nothing.
  std::string Finish();
  // The command lines received so far, without CR LF.
  std::vector<std::string> Commands() const;

 private:
  void Run(Script script);

  int listener_ = -1;
  int port_ = 0;
  bool stopping_ = false;  // the test is ending: leave the client
  bool done_ = false;      // the peer's thread has finished
  mutable std::mutex mutex_;
  std::condition_variable done_changed_;
  std::vector<std::string> commands_;
  std::string error_;
  std::thread thread_;
};

}  // namespace test_support
