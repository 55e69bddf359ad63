// Checking the signatures of a server folder with the publisher's public
// key, as players' updaters holding update.pub will judge them.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "trust/minisign_keys.h"

namespace mkupdate {

struct SignatureReport {
  std::vector<std::string> problems;  // one sentence each, naming the signature file
  std::string summary;                // of update3.dat's signature: its key, date and expiry
};

// Verifies update3.dat.minisig, and bulletin.htm.minisig when there is a
// bulletin.htm, with key: each must be present, verify, carry a readable
// timestamp in its trusted comment and not have expired at now.
SignatureReport CheckSignatures(const std::string& server_dir, const trust::PublicKey& key, std::time_t now);

}  // namespace mkupdate
