#include "reliability/scripted_server.h"

#include <stdexcept>

namespace reliability {
namespace {

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

void Retrieve(test_support::FtpPeerSession& s, const std::map<std::string, std::string>& files, ServerFault fault,
              const std::string& target, const std::string& name) {
  const auto file = files.find(name);
  const bool faulty = name == target;
  if (file == files.end() || (faulty && fault == ServerFault::kRefuseRetr)) {
    s.Send("550 " + name + ": No such file or directory.\r\n");
    return;
  }
  const std::string& bytes = file->second;
  const std::string count = faulty && fault == ServerFault::kHugeByteCount ? "184467440737095516160000"
                                                                            : std::to_string(bytes.size());
  s.Send("150 Opening BINARY mode data connection for " + name + " (" + count + " bytes).\r\n");
  s.OpenData();
  if (faulty && (fault == ServerFault::kResetMidTransfer || fault == ServerFault::kCloseMidTransfer)) {
    s.SendData(bytes.substr(0, bytes.size() / 2));
    const bool reset = fault == ServerFault::kResetMidTransfer;
    s.CloseData(reset);
    s.Send(reset ? "426 Connection reset; transfer aborted.\r\n" : "426 Connection closed; transfer aborted.\r\n");
    return;
  }
  s.SendData(bytes);
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

test_support::FtpPeer::Script ServingScript(std::map<std::string, std::string> files, ServerFault fault,
                                            std::string target, std::string extra_listing) {
  return [files = std::move(files), fault, target = std::move(target),
          extra_listing = std::move(extra_listing)](test_support::FtpPeerSession& s) {
    if (fault == ServerFault::kStallLogin) {
      s.ReadCommand();  // returns when the client gives up and closes
      return;
    }
    if (fault == ServerFault::kEndlessReplyLine) {
      s.Send("220 " + std::string(200000, 'x'));
      s.ReadCommand();
      return;
    }
    s.Send("220 Scripted server ready.\r\n");
    for (;;) {
      const std::string command = s.ReadCommand();
      if (command.empty()) return;
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
      } else if (StartsWith(command, "RETR ")) {
        Retrieve(s, files, fault, target, command.substr(5));
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
