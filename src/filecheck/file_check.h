// The file check of the main window: measures the installed files against
// the reference list "datec.dat" in the game folder, repairs what differs
// over the FTP connection the update check left behind, and lists what it
// could not repair in "ErrorList.TXT".
#pragma once

#include <cstddef>
#include <string>

#include "update/update_engine.h"

// Name of the list of unrepaired files, written to the game folder
// (ExeDir) whatever the process's current folder is.
inline constexpr const char* kUnrepairedListFile = "ErrorList.TXT";

// What a check left unrepaired: how many files and, when any, the full
// path of the ErrorList.TXT that names them.
struct FileCheckResult {
  size_t unrepaired = 0;
  std::string unrepaired_list_path;
};

// Runs the whole check synchronously; does nothing unless the start-game
// button is shown (the update check or run has finished). It never
// connects by itself.
//
// Without "datec.dat": an OK box with the missing-list text, nothing else.
// Otherwise the measure pass (see MeasureFiles); with no mismatch the status line
// reads "files checked". With mismatches: the status line shows how many, CheckMode
// is set, and the repair pass runs (see RepairFiles); when files stay
// unrepaired their paths are written to ErrorList.TXT in the game folder
// (CR LF, replacing an older one) and the status line says so.
//
// Pumps messages during downloads (other handlers may run). Throws
// EInOutError / ERangeError for an unreadable or invalid "datec.dat"
// before any file is examined, the repair pass's download and install
// errors (the check ends there, ErrorList.TXT unwritten), and EFOpenError /
// EInOutError when ErrorList.TXT cannot be written. The caller shows them
// in the application's error box. Returns what stays unrepaired (nothing
// when the check did not run, found no list, or the window closed).
FileCheckResult Image8Click(UpdateEngine& e);
