// What the update engine shows and asks. The main window implements it on
// its controls; the engine's tests implement it with a recorder. Every call
// comes on the user-interface thread; the box calls block until the box is
// closed and pump messages meanwhile, so other handlers may run inside them.
#pragma once

#include <string>

#include "update/check_outcome.h"
#include "update/server_order.h"

// The boxes the engine shows: one OK button, with or without the
// information icon.
enum class BoxIcon { kNone, kInformation };

class UpdateView {
 public:
  virtual ~UpdateView() = default;

  // The status line (Label3): its text, kept centred over the progress bar.
  virtual void SetStatusText(const std::string& text) = 0;
  // The status line's text without centring (the file check's file names).
  virtual void SetStatusTextUncentred(const std::string& text) = 0;
  virtual void ShowStatusLine() = 0;
  // The byte counter (Label4), kept centred over the progress bar.
  virtual void SetProgressText(const std::string& text) = 0;
  virtual void ShowProgressBar() = 0;
  // The progress bar's scale and position; values fit 32 bits.
  virtual void SetProgressMax(int max) = 0;
  virtual void SetProgress(int position) = 0;
  // The connection's status line, which the window keeps hidden.
  virtual void SetConnectionStatus(const std::string& text) = 0;

  // Mirrors of the engine's name lists (the window's hidden list boxes).
  virtual void PendingNameAdded(const std::string& name) = 0;
  // The first pending name moved to the processed names.
  virtual void PendingNameDone() = 0;
  virtual void PendingNamesCleared() = 0;
  virtual void ListingNameAdded(const std::string& name) = 0;
  virtual void ListingCleared() = 0;

  // Whether the update run may start (the hidden Button1's enabled state).
  virtual void SetUpdateArmed(bool armed) = 0;
  // The start-game button.
  virtual void ShowStartGame() = 0;

  virtual void ShowBox(const std::string& text, BoxIcon icon) = 0;
  // A question with Yes and No; true for Yes.
  virtual bool AskYesNo(const std::string& text) = 0;

  // Closes the main window as the user would: the window saves the record
  // and, while connected, ends the process at once. May not return.
  virtual void CloseMainWindow() = 0;
  virtual void HideMainWindow() = 0;
  virtual void ShowMainWindow() = 0;
  // The server dialog's selection, entry count and server lines.
  virtual ServerChoice ReadServerChoice() const = 0;

  // Data from the server that was refused, in one sentence: a list entry
  // whose name would leave the game folder, a bundle member passed over.
  virtual void ReportRefusedName(const std::string& sentence) = 0;
  // A server the check tried and could not use, and why, in one sentence
  // ("host:port: why"): each one tried, told before the no-usable-server
  // text or the error that ends a check without a usable server.
  virtual void ReportUnusableServer(const std::string& sentence) = 0;
  // An entry was passed over for what the server sent (its download ran
  // past the listed size): the run goes on but did not install everything.
  virtual void EntryFailed() = 0;
  // The end of the update check, with how it ended.
  virtual void CheckEnded(CheckOutcome outcome) = 0;
};
