#include "update/update_engine.h"

#include "platform/event_loop.h"
#include "update/ftp_events.h"
#include "update/network_settings.h"
#include "update/update_run.h"

// Routes the transport's events to the engine's handlers.
class UpdateEngine::Events : public TransportEvents {
 public:
  explicit Events(UpdateEngine& e) : e_(e) {}
  void HostResolved() override { FtpClient1HostResolved(e_); }
  void InvalidHost() override { FtpClient1InvalidHost(e_); }
  void Connected() override { FtpClient1Connect(e_); }
  void ConnectionFailed() override { FtpClient1ConnectionFailed(e_); }
  void Disconnected() override { FtpClient1Disconnect(e_); }
  void Status(const std::string& text) override { FtpClient1Status(e_, text); }
  void Error(unsigned short number, const std::string& message) override {
    FtpClient1Error(e_, number, message);
  }
  void TransferStarted() override { FtpClient1TransactionStart(e_); }
  void TransferStopped() override { FtpClient1TransactionStop(e_); }
  void BytesArrived() override { FtpClient1PacketRecvd(e_); }
  void TransferFailed(TransferCommand command) override { FtpClient1Failure(e_, command); }
  void NameListed(const std::string& name) override { FtpClient1ListItem(e_, name); }

 private:
  UpdateEngine& e_;
};

UpdateEngine::UpdateEngine(UpdateView& view, TGzip& gzip, TransportRegistry transports)
    : View(view), Gzip(gzip), transports_(std::move(transports)),
      events_(std::make_unique<Events>(*this)) {}

UpdateEngine::~UpdateEngine() = default;

Transport* UpdateEngine::NewConnection(std::string_view scheme) {
  // The released connection is gone with its login.
  Connection.reset();
  IsConnected = false;
  Login = {};
  platform::ProcessMessages();
  const TransportFactory* const factory = transports_.Find(scheme);
  if (factory == nullptr) return nullptr;
  // Read afresh for each attempt, so a changed setting needs no restart.
  Network = ConnectionNetworkSettings(ExeDir, NetworkOverride);
  Connection = (*factory)(*events_, Network);
  return Connection.get();
}

void AddPendingName(UpdateEngine& e, const std::string& name) {
  e.PendingNames.push_back(name);
  e.View.PendingNameAdded(name);
}

void MarkFirstPendingDone(UpdateEngine& e) {
  if (e.PendingNames.empty()) return;
  e.ProcessedNames.push_back(std::move(e.PendingNames.front()));
  e.PendingNames.pop_front();
  e.View.PendingNameDone();
}

void ClearPendingNames(UpdateEngine& e) {
  e.PendingNames.clear();
  e.View.PendingNamesCleared();
}

void AddListingName(UpdateEngine& e, const std::string& name) {
  e.ListingNames.push_back(name);
  e.View.ListingNameAdded(name);
}

void ClearListing(UpdateEngine& e) {
  e.ListingNames.clear();
  e.View.ListingCleared();
}

void SetUpdateArmed(UpdateEngine& e, bool armed) {
  e.UpdateArmed = armed;
  e.View.SetUpdateArmed(armed);
}

void ShowStartGame(UpdateEngine& e) {
  e.StartGameShown = true;
  e.View.ShowStartGame();
}
