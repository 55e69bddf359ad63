// Checking a server folder against its "update3.dat", as the updater will
// meet it.
#pragma once

#include <string>
#include <vector>

namespace mkupdate {

// Every problem of the set, one sentence each, naming the entry: list lines
// that are not entries, unsafe names, missing server files, sizes that
// differ from the list or do not fit the updater's 32-bit size field,
// damaged or uncompressed gzip files, malformed bundles, a missing package
// for an import bundle, local names listed twice, versions whose width
// differs from the rest, SHA-256 digests that are malformed or differ from
// the files (the installed file's taken by unpacking), a mode flag other
// than "x" or "-". A missing digest is
// a problem only in a signed set (one with update3.dat.minisig), whose
// players pass such entries over. Empty when the set is sound.
std::vector<std::string> CheckServerFolder(const std::string& server_dir);

}  // namespace mkupdate
