// A small FTP server on the scripted peer that serves named files to one
// updater-cli run and injects one fault into it: the faults a real server
// cannot be made to commit on cue.
#pragma once

#include <cstddef>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>

#include "support/ftp_peer.h"

namespace reliability {

enum class ServerFault {
  kNone,
  kRefuseRetr,        // "550" to the RETR of the target
  kResetMidTransfer,  // half the target's bytes, then a reset of the data connection
  kCloseMidTransfer,  // half the target's bytes, an orderly close, then "426"
  kShortTransfer,     // half the target's bytes, an orderly close, then "226" as if whole
  kStallLogin,        // accepts the connection and never greets
  kEndlessReplyLine,  // greets with a line that never ends
  kEndlessGreeting,   // greets with continuation lines, 20 ms apart, until the client goes
  kHugeByteCount,     // announces the target with a byte count beyond 64 bits
  kCloseAtCommand,    // closes the control connection when the target command comes
  kPastListedSize,    // the target's bytes, then data without end (up to kEndlessDataCap)
  kStallMidTransfer,  // half the target's bytes, then silence until the client goes
  kRefuseRest,        // "502" to every "REST " (the target is not used)
  kPauseMidTransfer,  // half the target's bytes, then the rest once its TransferGate opens
};

// Holds a kPauseMidTransfer transfer halfway until the test opens it.
class TransferGate {
 public:
  // Lets the paused transfer (and any later one) go on.
  void Open();
  // Whether a transfer has sent its first half and waits (or waited).
  bool Reached();
  // For the script: marks the gate reached, then waits until it opens, or
  // until shortly before the peer's own waits would give up.
  void PassWhenOpen();

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  bool open_ = false;
  bool reached_ = false;
};

// Where the data "without end" stops, so that a client that never stops
// reading still ends: far past any listed size of the tests.
constexpr size_t kEndlessDataCap = size_t{16} << 20;

// The bytes each "RETR " sent, by file name, summed over the session.
using ServedBytes = std::map<std::string, size_t>;

// The script for FtpPeer: greets, logs anyone in, answers "NLST" with the
// names of `files` (then `extra_listing`, sent as given) and "RETR name"
// with its bytes, from the offset of a "REST " just before it ("350"),
// committing `fault` on the RETR of `target` (for kCloseAtCommand: on the
// command line `target`; for kPauseMidTransfer, with `gate`). Adds what it
// sends to `served` when given (read it once the peer has finished). Ends
// when the client closes or quits.
test_support::FtpPeer::Script ServingScript(std::map<std::string, std::string> files, ServerFault fault = ServerFault::kNone,
                                            std::string target = "", std::string extra_listing = "",
                                            ServedBytes* served = nullptr, TransferGate* gate = nullptr);

}  // namespace reliability
