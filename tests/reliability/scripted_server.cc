#include "reliability/scripted_server.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <utility>

namespace reliability {
namespace {

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

void Retrieve(test_support::FtpPeerSession& s, const std::map<std::string, std::string>& files, ServerFault fault,
              const std::string& target, const std::string& name, size_t offset, ServedBytes* served,
              TransferGate* gate) {
  const auto file = files.find(name);
  const bool faulty = name == target;
  if (file == files.end() || (faulty && fault == ServerFault::kRefuseRetr)) {
    s.Send("550 " + name + ": No such file or directory.\r\n");
    return;
  }
  const std::string bytes = file->second.substr(std::min(offset, file->second.size()));
  auto send = [&](const std::string& part) {
    s.SendData(part);
    if (served != nullptr) (*served)[name] += part.size();
  };
  const std::string count = faulty && fault == ServerFault::kHugeByteCount ? "184467440737095516160000"
                                                                            : std::to_string(bytes.size());
  s.Send("150 Opening BINARY mode data connection for " + name + " (" + count + " bytes).\r\n");
  s.OpenData();
  if (faulty && fault == ServerFault::kStallMidTransfer) {
    send(bytes.substr(0, bytes.size() / 2));
    s.WaitDataClosed();
    return;
  }
  if (faulty && fault == ServerFault::kPauseMidTransfer) {
    send(bytes.substr(0, bytes.size() / 2));
    gate->PassWhenOpen();
    send(bytes.substr(bytes.size() / 2));
    s.CloseData();
    s.Send("226 Transfer complete.\r\n");
    return;
  }
  if (faulty && (fault == ServerFault::kResetMidTransfer || fault == ServerFault::kCloseMidTransfer)) {
    send(bytes.substr(0, bytes.size() / 2));
    const bool reset = fault == ServerFault::kResetMidTransfer;
    s.CloseData(reset);
    s.Send(reset ? "426 Connection reset; transfer aborted.\r\n" : "426 Connection closed; transfer aborted.\r\n");
    return;
  }
  send(faulty && fault == ServerFault::kShortTransfer ? bytes.substr(0, bytes.size() / 2) : bytes);
  if (faulty && fault == ServerFault::kPastListedSize) {
    const std::string block(64 * 1024, 'z');
    try {
      for (size_t sent = 0; sent < kEndlessDataCap; sent += block.size()) s.SendData(block);
    } catch (const std::runtime_error&) {
      s.CloseData();  // the client stopped reading and closed
      s.Send("426 Connection closed; transfer aborted.\r\n");
      return;
    }
  }
  s.CloseData();
  s.Send("226 Transfer complete.\r\n");
}

}  // namespace

void TransferGate::Open() {
  {
    std::lock_guard lock(mutex_);
    open_ = true;
  }
  opened_.notify_all();
}

bool TransferGate::Reached() {
  std::lock_guard lock(mutex_);
  return reached_;
}

void TransferGate::PassWhenOpen() {
  std::unique_lock lock(mutex_);
  reached_ = true;
  // The client's own wait for data (its stall time) is far longer.
  opened_.wait_for(lock, std::chrono::seconds(8), [this] { return open_; });
}

test_support::FtpPeer::Script ServingScript(std::map<std::string, std::string> files, ServerFault fault,
                                            std::string target, std::string extra_listing, ServedBytes* served,
                                            TransferGate* gate) {
  return [files = std::move(files), fault, target = std::move(target), extra_listing = std::move(extra_listing),
          served, gate](test_support::FtpPeerSession& s) {
    if (fault == ServerFault::kStallLogin) {
      s.ReadCommand();  // returns when the client gives up and closes
      return;
    }
    if (fault == ServerFault::kEndlessGreeting) {
      std::string lines;
      for (int i = 0; i < 2000; ++i) lines += "220-Welcome, again.\r\n";
      s.TrickleControl(lines, 21, 20);
      return;
    }
    if (fault == ServerFault::kEndlessReplyLine) {
      s.Send("220 " + std::string(200000, 'x'));
      s.ReadCommand();
      return;
    }
    s.Send("220 Scripted server ready.\r\n");
    size_t restart = 0;  // the offset of the last "REST ", for the command after it
    for (;;) {
      const std::string command = s.ReadCommand();
      if (command.empty()) return;
      const size_t offset = std::exchange(restart, 0);
      if (fault == ServerFault::kCloseAtCommand && command == target) {
        s.CloseControl();
        return;
      }
      if (StartsWith(command, "USER ")) {
        s.Send("331 Password required.\r\n");
      } else if (StartsWith(command, "PASS")) {
        s.Send("230 Logged in.\r\n");
      } else if (StartsWith(command, "TYPE ") || StartsWith(command, "PORT ")) {
        s.Send("200 OK.\r\n");
      } else if (command == "NLST") {
        s.Send("150 Here comes the listing.\r\n");
        s.OpenData();
        std::string names;
        for (const auto& [name, bytes] : files) names += name + "\r\n";
        s.SendData(names);
        s.SendData(extra_listing);
        s.CloseData();
        s.Send("226 Listing sent.\r\n");
      } else if (StartsWith(command, "REST ") && fault != ServerFault::kRefuseRest) {
        restart = std::stoul(command.substr(5));
        s.Send("350 Restarting at " + command.substr(5) + ". Send STORE or RETRIEVE to initiate transfer.\r\n");
      } else if (StartsWith(command, "RETR ")) {
        Retrieve(s, files, fault, target, command.substr(5), offset, served, gate);
      } else if (command == "ABOR") {
        s.Send("226 Abort successful.\r\n");
      } else if (command == "QUIT") {
        s.Send("221 Goodbye.\r\n");
        return;
      } else {
        s.Send("500 Unknown command.\r\n");
      }
    }
  };
}

}  // namespace reliability
