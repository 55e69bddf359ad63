// The seam between the update engine and its servers. The engine fetches
// only through a Transport and hears of progress through TransportEvents.
// Each protocol is an implementation of its own, made by the factory that
// the front-end registers for its scheme (transport_registry.h); what every
// protocol does with the local file is DownloadTarget (download_target.h).
//
// A transport and its events stay on the thread that made it: the engine's
// on the user-interface thread, a prefetching helper's connection on a
// thread of its own with its own message loop. The blocking calls pump that
// thread's messages while they wait, so event handlers, timer ticks and
// clicks run inside them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/block_pool.h"
#include "platform/errors.h"
#include "platform/file_identity.h"
#include "transport/rate_limiter.h"

// A transfer sent more bytes than it may: past the size the caller listed
// for it, or past kUnlistedTransferLimit when none was listed. The transfer
// was aborted; the local file holds what arrived, one byte past the bound.
// Thrown by a listing; a Download reports it as kOverrun.
class ETransferLimit : public Exception {
 public:
  using Exception::Exception;
};

// Why a Download failed, which decides what the bytes that did arrive
// are worth.
enum class DownloadFailure {
  // The local file could not be created, read back or written (a full
  // disk): what arrived is no sign of what the server holds.
  kLocal,
  // The transfer broke off before the file's end (a lost connection, a
  // stall, a cancel): what arrived is the file's beginning.
  kCutOff,
  // The server refused to send the file (it has none of that name, or
  // will not serve it).
  kRefused,
  // The server sent more than the download's bound (see ETransferLimit).
  kOverrun,
};

// A Download failed; what() is the text a person reads (the server's
// refusal, the socket error, the local file's error).
class EDownloadError : public Exception {
 public:
  EDownloadError(DownloadFailure failure, const std::string& text) : Exception(text), failure_(failure) {}
  DownloadFailure Failure() const { return failure_; }

 private:
  DownloadFailure failure_;
};

// The bound on transfers without a listed size (server lists, the
// bulletin, listings): far above any real one, far below a full disk.
constexpr int64_t kUnlistedTransferLimit = int64_t{64} * 1024 * 1024;

// The operation a failure event names.
enum class TransferCommand { kList, kDownload };

// How a transport uses the network beyond what the server line says
// (the [NETWORK] settings).
struct NetworkSettings {
  // How long a transfer may go without progress (no reply, no data
  // connection, no byte) before it fails.
  int32_t StallTimeMs = 30000;
  // The floor under a transfer's average rate, in bytes per second, over
  // windows of twice StallTimeMs: a server that trickles slower fails the
  // transfer as a silent one does. Never above half the cap; 0 = none.
  int32_t MinRateBps = 1024;
  // For a protocol with separate data connections: opened towards the
  // server's offer first; false makes the server open every one.
  bool Passive = true;
  // Connections that fetch planned downloads ahead, beside the engine's
  // own; 1: none (one connection, one file at a time).
  int Connections = 4;
  // The cap on the bytes per second of all connections together, in KiB/s;
  // 0 = none.
  int32_t MaxRateKiBps = 0;
  // Enforces MaxRateKiBps; shared by every connection of one session, null
  // without a cap.
  std::shared_ptr<RateLimiter> RateLimit;
  // For a protocol over TLS: a PEM file of further certificate authorities
  // that may sign a server's certificate, trusted beside the system's
  // store (a publisher's own CA); a real path, "" = none.
  std::string CaFile;
};

// A download the engine will ask for soon.
struct PlannedDownload {
  std::string remote;
  std::string local_path;  // where Download will be asked to put it
  // Where a fetch ahead puts it until Download asks: a temporary file the
  // caller has noted (the next run removes what a killed run left), in
  // local_path's folder, which exists; no other plan uses it.
  std::string ahead_path;
  int64_t listed_size = -1;
};

// Receives a download's bytes in order as they arrive, before the transfer
// ends (a digest computed on the way needs no second pass over the file),
// with a share in what holds them (see platform::BlockConsumer).
using ByteSink = platform::BlockConsumer;

// Bytes [offset, offset + length) of a served file.
struct ByteRange {
  int64_t offset = 0;
  int64_t length = 0;
};

// Receives the bytes of DownloadRanges: `range` is the index of the
// wanted range they belong to. Each range's bytes come in order, and the
// ranges one after the other in the order asked; `owner` keeps them alive
// as for ByteSink. It may run inside the transport's network callbacks, so
// it must not pump messages.
using RangeSink =
    std::function<void(size_t range, std::string_view bytes, const std::shared_ptr<const void>& owner)>;

// Where and as whom to log in: one server line of the server list.
struct ServerLogin {
  std::string host;
  int port = 0;
  int timeout_ms = 0;  // bound on each wait during the login; 0 = none
  std::string user;
  std::string password;
  // The protocol, lower case ("http"); its registered factory makes the
  // transport (TransportRegistry).
  std::string scheme{};
  // The server folder that remote names are relative to, "/" at both ends
  // ("/game/patch/"); "" = the folder the login starts in.
  std::string base_path{};
};

// What a transport reports, in the order it happens.
class TransportEvents {
 public:
  virtual ~TransportEvents() = default;
  virtual void HostResolved() = 0;
  virtual void InvalidHost() = 0;
  virtual void Connected() = 0;         // the login was accepted
  virtual void ConnectionFailed() = 0;  // the login was refused
  virtual void Disconnected() = 0;
  // A technical status line (the server's replies and the like).
  virtual void Status(const std::string& text) = 0;
  // A socket error the user must see, with its number and text.
  virtual void Error(unsigned short number, const std::string& message) = 0;
  // A transfer's data began to flow; BytesTotal() is its expected size.
  virtual void TransferStarted() = 0;
  // The transfer's data stopped flowing: once per transfer that started.
  virtual void TransferStopped() = 0;
  // More data of the running transfer arrived; see BytesReceived().
  virtual void BytesArrived() = 0;
  virtual void TransferFailed(TransferCommand command) = 0;
  // One name of a listing.
  virtual void NameListed(const std::string& name) = 0;
};

class Transport {
 public:
  virtual ~Transport() = default;

  // Logs in. A refused or failed login has raised its events and throws
  // Exception with the text of the refusal.
  virtual void Connect(const ServerLogin& login) = 0;
  // Called once the login is accepted: from now on waits are bounded by
  // the session's stall time instead of the login's time-out.
  virtual void StartSession() = 0;
  // Ends the session politely; nothing when not connected. Throws when the
  // server refuses, after closing.
  virtual void Disconnect() = 0;
  // Whether ListNames can tell what the server folder holds. Without a
  // listing, the caller asks for a file directly and takes a refusal
  // (DownloadFailure::kRefused) for its absence.
  virtual bool HasNameListing() const = 0;
  // Lists the names of the server folder (NameListed each). Throws on
  // failure, and when there is no listing (HasNameListing false).
  virtual void ListNames() = 0;
  // Fetches `remote` into the real path `local_path`, created or replaced.
  // listed_size (-1 = unknown) bounds what may arrive (past it the
  // download fails with kOverrun) and stands in as the expected size when
  // the server gives none.
  // `sink` (may be empty) receives every byte of the file, in order, while
  // the transfer runs. Throws EDownloadError on failure, after
  // TransferFailed, its Failure() saying which kind; what the local file
  // then holds is the part that arrived (one byte past the bound for
  // kOverrun), and after kRefused it is as it was.
  // With `resume`, a local_path that already holds the first bytes of the
  // file (some, fewer than listed_size) is continued where the server can
  // start a transfer in the middle, and started over otherwise; either way
  // the transfer counts as the whole file (listed_size bounds the whole,
  // BytesReceived and BytesTotal include what was there) and `sink` first
  // receives the bytes already there.
  virtual void Download(const std::string& remote, const std::string& local_path,
                        int64_t listed_size, const ByteSink& sink, bool resume) = 0;
  // Fetches exactly the bytes of `ranges` (sorted, non-overlapping, each
  // of length above 0, inside served_size, the size of `remote` on the
  // server) into `sink`, and nothing else: no local file. Nearby ranges
  // may be fetched as one, the bytes between them dropped. What arrives is
  // checked against the ranges asked for: a server that sends other
  // ranges, or more or fewer bytes, fails the call. Events as for one
  // transfer: TransferStarted once the server begins to send, BytesArrived
  // as bytes come, TransferStopped at the end; BytesTotal is the ranges'
  // sum and BytesReceived counts the ranges' bytes (the dropped ones not).
  // Pumps messages and honours Cancel, the stall time, the rate floor and
  // the shared cap as Download does. An empty `ranges` fetches nothing,
  // without events.
  // Throws EDownloadError after TransferFailed: kRefused when the server
  // cannot serve these ranges (it has no such file, does not serve parts,
  // sends the whole file, or answers with other ranges), which tells the
  // caller to download the whole file instead; kCutOff when the transfer
  // broke off. The sink has then heard a prefix of the ranges' bytes.
  // The default refuses at once, without events: a transport that cannot
  // fetch parts of a file.
  virtual void DownloadRanges(const std::string& remote, const std::vector<ByteRange>& ranges,
                              int64_t served_size, const RangeSink& sink);
  // What one more request of DownloadRanges costs, in bytes it could have
  // fetched instead: ranges closer than this are asked for as one, and a
  // caller weighing ranges against the whole file counts it per request.
  virtual int64_t RangeRequestCost() const { return 0; }
  // The file the last Download that returned put its bytes into (the one
  // `sink` heard), as it was when they were written: the file at
  // local_path then, which a path the same name gives later need not be.
  // nullopt after a download that failed or wrote nothing.
  virtual std::optional<platform::FileIdentity> ReceivedFile() const = 0;
  // The running transfer's byte count; between transfers, the last one's.
  virtual int64_t BytesReceived() const = 0;
  // The running transfer's expected size (0 when unknown); after a
  // transfer, the bytes it received.
  virtual int64_t BytesTotal() const = 0;

  // Names a download the engine will ask for after those planned before;
  // a transport with connections to spare fetches it ahead, so that
  // Download finds it done or on its way. Call it once logged in. A plan
  // that Download skips over is dropped. Default: nothing.
  virtual void PlanDownload(const PlannedDownload& /*download*/) {}
  // Forgets every plan not yet downloaded: fetches ahead stop and their
  // files are removed. Default: nothing.
  virtual void DropPlans() {}
  // Ends the running operation with an exception. Call it on the thread
  // that runs the transport (from a handler or a posted message).
  virtual void Cancel() = 0;
  // The bytes that every download of this transport received since it was
  // made, over all its connections, the running ones' so far. Unlike the
  // other calls, safe on any thread.
  virtual int64_t SessionBytesReceived() const = 0;
};

// Makes a transport of one protocol that reports to `events` (which
// outlives it).
using TransportFactory =
    std::function<std::unique_ptr<Transport>(TransportEvents& events, const NetworkSettings& network)>;
