// The CAFILE setting on Windows: certificate authorities trusted beside the
// system's store. WinHTTP verifies every certificate against the system's
// store alone; with further CAs the request is told to let an unknown
// root pass (its host name and dates are still WinHTTP's to check), and
// the chain is then judged here before any answer is used: trusted when
// the system trusts it, or when it ends at one of these CAs.
#pragma once

#include <optional>
#include <string>

#include "platform/windows_api.h"

#include <wincrypt.h>
#include <winhttp.h>

class ExtraTrust {
 public:
  // The certificates of `pem` (PEM blocks "BEGIN CERTIFICATE"); none for "".
  // Throws Exception when a block cannot be read.
  explicit ExtraTrust(const std::string& pem);
  ~ExtraTrust();
  ExtraTrust(const ExtraTrust&) = delete;
  ExtraTrust& operator=(const ExtraTrust&) = delete;

  bool Empty() const { return store_ == nullptr; }
  // Lets `request` pass a root WinHTTP does not know, for Refusal to judge.
  // Nothing when Empty.
  void Relax(HINTERNET request) const;
  // Why the certificate of `request`'s connection is not trusted, or
  // nullopt when it is (always nullopt when Empty, and for plain http).
  std::optional<std::string> Refusal(HINTERNET request) const;

 private:
  HCERTSTORE store_ = nullptr;
};
