// The name of the lock file that keeps a second run out of the game
// folder while one runs (see platform::FolderLock).
inline constexpr char kGameFolderLockName[] = "update.lck";

// The files in the top level of the game folder that hold the updater's own
// state and trust: its key, its record and server list, its journal, the
// stamp of the last accepted set, its server lists and its lock. Nothing a
// server names (an entry's destination, a bundle member, a repair's
// download) may write them.
#pragma once

#include <array>
#include <string>
#include <string_view>

inline constexpr std::array<std::string_view, 8> kUpdaterOwnFiles = {
    "update.pub", "update2.dat", "update3.dat", "updtmp.dat", "update2.sig.ts", "isp0.dat", "isp1.dat",
    kGameFolderLockName};

// The spelling under which two Windows-style names of one game file
// compare equal: ASCII upper case, '\' separators, empty and "." components
// dropped.
std::string GameFileKey(const std::string& windows_name);

// True when windows_name names one of the files the updater itself writes
// while it runs (its record, the server list, its journal, the accepted
// stamp, its lock), ignoring ASCII case, in the game folder's top level. An
// entry installed there would be overwritten or would break the run; the
// key and the server lists stay installable, so a publisher can ship new
// ones in a set.
bool IsUpdaterStateFile(const std::string& windows_name);

// True when windows_name (relative to the game folder, '\' or '/'
// separators) names one of kUpdaterOwnFiles or its ".minisig" signature in
// the game folder's top level, ignoring ASCII case.
bool IsUpdaterOwnFile(const std::string& windows_name);
