// The files in the top level of the game folder that hold the updater's own
// state and trust: its key, its record and server list, its journal, the
// stamp of the last accepted set and its server lists. Nothing a server
// names (a repair's download, an entry's destination) may write them.
#pragma once

#include <array>
#include <string>
#include <string_view>

inline constexpr std::array<std::string_view, 7> kUpdaterOwnFiles = {
    "update.pub", "update2.dat", "update3.dat", "updtmp.dat", "update2.sig.ts", "isp0.dat", "isp1.dat"};

// The spelling under which two Windows-style names of one game file
// compare equal: ASCII upper case, '\' separators, empty and "." components
// dropped.
std::string GameFileKey(const std::string& windows_name);

// True when windows_name (relative to the game folder, '\' or '/'
// separators) names one of kUpdaterOwnFiles or its ".minisig" signature in
// the game folder's top level, ignoring ASCII case.
bool IsUpdaterOwnFile(const std::string& windows_name);
